// Fault injection switch of the test builds (see fault.h). Only the file layer's test variant
// is compiled with it; shipped programs never contain it.
#include "foundation/fault.h"

#include <atomic>

namespace kv {

namespace {
std::atomic<std::uint32_t> armed_mask{0};
std::atomic<std::uint64_t> fail_at{0};
std::atomic<std::uint64_t> seen{0};
}  // namespace

void fault_arm(std::uint32_t kinds_mask, std::uint64_t nth) {
    armed_mask.store(0);
    seen.store(0);
    fail_at.store(nth);
    armed_mask.store(nth == 0 ? 0 : kinds_mask);
}

std::uint64_t fault_count() { return seen.load(); }

bool fault_hit(FaultKind kind) {
    std::uint32_t mask = armed_mask.load(std::memory_order_relaxed);
    if ((mask & (1u << kind)) == 0) return false;
    return seen.fetch_add(1) + 1 == fail_at.load();
}

}  // namespace kv
