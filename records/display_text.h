// Character sets and the one-line display text of values, counts and sizes.
//
// A dump is a byte file whose encoding is never guessed: the user picks UTF-8, Windows-1252 or
// Latin-1, and every text taken from the dump passes through text_to_utf8 under that choice
// before it is shown, compared by the filter or written to CSV. Values can be 64 MiB long;
// display texts convert only a capped prefix, so a grid page of 100 rows never converts more
// than about 16 KiB per row. All functions are pure and run on any thread.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "records/value.h"

namespace kv {

// The position of the entry in the character set selection; any code other than 0 and 1
// behaves as Latin-1.
enum Charset : std::uint32_t {
    CHARSET_UTF8 = 0,
    CHARSET_WINDOWS_1252 = 1,
    CHARSET_LATIN1 = 2,
};

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
