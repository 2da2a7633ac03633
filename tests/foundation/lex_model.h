// A byte-by-byte model of the lexical rules of dump text (foundation/sql_lex.h,
// foundation/sql_quote.h, foundation/byte_scan.h), written as one plain state machine and
// independent of the product's walkers, fast scans and 64-byte masks. lex_model_check compares
// all of them with it on one text; the foundation tests run it over generated texts and
// fuzz_lex over arbitrary ones. Texts are small (a few KiB): the model is quadratic.
#pragma once

#include <cstdint>
#include <string>

#include "foundation/byte_scan.h"
#include "foundation/sql_lex.h"
#include "foundation/sql_quote.h"

namespace kv::test {

inline bool model_control(const std::string& t, std::size_t k) {
    if (k >= t.size()) return true;  // the end of the text
    const auto c = static_cast<unsigned char>(t[k]);
    return c <= 32 || c == 127;
}

// The comment that starts at i: 0 none, 1 line, 2 block, 3 executable.
inline int model_comment_kind(const std::string& t, std::size_t i) {
    auto at = [&t](std::size_t k) { return k < t.size() ? t[k] : '\0'; };
    if (at(i) == '#') return 1;
    if (at(i) == '-' && at(i + 1) == '-' && i + 1 < t.size() && model_control(t, i + 2)) return 1;
    if (at(i) != '/' || at(i + 1) != '*' || i + 1 >= t.size()) return 0;
    return (at(i + 2) == '!' || (at(i + 2) == 'M' && at(i + 3) == '!')) ? 3 : 2;
}

// Position after the comment at i (kind != 0), or t.size() when it is unterminated.
inline std::size_t model_comment_end(const std::string& t, std::size_t i, bool escapes) {
    enum State { CODE, STRING, LINE, BLOCK } state = CODE;
    const int kind = model_comment_kind(t, i);
    if (kind == 1) state = LINE;
    if (kind == 2) state = BLOCK;
    std::size_t k = kind == 1 ? i : i + 2, open = kind == 3 ? 1 : 0;
    char quote = 0;
    while (k < t.size()) {
        const char c = t[k];
        const bool closes = c == '*' && k + 1 < t.size() && t[k + 1] == '/';
        switch (state) {
            case LINE:
                ++k;
                if (c == '\n') {
                    if (open == 0) return k;
                    state = CODE;
                }
                continue;
            case BLOCK:
                k += closes ? 2 : 1;
                if (closes) {
                    if (open == 0) return k;
                    state = CODE;
                }
                continue;
            case STRING:
                if (c == quote && k + 1 < t.size() && t[k + 1] == quote) {
                    k += 2;
                } else if (c == quote) {
                    state = CODE;
                    ++k;
                } else if (c == '\\' && escapes && quote != '`') {
                    if (k + 1 >= t.size()) return t.size();
                    k += 2;
                } else {
                    ++k;
                }
                continue;
            case CODE:
                if (closes) {
                    k += 2;
                    if (--open == 0) return k;
                    continue;
                }
                if (c == '\'' || c == '"' || c == '`') {
                    quote = c;
                    state = STRING;
                    ++k;
                    continue;
                }
                switch (model_comment_kind(t, k)) {
                    case 1: state = LINE; ++k; continue;
                    case 2: state = BLOCK; k += 2; continue;
                    case 3: ++open; k += 2; continue;
                    default: ++k;
                }
        }
    }
    return t.size();
}

// Position of the closing quote of the string whose text starts at i, or t.size().
inline std::size_t model_quoted_end(const std::string& t, std::size_t i, char quote,
                                    bool escapes) {
    for (std::size_t k = i; k < t.size(); ++k) {
        if (t[k] == quote) {
            if (k + 1 < t.size() && t[k + 1] == quote) {
                ++k;
                continue;
            }
            return k;
        }
        if (t[k] == '\\' && escapes) ++k;
    }
    return t.size();
}

// The ',' or ')' that ends the item at 0 outside quotes, comments and parentheses, or size.
inline std::size_t model_item_end(const std::string& t, bool escapes) {
    std::size_t depth = 0;
    for (std::size_t k = 0; k < t.size();) {
        const char c = t[k];
        if (c == '\'' || c == '"' || c == '`') {
            k = model_quoted_end(t, k + 1, c, escapes && c != '`') + 1;
        } else if (model_comment_kind(t, k) != 0) {
            k = model_comment_end(t, k, escapes);
        } else if ((c == ',' && depth == 0) || (c == ')' && depth == 0)) {
            return k;
        } else {
            if (c == '(') ++depth;
            if (c == ')') --depth;
            ++k;
        }
    }
    return t.size();
}

// Compares every rule of the module with the model on t; "" when all agree, else what
// differs.
inline std::string lex_model_check(const std::string& t, EscapeMode mode) {
    const auto* p = reinterpret_cast<const unsigned char*>(t.data());
    const std::size_t n = t.size();
    const bool escapes = mode == EscapeMode::backslash;
    auto where = [](const char* what, std::size_t i) { return what + (" at " + std::to_string(i)); };
    for (std::size_t i = 0; i < n; ++i) {
        const SqlComment kind = sql_comment_starts(p, n, i);
        if (static_cast<int>(kind) != model_comment_kind(t, i)) return where("comment start", i);
        if (kind != SqlComment::none &&
            sql_comment_end(p, n, i, kind, mode) != model_comment_end(t, i, escapes)) {
            return where("comment end", i);
        }
        const char q = t[i];
        if (q != '\'' && q != '"' && q != '`') continue;
        const bool e = escapes_in(mode, q);
        const std::size_t want = model_quoted_end(t, i + 1, q, e);
        if (sql_quoted_end(p, n, static_cast<unsigned char>(q), e, i + 1) != want) {
            return where("fast string end", i);
        }
        SqlSpanBytes bytes{p, n, i + 1};
        const bool closed = sql_skip_quoted_body(bytes, q, e);
        if (closed != (want < n) || (closed && bytes.i != want + 1)) return where("string end", i);
        std::size_t walked = 0;
        const std::size_t close = sql_quoted_walk(
            p, n, static_cast<unsigned char>(q), e, i + 1, [](const unsigned char*, std::size_t) {},
            [&walked](unsigned char) { ++walked; });
        if (close != want) return where("decoding string end", i);
    }
    const std::uint64_t item = value_find_end(p, n, 0, mode);
    if ((item < n ? item : n) != model_item_end(t, escapes)) return "item end";
    // The 64-byte masks: quotes not escaped by an odd run of backslashes, and the bytes from an
    // opening quote to the byte before its closing one (a doubled quote closes and reopens).
    std::uint64_t carry = 0, in_string = 0;
    std::size_t run = 0;
    bool inside = false;
    for (std::size_t b = 0; b + 64 <= n; b += 64) {
        const QuoteMasks m = quote_masks(p + b, escapes, in_string, carry);
        for (std::size_t k = 0; k < 64; ++k) {
            const bool escaped = run % 2 == 1 && !(escapes && p[b + k] == '\\');
            run = escapes && p[b + k] == '\\' ? run + 1 : 0;
            const bool quote = p[b + k] == '\'' && !escaped;
            inside ^= quote;
            if (((m.quotes >> k) & 1) != quote || ((m.inside >> k) & 1) != inside ||
                ((m.escaped >> k) & 1) != escaped) {
                return where("quote masks", b + k);
            }
        }
        in_string = inside ? ~std::uint64_t{0} : 0;
    }
    // The stop searches, SSE2 or not, against a byte loop.
    for (std::size_t from = 0; from < n; from += 7) {
        std::size_t stop = from, pair = from;
        while (stop < n && !tuple_stop_byte(p[stop])) ++stop;
        while (pair < n && p[pair] != '\'' && p[pair] != '\\') ++pair;
        if (scan_find_tuple_stop(p, from, n) != stop) return where("stop search", from);
        if (scan_find2(p, from, n, '\'', '\\') != pair) return where("pair search", from);
    }
    return "";
}

}  // namespace kv::test
