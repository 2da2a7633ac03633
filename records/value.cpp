// Classification of one value's source text into the value model (see value.h).
#include "records/value.h"

#include <new>

#include "foundation/messages.h"
#include "foundation/sql_lex.h"
#include "foundation/sql_quote.h"
#include "foundation/text.h"

namespace kv {

namespace {

const unsigned char* bytes_of(std::string_view s) {
    return reinterpret_cast<const unsigned char*>(s.data());
}

bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

bool is_hex_digit(unsigned char c) {
    return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool is_quote(unsigned char c) { return c == '\'' || c == '"'; }

// Appends the decoded text of the string whose text starts at b[i] (see sql_quoted_walk).
std::size_t append_quoted(const unsigned char* b, std::size_t d, unsigned char q, bool escapes,
                          std::size_t i, std::string& out) {
    return sql_quoted_walk(
        b, d, q, escapes, i,
        [&out](const unsigned char* run, std::size_t count) {
            out.append(reinterpret_cast<const char*>(run), count);
        },
        [&out](unsigned char c) { out.push_back(static_cast<char>(c)); });
}

// One or more adjacent quoted strings starting at b[pos] (a quote), running to exactly d.
// Collects the unescaped bytes into out. False when the span is not such a string sequence
// (unterminated, or anything but blanks, comments and further strings after a string).
bool parse_strings(const unsigned char* b, std::size_t d, std::size_t pos, EscapeMode mode,
                   std::string& out) {
    out.clear();
    out.reserve(d);
    for (;;) {
        pos = append_quoted(b, d, b[pos], mode == EscapeMode::backslash, pos + 1, out);
        if (pos >= d) return false;  // no closing quote
        pos = span_skip_blanks(b, d, pos + 1, mode);
        if (pos == d) return true;
        if (!is_quote(b[pos])) return false;
    }
}

void keep_as(Value& out, ValueKind kind, std::string_view literal) {
    out.kind = kind;
    out.text.assign(literal);
}

// The literal's b[0..d) as a 0x..., X'...' or B'...' literal; false when it is none of them.
bool classify_binary(const unsigned char* b, std::size_t d, std::string_view literal,
                     Value& out) {
    if (d >= 2 && b[0] == '0' && (b[1] == 'x' || b[1] == 'X')) {
        bool hex = true;
        for (std::size_t i = 2; i < d && hex; ++i) hex = is_hex_digit(b[i]);
        if (hex) keep_as(out, VALUE_BINARY, literal);
        return hex;
    }
    if (d >= 3 && (b[0] == 'X' || b[0] == 'x') && b[1] == '\'' && b[d - 1] == '\'') {
        bool hex = d % 2 == 1;
        for (std::size_t i = 2; i + 1 < d && hex; ++i) hex = is_hex_digit(b[i]);
        if (!hex) {
            keep_as(out, VALUE_SQL, literal);
            return true;
        }
        out.kind = VALUE_BINARY;
        out.text.reserve(d - 1);
        out.text.assign("0x");
        out.text.append(literal.substr(2, d - 3));
        return true;
    }
    if (d >= 3 && (b[0] == 'B' || b[0] == 'b') && b[1] == '\'' && b[d - 1] == '\'') {
        bool bits = true;
        for (std::size_t i = 2; i + 1 < d && bits; ++i) bits = b[i] == '0' || b[i] == '1';
        keep_as(out, bits ? VALUE_BINARY : VALUE_SQL, literal);
        return true;
    }
    return false;
}

// The literal as strings, after an N or _charset introducer (_binary makes it binary, as
// hex); anything else is kept as an SQL expression.
void classify_strings(const unsigned char* b, std::size_t d, std::string_view literal,
                      EscapeMode mode, Value& out) {
    std::size_t pos = 0;
    bool binary_introducer = false;
    if (d >= 2 && (b[0] == 'N' || b[0] == 'n') && is_quote(b[1])) {
        pos = 1;
    } else if (b[0] == '_') {
        std::size_t w = 0;
        while (w < d && sql_is_word(b[w])) ++w;
        binary_introducer = ascii_iequals(literal.substr(0, w), "_binary");
        pos = w;
        while (pos < d && sql_is_blank(b[pos])) ++pos;
        if (pos == d) return keep_as(out, VALUE_SQL, literal);
    }
    if (is_quote(b[pos])) {
        if (binary_introducer) {
            std::string collected;
            if (parse_strings(b, d, pos, mode, collected)) {
                out.kind = VALUE_BINARY;
                if (!hex_encode(collected, out.text)) throw std::bad_alloc();
                return;
            }
        } else if (parse_strings(b, d, pos, mode, out.text)) {
            out.kind = VALUE_TEXT;
            return;
        }
    }
    keep_as(out, VALUE_SQL, literal);
}

bool classify(std::string_view bytes, EscapeMode mode, Value& out) {
    const unsigned char* all = bytes_of(bytes);
    std::size_t start = span_skip_blanks(all, bytes.size(), 0, mode);
    std::size_t end = bytes.size();
    while (end > start && sql_is_blank(all[end - 1])) --end;
    const unsigned char* b = all + start;
    const std::size_t d = end - start;
    const std::string_view literal(bytes.data() + start, d);

    out.text.clear();
    if (d == 0) {
        out.kind = VALUE_SQL;
    } else if (d == 4 && ascii_iequals(literal, "null")) {
        out.kind = VALUE_NULL;
    } else if (number_literal_test(b, d)) {
        keep_as(out, VALUE_NUMBER, literal);
    } else if (!classify_binary(b, d, literal, out)) {
        classify_strings(b, d, literal, mode, out);
    }
    return true;
}

// The source with every comment outside quotes replaced by one space.
void strip_comments(std::string_view source, EscapeMode mode, std::string& copy) {
    const unsigned char* s = bytes_of(source);
    const std::size_t n = source.size();
    copy.clear();
    copy.reserve(n);
    std::size_t i = 0;
    while (i < n) {
        const unsigned char c = s[i];
        if (c == '\'' || c == '"' || c == '`') {
            const std::size_t close = sql_quoted_end(s, n, c, escapes_in(mode, c), i + 1);
            const std::size_t next = close < n ? close + 1 : n;
            copy.append(source.substr(i, next - i));
            i = next;
        } else if (const SqlComment kind = sql_comment_starts(s, n, i); kind != SqlComment::none) {
            i = sql_comment_end(s, n, i, kind, mode);
            copy.push_back(' ');
        } else {
            copy.push_back(static_cast<char>(c));
            ++i;
        }
    }
}

bool has_comment_start(std::string_view s) {
    return s.find('#') != std::string_view::npos || s.find("--") != std::string_view::npos ||
           s.find("/*") != std::string_view::npos;
}

}  // namespace

const char* value_kind_label(ValueKind kind) {
    switch (kind) {
        case VALUE_NULL: return msg_text(Msg::value_null);
        case VALUE_TEXT: return msg_text(Msg::kind_text);
        case VALUE_NUMBER: return msg_text(Msg::kind_number);
        case VALUE_BINARY: return msg_text(Msg::kind_binary);
        case VALUE_SQL: return msg_text(Msg::kind_sql);
        case VALUE_NOT_IN_INSERT: return msg_text(Msg::kind_not_in_insert);
    }
    return "";
}

bool number_literal_test(const unsigned char* b, std::size_t d) {
    std::size_t i = 0;
    if (i < d && (b[i] == '+' || b[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < d && is_digit(b[i])) ++i, ++digits;
    if (i < d && b[i] == '.') {
        ++i;
        while (i < d && is_digit(b[i])) ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < d && (b[i] == 'e' || b[i] == 'E')) {
        ++i;
        if (i < d && (b[i] == '+' || b[i] == '-')) ++i;
        std::size_t exponent = 0;
        while (i < d && is_digit(b[i])) ++i, ++exponent;
        if (exponent == 0) return false;
    }
    return i == d;
}

namespace {

bool ends_value(const unsigned char* t, std::size_t length, std::size_t k) {
    return k < length && (t[k] == ',' || t[k] == ')');
}

// A quoted string at t[start] (a quote) closed directly before ',' or ')'.
std::size_t plain_string(const unsigned char* t, std::size_t length, std::size_t start,
                         EscapeMode mode, std::string& text) {
    text.clear();
    const std::size_t close = append_quoted(t, length, t[start], mode == EscapeMode::backslash, start + 1, text);
    if (close >= length) return length;
    return ends_value(t, length, close + 1) ? close + 1 : length;
}

}  // namespace

std::size_t value_decode_plain(const unsigned char* tuple, std::size_t length, std::size_t start,
                               EscapeMode mode, Value& out) {
    if (start >= length) return length;
    const unsigned char c = tuple[start];
    try {
        if (c == '\'' || c == '"') {
            const std::size_t k = plain_string(tuple, length, start, mode, out.text);
            if (k < length) out.kind = VALUE_TEXT;
            return k;
        }
        if (number_literal_byte(c)) {
            std::size_t k = start;
            while (k < length && number_literal_byte(tuple[k])) ++k;
            if (!ends_value(tuple, length, k) || !number_literal_test(tuple + start, k - start)) {
                return length;
            }
            out.kind = VALUE_NUMBER;
            out.text.assign(reinterpret_cast<const char*>(tuple) + start, k - start);
            return k;
        }
        const std::string_view word(reinterpret_cast<const char*>(tuple) + start,
                                    length - start > 4 ? 4 : 0);
        if ((c | 0x20) == 'n' && word.size() == 4 && ascii_iequals(word, "null") &&
            ends_value(tuple, length, start + 4)) {
            out.kind = VALUE_NULL;
            out.text.clear();
            return start + 4;
        }
    } catch (const std::bad_alloc&) {
        return length;
    }
    return length;
}

bool literal_classify(std::string_view bytes, EscapeMode mode, Value& out) {
    try {
        return classify(bytes, mode, out);
    } catch (const std::bad_alloc&) {
        out.text.clear();
        out.kind = VALUE_NULL;
        return false;
    }
}

bool value_decode(std::string_view source, EscapeMode mode, Value& out) {
    if (!has_comment_start(source)) return literal_classify(source, mode, out);
    try {
        std::string copy;
        strip_comments(source, mode, copy);
        return literal_classify(copy, mode, out);
    } catch (const std::bad_alloc&) {
        out.text.clear();
        out.kind = VALUE_NULL;
        return false;
    }
}

bool binary_type_test(std::string_view type_text) {
    std::size_t n = 0;
    while (n < type_text.size() && n < 31) {
        const unsigned char c = static_cast<unsigned char>(type_text[n]);
        if (c == 0 || c == '(' || sql_is_blank(c)) break;
        ++n;
    }
    const std::string_view word = type_text.substr(0, n);
    for (const char* name : {"binary", "varbinary", "blob", "tinyblob", "mediumblob", "longblob"}) {
        if (ascii_iequals(word, name)) return true;
    }
    return false;
}

bool hex_encode(std::string_view bytes, std::string& out) {
    try {
        out.resize(2 + 2 * bytes.size());
    } catch (const std::bad_alloc&) {
        std::string().swap(out);
        return false;
    }
    out[0] = '0';
    out[1] = 'x';
    char* p = out.data() + 2;
    for (char ch : bytes) {
        const unsigned char c = static_cast<unsigned char>(ch);
        *p++ = HEX_DIGITS[c >> 4];
        *p++ = HEX_DIGITS[c & 15];
    }
    return true;
}

}  // namespace kv
