// SQL extract: one or more objects of the dump, or the hits of a table's filter, as a script a
// MySQL or MariaDB server runs to get exactly those rows back, without restoring the whole dump.
//
// The script carries the tuples byte for byte as the dump holds them, under the session
// settings they were written for (SET NAMES per table, from its first tuple; NO_BACKSLASH_ESCAPES
// and ANSI_QUOTES per tuple, from its layout word), in INSERT, REPLACE or INSERT IGNORE
// statements of at most 1 MiB with
// the original column list. Nothing is decoded: tables of millions of rows and tuples up to
// 4 GiB go through one 4 MiB read window and one 1 MiB output buffer in a single pass over
// each entry source, in large sequential reads. Output goes to "<destination>.korvane-part-
// <pid>" and is moved onto the destination only when complete, under the same refusals as the
// CSV export. Runs on the worker thread only: it moves the file position of the dump handle.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"
#include "records/filter.h"

namespace kv {

// Longest INSERT statement written, header and ";" included; a single longer tuple gets a
// statement of its own.
inline constexpr std::size_t EXTRACT_STATEMENT_MAX = 1048576;

// One object of a script. A table contributes its CREATE text and the tuples of
// entry_source_path (its position index or a filter result file, entry_count entries); a view
// or routine its CREATE text.
struct ExtractPart {
    std::uint32_t object = 0;
    std::string entry_source_path;  // may be "" when entry_count is 0
    std::uint64_t entry_count = 0;
    bool filtered = false;          // the entries are the hits of filter
    FilterRequest filter;           // for the header comment only
};

struct ExtractOptions {
    bool data_only = false;      // no DROP and CREATE
    bool with_database = false;  // CREATE DATABASE IF NOT EXISTS and USE before each database
    std::int64_t now = 0;        // seconds since 1970, for the header comment
};

// Writes the script of parts (in their order) to destination. Progress is reported at most
// every 100 ms with the tuples written so far (label "SQL-Auszug schreiben"); a report
// answered with 0 cancels. On failure the destination is untouched and no temporary file is
// left. A destination naming the dump or an entry source, or lying in the cache folder, is
// refused before anything is written.
Status sql_extract(DumpState& state, const std::vector<ExtractPart>& parts,
                   const std::string& destination, const ExtractOptions& options,
                   const ProgressSink* sink);

// "YYYY-MM-DD HH:MM:SS UTC" for seconds since 1970 (any year from 1970 to 9999).
std::string extract_time_text(std::int64_t seconds);

}  // namespace kv
