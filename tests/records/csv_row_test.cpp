// The fast CSV row writer against the general path on tuples made of the pieces that matter:
// quotes doubled and escaped, every backslash escape, raw '"' and NUL, multi-byte and
// malformed UTF-8, escaped bytes from 0x80, formula starters, numbers and near-numbers, NULL,
// expressions, blanks and comments, in both escape modes, character sets, protection states
// and with binary columns. Every row the writer accepts must be byte for byte the row that
// record_decode's splitting and classification plus the field writer give.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "tests/records/csv_row_reference.h"

namespace kv {
namespace {

using test::fast_row;
using test::reference_row;
using test::Table;

// String contents: bytes that stop the block copy, escapes of every kind, characters of one
// to four bytes and malformed ones, formula starters and filler that crosses 16-byte blocks.
const char* const TEXT_PIECES[] = {
    "abc", "0123456789abcdef", "\\'", "''", "\"", "\\\"", "\"\"", "\\\\", "\\0", "\\n", "\\r",
    "\\t", "\\Z", "\\b", "\\%", "\\_", "\\x", "", "\xC3\xA4", "\xE2\x82\xAC",
    "\xF0\x9F\x98\x80", "\xC3", "\xA4", "\xED\xA0\x80", "\xF4\x90\x80\x80", "\\\xC3\xA4",
    "\xC3\\\xA4", "=", "+", "-", "@", " ", "\t", "\r\n", ";", ",", ")", "(", "/*", "#",
    "Ærøskøbing", "x"};

std::string random_string(std::mt19937_64& rng, char quote) {
    std::string s(1, quote);
    const std::size_t pieces = rng() % 12;
    for (std::size_t i = 0; i < pieces; ++i) {
        std::string piece = TEXT_PIECES[rng() % std::size(TEXT_PIECES)];
        if (piece.empty()) piece.assign(1, '\0');  // the NUL piece
        if (quote == '"' && piece == "''") piece = "\"\"";
        if (rng() % 8 == 0) piece = std::string(rng() % 40, 'y');
        s += piece;
    }
    return s + quote;
}

std::string random_value(std::mt19937_64& rng) {
    static const char* const OTHER[] = {"1",     "-5",   "3.25",   "1e5",    "1e",     "+.5",
                                        ".",     "NULL", "null",   "NuLl",   "NULLx",  "12ab",
                                        "0x1F",  "b'01'", "NOW()", " 7",     "7 ",     "'a' 'b'",
                                        "/*c*/1", "-- x\n1", "_binary'a'", "", "'a'/*c*/"};
    switch (rng() % 4) {
        case 0:
        case 1: return random_string(rng, '\'');
        case 2: return random_string(rng, rng() % 4 == 0 ? '"' : '\'');
        default: return OTHER[rng() % std::size(OTHER)];
    }
}

TEST(CsvRow, AcceptedRowsAreTheRowsOfTheGeneralPath) {
    std::mt19937_64 rng(2026);
    std::size_t accepted = 0;
    std::size_t rounds = 0;
    for (; rounds < 30000; ++rounds) {
        const std::size_t columns = 1 + rng() % 4;
        std::vector<std::uint8_t> binary(columns);
        for (auto& b : binary) b = rng() % 5 == 0 ? 1 : 0;
        const Table table(columns, binary);
        std::string tuple = "(";
        for (std::size_t c = 0; c < columns; ++c) {
            if (c > 0) tuple += ',';
            tuple += random_value(rng);
        }
        tuple += ')';
        if (rng() % 50 == 0) tuple.pop_back();              // cut short
        if (rng() % 50 == 0) tuple.insert(tuple.size() - 1, ",1");  // one value too many
        const bool no_backslash = rng() % 3 == 0;
        const Charset charset = rng() % 3 == 0 ? CHARSET_WINDOWS_1252 : CHARSET_UTF8;
        const bool protection = rng() % 4 != 0;
        const std::uint32_t word = no_backslash ? LAYOUT_NO_BACKSLASH : 0;

        const std::string fast = fast_row(table, tuple, word, charset, protection);
        std::string reference;
        const bool decodable =
            tuple.back() == ')' &&
            reference_row(tuple, binary, no_backslash, charset, protection, reference);
        if (fast.empty()) continue;
        ++accepted;
        ASSERT_TRUE(decodable) << "accepted a row the decoder refuses: " << tuple;
        ASSERT_EQ(fast, reference) << "tuple " << tuple << " no_backslash " << no_backslash
                                   << " charset " << charset << " protection " << protection;
        // The same tuple under a layout of another column order is never taken.
        if (columns > 1) {
            ASSERT_EQ(fast_row(table, tuple, word | 1, charset, protection), "") << tuple;
        }
    }
    // The vocabulary must leave the writer most plain rows, or this test checks nothing.
    EXPECT_GT(accepted, rounds / 5);
}

TEST(CsvRow, CommonRowsAreTakenAndDoubtfulOnesDeclined) {
    const Table table(3, {0, 0, 1});
    const auto row = [&](const std::string& tuple, Charset charset = CHARSET_UTF8) {
        return fast_row(table, tuple, 0, charset, true);
    };
    EXPECT_EQ(row("(1,'=A1',NULL)"), "\"1\";\"'=A1\";\"\\N\"\r\n");
    EXPECT_EQ(row("(-2.5e3,'M\xC3\xBCller \\\"x\\\"\\0','a\\0\\%')"),
              "\"-2.5e3\";\"M\xC3\xBCller \"\"x\"\"\\0\";\"0x61005C25\"\r\n");
    EXPECT_EQ(row("(1,'abc',null)", CHARSET_WINDOWS_1252), "\"1\";\"abc\";\"\\N\"\r\n");
    // Shapes and bytes the general path must handle.
    EXPECT_EQ(row("(1, 'a',NULL)"), "");                       // blank before a value
    EXPECT_EQ(row("(1,'a',0x41)"), "");                         // hex literal
    EXPECT_EQ(row("(1,'\xC3',NULL)"), "");                      // malformed UTF-8
    EXPECT_EQ(row("(1,'\\\xC3\xA4',NULL)"), "");                // escaped byte from 0x80
    EXPECT_EQ(row("(1,'\xC3\xA4',NULL)", CHARSET_WINDOWS_1252), "");
    EXPECT_EQ(row("(1,'a')"), "");                              // too few values
    EXPECT_EQ(row("(1,'a',NULL,2)"), "");                       // too many
    EXPECT_EQ(row("(1,'a',NULL"), "");                          // no closing parenthesis
}

}  // namespace
}  // namespace kv
