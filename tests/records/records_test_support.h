// Helpers of the records and jobs tests: the case files of tests/data/records, dumps imported
// into their own cache (so the writers run against real position index files) or opened
// without an import, a progress sink that records, and a check for leftover temporary files.
#pragma once

#include <filesystem>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "cache/file_names.h"
#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "importer/open_sequence.h"
#include "tests/support/test_support.h"

namespace kv::test {

// The lines of tests/data/records/<name> split at "¦", each field with the escapes of a C
// string literal decoded (\n \r \t \b \0 \xHH; any other byte after \ stands for itself).
// Blank lines and lines starting with '#' are left out.
inline std::vector<std::vector<std::string>> case_lines(const std::string& name) {
    std::vector<std::vector<std::string>> out;
    std::istringstream in(read_file(data_file("records/" + name)));
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        out.emplace_back(1);
        for (std::size_t i = 0; i < line.size(); ++i) {
            char c = line[i];
            if (line.compare(i, 2, "\xC2\xA6") == 0 && ++i) {
                out.back().emplace_back();
                continue;
            }
            if (c == '\\' && ++i < line.size()) {
                const std::size_t k = std::string_view("nrtb0x").find(c = line[i]);
                if (k < 5) c = "\n\r\t\b"[k];  // \0: the literal's NUL
                if (k == 5) c = static_cast<char>(std::stoi(line.substr((i += 2) - 1, 2), 0, 16));
            }
            out.back().back() += c;
        }
    }
    return out;
}

// A dump "dump.sql" in a temporary folder, imported into "cache" beside it.
struct ImportedDump {
    ImportedDump() { dump_state_init(state); }
    ~ImportedDump() { file_close(lock); }
    bool import(const std::string& content) {
        write_file(path, content);
        return dump_open_cached(state, path, dir.file("cache"), true, nullptr, lock).ok();
    }
    std::string index(std::uint32_t object) const { return cache_index_path(state, object); }
    IndexEntry entry(std::uint32_t object, std::uint64_t row) const {
        IndexEntry e;
        FileGuard file(file_open(index(object), FILE_MODE_READ));
        index_read(file.get(), row, 1, &e);
        return e;
    }
    TempDir dir;
    std::string path = dir.file("dump.sql");
    DumpState state;
    FileHandle lock = INVALID_FILE;
};

// A dump file opened read-only without an import, with one table of text columns named in order
// (tests may set the tables the importer would have recorded). open() replaces the file, closing
// the handle first (Windows cannot write an open dump), and opens it again as a later session
// would find it.
struct OpenedDump {
    explicit OpenedDump(const std::string& content = "", std::uint32_t columns = 2) {
        open(content);
        state.objects.assign(1, SchemaObject{});
        state.objects[0].columns.assign(columns, Column{"c", "text"});
        state.objects[0].layouts.push_back(ColumnLayout{{0, 1}});
        state.objects[0].layouts[0].columns.resize(columns);
    }
    void open(const std::string& content) {
        file_close(state.dump_handle);
        write_file(path, bytes = content);
        state.dump_handle = file_open(path, FILE_MODE_READ);
        state.dump_size = file_get_size(state.dump_handle);
        state.dump_time = file_get_mtime(state.dump_handle);
        state.read_buffer_length = 0;
    }
    TempDir dir;
    std::string path = dir.file("dump.sql"), bytes;
    DumpState state;
};

// A progress sink that records every report as "done/total/count label".
struct RecordingSink : ProgressSink {
    RecordingSink() : ProgressSink{record, this} {}
    static int record(void* self, std::uint64_t done, std::uint64_t total, std::uint64_t count,
                      const char* label) {
        static_cast<RecordingSink*>(self)->reports.push_back(std::to_string(done) + "/" +
            std::to_string(total) + "/" + std::to_string(count) + " " + label);
        return 1;
    }
    std::vector<std::string> reports;
};

// True when folder holds no temporary file (".korvane-part-").
inline bool no_part_files(const std::string& folder) {
    for (const auto& e : std::filesystem::directory_iterator(fs_path(folder))) {
        if (e.path().filename().string().find(".korvane-part-") != std::string::npos) return false;
    }
    return true;
}

}  // namespace kv::test
