// The records layer's values and files. The case file tests/data/records/cases.txt (value
// classification, binary column types, hex, character sets, display lines, count and size
// texts, CSV fields and fast CSV rows, the filter's raw test, filters over imported dumps,
// tuples read from a dump file, whole CSV exports compared with their expected files), and the
// fast paths against their reference models (tests/records/reference.h, shared with the fuzz
// targets) on random tuples made of the pieces that matter (tests/data/records/pieces.txt):
// escapes of every kind, quotes doubled and adjacent, comments, formula starters, numbers and
// near-numbers, NULL spellings, characters of one to four bytes, malformed and
// single-byte-charset bytes, block-crossing filler; also whole filters over an imported dump of
// such rows, the block substring search, and the shared quote rule against a byte model.
// Against files: the 1 MiB read window, tuples up to 64 MiB, the check that the open dump is
// still the indexed one, the filter, the CSV export and the raw tuple save on imported dumps
// (block boundaries, output beyond one buffer, progress and cancellation, failures that keep
// the old destination and leave no file behind, destinations that name a source under another
// spelling), and a tuple above 64 MiB.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "foundation/sql_quote.h"
#include "records/csv_export.h"
#include "records/filter.h"
#include "records/record_decode.h"
#include "records/tuple_save.h"
#include "tests/records/records_test_support.h"
#include "tests/records/reference.h"

