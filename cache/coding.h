// Little-endian coding of the fixed-width integers in every cache file (manifest, position
// index, filter result) and in the bytes the cache key hashes. The only definition of that byte
// order: a file written on one machine reads the same on any other.
//
// Works on caller-owned bytes, one integer at a time, with no bounds of its own: the caller
// guarantees sizeof(T) bytes at the pointer. The import codes billions of index entries, so each
// call is one move on little-endian hosts (every platform we build for), the byte-wise form
// elsewhere.
#pragma once

#include <bit>
#include <concepts>
#include <cstddef>
#include <cstring>

namespace kv {

// Stores value as sizeof(T) little-endian bytes at out.
template <std::unsigned_integral T>
inline void coding_put_le(unsigned char* out, T value) {
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out, &value, sizeof value);
    } else {
        for (std::size_t i = 0; i < sizeof value; ++i) {
            out[i] = static_cast<unsigned char>(value >> (8 * i));
        }
    }
}

// Loads the sizeof(T) little-endian bytes at in.
template <std::unsigned_integral T>
inline T coding_get_le(const unsigned char* in) {
    T value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, in, sizeof value);
    } else {
        for (std::size_t i = sizeof value; i-- > 0;) value = static_cast<T>((value << 8) | in[i]);
    }
    return value;
}

}  // namespace kv
