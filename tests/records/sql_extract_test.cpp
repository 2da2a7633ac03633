// SQL extract against imported dumps: the statements a script holds for the escape modes,
// column lists and verbs of its tuples; the 1 MiB statement limit and tuples larger than the
// read window, byte for byte; the header's comments, which no name or filter text can leave;
// and the failures every writer shares (refusals, cancel, stale entries), which leave the
// destination as it was. Whether the scripts load as the dump does is the MariaDB round trip's
// question (tests/roundtrip/mariadb_extract.py).
#include <gtest/gtest.h>

#include <sstream>

#include "records/sql_extract.h"
#include "tests/records/records_test_support.h"

using namespace kv;
using kv::test::ImportedDump;

namespace {

// The lines of a script that are neither comments, nor the session lines every script opens
// and closes with, nor blank.
std::string statements(const std::string& script) {
    std::istringstream in(script);
    std::string out;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line.rfind("-- ", 0) == 0 || line.rfind("/*!", 0) == 0) continue;
        out += line + "\n";
    }
    return out;
}

// The script of every table of dump (one part per object, in object order).
std::string extract_all(const std::string& dump, ExtractOptions options = {}) {
    ImportedDump d;
    EXPECT_TRUE(d.import(dump));
    std::vector<ExtractPart> parts;
    for (std::uint32_t o = 0; o < d.state.objects.size(); ++o) {
        if (d.state.objects[o].kind == OBJECT_DATABASE) continue;
        parts.push_back(ExtractPart{o, d.index(o), d.state.objects[o].entry_count, false, {}});
    }
    const std::string out = d.dir.file("out.sql");
    const Status s = sql_extract(d.state, parts, out, options, nullptr);
    EXPECT_TRUE(s.ok()) << test::text_of(s);
    return test::file_exists(out) ? test::read_file(out) : "";
}

const char* const MODE = "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO';\n";
const char* const MODE_NBE = "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO,NO_BACKSLASH_ESCAPES';\n";
const char* const MODE_ANSI = "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO,ANSI_QUOTES';\n";

}  // namespace

// Each case: the INSERTs of a dump after "CREATE TABLE t (a int, b text);", and the statements
// of its data-only script.
TEST(SqlExtract, StatementsFollowModesListsAndVerbs) {
    struct Case {
        const char* inserts;
        std::string want;
    };
    const Case cases[] = {
        {"INSERT INTO t VALUES (1,'a'),(2,'b');\nINSERT INTO t VALUES (3,'c');",
         std::string(MODE) + "INSERT INTO `t` VALUES (1,'a'),(2,'b'),(3,'c');\n"},
        {"INSERT INTO t (b,a) VALUES ('x',1);\nINSERT INTO t (b,a) VALUES ('y',2);\n"
         "INSERT INTO t (a) VALUES (3);",
         std::string(MODE) + "INSERT INTO `t` (`b`,`a`) VALUES ('x',1),('y',2);\n"
                             "INSERT INTO `t` (`a`) VALUES (3);\n"},
        {"REPLACE INTO t VALUES (1,'r');\nINSERT IGNORE INTO t VALUES (1,'i');\n"
         "INSERT LOW_PRIORITY IGNORE INTO t VALUES (2,'j');\nINSERT INTO t VALUES (3,'k');",
         std::string(MODE) + "REPLACE INTO `t` VALUES (1,'r');\n"
                             "INSERT IGNORE INTO `t` VALUES (1,'i'),(2,'j');\n"
                             "INSERT INTO `t` VALUES (3,'k');\n"},
        {"INSERT INTO t VALUES (1,'\\\\');\nSET SQL_MODE='NO_BACKSLASH_ESCAPES';\n"
         "INSERT INTO t VALUES (2,'\\');\nSET SQL_MODE='';\nINSERT INTO t VALUES (3,'\\'');",
         std::string(MODE) + "INSERT INTO `t` VALUES (1,'\\\\');\n" + MODE_NBE +
             "INSERT INTO `t` VALUES (2,'\\');\n" + MODE + "INSERT INTO `t` VALUES (3,'\\'');\n"},
        {"SET SQL_MODE='ANSI';\nINSERT INTO \"t\" (\"a\") VALUES (1);\n"
         "SET SQL_MODE=DEFAULT;\nINSERT INTO t (a) VALUES (2);",
         std::string(MODE_ANSI) + "INSERT INTO `t` (`a`) VALUES (1);\n" + MODE +
             "INSERT INTO `t` (`a`) VALUES (2);\n"},
        {"SET sql_mode='ORACLE,NO_BACKSLASH_ESCAPES';\nINSERT INTO t VALUES (1,'\\');",
         "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO,NO_BACKSLASH_ESCAPES,ANSI_QUOTES';\n"
         "INSERT INTO `t` VALUES (1,'\\');\n"},
    };
    ExtractOptions data_only;
    data_only.data_only = true;
    for (const Case& c : cases) {
        const std::string dump = std::string("CREATE TABLE t (a int, b text);\n") + c.inserts;
        EXPECT_EQ(statements(extract_all(dump, data_only)), c.want) << c.inserts;
    }
}

