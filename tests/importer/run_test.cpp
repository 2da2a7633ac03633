// Import runs beyond what the golden files show: progress and cancellation, the helper
// threads' bounded walks, cache files that cannot be written, a dump that shrank after
// opening, the kinds and positions of failures, the layout limit and a real 4 GiB tuple. (A
// re-import over the same cache is in every golden case: the byte path's import.)
// And two parts of the import on their own: the span lexer of the CREATE parser, and the
// SQL_MODE recogniser over the table in tests/data/importer/sql_mode.txt. (The reader's tokens
// and their limits show in the golden cases.)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>

#include "cache/dump_open.h"
#include "importer/chunk_scan.h"
#include "importer/import_run.h"
#include "importer/insert_scan.h"
#include "importer/schema.h"
#include "importer/sql_mode.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

// Opens the dump (dump_open + cache_lock), lets prepare change the state or its cache, then
// imports; the outcome text, and the status into *status when asked.
std::string import_prepared(const std::string& dump, const std::function<void(DumpState&)>& prepare,
                            const ProgressSink* sink = nullptr, Status* status = nullptr) {
    test::TempDir dir;
    test::write_file(dir.file("dump.sql"), dump);
    DumpState state;
    FileHandle handle = INVALID_FILE;
    EXPECT_TRUE(dump_open(state, dir.file("dump.sql"), dir.file("cache")).ok() &&
                cache_lock(state, handle).ok());
    FileGuard lock(handle);
    prepare(state);
    Status imported = import_run(state, sink);
    std::string text = test::describe(state, imported, dump);
    if (status != nullptr) *status = std::move(imported);
    return text;
}

std::string at_byte(const std::string& message, std::uint64_t position) {
    return "Fehler: " + message + " (Byte " + std::to_string(position) + ")\n";
}

// Records every progress report (done, label) and goes on.
using Reports = std::vector<std::pair<std::uint64_t, std::string>>;
int record(void* user, std::uint64_t done, std::uint64_t, std::uint64_t, const char* label) {
    static_cast<Reports*>(user)->emplace_back(done, label);
    return 1;
}

TEST(ImportRun, ProgressAndCancellation) {
    // Spaces across three reader windows: the first refill reports 0, the end reports "Bereit".
    const std::string dump =
        std::string(3 * READER_WINDOW_SIZE, ' ') + "INSERT INTO t VALUES (1);\n";
    Reports reports;
    const ProgressSink sink{record, &reports, EscapeMode::backslash};
    const ProgressSink cancel{[](void*, std::uint64_t, std::uint64_t, std::uint64_t,
                                 const char*) { return 0; }, nullptr};
    EXPECT_EQ(import_prepared(dump, [](DumpState&) {}, &sink).rfind("1 Einträge", 0), 0u);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front().first, 0u);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
        EXPECT_EQ(reports[i].second, "Dump indexieren");
    }
    EXPECT_EQ(reports.back().first, dump.size());
    EXPECT_EQ(reports.back().second, "Bereit");
    EXPECT_EQ(import_prepared(dump, [](DumpState&) {}, &cancel),
              at_byte("Vorgang abgebrochen.", 0));
}

// With helper threads: the reports still rise to "Bereit", and a cancellation (here at the
// first report after 150 ms spent in the first one, while helpers have scanned ahead) stops
// the run with its message and no manifest, its helpers ended.
TEST(ImportRun, HelperThreadsReportAndCancel) {
    std::string dump = "CREATE TABLE t (a int, b text);\n";
    for (int statement = 0; statement < 8; ++statement) {
        dump += "INSERT INTO t VALUES (0,'x')";
        for (int row = 1; row < 40000; ++row) dump += ",(" + std::to_string(row) + ",'row text')";
        dump += ";\n";
    }
    import_chunk_size = 1u << 18;
    Reports reports;
    ProgressSink sink{record, &reports, EscapeMode::backslash, 3};
    const std::string text = import_prepared(dump, [](DumpState&) {}, &sink);
    EXPECT_EQ(text.rfind("320000 Einträge", 0), 0u) << text.substr(0, 200);
    for (std::size_t i = 0; i + 1 < reports.size(); ++i) {
        EXPECT_LE(reports[i].first, reports[i + 1].first);
    }
    EXPECT_EQ(reports.back().second, "Bereit");
    // The same without helpers: the cancellation falls inside a tuple and must not read as
    // an unterminated one.
    for (const std::uint32_t threads : {3u, 1u}) {
        int calls = 0;
        const ProgressSink slow_cancel{
            [](void* user, std::uint64_t, std::uint64_t, std::uint64_t, const char*) {
                if (++*static_cast<int*>(user) > 1) return 0;
                std::this_thread::sleep_for(std::chrono::milliseconds(150));
                return 1;
            }, &calls, EscapeMode::backslash, threads};
        const std::string cancelled = import_prepared(dump, [](DumpState&) {}, &slow_cancel);
        EXPECT_EQ(cancelled.rfind("Fehler: Vorgang abgebrochen. (Byte ", 0), 0u) << cancelled;
        EXPECT_EQ(calls, 2);
    }
    import_chunk_size = IMPORT_CHUNK_SIZE;
}

