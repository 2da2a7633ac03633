// The records layer's values: the case file tests/data/records/cases.txt (value
// classification, binary column types, hex, character sets, display lines, count and size
// texts, CSV fields and fast CSV rows, the filter's raw test, filters over an imported dump,
// tuples read from a dump file, whole CSV exports compared with their expected files), and the
// fast paths against their reference models (tests/records/reference.h, shared with the fuzz
// targets) on random tuples made of the pieces that matter: escapes of every kind, quotes
// doubled and adjacent, comments, formula starters, numbers and near-numbers, NULL spellings,
// characters of one to four bytes, malformed and single-byte-charset bytes, block-crossing
// filler; also whole filters over an imported dump of such rows, the block substring search,
// and the shared quote rule against a byte model.
#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "foundation/sql_quote.h"
#include "records/csv_export.h"
#include "records/filter.h"
#include "records/record_decode.h"
#include "tests/records/records_test_support.h"
#include "tests/records/reference.h"

namespace kv {
namespace {

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> out(1);
    for (char c : s) c == separator ? void(out.emplace_back()) : out.back().push_back(c);
    return out;
}

std::string shown(const std::vector<Value>& values) {
    std::string out;
    for (const Value& v : values) out += (out.empty() ? "" : "|") + std::string(1, "NT#BS-"[v.kind]) + v.text;
    return out;
}

TEST(Cases, FromTheCaseFile) {
    test::ImportedDump mixed;
    ASSERT_TRUE(mixed.import(test::read_file(test::data_file("records/mixed.sql"))));
    const std::string mixed_index = test::read_file(mixed.index(0)), result = mixed.dir.file("q.kvi");
    test::OpenedDump dump;
    DecodedRecord record;
    std::string out, scratch;
    for (const auto& f : test::case_lines("cases.txt")) {
        SCOPED_TRACE(f[0] + " " + f[1] + " " + f[2]);
        const auto number = [&](std::size_t i) { return std::stoull(f[i]); };
        const auto cs = [&](std::size_t i) { return static_cast<Charset>(number(i)); };
        const auto value = [&](std::size_t kind, std::size_t text) {
            return Value{f[text], static_cast<ValueKind>(std::string("NT#BS-").find(f[kind]))};
        };
        if (f[0] == "decode") {
            Value v{"stale", VALUE_NOT_IN_INSERT};
            EXPECT_EQ(value_decode(f[2], f[1] == "1", v) ? shown({v}) : "failed", f[3] + f[4]);
        } else if (f[0] == "binary") {
            EXPECT_EQ(binary_type_test(f[1]), f[2] == "1");
        } else if (f[0] == "hex") {
            EXPECT_EQ(hex_encode(f[1], out = "old") ? out : "failed", f[2]);
        } else if (f[0] == "utf8") {
            EXPECT_EQ(text_to_utf8(f[2], cs(1), out = "stale") ? out : "failed", f[3]);
        } else if (f[0] == "display") {
            EXPECT_EQ(value_display_text(value(1, 4), cs(3), number(2), out) ? out : "failed", f[5]);
        } else if (f[0] == "count" || f[0] == "size") {
            EXPECT_EQ(f[0] == "count" ? count_text(number(1)) : size_text(number(1)), f[2]);
        } else if (f[0] == "csv") {
            EXPECT_EQ(csv_value_append(out = "x;", value(1, 4), cs(3), f[2] == "1", scratch) ? out : "", "x;" + f[5]);
        } else if (f[0] == "csvrow") {
            EXPECT_EQ(ref::fast_row(ref::table({0, 0, 1}), f[2], 0, cs(1), true), f[3]);
        } else if (f[0] == "raw") {
            RawFilter raw;
            raw_filter_init(raw, static_cast<std::uint32_t>(number(1)), f[3], cs(2));
            EXPECT_EQ(raw.active ? "1" + raw.bytes : "0", f[4] + f[5]);
        } else if (f[0] == "filter") {
            FilterRequest request{std::stoi(f[1]), static_cast<std::uint32_t>(number(2)), f[4],
                                  static_cast<std::uint32_t>(number(3))};
            std::uint64_t hits = 99;
            ASSERT_TRUE(filter_run(mixed.state, 0, request, result, hits, nullptr));
            std::string expected;
            for (const auto& row : split(f[5], ',')) expected += row.empty() ? "" : mixed_index.substr(std::stoul(row) * 16, 16);
            EXPECT_EQ(hits * 16, expected.size());
            EXPECT_EQ(test::read_file(result), expected);
            EXPECT_STREQ(mixed.state.message, "");
        } else if (f[0] == "dump") {
            dump.open(f[1]);
            SchemaObject object;
            for (const auto& type : split(f[2], ';')) object.columns.push_back(Column{"c", type});
            for (const auto& layout : split(f[3], '/')) {
                object.layouts.emplace_back();
                for (const auto& c : split(layout, ',')) {
                    if (!c.empty()) object.layouts.back().columns.push_back(std::stoul(c));
                }
            }
            dump.state.objects.assign(1, object);
        } else if (f[0] == "record") {
            const bool at = f[2][0] == '@';
            IndexEntry e{at ? std::stoull(f[2].substr(1)) : dump.bytes.find(f[2]),
                         static_cast<std::uint32_t>(at ? std::stoul(f[2].substr(f[2].find(',') + 1)) : f[2].size()),
                         std::stoul(f[3]) | (f[3].back() == 'n' ? LAYOUT_NO_BACKSLASH : 0)};
            const bool ok = record_decode(dump.state, static_cast<std::uint32_t>(number(1)), e, record);
            EXPECT_EQ(ok ? shown(record.values) : "!" + std::string(dump.state.message), f[4]);
            EXPECT_EQ(record.tuple, ok ? dump.bytes.substr(e.offset, e.length) : "");
            EXPECT_EQ(record.values.empty(), !ok);  // a failure leaves nothing behind
        } else if (f[0] == "export") {
            test::ImportedDump d;
            test::RecordingSink sink;
            const std::string csv = d.dir.file("out.csv"), records = test::data_file("records/");
            ASSERT_TRUE(d.import(test::read_file(records + f[1])));
            const std::uint64_t rows = d.state.objects[0].entry_count;
            ASSERT_TRUE(csv_export(d.state, 0, d.index(0), rows, csv, cs(2), f[3] == "1", &sink));
            EXPECT_EQ(test::read_file(csv), test::read_file(records + f[4]));
            EXPECT_EQ(sink.reports.empty() ? "" : sink.reports[0],
                      rows ? "0/" + std::to_string(rows) + "/0 CSV exportieren" : "");
        } else {
            ADD_FAILURE() << "unknown case";
        }
    }
}

// The inputs of one kind in tests/data/records/pieces.txt.
std::vector<std::string> pieces(const std::string& kind) {
    std::vector<std::string> out;
    for (const auto& f : test::case_lines("pieces.txt")) if (f[0] == kind) out.push_back(f[1]);
    return out;
}

const std::vector<std::string> PIECES = pieces("piece"), OTHER = pieces("other");

std::string random_tuple(std::mt19937_64& rng, std::size_t values, std::size_t most) {
    std::string tuple = "(";
    for (std::size_t v = 0; v < values; ++v) {
        const char quote = rng() % 6 == 0 ? '"' : '\'';
        std::string body;
        for (std::size_t i = rng() % most; i > 0; --i) {
            body += rng() % 8 == 0 ? std::string(rng() % 40, 'y') : PIECES[rng() % std::size(PIECES)];
            if (rng() % 40 == 0) body.push_back('\0');
        }
        const std::string forms[] = {quote + body + quote, quote + body + quote, quote + body + quote,
                                     "'" + body + "' '" + body + "'", "'" + body + "'/*c*/\"" + body + "\"",
                                     "_binary'" + body + "'", "`" + body + "`", OTHER[rng() % std::size(OTHER)]};
        tuple += (v > 0 ? "," : "") + forms[rng() % std::size(forms)];
    }
    return tuple + ")";
}

TEST(Differential, FastPathsAgreeWithTheirReferenceModels) {
    std::mt19937_64 rng(2026);
    ref::Coverage seen;
    for (int round = 0; round < 6000; ++round) {
        const std::string tuple = random_tuple(rng, 1 + rng() % 4, round % 20 == 0 ? 100 : 10);
        const std::string_view inside = std::string_view(tuple).substr(1, tuple.size() - (rng() % 50 ? 2 : 1));
        ASSERT_EQ(ref::check_tuple(inside, seen), nullptr) << inside;
        ASSERT_EQ(ref::check_text(inside, static_cast<Charset>(round % 4)), nullptr) << inside;
    }
    // Every fast path was really taken, and the raw test really rejected.
    EXPECT_GT(seen.plain, 20000);
    EXPECT_GT(seen.rows, 1000);
    EXPECT_GT(seen.matches, 20000);
    EXPECT_GT(seen.rejects, 20000);
}

// Whole filters over an imported table of random rows, the raw test on: the hits are the rows
// whose values (split by the reference) hold the text.
TEST(Differential, FilterHitsAreTheRowsWhoseValuesMatch) {
    std::mt19937_64 rng(99);
    const std::vector<std::uint8_t> binary{0, 1, 0, 0};
    std::vector<std::pair<std::string, std::vector<Value>>> rows(1000);
    std::string dump = "CREATE TABLE `t` (`a` text, `b` blob, `c` text, `d` text);\n";
    for (std::size_t r = 0; r < rows.size(); ++r) {
        dump += r % 50 ? "," : r == 500 ? ";\nSET SQL_MODE='NO_BACKSLASH_ESCAPES';\nINSERT INTO `t` VALUES "
                                       : (r ? ";\n" : "") + std::string("INSERT INTO `t` VALUES ");
        do rows[r].first = random_tuple(rng, 4, 6);
        while (!ref::split_tuple(rows[r].first, binary, r >= 500, rows[r].second));
        dump += rows[r].first;
    }
    test::ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n")) << d.state.message;
    ASSERT_EQ(d.state.objects[0].entry_count, rows.size());
    for (const char* pattern : {"ab", "b", "\xC3\xA4", "c ", "x", "bc", "\xE4", "\xC3\xA9"}) {
        for (const Charset charset : {CHARSET_UTF8, CHARSET_WINDOWS_1252, CHARSET_LATIN1}) {
            const FilterRequest request{-1, FILTER_CONTAINS, pattern, charset};
            std::uint64_t hits = 0;
            ASSERT_TRUE(filter_run(d.state, 0, request, d.dir.file("q.kvi"), hits, nullptr));
            ref::Coverage seen;
            for (const auto& [tuple, values] : rows) {
                ref::check_raw_filter(tuple, ref::present_texts(values, charset), false, FILTER_CONTAINS, pattern,
                                      charset, seen);
            }
            EXPECT_EQ(hits, static_cast<std::uint64_t>(seen.matches)) << pattern << " charset " << charset;
        }
    }
}

TEST(Differential, SubstringSearchAgreesWithNaiveSearch) {
    std::vector<std::uint32_t> prefix;
    std::mt19937 rng(12345);
    for (int round = 0; round < 3000; ++round) {
        std::string text(round == 0 ? 0 : rng() % 40, 'a'), pattern(round == 0 ? 0 : 1 + rng() % 6, 'a');
        for (std::string* s : {&text, &pattern}) for (char& c : *s) c = static_cast<char>('a' + rng() % 2);
        filter_prefix_table(pattern, prefix);
        EXPECT_EQ(filter_text_contains(text, pattern, prefix), text.find(pattern) != text.npos) << text << " / " << pattern;
    }
}

// The shared quote rule (foundation/sql_quote.h): its fast entry (scan_quoted, at every cut
// of the window) and its general entries against a byte-by-byte model, for all quotes and
// both escape modes.
// Byte by byte: the closing quote's position (or n) and the decoded text.
std::size_t model(const std::string& s, unsigned char q, bool escapes, std::string& text) {
    for (std::size_t i = 0; i < s.size(); ++i) {
        const auto c = static_cast<unsigned char>(s[i]);
        const bool doubled = c == q && i + 1 < s.size() && s[i + 1] == s[i];
        if (c == q && !doubled) return i;
        if (doubled || c != '\\' || !escapes) {
            text += s[i += doubled];  // a doubled quote stands for one
        } else if (++i < s.size()) {
            const int b = escape_byte(static_cast<unsigned char>(s[i]));
            if (b < 0) text += '\\';
            text += static_cast<char>(b < 0 ? s[i] : b);
        }
    }
    return s.size();
}

void check(const std::string& s, unsigned char q, bool escapes) {
    SCOPED_TRACE(s);
    std::string want;
    const std::size_t end = model(s, q, escapes, want);
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::string got;
    const auto literal = [&](const unsigned char* r, std::size_t k) { got.append(r, r + k); };
    const auto decoded = [&](unsigned char b) { got += static_cast<char>(b); };
    ASSERT_EQ(sql_quoted_walk(p, s.size(), q, escapes, 0, literal, decoded), end);
    EXPECT_EQ(end < s.size() ? got : want, want);  // unterminated: the text is incomplete
    EXPECT_EQ(sql_quoted_end(p, s.size(), q, escapes, 0), end);
    // Any window ending before the byte after the closing quote cannot decide the string.
    for (std::size_t n = 0; n <= s.size(); ++n) {
        std::size_t i = 0;
        EXPECT_EQ(scan_quoted(p, n, q, escapes, i), end + 1 < n) << "window " << n;
        EXPECT_EQ(end + 1 < n ? i : end + 1, end + 1);
    }
}

TEST(QuoteRule, FastAndGeneralEntriesFollowTheModel) {
    for (const std::string& s : pieces("quote")) {
        for (const unsigned char q : {'\'', '"', '`'}) {
            check(s, q, q != '`');
            check(s, q, false);
        }
    }
    std::mt19937 rng(7);
    const char alphabet[] = "ab'\"`\\nZ%";
    for (int k = 0; k < 3000; ++k) {
        std::string s(rng() % 80, ' ');
        for (char& c : s) c = alphabet[rng() % (sizeof alphabet - 1)];
        check(s, k % 3 == 0 ? '"' : '\'', k % 2 == 0);
    }
}

}  // namespace
}  // namespace kv
