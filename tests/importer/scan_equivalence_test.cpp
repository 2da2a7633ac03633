// The window scans of the import against the plain byte-by-byte path: every dump is imported
// twice, once with reader_byte_path_only set and once without, and the outcomes must agree to
// the byte: success, message (with its byte position), notes, schema, the manifest and every
// position index file. Inputs are the hand-written dumps in tests/data and generated dumps that
// put quotes, backslashes, doubled quotes, comment starters, parentheses and executable comments
// that switch the escape mode on and around the 1 MiB window boundary, inside and between tuples,
// and that end in the middle of a string or tuple.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/byte_scan.h"
#include "importer_test_support.h"

namespace kv {
namespace {

using test::DumpFixture;
using test::read_file;

// Everything an import leaves behind that a later open or page relies on.
struct Outcome {
    bool ok = false;
    std::string message;
    std::string notes;
    std::uint64_t total_entries = 0;
    std::vector<std::pair<std::string, std::string>> files;  // cache file name -> bytes
};

// Removes the manifest and index files, so that the next run's files are its own.
void clear_cache_files(const std::string& folder) {
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(test::fs_path(folder), ec)) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".kvi") || name.ends_with(".kvd")) std::filesystem::remove(e.path(), ec);
    }
}

Outcome import_once(DumpFixture& f, bool byte_path, std::uint32_t mode) {
    Outcome out;
    ProgressSink sink;
    sink.mode = mode;
    if (!f.open()) {
        ADD_FAILURE() << "open failed: " << f.state.message;
        return out;
    }
    clear_cache_files(f.state.cache_folder);
    reader_byte_path_only = byte_path;
    out.ok = import_run(f.state, &sink);
    reader_byte_path_only = false;
    out.message = f.state.message;
    out.notes = f.state.import_notes;
    out.total_entries = f.state.total_entries;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(test::fs_path(f.state.cache_folder), ec)) {
        const std::string name = e.path().filename().string();
        if (name.ends_with(".kvi") || name.ends_with(".kvd")) {
            out.files.emplace_back(name, read_file(f.state.cache_folder + "/" + name));
        }
    }
    std::sort(out.files.begin(), out.files.end());
    return out;
}

// Imports content both ways and compares; returns the fast outcome for further checks.
Outcome expect_same_import(const std::string& content, const std::string& label,
                           std::uint32_t mode = 0) {
    DumpFixture f(content);
    const Outcome reference = import_once(f, true, mode);
    const Outcome fast = import_once(f, false, mode);
    EXPECT_EQ(fast.ok, reference.ok) << label;
    EXPECT_EQ(fast.message, reference.message) << label;
    EXPECT_EQ(fast.notes, reference.notes) << label;
    EXPECT_EQ(fast.total_entries, reference.total_entries) << label;
    EXPECT_EQ(fast.files.size(), reference.files.size()) << label;
    for (std::size_t i = 0; i < std::min(fast.files.size(), reference.files.size()); ++i) {
        EXPECT_EQ(fast.files[i].first, reference.files[i].first) << label;
        // Compared as a flag so that a difference in megabytes of index does not flood the log.
        EXPECT_TRUE(fast.files[i].second == reference.files[i].second)
            << label << ": " << fast.files[i].first << " differs";
    }
    return fast;
}

