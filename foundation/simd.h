// Sixteen bytes at a time: the one type behind which the program's vector instructions stand.
// The scans over dump windows (byte_scan.h), the CSV row writer and the UTF-8 checks of the
// display text test 16 or 64 bytes per step through it; each of them is written once, and the
// same code runs with SSE2 on x86-64 (every such processor has it, the Windows build included)
// or with the plain byte loops below elsewhere, and in builds with KV_SCALAR_ONLY (the
// "scalar" preset, whose suites ./kv test runs), so that the tests check both against the
// same expectations.
//
// Lanes are bytes; a comparison sets a lane to 0xFF where it holds and to 0 elsewhere, and
// mask() gathers the top bit of each lane (bit k for lane k). Nothing allocates.
#pragma once

#include <cstdint>
#include <cstring>

#if (defined(__SSE2__) || defined(_M_X64)) && !defined(KV_SCALAR_ONLY)
#include <emmintrin.h>
#define KV_SIMD_SSE2 1
#endif

namespace kv {

struct Bytes16 {
#ifdef KV_SIMD_SSE2
    __m128i v;

    static Bytes16 load(const unsigned char* p) {
        return {_mm_loadu_si128(reinterpret_cast<const __m128i*>(p))};
    }
    void store(unsigned char* p) const { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }
    static Bytes16 splat(unsigned char c) { return {_mm_set1_epi8(static_cast<char>(c))}; }
    static Bytes16 zero() { return {_mm_setzero_si128()}; }
    friend Bytes16 operator|(Bytes16 a, Bytes16 b) { return {_mm_or_si128(a.v, b.v)}; }
    friend Bytes16 operator&(Bytes16 a, Bytes16 b) { return {_mm_and_si128(a.v, b.v)}; }
    // Lanes of b where a is 0.
    friend Bytes16 and_not(Bytes16 a, Bytes16 b) { return {_mm_andnot_si128(a.v, b.v)}; }
    friend Bytes16 equal(Bytes16 a, Bytes16 b) { return {_mm_cmpeq_epi8(a.v, b.v)}; }
    // a < b with lanes read as signed bytes.
    friend Bytes16 less_signed(Bytes16 a, Bytes16 b) { return {_mm_cmplt_epi8(a.v, b.v)}; }
    // a - b with lanes read as unsigned bytes, 0 where b is larger.
    friend Bytes16 minus_saturated(Bytes16 a, Bytes16 b) { return {_mm_subs_epu8(a.v, b.v)}; }
    // a - b modulo 256.
    friend Bytes16 minus(Bytes16 a, Bytes16 b) { return {_mm_sub_epi8(a.v, b.v)}; }
    friend Bytes16 min_unsigned(Bytes16 a, Bytes16 b) { return {_mm_min_epu8(a.v, b.v)}; }
    std::uint32_t mask() const { return static_cast<std::uint32_t>(_mm_movemask_epi8(v)); }
#else
    unsigned char v[16];

    template <typename Lane>
    static Bytes16 each(Lane lane) {
        Bytes16 r;
        for (int k = 0; k < 16; ++k) r.v[k] = static_cast<unsigned char>(lane(k));
        return r;
    }
    static Bytes16 load(const unsigned char* p) {
        Bytes16 r;
        std::memcpy(r.v, p, 16);
        return r;
    }
    void store(unsigned char* p) const { std::memcpy(p, v, 16); }
    static Bytes16 splat(unsigned char c) { return each([c](int) { return c; }); }
    static Bytes16 zero() { return splat(0); }
    friend Bytes16 operator|(Bytes16 a, Bytes16 b) {
        return each([&](int k) { return a.v[k] | b.v[k]; });
    }
    friend Bytes16 operator&(Bytes16 a, Bytes16 b) {
        return each([&](int k) { return a.v[k] & b.v[k]; });
    }
    friend Bytes16 and_not(Bytes16 a, Bytes16 b) {
        return each([&](int k) { return ~a.v[k] & b.v[k]; });
    }
    friend Bytes16 equal(Bytes16 a, Bytes16 b) {
        return each([&](int k) { return a.v[k] == b.v[k] ? 0xFF : 0; });
    }
    friend Bytes16 less_signed(Bytes16 a, Bytes16 b) {
        return each([&](int k) {
            return static_cast<signed char>(a.v[k]) < static_cast<signed char>(b.v[k]) ? 0xFF : 0;
        });
    }
    friend Bytes16 minus_saturated(Bytes16 a, Bytes16 b) {
        return each([&](int k) { return a.v[k] > b.v[k] ? a.v[k] - b.v[k] : 0; });
    }
    friend Bytes16 minus(Bytes16 a, Bytes16 b) {
        return each([&](int k) { return a.v[k] - b.v[k]; });
    }
    friend Bytes16 min_unsigned(Bytes16 a, Bytes16 b) {
        return each([&](int k) { return a.v[k] < b.v[k] ? a.v[k] : b.v[k]; });
    }
    std::uint32_t mask() const {
        std::uint32_t m = 0;
        for (int k = 0; k < 16; ++k) m |= static_cast<std::uint32_t>(v[k] >> 7) << k;
        return m;
    }
#endif
};

}  // namespace kv
