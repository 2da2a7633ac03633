// Background jobs end to end: open (import, then cache), pages at any row, details text,
// cancellation, the fallback text and the stale-dump check, through the real worker thread.
#include <gtest/gtest.h>

#include <string>

#include "cache/dump_open.h"
#include "foundation/text.h"
#include "jobs/job.h"
#include "jobs/page_job.h"
#include "tests/jobs/job_test_support.h"
#include "tests/support/test_support.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/stat.h>
#endif

using namespace kv;
using kv::test::JobWaiter;
using kv::test::open_dump;
using kv::test::open_job;
using kv::test::OpenDump;
using kv::test::TempDir;
using kv::test::write_file;

namespace {

std::string rows_dump(int rows) {
    std::string dump = "CREATE TABLE `t` (\n  `id` int NOT NULL,\n  `name` varchar(20),\n"
                       "  `note` text\n);\nINSERT INTO `t` VALUES ";
    for (int i = 1; i <= rows; ++i) {
        if (i > 1) dump += ',';
        dump += "(" + std::to_string(i) + ",'Zeile " + std::to_string(i) + "'," +
                (i % 10 == 0 ? "NULL" : "'x'") + ")";
    }
    dump += ";\n";
    return dump;
}

std::unique_ptr<BackgroundJob> page_job(OpenDump& open, std::uint64_t first_row) {
    auto job = std::make_unique<BackgroundJob>();
    job->type = JOB_PAGE;
    job->dump_state = open.state.get();
    job->object = 0;
    job->rows = open.state->objects[0].entry_count;
    job->first_row = page_first_row(first_row, job->rows);
    job->index_path = index_file_path(*open.state, 0);
    return job;
}

std::string cell(const PageData& page, std::uint32_t row, std::uint32_t column) {
    return utf16_to_utf8(page.cells[row][column]);
}

}  // namespace

// A waiter is often a local that is gone the moment its job is handed over, while the worker
// may still be releasing the hand-over lock; a fresh waiter then lands in the same place.
// Under winpthreads this used to hang or corrupt the next hand-over.
TEST(JobCompletion, WaiterMayVanishRightAfterTheHandOver) {
    OpenDump open;
    open_dump(open, rows_dump(3));
    for (int i = 0; i < 200; ++i) {
        auto job = page_job(open, 0);
        job->cancel = 1;
        JobWaiter waiter;
        auto done = waiter.run(std::move(job));
        ASSERT_NE(done, nullptr);
        EXPECT_EQ(done->ok, 0);
    }
}

TEST(PageArithmetic, FirstRowAndPreviewCap) {
    EXPECT_EQ(page_first_row(0, 250), 0u);
    EXPECT_EQ(page_first_row(100, 250), 100u);
    EXPECT_EQ(page_first_row(249, 250), 249u);
    EXPECT_EQ(page_first_row(10000, 250), 200u);
    EXPECT_EQ(page_first_row(10000, 200), 100u);
    EXPECT_EQ(page_first_row(5, 0), 0u);
    EXPECT_EQ(page_preview_cap(0), 256u);
    EXPECT_EQ(page_preview_cap(1), 256u);
    EXPECT_EQ(page_preview_cap(100), 163u);
    EXPECT_EQ(page_preview_cap(1000), 24u);
    EXPECT_EQ(page_preview_cap(4096), 24u);
}

TEST(OpenJob, ImportsThenLoadsFromCacheAndHoldsTheLock) {
    TempDir dir;
    std::string path = dir.file("dump.sql");
    write_file(path, rows_dump(3));
    JobWaiter waiter;
    auto first = waiter.run(open_job(path, dir.file("cache")));
    ASSERT_EQ(first->ok, 1) << first->message;
    EXPECT_EQ(first->new_dump_state->loaded_from_cache, 0u);
    EXPECT_EQ(first->new_dump_state->total_entries, 3u);
    EXPECT_NE(first->lock_handle, INVALID_FILE);
    EXPECT_STREQ(first->progress_label.load(), "Bereit");

    // While the first holds the cache, a second instance is refused.
    auto refused = waiter.run(open_job(path, dir.file("cache")));
    EXPECT_EQ(refused->ok, 0);
    EXPECT_STREQ(refused->message,
                 "Dieser Dump-Cache ist bereits in einer anderen Instanz geöffnet, oder der "
                 "Cache-Ordner ist nicht beschreibbar.");

    first.reset();  // job_free closes the lock and destroys the state
    auto second = waiter.run(open_job(path, dir.file("cache")));
    ASSERT_EQ(second->ok, 1) << second->message;
    EXPECT_EQ(second->new_dump_state->loaded_from_cache, 1u);
    EXPECT_EQ(second->new_dump_state->total_entries, 3u);
}

