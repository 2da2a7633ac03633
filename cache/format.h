// The byte layout of the cache files and the limits they hold: the manifest "manifest.kvd" (one
// per dump, up to 256 MiB: 65,536 objects of 4,096 columns each, 2 MiB texts) and the entry of
// the position index files "t%06u.kvi" and the filter result files (16 bytes per tuple, billions
// of them in one file). Every integer is little-endian (cache/coding.h); the file names are in
// cache/file_names.h.
//
// The files are the same byte for byte on every platform. The manifest's magic names this
// version of every table here; a cache written under another magic is refused and imported
// again. The limits bound what an import produces and what the manifest loader accepts, so a
// loaded schema never holds more than a fresh import could.
#pragma once

#include <cstdint>
#include <cstring>

#include "cache/coding.h"
#include "foundation/sql_lex.h"

namespace kv {

// ---- Limits ----------------------------------------------------------------------------------

inline constexpr std::uint32_t MAX_OBJECTS = 65536;  // schema objects per dump
inline constexpr std::uint32_t MAX_COLUMNS = 4096;   // columns per object
inline constexpr std::uint32_t MAX_LAYOUTS = 65536;  // INSERT column layouts per table
// A tuple's length must fit the entry's 32-bit length field.
inline constexpr std::uint64_t MAX_TUPLE_LENGTH = 0xFFFFFFFFu;
// Entries per index file, exclusive: 16 times the count stays within 64 bits.
inline constexpr std::uint64_t INDEX_ENTRIES_LIMIT = std::uint64_t{1} << 60;
inline constexpr std::uint64_t MANIFEST_MAX_FILE_SIZE = 268435456;
inline constexpr std::uint32_t MANIFEST_MAX_NAME_BYTES = 8192;   // database, object, column
inline constexpr std::uint32_t MANIFEST_MAX_TEXT_BYTES = 2097152;  // CREATE text, column type
// The import notes are bounded by MAX_NOTES_BYTES (foundation/dump_state.h, which keeps them).

// ---- Manifest --------------------------------------------------------------------------------
//
// A string is a u32 byte count followed by that many bytes, none of them NUL.
//
// Header, 52 bytes:
//   offset  size  field          loaded only when
//        0    12  magic          "KVDUMPIDX07" and a NUL byte
//       12     8  dump_size      equal to the opened dump's size
//       20     8  dump_time      equal to its last-write time
//       28     8  fingerprint    equal to the hash of its first and last 64 KiB
//       36     8  total_entries  the sum of the objects' entry_count
//       44     4  object_count   at most MAX_OBJECTS
//       48     4  note_count     (notes raised, also those not stored)
//
// Body, right after the header:
//   import_notes   string, at most MAX_NOTES_BYTES
//   object_count object records, in object number order:
//     database_name  string, at most MANIFEST_MAX_NAME_BYTES
//     object_name    string, at most MANIFEST_MAX_NAME_BYTES
//     create_text    string, at most MANIFEST_MAX_TEXT_BYTES
//     kind           u32, OBJECT_TABLE .. OBJECT_DATABASE
//     entry_count    u64, at most the dump size; below INDEX_ENTRIES_LIMIT
//     tuple_bytes    u64, at most the dump size
//     column_count   u32, at most MAX_COLUMNS
//     column_count columns:
//       name         string, at most MANIFEST_MAX_NAME_BYTES
//       type_text    string, at most MANIFEST_MAX_TEXT_BYTES
//     layout_count   u32, at most MAX_LAYOUTS
//     layout_count layouts, in layout number order:
//       value_count  u32, at most column_count
//       value_count column numbers, u32 each, below column_count, no number twice
//   report (DumpReport, foundation/dump_state.h):
//     tool             u32, below DUMP_TOOL_COUNT
//     tool_version     string, at most REPORT_MAX_VERSION_BYTES
//     server_version   string, at most REPORT_MAX_VERSION_BYTES
//     charset          string, at most REPORT_MAX_CHARSET_BYTES
//     flags            u32: bit 0 final line, bit 1 ends in a statement, bit 2 UTC time
//                      zone declared before the data; no other bit
//     create_statements, insert_statements, other_statements, comment_bytes
//                      u64 each, at most the dump size
//   object_count data charsets (SchemaObject::data_charset), in object number order:
//     string, at most REPORT_MAX_CHARSET_BYTES
//
// The file ends right after the data charsets. An object with entries is a table with at
// least one layout, and its index file "t%06u.kvi" holds exactly INDEX_ENTRY_SIZE bytes per entry.

inline constexpr unsigned char MANIFEST_MAGIC[12] = {'K', 'V', 'D', 'U', 'M', 'P',
                                                     'I', 'D', 'X', '0', '7', 0};
inline constexpr std::uint64_t MANIFEST_HEADER_SIZE = 52;
static_assert(sizeof MANIFEST_MAGIC + 4 * 8 + 2 * 4 == MANIFEST_HEADER_SIZE);

// Smallest encodings in the body (strings and lists empty), by which a loader bounds a count by
// the bytes left before it reserves memory for it. An object: three string lengths, kind,
// entry_count, tuple_bytes, column_count, layout_count, and its data charset's length.
inline constexpr std::uint64_t MANIFEST_MIN_OBJECT_BYTES = 3 * 4 + 4 + 8 + 8 + 4 + 4 + 4;
inline constexpr std::uint64_t MANIFEST_MIN_COLUMN_BYTES = 2 * 4;
inline constexpr std::uint64_t MANIFEST_MIN_LAYOUT_BYTES = 4;
inline constexpr std::uint64_t MANIFEST_COLUMN_NUMBER_BYTES = 4;
inline constexpr std::uint32_t MANIFEST_REPORT_FLAGS = 7;

struct ManifestHeader {
    std::uint64_t dump_size = 0;
    std::uint64_t dump_time = 0;
    std::uint64_t fingerprint = 0;
    std::uint64_t total_entries = 0;
    std::uint32_t object_count = 0;
    std::uint32_t note_count = 0;
};

inline void manifest_header_encode(const ManifestHeader& header,
                                   unsigned char out[MANIFEST_HEADER_SIZE]) {
    std::memcpy(out, MANIFEST_MAGIC, sizeof MANIFEST_MAGIC);
    coding_put_le(out + 12, header.dump_size);
    coding_put_le(out + 20, header.dump_time);
    coding_put_le(out + 28, header.fingerprint);
    coding_put_le(out + 36, header.total_entries);
    coding_put_le(out + 44, header.object_count);
    coding_put_le(out + 48, header.note_count);
}

// False when the bytes do not start with the magic (header then unchanged). Checks no field:
// what a loader accepts is in the table above.
inline bool manifest_header_decode(const unsigned char in[MANIFEST_HEADER_SIZE],
                                   ManifestHeader& header) {
    if (std::memcmp(in, MANIFEST_MAGIC, sizeof MANIFEST_MAGIC) != 0) return false;
    header.dump_size = coding_get_le<std::uint64_t>(in + 12);
    header.dump_time = coding_get_le<std::uint64_t>(in + 20);
    header.fingerprint = coding_get_le<std::uint64_t>(in + 28);
    header.total_entries = coding_get_le<std::uint64_t>(in + 36);
    header.object_count = coding_get_le<std::uint32_t>(in + 44);
    header.note_count = coding_get_le<std::uint32_t>(in + 48);
    return true;
}

// ---- Position index entry --------------------------------------------------------------------
//
// Index files and filter result files are flat arrays of entries with no header: entry i, the
// table's row i (or the filter's hit i), is at byte INDEX_ENTRY_SIZE * i.
//
//   offset  size  field
//        0     8  offset       dump offset of the tuple's '('
//        8     4  length       bytes from '(' through the matching ')', at most MAX_TUPLE_LENGTH
//       12     4  layout_word  bits 0..26: layout number of the object's layouts;
//                              bit 27: the statement named its columns;
//                              bits 28..29: its verb (InsertVerb);
//                              bit 30: ANSI_QUOTES was in force for the statement;
//                              bit 31: the tuple was scanned under NO_BACKSLASH_ESCAPES
//
// Bits 27..31 describe the statement and session a tuple was written in, so that it can be
// written out again under the same settings without looking anything up per row.

inline constexpr std::uint32_t INDEX_ENTRY_SIZE = 16;
inline constexpr std::uint32_t LAYOUT_NO_BACKSLASH = 0x80000000u;
inline constexpr std::uint32_t LAYOUT_ANSI_QUOTES = 0x40000000u;
inline constexpr std::uint32_t LAYOUT_VERB_SHIFT = 28;
inline constexpr std::uint32_t LAYOUT_VERB_MASK = 0x30000000u;
inline constexpr std::uint32_t LAYOUT_COLUMN_LIST = 0x08000000u;
inline constexpr std::uint32_t LAYOUT_NUMBER_MASK = 0x07FFFFFFu;
static_assert(MAX_LAYOUTS - 1 <= LAYOUT_NUMBER_MASK);

// The verb of the statement a tuple came in (bits 28..29 of its layout word).
enum class InsertVerb : std::uint32_t {
    insert = 0,
    replace = 1,
    insert_ignore = 2,
};

inline InsertVerb layout_verb(std::uint32_t layout_word) {
    return static_cast<InsertVerb>((layout_word & LAYOUT_VERB_MASK) >> LAYOUT_VERB_SHIFT);
}

struct IndexEntry {
    std::uint64_t offset = 0;
    std::uint32_t length = 0;
    std::uint32_t layout_word = 0;
};

// The layout word of a tuple of layout number layout scanned in mode, with the statement's
// bits (LAYOUT_COLUMN_LIST, the verb, LAYOUT_ANSI_QUOTES), and back.
inline std::uint32_t layout_word_make(std::uint32_t layout, EscapeMode mode,
                                      std::uint32_t statement_bits = 0) {
    return layout | statement_bits |
           (mode == EscapeMode::no_backslash ? LAYOUT_NO_BACKSLASH : 0u);
}
inline EscapeMode layout_escape_mode(std::uint32_t layout_word) {
    return escape_mode_of((layout_word & LAYOUT_NO_BACKSLASH) != 0);
}

inline void index_entry_encode(const IndexEntry& entry, unsigned char out[INDEX_ENTRY_SIZE]) {
    coding_put_le(out, entry.offset);
    coding_put_le(out + 8, entry.length);
    coding_put_le(out + 12, entry.layout_word);
}

inline IndexEntry index_entry_decode(const unsigned char in[INDEX_ENTRY_SIZE]) {
    IndexEntry entry;
    entry.offset = coding_get_le<std::uint64_t>(in);
    entry.length = coding_get_le<std::uint32_t>(in + 8);
    entry.layout_word = coding_get_le<std::uint32_t>(in + 12);
    return entry;
}

}  // namespace kv
