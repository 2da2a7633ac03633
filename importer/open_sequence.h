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

// The refusals of the open sequence that need no import, checked at once: a file that cannot
// be opened, is not regular, is compressed or UTF-16/32, or whose cache folder another
// instance holds. held_cache_folder names the folder whose lock the caller holds itself (the
// open dump's, "" for none): that lock is not tested. Costs two reads of at most 64 KiB; the
// dump and the lock are released again before it returns.
Status dump_open_check(const std::string& dump_path, const std::string& cache_root,
                       const std::string& held_cache_folder);

}  // namespace kv
