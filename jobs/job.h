// Background jobs: every operation that touches the dump or the cache for longer than a moment
// (open/import, page, filter, search and its pages, CSV export, record details, raw tuple save,
// SQL extract) runs as one BackgroundJob on a worker thread, so the window or the terminal stays
// responsive.
//
// Hand-over: the requester fills a job and gives it to job_submit; from then on the worker
// owns it; when it is done the completion callback receives it on the worker thread and the
// receiver owns it (and frees it with job_free). While a job runs, the requester may only set
// `cancel` and read the progress fields; both sides use atomics for them. The job's DumpState
// (dump_state) is used by the worker alone until completion.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"
#include "records/filter.h"
#include "records/search.h"
#include "records/sql_extract.h"

namespace kv {

enum class JobKind : std::uint8_t {
    none,     // not set: the worker fails the job
    open,     // open the dump: load the cache or import
    page,     // load one page of 100 rows
    filter,   // filter a whole table into "query-new.kvi"
    csv,      // export a table or the filter hits as CSV
    details,  // decode one record for the details window
    tuple,    // save one raw tuple
    extract,  // write tables, filter hits, views or routines as an SQL script
    search,       // search every table into "search-new.kvs"
    search_page,  // load one page of 100 hits of "search.kvs"
};

inline constexpr std::uint32_t PAGE_ROWS = 100;

// One page of the grid: up to 100 lines of UTF-16 preview cells. Cell 0 is the row number,
// cell j + 1 column j; kinds[r][j + 1] is that column's ValueKind (kinds[r][0] stays 0).
// A page of search hits has 5 cells a line: hit number, "DATABASE.NAME", row number, column
// name, value preview (kinds[r][4] its ValueKind, cells 1 to 3 VALUE_TEXT), and the page's hits
// in `hits`.
struct PageData {
    std::uint64_t first_row = 0;
    std::uint32_t row_count = 0;
    std::uint32_t cell_count = 0;  // the object's column count + 1
    std::vector<std::vector<std::u16string>> cells;
    std::vector<std::vector<std::uint8_t>> kinds;
    std::array<IndexEntry, PAGE_ROWS> entries{};
    std::vector<SearchHit> hits;  // search page: its hits in order
};

inline constexpr std::uint32_t SEARCH_PAGE_CELLS = 5;

struct BackgroundJob {
    BackgroundJob() = default;
    ~BackgroundJob();
    BackgroundJob(const BackgroundJob&) = delete;
    BackgroundJob& operator=(const BackgroundJob&) = delete;

    // Requester's inputs.
    JobKind kind = JobKind::none;
    std::int32_t object = -1;
    Charset charset = CHARSET_UTF8;
    bool new_index = false;         // open: import anew instead of loading the manifest
    std::uint32_t threads = 0;      // open, filter, search: threads (0: one per processor, at most 8)
    std::uint64_t first_row = 0;    // page: first row; search page: first hit (a multiple of 100)
    DumpState* dump_state = nullptr;  // types 2..6: the current dump (not owned)
    std::string cache_root;         // open: where cache folders live
    std::string dump_path;          // open: the dump to open
    std::string output_path;        // filter: "query-new.kvi"; search: "search-new.kvs";
                                    // export: CSV; tuple: target
    std::string index_path;         // page, export: table index or "query.kvi"; search page:
                                    // "search.kvs"
    std::string filter_text;        // filter: as typed, UTF-8
    IndexEntry entry;               // details, tuple save: the selected line's entry
    FilterRequest filter;           // filter: column, operator, charset (text copied in);
                                    // search: operator and charset (column unused)
    std::vector<ExtractPart> extract_parts;  // extract: the objects, in script order
    ExtractOptions extract_options;          // extract: switches and the time of the header

    // Shared while running: the requester writes cancel, the worker the progress fields.
    std::atomic<std::uint32_t> cancel{0};
    std::atomic<std::uint64_t> progress_done{0};
    std::atomic<std::uint64_t> progress_total{0};
    std::atomic<std::uint64_t> progress_count{0};
    std::atomic<const char*> progress_label{nullptr};  // static texts only

    // Rows of the view (page, export); the filter and the search write their hit count here.
    std::uint64_t rows = 0;
    std::uint32_t search_tables = 0;  // search: tables with at least one hit
    std::uint64_t search_skipped = 0;  // search: tuples above 64 MiB passed over

    // Worker's results.
    Status status;                              // success, or why the job failed
    std::unique_ptr<DumpState> new_dump_state;  // open
    FileHandle lock_handle = INVALID_FILE;      // open: "session.lock", owned
    std::string details_text;                   // details
    std::unique_ptr<PageData> page;             // page, search page
};

// Called on the worker thread when the job is done; takes ownership of the job.
using JobDoneFn = void (*)(BackgroundJob* job, void* user);

// Hands the job to the process's worker thread, which is started by the first job and kept
// for the next ones (a hand-over costs a wake-up, not a thread). False when the thread cannot
// be created or a job still waits to be taken; the job is freed then. The caller keeps the
// busy state: it gives the next job only after the last one's completion. Submit and shut
// down from one thread at a time.
bool job_submit(BackgroundJob* job, JobDoneFn done, void* user);
// Ends the worker thread and waits for it; a job handed over before is run and completed
// first (cancel a running one to end it early). The next job_submit starts a new thread. Runs
// by itself at the program's normal end; call it before ExitProcess, which would end the
// thread wherever it is.
void job_shutdown();
// Runs the job to its end on the calling thread (the body of the worker thread).
void job_worker(BackgroundJob& job);
// Progress sink report function: stores the values in the job; 0 once cancel is set.
int job_report(void* user, std::uint64_t done, std::uint64_t total, std::uint64_t count,
               const char* label);
// Frees the job and everything it still owns (new dump state, lock handle, page). Null is ok.
void job_free(BackgroundJob* job);

}  // namespace kv
