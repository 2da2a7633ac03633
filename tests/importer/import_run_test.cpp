// Whole import runs: the dumps in tests/data in the styles real tools write, statement
// handling (DELIMITER, USE, changing statements), notes, the scan's failure messages with
// their byte positions, cancellation, re-import and the open sequence with its cache.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "importer/open_sequence.h"
#include "importer_test_support.h"

namespace kv {
namespace {

using test::at_byte;
using test::data_file;
using test::DumpFixture;
using test::expect_entries;
using test::expect_failures;
using test::NB;
using test::read_file;
using test::Tuple;
using namespace test;  // the NOTE_* and MSG_* texts

std::vector<std::string> column_names(const SchemaObject& o) {
    std::vector<std::string> out;
    for (const Column& c : o.columns) out.push_back(c.name);
    return out;
}

// "kind database.name" of every object, in object order.
std::vector<std::string> object_list(const DumpState& s) {
    static const char* const KINDS[] = {"T", "V", "R", "D"};
    std::vector<std::string> out;
    for (const SchemaObject& o : s.objects) {
        out.push_back(std::string(KINDS[o.kind]) + " " + o.database_name + "." + o.object_name);
    }
    return out;
}

DumpFixture& imported(DumpFixture& f) {
    EXPECT_TRUE(f.import()) << f.state.message;
    EXPECT_TRUE(f.manifest_exists());
    return f;
}

// The dumps in tests/data in the styles real tools write: objects, every entry, the notes,
// and what each dump adds of its own.
TEST(ImportData, DumpsInTheStylesOfRealTools) {
    using Entries = std::vector<std::pair<std::string, std::vector<Tuple>>>;  // table, tuples
    struct Case {
        const char* file;
        std::string database;
        std::size_t objects;
        std::optional<std::string> notes;
        Entries entries;
        std::function<void(const DumpState&)> more;
    };
    const std::vector<Case> cases = {
        {"mysqldump_extended.sql", "shop", 3, "",
         {{"customers",
           {{"(1,'Anna Müller','anna@example.com','active','2024-01-05 10:00:00')"},
            {"(2,'O\\'Brien; Pat','pat@example.com','blocked,temp','2024-02-11 12:30:00')"},
            {"(3,'Zoë \\\"Z\\\" (test)',NULL,'gone)','2024-03-01 08:15:00')"}}},
          {"orders",
           {{"(100,1,19.99,'first\\nline')"}, {"(101,2,5.00,'tab\\there -- not a comment')"},
            {"(102,1,-3.50,'/* not a comment */ #nor this')"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(s.objects[0].kind, OBJECT_DATABASE);
             EXPECT_EQ(s.objects[1].object_name, "customers");
             EXPECT_EQ(column_names(s.objects[1]),
                       (std::vector<std::string>{"id", "name", "email", "status", "created_at"}));
             EXPECT_EQ(s.objects[1].columns[3].type_text,
                       "enum('active','blocked,temp','gone)') NOT NULL DEFAULT 'active'");
             EXPECT_EQ(s.objects[1].layouts.size(), 1u);
             EXPECT_EQ(s.objects[2].object_name, "orders");
             EXPECT_EQ(column_names(s.objects[2]),
                       (std::vector<std::string>{"id", "customer_id", "total", "note"}));
             EXPECT_EQ(s.note_count, 0u);
         }},
        {"complete_insert.sql", "dump", 1, std::nullopt,
         {{"", {{"('A-1',5,1.50)"}, {"('B-2',0,NULL)"}, {"(7,'C-3')", 1}, {"('D-4',-1,2.25)"}}}},
         [](const DumpState& s) {
             ASSERT_EQ(s.objects[0].layouts.size(), 2u);
             EXPECT_EQ(s.objects[0].layouts[1].columns, (std::vector<std::uint32_t>{1, 0}));
         }},
        {"no_create_info.sql", "logs", 1, NOTE_GENERIC,
         {{"",
           {{"(1,'login','2024-01-01 00:00:00')"}, {"(2,'logout','2024-01-01 01:00:00')"},
            {"(3,'login','2024-01-02 00:00:00')"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(column_names(s.objects[0]),
                       (std::vector<std::string>{"Spalte_1", "Spalte_2", "Spalte_3"}));
             EXPECT_EQ(s.objects[0].columns[2].type_text, "(Definition nicht im Dump)");
         }},
        {"replace_ignore.sql", "", 1, std::nullopt,
         {{"", {{"('a',1)"}, {"('b',2)"}, {"('a',3)"}, {"('c',4)"}, {"('d',5)"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(s.import_notes, NOTE_REPLACE + NOTE_REPLACE);
             EXPECT_EQ(s.note_count, 2u);
         }},
        {"hex_blob.sql", "", 1, std::nullopt,
         {{"",
           {{"(1,0x89504E470D0A1A0A,0xDEADBEEF)"}, {"(2,'',NULL)"},
            {"(3,_binary 'raw\\0bytes',0x00000000)"}}}},
         nullptr},
        // The INSERT after a lone CR belongs to the comment line; the last one has no delimiter.
        {"crlf_bom.sql", "", 1, std::nullopt,
         {{"", {{"(1,'Grüße')"}, {"(2,'line\\r\\nbreak')"}, {"(3,'last')"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(s.objects[0].create_text.rfind("CREATE TABLE `notes` (\r\n", 0), 0u);
             EXPECT_EQ(s.objects[0].columns[1].type_text, "varchar(50) DEFAULT NULL");
         }},
        {"routines.sql", "app", 5, std::nullopt, {{"accounts", {{"(1,10.00)"}, {"(2,20.50)"}}}},
         [](const DumpState& s) {
             const std::vector<std::pair<ObjectKind, std::string>> want = {
                 {OBJECT_TABLE, "accounts"}, {OBJECT_ROUTINE, "transfer"},
                 {OBJECT_ROUTINE, "double_it"}, {OBJECT_ROUTINE, "cleanup"},
                 {OBJECT_VIEW, "summary"}};
             for (std::size_t i = 0; i < want.size(); ++i) {
                 EXPECT_EQ(s.objects[i].kind, want[i].first) << i;
                 EXPECT_EQ(s.objects[i].object_name, want[i].second) << i;
             }
             const std::string& transfer = s.objects[1].create_text;
             EXPECT_EQ(transfer.rfind("CREATE DEFINER=`root`@`localhost` PROCEDURE `transfer`", 0),
                       0u);
             EXPECT_EQ(transfer.substr(transfer.size() - 7), "\nEND ;;");
             const std::string& twice = s.objects[2].create_text;
             EXPECT_EQ(twice.substr(twice.size() - 5), "END$$");
             EXPECT_EQ(s.import_notes, note_code("Trigger `accounts_bu`") + note_code("View `rich`") +
                                          NOTE_CHANGE + NOTE_CHANGE);
         }},
        {"no_backslash.sql", "", 1, std::nullopt,
         {{"",
           {{"(1,'C:\\\\temp\\\\')"}, {"(2,'it''s')"}, {"(3,'C:\\temp\\')", NB},
            {"(4,'a\\')", NB}, {"(5,'back\\'slash')"}, {"(6,'x\\')", NB},
            {"(7,'y\\\\')"}}}},
         nullptr},
        {"interleaved.sql", "mix", 4,
         NOTE_GENERIC + NOTE_ON_DUPLICATE + NOTE_CREATE_AFTER_INSERT + NOTE_GENERIC,
         {{"early", {{"(1,'before create')"}}},
          {"a", {{"(1,'a1')"}, {"(2,'a2')"}, {"(3,'a3')"}, {"(4,'a4')"}}},
          {"b", {{"(10)"}, {"(20)"}, {"(30)"}, {"(40)"}}},
          {"nocreate", {{"(1, CONCAT('x', ','), (2 + 3))"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(s.objects[0].object_name, "early");
             EXPECT_EQ(column_names(s.objects[0]),
                       (std::vector<std::string>{"Spalte_1", "Spalte_2", "id", "label"}));
             for (const SchemaObject& o : s.objects) {
                 if (o.object_name == "a") {
                     EXPECT_EQ(o.layouts.size(), 1u);
                 }
             }
         }},
        // Views and triggers as chains of executable comments; the view's placeholder table
        // in a comment is no object.
        {"mysqldump57_views.sql", "dump", 1,
         note_code("Trigger `artikel_bi`") + note_code("View `knapp`"),
         {{"artikel",
           {{"(1,'Schraube M4',0.05,1200)"}, {"(2,'Mutter \\'M4\\'',0.03,NULL)"},
            {"(3,'Dübel 6 mm',0.10,80)"}}}},
         nullptr},
        // CHECK constraints, an invisible and a generated column, partitions, an event chain,
        // a temporary and a final view (one note), a DEFINER named like a keyword, CREATE INDEX.
        {"mysqldump80_constraints.sql", "werk", 4,
         note_code("View `offen`") + note_code("Event `aufraeumen`"),
         {{"auftrag", {{"(1,3,9.50,'A',2025)"}, {"(2,1,120.00,NULL,2026)"}}},
          {"event", {{"(1,'start')"}, {"(2,'stop')"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(object_list(s),
                       (std::vector<std::string>{"D werk.", "T werk.auftrag", "T werk.event",
                                                 "R werk.nightly_cleanup"}));
             EXPECT_EQ(column_names(s.objects[1]),
                       (std::vector<std::string>{"id", "menge", "preis", "summe", "intern",
                                                 "jahr"}));
             EXPECT_EQ(s.objects[1].layouts[0].columns,
                       (std::vector<std::uint32_t>{0, 1, 2, 4, 5}));
         }},
        // MariaDB's periods and system versioning: the INSERT without a list fills the
        // visible columns.
        {"mariadb_periods.sql", "dump", 2, "",
         {{"buchung",
           {{"(1,'Saal A','2026-01-05','2026-01-07')"},
            {"(2,'Saal B','2026-02-01','2026-02-02')"}}},
          {"preis", {{"('Kaffee',2.80,'Filter')"}, {"('Tee',2.10,NULL)"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(column_names(s.objects[0]),
                       (std::vector<std::string>{"id", "raum", "von", "bis"}));
             EXPECT_EQ(column_names(s.objects[1]),
                       (std::vector<std::string>{"artikel", "betrag", "row_start", "row_end",
                                                 "notiz"}));
             EXPECT_EQ(s.objects[1].layouts[0].columns, (std::vector<std::uint32_t>{0, 1, 4}));
         }},
        // Its closing IFNULL restore of the mode, and a string ending in a backslash after it.
        {"heidisql.sql", "verein", 4, NOTE_CHANGE,
         {{"mitglied",
           {{"(1, 'Jörg', 'C:\\\\Vereine\\\\')"}, {"(2, 'Ann\\'e', NULL)"},
            {"(3, 'Kai', '')"}, {"(4, 'Nach dem Ende', 'C:\\\\')"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(object_list(s),
                       (std::vector<std::string>{"D verein.", "T verein.mitglied",
                                                 "R verein.beitrag", "R verein.mitglied_bi"}));
         }},
        {"phpmyadmin.sql", "dump", 5, "",
         {{"buch",
           {{"(1, 'Der Zauberberg', 0)"}, {"(2, 'Faust; Teil 1', 1)"},
            {"(3, 'Über \\\"Zitate\\\"', 0)"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(object_list(s),
                       (std::vector<std::string>{"R dump.ausleihen", "T dump.buch",
                                                 "T dump.verliehen", "R dump.buch_titel",
                                                 "V dump.verliehen"}));
         }},
        {"adminer.sql", "garten", 6, "",
         {{"pflanze",
           {{"(1,\t'Tomate',\t1,\t'2026-07-01 08:00:00')"}, {"(2,\t'Basilikum',\t1,\tNULL)"},
            {"(3,\t'Rose \\\"Gloria Dei\\\"',\t2,\t'2026-07-02 19:30:00')"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(object_list(s),
                       (std::vector<std::string>{"D garten.", "R garten.giessen",
                                                 "T garten.pflanze", "R garten.pflanze_bi",
                                                 "T garten.durstig", "V garten.durstig"}));
         }},
        // Double-quoted names that spell keywords are columns.
        {"ansi_quotes.sql", "dump", 1, "",
         {{"schluessel", {{"(1,'A-1',10,'ok',1)"}, {"(2,'B-2',NULL,'nein',0)"}}}},
         [](const DumpState& s) {
             EXPECT_EQ(column_names(s.objects[0]),
                       (std::vector<std::string>{"id", "key", "index", "check", "primary"}));
         }},
        {"schema_only.sql", "empty_db", 3, NOTE_NO_TUPLES, {},
         [](const DumpState& s) {
             EXPECT_EQ(s.objects[0].kind, OBJECT_DATABASE);
             EXPECT_EQ(s.objects[1].database_name, "shop");
             EXPECT_EQ(column_names(s.objects[1]), (std::vector<std::string>{"id", "key"}));
             EXPECT_EQ(s.objects[2].object_name, "copy");
             EXPECT_EQ(s.objects[2].database_name, "empty_db");
             EXPECT_TRUE(s.objects[2].columns.empty());
             EXPECT_EQ(s.note_count, 1u);
             EXPECT_FALSE(test::file_exists(index_file_path(s, 0)));
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        DumpFixture f(read_file(data_file(c.file)));
        imported(f);
        ASSERT_EQ(f.state.objects.size(), c.objects);
        if (!c.database.empty()) {
            EXPECT_EQ(f.state.objects[0].database_name, c.database);
        }
        EXPECT_EQ(f.state.import_notes, c.notes.value_or(f.state.import_notes));
        std::uint64_t total = 0;
        for (const auto& [name, tuples] : c.entries) {
            const std::string& table = name.empty() ? f.state.objects[0].object_name : name;
            expect_entries(f, f.find_object(f.state.objects[0].database_name, table), tuples);
            total += tuples.size();
        }
        EXPECT_EQ(f.state.total_entries, total);
        if (c.more) c.more(f.state);
    }
}

TEST(ImportData, DumpsMeantToFail) {
    expect_failures({
        {read_file(data_file("fail_insert_select.sql")), MSG_VALUES_ONLY, "SELECT"},
        {read_file(data_file("fail_dynamic_sql_mode.sql")), MSG_DYNAMIC_SQL_MODE,
         "NO_BACKSLASH_ESCAPES');"},
        {read_file(data_file("fail_column_mismatch.sql")), MSG_COLUMN_MISMATCH, "(1,2,3)"},
    });
}

TEST(ImportRun, StatementsDelimiterAndUse) {
    DumpFixture f(
        "\xEF\xBB\xBF;;\n"
        "INSERT INTO t VALUES (1);\n"
        "USE `shop` ignored words;\n"
        "DELIMITER ;;\n"
        "CREATE PROCEDURE p() BEGIN SELECT 1; SELECT 2; END;;\n"
        "INSERT INTO t VALUES (2);;\n"
        "DELIMITER ;\n"
        "USE 'other';\n"
        "TRUNCATE t;\n"
        "DELIMITER abcdefghijklmnopqrs\n"
        "INSERT INTO t VALUES (3)abcdefghijklmnopqrs\n"
        "DELIMITER \t$$ \t\n"
        "INSERT INTO t VALUES (5)$$\n"
        "DELIMITER ;\n"
        "DROP TABLE IF EXISTS `x;y`; LOCK TABLES t WRITE; UNLOCK TABLES;\n"
        "INSERT INTO t VALUES (4)");
    imported(f);
    ASSERT_EQ(f.state.objects.size(), 4u);
    EXPECT_EQ(f.state.objects[0].database_name, "dump");
    EXPECT_EQ(f.state.objects[1].object_name, "p");
    EXPECT_EQ(f.state.objects[1].create_text,
              "CREATE PROCEDURE p() BEGIN SELECT 1; SELECT 2; END;;");
    expect_entries(f, 0, {{"(1)"}});
    expect_entries(f, 2, {{"(2)"}});
    EXPECT_EQ(f.state.objects[2].database_name, "shop");
    expect_entries(f, 3, {{"(3)"}, {"(5)"}, {"(4)"}});
    EXPECT_EQ(f.state.objects[3].database_name, "other");
    EXPECT_EQ(f.state.import_notes, NOTE_GENERIC + NOTE_GENERIC + NOTE_CHANGE + NOTE_GENERIC);
}

TEST(ImportRun, ScanMessages) {
    expect_failures({
        {"DELIMITER abcdefghijklmnopqrst\n", "DELIMITER ist zu lang (maximal 19 Zeichen).",
         "abcdefghijklmnopqrs"},
        {"DELIMITER abcdefghijklmnopqrs \n", "DELIMITER ist zu lang (maximal 19 Zeichen).",
         "abcdefghijklmnopqrs"},
        {"DELIMITER \nSELECT 1;", "Leerer SQL-DELIMITER.", "DELIMITER "},
        {"DELIMITER \f\r\n", "Leerer SQL-DELIMITER.", "\f"},
        {"SELECT 1;\nDELIMITER", "Leerer SQL-DELIMITER.", ""},
        {"USE ", "Datenbankname nach USE fehlt.", ""},
        {"USE `open", "Datenbankname nach USE fehlt.", ""},
        {"SELECT 'open;", "Nicht abgeschlossene Zeichenkette im Dump.", ""},
        {"SELECT 1; /* open", "Nicht abgeschlossener Blockkommentar im Dump.", ""},
        {"SELECT 1; 'open", "Nicht abgeschlossene Zeichenkette oder Bezeichner im SQL-Header.",
         ""},
        {std::string(8192, 'w') + ";", "Zu langes Token im SQL-Header.",
         std::string(8191, 'w')},
        {"`" + std::string(8192, 'q') + "`;", "Ein SQL-Bezeichner oder Header-Token ist zu lang.",
         "`" + std::string(8192, 'q')},
        {"SET sql_mode = 42;\nSELECT 1;",
         MSG_DYNAMIC_SQL_MODE, "42;"},
        {"/*!40101 SET SQL_MODE=CONCAT(@@SQL_MODE,'x') */;",
         MSG_DYNAMIC_SQL_MODE, "*/"},
        {"CREATE TABLE", "Unvollständiges CREATE-Statement.", ""},
        {"CREATE TABLE db. -- x\n", "Unvollständiger qualifizierter Tabellenname.", ""},
    });
}

TEST(ImportRun, ObjectLimit) {
    std::string dump;
    for (std::uint32_t i = 0; i <= MAX_OBJECTS; ++i) {
        dump += "CREATE TABLE t" + std::to_string(i) + " (a int);\n";
    }
    DumpFixture f(dump);
    EXPECT_FALSE(f.import());
    EXPECT_EQ(std::string(f.state.message),
              at_byte("Mehr als 65.536 Schemaobjekte werden nicht unterstützt.", dump.size() - 1));
    EXPECT_EQ(f.state.objects.size(), MAX_OBJECTS);
}

TEST(ImportRun, CacheAndReadFailures) {
    {
        DumpFixture f("INSERT INTO t VALUES (1),(2);");
        ASSERT_TRUE(f.open());
        std::filesystem::create_directory(test::fs_path(index_file_path(f.state, 0)));
        EXPECT_FALSE(f.import());
        EXPECT_EQ(std::string(f.state.message),
                  at_byte("Indexdatei kann nicht angelegt werden.", f.content().find(")") + 1));
        EXPECT_FALSE(f.manifest_exists());
    }
    {
        DumpFixture f("INSERT INTO t VALUES (1),(2);");
        ASSERT_TRUE(f.open());
        std::filesystem::create_directory(test::fs_path(f.state.cache_folder + "/manifest.part"));
        EXPECT_FALSE(f.import());
        EXPECT_EQ(std::string(f.state.message),
                  at_byte("Cache-Metadaten konnten nicht sicher gespeichert werden.",
                          f.content().size()));
        EXPECT_FALSE(f.manifest_exists());
    }
    // A file shorter than the size taken at opening: the read error's message stands, also
    // where the scan then finds an unterminated string or an empty DELIMITER line.
    for (const std::string dump : {"SELECT 1;", "SELECT 'abc", "DELIMITER ", "INSERT INTO t"}) {
        DumpFixture f(dump);
        ASSERT_TRUE(f.open());
        f.state.dump_size += 10;
        EXPECT_FALSE(f.import());
        const char* message = dump[0] == 'I' ? "INSERT-Header endet vor VALUES."
                                             : "Lesefehler im Dump. Datei oder Datenträger prüfen.";
        EXPECT_EQ(std::string(f.state.message), at_byte(message, dump.size())) << dump;
    }
}

TEST(ImportRun, NotesAreCountedBeyondTheTextLimit) {
    std::string dump;
    for (int i = 0; i < 1000; ++i) dump += "UPDATE t SET a = 1;\n";
    DumpFixture f(dump);
    imported(f);
    std::string want;
    for (int i = 0; i < 1000; ++i) {
        if (want.size() + NOTE_CHANGE.size() + 2 <= 65536) want += NOTE_CHANGE;
    }
    if (want.size() + NOTE_NO_TUPLES.size() + 2 <= 65536) want += NOTE_NO_TUPLES;
    EXPECT_EQ(f.state.note_count, 1001u);
    EXPECT_EQ(f.state.import_notes, want);
    EXPECT_LE(f.state.import_notes.size(), 65536u);
}

TEST(ImportRun, ProgressCancellationAndReimport) {
    DumpFixture f("CREATE TABLE t (a int);\nINSERT INTO t VALUES (1),(2),(3);\n");
    ProgressLog ok;
    ProgressSink sink = ok.sink();
    ASSERT_TRUE(f.import(&sink)) << f.state.message;
    ASSERT_GE(ok.labels.size(), 2u);
    EXPECT_EQ(ok.labels.front(), "Dump indexieren");
    EXPECT_EQ(ok.labels.back(), "Bereit");
    EXPECT_EQ(ok.done.back(), f.content().size());
    EXPECT_TRUE(f.manifest_exists());

    // A re-import rewrites each index file from its first entry instead of extending it.
    ASSERT_TRUE(f.import());
    expect_entries(f, 0, {{"(1)"}, {"(2)"}, {"(3)"}});
    EXPECT_EQ(f.state.total_entries, 3u);
    EXPECT_EQ(f.state.objects.size(), 1u);

    ProgressLog stop;
    stop.cancel_at = 1;
    ProgressSink cancel = stop.sink();
    EXPECT_FALSE(f.import(&cancel));
    EXPECT_STREQ(f.state.message, "Vorgang abgebrochen. (Byte 0)");
    EXPECT_FALSE(f.manifest_exists());
}

TEST(ImportRun, SinkModeStartsUnderNoBackslashEscapes) {
    DumpFixture f("INSERT INTO t VALUES ('a\\'),('b');");
    ProgressSink sink;
    sink.mode = 1;
    ASSERT_TRUE(f.import(&sink)) << f.state.message;
    expect_entries(f, 0, {{"('a\\')", NB}, {"('b')", NB}});

    // With backslash escapes the last string never ends.
    expect_failures({{f.content(), "Nicht abgeschlossene Zeichenkette im Dump.", ""}});
}

TEST(OpenSequence, NulBytesInNamesDoNotSpoilTheCache) {
    test::TempDir dir;
    const std::string dump = dir.file("names.sql");
    const char raw[] = "INSERT INTO `t\0x` (`c\0d`) VALUES (1);\n";
    test::write_file(dump, std::string(raw, sizeof raw - 1));
    for (std::uint32_t round = 0; round < 2; ++round) {
        DumpState state;
        FileHandle lock = INVALID_FILE;
        ASSERT_TRUE(dump_open_cached(state, dump, dir.file("cache"), false, nullptr, lock))
            << state.message;
        FileGuard guard(lock);
        EXPECT_EQ(state.loaded_from_cache, round);
        ASSERT_EQ(state.objects.size(), 1u);
        EXPECT_EQ(state.objects[0].object_name, "t");
        EXPECT_EQ(state.objects[0].columns[0].name, "c");
    }
}

TEST(OpenSequence, SecondOpenLoadsTheCache) {
    test::TempDir dir;
    const std::string dump = dir.file("d.sql");
    const std::string root = dir.file("cache");
    test::write_file(dump, read_file(data_file("interleaved.sql")));

    std::uint64_t entries = 0;
    std::size_t objects = 0;
    for (int round = 0; round < 3; ++round) {
        DumpState state;
        FileHandle lock = INVALID_FILE;
        const bool new_index = round == 2;
        ASSERT_TRUE(dump_open_cached(state, dump, root, new_index, nullptr, lock))
            << state.message;
        FileGuard guard(lock);
        EXPECT_TRUE(guard.valid());
        EXPECT_EQ(state.loaded_from_cache, round == 1 ? 1u : 0u) << round;
        if (round == 0) {
            entries = state.total_entries;
            objects = state.objects.size();
            // While the lock is held, a second open of the same dump is refused.
            DumpState other;
            FileHandle other_lock = INVALID_FILE;
            EXPECT_FALSE(dump_open_cached(other, dump, root, false, nullptr, other_lock));
            EXPECT_EQ(other_lock, INVALID_FILE);
            EXPECT_STREQ(other.message,
                         "Dieser Dump-Cache ist bereits in einer anderen Instanz geöffnet, oder "
                         "der Cache-Ordner ist nicht beschreibbar.");
        }
        EXPECT_EQ(state.total_entries, entries);
        EXPECT_EQ(state.objects.size(), objects);
        EXPECT_EQ(state.note_count, 4u);
    }

    DumpState failing;
    FileHandle lock = INVALID_FILE;
    test::write_file(dir.file("bad.sql"), "INSERT INTO t SET a = 1;");
    EXPECT_FALSE(dump_open_cached(failing, dir.file("bad.sql"), root, false, nullptr, lock));
    EXPECT_EQ(lock, INVALID_FILE);
}

}  // namespace
}  // namespace kv