TEST(OpenJob, CancelledImportLeavesNoManifest) {
    TempDir dir;
    std::string path = dir.file("dump.sql");
    write_file(path, rows_dump(20));
    auto job = open_job(path, dir.file("cache"));
    job->cancel = 1;  // the first refill reports progress and sees it
    JobWaiter waiter;
    auto done = waiter.run(std::move(job));
    EXPECT_EQ(done->ok, 0);
    EXPECT_NE(std::string(done->message).find("Vorgang abgebrochen."), std::string::npos);
    ASSERT_NE(done->new_dump_state, nullptr);
    EXPECT_FALSE(test::file_exists(done->new_dump_state->cache_folder + "/manifest.kvd"));
}

TEST(OpenJob, RefusedDumpShowsItsMessage) {
    TempDir dir;
    write_file(dir.file("dump.sql.gz"), std::string("\x1F\x8B\x08\x00", 4));
    JobWaiter waiter;
    auto done = waiter.run(open_job(dir.file("dump.sql.gz"), dir.file("cache")));
    EXPECT_EQ(done->ok, 0);
    EXPECT_STREQ(done->message,
                 "Komprimierter Dump: Bitte .gz / .zip zunächst entpacken und die .sql-Datei "
                 "öffnen.");
}

TEST(PageJob, PagesAtAnyRowWithRowNumbersAndKinds) {
    OpenDump open;
    open_dump(open, rows_dump(1050));
    JobWaiter waiter;
    for (std::uint64_t requested : {0ull, 100ull, 999ull, 5000ull}) {
        auto done = waiter.run(page_job(open, requested));
        ASSERT_EQ(done->ok, 1) << done->message;
        const PageData& page = *done->page;
        std::uint64_t first = page_first_row(requested, 1050);
        EXPECT_EQ(page.first_row, first);
        EXPECT_EQ(page.row_count, std::min<std::uint64_t>(100, 1050 - first));
        EXPECT_EQ(page.cell_count, 4u);
        EXPECT_EQ(cell(page, 0, 0), count_text(first + 1));
        EXPECT_EQ(cell(page, 0, 1), std::to_string(first + 1));
        EXPECT_EQ(cell(page, 0, 2), "Zeile " + std::to_string(first + 1));
        EXPECT_EQ(page.kinds[0][0], 0);
        EXPECT_EQ(page.kinds[0][1], VALUE_NUMBER);
        EXPECT_EQ(page.kinds[0][2], VALUE_TEXT);
    }
    auto done = waiter.run(page_job(open, 999));
    EXPECT_EQ(cell(*done->page, 0, 0), "1.000");
    EXPECT_EQ(done->page->kinds[0][3], VALUE_NULL);  // row 1000 has NULL in note
}

TEST(PageJob, EmptyViewReadsNoIndex) {
    OpenDump open;
    open_dump(open, rows_dump(3));
    auto job = page_job(open, 0);
    job->rows = 0;
    job->index_path = open.dir.file("does-not-exist.kvi");
    JobWaiter waiter;
    auto done = waiter.run(std::move(job));
    ASSERT_EQ(done->ok, 1) << done->message;
    EXPECT_EQ(done->page->row_count, 0u);
}

TEST(PageJob, ShortIndexAndCancellation) {
    OpenDump open;
    open_dump(open, rows_dump(30));
    JobWaiter waiter;
    auto job = page_job(open, 0);
    job->rows = 31;  // one more than the index holds
    auto done = waiter.run(std::move(job));
    EXPECT_EQ(done->ok, 0);
    EXPECT_STREQ(done->message, "Die angeforderte Indexseite kann nicht gelesen werden.");

    // A stale message of an earlier failure is not shown for a cancelled job.
    dump_state_fail(*open.state, "Ungültige Tabelle.");
    job = page_job(open, 0);
    job->cancel = 1;
    done = waiter.run(std::move(job));
    EXPECT_EQ(done->ok, 0);
    EXPECT_EQ(done->page, nullptr);
    EXPECT_STREQ(done->message, JOB_FALLBACK_MESSAGE);
}

