// Raw tuple save: copies the original bytes of one VALUES tuple, exactly as they stand in the
// dump, into a file of the user's choice. The only way to get at a tuple above 64 MiB, which
// preview, filter and CSV refuse.
//
// Tuples up to just under 4 GiB are copied through one 1 MiB buffer. Output goes to
// "<destination>.korvane-part-<pid>" and is moved onto the destination only when complete.
// Runs on the worker thread only: it moves the file position of the dump handle.
#pragma once

#include <string>

#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"

namespace kv {

inline constexpr std::size_t TUPLE_COPY_BUFFER = 1048576;

// Copies entry.length bytes from entry.offset of the open dump to destination. Progress is
// reported at most every 100 ms (label "SQL-Rohtupel speichern"); a report answered with 0
// cancels. On failure the destination is untouched and no temporary file is left. The dump itself, under any spelling, and any destination in
// the dump's cache folder are refused.
Status tuple_save(DumpState& state, const IndexEntry& entry, const std::string& destination,
                  const ProgressSink* sink);

}  // namespace kv
