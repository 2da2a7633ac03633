// The records layer against files: tuples read through the 1 MiB window and up to 64 MiB, the
// check that the open dump is still the indexed one, the filter, the CSV export and the raw
// tuple save on imported dumps (block boundaries, output beyond one buffer, progress and
// cancellation, failures that leave no file behind and keep the old destination, destinations
// that name a source under another spelling), and a tuple above 64 MiB.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "records/csv_export.h"
#include "records/filter.h"
#include "records/record_decode.h"
#include "records/tuple_save.h"
#include "tests/records/records_test_support.h"

namespace kv {
namespace {

using test::ImportedDump;
using test::read_file;

const std::string STALE = "!Ungültiger oder veralteter Positionsindex. Cache neu aufbauen.";
const std::string MISMATCH = "!Der Index passt nicht mehr zum Dump. Cache neu aufbauen.";
const char* const TOO_LARGE =
    "Dieser einzelne Datensatz ist größer als 64 MiB. Er ist indexiert, kann aber nur als "
    "SQL-Rohtupel gespeichert werden; Vorschau, Filter und CSV stoppen hier.";
const char* const CANCELLED = "Vorgang abgebrochen.";
const char* const SMALL_DUMP =
    "CREATE TABLE `s` (`id` int, `t` text);\n"
    "INSERT INTO `s` VALUES (1,'eins'),(2,'zwei; \\'quoted\\' /* not a comment */');\n";

// The decoded values ("kind letter + text" joined by '|'), or "!" and the message.
std::string decoded(DumpState& state, const IndexEntry& entry, DecodedRecord& r) {
    if (!record_decode(state, 0, entry, r)) return std::string("!") + state.message;
    std::string out;
    for (const Value& v : r.values) out += (out.empty() ? "" : "|") + test::kind_letter(v.kind) + v.text;
    return out;
}

void add_table(DumpState& state, std::size_t columns) {
    SchemaObject object;
    object.columns.assign(columns, Column{"c", "text"});
    object.layouts.emplace_back();
    for (std::uint32_t c = 0; c < columns; ++c) object.layouts[0].columns.push_back(c);
    state.objects.assign(1, object);
}

TEST(DumpFile, AChangedDumpIsStale) {
    test::OpenedDump d;
    d.open("INSERT INTO t VALUES (1,'a'),(2,'b');");
    add_table(d.state, 2);
    DecodedRecord r;
    EXPECT_EQ(decoded(d.state, {29, 7, 0}, r), "#2|Tb");
    EXPECT_TRUE(dump_check_unchanged(d.state));
    d.open("INSERT INTO t VALUES  (1,'a'),(2,'b')");  // same length, shifted
    EXPECT_EQ(decoded(d.state, {21, 7, 0}, r), MISMATCH);
    d.open("INSERT INTO t VALUES (1,'a');");  // shorter
    EXPECT_EQ(decoded(d.state, {29, 7, 0}, r), STALE);

    // Size and time are compared with the open handle's; a mismatch empties the read window.
    const std::uint64_t size = d.state.dump_size, time = d.state.dump_time;
    for (const auto& [ds, dt] : {std::pair{1, 0}, std::pair{0, 1}}) {
        d.state.dump_size = size + ds;
        d.state.dump_time = time + dt;
        d.state.read_buffer_length = 3;
        EXPECT_FALSE(dump_check_unchanged(d.state));
        EXPECT_EQ("!" + std::string(d.state.message), MISMATCH);
        EXPECT_EQ(d.state.read_buffer_length, 0u);
    }
#if !defined(_WIN32)
    // POSIX cannot keep others from rewriting the open dump: size or time of the handle tell.
    d.reopen();
    test::write_file(d.path, "(12)");
    EXPECT_FALSE(dump_check_unchanged(d.state));
    d.open("(1)");
    test::write_file(d.path, "(3)");
    const auto path = test::fs_path(d.path);
    std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
    EXPECT_FALSE(dump_check_unchanged(d.state));
#endif
    file_close(d.state.dump_handle);
    d.state.dump_handle = INVALID_FILE;
    EXPECT_EQ(decoded(d.state, {0, 3, 0}, r), "!Datensatz konnte nicht aus der Originaldatei gelesen werden.");
}

// Small tuples come from one 1 MiB read; a tuple crossing the window's end refills it from its
// own offset; exactly 1 MiB still goes through the window, larger tuples bypass it.
TEST(DumpFile, ReadWindow) {
    const std::uint64_t MiB = READ_BUFFER_SIZE;
    std::string bytes = "(1,'first')";
    bytes.resize(MiB - 5, ' ');
    const std::string crossing = "(2,'" + std::string(200, 's') + "')";
    const std::string exact = " (3,'" + std::string(MiB - 6, 'e') + "')";
    const std::string big = " (4,'" + std::string(MiB - 5, 'b') + "')";
    test::OpenedDump d;
    d.open(bytes + crossing + exact + big);
    add_table(d.state, 2);
    DecodedRecord r;
    const auto expect = [&](std::uint64_t at, std::uint64_t length, const std::string& values,
                            std::uint64_t window_start) {
        EXPECT_EQ(decoded(d.state, {at, static_cast<std::uint32_t>(length), 0}, r), values);
        EXPECT_EQ(r.tuple, d.bytes.substr(at, length));
        EXPECT_EQ(d.state.read_buffer_start, window_start);
        EXPECT_EQ(d.state.read_buffer_length, std::min(MiB, d.bytes.size() - window_start));
    };
    expect(0, 11, "#1|Tfirst", 0);
    expect(MiB - 5, crossing.size(), "#2|T" + std::string(200, 's'), MiB - 5);
    const std::uint64_t exact_at = bytes.size() + crossing.size() + 1;
    expect(exact_at, MiB, "#3|T" + std::string(MiB - 6, 'e'), exact_at);
    expect(exact_at + MiB + 1, MiB + 1, "#4|T" + std::string(MiB - 5, 'b'), exact_at);
    expect(0, 11, "#1|Tfirst", 0);
}

TEST(DumpFile, TuplesUpTo64MiBAreDecoded) {
    test::OpenedDump d;
    test::write_big_file(d.path, "(7", ' ', MAX_DECODED_TUPLE - 3, "))");
    d.reopen();
    add_table(d.state, 1);
    DecodedRecord r;
    const auto limit = static_cast<std::uint32_t>(MAX_DECODED_TUPLE);
    EXPECT_EQ(decoded(d.state, {0, limit + 1, 0}, r), std::string("!") + TOO_LARGE);
    EXPECT_EQ(decoded(d.state, {0, limit, 0}, r), "#7");
    EXPECT_EQ(r.tuple_length(), MAX_DECODED_TUPLE);
}

// Exports every table once through the fast row writer and once through the general path; both
// results (success, message, bytes) must agree.
void expect_fast_rows_agree(ImportedDump& d, const std::string& label) {
    for (std::uint32_t object = 0; object < d.state.objects.size(); ++object) {
        const SchemaObject& table = d.state.objects[object];
        if (table.kind != OBJECT_TABLE || table.entry_count == 0) continue;
        for (const Charset charset : {CHARSET_UTF8, CHARSET_LATIN1}) {
            std::string results[2];
            for (int fast = 0; fast < 2; ++fast) {
                const std::string out = d.dir.file("fast" + std::to_string(fast) + ".csv");
                csv_fast_rows = fast != 0;
                const bool ok = csv_export(d.state, object, d.index(object), table.entry_count,
                                           out, charset, true, nullptr);
                csv_fast_rows = true;
                results[fast] = d.state.message + (ok ? "\n" + read_file(out) : "");
            }
            EXPECT_TRUE(results[0] == results[1]) << label << " object " << object;
        }
    }
}

TEST(CsvExport, FastRowsWriteTheBytesOfTheGeneralPath) {
    for (const auto& e : std::filesystem::directory_iterator(test::fs_path(KV_TEST_DATA_DIR))) {
        const std::string name = e.path().filename().string();
        ImportedDump d;
        if (name.ends_with(".sql") && d.import(read_file(e.path().string()))) {
            expect_fast_rows_agree(d, name);
        }
    }
    // Rows of every length up to beyond the writer's room: written into the output buffer,
    // through the row buffer at its end, and by the general path.
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
        const std::size_t length = i % 300 == 299 ? 40000 : (seed >> 33) % 700;
        dump += (i > 0 ? ",(" : "(") + std::to_string(i) + ",'" + text(length) +
                (i % 97 == 0 ? "\xFF','" : "','") + text(length % 40) + "'," +
                (i % 5 == 0 ? "NULL" : std::to_string(i) + ".5") + ")";
    }
    ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n")) << d.state.message;
    expect_fast_rows_agree(d, "generated");
}

TEST(CsvExport, EmptyTableAndOutputBeyondOneBuffer) {
    std::string dump = "CREATE TABLE `e` (`a` int, `b` int);\n"
                       "CREATE TABLE `n` (`id` int, `name` varchar(20));\nINSERT INTO `n` VALUES ";
    std::string expected = "\xEF\xBB\xBF\"id\";\"name\"\r\n";
    for (int i = 1; i <= 8000; ++i) {
        const std::string n = std::to_string(i);
        dump += (i > 1 ? ",(" : "(") + n + ",'Zeile " + n + "')";
        expected += "\"" + n + "\";\"Zeile " + n + "\"\r\n";
    }
    ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n")) << d.state.message;
    const std::string out = d.dir.file("out.csv");
    ASSERT_TRUE(csv_export(d.state, 0, d.index(0), 0, out, CHARSET_UTF8, true, nullptr));
    EXPECT_EQ(read_file(out), "\xEF\xBB\xBF\"a\";\"b\"\r\n");  // no index file needed
    ASSERT_TRUE(csv_export(d.state, 1, d.index(1), 8000, out, CHARSET_UTF8, true, nullptr));
    EXPECT_EQ(read_file(out), expected);
}

// Failures of the export and the tuple save keep the old destination and leave no temporary
// file; a refused destination that names the dump or the index under any spelling stays as it
// was (on POSIX the final rename would otherwise replace it).
TEST(Writers, FailuresKeepTheDestination) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP)) << d.state.message;
    const std::string out = d.dir.file("out.csv"), index = d.index(0);
    const IndexEntry second = d.entry(0, 1);
    test::RecordingSink cancel;
    cancel.cancel_at = 1;
    const ProgressSink cancelling = cancel.sink();
    std::uint64_t count = 2;
    const auto export_fails = [&](std::uint32_t object, const std::string& source,
                                  const ProgressSink* sink, const std::string& destination) {
        test::write_file(destination, "old");
        EXPECT_FALSE(csv_export(d.state, object, source, count, destination, CHARSET_UTF8, true, sink));
        EXPECT_EQ(read_file(destination), "old");
        return std::string(d.state.message);
    };
    EXPECT_EQ(export_fails(1, index, nullptr, out), "Ungültige Tabelle.");
    EXPECT_EQ(export_fails(0, index, &cancelling, out), CANCELLED);
    EXPECT_EQ(export_fails(0, d.dir.file("missing.kvi"), nullptr, out),
              "Exportdatei kann nicht angelegt oder Index nicht gelesen werden.");
    count = 3;
    EXPECT_EQ(export_fails(0, index, nullptr, out), "Positionsindex ist unvollständig.");
    count = 2;
    d.state.objects[0].layouts.clear();  // the tuples no longer fit: the decoder's message
    EXPECT_EQ(export_fails(0, index, nullptr, out), STALE.substr(1));
    d.state.objects[0].layouts.resize(1);
    d.state.objects[0].layouts[0].columns = {0, 1};
    EXPECT_FALSE(csv_export(d.state, 0, index, 2, d.dir.file("no/such.csv"), CHARSET_UTF8, true, nullptr));

    EXPECT_FALSE(tuple_save(d.state, second, out, &cancelling));
    EXPECT_STREQ(d.state.message, CANCELLED);
    EXPECT_EQ(read_file(out), "old");
    EXPECT_FALSE(tuple_save(d.state, second, d.dir.file("no/such.sql"), nullptr));
    EXPECT_STREQ(d.state.message, "Zieldatei kann nicht geöffnet werden.");

    const std::string dump_bytes = read_file(d.path), index_bytes = read_file(index);
    const std::string folder = index.substr(0, index.rfind('/'));
    std::filesystem::create_hard_link(test::fs_path(d.path), test::fs_path(d.dir.file("hard.sql")));
    std::vector<std::string> dump_names = {d.path, d.dir.str() + "/./dump.sql",
                                           d.dir.str() + "/cache/../dump.sql", d.dir.file("hard.sql")};
