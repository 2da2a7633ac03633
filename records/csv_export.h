// CSV export of a whole table or of the hits of its filter, and the output-file rules shared
// with the raw tuple save.
//
// Tables may hold billions of rows and values of up to 64 MiB: the export keeps one 64 KiB
// batch of 4,096 entries, one 64 KiB output buffer written in whole blocks, and one decoded
// tuple at a time. Output goes to "<destination>.korvane-part-<pid>" and is moved onto the
// destination only when complete, so a failed or cancelled export leaves the destination as
// it was. Runs on the worker thread only.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"
#include "records/display_text.h"

namespace kv {

// The temporary name an export or a tuple save writes before the final move:
// destination + ".korvane-part-" + the process id. Throws std::bad_alloc.
std::string output_part_path(const std::string& destination);

// True when destination would overwrite a file the dump is read from: it is byte for byte the
// dump path or source_path (may be empty for none), or it already exists and is the same file
// as the open dump or as source_path under another spelling ("./dump.sql", a symbolic or hard
// link, another letter case on Windows).
bool output_names_source(const DumpState& state, const std::string& destination,
                         const std::string& source_path);

// True when destination lies in the dump's cache folder: its parent folder is the cache folder
// under any spelling ("./", "../", a symbolic link, another letter case on Windows), whether
// the file exists or not. The final rename would replace "session.lock" (and so defeat the
// instance lock), an index file, "query.kvi" or the manifest, or leave a stray file there.
bool output_in_cache_folder(const DumpState& state, const std::string& destination);
// The refusal itself: fails when destination lies in the cache folder.
Status output_outside_cache_folder(const DumpState& state, const std::string& destination);

// The refusals of every writer of a file chosen by the user: a destination that names the dump
// or source_path (output_names_source) or lies in the cache folder (output_in_cache_folder).
Status output_target_check(const DumpState& state, const std::string& destination,
                           const std::string& source_path);

// The last step of every writer: when written is a success, moves the complete and flushed
// temporary file part onto destination (a failed move fails with not_done); on failure the
// part is removed, so the destination is either complete or as it was.
Status output_commit(Status written, const std::string& part, const std::string& destination,
                     Msg not_done);

// Writes every entry of entry_source_path (entry_count entries of object `object`; a table's
// position index or a filter result file) as one CSV row to destination: UTF-8 byte-order
// mark, a header row of column names, fields in double quotes separated by ";", rows ending
// in CR LF. Values are converted from charset; text and SQL fields get a leading apostrophe
// against spreadsheet formulas when formula_protection is on (the header always). Progress is
// reported at most every 100 ms (label "CSV exportieren"); a report answered with 0 cancels.
// On failure the destination is untouched and no temporary file is left. A source (output_names_source) or a destination in the cache folder
// (output_in_cache_folder) is refused.
Status csv_export(DumpState& state, std::uint32_t object, const std::string& entry_source_path,
                  std::uint64_t entry_count, const std::string& destination, Charset charset,
                  bool formula_protection, const ProgressSink* sink);

// Test-only switch, true in every program: when cleared, every row is written through
// record_decode and the field writer. That general path is the reference the fast row writer
// (csv_row.h) is checked against.
extern bool csv_fast_rows;

}  // namespace kv
