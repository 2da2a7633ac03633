// The CSV export's fast row writer (see csv_row.h).
//
// Every accepted value shape mirrors the tuple reader's plain path (value_decode_plain) and
// every written field mirrors csv_value_text and csv_field_write; the scan declines as soon
// as a byte leaves that common ground. Text runs are copied 16 bytes at a time: each block is
// stored to the output before it is tested, and the output only advances past bytes that need
// nothing (hence the spare room of csv_row_room).
#include "records/csv_row.h"

#include <cstring>
#include <new>

#include "cache/index_file.h"
#include "foundation/sql_quote.h"
#include "records/csv_field.h"
#include "records/value.h"

namespace kv {

namespace {

constexpr std::size_t DECLINED = CSV_ROW_DECLINED;

// True when every column of the table appears once, in table order.
bool layout_in_order(const ColumnLayout& layout, std::size_t columns) {
    if (layout.columns.size() != columns) return false;
    for (std::size_t j = 0; j < columns; ++j) {
        if (layout.columns[j] != j) return false;
    }
    return true;
}

// Writes the content of the special byte t[i] of a quoted string (a doubled or escaped
// quote, an escape, '"' or NUL) and returns the position after it; CLOSED when t[i] is the
// closing quote, DECLINED when the string cannot be written here. Part of the copy loop of
// every string: kept inline there.
constexpr std::size_t CLOSED = DECLINED - 1;
[[gnu::always_inline]] inline std::size_t text_special(const unsigned char* t, std::size_t n, std::size_t i, unsigned char q,
                         bool escapes, unsigned char*& o) {
    const unsigned char c = t[i];
    if (c == q) {
        if (i + 1 >= n) return DECLINED;
        if (t[i + 1] != q) return CLOSED;
        *o++ = q;  // a doubled quote stands for one
        if (q == '"') *o++ = '"';
        return i + 2;
    }
    if (c == '\\' && escapes) {
        if (i + 1 >= n) return DECLINED;
        const unsigned char e = t[i + 1];
        const int b = escape_byte(e);
        if (b >= 0x80) return DECLINED;  // may be part of a character the escape splits
        if (b < 0 || b == 0) {
            *o++ = '\\';
            *o++ = b < 0 ? e : '0';
        } else if (b == '"') {
            *o++ = '"';
            *o++ = '"';
        } else {
            *o++ = static_cast<unsigned char>(b);
        }
        return i + 2;
    }
    *o++ = c == '"' ? '"' : '\\';  // '"' doubled, NUL as "\0"
    *o++ = c == '"' ? '"' : '0';
    return i + 1;
}

// Writes the unescaped bytes of the quoted string whose opening quote is t[i - 1] as field
// content: '"' doubled, NUL as "\0", everything else as it is. high is set when a byte from
// 0x80 may have been copied. Returns the position after the closing quote, or DECLINED.
//
// The string rule of sql_quoted_walk, kept as its own loop: the SSE2 copy stores each block
// before testing it for four bytes at once, which the walk's callbacks cannot.
//
// Escapes yield ASCII (an escaped byte from 0x80 is declined), so a character the scan cuts
// at an escape is malformed either way: the copied content is well-formed UTF-8 exactly when
// the unescaped text is, and the caller tests it once instead of the scan at every character.
std::size_t text_content(const unsigned char* t, std::size_t n, std::size_t i, unsigned char q,
                         bool escapes, bool& high, unsigned char*& o) {
    unsigned char seen = 0;
    const Bytes16 vq = Bytes16::splat(q);
    const Bytes16 vb = Bytes16::splat(escapes ? '\\' : q);
    const Bytes16 vd = Bytes16::splat('"');
    const Bytes16 vz = Bytes16::zero();
    Bytes16 any = Bytes16::zero();
    for (;;) {
        std::uint32_t mask = 0;
        while (i + 16 <= n) {
            const Bytes16 x = Bytes16::load(t + i);
            x.store(o);
            any = any | x;
            mask = (equal(x, vq) | equal(x, vb) | equal(x, vd) | equal(x, vz)).mask();
            if (mask != 0) break;
            i += 16;
            o += 16;
        }
        if (mask != 0) {
            const unsigned k = scan_first_bit(mask);
            i += k;
            o += k;
        } else {
            while (i < n) {
                const unsigned char c = t[i];
                if (c == q || c == '"' || c == 0 || (escapes && c == '\\')) break;
                seen |= c;
                *o++ = c;
                ++i;
            }
            if (i >= n) return DECLINED;
        }

        const std::size_t next = text_special(t, n, i, q, escapes, o);
        if (next == CLOSED) break;
        if (next == DECLINED) return DECLINED;
        i = next;
    }
    seen |= any.mask() != 0 ? 0x80 : 0;
    high = (seen & 0x80) != 0;
    return i + 1;
}

// Writes "0x" and two upper-case hex digits per unescaped byte of the quoted string whose
// opening quote is t[i - 1]. Returns the position after the closing quote, or DECLINED.
std::size_t hex_content(const unsigned char* t, std::size_t n, std::size_t i, unsigned char q,
                        bool escapes, unsigned char*& o) {
    *o++ = '0';
    *o++ = 'x';
    const auto put = [&o](unsigned char b) {
        *o++ = static_cast<unsigned char>(HEX_DIGITS[b >> 4]);
        *o++ = static_cast<unsigned char>(HEX_DIGITS[b & 15]);
    };
    const std::size_t close = sql_quoted_walk(
        t, n, q, escapes, i,
        [&put](const unsigned char* run, std::size_t count) {
            for (std::size_t k = 0; k < count; ++k) put(run[k]);
        },
        put);
    return close < n ? close + 1 : DECLINED;
}

// Writes the content of the text string starting at t[i] (its opening quote c) and returns
// the position after it, or DECLINED. tuple_utf8 as for write_field.
std::size_t write_text_string(const CsvRowPlan& plan, const unsigned char* t, std::size_t n,
                              std::size_t i, bool escapes, int& tuple_utf8, unsigned char*& o) {
    unsigned char* content = o;
    bool high = false;
    const std::size_t end = text_content(t, n, i + 1, t[i], escapes, high, o);
    if (end == DECLINED) return DECLINED;
    const std::string_view written(reinterpret_cast<const char*>(content),
                                   static_cast<std::size_t>(o - content));
    // Other character sets convert every byte from 0x80; UTF-8 passes through only when
    // well-formed. A well-formed tuple makes every field well-formed: the scan cuts it only at
    // ASCII bytes and adds only ASCII, so the whole tuple is tested once per row, and single
    // fields only when it fails.
    if (high) {
        if (plan.charset != CHARSET_UTF8) return DECLINED;
        if (tuple_utf8 == 0) {
            const std::string_view tuple(reinterpret_cast<const char*>(t), n);
            tuple_utf8 = utf8_valid_prefix(tuple) == n ? 1 : 2;
        }
        if (tuple_utf8 != 1 && utf8_valid_prefix(written) != written.size()) return DECLINED;
    }
    // Doubled quotes and "\0" leave the leading blanks and the first character after them as
    // they were, so the written content shows the same formula risk as the text itself.
    if (plan.formula_protection && csv_formula_risk(written)) {
        std::memmove(content + 1, content, written.size());
        *content = '\'';
        ++o;
    }
    return end;
}

// Copies the number literal starting at t[i], parsed while copied in one pass, and returns
// the position after it, or DECLINED. The tuple reader takes the longest run of number bytes
// and tests it with number_literal_test; stopping the grammar early on a number byte is that
// test failing, stopping on any other byte is the run ending.
std::size_t write_number(const unsigned char* t, std::size_t n, std::size_t i, unsigned char*& o) {
    std::size_t k = i;
    const auto take = [&] { *o++ = t[k++]; };
    const auto digits = [&] {
        std::size_t count = 0;
        for (; k < n && t[k] >= '0' && t[k] <= '9'; ++count) take();
        return count;
    };
    if (t[k] == '+' || t[k] == '-') take();
    std::size_t mantissa = digits();
    if (k < n && t[k] == '.') {
        take();
        mantissa += digits();
    }
    if (mantissa == 0) return DECLINED;
    if (k < n && (t[k] == 'e' || t[k] == 'E')) {
        take();
        if (k < n && (t[k] == '+' || t[k] == '-')) take();
        if (digits() == 0) return DECLINED;
    }
    if (k < n && number_literal_byte(t[k])) return DECLINED;
    return k;
}

// Writes the field of the value starting at t[i] (quotes included) and returns the position
// of the byte after the value, or DECLINED when the value is not of a plain shape. tuple_utf8
// caches for the row whether the whole tuple is well-formed UTF-8 (0 not yet known, 1 yes,
// 2 no).
std::size_t write_field(const CsvRowPlan& plan, std::size_t column, const unsigned char* t,
                        std::size_t n, std::size_t i, bool escapes, int& tuple_utf8,
                        unsigned char*& o) {
    const unsigned char c = t[i];
    *o++ = '"';
    std::size_t end = DECLINED;
    if (c == '\'' || c == '"') {
        end = plan.binary[column] != 0 ? hex_content(t, n, i + 1, c, escapes, o)
                                       : write_text_string(plan, t, n, i, escapes, tuple_utf8, o);
    } else if (number_literal_byte(c)) {
        end = write_number(t, n, i, o);
    } else if ((c | 0x20) == 'n' && n - i > 4 && (t[i + 1] | 0x20) == 'u' &&
               (t[i + 2] | 0x20) == 'l' && (t[i + 3] | 0x20) == 'l') {
        *o++ = '\\';
        *o++ = 'N';
        end = i + 4;
    }
    *o++ = '"';
    return end;
}

}  // namespace

bool csv_row_plan_init(CsvRowPlan& plan, const SchemaObject& object, Charset charset,
                       bool formula_protection) {
    plan.columns = object.columns.size();
    plan.charset = charset;
    plan.formula_protection = formula_protection;
    try {
        plan.binary.assign(object.columns.size(), 0);
        plan.layout_in_order.assign(object.layouts.size(), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    for (std::size_t c = 0; c < object.columns.size(); ++c) {
        plan.binary[c] = binary_type_test(object.columns[c].type_text) ? 1 : 0;
    }
    return true;
}

std::size_t csv_row_write(CsvRowPlan& plan, const SchemaObject& object, const IndexEntry& entry,
                          const unsigned char* tuple, unsigned char* out) {
    const std::uint32_t layout = entry.layout_word & LAYOUT_NUMBER_MASK;
    const std::size_t n = static_cast<std::size_t>(entry.length);
    if (plan.columns == 0 || plan.columns != object.columns.size() ||
        layout >= plan.layout_in_order.size() || layout >= object.layouts.size() || n < 2 ||
        tuple[0] != '(' || tuple[n - 1] != ')') {
        return DECLINED;
    }
    if (plan.layout_in_order[layout] == 0) {
        plan.layout_in_order[layout] = layout_in_order(object.layouts[layout], plan.columns) ? 1 : 2;
    }
    if (plan.layout_in_order[layout] != 1) return DECLINED;

    const bool escapes = (entry.layout_word & LAYOUT_NO_BACKSLASH) == 0;
    unsigned char* o = out;
    int tuple_utf8 = 0;
    std::size_t i = 1;
    for (std::size_t column = 0; column < plan.columns; ++column) {
        if (column > 0) *o++ = ';';
        const std::size_t k = write_field(plan, column, tuple, n, i, escapes, tuple_utf8, o);
        if (k == DECLINED || k >= n) return DECLINED;
        const bool last = column + 1 == plan.columns;
        if (tuple[k] != (last ? ')' : ',') || (last && k != n - 1)) return DECLINED;
        i = k + 1;
    }
    *o++ = '\r';
    *o++ = '\n';
    return static_cast<std::size_t>(o - out);
}

}  // namespace kv
