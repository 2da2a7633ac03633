// CREATE parser and schema model: object kinds and names, qualified and IF NOT EXISTS forms,
// column definitions with keys and constraints skipped, repeated CREATE TABLE, the limits.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "importer/schema.h"

namespace kv {
namespace {

struct Col {
    std::string name;
    std::string type;
    bool operator==(const Col&) const = default;
};

std::vector<Col> columns_of(const SchemaObject& o) {
    std::vector<Col> out;
    for (const Column& c : o.columns) out.push_back({c.name, c.type_text});
    return out;
}

TEST(CreateParse, ObjectsAndNames) {
    struct Case {
        std::string text;
        ObjectKind kind;
        std::string database;
        std::string name;
    };
    const std::vector<Case> cases = {
        {"CREATE TABLE IF NOT EXISTS `shop`.`orders` (`id` int);", OBJECT_TABLE, "shop", "orders"},
        {"CREATE TABLE t (a int);", OBJECT_TABLE, "cur", "t"},
        {"create temporary table `t``x` (a int);", OBJECT_TABLE, "cur", "t`x"},
        {"CREATE DATABASE /*!32312 IF NOT EXISTS*/ `shop` /*!40100 DEFAULT CHARACTER SET "
         "utf8mb4 */;",
         OBJECT_DATABASE, "shop", ""},
        {"CREATE SCHEMA s;", OBJECT_DATABASE, "s", ""},
        {"CREATE DEFINER=`root`@`localhost` PROCEDURE `p`()\nBEGIN SELECT 1; END ;;",
         OBJECT_ROUTINE, "cur", "p"},
        {"CREATE OR REPLACE ALGORITHM=UNDEFINED DEFINER=`u`@`%` SQL SECURITY DEFINER VIEW "
         "`db2`.`v` AS select 1;",
         OBJECT_VIEW, "db2", "v"},
        {"CREATE FUNCTION f(x int) RETURNS int RETURN x;", OBJECT_ROUTINE, "cur", "f"},
        {"CREATE TRIGGER tr BEFORE INSERT ON t FOR EACH ROW SET @a = 1;", OBJECT_ROUTINE, "cur",
         "tr"},
        {"CREATE EVENT e ON SCHEDULE EVERY 1 DAY DO DELETE FROM t;", OBJECT_ROUTINE, "cur", "e"},
        // Only bare words are keywords: names and strings before the keyword that spell one
        // are passed over, and so are quoted names that look like IF or a dot.
        {"CREATE DEFINER=`event`@`localhost` PROCEDURE `nightly_cleanup`() BEGIN END;;",
         OBJECT_ROUTINE, "cur", "nightly_cleanup"},
        {"CREATE DEFINER='view'@'%' SQL SECURITY INVOKER VIEW `v` AS SELECT 1;", OBJECT_VIEW,
         "cur", "v"},
        {"CREATE DEFINER=\"trigger\"@\"%\" TRIGGER \"tr\" AFTER DELETE ON t FOR EACH ROW SET "
         "@a = 1;",
         OBJECT_ROUTINE, "cur", "tr"},
        {"CREATE TABLE `if` (a int);", OBJECT_TABLE, "cur", "if"},
        {"CREATE TABLE `a` `.` (x int);", OBJECT_TABLE, "cur", "a"},
    };
    for (const Case& c : cases) {
        DumpState state;
        ASSERT_TRUE(create_parse(state, c.text.c_str(), "cur", false)) << c.text;
        ASSERT_EQ(state.objects.size(), 1u) << c.text;
        const SchemaObject& o = state.objects[0];
        EXPECT_EQ(o.kind, c.kind) << c.text;
        EXPECT_EQ(o.database_name, c.database) << c.text;
        EXPECT_EQ(o.object_name, c.name) << c.text;
        EXPECT_EQ(o.create_text, c.text) << c.text;
    }
}

TEST(CreateParse, IgnoredAndFailingStatements) {
    for (const char* text :
         {"CREATE INDEX i ON t (a);", "CREATE USER 'u'@'h';", "CREATE;", "CREATE",
          "CREATE INDEX `idx` ON `event` (`a`);", "CREATE UNIQUE INDEX u ON view (a);",
          "CREATE INDEX i ON event (a);", "CREATE ROLE 'table';",
          "CREATE SEQUENCE `s` start with 1 increment by 1;",
          "CREATE PACKAGE p AS PROCEDURE a(); FUNCTION b() RETURN INT; END;"}) {
        DumpState state;
        EXPECT_TRUE(create_parse(state, text, "cur", false)) << text;
        EXPECT_TRUE(state.objects.empty()) << text;
    }
    DumpState state;
    EXPECT_FALSE(create_parse(state, "CREATE TABLE", "cur", false));
    EXPECT_STREQ(state.message, "Unvollständiges CREATE-Statement.");
    EXPECT_FALSE(create_parse(state, "CREATE TABLE db. ", "cur", false));
    EXPECT_STREQ(state.message, "Unvollständiger qualifizierter Tabellenname.");
    EXPECT_TRUE(state.objects.empty());
}

TEST(CreateParse, ColumnDefinitions) {
    DumpState state;
    const char* text =
        "CREATE TABLE t (\n"
        "  `id` int NOT NULL /* the key */,\n"
        "  `key` varchar(10) DEFAULT 'a,b',\n"
        "  `e` enum('a,b','c)') NOT NULL,\n"
        "  \"q\" decimal(10,2),\n"
        "  `x\\y` int,\n"
        "  PRIMARY KEY (`id`),\n"
        "  KEY `k` (`a`,`b`),\n"
        "  unique key u (e),\n"
        "  CONSTRAINT `fk` FOREIGN KEY (`id`) REFERENCES o (`id`),\n"
        "  FULLTEXT KEY ft (`key`), SPATIAL INDEX sp (g), INDEX i (q), CHECK (id > 0)\n"
        ") ENGINE=InnoDB COMMENT='(a, b)';";
    ASSERT_TRUE(create_parse(state, text, "cur", false));
    const std::vector<Col> want = {{"id", "int NOT NULL /* the key */"},
                                   {"key", "varchar(10) DEFAULT 'a,b'"},
                                   {"e", "enum('a,b','c)') NOT NULL"},
                                   {"q", "decimal(10,2)"},
                                   {"x\\y", "int"}};
    EXPECT_EQ(columns_of(state.objects[0]), want);

    // Under NO_BACKSLASH_ESCAPES 'a\' is a complete string.
    DumpState nb;
    ASSERT_TRUE(create_parse(nb, "CREATE TABLE t (a char(2) DEFAULT 'a\\', b int);", "d", true));
    EXPECT_EQ(columns_of(nb.objects[0]),
              (std::vector<Col>{{"a", "char(2) DEFAULT 'a\\'"}, {"b", "int"}}));

    // Table clauses of MySQL 8 and MariaDB are no columns; a quoted name that spells a clause
    // word is a column (double quotes quote names under ANSI_QUOTES), and PERIOD or VECTOR
    // open a clause only with the word that belongs to it.
    DumpState clauses;
    ASSERT_TRUE(create_parse(clauses,
                             "CREATE TABLE t (\n"
                             "  \"key\" int, \"index\" int, \"check\" int, `primary` int,\n"
                             "  `s` date, `e` date, period int, vector blob,\n"
                             "  `c` int GENERATED ALWAYS AS (`s` + 1) VIRTUAL,\n"
                             "  `h` int DEFAULT NULL /*!80023 INVISIBLE */,\n"
                             "  PERIOD FOR app_time (`s`, `e`),\n"
                             "  period for SYSTEM_TIME (row_start, row_end),\n"
                             "  VECTOR INDEX (vector), vector key vk (vector),\n"
                             "  CONSTRAINT `CONSTRAINT_1` CHECK (`e` > `s`),\n"
                             "  CONSTRAINT `t_chk_1` CHECK ((`period` > 0)) /*!80016 NOT ENFORCED */,\n"
                             "  CHECK (e > s)\n"
                             ") ENGINE=InnoDB WITH SYSTEM VERSIONING\n"
                             "/*!50100 PARTITION BY RANGE (period) (PARTITION p0 VALUES LESS "
                             "THAN (10) ENGINE = InnoDB) */;",
                             "d", false));
    std::vector<std::string> names;
    for (const Column& c : clauses.objects[0].columns) names.push_back(c.name);
    EXPECT_EQ(names, (std::vector<std::string>{"key", "index", "check", "primary", "s", "e",
                                               "period", "vector", "c", "h"}));

    for (const char* none : {"CREATE TABLE c LIKE o;", "CREATE TABLE c AS SELECT 1;",
                             "CREATE TABLE c ();", "CREATE TABLE c (", "CREATE VIEW v (a) AS x"}) {
        DumpState s;
        ASSERT_TRUE(create_parse(s, none, "d", false)) << none;
        EXPECT_TRUE(s.objects[0].columns.empty()) << none;
    }
}

TEST(CreateParse, RepeatedCreateExtendsTheTable) {
    DumpState state;
    ASSERT_TRUE(create_parse(state, "CREATE TABLE t (`ID` int, `a` int, `old` text);", "d", false));
    state.objects[0].entry_count = 5;  // as if an INSERT had filled it
    ASSERT_TRUE(create_parse(state, "CREATE TABLE t (`id` bigint, `b` int, `a` char(1));", "d",
                             false));
    ASSERT_EQ(state.objects.size(), 1u);
    EXPECT_EQ(columns_of(state.objects[0]),
              (std::vector<Col>{{"ID", "bigint"}, {"a", "char(1)"}, {"old", "text"}, {"b", "int"}}));
    EXPECT_EQ(state.objects[0].create_text, "CREATE TABLE t (`id` bigint, `b` int, `a` char(1));");
    EXPECT_EQ(state.note_count, 1u);
    EXPECT_EQ(state.import_notes,
              "CREATE TABLE nach INSERT: Daten werden als Dump-Literale angezeigt, nicht als "
              "ausgeführter SQL-Endzustand.\r\n");
}

TEST(SchemaModel, IdentityIsKindDatabaseAndExactName) {
    DumpState state;
    ObjectLookup lookup;
    for (ObjectLookup* l : {static_cast<ObjectLookup*>(nullptr), &lookup}) {
        DumpState s;
        EXPECT_EQ(object_find_or_add(s, "shop", "t", OBJECT_TABLE, l), 0);
        EXPECT_EQ(object_find_or_add(s, "Shop", "t", OBJECT_TABLE, l), 1);
        EXPECT_EQ(object_find_or_add(s, "shop", "t", OBJECT_VIEW, l), 2);
        EXPECT_EQ(object_find_or_add(s, "shop", "T", OBJECT_TABLE, l), 3);
        EXPECT_EQ(object_find_or_add(s, "sho", "pt", OBJECT_TABLE, l), 4);
        EXPECT_EQ(object_find_or_add(s, "shop", "t", OBJECT_TABLE, l), 0);
        EXPECT_EQ(object_find_or_add(s, "Shop", "t", OBJECT_TABLE, l), 1);
        EXPECT_EQ(s.objects.size(), 5u);
        EXPECT_EQ(s.objects[2].kind, OBJECT_VIEW);
        EXPECT_EQ(s.objects[4].database_name, "sho");
    }
    ASSERT_EQ(object_find_or_add(state, "d", "t", OBJECT_TABLE), 0);
    EXPECT_EQ(column_find_or_add(state, 0, "Name", "text"), 0);
    EXPECT_EQ(column_find_or_add(state, 0, "nAME", "int"), 0);
    EXPECT_EQ(state.objects[0].columns[0].type_text, "text");  // unchanged
    EXPECT_EQ(column_find_or_add(state, 0, "N\xC3\x84ME", "int"), 1);  // only ASCII folds
    EXPECT_EQ(column_find_or_add(state, 0, "n\xC3\xA4me", "int"), 2);
}

TEST(SchemaModel, ColumnLimit) {
    std::string text = "CREATE TABLE wide (";
    for (int i = 0; i < 4096; ++i) text += "c" + std::to_string(i) + " int,";
    std::string exact = text;
    exact.back() = ')';
    DumpState state;
    ASSERT_TRUE(create_parse(state, exact.c_str(), "d", false));
    EXPECT_EQ(state.objects[0].columns.size(), 4096u);
    text += "one_more int)";
    DumpState over;
    EXPECT_FALSE(create_parse(over, text.c_str(), "d", false));
    EXPECT_STREQ(over.message, "Die Tabelle überschreitet das Limit von 4.096 Spalten.");
    EXPECT_EQ(over.objects[0].columns.size(), 4096u);
}

TEST(SchemaModel, ObjectLimit) {
    DumpState state;
    ObjectLookup lookup;
    for (std::uint32_t i = 0; i < MAX_OBJECTS; ++i) {
        ASSERT_EQ(object_find_or_add(state, "d", std::to_string(i), OBJECT_TABLE, &lookup),
                  static_cast<int>(i));
    }
    EXPECT_EQ(object_find_or_add(state, "d", "7", OBJECT_TABLE, &lookup), 7);
    EXPECT_EQ(object_find_or_add(state, "d", "new", OBJECT_TABLE, &lookup), -1);
    EXPECT_STREQ(state.message, "Mehr als 65.536 Schemaobjekte werden nicht unterstützt.");
    EXPECT_EQ(object_find_or_add(state, "d", "new", OBJECT_TABLE), -1);
    EXPECT_EQ(state.objects.size(), MAX_OBJECTS);
}

TEST(TextToken, SpanTokens) {
    struct Case {
        std::string text;
        bool no_backslash;
        std::vector<std::string> tokens;
    };
    const std::vector<Case> cases = {
        {"a /* x */ `b``c` 'd''e' \"f\\\"g\" -- z\n h#\n", false,
         {"a", "b`c", "d'e", "f\"g", "h"}},
        {"'a\\' b", true, {"a\\", "b"}},
        {"'a\\' b", false, {"a' b"}},          // unterminated: runs to the end, no failure
        {"'ab\\", false, {"ab\\"}},            // a backslash at the end stays
        {"/*/ x */--x", false, {"-", "-", "x"}},
        {std::string(9000, 'w') + " next", false, {std::string(8191, 'w'), "next"}},
    };
    for (const Case& c : cases) {
        TextSpan span;
        span.bytes = reinterpret_cast<const unsigned char*>(c.text.data());
        span.length = c.text.size();
        span.no_backslash = c.no_backslash;
        auto t = std::make_unique<Token>();
        std::vector<std::string> got;
        while (text_read_token(span, *t)) got.emplace_back(t->text, t->length);
        EXPECT_EQ(got, c.tokens) << c.text.substr(0, 40);
    }
}

}  // namespace
}  // namespace kv