namespace {
// Runs the details job for row 1 of table 0 of an opened dump.
std::unique_ptr<BackgroundJob> details_of_first_row(OpenDump& open) {
    auto job = std::make_unique<BackgroundJob>();
    job->type = JOB_DETAILS;
    job->dump_state = open.state.get();
    job->object = 0;
    FileGuard index(file_open(index_file_path(*open.state, 0), FILE_MODE_READ));
    EXPECT_TRUE(index_read(index.get(), 0, 1, &job->entry));
    JobWaiter waiter;
    return waiter.run(std::move(job));
}
}  // namespace

TEST(DetailsJob, TextLayout) {
    OpenDump open;
    open_dump(open, "CREATE TABLE `k` (`id` int, `name` varchar(9), `bild` blob, `x` int);\n"
                    "INSERT INTO `k` (`id`,`name`,`bild`) VALUES (42,'Grüße',NULL);\n");
    auto done = details_of_first_row(open);
    ASSERT_EQ(done->ok, 1) << done->message;
    std::string expected =
        "KOR-VANE DUMP BROWSER  |  Datensatzdetails\r\n\r\nByteposition: " +
        std::to_string(done->entry.offset) + "\r\nLänge des SQL-Tupels: 19 Bytes\r\n\r\n" +
        "id  [Zahl / exaktes SQL-Literal]\r\n42\r\n\r\n"
        "name  [Text]\r\nGrüße\r\n\r\n"
        "bild  [NULL]\r\n\r\n\r\n"
        "x  [Nicht im INSERT enthalten]\r\n\r\n\r\n";
    EXPECT_EQ(done->details_text, expected);
}

TEST(DetailsJob, TextIsCutAtTwoMebibytesWithNote) {
    OpenDump open;
    // 40 values of 70,000 bytes: each preview is capped at 65,536 bytes, 40 of them exceed 2 MiB.
    std::string create = "CREATE TABLE `w` (", tuple = "(";
    for (int c = 0; c < 40; ++c) {
        create += (c ? ",`c" : "`c") + std::to_string(c) + "` text";
        tuple += (c ? ",'" : "'") + std::string(70000, 'a') + "'";
    }
    open_dump(open, create + ");\nINSERT INTO `w` VALUES " + tuple + ");\n");
    auto done = details_of_first_row(open);
    ASSERT_EQ(done->ok, 1) << done->message;
    const std::string note = DETAILS_CUT_NOTE;
    ASSERT_GT(done->details_text.size(), note.size());
    EXPECT_EQ(done->details_text.size(), DETAILS_LIMIT + note.size());
    EXPECT_EQ(done->details_text.substr(done->details_text.size() - note.size()), note);
    EXPECT_NE(done->details_text.find("c31  ["), std::string::npos);
    EXPECT_EQ(done->details_text.find("c32  ["), std::string::npos);  // cut inside column 31
}

#if !defined(_WIN32)
TEST(StaleDump, ChangedDumpIsRefusedBeforeAnythingIsShown) {
    OpenDump open;
    open_dump(open, rows_dump(5));
    // Another program rewrites the dump while it is shown (POSIX cannot prevent it).
    std::string path = open.dir.file("dump.sql");
    write_file(path, rows_dump(5) + "-- appended\n");
    JobWaiter waiter;
    auto done = waiter.run(page_job(open, 0));
    EXPECT_EQ(done->ok, 0);
    EXPECT_STREQ(done->message, "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.");
    EXPECT_EQ(done->page, nullptr);

    // Same size, new modification time: refused too.
    OpenDump again;
    open_dump(again, rows_dump(5));
    std::string path2 = again.dir.file("dump.sql");
    struct timespec times[2] = {{1500000000, 0}, {1500000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, path2.c_str(), times, 0), 0);
    done = waiter.run(page_job(again, 0));
    EXPECT_EQ(done->ok, 0);
    EXPECT_STREQ(done->message, "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.");
}
#endif
