// Helpers of the importer tests: a dump in a private folder opened with its own cache root,
// and a progress sink that records every report.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cache/dump_open.h"
#include "foundation/progress.h"
#include "importer/import_run.h"
#include "tests/support/test_support.h"

namespace kv::test {

class DumpFixture {
public:
    explicit DumpFixture(const std::string& content) : content_(content) {
        write_file(dir_.file("dump.sql"), content);
    }
    // dump_open + cache_lock (held by the fixture); once per fixture.
    bool open() {
        if (lock_.valid()) return true;
        if (!dump_open(state, dir_.file("dump.sql"), dir_.file("cache"))) return false;
        lock_.reset(cache_lock(state));
        return lock_.valid();
    }
    bool import(const ProgressSink* sink = nullptr) { return open() && import_run(state, sink); }
    const std::string& content() const { return content_; }

private:
    TempDir dir_;
    std::string content_;
    FileGuard lock_;

public:
    DumpState state;  // declared last: the dump handle closes before the folder goes
};

inline std::string at_byte(const std::string& message, std::uint64_t position) {
    return message + " (Byte " + std::to_string(position) + ")";
}

inline const char* const MSG_DYNAMIC_SQL_MODE =
    "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen zuverlässigen Import einen "
    "normalen mysqldump verwenden.";

// Records every progress report; answers 0 (cancel) from report number cancel_at on
// (1-based; 0 never cancels).
struct ProgressLog {
    std::vector<std::uint64_t> done;
    std::vector<std::string> labels;
    std::size_t cancel_at = 0;

    ProgressSink sink() { return ProgressSink{&ProgressLog::report, this, 0}; }
    static int report(void* user, std::uint64_t done, std::uint64_t, std::uint64_t,
                      const char* label) {
        auto* self = static_cast<ProgressLog*>(user);
        self->done.push_back(done);
        self->labels.emplace_back(label);
        return self->cancel_at != 0 && self->done.size() >= self->cancel_at ? 0 : 1;
    }
};

}  // namespace kv::test
