// Fast paths against their plain reference models (tests/records/reference.h) on random input
// made of the pieces that matter: the tuple reader's plain value path, the fast CSV row writer,
// the filter's raw test (single tuples and whole filters over an imported dump), the block
// substring search, the SSE2 UTF-8 check and the character set conversion.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "records/filter.h"
#include "records/record_decode.h"
#include "tests/records/records_test_support.h"
#include "tests/records/reference.h"

namespace kv {
namespace {

// Pieces of string contents: escapes of every kind, quotes, comment and formula starters,
// characters of one to four bytes, malformed and single-byte-charset bytes, block-crossing filler.
const char* const PIECES[] = {
    "abc", "0123456789abcdef", "\\'", "''", "\"", "\\\"", "\"\"", "\\\\", "\\0", "\\n", "\\r",
    "\\t", "\\Z", "\\b", "\\%", "\\_", "\\x", "\\a", "", "\xC3\xA4", "\xE2\x82\xAC",
    "\xF0\x9F\x98\x80", "\xC3", "\xA4", "\xE4", "\xE9", "\x80", "\xED\xA0\x80", "\xF4\x90\x80\x80",
    "\\\xC3\xA4", "\xC3\\\xA4", "=", "+", "-", "@", " ", "\t", "\r\n", ";", ",", ")", "(", "/*",
    "*/", "#", "-- ", "%", "_", "0x", "41", "A", "b", "\xEF\xBF\xBD", "x"};

std::string random_body(std::mt19937_64& rng, char quote, std::size_t most) {
    std::string s;
    for (std::size_t i = rng() % most; i > 0; --i) {
        std::string piece = PIECES[rng() % std::size(PIECES)];
        if (piece.empty()) piece.assign(1, '\0');
        if (quote == '"' && piece == "''") piece = "\"\"";
        if (rng() % 8 == 0) piece = std::string(rng() % 40, 'y');
        s += piece;
    }
    return s;
}

std::string random_value(std::mt19937_64& rng, std::size_t most) {
    static const char* const OTHER[] = {
        "1", "-5", "3.25", "1e5", "1e", "+.5", ".", "NULL", "null", "NuLl", "NULLx", "12ab",
        "0x1F", "b'01'", "NOW()", " 7", "7 ", "'a' 'b'", "/*c*/1", "-- x\n1", "", "'a'/*c*/",
        "X'4142'", " , 'a'"};
    const char quote = rng() % 6 == 0 ? '"' : '\'';
    const std::string body = random_body(rng, quote, most);
    switch (rng() % 12) {
        case 0: return "'" + body + "' '" + body + "'";
        case 1: return "'" + body + "'/*c*/\"" + body + "\"";
        case 2: return "_binary'" + body + "'";
        case 3: return "`" + body + "`";
        case 4:
        case 5: return OTHER[rng() % std::size(OTHER)];
        default: return quote + body + quote;
    }
}

std::string random_tuple(std::mt19937_64& rng, std::size_t values, std::size_t most = 12) {
    std::string tuple = "(";
    for (std::size_t v = 0; v < values; ++v) tuple += (v > 0 ? "," : "") + random_value(rng, most);
    return tuple + ")";
}

TEST(Differential, PlainValuePathAgreesWithTheGeneralPath) {
    const char* tokens[] = {"'",  "\"", "''", "\\",  "\\'", ",",    ")",  "(",    " ",  "\n",
                            "#",  "--", "/*", "*/",  "1",   "-",    "+",  ".",    "e",  "E",
                            "ab", "ä",  "NULL", "null", "nul", "0x", "X'", "\\n", "\\0", "%"};
    std::mt19937_64 rng(12345);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        std::string tuple;
        for (auto n = 1 + rng() % 12; n > 0; --n) tuple += tokens[rng() % std::size(tokens)];
        for (std::size_t start = 0; start < 2 * tuple.size(); ++start) {
            bool taken = false;
            ASSERT_EQ(ref::check_plain_value(tuple, start / 2, start % 2, taken), nullptr) << tuple << " @" << start;
            accepted += taken;
        }
    }
    EXPECT_GT(accepted, 2000);  // the plain path is really exercised
}

TEST(Differential, FastCsvRowsAreTheRowsOfTheGeneralPath) {
    std::mt19937_64 rng(2026);
    int accepted = 0;
    for (int round = 0; round < 30000; ++round) {
        std::vector<std::uint8_t> binary(1 + rng() % 4);
        for (auto& b : binary) b = rng() % 5 == 0;
        std::string tuple = random_tuple(rng, binary.size());
        if (rng() % 50 == 0) tuple.pop_back();
        if (rng() % 50 == 0) tuple.insert(tuple.size() - 1, ",1");
        const bool no_backslash = rng() % 3 == 0, protection = rng() % 4 != 0;
        const Charset charset = rng() % 3 == 0 ? CHARSET_WINDOWS_1252 : CHARSET_UTF8;
        bool taken = false;
        ASSERT_EQ(ref::check_csv_row(tuple, binary, no_backslash, charset, protection, taken), nullptr)
            << tuple << " nb " << no_backslash << " cs " << charset << " protection " << protection;
        accepted += taken;
    }
    EXPECT_GT(accepted, 3000);
}

TEST(Differential, RawFilterNeverRejectsATupleThatMatches) {
    const char* const pattern_pieces[] = {"a", "b", "c", "ab", "bc", " ", "ä", "é", "€", "x",
                                          "0x", "41", "A", "%", "_", "-", "#", "*", "\xE4", "'"};
    std::mt19937_64 rng(2024);
    int rejected = 0, matches = 0;
    std::vector<Value> values;
    for (int round = 0; round < 60000; ++round) {
        std::vector<std::uint8_t> binary{0, 1, 0, 1};
        binary.resize(1 + rng() % 4);
        const std::string tuple = random_tuple(rng, binary.size(), 6);
        std::string pattern;
        for (auto n = 1 + rng() % 3; n > 0; --n) pattern += pattern_pieces[rng() % std::size(pattern_pieces)];
        const auto charset = static_cast<Charset>(rng() % 3);
        const bool no_backslash = rng() % 4 == 0;
        const std::uint32_t op = rng() % 2 == 0 ? FILTER_CONTAINS : FILTER_EQUALS;
        if (!ref::split_tuple(tuple, binary, no_backslash, values)) continue;
        bool match = false, rejects = false;
        ASSERT_EQ(ref::check_raw_filter(tuple, values, no_backslash, op, pattern, charset, match, rejects), nullptr)
            << tuple << " pattern " << pattern << " cs " << charset << " nb " << no_backslash;
        matches += match;
        rejected += rejects;
    }
    EXPECT_GT(matches, 1000);
    EXPECT_GT(rejected, 1000);
}

// Whole filters over an imported table of random rows: the hits are the rows whose values
// (split by the reference) hold the text.
TEST(Differential, FilterHitsAreTheRowsWhoseDecodeMatches) {
    std::mt19937_64 rng(99);
    const std::vector<std::uint8_t> binary{0, 1, 0, 0};
    std::vector<std::pair<std::string, std::vector<Value>>> rows;
    std::string dump = "CREATE TABLE `t` (`a` text, `b` blob, `c` text, `d` text);\n";
    for (int statement = 0; statement < 20; ++statement) {
        dump += statement == 10 ? "/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */;\n" : "";
        dump += "INSERT INTO `t` VALUES ";
        for (int row = 0; row < 50; ++row) {
            rows.emplace_back();
            do rows.back().first = random_tuple(rng, 4, 6);
            while (!ref::split_tuple(rows.back().first, binary, statement >= 10, rows.back().second));
            dump += (row ? "," : "") + rows.back().first;
        }
        dump += ";\n";
    }
    test::ImportedDump d;
    ASSERT_TRUE(d.import(dump)) << d.state.message;
    ASSERT_EQ(d.state.objects[0].entry_count, rows.size());
    for (const char* pattern : {"ab", "b", "ä", "c ", "x", "bc", "\xE4", "é", "0x"}) {
        for (const Charset charset : {CHARSET_UTF8, CHARSET_WINDOWS_1252, CHARSET_LATIN1}) {
            FilterRequest request;
            request.text = pattern;
            request.charset = charset;
            std::uint64_t hits = 0, expected = 0;
            ASSERT_TRUE(filter_run(d.state, 0, request, d.dir.file("q.kvi"), hits, nullptr));
            for (const auto& [tuple, values] : rows) {
                bool match = false, rejects = false;
                ref::check_raw_filter(tuple, values, false, FILTER_CONTAINS, pattern, charset, match, rejects);
                expected += match;
            }
            EXPECT_EQ(hits, expected) << pattern << " charset " << charset;
        }
    }
}

TEST(Differential, SubstringSearchAgreesWithNaiveSearch) {
    std::vector<std::uint32_t> prefix;
    filter_prefix_table("", prefix);
    EXPECT_TRUE(filter_text_contains("", "", prefix));
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 40, 'a'), pattern(1 + rng() % 6, 'a');
        for (char& c : text) c = static_cast<char>('a' + rng() % 2);
        for (char& c : pattern) c = static_cast<char>('a' + rng() % 2);
        filter_prefix_table(pattern, prefix);
        EXPECT_EQ(filter_text_contains(text, pattern, prefix), text.find(pattern) != std::string::npos)
            << text << " / " << pattern;
    }
}

