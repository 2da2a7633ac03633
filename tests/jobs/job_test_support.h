// Helpers of the job tests: running a job through the real worker thread and waiting for its
// completion, and opening a dump through an open job as the interface does.
#pragma once

#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>

#include "jobs/job.h"
#include "tests/support/test_support.h"

namespace kv::test {

// Submits a job and waits for its completion callback; returns the finished job.
class JobWaiter {
public:
    std::unique_ptr<BackgroundJob> run(std::unique_ptr<BackgroundJob> job) {
        done_ = nullptr;
        EXPECT_TRUE(job_submit(job.release(), &JobWaiter::on_done, this));
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return done_ != nullptr; });
        return std::unique_ptr<BackgroundJob>(done_);
    }

private:
    static void on_done(BackgroundJob* job, void* user) {
        auto* self = static_cast<JobWaiter*>(user);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->done_ = job;
        self->cv_.notify_one();
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    BackgroundJob* done_ = nullptr;
};

// A dump opened through an open job: its folder, the taken-over state and the session lock.
struct OpenDump {
    TempDir dir;
    std::unique_ptr<DumpState> state;
    FileHandle lock = INVALID_FILE;
    ~OpenDump() { file_close(lock); }
};

inline std::unique_ptr<BackgroundJob> open_job(const std::string& path, const std::string& root) {
    auto job = std::make_unique<BackgroundJob>();
    job->type = JOB_OPEN;
    job->dump_path = path;
    job->cache_root = root;
    return job;
}

// Writes content as "dump.sql", opens it through an open job and takes over its state and lock.
inline void open_dump(OpenDump& open, const std::string& content) {
    std::string path = open.dir.file("dump.sql");
    write_file(path, content);
    JobWaiter waiter;
    auto job = waiter.run(open_job(path, open.dir.file("cache")));
    ASSERT_EQ(job->ok, 1) << job->message;
    open.state = std::move(job->new_dump_state);
    open.lock = job->lock_handle;
    job->lock_handle = INVALID_FILE;
}

}  // namespace kv::test
