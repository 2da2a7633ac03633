// Cache manifest: exact file format, write/load round trip, and the loader's refusal of every
// damaged or hostile manifest without crashing, over-allocating or leaving half a schema.
#include "cache/manifest.h"

#include <gtest/gtest.h>
#include <malloc.h>

#include <atomic>
#include <cstdlib>
#include <functional>
#include <optional>
#include <tuple>

#include "cache/index_file.h"
#include "tests/cache/manifest_case.h"
#include "tests/support/test_support.h"

// Largest single allocation and peak of the bytes held while tracking is on: the loader must
// not size memory from a count that the file's bytes cannot back. Blocks count by their usable
// size, so a block freed by another allocator's delete still balances.
namespace probe {
std::atomic<bool> on{false}; std::atomic<std::size_t> largest{0};
std::atomic<std::int64_t> held{0}, peak{0};
#if defined(_WIN32)
std::int64_t usable(void* p) { return static_cast<std::int64_t>(_msize(p)); }
#else
std::int64_t usable(void* p) { return static_cast<std::int64_t>(malloc_usable_size(p)); }
#endif
}  // namespace probe

void* operator new(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    if (probe::on && size > probe::largest) probe::largest = size;
    if (std::int64_t now = probe::on ? probe::held += probe::usable(p) : 0; now > probe::peak) probe::peak = now;
    return p;
}
__attribute__((noinline)) void operator delete(void* p) noexcept {
    if (p != nullptr && probe::on) probe::held -= probe::usable(p);
    std::free(p);
}
// Every other form goes through these two, or a nothrow new[] would be freed by the replaced
// delete[] (a mismatch that AddressSanitizer reports).
void* operator new[](std::size_t size) { return ::operator new(size); }
__attribute__((noinline)) void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept try {
    return ::operator new(size);
} catch (...) {
    return nullptr;
}
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept { return ::operator new(size, t); }
void operator delete(void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }

