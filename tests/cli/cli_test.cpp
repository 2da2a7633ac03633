// korvane-dump end to end: the built program on test dumps, its output, exit codes and files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/process.h"
#include "tests/support/test_support.h"

#if !defined(_WIN32)
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

using kv::test::ProgramResult;
using kv::test::read_file;
using kv::test::TempDir;
using kv::test::write_file;

namespace {

const char* const SHOP_DUMP =
    "-- MySQL dump\n"
    "/*!40101 SET NAMES utf8mb4 */;\n"
    "CREATE DATABASE `shop`;\n"
    "USE `shop`;\n"
    "CREATE TABLE `kunden` (\n  `id` int NOT NULL,\n  `name` varchar(40),\n  `ort` varchar(40),\n"
    "  `bild` varbinary(8),\n  PRIMARY KEY (`id`)\n);\n"
    "INSERT INTO `kunden` VALUES (1,'Jürgen','Köln',NULL),(2,'=SUMME(A1)','Berlin','AB'),"
    "(3,'Anna \"Zitat\"','Köln',X'00FF');\n"
    "INSERT INTO `kunden` (`id`,`name`) VALUES (4,'ohne Ort');\n"
    "CREATE TABLE `leer` (`x` int);\n"
    "CREATE VIEW `v_koeln` AS SELECT * FROM `kunden` WHERE `ort` = 'Köln';\n"
    "USE `archiv`;\n"
    "CREATE TABLE `kunden` (`id` int);\n"
    "INSERT INTO `kunden` VALUES (99);\n"
    "INSERT INTO `protokoll` VALUES ('ohne CREATE');\n";

class Cli : public ::testing::Test {
protected:
    void SetUp() override {
        dump_ = dir_.file("shop.sql");
        write_file(dump_, SHOP_DUMP);
    }
    ProgramResult run(std::vector<std::string> args) {
        args.push_back("--cache-root");
        args.push_back(dir_.file("cache"));
        return kv::test::run_program(KV_CLI_PATH, args);
    }
    TempDir dir_;
    std::string dump_;
};

}  // namespace

TEST_F(Cli, UsageErrorsExitTwoWithUsage) {
    const std::vector<std::vector<std::string>> bad = {
        {},
        {"explode", dump_},
        {"page"},
        {"page", dump_},
        {"record", dump_, "kunden"},
        {"record", dump_, "kunden", "0"},
        {"open", dump_, "--charset", "ebcdic"},
        {"open", dump_, "--frobnicate"},
        {"page", dump_, "kunden", "--text", "x"},
    };
    for (const auto& args : bad) {
        ProgramResult r = kv::test::run_program(KV_CLI_PATH, args);
        EXPECT_EQ(r.exit_code, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("Aufruf: korvane-dump"), std::string::npos);
        EXPECT_TRUE(r.out.empty());
    }
    ProgramResult help = kv::test::run_program(KV_CLI_PATH, {"--help"});
    EXPECT_EQ(help.exit_code, 0);
    EXPECT_NE(help.out.find("Aufruf: korvane-dump"), std::string::npos);
}

TEST_F(Cli, OpenReportsImportThenCacheThenReindex) {
    ProgramResult first = run({"open", dump_});
    ASSERT_EQ(first.exit_code, 0) << first.err;
    EXPECT_EQ(first.out, "Index erstellt · 6 Einträge · 96 B Positionsindex · 1 Hinweise\n");
    // Options may stand after the command or before it.
    ProgramResult second = run({"--charset", "cp1252", "open", dump_});
    EXPECT_EQ(second.out, "Cache geladen · 6 Einträge · 96 B Positionsindex · 1 Hinweise\n");
    ProgramResult again = run({"open", "--reindex", dump_});
    EXPECT_EQ(again.out, "Index erstellt · 6 Einträge · 96 B Positionsindex · 1 Hinweise\n");
}

