// Position index writer and reader: entry format and file name, per-object files across
// interleaved statements, batch boundaries, truncation on re-import, final flush and failures.
#include "cache/index_file.h"

#include <gtest/gtest.h>

#include "cache/file_names.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

IndexEntry entry_for(std::uint64_t i) {
    return {1000 + i * 7, static_cast<std::uint32_t>(2 + i % 50), static_cast<std::uint32_t>(i % 3)};
}

// The bytes of an index file holding the given entries, by default entry_for(first..).
std::string entries(std::uint64_t first, std::uint64_t count, const IndexEntry* given = nullptr) {
    std::string out(count * INDEX_ENTRY_SIZE, '\0');
    for (std::uint64_t i = 0; i < count; ++i)
        index_entry_encode(given ? given[i] : entry_for(first + i), reinterpret_cast<unsigned char*>(&out[i * 16]));
    return out;
}

// A state with n objects whose index files live in dir, and a started writer.
struct Writing {
    explicit Writing(std::size_t n) {
        state.cache_folder = dir.str(), state.objects.assign(n, SchemaObject{});
        EXPECT_TRUE(index_writer_start(writer).ok());
    }
    // What the importer does per tuple: append, then raise the counts.
    bool append(std::uint32_t object, std::uint64_t i) {
        return index_append(state, writer, object, entry_for(i)).ok() && ++state.objects[object].entry_count;
    }
    std::string file(std::uint32_t object) { return test::read_file(cache_index_path(state, object)); }
    test::TempDir dir;
    DumpState state;
    IndexWriter writer;
};

// Entries are little-endian with the flag in the high bit; files are named by object number.
TEST(IndexFile, EntryBytesAndFileName) {
    const IndexEntry entry{0x0102030405060708ULL, 0x11223344u, LAYOUT_NO_BACKSLASH | 5u};
    const std::string bytes = entries(0, 1, &entry);
    EXPECT_EQ(bytes, std::string("\x08\x07\x06\x05\x04\x03\x02\x01\x44\x33\x22\x11\x05\x00\x00\x80", 16));
    const IndexEntry back = index_entry_decode(reinterpret_cast<const unsigned char*>(bytes.data()));
    EXPECT_EQ(entries(0, 1, &back), bytes);
    EXPECT_EQ(back.layout_word & LAYOUT_NUMBER_MASK, 5u);
    DumpState state;
    state.cache_folder = "/c/0123";
    EXPECT_EQ(cache_index_path(state, 42) + cache_index_path(state, 65535), "/c/0123/t000042.kvi/c/0123/t065535.kvi");
}

// Runs C, A, C, A, C of different lengths: each file holds its own entries in order, a file
// left by an earlier import is replaced (object 0) or, without entries now, left alone (1),
// and every written file is listed once, in the order of its first entry.
TEST(IndexFile, InterleavedObjectsKeepTheirOwnFilesAndReimportTruncates) {
    Writing w(3);
    test::write_file(cache_index_path(w.state, 0), std::string(16 * 10, 'x'));
    test::write_file(cache_index_path(w.state, 1), std::string(16 * 3, 'y'));
    std::string want[3] = {"", std::string(16 * 3, 'y'), ""};
    for (std::uint64_t run = 0, n = 0; run < 5; ++run)
        for (std::uint64_t k = 0; k < 3 + run; ++k, ++n) {
            ASSERT_TRUE(w.append(run % 2 == 0 ? 2 : 0, n));
            want[run % 2 == 0 ? 2 : 0] += entries(n, 1);
        }
    ASSERT_TRUE(index_finish(w.state, w.writer).ok());
    EXPECT_EQ((std::vector<std::uint32_t>{2, 0}), w.writer.written_objects);
    for (std::uint32_t i = 0; i < 3; ++i) EXPECT_EQ(w.file(i), want[i]) << i;
}

// Batches of 4096 entries are written as they fill, the rest at the finish; reads return any
// range and refuse one beyond the file.
TEST(IndexFile, BatchesAndReads) {
    for (std::uint64_t count : {1, 4095, 4096, 4097, 8192, 5000}) {
        Writing w(1);
        for (std::uint64_t i = 0; i < count; ++i) ASSERT_TRUE(w.append(0, i));
        EXPECT_EQ(w.file(0), entries(0, count / 4096 * 4096)) << count;
        EXPECT_EQ(count % INDEX_BATCH_ENTRIES, w.writer.pending) << count;
        ASSERT_TRUE(index_finish(w.state, w.writer).ok());
        EXPECT_EQ(w.file(0), entries(0, count)) << count;
        if (count != 5000) continue;
        FileGuard file(file_open(cache_index_path(w.state, 0), FILE_MODE_READ));
        std::vector<IndexEntry> out(4096);
        for (auto [first, n] : {std::pair<std::uint64_t, std::uint32_t>{900, 4096}, {4999, 1}}) {
            ASSERT_TRUE(index_read(file.get(), first, n, out.data()));
            EXPECT_EQ(entries(0, n, out.data()), entries(first, n)) << first;
        }
        EXPECT_TRUE(index_read(file.get(), 5000, 0, out.data()));
        EXPECT_FALSE(index_read(file.get(), 4999, 2, out.data()) || index_read(file.get(), 5000, 1, out.data()) ||
                     index_read(file.get(), UINT64_MAX / 8, 1, out.data()));
    }
}

// A failed final flush (object 0's file, closed on the switch, has a folder in its place) and
// a failed create report; an abandoned writer drops what is pending.
TEST(IndexFile, WriteFailuresReportAndAbandonDropsPending) {
    Writing w(2);
    ASSERT_TRUE(w.append(0, 0) && w.append(1, 1));
    const auto first = test::fs_path(cache_index_path(w.state, 0));
    std::filesystem::remove(first), std::filesystem::create_directory(first);
    EXPECT_EQ(test::text_of(index_finish(w.state, w.writer)),
              "Cache kann nicht geschrieben werden. Freien Speicherplatz prüfen.");
    EXPECT_EQ(w.file(1), entries(1, 1));
    Writing a(2);
    a.state.cache_folder = a.dir.file("missing-folder");
    EXPECT_EQ(test::text_of(index_append(a.state, a.writer, 0, entry_for(0))),
              "Indexdatei kann nicht angelegt werden.");
    a.state.cache_folder = a.dir.str();
    ASSERT_TRUE(a.append(1, 0));
    index_abandon(a.writer);
    EXPECT_EQ(INVALID_FILE, a.writer.file);
    EXPECT_EQ(a.file(1), "");
}

}  // namespace
}  // namespace kv
