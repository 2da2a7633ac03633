// Opening a dump and deriving its cache folder (see dump_open.h).
#include "cache/dump_open.h"

#include <memory>
#include <new>

#include "cache/coding.h"
#include "cache/file_names.h"

namespace kv {

namespace {

std::uint64_t hash_u64_le(std::uint64_t value, std::uint64_t seed) {
    unsigned char bytes[8];
    coding_put_le(bytes, value);
    return fnv1a64_seeded(bytes, sizeof bytes, seed);
}

// Parent of a folder path ("" when it has none), for creating the root level by level.
std::string parent_of(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace

std::uint64_t fnv1a64_seeded(const void* bytes, std::size_t length, std::uint64_t seed) {
    std::uint64_t h = seed != 0 ? seed : FNV_OFFSET_BASIS;
    const auto* p = static_cast<const unsigned char*>(bytes);
    for (std::size_t i = 0; i < length; ++i) {
        h ^= p[i];
        h *= FNV_PRIME;
    }
    return h;
}

std::uint64_t cache_key(const DumpState& state) {
    std::uint64_t h = fnv1a64_seeded(state.dump_path.data(), state.dump_path.size(),
                                     state.fingerprint);
    h = hash_u64_le(state.dump_size, h);
    return hash_u64_le(state.dump_time, h);
}

Status dump_open(DumpState& state, const std::string& dump_path, const std::string& cache_root) {
    try {
        state.dump_path = dump_path;
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    file_close(state.dump_handle);
    state.dump_handle = file_open(dump_path, FILE_MODE_READ);
    if (state.dump_handle == INVALID_FILE) {
        return path_is_non_regular(dump_path)
                   ? status_fail(StatusKind::refused, Msg::dump_not_regular)
                   : status_fail(StatusKind::input_output, Msg::dump_open_failed);
    }
    state.dump_size = file_get_size(state.dump_handle);
    state.dump_time = file_get_mtime(state.dump_handle);

    std::unique_ptr<unsigned char[]> sample(new (std::nothrow) unsigned char[KEY_SAMPLE_SIZE]);
    if (!sample) return status_out_of_memory();
    // A failed read leaves the sample empty: it only changes the key.
    std::size_t head = file_seek_to(state.dump_handle, 0)
                           ? file_read_some(state.dump_handle, sample.get(), KEY_SAMPLE_SIZE)
                           : 0;
    if (head >= 2) {
        unsigned char b0 = sample[0], b1 = sample[1];
        if ((b0 == 0x1F && b1 == 0x8B) || (b0 == 0x50 && b1 == 0x4B)) {
            return status_fail(StatusKind::refused, Msg::dump_compressed);
        }
        if ((b0 == 0xFE && b1 == 0xFF) || (b0 == 0xFF && b1 == 0xFE)) {
            return status_fail(StatusKind::refused, Msg::dump_utf16);
        }
    }
    std::uint64_t h = fnv1a64_seeded(sample.get(), head, 0);
    state.fingerprint = h;
    if (state.dump_size > KEY_SAMPLE_SIZE) {
        std::size_t tail = file_seek_to(state.dump_handle, state.dump_size - KEY_SAMPLE_SIZE)
                               ? file_read_some(state.dump_handle, sample.get(), KEY_SAMPLE_SIZE)
                               : 0;
        h = fnv1a64_seeded(sample.get(), tail, h);
        state.fingerprint = h;
    }
    sample.reset();

    try {
        state.cache_folder = cache_folder_path(cache_root, cache_key(state));
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    if (!dir_ensure(cache_root) || !dir_ensure(state.cache_folder)) {
        return status_fail(StatusKind::input_output, Msg::cache_folder_failed);
    }
    return {};
}

Status cache_lock(const DumpState& state, FileHandle& lock_out) {
    lock_out = file_open_lock(cache_lock_path(state));
    if (lock_out == INVALID_FILE) return status_fail(StatusKind::refused, Msg::cache_locked);
    return {};
}

std::string cache_root_path() {
    std::string base = env_get("LOCALAPPDATA");
#if !defined(_WIN32)
    if (base.empty()) base = env_get("XDG_CACHE_HOME");
    if (base.empty()) {
        std::string home = env_get("HOME");
        if (!home.empty()) base = home + "/.cache";
    }
#endif
    if (base.empty()) base = temp_folder();
    if (base.empty()) return {};
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    return base + "/Kor-Vane/DumpBrowser/Cache";
}

bool cache_root_ensure(const std::string& root) {
    std::string dump_browser = parent_of(root);
    std::string kor_vane = parent_of(dump_browser);
    if (kor_vane.empty()) return false;
    // The base itself may be missing on POSIX ($HOME/.cache on a fresh account).
    std::string base = parent_of(kor_vane);
    if (!base.empty()) dir_ensure(base);
    return dir_ensure(kor_vane) && dir_ensure(dump_browser) && dir_ensure(root);
}

}  // namespace kv
