// Cache manifest: exact file format, write/load round trip, and the loader's refusal of every
// damaged or hostile manifest without crashing, over-allocating or leaving half a schema.
#include "cache/manifest.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "tests/support/test_support.h"

// Largest single allocation while tracking is on: the loader must not size memory from a
// count that the file's bytes cannot back.
namespace alloc_probe {
std::atomic<bool> tracking{false};
std::atomic<std::size_t> largest{0};
}  // namespace alloc_probe

void* operator new(std::size_t size) {
    if (alloc_probe::tracking.load() && size > alloc_probe::largest.load()) {
        alloc_probe::largest.store(size);
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
    std::free(p);
}
__attribute__((noinline)) void operator delete[](void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    ::operator delete(p);
}

namespace kv {
namespace {

using test::TempDir;

constexpr std::uint64_t DUMP_SIZE = 1000000;
constexpr std::uint64_t DUMP_TIME = 133000000000000000ULL;
constexpr std::uint64_t FINGERPRINT = 0x0123456789abcdefULL;
constexpr const char* WRITE_FAILED = "Cache-Metadaten konnten nicht sicher gespeichert werden.";

// Little-endian encoder for hand-built manifests.
struct Bytes {
    std::string data;
    Bytes& u32(std::uint32_t v) {
        for (int i = 0; i < 4; ++i) data.push_back(static_cast<char>(v >> (8 * i)));
        return *this;
    }
    Bytes& u64(std::uint64_t v) {
        for (int i = 0; i < 8; ++i) data.push_back(static_cast<char>(v >> (8 * i)));
        return *this;
    }
    Bytes& str(const std::string& s) {
        u32(static_cast<std::uint32_t>(s.size()));
        data += s;
        return *this;
    }
    Bytes& header(std::uint64_t total, std::uint32_t objects, std::uint32_t notes,
                  const char* magic = "KVDUMPIDX04") {
        data.append(magic, 11);
        data.push_back('\0');
        return u64(DUMP_SIZE).u64(DUMP_TIME).u64(FINGERPRINT).u64(total).u32(objects).u32(notes);
    }
};

void set_identity(DumpState& state, const TempDir& dir) {
    state.cache_folder = dir.str();
    state.dump_size = DUMP_SIZE;
    state.dump_time = DUMP_TIME;
    state.fingerprint = FINGERPRINT;
}

void write_index(const DumpState& state, std::uint32_t object, std::uint64_t entries) {
    test::write_file(index_file_path(state, object), std::string(entries * 16, '\x5a'));
}

// A database, a table with rows, a view, a routine and an empty table, with notes.
void build_schema(DumpState& state) {
    state.objects.resize(5);
    SchemaObject& db = state.objects[0];
    db.database_name = "shop";
    db.kind = OBJECT_DATABASE;

    SchemaObject& orders = state.objects[1];
    orders.database_name = "shop";
    orders.object_name = "orders";
    orders.create_text = "CREATE TABLE `orders` (id INT, note TEXT, `ü` BLOB)";
    orders.columns = {{"id", "INT"}, {"note", "TEXT"}, {"ü", "(Definition nicht im Dump)"}};
    orders.layouts = {ColumnLayout{{0, 1, 2}}, ColumnLayout{{2, 0}}, ColumnLayout{{}}};
    orders.entry_count = 5;
    orders.tuple_bytes = 120;
    orders.kind = OBJECT_TABLE;

    SchemaObject& view = state.objects[2];
    view.database_name = "shop";
    view.object_name = "v_orders";
    view.create_text = "CREATE VIEW v_orders AS SELECT 1";
    view.columns = {{"x", ""}};
    view.kind = OBJECT_VIEW;

    SchemaObject& routine = state.objects[3];
    routine.database_name = "shop";
    routine.object_name = "p";
    routine.kind = OBJECT_ROUTINE;

    SchemaObject& empty = state.objects[4];
    empty.database_name = "shop";
    empty.object_name = "empty";
    empty.columns = {{"a", "INT"}};
    empty.kind = OBJECT_TABLE;

    state.total_entries = 5;
    state.import_notes = "Hinweis eins 100%\r\nHinweis zwei\r\n";
    state.note_count = 3;
    write_index(state, 1, 5);
}

void expect_same_schema(const DumpState& a, const DumpState& b) {
    ASSERT_EQ(a.objects.size(), b.objects.size());
    for (std::size_t i = 0; i < a.objects.size(); ++i) {
        const SchemaObject& x = a.objects[i];
        const SchemaObject& y = b.objects[i];
        EXPECT_EQ(x.database_name, y.database_name) << i;
        EXPECT_EQ(x.object_name, y.object_name) << i;
        EXPECT_EQ(x.create_text, y.create_text) << i;
        EXPECT_EQ(x.kind, y.kind) << i;
        EXPECT_EQ(x.entry_count, y.entry_count) << i;
        EXPECT_EQ(x.tuple_bytes, y.tuple_bytes) << i;
        ASSERT_EQ(x.columns.size(), y.columns.size()) << i;
        for (std::size_t c = 0; c < x.columns.size(); ++c) {
            EXPECT_EQ(x.columns[c].name, y.columns[c].name);
            EXPECT_EQ(x.columns[c].type_text, y.columns[c].type_text);
        }
        ASSERT_EQ(x.layouts.size(), y.layouts.size()) << i;
        for (std::size_t l = 0; l < x.layouts.size(); ++l) {
            EXPECT_EQ(x.layouts[l].columns, y.layouts[l].columns) << i << "/" << l;
        }
    }
}

// Loads into a fresh state with the test identity; on failure checks that nothing is left.
bool load_fresh(const TempDir& dir, DumpState& loaded) {
    set_identity(loaded, dir);
    bool ok = manifest_load(loaded);
    if (!ok) {
        EXPECT_TRUE(loaded.objects.empty());
        EXPECT_TRUE(loaded.import_notes.empty());
        EXPECT_EQ(0u, loaded.note_count);
        EXPECT_EQ(0u, loaded.total_entries);
        EXPECT_EQ(0u, loaded.loaded_from_cache);
        EXPECT_STREQ("", loaded.message);
    }
    return ok;
}

struct ProgressLog {
    int calls = 0;
    std::uint64_t done = 0, total = 0, count = 0;
    std::string label;
};

int record_progress(void* user, std::uint64_t done, std::uint64_t total, std::uint64_t count,
                    const char* label) {
    auto* log = static_cast<ProgressLog*>(user);
    ++log->calls;
    log->done = done;
    log->total = total;
    log->count = count;
    log->label = label;
    return 1;
}

TEST(ManifestTest, RoundTripRestoresTheWrittenStateAndReportsReady) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    build_schema(state);
    ProgressLog log;
    ProgressSink sink;
    sink.report = record_progress;
    sink.user = &log;
    ASSERT_TRUE(manifest_write(state, &sink));
    EXPECT_TRUE(test::file_exists(dir.file("manifest.kvd")));
    EXPECT_FALSE(test::file_exists(dir.file("manifest.part")));
    EXPECT_EQ(1, log.calls);
    EXPECT_EQ(DUMP_SIZE, log.done);
    EXPECT_EQ(DUMP_SIZE, log.total);
    EXPECT_EQ(5u, log.count);
    EXPECT_EQ("Bereit", log.label);

    DumpState loaded;
    ASSERT_TRUE(load_fresh(dir, loaded));
    EXPECT_EQ(1u, loaded.loaded_from_cache);
    EXPECT_EQ(5u, loaded.total_entries);
    EXPECT_EQ(3u, loaded.note_count);
    EXPECT_EQ(state.import_notes, loaded.import_notes);
    expect_same_schema(state, loaded);
}

TEST(ManifestTest, FileFormatIsExactlyTheDocumentedLayout) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    state.objects.resize(1);
    SchemaObject& t = state.objects[0];
    t.database_name = "d";
    t.object_name = "t";
    t.create_text = "CREATE";
    t.columns = {{"a", "INT"}, {"b", ""}};
    t.layouts = {ColumnLayout{{1, 0}}};
    t.entry_count = 2;
    t.tuple_bytes = 9;
    state.total_entries = 2;
    state.note_count = 7;
    state.import_notes = "N\r\n";
    ASSERT_TRUE(manifest_write(state, nullptr));

    Bytes expected;
    expected.header(2, 1, 7).str("N\r\n");
    expected.str("d").str("t").str("CREATE").u32(0).u64(2).u64(9).u32(2);
    expected.str("a").str("INT").str("b").str("");
    expected.u32(1).u32(2).u32(1).u32(0);
    EXPECT_EQ(expected.data, test::read_file(dir.file("manifest.kvd")));
}

TEST(ManifestTest, SchemaWithoutRowsLoadsWithoutIndexFiles) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    build_schema(state);
    state.objects[1].entry_count = 0;
    state.total_entries = 0;
    std::filesystem::remove(test::fs_path(index_file_path(state, 1)));
    ASSERT_TRUE(manifest_write(state, nullptr));
    DumpState loaded;
    ASSERT_TRUE(load_fresh(dir, loaded));
    EXPECT_EQ(5u, loaded.objects.size());

    DumpState none;
    set_identity(none, dir);
    ASSERT_TRUE(manifest_write(none, nullptr));
    DumpState loaded_none;
    ASSERT_TRUE(load_fresh(dir, loaded_none));
    EXPECT_TRUE(loaded_none.objects.empty());
}

