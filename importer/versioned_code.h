// View, trigger, event and routine code inside executable comments. mysqldump writes views,
// triggers and events as a chain of such comments that only together form the statement
// (/*!50001 CREATE ALGORITHM=UNDEFINED */ /*!50013 DEFINER=… */ /*!50001 VIEW `v` AS … */;),
// and the import neither executes nor parses them as statements. This tracker follows a chain
// across the comments of one statement and appends one import note per object, naming it, so
// that the user learns what the browser does not show, however the statement was split.
// Objects are named with their database (`db`.`name`), so that views of one name in several
// databases (a dump of all databases of a multi-tenant server) are each noted once.
//
// Captures are at most 64 KiB; the objects already noted are kept as 64-bit hashes, at most
// 65,536 of them (beyond that a note is no longer held back as a repeat).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <unordered_set>

#include "foundation/dump_state.h"
#include "foundation/sql_lex.h"

namespace kv {

struct Token;

struct VersionedCode {
    bool after_create = false;                 // a comment of this statement said CREATE
    std::string database;                      // the database of unqualified names (USE)
    std::unordered_set<std::uint64_t> noted;   // kind and full name of the objects noted so far
    std::unique_ptr<Token> token;              // scratch
};

// Allocates the scratch token; false when memory is short.
bool versioned_code_start(VersionedCode& code);

// A new statement begins: a CREATE of an earlier statement no longer counts.
inline void versioned_code_statement_start(VersionedCode& code) { code.after_create = false; }

// Whether the executable comment with these contents (from its "!" or "M!") belongs to the
// definition of an object: its code begins with CREATE, or an earlier comment of the statement
// said CREATE. Such code (a trigger or procedure body that sets sql_mode) is stored by the
// server, not run while the dump loads.
bool versioned_code_is_definition(const VersionedCode& code, const char* capture);

// Takes the NUL-terminated contents of one executable comment (from its "!" or "M!").
void versioned_code_capture(VersionedCode& code, DumpState& state, const char* capture,
                            EscapeMode mode);

}  // namespace kv
