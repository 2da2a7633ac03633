// Background jobs through the real worker thread, as the interface uses them: open (import,
// then cache, the instance lock), pages at any row, record details, filter, CSV export and raw
// tuple save, cancellation, the fallback text, stale dumps and destinations in the cache folder.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "foundation/text.h"
#include "foundation/thread.h"
#include "jobs/job.h"
#include "jobs/job_wait.h"
#include "jobs/page_job.h"
#include "records/row_scan.h"
#include "tests/records/records_test_support.h"

namespace kv {
namespace {

using test::read_file;
using test::write_file;

const char* const MISMATCH = "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.";

// A dump "dump.sql" opened through an open job (none without content); run() submits a job
// and waits for it.
struct Jobs {
    ~Jobs() { file_close(lock); }
    // An open job of "dump.sql", or a job on table 0 over its whole index with the first entry.
    std::unique_ptr<BackgroundJob> job(JobKind type) {
        auto job = std::make_unique<BackgroundJob>();
        job->kind = type;
        job->dump_path = dir.file("dump.sql");
        job->cache_root = dir.file("cache");
        if (type == JobKind::open) return job;
        job->dump_state = state.get();
        job->object = 0;
        job->index_path = cache_index_path(*state, 0);
        job->rows = state->objects[0].entry_count;
        FileGuard index(file_open(job->index_path, FILE_MODE_READ));
        index_read(index.get(), 0, 1, &job->entry);
        return job;
    }
    // Runs job(type) after setup changed it.
    auto run(JobKind type, const std::function<void(BackgroundJob&)>& setup = {}) {
        auto made = job(type);
        if (setup) setup(*made);
        EXPECT_TRUE(completion.submit(made.release()));
        return completion.wait();
    }
    explicit Jobs(const std::string& content = "") {
        if (content.empty()) return;
        write_file(dir.file("dump.sql"), content);
        auto done = run(JobKind::open);
        EXPECT_EQ(test::text_of(done->status), "");
        state = std::move(done->new_dump_state);
        std::swap(lock, done->lock_handle);
    }
    test::TempDir dir;
    std::unique_ptr<DumpState> state;
    FileHandle lock = INVALID_FILE;
    JobCompletion completion;
};

std::string rows_dump(int rows) {
    std::string dump = "CREATE TABLE `t` (`id` int NOT NULL, `name` varchar(20), `note` text);\nINSERT INTO `t` VALUES ";
    for (int i = 1; i <= rows; ++i) {
        dump += (i > 1 ? ",(" : "(") + std::to_string(i) + ",'Zeile " + std::to_string(i) + (i % 10 ? "','x')" : "',NULL)");
    }
    return dump + ";\n";
}

// One row of a page: its cells joined by '|', then the kinds of the cells.
std::string row_text(const PageData& page, std::uint32_t row) {
    std::string out, kinds;
    for (std::uint32_t c = 0; c < page.cell_count; ++c) {
        out += utf16_to_utf8(page.cells[row][c]) + "|";
        kinds += std::to_string(page.kinds[row][c]);
    }
    return out + kinds;
}

TEST(PageArithmetic, FirstRowAndPreviewCap) {
    for (const auto& [requested, rows, first] :
         {std::tuple{0, 250, 0}, {100, 250, 100}, {249, 250, 249}, {10000, 250, 200}, {10000, 200, 100}, {5, 0, 0}}) {
        EXPECT_EQ(page_first_row(requested, rows), static_cast<std::uint64_t>(first)) << requested << " " << rows;
    }
    for (const auto& [columns, cap] : {std::pair{0, 256}, {1, 256}, {100, 163}, {1000, 24}, {4096, 24}}) {
        EXPECT_EQ(page_preview_cap(columns), static_cast<std::uint32_t>(cap)) << columns;
    }
}

TEST(OpenJob, ImportsThenLoadsFromCacheHoldsTheLockAndCancels) {
    Jobs jobs;
    write_file(jobs.dir.file("dump.sql"), rows_dump(20));
    // The first refill reports progress and sees the cancel.
    const auto cancelled = jobs.run(JobKind::open, [](auto& j) { j.cancel = 1; });
    EXPECT_NE(test::text_of(cancelled->status).find("Vorgang abgebrochen."), std::string::npos);
    EXPECT_FALSE(test::file_exists(cancelled->new_dump_state->cache_folder + "/manifest.kvd"));
    for (const std::uint32_t from_cache : {0, 1}) {
        auto done = jobs.run(JobKind::open);
        ASSERT_EQ(test::text_of(done->status), "");
        EXPECT_EQ(done->new_dump_state->loaded_from_cache, from_cache);
        EXPECT_EQ(done->new_dump_state->total_entries, 20u);
        if (from_cache == 0) {
            EXPECT_STREQ(done->progress_label.load(), "Bereit");
        }
        // While it holds the cache, another instance is refused; job_free closes the lock.
        EXPECT_EQ(test::text_of(jobs.run(JobKind::open)->status),
                     "Dieser Dump-Cache ist bereits in einer anderen Instanz geöffnet, oder der "
                     "Cache-Ordner ist nicht beschreibbar.");
    }
}

TEST(PageJob, PagesAtAnyRowEmptyViewsShortIndexCancellationAndVanishingWaiters) {
    Jobs jobs(rows_dump(1050));
    for (const std::uint64_t requested : {0, 100, 999, 5000}) {
        const std::uint64_t first = page_first_row(requested, 1050), n = first + 1;
        auto done = jobs.run(JobKind::page, [&](auto& j) { j.first_row = first; });
        ASSERT_EQ(test::text_of(done->status), "");
        EXPECT_EQ(done->page->first_row, first);
        EXPECT_EQ(done->page->row_count, std::min<std::uint64_t>(100, 1050 - first));
        EXPECT_EQ(row_text(*done->page, 0), count_text(n) + "|" + std::to_string(n) + "|Zeile " +
                                                std::to_string(n) + "|" + (n % 10 ? "x|0211" : "NULL|0210"));
    }
    EXPECT_EQ(jobs.run(JobKind::page, [&](auto& j) {
        j.rows = 0, j.index_path = jobs.dir.file("missing");
    })->page->row_count, 0u);
    EXPECT_EQ(test::text_of(jobs.run(JobKind::page, [](auto& j) { j.rows = 1051, j.first_row = 1000; })->status),
                 "Die angeforderte Indexseite kann nicht gelesen werden.");
    const auto cancelled = jobs.run(JobKind::page, [](auto& j) { j.cancel = 1; });
    EXPECT_EQ(cancelled->page, nullptr);
    EXPECT_EQ(cancelled->status.kind, StatusKind::cancelled);
    // A waiter is often a local that is gone the moment its job is handed over, while the
    // worker may still be releasing the hand-over lock (under winpthreads this used to hang or
    // corrupt the next hand-over).
    for (int i = 0; i < 200; ++i) {
        auto job = jobs.job(JobKind::page);
        job->cancel = 1;
        JobCompletion waiter;
        ASSERT_TRUE(waiter.submit(job.release()));
        EXPECT_FALSE(waiter.wait()->status.ok());
    }
}

// What the worker's completions saw: the thread they ran on, and a gate that holds the worker
// inside a completion until the test opens it.
struct Seen {
    std::atomic<int> done{0};
    std::atomic<int> blocked{0};
    std::atomic<std::thread::id> thread{};
    std::atomic<bool> same_thread{true};
    Signal entered, gate;
};

void seen_done(BackgroundJob* job, void* user) {
    auto& seen = *static_cast<Seen*>(user);
    const std::thread::id first = seen.thread.load();
    if (first == std::thread::id()) {
        seen.thread.store(std::this_thread::get_id());
    } else if (first != std::this_thread::get_id()) {
        seen.same_thread.store(false);
    }
    const bool block = job->object == 1;
    job_free(job);
    if (block) {
        seen.entered.set();
        seen.gate.wait_for(std::chrono::seconds(20));
    }
    seen.done.fetch_add(1);
}

BackgroundJob* quick_job(std::int32_t object) {  // fails at once: no dump
    auto* job = new BackgroundJob;
    job->kind = JobKind::page;
    job->object = object;
    return job;
}

void wait_done(Seen& seen, int n) {
    for (int i = 0; i < 4000 && seen.done.load() < n; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// One long-lived worker: every completion of a round runs on the same thread, never the
// submitter's; while the worker is inside a completion one job may wait and a second is
// refused; shutdown runs the waiting job before it returns, and the next job starts anew.
TEST(JobWorker, OneThreadOneWaitingJobAndShutdownThatRunsWhatWaits) {
    for (int round = 0; round < 3; ++round) {
        Seen seen;
        for (int i = 0; i < 50; ++i) {
            ASSERT_TRUE(job_submit(quick_job(0), seen_done, &seen)) << i;
            wait_done(seen, i + 1);
        }
        EXPECT_EQ(seen.done.load(), 50);
        EXPECT_TRUE(seen.same_thread.load());
        EXPECT_NE(seen.thread.load(), std::this_thread::get_id());

        Seen held;
        ASSERT_TRUE(job_submit(quick_job(1), seen_done, &held));
        ASSERT_TRUE(held.entered.wait_for(std::chrono::seconds(20)));
        EXPECT_TRUE(job_submit(quick_job(0), seen_done, &held));   // waits in the slot
        EXPECT_FALSE(job_submit(quick_job(0), seen_done, &held));  // refused, freed
        held.gate.set();
        job_shutdown();
        EXPECT_EQ(held.done.load(), 2);
        job_shutdown();  // twice is harmless
    }
}

TEST(DetailsJob, TextLayoutAndCutAtTwoMebibytes) {
    Jobs jobs("CREATE TABLE `k` (`id` int, `name` varchar(9), `bild` blob, `x` int);\n"
              "INSERT INTO `k` (`id`,`name`,`bild`) VALUES (42,'Grüße',NULL);\n");
    auto done = jobs.run(JobKind::details);
    EXPECT_EQ(done->details_text, "KOR-VANE DUMP BROWSER  |  Datensatzdetails\r\n\r\nByteposition: " +
                  std::to_string(done->entry.offset) + "\r\nLänge des SQL-Tupels: 19 Bytes\r\n\r\n" +
                  "id  [Zahl / exaktes SQL-Literal]\r\n42\r\n\r\nname  [Text]\r\nGrüße\r\n\r\n"
                  "bild  [NULL]\r\n\r\n\r\nx  [Nicht im INSERT enthalten]\r\n\r\n\r\n");

    // 40 values of 70,000 bytes, each shown up to 65,536 bytes: the text is cut in column 31.
    std::string create = "CREATE TABLE `w` (", tuple = "(";
    for (int c = 0; c < 40; ++c) {
        create += (c ? ",`c" : "`c") + std::to_string(c) + "` text";
        tuple += (c ? ",'" : "'") + std::string(70000, 'a') + "'";
    }
    Jobs wide(create + ");\nINSERT INTO `w` VALUES " + tuple + ");\n");
    const std::string text = wide.run(JobKind::details)->details_text;
    EXPECT_EQ(text.size(), DETAILS_LIMIT + std::string(msg_text(Msg::details_cut)).size());
    EXPECT_TRUE(text.ends_with(msg_text(Msg::details_cut)));
    EXPECT_NE(text.find("c31  ["), std::string::npos);
    EXPECT_EQ(text.find("c32  ["), std::string::npos);
}

#if !defined(_WIN32)
// Another program rewrites the shown dump (POSIX cannot prevent it), longer or with a new time
// only: pages, filters, exports and tuple saves are refused before anything is shown or written.
TEST(StaleDump, ChangedDumpIsRefusedBeforeAnythingIsShownOrWritten) {
    for (const bool same_size : {false, true}) {
        Jobs jobs(rows_dump(5));
        const auto path = test::fs_path(jobs.dir.file("dump.sql"));
        write_file(jobs.dir.file("dump.sql"), rows_dump(5) + (same_size ? "" : "-- appended\n"));
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) - std::chrono::hours(1));
        for (const JobKind type : {JobKind::page, JobKind::filter, JobKind::csv, JobKind::tuple,
                                   JobKind::extract, JobKind::search, JobKind::search_page}) {
            const auto done = jobs.run(type, [&](auto& j) {
                j.output_path = jobs.dir.file("out");
                j.extract_parts = {ExtractPart{0, cache_index_path(*jobs.state, 0), 5, false, {}}};
            });
            EXPECT_EQ(test::text_of(done->status), MISMATCH) << same_size << " " << static_cast<int>(type);
            EXPECT_EQ(done->page, nullptr);
        }
        EXPECT_FALSE(test::file_exists(jobs.dir.file("out")));
    }
}
#endif

// The interface's path: filter a table (a cancelled filter keeps the active one), page over the
// hits, export the table and the hits, save one tuple's original bytes; never into the cache.
TEST(RecordsJobs, FilterPageExportAndSave) {
    Jobs jobs(read_file(test::data_file("records/kunden.sql")));
    const std::string cache = jobs.state->cache_folder;
    write_file(cache + "/query.kvi", "active");
    const auto berlin = [&](auto& j) {
        j.filter.column = 2, j.filter.op = FilterOp::equals, j.filter_text = "Berlin", j.output_path = cache + "/query-new.kvi";
    };
    EXPECT_EQ(test::text_of(jobs.run(JobKind::filter, [&](auto& j) { berlin(j), j.cancel = 1; })->status), "Vorgang abgebrochen.");
    EXPECT_FALSE(test::file_exists(cache + "/query-new.kvi"));
    EXPECT_EQ(read_file(cache + "/query.kvi"), "active");
    const auto filter = jobs.run(JobKind::filter, berlin);
    ASSERT_EQ(test::text_of(filter->status), "");
    EXPECT_EQ(filter->rows, 2u);
    EXPECT_EQ(filter->filter.text, "Berlin");
    ASSERT_TRUE(file_replace(cache + "/query-new.kvi", cache + "/query.kvi"));

    const auto page = jobs.run(JobKind::page, [&](auto& j) { j.index_path = cache + "/query.kvi", j.rows = 2; });
    ASSERT_EQ(test::text_of(page->status), "");
    EXPECT_EQ(row_text(*page->page, 0), "1|1|Anna \"die Erste\"|Berlin|NULL|0x00FF|021103");
    EXPECT_EQ(row_text(*page->page, 1), "2|3|Bert|Berlin|-5|0x4142|021113");

    for (const auto& [index, rows, golden] : {std::tuple{cache_index_path(*jobs.state, 0), 5, "kunden.csv"},
                                              {cache + "/query.kvi", 2, "kunden-berlin.csv"}}) {
        EXPECT_EQ(jobs.run(JobKind::csv, [&](auto& j) {
            j.index_path = index, j.rows = rows, j.output_path = jobs.dir.file("out.csv");
        })->status.ok(), true);
        EXPECT_EQ(read_file(jobs.dir.file("out.csv")), read_file(test::data_file("records/") + golden));
    }
    EXPECT_EQ(jobs.run(JobKind::tuple, [&](auto& j) {
        j.entry = page->page->entries[1], j.output_path = jobs.dir.file("t.sql");
    })->status.ok(), true);
    EXPECT_EQ(read_file(jobs.dir.file("t.sql")), "(3,'Bert','Berlin','-5',_binary'AB')");
    // The hits as an SQL script: both tuples byte for byte in one statement.
    EXPECT_EQ(jobs.run(JobKind::extract, [&](auto& j) {
        j.extract_parts = {ExtractPart{0, cache + "/query.kvi", 2, false, {}}};
        j.output_path = jobs.dir.file("hits.sql");
    })->status.ok(), true);
    EXPECT_NE(read_file(jobs.dir.file("hits.sql")).find(
                  "\nINSERT INTO `kunden` VALUES (1,'Anna \"die Erste\"','Berlin',NULL,X'00FF'),"
                  "(3,'Bert','Berlin','-5',_binary'AB');\n"),
              std::string::npos);

    // A CSV or a tuple written into the dump's own cache folder would replace a file of it
    // ("session.lock", which would defeat the instance lock, an index, the active filter, the
    // manifest) or leave a stray file: refused under any spelling, existing or new.
    const std::string name = cache.substr(cache.rfind('/') + 1);
    std::vector<std::string> refused = {
        cache + "/session.lock", cache + "/t000001.kvi", cache + "/query.kvi", cache + "/manifest.kvd",
        cache + "/neu.csv", cache + "/./neu.csv", jobs.dir.file("cache/" + name + "/../" + name + "/session.lock")};
#if defined(_WIN32)
    std::string upper = jobs.dir.file("CACHE/");
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'f' ? c - 32 : c);
    refused.push_back(upper + "/session.lock");
#else
    std::filesystem::create_directory_symlink(test::fs_path(cache), test::fs_path(jobs.dir.file("link")));
    refused.push_back(jobs.dir.file("link/session.lock"));
    refused.push_back(jobs.dir.file("link/neu.csv"));
#endif
    for (const std::string& destination : refused) {
        const bool existed = test::file_exists(destination);
        const std::string before = existed ? read_file(destination) : "";
        for (const JobKind type : {JobKind::csv, JobKind::tuple, JobKind::extract}) {
            EXPECT_EQ(test::text_of(jobs.run(type, [&](auto& j) {
                          j.output_path = destination;
                          j.extract_parts = {ExtractPart{0, cache_index_path(*jobs.state, 0), 5, false, {}}};
                      })->status),
                         "Das Ziel liegt im Cache-Ordner des Dumps. Bitte einen anderen Speicherort wählen.")
                << static_cast<int>(type) << " " << destination;
            EXPECT_EQ(test::file_exists(destination), existed) << destination;
            EXPECT_EQ(existed ? read_file(destination) : "", before) << destination;
        }
    }
    EXPECT_TRUE(test::no_part_files(cache));
    FileHandle second = file_open_lock(cache + "/session.lock");  // the instance lock holds
    EXPECT_EQ(second, INVALID_FILE);
    file_close(second);
}

}  // namespace
}  // namespace kv

