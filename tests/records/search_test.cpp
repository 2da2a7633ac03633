// Search of the whole dump and the filter on several threads: the search's hits against the
// filter of every table and column (the one reference of the matching rule), the same bytes
// for 1, 2 and 4 threads with units of a few rows, the first and last rows of tables and
// pages, tuples larger than a helper's read window, cancellation and refused requests.
#include <gtest/gtest.h>

#include "records/record_decode.h"
#include "records/row_scan.h"
#include "records/search.h"
#include <set>

#include "tests/importer/import_outcome.h"
#include "tests/records/records_test_support.h"

using namespace kv;
using namespace kv::test;

namespace {

const char* const CANCELLED = "Vorgang abgebrochen.";

// Units of `rows` rows for one test; the program's own size again at its end.
struct SmallUnits {
    explicit SmallUnits(std::uint32_t rows) { scan_unit_rows = rows; }
    ~SmallUnits() { scan_unit_rows = SCAN_UNIT_ROWS_MAX; }
};

std::string search_file(DumpState& state, const SearchRequest& request, const std::string& path,
                        std::uint64_t& hits, std::uint32_t& tables) {
    const Status status = search_run(state, request, path, hits, tables, nullptr);
    EXPECT_EQ(text_of(status), "");
    return read_file(path);
}

std::vector<IndexEntry> entries_of(const std::string& bytes) {
    std::vector<IndexEntry> out;
    for (std::size_t i = 0; i + INDEX_ENTRY_SIZE <= bytes.size(); i += INDEX_ENTRY_SIZE) {
        out.push_back(index_entry_decode(reinterpret_cast<const unsigned char*>(bytes.data() + i)));
    }
    return out;
}

// The search's hits as the filter gives them: per table in object order, per row the first
// column whose one-column filter has the row.
std::vector<SearchHit> reference_hits(ImportedDump& d, FilterOp op, const std::string& text,
                                      Charset charset) {
    std::vector<SearchHit> out;
    const std::string q = d.dir.file("q.kvi");
    for (std::uint32_t t = 0; t < d.state.objects.size(); ++t) {
        if (!search_covers(d.state.objects[t])) continue;
        const std::vector<IndexEntry> all = index_entries(d.state, t);
        std::vector<std::int64_t> first(all.size(), -1);
        for (std::uint32_t c = d.state.objects[t].columns.size(); c-- > 0;) {
            const FilterRequest request{static_cast<std::int32_t>(c), op, text, charset, 1};
            std::uint64_t hits = 0;
            EXPECT_EQ(text_of(filter_run(d.state, t, request, q, hits, nullptr)), "");
            for (const IndexEntry& e : entries_of(read_file(q))) {
                for (std::size_t row = 0; row < all.size(); ++row) {
                    if (all[row].offset == e.offset) first[row] = c;
                }
            }
        }
        for (std::size_t row = 0; row < all.size(); ++row) {
            if (first[row] >= 0) out.push_back({t, static_cast<std::uint32_t>(first[row]), row});
        }
    }
    return out;
}

std::string hits_text(const std::vector<SearchHit>& hits) {
    std::string out;
    for (const SearchHit& h : hits) {
        out += std::to_string(h.object) + ":" + std::to_string(h.row) + ":" +
               std::to_string(h.column) + " ";
    }
    return out;
}

}  // namespace

