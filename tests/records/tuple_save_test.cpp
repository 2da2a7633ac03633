// Raw tuple save: exact bytes, empty and out-of-range entries, destinations naming the dump,
// cancellation, and a tuple above 64 MiB that only the raw save can get at while the filter
// and the CSV export stop at it.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "records/csv_export.h"
#include "records/filter.h"
#include "records/record_decode.h"
#include "records/tuple_save.h"
#include "tests/records/records_test_support.h"

namespace kv {
namespace {

using test::ImportedDump;
using test::RecordingSink;

const char* const ORIGINAL = "Die Originaldatei darf nicht überschrieben werden.";
const char* const BAD_POSITION = "Ungültige Datensatzposition.";
const char* const TOO_LARGE =
    "Dieser einzelne Datensatz ist größer als 64 MiB. Er ist indexiert, kann aber nur als "
    "SQL-Rohtupel gespeichert werden; Vorschau, Filter und CSV stoppen hier.";

const char* const SMALL_DUMP =
    "CREATE TABLE `s` (`id` int, `t` text);\n"
    "INSERT INTO `s` VALUES (1,'eins'),(2,'zwei; \\'quoted\\' /* not a comment */');\n";

TEST(TupleSave, CopiesTheTupleExactly) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP)) << d.state.message;
    const IndexEntry entry = d.entry(0, 1);
    const std::string out = d.dir.file("tuple.sql");
    test::write_file(out, "an older file that is replaced");
    RecordingSink recorder;
    ProgressSink sink = recorder.sink();
    ASSERT_TRUE(tuple_save(d.state, entry, out, &sink)) << d.state.message;
    EXPECT_EQ(test::read_file(out), "(2,'zwei; \\'quoted\\' /* not a comment */')");
    EXPECT_STREQ(d.state.message, "");
    ASSERT_EQ(recorder.reports.size(), 1u);
    EXPECT_EQ(recorder.reports[0].done, 0u);
    EXPECT_EQ(recorder.reports[0].total, entry.length);
    EXPECT_EQ(recorder.reports[0].count, 0u);
    EXPECT_EQ(recorder.reports[0].label, "SQL-Rohtupel speichern");
    EXPECT_TRUE(test::part_files(d.dir.str()).empty());

    // The dump handle was moved; tuples are still decoded correctly afterwards.
    DecodedRecord record;
    ASSERT_TRUE(record_decode(d.state, 0, d.entry(0, 0), record)) << d.state.message;
    EXPECT_EQ(record.values[1].text, "eins");
}

TEST(TupleSave, EntryRangeAgainstTheDumpSize) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP)) << d.state.message;
    const std::uint64_t size = d.state.dump_size;
    const std::string out = d.dir.file("tuple.sql");

    ASSERT_TRUE(tuple_save(d.state, IndexEntry{size, 0, 0}, out, nullptr)) << d.state.message;
    EXPECT_TRUE(test::file_exists(out));
    EXPECT_EQ(test::read_file(out), "");
    ASSERT_TRUE(file_remove(out));

    for (const IndexEntry& e : {IndexEntry{size + 1, 0, 0}, IndexEntry{size - 2, 3, 0},
                                IndexEntry{0, static_cast<std::uint32_t>(size + 1), 0}}) {
        EXPECT_FALSE(tuple_save(d.state, e, out, nullptr));
        EXPECT_STREQ(d.state.message, BAD_POSITION);
        EXPECT_FALSE(test::file_exists(out));
    }
    EXPECT_FALSE(tuple_save(d.state, d.entry(0, 0), d.dir.file("no/such.sql"), nullptr));
    EXPECT_STREQ(d.state.message, "Zieldatei kann nicht geöffnet werden.");
}

TEST(TupleSave, CancelKeepsTheOldDestination) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP)) << d.state.message;
    const std::string out = d.dir.file("tuple.sql");
    test::write_file(out, "old");
    RecordingSink cancel;
    cancel.cancel_at = 1;
    ProgressSink sink = cancel.sink();
    EXPECT_FALSE(tuple_save(d.state, d.entry(0, 0), out, &sink));
    EXPECT_STREQ(d.state.message, "Vorgang abgebrochen.");
    EXPECT_EQ(test::read_file(out), "old");
    EXPECT_TRUE(test::part_files(d.dir.str()).empty());
}

// Every spelling of the dump is refused: on POSIX the final rename would otherwise replace the
// dump with the tuple.
TEST(TupleSave, DestinationNamingTheDumpIsRefused) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP)) << d.state.message;
    const std::string dump_bytes = test::read_file(d.path);
    std::filesystem::create_hard_link(test::fs_path(d.path), test::fs_path(d.dir.file("hard.sql")));
    std::vector<std::string> refused = {d.path, d.dir.str() + "/./dump.sql",
                                        d.dir.file("hard.sql")};
#if defined(_WIN32)
    refused.push_back(d.dir.file("Dump.Sql"));
#else
    std::filesystem::create_symlink(test::fs_path(d.path), test::fs_path(d.dir.file("link.sql")));
    refused.push_back(d.dir.file("link.sql"));
#endif
    for (const std::string& destination : refused) {
        EXPECT_FALSE(tuple_save(d.state, d.entry(0, 0), destination, nullptr)) << destination;
        EXPECT_STREQ(d.state.message, ORIGINAL) << destination;
    }
    EXPECT_EQ(test::read_file(d.path), dump_bytes);
    EXPECT_EQ(test::read_file(d.dir.file("hard.sql")), dump_bytes);
    EXPECT_TRUE(test::part_files(d.dir.str()).empty());
}

// One dump of about 70 MB: row 1 holds a 70,000,000-byte string.
TEST(HugeTuple, SavedRawWhileFilterAndExportStop) {
    ImportedDump d;
    const std::string head = "CREATE TABLE `h` (`id` int, `data` longtext);\n"
                             "INSERT INTO `h` VALUES (1,'small'),(2,'";
    const std::uint64_t filler = 70000000;
    test::write_big_file(d.dir.file("dump.sql"), head, 'x', filler, "'),(3,'after');\n");
    ASSERT_TRUE(d.import_written()) << d.state.message;
    ASSERT_EQ(d.state.objects[0].entry_count, 3u);
    const IndexEntry huge = d.entry(0, 1);
    ASSERT_EQ(huge.length, filler + 6);
    ASSERT_GT(huge.length, MAX_DECODED_TUPLE);

    const std::string result = d.dir.file("query-new.kvi");
    FilterRequest request;
    request.text = "after";
    std::uint64_t hits = 0;
    EXPECT_FALSE(filter_run(d.state, 0, request, result, hits, nullptr));
    EXPECT_STREQ(d.state.message, TOO_LARGE);
    EXPECT_FALSE(test::file_exists(result));

    const std::string csv = d.dir.file("h.csv");
    test::write_file(csv, "old");
    EXPECT_FALSE(csv_export(d.state, 0, d.index(0), 3, csv, CHARSET_UTF8, true, nullptr));
    EXPECT_STREQ(d.state.message, TOO_LARGE);
    EXPECT_EQ(test::read_file(csv), "old");
    EXPECT_TRUE(test::part_files(d.dir.str()).empty());

    const std::string out = d.dir.file("huge.sql");
    ASSERT_TRUE(tuple_save(d.state, huge, out, nullptr)) << d.state.message;
    EXPECT_TRUE(test::read_file(out) == "(2,'" + std::string(filler, 'x') + "')");  // 70 MB
}

}  // namespace
}  // namespace kv
