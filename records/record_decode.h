// Reading one tuple back from the dump by its position index entry and splitting it into one
// value per table column.
//
// The cache holds no row data; every page, filter and export reads its tuples from the dump
// again. Tuples of up to 1 MiB come from the dump state's 1 MiB read window, so a walk in dump
// order costs about one read per megabyte; larger tuples (up to 64 MiB) are read in one piece
// and never pass through the window. A table has up to 4,096 columns. Runs on the worker
// thread only: the read window and the position of the dump handle belong to the DumpState
// and are used without locks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "foundation/status.h"
#include "records/value.h"

namespace kv {

inline constexpr std::uint64_t MAX_DECODED_TUPLE = 67108864;  // 64 MiB, inclusive
// A record passed in again keeps its storage for the next row up to about this size.
inline constexpr std::size_t RECORD_KEEP_BYTES = 4194304;

// One tuple read back. values has one entry per table column in column order (columns the
// tuple's INSERT did not name are VALUE_NOT_IN_INSERT); tuple is an exact copy of the bytes
// from "(" through ")". Owns everything; empty after record_release or a failed decode.
struct DecodedRecord {
    std::vector<Value> values;
    std::string tuple;
    // Per column of binary_for: 1 when its type is binary (text values become hex). Filled
    // by record_decode on the first row of a table and reused for the next rows.
    std::vector<std::uint8_t> binary_column;
    const SchemaObject* binary_for = nullptr;
    std::uint32_t value_count() const { return static_cast<std::uint32_t>(values.size()); }
    std::uint64_t tuple_length() const { return tuple.size(); }
};

// Reads and decodes the tuple of entry for object number table. Fails, with out empty, when the entry does not fit the table or the dump, the
// tuple is above 64 MiB, cannot be read, or does not match its column layout. The read window
// may hold a new part of the dump afterwards. A record passed in again is emptied first, and
// its storage is reused (callers walking a table keep one record and need not release it
// between rows).
Status record_decode(DumpState& state, std::uint32_t table, const IndexEntry& entry,
                     DecodedRecord& out);

// The raw bytes of the tuple of entry, "(" through ")", inside the dump state's read window,
// without decoding: for scans that look at most tuples only as bytes (the filter's raw test).
// Null when the entry does not fit the table or the dump, the tuple is larger than the window,
// cannot be read, or does not start with "(" and end with ")": record_decode then gives the
// reason. The bytes stay valid until the next read through the window (the next call of
// either function).
const unsigned char* record_tuple_view(DumpState& state, std::uint32_t table,
                                       const IndexEntry& entry);

// A helper thread's own way into the open dump, for scans that test rows on several threads: a
// second handle read with positional reads (it never moves the position of the state's handle)
// and a 1 MiB read window of its own. The state itself is only read through it (schema, size).
struct TupleReader {
    FileGuard file;
    PageBuffer buffer;
    std::uint64_t start = 0;   // dump position of buffer[0]
    std::uint64_t length = 0;  // bytes held
};

// Opens reader on the dump of state; false when the system refuses a handle or memory is short.
bool tuple_reader_open(const DumpState& state, TupleReader& reader);
// record_decode and record_tuple_view through a helper's reader instead of the state's window.
Status record_decode_with(const DumpState& state, TupleReader& reader, std::uint32_t table,
                          const IndexEntry& entry, DecodedRecord& out);
const unsigned char* record_tuple_view_with(const DumpState& state, TupleReader& reader,
                                            std::uint32_t table, const IndexEntry& entry);

// Frees the values and the tuple copy; safe on an empty record.
void record_release(DecodedRecord& record);

// Checks that the open dump still has the size and last-write time it was opened with.
// Otherwise it empties the read window and fails ("Der Index passt nicht mehr zum Dump. ...").
// Jobs that read tuples call it once before they start: on POSIX nothing keeps another
// program from rewriting the open dump.
Status dump_check_unchanged(DumpState& state);

}  // namespace kv
