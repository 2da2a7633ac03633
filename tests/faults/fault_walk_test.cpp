// Failing disks: every file operation of an import, a filter, an export and a tuple save is
// made to fail in turn (the n-th open, read, write, flush, rename or delete). Each time the
// operation must fail with a message or stay correct, leave no half-written file behind,
// leave an existing destination and the dump unchanged, and the next run must work.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "cache/dump_open.h"
#include "foundation/fault.h"
#include "importer/open_sequence.h"
#include "records/csv_export.h"
#include "records/filter.h"
#include "records/tuple_save.h"
#include "tests/support/test_support.h"

using namespace kv;
using kv::test::file_exists;
using kv::test::read_file;
using kv::test::TempDir;
using kv::test::write_file;

namespace {

constexpr std::uint32_t ALL_FAULTS = (1u << FAULT_KIND_COUNT) - 1;
constexpr std::uint64_t MAX_POINTS = 20000;

// Two tables, interleaved INSERTs, more than one 4,096-entry block, a view, a note.
std::string walk_dump() {
    std::string dump =
        "CREATE TABLE `a` (`id` int, `name` varchar(20), `bin` varbinary(4));\n"
        "CREATE TABLE `b` (`x` int);\n"
        "CREATE VIEW `v` AS SELECT 1;\n";
    for (int statement = 0; statement < 3; ++statement) {
        dump += "INSERT INTO `a` VALUES ";
        for (int i = 0; i < 1500; ++i) {
            int id = statement * 1500 + i;
            dump += (i ? "," : "") + std::string("(") + std::to_string(id) + ",'n" +
                    std::to_string(id % 97) + "'," + (id % 5 == 0 ? "NULL" : "'ab'") + ")";
        }
        dump += ";\nINSERT INTO `b` VALUES (" + std::to_string(statement) + ");\n";
    }
    dump += "REPLACE INTO `b` VALUES (9);\n";
    return dump;
}

// Files in folder whose name contains part.
bool any_file_containing(const std::string& folder, const std::string& part) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(test::fs_path(folder), ec)) {
        if (entry.path().filename().string().find(part) != std::string::npos) return true;
    }
    return false;
}

struct Opened {
    std::unique_ptr<DumpState> state = std::make_unique<DumpState>();
    FileGuard lock;
    bool ok = false;
};

Opened open_dump(const std::string& path, const std::string& root, bool new_index) {
    Opened o;
    FileHandle lock = INVALID_FILE;
    o.ok = dump_open_cached(*o.state, path, root, new_index, nullptr, lock);
    o.lock.reset(lock);
    return o;
}

