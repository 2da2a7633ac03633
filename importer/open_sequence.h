// Opening a dump with its cache, without threads: the sequence that the open job and the
// command-line tool run. It opens the dump read-only, takes the cache folder's "session.lock",
// and then either loads the manifest or imports the dump (always when a new index is asked
// for, and whenever the manifest is missing or fails its checks).
#pragma once

#include <string>

#include "foundation/dump_state.h"
#include "foundation/file.h"
#include "foundation/progress.h"
#include "foundation/status.h"

namespace kv {

// state must be freshly initialised. On success lock_out holds the lock handle, which the
// caller keeps while the dump is open and closes afterwards; state.loaded_from_cache tells a
// cache load (1) from an import (0). On failure the lock is already released (lock_out is
// INVALID_FILE).
Status dump_open_cached(DumpState& state, const std::string& dump_path,
                        const std::string& cache_root, bool new_index, const ProgressSink* sink,
                        FileHandle& lock_out);

}  // namespace kv
