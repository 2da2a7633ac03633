// Schema model and CREATE parser (see schema.h).
#include "importer/schema.h"

#include <cstring>
#include <new>

#include "cache/format.h"
#include "foundation/messages.h"
#include "foundation/sql_lex.h"
#include "foundation/text.h"

namespace kv {

namespace {


constexpr CreateKeyword CREATE_KEYWORDS[] = {
    {"TABLE", OBJECT_TABLE, false, Msg::none},
    {"DATABASE", OBJECT_DATABASE, true, Msg::none},
    {"SCHEMA", OBJECT_DATABASE, true, Msg::none},
    {"VIEW", OBJECT_VIEW, false, Msg::code_kind_view},
    {"PROCEDURE", OBJECT_ROUTINE, false, Msg::code_kind_procedure},
    {"FUNCTION", OBJECT_ROUTINE, false, Msg::code_kind_function},
    {"TRIGGER", OBJECT_ROUTINE, false, Msg::code_kind_trigger},
    {"EVENT", OBJECT_ROUTINE, false, Msg::code_kind_event},
};

constexpr const char* NOT_AN_OBJECT_WORDS[] = {
    "INDEX",    "UNIQUE",  "FULLTEXT", "SPATIAL", "USER",     "ROLE",    "SERVER",
    "TABLESPACE", "LOGFILE", "SEQUENCE", "PACKAGE", "RESOURCE", "SYNONYM", "ON", "AS"};

// Bare words that open a table clause instead of a column definition. PERIOD (MariaDB's
// application-time and system-time periods) and VECTOR (MariaDB's vector index) only when the
// word after them says so, since both are valid column names.
constexpr const char* INDEX_WORDS[] = {"PRIMARY", "KEY",      "UNIQUE",  "CONSTRAINT", "FOREIGN",
                                       "INDEX",   "FULLTEXT", "SPATIAL", "CHECK"};

void make_key(std::string& key, std::string_view database, std::string_view name,
              ObjectKind kind) {
    key.clear();
    key.push_back(static_cast<char>('0' + static_cast<int>(kind)));
    key.append(database);
    key.push_back('\0');
    key.append(name);
}

bool lookup_in_step(const ObjectLookup& lookup, const DumpState& state) {
    return lookup.numbers.size() == state.objects.size();
}

void lookup_rebuild(ObjectLookup& lookup, const DumpState& state) {
    lookup.numbers.clear();
    for (std::uint32_t i = 0; i < state.objects.size(); ++i) {
        const SchemaObject& o = state.objects[i];
        make_key(lookup.key, o.database_name, o.object_name, o.kind);
        lookup.numbers.emplace(lookup.key, i);
    }
}

int object_find_linear(const DumpState& state, std::string_view database, std::string_view name,
                       ObjectKind kind) {
    for (std::uint32_t i = 0; i < state.objects.size(); ++i) {
        const SchemaObject& o = state.objects[i];
        if (o.kind == kind && o.database_name == database && o.object_name == name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

template <std::size_t N>
bool keyword_in(const Token& token, const char* const (&words)[N]) {
    for (const char* word : words) {
        if (token_is_keyword(token, word)) return true;
    }
    return false;
}

// Whether the definition whose first token is t (read from definition) is a table clause.
bool is_table_clause(const Token& t, TextSpan definition, Token& scratch) {
    if (keyword_in(t, INDEX_WORDS)) return true;
    if (token_is_keyword(t, "PERIOD")) {
        return text_read_token(definition, scratch) && token_is_keyword(scratch, "FOR");
    }
    if (token_is_keyword(t, "VECTOR")) {
        return text_read_token(definition, scratch) &&
               (token_is_keyword(scratch, "KEY") || token_is_keyword(scratch, "INDEX"));
    }
    return false;
}

void fold_key(std::string& key, std::string_view name) {
    key.assign(name);
    for (char& c : key) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
}

int column_find_linear(const SchemaObject& o, std::string_view name) {
    for (std::size_t i = 0; i < o.columns.size(); ++i) {
        if (ascii_iequals(o.columns[i].name, name)) return static_cast<int>(i);
    }
    return -1;
}

// The column table of object, in step with its columns; null when memory is short (the
// linear search decides then).
std::unordered_map<std::string, std::uint32_t>* column_table(ObjectLookup& lookup,
                                                             const DumpState& state,
                                                             std::uint32_t object) {
    try {
        if (lookup.columns.size() <= object) lookup.columns.resize(state.objects.size());
        auto& names = lookup.columns[object];
        const SchemaObject& o = state.objects[object];
        if (names.size() != o.columns.size()) {
            names.clear();
            for (std::uint32_t i = 0; i < o.columns.size(); ++i) {
                fold_key(lookup.column_key, o.columns[i].name);
                names.emplace(lookup.column_key, i);
            }
        }
        return &names;
    } catch (const std::bad_alloc&) {
        if (object < lookup.columns.size()) lookup.columns[object].clear();
        return nullptr;
    }
}

}  // namespace

Status object_find_or_add(DumpState& state, std::string_view database, std::string_view name,
                          ObjectKind kind, std::uint32_t& number, ObjectLookup* lookup) {
    int found = -1;
    try {
        if (lookup != nullptr) {
            if (!lookup_in_step(*lookup, state)) lookup_rebuild(*lookup, state);
            make_key(lookup->key, database, name, kind);
            auto hit = lookup->numbers.find(lookup->key);
            if (hit != lookup->numbers.end()) found = static_cast<int>(hit->second);
        } else {
            found = object_find_linear(state, database, name, kind);
        }
    } catch (const std::bad_alloc&) {
        // Without the table the linear search decides.
        lookup = nullptr;
        found = object_find_linear(state, database, name, kind);
    }
    if (found >= 0) {
        number = static_cast<std::uint32_t>(found);
        return {};
    }
    if (state.objects.size() >= MAX_OBJECTS) {
        return status_fail(StatusKind::limit, Msg::too_many_objects);
    }
    try {
        state.objects.emplace_back();
    } catch (const std::bad_alloc&) {
        return status_fail(StatusKind::out_of_memory, Msg::schema_out_of_memory);
    }
    SchemaObject& object = state.objects.back();
    try {
        object.database_name.assign(database);
        object.object_name.assign(name);
    } catch (const std::bad_alloc&) {
        state.objects.pop_back();
        return status_out_of_memory();
    }
    object.kind = kind;
    number = static_cast<std::uint32_t>(state.objects.size() - 1);
    if (lookup != nullptr) {
        try {
            lookup->numbers.emplace(lookup->key, number);
        } catch (const std::bad_alloc&) {
            lookup->numbers.clear();  // out of step: rebuilt (or bypassed) on the next call
        }
    }
    return {};
}

Status column_find_or_add(DumpState& state, std::uint32_t object, std::string_view name,
                          std::string_view type_text, std::uint32_t& number,
                          ObjectLookup* lookup) {
    SchemaObject& o = state.objects[object];
    std::unordered_map<std::string, std::uint32_t>* names =
        lookup != nullptr ? column_table(*lookup, state, object) : nullptr;
    int found = -1;
    if (names != nullptr) {
        try {
            fold_key(lookup->column_key, name);
            auto hit = names->find(lookup->column_key);
            if (hit != names->end()) found = static_cast<int>(hit->second);
        } catch (const std::bad_alloc&) {
            names->clear();
            names = nullptr;
        }
    }
    if (names == nullptr) found = column_find_linear(o, name);
    if (found >= 0) {
        number = static_cast<std::uint32_t>(found);
        return {};
    }
    if (o.columns.size() >= MAX_COLUMNS) {
        return status_fail(StatusKind::limit, Msg::too_many_columns);
    }
    try {
        Column column;
        column.name.assign(name);
        column.type_text.assign(type_text);
        o.columns.push_back(std::move(column));
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    number = static_cast<std::uint32_t>(o.columns.size() - 1);
    if (names != nullptr) {
        try {
            names->emplace(lookup->column_key, number);
        } catch (const std::bad_alloc&) {
            names->clear();  // out of step: rebuilt on the next look-up
        }
    }
    return {};
}

bool column_is_invisible(std::string_view type_text) {
    static constexpr std::string_view WORD = "invisible";
    const std::size_t n = type_text.size();
    for (std::size_t i = 0; i < n;) {
        const auto c = static_cast<unsigned char>(type_text[i]);
        if (c == '\'' || c == '"' || c == '`') {  // COMMENT 'invisible' is no attribute
            i = sql_quoted_end(reinterpret_cast<const unsigned char*>(type_text.data()), n, c,
                               escapes_in(EscapeMode::backslash, c), i + 1) + 1;
            continue;
        }
        if (!sql_is_word(c)) {
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < n && sql_is_word(static_cast<unsigned char>(type_text[end]))) ++end;
        if (ascii_iequals(type_text.substr(i, end - i), WORD)) return true;
        i = end;
    }
    return false;
}

const CreateKeyword* create_keyword(const Token& token) {
    for (const CreateKeyword& k : CREATE_KEYWORDS) {
        if (token_is_keyword(token, k.word)) return &k;
    }
    return nullptr;
}

bool create_keyword_search_ends(const Token& token) {
    return keyword_in(token, NOT_AN_OBJECT_WORDS);
}

bool text_read_token(TextSpan& span, Token& token) {
    const unsigned char* b = span.bytes;
    const std::uint64_t end = span.length;
    std::uint64_t p = span_skip_blanks(b, end, span.position, span.mode);
    token.start = p;
    token.length = 0;
    token.text[0] = '\0';
    if (p >= end) {
        token.kind = TOKEN_NONE;
        token.end = p;
        span.position = p;
        return false;
    }
    auto store = [&token](unsigned char c) {
        if (token.length < TOKEN_MAX) token.text[token.length++] = static_cast<char>(c);
    };
    unsigned char c = b[p++];
    if (c == '\'' || c == '"' || c == '`') {
        token.kind = c == '`' ? TOKEN_BACKQUOTED : TOKEN_STRING;
        // An unterminated quote ends with the span; a backslash at its end stands for itself.
        SqlSpanBytes bytes{b, end, p};
        const QuotedEnd closing = sql_walk_quoted_body(
            bytes, c, escapes_in(span.mode, c), [&store](unsigned char x) {
                store(x);
                return true;
            });
        if (closing == QuotedEnd::open_escape) store('\\');
        p = bytes.i;
    } else if (sql_is_word(c)) {
        token.kind = TOKEN_WORD;
        store(c);
        while (p < end && sql_is_word(b[p])) store(b[p++]);
    } else {
        token.kind = TOKEN_OTHER;
        store(c);
    }
    token.text[token.length] = '\0';
    token.end = p;
    span.position = p;
    return true;
}

namespace {

// The object keyword after CREATE (the first bare word of CREATE_KEYWORDS); identifiers,
// strings and account names before it (DEFINER=`event`@`localhost`) are passed over. Null for
// a statement of another kind (CREATE USER, CREATE INDEX, ...).
const CreateKeyword* object_keyword(TextSpan& span, Token& t) {
    if (!text_read_token(span, t)) return nullptr;  // CREATE
    if (!text_read_token(span, t)) return nullptr;
    const CreateKeyword* keyword = nullptr;
    while ((keyword = create_keyword(t)) == nullptr) {
        if (create_keyword_search_ends(t)) return nullptr;
        if (!text_read_token(span, t)) return nullptr;
    }
    return keyword;
}

// The object's database and name from the tokens after its keyword (IF NOT EXISTS, a plain
// or qualified name); a database names itself. t holds the token after the name.
Status object_names(TextSpan& span, Token& t, const CreateKeyword& keyword,
                    std::string_view current_database, std::string& database,
                    std::string& name) {
    if (token_is_keyword(t, "IF")) {
        text_read_token(span, t);  // NOT
        text_read_token(span, t);  // EXISTS
        text_read_token(span, t);  // the name
    }
    try {
        database.assign(current_database);
        name.assign(t.text);
        text_read_token(span, t);
        if (token_is_punct(t, '.')) {
            if (!text_read_token(span, t)) {
                return status_fail(StatusKind::syntax, Msg::qualified_name_incomplete);
            }
            database.swap(name);
            name.assign(t.text);
            text_read_token(span, t);
        }
        if (keyword.database) {
            database.swap(name);
            name.clear();
        }
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    return {};
}

// The column definition [p, d) of a table's list: a column with its definition text as its
// type, unless it is a table clause (a key, a constraint, ...).
Status take_column(DumpState& state, std::uint32_t object, const TextSpan& span,
                   std::uint64_t p, std::uint64_t d, Token& t, Token& second,
                   ObjectLookup* lookup) {
    const unsigned char* b = span.bytes;
    TextSpan definition;
    definition.bytes = b;
    definition.length = d < span.length ? d : span.length;
    definition.position = p;
    definition.mode = span.mode;
    if (!text_read_token(definition, t) || is_table_clause(t, definition, second)) return {};
    std::uint64_t type_start = t.end;
    std::uint64_t type_end = definition.length;
    while (type_start < type_end && sql_is_blank(b[type_start])) ++type_start;
    while (type_end > type_start && sql_is_blank(b[type_end - 1])) --type_end;
    std::string type_text;
    try {
        type_text.assign(reinterpret_cast<const char*>(b) + type_start, type_end - type_start);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    std::uint32_t column = 0;
    if (Status added = column_find_or_add(state, object, std::string_view(t.text), type_text,
                                          column, lookup);
        !added.ok()) {
        return added;
    }
    state.objects[object].columns[column].type_text = std::move(type_text);
    return {};
}

// The column definitions of a table's list, whose "(" ends at position p.
Status take_columns(DumpState& state, std::uint32_t object, const TextSpan& span,
                    std::uint64_t p, Token& t, Token& second, ObjectLookup* lookup) {
    const unsigned char* b = span.bytes;
    const std::uint64_t end = span.length;
    for (;;) {
        if (p >= end) return {};
        std::uint64_t d = value_find_end(b, end, p, span.mode);
        if (d <= p) return {};
        if (Status taken = take_column(state, object, span, p, d, t, second, lookup);
            !taken.ok()) {
            return taken;
        }
        if (d >= end || b[d] == ')') return {};
        p = d + 1;
    }
}

// Whether the column list whose "(" ends at position p closes inside the span.
bool column_list_closes(const TextSpan& span, std::uint64_t p) {
    while (p < span.length) {
        const std::uint64_t d = value_find_end(span.bytes, span.length, p, span.mode);
        if (d >= span.length) return false;
        if (span.bytes[d] == ')') return true;
        p = d + 1;
    }
    return false;
}

}  // namespace

Status create_parse(DumpState& state, const char* text, std::string_view current_database,
                    EscapeMode mode, ObjectLookup* lookup) {
    TextSpan span;
    span.bytes = reinterpret_cast<const unsigned char*>(text);
    span.length = std::strlen(text);
    span.mode = mode;
    std::unique_ptr<Token> token(new (std::nothrow) Token);
    std::unique_ptr<Token> second(new (std::nothrow) Token);
    if (!token || !second) return status_out_of_memory();
    Token& t = *token;

    const CreateKeyword* keyword = object_keyword(span, t);
    if (keyword == nullptr) return {};
    if (!text_read_token(span, t)) return status_fail(StatusKind::syntax, Msg::create_incomplete);
    std::string database;
    std::string name;
    if (Status named = object_names(span, t, *keyword, current_database, database, name);
        !named.ok()) {
        return named;
    }
    std::uint32_t object = 0;
    if (Status found = object_find_or_add(state, database, name, keyword->kind, object, lookup);
        !found.ok()) {
        return found;
    }
    if (keyword->kind == OBJECT_TABLE && state.objects[object].entry_count > 0) {
        import_note_append(state, msg_text(Msg::note_create_after_insert));
    }
    try {
        state.objects[object].create_text.assign(text, span.length);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    if (keyword->kind != OBJECT_TABLE || !token_is_punct(t, '(')) return {};
    return take_columns(state, object, span, t.end, t, *second, lookup);
}

}  // namespace kv

namespace kv {

bool create_cut_is_whole(const char* text, std::string_view current_database, EscapeMode mode,
                         bool ran_out, std::string& table) {
    table.clear();
    TextSpan span;
    span.bytes = reinterpret_cast<const unsigned char*>(text);
    span.length = std::strlen(text);
    span.mode = mode;
    std::unique_ptr<Token> token(new (std::nothrow) Token);
    if (!token) return false;
    Token& t = *token;
    const CreateKeyword* keyword = object_keyword(span, t);
    if (keyword == nullptr) return !ran_out;
    std::string database;
    std::string name;
    if (!text_read_token(span, t) ||
        !object_names(span, t, *keyword, current_database, database, name).ok()) {
        return false;
    }
    // Nothing after the name: the name itself may be cut.
    if (t.kind == TOKEN_NONE) return false;
    if (keyword->kind == OBJECT_TABLE) {
        try {
            table = "`" + database + "`.`" + name + "`";
        } catch (const std::bad_alloc&) {
            table.clear();
        }
    }
    if (ran_out || keyword->kind != OBJECT_TABLE) return false;
    return !token_is_punct(t, '(') || column_list_closes(span, t.end);
}

}  // namespace kv