// Runs op with the n-th file operation failing, for n = 1, 2, … until op no longer reaches
// the n-th operation. check(n, ok) inspects each outcome. Returns the points walked.
template <typename Op, typename Check>
std::uint64_t walk(Op op, Check check) {
    std::uint64_t n = 1;
    for (; n < MAX_POINTS; ++n) {
        fault_arm(ALL_FAULTS, n);
        bool ok = op();
        std::uint64_t operations = fault_count();
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

TEST(FaultWalk, ImportAndManifest) {
    TempDir dir;
    std::string path = dir.file("dump.sql");
    const std::string dump = walk_dump();
    write_file(path, dump);
    std::string root = dir.file("cache");
    Opened reference = open_dump(path, root, true);
    ASSERT_TRUE(reference.ok) << reference.state->message;
    const std::uint64_t total = reference.state->total_entries;
    const std::string folder = reference.state->cache_folder;
    reference = Opened{};

    std::uint64_t points = walk(
        [&] { return open_dump(path, root, true).ok; },
        [&](std::uint64_t n, bool ok) {
            EXPECT_EQ(read_file(path), dump) << n;
            // No half-written manifest is ever left; a manifest that is there is complete (the
            // import had not started), so the next open loads or imports the same schema.
            if (!ok) {
                EXPECT_FALSE(file_exists(folder + "/manifest.part")) << n;
            }
            Opened next = open_dump(path, root, false);
            ASSERT_TRUE(next.ok) << n << ": " << next.state->message;
            EXPECT_EQ(next.state->total_entries, total) << n;
            EXPECT_EQ(next.state->objects.size(), 3u) << n;
        });
    std::printf("import: %llu fault points walked\n", static_cast<unsigned long long>(points));
    EXPECT_GT(points, 20u);
}

TEST(FaultWalk, ImportFailuresSayWhy) {
    TempDir dir;
    std::string path = dir.file("dump.sql");
    write_file(path, walk_dump());
    // Every failure but a failed final flush leaves its sentence; the flush failure has none
    // of its own and the job shows its general text.
    for (std::uint32_t mask : {ALL_FAULTS & ~(1u << FAULT_FLUSH), 1u << FAULT_FLUSH}) {
        std::uint64_t n = 1;
        for (; n < MAX_POINTS; ++n) {
            fault_arm(mask, n);
            Opened o = open_dump(path, dir.file("cache"), true);
            std::uint64_t operations = fault_count();
            fault_arm(0, 0);
            if (operations < n) break;
            if (!o.ok && mask != (1u << FAULT_FLUSH)) {
                EXPECT_NE(o.state->message[0], '\0') << n;
            }
        }
        EXPECT_GT(n, 1u);
    }
}

class FaultWalkRecords : public ::testing::Test {
protected:
    void SetUp() override {
        path_ = dir_.file("dump.sql");
        write_file(path_, walk_dump());
        opened_ = open_dump(path_, dir_.file("cache"), false);
        ASSERT_TRUE(opened_.ok) << opened_.state->message;
        state_ = opened_.state.get();
        folder_ = state_->cache_folder;
    }
    TempDir dir_;
    std::string path_;
    Opened opened_;
    DumpState* state_ = nullptr;
    std::string folder_;
};

TEST_F(FaultWalkRecords, Filter) {
    FilterRequest request;
    request.op = FILTER_CONTAINS;
    request.text = "n";
    const std::string result = folder_ + "/query-new.kvi";
    std::uint64_t reference_hits = 0;
    ASSERT_TRUE(filter_run(*state_, 0, request, result, reference_hits, nullptr));
    const std::string reference = read_file(result);
    ASSERT_GT(reference_hits, 4096u);
    // An active filter that a failing run must not touch.
    write_file(folder_ + "/query.kvi", "ACTIVE");

    std::uint64_t points = walk(
        [&] {
            std::uint64_t hits = 0;
            bool ok = filter_run(*state_, 0, request, result, hits, nullptr);
            if (!ok) {
                EXPECT_NE(state_->message[0], '\0');
            }
            return ok;
        },
        [&](std::uint64_t n, bool ok) {
            EXPECT_EQ(read_file(folder_ + "/query.kvi"), "ACTIVE") << n;
            if (!ok) {
                EXPECT_FALSE(file_exists(result)) << n;
            }
            // A failed read must not poison the record read cache: the next run is exact.
            std::uint64_t hits = 0;
            ASSERT_TRUE(filter_run(*state_, 0, request, result, hits, nullptr)) << n;
            EXPECT_EQ(hits, reference_hits) << n;
            EXPECT_EQ(read_file(result), reference) << n;
        });
    std::printf("filter: %llu fault points walked\n", static_cast<unsigned long long>(points));
}

TEST_F(FaultWalkRecords, CsvExport) {
    const std::string destination = dir_.file("export.csv");
    const std::string index = index_file_path(*state_, 0);
    const std::uint64_t rows = state_->objects[0].entry_count;
    ASSERT_TRUE(csv_export(*state_, 0, index, rows, destination, CHARSET_UTF8, true, nullptr));
    const std::string reference = read_file(destination);
    write_file(destination, "OLD CONTENT");

    std::uint64_t points = walk(
        [&] {
            bool ok = csv_export(*state_, 0, index, rows, destination, CHARSET_UTF8, true,
                                 nullptr);
            if (!ok) {
                EXPECT_NE(state_->message[0], '\0');
            }
            return ok;
        },
        [&](std::uint64_t n, bool ok) {
            if (!ok) {
                EXPECT_EQ(read_file(destination), "OLD CONTENT") << n;
            }
            EXPECT_FALSE(any_file_containing(dir_.str(), ".korvane-part-")) << n;
            ASSERT_TRUE(csv_export(*state_, 0, index, rows, destination, CHARSET_UTF8, true,
                                   nullptr))
                << n;
            EXPECT_EQ(read_file(destination), reference) << n;
            write_file(destination, "OLD CONTENT");
        });
    std::printf("export: %llu fault points walked\n", static_cast<unsigned long long>(points));
}

TEST_F(FaultWalkRecords, TupleSave) {
    const std::string destination = dir_.file("tuple.sql");
    FileGuard index(file_open(index_file_path(*state_, 0), FILE_MODE_READ));
    IndexEntry entry;
    ASSERT_TRUE(index_read(index.get(), 4499, 1, &entry));
    index.reset();
    write_file(destination, "OLD");

    std::uint64_t points = walk(
        [&] {
            bool ok = tuple_save(*state_, entry, destination, nullptr);
            if (!ok) {
                EXPECT_NE(state_->message[0], '\0');
            }
            return ok;
        },
        [&](std::uint64_t n, bool ok) {
            if (!ok) {
                EXPECT_EQ(read_file(destination), "OLD") << n;
            }
            EXPECT_FALSE(any_file_containing(dir_.str(), ".korvane-part-")) << n;
            write_file(destination, "OLD");
        });
    ASSERT_TRUE(tuple_save(*state_, entry, destination, nullptr));
    EXPECT_EQ(read_file(destination), read_file(path_).substr(entry.offset, entry.length));
    std::printf("tuple save: %llu fault points walked\n", static_cast<unsigned long long>(points));
}
