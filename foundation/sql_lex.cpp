// Lexical rules over SQL text in memory (see sql_lex.h).
#include "foundation/sql_lex.h"

namespace kv {

std::uint64_t sql_comment_end(const unsigned char* t, std::uint64_t end, std::uint64_t i,
                              SqlComment kind, EscapeMode mode) {
    SqlSpanBytes s{t, end, i};
    return sql_skip_comment(s, kind, mode) ? s.i : end;
}

std::uint64_t span_skip_blanks(const unsigned char* bytes, std::uint64_t length,
                               std::uint64_t position, EscapeMode mode) {
    std::uint64_t i = position;
    while (i < length) {
        if (sql_is_blank(bytes[i])) {
            ++i;
            continue;
        }
        const SqlComment kind = sql_comment_starts(bytes, length, i);
        if (kind == SqlComment::none) break;
        i = sql_comment_end(bytes, length, i, kind, mode);
    }
    return i;
}

std::uint64_t value_find_end(const unsigned char* text, std::uint64_t end, std::uint64_t start,
                             EscapeMode mode) {
    std::uint64_t depth = 0;
    std::uint64_t i = start;
    while (i < end) {
        const unsigned char c = text[i];
        if (c == '\'' || c == '"' || c == '`') {
            i = sql_quoted_end(text, end, c, escapes_in(mode, c), i + 1);
            if (i < end) ++i;  // past the closing quote
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) return i;
            --depth;
        } else if (c == ',' && depth == 0) {
            return i;
        } else if (const SqlComment kind = sql_comment_starts(text, end, i);
                   kind != SqlComment::none) {
            i = sql_comment_end(text, end, i, kind, mode);
            continue;
        }
        ++i;
    }
    return i;
}

}  // namespace kv