// DROP and CREATE unless data only; a table without CREATE text gets a comment instead; a
// routine's CREATE runs in a DELIMITER block its body does not contain; --with-database names
// each database once per change.
TEST(SqlExtract, CreateTextsAndDatabases) {
    const std::string dump =
        "USE `d1`;\nCREATE TABLE `t` (`a` int);\nINSERT INTO `t` VALUES (1);\n"
        "DELIMITER $$\nCREATE PROCEDURE `p`() BEGIN SELECT ';;'; SELECT 2; END $$\nDELIMITER ;\n"
        "USE `d2`;\nINSERT INTO `n``q` VALUES (2);\n";
    ExtractOptions with_database;
    with_database.with_database = true;
    const std::string script = extract_all(dump, with_database);
    EXPECT_EQ(statements(script),
              "CREATE DATABASE IF NOT EXISTS `d1`;\nUSE `d1`;\n" + std::string(MODE) +
                  "DROP TABLE IF EXISTS `t`;\nCREATE TABLE `t` (`a` int);\n"
                  "INSERT INTO `t` VALUES (1);\n"
                  "DELIMITER $$\nCREATE PROCEDURE `p`() BEGIN SELECT ';;'; SELECT 2; END$$\n"
                  "DELIMITER ;\n"
                  "CREATE DATABASE IF NOT EXISTS `d2`;\nUSE `d2`;\n"
                  "INSERT INTO `n``q` VALUES (2);\n");
    EXPECT_NE(script.find("-- Der Dump enthält keinen CREATE-Text für `d2`.`n``q`"),
              std::string::npos);
    EXPECT_EQ(script.find("USE"), script.find("USE `d1`"));
}

// SET NAMES opens the script with the dump's declared character set and changes before a
// table whose first tuple stands under another one (utf8mb4 where none was declared yet); a
// table without rows changes nothing.
TEST(SqlExtract, SetNamesFollowsEachTablesData) {
    const std::string script = extract_all(
        "INSERT INTO a VALUES (1);\nSET NAMES latin1;\nINSERT INTO b VALUES (2);\n"
        "CREATE TABLE c (x int);\nSET NAMES cp1251;\nINSERT INTO d VALUES (3);\n"
        "INSERT INTO e VALUES (4);\nSET NAMES utf8mb4;\nINSERT INTO b VALUES (5);\n");
    std::string names;
    for (std::size_t at = script.find("SET NAMES "); at != std::string::npos;
         at = script.find("SET NAMES ", at + 1)) {
        names += script.substr(at + 10, script.find(' ', at + 10) - at - 10) + " before " +
                 script.substr(script.find("INSERT", at) + 12, 3) + ", ";
    }
    EXPECT_EQ(names, "latin1 before `a`, utf8mb4 before `a`, latin1 before `b`, cp1251 before `d`, ");
}

