// Value classification: every literal form a dump writes, both escape modes, comments.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "foundation/sql_lex.h"
#include "records/value.h"

namespace kv {
namespace {

using namespace std::string_literals;

struct Case {
    std::string source;
    bool no_backslash;
    ValueKind kind;
    std::string text;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.source; }

class ValueDecodeTest : public ::testing::TestWithParam<Case> {};

TEST_P(ValueDecodeTest, KindAndText) {
    const Case& c = GetParam();
    Value v;
    v.text = "stale";
    v.kind = VALUE_NOT_IN_INSERT;
    ASSERT_TRUE(value_decode(c.source, c.no_backslash, v));
    EXPECT_EQ(v.kind, c.kind);
    EXPECT_EQ(v.text, c.text);
}

INSTANTIATE_TEST_SUITE_P(
    Literals, ValueDecodeTest,
    ::testing::Values(
        // NULL in any case, with blanks; quoted or parenthesised it is something else.
        Case{"NULL", false, VALUE_NULL, ""}, Case{" null\t", false, VALUE_NULL, ""},
        Case{"Null", false, VALUE_NULL, ""}, Case{"'NULL'", false, VALUE_TEXT, "NULL"},
        Case{"(NULL)", false, VALUE_SQL, "(NULL)"},
        // Numbers stay as written.
        Case{"42", false, VALUE_NUMBER, "42"}, Case{" -7 ", false, VALUE_NUMBER, "-7"},
        Case{"+3", false, VALUE_NUMBER, "+3"}, Case{"3.14", false, VALUE_NUMBER, "3.14"},
        Case{".5", false, VALUE_NUMBER, ".5"}, Case{"5.", false, VALUE_NUMBER, "5."},
        Case{"1e10", false, VALUE_NUMBER, "1e10"},
        Case{"-1.5E-3", false, VALUE_NUMBER, "-1.5E-3"}, Case{"+", false, VALUE_SQL, "+"},
        Case{".", false, VALUE_SQL, "."}, Case{"1e", false, VALUE_SQL, "1e"},
        Case{"1e+", false, VALUE_SQL, "1e+"}, Case{"1.2.3", false, VALUE_SQL, "1.2.3"},
        Case{"- 5", false, VALUE_SQL, "- 5"},
        // Hexadecimal and bit literals.
        Case{"0x1f", false, VALUE_BINARY, "0x1f"}, Case{"0X1F", false, VALUE_BINARY, "0X1F"},
        Case{"0x", false, VALUE_BINARY, "0x"}, Case{"0xZZ", false, VALUE_SQL, "0xZZ"},
        Case{"X'4142'", false, VALUE_BINARY, "0x4142"},
        Case{"x'0aFF'", false, VALUE_BINARY, "0x0aFF"}, Case{"X''", false, VALUE_BINARY, "0x"},
        Case{"X'414'", false, VALUE_SQL, "X'414'"},
        Case{"b'0101'", false, VALUE_BINARY, "b'0101'"},
        Case{"B''", false, VALUE_BINARY, "B''"}, Case{"b'012'", false, VALUE_SQL, "b'012'"},
        // Strings, introducers, national strings.
        Case{"'a'", false, VALUE_TEXT, "a"}, Case{"''", false, VALUE_TEXT, ""},
        Case{"'it''s'", false, VALUE_TEXT, "it's"},
        Case{"'it\\'s'", false, VALUE_TEXT, "it's"},
        Case{"\"say \"\"hi\"\"\"", false, VALUE_TEXT, "say \"hi\""},
        Case{"_binary'AB'", false, VALUE_BINARY, "0x4142"},
        Case{"_BINARY 'a\\0'", false, VALUE_BINARY, "0x6100"},
        Case{"_utf8mb4'AB'", false, VALUE_TEXT, "AB"},
        Case{"_utf8mb4", false, VALUE_SQL, "_utf8mb4"},
        Case{"_utf8mb4 0x41", false, VALUE_SQL, "_utf8mb4 0x41"},
        Case{"N'AB'", false, VALUE_TEXT, "AB"}, Case{"n\"AB\"", false, VALUE_TEXT, "AB"},
        // Adjacent strings are concatenated; anything else after a string is SQL.
        Case{"'ab' \"cd\"", false, VALUE_TEXT, "abcd"},
        Case{"'ab'\n'cd' 'ef'", false, VALUE_TEXT, "abcdef"},
        Case{"'ab' 'cd' x", false, VALUE_SQL, "'ab' 'cd' x"},
        Case{"'a' COLLATE utf8mb4_bin", false, VALUE_SQL, "'a' COLLATE utf8mb4_bin"},
        Case{"'unterminated", false, VALUE_SQL, "'unterminated"},
        // Escapes with backslashes active.
        Case{"'a\\nb'", false, VALUE_TEXT, "a\nb"},
        Case{"'\\0\\b\\n\\r\\t\\Z'", false, VALUE_TEXT, "\0\b\n\r\t\x1a"s},
        Case{"'50\\%'", false, VALUE_TEXT, "50\\%"},
        Case{"'\\z\\x\\\\\\\"'", false, VALUE_TEXT, "zx\\\""},
        Case{"'\\''", false, VALUE_TEXT, "'"},
        // The same under NO_BACKSLASH_ESCAPES: backslashes are ordinary bytes.
        Case{"'a\\nb'", true, VALUE_TEXT, "a\\nb"}, Case{"'a\\'", true, VALUE_TEXT, "a\\"},
        Case{"'a\\''b'", true, VALUE_TEXT, "a\\'b"},
        // Comments outside quotes become one space; inside quotes they are text.
        Case{"1 /* one */", false, VALUE_NUMBER, "1"},
        Case{"1/* x */2", false, VALUE_SQL, "1 2"},
        Case{"/* c */ 'a'", false, VALUE_TEXT, "a"},
        Case{"'a' /* c */ 'b'", false, VALUE_TEXT, "ab"},
        Case{"7 # note\n", false, VALUE_NUMBER, "7"},
        Case{"7 -- note\n", false, VALUE_NUMBER, "7"},
        Case{"7--8", false, VALUE_SQL, "7--8"},
        Case{"'a#b'", false, VALUE_TEXT, "a#b"}, Case{"'/*x*/'", false, VALUE_TEXT, "/*x*/"},
        Case{"'it\\'s /*' /* c */", false, VALUE_TEXT, "it's /*"},
        Case{"1 /* open", false, VALUE_NUMBER, "1"},
        Case{"a/*/b*/c", false, VALUE_SQL, "a c"},
        // Other SQL text, trimmed.
        Case{"", false, VALUE_SQL, ""}, Case{"  ", false, VALUE_SQL, ""},
        Case{" CURRENT_TIMESTAMP ", false, VALUE_SQL, "CURRENT_TIMESTAMP"},
        Case{"NOW()", false, VALUE_SQL, "NOW()"}, Case{"TRUE", false, VALUE_SQL, "TRUE"},
        Case{"CONCAT('a,b', ')')", false, VALUE_SQL, "CONCAT('a,b', ')')"}));

TEST(ValueDecode, TextKeepsEmbeddedNulBytes) {
    Value v;
    ASSERT_TRUE(value_decode("'a\\0b\\0'", false, v));
    EXPECT_EQ(v.kind, VALUE_TEXT);
    EXPECT_EQ(v.text, "a\0b\0"s);
    EXPECT_EQ(v.text.size(), 4u);
}

TEST(BinaryTypeTest, FirstWordOfTypeText) {
    for (const char* yes : {"binary(16)", "varbinary(16) NOT NULL", "LONGBLOB", "blob",
                            "TinyBlob", "mediumblob\tNULL"}) {
        EXPECT_TRUE(binary_type_test(yes)) << yes;
    }
    for (const char* no : {"bit(1)", "text", "(Definition nicht im Dump)", "", "varbinaryx",
                           "blobs", "char(3) binary"}) {
        EXPECT_FALSE(binary_type_test(no)) << no;
    }
    // The word ends at a NUL; a word longer than 31 bytes is cut before the comparison.
    EXPECT_TRUE(binary_type_test("blob\0xyz"s));
    EXPECT_FALSE(binary_type_test(std::string(40, 'b')));
}

TEST(HexEncode, UpperCaseDigitsWithPrefix) {
    std::string out = "old content that must go";
    ASSERT_TRUE(hex_encode("\x00\x0f\xab\xff"s, out));
    EXPECT_EQ(out, "0x000FABFF");
    ASSERT_TRUE(hex_encode("", out));
    EXPECT_EQ(out, "0x");
}


// The tuple reader's fast path must give exactly what value_find_end + value_decode give,
// wherever it accepts a value. Random tuples from tokens that stress both: quotes of both
// kinds, doubled quotes, escapes, comment starts, separators, numbers and NULL spellings.
TEST(ValueDecodePlain, AgreesWithTheGeneralPathWhereverItAccepts) {
    const char* tokens[] = {"'",  "\"", "''", "\\",  "\\'", ",",    ")",  "(",    " ",  "\n",
                            "#",  "--", "/*", "*/",  "1",   "-",    "+",  ".",    "e",  "E",
                            "ab", "ä",  "NULL", "null", "nul", "0x", "X'", "\\n", "\\0", "%"};
    std::uint32_t seed = 12345;
    auto next = [&] { return seed = seed * 1103515245u + 12345u, seed >> 8; };
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string tuple;
        const int count = 1 + static_cast<int>(next() % 12);
        for (int t = 0; t < count; ++t) tuple += tokens[next() % std::size(tokens)];
        const auto* bytes = reinterpret_cast<const unsigned char*>(tuple.data());
        for (bool no_backslash : {false, true}) {
            for (std::size_t start = 0; start < tuple.size(); ++start) {
                Value fast;
                fast.text = "stale";
                const std::size_t end =
                    value_decode_plain(bytes, tuple.size(), start, no_backslash, fast);
                if (end >= tuple.size()) continue;
                ++accepted;
                const std::uint64_t general_end =
                    value_find_end(bytes, tuple.size(), start, no_backslash);
                ASSERT_EQ(end, general_end) << tuple << " @" << start;
                Value general;
                ASSERT_TRUE(value_decode(std::string_view(tuple).substr(start, end - start),
                                         no_backslash, general));
                ASSERT_EQ(fast.kind, general.kind) << tuple << " @" << start;
                ASSERT_EQ(fast.text, general.text) << tuple << " @" << start;
            }
        }
    }
    EXPECT_GT(accepted, 2000);  // the fast path is really exercised
}

TEST(ValueDecodePlain, TakesTheShapesMysqldumpWrites) {
    const std::string tuple = "(1,-2.5e3,'it\\'s','a''b',\"q\",NULL,'',X'41',NOW(), 'x')";
    const auto* bytes = reinterpret_cast<const unsigned char*>(tuple.data());
    std::vector<ValueKind> kinds;
    std::size_t p = 1;
    for (;;) {
        Value v;
        const std::size_t end = value_decode_plain(bytes, tuple.size(), p, false, v);
        if (end >= tuple.size()) break;
        kinds.push_back(v.kind);
        p = end + 1;
    }
    // Everything up to the hex literal; X'41', NOW() and the blank-led value take the
    // general path.
    EXPECT_EQ(kinds, (std::vector<ValueKind>{VALUE_NUMBER, VALUE_NUMBER, VALUE_TEXT, VALUE_TEXT,
                                             VALUE_TEXT, VALUE_NULL, VALUE_TEXT}));
}

}  // namespace
}  // namespace kv
