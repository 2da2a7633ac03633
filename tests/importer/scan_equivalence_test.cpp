// The window scans of the import against the byte-by-byte reference path: generated dumps of
// megabytes put quotes, escapes, doubled quotes, comment starters, parentheses and executable
// comments that switch the escape mode on and around the 1 MiB window boundary, inside and
// between tuples, and end in the middle of a string or tuple; both paths must leave the same
// (import_outcome.h), which checks the 64-byte block masks and escape runs of the window scan
// byte for byte.
#include <gtest/gtest.h>

#include <random>

#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

// The outcome of the window scans; fails where the byte path's differs.
std::string expect_same_import(const std::string& dump, const std::string& label,
                               std::uint32_t mode = 0) {
    test::TempDir dir(test::sparse_file_base());  // flushes on a memory file system cost nothing
    test::write_file(dir.file("d.sql"), dump);
    const std::string out = test::import_both_ways(dir.file("d.sql"), dump, mode);
    EXPECT_EQ(out.find("UNTERSCHIED"), std::string::npos) << label;  // not shown: megabytes
    return out;
}

// Tuples of four values drawn from pieces and long strings dense with escapes, doubled quotes
// and bytes that mean something outside strings, so that strings, escape runs and doubled
// quotes cross every block edge. Without backslashes, escaped quotes are left out.
std::string random_tuples(std::mt19937& rng, std::size_t bytes, bool backslashes = true) {
    static const char* const parts[] = {"x", "yz", "''", "\"", "(", ")", ",", "-", "#", "/*",
                                        "`", "ü", "\\'", "\\\\", "\\n"};
    static const char* const pieces[] = {
        "'plain text'", "'dbl '' quote'", "'(,)'", "'-- not'", "'/* not */'", "'#not'",
        "\"dq str\"", "\"a\"\"b\"", "`bq`", "NULL", "-12", "3.5", "1-2", "6/3", "0x0A0B",
        "(1+(2))", "CONCAT('a','b')", "'ü€😀'", "''", "-1e-3", "-- c'(,\n7", "# h'),\n8",
        "/* s') */9", "'end\\\\'", "'back\\\\slash'", "'\\n\\r\\Z\\0'", "'it\\'s'", "'dq \\\" in'",
        "'\\\\\\''"};
    const std::size_t piece_count = backslashes ? 29 : 26, part_count = backslashes ? 15 : 12;
    std::string s;
    for (std::uint32_t row = 1; s.size() < bytes; ++row) {
        s += row == 1 ? "(" : rng() % 7 == 0 ? " ,\n(" : ",(";
        s += std::to_string(row);
        for (int v = 0; v < 3; ++v) {
            s += rng() % 11 == 0 ? " , " : ",";
            if (rng() % 4 != 0) {
                s += pieces[rng() % piece_count];
                continue;
            }
            std::string text = "'";
            for (const std::size_t length = 40 + rng() % 260; text.size() < length;) {
                text += parts[rng() % part_count];
            }
            s += text + "'";
        }
        s += rng() % 13 == 0 ? " /* c */)" : ")";
    }
    return s;
}

// Dumps whose window boundary falls on each byte of, or just after, each special spot.
TEST(ScanEquivalence, WindowBoundaryOnEverySpecialByte) {
    std::mt19937 rng(12345);
    const std::string base = "CREATE TABLE t (a int, b text, c text, d text);\n"
                             "INSERT INTO t VALUES " +
                             random_tuples(rng, 1060000) + ";\n";
    constexpr std::size_t WINDOW = 1048576;
    for (const std::string spot : {"\\'", "''", "\\\\", "'", "\"", "`", "(", ")", ",", "-1", "1-2",
                                   "6/3", "/* c", "\\\"", "'\\\\\\''"}) {
        const std::size_t at = base.find(spot, 1000000);
        ASSERT_LT(at, WINDOW) << spot;
        for (std::size_t k = 0; k <= spot.size(); ++k) {  // k == size: the spot starts a window
            const std::size_t target = k == spot.size() ? WINDOW : WINDOW - 1 - k;
            if (target - at < 5) continue;
            const std::string dump = "/*" + std::string(target - at - 5, 'p') + "*/\n" + base;
            const std::string out = expect_same_import(dump, spot + " " + std::to_string(k));
            EXPECT_NE(out.rfind("Fehler", 0), 0u) << spot << ": " << out.substr(0, 200);
        }
    }
}

// Several megabytes across windows with the escape mode switched between statements and
// between tuples, under both starting modes, and cut short inside its last window.
TEST(ScanEquivalence, GeneratedDumpsAcrossWindows) {
    std::mt19937 rng(777);
    std::string dump = "CREATE TABLE t (a int, b text, c text, d text);\n";
    for (int statement = 0; statement < 6; ++statement) {
        if (statement == 2) dump += "/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */;\n";
        if (statement == 4) dump += "/*!40101 SET SQL_MODE='' */;\n";
        const bool backslashes = statement < 2 || statement > 3;
        dump += "INSERT INTO t VALUES " + random_tuples(rng, 300000, backslashes);
        if (statement == 5) {
            dump += ",/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */";
            dump += random_tuples(rng, 200000, false);
        }
        dump += ";\n";
    }
    const std::string whole = expect_same_import(dump, "generated");
    EXPECT_GT(std::stoull(whole), 8000u) << whole.substr(0, 200);  // the entry count
    expect_same_import(dump, "generated, starting without backslash escapes", 1);
    for (std::size_t back : {2, 3001, 77777, 500001}) {
        expect_same_import(dump.substr(0, dump.size() - back), "cut " + std::to_string(back));
    }
}

}  // namespace
}  // namespace kv
