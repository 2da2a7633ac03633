// Table filter against imported dumps: the operators and their NULL / missing-column rules,
// character sets, the result file as byte copies of index entries, block boundaries, and every
// failure leaving no result file behind.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "records/filter.h"
#include "tests/records/records_test_support.h"

namespace kv {
namespace {

using test::ImportedDump;
using test::RecordingSink;

// Row numbers (0-based) in comments; the raw byte 0xE4 in row 8 is "ä" in Windows-1252.
const char* const MIXED_DUMP =
    "CREATE TABLE `t` (\n  `id` int,\n  `a` varchar(20),\n  `b` varchar(20),\n  `c` blob\n);\n"
    "INSERT INTO `t` VALUES (1,42,'abc',NULL),"    // 0: number 42
    "(2,'42','ABC',NULL),"                         // 1: text 42
    "(3,42.0,NULL,X'4142'),"                       // 2
    "(4,042,NULL,_binary'AB'),"                    // 3
    "(NULL,NOW(),NULL,NULL),"                      // 4: SQL expression
    "(NULL,NULL,NULL,NULL);\n"                     // 5: all NULL
    "INSERT INTO `t` (`id`) VALUES (7);\n"         // 6: a, b, c missing
    "INSERT INTO `t` (`b`) VALUES (NULL);\n"       // 7: only b, NULL
    "INSERT INTO `t` VALUES (9,'x','B\xE4r',NULL),"  // 8
    "(10,'Grüße','aabaabaaab',NULL);\n";           // 9

std::string expected_result(const ImportedDump& d, const std::set<int>& rows) {
    const std::string index = test::read_file(d.index(0));
    std::string out;
    for (int r : rows) out += index.substr(static_cast<std::size_t>(r) * 16, 16);
    return out;
}

TEST(FilterSearch, SearchAgreesWithNaiveSearch) {
    std::vector<std::uint32_t> prefix;
    filter_prefix_table("", prefix);
    EXPECT_TRUE(filter_text_contains("anything", "", prefix));
    EXPECT_TRUE(filter_text_contains("", "", prefix));

    std::mt19937 random(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text(random() % 40, 'a'), pattern(1 + random() % 6, 'a');
        for (char& c : text) c = static_cast<char>('a' + random() % 2);
        for (char& c : pattern) c = static_cast<char>('a' + random() % 2);
        filter_prefix_table(pattern, prefix);
        EXPECT_EQ(filter_text_contains(text, pattern, prefix),
                  text.find(pattern) != std::string::npos)
            << text << " / " << pattern;
    }
}

TEST(Filter, OperatorsColumnsAndCharsets) {
    ImportedDump d;
    ASSERT_TRUE(d.import(MIXED_DUMP)) << d.state.message;
    ASSERT_EQ(d.state.objects[0].entry_count, 10u);
    struct Case {
        const char* what;
        std::int32_t column;
        std::uint32_t op;
        std::string text;
        std::uint32_t charset;
        std::set<int> hits;
    };
    const std::set<int> any_text = {0, 1, 2, 3, 4, 6, 8, 9};
    const std::vector<Case> cases = {
        {"empty text matches every row with a non-NULL present value", -1, FILTER_CONTAINS, "",
         0, any_text},
        {"numbers compare as text", 1, FILTER_EQUALS, "42", 0, {0, 1}},
        {"equals over all columns", -1, FILTER_EQUALS, "42", 0, {0, 1}},
        {"case-sensitive", 2, FILTER_CONTAINS, "abc", 0, {0}},
        {"binary values by their hex text", 3, FILTER_CONTAINS, "4142", 0, {2, 3}},
        {"SQL text without its display marker", 1, FILTER_EQUALS, "NOW()", 0, {4}},
        {"the display marker is not part of the text", -1, FILTER_EQUALS, "SQL: NOW()", 0, {}},
        {"IS NULL over all columns", -1, FILTER_IS_NULL, "", 0, {0, 1, 2, 3, 4, 5, 7, 8, 9}},
        {"a missing column is not NULL", 1, FILTER_IS_NULL, "", 0, {5}},
        {"IS NULL ignores the text", 2, FILTER_IS_NULL, "zzz", 0, {2, 3, 4, 5, 7}},
        {"IS NOT NULL excludes NULL and missing", 1, FILTER_IS_NOT_NULL, "", 0,
         {0, 1, 2, 3, 4, 8, 9}},
        {"IS NOT NULL over all columns", -1, FILTER_IS_NOT_NULL, "", 0, any_text},
        {"any negative column means all columns", -7, FILTER_IS_NOT_NULL, "", 0, any_text},
        {"a column beyond the table matches nothing", 4, FILTER_CONTAINS, "", 0, {}},
        {"unknown operator acts as contains", 2, 99, "ABC", 0, {1}},
        {"a value shorter than the text never matches", 2, FILTER_CONTAINS, "abcd", 0, {}},
        {"search restarts inside a partial match", 2, FILTER_CONTAINS, "aabaaab", 0, {9}},
        {"Windows-1252 byte E4 is a-umlaut", 2, FILTER_CONTAINS, "Bär", 1, {8}},
        {"Latin-1 byte E4 is a-umlaut", 2, FILTER_CONTAINS, "Bär", 2, {8}},
        {"under UTF-8 the lone byte E4 is U+FFFD", 2, FILTER_CONTAINS, "Bär", 0, {}},
        {"UTF-8 text", 1, FILTER_CONTAINS, "ü", 0, {9}},
        {"UTF-8 bytes read as Windows-1252 differ", 1, FILTER_CONTAINS, "ü", 1, {}},
    };
    const std::string result = d.dir.file("cache-result.kvi");
    for (const Case& c : cases) {
        FilterRequest request;
        request.column = c.column;
        request.op = c.op;
        request.text = c.text;
        request.charset = c.charset;
        std::uint64_t hits = 99;
        ASSERT_TRUE(filter_run(d.state, 0, request, result, hits, nullptr))
            << c.what << ": " << d.state.message;
        EXPECT_EQ(hits, c.hits.size()) << c.what;
        EXPECT_EQ(test::read_file(result), expected_result(d, c.hits)) << c.what;
        EXPECT_STREQ(d.state.message, "") << c.what;
    }
}

TEST(Filter, BlockBoundariesAndProgress) {
    std::string dump = "CREATE TABLE `n` (`id` int, `flag` int);\nINSERT INTO `n` VALUES ";
    for (int i = 1; i <= 4097; ++i) {
        dump += (i > 1 ? ",(" : "(") + std::to_string(i) + (i == 4097 ? ",NULL)" : ",1)");
    }
    ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n")) << d.state.message;
    const std::string index = test::read_file(d.index(0));
    ASSERT_EQ(index.size(), 65552u);
    const std::string result = d.dir.file("query-new.kvi");

    FilterRequest request;
    request.op = FILTER_IS_NOT_NULL;
    request.column = 1;
    std::uint64_t hits = 0;
    ASSERT_TRUE(filter_run(d.state, 0, request, result, hits, nullptr)) << d.state.message;
    EXPECT_EQ(hits, 4096u);
    EXPECT_EQ(test::read_file(result), index.substr(0, 65536));

    request.column = 0;
    RecordingSink recorder;
    ProgressSink sink = recorder.sink();
    ASSERT_TRUE(filter_run(d.state, 0, request, result, hits, &sink)) << d.state.message;
    EXPECT_EQ(hits, 4097u);
    EXPECT_EQ(test::read_file(result), index);
    ASSERT_FALSE(recorder.reports.empty());
    EXPECT_EQ(recorder.reports[0].done, 0u);  // the first entry always reports
    EXPECT_EQ(recorder.reports[0].total, 4097u);
    EXPECT_EQ(recorder.reports[0].count, 1u);
    EXPECT_EQ(recorder.reports[0].label, "Tabelle filtern");
}

// Four tuples of 8 MiB: the clock must be read after each of them, not only every 16 entries.
// The sink makes 100 ms pass during its first report, so the next reading must report; that
// report cancels, which stops the filter after the second tuple.
TEST(Filter, LargeTuplesReportAndCancelAfterEachTuple) {
    ImportedDump d;
    {
        std::ofstream out(test::fs_path(d.dir.file("dump.sql")), std::ios::binary);
        out << "CREATE TABLE `big` (`a` longtext);\nINSERT INTO `big` VALUES ";
        const std::string value(8u << 20, 'v');
        for (int i = 0; i < 4; ++i) out << (i > 0 ? ",('" : "('") << value << "')";
        out << ";\n";
    }
    ASSERT_TRUE(d.import_written()) << d.state.message;
    ASSERT_EQ(d.state.objects[0].entry_count, 4u);

    struct SlowSink {
        std::vector<std::uint64_t> done;
        static int report(void* user, std::uint64_t done, std::uint64_t, std::uint64_t,
                          const char*) {
            auto* self = static_cast<SlowSink*>(user);
            self->done.push_back(done);
            if (self->done.size() > 1) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(110));
            return 1;
        }
    } slow;
    ProgressSink sink{&SlowSink::report, &slow, 0};
    FilterRequest request;
    request.op = FILTER_IS_NULL;  // every tuple is decoded
    std::uint64_t hits = 0;
    const std::string result = d.dir.file("query-new.kvi");
    EXPECT_FALSE(filter_run(d.state, 0, request, result, hits, &sink));
    EXPECT_STREQ(d.state.message, "Vorgang abgebrochen.");
    EXPECT_EQ(slow.done, (std::vector<std::uint64_t>{0, 1}));
    EXPECT_FALSE(test::file_exists(result));
}

TEST(Filter, EmptyTableNeedsNoIndex) {
    ImportedDump d;
    ASSERT_TRUE(d.import("CREATE TABLE `e` (`id` int);\n")) << d.state.message;
    ASSERT_EQ(d.state.objects[0].entry_count, 0u);
    EXPECT_FALSE(test::file_exists(d.index(0)));
    const std::string result = d.dir.file("query-new.kvi");
    std::uint64_t hits = 7;
    ASSERT_TRUE(filter_run(d.state, 0, FilterRequest{}, result, hits, nullptr))
        << d.state.message;
    EXPECT_EQ(hits, 0u);
    EXPECT_TRUE(test::file_exists(result));
    EXPECT_EQ(test::read_file(result), "");
}

TEST(Filter, TextLengthLimit) {
    ImportedDump d;
    ASSERT_TRUE(d.import(MIXED_DUMP)) << d.state.message;
    const std::string result = d.dir.file("query-new.kvi");
    FilterRequest request;
    request.text.assign(FILTER_TEXT_MAX, 'a');
    std::uint64_t hits = 0;
    EXPECT_TRUE(filter_run(d.state, 0, request, result, hits, nullptr)) << d.state.message;
    EXPECT_EQ(hits, 0u);
    ASSERT_TRUE(file_remove(result));

    request.text.push_back('a');
    EXPECT_FALSE(filter_run(d.state, 0, request, result, hits, nullptr));
    EXPECT_STREQ(d.state.message, "Der Filtertext ist zu lang.");
    EXPECT_FALSE(test::file_exists(result));
}

TEST(Filter, FailuresLeaveNoResultFileAndKeepTheActiveFilter) {
    ImportedDump d;
    ASSERT_TRUE(d.import(MIXED_DUMP)) << d.state.message;
    const std::string result = d.dir.file("query-new.kvi");
    const std::string active = d.dir.file("query.kvi");
    test::write_file(active, std::string(32, 'Q'));
    std::uint64_t hits = 0;

    auto expect_failure = [&](std::uint32_t table, const std::string& path,
                              const ProgressSink* sink, const char* message) {
        test::write_file(path, "stale");
        EXPECT_FALSE(filter_run(d.state, table, FilterRequest{}, path, hits, sink)) << message;
        EXPECT_STREQ(d.state.message, message);
        EXPECT_FALSE(test::file_exists(path)) << message;
        EXPECT_EQ(test::read_file(active), std::string(32, 'Q'));
    };

    expect_failure(1, result, nullptr, "Ungültige Tabelle.");

    RecordingSink cancel;
    cancel.cancel_at = 1;
    ProgressSink sink = cancel.sink();
    expect_failure(0, result, &sink, "Vorgang abgebrochen.");
    EXPECT_EQ(cancel.reports.size(), 1u);

    d.state.objects[0].entry_count += 1;  // the index holds one entry less than the table
    expect_failure(0, result, nullptr, "Positionsindex ist unvollständig.");
    d.state.objects[0].entry_count -= 1;

    const std::string index_bytes = test::read_file(d.index(0));
    ASSERT_TRUE(file_remove(d.index(0)));
    expect_failure(0, result, nullptr, "Filterdatei kann nicht angelegt oder gelesen werden.");
    test::write_file(d.index(0), index_bytes);

    // The result cannot be created in a folder that does not exist.
    EXPECT_FALSE(filter_run(d.state, 0, FilterRequest{}, d.dir.file("no/such.kvi"), hits,
                            nullptr));
    EXPECT_STREQ(d.state.message, "Filterdatei kann nicht angelegt oder gelesen werden.");

    // A tuple that no longer matches the dump stops the filter with the decoder's message.
    d.state.objects[0].layouts.clear();
    expect_failure(0, result, nullptr,
                   "Ungültiger oder veralteter Positionsindex. Cache neu aufbauen.");
}

}  // namespace
}  // namespace kv