TEST(ManifestTest, RejectsSchemasThatBreakTheRules) {
    struct Case {
        const char* name;
        std::function<void(DumpState&)> mutate;
    };
    const Case cases[] = {
        {"repeated column in a layout",
         [](DumpState& s) {
             s.objects[1].layouts[0].columns = {0, 1, 0};
         }},
        {"column number == column count",
         [](DumpState& s) { s.objects[1].layouts[1].columns = {3}; }},
        {"more values than columns",
         [](DumpState& s) {
             s.objects[1].layouts[0].columns = {0, 1, 2, 0};
         }},
        {"entries on a view",
         [](DumpState& s) {
             s.objects[2].layouts = {ColumnLayout{{0}}};
             s.objects[2].entry_count = 1;
             s.total_entries = 6;
             write_index(s, 2, 1);
         }},
        {"entries without a layout",
         [](DumpState& s) {
             s.objects[4].entry_count = 1;
             s.total_entries = 6;
             write_index(s, 4, 1);
         }},
        {"index file 16 bytes short", [](DumpState& s) { write_index(s, 1, 4); }},
        {"index file 16 bytes long", [](DumpState& s) { write_index(s, 1, 6); }},
        {"index file missing",
         [](DumpState& s) { std::filesystem::remove(test::fs_path(index_file_path(s, 1))); }},
        {"total differs from the sum", [](DumpState& s) { s.total_entries = 4; }},
        {"entries above dump size", [](DumpState& s) { s.objects[1].entry_count = DUMP_SIZE + 1; }},
        {"tuple bytes above dump size",
         [](DumpState& s) { s.objects[1].tuple_bytes = DUMP_SIZE + 1; }},
        {"kind 4", [](DumpState& s) { s.objects[3].kind = static_cast<ObjectKind>(4); }},
        {"name of 8,193 bytes", [](DumpState& s) { s.objects[1].object_name.assign(8193, 'n'); }},
        {"column name of 8,193 bytes",
         [](DumpState& s) { s.objects[1].columns[0].name.assign(8193, 'c'); }},
        {"CREATE text over 2 MiB",
         [](DumpState& s) { s.objects[1].create_text.assign(2097153, 'x'); }},
        {"type text over 2 MiB",
         [](DumpState& s) { s.objects[4].columns[0].type_text.assign(2097153, 'x'); }},
        {"notes over 65,536 bytes", [](DumpState& s) { s.import_notes.assign(65537, 'h'); }},
        {"NUL inside a name",
         [](DumpState& s) { s.objects[1].object_name = std::string("or\0ders", 7); }},
        {"NUL inside notes", [](DumpState& s) { s.import_notes = std::string("a\0\r\n", 4); }},
        {"4,097 columns", [](DumpState& s) { s.objects[4].columns.resize(4097); }},
        {"65,537 layouts", [](DumpState& s) { s.objects[4].layouts.resize(65537); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        DumpState state;
        set_identity(state, dir);
        build_schema(state);
        c.mutate(state);
        ASSERT_TRUE(manifest_write(state, nullptr));
        DumpState loaded;
        EXPECT_FALSE(load_fresh(dir, loaded));
    }
}

TEST(ManifestTest, AcceptsValuesAtTheirLimits) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    build_schema(state);
    state.objects[1].object_name.assign(8192, 'n');
    state.objects[1].create_text.assign(2097152, 'x');
    state.import_notes.assign(65536, 'h');
    state.objects[4].columns.resize(4096);
    std::vector<std::uint32_t> all(4096);
    for (std::uint32_t i = 0; i < 4096; ++i) all[i] = 4095 - i;
    state.objects[4].layouts = {ColumnLayout{all}, ColumnLayout{all}};
    state.objects[3].layouts.resize(65536);
    ASSERT_TRUE(manifest_write(state, nullptr));
    DumpState loaded;
    ASSERT_TRUE(load_fresh(dir, loaded));
    expect_same_schema(state, loaded);
}

TEST(ManifestTest, EntryCountThatWouldWrapTheSizeCheckIsRejected) {
    // 2^60 entries times 16 bytes wraps to 0 in 64 bits: an empty index file must not pass.
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    state.dump_size = std::uint64_t{1} << 62;
    build_schema(state);
    state.objects[1].entry_count = std::uint64_t{1} << 60;
    state.total_entries = std::uint64_t{1} << 60;
    write_index(state, 1, 0);
    ASSERT_TRUE(manifest_write(state, nullptr));
    DumpState loaded;
    set_identity(loaded, dir);
    loaded.dump_size = std::uint64_t{1} << 62;
    EXPECT_FALSE(manifest_load(loaded));
    EXPECT_TRUE(loaded.objects.empty());
}

TEST(ManifestTest, IdentityOrMagicMismatchLeavesTheStateUntouched) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    build_schema(state);
    ASSERT_TRUE(manifest_write(state, nullptr));
    std::string good = test::read_file(dir.file("manifest.kvd"));

    struct Case {
        const char* name;
        std::function<void(DumpState&, std::string&)> mutate;
    };
    const Case cases[] = {
        {"magic X03", [](DumpState&, std::string& f) { f[10] = '3'; }},
        {"magic without NUL", [](DumpState&, std::string& f) { f[11] = ' '; }},
        {"dump size one byte more", [](DumpState& s, std::string&) { s.dump_size += 1; }},
        {"dump time differs", [](DumpState& s, std::string&) { s.dump_time -= 1; }},
        {"fingerprint differs", [](DumpState& s, std::string&) { s.fingerprint ^= 1; }},
        {"65,537 objects",
         [](DumpState&, std::string& f) {
             f[44] = 1;
             f[45] = 0;
             f[46] = 1;
             f[47] = 0;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string bytes = good;
        DumpState loaded;
        set_identity(loaded, dir);
        c.mutate(loaded, bytes);
        test::write_file(dir.file("manifest.kvd"), bytes);
        loaded.objects.resize(2);
        loaded.import_notes = "alt\r\n";
        loaded.note_count = 9;
        loaded.total_entries = 77;
        EXPECT_FALSE(manifest_load(loaded));
        EXPECT_EQ(2u, loaded.objects.size());
        EXPECT_EQ("alt\r\n", loaded.import_notes);
        EXPECT_EQ(9u, loaded.note_count);
        EXPECT_EQ(77u, loaded.total_entries);
        EXPECT_EQ(0u, loaded.loaded_from_cache);
    }
}

TEST(ManifestTest, ExtraOrMissingBytesAreRejectedAtEveryCut) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    build_schema(state);
    ASSERT_TRUE(manifest_write(state, nullptr));
    std::string good = test::read_file(dir.file("manifest.kvd"));

    test::write_file(dir.file("manifest.kvd"), good + '\0');
    DumpState appended;
    EXPECT_FALSE(load_fresh(dir, appended));

    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        SCOPED_TRACE(cut);
        test::write_file(dir.file("manifest.kvd"), good.substr(0, cut));
        DumpState loaded;
        EXPECT_FALSE(load_fresh(dir, loaded));
    }
    test::write_file(dir.file("manifest.kvd"), good);
    DumpState loaded;
    EXPECT_TRUE(load_fresh(dir, loaded));
}