// A string of 2 MiB (chunks of 32 KiB) whose false joins "),(1(" each open one more
// parenthesis: a helper's walk from any of them never closes its tuple. Without a bound each
// such walk runs to the end of the dump (a cost that grows with the square of the string);
// with it the helpers walk at most about twice the dump, and still take the rows after it.
TEST(ImportRun, HelperWalksStayBoundedOverFalseJoins) {
    std::string dump = "CREATE TABLE t (a int, b text);\nINSERT INTO t VALUES (1,'";
    for (int k = 0; k < 512; ++k) dump += std::string(4091, 'x') + "),(1(";
    dump += "')";
    for (int row = 2; row <= 70000; ++row) dump += ",(" + std::to_string(row) + ",'row text')";
    dump += ";\n";
    test::TempDir dir;
    const std::string path = dir.file("dump.sql");
    test::write_file(path, dump);
    DumpState single;
    std::string expected;
    ASSERT_TRUE(test::import_described(single, expected, path, dir.file("one"), dump, false));
    import_helper_counts.walked = 0;
    import_helper_counts.taken = 0;
    const std::string threaded =
        test::import_threaded(path, dir.file("two"), dump, 0, {2, dump.size() / 32768});
    EXPECT_TRUE(threaded == expected) << threaded.substr(0, 300);
    EXPECT_LE(import_helper_counts.walked.load(), 3 * dump.size());
    EXPECT_GE(import_helper_counts.taken.load(), 1000u);
}

// A statement skipped for a count change at its end, after tens of thousands of tuples that
// helper threads scanned and the loop took from their runs: every entry of it is taken back,
// also those already written, and the threaded import leaves what the single thread leaves.
TEST(ImportRun, SkippedStatementTakesBackHelperRuns) {
    std::string dump = "CREATE TABLE t (a int, b text);\nINSERT INTO t VALUES (0,'kept');\n"
                       "INSERT INTO t VALUES (1,'row text')";
    for (int row = 2; row <= 60000; ++row) dump += ",(" + std::to_string(row) + ",'row text')";
    dump += ",(60001);\nINSERT INTO t VALUES (2,'after');\n";
    test::TempDir dir;
    const std::string path = dir.file("dump.sql");
    test::write_file(path, dump);
    DumpState single;
    std::string expected;
    ASSERT_TRUE(test::import_described(single, expected, path, dir.file("one"), dump, false));
    EXPECT_EQ(expected.rfind("2 Einträge, 1 Hinweise\n", 0), 0u) << expected.substr(0, 300);
    EXPECT_NE(expected.find("@53 +10 0 (0,'kept')\n  @" + std::to_string(dump.size() - 13)),
              std::string::npos) << expected;
    import_helper_counts.taken = 0;
    const std::string threaded =
        test::import_threaded(path, dir.file("two"), dump, 0, {3, dump.size() / 16384});
    EXPECT_TRUE(threaded == expected) << threaded.substr(0, 300);
    EXPECT_GE(import_helper_counts.taken.load(), 10000u);
}

// Dumps of one row per statement in the forms the helpers take runs of whole statements from,
// and with what must end or spoil such a run: each threaded import must leave what the single
// thread leaves, and take at least min_statements statements from helpers' runs.
struct StatementRunCase {
    const char* name;
    const char* head;    // each statement up to its tuple
    const char* eol;     // after its ';'
    const char* gap;     // between statements
    const char* odd;     // every 250th statement instead of a row, when set
    std::size_t cut;     // bytes cut off the end
    std::uint64_t min_statements;
};

