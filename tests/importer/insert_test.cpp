// INSERT/REPLACE indexing through whole import runs: entries (offset, length, layout word)
// checked against the tuple texts found in the dump bytes, layouts, value counting, escape
// flags, and every header and tuple message with its byte position.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "importer/insert_scan.h"
#include "importer_test_support.h"

namespace kv {
namespace {

using test::DumpFixture;
using test::expect_entries;
using test::expect_failures;
using test::NB;
using test::RawEntry;

std::vector<std::vector<std::uint32_t>> layouts_of(const SchemaObject& o) {
    std::vector<std::vector<std::uint32_t>> out;
    for (const ColumnLayout& l : o.layouts) out.push_back(l.columns);
    return out;
}

TEST(InsertIndexing, HeaderFormsSelectTheTable) {
    DumpFixture f(
        "INSERT INTO db.t VALUES (1);\n"
        "INSERT INTO `db`.`t` VALUES (2);\n"
        "INSERT IGNORE DELAYED INTO t VALUES (3);\n"
        "INSERT LOW_PRIORITY HIGH_PRIORITY t VALUE (4);\n"
        "USE `db`;\n"
        "insert into t values (5);\n"
        "REPLACE db . t VALUES (6)");
    ASSERT_TRUE(f.import()) << f.state.message;
    ASSERT_EQ(f.state.objects.size(), 2u);
    EXPECT_EQ(f.state.objects[0].database_name, "db");
    EXPECT_EQ(f.state.objects[0].object_name, "t");
    EXPECT_EQ(f.state.objects[1].database_name, "dump");
    EXPECT_EQ(f.state.objects[1].object_name, "t");
    expect_entries(f, 0, {{"(1)"}, {"(2)"}, {"(5)"}, {"(6)"}});
    expect_entries(f, 1, {{"(3)"}, {"(4)"}});
    EXPECT_EQ(f.state.total_entries, 6u);
}

TEST(InsertIndexing, TupleBoundariesAndValueCounts) {
    struct Case {
        std::string tuple;
        std::uint32_t values;
    };
    const std::vector<Case> cases = {
        {"(1, 'a,b', (2, 3), \"x)\")", 4},
        {"()", 0},
        {"( /* c */ )", 0},
        {"(,)", 2},
        {"(1, /* ) */ 2, -- )\n 3, # )\n 4)", 4},
        {"(1 --x\n, 2)", 2},  // "--x" is no comment
        {"('it''s', 'a\\'b', `q``)`, '\\\\')", 4},
        {"(CONCAT('x', ','), (2 + 3), _binary 'raw', 0xDEAD)", 4},
        {"(/*!40000 ) */ 1)", 1},
    };
    for (const Case& c : cases) {
        DumpFixture f("INSERT INTO t VALUES " + c.tuple + ";\n");
        ASSERT_TRUE(f.import()) << c.tuple << ": " << f.state.message;
        expect_entries(f, 0, {{c.tuple}});
        EXPECT_EQ(f.state.objects[0].columns.size(), c.values) << c.tuple;
    }
}

TEST(InsertIndexing, LayoutsAreReusedAndDistinct) {
    DumpFixture f(
        "CREATE TABLE t (a int, b int, c int);\n"
        "INSERT INTO t (a, b) VALUES (1,2);\n"
        "INSERT INTO t (b, a) VALUES (3,4),(5,6);\n"
        "INSERT INTO t (A, `B`) VALUES (7,8);\n"
        "INSERT INTO t VALUES (9,9,9);\n"
        "INSERT INTO t (a,b,c,) VALUES (0,0,0);\n"
        "INSERT INTO t () VALUES ();\n"
        "INSERT INTO t (c, d) VALUES (1,2);\n");
    ASSERT_TRUE(f.import()) << f.state.message;
    const SchemaObject& t = f.state.objects[0];
    EXPECT_EQ(layouts_of(t), (std::vector<std::vector<std::uint32_t>>{
                                 {0, 1}, {1, 0}, {0, 1, 2}, {}, {2, 3}}));
    ASSERT_EQ(t.columns.size(), 4u);
    EXPECT_EQ(t.columns[3].name, "d");
    EXPECT_EQ(t.columns[3].type_text, "(Definition nicht im Dump)");
    expect_entries(f, 0,
                   {{"(1,2)"}, {"(3,4)", 1}, {"(5,6)", 1}, {"(7,8)"},
                    {"(9,9,9)", 2}, {"(0,0,0)", 2}, {"()", 3, 1}, {"(1,2)", 4, 1}});
}

// A statement whose column list repeats the last one byte for byte reuses its layout; the
// reuse must not cross tables, and a list with a comment is read anew (the comment may switch
// the escape mode). Without a list, INVISIBLE columns take no value, also after a later
// CREATE TABLE changed which columns are invisible.
TEST(InsertIndexing, RepeatedListsAndInvisibleColumns) {
    DumpFixture f(
        "CREATE TABLE t (a int, h int /*!80023 INVISIBLE */, b int COMMENT 'invisible');\n"
        "INSERT INTO t (`a`, `b`) VALUES (1,2);\n"
        "INSERT INTO t (`a`, `b`) VALUES (3,4);\n"
        "INSERT INTO u (`a`, `b`) VALUES (5,6);\n"
        "INSERT INTO t (`b`, `a`) VALUES (7,8);\n"
        "INSERT INTO t (`a`, `b`) VALUES (9,10);\n"
        "INSERT INTO t (`a`, `b`, `h`) VALUES (1,2,3);\n"
        "INSERT INTO t VALUES (11,12);\n"
        "INSERT INTO t VALUES (13,14);\n"
        "CREATE TABLE t (h int);\n"
        "INSERT INTO t VALUES (15,16,17);\n"
        "INSERT INTO t (/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */ a) VALUES ('x\\');\n"
        "SET SQL_MODE='';\n"
        "INSERT INTO t (/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */ a) VALUES ('y\\');\n");
    ASSERT_TRUE(f.import()) << f.state.message;
    EXPECT_EQ(layouts_of(f.state.objects[0]), (std::vector<std::vector<std::uint32_t>>{
                                                  {0, 2}, {2, 0}, {0, 2, 1}, {0, 1, 2}, {0}}));
    EXPECT_EQ(layouts_of(f.state.objects[1]), (std::vector<std::vector<std::uint32_t>>{{0, 1}}));
    expect_entries(f, 0,
                   {{"(1,2)"}, {"(3,4)"}, {"(7,8)", 1}, {"(9,10)"}, {"(1,2,3)", 2},
                    {"(11,12)"}, {"(13,14)"}, {"(15,16,17)", 3}, {"('x\\')", 4 | NB},
                    {"('y\\')", 4 | NB}});
}

TEST(InsertIndexing, EscapeModeDecidesStringEndsAndBit31) {
    DumpFixture f(
        "INSERT INTO t VALUES ('a\\'),(')\n;"   // backslash escapes the quote: one value
        "SET sql_mode='NO_BACKSLASH_ESCAPES';\n"
        "INSERT INTO t VALUES ('c\\'),('d');\n"   // two tuples
        "SET SQL_MODE=DEFAULT;\n"
        "INSERT INTO t VALUES ('e'),\n"
        "/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */ ('f\\');\n");
    ASSERT_TRUE(f.import()) << f.state.message;
    expect_entries(f, 0,
                   {{"('a\\'),(')"}, {"('c\\')", NB}, {"('d')", NB},
                    {"('e')"}, {"('f\\')", NB}});
}

TEST(InsertIndexing, OnDuplicateKeyUpdateAndReplaceNotes) {
    DumpFixture f(
        "INSERT INTO t VALUES (1),(2) ON DUPLICATE KEY UPDATE a = VALUES(a), b = ';';\n"
        "REPLACE INTO t VALUES (3);\n"
        "INSERT INTO t VALUES (4)");
    ASSERT_TRUE(f.import()) << f.state.message;
    expect_entries(f, 0, {{"(1)"}, {"(2)"}, {"(3)"}, {"(4)"}});
    EXPECT_EQ(f.state.note_count, 3u);
    EXPECT_EQ(f.state.import_notes,
              test::NOTE_GENERIC + test::NOTE_ON_DUPLICATE + test::NOTE_REPLACE);
}

TEST(InsertIndexing, BatchBoundary) {
    for (std::uint32_t n : {4096u, 4097u}) {
        std::string dump = "INSERT INTO t VALUES ";
        for (std::uint32_t i = 0; i < n; ++i) dump += (i ? ",(" : "(") + std::to_string(i) + ")";
        dump += ";";
        DumpFixture f(dump);
        ASSERT_TRUE(f.import()) << f.state.message;
        std::vector<RawEntry> e = f.entries(0);
        ASSERT_EQ(e.size(), n);
        EXPECT_EQ(f.index_bytes(0).size(), 16u * n);
        EXPECT_EQ(f.tuple_text(e[n - 1]), "(" + std::to_string(n - 1) + ")");
        EXPECT_EQ(e[n - 1].offset, dump.size() - 3 - std::to_string(n - 1).size());
    }
}

TEST(InsertIndexing, LimitsThatHold) {
    // 4,096 values in a tuple and nesting depth 4,096 are accepted.
    std::string values = "(1";
    for (int i = 1; i < 4096; ++i) values += ",1";
    values += ")";
    std::string deep = std::string(4096, '(') + std::string(4096, ')');
    DumpFixture f("INSERT INTO w VALUES " + values + ";\nINSERT INTO d VALUES " + deep + ";");
    ASSERT_TRUE(f.import()) << f.state.message;
    EXPECT_EQ(f.state.objects[0].columns.size(), 4096u);
    expect_entries(f, 0, {{values}});
    expect_entries(f, 1, {{deep}});
}

TEST(InsertIndexing, HeaderMessages) {
    expect_failures({
        {"INSERT", "Unvollständiger INSERT-Header.", ""},
        {"INSERT IGNORE ", "Unvollständiger INSERT-Header.", ""},
        {"INSERT INTO ", "Tabellenname nach INTO fehlt.", ""},
        {"INSERT INTO `open", "Tabellenname nach INTO fehlt.", ""},
        {"INSERT INTO t", "INSERT-Header endet vor VALUES.", ""},
        {"INSERT INTO db.", "Tabellenname nach Datenbank fehlt.", ""},
        {"INSERT INTO t (", "Unvollständige INSERT-Spaltenliste.", ""},
        {"INSERT INTO t (a", "Unvollständige INSERT-Spaltenliste.", ""},
        {"INSERT INTO t (a b) VALUES (1);", "Ungültige INSERT-Spaltenliste.", "(a b"},
        {"INSERT INTO t (a,", "Ungültige INSERT-Spaltenliste.", ""},
        {"INSERT INTO t (a, A) VALUES (1, 2);", "Doppelte Spalte in einer INSERT-Spaltenliste.",
         "a, A"},
        {"INSERT INTO t (a)", "VALUES nach INSERT-Spaltenliste fehlt.", ""},
        {"INSERT INTO t SET a = 1;",
         test::MSG_VALUES_ONLY, "SET"},
        {"INSERT INTO t (a, b) SELECT 1, 2;",
         test::MSG_VALUES_ONLY, "SELECT"},
        {"INSERT INTO t PARTITION (p0) VALUES (1);",
         test::MSG_VALUES_ONLY, "PARTITION"},
    });
}

TEST(InsertIndexing, TupleMessages) {
    std::string too_many = "(1";
    for (int i = 1; i < 4097; ++i) too_many += ",1";
    too_many += ")";
    std::string too_many_prefix = "INSERT INTO t VALUES " + too_many.substr(0, too_many.size() - 2);
    std::string too_deep = "INSERT INTO t VALUES " + std::string(4097, '(');
    const std::string pad(70, 'x');
    expect_failures({
        {"INSERT INTO t VALUES", "INSERT VALUES: Ein Datentupel mit '(' wurde erwartet.", ""},
        {"INSERT INTO t VALUES (1),", "INSERT VALUES: Ein Datentupel mit '(' wurde erwartet.", ""},
        {"INSERT INTO t VALUES 1;", "INSERT VALUES: Ein Datentupel mit '(' wurde erwartet.",
         "VALUES 1"},
        {"INSERT INTO t VALUES (1, 2", "Unvollständiges INSERT: Datentupel oder Zeichenkette "
                                       "endet vor der schließenden Klammer.", ""},
        {"INSERT INTO t VALUES (1, /* x", "Unvollständiges INSERT: Datentupel oder Zeichenkette "
                                          "endet vor der schließenden Klammer.", ""},
        {"INSERT INTO t VALUES ('a\\');", "Nicht abgeschlossene Zeichenkette im Dump.", ""},
        {too_deep, "SQL-Ausdruck ist zu tief verschachtelt.", ""},
        {"INSERT INTO t VALUES " + too_many + ";", "Mehr als 4.096 Werte in einem Datensatz.",
         too_many_prefix},
        {"CREATE TABLE t (a int, b int);\nINSERT INTO t VALUES (1);",
         test::MSG_COLUMN_MISMATCH, "(1)"},
        {"INSERT INTO t VALUES (1,2);\nINSERT INTO t VALUES (1,2,3);",
         test::MSG_COLUMN_MISMATCH, "(1,2,3)"},
        {"INSERT INTO t (a) VALUES (1,2);",
         "Anzahl der INSERT-Werte stimmt nicht mit der Spaltenliste überein.", "(1,2)"},
        {"INSERT INTO t (a) VALUES (1),(1,2);",
         "Unterschiedliche Anzahl von Werten innerhalb eines INSERT-Statements.", "(1,2)"},
        // The same inside the window pass that chains tuples joined by "),(".
        {"INSERT INTO t VALUES (1,'" + pad + "'),(2,'" + pad + "',3),(4,'" + pad + "');",
         "Unterschiedliche Anzahl von Werten innerhalb eines INSERT-Statements.",
         "(2,'" + pad + "',3)"},
        {"INSERT INTO t VALUES (1) garbage;",
         "Unerwartete Zeichen nach INSERT VALUES. Der Dump wurde nicht vollständig übernommen.",
         "garbage"},
        {"INSERT INTO t VALUES (1),/*!40101 SET sql_mode=CONCAT(x) */(2);",
         "INSERT VALUES: Ein Datentupel mit '(' wurde erwartet.", "*/"},
    });
}

TEST(InsertIndexing, ColumnListLimits) {
    std::string create = "CREATE TABLE wide (";
    std::string list;
    for (int i = 0; i < 4096; ++i) {
        create += (i ? ",c" : "c") + std::to_string(i) + " int";
        list += (i ? ",c" : "c") + std::to_string(i);
    }
    create += ");\n";
    expect_failures({
        {create + "INSERT INTO wide (" + list + ",c0x) VALUES (1);", "Zu viele INSERT-Spalten.",
         ",c0x"},
        {create + "INSERT INTO wide (c1, nope) VALUES (1, 2);",
         "Die Tabelle überschreitet das Limit von 4.096 Spalten.", "nope"},
    });
}

TEST(InsertIndexing, LayoutLimit) {
    DumpState state;
    ASSERT_EQ(object_find_or_add(state, "d", "t", OBJECT_TABLE), 0);
    // 65,535 distinct layouts put in place directly (the search is linear by design).
    std::vector<ColumnLayout>& layouts = state.objects[0].layouts;
    for (std::uint32_t i = 0; i + 1 < MAX_LAYOUTS; ++i) {
        layouts.push_back(ColumnLayout{{i / 256, i % 256}});
    }
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

// An executable comment inside a tuple that switches NO_BACKSLASH_ESCAPES takes effect after
// the tuple: the tuple is scanned in the mode its entry records, so the decoder reads it the
// same way (found by fuzzing: the rest of the tuple used to be scanned in the new mode).
TEST(InsertIndexing, EscapeModeSwitchInsideATupleAppliesAfterIt) {
    const std::string dump =
        "CREATE TABLE t (a text, b text);\n"
        "SET SQL_MODE='NO_BACKSLASH_ESCAPES';\n"
        "INSERT INTO t VALUES (/*!40101 SET SQL_MODE='' */ 'a\\', 'b'),('c\\'d', 'e'),"
        "('f' /*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */ /*!40101 SET SQL_MODE='' */, "
        "'g\\'h'),('i\\'', 'j');\n";
    kv::test::DumpFixture f(dump);
    ASSERT_TRUE(f.import()) << f.state.message;
    std::vector<kv::test::RawEntry> e = f.entries(0);
    ASSERT_EQ(e.size(), 4u);
    EXPECT_EQ(f.tuple_text(e[0]), "(/*!40101 SET SQL_MODE='' */ 'a\\', 'b')");
    EXPECT_EQ(e[0].word, NB);
    EXPECT_EQ(f.tuple_text(e[1]), "('c\\'d', 'e')");
    EXPECT_EQ(e[1].word, 0u);
    // Two switches inside one tuple: the tuple keeps its mode, the last switch counts after it.
    EXPECT_EQ(f.tuple_text(e[2]),
              "('f' /*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */ /*!40101 SET SQL_MODE='' */, "
              "'g\\'h')");
    EXPECT_EQ(e[2].word, 0u);
    EXPECT_EQ(f.tuple_text(e[3]), "('i\\'', 'j')");
    EXPECT_EQ(e[3].word, 0u);
}

const char* const MSG_TUPLE_TOO_LONG =
    "Ein einzelner Datensatz ist größer als 4 GiB und kann nicht indexiert werden.";

// The length limit holds on every path that indexes a tuple: the last tuple of a statement,
// the first one (before its layout is fixed), one joined to the next by "),(" (the window pass
// indexes those without returning to the statement loop), and the byte-by-byte reference
// path; a tuple of exactly the limit is still indexed. Run with a lowered limit.
TEST(InsertIndexing, TupleLengthLimitOnEveryPath) {
    const std::string pad(60, 'x');  // keeps a full 64-byte block after the long tuple
    const std::string rest = ",(2),('" + pad + "'),(3);\n";
    const std::string big = "('" + std::string(90, 'a') + "')";  // 94 bytes
    struct Case {
        const char* name;
        std::string dump;
        std::uint64_t limit;
        bool byte_path;
    };
    const std::vector<Case> cases = {
        {"joined", "INSERT INTO t VALUES (1)," + big + rest, 93, false},
        {"last", "INSERT INTO t VALUES (1)," + big + ";\n", 93, false},
        {"first", "INSERT INTO t VALUES " + big + rest, 93, false},
        {"joined, byte path", "INSERT INTO t VALUES (1)," + big + rest, 93, true},
        {"joined, at the limit", "INSERT INTO t VALUES (1)," + big + rest, 94, false},
        {"joined, at the limit, byte path", "INSERT INTO t VALUES (1)," + big + rest, 94, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DumpFixture f(c.dump);
        insert_tuple_length_limit = c.limit;
        reader_byte_path_only = c.byte_path;
        const bool ok = f.import();
        insert_tuple_length_limit = MAX_TUPLE_LENGTH;
        reader_byte_path_only = false;
        const std::size_t end = c.dump.find(big) + big.size();
        if (c.limit >= big.size()) {
            ASSERT_TRUE(ok) << f.state.message;
            ASSERT_EQ(f.entries(0).size(), 5u);
            EXPECT_EQ(f.tuple_text(f.entries(0)[1]), big);
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_EQ(std::string(f.state.message), test::at_byte(MSG_TUPLE_TOO_LONG, end));
        EXPECT_FALSE(f.manifest_exists());
    }
}

// The real limit: a tuple of exactly 4 GiB joined to the next one by "),(" fails the import
// (it used to be indexed with its length cut to 32 bits). The dump is a sparse file: a
// header, a hole of zero bytes inside a string, and a tail.
TEST(InsertIndexing, TupleOf4GiBFails) {
    const std::string head = "INSERT INTO t VALUES (1),('";
    const std::string tail = "'),(2),('" + std::string(60, 'x') + "'),(3);\n";
    const std::uint64_t start = head.size() - 2;               // the big tuple's "("
    const std::uint64_t end = start + (std::uint64_t{1} << 32);  // just after its ")"
    test::TempDir dir(test::sparse_file_base());
    const std::string path = dir.file("big.sql");
    {
        std::ofstream out(test::fs_path(path), std::ios::binary);
        out << head;
        out.seekp(static_cast<std::streamoff>(end - 2));
        out << tail;
    }
    DumpState state;
    ASSERT_TRUE(dump_open(state, path, dir.file("cache")));
    FileGuard lock(cache_lock(state));
    EXPECT_FALSE(import_run(state, nullptr));
    EXPECT_EQ(std::string(state.message), test::at_byte(MSG_TUPLE_TOO_LONG, end));
    EXPECT_FALSE(test::file_exists(state.cache_folder + "/manifest.kvd"));
}

}  // namespace
}  // namespace kv
