// fuzz_manifest_seeds DUMP... OUTDIR: imports each dump into a scratch cache and writes the
// manifest it produced as a seed of fuzz_manifest (prefix: the index file sizes of the first
// objects, then the manifest bytes). Run by hand when the manifest format changes.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "fuzz/fuzz_support.h"
#include "importer/open_sequence.h"

namespace {

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::vector<unsigned char> bytes;
    kv::FileGuard file(kv::file_open(path, kv::FILE_MODE_READ));
    unsigned char chunk[65536];
    for (;;) {
        std::size_t n = file.valid() ? kv::file_read_some(file.get(), chunk, sizeof chunk) : 0;
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    return bytes;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: fuzz_manifest_seeds DUMP... OUTDIR\n");
        return 2;
    }
    const std::string out_dir = argv[argc - 1];
    const std::string root = kv::fuzz::scratch_folder() + "/cache";
    int written = 0;
    for (int a = 1; a + 1 < argc; ++a) {
        kv::DumpState state;
        kv::FileHandle lock = kv::INVALID_FILE;
        if (!kv::dump_open_cached(state, argv[a], root, true, nullptr, lock)) {
            std::fprintf(stderr, "%s: %s\n", argv[a], state.message);
            continue;
        }
        kv::file_close(lock);
        std::vector<unsigned char> seed;
        const std::size_t k = state.objects.size() < 7 ? state.objects.size() : 7;
        seed.push_back(static_cast<unsigned char>(k));
        bool fits = true;
        for (std::size_t i = 0; i < k; ++i) {
            const std::uint64_t size = state.objects[i].entry_count * kv::INDEX_ENTRY_SIZE;
            fits = fits && size <= 65535;
            seed.push_back(static_cast<unsigned char>(size & 0xFF));
            seed.push_back(static_cast<unsigned char>((size >> 8) & 0xFF));
        }
        // Objects beyond the seventh must not have entries, or the seed cannot load.
        for (std::size_t i = k; i < state.objects.size(); ++i) fits = fits && state.objects[i].entry_count == 0;
        if (!fits) {
            std::fprintf(stderr, "%s: index files do not fit the seed prefix\n", argv[a]);
            continue;
        }
        const std::vector<unsigned char> manifest = file_bytes(state.cache_folder + "/manifest.kvd");
        seed.insert(seed.end(), manifest.begin(), manifest.end());
        const std::string name = std::filesystem::path(argv[a]).stem().string();
        kv::fuzz::file_put(out_dir + "/" + name + ".manifest", seed.data(), seed.size());
        ++written;
    }
    std::printf("%d seeds written\n", written);
    return 0;
}
