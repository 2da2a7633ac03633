// The filter, CSV export and raw tuple save jobs as the interface uses them, through the real
// worker thread: open a dump, filter a table, page over the hits, export the table and the
// hits as CSV, and save one tuple's original bytes.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "foundation/text.h"
#include "jobs/job.h"
#include "jobs/page_job.h"
#include "tests/jobs/job_test_support.h"
#include "tests/records/records_test_support.h"
#include "tests/support/test_support.h"

namespace kv {
namespace {

using test::JobWaiter;
using test::OpenDump;

const char* const CUSTOMERS =
    "CREATE TABLE `kunden` (\n  `id` int,\n  `name` varchar(40),\n  `ort` varchar(40),\n"
    "  `notiz` text,\n  `bild` blob\n);\n"
    "INSERT INTO `kunden` VALUES (1,'Anna \"die Erste\"','Berlin',NULL,X'00FF'),"
    "(2,'=HYPERLINK(1)','München','a\\0b',NULL),"
    "(3,'Bert','Berlin','-5',_binary'AB'),"
    "(4,'Cleo','Köln',-5,NULL);\n"
    "INSERT INTO `kunden` (`id`,`name`) VALUES (5,'Dora');\n";

// The CSV lines of the five rows, and the header: UTF-8 with BOM, ";" and CR LF, every field
// quoted, NULL as \N, a column the INSERT left out as [nicht im INSERT], NUL as \0, and an
// apostrophe before text that a spreadsheet would take for a formula (not before the number).
const std::string BOM = "\xEF\xBB\xBF";
const std::string HEADER = "\"id\";\"name\";\"ort\";\"notiz\";\"bild\"\r\n";
const std::string ROW[] = {
    "\"1\";\"Anna \"\"die Erste\"\"\";\"Berlin\";\"\\N\";\"0x00FF\"\r\n",
    "\"2\";\"'=HYPERLINK(1)\";\"München\";\"a\\0b\";\"\\N\"\r\n",
    "\"3\";\"Bert\";\"Berlin\";\"'-5\";\"0x4142\"\r\n",
    "\"4\";\"Cleo\";\"Köln\";\"-5\";\"\\N\"\r\n",
    "\"5\";\"Dora\";\"[nicht im INSERT]\";\"[nicht im INSERT]\";\"[nicht im INSERT]\"\r\n",
};

std::unique_ptr<BackgroundJob> new_job(OpenDump& open, JobType type) {
    auto job = std::make_unique<BackgroundJob>();
    job->type = type;
    job->dump_state = open.state.get();
    job->object = 0;
    job->charset = CHARSET_UTF8;
    return job;
}

// Filter on column `ort` equal to "Berlin", written to the cache's "query-new.kvi".
std::unique_ptr<BackgroundJob> berlin_filter(OpenDump& open) {
    auto job = new_job(open, JOB_FILTER);
    job->filter.column = 2;
    job->filter.op = FILTER_EQUALS;
    job->filter.charset = CHARSET_UTF8;
    job->filter_text = "Berlin";
    job->output_path = open.state->cache_folder + "/query-new.kvi";
    return job;
}

std::string cell(const PageData& page, std::uint32_t row, std::uint32_t column) {
    return utf16_to_utf8(page.cells[row][column]);
}

TEST(RecordsJobs, FilterPageExportAndSave) {
    OpenDump open;
    test::open_dump(open, CUSTOMERS);
    const std::string cache = open.state->cache_folder;
    JobWaiter waiter;

    // 1. Filter: two hits, written to "query-new.kvi"; the interface then moves it onto
    //    "query.kvi", which becomes the active filter.
    auto filter = waiter.run(berlin_filter(open));
    ASSERT_EQ(filter->ok, 1) << filter->message;
    EXPECT_EQ(filter->rows, 2u);
    EXPECT_EQ(filter->filter.text, "Berlin");
    EXPECT_STREQ(filter->progress_label.load(), "Tabelle filtern");
    ASSERT_TRUE(file_replace(cache + "/query-new.kvi", cache + "/query.kvi"));
    const std::string hits_path = cache + "/query.kvi";
    const std::uint64_t hits = filter->rows;

    // 2. Page over the hits: rows 1 and 2 of the view are rows 1 and 3 of the table.
    auto page_request = new_job(open, JOB_PAGE);
    page_request->index_path = hits_path;
    page_request->rows = hits;
    page_request->first_row = 0;
    auto page_done = waiter.run(std::move(page_request));
    ASSERT_EQ(page_done->ok, 1) << page_done->message;
    const PageData& page = *page_done->page;
    ASSERT_EQ(page.row_count, 2u);
    EXPECT_EQ(cell(page, 0, 0), "1");
    EXPECT_EQ(cell(page, 0, 2), "Anna \"die Erste\"");
    EXPECT_EQ(cell(page, 1, 0), "2");
    EXPECT_EQ(cell(page, 1, 2), "Bert");
    EXPECT_EQ(cell(page, 1, 5), "0x4142");
    EXPECT_EQ(page.kinds[1][5], VALUE_BINARY);

    // 3. Export the whole table.
    auto table_export = new_job(open, JOB_EXPORT);
    table_export->index_path = index_file_path(*open.state, 0);
    table_export->rows = open.state->objects[0].entry_count;
    table_export->output_path = open.dir.file("kunden.csv");
    auto table_done = waiter.run(std::move(table_export));
    ASSERT_EQ(table_done->ok, 1) << table_done->message;
    EXPECT_EQ(test::read_file(open.dir.file("kunden.csv")),
              BOM + HEADER + ROW[0] + ROW[1] + ROW[2] + ROW[3] + ROW[4]);

    // 4. Export only the hits of the active filter.
    auto hits_export = new_job(open, JOB_EXPORT);
    hits_export->index_path = hits_path;
    hits_export->rows = hits;
    hits_export->output_path = open.dir.file("treffer.csv");
    auto hits_done = waiter.run(std::move(hits_export));
    ASSERT_EQ(hits_done->ok, 1) << hits_done->message;
    EXPECT_EQ(test::read_file(open.dir.file("treffer.csv")), BOM + HEADER + ROW[0] + ROW[2]);

    // 5. Save the selected line's tuple exactly as the dump holds it.
    auto save = new_job(open, JOB_TUPLE);
    save->entry = page.entries[1];
    save->output_path = open.dir.file("tuple-byte-" + std::to_string(save->entry.offset) + ".sql");
    const std::string tuple_path = save->output_path;
    auto save_done = waiter.run(std::move(save));
    ASSERT_EQ(save_done->ok, 1) << save_done->message;
    EXPECT_EQ(test::read_file(tuple_path), "(3,'Bert','Berlin','-5',_binary'AB')");
}

TEST(RecordsJobs, CancelledFilterKeepsTheActiveFilter) {
    OpenDump open;
    test::open_dump(open, CUSTOMERS);
    const std::string cache = open.state->cache_folder;
    test::write_file(cache + "/query.kvi", std::string(16, 'A'));
    auto job = berlin_filter(open);
    job->cancel = 1;  // seen at the first progress report
    JobWaiter waiter;
    auto done = waiter.run(std::move(job));
    EXPECT_EQ(done->ok, 0);
    EXPECT_STREQ(done->message, "Vorgang abgebrochen.");
    EXPECT_FALSE(test::file_exists(cache + "/query-new.kvi"));
    EXPECT_EQ(test::read_file(cache + "/query.kvi"), std::string(16, 'A'));
}

// A CSV or a tuple written into the dump's own cache folder would replace the file of that name
// there ("session.lock", which would defeat the instance lock, an index, the active filter, the
// manifest) or leave a stray file. Every such destination is refused, existing or new, under
// any spelling of the folder.
TEST(RecordsJobs, DestinationsInTheCacheFolderAreRefused) {
    OpenDump open;
    test::open_dump(open, std::string(CUSTOMERS) + "CREATE TABLE `neu` (`id` int);\n"
                                                   "INSERT INTO `neu` VALUES (1);\n");
    const std::string cache = open.state->cache_folder;
    const std::string name = cache.substr(cache.rfind('/') + 1);
    test::write_file(cache + "/query.kvi", std::string(16, 'Q'));
    std::vector<std::string> refused = {
        cache + "/session.lock",
        cache + "/t000001.kvi",  // the index of the other table
        cache + "/query.kvi",
        cache + "/manifest.kvd",
        cache + "/neu.csv",
        cache + "/./neu.csv",
        open.dir.file("cache/" + name + "/../" + name + "/session.lock"),
    };
#if defined(_WIN32)
    std::string upper = open.dir.file("CACHE/");
    for (char c : name) upper += static_cast<char>(c >= 'a' && c <= 'f' ? c - 32 : c);
    refused.push_back(upper + "/session.lock");
#else
    std::filesystem::create_directory_symlink(test::fs_path(cache),
                                              test::fs_path(open.dir.file("link")));
    refused.push_back(open.dir.file("link/session.lock"));
    refused.push_back(open.dir.file("link/neu.csv"));
#endif
    IndexEntry first;
    {
        FileGuard index(file_open(index_file_path(*open.state, 0), FILE_MODE_READ));
        ASSERT_TRUE(index_read(index.get(), 0, 1, &first));
    }
    JobWaiter waiter;
    for (const std::string& destination : refused) {
        const bool existed = test::file_exists(destination);
        const std::string before = existed ? test::read_file(destination) : std::string();
        for (JobType type : {JOB_EXPORT, JOB_TUPLE}) {
            auto job = new_job(open, type);
            job->index_path = index_file_path(*open.state, 0);
            job->rows = open.state->objects[0].entry_count;
            job->entry = first;
            job->output_path = destination;
            auto done = waiter.run(std::move(job));
            EXPECT_EQ(done->ok, 0) << type << " " << destination;
            EXPECT_STREQ(done->message,
                         "Das Ziel liegt im Cache-Ordner des Dumps. Bitte einen anderen "
                         "Speicherort wählen.")
                << type << " " << destination;
            EXPECT_EQ(test::file_exists(destination), existed) << destination;
            if (existed) {
                EXPECT_EQ(test::read_file(destination), before) << destination;
            }
        }
    }
    EXPECT_TRUE(test::part_files(cache).empty());
    // The instance lock still holds.
    FileHandle second = file_open_lock(cache + "/session.lock");
    EXPECT_EQ(second, INVALID_FILE);
    file_close(second);
}

#if !defined(_WIN32)
TEST(RecordsJobs, ChangedDumpIsRefusedBeforeWriting) {
    OpenDump open;
    test::open_dump(open, CUSTOMERS);
    // Another program appends to the dump while it is shown (POSIX cannot prevent it).
    test::write_file(open.dir.file("dump.sql"), std::string(CUSTOMERS) + "-- appended\n");
    JobWaiter waiter;
    for (JobType type : {JOB_FILTER, JOB_EXPORT, JOB_TUPLE}) {
        auto job = type == JOB_FILTER ? berlin_filter(open) : new_job(open, type);
        if (type != JOB_FILTER) job->output_path = open.dir.file("out");
        job->index_path = index_file_path(*open.state, 0);
        job->rows = open.state->objects[0].entry_count;
        auto done = waiter.run(std::move(job));
        EXPECT_EQ(done->ok, 0) << type;
        EXPECT_STREQ(done->message, "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.");
    }
    EXPECT_FALSE(test::file_exists(open.dir.file("out")));
    EXPECT_FALSE(test::file_exists(open.state->cache_folder + "/query-new.kvi"));
}
#endif

}  // namespace
}  // namespace kv
