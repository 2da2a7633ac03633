// Micro-benchmarks (Google Benchmark) of the inner loops behind the long waits: the window
// searches of the import scan, a whole import of a 24 MB dump with the window scans and with
// the byte-by-byte reference path, value decoding and classification, decoding whole records,
// CSV rows through the export's fast writer and through the general path,
// the character set conversion of display text, and the filter's raw test. Bytes per second
// are the dump or source bytes walked. Built natively only, and only where Google Benchmark is
// installed; not a test.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "cache/dump_open.h"
#include "cache/file_names.h"
#include "foundation/dump_state.h"
#include "foundation/file.h"
#include "foundation/sql_quote.h"
#include "importer/dump_reader.h"
#include "importer/import_run.h"
#include "records/csv_field.h"
#include "records/csv_row.h"
#include "records/display_text.h"
#include "records/filter.h"
#include "records/record_decode.h"
#include "records/value.h"

namespace kv {
namespace {

const char* const WORDS[] = {"Straße", "Müller", "Größe", "it\\'s", "say \\\"hi\\\"",
                             "C:\\\\temp", "line\\nbreak", "a,b", "(x)", "smile 😀", "order",
                             "status", "pending", "lorem", "ipsum", "Łódź", "café"};

std::string text_of(std::mt19937_64& rng, int words) {
    std::string s;
    for (int i = 0; i < words; ++i) {
        if (i) s.push_back(' ');
        s += WORDS[rng() % (sizeof WORDS / sizeof WORDS[0])];
    }
    return s;
}

// Tuples of the large benchmark table: numbers, a date, a decimal, short and long text.
std::string tuples(std::size_t bytes, std::uint64_t seed) {
    std::mt19937_64 rng(seed);
    std::string s;
    std::uint64_t id = 1;
    while (s.size() < bytes) {
        if (id != 1) s.push_back(',');
        s += "(" + std::to_string(id++) + "," + std::to_string(static_cast<int>(rng() % 2000000) - 1000000) +
             ",'2024-05-0" + std::to_string(1 + rng() % 9) + " 12:00:00'," +
             (rng() % 20 == 0 ? std::string("NULL") : std::to_string(rng() % 100000) + ".25") +
             ",'" + text_of(rng, 1 + static_cast<int>(rng() % 3)) + "','" +
             text_of(rng, 10 + static_cast<int>(rng() % 60)) + "'," + std::to_string(rng() % 2) +
             ")";
    }
    return s;
}

const std::string& sample_tuples() {
    static const std::string s = tuples(4u << 20, 7);
    return s;
}

void BM_FindTupleStop(benchmark::State& st) {
    const std::string& s = sample_tuples();
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (auto _ : st) {
        std::size_t stops = 0;
        for (std::size_t i = scan_find_tuple_stop(p, 0, s.size()); i < s.size();
             i = scan_find_tuple_stop(p, i + 1, s.size())) {
            ++stops;
        }
        benchmark::DoNotOptimize(stops);
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * s.size()));
}
BENCHMARK(BM_FindTupleStop);

void BM_FindQuoteOrBackslash(benchmark::State& st) {
    const std::string& s = sample_tuples();
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    for (auto _ : st) {
        std::size_t hits = 0;
        for (std::size_t i = scan_find2(p, 0, s.size(), '\'', '\\'); i < s.size();
             i = scan_find2(p, i + 1, s.size(), '\'', '\\')) {
            ++hits;
        }
        benchmark::DoNotOptimize(hits);
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * s.size()));
}
BENCHMARK(BM_FindQuoteOrBackslash);

// The tuple walk of the import's window pass over 4 MiB of tuples.
void BM_TupleWalk(benchmark::State& st) {
    const std::string& s = sample_tuples();
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    for (auto _ : st) {
        std::size_t tuples_seen = 0;
        std::size_t i = 0;
        for (;;) {
            i = scan_find_tuple_stop(p, i, n);
            if (i >= n) break;
            const unsigned char b = p[i];
            if (b == '\'' || b == '"' || b == '`') {
                std::size_t j = i + 1;
                if (!scan_quoted(p, n, b, b != '`', j)) break;
                i = j;
                continue;
            }
            if (b == ')') ++tuples_seen;
            ++i;
        }
        benchmark::DoNotOptimize(tuples_seen);
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * n));
}
BENCHMARK(BM_TupleWalk);