// The block masks and escape resolution against a plain walk over random bytes drawn from the
// bytes that matter (quotes, backslashes, every candidate, letters).
TEST(ByteScan, BlockMasksAndEscapesMatchAPlainWalk) {
    std::mt19937_64 rng(99);
    const unsigned char alphabet[] = {'\'', '\\', '\\', '\\', '"', '#', '$', '(', ')', ',',
                                      '-', '.', '/', '`', '!', '0', 'a', 0x80, 0xFF, '*'};
    for (int round = 0; round < 4000; ++round) {
        unsigned char bytes[64];
        for (unsigned char& b : bytes) b = alphabet[rng() % sizeof alphabet];
        const ByteBlock block = byte_block(bytes);
        std::uint64_t carry_in = rng() % 2;
        std::uint64_t carry = carry_in;
        const std::uint64_t escaped = escaped_bytes(block.backslashes, carry);
        bool pending = carry_in != 0;
        for (int k = 0; k < 64; ++k) {
            const unsigned char c = bytes[k];
            const std::uint64_t bit = std::uint64_t{1} << k;
            ASSERT_EQ((block.quotes & bit) != 0, c == '\'') << round << " " << k;
            ASSERT_EQ((block.backslashes & bit) != 0, c == '\\') << round << " " << k;
            ASSERT_EQ((block.candidates & bit) != 0, (c >= '"' && c <= '/') || c == '`')
                << round << " " << k;
            // Escaped backslashes are plain bytes either way; only other bytes are reported.
            if (c != '\\') {
                ASSERT_EQ((escaped & bit) != 0, pending) << round << " " << k;
            }
            pending = !pending && c == '\\';
        }
        ASSERT_EQ(carry, pending ? 1u : 0u) << round;
        std::uint64_t parity = 0;
        const std::uint64_t prefix = prefix_xor(block.quotes);
        for (int k = 0; k < 64; ++k) {
            parity ^= (block.quotes >> k) & 1;
            ASSERT_EQ((prefix >> k) & 1, parity) << round << " " << k;
        }
    }
}

// The searches never read at or beyond n and agree with a plain loop.
TEST(ByteScan, SearchesAgreeWithAPlainLoop) {
    std::mt19937_64 rng(5);
    const unsigned char alphabet[] = {'\'', '\\', '"', '(', ')', ',', '-', '/', '#', '`', 'x', 'y', 0xC3};
    for (int round = 0; round < 2000; ++round) {
        const std::size_t n = rng() % 100;
        std::vector<unsigned char> bytes(n);
        for (unsigned char& b : bytes) b = rng() % 4 == 0 ? alphabet[rng() % sizeof alphabet] : 'z';
        const std::size_t from = n == 0 ? 0 : rng() % (n + 1);
        const unsigned char* p = bytes.data();
        std::size_t want = from;
        while (want < n && !tuple_stop_byte(p[want])) ++want;
        ASSERT_EQ(scan_find_tuple_stop(p, from, n), want);
        want = from;
        while (want < n && p[want] != '\'' && p[want] != '\\') ++want;
        ASSERT_EQ(scan_find2(p, from, n, '\'', '\\'), want);
    }
}

TEST(ScanEquivalence, EveryTestDataDump) {
    int count = 0;
    for (const auto& e : std::filesystem::directory_iterator(test::fs_path(KV_TEST_DATA_DIR))) {
        if (e.path().extension() != ".sql") continue;
        const std::string content = read_file(e.path().string());
        const std::string name = e.path().filename().string();
        expect_same_import(content, name, 0);
        expect_same_import(content, name + " (NO_BACKSLASH_ESCAPES)", 1);
        ++count;
    }
    EXPECT_GE(count, 10);
}

