// Position index writer and reader: entry format, per-object files across interleaved
// statements, batch boundaries, truncation on re-import, final flush bookkeeping.
#include "cache/index_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/support/test_support.h"

namespace kv {
namespace {

using test::TempDir;

// A state with n table objects whose index files live in dir.
void make_state(DumpState& state, const TempDir& dir, std::size_t n) {
    state.cache_folder = dir.str();
    state.objects.assign(n, SchemaObject{});
}

IndexEntry entry_for(std::uint64_t i) {
    IndexEntry e;
    e.offset = 1000 + i * 7;
    e.length = static_cast<std::uint32_t>(2 + i % 50);
    e.layout_word = static_cast<std::uint32_t>(i % 3);
    return e;
}

// What the importer does per tuple: append, then raise the counts.
bool append(DumpState& state, IndexWriter& writer, std::uint32_t object, const IndexEntry& e) {
    if (!index_append(state, writer, object, e)) return false;
    state.objects[object].entry_count += 1;
    state.objects[object].tuple_bytes += e.length;
    state.total_entries += 1;
    return true;
}

std::vector<IndexEntry> read_all(const std::string& path) {
    std::string bytes = test::read_file(path);
    std::vector<IndexEntry> out;
    for (std::size_t at = 0; at + INDEX_ENTRY_SIZE <= bytes.size(); at += INDEX_ENTRY_SIZE) {
        out.push_back(
            index_entry_decode(reinterpret_cast<const unsigned char*>(bytes.data() + at)));
    }
    return out;
}

bool same(const IndexEntry& a, const IndexEntry& b) {
    return a.offset == b.offset && a.length == b.length && a.layout_word == b.layout_word;
}

TEST(IndexEntryTest, LittleEndianLayoutAndHighBit) {
    IndexEntry e;
    e.offset = 0x0102030405060708ULL;
    e.length = 0x11223344u;
    e.layout_word = LAYOUT_NO_BACKSLASH | 5u;
    unsigned char bytes[INDEX_ENTRY_SIZE];
    index_entry_encode(e, bytes);
    const unsigned char expected[INDEX_ENTRY_SIZE] = {8,    7,    6,    5,    4, 3, 2, 1,
                                                      0x44, 0x33, 0x22, 0x11, 5, 0, 0, 0x80};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof bytes));
    IndexEntry back = index_entry_decode(bytes);
    EXPECT_TRUE(same(e, back));
    EXPECT_EQ(5u, back.layout_word & LAYOUT_NUMBER_MASK);
    EXPECT_NE(0u, back.layout_word & LAYOUT_NO_BACKSLASH);
}

// Objects are written in runs that alternate; each file holds its own entries in order, and
// every written file is listed once, in the order of its first entry.
TEST(IndexWriterTest, InterleavedObjectsKeepTheirOwnFilesInOrder) {
    TempDir dir;
    DumpState state;
    make_state(state, dir, 3);
    IndexWriter writer;
    ASSERT_TRUE(index_writer_start(state, writer));
    std::vector<IndexEntry> want[3];
    std::uint64_t n = 0;
    // C, A, C, A, C in runs of different lengths; object 1 gets nothing.
    for (int run = 0; run < 5; ++run) {
        const std::uint32_t object = run % 2 == 0 ? 2 : 0;
        for (int k = 0; k < 3 + run; ++k) {
            want[object].push_back(entry_for(n++));
            ASSERT_TRUE(append(state, writer, object, want[object].back()));
        }
    }
    ASSERT_TRUE(index_finish(state, writer));
    EXPECT_EQ((std::vector<std::uint32_t>{2, 0}), writer.written_objects);
    EXPECT_FALSE(test::file_exists(index_file_path(state, 1)));
    for (std::uint32_t object : {0u, 2u}) {
        const auto got = read_all(index_file_path(state, object));
        ASSERT_EQ(want[object].size(), got.size());
        for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(same(want[object][i], got[i]));
    }
}

TEST(IndexWriterTest, BatchBoundaries) {
    struct Case {
        std::uint64_t entries;
        std::uint64_t bytes_before_finish;
        std::uint64_t bytes_after_finish;
    };
    const Case cases[] = {
        {1, 0, 16},
        {4095, 0, 65520},
        {4096, 65536, 65536},
        {4097, 65536, 65552},
        {8192, 131072, 131072},
    };
    for (const Case& c : cases) {
        TempDir dir;
        DumpState state;
        make_state(state, dir, 1);
        IndexWriter writer;
        ASSERT_TRUE(index_writer_start(state, writer));
        for (std::uint64_t i = 0; i < c.entries; ++i) {
            ASSERT_TRUE(append(state, writer, 0, entry_for(i)));
        }
        std::string path = index_file_path(state, 0);
        EXPECT_EQ(c.bytes_before_finish, test::read_file(path).size()) << c.entries;
        EXPECT_EQ(c.entries % INDEX_BATCH_ENTRIES, writer.pending) << c.entries;
        ASSERT_TRUE(index_finish(state, writer));
        EXPECT_EQ(0u, writer.pending);
        auto got = read_all(path);
        ASSERT_EQ(c.bytes_after_finish / 16, got.size()) << c.entries;
        EXPECT_TRUE(same(entry_for(c.entries - 1), got.back())) << c.entries;
    }
}

