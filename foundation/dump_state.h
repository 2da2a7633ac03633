// The record of one open dump and the schema model it holds.
//
// A DumpState is filled by opening the dump (cache layer), then by the import run or the
// manifest loader, and read by the record readers and the interface. It owns everything it
// points to; destroying it closes the dump handle. One user at a time: while a job runs, the
// worker is the only user (the read buffer is used without a lock).
//
// Limits: import notes text at most 65,536 bytes (the count keeps rising past that). The cache
// format bounds the schema (65,536 objects per dump, 4,096 columns per object: MAX_OBJECTS and
// MAX_COLUMNS in cache/format.h); the importer and the manifest loader keep to it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/page_buffer.h"

namespace kv {

inline constexpr std::size_t MAX_NOTES_BYTES = 65536;
inline constexpr std::size_t READ_BUFFER_SIZE = 1048576;

enum ObjectKind : std::int32_t {
    OBJECT_TABLE = 0,
    OBJECT_VIEW = 1,
    OBJECT_ROUTINE = 2,
    OBJECT_DATABASE = 3,
};

struct Column {
    std::string name;       // token text: quotes removed, doubled quote stored once
    std::string type_text;  // definition after the name, trimmed; "(Definition nicht im Dump)"
};

// One INSERT column layout: for each value of a tuple, the column number it fills.
// Its position in SchemaObject::layouts is its layout number (bits 0..30 of an entry's word).
struct ColumnLayout {
    std::vector<std::uint32_t> columns;
};

struct SchemaObject {
    std::string database_name;  // for a database object, its own name
    std::string object_name;    // "" for a database object
    std::string create_text;    // last CREATE statement naming the object, "" until one is seen
    std::vector<Column> columns;        // count = columns.size()
    std::vector<ColumnLayout> layouts;  // count = layouts.size()
    std::uint64_t entry_count = 0;      // tuples indexed = entries of its index file
    std::uint64_t tuple_bytes = 0;      // sum of those tuples' lengths
    ObjectKind kind = OBJECT_TABLE;
    // The character set declared (SET NAMES, character_set_client) where the table's first
    // tuple stands, lower case, at most REPORT_MAX_CHARSET_BYTES; "" when none was declared
    // before it. Says nothing for a table without rows.
    std::string data_charset;
};

// The tools whose dumps the import recognises by their header lines. The numbers are stored
// in the cache manifest: new tools are added at the end, before DUMP_TOOL_COUNT.
enum class DumpTool : std::uint32_t {
    unknown = 0,
    mysqldump,
    mariadb_dump,
    mysqlpump,
    phpmyadmin,
    heidisql,
    navicat,
    adminer,
    sqlyog,
    sequel_pro,
    sequel_ace,
    tableplus,
    mysql_front,
    ems_sql_manager,
    dbforge,
};
inline constexpr std::uint32_t DUMP_TOOL_COUNT = 15;

inline constexpr std::size_t REPORT_MAX_VERSION_BYTES = 256;  // tool and server version
inline constexpr std::size_t REPORT_MAX_CHARSET_BYTES = 64;

// What the import learned about the dump as a whole, for the report at the top of the import
// notes: who wrote it (from its first lines), whether it ends as that tool ends a dump (its
// last lines), the character set it declares and what it holds, counted. Kept in the cache
// manifest, so a cached open reports the same. Counters only: no cost per row.
struct DumpReport {
    DumpTool tool = DumpTool::unknown;
    std::string tool_version;    // as the header states it, "" when it names none
    std::string server_version;  // as the header states it, "" when it names none
    std::string charset;         // SET NAMES / character_set_client, "" when none is declared
    bool final_line = false;         // the tool's closing line ends the dump
    bool ends_in_statement = false;  // the last statement runs to the end without delimiter,
                                     // cut off there or only without its delimiter
    std::uint64_t create_statements = 0;
    std::uint64_t insert_statements = 0;  // INSERT and REPLACE, skipped ones too
    std::uint64_t other_statements = 0;
    std::uint64_t comment_bytes = 0;  // bytes passed over as comments, executable ones too
    // SET TIME_ZONE='+00:00' before the first INSERT (mysqldump's --tz-utc): TIMESTAMP values
    // in the tuples are UTC, and a script carrying them must say so.
    bool utc_time_zone = false;
};

struct DumpState {
    DumpState();
    ~DumpState();
    DumpState(const DumpState&) = delete;
    DumpState& operator=(const DumpState&) = delete;

    std::string dump_path;     // exactly as the user gave it; the cache key covers these bytes
    std::string cache_folder;  // cache root + "/" + 16 lower-case hex digits
    std::string import_notes;  // note lines, each ending in "\r\n"
    std::uint64_t dump_size = 0;    // at opening
    std::uint64_t dump_time = 0;    // last-write FILETIME at opening
    std::uint64_t fingerprint = 0;  // hash of the first and last 64 KiB
    std::uint64_t total_entries = 0;
    std::vector<SchemaObject> objects;  // position = object number (names its index file)
    std::uint32_t note_count = 0;       // notes raised, including those not stored
    DumpReport report;
    FileHandle dump_handle = INVALID_FILE;
    std::uint32_t loaded_from_cache = 0;
    PageBuffer read_buffer;  // READ_BUFFER_SIZE bytes, page-aligned, from the end of the open
                             // (or on first use)
    std::uint64_t read_buffer_start = 0;
    std::uint64_t read_buffer_length = 0;
};

// Resets every field (handle to INVALID_FILE, without closing an open one).
void dump_state_init(DumpState& state);
// Frees every schema object; object count and total entries become 0.
void dump_state_clear_schema(DumpState& state);
// Clears the schema, frees strings and the read buffer, closes the dump handle, zeroes.
void dump_state_destroy(DumpState& state);
// Allocates the record read window with its memory pages already mapped, so the first page
// shown pays neither for the allocation nor for the page faults of a fresh megabyte. False
// when memory is short; the readers then allocate on first use.
bool dump_state_read_buffer_prepare(DumpState& state);
// Appends one import note line ("\r\n"-terminated) unless the text would exceed 65,536 bytes
// (current + note + 4); the count rises always.
void import_note_append(DumpState& state, const char* note);

}  // namespace kv
