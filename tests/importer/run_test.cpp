// Import runs beyond what the golden files show: progress and cancellation, cache files that
// cannot be written, a dump that shrank after opening, the layout limit and a real 4 GiB
// tuple. (A re-import over the same cache is in every golden case: the byte path's import.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>

#include "cache/dump_open.h"
#include "importer/import_run.h"
#include "importer/insert_scan.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

// Opens the dump (dump_open + cache_lock), lets prepare change the state or its cache, then
// imports; the outcome text.
std::string import_prepared(const std::string& dump, const std::function<void(DumpState&)>& prepare,
                            const ProgressSink* sink = nullptr) {
    test::TempDir dir;
    test::write_file(dir.file("dump.sql"), dump);
    DumpState state;
    EXPECT_TRUE(dump_open(state, dir.file("dump.sql"), dir.file("cache")));
    FileGuard lock(cache_lock(state));
    prepare(state);
    const bool ok = import_run(state, sink);
    return test::describe(state, ok, dump);
}

std::string at_byte(const std::string& message, std::uint64_t position) {
    return "Fehler: " + message + " (Byte " + std::to_string(position) + ")\n";
}

// Records every progress report; cancels from report number cancel_at on (0: never).
struct ProgressLog {
    std::vector<std::pair<std::uint64_t, std::string>> reports;  // done, label
    std::size_t cancel_at = 0;
    ProgressSink sink() { return ProgressSink{&ProgressLog::report, this, 0}; }
    static int report(void* user, std::uint64_t done, std::uint64_t, std::uint64_t,
                      const char* label) {
        auto* self = static_cast<ProgressLog*>(user);
        self->reports.emplace_back(done, label);
        return self->cancel_at == 0 || self->reports.size() < self->cancel_at;
    }
};

TEST(ImportRun, ProgressAndCancellation) {
    // Spaces across three reader windows: the first refill reports 0, the end reports "Bereit".
    const std::string dump =
        std::string(3 * READER_WINDOW_SIZE, ' ') + "INSERT INTO t VALUES (1);\n";
    ProgressLog log, stop;
    stop.cancel_at = 1;
    const ProgressSink sink = log.sink(), cancel = stop.sink();
    EXPECT_EQ(import_prepared(dump, [](DumpState&) {}, &sink).rfind("1 Einträge", 0), 0u);
    ASSERT_GE(log.reports.size(), 2u);
    EXPECT_EQ(log.reports.front().first, 0u);
    for (std::size_t i = 0; i + 1 < log.reports.size(); ++i) {
        EXPECT_EQ(log.reports[i].second, "Dump indexieren");
    }
    EXPECT_EQ(log.reports.back().first, dump.size());
    EXPECT_EQ(log.reports.back().second, "Bereit");
    EXPECT_EQ(import_prepared(dump, [](DumpState&) {}, &cancel),
              at_byte("Vorgang abgebrochen.", 0));
}

TEST(ImportRun, CacheAndReadFailures) {
    const std::string dump = "INSERT INTO t VALUES (1),(2);";
    EXPECT_EQ(import_prepared(dump, [](DumpState& s) {
                  std::filesystem::create_directory(test::fs_path(index_file_path(s, 0)));
              }), at_byte("Indexdatei kann nicht angelegt werden.", 24));
    EXPECT_EQ(import_prepared(dump, [](DumpState& s) {
                  std::filesystem::create_directory(
                      test::fs_path(s.cache_folder + "/manifest.part"));
              }), at_byte("Cache-Metadaten konnten nicht sicher gespeichert werden.", 29));
    // Bytes beyond the size taken at opening are not read. A file shorter than that size is a
    // read error whose message stands, also where the scan then finds an unterminated string
    // or an empty DELIMITER line.
    EXPECT_EQ(import_prepared("INSERT INTO t VALUES (1) x", [](DumpState& s) { s.dump_size -= 2; })
                  .rfind("1 Einträge, 1 Hinweise", 0), 0u);
    for (const std::string shrunk : {"SELECT 1;", "SELECT 'abc", "DELIMITER ", "INSERT INTO t"}) {
        EXPECT_EQ(import_prepared(shrunk, [](DumpState& s) { s.dump_size += 10; }),
                  at_byte(shrunk[0] == 'I' ? "INSERT-Header endet vor VALUES."
                                           : "Lesefehler im Dump. Datei oder Datenträger prüfen.",
                          shrunk.size()));
    }
}

TEST(InsertIndexing, LayoutLimit) {
    DumpState state;
    ASSERT_EQ(object_find_or_add(state, "d", "t", OBJECT_TABLE), 0);
    // 65,535 distinct layouts put in place directly (the search is linear by design).
    std::vector<ColumnLayout>& layouts = state.objects[0].layouts;
    for (std::uint32_t i = 0; i + 1 < MAX_LAYOUTS; ++i) layouts.push_back({{i / 256, i % 256}});
    std::uint32_t numbers[2] = {3, 7};
    EXPECT_EQ(layout_find_or_add(state, 0, numbers, 2), 3 * 256 + 7);
    numbers[0] = 300;
    EXPECT_EQ(layout_find_or_add(state, 0, numbers, 2), 65535);  // the 65,536th
    EXPECT_EQ(layout_find_or_add(state, 0, numbers, 2), 65535);
    EXPECT_EQ(layout_find_or_add(state, 0, numbers, 1), -1);
    EXPECT_STREQ(state.message, "Zu viele unterschiedliche INSERT-Spaltenlayouts.");
    EXPECT_EQ(layouts.size(), MAX_LAYOUTS);
    EXPECT_EQ(layouts[65535].columns, (std::vector<std::uint32_t>{300, 7}));
}

// A tuple of exactly 4 GiB joined to the next one by "),(" fails the import (it used to be
// indexed with its length cut to 32 bits). The dump is a sparse file with a hole in a string.
TEST(InsertIndexing, TupleOf4GiBFails) {
    const std::string head = "INSERT INTO t VALUES (1),('";
    const std::uint64_t end = head.size() - 2 + (std::uint64_t{1} << 32);  // after its ")"
    test::TempDir dir(test::sparse_file_base());
    {
        std::ofstream out(test::fs_path(dir.file("big.sql")), std::ios::binary);
        out << head;
        out.seekp(static_cast<std::streamoff>(end - 2));
        out << "'),(2),('" + std::string(60, 'x') + "'),(3);\n";
    }
    DumpState state;
    std::string text;
    EXPECT_FALSE(
        test::import_described(state, text, dir.file("big.sql"), dir.file("cache"), "", false));
    EXPECT_EQ(text, at_byte("Ein einzelner Datensatz ist größer als 4 GiB und kann nicht indexiert "
                            "werden.", end));
}

}  // namespace
}  // namespace kv
