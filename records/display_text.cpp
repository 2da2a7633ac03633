// Character set conversion and display texts (see display_text.h).
#include "records/display_text.h"

#include <cstring>
#include <new>

#include "foundation/byte_scan.h"
#include "foundation/messages.h"

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
    for (; i + 16 <= n; i += 16) {
        const std::uint32_t high = Bytes16::load(s + i).mask();
        if (high != 0) return i + scan_first_bit(high);
    }
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

// Error bytes (non-zero) of the 16 bytes x, given the three bytes before each of them (p1 the
// byte before, p2 two before, p3 three before). Every test is branch-free over the 16 bytes:
// a byte must be a continuation byte exactly when a lead byte one, two or three places back
// asks for one, no byte may be C0, C1 or from F5, and the leads E0, ED, F0 and F4 restrict
// the byte after them (overlong forms, surrogates, code points above U+10FFFF).
inline Bytes16 utf8_errors(Bytes16 x, Bytes16 p1, Bytes16 p2, Bytes16 p3) {
    const Bytes16 zero = Bytes16::zero();
    // Signed bytes: 0x80..0xBF are -128..-65, 0x80..0x8F below -112, 0x80..0x9F below -96.
    const Bytes16 cont = less_signed(x, Bytes16::splat(0xC0));
    const Bytes16 wanted = minus_saturated(p1, Bytes16::splat(0xBF)) |
                           minus_saturated(p2, Bytes16::splat(0xDF)) |
                           minus_saturated(p3, Bytes16::splat(0xEF));
    // Equal exactly where a continuation byte is not wanted but present, or wanted but absent.
    Bytes16 errors = equal(equal(wanted, zero), cont);
    errors = errors | minus_saturated(x, Bytes16::splat(0xF4));
    errors = errors | equal(x & Bytes16::splat(0xFE), Bytes16::splat(0xC0));
    const Bytes16 below_a0 = less_signed(x, Bytes16::splat(0xA0));
    const Bytes16 below_90 = less_signed(x, Bytes16::splat(0x90));
    const auto after = [&](unsigned char lead) { return equal(p1, Bytes16::splat(lead)); };
    errors = errors | (after(0xE0) & below_a0);
    errors = errors | and_not(below_a0, after(0xED));
    errors = errors | (after(0xF0) & below_90);
    errors = errors | and_not(below_90, after(0xF4));
    return errors;
}

// True when the n bytes at s are well-formed UTF-8, as if ASCII came before and after them.
// The first 16 bytes and the last part are tested from zero-padded copies, so nothing
// outside [s, s + n) is read; the zeros after the end catch a character cut off by it.
bool utf8_span_valid(const unsigned char* s, std::size_t n) {
    const auto load = Bytes16::load;
    Bytes16 errors = Bytes16::zero();
    std::size_t i = 0;
    if (n >= 16) {
        unsigned char head[19] = {};
        std::memcpy(head + 3, s, 16);
        errors = utf8_errors(load(head + 3), load(head + 2), load(head + 1), load(head));
        for (i = 16; i + 16 <= n; i += 16) {
            errors = errors | utf8_errors(load(s + i), load(s + i - 1), load(s + i - 2), load(s + i - 3));
        }
    }
    // The rest (under 16 bytes, or all of a short span) with the three bytes before it.
    unsigned char tail[3 + 48] = {};
    const std::size_t back = i >= 3 ? 3 : 0;
    std::memcpy(tail + 3 - back, s + i - back, back + (n - i));
    for (std::size_t k = 0; k < n - i + 3; k += 16) {
        errors = errors | utf8_errors(load(tail + 3 + k), load(tail + 2 + k), load(tail + 1 + k),
                                      load(tail + k));
    }
    return equal(errors, Bytes16::zero()).mask() == 0xFFFF;
}

}  // namespace

std::size_t utf8_valid_prefix(std::string_view bytes) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const std::size_t n = bytes.size();
    // Mostly ASCII (numbers, dates, names): only the part from the first byte from 0x80 on
    // needs the full test, and valid text needs nothing more.
    const std::size_t i = ascii_run_end(s, 0, n);
    if (i == n) return n;
    if (utf8_span_valid(s + i, n - i)) return n;
    // Malformed somewhere: character by character from the first byte from 0x80.
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
                        std::string& out, LineBreaks breaks) {
    out.clear();
    try {
        if (value.kind == VALUE_NOT_IN_INSERT) {
            out.assign(msg_text(Msg::display_not_in_insert));
            return true;
        }
        if (value.kind == VALUE_NULL) {
            out.assign(msg_text(Msg::value_null));
            return true;
        }
        const bool cut = value.text.size() > cap;
        const std::string_view shown =
            std::string_view(value.text).substr(0, cut ? static_cast<std::size_t>(cap)
                                                       : value.text.size());
        // At most three output bytes per input byte: a U+FFFD for one byte, or an escape pair
        // for a control byte.
        out.reserve(3 * shown.size() + 16);
        if (value.kind == VALUE_SQL) out.append(msg_text(Msg::display_sql_prefix));
        const bool kept = breaks == LineBreaks::kept;
        bool cr = false;  // kept line breaks: a CR waits for the LF that may follow it
        convert(shown, charset, [&](const char* p, std::size_t k) {
            for (std::size_t i = 0; i < k; ++i) {
                const unsigned char c = static_cast<unsigned char>(p[i]);
                if (cr && c != 10) out.append("\\r");
                cr = kept && c == 13;
                if (c >= 32) {
                    out.push_back(static_cast<char>(c));
                    continue;
                }
                switch (c) {
                    case 0: out.append("\\0"); break;
                    case 9: out.append("\\t"); break;
                    case 10: out.append(kept ? "\r\n" : "\\n"); break;
                    case 13:
                        if (!kept) out.append("\\r");
                        break;
                    default: out.push_back('?'); break;
                }
            }
        });
        if (cr) out.append("\\r");
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
