// SQL_MODE recogniser (see sql_mode.h).
#include "importer/sql_mode.h"

#include <algorithm>
#include <cstring>

#include "foundation/messages.h"
#include "foundation/sql_lex.h"

namespace kv {

namespace {

constexpr std::size_t VALUE_SCRATCH = 512;

unsigned char lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool is_word_at(const unsigned char* t, std::size_t length, std::size_t i, const char* word) {
    const std::size_t n = std::strlen(word);
    if (i + n > length) return false;
    for (std::size_t k = 0; k < n; ++k) {
        if (lower(t[i + k]) != static_cast<unsigned char>(word[k])) return false;
    }
    return true;
}

bool word_ends_at(const unsigned char* t, std::size_t end, const char* word) {
    const std::size_t n = std::strlen(word);
    if (end < n || !is_word_at(t, end, end - n, word)) return false;
    return end == n || !sql_is_word(t[end - n - 1]);
}

// Where "sql_mode" at i names the session's mode: at a word start (so @OLD_SQL_MODE never
// matches), or as the system variable @@sql_mode. @@SESSION.sql_mode and @@LOCAL.sql_mode
// match as a word after the dot.
bool names_sql_mode(const unsigned char* t, std::size_t i) {
    if (i == 0 || !sql_is_word(t[i - 1])) return true;
    return i >= 2 && t[i - 1] == '@' && t[i - 2] == '@' && (i == 2 || !sql_is_word(t[i - 3]));
}

// Whether the variable at i is the server-wide one (SET GLOBAL sql_mode, @@GLOBAL.sql_mode,
// PERSIST): it does not change how the dump's own session reads its strings.
bool is_global(const unsigned char* t, std::size_t i) {
    if (i > 0 && t[i - 1] == '.') return i >= 9 && is_word_at(t, i, i - 9, "@@global.");
    std::size_t end = i;
    while (end > 0 && sql_is_blank(t[end - 1])) --end;
    return word_ends_at(t, end, "global") || word_ends_at(t, end, "persist") ||
           word_ends_at(t, end, "persist_only");
}

// Copies the quoted value that opens at t[j] (quote byte), lower-cased, into value (at most
// VALUE_SCRATCH - 1 bytes; no unescaping: a doubled quote ends the copy). Returns the
// position after the closing quote (or the end).
std::size_t copy_quoted(const unsigned char* t, std::size_t length, std::size_t j,
                        char (&value)[VALUE_SCRATCH]) {
    const unsigned char q = t[j];
    std::size_t n = 0;
    std::size_t k = j + 1;
    for (; k < length && t[k] != q; ++k) {
        if (n < VALUE_SCRATCH - 1) value[n++] = static_cast<char>(lower(t[k]));
    }
    value[n] = '\0';
    return k < length ? k + 1 : k;
}

EscapeMode mode_of(const char* value) {
    return escape_mode_of(std::strstr(value, "no_backslash_escapes") != nullptr);
}

// Whether the lower-cased mode value turns ANSI_QUOTES on: by name, through ANSI, or through
// the combination modes of MySQL 5.7 that include it.
bool has_ansi_quotes(const char* value) {
    static const char* const WITH_ANSI_QUOTES[] = {"ansi", "db2", "maxdb", "mssql", "oracle",
                                                  "postgresql"};
    for (const char* mode : WITH_ANSI_QUOTES) {
        if (std::strstr(value, mode) != nullptr) return true;
    }
    return false;
}

// The session's mode becomes the literal value (lower-cased).
void take_mode(DumpReader& reader, const char* value) {
    reader.escape_mode = mode_of(value);
    reader.ansi_quotes = has_ansi_quotes(value);
}

// The session's mode becomes the one saved in @OLD_SQL_MODE.
void restore_mode(DumpReader& reader) {
    reader.escape_mode = reader.saved_escape_mode;
    reader.ansi_quotes = reader.saved_ansi_quotes;
}

std::size_t skip_blanks(const unsigned char* t, std::size_t length, std::size_t j) {
    while (j < length && sql_is_blank(t[j])) ++j;
    return j;
}

// IFNULL(@variable, 'literal') at j, the restore line of HeidiSQL's exports: the saved mode
// when the dump saved one, else the literal's. False when the text has another shape.
bool restore_ifnull(DumpReader& reader, const unsigned char* t, std::size_t length,
                    std::size_t j) {
    if (!is_word_at(t, length, j, "ifnull")) return false;
    j = skip_blanks(t, length, j + 6);
    if (j >= length || t[j] != '(') return false;
    j = skip_blanks(t, length, j + 1);
    if (j >= length || t[j] != '@' || (j + 1 < length && t[j + 1] == '@')) return false;
    ++j;
    while (j < length && sql_is_word(t[j])) ++j;
    j = skip_blanks(t, length, j);
    if (j >= length || t[j] != ',') return false;
    j = skip_blanks(t, length, j + 1);
    if (j >= length || (t[j] != '\'' && t[j] != '"')) return false;
    char value[VALUE_SCRATCH];
    j = skip_blanks(t, length, copy_quoted(t, length, j, value));
    if (j >= length || t[j] != ')') return false;
    if (reader.mode_saved != 0) {
        restore_mode(reader);
    } else {
        take_mode(reader, value);
    }
    return true;
}

// The end of the bare word at j when it stands alone as the value (followed by the end of the
// assignment: a comma, a blank, a ";", the end of the text or of a comment); j when there is
// no such word (a function call, a qualified name, a number).
std::size_t mode_word_end(const unsigned char* t, std::size_t length, std::size_t j) {
    if (j >= length || !sql_is_word(t[j]) || (t[j] >= '0' && t[j] <= '9') || t[j] == '@') return j;
    std::size_t w = j;
    while (w < length && sql_is_word(t[w])) ++w;
    const std::size_t after = skip_blanks(t, length, w);
    if (after < length && t[after] != ',' && t[after] != ';' && t[after] != '*') return j;
    return w;
}

}  // namespace

void sql_mode_recognise(DumpReader& reader, const char* text) {
    if (std::strstr(text, "@OLD_SQL_MODE=@@SQL_MODE") != nullptr ||
        std::strstr(text, "@old_sql_mode=@@sql_mode") != nullptr) {
        reader.saved_escape_mode = reader.escape_mode;
        reader.saved_ansi_quotes = reader.ansi_quotes;
        reader.mode_saved = 1;
    }
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const std::size_t length = std::strlen(text);
    if (length < 8) return;
    const EscapeMode lexed_in = reader.escape_mode;  // the text is read as the server reads it
    for (std::size_t i = 0; i + 8 <= length; ++i) {
        // Strings and comments say nothing about the mode; an executable comment holds code.
        if (t[i] == '\'' || t[i] == '"' || t[i] == '`') {
            i = sql_quoted_end(t, length, t[i], escapes_in(lexed_in, t[i]), i + 1);
            continue;
        }
        if (const SqlComment kind = sql_comment_starts(t, length, i);
            kind == SqlComment::line || kind == SqlComment::block) {
            i = sql_comment_end(t, length, i, kind, lexed_in) - 1;
            continue;
        }
        if (lower(t[i]) != 's') continue;
        if (!names_sql_mode(t, i) || !is_word_at(t, length, i, "sql_mode")) continue;
        std::size_t j = skip_blanks(t, length, i + 8);
        if (j + 1 < length && t[j] == ':' && t[j + 1] == '=') ++j;  // SET sql_mode := …
        if (j >= length || t[j] != '=') continue;
        if (is_global(t, i)) continue;
        j = skip_blanks(t, length, j + 1);
        unsigned char c = j < length ? t[j] : 0;
        if (c == '\'' || c == '"') {
            char value[VALUE_SCRATCH];
            copy_quoted(t, length, j, value);
            take_mode(reader, value);
        } else if (c == '@' && (j + 1 >= length || t[j + 1] != '@')) {
            restore_mode(reader);  // a user variable: the saved mode
        } else if (!restore_ifnull(reader, t, length, j)) {
            const std::size_t w = mode_word_end(t, length, j);
            if (w == j) {
                // A system variable (the global mode, which the dump cannot know), a function
                // or a number.
                reader_fail(reader, StatusKind::refused, Msg::sql_mode_dynamic);
                continue;
            }
            // A bare mode name is a literal as much as a quoted one: DEFAULT, TRADITIONAL.
            char value[VALUE_SCRATCH];
            const std::size_t n = std::min(w - j, VALUE_SCRATCH - 1);
            for (std::size_t k = 0; k < n; ++k) value[k] = static_cast<char>(lower(t[j + k]));
            value[n] = '\0';
            take_mode(reader, value);
        }
    }
}

}  // namespace kv
