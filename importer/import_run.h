// The import run: one forward pass over a freshly opened dump (gigabytes, 1 MiB window) that
// records the schema, the import notes and one 16-byte position entry per VALUES tuple in the
// per-table index files, and writes the cache manifest as its very last step.
//
// A run that fails or is cancelled leaves no manifest (it is deleted before scanning starts),
// so an interrupted cache is never loaded. A dump that ends inside a statement (an aborted
// backup) is no failure: what stands before the end is taken, the statement cut off is not
// (its complete tuples are), and a note gives the byte where it starts. Progress goes to the sink at window refills, at
// most every 100 ms, with the label Msg::progress_indexing; the final step reports
// Msg::progress_ready.
#pragma once

#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"

namespace kv {

// Imports the dump opened in state (dump_open: handle, size, time, fingerprint, cache folder).
// sink may be null. A failure of the scan, and of the manifest written after it, carries the
// scan's position as its byte; a failure before the first byte (memory, the index writer)
// carries none.
Status import_run(DumpState& state, const ProgressSink* sink);

}  // namespace kv
