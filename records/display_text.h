// Character sets and the one-line display text of values, counts and sizes.
//
// A dump is a byte file whose encoding is never guessed: the user picks UTF-8 or one of the
// single-byte character sets of CHARSETS, and every text taken from the dump passes through
// text_to_utf8 under that choice before it is shown, compared by the filter or written to
// CSV. Values can be 64 MiB long; display texts convert only a capped prefix, so a grid page
// of 100 rows never converts more than about 16 KiB per row. All functions are pure and run
// on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/messages.h"
#include "records/value.h"

namespace kv {

// The position of the entry in the character set selection (CHARSETS, below); any code from
// CHARSET_COUNT on behaves as Latin-1.
enum Charset : std::uint32_t {
    CHARSET_UTF8 = 0,
    CHARSET_WINDOWS_1252 = 1,
    CHARSET_LATIN1 = 2,
    CHARSET_WINDOWS_1250 = 3,
    CHARSET_WINDOWS_1251 = 4,
    CHARSET_ISO_8859_2 = 5,
    CHARSET_KOI8_R = 6,
    CHARSET_WINDOWS_1257 = 7,
    CHARSET_ISO_8859_7 = 8,
    CHARSET_WINDOWS_1256 = 9,
    CHARSET_ISO_8859_9 = 10,
};

// One character set as the user chooses it: its name for --charset of korvane-dump, the name
// a MySQL server gives it (accepted by --charset too), and its entry in the window's list.
struct CharsetInfo {
    Charset charset;
    const char* name;
    const char* mysql_name;
    Msg label;
};

// Every character set, in the order of Charset: the one list that the command line and the
// window's character set box are made from. All but UTF-8 are single-byte sets: every byte
// from 0x80 is one character of the set's published code page (ISO-8859-7 in its 2003
// version, with the euro sign at 0xA4), and a byte the code page leaves unassigned is the
// code point of its own number (0x81 in Windows-1250 is U+0081, 0xA1 in Windows-1257 U+00A1),
// as Windows-1252 always did for its five: no byte is lost or replaced, and no two bytes give
// the same character (the filter's raw test relies on that).
inline constexpr CharsetInfo CHARSETS[] = {
    {CHARSET_UTF8, "utf-8", "utf8", Msg::charset_utf8},
    {CHARSET_WINDOWS_1252, "windows-1252", "cp1252", Msg::charset_windows_1252},
    {CHARSET_LATIN1, "latin-1", "latin1", Msg::charset_latin1},
    {CHARSET_WINDOWS_1250, "windows-1250", "cp1250", Msg::charset_windows_1250},
    {CHARSET_WINDOWS_1251, "windows-1251", "cp1251", Msg::charset_windows_1251},
    {CHARSET_ISO_8859_2, "iso-8859-2", "latin2", Msg::charset_iso_8859_2},
    {CHARSET_KOI8_R, "koi8-r", "koi8r", Msg::charset_koi8_r},
    {CHARSET_WINDOWS_1257, "windows-1257", "cp1257", Msg::charset_windows_1257},
    {CHARSET_ISO_8859_7, "iso-8859-7", "greek", Msg::charset_iso_8859_7},
    {CHARSET_WINDOWS_1256, "windows-1256", "cp1256", Msg::charset_windows_1256},
    {CHARSET_ISO_8859_9, "iso-8859-9", "latin5", Msg::charset_iso_8859_9},
};
inline constexpr std::size_t CHARSET_COUNT = sizeof CHARSETS / sizeof CHARSETS[0];

constexpr bool charsets_in_order() {
    for (std::size_t i = 0; i < CHARSET_COUNT; ++i) {
        if (CHARSETS[i].charset != i) return false;
    }
    return true;
}
static_assert(charsets_in_order(), "CHARSETS lists the character sets in the order of Charset");

// Length of the longest prefix of bytes that is well-formed UTF-8 (bytes.size() when all of it
// is): shortest forms only, no surrogates, nothing above U+10FFFF. ASCII runs are tested 16
// bytes at a time; the conversion and its callers use it to pass valid text through unchanged.
std::size_t utf8_valid_prefix(std::string_view bytes);

// Size (1 to 4) of the well-formed UTF-8 character at s under the same rules, or 0 when the
// bytes there are not one; available (at least 1) is how many bytes may be read from s.
std::size_t utf8_sequence_size(const unsigned char* s, std::size_t available);

// Converts dump bytes under charset into UTF-8, replacing out (whose storage is reused).
// UTF-8 input: well-formed sequences are copied, every malformed byte becomes U+FFFD and the
// scan goes on with the very next byte. NUL bytes are copied; out.size() is the length. The
// result is at most 3 bytes per input byte. False when memory runs out (out is then empty).
bool text_to_utf8(std::string_view bytes, Charset charset, std::string& out);

// How a value's line feeds are shown: as "\n" in one-line previews, as line breaks ("\r\n",
// a CR LF pair included) in the full record details.
enum class LineBreaks : std::uint8_t { escaped, kept };

// The one-line preview of a value: "NULL", "— nicht im INSERT —", or the first cap bytes of
// the text converted under charset, "SQL: " before SQL text, NUL/tab/LF/CR as \0 \t \n \r,
// other control bytes as "?", and " …" when the value was longer than cap. With
// LineBreaks::kept, LF and CR LF become "\r\n" instead. Replaces out. False when memory runs
// out (out is then empty).
bool value_display_text(const Value& value, Charset charset, std::uint64_t cap,
                        std::string& out, LineBreaks breaks = LineBreaks::escaped);

// Decimal digits with "." before every group of three from the right: 1234567 -> "1.234.567".
std::string count_text(std::uint64_t number);

// Byte count with a binary unit and one cut (not rounded) decimal: "1023 B", "1,5 KiB",
// "4,6 GiB"; units up to TiB.
std::string size_text(std::uint64_t bytes);

}  // namespace kv