#if defined(_WIN32)
    dump_names.push_back(d.dir.file("DUMP.SQL"));
#else
    std::filesystem::create_symlink(test::fs_path(d.path), test::fs_path(d.dir.file("link.sql")));
    dump_names.push_back(d.dir.file("link.sql"));
#endif
    for (const std::string& name : dump_names) {
        EXPECT_FALSE(csv_export(d.state, 0, index, 2, name, CHARSET_UTF8, true, nullptr)) << name;
        EXPECT_STREQ(d.state.message, "Exportziel darf keine geöffnete Quelldatei sein.");
        EXPECT_FALSE(tuple_save(d.state, second, name, nullptr)) << name;
        EXPECT_STREQ(d.state.message, "Die Originaldatei darf nicht überschrieben werden.");
    }
    for (const std::string& name : {index, folder + "/./" + index.substr(folder.size() + 1)}) {
        EXPECT_FALSE(csv_export(d.state, 0, index, 2, name, CHARSET_UTF8, true, nullptr)) << name;
        EXPECT_STREQ(d.state.message, "Exportziel darf keine geöffnete Quelldatei sein.");
    }
    EXPECT_EQ(read_file(d.path), dump_bytes);
    EXPECT_EQ(read_file(index), index_bytes);
    EXPECT_TRUE(test::no_part_files(d.dir.str()) && test::no_part_files(folder));
}

