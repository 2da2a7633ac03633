// Open sequence without threads (see open_sequence.h).
#include "importer/open_sequence.h"

#include "cache/dump_open.h"
#include "cache/manifest.h"
#include "importer/import_run.h"

namespace kv {

bool dump_open_cached(DumpState& state, const std::string& dump_path,
                      const std::string& cache_root, bool new_index, const ProgressSink* sink,
                      FileHandle& lock_out) {
    lock_out = INVALID_FILE;
    if (!dump_open(state, dump_path, cache_root)) return false;
    FileGuard lock(cache_lock(state));
    if (!lock.valid()) return false;
    if (new_index || !manifest_load(state)) {
        if (!import_run(state, sink)) return false;
    }
    lock_out = lock.release();
    dump_state_read_buffer_prepare(state);  // a hint: on failure the readers allocate later
    return true;
}

}  // namespace kv
