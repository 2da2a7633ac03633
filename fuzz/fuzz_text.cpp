// Fuzz target: character set conversion and display text of arbitrary bytes under UTF-8,
// Windows-1252 and Latin-1.
//
// Input layout: byte 0 picks the value kind (modulo 6), byte 1 the display cap (0..255, or no
// cap for 255), the rest is the value's text. text_to_utf8 is compared with a second,
// deliberately plain conversion written here from the character set definitions, its output
// must be valid UTF-8 within the length bounds of each set, and valid UTF-8 input must come
// back unchanged under UTF-8. The display text is checked for its line shape: no control
// bytes, the "SQL: " prefix, the " …" marker exactly when the value was cut.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "records/display_text.h"
#include "records/value.h"

namespace {

[[noreturn]] void finding(const char* what, kv::Charset charset) {
    std::fprintf(stderr, "fuzz_text: %s (charset %u)\n", what, static_cast<unsigned>(charset));
    std::abort();
}

constexpr std::uint32_t CP1252_80_9F[32] = {
    0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178,
};

void put_code_point(std::uint32_t cp, std::string& out) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Decodes the UTF-8 sequence at s[i]: its length and code point, or 0 when it is malformed
// (bad lead or continuation byte, cut off, overlong, surrogate, above U+10FFFF).
std::size_t decode_one(std::string_view s, std::size_t i, std::uint32_t& cp) {
    const auto byte = [&](std::size_t j) { return static_cast<unsigned char>(s[j]); };
    const unsigned char lead = byte(i);
    if (lead < 0x80) {
        cp = lead;
        return 1;
    }
    std::size_t length = 0;
    std::uint32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, cp = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, cp = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, cp = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (i + length > s.size()) return 0;
    for (std::size_t j = 1; j < length; ++j) {
        if ((byte(i + j) & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (byte(i + j) & 0x3F);
    }
    if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return length;
}

bool valid_utf8(std::string_view s) {
    std::uint32_t cp = 0;
    for (std::size_t i = 0; i < s.size();) {
        const std::size_t n = decode_one(s, i, cp);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::string reference(std::string_view bytes, kv::Charset charset) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size();) {
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (charset == kv::CHARSET_UTF8) {
            std::uint32_t cp = 0;
            const std::size_t n = decode_one(bytes, i, cp);
            if (n == 0) {
                out += "\xEF\xBF\xBD";
                ++i;
            } else {
                out.append(bytes.substr(i, n));
                i += n;
            }
            continue;
        }
        const bool mapped = charset == kv::CHARSET_WINDOWS_1252 && c >= 0x80 && c < 0xA0;
        put_code_point(mapped ? CP1252_80_9F[c - 0x80] : c, out);
        ++i;
    }
    return out;
}

void check_text(std::string_view bytes, kv::Charset charset, std::string& out) {
    if (!kv::text_to_utf8(bytes, charset, out)) finding("text_to_utf8 failed", charset);
    if (out != reference(bytes, charset)) finding("differs from the reference", charset);
    if (!valid_utf8(out)) finding("output is not valid UTF-8", charset);
    if (out.size() > 3 * bytes.size()) finding("output above 3 bytes per input byte", charset);
    if (charset == kv::CHARSET_UTF8 && valid_utf8(bytes) && out != bytes) {
        finding("valid UTF-8 changed", charset);
    }
    if (charset != kv::CHARSET_UTF8) {
        std::size_t high = 0;
        for (char c : bytes) high += static_cast<unsigned char>(c) >= 0x80;
        const std::size_t least = bytes.size() + high;
        // Latin-1 gives exactly two bytes per high byte; Windows-1252 up to three.
        if (out.size() < least || out.size() > least + (charset == kv::CHARSET_LATIN1 ? 0 : high)) {
            finding("output length outside the character set's bounds", charset);
        }
    }
}

void check_display(const kv::Value& value, kv::Charset charset, std::uint64_t cap,
                   std::string& line, std::string& converted) {
    if (!kv::value_display_text(value, charset, cap, line)) finding("display text failed", charset);
    if (value.kind == kv::VALUE_NULL) {
        if (line != "NULL") finding("NULL display", charset);
        return;
    }
    if (value.kind == kv::VALUE_NOT_IN_INSERT) {
        if (line != "\xE2\x80\x94 nicht im INSERT \xE2\x80\x94") finding("not-in-insert", charset);
        return;
    }
    std::string_view rest = line;
    if (value.kind == kv::VALUE_SQL) {
        if (rest.substr(0, 5) != "SQL: ") finding("SQL prefix missing", charset);
        rest.remove_prefix(5);
    }
    const bool cut = value.text.size() > cap;
    const std::string_view marker = " \xE2\x80\xA6";
    if (cut) {
        if (rest.size() < marker.size() || rest.substr(rest.size() - marker.size()) != marker) {
            finding("cut marker missing", charset);
        }
        rest.remove_suffix(marker.size());
    }
    // Rebuild the escaped body from the converted prefix and compare.
    const std::string_view shown = std::string_view(value.text).substr(0, cut ? cap : value.text.size());
    if (!kv::text_to_utf8(shown, charset, converted)) finding("text_to_utf8 failed", charset);
    std::string expected;
    for (char ch : converted) {
        const unsigned char c = static_cast<unsigned char>(ch);
        if (c == 0) expected += "\\0";
        else if (c == '\t') expected += "\\t";
        else if (c == '\n') expected += "\\n";
        else if (c == '\r') expected += "\\r";
        else if (c < 32) expected += '?';
        else expected += ch;
    }
    if (rest != expected) finding("display body differs", charset);
    for (char ch : line) {
        if (static_cast<unsigned char>(ch) < 32) finding("control byte in a display line", charset);
    }
    if (!valid_utf8(line)) finding("display line is not valid UTF-8", charset);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    kv::Value value;
    value.kind = static_cast<kv::ValueKind>(data[0] % 6);
    const std::uint64_t cap = data[1] == 255 ? UINT64_MAX : data[1];
    const std::string_view bytes(reinterpret_cast<const char*>(data + 2), size - 2);
    if (kv::value_is_present(value)) value.text.assign(bytes);
    std::string out;
    std::string line;
    for (kv::Charset charset : {kv::CHARSET_UTF8, kv::CHARSET_WINDOWS_1252, kv::CHARSET_LATIN1,
                                static_cast<kv::Charset>(7)}) {
        check_text(bytes, charset, out);
        check_display(value, charset, cap, line, out);
    }
    return 0;
}
