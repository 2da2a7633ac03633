// Helpers of the importer tests: a dump written to a private folder, opened with its own cache
// root, imported, and its position index files read back byte by byte (independently of the
// index writer's own decoder).
#pragma once

#include <gtest/gtest.h>

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

constexpr std::uint32_t NB = 0x80000000u;  // layout word bit: read without backslash escapes

// Import notes as the importer appends them.
inline const std::string NOTE_NO_TUPLES =
    "Keine VALUES-Datensätze gefunden. Schemaobjekte können trotzdem angezeigt werden. "
    "Ausführbarer Code in Versionskommentaren wird außer SQL_MODE nicht interpretiert.\r\n";
inline const std::string NOTE_CHANGE =
    "SQL-Änderungsstatement wurde nicht ausgeführt. Der Browser zeigt VALUES-Datensätze, keinen "
    "berechneten MySQL-Endzustand.\r\n";
// The note for a view, routine, trigger or event in executable comments, naming it (for
// example "View `v`").
inline std::string note_code(const std::string& object) {
    return "View-/Routinen-Code in einem Versionskommentar wurde nicht als Schemaobjekt "
           "übernommen (" + object + "). Originaldatei enthält den vollständigen SQL-Text.\r\n";
}
inline const std::string NOTE_GENERIC =
    "Tabelle ohne CREATE TABLE/Spaltendefinition: generische Spaltennamen wurden vergeben.\r\n";
inline const std::string NOTE_REPLACE =
    "REPLACE wird als Folge von Dump-Datensätzen angezeigt. Ersetzungs-/Eindeutigkeitsregeln "
    "werden nicht ausgeführt.\r\n";
inline const std::string NOTE_ON_DUPLICATE =
    "ON DUPLICATE KEY UPDATE wurde nicht ausgeführt. Angezeigt werden die ursprünglichen "
    "VALUES-Tupel.\r\n";
inline const std::string NOTE_CREATE_AFTER_INSERT =
    "CREATE TABLE nach INSERT: Daten werden als Dump-Literale angezeigt, nicht als ausgeführter "
    "SQL-Endzustand.\r\n";
inline const char* const MSG_DYNAMIC_SQL_MODE =
    "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen zuverlässigen Import einen "
    "normalen mysqldump verwenden.";
inline const char* const MSG_COLUMN_MISMATCH =
    "INSERT ohne Spaltenliste passt nicht zum CREATE TABLE. Der Import wurde gestoppt, damit "
    "keine Werte falschen Spalten zugeordnet werden.";
inline const char* const MSG_VALUES_ONLY =
    "Nur INSERT/REPLACE ... VALUES wird gelesen. INSERT SELECT, INSERT SET und "
    "PARTITION-Header werden nicht ausgewertet.";

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

// An expected entry: the exact tuple bytes "(" through ")", found independently in the dump.
struct Tuple {
    std::string text;
    std::uint32_t word = 0;
    int occurrence = 0;  // which occurrence of text in the dump
};

// Entries, entry count and tuple bytes of object against tuples located in the dump bytes.
inline void expect_entries(const DumpFixture& f, int object, const std::vector<Tuple>& want) {
    ASSERT_GE(object, 0);
    const std::vector<RawEntry> got = f.entries(static_cast<std::uint32_t>(object));
    ASSERT_EQ(got.size(), want.size()) << "object " << object;
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const std::size_t at = nth_find(f.content(), want[i].text, want[i].occurrence);
        ASSERT_NE(at, std::string::npos) << want[i].text;
        EXPECT_EQ(got[i].offset, at) << want[i].text;
        EXPECT_EQ(got[i].length, want[i].text.size()) << want[i].text;
        EXPECT_EQ(got[i].word, want[i].word) << want[i].text;
        bytes += want[i].text.size();
    }
    const SchemaObject& o = f.state.objects[static_cast<std::size_t>(object)];
    EXPECT_EQ(o.entry_count, want.size()) << "object " << object;
    EXPECT_EQ(o.tuple_bytes, bytes) << "object " << object;
}

// A dump whose import must fail with message at the byte just after the first occurrence of
// position_after (empty: the end of the dump), leaving no manifest.
struct Failure {
    std::string dump;
    std::string message;
    std::string position_after;
};

inline void expect_failures(const std::vector<Failure>& cases) {
    for (const Failure& c : cases) {
        DumpFixture f(c.dump);
        const std::string shown = c.dump.substr(0, 80);
        EXPECT_FALSE(f.import()) << shown;
        const std::size_t at = c.position_after.empty()
                                   ? c.dump.size()
                                   : c.dump.find(c.position_after) + c.position_after.size();
        EXPECT_EQ(std::string(f.state.message), at_byte(c.message, at)) << shown;
        EXPECT_FALSE(f.manifest_exists()) << shown;
    }
}

}  // namespace kv::test