TEST_F(Cli, RefusedAndMissingDumpsExitOneWithTheirMessage) {
    write_file(dir_.file("x.sql.gz"), std::string("\x1F\x8B\x08\x00", 4));
    ProgramResult gz = run({"open", dir_.file("x.sql.gz")});
    EXPECT_EQ(gz.exit_code, 1);
    EXPECT_EQ(gz.err,
              "Komprimierter Dump: Bitte .gz / .zip zunächst entpacken und die .sql-Datei "
              "öffnen.\n");
    ProgramResult missing = run({"tree", dir_.file("fehlt.sql")});
    EXPECT_EQ(missing.exit_code, 1);
    EXPECT_EQ(missing.err, "Die Dump-Datei kann nicht schreibgeschützt geöffnet werden.\n");

    // A folder or a FIFO is refused at once rather than waited on.
    std::vector<std::string> irregular = {dir_.str()};
#if !defined(_WIN32)
    kv::test::Fifo fifo(dir_.file("fifo.sql"));
    ASSERT_TRUE(fifo.made());
    irregular.push_back(fifo.path());
#endif
    for (const std::string& path : irregular) {
        ProgramResult r = run({"open", path});
        EXPECT_EQ(r.exit_code, 1) << path;
        EXPECT_EQ(r.err,
                  "Die Datei ist keine normale Datei (etwa ein Ordner, eine Pipe oder ein Gerät) "
                  "und kann nicht als Dump geöffnet werden.\n")
            << path;
        EXPECT_EQ(r.out, "") << path;
    }
}

TEST_F(Cli, ObjectsAndTree) {
    ProgramResult objects = run({"objects", dump_});
    ASSERT_EQ(objects.exit_code, 0) << objects.err;
    EXPECT_EQ(objects.out,
              "0\tdatabase\tshop\t\t0\t0\n"
              "1\ttable\tshop\tkunden\t4\t4\n"
              "2\ttable\tshop\tleer\t0\t1\n"
              "3\tview\tshop\tv_koeln\t0\t0\n"
              "4\ttable\tarchiv\tkunden\t1\t1\n"
              "5\ttable\tarchiv\tprotokoll\t1\t1\n");
    ProgramResult tree = run({"tree", dump_});
    EXPECT_EQ(tree.out,
              "shop.sql\n"
              "  shop\n"
              "    Tabellen\n"
              "      kunden  (4)\n"
              "      leer  (0)\n"
              "    Views\n"
              "      v_koeln\n"
              "  archiv\n"
              "    Tabellen\n"
              "      kunden  (1)\n"
              "      protokoll  (1)\n");
}

TEST_F(Cli, PagesStructureSqlAndNames) {
    ProgramResult page = run({"page", dump_, "shop.kunden"});
    ASSERT_EQ(page.exit_code, 0) << page.err;
    EXPECT_EQ(page.out,
              "#\tid\tname\tort\tbild\n"
              "1\t1\tJürgen\tKöln\tNULL\n"
              "2\t2\t=SUMME(A1)\tBerlin\t0x4142\n"
              "3\t3\tAnna \"Zitat\"\tKöln\t0x00FF\n"
              "4\t4\tohne Ort\t— nicht im INSERT —\t— nicht im INSERT —\n");
    EXPECT_EQ(page.err, "1–4 von 4\n");
    // "#N" names an object by number.
    EXPECT_EQ(run({"page", dump_, "#1", "1"}).out, page.out);
    ProgramResult empty = run({"page", dump_, "leer"});
    EXPECT_EQ(empty.out, "#\tx\n");
    EXPECT_EQ(empty.err, "0–0 von 0\n");

    ProgramResult ambiguous = run({"page", dump_, "kunden"});
    EXPECT_EQ(ambiguous.exit_code, 1);
    EXPECT_NE(ambiguous.err.find("mehrdeutig"), std::string::npos);
    ProgramResult view = run({"page", dump_, "v_koeln"});
    EXPECT_EQ(view.exit_code, 1);
    ProgramResult unknown = run({"structure", dump_, "#99"});
    EXPECT_EQ(unknown.exit_code, 1);
    EXPECT_EQ(unknown.err, "Objekt nicht gefunden: #99\n");

    ProgramResult structure = run({"structure", dump_, "archiv.kunden"});
    EXPECT_EQ(structure.out, "#\tSpalte\tMySQL-Definition (Original)\n1\tid\tint\n");
    ProgramResult sql = run({"sql", dump_, "v_koeln"});
    EXPECT_EQ(sql.out,
              "CREATE VIEW `v_koeln` AS SELECT * FROM `kunden` WHERE `ort` = 'Köln';\n");
    ProgramResult no_sql = run({"sql", dump_, "protokoll"});
    EXPECT_EQ(no_sql.out, "Kein CREATE-Text vorhanden.\n");
}

