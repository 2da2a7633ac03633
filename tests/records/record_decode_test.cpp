// Tuple decoding from a dump on disk: entry validation, layouts, binary columns, the 1 MiB read
// window and tuples up to 64 MiB, and the check that the open dump is still the indexed one.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "records/record_decode.h"
#include "tests/records/records_test_support.h"

namespace kv {
namespace {

using namespace std::string_literals;

const char* const STALE = "Ungültiger oder veralteter Positionsindex. Cache neu aufbauen.";
const char* const MISMATCH = "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.";
const char* const LAYOUT = "Cache-Spaltenlayout passt nicht zum Datensatz.";
const char* const BAD_FIELD = "Ein Feld konnte nicht sicher dekodiert werden.";
const char* const TOO_LARGE =
    "Dieser einzelne Datensatz ist größer als 64 MiB. Er ist indexiert, kann aber nur als "
    "SQL-Rohtupel gespeichert werden; Vorschau, Filter und CSV stoppen hier.";
const char* const READ_FAILED = "Datensatz konnte nicht aus der Originaldatei gelesen werden.";

// A dump file in a private folder, opened read-only into a DumpState, with tables added by
// hand as the importer would have recorded them.
class DumpFixture : public ::testing::Test {
protected:
    void open_dump(const std::string& bytes) {
        dump = bytes;
        path = dir.file("dump.sql");
        test::write_file(path, bytes);
        reopen();
    }
    // Replaces the dump on disk (the handle is closed first: on Windows the open dump cannot
    // be written) and opens it again, as a later session would find it.
    void rewrite(const std::string& bytes) {
        file_close(state.dump_handle);
        state.dump_handle = INVALID_FILE;
        dump = bytes;
        test::write_file(path, bytes);
        reopen();
    }
    void reopen() {
        file_close(state.dump_handle);
        state.dump_handle = file_open(path, FILE_MODE_READ);
        ASSERT_NE(state.dump_handle, INVALID_FILE);
        state.dump_size = file_get_size(state.dump_handle);
        state.dump_time = file_get_mtime(state.dump_handle);
        state.read_buffer_length = 0;
    }
    std::uint32_t add_table(const std::vector<std::pair<std::string, std::string>>& columns,
                            const std::vector<std::vector<std::uint32_t>>& layouts) {
        SchemaObject object;
        object.database_name = "db";
        object.object_name = "t" + std::to_string(state.objects.size());
        for (const auto& [name, type] : columns) object.columns.push_back(Column{name, type});
        for (const auto& l : layouts) object.layouts.push_back(ColumnLayout{l});
        state.objects.push_back(std::move(object));
        return static_cast<std::uint32_t>(state.objects.size() - 1);
    }
    // The entry of the first occurrence of tuple in the dump at or after from.
    IndexEntry entry_of(const std::string& tuple, std::uint32_t layout = 0,
                        bool no_backslash = false, std::size_t from = 0) {
        std::size_t at = dump.find(tuple, from);
        EXPECT_NE(at, std::string::npos) << tuple;
        return IndexEntry{at, static_cast<std::uint32_t>(tuple.size()),
                          layout | (no_backslash ? LAYOUT_NO_BACKSLASH : 0u)};
    }
    void expect_failure(std::uint32_t table, const IndexEntry& entry, const char* message) {
        DecodedRecord record;
        record.values.resize(3);
        record.tuple = "(left over)";
        state.message[0] = '\0';
        EXPECT_FALSE(record_decode(state, table, entry, record));
        EXPECT_STREQ(state.message, message);
        EXPECT_TRUE(record.values.empty());
        EXPECT_TRUE(record.tuple.empty());
    }

    static void expect_values(const DecodedRecord& r,
                              const std::vector<std::pair<ValueKind, std::string>>& expected) {
        ASSERT_EQ(r.values.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(r.values[i].kind, expected[i].first) << "column " << i;
            EXPECT_EQ(r.values[i].text, expected[i].second) << "column " << i;
        }
    }

