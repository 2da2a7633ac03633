// Open sequence without threads (see open_sequence.h).
#include "importer/open_sequence.h"

#include "cache/dump_open.h"
#include "cache/manifest.h"
#include "importer/import_run.h"

namespace kv {

Status dump_open_cached(DumpState& state, const std::string& dump_path,
                        const std::string& cache_root, bool new_index, const ProgressSink* sink,
                        FileHandle& lock_out) {
    lock_out = INVALID_FILE;
    if (Status opened = dump_open(state, dump_path, cache_root); !opened.ok()) return opened;
    FileHandle handle = INVALID_FILE;
    Status locked = cache_lock(state, handle);
    FileGuard lock(handle);
    if (!locked.ok()) return locked;
    if (new_index || !manifest_load(state)) {
        if (Status imported = import_run(state, sink); !imported.ok()) return imported;
    }
    lock_out = lock.release();
    dump_state_read_buffer_prepare(state);  // a hint: on failure the readers allocate later
    return {};
}

Status dump_open_check(const std::string& dump_path, const std::string& cache_root,
                       const std::string& held_cache_folder) {
    DumpState state;
    dump_state_init(state);
    if (Status opened = dump_open(state, dump_path, cache_root); !opened.ok()) return opened;
    if (state.cache_folder == held_cache_folder) return {};
    FileHandle handle = INVALID_FILE;
    Status locked = cache_lock(state, handle);
    FileGuard lock(handle);
    return locked;
}

}  // namespace kv