const StatementRunCase STATEMENT_RUN_CASES[] = {
    {"plain", "INSERT INTO `t` VALUES ", "\n", "", nullptr, 0, 6000},
    {"column list", "INSERT INTO `t` (`a`, `b`) VALUES ", "\n", "", nullptr, 0, 6000},
    {"INSERT IGNORE", "INSERT IGNORE INTO `t` VALUES ", "\n", "", nullptr, 0, 6000},
    {"REPLACE, a note each", "REPLACE INTO `t` VALUES ", "\n", "", nullptr, 0, 6000},
    {"comments and blank lines", "INSERT INTO t VALUES", "\n", "\n-- row\n--\n", nullptr, 0, 6000},
    {"CRLF", "insert into `d`.`t` values ", "\r\n", "\r\n-- row\r\n", nullptr, 0, 6000},
    {"statement starts inside strings and comments", "INSERT INTO `t` VALUES ", "\n", "",
     "INSERT INTO `t` VALUES (0,'\nINSERT INTO `t` VALUES (1,''x'');\n"
     "INSERT INTO `t` VALUES (2,''y'');\n-- z\nINSERT INTO `t` VALUES (1,');\n/*\n"
     "INSERT INTO `t` VALUES (3,'z');\nINSERT INTO `t` VALUES (4,'w');\n*/\n", 0, 6000},
    {"mismatching statements", "INSERT INTO `t` VALUES ", "\n", "",
     "INSERT INTO `t` VALUES (7,'a'),(8);\nINSERT INTO `t` VALUES (9);\n"
     "INSERT INTO `t` (`b`) VALUES ('b'),('c');\n/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */;\n"
     "INSERT INTO `t` VALUES (7,'a\\'),(8,'b');\n", 0, 3000},
    {"cut inside a string", "INSERT INTO `t` VALUES ", "\n", "", nullptr, 9, 6000},
    {"cut inside a tuple", "INSERT INTO `t` VALUES ", "\n", "", nullptr, 14, 6000},
    {"cut after the last ';'", "INSERT INTO `t` VALUES ", "\n", "", nullptr, 1, 6000},
};

std::string one_row_dump(const StatementRunCase& c) {
    std::string dump = "CREATE DATABASE d;\nUSE d;\nCREATE TABLE `t` (`a` int, `b` text);\n";
    for (int row = 0; row < 6000; ++row) {
        if (c.odd != nullptr && row % 250 == 125) {
            dump += c.odd;
            continue;
        }
        dump += std::string(c.head) + "(" + std::to_string(row) + ",'row " + std::to_string(row) +
                "')" + (row % 7 == 0 ? " ;" : ";") + c.eol + c.gap;
    }
    return dump.substr(0, dump.size() - c.cut);
}

TEST(ImportRun, StatementRunsMatchTheSingleThread) {
    test::TempDir dir;
    const std::string path = dir.file("dump.sql");
    for (const StatementRunCase& c : STATEMENT_RUN_CASES) {
        const std::string dump = one_row_dump(c);
        test::write_file(path, dump);
        DumpState single;
        std::string expected;
        test::import_described(single, expected, path, dir.file("one"), dump, false);
        EXPECT_NE(expected.find(" Einträge, "), std::string::npos) << c.name << expected;
        EXPECT_EQ(expected.find("Der Dump endet mitten in einer Anweisung") != std::string::npos,
                  c.cut > 1) << c.name;
        import_helper_counts.statements = 0;
        for (const test::ThreadedWay way : {test::ThreadedWay{2, dump.size() / 8192},
                                            test::ThreadedWay{4, dump.size() / 3000}}) {
            const std::string threaded = test::import_threaded(path, dir.file("n"), dump, 0, way);
            EXPECT_TRUE(threaded == expected)
                << c.name << ", " << way.threads << " threads:\n" << threaded.substr(0, 2000);
        }
        EXPECT_GE(import_helper_counts.statements.load(), c.min_statements) << c.name;
    }
}

