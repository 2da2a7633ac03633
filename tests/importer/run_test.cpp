// Import runs beyond what the golden files show: progress, cancellation and re-import, cache
// files that cannot be written, a dump that shrank after opening, the layout limit and a real
// 4 GiB tuple.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "cache/dump_open.h"
#include "importer/import_run.h"
#include "importer/insert_scan.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

// A dump in a private folder, opened (dump_open + cache_lock) for import runs.
struct DumpFixture {
    explicit DumpFixture(const std::string& content) : content(content) {
        test::write_file(dir.file("dump.sql"), content);
        EXPECT_TRUE(dump_open(state, dir.file("dump.sql"), dir.file("cache")));
        lock.reset(cache_lock(state));
    }
    bool import(const ProgressSink* sink = nullptr) { return import_run(state, sink); }
    std::string failure() const { return test::describe(state, false, content); }
    test::TempDir dir;
    std::string content;
    FileGuard lock;
    DumpState state;  // declared last: the dump handle closes before the folder goes
};

std::string at_byte(const std::string& message, std::uint64_t position) {
    return "Fehler: " + message + " (Byte " + std::to_string(position) + ")\n";
}

// Records every progress report; cancels from report number cancel_at on (0: never).
struct ProgressLog {
    std::vector<std::uint64_t> done;
    std::vector<std::string> labels;
    std::size_t cancel_at = 0;
    ProgressSink sink() { return ProgressSink{&ProgressLog::report, this, 0}; }
    static int report(void* user, std::uint64_t done, std::uint64_t, std::uint64_t, const char* label) {
        auto* self = static_cast<ProgressLog*>(user);
        self->done.push_back(done);
        self->labels.emplace_back(label);
        return self->cancel_at != 0 && self->done.size() >= self->cancel_at ? 0 : 1;
    }
};

TEST(ImportRun, ProgressCancellationAndReimport) {
    // Spaces across three reader windows: the first refill reports 0.
    DumpFixture f(std::string(3 * READER_WINDOW_SIZE, ' ') + "CREATE TABLE t (a int);\nINSERT INTO t VALUES (1),(2),(3);\n");
    ProgressLog ok;
    ProgressSink sink = ok.sink();
    ASSERT_TRUE(f.import(&sink)) << f.state.message;
    ASSERT_GE(ok.labels.size(), 2u);
    EXPECT_EQ(ok.done.front(), 0u);
    for (std::size_t i = 0; i + 1 < ok.labels.size(); ++i) EXPECT_EQ(ok.labels[i], "Dump indexieren");
    EXPECT_EQ(ok.labels.back(), "Bereit");
    EXPECT_EQ(ok.done.back(), f.content.size());
    const std::string first = test::describe(f.state, true, f.content);

    ASSERT_TRUE(f.import());  // rewrites each index file from its first entry
    EXPECT_EQ(test::describe(f.state, true, f.content), first);
    EXPECT_EQ(first.substr(0, first.find('\n')), "3 Einträge, 0 Hinweise");

    ProgressLog stop;
    stop.cancel_at = 1;
    ProgressSink cancel = stop.sink();
    EXPECT_FALSE(f.import(&cancel));
    EXPECT_EQ(f.failure(), at_byte("Vorgang abgebrochen.", 0));
}

TEST(ImportRun, CacheAndReadFailures) {
    for (const bool index_blocked : {true, false}) {
        DumpFixture f("INSERT INTO t VALUES (1),(2);");
        std::filesystem::create_directory(test::fs_path(
            index_blocked ? index_file_path(f.state, 0) : f.state.cache_folder + "/manifest.part"));
        EXPECT_FALSE(f.import());
        EXPECT_EQ(f.failure(), index_blocked ? at_byte("Indexdatei kann nicht angelegt werden.", 24)
                               : at_byte("Cache-Metadaten konnten nicht sicher gespeichert werden.", 29));
    }
    // A file shorter than the size taken at opening: the read error's message stands, also
    // where the scan then finds an unterminated string or an empty DELIMITER line.
    for (const std::string dump : {"SELECT 1;", "SELECT 'abc", "DELIMITER ", "INSERT INTO t"}) {
        DumpFixture f(dump);
        f.state.dump_size += 10;
        EXPECT_FALSE(f.import());
        const char* message = dump[0] == 'I' ? "INSERT-Header endet vor VALUES."
                                             : "Lesefehler im Dump. Datei oder Datenträger prüfen.";
        EXPECT_EQ(f.failure(), at_byte(message, dump.size())) << dump;
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
    EXPECT_FALSE(test::import_described(state, text, dir.file("big.sql"), dir.file("cache"), "", false));
    EXPECT_EQ(text, at_byte("Ein einzelner Datensatz ist größer als 4 GiB und kann nicht indexiert "
                            "werden.", end));
}

}  // namespace
}  // namespace kv
