// Background job runner (see job.h).
#include "jobs/job.h"

#include <new>

#include "foundation/thread.h"
#include "importer/open_sequence.h"
#include "jobs/page_job.h"
#include "records/csv_export.h"
#include "records/record_decode.h"
#include "records/tuple_save.h"

namespace kv {

namespace {

// Jobs that read the dump first check that it is still the file that was indexed: on POSIX
// nothing stops another program from rewriting it while it is shown.
bool dump_still_valid(BackgroundJob& job) {
    if (dump_check_unchanged(*job.dump_state)) return true;
    msg_set(job.message, job.dump_state->message);
    return false;
}

bool run_open(BackgroundJob& job) {
    try {
        job.new_dump_state = std::make_unique<DumpState>();
    } catch (const std::bad_alloc&) {
        return false;
    }
    DumpState& state = *job.new_dump_state;
    dump_state_init(state);
    ProgressSink sink{job_report, &job, EscapeMode::backslash, job.threads};
    const Status opened = dump_open_cached(state, job.dump_path, job.cache_root,
                                           job.new_index != 0, &sink, job.lock_handle);
    if (!opened.ok()) msg_set(job.message, status_text(opened).c_str());
    return opened.ok();
}

bool run_filter(BackgroundJob& job) {
    try {
        job.filter.text = job.filter_text;
    } catch (const std::bad_alloc&) {
        return false;
    }
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return filter_run(*job.dump_state, static_cast<std::uint32_t>(job.object), job.filter,
                      job.output_path, job.rows, &sink);
}

bool run_export(BackgroundJob& job) {
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return csv_export(*job.dump_state, static_cast<std::uint32_t>(job.object), job.index_path,
                      job.rows, job.output_path, static_cast<Charset>(job.charset), true, &sink);
}

bool run_tuple_save(BackgroundJob& job) {
    ProgressSink sink{job_report, &job, EscapeMode::backslash};
    return tuple_save(*job.dump_state, job.entry, job.output_path, &sink);
}

bool run_type(BackgroundJob& job) {
    if (job.kind == JobKind::open) return run_open(job);
    if (job.dump_state == nullptr) return false;
    // Messages of earlier operations on this dump must not pass as this job's reason.
    job.dump_state->message[0] = '\0';
    switch (job.kind) {
        case JobKind::page: return dump_still_valid(job) && page_load(job);
        case JobKind::filter: return dump_still_valid(job) && run_filter(job);
        case JobKind::csv: return dump_still_valid(job) && run_export(job);
        case JobKind::details: return dump_still_valid(job) && details_load(job);
        case JobKind::tuple: return dump_still_valid(job) && run_tuple_save(job);
        default: return false;
    }
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

void job_worker(BackgroundJob& job) {
    job.ok = run_type(job) ? 1 : 0;
    if (job.ok == 0 && job.message[0] == '\0') {
        if (job.dump_state != nullptr) msg_set(job.message, job.dump_state->message);
        if (job.message[0] == '\0') msg_set(job.message, JOB_FALLBACK_MESSAGE);
    }
}

namespace {
struct WorkerStart {
    BackgroundJob* job;
    JobDoneFn done;
    void* user;
};

void worker_main(void* arg) {
    WorkerStart start = *static_cast<WorkerStart*>(arg);
    delete static_cast<WorkerStart*>(arg);
    job_worker(*start.job);
    start.done(start.job, start.user);
}
}  // namespace

bool job_submit(BackgroundJob* job, JobDoneFn done, void* user) {
    auto* start = new (std::nothrow) WorkerStart{job, done, user};
    if (start != nullptr && thread_start_detached(worker_main, start)) return true;
    delete start;
    job_free(job);
    return false;
}

void job_free(BackgroundJob* job) { delete job; }

}  // namespace kv