// Real dumps of several tools and layouts (column lists, NO_BACKSLASH_ESCAPES, ANSI quotes,
// hex and binary values, NULLs, columns missing from an INSERT): the search lists exactly the
// rows the filter finds, each with its first matching column; its count is the sum of the
// all-column filter counts, and 1, 2 and 4 threads write the same bytes.
TEST(Search, HitsAreTheFilterOfEveryColumn) {
    const char* const dumps[] = {
        "importer/mysqldump_extended.sql", "importer/phpmyadmin.sql", "importer/heidisql.sql",
        "importer/adminer.sql",            "importer/no_backslash.sql", "importer/hex_blob.sql",
        "importer/complete_insert.sql",    "importer/ansi_quotes.sql",  "importer/interleaved.sql",
        "cli/shop.sql",
    };
    const struct {
        FilterOp op;
        const char* text;
    } searches[] = {{FilterOp::contains, "a"}, {FilterOp::contains, "1"},
                    {FilterOp::contains, "'"}, {FilterOp::contains, "\\"},
                    {FilterOp::contains, "ö"}, {FilterOp::contains, "0x"},
                    {FilterOp::contains, ""},  {FilterOp::equals, "1"},
                    {FilterOp::equals, "NULL"}, {FilterOp::equals, ""}};
    SmallUnits units(2);
    for (const char* name : dumps) {
        ImportedDump d;
        ASSERT_TRUE(d.import(read_file(data_file(name)))) << name;
        for (const auto& s : searches) {
            const std::string where = std::string(name) + " '" + s.text + "'";
            const std::vector<SearchHit> expected = reference_hits(d, s.op, s.text, CHARSET_UTF8);
            std::uint64_t filter_sum = 0;
            for (std::uint32_t t = 0; t < d.state.objects.size(); ++t) {
                if (!search_covers(d.state.objects[t])) continue;
                std::uint64_t hits = 0;
                const FilterRequest all{-1, s.op, s.text, CHARSET_UTF8, 3};
                ASSERT_EQ(text_of(filter_run(d.state, t, all, d.dir.file("f.kvi"), hits, nullptr)), "");
                filter_sum += hits;
            }
            std::string first;
            for (const std::uint32_t threads : {1u, 2u, 4u}) {
                std::uint64_t hits = 0;
                std::uint32_t tables = 0;
                const std::string file = search_file(d.state, {s.op, s.text, CHARSET_UTF8, threads},
                                                     d.dir.file("s.kvs"), hits, tables);
                std::vector<SearchHit> got;
                ASSERT_EQ(text_of(search_read_hits(d.dir.file("s.kvs"), 0, 100000, got)), "");
                EXPECT_EQ(hits_text(got), hits_text(expected)) << where << " threads " << threads;
                EXPECT_EQ(hits, filter_sum) << where;
                if (threads == 1) first = file;
                EXPECT_EQ(file, first) << where << " threads " << threads;
            }
        }
    }
}

// A table of 250 rows (units of 7 rows on 1, 2 and 4 threads) with hits on its first and last
// row and on both sides of the page boundaries at 100 and 200, tables without hits before and
// after it: the filter's result file and the search's hit file, read back from their first,
// last and past their last hit.
TEST(Search, BoundaryRowsOfTablesUnitsAndPages) {
    std::string dump = "CREATE TABLE `vor` (`a` int);\nINSERT INTO `vor` VALUES (1),(2);\n"
                       "CREATE TABLE `t` (`id` int, `s` varchar(9), `n` varchar(9));\n";
    const std::set<int> marked = {0, 6, 7, 99, 100, 199, 200, 249};
    for (int row = 0; row < 250; ++row) {
        dump += std::string(row % 60 == 0 ? "INSERT INTO `t` VALUES " : ",") + "(" +
                std::to_string(row) + ",'x'," + (marked.count(row) ? "'Treffer'" : "NULL") + ")";
        if (row % 60 == 59 || row == 249) dump += ";\n";
    }
    dump += "CREATE TABLE `nach` (`a` text);\nINSERT INTO `nach` VALUES ('Treffe'),('reffer');\n";
    ImportedDump d;
    ASSERT_TRUE(d.import(dump));
    SmallUnits units(7);
    std::string entries;
    for (const std::uint32_t threads : {1u, 2u, 4u}) {
        std::uint64_t hits = 0;
        std::uint32_t tables = 0;
        search_file(d.state, {FilterOp::contains, "Treffer", CHARSET_UTF8, threads}, d.dir.file("s.kvs"),
                    hits, tables);
        EXPECT_EQ(hits, marked.size());
        EXPECT_EQ(tables, 1u);
        std::vector<SearchHit> got;
        ASSERT_EQ(text_of(search_read_hits(d.dir.file("s.kvs"), 0, 1000, got)), "");
        EXPECT_EQ(hits_text(got), "1:0:2 1:6:2 1:7:2 1:99:2 1:100:2 1:199:2 1:200:2 1:249:2 ");
        ASSERT_EQ(text_of(search_read_hits(d.dir.file("s.kvs"), 7, 100, got)), "");
        EXPECT_EQ(hits_text(got), "1:249:2 ");
        ASSERT_EQ(text_of(search_read_hits(d.dir.file("s.kvs"), 8, 100, got)), "");
        EXPECT_TRUE(got.empty());
        std::uint64_t count = 0;
        EXPECT_TRUE(search_hit_count(d.dir.file("s.kvs"), count) && count == 8);
        const FilterRequest request{2, FilterOp::equals, "Treffer", CHARSET_UTF8, threads};
        ASSERT_EQ(text_of(filter_run(d.state, 1, request, d.dir.file("q.kvi"), hits, nullptr)), "");
        if (threads == 1) entries = read_file(d.dir.file("q.kvi"));
        EXPECT_EQ(read_file(d.dir.file("q.kvi")), entries);
        EXPECT_EQ(entries_of(entries).back().offset, d.entry(1, 249).offset);
    }
    write_file(d.dir.file("odd.kvs"), std::string(17, 'x'));
    std::vector<SearchHit> got;
    EXPECT_NE(text_of(search_read_hits(d.dir.file("odd.kvs"), 0, 1, got)), "");
}