// Hand-made statements for the cases the window scan treats specially.
TEST(ScanEquivalence, SpecialBytesInAndBetweenTuples) {
    const std::string head = "CREATE TABLE t (a int, b text);\n";
    std::string too_many;  // 4,100 values, more than a tuple may have
    for (int i = 0; i < 4100; ++i) too_many += ",1";
    const struct {
        const char* label;
        std::string body;
        bool ok;
    } cases[] = {
        {"escape mode switched between tuples",
         "INSERT INTO t VALUES (1,'a\\\\'),/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */"
         "(2,'b\\'),(3,'c\\''d');\n/*!40101 SET SQL_MODE='' */;\n"
         "INSERT INTO t VALUES (4,'e\\'f');\n",
         true},
        {"escape mode switched inside a tuple (applies after it)",
         "INSERT INTO t VALUES (1, /*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */ 'x\\\\'),"
         "(2,'y\\');\n",
         true},
        {"comments between and inside tuples",
         "INSERT INTO t VALUES (1 /* c ) , ( */, 'a') -- line ) (\n, # hash ,(\n"
         "(2,-- x\n'b'),(3/**/, '--'),(-4,'/*'),(5-1,'#'),(6/2,'-- '),\n"
         "(7, -- it's ) here\n'g'),(8,# it's ) (\n'h'),(9,/* it's ), */'i');\n",
         true},
        {"minus and slash that start no comment",
         "INSERT INTO t VALUES (-1,'a'),(1-2,'b'),(8/2,'c'),(1--2,'d'),(3-/-1,'e');\n", true},
        {"nested parentheses and other quotes",
         "INSERT INTO t VALUES ((1),CONCAT('a',(\"b)\"),`c(`)),(2,\"d\"\"e\"),(3,`f``g`);\n",
         true},
        {"doubled quotes and escapes",
         "INSERT INTO t VALUES (1,''''),(2,'\\\\'),(3,'\\''),(4,'a''''b\\\\\\''),(5,'');\n",
         true},
        {"tuples joined by \",(\" and what may follow it",
         "INSERT INTO t VALUES (1,'a'),(2,'b'),(-3,'c'),(4,'d'),(--5\n,'e'),( 6,'f'),"
         "(\n7,'g'),('8',9),(N'x','y'),(_binary'z',0x41),(\"q\",1),((1),2),(+1,2),(.5,1);\n",
         true},
        {"value count changes in a joined tuple",
         "INSERT INTO t VALUES (1,'a'),(2,'b'),(3,'c','d'),(4,'e');\n", false},
        {"empty tuple joined", "INSERT INTO t VALUES (1,'a'),(2,'b'),(),(3,'c');\n", false},
        {"too many values in a joined tuple",
         "INSERT INTO t VALUES (1,'a'),(2,'b'),(3" + too_many + ");\n", false},
        {"string runs to the end", "INSERT INTO t VALUES (1,'abc", false},
        {"escape runs to the end", "INSERT INTO t VALUES (1,'abc\\", false},
        {"tuple runs to the end", "INSERT INTO t VALUES (1,2", false},
        {"quote as the last byte", "INSERT INTO t VALUES (1,'", false},
        {"block comment runs to the end", "INSERT INTO t VALUES (1,/* abc", false},
        {"too many values", "INSERT INTO t VALUES (1" + too_many + ");\n", false},
        {"too deep", "INSERT INTO t VALUES (1," + std::string(5000, '(') + ");\n", false},
    };
    for (const auto& c : cases) {
        for (std::uint32_t mode : {0u, 1u}) {
            Outcome o = expect_same_import(head + c.body, c.label, mode);
            if (mode == 0 && c.ok) {
                EXPECT_TRUE(o.ok) << c.label << ": " << o.message;
            }
        }
    }
}

// A tuple body with every kind of byte the scan distinguishes, dense enough that any
// position of a window boundary falls on or next to one of them.
// A string literal of 40 to 300 bytes, dense with escapes, doubled quotes and bytes that mean
// something outside strings, so that tuples span several 64-byte blocks with strings, escape
// runs and doubled quotes across every block edge.
std::string long_string(std::mt19937& rng, bool backslashes) {
    static const char* const parts[] = {"x", "yz", "''", "\"", "(", ")", ",", "-", "#", "/*",
                                        "`", "ü", "\\'", "\\\\", "\\n"};
    const std::size_t count = sizeof parts / sizeof parts[0] - (backslashes ? 0 : 3);
    std::string s = "'";
    const std::size_t length = 40 + rng() % 260;
    while (s.size() < length) s += parts[rng() % count];
    return s + "'";
}