TEST(TupleSave, CopiesTheTupleExactly) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP)) << d.state.message;
    const IndexEntry entry = d.entry(0, 1);
    const std::string out = d.dir.file("tuple.sql");
    test::write_file(out, "an older file that is replaced");
    test::RecordingSink recorder;
    const ProgressSink sink = recorder.sink();
    ASSERT_TRUE(tuple_save(d.state, entry, out, &sink)) << d.state.message;
    EXPECT_EQ(read_file(out), "(2,'zwei; \\'quoted\\' /* not a comment */')");
    EXPECT_EQ(recorder.reports, std::vector<std::string>{"0/" + std::to_string(entry.length) +
                                                         "/0 SQL-Rohtupel speichern"});
    DecodedRecord r;  // the dump handle was moved: tuples still decode
    EXPECT_EQ(decoded(d.state, d.entry(0, 0), r), "#1|Teins");

    // An empty entry at the end of the dump writes an empty file; entries beyond it nothing.
    const std::uint64_t size = d.state.dump_size;
    ASSERT_TRUE(tuple_save(d.state, IndexEntry{size, 0, 0}, out, nullptr));
    EXPECT_EQ(read_file(out), "");
    ASSERT_TRUE(file_remove(out));
    for (const IndexEntry& e : {IndexEntry{size + 1, 0, 0}, IndexEntry{size - 2, 3, 0},
                                IndexEntry{0, static_cast<std::uint32_t>(size + 1), 0}}) {
        EXPECT_FALSE(tuple_save(d.state, e, out, nullptr));
        EXPECT_STREQ(d.state.message, "Ungültige Datensatzposition.");
        EXPECT_FALSE(test::file_exists(out));
    }
}

