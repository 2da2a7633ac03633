// Waiting for a background job from the thread that submitted it: the completion callback
// hands the finished job over through a mutex and a condition variable. Used by callers that
// have no window message loop (the command-line browser, tests). One job at a time.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <utility>

#include "jobs/job.h"

namespace kv {

class JobCompletion {
public:
    // Starts the job on its worker thread; false when the thread cannot be created (the job
    // is freed then).
    bool submit(BackgroundJob* job) { return job_submit(job, &JobCompletion::on_done, this); }

    // The finished job, now owned by the caller, or null when it is still running after
    // timeout. The running job stays valid for reading progress and setting cancel until then.
    std::unique_ptr<BackgroundJob> wait_for(std::chrono::milliseconds timeout) {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait_for(lock, timeout, [&] { return done_ != nullptr; });
        return std::unique_ptr<BackgroundJob>(std::exchange(done_, nullptr));
    }

    std::unique_ptr<BackgroundJob> wait() {
        std::unique_lock<std::mutex> lock(mutex_);
        cv_.wait(lock, [&] { return done_ != nullptr; });
        return std::unique_ptr<BackgroundJob>(std::exchange(done_, nullptr));
    }

private:
    static void on_done(BackgroundJob* job, void* user) {
        auto* self = static_cast<JobCompletion*>(user);
        std::lock_guard<std::mutex> lock(self->mutex_);
        self->done_ = job;
        self->cv_.notify_one();
    }
    std::mutex mutex_;
    std::condition_variable cv_;
    BackgroundJob* done_ = nullptr;
};

}  // namespace kv
