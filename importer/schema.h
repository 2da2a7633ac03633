// The schema model of a dump as the import builds it: schema objects (tables, views, routines,
// databases) found by kind and two names, their columns found by name, and the parser that
// takes one CREATE statement (up to 2 MiB of text) into the model. Nothing is executed and no
// type is interpreted: a column keeps its definition text as written.
//
// Limits: 65,536 objects per dump, 4,096 columns per object. The model only grows during an
// import; an object's position is its number for its whole life (it names its index file).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "foundation/dump_state.h"
#include "foundation/messages.h"
#include "foundation/status.h"
#include "importer/dump_reader.h"

namespace kv {

// Optional lookup tables that an import keeps next to the object array so that finding an
// object, or a column of an object, costs a hash probe instead of a scan over up to 65,536
// objects or 4,096 columns (a 1,000-column table dumped a row per statement with column lists
// names every column once per row). Results are the same as the linear searches; a table is
// rebuilt when it no longer matches what it indexes.
struct ObjectLookup {
    std::unordered_map<std::string, std::uint32_t> numbers;
    std::string key;  // reused probe key
    // By object number: column numbers by the name with ASCII letters in lower case. Built on
    // the first column look-up of an object.
    std::vector<std::unordered_map<std::string, std::uint32_t>> columns;
    std::string column_key;  // reused probe key
};

// The number of the object (kind, database, name), compared byte for byte, into number; adds
// it when missing. Fails when the limit is reached or memory runs out (number unchanged).
Status object_find_or_add(DumpState& state, std::string_view database, std::string_view name,
                          ObjectKind kind, std::uint32_t& number, ObjectLookup* lookup = nullptr);

// The number of the column whose name equals name ignoring ASCII case, into number; adds it
// with type_text when missing (an existing column stays unchanged). Fails like
// object_find_or_add.
Status column_find_or_add(DumpState& state, std::uint32_t object, std::string_view name,
                          std::string_view type_text, std::uint32_t& number,
                          ObjectLookup* lookup = nullptr);

// True when a column's definition text declares it INVISIBLE (also inside an executable
// comment, as MySQL 8 writes it): such a column takes no value from an INSERT without a
// column list.
bool column_is_invisible(std::string_view type_text);

// A statement held in memory with a read position.
struct TextSpan {
    const unsigned char* bytes = nullptr;
    std::uint64_t length = 0;
    std::uint64_t position = 0;
    EscapeMode mode = EscapeMode::backslash;
};

// Skips blanks and comments and reads one token of the span (like the header tokens of the
// dump reader, but without failures: an unterminated quote ends at the span's end and bytes
// beyond TOKEN_MAX are passed over). False at the end of the span.
bool text_read_token(TextSpan& span, Token& token);

// The object keyword of a CREATE statement: the kind it makes, whether it names a database,
// and how a note names such an object (code objects only: the import notes no table or
// database, so theirs is Msg::none).
struct CreateKeyword {
    const char* word;
    ObjectKind kind;
    bool database;
    Msg shown;
};
// The keyword that token is (a bare word), or null.
const CreateKeyword* create_keyword(const Token& token);
// Whether token is a bare word after CREATE that starts a statement of another kind (CREATE
// INDEX … ON `event`, CREATE USER, a package whose body names procedures): the search for
// the object keyword ends there.
bool create_keyword_search_ends(const Token& token);

// Takes one CREATE statement (NUL-terminated, from CREATE through its delimiter) into the
// model. Success when taken or ignored; fails at the limits, on a name cut short and when
// memory runs out.
Status create_parse(DumpState& state, const char* text, std::string_view current_database,
                    EscapeMode mode, ObjectLookup* lookup = nullptr);

// A CREATE statement that the end of the dump cut off (NUL-terminated, from CREATE through the
// dump's last byte; ran_out when a string, a quoted name or a comment ran to that end): whether
// it still defines its object whole, so that create_parse may take it. Only a table's text
// tells: it is whole when its column list closed, or when it has none (LIKE, AS SELECT) and
// more than its name stands there (a name at the end may itself be cut). A view, routine or
// database cut off is never whole, nor anything that ran out. A statement that makes no object
// (CREATE INDEX, CREATE USER) counts as whole unless it ran out: nothing of it is taken anyway.
// table receives a table's name as a note shows it (`database`.`name`) once its name is
// whole, else "".
bool create_cut_is_whole(const char* text, std::string_view current_database, EscapeMode mode,
                         bool ran_out, std::string& table);

}  // namespace kv