TEST(Filter, BlockBoundariesProgressAndLimits) {
    std::string dump = "CREATE TABLE `n` (`id` int, `flag` int);\nCREATE TABLE `e` (`id` int);\n"
                       "INSERT INTO `n` VALUES ";
    for (int i = 1; i <= 4097; ++i) dump += (i > 1 ? ",(" : "(") + std::to_string(i) + (i == 4097 ? ",NULL)" : ",1)");
    ImportedDump d;
    ASSERT_TRUE(d.import(dump + ";\n")) << d.state.message;
    const std::string index = read_file(d.index(0)), result = d.dir.file("query-new.kvi");
    ASSERT_EQ(index.size(), 4097u * 16);
    FilterRequest request;
    request.op = FILTER_IS_NOT_NULL;
    request.column = 1;
    std::uint64_t hits = 0;
    ASSERT_TRUE(filter_run(d.state, 0, request, result, hits, nullptr)) << d.state.message;
    EXPECT_EQ(hits, 4096u);
    EXPECT_EQ(read_file(result), index.substr(0, 4096 * 16));
    request.column = 0;
    test::RecordingSink recorder;
    const ProgressSink sink = recorder.sink();
    ASSERT_TRUE(filter_run(d.state, 0, request, result, hits, &sink)) << d.state.message;
    EXPECT_EQ(hits, 4097u);
    EXPECT_EQ(read_file(result), index);
    EXPECT_EQ(recorder.reports.at(0), "0/4097/1 Tabelle filtern");

    request.op = FILTER_CONTAINS;
    request.text.assign(FILTER_TEXT_MAX, 'a');
    EXPECT_TRUE(filter_run(d.state, 0, request, result, hits, nullptr)) << d.state.message;
    EXPECT_EQ(hits, 0u);
    request.text.push_back('a');
    EXPECT_FALSE(filter_run(d.state, 0, request, result, hits, nullptr));
    EXPECT_STREQ(d.state.message, "Der Filtertext ist zu lang.");
    EXPECT_FALSE(test::file_exists(result));
    // An empty table needs no index file.
    ASSERT_EQ(d.state.objects[1].entry_count, 0u);
    ASSERT_FALSE(test::file_exists(d.index(1)));
    ASSERT_TRUE(filter_run(d.state, 1, FilterRequest{}, result, hits, nullptr)) << d.state.message;
    EXPECT_EQ(hits, 0u);
    EXPECT_EQ(read_file(result), "");
}

