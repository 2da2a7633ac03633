// What the one-process timing programs (kv_page_bench, kv_tree_bench) share: a millisecond
// clock and opening a dump from its cache (importing it when the cache is missing) with the
// time that took. Header only; the programs link the importer.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>

#include "foundation/dump_state.h"
#include "foundation/file.h"
#include "importer/open_sequence.h"

namespace kv::bench {

inline double now_ms() {
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// An open dump with its cache lock, and how long the open took.
struct OpenedDump {
    DumpState state;
    FileGuard lock;
    double open_ms = 0;
};

// Opens dump with its cache under cache_root; null (after a line on stderr) when it fails.
inline std::unique_ptr<OpenedDump> open_for_bench(const char* dump, const char* cache_root) {
    auto opened = std::make_unique<OpenedDump>();
    FileHandle lock = INVALID_FILE;
    const double start = now_ms();
    const Status status = dump_open_cached(opened->state, dump, cache_root, false, nullptr, lock);
    opened->open_ms = now_ms() - start;
    opened->lock.reset(lock);
    if (status.ok()) return opened;
    std::fprintf(stderr, "open failed: %s\n", status_text(status).c_str());
    return nullptr;
}

}  // namespace kv::bench
