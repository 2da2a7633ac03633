// The golden-file check: imports every dump (*.sql) and every case of the case files in
// tests/data/importer (*.cases: "-- case NAME" starts a case, "-- case-nbe NAME" one that
// starts under NO_BACKSLASH_ESCAPES; a case is the lines up to the next marker, without the
// last line feed) and compares what each import left (import_outcome.h) with the golden file
// tests/data/importer/<file>.out, and so the generated cases at the limits (generated.out).
// Each case is also imported through the byte path under both
// starting modes, which must leave the same, and a successful import must load again from its
// manifest unchanged. KV_UPDATE_GOLDEN=1 rewrites the golden files.
//
// Then the window scans against the byte-by-byte reference path: generated dumps of
// megabytes put quotes, escapes, doubled quotes, comment starters, parentheses and executable
// comments that switch the escape mode on and around the 1 MiB window boundary, inside and
// between tuples, and end in the middle of a string or tuple; both paths must leave the same,
// which checks the 64-byte block masks and escape runs of the window scan byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "importer/insert_scan.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

namespace fs = std::filesystem;

// The outcome under the starting mode; a difference of the byte path is appended, and with
// every_way one of the byte path under the other mode or of the reload from the manifest.
// Without every_way (the megabyte dumps), a difference fails at once, shown by its label.
std::string run_case(const std::string& dump, std::uint32_t mode, bool every_way = true,
                     const std::string& label = "") {
    test::TempDir dir(test::sparse_file_base());  // flushes on a memory file system cost nothing
    const std::string path = dir.file("dump.sql");
    test::write_file(path, dump);
    std::string out = test::import_both_ways(path, dump, mode);
    if (!every_way) {
        EXPECT_EQ(out.find("UNTERSCHIED"), std::string::npos) << label;  // not shown: megabytes
        return out;
    }
    const std::string reload = test::reload_described(path, path + ".cache", dump);
    if (out.rfind("Fehler", 0) != 0 && out.find("UNTERSCHIED") == std::string::npos &&
        reload != out) {
        out += "UNTERSCHIED beim Laden:\n" + reload;
    }
    const std::string other = test::import_both_ways(path, dump, 1 - mode);
    if (other.find("UNTERSCHIED") != std::string::npos) out += "Im anderen Modus:\n" + other;
    return out;
}

// Compares (with KV_UPDATE_GOLDEN: rewrites) one golden file; on a difference the actual text
// goes to <name>.actual in the working folder.
void check(const std::string& name, const std::string& actual) {
    const std::string golden = test::data_file("importer/" + name + ".out");
    if (std::getenv("KV_UPDATE_GOLDEN") != nullptr) test::write_file(golden, actual);
    if (test::read_file(golden) == actual) return;
    ADD_FAILURE() << golden << " weicht ab: siehe " << name << ".actual";
    test::write_file(name + ".actual", actual);
}

std::string list(const char* first, int from, int to, const char* rest, const char* sep = ",") {
    std::string out;
    for (int i = from; i < to; ++i) {
        out += (i > from ? sep : "") + (first + std::to_string(i)) + rest;
    }
    return out;
}