TEST(Filter, FailuresLeaveNoResultFileAndKeepTheActiveFilter) {
    ImportedDump d;
    ASSERT_TRUE(d.import(SMALL_DUMP)) << d.state.message;
    const std::string result = d.dir.file("query-new.kvi"), active = d.dir.file("query.kvi");
    test::write_file(active, "active");
    test::RecordingSink cancel;
    cancel.cancel_at = 1;
    const ProgressSink cancelling = cancel.sink();
    const auto fails = [&](std::uint32_t table, const ProgressSink* sink) {
        std::uint64_t hits = 0;
        test::write_file(result, "stale");
        EXPECT_FALSE(filter_run(d.state, table, FilterRequest{}, result, hits, sink));
        EXPECT_FALSE(test::file_exists(result));
        EXPECT_EQ(read_file(active), "active");
        return std::string(d.state.message);
    };
    EXPECT_EQ(fails(1, nullptr), "Ungültige Tabelle.");
    EXPECT_EQ(fails(0, &cancelling), CANCELLED);
    EXPECT_EQ(cancel.reports.size(), 1u);
    d.state.objects[0].entry_count = 3;  // one entry more than the index holds
    EXPECT_EQ(fails(0, nullptr), "Positionsindex ist unvollständig.");
    d.state.objects[0].entry_count = 2;
    const std::string index_bytes = read_file(d.index(0));
    ASSERT_TRUE(file_remove(d.index(0)));
    EXPECT_EQ(fails(0, nullptr), "Filterdatei kann nicht angelegt oder gelesen werden.");
    test::write_file(d.index(0), index_bytes);
    d.state.objects[0].layouts.clear();
    EXPECT_EQ(fails(0, nullptr), STALE.substr(1));
}

