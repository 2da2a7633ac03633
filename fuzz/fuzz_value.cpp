// Fuzz target: arbitrary bytes as the inside of a VALUES tuple. Under both escape modes the
// values split from it keep the classification contracts callers rely on, and every fast path
// (the plain value path, the fast CSV row writer, the filter's raw test) agrees with its
// reference model; the checks are shared with the differential test (tests/records/reference.h).
#include <cstdio>
#include <cstdlib>

#include "tests/records/reference.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kv::ref::Coverage seen;
    if (const char* finding = kv::ref::check_tuple({reinterpret_cast<const char*>(data), size}, seen)) {
        std::fprintf(stderr, "fuzz_value: %s\n", finding);
        std::abort();
    }
    return 0;
}