TEST_F(Cli, PageNumbersThatNameNoPageExitOne) {
    // Table shop.kunden has 4 rows (1 page), shop.leer none (still page 1); the filter below
    // has 2 hits.
    const std::vector<std::vector<std::string>> bad = {
        {"page", dump_, "shop.kunden", "2"},
        {"page", dump_, "shop.kunden", "0"},
        {"page", dump_, "shop.kunden", "x"},
        {"page", dump_, "shop.kunden", ""},
        {"page", dump_, "shop.kunden", "184467440737095518"},
        {"page", dump_, "shop.kunden", "18446744073709551616"},
        {"page", dump_, "leer", "2"},
        {"filter", dump_, "shop.kunden", "--text", "Köln", "--page", "2"},
        {"filter", dump_, "shop.kunden", "--text", "Köln", "--page", "184467440737095518"},
    };
    for (const auto& args : bad) {
        ProgramResult r = run(args);
        EXPECT_EQ(r.exit_code, 1) << args[0] << " " << args.back();
        EXPECT_EQ(r.err, "Diese Seitennummer existiert nicht.\n") << args.back();
        EXPECT_EQ(r.out, args[0] == "filter" ? "2 Treffer\n" : "") << args.back();
    }
    ProgramResult empty = run({"page", dump_, "leer", "1"});
    EXPECT_EQ(empty.exit_code, 0) << empty.err;
}

TEST_F(Cli, RecordDetailsAndRowsBeyondTheTable) {
    ProgramResult record = run({"record", dump_, "shop.kunden", "1"});
    ASSERT_EQ(record.exit_code, 0) << record.err;
    EXPECT_NE(record.out.find("KOR-VANE DUMP BROWSER  |  Datensatzdetails\r\n"),
              std::string::npos);
    EXPECT_NE(record.out.find("name  [Text]\r\nJürgen\r\n"), std::string::npos);
    EXPECT_NE(record.out.find("bild  [NULL]\r\n"), std::string::npos);
    ProgramResult beyond = run({"record", dump_, "shop.kunden", "5"});
    EXPECT_EQ(beyond.exit_code, 1);
    EXPECT_EQ(beyond.err, "Zeile 5 gibt es nicht; die Tabelle hat 4 Einträge.\n");
}

TEST_F(Cli, FilterExportAndTuple) {
    ProgramResult filter =
        run({"filter", dump_, "shop.kunden", "--column", "ORT", "--op", "equals", "--text", "Köln"});
    ASSERT_EQ(filter.exit_code, 0) << filter.err;
    EXPECT_EQ(filter.out,
              "2 Treffer\n"
              "#\tid\tname\tort\tbild\n"
              "1\t1\tJürgen\tKöln\tNULL\n"
              "2\t3\tAnna \"Zitat\"\tKöln\t0x00FF\n");
    EXPECT_EQ(filter.err, "1–2 von 2\n");

    std::string csv = dir_.file("kunden.csv");
    ProgramResult exported = run({"export", dump_, "shop.kunden", csv});
    ASSERT_EQ(exported.exit_code, 0) << exported.err;
    EXPECT_EQ(exported.out, "Export abgeschlossen: " + csv + "\n");
    EXPECT_EQ(read_file(csv),
              "\xEF\xBB\xBF\"id\";\"name\";\"ort\";\"bild\"\r\n"
              "\"1\";\"Jürgen\";\"Köln\";\"\\N\"\r\n"
              "\"2\";\"'=SUMME(A1)\";\"Berlin\";\"0x4142\"\r\n"
              "\"3\";\"Anna \"\"Zitat\"\"\";\"Köln\";\"0x00FF\"\r\n"
              "\"4\";\"ohne Ort\";\"[nicht im INSERT]\";\"[nicht im INSERT]\"\r\n");

    std::string hits = dir_.file("treffer.csv");
    ProgramResult filtered = run({"export", dump_, "shop.kunden", hits, "--op", "is-null"});
    ASSERT_EQ(filtered.exit_code, 0) << filtered.err;
    EXPECT_EQ(read_file(hits),
              "\xEF\xBB\xBF\"id\";\"name\";\"ort\";\"bild\"\r\n"
              "\"1\";\"Jürgen\";\"Köln\";\"\\N\"\r\n");

    std::string tuple = dir_.file("tupel.sql");
    ProgramResult saved = run({"tuple", dump_, "shop.kunden", "3", tuple});
    ASSERT_EQ(saved.exit_code, 0) << saved.err;
    EXPECT_EQ(read_file(tuple), "(3,'Anna \"Zitat\"','Köln',X'00FF')");

    // The dump itself is never a destination.
    ProgramResult onto_dump = run({"export", dump_, "shop.kunden", dump_});
    EXPECT_EQ(onto_dump.exit_code, 1);
    EXPECT_EQ(onto_dump.err, "Exportziel darf keine geöffnete Quelldatei sein.\n");
    EXPECT_EQ(read_file(dump_), SHOP_DUMP);
}

