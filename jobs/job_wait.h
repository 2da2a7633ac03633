// Waiting for a background job from the thread that submitted it: the completion callback
// hands the finished job over through an atomic slot and a Signal. Used by callers that have
// no window message loop (the command-line browser, tests). One job at a time.
//
// Lifetime: the hand-over state is shared between the waiter and the worker. The worker may
// still be inside Signal::set when the waiter has already taken the job and the JobCompletion
// is gone (a waiter on the stack is gone at once), so the worker holds its own reference until
// its callback has returned.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <new>

#include "foundation/thread.h"
#include "jobs/job.h"

namespace kv {

class JobCompletion {
public:
    JobCompletion() : shared_(std::make_shared<Shared>()) {}

    // Starts the job on its worker thread; false when the thread cannot be created (the job
    // is freed then).
    bool submit(BackgroundJob* job) {
        auto* ref = new (std::nothrow) std::shared_ptr<Shared>(shared_);
        if (ref == nullptr) {
            job_free(job);
            return false;
        }
        if (job_submit(job, &JobCompletion::on_done, ref)) return true;
        delete ref;
        return false;
    }

    // The finished job, now owned by the caller, or null when it is still running after
    // timeout. The running job stays valid for reading progress and setting cancel until then.
    std::unique_ptr<BackgroundJob> wait_for(std::chrono::milliseconds timeout) {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (BackgroundJob* job = shared_->done.exchange(nullptr, std::memory_order_acquire)) {
                return std::unique_ptr<BackgroundJob>(job);
            }
            // A set left over from a job taken without waiting wakes us early: look again.
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) return nullptr;
            shared_->signal.wait_for(left);
        }
    }

    std::unique_ptr<BackgroundJob> wait() {
        for (;;) {
            if (auto job = wait_for(std::chrono::hours(1))) return job;
        }
    }

private:
    struct Shared {
        std::atomic<BackgroundJob*> done{nullptr};
        Signal signal;
        ~Shared() { job_free(done.load()); }  // a job nobody waited for
    };

    // Runs on the worker; user is the worker's own reference, released last.
    static void on_done(BackgroundJob* job, void* user) {
        std::unique_ptr<std::shared_ptr<Shared>> ref(static_cast<std::shared_ptr<Shared>*>(user));
        (*ref)->done.store(job, std::memory_order_release);
        (*ref)->signal.set();
    }

    std::shared_ptr<Shared> shared_;
};

}  // namespace kv