// Statements stay within 1 MiB, a larger tuple has one of its own, and a tuple larger than the
// 4 MiB read window is streamed: the script holds every tuple byte for byte, in dump order.
TEST(SqlExtract, StatementLimitAndTuplesBeyondTheWindow) {
    std::string dump = "CREATE TABLE t (a int, b longtext);\nINSERT INTO t VALUES ";
    std::vector<std::string> tuples;
    const std::size_t sizes[] = {300000, 300000, 300000, 448000, 5000000, 10, 1048540, 20};
    for (std::size_t k = 0; k < std::size(sizes); ++k) {
        tuples.push_back("(" + std::to_string(k) + ",'" + std::string(sizes[k], 'a' + k) + "')");
        dump += (k ? "," : "") + tuples.back();
    }
    dump += ";\n";
    std::string joined;
    for (const std::string& line : [&] {
             std::vector<std::string> lines;
             std::istringstream in(statements(extract_all(dump)));
             for (std::string l; std::getline(in, l);) lines.push_back(l);
             return lines;
         }()) {
        if (line.rfind("INSERT", 0) != 0) continue;
        const std::size_t values = line.find("VALUES ") + 7;
        const std::size_t count = std::count(line.begin(), line.end(), '(');
        EXPECT_TRUE(line.size() <= EXTRACT_STATEMENT_MAX || count == 1) << line.size();
        joined += line.substr(values, line.size() - values - 1) + "|";
    }
    // Where the statements end: the fourth tuple would take the first one past 1 MiB, the
    // fifth is larger than that alone, the seventh does not fit behind the sixth, nor the
    // eighth behind the seventh, by a few bytes.
    std::string want;
    for (std::size_t k = 0; k < tuples.size(); ++k) want += tuples[k] + (k >= 2 ? "|" : ",");
    EXPECT_TRUE(joined == want) << "the tuples differ from the dump's";
}

// Names and filter texts in the header cannot end its comment lines.
TEST(SqlExtract, HeaderCommentsHoldNoLineBreak) {
    ImportedDump d;
    ASSERT_TRUE(d.import("CREATE TABLE `x\ny` (`c\rDROP` text);\nINSERT INTO `x\ny` VALUES ('v');\n"));
    ExtractPart part{0, d.index(0), 1, true, {}};
    part.filter.column = 0;
    part.filter.op = FilterOp::equals;
    part.filter.text = "v\nDROP DATABASE mysql;\r\n-- ";
    ExtractOptions options;
    options.now = 951782400;
    const std::string out = d.dir.file("out.sql");
    ASSERT_TRUE(sql_extract(d.state, {part}, out, options, nullptr).ok());
    const std::string script = test::read_file(out);
    EXPECT_NE(script.find("-- Objekt: `dump`.`x y`\n-- Filter: `c DROP` entspricht 'v DROP DATABASE "
                          "mysql;  -- '\n-- Erstellt: 2000-02-29 00:00:00 UTC\n"),
              std::string::npos)
        << script;
    EXPECT_EQ(script.find("\nDROP DATABASE"), std::string::npos);
}

TEST(SqlExtract, TimeText) {
    const std::pair<std::int64_t, const char*> cases[] = {
        {0, "1970-01-01 00:00:00 UTC"},          {951782400, "2000-02-29 00:00:00 UTC"},
        {1735689599, "2024-12-31 23:59:59 UTC"}, {4107542399, "2100-02-28 23:59:59 UTC"},
        {253402300799, "9999-12-31 23:59:59 UTC"}, {-5, "1970-01-01 00:00:00 UTC"},
    };
    for (const auto& [seconds, text] : cases) EXPECT_EQ(extract_time_text(seconds), text);
}

