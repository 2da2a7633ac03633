// Executable-comment chains of views, triggers, events and routines (see versioned_code.h).
#include "importer/versioned_code.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "foundation/message.h"
#include "foundation/messages.h"
#include "foundation/text.h"
#include "importer/dump_reader.h"
#include "importer/schema.h"

namespace kv {

namespace {

constexpr std::size_t MAX_NOTED = 65536;

std::uint64_t hash_bytes(std::uint64_t h, const char* bytes, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        h ^= static_cast<unsigned char>(bytes[i]);
        h *= 0x100000001b3ull;
    }
    return h;
}

// Appends the note for the object (kind, name) unless it was noted before.
void note_object(VersionedCode& code, DumpState& state, const CreateKeyword& kind,
                 const std::string& name) {
    std::uint64_t h = hash_bytes(0xcbf29ce484222325ull, kind.word, std::strlen(kind.word) + 1);
    h = hash_bytes(h, name.data(), name.size());
    if (code.noted.count(h) != 0) return;
    try {
        if (code.noted.size() < MAX_NOTED) code.noted.insert(h);
    } catch (const std::bad_alloc&) {
        // Not remembered: the object may be noted again.
    }
    if (name.empty()) {
        import_note_append(state, msg_text(Msg::note_code_object));
        return;
    }
    // Room for the format with both arguments in place of its "%s".
    const char* format = msg_text(Msg::note_code_object_named);
    const char* shown = msg_text(kind.shown);
    const std::size_t size = std::strlen(format) + std::strlen(shown) + name.size() + 1;
    std::unique_ptr<char[]> note(new (std::nothrow) char[size]);
    if (!note) {
        import_note_append(state, msg_text(Msg::note_code_object));
        return;
    }
    msg_format(note.get(), size, format, shown, name.c_str());
    import_note_append(state, note.get());
}

// The object name after the keyword as `database`.`name` (the current database when the
// name is not qualified); "" when none follows.
std::string object_name(TextSpan& span, Token& t, const std::string& database) {
    std::string name;
    if (!text_read_token(span, t)) return name;
    if (token_is_keyword(t, "IF")) {  // IF NOT EXISTS
        text_read_token(span, t);
        text_read_token(span, t);
        if (!text_read_token(span, t)) return name;
    }
    if (t.kind == TOKEN_OTHER) return name;
    name = std::string("`") + t.text + "`";
    TextSpan after = span;
    if (text_read_token(after, t) && t.kind == TOKEN_OTHER && t.text[0] == '.' &&
        text_read_token(after, t) && t.kind != TOKEN_OTHER) {
        name += std::string(".`") + t.text + "`";
        span = after;
        return name;
    }
    return "`" + database + "`." + name;
}

}  // namespace

bool versioned_code_start(VersionedCode& code) {
    code.after_create = false;
    code.database.clear();
    code.noted.clear();
    code.token.reset(new (std::nothrow) Token);
    return code.token != nullptr;
}

bool versioned_code_is_definition(const VersionedCode& code, const char* capture) {
    if (code.after_create) return true;
    const char* p = capture;
    if (*p == 'M') ++p;
    if (*p == '!') ++p;
    while (*p >= '0' && *p <= '9') ++p;  // the version
    while (sql_is_blank(static_cast<unsigned char>(*p))) ++p;
    const std::size_t n = std::strlen("create");
    return std::strlen(p) >= n && ascii_iequals(std::string_view(p, n), "create") &&
           !sql_is_word(static_cast<unsigned char>(p[n]));
}

void versioned_code_capture(VersionedCode& code, DumpState& state, const char* capture,
                            EscapeMode mode) {
    if (!code.token) return;
    Token& t = *code.token;
    TextSpan span;
    span.bytes = reinterpret_cast<const unsigned char*>(capture);
    span.length = std::strlen(capture);
    span.mode = mode;
    while (text_read_token(span, t)) {
        if (token_is_keyword(t, "CREATE")) {
            code.after_create = true;
            continue;
        }
        if (!code.after_create || t.kind != TOKEN_WORD) continue;
        // After CREATE, a table, a database or another kind of statement (a placeholder table,
        // an index) ends the chain without a code object.
        if (const CreateKeyword* k = create_keyword(t)) {
            code.after_create = false;
            if (k->kind == OBJECT_VIEW || k->kind == OBJECT_ROUTINE) {
                std::string name;
                try {
                    name = object_name(span, t, code.database);
                } catch (const std::bad_alloc&) {
                    name.clear();  // the note without a name
                }
                note_object(code, state, *k, name);
            }
        } else if (create_keyword_search_ends(t)) {
            code.after_create = false;
        }
    }
}

}  // namespace kv
