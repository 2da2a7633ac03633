// Lexical helpers over SQL text in memory (see sql_lex.h).
#include "foundation/sql_lex.h"

namespace kv {

namespace {

// Position after the comment that starts at i (which must start one), at most end.
// Line comments end after their line feed; a block comment after its "*/".
std::uint64_t skip_comment_at(const unsigned char* t, std::uint64_t end, std::uint64_t i) {
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

bool comment_starts(const unsigned char* t, std::uint64_t end, std::uint64_t i) {
    if (t[i] == '#') return true;
    if (t[i] == '-' && i + 2 < end && t[i + 1] == '-' && sql_is_blank(t[i + 2])) return true;
    if (t[i] == '/' && i + 1 < end && t[i + 1] == '*') return true;
    return false;
}

}  // namespace

std::uint64_t span_skip_blanks(const unsigned char* bytes, std::uint64_t length,
                               std::uint64_t position) {
    std::uint64_t i = position;
    while (i < length) {
        if (sql_is_blank(bytes[i])) {
            ++i;
        } else if (comment_starts(bytes, length, i)) {
            // A line comment stops at its line feed, which the next round skips as a blank.
            if (bytes[i] == '/') {
                i = skip_comment_at(bytes, length, i);
            } else {
                while (i < length && bytes[i] != '\n') ++i;
            }
        } else {
            break;
        }
    }
    return i;
}

std::uint64_t value_find_end(const unsigned char* text, std::uint64_t end, std::uint64_t start,
                             bool no_backslash) {
    unsigned char quote = 0;
    std::uint64_t depth = 0;
    std::uint64_t i = start;
    while (i < end) {
        unsigned char c = text[i];
        if (quote != 0) {
            if (c == '\\' && !no_backslash && quote != '`' && i + 1 < end) {
                i += 2;
                continue;
            }
            if (c == quote) {
                if (i + 1 < end && text[i + 1] == quote) {
                    i += 2;
                    continue;
                }
                quote = 0;
            }
            ++i;
            continue;
        }
        if (c == '\'' || c == '"' || c == '`') {
            quote = c;
        } else if (c == '(') {
            ++depth;
        } else if (c == ')') {
            if (depth == 0) return i;
            --depth;
        } else if (c == ',' && depth == 0) {
            return i;
        } else if (comment_starts(text, end, i)) {
            i = skip_comment_at(text, end, i);
            continue;
        }
        ++i;
    }
    return i;
}

}  // namespace kv