namespace kv {
namespace {

// The window's search: a search job on two threads (a cancelled one leaves no file), then the
// pages of its hits: the first and last hit of each page, a short last page, the cells and
// their kinds, the hits and entries the window jumps with, and a page past the end.
TEST(SearchJobs, SearchThenPagesOfHits) {
    scan_unit_rows = 7;  // units of 7 rows, so that the helper thread has work
    Jobs jobs(rows_dump(250) + "CREATE TABLE `u` (`a` varbinary(4), `b` text);\n"
                               "INSERT INTO `u` (`b`) VALUES ('Zeile 0');\n");
    const std::string cache = jobs.state->cache_folder;
    const auto search = [&](auto& j) {
        j.filter.op = FilterOp::contains, j.filter_text = "Zeile", j.threads = 2;
        j.output_path = cache_search_new_path(*jobs.state);
    };
    EXPECT_EQ(test::text_of(jobs.run(JobKind::search, [&](auto& j) { search(j), j.cancel = 1; })->status),
              "Vorgang abgebrochen.");
    EXPECT_FALSE(test::file_exists(cache_search_new_path(*jobs.state)));
    const auto done = jobs.run(JobKind::search, search);
    ASSERT_EQ(test::text_of(done->status), "");
    EXPECT_EQ(done->rows, 251u);
    EXPECT_EQ(done->search_tables, 2u);
    ASSERT_TRUE(file_replace(cache_search_new_path(*jobs.state), cache_search_path(*jobs.state)));
    const struct {
        std::uint64_t first;
        std::uint32_t rows;
        const char* first_line;
        const char* last_line;
    } pages[] = {
        {0, 100, "1|dump.t|1|name|Zeile 1|11111", "100|dump.t|100|name|Zeile 100|11111"},
        {200, 51, "201|dump.t|201|name|Zeile 201|11111", "251|dump.u|1|b|Zeile 0|11111"},
        {300, 0, "", ""},
    };
    for (const auto& p : pages) {
        const auto page = jobs.run(JobKind::search_page, [&](auto& j) {
            j.index_path = cache_search_path(*jobs.state), j.first_row = p.first;
        });
        ASSERT_EQ(test::text_of(page->status), "");
        ASSERT_EQ(page->page->row_count, p.rows);
        EXPECT_EQ(page->page->cell_count, SEARCH_PAGE_CELLS);
        EXPECT_EQ(page->page->hits.size(), p.rows);
        if (p.rows == 0) continue;
        EXPECT_EQ(row_text(*page->page, 0), p.first_line);
        EXPECT_EQ(row_text(*page->page, p.rows - 1), p.last_line);
        const SearchHit& last = page->page->hits[p.rows - 1];
        IndexEntry entry;
        FileGuard index(file_open(cache_index_path(*jobs.state, last.object), FILE_MODE_READ));
        ASSERT_TRUE(index_read(index.get(), last.row, 1, &entry));
        EXPECT_EQ(page->page->entries[p.rows - 1].offset, entry.offset);
    }
    scan_unit_rows = SCAN_UNIT_ROWS_MAX;
}

}  // namespace
}  // namespace kv
