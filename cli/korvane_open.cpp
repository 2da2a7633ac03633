// korvane-open: opens one dump the way the browser does before it imports (read-only handle,
// refusal of compressed and UTF-16 files, cache key, cache folder, "session.lock") and prints
// what it found. A smoke test of the foundation on a real file; exit 1 with the German message
// when the dump is refused.
#include <cstdio>
#include <string>

#include "cache/dump_open.h"
#include "cache/file_names.h"
#include "foundation/messages.h"

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "%s\n", kv::msg_text(kv::Msg::open_usage));
        return 2;
    }
    std::string root = argc == 3 ? argv[2] : kv::cache_root_path();
    if (root.empty() || (argc == 2 && !kv::cache_root_ensure(root))) {
        std::fprintf(stderr, "%s\n", kv::msg_text(kv::Msg::cache_root_failed));
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
    using kv::Msg;
    using kv::msg_text;
    std::printf(msg_text(Msg::open_dump), state.dump_path.c_str());
    std::printf(msg_text(Msg::open_size), static_cast<unsigned long long>(state.dump_size));
    std::printf(msg_text(Msg::open_time), static_cast<unsigned long long>(state.dump_time));
    std::printf(msg_text(Msg::open_fingerprint),
                static_cast<unsigned long long>(state.fingerprint));
    std::printf(msg_text(Msg::open_cache_folder), state.cache_folder.c_str());
    std::printf(msg_text(Msg::open_lock), kv::cache_lock_path(state).c_str());
    return 0;
}
