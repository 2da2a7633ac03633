// Character set conversion and display texts (see display_text.h).
#include "records/display_text.h"

#include <cstring>
#include <new>

#include "foundation/byte_scan.h"

namespace kv {

namespace {

// Code points of the Windows-1252 bytes 0x80..0x9F; its five unassigned bytes keep their
// own number so that no byte is lost.
constexpr char16_t WINDOWS_1252_HIGH[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

constexpr char REPLACEMENT[3] = {'\xEF', '\xBF', '\xBD'};

// End of the run of ASCII bytes starting at i.
std::size_t ascii_run_end(const unsigned char* s, std::size_t i, std::size_t n) {
#ifdef KV_BYTE_SCAN_SSE2
    for (; i + 16 <= n; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const auto high = static_cast<std::uint32_t>(_mm_movemask_epi8(x));
        if (high != 0) return i + scan_first_bit(high);
    }
#endif
    while (i < n && s[i] < 0x80) ++i;
    return i;
}

// Converts bytes under charset and hands the UTF-8 result to emit in pieces
// (emit(const char*, size_t)). The pieces never split a character.
template <typename Emit>
void convert(std::string_view bytes, Charset charset, Emit&& emit) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    if (charset == CHARSET_UTF8) {
        while (i < n) {
            const std::size_t valid = i + utf8_valid_prefix(bytes.substr(i));
            if (valid > i) emit(bytes.data() + i, valid - i);
            if (valid == n) break;
            emit(REPLACEMENT, 3);
            i = valid + 1;
        }
        return;
    }
    while (i < n) {
        const std::size_t run = ascii_run_end(s, i, n);
        if (run > i) emit(bytes.data() + i, run - i);
        i = run;
        if (i == n) break;
        const unsigned char c = s[i++];
        char32_t cp = c;
        if (charset == CHARSET_WINDOWS_1252 && c < 0xA0) cp = WINDOWS_1252_HIGH[c - 0x80];
        char out[3];
        if (cp < 0x800) {
            out[0] = static_cast<char>(0xC0 | (cp >> 6));
            out[1] = static_cast<char>(0x80 | (cp & 0x3F));
            emit(out, 2);
        } else {
            out[0] = static_cast<char>(0xE0 | (cp >> 12));
            out[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out[2] = static_cast<char>(0x80 | (cp & 0x3F));
            emit(out, 3);
        }
    }
}

}  // namespace

std::size_t utf8_sequence_size(const unsigned char* s, std::size_t available) {
    // Byte ranges rather than an assembled code point: the second byte's range excludes
    // overlong forms, surrogates and code points above U+10FFFF.
    const unsigned char lead = s[0];
    if (lead < 0x80) return 1;
    std::size_t size;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (available < size || s[1] < low || s[1] > high) return 0;
    for (std::size_t k = 2; k < size; ++k) {
        if ((s[k] & 0xC0) != 0x80) return 0;
    }
    return size;
}

namespace {

// The byte-wise validator from i, which must be the start of a character.
std::size_t utf8_valid_from(const unsigned char* s, std::size_t n, std::size_t i) {
    for (;;) {
        i = ascii_run_end(s, i, n);
        // Non-ASCII text has short ASCII runs between its characters: stay on bytes there.
        while (i < n) {
            if (s[i] < 0x80) {
                ++i;
                if (i < n && s[i] < 0x80) break;  // a longer ASCII run: back to the block scan
                continue;
            }
            const std::size_t size = utf8_sequence_size(s + i, n - i);
            if (size == 0) return i;
            i += size;
        }
        if (i >= n) return n;
    }
}

#ifdef KV_BYTE_SCAN_SSE2
// Block validation state carried from one 64-byte block to the next.
struct Utf8Carry {
    std::uint64_t required = 0;  // continuation bytes the next block must start with
    std::uint64_t e0 = 0, ed = 0, f0 = 0, f4 = 0;  // the previous block ended on that lead
};

// True when the 64 bytes at p are well-formed UTF-8 given the carry, which is then updated;
// false leaves the carry unspecified. Every test is a bit mask over the block: lead bytes
// require continuation bytes at fixed distances, and the continuation bytes must be exactly
// the required ones; a few lead bytes restrict their second byte.
bool utf8_block_valid(const unsigned char* p, Utf8Carry& carry) {
    const Block4 x = block_load(p);
    auto mask = [&](auto test) {
        return block_mask(test(x.x0), test(x.x1), test(x.x2), test(x.x3));
    };
    const std::uint64_t high = mask([](__m128i v) { return v; });  // sign bits
    if (high == 0) {
        if ((carry.required | carry.e0 | carry.ed | carry.f0 | carry.f4) != 0) return false;
        return true;
    }
    auto below = [](char c) {
        return [c](__m128i v) { return _mm_cmplt_epi8(v, _mm_set1_epi8(c)); };
    };
    auto above = [](char c) {
        return [c](__m128i v) { return _mm_cmpgt_epi8(v, _mm_set1_epi8(c)); };
    };
    auto equal = [](char c) {
        return [c](__m128i v) { return _mm_cmpeq_epi8(v, _mm_set1_epi8(c)); };
    };
    // Signed bytes: 0x80..0xBF are -128..-65, 0xC0 is -64, 0xE0 -32, 0xF0 -16, 0xF5 -11.
    const std::uint64_t cont = mask(below(-64));
    const std::uint64_t lead = high & ~cont;
    const std::uint64_t three = high & mask(above(-33));  // 0xE0 and up
    const std::uint64_t four = high & mask(above(-17));   // 0xF0 and up
    std::uint64_t bad = (lead & mask(below(-62)))        // 0xC0, 0xC1
                        | (high & mask(above(-12)));     // 0xF5 and up
    const std::uint64_t required = (lead << 1) | (three << 2) | (four << 3) | carry.required;
    if (bad != 0 || required != cont) return false;
    std::uint64_t e0 = 0, ed = 0, f0 = 0, f4 = 0;
    if ((three | carry.e0 | carry.ed | carry.f0 | carry.f4) != 0) {
        e0 = mask(equal(-32));
        ed = mask(equal(-19));
        f0 = mask(equal(-16));
        f4 = mask(equal(-12));
        const std::uint64_t below_a0 = mask(below(-96));   // 0x80..0x9F
        const std::uint64_t below_90 = mask(below(-112));  // 0x80..0x8F
        bad |= ((e0 << 1) | carry.e0) & below_a0;           // overlong 3-byte forms
        bad |= ((ed << 1) | carry.ed) & cont & ~below_a0;   // surrogates
        bad |= ((f0 << 1) | carry.f0) & below_90;           // overlong 4-byte forms
        bad |= ((f4 << 1) | carry.f4) & cont & ~below_90;   // above U+10FFFF
        if (bad != 0) return false;
    }
    carry.required = (lead >> 63) | (three >> 62) | (four >> 61);
    carry.e0 = e0 >> 63;
    carry.ed = ed >> 63;
    carry.f0 = f0 >> 63;
    carry.f4 = f4 >> 63;
    return true;
}
#endif

}  // namespace

std::size_t utf8_valid_prefix(std::string_view bytes) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    std::size_t i = 0;
#ifdef KV_BYTE_SCAN_SSE2
    Utf8Carry carry;
    while (i + 64 <= n && utf8_block_valid(s + i, carry)) i += 64;
    if (i < n && n - i < 64) {
        // Short values (numbers, dates, names) are mostly ASCII: eight bytes at a time first.
        if (carry.required == 0) {
            std::uint64_t high = 0;
            std::size_t k = i;
            for (; k + 8 <= n; k += 8) {
                std::uint64_t word;
                std::memcpy(&word, s + k, 8);
                high |= word;
            }
            for (; k < n; ++k) high |= s[k];
            if ((high & 0x8080808080808080ull) == 0) return n;
        }
        // The last part, padded with zero bytes (ASCII): a character cut off by the end of the
        // text finds a zero where a continuation byte is due and fails the block.
        unsigned char last[64] = {};
        std::memcpy(last, s + i, n - i);
        Utf8Carry probe = carry;
        if (utf8_block_valid(last, probe) && probe.required == 0) return n;
    }
    // The rest, or the block that failed, byte by byte from the start of the character that
    // runs into it: its lead byte is at most three bytes back when continuation bytes are due.
    if (carry.required != 0) {
        do {
            --i;
        } while ((s[i] & 0xC0) == 0x80);
    }
#endif
    return utf8_valid_from(s, n, i);
}

bool text_to_utf8(std::string_view bytes, Charset charset, std::string& out) {
    out.clear();
    try {
        if (charset == CHARSET_UTF8 && utf8_valid_prefix(bytes) == bytes.size()) {
            out.assign(bytes);
            return true;
        }
        if (bytes.size() > (out.max_size() - 1) / 3) throw std::bad_alloc();
        out.reserve(bytes.size() * 3);
        convert(bytes, charset, [&](const char* p, std::size_t k) { out.append(p, k); });
        return true;
    } catch (const std::bad_alloc&) {
        std::string().swap(out);
        return false;
    }
}

bool value_display_text(const Value& value, Charset charset, std::uint64_t cap,
                        std::string& out) {
    out.clear();
    try {
        if (value.kind == VALUE_NOT_IN_INSERT) {
            out.assign("\xE2\x80\x94 nicht im INSERT \xE2\x80\x94");
            return true;
        }
        if (value.kind == VALUE_NULL) {
            out.assign("NULL");
            return true;
        }
        const bool cut = value.text.size() > cap;
        const std::string_view shown =
            std::string_view(value.text).substr(0, cut ? static_cast<std::size_t>(cap)
                                                       : value.text.size());
        // At most three output bytes per input byte: a U+FFFD for one byte, or an escape pair
        // for a control byte.
        out.reserve(3 * shown.size() + 16);
        if (value.kind == VALUE_SQL) out.append("SQL: ");
        convert(shown, charset, [&](const char* p, std::size_t k) {
            for (std::size_t i = 0; i < k; ++i) {
                const unsigned char c = static_cast<unsigned char>(p[i]);
                if (c >= 32) {
                    out.push_back(static_cast<char>(c));
                    continue;
                }
                switch (c) {
                    case 0: out.append("\\0"); break;
                    case 9: out.append("\\t"); break;
                    case 10: out.append("\\n"); break;
                    case 13: out.append("\\r"); break;
                    default: out.push_back('?'); break;
                }
            }
        });
        if (cut) out.append(" \xE2\x80\xA6");
        return true;
    } catch (const std::bad_alloc&) {
        std::string().swap(out);
        return false;
    }
}

std::string count_text(std::uint64_t number) {
    const std::string digits = std::to_string(number);
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i != 0 && (digits.size() - i) % 3 == 0) out.push_back('.');
        out.push_back(digits[i]);
    }
    return out;
}

std::string size_text(std::uint64_t bytes) {
    if (bytes < 1024) return std::to_string(bytes) + " B";
    static constexpr struct {
        std::uint64_t unit;
        const char* name;
    } UNITS[] = {
        {1099511627776ULL, "TiB"},
        {1073741824ULL, "GiB"},
        {1048576ULL, "MiB"},
        {1024ULL, "KiB"},
    };
    for (const auto& u : UNITS) {
        if (bytes >= u.unit) {
            const std::uint64_t whole = bytes / u.unit;
            // (remainder * 10) fits: the remainder is below 2^40.
            const std::uint64_t tenths = (bytes % u.unit) * 10 / u.unit;
            return std::to_string(whole) + "," + std::to_string(tenths) + " " + u.name;
        }
    }
    return std::string();
}

}  // namespace kv
