// Shared helpers of the libFuzzer targets: one private scratch folder per fuzzing process.
//
// The targets write each input into real files (a dump, a manifest, index files) because the
// code under test reads through the file layer. The folder lives below /dev/shm when present
// (so the flushes of an import stay cheap), else the temporary folder; it is made on first use
// and removed when the process exits; per-input leftovers are cleared by the caller.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/test_support.h"

namespace kv::fuzz {

// The scratch folder of this process ("/"-separated UTF-8); aborts when it cannot be made,
// since every later input would fail for a reason that has nothing to do with the input.
inline const std::string& scratch_folder() {
    static const test::TempDir dir(test::sparse_file_base());
    static const std::string folder = dir.str();
    if (dir.path().empty()) std::abort();
    return folder;
}

// Ends the process on a finding. abort() skips the destructor that removes the scratch folder,
// so it is removed here first (libFuzzer keeps the input itself); else minimising a finding,
// which runs it to the abort again and again, left a folder in /dev/shm for each run.
[[noreturn]] inline void finding_abort() {
    std::error_code ec;
    std::filesystem::remove_all(test::fs_path(scratch_folder()), ec);
    std::abort();
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