// A dump of about 24 MB in a private folder, imported by the benchmarks below.
struct BenchDump {
    std::filesystem::path folder;
    std::string path;
    std::string root;
    std::uint64_t size = 0;
    BenchDump() {
        folder = std::filesystem::temp_directory_path() /
                 ("kv-micro-bench-" + std::to_string(current_pid()));
        std::filesystem::create_directories(folder);
        path = (folder / "dump.sql").string();
        root = (folder / "cache").string();
        std::string dump =
            "/*!40101 SET NAMES utf8mb4 */;\nCREATE TABLE `events` (\n  `id` bigint NOT NULL,\n"
            "  `code` int NOT NULL,\n  `at` datetime NOT NULL,\n  `amount` decimal(12,2),\n"
            "  `title` varchar(200) NOT NULL,\n  `body` text,\n  `flag` tinyint NOT NULL\n);\n";
        const std::string body = tuples(24u << 20, 11);
        // Split into statements of about 1 MiB at tuple boundaries.
        std::size_t at = 0;
        while (at < body.size()) {
            std::size_t end = at + 1000000 < body.size() ? body.find(",(", at + 1000000) : body.npos;
            if (end == body.npos) end = body.size();
            dump += "INSERT INTO `events` VALUES " + body.substr(at, end - at) + ";\n";
            at = end == body.size() ? end : end + 1;
        }
        FileGuard f(file_open(path, FILE_MODE_CREATE));
        file_write_all(f.get(), dump.data(), dump.size());
        size = dump.size();
    }
    ~BenchDump() {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
};

BenchDump& bench_dump() {
    static BenchDump d;
    return d;
}

void import_bench(benchmark::State& st, bool byte_path) {
    BenchDump& d = bench_dump();
    DumpState state;
    FileHandle handle = INVALID_FILE;
    if (!dump_open(state, d.path, d.root).ok() || !cache_lock(state, handle).ok()) {
        st.SkipWithError("dump_open failed");
        return;
    }
    FileGuard lock(handle);
    reader_byte_path_only = byte_path;
    for (auto _ : st) {
        if (const Status imported = import_run(state, nullptr); !imported.ok()) {
            st.SkipWithError(status_text(imported).c_str());
            break;
        }
    }
    reader_byte_path_only = false;
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * d.size));
}
void BM_ImportWindowScan(benchmark::State& st) { import_bench(st, false); }
void BM_ImportBytePath(benchmark::State& st) { import_bench(st, true); }
BENCHMARK(BM_ImportWindowScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ImportBytePath)->Unit(benchmark::kMillisecond);

// The benchmark dump imported, with the first 10,000 entries of its table: the rows the
// record benchmarks read back. False (the benchmark skipped) when any step fails.
struct ImportedRows {
    DumpState state;
    FileGuard lock;
    std::vector<IndexEntry> entries;
};

bool import_rows(benchmark::State& st, ImportedRows& rows) {
    BenchDump& d = bench_dump();
    FileHandle handle = INVALID_FILE;
    if (!dump_open(rows.state, d.path, d.root).ok() || !cache_lock(rows.state, handle).ok()) {
        st.SkipWithError("dump_open failed");
        return false;
    }
    rows.lock.reset(handle);
    if (const Status imported = import_run(rows.state, nullptr); !imported.ok()) {
        st.SkipWithError(status_text(imported).c_str());
        return false;
    }
    rows.entries.resize(10000);
    FileGuard index(file_open(cache_index_path(rows.state, 0), FILE_MODE_READ));
    if (!index_read(index.get(), 0, static_cast<std::uint32_t>(rows.entries.size()),
                    rows.entries.data())) {
        st.SkipWithError("index_read failed");
        return false;
    }
    return true;
}

