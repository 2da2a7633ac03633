// fuzz_manifest_seeds DUMP... OUTDIR: imports each dump into a scratch cache and writes the
// manifest it produced, in the case layout of tests/cache/manifest_case.h, as a seed of
// fuzz_manifest. Run by hand when the manifest format changes.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cache/file_names.h"
#include "cache/index_file.h"
#include "fuzz/fuzz_support.h"
#include "importer/open_sequence.h"

int main(int argc, char** argv) {
    if (argc < 3) return std::fprintf(stderr, "usage: fuzz_manifest_seeds DUMP... OUTDIR\n"), 2;
    for (int a = 1; a + 1 < argc; ++a) {
        kv::DumpState state;
        kv::FileHandle lock = kv::INVALID_FILE;
        const kv::Status opened = kv::dump_open_cached(state, argv[a], kv::fuzz::scratch_folder() + "/cache", true, nullptr, lock);
        if (!opened.ok()) {
            std::fprintf(stderr, "%s: %s\n", argv[a], kv::status_text(opened).c_str());
            continue;
        }
        kv::file_close(lock);
        std::string seed(1, static_cast<char>(std::min<std::size_t>(state.objects.size(), 7)));
        bool fits = true;  // every object with entries among the first seven, its file < 64 KiB
        for (std::size_t i = 0; i < state.objects.size(); ++i) {
            const std::uint64_t size = state.objects[i].entry_count * kv::INDEX_ENTRY_SIZE;
            fits = fits && size <= (i < 7 ? 65535u : 0u);
            if (i < 7) seed += {static_cast<char>(size & 0xFF), static_cast<char>(size >> 8)};
        }
        std::ifstream in(kv::cache_manifest_path(state), std::ios::binary);
        seed.append(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        const std::string out = argv[argc - 1] + ("/" + std::filesystem::path(argv[a]).stem().string() + ".manifest");
        if (fits) kv::fuzz::file_put(out, seed.data(), seed.size());
        else std::fprintf(stderr, "%s: index files do not fit the seed prefix\n", argv[a]);
    }
    return 0;
}