// Four tuples of 8 MiB: the clock is read after each of them, not only every 16 entries. The
// sink lets 110 ms pass in its first report, so the next reading reports and cancels.
TEST(Filter, LargeTuplesReportAndCancelAfterEachTuple) {
    ImportedDump d;
    {
        std::ofstream out(test::fs_path(d.path), std::ios::binary);
        out << "CREATE TABLE `big` (`a` longtext);\nINSERT INTO `big` VALUES ";
        const std::string value(8u << 20, 'v');
        for (int i = 0; i < 4; ++i) out << (i > 0 ? ",('" : "('") << value << "')";
        out << ";\n";
    }
    ASSERT_TRUE(dump_open_cached(d.state, d.path, d.dir.file("cache"), true, nullptr, d.lock));
    struct SlowSink {
        std::vector<std::uint64_t> done;
        static int report(void* user, std::uint64_t done, std::uint64_t, std::uint64_t, const char*) {
            auto* self = static_cast<SlowSink*>(user);
            self->done.push_back(done);
            if (self->done.size() > 1) return 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(110));
            return 1;
        }
    } slow;
    const ProgressSink sink{&SlowSink::report, &slow, 0};
    FilterRequest request;
    request.op = FILTER_IS_NULL;  // every tuple is decoded
    std::uint64_t hits = 0;
    EXPECT_FALSE(filter_run(d.state, 0, request, d.dir.file("q.kvi"), hits, &sink));
    EXPECT_STREQ(d.state.message, CANCELLED);
    EXPECT_EQ(slow.done, (std::vector<std::uint64_t>{0, 1}));
}

// About 70 MB: row 1 holds a 70,000,000-byte string that only the raw save can get at.
TEST(HugeTuple, SavedRawWhileFilterAndExportStop) {
    ImportedDump d;
    const std::uint64_t filler = 70000000;
    test::write_big_file(d.path, "CREATE TABLE `h` (`id` int, `data` longtext);\n"
                         "INSERT INTO `h` VALUES (1,'small'),(2,'", 'x', filler, "'),(3,'after');\n");
    ASSERT_TRUE(dump_open_cached(d.state, d.path, d.dir.file("cache"), true, nullptr, d.lock));
    const IndexEntry huge = d.entry(0, 1);
    ASSERT_EQ(huge.length, filler + 6);
    FilterRequest request;
    request.text = "after";
    std::uint64_t hits = 0;
    EXPECT_FALSE(filter_run(d.state, 0, request, d.dir.file("q.kvi"), hits, nullptr));
    EXPECT_STREQ(d.state.message, TOO_LARGE);
    const std::string csv = d.dir.file("h.csv"), out = d.dir.file("huge.sql");
    EXPECT_FALSE(csv_export(d.state, 0, d.index(0), 3, csv, CHARSET_UTF8, true, nullptr));
    EXPECT_STREQ(d.state.message, TOO_LARGE);
    EXPECT_FALSE(test::file_exists(csv));
    ASSERT_TRUE(tuple_save(d.state, huge, out, nullptr)) << d.state.message;
    EXPECT_TRUE(read_file(out) == "(2,'" + std::string(filler, 'x') + "')");
}

}  // namespace
}  // namespace kv
