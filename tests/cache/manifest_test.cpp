// Cache manifest: exact file format, write/load round trip, and the loader's refusal of every
// damaged or hostile manifest without crashing, over-allocating or leaving half a schema.
#include "cache/manifest.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "tests/support/test_support.h"

// Largest single allocation and peak of the bytes held while tracking is on: the loader must
// not size memory from a count that the file's bytes cannot back. Blocks are counted by their
// usable size, so a block freed by another allocator's delete still balances.
namespace alloc_probe {
std::atomic<bool> tracking{false};
std::atomic<std::size_t> largest{0};
std::atomic<std::int64_t> held{0};  // bytes allocated minus bytes freed since start()
std::atomic<std::int64_t> peak{0};

void start() {
    largest = 0;
    held = 0;
    peak = 0;
    tracking = true;
}

std::int64_t usable(void* p) {
#if defined(_WIN32)
    return static_cast<std::int64_t>(_msize(p));
#else
    return static_cast<std::int64_t>(malloc_usable_size(p));
#endif
}
}  // namespace alloc_probe

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    if (alloc_probe::tracking.load()) {
        if (size > alloc_probe::largest.load()) alloc_probe::largest.store(size);
        std::int64_t now = alloc_probe::held += alloc_probe::usable(p);
        if (now > alloc_probe::peak.load()) alloc_probe::peak.store(now);
    }
    return p;
}
void* operator new[](std::size_t size) {
    return ::operator new(size);
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
    if (p != nullptr && alloc_probe::tracking.load()) alloc_probe::held -= alloc_probe::usable(p);
    std::free(p);
}
__attribute__((noinline)) void operator delete[](void* p) noexcept {
    ::operator delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    ::operator delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    ::operator delete(p);
}
// The nothrow forms must come from the same allocator, or a nothrow new[] would be freed by
// the replaced delete[] (a mismatch that AddressSanitizer reports).
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return ::operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    ::operator delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
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
    state.objects = {
        {"shop", "", "", {}, {}, 0, 0, OBJECT_DATABASE},
        {"shop", "orders", "CREATE TABLE `orders` (id INT, note TEXT, `ü` BLOB)",
         {{"id", "INT"}, {"note", "TEXT"}, {"ü", "(Definition nicht im Dump)"}},
         {ColumnLayout{{0, 1, 2}}, ColumnLayout{{2, 0}}, ColumnLayout{{}}}, 5, 120, OBJECT_TABLE},
        {"shop", "v_orders", "CREATE VIEW v_orders AS SELECT 1", {{"x", ""}}, {}, 0, 0, OBJECT_VIEW},
        {"shop", "p", "", {}, {}, 0, 0, OBJECT_ROUTINE},
        {"shop", "empty", "", {{"a", "INT"}}, {}, 0, 0, OBJECT_TABLE},
    };
    state.total_entries = 5;
    state.import_notes = "Hinweis eins 100%\r\nHinweis zwei\r\n";
    state.note_count = 3;
    write_index(state, 1, 5);
}

// The manifest bytes of state (written to a folder of its own): two states with the same bytes
// hold the same schema, counts and notes, field for field.
std::string serialized(DumpState& state) {
    TempDir other;
    const std::string folder = state.cache_folder;
    state.cache_folder = other.str();
    EXPECT_TRUE(manifest_write(state, nullptr));
    state.cache_folder = folder;
    return test::read_file(other.file("manifest.kvd"));
}

// A state with the test identity and the schema of build_schema, its cache in dir.
struct Cache {
    Cache() {
        set_identity(state, dir);
        build_schema(state);
    }
    TempDir dir;
    DumpState state;
};

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
    *log = {log->calls + 1, done, total, count, label};
    return 1;
}

TEST(ManifestTest, RoundTripRestoresTheWrittenStateAndReportsReady) {
    Cache c;
    ProgressLog log;
    ProgressSink sink{record_progress, &log, 0};
    ASSERT_TRUE(manifest_write(c.state, &sink));
    EXPECT_TRUE(test::file_exists(c.dir.file("manifest.kvd")));
    EXPECT_FALSE(test::file_exists(c.dir.file("manifest.part")));
    EXPECT_EQ(1, log.calls);
    EXPECT_EQ(DUMP_SIZE, log.done);
    EXPECT_EQ(DUMP_SIZE, log.total);
    EXPECT_EQ(5u, log.count);
    EXPECT_EQ("Bereit", log.label);

    DumpState loaded;
    ASSERT_TRUE(load_fresh(c.dir, loaded));
    EXPECT_EQ(1u, loaded.loaded_from_cache);
    EXPECT_EQ(5u, loaded.objects.size());
    EXPECT_EQ(serialized(c.state), serialized(loaded));
}

