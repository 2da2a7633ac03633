// Fuzz target: an arbitrary manifest next to index files of arbitrary sizes, in the case layout
// of tests/cache/manifest_case.h (which the manifest tests share); a broken rule is a finding.
#include <cstdio>

#include "fuzz/fuzz_support.h"
#include "tests/cache/manifest_case.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = kv::fuzz::scratch_folder() + "/cache";
    kv::dir_ensure(folder);
    kv::DumpState state;
    state.cache_folder = folder;
    if (const char* rule = kv::load_manifest_case(state, data, size)) {
        std::fprintf(stderr, "fuzz_manifest: %s\n", rule);
        kv::fuzz::finding_abort();
    }
    kv::fuzz::folder_clear(folder);
    return 0;
}