TEST(ManifestTest, HugeCountsInATinyFileAreRejected) {
    const std::string object_head = Bytes().str("d").str("t").str("").u32(0).u64(0).u64(0).data;
    const std::string cases[] = {
        // 60-byte file claiming 65,536 objects
        Bytes().header(0, 65536, 0).str("").data,
        // an object that ends after its strings
        Bytes().header(0, 1, 0).str("").data + Bytes().str("").str("").str("").data,
        // 4,096 columns announced, none present
        Bytes().header(0, 1, 0).str("").data + object_head + Bytes().u32(4096).data,
        // 65,536 layouts announced, none present
        Bytes().header(0, 1, 0).str("").data + object_head +
            Bytes().u32(1).str("a").str("b").u32(65536).data,
        // a layout of 4,096 values announced, none present
        Bytes().header(0, 1, 0).str("").data + object_head + Bytes().u32(4096).data +
            std::string(8 * 4096, '\0') + Bytes().u32(1).u32(4096).data,
        // notes of 4 GiB announced
        Bytes().header(0, 0, 0).u32(0xFFFFFFFFu).data,
        // a database name of 2 GiB announced
        Bytes().header(0, 1, 0).str("").data + Bytes().u32(0x7FFFFFFFu).data,
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        TempDir dir;
        test::write_file(dir.file("manifest.kvd"), cases[i]);
        DumpState loaded;
        alloc_probe::largest = 0;
        alloc_probe::tracking = true;
        bool ok = load_fresh(dir, loaded);
        alloc_probe::tracking = false;
        EXPECT_FALSE(ok);
        // The 64 KiB read buffer, or memory in proportion to the bytes really present.
        EXPECT_LE(alloc_probe::largest.load(), std::max<std::size_t>(65536, 16 * cases[i].size()));
    }
}