// Dumps at and just beyond the limits: values and nesting in a tuple, columns, objects, token
// and tuple lengths, notes, and the 4,096-entry batches of the index writer.
std::string generated_cases() {
    const std::string values = "(1" + list(",", 1, 4096, "", "") + ")";
    const std::string wide = "CREATE TABLE wide (" + list("c", 0, 4096, " int") + ");\n";
    const std::string big = "('" + std::string(90, 'a') + "')";  // 94 bytes
    const std::string rest = ",(2),('" + std::string(60, 'x') + "'),(3);\n";
    const std::string skip_table = "CREATE TABLE t (a int, b int);\n";
    std::vector<std::pair<std::string, std::string>> cases = {
        {"4,096 values and nesting depth 4,096", "INSERT INTO w VALUES " + values +
         ";\nINSERT INTO d VALUES " + std::string(4096, '(') + std::string(4096, ')') + ";"},
        {"4,097 values", "INSERT INTO t VALUES (1,1" + values.substr(2) + ";"},
        {"4,100 values in a joined tuple", "INSERT INTO t VALUES (1,'a'),(2,'b'),(3" +
         list(",", 0, 4100, "1", "") + ");\n"},
        {"nesting depth 4,097", "INSERT INTO t VALUES " + std::string(4097, '(')},
        {"nesting depth 5,000 in a value",
         "INSERT INTO t VALUES (1," + std::string(5000, '(') + ");"},
        {"4,096 and 4,097 tuples", "INSERT INTO a VALUES " + list("(", 0, 4096, ")") +
         ";\nINSERT INTO b VALUES " + list("(", 0, 4097, ")") + ";"},
        {"4,096 columns in CREATE TABLE", wide},
        {"4,097 columns in CREATE TABLE", wide.substr(0, wide.size() - 3) + ",one_more int);"},
        {"4,097 columns in an INSERT list", wide + "INSERT INTO wide (" + list("c", 0, 4096, "") +
         ",c0x) VALUES (1);"},
        {"a new column beyond 4,096", wide + "INSERT INTO wide (c1, nope) VALUES (1, 2);"},
        {"65,537 objects", list("CREATE TABLE t", 0, 65537, " (a int);\n", "")},
        {"8,191-byte word", "USE " + std::string(8191, 'w') + ";INSERT INTO t VALUES (1);"},
        {"8,192-byte word", std::string(8192, 'w') + ";"},
        {"8,191-byte name", "USE `" + std::string(8191, 'q') + "`;INSERT INTO t VALUES (1);"},
        {"8,192-byte name", "`" + std::string(8192, 'q') + "`;"},
        {"8,191-byte string", "USE '" + std::string(8190, 's') + "''';INSERT INTO t VALUES (1);"},
        {"8,192-byte string", "USE '" + std::string(8191, 's') + "''';"},
        {"a statement text beyond 2 MiB",
         "CREATE TABLE big (a int) COMMENT '" + std::string(3 << 20, 'c') + "';"},
        {"notes beyond the text limit", list("UPDATE t", 0, 1000, " SET a = 1;\n", "")},
        // The skipped statement's entries fill more than one 4,096-entry batch: those already
        // written are cut off the file, behind the table's earlier entries or down to none.
        {"a count change after 5,000 tuples, behind 3 kept", skip_table +
         "INSERT INTO t VALUES (0,0),(1,1),(2,2);\nINSERT INTO t VALUES " +
         list("(", 0, 5000, ",0)") + ",(5000);\nINSERT INTO t VALUES (9,9);"},
        {"a count change after 5,000 tuples, none kept", skip_table + "INSERT INTO t VALUES " +
         list("(", 0, 5000, ",0)") + ",(1,2,3);\nINSERT INTO t VALUES (9,9);"},
    };
    // A word, a quoted name, a string and the delimiter $$ across the reader's window end.
    const std::string seam =
        "CREATE TABLE `ab``c` (d text DEFAULT 'x''y')$$INSERT INTO `ab``c` VALUES ('x''y')$$";
    for (const std::size_t k : {3, 17, 40, 45, 82}) {  // inside CREATE, ``, '', $$ and the last $$
        cases.emplace_back("window end at byte " + std::to_string(k) + " of " + seam,
                           "DELIMITER $$\n" + std::string(READER_WINDOW_SIZE - 13 - k, ' ') + seam);
    }
    std::string out;
    for (const auto& [name, dump] : cases) out += "== " + name + "\n" + run_case(dump, 0);
    // A tuple of 94 bytes under the tuple length limits 93 and 94.
    const std::tuple<std::string, std::string, std::uint64_t> limited[] = {
        {"a tuple over the length limit, joined", "INSERT INTO t VALUES (1)," + big + rest, 93},
        {"a tuple over the length limit, last", "INSERT INTO t VALUES (1)," + big + ";\n", 93},
        {"a tuple over the length limit, first", "INSERT INTO t VALUES " + big + rest, 93},
        {"a tuple of exactly the length limit", "INSERT INTO t VALUES (1)," + big + rest, 94},
    };
    for (const auto& [name, dump, limit] : limited) {
        insert_tuple_length_limit = limit;
        out += "== " + name + "\n" + run_case(dump, 0);
    }
    insert_tuple_length_limit = MAX_TUPLE_LENGTH;
    return out;
}

// Tuples of four values drawn from pieces and long strings dense with escapes, doubled quotes
// and bytes that mean something outside strings (a string holds a false join of tuples), so that strings, escape runs and doubled
// quotes cross every block edge. Without backslashes, escaped quotes are left out.
std::string random_tuples(std::mt19937& rng, std::size_t bytes, bool backslashes = true) {
    static const char* const parts[] = {"x", "yz", "''", "\"", "(", ")", ",", "-", "#", "/*",
                                        "`", "ü", "\\'", "\\\\", "\\n"};
    static const char* const pieces[] = {
        "'plain text'", "'dbl '' quote'", "'(,)'", "'-- not'", "'/* not */'", "'#not'", "'),(1,'",
        "\"dq str\"", "\"a\"\"b\"", "`bq`", "NULL", "-12", "3.5", "1-2", "6/3", "0x0A0B",
        "(1+(2))", "CONCAT('a','b')", "'ü€😀'", "''", "-1e-3", "-- c'(,\n7", "# h'),\n8",
        "/* s') */9", "'end\\\\'", "'back\\\\slash'", "'\\n\\r\\Z\\0'", "'it\\'s'", "'dq \\\" in'",
        "'\\\\\\''"};
    const std::size_t piece_count = backslashes ? 30 : 27, part_count = backslashes ? 15 : 12;
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

TEST(Golden, GeneratedCasesAtTheLimits) { check("generated", generated_cases()); }

TEST(Golden, DumpsAndCaseFiles) {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(test::data_file("importer"))) {
        const std::string ext = e.path().extension().string();
        if (ext == ".cases" || ext == ".sql") files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    EXPECT_GT(files.size(), 20u);
    for (const fs::path& file : files) {
        const std::string text = test::read_file(file.string());
        std::string actual;
        if (file.extension() == ".sql") {
            actual = run_case(text, 0);
        } else {
            for (std::size_t at = 0; at < text.size();) {
                const std::size_t eol = text.find('\n', at);
                const std::size_t next = text.find("\n-- case", eol);
                const std::string head = text.substr(at, eol - at);
                const std::size_t end = next == std::string::npos ? text.size() - 1 : next;
                actual += "== " + head.substr(head.find(' ', 3) + 1) + "\n" +
                          run_case(text.substr(eol + 1, end - eol - 1),
                                   head.rfind("-- case-nbe", 0) == 0 ? 1 : 0);
                at = end + 1;
            }
        }
        check(file.filename().string(), actual);
    }
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
            const std::string out = run_case(dump, 0, false, spot + " " + std::to_string(k));
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
    const std::string whole = run_case(dump, 0, false, "generated");
    EXPECT_GT(std::stoull(whole), 8000u) << whole.substr(0, 200);  // the entry count
    run_case(dump, 1, false, "generated, starting without backslash escapes");
    for (std::size_t back : {2, 3001, 77777, 500001}) {
        run_case(dump.substr(0, dump.size() - back), 0, false, "cut " + std::to_string(back));
    }
}

}  // namespace
}  // namespace kv
