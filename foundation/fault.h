// Fault injection for tests: makes the n-th file operation of a kind fail.
//
// Compiled in only when KV_FAULT_INJECTION is defined: the file layer's test variant
// (kv_file_layer_faults), which every test program links. Shipped programs link the plain
// file layer, where fault_hit is a constant false and costs nothing.
#pragma once

#include <cstdint>

namespace kv {

enum FaultKind : int {
    FAULT_OPEN = 0,
    FAULT_READ,
    FAULT_WRITE,
    FAULT_FLUSH,
    FAULT_RENAME,
    FAULT_REMOVE,
    FAULT_KIND_COUNT
};

#if defined(KV_FAULT_INJECTION)
// Arms the switch: the operation with 1-based number `nth` (counted over all kinds in
// `kinds_mask`, bit k = FaultKind k) fails, once; 0 disarms. Counting starts at arming and goes
// on after the failure, so fault_count() after a run tells how many operations there were.
void fault_arm(std::uint32_t kinds_mask, std::uint64_t nth);
// Number of operations of the armed kinds seen since arming.
std::uint64_t fault_count();
bool fault_hit(FaultKind kind);
#else
inline bool fault_hit(FaultKind) { return false; }
#endif

}  // namespace kv
