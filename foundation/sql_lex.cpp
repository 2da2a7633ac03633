// Lexical helpers over SQL text in memory (see sql_lex.h).
#include "foundation/sql_lex.h"

#include "foundation/sql_quote.h"

namespace kv {

std::uint64_t sql_comment_end(const unsigned char* t, std::uint64_t end, std::uint64_t i) {
    if (t[i] == '#' || t[i] == '-') {
        while (i < end && t[i] != '\n') ++i;
        return i < end ? i + 1 : end;
    }
    // "/*": search "*/" from the byte after the "*".
    for (std::uint64_t k = i + 2; k + 1 < end; ++k) {
        if (t[k] == '*' && t[k + 1] == '/') return k + 2;
    }
    return end;
}

bool sql_comment_starts(const unsigned char* t, std::uint64_t end, std::uint64_t i) {
    if (t[i] == '#') return true;
    if (t[i] == '-' && i + 2 < end && t[i + 1] == '-' && sql_is_blank(t[i + 2])) return true;
    if (t[i] == '/' && i + 1 < end && t[i + 1] == '*') return true;
    return false;
}

std::uint64_t span_skip_blanks(const unsigned char* bytes, std::uint64_t length,
                               std::uint64_t position) {
    std::uint64_t i = position;
    while (i < length) {
        if (sql_is_blank(bytes[i])) {
            ++i;
        } else if (sql_comment_starts(bytes, length, i)) {
            i = sql_comment_end(bytes, length, i);
        } else {
            break;
        }
    }
    return i;
}

std::uint64_t value_find_end(const unsigned char* text, std::uint64_t end, std::uint64_t start,
                             bool no_backslash) {
    std::uint64_t depth = 0;
    std::uint64_t i = start;
    while (i < end) {
        const unsigned char c = text[i];
        if (c == '\'' || c == '"' || c == '`') {
            i = sql_quoted_end(text, end, c, c != '`' && !no_backslash, i + 1);
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
        } else if (sql_comment_starts(text, end, i)) {
            i = sql_comment_end(text, end, i);
            continue;
        }
        ++i;
    }
    return i;
}

}  // namespace kv
