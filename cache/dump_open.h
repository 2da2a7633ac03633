// Opening a dump: read-only handle, refusal of anything but a regular file (at once, so a FIFO
// cannot block the open) and of compressed and UTF-16 files, the 64-bit cache key, the cache
// folder below the cache root and the exclusive "session.lock".
//
// The key costs two reads of at most 64 KiB whatever the dump's size (gigabytes): it covers
// path bytes, size, last-write time and the first and last 64 KiB. It is no checksum: edits in
// the middle of a dump that keep size and time go unnoticed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/dump_state.h"
#include "foundation/status.h"

namespace kv {

inline constexpr std::uint64_t FNV_OFFSET_BASIS = 0xcbf29ce484222325ULL;
inline constexpr std::uint64_t FNV_PRIME = 0x100000001b3ULL;
inline constexpr std::size_t KEY_SAMPLE_SIZE = 65536;

// FNV-1a 64 starting at seed (the offset basis when seed is 0).
std::uint64_t fnv1a64_seeded(const void* bytes, std::size_t length, std::uint64_t seed);

// Opens the dump read-only into state (path copy, handle, size, time, fingerprint, cache
// folder) and creates the cache folder. Refuses a file that is not regular, compressed or
// UTF-16/32.
Status dump_open(DumpState& state, const std::string& dump_path, const std::string& cache_root);

// The cache key of an opened state (fingerprint, path, size, time), as in the folder name.
std::uint64_t cache_key(const DumpState& state);

// Takes "session.lock" in the cache folder into lock_out, which the caller then owns. Fails
// (lock_out INVALID_FILE) when another instance holds it or the folder is not writable.
Status cache_lock(const DumpState& state, FileHandle& lock_out);

// Cache root: base folder + "/Kor-Vane/DumpBrowser/Cache". Windows: LOCALAPPDATA, else the
// temporary folder. Elsewhere: LOCALAPPDATA, XDG_CACHE_HOME, $HOME/.cache, the temporary
// folder. Returns "" when no base is known.
std::string cache_root_path();
// Creates the three levels below the base in order; false when one fails.
bool cache_root_ensure(const std::string& root);

}  // namespace kv
