// CSV field encoding of the table export (see csv_field.h).
#include "records/csv_field.h"

#include <new>

namespace kv {

namespace {

bool is_line_space(char c) { return c == '\t' || c == '\r' || c == '\n'; }

}  // namespace

bool csv_formula_risk(std::string_view field) {
    if (field.empty()) return false;
    if (is_line_space(field.front())) return true;
    std::size_t i = 0;
    while (i < field.size() && (field[i] == ' ' || is_line_space(field[i]))) ++i;
    if (i == field.size()) return false;
    const char c = field[i];
    return c == '=' || c == '+' || c == '-' || c == '@';
}

bool csv_field_append(std::string& out, std::string_view utf8, bool protect) {
    try {
        out.push_back('"');
        if (protect && csv_formula_risk(utf8)) out.push_back('\'');
        std::size_t run = 0;
        for (std::size_t i = 0; i < utf8.size(); ++i) {
            const char c = utf8[i];
            if (c != '"' && c != '\0') continue;
            out.append(utf8.substr(run, i - run));
            out.append(c == '"' ? "\"\"" : "\\0");
            run = i + 1;
        }
        out.append(utf8.substr(run));
        out.push_back('"');
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool csv_value_append(std::string& out, const Value& value, Charset charset,
                      bool formula_protection, std::string& scratch) {
    switch (value.kind) {
        case VALUE_NULL: return csv_field_append(out, CSV_NULL_FIELD, false);
        case VALUE_NOT_IN_INSERT: return csv_field_append(out, CSV_NOT_IN_INSERT_FIELD, false);
        case VALUE_TEXT:
        case VALUE_SQL: break;
        default:  // numbers and binary literals are never at risk
            formula_protection = false;
            break;
    }
    return text_to_utf8(value.text, charset, scratch) &&
           csv_field_append(out, scratch, formula_protection);
}

}  // namespace kv