namespace kv {
namespace {

const std::string GOLDEN = test::data_file("cache/shop.kvd");

std::string le(std::uint64_t v, int bytes) {
    return bytes == 0 ? std::string() : static_cast<char>(v & 0xFF) + le(v >> 8, bytes - 1);
}

// A database, a table with rows, a view, a routine and an empty table, with notes.
struct Cache {
    Cache() {
        state.cache_folder = dir.str(), state.dump_size = 1000000;
        state.dump_time = 133000000000000000ULL, state.fingerprint = 0x0123456789abcdefULL;
        state.objects = {
            {"shop", "", "", {}, {}, 0, 0, OBJECT_DATABASE, ""},
            {"shop", "orders", "CREATE TABLE `orders` (id INT, note TEXT, `ü` BLOB)",
             {{"id", "INT"}, {"note", "TEXT"}, {"ü", "(Definition nicht im Dump)"}},
             {ColumnLayout{{0, 1, 2}}, ColumnLayout{{2, 0}}, ColumnLayout{{}}}, 5, 120, OBJECT_TABLE,
             "latin1"},
            {"shop", "v_orders", "CREATE VIEW v_orders AS SELECT 1", {{"x", ""}}, {}, 0, 0, OBJECT_VIEW, ""},
            {"shop", "p", "", {}, {}, 0, 0, OBJECT_ROUTINE, ""},
            {"shop", "empty", "", {{"a", "INT"}}, {}, 0, 0, OBJECT_TABLE, ""}};
        state.total_entries = 5, state.note_count = 3;
        state.report = {DumpTool::heidisql, "12.8.0.6908", "8.0.36 - MySQL", "latin1", true, false,
                        4, 5, 6, 700};
        state.import_notes = "Hinweis eins 100%\r\nHinweis zwei\r\n";
        test::write_file(cache_index_path(state, 1), std::string(5 * 16, '\x5a'));
    }
    test::TempDir dir;
    DumpState state;
};

// The manifest bytes of state, written to a folder of its own: two states with the same bytes
// hold the same schema, counts and notes, field for field.
std::string serialized(DumpState& state) {
    test::TempDir other;
    const std::string folder = std::exchange(state.cache_folder, other.str());
    EXPECT_TRUE(manifest_write(state, nullptr).ok());
    state.cache_folder = folder;
    return test::read_file(other.file("manifest.kvd"));
}

// The case (manifest_case.h) of manifest bytes next to the index files of state's first two
// objects (the others have no rows).
std::string case_of(const DumpState& state, const std::string& manifest) {
    std::string bytes(1, '\2');
    for (std::uint32_t i = 0; i < 2; ++i) bytes += le(test::read_file(cache_index_path(state, i)).size(), 2);
    return bytes + manifest;
}

// Loads a case into loaded (in folder, else in a new one), watching its allocations; true when
// it loaded. No result may break a rule of manifest_case.h.
bool load_case(const std::string& bytes, DumpState& loaded, const std::string& folder = {}) {
    std::optional<test::TempDir> dir;
    loaded.cache_folder = folder.empty() ? dir.emplace().str() : folder;
    probe::largest = probe::held = probe::peak = 0, probe::on = true;
    const char* rule = load_manifest_case(loaded, reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    probe::on = false;
    EXPECT_STREQ(rule ? rule : "", "") << bytes.size();
    return loaded.loaded_from_cache == 1;
}

// The written file equals tests/data/cache/shop.kvd byte for byte (KV_UPDATE_GOLDEN=1 rewrites
// it) and loads back into the same state; every cut of it, one byte more and another dump's
// identity are refused. A failed write leaves no files.
TEST(Manifest, WritesTheGoldenFileLoadsOnlyItBackFailsCleanly) {
    Cache c;
    std::string progress;  // each report: done/total count label;
    ProgressSink sink{[](void* out, std::uint64_t done, std::uint64_t total, std::uint64_t count, const char* label) {
        *static_cast<std::string*>(out) += std::to_string(done) + "/" + std::to_string(total) +
                                           " " + std::to_string(count) + " " + label + ";";
        return 1;
    }, &progress};
    ASSERT_TRUE(manifest_write(c.state, &sink).ok());
    EXPECT_EQ(progress, "1000000/1000000 5 Bereit;");
    EXPECT_FALSE(test::file_exists(c.dir.file("manifest.part")));
    const std::string written = test::read_file(c.dir.file("manifest.kvd"));
    if (std::getenv("KV_UPDATE_GOLDEN")) test::write_file(GOLDEN, written);
    EXPECT_EQ(written, test::read_file(GOLDEN));
    test::TempDir folder;  // the same files each time: one folder will do
    for (std::size_t cut = 0; cut <= written.size() + 1; ++cut) {
        DumpState loaded;
        const std::string bytes = cut <= written.size() ? written.substr(0, cut) : written + '\0';
        EXPECT_EQ(load_case(case_of(c.state, bytes), loaded, folder.str()), cut == written.size()) << cut;
        EXPECT_EQ(cut == written.size() ? serialized(loaded) : written, written);
    }
    // Another dump's manifest or a foreign file leaves the state as it was: one bit flipped in
    // the magic (bytes 10, 11), the dump size, time or fingerprint, or an object count of 65541.
    for (int at : {10, 11, 12, 20, 28, 46}) {
        test::write_file(c.dir.file("manifest.kvd"), written.substr(0, at) + char(written[at] ^ 1) + written.substr(at + 1));
        EXPECT_FALSE(manifest_load(c.state)) << at;
        EXPECT_EQ(serialized(c.state) + std::to_string(c.state.loaded_from_cache), written + "0") << at;
    }
    for (int i = 0; i < 2; ++i) manifest_remove(c.state);  // the second has nothing to remove
    EXPECT_FALSE(test::file_exists(c.dir.file("manifest.kvd")));
    EXPECT_TRUE(test::file_exists(cache_index_path(c.state, 1)));
    // A failed write (the final move onto a non-empty folder; a missing folder) reports and
    // leaves no files.
    std::filesystem::create_directories(test::fs_path(c.dir.file("manifest.kvd/x")));
    for (const std::string& folder : {c.state.cache_folder, c.dir.file("gone")}) {
        c.state.cache_folder = folder;
        EXPECT_EQ(test::text_of(manifest_write(c.state, nullptr)),
                  "Cache-Metadaten konnten nicht sicher gespeichert werden.");
    }
    EXPECT_FALSE(test::file_exists(c.dir.file("manifest.part")));
}

#define EDIT(...) [](DumpState& s) { __VA_ARGS__; }

// Schemas and reports at the limits the loader allows or one beyond them, and without rows (no
// index file needed).
TEST(Manifest, LimitsAreInclusive) {
    const std::pair<bool, std::function<void(DumpState&)>> cases[] = {
        {true, EDIT(s.objects[1].object_name.assign(8192, 'n'); s.objects[1].create_text.assign(2097152, 'x');
                    s.import_notes.assign(65536, 'h'); s.objects[4].columns.resize(4096);
                    std::vector<std::uint32_t> all(4096);
                    for (std::uint32_t i = 0; i < 4096; ++i) all[i] = 4095 - i;
                    s.objects[4].layouts = {ColumnLayout{all}, ColumnLayout{all}};
                    s.objects.resize(65536, s.objects[3]); s.objects[3].layouts.resize(65536))},
        {true, EDIT(s.objects[1].entry_count = s.total_entries = 0;
                    std::filesystem::remove(test::fs_path(cache_index_path(s, 1))))},
        {true, EDIT(s.objects.clear(); s.total_entries = 0)},
        {false, EDIT(s.objects[1].create_text.assign(2097153, 'x'))},
        {false, EDIT(s.objects[4].columns[0].type_text.assign(2097153, 'x'))},
        {true, EDIT(s.report = {DumpTool::dbforge, std::string(256, 'v'), std::string(256, 's'),
                                std::string(64, 'c'), true, true, 1000000, 1000000, 1000000, 1000000})},
        {false, EDIT(s.report.tool_version.assign(257, 'v'))},
        {false, EDIT(s.report.charset.assign(65, 'c'))},
        {false, EDIT(s.report.comment_bytes = 1000001)},
        {false, EDIT(s.report.tool = static_cast<DumpTool>(DUMP_TOOL_COUNT))},
    };
    for (const auto& [loads, edit] : cases) {
        Cache c;
        edit(c.state);
        const std::string written = serialized(c.state);
        DumpState loaded;
        ASSERT_EQ(load_case(case_of(c.state, written), loaded), loads);
        EXPECT_EQ(loads ? serialized(loaded) : written, written);
    }
}

// Damaged manifests (tests/data/cache/damaged: broken rules, huge counts in small files; here:
// about 16 MiB broken only at their end, whose schema would take about 100 MiB: 512 objects of
// 4096 columns, with a total one too high or one byte more, and 64 objects of 65536 layouts cut
// one byte short) are refused holding little more than the 64 KiB read buffer; the manifests of
// real dumps (the fuzz corpus) load. No result breaks a rule of manifest_case.h.
TEST(Manifest, DamagedManifestsAreRefusedCheaplyRealOnesLoad) {
    std::vector<std::pair<std::string, bool>> cases;  // case bytes, loads
    for (const auto& [folder, loads] : {std::pair{"cache/damaged", false}, {"../../fuzz/corpus/fuzz_manifest", true}})
        for (const auto& e : std::filesystem::directory_iterator(test::data_file(folder)))
            cases.emplace_back(test::read_file(e.path().string()), loads);
    ASSERT_EQ(cases.size(), 39u);
    const std::string header = '\0' + test::read_file(GOLDEN).substr(0, 36), table(32, '\0');
    const std::string columns = table + le(4096, 4) + std::string(8 * 4096, '\0') + le(0, 4);
    const std::string layouts = table + le(0, 4) + le(65536, 4) + std::string(4 * 65536, '\0');
    for (auto [object, objects, total, tail] :
         {std::tuple{&columns, 512, 1, 0}, {&columns, 512, 0, 1}, {&layouts, 64, 0, -1}}) {
        std::string bytes = header + le(total, 8) + le(objects, 4) + le(0, 8);
        for (int i = 0; i < objects; ++i) bytes += *object;
        cases.emplace_back(bytes.substr(0, bytes.size() + tail) + std::string(tail > 0, '\0'), false);
    }
    for (const auto& [bytes, loads] : cases) {
        DumpState loaded;
        EXPECT_EQ(load_case(bytes, loaded), loads) << bytes.size();
        if (loads) continue;
        EXPECT_LE(probe::largest, std::max<std::size_t>(65536, 16 * bytes.size())) << bytes.size();
        EXPECT_LE(probe::peak, 1 << 20) << bytes.size();
    }
}

}  // namespace
}  // namespace kv