TEST(IndexWriterTest, ReimportTruncatesOldFileOnFirstEntry) {
    TempDir dir;
    DumpState state;
    make_state(state, dir, 2);
    test::write_file(index_file_path(state, 0), std::string(16 * 10, 'x'));
    test::write_file(index_file_path(state, 1), std::string(16 * 3, 'y'));
    IndexWriter writer;
    ASSERT_TRUE(index_writer_start(state, writer));
    ASSERT_TRUE(append(state, writer, 0, entry_for(0)));
    ASSERT_TRUE(append(state, writer, 0, entry_for(1)));
    ASSERT_TRUE(index_finish(state, writer));
    auto got = read_all(index_file_path(state, 0));
    ASSERT_EQ(2u, got.size());
    EXPECT_TRUE(same(entry_for(0), got[0]));
    // A file whose object has no entries any more stays untouched (and is never read).
    EXPECT_EQ(48u, test::read_file(index_file_path(state, 1)).size());
    EXPECT_EQ((std::vector<std::uint32_t>{0}), writer.written_objects);
}

TEST(IndexWriterTest, FinishFailsWhenAWrittenFileCannotBeReopenedForItsFlush) {
    TempDir dir;
    DumpState state;
    make_state(state, dir, 2);
    IndexWriter writer;
    ASSERT_TRUE(index_writer_start(state, writer));
    ASSERT_TRUE(append(state, writer, 0, entry_for(0)));
    ASSERT_TRUE(append(state, writer, 1, entry_for(1)));
    // The file of object 0 was closed on the switch; a folder in its place makes its reopen for
    // the flush fail, which is reported as a cache write failure.
    std::filesystem::remove(test::fs_path(index_file_path(state, 0)));
    std::filesystem::create_directory(test::fs_path(index_file_path(state, 0)));
    state.message[0] = '\0';
    EXPECT_FALSE(index_finish(state, writer));
    EXPECT_STREQ("Cache kann nicht geschrieben werden. Freien Speicherplatz prüfen.", state.message);
    EXPECT_EQ(16u, test::read_file(index_file_path(state, 1)).size());
}

TEST(IndexWriterTest, OpenFailureReportsAndAbandonDropsPending) {
    TempDir dir;
    DumpState state;
    make_state(state, dir, 2);
    state.cache_folder = dir.file("missing-folder");
    IndexWriter writer;
    ASSERT_TRUE(index_writer_start(state, writer));
    EXPECT_FALSE(index_append(state, writer, 0, entry_for(0)));
    EXPECT_STREQ("Indexdatei kann nicht angelegt werden.", state.message);

    state.cache_folder = dir.str();
    ASSERT_TRUE(append(state, writer, 1, entry_for(0)));
    index_abandon(writer);
    EXPECT_EQ(INVALID_FILE, writer.file);
    EXPECT_EQ(0u, test::read_file(index_file_path(state, 1)).size());
}

TEST(IndexReadTest, ReadsRangesAndRefusesShortFiles) {
    TempDir dir;
    DumpState state;
    make_state(state, dir, 1);
    IndexWriter writer;
    ASSERT_TRUE(index_writer_start(state, writer));
    for (std::uint64_t i = 0; i < 5000; ++i) ASSERT_TRUE(append(state, writer, 0, entry_for(i)));
    ASSERT_TRUE(index_finish(state, writer));

    FileGuard file(file_open(index_file_path(state, 0), FILE_MODE_READ));
    ASSERT_TRUE(file.valid());
    std::vector<IndexEntry> out(4096);
    ASSERT_TRUE(index_read(file.get(), 900, 4096, out.data()));
    for (std::uint32_t i = 0; i < 4096; ++i) ASSERT_TRUE(same(entry_for(900 + i), out[i])) << i;
    ASSERT_TRUE(index_read(file.get(), 4999, 1, out.data()));
    EXPECT_TRUE(same(entry_for(4999), out[0]));
    EXPECT_TRUE(index_read(file.get(), 5000, 0, out.data()));
    EXPECT_FALSE(index_read(file.get(), 4999, 2, out.data()));
    EXPECT_FALSE(index_read(file.get(), 5000, 1, out.data()));
    EXPECT_FALSE(index_read(file.get(), UINT64_MAX / 8, 1, out.data()));
}

}  // namespace
}  // namespace kv
