// Helpers of the filter, export and tuple save tests: a dump written to a private folder and
// imported into its own cache, so the writers run against real position index files; progress
// sinks that record or cancel; and a listing check for leftover temporary files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "importer/open_sequence.h"
#include "tests/support/test_support.h"

namespace kv::test {

// A dump "dump.sql" in a temporary folder, imported into "cache" beside it. The state and the
// session lock live as long as the fixture.
class ImportedDump {
public:
    ImportedDump() { dump_state_init(state); }
    ~ImportedDump() { file_close(lock_); }
    ImportedDump(const ImportedDump&) = delete;
    ImportedDump& operator=(const ImportedDump&) = delete;

    // Writes content and imports it; false with state.message on failure.
    bool import(const std::string& content) {
        path = dir.file("dump.sql");
        write_file(path, content);
        return import_written();
    }
    // Imports the file already written at path.
    bool import_written() {
        path = dir.file("dump.sql");
        return dump_open_cached(state, path, dir.file("cache"), true, nullptr, lock_);
    }
    std::string index(std::uint32_t object) const { return index_file_path(state, object); }
    // Entry `row` of object's position index, as the file holds it.
    IndexEntry entry(std::uint32_t object, std::uint64_t row) const {
        IndexEntry e;
        FileGuard file(file_open(index(object), FILE_MODE_READ));
        index_read(file.get(), row, 1, &e);
        return e;
    }

    TempDir dir;
    std::string path;
    DumpState state;

private:
    FileHandle lock_ = INVALID_FILE;
};

// Records every progress report; answers 0 (cancel) from report number cancel_at on
// (1-based; 0 never cancels).
struct RecordingSink {
    struct Report {
        std::uint64_t done, total, count;
        std::string label;
    };
    std::vector<Report> reports;
    std::size_t cancel_at = 0;

    ProgressSink sink() { return ProgressSink{&RecordingSink::report, this, 0}; }
    static int report(void* user, std::uint64_t done, std::uint64_t total, std::uint64_t count,
                      const char* label) {
        auto* self = static_cast<RecordingSink*>(user);
        self->reports.push_back({done, total, count, label});
        return self->cancel_at != 0 && self->reports.size() >= self->cancel_at ? 0 : 1;
    }
};

// Names in folder that contain ".korvane-part-" (temporary files left behind).
inline std::vector<std::string> part_files(const std::string& folder) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(fs_path(folder))) {
        auto name = e.path().filename().u8string();
        std::string s(name.begin(), name.end());
        if (s.find(".korvane-part-") != std::string::npos) out.push_back(s);
    }
    return out;
}

// One big file written in 1 MiB pieces: head, then `fill` repeated up to total bytes of
// filler, then tail.
inline void write_big_file(const std::string& path, const std::string& head, char fill,
                           std::uint64_t filler, const std::string& tail) {
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
    out << head;
    const std::string block(1 << 20, fill);
    while (filler > 0) {
        const std::size_t n = filler < block.size() ? static_cast<std::size_t>(filler)
                                                    : block.size();
        out.write(block.data(), static_cast<std::streamsize>(n));
        filler -= n;
    }
    out << tail;
}

}  // namespace kv::test
