// CSV export against imported dumps: the exact bytes (byte-order mark, quoting, markers,
// formula protection, character sets), output larger than one buffer and one entry batch,
// and failures that leave the destination untouched and no temporary file behind, including
// destinations that name the dump or the index under another spelling.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "records/csv_export.h"
#include "tests/records/records_test_support.h"

namespace kv {
namespace {

using test::ImportedDump;
using test::RecordingSink;

const char* const TARGET_IS_SOURCE = "Exportziel darf keine geöffnete Quelldatei sein.";
const char* const FILES_FAILED = "Exportdatei kann nicht angelegt oder Index nicht gelesen werden.";

const char* const KINDS_DUMP =
    "CREATE TABLE `x` (\n  `id` int,\n  `@note` varchar(50),\n  `v` varchar(50),\n"
    "  `bin` varbinary(10)\n);\n"
    "INSERT INTO `x` VALUES (-5,'-5',NULL,0x1f),"
    "('=SUM(A1)','  +x','say \"hi\"',X'4142'),"
    "(3,'\\tabc','a\\0b','AB'),"
    "(4,'l1\\r\\nl2',NOW(),b'0101'),"
    "(5,'@home','   ',- 5);\n"
    "INSERT INTO `x` (`id`) VALUES (6);\n"
    "INSERT INTO `x` VALUES (7,'[nicht im INSERT]','\\n','');\n";

const std::string BOM = "\xEF\xBB\xBF";
const std::string KINDS_HEADER = "\"id\";\"'@note\";\"v\";\"bin\"\r\n";
const std::string KINDS_ROWS[] = {
    "\"-5\";\"'-5\";\"\\N\";\"0x1f\"\r\n",
    "\"'=SUM(A1)\";\"'  +x\";\"say \"\"hi\"\"\";\"0x4142\"\r\n",
    "\"3\";\"'\tabc\";\"a\\0b\";\"0x4142\"\r\n",
    "\"4\";\"l1\r\nl2\";\"NOW()\";\"b'0101'\"\r\n",
    "\"5\";\"'@home\";\"   \";\"'- 5\"\r\n",
    "\"6\";\"[nicht im INSERT]\";\"[nicht im INSERT]\";\"[nicht im INSERT]\"\r\n",
    "\"7\";\"[nicht im INSERT]\";\"'\n\";\"0x\"\r\n",
};

bool export_table(ImportedDump& d, const std::string& destination, Charset charset = CHARSET_UTF8,
                  const ProgressSink* sink = nullptr) {
    return csv_export(d.state, 0, d.index(0), d.state.objects[0].entry_count, destination,
                      charset, true, sink);
}

TEST(CsvExport, EveryValueKindByteForByte) {
    ImportedDump d;
    ASSERT_TRUE(d.import(KINDS_DUMP)) << d.state.message;
    const std::string out = d.dir.file("export.csv");
    RecordingSink recorder;
    ProgressSink sink = recorder.sink();
    ASSERT_TRUE(export_table(d, out, CHARSET_UTF8, &sink)) << d.state.message;
    std::string expected = BOM + KINDS_HEADER;
    for (const std::string& row : KINDS_ROWS) expected += row;
    EXPECT_EQ(test::read_file(out), expected);
    EXPECT_STREQ(d.state.message, "");
    ASSERT_FALSE(recorder.reports.empty());
    EXPECT_EQ(recorder.reports[0].done, 0u);
    EXPECT_EQ(recorder.reports[0].total, 7u);
    EXPECT_EQ(recorder.reports[0].label, "CSV exportieren");

    // Without formula protection only the header keeps its apostrophe.
    ASSERT_TRUE(csv_export(d.state, 0, d.index(0), 7, out, CHARSET_UTF8, false, nullptr));
    EXPECT_EQ(test::read_file(out),
              BOM + KINDS_HEADER + "\"-5\";\"-5\";\"\\N\";\"0x1f\"\r\n" +
                  "\"=SUM(A1)\";\"  +x\";\"say \"\"hi\"\"\";\"0x4142\"\r\n" +
                  "\"3\";\"\tabc\";\"a\\0b\";\"0x4142\"\r\n" + KINDS_ROWS[3] +
                  "\"5\";\"@home\";\"   \";\"- 5\"\r\n" + KINDS_ROWS[5] +
                  "\"7\";\"[nicht im INSERT]\";\"\n\";\"0x\"\r\n");
}

TEST(CsvExport, CharacterSetsOfNamesAndValues) {
    ImportedDump d;
    ASSERT_TRUE(d.import("CREATE TABLE `g` (`gr\xFC\xDF" "e` text);\n"
                         "INSERT INTO `g` VALUES ('B\xE4r \x80');\n"))
        << d.state.message;
    const std::string out = d.dir.file("g.csv");
    const struct {
        Charset charset;
        std::string expected;
    } cases[] = {
        {CHARSET_WINDOWS_1252, "\"grüße\"\r\n\"Bär €\"\r\n"},
        {CHARSET_LATIN1, "\"grüße\"\r\n\"Bär \xC2\x80\"\r\n"},
        {CHARSET_UTF8,
         "\"gr\xEF\xBF\xBD\xEF\xBF\xBD" "e\"\r\n\"B\xEF\xBF\xBDr \xEF\xBF\xBD\"\r\n"},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(export_table(d, out, c.charset)) << d.state.message;
        EXPECT_EQ(test::read_file(out), BOM + c.expected) << "charset " << c.charset;
    }
}

TEST(CsvExport, EmptyTableAndOutputBeyondOneBuffer) {
    ImportedDump d;
    std::string dump = "CREATE TABLE `e` (`a` int, `b` int);\n"
                       "CREATE TABLE `n` (`id` int, `name` varchar(20));\nINSERT INTO `n` VALUES ";
    std::string expected = BOM + "\"id\";\"name\"\r\n";
    for (int i = 1; i <= 8000; ++i) {
        dump += (i > 1 ? ",(" : "(") + std::to_string(i) + ",'Zeile " + std::to_string(i) + "')";
        expected += "\"" + std::to_string(i) + "\";\"Zeile " + std::to_string(i) + "\"\r\n";
    }
    ASSERT_TRUE(d.import(dump + ";\n")) << d.state.message;
    ASSERT_EQ(d.state.objects.size(), 2u);

    // No entries: the index file is neither there nor needed.
    const std::string empty_out = d.dir.file("empty.csv");
    ASSERT_TRUE(csv_export(d.state, 0, d.index(0), 0, empty_out, CHARSET_UTF8, true, nullptr))
        << d.state.message;
    EXPECT_EQ(test::read_file(empty_out), BOM + "\"a\";\"b\"\r\n");

    const std::string out = d.dir.file("n.csv");
    ASSERT_TRUE(csv_export(d.state, 1, d.index(1), 8000, out, CHARSET_UTF8, true, nullptr))
        << d.state.message;
    ASSERT_GT(expected.size(), 2u * 65536u);
    EXPECT_EQ(test::read_file(out), expected);
}

TEST(CsvExport, FailuresLeaveTheDestinationAsItWas) {
    ImportedDump d;
    ASSERT_TRUE(d.import(KINDS_DUMP)) << d.state.message;
    const std::string out = d.dir.file("export.csv");
    test::write_file(out, "old");
    const std::uint64_t count = d.state.objects[0].entry_count;

    auto expect_failure = [&](std::uint32_t object, const std::string& source, std::uint64_t n,
                              const ProgressSink* sink, const char* message) {
        EXPECT_FALSE(csv_export(d.state, object, source, n, out, CHARSET_UTF8, true, sink))
            << message;
        EXPECT_STREQ(d.state.message, message);
        EXPECT_EQ(test::read_file(out), "old") << message;
        EXPECT_TRUE(test::part_files(d.dir.str()).empty()) << message;
    };
    expect_failure(1, d.index(0), count, nullptr, "Ungültige Tabelle.");
    expect_failure(0, d.index(0), count + 1, nullptr, "Positionsindex ist unvollständig.");
    expect_failure(0, d.dir.file("missing.kvi"), count, nullptr, FILES_FAILED);

    RecordingSink cancel;
    cancel.cancel_at = 1;
    ProgressSink sink = cancel.sink();
    expect_failure(0, d.index(0), count, &sink, "Vorgang abgebrochen.");

    // A tuple that no longer matches the dump stops the export with the decoder's message.
    std::vector<ColumnLayout> layouts = d.state.objects[0].layouts;
    d.state.objects[0].layouts.clear();
    expect_failure(0, d.index(0), count, nullptr,
                   "Ungültiger oder veralteter Positionsindex. Cache neu aufbauen.");
    d.state.objects[0].layouts = layouts;

    EXPECT_FALSE(csv_export(d.state, 0, d.index(0), count, d.dir.file("no/such.csv"),
                            CHARSET_UTF8, true, nullptr));
    EXPECT_STREQ(d.state.message, FILES_FAILED);
}

// Every spelling of the dump or of the entry source is refused before anything is written; on
// POSIX the final rename would otherwise replace the dump with the CSV.
TEST(CsvExport, DestinationNamingASourceIsRefused) {
    ImportedDump d;
    ASSERT_TRUE(d.import(KINDS_DUMP)) << d.state.message;
    const std::string dump_bytes = test::read_file(d.path);
    const std::string index_bytes = test::read_file(d.index(0));
    const std::string index = d.index(0);
    const std::string index_folder = index.substr(0, index.rfind('/'));
    std::filesystem::create_hard_link(test::fs_path(d.path), test::fs_path(d.dir.file("hard.sql")));

    std::vector<std::string> refused = {
        d.path,
        index,
        d.dir.str() + "/./dump.sql",
        d.dir.str() + "/cache/../dump.sql",
        d.dir.file("hard.sql"),
        index_folder + "/./" + index.substr(index.rfind('/') + 1),
    };
#if defined(_WIN32)
    refused.push_back(d.dir.file("DUMP.SQL"));
#else
    std::filesystem::create_symlink(test::fs_path(d.path), test::fs_path(d.dir.file("link.sql")));
    refused.push_back(d.dir.file("link.sql"));
#endif
    for (const std::string& destination : refused) {
        EXPECT_FALSE(csv_export(d.state, 0, index, d.state.objects[0].entry_count, destination,
                                CHARSET_UTF8, true, nullptr))
            << destination;
        EXPECT_STREQ(d.state.message, TARGET_IS_SOURCE) << destination;
    }
    EXPECT_EQ(test::read_file(d.path), dump_bytes);
    EXPECT_EQ(test::read_file(index), index_bytes);
    EXPECT_TRUE(test::part_files(d.dir.str()).empty());
    EXPECT_TRUE(test::part_files(index_folder).empty());

    // Another existing file is replaced.
    const std::string other = d.dir.file("other.csv");
    test::write_file(other, "old");
    ASSERT_TRUE(csv_export(d.state, 0, index, d.state.objects[0].entry_count, other,
                           CHARSET_UTF8, true, nullptr))
        << d.state.message;
    EXPECT_EQ(test::read_file(other).substr(0, 3), BOM);
}

// Exports every table once through the fast row writer and once through the general path;
// both results (success, message, bytes) must agree.
void expect_fast_rows_agree(ImportedDump& d, const std::string& label) {
    for (std::uint32_t object = 0; object < d.state.objects.size(); ++object) {
        const SchemaObject& table = d.state.objects[object];
        if (table.kind != OBJECT_TABLE || table.entry_count == 0) continue;
        for (const Charset charset : {CHARSET_UTF8, CHARSET_LATIN1}) {
            std::string bytes[2];
            std::string messages[2];
            bool ok[2];
            for (int fast = 0; fast < 2; ++fast) {
                const std::string out = d.dir.file("fast" + std::to_string(fast) + ".csv");
                csv_fast_rows = fast != 0;
                ok[fast] = csv_export(d.state, object, d.index(object), table.entry_count, out,
                                      charset, true, nullptr);
                csv_fast_rows = true;
                messages[fast] = d.state.message;
                bytes[fast] = ok[fast] ? test::read_file(out) : "";
            }
            EXPECT_EQ(ok[1], ok[0]) << label << " object " << object;
            EXPECT_EQ(messages[1], messages[0]) << label << " object " << object;
            EXPECT_TRUE(bytes[1] == bytes[0]) << label << " object " << object << " differs";
        }
    }
}

TEST(CsvExport, FastRowsWriteTheBytesOfTheGeneralPath) {
    for (const auto& e : std::filesystem::directory_iterator(test::fs_path(KV_TEST_DATA_DIR))) {
        const std::string name = e.path().filename().string();
        if (!name.ends_with(".sql")) continue;
        ImportedDump d;
        if (!d.import(test::read_file(test::data_file(name)))) continue;  // refused dumps
        expect_fast_rows_agree(d, name);
    }

    // Rows of every length up to beyond the writer's room, so that rows are written into the
    // output buffer, through the row buffer at its end, and by the general path; text with
    // escapes, quotes, umlauts, a formula starter and a malformed byte now and then.
    ImportedDump d;
    std::string dump =
        "CREATE TABLE `w` (`id` int, `t` text, `b` blob, `n` decimal(9,2));\n"
        "INSERT INTO `w` VALUES ";
    const std::string pieces[] = {"ab", "\\'", "\"", "\\n", "\xC3\xA4", "=", "\\0", "''"};
    std::uint64_t seed = 7;
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        const std::size_t length = i % 300 == 299 ? 40000 : (seed >> 33) % 700;
        const auto text = [&](std::size_t size) {
            std::string t;
            while (t.size() < size) t += pieces[(seed >> (t.size() % 40)) % 8];
            return t;
        };
        dump += (i > 0 ? ",(" : "(") + std::to_string(i) + ",'" + text(length) +
                (i % 97 == 0 ? "\xFF','" : "','") + text(length % 40) + "'," +
                (i % 5 == 0 ? "NULL" : std::to_string(i) + ".5") + ")";
    }
    ASSERT_TRUE(d.import(dump + ";\n")) << d.state.message;
    expect_fast_rows_agree(d, "generated");
}

}  // namespace
}  // namespace kv