// Without backslashes, pieces with an escaped quote are left out (they would end the string).
std::string random_tuples(std::mt19937& rng, std::size_t bytes, bool backslashes = true) {
    static const char* const pieces[] = {
        "'plain text'", "'it\\'s'", "'dq \\\" in'", "'back\\\\slash'", "'dbl '' quote'",
        "'(,)'", "'-- not'", "'/* not */'", "'#not'", "'end\\\\'", "\"dq str\"", "\"a\"\"b\"",
        "`bq`", "NULL", "-12", "3.5", "1-2", "6/3", "0x0A0B", "(1+(2))", "CONCAT('a','b')",
        "'ü€😀'", "''", "'\\\\\\''", "'\\n\\r\\Z\\0'", "-1e-3",
        "-- c'(,\n7", "# h'),\n8", "/* s') */9"};
    std::string s;
    std::uint32_t row = 0;
    while (s.size() < bytes) {
        if (row++ != 0) s += rng() % 7 == 0 ? " ,\n" : ",";
        s += "(" + std::to_string(row);
        for (int v = 0; v < 3; ++v) {
            s += rng() % 11 == 0 ? " , " : ",";
            const char* piece = pieces[rng() % (sizeof pieces / sizeof pieces[0])];
            while (!backslashes && std::string_view(piece).find("\\'") != std::string_view::npos) {
                piece = pieces[rng() % (sizeof pieces / sizeof pieces[0])];
            }
            s += rng() % 4 == 0 ? long_string(rng, backslashes) : std::string(piece);
        }
        if (rng() % 13 == 0) s += " /* c */";
        s += ")";
    }
    return s;
}

// Dumps whose 1 MiB window boundary falls on, or one or two bytes after, each special spot.
TEST(ScanEquivalence, WindowBoundaryOnEverySpecialByte) {
    std::mt19937 rng(12345);
    const std::string head = "CREATE TABLE t (a int, b text, c text, d text);\nINSERT INTO t VALUES ";
    const std::string body = random_tuples(rng, 1060000);
    const std::string base = head + body + ";\n";
    const char* const spots[] = {"\\'", "''", "\\\\", "'", "\"", "`", "(", ")", ",", "-1", "1-2",
                                 "6/3", "/* c", "\\\"", "'\\\\\\''"};
    constexpr std::size_t WINDOW = 1048576;
    for (const char* spot : spots) {
        const std::size_t at = base.find(spot, 1000000);
        ASSERT_NE(at, std::string::npos) << spot;
        ASSERT_LT(at, WINDOW);
        for (std::size_t shift = 0; shift < 2; ++shift) {
            // Padding in a comment before the table moves the spot so that its byte k is the
            // window's last byte (shift 0) or the spot starts the next window (shift 1, k 0).
            for (std::size_t k = 0; k < (shift == 0 ? std::string(spot).size() : 1); ++k) {
                const std::size_t target = WINDOW - 1 + shift - k;
                const std::size_t pad = target - at;
                if (pad < 5) continue;
                std::string dump = "/*" + std::string(pad - 5, 'p') + "*/\n" + base;
                ASSERT_EQ(dump.compare(target, std::string(spot).size(), spot), 0);
                Outcome o = expect_same_import(dump, std::string("spot ") + spot + " shift " +
                                                         std::to_string(shift) + " k " +
                                                         std::to_string(k));
                EXPECT_TRUE(o.ok) << spot << ": " << o.message;
            }
        }
    }
}

// Several megabytes across windows, with the escape mode switched by executable comments
// between statements and between tuples, under both starting modes; and the same dump cut
// short at places inside its last window.
TEST(ScanEquivalence, GeneratedDumpsAcrossWindows) {
    std::mt19937 rng(777);
    std::string dump = "CREATE TABLE t (a int, b text, c text, d text);\n";
    for (int statement = 0; statement < 6; ++statement) {
        if (statement == 2) dump += "/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */;\n";
        if (statement == 4) dump += "/*!40101 SET SQL_MODE='' */;\n";
        dump += "INSERT INTO t VALUES " + random_tuples(rng, 300000, statement < 2 || statement > 3);
        if (statement == 5) {
            dump += ",/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */" +
                    random_tuples(rng, 200000, false);
        }
        dump += ";\n";
    }
    Outcome whole = expect_same_import(dump, "generated");
    EXPECT_TRUE(whole.ok) << whole.message;
    EXPECT_GT(whole.total_entries, 8000u);
    expect_same_import(dump, "generated, starting without backslash escapes", 1);
    for (std::size_t cut : {dump.size() - 2, dump.size() - 3001, dump.size() - 77777,
                            dump.size() - 500001}) {
        expect_same_import(dump.substr(0, cut), "cut at " + std::to_string(cut));
    }
}

}  // namespace
}  // namespace kv
