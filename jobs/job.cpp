// Background job runner (see job.h).
#include "jobs/job.h"

#include <atomic>
#include <chrono>
#include <new>

#include "foundation/thread.h"
#include "importer/open_sequence.h"
#include "jobs/page_job.h"
#include "records/csv_export.h"
#include "records/record_decode.h"
#include "records/sql_extract.h"
#include "records/tuple_save.h"

namespace kv {

namespace {

Status run_open(BackgroundJob& job) {
    try {
        job.new_dump_state = std::make_unique<DumpState>();
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    DumpState& state = *job.new_dump_state;
    dump_state_init(state);
    ProgressSink sink{job_report, &job, EscapeMode::backslash, job.threads};
    return dump_open_cached(state, job.dump_path, job.cache_root, job.new_index, &sink,
                            job.lock_handle);
}

Status run_filter(BackgroundJob& job) {
    try {
        job.filter.text = job.filter_text;
        if (job.filter.threads == 0) job.filter.threads = job.threads;
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return filter_run(*job.dump_state, static_cast<std::uint32_t>(job.object), job.filter,
                      job.output_path, job.rows, &sink);
}

Status run_export(BackgroundJob& job) {
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return csv_export(*job.dump_state, static_cast<std::uint32_t>(job.object), job.index_path,
                      job.rows, job.output_path, job.charset, true, &sink);
}

Status run_tuple_save(BackgroundJob& job) {
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return tuple_save(*job.dump_state, job.entry, job.output_path, &sink);
}

Status run_extract(BackgroundJob& job) {
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return sql_extract(*job.dump_state, job.extract_parts, job.output_path, job.extract_options,
                       &sink);
}

Status run_search(BackgroundJob& job) {
    SearchRequest request;
    try {
        request.text = job.filter_text;
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    request.op = job.filter.op;
    request.charset = job.filter.charset;
    request.threads = job.threads;
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return search_run(*job.dump_state, request, job.output_path, job.rows, job.search_tables,
                      &sink, &job.search_skipped);
}

// The job of its kind on the open dump. Jobs that read the dump first check that it is still
// the file that was indexed: on POSIX nothing stops another program from rewriting it while it
// is shown.
Status run_on_dump(BackgroundJob& job) {
    if (Status unchanged = dump_check_unchanged(*job.dump_state); !unchanged.ok()) {
        return unchanged;
    }
    switch (job.kind) {
        case JobKind::page: return page_load(job);
        case JobKind::filter: return run_filter(job);
        case JobKind::csv: return run_export(job);
        case JobKind::details: return details_load(job);
        case JobKind::tuple: return run_tuple_save(job);
        case JobKind::extract: return run_extract(job);
        case JobKind::search: return run_search(job);
        case JobKind::search_page: return search_page_load(job);
        default: return status_fail(StatusKind::refused, Msg::bad_table);
    }
}

Status run_kind(BackgroundJob& job) {
    if (job.kind == JobKind::open) return run_open(job);
    if (job.dump_state == nullptr) return status_fail(StatusKind::refused, Msg::bad_table);
    return run_on_dump(job);
}

}  // namespace

BackgroundJob::~BackgroundJob() { file_close(lock_handle); }

int job_report(void* user, std::uint64_t done, std::uint64_t total, std::uint64_t count,
               const char* label) {
    auto* job = static_cast<BackgroundJob*>(user);
    job->progress_done.store(done, std::memory_order_relaxed);
    job->progress_total.store(total, std::memory_order_relaxed);
    job->progress_count.store(count, std::memory_order_relaxed);
    job->progress_label.store(label, std::memory_order_relaxed);
    return job->cancel.load(std::memory_order_relaxed) != 0 ? 0 : 1;
}

void job_worker(BackgroundJob& job) { job.status = run_kind(job); }

namespace {

// A job handed over and not yet taken by the worker, with its completion.
struct Pending {
    BackgroundJob* job;
    JobDoneFn done;
    void* user;
};

// The process's one worker thread, started with the first job and kept until stop(). It
// takes the job in its slot, runs it, calls its completion and waits for the next one. The
// slot holds one job: the requester gives the next only after the completion of the last
// (its busy rule), so a second waiting job is refused. submit() and stop() are the
// requester's and never run at the same time; the worker touches only the slot and the flag.
class JobWorker {
public:
    JobWorker() = default;
    JobWorker(const JobWorker&) = delete;
    JobWorker& operator=(const JobWorker&) = delete;
    ~JobWorker() { stop(); }

    bool submit(Pending* pending) {
        if (!thread_.started()) {
            stopping_.store(false, std::memory_order_relaxed);
            if (!thread_.start(&JobWorker::main, this)) return false;
        }
        Pending* empty = nullptr;
        if (!slot_.compare_exchange_strong(empty, pending, std::memory_order_acq_rel)) {
            return false;
        }
        wake_.set();
        return true;
    }

    // Runs what waits in the slot, then ends the thread and joins it. A running job is
    // finished first: callers cancel it before they stop.
    void stop() {
        if (!thread_.started()) return;
        stopping_.store(true, std::memory_order_release);
        wake_.set();
        thread_.join();
    }

private:
    static void main(void* self) { static_cast<JobWorker*>(self)->run(); }

    void run() {
        for (;;) {
            if (Pending* taken = slot_.exchange(nullptr, std::memory_order_acq_rel)) {
                const Pending pending = *taken;
                delete taken;
                job_worker(*pending.job);
                pending.done(pending.job, pending.user);
                continue;
            }
            if (stopping_.load(std::memory_order_acquire)) return;
            wake_.wait_for(std::chrono::hours(1));
        }
    }

    std::atomic<Pending*> slot_{nullptr};
    std::atomic<bool> stopping_{false};
    Signal wake_;
    Thread thread_;
};

// Made at the first use; its destruction at the process's normal end joins the thread, so no
// worker outlives the objects of the program.
JobWorker& worker() {
    static JobWorker instance;
    return instance;
}

}  // namespace

bool job_submit(BackgroundJob* job, JobDoneFn done, void* user) {
    auto* pending = new (std::nothrow) Pending{job, done, user};
    if (pending != nullptr && worker().submit(pending)) return true;
    delete pending;
    job_free(job);
    return false;
}

void job_shutdown() { worker().stop(); }

void job_free(BackgroundJob* job) { delete job; }

}  // namespace kv
