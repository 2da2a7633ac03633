// Worker threads and the completion signal of background jobs, on the operating system's own
// primitives: _beginthreadex and an event object on Windows, pthreads on POSIX.
//
// Why not std::thread / std::condition_variable: with mingw-w64 those run on winpthreads,
// whose detach and condition variables have had races that hang a program. Import helpers are
// short-lived detached threads; the job runner keeps one joinable Thread for the whole run; a
// Signal hands one event at a time from one thread to one waiter.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>

namespace kv {

using ThreadFn = void (*)(void* arg);

// Runs fn(arg) on a new detached thread. False when the system refuses a thread; fn is not
// called then and arg stays the caller's.
bool thread_start_detached(ThreadFn fn, void* arg);

// A thread joined by its owner: start() runs fn(arg) on a new thread, join() (and the
// destructor) waits for it to end. Start and join from one thread; not copyable. While the
// thread runs, nothing here touches it, so it may outlive nothing the destructor frees.
class Thread {
public:
    Thread();
    ~Thread();
    Thread(const Thread&) = delete;
    Thread& operator=(const Thread&) = delete;

    // False when the system refuses a thread or one is already running (fn is not called).
    bool start(ThreadFn fn, void* arg);
    // Waits for the thread's end; nothing when none was started or it was joined already.
    void join();
    bool started() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

// Processors this process can run on (at least 1).
std::uint32_t cpu_count();

// An auto-reset signal: set() wakes one wait (or the next one, if nobody waits yet); a wait
// that returns true has consumed the set. A wait may also return early (false), so callers
// look at their own state after every wait. Thread-safe; the object must outlive every call
// on it (share it by reference count when a setter may still be inside set()).
class Signal {
public:
    Signal();
    ~Signal();
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;

    void set();
    // True when the signal was set within timeout (and is consumed).
    bool wait_for(std::chrono::milliseconds timeout);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace kv
