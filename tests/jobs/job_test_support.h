// Helpers of the job tests: running a job through the real worker thread and waiting for its
// completion, and opening a dump through an open job as the interface does.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "jobs/job.h"
#include "jobs/job_wait.h"
#include "tests/support/test_support.h"

namespace kv::test {

// Submits a job and waits for its completion; returns the finished job.
class JobWaiter {
public:
    std::unique_ptr<BackgroundJob> run(std::unique_ptr<BackgroundJob> job) {
        EXPECT_TRUE(completion_.submit(job.release()));
        return completion_.wait();
    }

private:
    JobCompletion completion_;
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
