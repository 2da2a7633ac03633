// Dumps that end early (an aborted backup): one small dump cut at every byte of its last
// INSERT, in the join styles of mysqldump ("),(") and phpMyAdmin ("),\n("). Each cut must open;
// the last table holds the tuples completed before the cut, exactly at their bytes; a note
// names the INSERT whenever the cut leaves it unfinished (and only then); the report knows
// that the dump ends inside a statement. The window scans, the byte path and imports with 2
// and 4 threads in small chunks (helpers scanning the INSERT ahead of the loop) must all leave
// the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "importer/chunk_scan.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

// Values of the last INSERT's tuples: false joins, quotes and comment starters inside strings,
// escapes, nesting.
const char* const TUPLES[][3] = {
    {"3", "'x),(y'", "NULL"},
    {"4", "'it\\'s (a)'", "'b\\\\'"},
    {"5", "\"dq, )\"", "-1.5"},
    {"6", "''", "0x41"},
    {"7", "'a;b'", "'-- c'"},
    {"8", "'/* no */'", "(1+(2))"},
    {"9", "'#no'", "CONCAT('a','b')"},
};

// A dump whose last INSERT fills table t, with the bytes where each of its tuples ends (after
// its ')') and where the INSERT starts and ends (after its ';').
struct CutDump {
    std::string text;
    std::vector<std::size_t> tuple_starts;  // each tuple's '('
    std::vector<std::size_t> tuple_ends;
    std::size_t insert_start = 0;
    std::size_t insert_end = 0;
};

CutDump make_dump(bool one_line) {
    CutDump d;
    d.text = "-- MySQL dump 10.13  Distrib 8.0.36, for Linux (x86_64)\n"
             "/*!40101 SET NAMES utf8mb4 */;\n"
             "CREATE TABLE `t` (\n  `a` int,\n  `b` text,\n  `c` text\n);\n"
             "LOCK TABLES `t` WRITE;\n"
             "INSERT INTO `t` VALUES (1,'eins','x'),(2,'zwei','y');\n";
    d.insert_start = d.text.size();
    d.text += one_line ? "INSERT INTO `t` VALUES " : "INSERT INTO `t` (`a`, `b`, `c`) VALUES\n";
    const char* const join = one_line ? "," : ",\n";
    const char* const sep = one_line ? "," : ", ";
    for (std::size_t i = 0; i < std::size(TUPLES); ++i) {
        if (i > 0) d.text += join;
        d.tuple_starts.push_back(d.text.size());
        d.text += std::string("(") + TUPLES[i][0] + sep + TUPLES[i][1] + sep + TUPLES[i][2] + ")";
        d.tuple_ends.push_back(d.text.size());
    }
    d.text += ";";
    d.insert_end = d.text.size();
    d.text += "\nUNLOCK TABLES;\n-- Dump completed on 2026-12-07 10:11:12\n";
    return d;
}

// The outcome of the dump cut at byte k, checked against what the cut leaves whole; the text
// of the single-thread import for the other ways to match.
std::string check_cut(const CutDump& d, std::size_t k, const std::string& path,
                      const std::string& root) {
    const std::string dump = d.text.substr(0, k);
    test::write_file(path, dump);
    DumpState state;
    std::string text;
    EXPECT_TRUE(test::import_described(state, text, path, root, dump, false)) << text;
    std::size_t complete = 0;
    while (complete < d.tuple_ends.size() && d.tuple_ends[complete] <= k) ++complete;
    const std::string at = " cut at " + std::to_string(k) + ": " + text;
    if (state.objects.empty()) return text;
    EXPECT_EQ(state.objects[0].entry_count, 2 + complete) << at;
    const std::vector<IndexEntry> entries = test::index_entries(state, 0);
    for (std::size_t i = 0; i < complete && i + 2 < entries.size(); ++i) {
        EXPECT_EQ(entries[i + 2].offset, d.tuple_starts[i]) << at;
        EXPECT_EQ(entries[i + 2].offset + entries[i + 2].length, d.tuple_ends[i]) << at;
    }
    // Unfinished: the keyword INSERT is there and the cut falls neither after a tuple nor
    // after the statement's ';'.
    bool after_tuple = false;
    for (const std::size_t end : d.tuple_ends) after_tuple = after_tuple || end == k;
    const bool unfinished = k >= d.insert_start + 6 && k < d.insert_end && !after_tuple;
    const bool noted = text.find("Der Dump endet mitten in einer Anweisung") != std::string::npos;
    EXPECT_EQ(noted, unfinished) << at;
    if (noted) {
        EXPECT_EQ(state.note_count, 1u) << at;
        EXPECT_NE(text.find("(Byte " + std::to_string(d.insert_start) + ")"), std::string::npos)
            << at;
    }
    EXPECT_EQ(state.report.ends_in_statement, k > d.insert_start && k < d.insert_end) << at;
    return text;
}

TEST(CutDump, EveryByteOfTheLastInsertUnderEveryScanAndThreadCount) {
    test::TempDir dir(test::sparse_file_base());
    const std::string path = dir.file("dump.sql");
    import_helper_counts.taken = 0;
    for (const bool one_line : {true, false}) {
        const CutDump d = make_dump(one_line);
        for (std::size_t k = d.insert_start; k <= d.insert_end; ++k) {
            const std::string single = check_cut(d, k, path, dir.file("one"));
            const std::string dump = d.text.substr(0, k);
            DumpState state;
            std::string byte_path;
            test::import_described(state, byte_path, path, dir.file("bytes"), dump, true);
            EXPECT_EQ(byte_path, single) << "byte path, cut at " << k;
            // Chunks of about 30 and 12 bytes: helpers start runs inside the INSERT.
            for (const test::ThreadedWay way : {test::ThreadedWay{2, dump.size() / 30},
                                                test::ThreadedWay{4, dump.size() / 12}}) {
                const std::string threaded =
                    test::import_threaded(path, dir.file("threads"), dump, 0, way);
                EXPECT_EQ(threaded, single) << way.threads << " threads, cut at " << k;
            }
        }
    }
    EXPECT_GT(import_helper_counts.taken.load(), 100u);  // runs of helpers were taken
}

}  // namespace
}  // namespace kv
