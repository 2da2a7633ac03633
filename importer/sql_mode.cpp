// SQL_MODE recogniser (see sql_mode.h).
#include "importer/sql_mode.h"

#include <cstring>

#include "foundation/sql_lex.h"

namespace kv {

namespace {

constexpr const char* MSG_DYNAMIC =
    "Dynamischer SQL_MODE-Ausdruck wird nicht unterstützt. Für einen zuverlässigen Import einen "
    "normalen mysqldump verwenden.";
constexpr std::size_t VALUE_SCRATCH = 512;

unsigned char lower(unsigned char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c;
}

bool is_sql_mode_at(const unsigned char* t) {
    static const char word[] = "sql_mode";
    for (int k = 0; k < 8; ++k) {
        if (lower(t[k]) != static_cast<unsigned char>(word[k])) return false;
    }
    return true;
}

}  // namespace

void sql_mode_recognise(DumpReader& reader, const char* text) {
    if (std::strstr(text, "@OLD_SQL_MODE=@@SQL_MODE") != nullptr ||
        std::strstr(text, "@old_sql_mode=@@sql_mode") != nullptr) {
        reader.saved_escape_mode = reader.escape_mode;
    }
    const auto* t = reinterpret_cast<const unsigned char*>(text);
    const std::size_t length = std::strlen(text);
    if (length < 8) return;
    for (std::size_t i = 0; i + 8 <= length; ++i) {
        if (lower(t[i]) != 's') continue;
        if (i > 0 && sql_is_word(t[i - 1])) continue;
        if (!is_sql_mode_at(t + i)) continue;
        std::size_t j = i + 8;
        while (j < length && sql_is_blank(t[j])) ++j;
        if (j >= length || t[j] != '=') continue;
        ++j;
        while (j < length && sql_is_blank(t[j])) ++j;
        unsigned char c = j < length ? t[j] : 0;
        if (c == '\'' || c == '"') {
            char value[VALUE_SCRATCH];
            std::size_t n = 0;
            for (std::size_t k = j + 1; k < length && t[k] != c && n < VALUE_SCRATCH - 1; ++k) {
                value[n++] = static_cast<char>(lower(t[k]));
            }
            value[n] = '\0';
            reader.escape_mode = std::strstr(value, "no_backslash_escapes") != nullptr ? 1 : 0;
        } else if (c == '@') {
            reader.escape_mode = reader.saved_escape_mode;
        } else if ((c == 'D' || c == 'd') && j + 1 < length &&
                   (t[j + 1] == 'E' || t[j + 1] == 'e')) {
            reader.escape_mode = 0;
        } else {
            reader_fail(reader, MSG_DYNAMIC);
        }
    }
}

}  // namespace kv
