// Character set conversion and display texts (see display_text.h).
#include "records/display_text.h"

#include <new>

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

// Length of the well-formed UTF-8 sequence at s[i] (lead byte >= 0x80), or 0 when it is not.
std::size_t utf8_sequence(const unsigned char* s, std::size_t n, std::size_t i) {
    const unsigned char lead = s[i];
    std::size_t size;
    char32_t cp;
    char32_t minimum;
    if (lead >= 0xC2 && lead <= 0xDF) {
        size = 2, cp = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        size = 3, cp = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        size = 4, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (n - i < size) return 0;
    for (std::size_t k = 1; k < size; ++k) {
        const unsigned char c = s[i + k];
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    if (cp < minimum || cp >= 0x110000 || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return size;
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
            std::size_t run = i;
            while (run < n && s[run] < 0x80) ++run;
            if (run > i) emit(bytes.data() + i, run - i);
            i = run;
            if (i == n) break;
            const std::size_t size = utf8_sequence(s, n, i);
            if (size == 0) {
                emit(REPLACEMENT, 3);
                ++i;
            } else {
                emit(bytes.data() + i, size);
                i += size;
            }
        }
        return;
    }
    while (i < n) {
        std::size_t run = i;
        while (run < n && s[run] < 0x80) ++run;
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

bool text_to_utf8(std::string_view bytes, Charset charset, std::string& out) {
    out.clear();
    try {
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
