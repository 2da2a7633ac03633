// The filter's raw test may only ever say "cannot match" for tuples that really cannot: random
// tuples full of the constructs decoding rewrites (escapes, doubled and adjacent quotes,
// comments, backticks, hex and binary literals, bytes that are not UTF-8) against filter texts
// from the same pieces, under all three character sets and both escape modes, compared with
// the full decode; and whole filters over an imported dump of such rows, compared with a
// decode of every row.
#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

#include "foundation/sql_lex.h"
#include "records/filter.h"
#include "records/record_decode.h"
#include "tests/records/records_test_support.h"

namespace kv {
namespace {

const char* const VALUE_PIECES[] = {
    "ab",  "b",    "c",   "ä",    "\xE4", "\xC3", "\xA4", " ",   "  ",  "\\n",  "\\a",  "\\b",
    "\\\\", "\\'", "''",  "\"",   "\\\"", "#",    "--",  "-- ", "/*",  "*/",   "%",    "_",
    "\\%", "x",    "0x",  "41",   "A",    "é",    "\xE9", "€",   "\x80", "\xEF\xBF\xBD"};

const char* const PATTERN_PIECES[] = {"a", "b", "c", "ab", "bc", " ", "ä", "é", "€", "x",
                                      "0x", "41", "A", "%", "_", "-", "#", "*", "\xE4", "'"};

struct Rng {
    std::uint32_t state;
    std::uint32_t operator()(std::uint32_t n) {
        state = state * 1103515245u + 12345u;
        return (state >> 8) % n;
    }
};

std::string random_string_value(Rng& rng) {
    std::string body;
    const std::uint32_t pieces = rng(6);
    for (std::uint32_t i = 0; i < pieces; ++i) body += VALUE_PIECES[rng(std::size(VALUE_PIECES))];
    switch (rng(10)) {
        case 0: return "'" + body + "' '" + body + "'";   // adjacent strings
        case 1: return "'" + body + "'/*c*/\"" + body + "\"";
        case 2: return "_binary'" + body + "'";
        case 3: return "X'4142'";
        case 4: return "1/*" + body + "*/+2";
        case 5: return "`" + body + "`";
        case 6: return "\"" + body + "\"";
        default: return "'" + body + "'";
    }
}

std::string random_tuple(Rng& rng, std::uint32_t values) {
    std::string tuple = "(";
    for (std::uint32_t v = 0; v < values; ++v) {
        if (v > 0) tuple += rng(8) == 0 ? " , " : ",";
        tuple += rng(6) == 0 ? "NULL" : random_string_value(rng);
    }
    return tuple + ")";
}

// The decoded values of a tuple, split as the tuple reader splits it; binary columns (every
// second one) hex-encode their text. False when the tuple does not split cleanly.
bool decode_tuple(const std::string& tuple, bool no_backslash, std::vector<Value>& values) {
    const auto* t = reinterpret_cast<const unsigned char*>(tuple.data());
    values.clear();
    std::uint64_t p = 1;
    for (;;) {
        const std::uint64_t k = value_find_end(t, tuple.size(), p, no_backslash);
        if (k >= tuple.size()) return false;
        Value v;
        if (!value_decode(std::string_view(tuple).substr(p, k - p), no_backslash, v)) return false;
        if (v.kind == VALUE_TEXT && values.size() % 2 == 1) {
            std::string hex;
            hex_encode(v.text, hex);
            v.text = hex;
            v.kind = VALUE_BINARY;
        }
        values.push_back(v);
        if (t[k] == ')') return k == tuple.size() - 1;
        p = k + 1;
    }
}

TEST(RawFilter, NeverRejectsATupleThatMatches) {
    Rng rng{2024};
    int rejected = 0, matches = 0;
    for (int round = 0; round < 60000; ++round) {
        const std::string tuple = random_tuple(rng, 1 + rng(4));
        std::string pattern;
        const std::uint32_t pieces = 1 + rng(3);
        for (std::uint32_t i = 0; i < pieces; ++i) {
            pattern += PATTERN_PIECES[rng(std::size(PATTERN_PIECES))];
        }
        const auto charset = static_cast<Charset>(rng(3));
        const bool no_backslash = rng(4) == 0;
        const auto op = rng(2) == 0 ? FILTER_CONTAINS : FILTER_EQUALS;
        std::vector<Value> values;
        if (!decode_tuple(tuple, no_backslash, values)) continue;

        bool match = false;
        for (const Value& v : values) {
            if (!value_is_present(v)) continue;
            std::string text;
            ASSERT_TRUE(text_to_utf8(v.text, charset, text));
            match = match || (op == FILTER_EQUALS ? text == pattern
                                                  : text.find(pattern) != std::string::npos);
        }
        RawFilter raw;
        raw_filter_init(raw, op, pattern, charset);
        const bool may = raw_filter_may_match(
            raw, reinterpret_cast<const unsigned char*>(tuple.data()), tuple.size(), no_backslash);
        if (match) {
            ++matches;
            ASSERT_TRUE(may) << "tuple " << tuple << " pattern " << pattern << " charset "
                             << charset << " no_backslash " << no_backslash;
        }
        if (!may) ++rejected;
    }
    // The test is only worth something when both outcomes are common.
    EXPECT_GT(matches, 1000);
    EXPECT_GT(rejected, 1000);
}

TEST(RawFilter, StaysOffWhereTheDumpMaySpellTheTextDifferently) {
    RawFilter raw;
    for (const char* text : {"", "it's", "a\tb", "a\\b", "0x41", "DEAD", "x", "\xE4"}) {
        raw_filter_init(raw, FILTER_CONTAINS, text, CHARSET_UTF8);
        EXPECT_FALSE(raw.active) << text;
    }
    raw_filter_init(raw, FILTER_IS_NULL, "abc", CHARSET_UTF8);
    EXPECT_FALSE(raw.active);
    raw_filter_init(raw, FILTER_CONTAINS, "\xE2\x82\xAC", CHARSET_LATIN1);  // no euro sign
    EXPECT_FALSE(raw.active);
    raw_filter_init(raw, FILTER_CONTAINS, "B\xC3\xA4r \xE2\x82\xAC", CHARSET_WINDOWS_1252);
    ASSERT_TRUE(raw.active);
    EXPECT_EQ(raw.bytes, "B\xE4r \x80");
    raw_filter_init(raw, FILTER_EQUALS, "Zaunk\xC3\xB6nig", CHARSET_UTF8);
    EXPECT_TRUE(raw.active);
}

// Whole filters over an imported table of random rows: the hits are exactly the rows whose
// full decode matches.
TEST(RawFilter, FilterHitsEqualAFullDecodeOfEveryRow) {
    Rng rng{99};
    std::string dump = "CREATE TABLE `t` (`a` text, `b` blob, `c` text, `d` text);\n";
    for (int statement = 0; statement < 20; ++statement) {
        dump += statement == 10 ? "/*!40101 SET SQL_MODE='NO_BACKSLASH_ESCAPES' */;\n" : "";
        dump += "INSERT INTO `t` VALUES ";
        for (int row = 0; row < 50; ++row) {
            std::string tuple;
            std::vector<Value> values;
            do {
                tuple = random_tuple(rng, 4);
            } while (!decode_tuple(tuple, statement >= 10, values) || values.size() != 4);
            dump += (row ? "," : "") + tuple;
        }
        dump += ";\n";
    }
    test::ImportedDump d;
    ASSERT_TRUE(d.import(dump)) << d.state.message;
    const std::uint64_t rows = d.state.objects[0].entry_count;
    ASSERT_EQ(rows, 1000u);

    for (const char* pattern : {"ab", "b", "ä", "c ", "x", "bc", "\xE4", "é"}) {
        for (Charset charset : {CHARSET_UTF8, CHARSET_WINDOWS_1252, CHARSET_LATIN1}) {
            FilterRequest request;
            request.text = pattern;
            request.charset = charset;
            std::uint64_t hits = 0;
            const std::string result = d.dir.file("query-new.kvi");
            ASSERT_TRUE(filter_run(d.state, 0, request, result, hits, nullptr)) << d.state.message;

            std::uint64_t expected = 0;
            DecodedRecord record;
            for (std::uint64_t r = 0; r < rows; ++r) {
                ASSERT_TRUE(record_decode(d.state, 0, d.entry(0, r), record)) << d.state.message;
                bool match = false;
                for (const Value& v : record.values) {
                    std::string text;
                    text_to_utf8(v.text, charset, text);
                    match = match || (value_is_present(v) && text.find(pattern) != std::string::npos);
                }
                expected += match ? 1 : 0;
            }
            EXPECT_EQ(hits, expected) << pattern << " charset " << charset;
        }
    }
}

}  // namespace
}  // namespace kv
