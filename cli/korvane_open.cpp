// korvane-open: opens one dump the way the browser does before it imports (read-only handle,
// refusal of compressed and UTF-16 files, cache key, cache folder, "session.lock") and prints
// what it found. A smoke test of the foundation on a real file; exit 1 with the German message
// when the dump is refused.
#include <cstdio>
#include <string>

#include "cache/dump_open.h"
#include "cache/file_names.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "Aufruf: korvane-open DUMP [CACHE-ORDNER]\n");
        return 2;
    }
    std::string root = argc == 3 ? argv[2] : kv::cache_root_path();
    if (root.empty() || (argc == 2 && !kv::cache_root_ensure(root))) {
        std::fprintf(stderr, "%s\n",
                     "Der Cache-Ordner kann nicht angelegt werden. Schreibrechte in LOCALAPPDATA "
                     "prüfen.");
        return 1;
    }
    kv::DumpState state;
    kv::FileHandle handle = kv::INVALID_FILE;
    kv::Status status = kv::dump_open(state, argv[1], root);
    if (status.ok()) status = kv::cache_lock(state, handle);
    kv::FileGuard lock(handle);
    if (!status.ok()) {
        std::fprintf(stderr, "%s\n", kv::status_text(status).c_str());
        return 1;
    }
    std::printf("Dump:         %s\n", state.dump_path.c_str());
    std::printf("Größe:        %llu Bytes\n", static_cast<unsigned long long>(state.dump_size));
    std::printf("Zeitstempel:  %llu\n", static_cast<unsigned long long>(state.dump_time));
    std::printf("Fingerprint:  %016llx\n", static_cast<unsigned long long>(state.fingerprint));
    std::printf("Cache-Ordner: %s\n", state.cache_folder.c_str());
    std::printf("Sperre:       %s\n", kv::cache_lock_path(state).c_str());
    return 0;
}
