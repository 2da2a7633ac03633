// Win32 threads for the job runner (see thread.h): _beginthreadex, so the C runtime knows the
// thread, with its handle closed at once (detached) or kept for the join, and an auto-reset
// event object.
#include "foundation/thread.h"

#include <windows.h>
#include <process.h>

#include <new>

namespace kv {

namespace {
struct Start {
    ThreadFn fn;
    void* arg;
};

unsigned __stdcall thread_main(void* p) {
    Start start = *static_cast<Start*>(p);
    delete static_cast<Start*>(p);
    start.fn(start.arg);
    return 0;
}

// A new thread running fn(arg): its handle, null when it cannot be started.
HANDLE begin_thread(ThreadFn fn, void* arg) {
    auto* start = new (std::nothrow) Start{fn, arg};
    if (start == nullptr) return nullptr;
    const uintptr_t handle = _beginthreadex(nullptr, 0, thread_main, start, 0, nullptr);
    if (handle == 0) delete start;
    return reinterpret_cast<HANDLE>(handle);
}

}  // namespace

bool thread_start_detached(ThreadFn fn, void* arg) {
    const HANDLE handle = begin_thread(fn, arg);
    if (handle == nullptr) return false;
    CloseHandle(handle);
    return true;
}

struct Thread::Impl {
    HANDLE handle = nullptr;
};

Thread::Thread() : impl_(std::make_unique<Impl>()) {}
Thread::~Thread() { join(); }

bool Thread::start(ThreadFn fn, void* arg) {
    if (impl_->handle != nullptr) return false;
    impl_->handle = begin_thread(fn, arg);
    return impl_->handle != nullptr;
}

// A thread that ExitProcess has already ended counts as ended: its handle is signalled.
void Thread::join() {
    if (impl_->handle == nullptr) return;
    WaitForSingleObject(impl_->handle, INFINITE);
    CloseHandle(impl_->handle);
    impl_->handle = nullptr;
}

bool Thread::started() const { return impl_->handle != nullptr; }

std::uint32_t cpu_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? info.dwNumberOfProcessors : 1;
}

struct Signal::Impl {
    HANDLE event = nullptr;
};

// Without an event object (the system refused one) a wait sleeps in short steps and reports
// no set: callers that look at their own state after each wait still see every hand-over.
Signal::Signal() : impl_(std::make_unique<Impl>()) {
    impl_->event = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

Signal::~Signal() {
    if (impl_->event != nullptr) CloseHandle(impl_->event);
}

void Signal::set() {
    if (impl_->event != nullptr) SetEvent(impl_->event);
}

bool Signal::wait_for(std::chrono::milliseconds timeout) {
    auto ms = timeout.count() < 0 ? 0 : timeout.count();
    DWORD wait = ms >= static_cast<long long>(INFINITE) ? INFINITE - 1 : static_cast<DWORD>(ms);
    if (impl_->event == nullptr) {
        Sleep(wait < 10 ? wait : 10);
        return false;
    }
    return WaitForSingleObject(impl_->event, wait) == WAIT_OBJECT_0;
}

}  // namespace kv
