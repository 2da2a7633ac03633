// Failing disks: every file operation of an import, a filter, an export and a tuple save is
// made to fail in turn (the n-th open, read, write, flush, rename or delete). Each time the
// operation must fail with a message or stay correct, leave no half-written file behind,
// leave an existing destination and the dump unchanged, and the next run must work.
#include <gtest/gtest.h>

#include <functional>

#include "foundation/fault.h"
#include "records/csv_export.h"
#include "records/filter.h"
#include "records/tuple_save.h"
#include "tests/importer/import_outcome.h"
#include "tests/support/test_support.h"

using namespace kv;
using namespace kv::test;

namespace {

constexpr std::uint32_t ALL_FAULTS = (1u << FAULT_KIND_COUNT) - 1;
constexpr std::uint32_t FLUSH_ONLY = 1u << FAULT_FLUSH;

// Two tables, interleaved INSERTs, more than one 4,096-entry block, a view, notes, and a
// statement skipped for its last tuple after more than a block of entries: those already
// written are cut off the index file again, by a file operation of its own.
std::string walk_dump() {
    std::string dump =
        "CREATE TABLE `a` (`id` int, `name` varchar(20), `bin` varbinary(4));\n"
        "CREATE TABLE `b` (`x` int);\nCREATE VIEW `v` AS SELECT 1;\n";
    for (int statement = 0; statement < 3; ++statement) {
        dump += "INSERT INTO `a` VALUES ";
        for (int i = 0, id = statement * 1500; i < 1500; ++i, ++id) {
            dump += (i ? ",(" : "(") + std::to_string(id) + ",'n" + std::to_string(id % 97) + "'," +
                    (id % 5 == 0 ? "NULL" : "'ab'") + ")";
        }
        dump += ";\nINSERT INTO `b` VALUES (" + std::to_string(statement) + ");\n";
    }
    dump += "INSERT INTO `a` VALUES ";
    for (int i = 0; i < 4500; ++i) dump += "(" + std::to_string(i) + ",'s',NULL),";
    dump += "(0,'s');\n";
    return dump + "REPLACE INTO `b` VALUES (9);\n";
}

// The dump opened (with a new index or from its cache if it can be loaded), its lock held;
// an import with threads scanning threads.
struct Opened {
    Opened(const std::string& path, const std::string& root, bool new_index,
           std::uint32_t threads = 1) {
        FileHandle handle = INVALID_FILE;
        const ProgressSink sink{nullptr, nullptr, EscapeMode::backslash, threads};
        status = dump_open_cached(*state, path, root, new_index, &sink, handle);
        lock.reset(handle);
    }
    std::unique_ptr<DumpState> state = std::make_unique<DumpState>();
    FileGuard lock;
    Status status;
};

// Runs op with the n-th file operation of the kinds in mask failing, for n = 1, 2, … until op
// no longer reaches the n-th operation; check(n, ok) inspects each outcome. Returns the points.
std::uint64_t walk(std::uint32_t mask, const std::function<bool()>& op,
                   const std::function<void(std::uint64_t, bool)>& check) {
    std::uint64_t n = 1;
    for (; n < 20000; ++n) {
        fault_arm(mask, n);
        const bool ok = op();
        const std::uint64_t operations = fault_count();
        fault_arm(0, 0);
        if (operations < n) {
            EXPECT_TRUE(ok) << "without any injected fault the operation must succeed";
            break;
        }
        check(n, ok);
        if (::testing::Test::HasFatalFailure()) break;
    }
    return n - 1;
}

}  // namespace

// Every failure, a failed final flush included, says why, and none leaves a half-written
// manifest; the next open loads or imports the same.
TEST(FaultWalk, ImportAndManifest) {
    test::TempDir dir;
    const std::string path = dir.file("dump.sql"), root = dir.file("cache"), dump = walk_dump();
    write_file(path, dump);
    std::string want, folder;
    {
        Opened reference(path, root, true);
        ASSERT_TRUE(reference.status.ok()) << test::text_of(reference.status);
        want = test::describe(*reference.state, reference.status, dump);
        folder = reference.state->cache_folder;
    }
    for (const std::uint32_t mask : {ALL_FAULTS & ~FLUSH_ONLY, FLUSH_ONLY}) {
        std::uint64_t points = walk(
            mask, [&] {
                Opened o(path, root, true);
                EXPECT_TRUE(o.status.ok() || !test::text_of(o.status).empty());
                return o.status.ok();
            },
            [&](std::uint64_t n, bool ok) {
                EXPECT_EQ(read_file(path), dump) << n;
                EXPECT_TRUE(ok || !test::file_exists(folder + "/manifest.part")) << n;
                Opened next(path, root, false);
                ASSERT_TRUE(next.status.ok()) << n << ": " << test::text_of(next.status);
                EXPECT_TRUE(test::describe(*next.state, next.status, dump) == want) << n;
            });
        EXPECT_GT(points, mask == FLUSH_ONLY ? 0u : 20u);
    }
}