// Tuples of 2 MiB, larger than a helper's read window, between small ones: the helpers hand
// them to the calling thread, and the result is that of one thread.
TEST(Search, LargeTuplesBetweenSmallOnes) {
    std::string dump = "CREATE TABLE `t` (`a` longtext, `b` int);\nINSERT INTO `t` VALUES ";
    for (int row = 0; row < 24; ++row) {
        const std::string value = row % 5 == 2 ? std::string(2u << 20, 'g') + "Ende" : "klein";
        dump += (row ? ",('" : "('") + value + "'," + std::to_string(row) + ")";
    }
    // Row 24 is above 64 MiB: no decode takes it, so the search passes over it, counts it and
    // goes on, where the filter of its table stops.
    dump += ",('" + std::string(MAX_DECODED_TUPLE, 'h') + "Ende',24)";
    ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n"));
    SmallUnits units(3);
    for (const char* text : {"Ende", "klein", "1"}) {
        std::string first;
        for (const std::uint32_t threads : {1u, 2u, 4u}) {
            std::uint64_t hits = 0;
            std::uint32_t tables = 0;
            const std::string file = search_file(d.state, {FilterOp::contains, text, CHARSET_UTF8, threads},
                                                 d.dir.file("s.kvs"), hits, tables);
            if (threads == 1) first = file;
            EXPECT_EQ(file, first) << text << threads;
            EXPECT_EQ(hits, std::string(text) == "Ende" ? 5u : std::string(text) == "klein" ? 19u : 12u);
            std::uint32_t tables_again = 0;
            std::uint64_t skipped = 0;
            EXPECT_TRUE(search_run(d.state, {FilterOp::contains, text, CHARSET_UTF8, threads}, d.dir.file("s.kvs"),
                                   hits, tables_again, nullptr, &skipped).ok());
            EXPECT_EQ(skipped, 1u);
        }
    }
    std::uint64_t hits = 0;
    EXPECT_EQ(text_of(filter_run(d.state, 0, {-1, FilterOp::contains, "Ende", CHARSET_UTF8, 2}, d.dir.file("f.kvi"),
                                 hits, nullptr)),
              msg_text(Msg::record_too_large));
}

// A cancel answered in the first report ends the search and the filter on any thread count
// and leaves no result file; operators other than contains and equals are refused.
TEST(Search, CancelAndRefusalsLeaveNoFile) {
    std::string dump = "CREATE TABLE `t` (`a` text);\nINSERT INTO `t` VALUES ";
    for (int row = 0; row < 500; ++row) dump += (row ? ",('" : "('") + std::to_string(row) + "')";
    ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n"));
    SmallUnits units(4);
    const ProgressSink cancel{+[](void*, std::uint64_t, std::uint64_t, std::uint64_t, const char*) { return 0; }};
    const std::string path = d.dir.file("s.kvs");
    for (const std::uint32_t threads : {1u, 2u, 4u}) {
        std::uint64_t hits = 0;
        std::uint32_t tables = 0;
        EXPECT_EQ(text_of(search_run(d.state, {FilterOp::contains, "1", CHARSET_UTF8, threads}, path,
                                     hits, tables, &cancel)), CANCELLED);
        EXPECT_FALSE(file_exists(path));
        const FilterRequest request{-1, FilterOp::contains, "1", CHARSET_UTF8, threads};
        EXPECT_EQ(text_of(filter_run(d.state, 0, request, path, hits, &cancel)), CANCELLED);
        EXPECT_FALSE(file_exists(path));
    }
    RecordingSink sink;
    std::uint64_t hits = 0;
    std::uint32_t tables = 0;
    ASSERT_EQ(text_of(search_run(d.state, {FilterOp::contains, "9", CHARSET_UTF8, 2}, path, hits,
                                 tables, &sink)), "");
    ASSERT_FALSE(sink.reports.empty());
    EXPECT_EQ(sink.reports[0].substr(sink.reports[0].find(' ')), " Dump durchsuchen");
    for (const FilterOp op : {FilterOp::is_null, FilterOp::is_not_null}) {
        write_file(path, "alt");
        EXPECT_NE(text_of(search_run(d.state, {op, "", CHARSET_UTF8, 1}, path, hits, tables, nullptr)), "");
        EXPECT_FALSE(file_exists(path));
    }
}