TEST(ImportRun, CacheAndReadFailures) {
    const std::string dump = "INSERT INTO t VALUES (1),(2);";
    EXPECT_EQ(import_prepared(dump, [](DumpState& s) {
                  std::filesystem::create_directory(test::fs_path(cache_index_path(s, 0)));
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

// The layout number found or added, or the failure's text.
std::string layout_of(DumpState& state, const std::uint32_t* numbers, std::uint32_t count) {
    std::uint32_t layout = 0;
    const Status found = layout_find_or_add(state, 0, numbers, count, layout);
    return found.ok() ? std::to_string(layout) : status_text(found);
}

// The kind of a failure tells callers what to do with it (a cancelled job shows no error box),
// its byte where the scan stopped: each way an import ends.
TEST(ImportRun, FailureKindsAndPositions) {
    const ProgressSink cancel{[](void*, std::uint64_t, std::uint64_t, std::uint64_t,
                                 const char*) { return 0; }, nullptr};
    const auto nothing = [](DumpState&) {};
    const auto shrunk = [](DumpState& s) { s.dump_size += 10; };
    const struct {
        std::string dump;
        std::function<void(DumpState&)> prepare;
        const ProgressSink* sink;
        StatusKind kind;
        std::uint64_t byte;
    } cases[] = {
        {"INSERT INTO t VALUES (1);", nothing, nullptr, StatusKind::ok, STATUS_NO_BYTE},
        {"INSERT INTO t VALUES (1);", nothing, &cancel, StatusKind::cancelled, 0},
        {"SELECT 'abc", shrunk, nullptr, StatusKind::input_output, 11},
        // The end of the dump inside a tuple is no failure (the tuples before it stay); a
        // read error there is (the file shrank after opening).
        {"INSERT INTO t VALUES (1,'a'", nothing, nullptr, StatusKind::ok, STATUS_NO_BYTE},
        {"INSERT INTO t VALUES (1,'a'", shrunk, nullptr, StatusKind::syntax, 27},
        {"INSERT INTO t VALUES (1) x;", nothing, nullptr, StatusKind::syntax, 26},
        {"INSERT INTO t SELECT 1;", nothing, nullptr, StatusKind::refused, 20},
        {"SET sql_mode = @@GLOBAL.sql_mode;", nothing, nullptr, StatusKind::refused, 33},
        {"INSERT INTO t VALUES (" + std::string(4097, '(') + ");", nothing, nullptr,
         StatusKind::limit, 4118},
        {"DELIMITER " + std::string(20, '$'), nothing, nullptr, StatusKind::limit, 29},
    };
    for (const auto& c : cases) {
        Status status;
        const std::string text = import_prepared(c.dump, c.prepare, c.sink, &status);
        EXPECT_EQ(status.kind, c.kind) << text;
        EXPECT_EQ(status.byte, c.byte) << text;
    }
}

TEST(InsertIndexing, LayoutLimit) {
    DumpState state;
    std::uint32_t object = 1;
    ASSERT_TRUE(object_find_or_add(state, "d", "t", OBJECT_TABLE, object).ok());
    ASSERT_EQ(object, 0u);
    // 65,535 distinct layouts put in place directly (the search is linear by design).
    std::vector<ColumnLayout>& layouts = state.objects[0].layouts;
    for (std::uint32_t i = 0; i + 1 < MAX_LAYOUTS; ++i) layouts.push_back({{i / 256, i % 256}});
    std::uint32_t numbers[2] = {3, 7};
    EXPECT_EQ(layout_of(state, numbers, 2), std::to_string(3 * 256 + 7));
    numbers[0] = 300;
    EXPECT_EQ(layout_of(state, numbers, 2), "65535");  // the 65,536th
    EXPECT_EQ(layout_of(state, numbers, 2), "65535");
    EXPECT_EQ(layout_of(state, numbers, 1), "Zu viele unterschiedliche INSERT-Spaltenlayouts.");
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

TEST(TextToken, SpanTokens) {
    const std::vector<std::tuple<std::string, bool, std::vector<std::string>>> cases = {
        {"a /* x */ `b``c` 'd''e' \"f\\\"g\" -- z\n h#\n", false, {"a", "b`c", "d'e", "f\"g", "h"}},
        {"'a\\' b", true, {"a\\", "b"}},
        {"'a\\' b", false, {"a' b"}},  // unterminated: runs to the end, no failure
        {"'ab\\", false, {"ab\\"}},
        {"/*/ x */--x", false, {"-", "-", "x"}},
        {std::string(9000, 'w') + " next", false, {std::string(8191, 'w'), "next"}},
    };
    for (const auto& [text, no_backslash, want] : cases) {
        TextSpan span;
        span.bytes = reinterpret_cast<const unsigned char*>(text.data());
        span.length = text.size();
        span.mode = escape_mode_of(no_backslash);
        auto t = std::make_unique<Token>();
        std::vector<std::string> got;
        while (text_read_token(span, *t)) got.emplace_back(t->text, t->length);
        EXPECT_EQ(got, want) << text.substr(0, 40);
    }
}

TEST(SqlMode, AssignmentsFromTheTable) {
    std::istringstream table(test::read_file(test::data_file("importer/sql_mode.txt")));
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream in(line);
        std::uint32_t mode, saved, was_saved, want_mode, want_saved, fails;
        in >> mode >> saved >> was_saved >> want_mode >> want_saved >> fails;
        const std::string text = line.substr(line.find(" | ") + 3);
        DumpState state;
        DumpReader reader;
        reader.state = &state;
        reader.escape_mode = escape_mode_of(mode != 0);
        reader.saved_escape_mode = escape_mode_of(saved != 0);
        reader.mode_saved = was_saved;
        sql_mode_recognise(reader, text.c_str());
        EXPECT_EQ(reader.escape_mode, escape_mode_of(want_mode != 0)) << text;
        EXPECT_EQ(reader.saved_escape_mode, escape_mode_of(want_saved != 0)) << text;
        EXPECT_EQ(status_text(reader.status),
                  fails ? "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen "
                          "zuverlässigen Import einen normalen mysqldump verwenden."
                        : "")
            << text;
        ++rows;
    }
    EXPECT_EQ(rows, 53);
}

}  // namespace
}  // namespace kv