TEST(ManifestTest, ObjectCountLimitIsInclusive) {
    for (std::uint32_t count : {65536u, 65537u}) {
        SCOPED_TRACE(count);
        TempDir dir;
        DumpState state;
        set_identity(state, dir);
        state.objects.resize(count);
        for (SchemaObject& o : state.objects) o.kind = OBJECT_ROUTINE;
        ASSERT_TRUE(manifest_write(state, nullptr));
        DumpState loaded;
        EXPECT_EQ(count == 65536u, load_fresh(dir, loaded));
        EXPECT_EQ(count == 65536u ? 65536u : 0u, loaded.objects.size());
    }
}

TEST(ManifestTest, FailedWriteLeavesNoFilesAndReports) {
    {
        TempDir dir;
        DumpState state;
        set_identity(state, dir);
        build_schema(state);
        state.cache_folder = dir.file("gone");
        EXPECT_FALSE(manifest_write(state, nullptr));
        EXPECT_STREQ(WRITE_FAILED, state.message);
    }
    {
        // The final move fails: a non-empty folder stands where the manifest goes.
        TempDir dir;
        DumpState state;
        set_identity(state, dir);
        build_schema(state);
        std::filesystem::create_directory(test::fs_path(dir.file("manifest.kvd")));
        test::write_file(dir.file("manifest.kvd/x"), "x");
        EXPECT_FALSE(manifest_write(state, nullptr));
        EXPECT_STREQ(WRITE_FAILED, state.message);
        EXPECT_FALSE(test::file_exists(dir.file("manifest.part")));
    }
}

TEST(ManifestTest, RemoveDeletesTheManifestOnly) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    build_schema(state);
    ASSERT_TRUE(manifest_write(state, nullptr));
    manifest_remove(state);
    EXPECT_FALSE(test::file_exists(dir.file("manifest.kvd")));
    EXPECT_TRUE(test::file_exists(index_file_path(state, 1)));
    DumpState loaded;
    EXPECT_FALSE(load_fresh(dir, loaded));
    manifest_remove(state);  // nothing to remove: harmless
}

}  // namespace
}  // namespace kv