// Helper threads read on their own and never write: with them, the n-th write fails at the
// same tuple, with the same message and byte position, as without them.
TEST(FaultWalk, WritesWithHelperThreads) {
    test::TempDir dir;
    // The walk's dump, and a statement of 10,000 rows: its 4,096-entry blocks are written
    // from inside the runs helpers scanned.
    std::string rows = "INSERT INTO `a` VALUES (0,'n',NULL)";
    for (int i = 1; i < 10000; ++i) rows += ",(" + std::to_string(i) + ",'n" + std::to_string(i) + "','ab')";
    const std::string path = dir.file("dump.sql"), root = dir.file("cache"),
                      dump = walk_dump() + rows + ";\n";
    write_file(path, dump);
    import_chunk_size = 4096;
    std::uint64_t n = 1;
    for (; n < 1000; ++n) {
        std::string text[2];
        for (const std::uint32_t threads : {1u, 3u}) {
            fault_arm(1u << FAULT_WRITE, n);
            Opened o(path, root, true, threads);
            text[threads / 3] = test::describe(*o.state, o.status, dump);
            if (fault_count() < n) text[threads / 3] = "ohne Fehler";
            fault_arm(0, 0);
        }
        EXPECT_EQ(text[1], text[0]) << n;
        if (text[0] == "ohne Fehler") break;
    }
    import_chunk_size = IMPORT_CHUNK_SIZE;
    EXPECT_GT(n, 5u);
}

// A filter, an export and a tuple save: a failed run leaves its sentence, its destination as
// it was (a filter result: none), no part file and the active filter untouched; the next run
// gives the reference result.
TEST(FaultWalk, RecordsOperations) {
    test::TempDir dir;
    write_file(dir.file("dump.sql"), walk_dump());
    Opened opened(dir.file("dump.sql"), dir.file("cache"), false);
    ASSERT_TRUE(opened.status.ok()) << test::text_of(opened.status);
    DumpState& state = *opened.state;
    const std::string folder = state.cache_folder, index = cache_index_path(state, 0);
    write_file(folder + "/query.kvi", "ACTIVE");
    FilterRequest request;
    request.op = FilterOp::contains;
    request.text = "n";
    const IndexEntry entry = test::index_entries(state, 0)[4499];
    const std::uint64_t rows = state.objects[0].entry_count;
    std::uint64_t hits = 0;  // of the last filter run
    struct Case {
        const char* name;
        std::string destination, old;  // old "": a failed run leaves no file
        std::function<Status()> run;
    } const cases[] = {
        {"filter", folder + "/query-new.kvi", "",
         [&] { return filter_run(state, 0, request, folder + "/query-new.kvi", hits, nullptr); }},
        {"export", dir.file("export.csv"), "OLD CONTENT",
         [&] {
             return csv_export(state, 0, index, rows, dir.file("export.csv"), CHARSET_UTF8, true,
                               nullptr);
         }},
        {"tuple save", dir.file("tuple.sql"), "OLD",
         [&] { return tuple_save(state, entry, dir.file("tuple.sql"), nullptr); }},
    };
    for (const Case& c : cases) {
        ASSERT_EQ(test::text_of(c.run()), "") << c.name;
        const std::string reference = std::to_string(hits) + "|" + read_file(c.destination);
        if (!c.old.empty()) write_file(c.destination, c.old);
        auto run = [&] {
            const Status status = c.run();
            EXPECT_TRUE(status.ok() || !test::text_of(status).empty()) << c.name;
            return status.ok();
        };
        const std::uint64_t points = walk(ALL_FAULTS, run, [&](std::uint64_t n, bool ok) {
            if (!ok) {
                EXPECT_EQ(test::file_exists(c.destination) ? read_file(c.destination) : "", c.old)
                    << c.name << n;
            }
            EXPECT_EQ(read_file(folder + "/query.kvi"), "ACTIVE") << c.name << " " << n;
            for (const std::string& place : {dir.str(), folder}) {
                for (const auto& e : std::filesystem::directory_iterator(test::fs_path(place))) {
                    const std::string name = e.path().filename().string();
                    EXPECT_EQ(name.find(".korvane-part-"), std::string::npos) << n;
                }
            }
            ASSERT_TRUE(run()) << c.name << " " << n;  // a failed read must not poison a cache
            EXPECT_TRUE(std::to_string(hits) + "|" + read_file(c.destination) == reference)
                << c.name << n;
            if (!c.old.empty()) write_file(c.destination, c.old);
        });
        EXPECT_GT(points, 3u) << c.name;
    }
    ASSERT_EQ(test::text_of(tuple_save(state, entry, dir.file("tuple.sql"), nullptr)), "");
    EXPECT_EQ(read_file(dir.file("tuple.sql")), walk_dump().substr(entry.offset, entry.length));
}
