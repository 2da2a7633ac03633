// Worker threads and the completion signal: a set is never lost (before or during a wait),
// it wakes exactly one wait, and a thread started detached runs its function once.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "foundation/thread.h"

using namespace kv;
using namespace std::chrono_literals;

TEST(Signal, SetIsRememberedConsumedOnceAndTimesOut) {
    Signal signal;
    EXPECT_FALSE(signal.wait_for(0ms));
    EXPECT_FALSE(signal.wait_for(20ms));
    signal.set();
    signal.set();  // two sets before a wait count as one
    EXPECT_TRUE(signal.wait_for(0ms));
    EXPECT_FALSE(signal.wait_for(0ms));
}

namespace {
struct Handover {
    Signal go;
    Signal back;
    std::atomic<int> runs{0};
};

// The thread holds its own reference: it may still be inside back.set() when the test has
// seen the set and moved on.
void echo(void* arg) {
    std::unique_ptr<std::shared_ptr<Handover>> ref(static_cast<std::shared_ptr<Handover>*>(arg));
    Handover& h = **ref;
    h.go.wait_for(10s);
    h.runs.fetch_add(1);
    h.back.set();
}
}  // namespace

TEST(Signal, DetachedThreadsHandOverManyTimes) {
    for (int i = 0; i < 100; ++i) {
        auto h = std::make_shared<Handover>();
        ASSERT_TRUE(thread_start_detached(echo, new std::shared_ptr<Handover>(h)));
        h->go.set();  // set while, or before, the thread waits
        ASSERT_TRUE(h->back.wait_for(10s)) << "round " << i;
        EXPECT_EQ(h->runs.load(), 1);
    }
}
