// Helpers of the importer tests: a dump written to a private folder, opened with its own cache
// root, imported, and its position index files read back byte by byte (independently of the
// index writer's own decoder).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cache/dump_open.h"
#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "importer/dump_reader.h"
#include "importer/import_run.h"
#include "tests/support/test_support.h"

namespace kv::test {

struct RawEntry {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t word = 0;
};

inline std::uint64_t le_u64(const std::string& b, std::size_t at) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}
inline std::uint32_t le_u32(const std::string& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
    return v;
}

// A dump in a temporary folder with a cache root beside it.
class DumpFixture {
public:
    explicit DumpFixture(const std::string& content) : content_(content) {
        path_ = dir_.file("dump.sql");
        write_file(path_, content);
        root_ = dir_.file("cache");
    }
    // dump_open + cache_lock (held by the fixture); once per fixture.
    bool open() {
        if (opened_) return true;
        if (!dump_open(state, path_, root_)) return false;
        lock_.reset(cache_lock(state));
        opened_ = true;
        return true;
    }
    // open() unless done, then import_run.
    bool import(const ProgressSink* sink = nullptr) { return open() && import_run(state, sink); }
    std::vector<RawEntry> entries(std::uint32_t object) const {
        std::string bytes = read_file(index_file_path(state, object));
        std::vector<RawEntry> out;
        for (std::size_t at = 0; at + 16 <= bytes.size(); at += 16) {
            out.push_back({le_u64(bytes, at), le_u32(bytes, at + 8), le_u32(bytes, at + 12)});
        }
        return out;
    }
    std::string index_bytes(std::uint32_t object) const {
        return read_file(index_file_path(state, object));
    }
    std::string tuple_text(const RawEntry& e) const { return content_.substr(e.offset, e.length); }
    bool manifest_exists() const { return file_exists(state.cache_folder + "/manifest.kvd"); }
    int find_object(const std::string& db, const std::string& name) const {
        for (std::size_t i = 0; i < state.objects.size(); ++i) {
            if (state.objects[i].database_name == db && state.objects[i].object_name == name) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
    const std::string& content() const { return content_; }
    const std::string& path() const { return path_; }
    const std::string& root() const { return root_; }
    TempDir& dir() { return dir_; }

private:
    TempDir dir_;
    std::string content_;
    std::string path_;
    std::string root_;
    FileGuard lock_;
    bool opened_ = false;

public:
    // Declared last so that it is destroyed (dump handle closed) before the folder goes.
    DumpState state;
};

// Offset of the n-th (0-based) occurrence of needle in hay; npos when missing.
inline std::size_t nth_find(const std::string& hay, const std::string& needle, int n = 0) {
    std::size_t at = hay.find(needle);
    while (n-- > 0 && at != std::string::npos) at = hay.find(needle, at + 1);
    return at;
}

// Expected failure message with the scan position appended.
inline std::string at_byte(const std::string& message, std::uint64_t position) {
    return message + " (Byte " + std::to_string(position) + ")";
}

}  // namespace kv::test