    test::TempDir dir;
    std::string path;
    std::string dump;
    DumpState state;
};

TEST_F(DumpFixture, ValuesLandInTheirColumnsAndUnnamedColumnsAreMissing) {
    open_dump("INSERT INTO t (id,name,note) VALUES (1,'a',NULL),( 'b' , 2 );\n");
    std::uint32_t t = add_table({{"id", "int"}, {"name", "varchar(9)"}, {"note", "text"},
                                 {"extra", "int"}},
                                {{0, 1, 2}, {1, 0}});
    DecodedRecord r;
    ASSERT_TRUE(record_decode(state, t, entry_of("(1,'a',NULL)"), r)) << state.message;
    EXPECT_EQ(r.tuple, "(1,'a',NULL)");
    expect_values(r, {{VALUE_NUMBER, "1"}, {VALUE_TEXT, "a"}, {VALUE_NULL, ""},
                      {VALUE_NOT_IN_INSERT, ""}});

    // The same record passed again is emptied first; layout 1 maps value 0 to column 1.
    ASSERT_TRUE(record_decode(state, t, entry_of("( 'b' , 2 )", 1), r)) << state.message;
    expect_values(r, {{VALUE_NUMBER, "2"}, {VALUE_TEXT, "b"}, {VALUE_NOT_IN_INSERT, ""},
                      {VALUE_NOT_IN_INSERT, ""}});

    record_release(r);
    EXPECT_TRUE(r.values.empty());
    EXPECT_TRUE(r.tuple.empty());
    record_release(r);
}

TEST_F(DumpFixture, SeparatorsInsideStringsCallsAndCommentsDoNotSplitValues) {
    const std::string tuple = "(CONCAT('a,b', ')'), 'x)y' /* p, q) */, 3 -- c,)\n, \"d\"\"q\")";
    open_dump("INSERT INTO t VALUES " + tuple + ";");
    std::uint32_t t = add_table({{"a", "text"}, {"b", "text"}, {"c", "int"}, {"d", "text"}},
                                {{0, 1, 2, 3}});
    DecodedRecord r;
    ASSERT_TRUE(record_decode(state, t, entry_of(tuple), r)) << state.message;
    expect_values(r, {{VALUE_SQL, "CONCAT('a,b', ')')"}, {VALUE_TEXT, "x)y"},
                      {VALUE_NUMBER, "3"}, {VALUE_TEXT, "d\"q"}});
}

TEST_F(DumpFixture, EscapeModeComesFromTheEntry) {
    // With backslash escapes, \' stays inside the string; without, the quote closes it.
    open_dump("(1,'it\\'s','a\\nb') ('a\\',2,'c\\nd')");
    std::uint32_t t = add_table({{"a", "text"}, {"b", "text"}, {"c", "text"}}, {{0, 1, 2}});
    DecodedRecord r;
    ASSERT_TRUE(record_decode(state, t, entry_of("(1,'it\\'s','a\\nb')"), r)) << state.message;
    EXPECT_EQ(r.values[1].text, "it's");
    EXPECT_EQ(r.values[2].text, "a\nb");
    ASSERT_TRUE(record_decode(state, t, entry_of("('a\\',2,'c\\nd')", 0, true), r))
        << state.message;
    EXPECT_EQ(r.values[0].text, "a\\");
    EXPECT_EQ(r.values[1].text, "2");
    EXPECT_EQ(r.values[2].text, "c\\nd");
    // The same tuple read with escapes on has an unterminated first value.
    expect_failure(t, entry_of("('a\\',2,'c\\nd')"), BAD_FIELD);
}

TEST_F(DumpFixture, StringsInBinaryColumnsBecomeUpperCaseHex) {
    open_dump("('AB','AB','\\0\\xff',0x6a,X'6B',_binary'l',NULL,'m')");
    std::uint32_t t = add_table({{"vb", "varbinary(16) NOT NULL"}, {"vc", "varchar(16)"},
                                 {"blob", "LONGBLOB"}, {"b1", "binary(1)"}, {"b2", "blob"},
                                 {"b3", "blob"}, {"b4", "blob"}, {"bit", "bit(1)"}},
                                {{0, 1, 2, 3, 4, 5, 6, 7}});
    DecodedRecord r;
    ASSERT_TRUE(record_decode(state, t, entry_of(dump), r)) << state.message;
    expect_values(r, {{VALUE_BINARY, "0x4142"}, {VALUE_TEXT, "AB"},
                      {VALUE_BINARY, "0x00786666"}, {VALUE_BINARY, "0x6a"},
                      {VALUE_BINARY, "0x6B"}, {VALUE_BINARY, "0x6C"}, {VALUE_NULL, ""},
                      {VALUE_TEXT, "m"}});
}

TEST_F(DumpFixture, ValueCountMustMatchTheLayout) {
    open_dump("(1,2) (1,2,3) (1) (1,2,) (1, 2 ) ()");
    std::uint32_t t = add_table({{"a", "int"}, {"b", "int"}, {"c", "int"}}, {{0, 1}, {}});
    DecodedRecord r;
    EXPECT_TRUE(record_decode(state, t, entry_of("(1,2)"), r)) << state.message;
    EXPECT_TRUE(record_decode(state, t, entry_of("(1, 2 )"), r)) << state.message;
    expect_failure(t, entry_of("(1,2,3)"), LAYOUT);
    expect_failure(t, entry_of("(1)"), LAYOUT);
    expect_failure(t, entry_of("(1,2,)"), LAYOUT);
    // A layout without values fits only an empty tuple.
    ASSERT_TRUE(record_decode(state, t, entry_of("()", 1), r)) << state.message;
    ASSERT_EQ(r.value_count(), 3u);
    for (const Value& v : r.values) EXPECT_EQ(v.kind, VALUE_NOT_IN_INSERT);
    expect_failure(t, entry_of("(1)", 1), LAYOUT);
}

TEST_F(DumpFixture, EntriesThatDoNotFitTheTableOrTheDumpAreRefused) {
    open_dump("xx(1,2),(3,4) ('a) (5)");  // 22 bytes; "(5)" ends the dump
    std::uint32_t t = add_table({{"a", "int"}, {"b", "int"}}, {{0, 1}, {0}, {7}});
    struct {
        const char* what;
        std::uint32_t table;
        IndexEntry entry;
        const char* message;
    } cases[] = {
        {"table number", 1, {2, 5, 0}, "Ungültige Tabelle."},
        {"layout number", t, {2, 5, 3}, STALE},
        {"layout number with escape bit", t, {2, 5, 3 | LAYOUT_NO_BACKSLASH}, STALE},
        {"offset past the end", t, {23, 2, 0}, STALE},
        {"offset at the end", t, {22, 2, 0}, STALE},
        {"length below 2", t, {2, 1, 0}, STALE},
        {"zero length", t, {2, 0, 0}, STALE},
        {"length past the end", t, {19, 4, 1}, STALE},
        {"huge offset", t, {~0ULL - 1, 4, 0}, STALE},
        {"not at a parenthesis", t, {1, 6, 0}, MISMATCH},
        {"cut before the parenthesis", t, {2, 4, 0}, MISMATCH},
        {"covers two tuples", t, {2, 11, 0}, MISMATCH},
        {"value without end", t, {14, 4, 1}, BAD_FIELD},
        {"column out of range", t, {19, 3, 2}, BAD_FIELD},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        expect_failure(c.table, c.entry, c.message);
    }
    // An entry that ends exactly at the end of the dump is fine.
    DecodedRecord r;
    EXPECT_TRUE(record_decode(state, t, IndexEntry{19, 3, 1}, r)) << state.message;
    EXPECT_EQ(r.values[0].text, "5");
}

TEST_F(DumpFixture, AChangedDumpIsReportedAsStale) {
    open_dump("INSERT INTO t VALUES (1,'a'),(2,'b');");
    std::uint32_t t = add_table({{"a", "int"}, {"b", "text"}}, {{0, 1}});
    IndexEntry first = entry_of("(1,'a')");
    IndexEntry second = entry_of("(2,'b')");
    EXPECT_TRUE(dump_check_unchanged(state));

    // Same length, shifted content: the entry no longer meets a "(".
    rewrite("INSERT INTO t VALUES  (1,'a'),(2,'b')");
    expect_failure(t, first, MISMATCH);
    // Shorter dump: the second entry now points past its end.
    rewrite("INSERT INTO t VALUES (1,'a');");
    expect_failure(t, second, STALE);
}

TEST_F(DumpFixture, DumpUnchangedComparesSizeAndTimeOfTheOpenHandle) {
    open_dump("(1)");
    state.read_buffer_length = 3;
    EXPECT_TRUE(dump_check_unchanged(state));
    EXPECT_EQ(state.read_buffer_length, 3u);

    struct {
        const char* what;
        std::uint64_t size_delta;
        std::uint64_t time_delta;
    } cases[] = {{"size", 1, 0}, {"time", 0, 1}, {"both", 5, 10000000}};
    const std::uint64_t size = state.dump_size;
    const std::uint64_t time = state.dump_time;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        state.dump_size = size + c.size_delta;
        state.dump_time = time + c.time_delta;
        state.read_buffer_length = 3;
        state.message[0] = '\0';
        EXPECT_FALSE(dump_check_unchanged(state));
        EXPECT_STREQ(state.message, MISMATCH);
        EXPECT_EQ(state.read_buffer_length, 0u);
    }
}

#if !defined(_WIN32)
// POSIX gives the dump no write protection while it is open: another program can rewrite it
// behind the handle, and only the handle's own size and time can tell.
TEST_F(DumpFixture, DumpUnchangedNoticesARewriteBehindTheOpenHandle) {
    open_dump("(1)");
    test::write_file(path, "(12)");
    state.message[0] = '\0';
    EXPECT_FALSE(dump_check_unchanged(state));
    EXPECT_STREQ(state.message, MISMATCH);

    // Same size again, only the modification time differs.
    reopen();
    EXPECT_TRUE(dump_check_unchanged(state));
    test::write_file(path, "(34)");
    std::filesystem::last_write_time(test::fs_path(path),
                                     std::filesystem::last_write_time(test::fs_path(path)) -
                                         std::chrono::hours(1));
    state.message[0] = '\0';
    EXPECT_FALSE(dump_check_unchanged(state));
    EXPECT_STREQ(state.message, MISMATCH);
}
#endif

TEST_F(DumpFixture, ReadFailureIsReported) {
    open_dump("(1)");
    std::uint32_t t = add_table({{"a", "int"}}, {{0}});
    file_close(state.dump_handle);
    state.dump_handle = INVALID_FILE;
    expect_failure(t, IndexEntry{0, 3, 0}, READ_FAILED);
    EXPECT_EQ(state.read_buffer_length, 0u);
}

// The read window: small tuples come from one 1 MiB read; a tuple that crosses the end of the
// window refills it from its own offset; larger tuples bypass it.
TEST_F(DumpFixture, ReadWindowServesSmallTuplesAndRefillsAtItsEnd) {
    const std::uint64_t MiB = READ_BUFFER_SIZE;
    std::string bytes = "(1,'first')";
    const std::size_t near_end = MiB - 5;
    bytes.resize(near_end, ' ');
    const std::string straddling = "(2,'" + std::string(200, 's') + "')";
    bytes += straddling;
    const std::size_t exact_at = bytes.size() + 1;
    const std::string exact = "(3,'" + std::string(MiB - 6, 'e') + "')";
    bytes += " " + exact;
    const std::size_t big_at = bytes.size() + 1;
    const std::string big = "(4,'" + std::string(MiB - 5, 'b') + "')";
    bytes += " " + big;
    open_dump(bytes);
    std::uint32_t t = add_table({{"n", "int"}, {"s", "text"}}, {{0, 1}});

    DecodedRecord r;
    ASSERT_TRUE(record_decode(state, t, entry_of("(1,'first')"), r)) << state.message;
    EXPECT_EQ(r.values[1].text, "first");
    EXPECT_EQ(state.read_buffer_start, 0u);
    EXPECT_EQ(state.read_buffer_length, MiB);

    ASSERT_TRUE(record_decode(state, t, entry_of(straddling), r)) << state.message;
    EXPECT_EQ(r.values[1].text, std::string(200, 's'));
    EXPECT_EQ(state.read_buffer_start, near_end);

    // Exactly 1 MiB goes through the window; one byte more is read directly.
    ASSERT_EQ(exact.size(), MiB);
    ASSERT_TRUE(record_decode(state, t, IndexEntry{exact_at, MiB, 0}, r)) << state.message;
    EXPECT_EQ(r.tuple, exact);
    EXPECT_EQ(r.values[1].text.size(), MiB - 6);
    EXPECT_EQ(state.read_buffer_start, exact_at);
    EXPECT_EQ(state.read_buffer_length, MiB);

    ASSERT_EQ(big.size(), MiB + 1);
    const IndexEntry big_entry{big_at, static_cast<std::uint32_t>(big.size()), 0};
    ASSERT_TRUE(record_decode(state, t, big_entry, r)) << state.message;
    EXPECT_EQ(r.tuple, big);
    EXPECT_EQ(r.values[0].text, "4");
    EXPECT_EQ(state.read_buffer_start, exact_at);  // left as it was

    // Back to the start: the window no longer holds it and is refilled there.
    ASSERT_TRUE(record_decode(state, t, entry_of("(1,'first')"), r)) << state.message;
    EXPECT_EQ(r.values[1].text, "first");
    EXPECT_EQ(state.read_buffer_start, 0u);
}

TEST_F(DumpFixture, TuplesUpTo64MiBAreDecoded) {
    // "(7" + blanks + ")" of exactly 64 MiB, followed by one more ")" so that an entry one
    // byte longer still ends in a parenthesis inside the dump.
    path = dir.file("big.sql");
    test::write_big_file(path, "(7", ' ', MAX_DECODED_TUPLE - 3, "))");
    reopen();
    std::uint32_t t = add_table({{"n", "int"}}, {{0}});
    const auto limit = static_cast<std::uint32_t>(MAX_DECODED_TUPLE);
    expect_failure(t, IndexEntry{0, limit + 1, 0}, TOO_LARGE);
    DecodedRecord r;
    ASSERT_TRUE(record_decode(state, t, IndexEntry{0, limit, 0}, r)) << state.message;
    EXPECT_EQ(r.tuple_length(), MAX_DECODED_TUPLE);
    EXPECT_EQ(r.values[0].kind, VALUE_NUMBER);
    EXPECT_EQ(r.values[0].text, "7");
}

}  // namespace
}  // namespace kv
