// INSERT/REPLACE ... VALUES statements: the header (modifiers, INTO, a plain or qualified
// table name, an optional column list), the INSERT column layout of the statement, and the walk
// over its tuples that hands one 16-byte position entry per tuple to the index writer.
//
// Tuples are never decoded, copied or allocated: each costs one pass over its bytes in the
// reader's window. Limits: 4,096 columns in a list and values in a tuple, nesting depth 4,096,
// tuples below 4 GiB, 65,536 distinct layouts per table (the last two: cache/format.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "cache/format.h"
#include "cache/index_file.h"
#include "foundation/status.h"
#include "importer/chunk_scan.h"
#include "importer/dump_reader.h"
#include "importer/schema.h"
#include "importer/tuple_blocks.h"

namespace kv {

// Test-only switch, MAX_TUPLE_LENGTH in every program: the longest tuple that is indexed, so
// that tests reach the limit on every path with small tuples.
extern std::uint64_t insert_tuple_length_limit;

// The column layout of the last statement of a shape, kept so that the next statement of the
// same shape costs no look-ups: a dump written a row per statement repeats its header for
// every row (with --complete-insert, a list of up to 4,096 names).
struct LayoutMemo {
    int object = -1;                                 // none yet
    std::uint32_t count = 0;                         // values a tuple must have
    int layout = -1;                                 // its layout number, once fixed
    EscapeMode escape_mode = EscapeMode::backslash;  // lists: the mode the list was read in
    std::uint64_t columns_known = 0;                 // no list: the table's column count then
    std::string list_bytes;                          // lists: from after "(" through ")"
    std::unique_ptr<std::uint32_t[]> numbers;        // MAX_COLUMNS column numbers
};

// The last INSERT or REPLACE as the anchor of a run of whole statements (chunk_scan.h), with
// what each statement of such a run is indexed under.
struct StatementMemo {
    StatementAnchor anchor;
    std::uint32_t object = 0;
    std::uint32_t layout_word = 0;
    bool replace = false;
};

// Working memory of the INSERT handler, allocated once per import run and reused by every
// statement, so that statements of any count cost no allocation of their own.
struct InsertScratch {
    Token token;
    std::string database;
    std::string table;
    std::uint64_t listed[MAX_COLUMNS / 64] = {};    // columns named by the current list
    int last_object = -1;                           // object of the previous statement
    ObjectLookup* lookup = nullptr;                 // optional, see schema.h
    ChunkScan* chunks = nullptr;                    // helper threads, if any (chunk_scan.h)
    LayoutMemo with_list;                           // the last column list read
    LayoutMemo without_list;                        // the last statement without a list
    StatementMemo last_statement;
};

// Allocates the scratch buffers; fails only when memory is short.
Status insert_scratch_start(InsertScratch& scratch, ObjectLookup* lookup);

// Forgets the remembered layouts: called when a CREATE statement may have changed columns.
void insert_scratch_schema_changed(InsertScratch& scratch);

// The layout number of (count, numbers) in the object's layout list, added when new, into
// layout. Fails at 65,536 layouts and when memory runs out.
Status layout_find_or_add(DumpState& state, std::uint32_t object, const std::uint32_t* numbers,
                          std::uint32_t count, std::uint32_t& layout);

// Handles one INSERT/REPLACE statement; the reader stands just after the keyword (is_replace
// tells which). Success to go on after it; otherwise the failure that ends the import: the
// statement's own (a header cut short, a limit), which stands over a failure the reader met
// inside it, or the reader's status. A statement whose value counts do not fit (the table's
// columns, its column list, its first tuple) is no failure: it indexes nothing, is passed
// over up to its delimiter and leaves a note. Nor is a statement that the end of the dump cuts
// short (reader_at_cut), wherever it stands: its complete tuples stay indexed, the one begun is
// not, and a note names the statement's table and statement_start, the byte of its keyword.
Status insert_statement(DumpReader& reader, IndexWriter& writer, bool is_replace,
                        std::string_view current_database, InsertScratch& scratch,
                        std::uint64_t statement_start);

// At the keyword of an INSERT or REPLACE at statement_start: takes the run of whole statements
// that helper threads scanned from there (chunk_scan.h), when the statement scanned before it
// anchors that run. taken receives the statements taken; with 0 the caller scans the
// statement itself (insert_statement). Otherwise the reader stands after the last one's ';',
// each indexed, noted and counted as insert_statement would have done. A failure is the one
// insert_statement would have met (an index write), or the reader's status.
Status insert_statement_run(DumpReader& reader, IndexWriter& writer, InsertScratch& scratch,
                            std::uint64_t statement_start, std::uint32_t& taken);

}  // namespace kv
