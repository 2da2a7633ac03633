// The dump state record: safe teardown, index file names, import note limits.
#include <gtest/gtest.h>

#include <string>

#include "foundation/dump_state.h"

using namespace kv;

TEST(DumpState, DestroyOnEmptyRecordLeavesItZeroed) {
    DumpState state;
    dump_state_destroy(state);
    EXPECT_EQ(state.dump_handle, INVALID_FILE);
    EXPECT_TRUE(state.objects.empty());
    EXPECT_EQ(state.message[0], '\0');
    dump_state_destroy(state);  // twice is harmless
}

TEST(DumpState, ClearSchemaResetsCounts) {
    DumpState state;
    state.objects.resize(3);
    state.objects[1].columns.push_back({"id", "int"});
    state.total_entries = 42;
    state.note_count = 2;
    dump_state_clear_schema(state);
    EXPECT_TRUE(state.objects.empty());
    EXPECT_EQ(state.total_entries, 0u);
    EXPECT_EQ(state.note_count, 2u);  // notes are not part of the schema
}

TEST(DumpState, IndexFilePath) {
    DumpState state;
    state.cache_folder = "/c/0123456789abcdef";
    EXPECT_EQ(index_file_path(state, 0), "/c/0123456789abcdef/t000000.kvi");
    EXPECT_EQ(index_file_path(state, 42), "/c/0123456789abcdef/t000042.kvi");
    EXPECT_EQ(index_file_path(state, 65535), "/c/0123456789abcdef/t065535.kvi");
}

TEST(DumpState, ImportNotesStopGrowingAtLimitButCountRises) {
    DumpState state;
    import_note_append(state, "Hinweis");
    EXPECT_EQ(state.import_notes, "Hinweis\r\n");
    EXPECT_EQ(state.note_count, 1u);

    state.import_notes.assign(65532, 'n');
    import_note_append(state, "x");  // 65532 + 1 + 4 > 65536: dropped
    EXPECT_EQ(state.import_notes.size(), 65532u);
    EXPECT_EQ(state.note_count, 2u);

    import_note_append(state, "");  // 65532 + 0 + 4 = 65536 still fits
    EXPECT_EQ(state.import_notes.size(), 65534u);
    EXPECT_EQ(state.note_count, 3u);
}
