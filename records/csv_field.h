// One CSV field of the table export: how a column name or a decoded value becomes the quoted,
// formula-protected text between two ";" separators.
//
// The export writes every row of tables with billions of rows and values of up to 64 MiB, so
// these functions write to the caller's buffer and reuse the caller's scratch storage rather
// than allocating per field; text that is already valid UTF-8 is not copied at all. Pure
// functions; the export owns files, buffers and messages.
#pragma once

#include <string>
#include <string_view>

#include "foundation/byte_scan.h"
#include "foundation/messages.h"
#include "records/display_text.h"
#include "records/value.h"

namespace kv {

// The field contents of the two markers.
inline constexpr std::string_view CSV_NULL_FIELD = "\\N";
inline constexpr std::string_view CSV_NOT_IN_INSERT_FIELD = msg_text(Msg::csv_not_in_insert);

// True when a field needs the apostrophe of formula protection: its first character is TAB, CR
// or LF, or the first character after leading spaces, TABs, CRs and LFs is "=", "+", "-" or
// "@".
// Inline: the export asks it for every text field, and most fields start with a plain letter.
inline bool csv_formula_risk(std::string_view field) {
    const auto line_space = [](char c) { return c == '\t' || c == '\r' || c == '\n'; };
    if (field.empty()) return false;
    if (line_space(field.front())) return true;
    std::size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || line_space(field[i]))) ++i;
    if (i == field.size()) return false;
    const char c = field[i];
    return c == '=' || c == '+' || c == '-' || c == '@';
}

// Writes one field of UTF-8 text through put(std::string_view): opening quote, the apostrophe
// when protect is on and the text is at risk, the text with every '"' doubled and every NUL
// byte written as "\0", and the closing quote. All other bytes (CR, LF, TAB included) are
// written unchanged, in runs as long as the text allows.
template <typename Put>
void csv_field_write(Put&& put, std::string_view utf8, bool protect) {
    put(std::string_view("\"", 1));
    if (protect && csv_formula_risk(utf8)) put(std::string_view("'", 1));
    const auto* bytes = reinterpret_cast<const unsigned char*>(utf8.data());
    std::size_t run = 0;
    for (;;) {
        const std::size_t i = scan_find2(bytes, run, utf8.size(), '"', '\0');
        put(utf8.substr(run, i - run));
        if (i == utf8.size()) break;
        put(bytes[i] == '"' ? std::string_view("\"\"", 2) : std::string_view("\\0", 2));
        run = i + 1;
    }
    put(std::string_view("\"", 1));
}

// Appends one field of UTF-8 text to out (see csv_field_write). False when memory runs out
// (out may then hold a partial field).
bool csv_field_append(std::string& out, std::string_view utf8, bool protect);

// The text of one value's field before quoting, by its kind: NULL as "\N", a missing column as
// "[nicht im INSERT]", numbers and binary literals converted and never protected, text and SQL
// text (without the display mark) converted and protected when formula_protection is on.
// text points into the value (UTF-8 text that is already valid), into scratch (converted) or
// to a constant; it stays valid until value or scratch change. False when memory for the
// conversion runs out.
bool csv_value_text(const Value& value, Charset charset, bool formula_protection,
                    std::string& scratch, std::string_view& text, bool& protect);

// Appends the field of one value (csv_value_text, then csv_field_append). False when memory
// runs out; out may then hold a partial field.
bool csv_value_append(std::string& out, const Value& value, Charset charset,
                      bool formula_protection, std::string& scratch);

}  // namespace kv