TEST(ManifestTest, FileFormatIsExactlyTheDocumentedLayout) {
    TempDir dir;
    DumpState state;
    set_identity(state, dir);
    state.objects = {{"d", "t", "CREATE", {{"a", "INT"}, {"b", ""}}, {ColumnLayout{{1, 0}}}, 2, 9,
                      OBJECT_TABLE}};
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

// Without rows no index file is needed; without objects the manifest is just its header.
TEST(ManifestTest, SchemaWithoutRowsLoadsWithoutIndexFiles) {
    Cache c;
    c.state.objects[1].entry_count = 0;
    c.state.total_entries = 0;
    std::filesystem::remove(test::fs_path(index_file_path(c.state, 1)));
    ASSERT_TRUE(manifest_write(c.state, nullptr));
    DumpState loaded;
    ASSERT_TRUE(load_fresh(c.dir, loaded));
    EXPECT_EQ(5u, loaded.objects.size());

    DumpState none;
    set_identity(none, c.dir);
    ASSERT_TRUE(manifest_write(none, nullptr));
    DumpState loaded_none;
    ASSERT_TRUE(load_fresh(c.dir, loaded_none));
    EXPECT_TRUE(loaded_none.objects.empty());
}

TEST(ManifestTest, RejectsSchemasThatBreakTheRules) {
    const std::pair<const char*, std::function<void(DumpState&)>> cases[] = {
        {"repeated column in a layout",
         [](DumpState& s) { s.objects[1].layouts[0].columns = {0, 1, 0}; }},
        {"column number == column count",
         [](DumpState& s) { s.objects[1].layouts[1].columns = {3}; }},
        {"more values than columns",
         [](DumpState& s) { s.objects[1].layouts[0].columns = {0, 1, 2, 0}; }},
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
        // 2^60 entries times 16 bytes wraps to 0 in 64 bits: an empty index file must not pass.
        {"entry count that wraps the size check",
         [](DumpState& s) {
             s.dump_size = std::uint64_t{1} << 62;
             s.objects[1].entry_count = s.total_entries = std::uint64_t{1} << 60;
             write_index(s, 1, 0);
         }},
    };
    for (const auto& [name, mutate] : cases) {
        SCOPED_TRACE(name);
        Cache c;
        mutate(c.state);
        ASSERT_TRUE(manifest_write(c.state, nullptr));
        DumpState loaded;
        set_identity(loaded, c.dir);
        loaded.dump_size = c.state.dump_size;
        EXPECT_FALSE(manifest_load(loaded));
        EXPECT_TRUE(loaded.objects.empty());
        EXPECT_TRUE(loaded.import_notes.empty());
        EXPECT_EQ(0u, loaded.note_count + loaded.total_entries + loaded.loaded_from_cache);
        EXPECT_STREQ("", loaded.message);
    }
}

TEST(ManifestTest, AcceptsValuesAtTheirLimits) {
    Cache c;
    c.state.objects[1].object_name.assign(8192, 'n');
    c.state.objects[1].create_text.assign(2097152, 'x');
    c.state.import_notes.assign(65536, 'h');
    c.state.objects[4].columns.resize(4096);
    std::vector<std::uint32_t> all(4096);
    for (std::uint32_t i = 0; i < 4096; ++i) all[i] = 4095 - i;
    c.state.objects[4].layouts = {ColumnLayout{all}, ColumnLayout{all}};
    c.state.objects[3].layouts.resize(65536);
    ASSERT_TRUE(manifest_write(c.state, nullptr));
    DumpState loaded;
    ASSERT_TRUE(load_fresh(c.dir, loaded));
    EXPECT_EQ(serialized(c.state), serialized(loaded));
}

TEST(ManifestTest, IdentityOrMagicMismatchLeavesTheStateUntouched) {
    Cache c;
    ASSERT_TRUE(manifest_write(c.state, nullptr));
    const std::string good = test::read_file(c.dir.file("manifest.kvd"));
    const std::pair<const char*, std::function<void(DumpState&, std::string&)>> cases[] = {
        {"magic X03", [](DumpState&, std::string& f) { f[10] = '3'; }},
        {"magic without NUL", [](DumpState&, std::string& f) { f[11] = ' '; }},
        {"dump size one byte more", [](DumpState& s, std::string&) { s.dump_size += 1; }},
        {"dump time differs", [](DumpState& s, std::string&) { s.dump_time -= 1; }},
        {"fingerprint differs", [](DumpState& s, std::string&) { s.fingerprint ^= 1; }},
        {"65,537 objects", [](DumpState&, std::string& f) { f.replace(44, 4, "\1\0\1\0", 4); }},
    };
    for (const auto& [name, mutate] : cases) {
        SCOPED_TRACE(name);
        std::string bytes = good;
        DumpState loaded;
        set_identity(loaded, c.dir);
        mutate(loaded, bytes);
        test::write_file(c.dir.file("manifest.kvd"), bytes);
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
    Cache c;
    ASSERT_TRUE(manifest_write(c.state, nullptr));
    const std::string good = test::read_file(c.dir.file("manifest.kvd"));
    test::write_file(c.dir.file("manifest.kvd"), good + '\0');
    DumpState appended;
    EXPECT_FALSE(load_fresh(c.dir, appended));
    for (std::size_t cut = 0; cut < good.size(); ++cut) {
        SCOPED_TRACE(cut);
        test::write_file(c.dir.file("manifest.kvd"), good.substr(0, cut));
        DumpState loaded;
        EXPECT_FALSE(load_fresh(c.dir, loaded));
    }
}

TEST(ManifestTest, HugeCountsInATinyFileAreRejected) {
    const std::string object_head = Bytes().str("d").str("t").str("").u32(0).u64(0).u64(0).data;
    const std::string one_object = Bytes().header(0, 1, 0).str("").data;
    const std::string cases[] = {
        Bytes().header(0, 65536, 0).str("").data,  // 60-byte file claiming 65,536 objects
        one_object + Bytes().str("").str("").str("").data,  // an object that ends after its strings
        one_object + object_head + Bytes().u32(4096).data,  // 4,096 columns announced, none present
        one_object + object_head + Bytes().u32(1).str("a").str("b").u32(65536).data,  // layouts
        // a layout of 4,096 values announced, none present
        one_object + object_head + Bytes().u32(4096).data + std::string(8 * 4096, '\0') +
            Bytes().u32(1).u32(4096).data,
        Bytes().header(0, 0, 0).u32(0xFFFFFFFFu).data,     // notes of 4 GiB announced
        one_object + Bytes().u32(0x7FFFFFFFu).data,         // a database name of 2 GiB announced
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        TempDir dir;
        test::write_file(dir.file("manifest.kvd"), cases[i]);
        DumpState loaded;
        alloc_probe::start();
        bool ok = load_fresh(dir, loaded);
        alloc_probe::tracking = false;
        EXPECT_FALSE(ok);
        // The 64 KiB read buffer, or memory in proportion to the bytes really present.
        EXPECT_LE(alloc_probe::largest.load(), std::max<std::size_t>(65536, 16 * cases[i].size()));
    }
}

// Manifests of about 16 MiB that keep a valid header and are broken only at their end. The
// schema they describe would take about 100 MiB (empty columns and layouts cost far more in
// memory than in the file); the loader must refuse them holding little more than its buffer.
TEST(ManifestTest, DamagedLargeManifestsAreRefusedBeforeTheyCostMemory) {
    const std::string head = Bytes().str("").str("").str("").u32(OBJECT_TABLE).u64(0).u64(0).data;
    const std::string empty_columns =
        head + Bytes().u32(4096).data + std::string(8 * 4096, '\0') + Bytes().u32(0).data;
    const std::string empty_layouts =
        head + Bytes().u32(0).u32(65536).data + std::string(4 * 65536, '\0');
    struct Case {
        const char* name;
        const std::string& object;
        std::uint32_t objects;
        std::uint64_t total;  // sum of the entry counts is 0
        int tail;             // bytes added (+) or cut (-) at the end
    } cases[] = {
        {"4,096 empty columns an object, total differs", empty_columns, 512, 1, 0},
        {"4,096 empty columns an object, one byte more", empty_columns, 512, 0, 1},
        {"65,536 empty layouts an object, last one cut", empty_layouts, 64, 0, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        {
            std::string bytes = Bytes().header(c.total, c.objects, 0).str("").data;
            for (std::uint32_t i = 0; i < c.objects; ++i) bytes += c.object;
            if (c.tail > 0) bytes.append(static_cast<std::size_t>(c.tail), '\0');
            if (c.tail < 0) bytes.resize(bytes.size() - static_cast<std::size_t>(-c.tail));
            ASSERT_GT(bytes.size(), 16000000u);
            test::write_file(dir.file("manifest.kvd"), bytes);
        }
        DumpState loaded;
        alloc_probe::start();
        bool ok = load_fresh(dir, loaded);
        alloc_probe::tracking = false;
        EXPECT_FALSE(ok);
        EXPECT_LE(alloc_probe::peak.load(), 1 << 20);
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
    Cache missing;
    missing.state.cache_folder = missing.dir.file("gone");
    EXPECT_FALSE(manifest_write(missing.state, nullptr));
    EXPECT_STREQ(WRITE_FAILED, missing.state.message);

    // The final move fails: a non-empty folder stands where the manifest goes.
    Cache blocked;
    std::filesystem::create_directory(test::fs_path(blocked.dir.file("manifest.kvd")));
    test::write_file(blocked.dir.file("manifest.kvd/x"), "x");
    EXPECT_FALSE(manifest_write(blocked.state, nullptr));
    EXPECT_STREQ(WRITE_FAILED, blocked.state.message);
    EXPECT_FALSE(test::file_exists(blocked.dir.file("manifest.part")));
}

TEST(ManifestTest, RemoveDeletesTheManifestOnly) {
    Cache c;
    ASSERT_TRUE(manifest_write(c.state, nullptr));
    manifest_remove(c.state);
    EXPECT_FALSE(test::file_exists(c.dir.file("manifest.kvd")));
    EXPECT_TRUE(test::file_exists(index_file_path(c.state, 1)));
    DumpState loaded;
    EXPECT_FALSE(load_fresh(c.dir, loaded));
    manifest_remove(c.state);  // nothing to remove: harmless
}

}  // namespace
}  // namespace kv
