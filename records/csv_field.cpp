// CSV field encoding of the table export (see csv_field.h).
#include "records/csv_field.h"

#include <new>

namespace kv {

bool csv_field_append(std::string& out, std::string_view utf8, bool protect) {
    try {
        csv_field_write([&](std::string_view piece) { out.append(piece); }, utf8, protect);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool csv_value_text(const Value& value, Charset charset, bool formula_protection,
                    std::string& scratch, std::string_view& text, bool& protect) {
    protect = false;
    switch (value.kind) {
        case VALUE_NULL: text = CSV_NULL_FIELD; return true;
        case VALUE_NOT_IN_INSERT: text = CSV_NOT_IN_INSERT_FIELD; return true;
        case VALUE_TEXT:
        case VALUE_SQL: protect = formula_protection; break;
        default: break;  // numbers and binary literals are never at risk
    }
    if (charset == CHARSET_UTF8 && utf8_valid_prefix(value.text) == value.text.size()) {
        text = value.text;
        return true;
    }
    if (!text_to_utf8(value.text, charset, scratch)) return false;
    text = scratch;
    return true;
}

bool csv_value_append(std::string& out, const Value& value, Charset charset,
                      bool formula_protection, std::string& scratch) {
    std::string_view text;
    bool protect = false;
    return csv_value_text(value, charset, formula_protection, scratch, text, protect) &&
           csv_field_append(out, text, protect);
}

}  // namespace kv
