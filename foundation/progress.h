// Progress sink: how a long operation (import, filter, export, tuple save) reports progress
// and learns of cancellation without knowing who listens: a background job or the
// command-line tool.
//
// The operation calls report at most every 100 ms with (user, done, total, count, label). A
// return of 0 means "cancel": the operation stops with failure ("Vorgang abgebrochen.").
// report runs on the thread of the operation; whoever supplies it handles the hand-over.
#pragma once

#include <cstdint>

#include "foundation/sql_lex.h"

namespace kv {

using ProgressReportFn = int (*)(void* user, std::uint64_t done, std::uint64_t total,
                                 std::uint64_t count, const char* label);

struct ProgressSink {
    ProgressReportFn report = nullptr;
    void* user = nullptr;
    // Initial escape mode of an import run; the default for every job.
    EscapeMode escape_mode = EscapeMode::backslash;
    // Threads an import run may use, its own included: 1 scans on the calling thread alone,
    // 0 uses one per processor (at most 8). Other operations ignore it.
    std::uint32_t threads = 1;
};

// Calls the sink if there is one; true to go on (also without a sink).
inline bool progress_report(const ProgressSink* sink, std::uint64_t done, std::uint64_t total,
                            std::uint64_t count, const char* label) {
    if (sink == nullptr || sink->report == nullptr) return true;
    return sink->report(sink->user, done, total, count, label) != 0;
}

}  // namespace kv