namespace kv {
namespace {

using test::ImportedDump;
using test::read_file;

const std::string STALE = "Ungültiger oder veralteter Positionsindex. Cache neu aufbauen.";
const std::string TOO_LARGE =
    "Dieser einzelne Datensatz ist größer als 64 MiB. Er ist indexiert, kann aber nur als "
    "SQL-Rohtupel gespeichert werden; Vorschau, Filter und CSV stoppen hier.";
const char* const CANCELLED = "Vorgang abgebrochen.";
const char* const SMALL_DUMP = "CREATE TABLE `s` (`id` int, `t` text);\nINSERT INTO `s` VALUES "
                               "(1,'eins'),(2,'zwei; \\'quoted\\' /* not a comment */');\n";

std::vector<std::string> split(const std::string& s, char separator) {
    std::vector<std::string> out(1);
    for (char c : s) c == separator ? void(out.emplace_back()) : out.back().push_back(c);
    return out;
}

// The values joined by '|', each as the letter of its kind (cases.txt) and its text.
std::string shown(const std::vector<Value>& values) {
    std::string out;
    for (const Value& v : values) out += (out.empty() ? "" : "|") + std::string(1, "NT#BS-"[v.kind]) + v.text;
    return out;
}

// The entry's values decoded and shown, or "!" and the message.
std::string decoded(DumpState& state, const IndexEntry& e, DecodedRecord& r, int table = 0) {
    const Status decoded = record_decode(state, table, e, r);
    return decoded.ok() ? shown(r.values) : "!" + test::text_of(decoded);
}

TEST(Cases, FromTheCaseFile) {
    // The filter's dump: records/mixed.sql, or the one of the last filterdump line.
    auto searched = std::make_unique<test::ImportedDump>();
    ASSERT_TRUE(searched->import(test::read_file(test::data_file("records/mixed.sql"))));
    std::string searched_index = test::read_file(searched->index(0));
    test::OpenedDump dump;
    DecodedRecord record;
    std::string out, scratch;
    for (const auto& f : test::case_lines("cases.txt")) {
        SCOPED_TRACE(f[0] + " " + f[1] + " " + (f.size() > 2 ? f[2] : ""));
        const auto number = [&](std::size_t i) { return std::stoull(f[i]); };
        const auto cs = [&](std::size_t i) { return static_cast<Charset>(number(i)); };
        const auto value = [&](std::size_t kind, std::size_t text) {
            return Value{f[text], static_cast<ValueKind>(std::string("NT#BS-").find(f[kind]))};
        };
        if (f[0] == "decode") {
            Value v{"stale", VALUE_NOT_IN_INSERT};
            EXPECT_EQ(value_decode(f[2], escape_mode_of(f[1] == "1"), v) ? shown({v}) : "failed", f[3] + f[4]);
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
            raw_filter_init(raw, static_cast<FilterOp>(number(1)), f[3], cs(2));
            EXPECT_EQ(raw.active ? "1" + raw.bytes : "0", f[4] + f[5]);
        } else if (f[0] == "filter") {
            FilterRequest request{std::stoi(f[1]), static_cast<FilterOp>(number(2)), f[4],
                                  cs(3)};
            std::uint64_t hits = 99;
            const std::string result = searched->dir.file("q.kvi");
            ASSERT_EQ(test::text_of(filter_run(searched->state, 0, request, result, hits, nullptr)), "");
            std::string expected;
            for (const auto& row : split(f[5], ',')) {
                expected += row.empty() ? "" : searched_index.substr(std::stoul(row) * 16, 16);
            }
            EXPECT_EQ(hits * 16, expected.size());
            EXPECT_EQ(test::read_file(result), expected);
        } else if (f[0] == "filterdump") {
            searched = std::make_unique<test::ImportedDump>();
            ASSERT_TRUE(searched->import(test::read_file(test::data_file("records/" + f[1]))));
            searched_index = test::read_file(searched->index(0));
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
            const auto length = at ? std::stoul(f[2].substr(f[2].find(',') + 1)) : f[2].size();
            IndexEntry e{at ? std::stoull(f[2].substr(1)) : dump.bytes.find(f[2]),
                         static_cast<std::uint32_t>(length),
                         static_cast<std::uint32_t>(std::stoul(f[3])) |
                             (f[3].back() == 'n' ? LAYOUT_NO_BACKSLASH : 0)};
            const bool ok = f[4][0] != '!';
            EXPECT_EQ(decoded(dump.state, e, record, std::stoi(f[1])), f[4]);
            EXPECT_EQ(record.tuple, ok ? dump.bytes.substr(e.offset, e.length) : "");
            EXPECT_EQ(record.values.empty(), !ok);  // a failure leaves nothing behind
        } else if (f[0] == "export") {
            test::ImportedDump d;
            test::RecordingSink sink;
            const std::string csv = d.dir.file("out.csv"), records = test::data_file("records/");
            ASSERT_TRUE(d.import(test::read_file(records + f[1])));
            const std::uint64_t rows = d.state.objects[0].entry_count;
            ASSERT_EQ(test::text_of(csv_export(d.state, 0, d.index(0), rows, csv, cs(2), f[3] == "1", &sink)), "");
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
        const auto charset = static_cast<Charset>(round % (CHARSET_COUNT + 1));  // and one unknown
        const auto kind = static_cast<ValueKind>(round % 6);
        ASSERT_EQ(ref::check_text(inside, charset, kind, round % 90), nullptr) << inside;
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
        while (!ref::split_tuple(rows[r].first, binary, escape_mode_of(r >= 500), rows[r].second));
        dump += rows[r].first;
    }
    test::ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n"));
    ASSERT_EQ(d.state.objects[0].entry_count, rows.size());
    for (const char* pattern : {"ab", "b", "\xC3\xA4", "c ", "x", "bc", "\xE4", "\xC3\xA9", "\xD0\xB6",
                                "\xC5\x99"}) {
        for (const CharsetInfo& info : CHARSETS) {
            const Charset charset = info.charset;
            const FilterRequest request{-1, FilterOp::contains, pattern, charset};
            std::uint64_t hits = 0;
            ASSERT_EQ(test::text_of(filter_run(d.state, 0, request, d.dir.file("q.kvi"), hits, nullptr)), "");
            ref::Coverage seen;
            for (const auto& [tuple, values] : rows) {
                ref::check_raw_filter(tuple, ref::present_texts(values, charset), EscapeMode::backslash, FilterOp::contains, pattern,
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


TEST(DumpFile, UnchangedComparesSizeAndTimeOfTheOpenHandle) {
    test::OpenedDump d("(1,'a')");
    const std::uint64_t size = d.state.dump_size, time = d.state.dump_time;
    for (const auto& [ds, dt] : {std::pair{0, 0}, {1, 0}, {0, 1}}) {
        d.state.dump_size = size + ds;
        d.state.dump_time = time + dt;
        d.state.read_buffer_length = 3;
        EXPECT_EQ(test::text_of(dump_check_unchanged(d.state)),
                  ds + dt == 0 ? "" : "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.");
        EXPECT_EQ(d.state.read_buffer_length, ds + dt == 0 ? 3u : 0u);  // a change empties the window
    }
    file_close(d.state.dump_handle);
    d.state.dump_handle = INVALID_FILE;
    DecodedRecord r;
    EXPECT_EQ(decoded(d.state, {0, 7, 0}, r), "!Datensatz konnte nicht aus der Originaldatei gelesen werden.");
}

// Small tuples come from one 1 MiB read; a tuple crossing the window's end refills it from its
// own offset; exactly 1 MiB still goes through the window, larger tuples bypass it.
TEST(DumpFile, ReadWindow) {
    const std::uint64_t MiB = READ_BUFFER_SIZE;
    std::string bytes = "(1,'first')";
    bytes.resize(MiB - 5, ' ');
    const std::uint64_t exact_at = bytes.size() + 207, big_at = exact_at + MiB + 1;
    test::OpenedDump d(bytes + "(2,'" + std::string(200, 's') + "') (3,'" + std::string(MiB - 6, 'e') +
                 "') (4,'" + std::string(MiB - 5, 'b') + "')");
    DecodedRecord r;
    using Step = std::tuple<std::uint64_t, std::uint64_t, std::string, std::uint64_t>;
    for (const auto& [at, length, values, window] : std::vector<Step>{
             {0, 11, "#1|Tfirst", 0}, {MiB - 5, 206, "#2|T" + std::string(200, 's'), MiB - 5},
             {exact_at, MiB, "#3|T" + std::string(MiB - 6, 'e'), exact_at},
             {big_at, MiB + 1, "#4|T" + std::string(MiB - 5, 'b'), exact_at},
             {0, 11, "#1|Tfirst", 0}}) {
        EXPECT_TRUE(decoded(d.state, {at, static_cast<std::uint32_t>(length), 0}, r) == values) << at;
        EXPECT_TRUE(r.tuple == d.bytes.substr(at, length)) << at;
        EXPECT_EQ(d.state.read_buffer_start, window) << at;
        EXPECT_EQ(d.state.read_buffer_length, std::min<std::uint64_t>(MiB, d.bytes.size() - window)) << at;
    }
}

TEST(DumpFile, TuplesUpTo64MiBAreDecoded) {
    test::OpenedDump d("(7" + std::string(MAX_DECODED_TUPLE - 3, ' ') + "))", 1);
    DecodedRecord r;
    const auto limit = static_cast<std::uint32_t>(MAX_DECODED_TUPLE);
    EXPECT_EQ(decoded(d.state, {0, limit + 1, 0}, r), "!" + TOO_LARGE);
    EXPECT_EQ(decoded(d.state, {0, limit, 0}, r), "#7");
    EXPECT_EQ(r.tuple_length(), MAX_DECODED_TUPLE);
}

// Every table exported through the fast row writer and through the general path: the same
// success, message and bytes. The generated rows reach beyond the writer's room, so rows are
// written into the output buffer, through the row buffer at its end, and by the general path.
TEST(CsvExport, FastRowsWriteTheBytesOfTheGeneralPath) {
    std::vector<std::string> dumps;
    for (const auto& e : std::filesystem::directory_iterator(test::fs_path(test::data_file("importer")))) {
        if (e.path().extension() == ".sql") dumps.push_back(read_file(e.path().string()));
    }
    std::string dump = "CREATE TABLE `w` (`id` int, `t` text, `b` blob, `n` decimal(9,2));\n"
                       "INSERT INTO `w` VALUES ";
    const std::string pieces[] = {"ab", "\\'", "\"", "\\n", "\xC3\xA4", "=", "\\0", "''"};
    std::uint64_t seed = 7;
    const auto text = [&](std::size_t size) {
        std::string t;
        while (t.size() < size) t += pieces[(seed >> (t.size() % 40)) % 8];
        return t;
    };
    for (int i = 0; i < 3000; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        dump += (i > 0 ? ",(" : "(") + std::to_string(i) + ",'" + text(i % 300 == 299 ? 40000 : (seed >> 33) % 700) +
                (i % 97 == 0 ? "\xFF','" : "','") + text(seed % 40) + "'," + (i % 5 ? std::to_string(i) + ".5)" : "NULL)");
    }
    dumps.push_back(dump + ";\n");
    for (const std::string& content : dumps) {
        ImportedDump d;
        const std::size_t objects = d.import(content) ? d.state.objects.size() : 0;  // refused dumps: none
        for (std::uint32_t object = 0; object < objects; ++object) {
            for (const Charset charset : {CHARSET_UTF8, CHARSET_LATIN1}) {
                std::string results[2];
                for (const bool fast : {false, true}) {
                    csv_fast_rows = fast;
                    const Status s = csv_export(d.state, object, d.index(object), d.state.objects[object].entry_count,
                                                d.dir.file("out.csv"), charset, true, nullptr);
                    results[fast] = test::text_of(s) + (s.ok() ? read_file(d.dir.file("out.csv")) : "");
                }
                EXPECT_TRUE(results[0] == results[1]) << content.substr(0, 200) << " object " << object;
            }
        }
    }
}

// Failures of the filter, the export and the tuple save keep the old destination (the active
// filter) and leave no temporary file; destinations naming the dump or the index under any
// spelling are refused (on POSIX the final rename would otherwise replace them).
TEST(Writers, FailuresKeepTheDestination) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP));
    const std::string out = d.dir.file("out"), index = d.index(0), folder = index.substr(0, index.rfind('/'));
    const IndexEntry second = d.entry(0, 1);
    const ProgressSink cancel{+[](void*, std::uint64_t, std::uint64_t, std::uint64_t, const char*) { return 0; }};
    std::uint64_t count = 2;
    const auto fails = [&](int writer, std::uint32_t object, const std::string& source, const ProgressSink* sink) {
        test::write_file(out, "old");
        std::uint64_t hits = 0;
        const Status s = writer == 0 ? filter_run(d.state, object, FilterRequest{}, out, hits, sink)
                         : writer == 1 ? csv_export(d.state, object, source, count, out, CHARSET_UTF8, true, sink)
                                       : tuple_save(d.state, object == 0 ? second : IndexEntry{9999, 3, 0}, out, sink);
        EXPECT_FALSE(s.ok());
        EXPECT_EQ(test::file_exists(out) ? read_file(out) : "", writer == 0 ? "" : "old") << writer;
        EXPECT_TRUE(test::no_part_files(d.dir.str()));
        return test::text_of(s);
    };
    for (const int writer : {0, 1}) {
        EXPECT_EQ(fails(writer, 1, index, nullptr), "Ungültige Tabelle.");
        EXPECT_EQ(fails(writer, 0, index, &cancel), CANCELLED);
        count = d.state.objects[0].entry_count = 3;  // one entry more than the index holds
        EXPECT_EQ(fails(writer, 0, index, nullptr), "Positionsindex ist unvollständig.");
        count = d.state.objects[0].entry_count = 2;
        d.state.objects[0].layouts.clear();  // the tuples no longer fit: the decoder's message
        EXPECT_EQ(fails(writer, 0, index, nullptr), STALE);
        d.state.objects[0].layouts.push_back(ColumnLayout{{0, 1}});
    }
    EXPECT_EQ(fails(1, 0, d.dir.file("missing.kvi"), nullptr),
              "Exportdatei kann nicht angelegt oder Index nicht gelesen werden.");
    EXPECT_EQ(fails(2, 0, index, &cancel), CANCELLED);
    EXPECT_EQ(fails(2, 1, index, nullptr), "Ungültige Datensatzposition.");
    // The tuple save copies the bytes as they are, an empty entry at the end of the dump too;
    // entries beyond it write nothing.
    test::RecordingSink recorder;
    ASSERT_EQ(test::text_of(tuple_save(d.state, second, out, &recorder)), "");
    EXPECT_EQ(read_file(out), "(2,'zwei; \\'quoted\\' /* not a comment */')");
    const std::string report = "0/" + std::to_string(second.length) + "/0 SQL-Rohtupel speichern";
    EXPECT_EQ(recorder.reports, std::vector<std::string>{report});
    DecodedRecord r;  // the dump handle was moved: tuples still decode
    EXPECT_EQ(decoded(d.state, d.entry(0, 0), r), "#1|Teins");
    const std::uint64_t size = d.state.dump_size;
    ASSERT_EQ(test::text_of(tuple_save(d.state, IndexEntry{size, 0, 0}, out, nullptr)), "");
    EXPECT_EQ(read_file(out), "");
    for (const IndexEntry& e : {IndexEntry{size + 1, 0, 0}, IndexEntry{size - 2, 3, 0}, IndexEntry{0, 1u << 20, 0}}) {
        EXPECT_EQ(test::text_of(tuple_save(d.state, e, out, nullptr)), "Ungültige Datensatzposition.");
    }
    const std::string index_bytes = read_file(index);
    ASSERT_TRUE(file_remove(index));
    EXPECT_EQ(fails(0, 0, index, nullptr), "Filterdatei kann nicht angelegt oder gelesen werden.");
    test::write_file(index, index_bytes);
    EXPECT_EQ(test::text_of(tuple_save(d.state, second, d.dir.file("no/such.sql"), nullptr)),
              "Zieldatei kann nicht geöffnet werden.");
    EXPECT_FALSE(csv_export(d.state, 0, index, 2, d.dir.file("no/such.csv"), CHARSET_UTF8, true, nullptr).ok());

    const std::string dump_bytes = read_file(d.path);
    std::filesystem::create_hard_link(test::fs_path(d.path), test::fs_path(d.dir.file("hard.sql")));
    std::vector<std::string> names = {d.path, d.dir.str() + "/./dump.sql", d.dir.str() + "/cache/../dump.sql",
                                      d.dir.file("hard.sql"), index, folder + "/." + index.substr(folder.size())};
#if defined(_WIN32)
    names.push_back(d.dir.file("DUMP.SQL"));
#else
    std::filesystem::create_symlink(test::fs_path(d.path), test::fs_path(d.dir.file("link.sql")));
    names.push_back(d.dir.file("link.sql"));
#endif
    for (const std::string& name : names) {
        EXPECT_EQ(test::text_of(csv_export(d.state, 0, index, 2, name, CHARSET_UTF8, true, nullptr)),
                  "Exportziel darf keine geöffnete Quelldatei sein.") << name;
        if (name.find("kvi") != std::string::npos) continue;
        EXPECT_EQ(test::text_of(tuple_save(d.state, second, name, nullptr)),
                  "Die Originaldatei darf nicht überschrieben werden.") << name;
    }
    EXPECT_EQ(read_file(d.path), dump_bytes);
    EXPECT_EQ(read_file(index), index_bytes);
    EXPECT_TRUE(test::no_part_files(d.dir.str()) && test::no_part_files(folder));
}

// 8193 rows, the last one NULL: the filter reads two blocks of 4096 entries and one more, the CSV
// export writes beyond one output buffer.
TEST(Writers, ManyRowsProgressAndLimits) {
    std::string dump = "CREATE TABLE `n` (`id` int, `name` text);\nCREATE TABLE `e` (`id` int);\n"
                       "INSERT INTO `n` VALUES ";
    std::string csv = "\xEF\xBB\xBF\"id\";\"name\"\r\n";
    for (int i = 1; i < 8193; ++i) {
        const std::string n = std::to_string(i);
        dump += "(" + n + ",'Zeile " + n + "'),";
        csv += "\"" + n + "\";\"Zeile " + n + "\"\r\n";
    }
    ImportedDump d;
    ASSERT_TRUE(d.import(dump + "(8193,NULL);\n"));
    const std::string out = d.dir.file("n.csv"), result = d.dir.file("query-new.kvi");
    ASSERT_EQ(test::text_of(csv_export(d.state, 0, d.index(0), 8193, out, CHARSET_UTF8, true, nullptr)), "");
    EXPECT_EQ(read_file(out), csv + "\"8193\";\"\\N\"\r\n");
    const std::string index = read_file(d.index(0));
    test::RecordingSink recorder;
    FilterRequest request{-1, FilterOp::is_not_null, "", CHARSET_UTF8};
    std::uint64_t hits = 0;
    for (const auto& [column, expected] : {std::pair{1, 8192u}, {0, 8193u}}) {
        request.column = column;
        ASSERT_EQ(test::text_of(filter_run(d.state, 0, request, result, hits, &recorder)), "");
        EXPECT_EQ(hits, expected);
        EXPECT_EQ(read_file(result), index.substr(0, expected * 16));
        EXPECT_EQ(recorder.reports.at(0), "0/8193/1 Tabelle filtern");
    }
    request.op = FilterOp::contains;
    request.text.assign(FILTER_TEXT_MAX, 'a');
    EXPECT_EQ(test::text_of(filter_run(d.state, 0, request, result, hits, nullptr)), "");
    EXPECT_EQ(hits, 0u);
    request.text.push_back('a');
    EXPECT_EQ(test::text_of(filter_run(d.state, 0, request, result, hits, nullptr)), "Der Filtertext ist zu lang.");
    EXPECT_FALSE(test::file_exists(result));
    ASSERT_FALSE(test::file_exists(d.index(1)));  // an empty table needs no index
    ASSERT_EQ(test::text_of(filter_run(d.state, 1, FilterRequest{}, result, hits, nullptr)), "");
    EXPECT_EQ(hits, 0u);
    EXPECT_EQ(read_file(result), "");
}

// Four tuples of 8 MiB: the clock is read after each of them, not only every 16 entries. The
// sink lets 110 ms pass in its first report, so the next reading reports, and cancels.
TEST(Filter, LargeTuplesReportAndCancelAfterEachTuple) {
    ImportedDump d;
    const std::string value = "'" + std::string(8u << 20, 'v') + "')";
    ASSERT_TRUE(d.import("CREATE TABLE `big` (`a` longtext);\nINSERT INTO `big` VALUES (" + value + ",(" + value +
                         ",(" + value + ",(" + value + ";\n"));
    static std::vector<std::uint64_t> done;
    const ProgressSink sink{+[](void*, std::uint64_t at, std::uint64_t, std::uint64_t, const char*) {
        done.push_back(at);
        if (done.size() == 1) std::this_thread::sleep_for(std::chrono::milliseconds(110));
        return done.size() == 1 ? 1 : 0;
    }};
    const FilterRequest request{-1, FilterOp::is_null, "", CHARSET_UTF8};  // every tuple is decoded
    std::uint64_t hits = 0;
    EXPECT_EQ(test::text_of(filter_run(d.state, 0, request, d.dir.file("q.kvi"), hits, &sink)), CANCELLED);
    EXPECT_EQ(done, (std::vector<std::uint64_t>{0, 1}));
}

// About 70 MB: row 1 holds a 70,000,000-byte string that only the raw save can get at.
TEST(HugeTuple, SavedRawWhileFilterAndExportStop) {
    ImportedDump d;
    const std::uint64_t filler = 70000000;
    ASSERT_TRUE(d.import("CREATE TABLE `h` (`id` int, `data` longtext);\nINSERT INTO `h` VALUES "
                         "(1,'small'),(2,'" + std::string(filler, 'x') + "'),(3,'after');\n"));
    const IndexEntry huge = d.entry(0, 1);
    ASSERT_EQ(huge.length, filler + 6);
    const FilterRequest request{-1, FilterOp::contains, "after", CHARSET_UTF8};
    std::uint64_t hits = 0;
    EXPECT_EQ(test::text_of(filter_run(d.state, 0, request, d.dir.file("q.kvi"), hits, nullptr)), TOO_LARGE);
    EXPECT_EQ(test::text_of(csv_export(d.state, 0, d.index(0), 3, d.dir.file("h.csv"), CHARSET_UTF8, true, nullptr)),
              TOO_LARGE);
    EXPECT_FALSE(test::file_exists(d.dir.file("h.csv")));
    ASSERT_EQ(test::text_of(tuple_save(d.state, huge, d.dir.file("huge.sql"), nullptr)), "");
    EXPECT_TRUE(read_file(d.dir.file("huge.sql")) == "(2,'" + std::string(filler, 'x') + "')");
}

}  // namespace
}  // namespace kv