// Runs row(state, entry) over the imported entries; a false answer skips the benchmark.
// Bytes are tuple bytes.
template <typename Row>
void rows_bench(benchmark::State& st, Row&& row) {
    ImportedRows rows;
    if (!import_rows(st, rows)) return;
    std::uint64_t bytes = 0;
    for (auto _ : st) {
        for (const IndexEntry& e : rows.entries) {
            if (!row(rows.state, e)) {
                st.SkipWithError("declined");
                return;
            }
            bytes += e.length;
        }
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}

void BM_RecordDecode(benchmark::State& st) {
    DecodedRecord record;
    rows_bench(st, [&](DumpState& state, const IndexEntry& e) {
        return record_decode(state, 0, e, record).ok();
    });
}
BENCHMARK(BM_RecordDecode)->Unit(benchmark::kMillisecond);

// CSV rows of the same entries: the export's fast row writer, and the general path it falls
// back to (record_decode, then each value's field).
void BM_CsvRowFast(benchmark::State& st) {
    CsvRowPlan plan;
    std::vector<unsigned char> out;
    rows_bench(st, [&](DumpState& state, const IndexEntry& e) {
        if (plan.columns == 0) csv_row_plan_init(plan, state.objects[0], CHARSET_UTF8, true);
        const unsigned char* tuple = record_tuple_view(state, 0, e);
        out.resize(csv_row_room(e.length, plan.columns));
        return tuple != nullptr &&
               csv_row_write(plan, state.objects[0], e, tuple, out.data()) != CSV_ROW_DECLINED;
    });
}
BENCHMARK(BM_CsvRowFast)->Unit(benchmark::kMillisecond);

void BM_CsvRowGeneral(benchmark::State& st) {
    DecodedRecord record;
    std::string row;
    std::string scratch;
    rows_bench(st, [&](DumpState& state, const IndexEntry& e) {
        if (!record_decode(state, 0, e, record).ok()) return false;
        row.clear();
        for (const Value& value : record.values) {
            if (!row.empty()) row.push_back(';');
            csv_value_append(row, value, CHARSET_UTF8, true, scratch);
        }
        benchmark::DoNotOptimize(row.data());
        return true;
    });
}
BENCHMARK(BM_CsvRowGeneral)->Unit(benchmark::kMillisecond);

// Value sources as they stand between the separators of a tuple.
const std::vector<std::string>& value_sources() {
    static const std::vector<std::string> v = [] {
        std::mt19937_64 rng(3);
        return std::vector<std::string>{
            "123456", " -98765.25", "NULL", "'2024-05-01 12:00:00'",
            "'" + text_of(rng, 2) + "'", "'" + text_of(rng, 40) + "'",
            "0x0123456789ABCDEF0123456789ABCDEF", "_binary 'ab\\0cd'", "b'0101'",
            "'" + std::string(4000, 'x') + "'"};
    }();
    return v;
}

// Runs one of the two value entry points over every sample source.
template <bool (*Decode)(std::string_view, EscapeMode, Value&)>
void decode_bench(benchmark::State& st) {
    const auto& sources = value_sources();
    Value out;
    std::uint64_t bytes = 0;
    for (auto _ : st) {
        for (const std::string& s : sources) {
            Decode(s, EscapeMode::backslash, out);
            benchmark::DoNotOptimize(out.text.data());
            bytes += s.size();
        }
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(decode_bench<value_decode>)->Name("BM_ValueDecode");
BENCHMARK(decode_bench<literal_classify>)->Name("BM_LiteralClassify");

void text_bench(benchmark::State& st, const std::string& text, Charset charset) {
    std::string out;
    for (auto _ : st) {
        text_to_utf8(text, charset, out);
        benchmark::DoNotOptimize(out.data());
    }
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * text.size()));
}
void BM_TextToUtf8_Ascii(benchmark::State& st) {
    text_bench(st, std::string(64 * 1024, 'a'), CHARSET_UTF8);
}
void BM_TextToUtf8_Mixed(benchmark::State& st) {
    std::mt19937_64 rng(5);
    std::string s;
    while (s.size() < 64 * 1024) s += text_of(rng, 8) + " ";
    text_bench(st, s, CHARSET_UTF8);
}
void BM_TextToUtf8_Windows1252(benchmark::State& st) {
    std::string s;
    for (int i = 0; i < 64 * 1024; ++i) s.push_back(static_cast<char>(i % 7 == 0 ? 0xE4 : 'a' + i % 26));
    text_bench(st, s, CHARSET_WINDOWS_1252);
}
BENCHMARK(BM_TextToUtf8_Ascii);
BENCHMARK(BM_TextToUtf8_Mixed);
BENCHMARK(BM_TextToUtf8_Windows1252);

// The filter's raw test over the sample tuples, one tuple at a time, for a text that is absent:
// the work of a search on every tuple it rejects without decoding.
void BM_RawFilterReject(benchmark::State& st) {
    const std::string& all = sample_tuples();
    std::vector<std::string_view> each;
    for (std::size_t start = 0; start < all.size();) {
        std::size_t end = all.find("),(", start);
        end = end == std::string::npos ? all.size() : end + 1;
        each.push_back(std::string_view(all).substr(start, end - start));
        start = end + 1;
    }
    RawFilter raw;
    raw_filter_init(raw, FilterOp::contains, "Zaunkoenigfeder", CHARSET_UTF8);
    std::uint64_t rejected = 0;
    for (auto _ : st) {
        for (std::string_view t : each) {
            const auto* bytes = reinterpret_cast<const unsigned char*>(t.data());
            rejected += raw_filter_may_match(raw, bytes, t.size(), EscapeMode::backslash) ? 0 : 1;
        }
    }
    benchmark::DoNotOptimize(rejected);
    st.SetBytesProcessed(static_cast<std::int64_t>(st.iterations() * all.size()));
}
BENCHMARK(BM_RawFilterReject)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kv

BENCHMARK_MAIN();
