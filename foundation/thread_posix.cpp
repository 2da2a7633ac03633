// POSIX threads for the job runner (see thread.h).
#include "foundation/thread.h"

#include <pthread.h>
#include <unistd.h>

#include <new>

#include <condition_variable>
#include <mutex>

namespace kv {

namespace {
struct Start {
    ThreadFn fn;
    void* arg;
};

void* thread_main(void* p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.fn(start.arg);
    return nullptr;
}
}  // namespace

bool thread_start_detached(ThreadFn fn, void* arg) {
    auto* start = new (std::nothrow) Start{fn, arg};
    if (start == nullptr) return false;
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0) {
        delete start;
        return false;
    }
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    int rc = pthread_create(&thread, &attr, thread_main, start);
    pthread_attr_destroy(&attr);
    if (rc != 0) {
        delete start;
        return false;
    }
    return true;
}

struct Thread::Impl {
    pthread_t thread{};
    bool started = false;
};

Thread::Thread() : impl_(std::make_unique<Impl>()) {}
Thread::~Thread() { join(); }

bool Thread::start(ThreadFn fn, void* arg) {
    if (impl_->started) return false;
    auto* start = new (std::nothrow) Start{fn, arg};
    if (start == nullptr) return false;
    if (pthread_create(&impl_->thread, nullptr, thread_main, start) != 0) {
        delete start;
        return false;
    }
    impl_->started = true;
    return true;
}

void Thread::join() {
    if (!impl_->started) return;
    pthread_join(impl_->thread, nullptr);
    impl_->started = false;
}

bool Thread::started() const { return impl_->started; }

std::uint32_t cpu_count() {
    long n = ::sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<std::uint32_t>(n) : 1;
}

struct Signal::Impl {
    std::mutex mutex;
    std::condition_variable cv;
    bool set = false;
};

Signal::Signal() : impl_(std::make_unique<Impl>()) {}
Signal::~Signal() = default;

void Signal::set() {
    {
        std::lock_guard<std::mutex> lock(impl_->mutex);
        impl_->set = true;
    }
    impl_->cv.notify_one();
}

bool Signal::wait_for(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(impl_->mutex);
    if (!impl_->cv.wait_for(lock, timeout, [&] { return impl_->set; })) return false;
    impl_->set = false;
    return true;
}

}  // namespace kv