TEST_F(Cli, ExportAndTupleRefuseTheCacheFolder) {
    ASSERT_EQ(run({"open", dump_}).exit_code, 0);
    std::string cache;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path() / "cache")) {
        auto name = entry.path().filename().u8string();
        cache = dir_.file("cache/" + std::string(name.begin(), name.end()));
    }
    const std::string lock_bytes = read_file(cache + "/session.lock");
    for (const std::string& destination : {cache + "/session.lock", cache + "/neu.csv"}) {
        for (const auto& args : std::vector<std::vector<std::string>>{
                 {"export", dump_, "shop.kunden", destination},
                 {"tuple", dump_, "shop.kunden", "1", destination}}) {
            ProgramResult r = run(args);
            EXPECT_EQ(r.exit_code, 1) << args[0] << " " << destination;
            EXPECT_EQ(r.err,
                      "Das Ziel liegt im Cache-Ordner des Dumps. Bitte einen anderen Speicherort "
                      "wählen.\n")
                << args[0] << " " << destination;
        }
    }
    EXPECT_EQ(read_file(cache + "/session.lock"), lock_bytes);
    EXPECT_FALSE(kv::test::file_exists(cache + "/neu.csv"));
}

TEST_F(Cli, CharacterSetsAndUmlautPaths) {
    std::string path = dir_.file("Grüße ä.sql");
    write_file(path, "CREATE TABLE `t\xE4` (`gr\xF6\xDF" "e` int);\nINSERT INTO `t\xE4` VALUES (1);\n");
    ProgramResult latin = run({"page", path, "#0", "--charset", "latin1"});
    ASSERT_EQ(latin.exit_code, 0) << latin.err;
    EXPECT_EQ(latin.out, "#\tgröße\n1\t1\n");
    ProgramResult named = run({"structure", path, "tä", "--charset", "windows-1252"});
    EXPECT_EQ(named.exit_code, 0) << named.err;
    ProgramResult utf8 = run({"objects", path});
    EXPECT_EQ(utf8.out, "0\ttable\tdump\tt\xEF\xBF\xBD\t1\t1\n");
}

#if !defined(_WIN32)
TEST_F(Cli, InterruptCancelsTheImportAndLeavesNoManifest) {
    // A dump of 8 GiB that costs no disk space: a header, then a hole of zero bytes.
    std::string big = dir_.file("big.sql");
    write_file(big, "CREATE TABLE `t` (`a` int);\n-- ");
    ASSERT_EQ(::truncate(big.c_str(), 8LL << 30), 0);
    auto program = kv::test::start_program(
        KV_CLI_PATH, {"open", big, "--cache-root", dir_.file("cache")});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(program.pid, SIGINT);
    ProgramResult r = kv::test::wait_program(program);
    EXPECT_EQ(r.exit_code, 130);
    EXPECT_EQ(r.err, "Vorgang abgebrochen.\n");
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.file("cache"))) {
        EXPECT_NE(entry.path().filename(), "manifest.kvd");
    }
}
#endif
