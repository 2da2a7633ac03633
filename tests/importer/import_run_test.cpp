// Whole import runs: the dumps in tests/data in the styles real tools write, statement
// handling (DELIMITER, USE, changing statements), notes, the scan's failure messages with
// their byte positions, cancellation, re-import and the open sequence with its cache.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "importer/open_sequence.h"
#include "importer_test_support.h"

namespace kv {
namespace {

using test::at_byte;
using test::data_file;
using test::DumpFixture;
using test::nth_find;
using test::RawEntry;
using test::read_file;

constexpr std::uint32_t NB = 0x80000000u;

const std::string NOTE_NO_TUPLES =
    "Keine VALUES-Datensätze gefunden. Schemaobjekte können trotzdem angezeigt werden. "
    "Ausführbarer Code in Versionskommentaren wird außer SQL_MODE nicht interpretiert.\r\n";
const std::string NOTE_CHANGE =
    "SQL-Änderungsstatement wurde nicht ausgeführt. Der Browser zeigt VALUES-Datensätze, keinen "
    "berechneten MySQL-Endzustand.\r\n";
const std::string NOTE_VIEW_CODE =
    "View-/Routinen-Code in einem Versionskommentar wurde nicht als Schemaobjekt übernommen. "
    "Originaldatei enthält den vollständigen SQL-Text.\r\n";
const std::string NOTE_GENERIC =
    "Tabelle ohne CREATE TABLE/Spaltendefinition: generische Spaltennamen wurden vergeben.\r\n";
const std::string NOTE_REPLACE =
    "REPLACE wird als Folge von Dump-Datensätzen angezeigt. Ersetzungs-/Eindeutigkeitsregeln "
    "werden nicht ausgeführt.\r\n";
const std::string NOTE_ON_DUPLICATE =
    "ON DUPLICATE KEY UPDATE wurde nicht ausgeführt. Angezeigt werden die ursprünglichen "
    "VALUES-Tupel.\r\n";
const std::string NOTE_CREATE_AFTER_INSERT =
    "CREATE TABLE nach INSERT: Daten werden als Dump-Literale angezeigt, nicht als ausgeführter "
    "SQL-Endzustand.\r\n";

struct Tuple {
    std::string text;
    std::uint32_t word;
    int occurrence = 0;
};

void expect_entries(const DumpFixture& f, int object, const std::vector<Tuple>& want) {
    ASSERT_GE(object, 0);
    std::vector<RawEntry> got = f.entries(static_cast<std::uint32_t>(object));
    ASSERT_EQ(got.size(), want.size()) << "object " << object;
    for (std::size_t i = 0; i < want.size(); ++i) {
        std::size_t at = nth_find(f.content(), want[i].text, want[i].occurrence);
        ASSERT_NE(at, std::string::npos) << want[i].text;
        EXPECT_EQ(got[i].offset, at) << want[i].text;
        EXPECT_EQ(got[i].length, want[i].text.size()) << want[i].text;
        EXPECT_EQ(got[i].word, want[i].word) << want[i].text;
    }
    EXPECT_EQ(f.state.objects[static_cast<std::size_t>(object)].entry_count, want.size());
}

std::vector<std::string> column_names(const SchemaObject& o) {
    std::vector<std::string> out;
    for (const Column& c : o.columns) out.push_back(c.name);
    return out;
}

DumpFixture& imported(DumpFixture& f) {
    EXPECT_TRUE(f.import()) << f.state.message;
    EXPECT_TRUE(f.manifest_exists());
    return f;
}

TEST(ImportData, MysqldumpExtendedInserts) {
    DumpFixture f(read_file(data_file("mysqldump_extended.sql")));
    imported(f);
    ASSERT_EQ(f.state.objects.size(), 3u);
    EXPECT_EQ(f.state.objects[0].kind, OBJECT_DATABASE);
    EXPECT_EQ(f.state.objects[0].database_name, "shop");
    int customers = f.find_object("shop", "customers");
    int orders = f.find_object("shop", "orders");
    ASSERT_EQ(customers, 1);
    ASSERT_EQ(orders, 2);
    EXPECT_EQ(column_names(f.state.objects[1]),
              (std::vector<std::string>{"id", "name", "email", "status", "created_at"}));
    EXPECT_EQ(f.state.objects[1].columns[3].type_text,
              "enum('active','blocked,temp','gone)') NOT NULL DEFAULT 'active'");
    EXPECT_EQ(column_names(f.state.objects[2]),
              (std::vector<std::string>{"id", "customer_id", "total", "note"}));
    expect_entries(f, customers,
                   {{"(1,'Anna Müller','anna@example.com','active','2024-01-05 10:00:00')", 0},
                    {"(2,'O\\'Brien; Pat','pat@example.com','blocked,temp','2024-02-11 12:30:00')",
                     0},
                    {"(3,'Zoë \\\"Z\\\" (test)',NULL,'gone)','2024-03-01 08:15:00')", 0}});
    expect_entries(f, orders,
                   {{"(100,1,19.99,'first\\nline')", 0},
                    {"(101,2,5.00,'tab\\there -- not a comment')", 0},
                    {"(102,1,-3.50,'/* not a comment */ #nor this')", 0}});
    EXPECT_EQ(f.state.total_entries, 6u);
    EXPECT_EQ(f.state.note_count, 0u);
    EXPECT_EQ(f.state.import_notes, "");
    EXPECT_EQ(f.state.objects[1].layouts.size(), 1u);
}

TEST(ImportData, CompleteInsertOneRowPerStatement) {
    DumpFixture f(read_file(data_file("complete_insert.sql")));
    imported(f);
    ASSERT_EQ(f.state.objects.size(), 1u);
    EXPECT_EQ(f.state.objects[0].database_name, "dump");
    EXPECT_EQ(f.state.objects[0].layouts.size(), 2u);
    EXPECT_EQ(f.state.objects[0].layouts[1].columns, (std::vector<std::uint32_t>{1, 0}));
    expect_entries(f, 0,
                   {{"('A-1',5,1.50)", 0}, {"('B-2',0,NULL)", 0}, {"(7,'C-3')", 1},
                    {"('D-4',-1,2.25)", 0}});
}

TEST(ImportData, NoCreateInfoAndReplaceAndHexBlob) {
    DumpFixture a(read_file(data_file("no_create_info.sql")));
    imported(a);
    ASSERT_EQ(a.state.objects.size(), 1u);
    EXPECT_EQ(a.state.objects[0].database_name, "logs");
    EXPECT_EQ(column_names(a.state.objects[0]),
              (std::vector<std::string>{"Spalte_1", "Spalte_2", "Spalte_3"}));
    EXPECT_EQ(a.state.import_notes, NOTE_GENERIC);
    expect_entries(a, 0,
                   {{"(1,'login','2024-01-01 00:00:00')", 0},
                    {"(2,'logout','2024-01-01 01:00:00')", 0},
                    {"(3,'login','2024-01-02 00:00:00')", 0}});

    DumpFixture b(read_file(data_file("replace_ignore.sql")));
    imported(b);
    EXPECT_EQ(b.state.import_notes, NOTE_REPLACE + NOTE_REPLACE);
    EXPECT_EQ(b.state.note_count, 2u);
    expect_entries(b, 0,
                   {{"('a',1)", 0}, {"('b',2)", 0}, {"('a',3)", 0}, {"('c',4)", 0},
                    {"('d',5)", 0}});

    DumpFixture c(read_file(data_file("hex_blob.sql")));
    imported(c);
    expect_entries(c, 0,
                   {{"(1,0x89504E470D0A1A0A,0xDEADBEEF)", 0}, {"(2,'',NULL)", 0},
                    {"(3,_binary 'raw\\0bytes',0x00000000)", 0}});
}

TEST(ImportData, ByteOrderMarkAndCrLf) {
    DumpFixture f(read_file(data_file("crlf_bom.sql")));
    imported(f);
    ASSERT_EQ(f.state.objects.size(), 1u);
    EXPECT_EQ(f.state.objects[0].create_text.rfind("CREATE TABLE `notes` (\r\n", 0), 0u);
    EXPECT_EQ(f.state.objects[0].columns[1].type_text, "varchar(50) DEFAULT NULL");
    // The INSERT after a lone CR belongs to the comment line; the last one has no delimiter.
    expect_entries(f, 0, {{"(1,'Grüße')", 0}, {"(2,'line\\r\\nbreak')", 0}, {"(3,'last')", 0}});
}

TEST(ImportData, RoutinesTriggersViewsAndChangeNotes) {
    DumpFixture f(read_file(data_file("routines.sql")));
    imported(f);
    struct Want {
        ObjectKind kind;
        std::string name;
    };
    const std::vector<Want> want = {{OBJECT_TABLE, "accounts"}, {OBJECT_ROUTINE, "transfer"},
                                    {OBJECT_ROUTINE, "double_it"}, {OBJECT_ROUTINE, "cleanup"},
                                    {OBJECT_VIEW, "summary"}};
    ASSERT_EQ(f.state.objects.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(f.state.objects[i].kind, want[i].kind) << i;
        EXPECT_EQ(f.state.objects[i].database_name, "app") << i;
        EXPECT_EQ(f.state.objects[i].object_name, want[i].name) << i;
    }
    const std::string& transfer = f.state.objects[1].create_text;
    EXPECT_EQ(transfer.rfind("CREATE DEFINER=`root`@`localhost` PROCEDURE `transfer`", 0), 0u);
    EXPECT_EQ(transfer.substr(transfer.size() - 7), "\nEND ;;");
    const std::string& twice = f.state.objects[2].create_text;
    EXPECT_EQ(twice.substr(twice.size() - 5), "END$$");
    EXPECT_EQ(f.state.import_notes, NOTE_VIEW_CODE + NOTE_CHANGE + NOTE_CHANGE);
    expect_entries(f, 0, {{"(1,10.00)", 0}, {"(2,20.50)", 0}});
}

TEST(ImportData, NoBackslashEscapesOnAndOff) {
    DumpFixture f(read_file(data_file("no_backslash.sql")));
    imported(f);
    expect_entries(f, 0,
                   {{"(1,'C:\\\\temp\\\\')", 0}, {"(2,'it''s')", 0}, {"(3,'C:\\temp\\')", NB},
                    {"(4,'a\\')", NB}, {"(5,'back\\'slash')", 0}, {"(6,'x\\')", NB},
                    {"(7,'y\\\\')", 0}});
}

TEST(ImportData, InterleavedTablesAndLateCreate) {
    DumpFixture f(read_file(data_file("interleaved.sql")));
    imported(f);
    int early = f.find_object("mix", "early");
    int a = f.find_object("mix", "a");
    int b = f.find_object("mix", "b");
    int nocreate = f.find_object("mix", "nocreate");
    ASSERT_EQ(early, 0);
    ASSERT_EQ(f.state.objects.size(), 4u);
    expect_entries(f, a, {{"(1,'a1')", 0}, {"(2,'a2')", 0}, {"(3,'a3')", 0}, {"(4,'a4')", 0}});
    expect_entries(f, b, {{"(10)", 0}, {"(20)", 0}, {"(30)", 0}, {"(40)", 0}});
    expect_entries(f, early, {{"(1,'before create')", 0}});
    expect_entries(f, nocreate, {{"(1, CONCAT('x', ','), (2 + 3))", 0}});
    EXPECT_EQ(f.state.objects[static_cast<std::size_t>(a)].layouts.size(), 1u);
    EXPECT_EQ(column_names(f.state.objects[0]),
              (std::vector<std::string>{"Spalte_1", "Spalte_2", "id", "label"}));
    EXPECT_EQ(f.state.import_notes,
              NOTE_GENERIC + NOTE_ON_DUPLICATE + NOTE_CREATE_AFTER_INSERT + NOTE_GENERIC);
    EXPECT_EQ(f.state.total_entries, 10u);
}

TEST(ImportData, SchemaOnlyDumpSucceedsWithTheNote) {
    DumpFixture f(read_file(data_file("schema_only.sql")));
    imported(f);
    ASSERT_EQ(f.state.objects.size(), 3u);
    EXPECT_EQ(f.state.objects[0].kind, OBJECT_DATABASE);
    EXPECT_EQ(f.state.objects[0].database_name, "empty_db");
    EXPECT_EQ(f.state.objects[1].database_name, "shop");
    EXPECT_EQ(column_names(f.state.objects[1]), (std::vector<std::string>{"id", "key"}));
    EXPECT_EQ(f.state.objects[2].object_name, "copy");
    EXPECT_EQ(f.state.objects[2].database_name, "empty_db");
    EXPECT_TRUE(f.state.objects[2].columns.empty());
    EXPECT_EQ(f.state.import_notes, NOTE_NO_TUPLES);
    EXPECT_EQ(f.state.note_count, 1u);
    EXPECT_FALSE(test::file_exists(index_file_path(f.state, 0)));
}

TEST(ImportData, DumpsMeantToFail) {
    struct Case {
        const char* file;
        const char* message;
        std::string position_after;
    };
    const std::vector<Case> cases = {
        {"fail_insert_select.sql",
         "Nur INSERT/REPLACE ... VALUES wird gelesen. INSERT SELECT, INSERT SET und "
         "PARTITION-Header werden nicht ausgewertet.",
         "SELECT"},
        {"fail_dynamic_sql_mode.sql",
         "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen zuverlässigen Import "
         "einen normalen mysqldump verwenden.",
         "NO_BACKSLASH_ESCAPES');"},
        {"fail_column_mismatch.sql",
         "INSERT ohne Spaltenliste passt nicht zum CREATE TABLE. Der Import wurde gestoppt, damit "
         "keine Werte falschen Spalten zugeordnet werden.",
         "(1,2,3)"},
    };
    for (const Case& c : cases) {
        DumpFixture f(read_file(data_file(c.file)));
        EXPECT_FALSE(f.import()) << c.file;
        std::size_t at = f.content().find(c.position_after) + c.position_after.size();
        EXPECT_EQ(std::string(f.state.message), at_byte(c.message, at)) << c.file;
        EXPECT_FALSE(f.manifest_exists()) << c.file;
    }
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
    expect_entries(f, 0, {{"(1)", 0}});
    expect_entries(f, 2, {{"(2)", 0}});
    EXPECT_EQ(f.state.objects[2].database_name, "shop");
    expect_entries(f, 3, {{"(3)", 0}, {"(5)", 0}, {"(4)", 0}});
    EXPECT_EQ(f.state.objects[3].database_name, "other");
    EXPECT_EQ(f.state.import_notes, NOTE_GENERIC + NOTE_GENERIC + NOTE_CHANGE + NOTE_GENERIC);
}

TEST(ImportRun, ScanMessages) {
    struct Case {
        std::string dump;
        const char* message;
        std::string position_after;  // empty: the end of the dump
    };
    const std::vector<Case> cases = {
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
         "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen zuverlässigen Import "
         "einen normalen mysqldump verwenden.",
         "42;"},
        {"/*!40101 SET SQL_MODE=CONCAT(@@SQL_MODE,'x') */;",
         "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen zuverlässigen Import "
         "einen normalen mysqldump verwenden.",
         "*/"},
        {"CREATE TABLE", "Unvollständiges CREATE-Statement.", ""},
        {"CREATE TABLE db. -- x\n", "Unvollständiger qualifizierter Tabellenname.", ""},
    };
    for (const Case& c : cases) {
        DumpFixture f(c.dump);
        EXPECT_FALSE(f.import()) << c.dump.substr(0, 60);
        std::size_t at = c.position_after.empty()
                             ? c.dump.size()
                             : c.dump.find(c.position_after) + c.position_after.size();
        EXPECT_EQ(std::string(f.state.message), at_byte(c.message, at)) << c.dump.substr(0, 60);
        EXPECT_FALSE(f.manifest_exists());
    }
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

struct Reports {
    std::vector<std::string> labels;
    std::vector<std::uint64_t> done;
    bool cancel = false;
    static int report(void* user, std::uint64_t done, std::uint64_t, std::uint64_t,
                      const char* label) {
        auto* r = static_cast<Reports*>(user);
        r->labels.emplace_back(label);
        r->done.push_back(done);
        return r->cancel ? 0 : 1;
    }
};

TEST(ImportRun, ProgressCancellationAndReimport) {
    DumpFixture f("CREATE TABLE t (a int);\nINSERT INTO t VALUES (1),(2),(3);\n");
    Reports ok;
    ProgressSink sink{&Reports::report, &ok, 0};
    ASSERT_TRUE(f.import(&sink)) << f.state.message;
    ASSERT_GE(ok.labels.size(), 2u);
    EXPECT_EQ(ok.labels.front(), "Dump indexieren");
    EXPECT_EQ(ok.labels.back(), "Bereit");
    EXPECT_EQ(ok.done.back(), f.content().size());
    EXPECT_TRUE(f.manifest_exists());

    // A re-import rewrites each index file from its first entry instead of extending it.
    ASSERT_TRUE(f.import());
    EXPECT_EQ(f.index_bytes(0).size(), 48u);
    expect_entries(f, 0, {{"(1)", 0}, {"(2)", 0}, {"(3)", 0}});
    EXPECT_EQ(f.state.total_entries, 3u);
    EXPECT_EQ(f.state.objects.size(), 1u);

    Reports stop;
    stop.cancel = true;
    ProgressSink cancel{&Reports::report, &stop, 0};
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

    DumpFixture g("INSERT INTO t VALUES ('a\\'),('b');");
    EXPECT_FALSE(g.import());  // with backslash escapes the last string never ends
    EXPECT_EQ(std::string(g.state.message),
              at_byte("Nicht abgeschlossene Zeichenkette im Dump.", g.content().size()));
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
