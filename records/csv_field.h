// One CSV field of the table export: how a column name or a decoded value becomes the quoted,
// formula-protected text between two ";" separators.
//
// The export writes every row of tables with billions of rows and values of up to 64 MiB, so
// these functions append to the caller's buffer and reuse the caller's scratch storage rather
// than allocating per field. Pure functions; the export owns files, buffers and messages.
#pragma once

#include <string>
#include <string_view>

#include "records/display_text.h"
#include "records/value.h"

namespace kv {

// The field contents of the two markers.
inline constexpr std::string_view CSV_NULL_FIELD = "\\N";
inline constexpr std::string_view CSV_NOT_IN_INSERT_FIELD = "[nicht im INSERT]";

// True when a field needs the apostrophe of formula protection: its first character is TAB, CR
// or LF, or the first character after leading spaces, TABs, CRs and LFs is "=", "+", "-" or
// "@".
bool csv_formula_risk(std::string_view field);

// Appends one field of UTF-8 text: opening quote, the apostrophe when protect is on and the
// text is at risk, the text with every '"' doubled and every NUL byte written as "\0", and
// the closing quote. All other bytes (CR, LF, TAB included) are written unchanged. False when
// memory runs out (out may then hold a partial field).
bool csv_field_append(std::string& out, std::string_view utf8, bool protect);

// Appends the field of one value by its kind: NULL as "\N", a missing column as
// "[nicht im INSERT]", numbers and binary literals converted and never protected, text and SQL
// text (without the display mark) converted and protected when formula_protection is on.
// scratch receives the converted text. False when memory for the conversion runs out; out may
// then hold a partial field.
bool csv_value_append(std::string& out, const Value& value, Charset charset,
                      bool formula_protection, std::string& scratch);

}  // namespace kv