// Every failure leaves the destination as it was and no temporary file: refusals of the dump,
// the entry source and the cache folder under any spelling, cancel, entries that no longer fit.
TEST(SqlExtract, FailuresKeepTheDestination) {
    ImportedDump d;
    ASSERT_TRUE(d.import("CREATE TABLE t (a int);\nINSERT INTO t VALUES (1),(2);\n"));
    const std::string out = d.dir.file("out.sql"), index = d.index(0);
    const std::string folder = index.substr(0, index.rfind('/'));
    const ProgressSink cancel{
        +[](void*, std::uint64_t, std::uint64_t, std::uint64_t, const char*) { return 0; }};
    const auto fails = [&](const std::string& target, std::vector<ExtractPart> parts,
                           const ProgressSink* sink) {
        test::write_file(out, "old");
        const Status s = sql_extract(d.state, parts, target, {}, sink);
        EXPECT_FALSE(s.ok());
        EXPECT_EQ(test::read_file(out), "old");
        EXPECT_TRUE(test::no_part_files(d.dir.str()) && test::no_part_files(folder));
        return test::text_of(s);
    };
    const ExtractPart table{0, index, 2, false, {}};
    const std::string source = "Exportziel darf keine geöffnete Quelldatei sein.";
    EXPECT_EQ(fails(d.path, {table}, nullptr), source);
    EXPECT_EQ(fails(d.dir.str() + "/./dump.sql", {table}, nullptr), source);
    EXPECT_EQ(fails(index, {table}, nullptr), source);
    EXPECT_EQ(fails(folder + "/new.sql", {table}, nullptr),
              "Das Ziel liegt im Cache-Ordner des Dumps. Bitte einen anderen Speicherort wählen.");
    EXPECT_EQ(fails(out, {ExtractPart{7, index, 2, false, {}}}, nullptr), "Ungültige Tabelle.");
    EXPECT_EQ(fails(out, {table}, &cancel), "Vorgang abgebrochen.");
    EXPECT_EQ(fails(out, {ExtractPart{0, index, 3, false, {}}}, nullptr), "Positionsindex ist unvollständig.");
    d.state.objects[0].layouts.clear();
    EXPECT_EQ(fails(out, {table}, nullptr),
              "Ungültiger oder veralteter Positionsindex. Cache neu aufbauen.");
    d.state.objects[0].layouts.push_back(ColumnLayout{{0}});
    unsigned char moved[INDEX_ENTRY_SIZE];  // an entry that points at "CREAT", not at a tuple
    index_entry_encode(IndexEntry{0, 5, 0}, moved);
    test::write_file(index, std::string(reinterpret_cast<const char*>(moved), sizeof moved));
    EXPECT_EQ(fails(out, {ExtractPart{0, index, 1, false, {}}}, nullptr),
              "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.");
}

// A script sets TIME_ZONE to UTC exactly when the dump did so before its data (mysqldump's
// --tz-utc), and restores it at the end.
TEST(SqlExtract, TimeZoneOfTheDump) {
    const std::pair<const char*, bool> cases[] = {
        {"/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;\n/*!40103 SET TIME_ZONE='+00:00' */;\n", true},
        {"SET time_zone = \"+00:00\";\n", true},
        {"SET TIME_ZONE='+01:00';\n", false},
        {"SET TIME_ZONE='+00:00';\nSET TIME_ZONE='SYSTEM';\n", false},
        {"SET @OLD_TIME_ZONE='+00:00';\n", false},
        {"", false},
    };
    for (const auto& [settings, utc] : cases) {
        const std::string script = extract_all(std::string(settings) +
                                               "CREATE TABLE t (a timestamp);\n"
                                               "INSERT INTO t VALUES ('2026-01-01 00:00:00');\n"
                                               "SET TIME_ZONE='+05:00';\n");
        const bool set = script.find("/*!40103 SET TIME_ZONE='+00:00' */;\n") != std::string::npos;
        const bool restored =
            script.find("/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;\n") != std::string::npos;
        EXPECT_EQ(set, utc) << settings;
        EXPECT_EQ(restored, utc) << settings;
    }
}