// Texts long enough to cross the 16- and 64-byte blocks of the fast scan, with faults of every
// kind at every position, under each character set.
TEST(Differential, Utf8CheckAndConversionAgreeWithACodePointDecoder) {
    const char* pieces[] = {"a", "plain ascii text ", "\xC3\xA4", "\xE2\x82\xAC",
                            "\xF0\x9F\x98\x80", "\xF4\x8F\xBF\xBF", "\xED\x9F\xBF",
                            "\xEE\x80\x80", "\xC2\x80", "\xE0\xA0\x80", "\xF0\x90\x80\x80",
                            "\x80", "\xBF", "\xC0\x80", "\xC1\xBF", "\xE0\x9F\xBF", "\x9F\x8D",
                            "\xED\xA0\x80", "\xF0\x8F\xBF\xBF", "\xF4\x90\x80\x80", "\xF5",
                            "\xF5\x80\x80\x80", "\xFF", "\xC3", "\xE2\x82", "\xF0\x9F\x98"};
    std::mt19937_64 rng(777);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        const bool broken = rng() % 2 == 0;
        for (auto n = rng() % (round % 10 == 0 ? 400 : 40); n > 0; --n) {
            text += pieces[rng() % (broken ? std::size(pieces) : 11)];
        }
        ASSERT_EQ(ref::check_text(text, static_cast<Charset>(round % 3)), nullptr) << round;
    }
}

}  // namespace
}  // namespace kv
