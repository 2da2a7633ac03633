// Shared helpers of the libFuzzer targets: one private scratch folder per fuzzing process.
//
// The targets write each input into real files (a dump, a manifest, index files) because the
// code under test reads through the file layer. The folder lives below the temporary folder
// (on Linux /dev/shm when present, so the flushes of an import stay cheap), is created on
// first use and removed when the process exits; per-input leftovers are cleared by the caller.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include "foundation/file.h"

namespace kv::fuzz {

inline std::filesystem::path& scratch_path() {
    static std::filesystem::path path;
    return path;
}

inline void scratch_remove() {
    std::error_code ec;
    if (!scratch_path().empty()) std::filesystem::remove_all(scratch_path(), ec);
}

// The scratch folder of this process ("/"-separated UTF-8); aborts when it cannot be made,
// since every later input would fail for a reason that has nothing to do with the input.
inline const std::string& scratch_folder() {
    static const std::string folder = [] {
        std::error_code ec;
        std::filesystem::path base =
            std::filesystem::is_directory("/dev/shm", ec) ? std::filesystem::path("/dev/shm")
                                                          : std::filesystem::temp_directory_path();
        scratch_path() = base / ("kv-fuzz-" + std::to_string(current_pid()));
        std::filesystem::remove_all(scratch_path(), ec);
        if (!std::filesystem::create_directories(scratch_path(), ec)) std::abort();
        std::atexit(scratch_remove);
        return scratch_path().generic_string();
    }();
    return folder;
}

// Empties a folder below the scratch folder, keeping the folder itself.
inline void folder_clear(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
}

// Writes bytes into path (created or truncated); aborts when the scratch file system fails.
inline void file_put(const std::string& path, const void* bytes, std::size_t size) {
    FileGuard file(file_open(path, FILE_MODE_CREATE));
    if (!file.valid() || !file_write_all(file.get(), bytes, size)) std::abort();
}

}  // namespace kv::fuzz
