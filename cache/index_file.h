// Position index files: one 16-byte entry per VALUES tuple in dump order, no header (the layout
// is in cache/format.h). Row i of a table is at byte 16 * i, so a page of any row costs one seek
// and one read. Filter result files use the same format.
//
// The import writes through one IndexWriter: a 64 KiB buffer of 4,096 pending entries and at
// most one open file. Tables of billions of rows give index files of tens of gigabytes; nothing
// here holds more than one 64 KiB block.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cache/format.h"
#include "foundation/dump_state.h"
#include "foundation/status.h"

namespace kv {

inline constexpr std::uint32_t INDEX_BATCH_ENTRIES = 4096;  // 65,536 bytes

// Writer state of one import. Owned by the import run.
struct IndexWriter {
    FileHandle file = INVALID_FILE;
    std::uint32_t current_object = 0;
    std::unique_ptr<unsigned char[]> buffer;  // INDEX_BATCH_ENTRIES * 16 bytes
    std::uint64_t pending = 0;
    std::uint64_t batches_written = 0;  // full or partial batches written so far
    std::vector<std::uint32_t> written_objects;  // every object whose file this import wrote
    // One bit per object number (MAX_OBJECTS bits): set once its number is in written_objects,
    // so each file is listed, and flushed by index_finish, exactly once.
    std::vector<std::uint64_t> written_mask;
    IndexWriter() = default;
    IndexWriter(const IndexWriter&) = delete;
    IndexWriter& operator=(const IndexWriter&) = delete;
    ~IndexWriter();
};

// Allocates the buffer and resets the writer; fails only when memory is short.
Status index_writer_start(IndexWriter& writer);
// Appends one entry for object; reads the object's current entry count from state (create
// mode for the first entry, append mode after). Called before the caller raises the counts.
Status index_append(const DumpState& state, IndexWriter& writer, std::uint32_t object,
                    const IndexEntry& entry);
// Takes back the last entries of object, the one the writer took entries for last, so that
// keep of them remain (the caller lowers the object's counts afterwards; state still holds
// the count before). Pending entries are dropped; entries already written are cut off the
// file, and the next entry continues right after the kept ones. Fails as "the cache cannot be
// written" when the file cannot be cut, or when object is not the one the writer is on.
Status index_take_back(const DumpState& state, IndexWriter& writer, std::uint32_t object,
                       std::uint64_t keep);
// Regular end of an import: writes pending entries, then flushes every index file this import
// wrote (one flush each) and closes it. A write that fails, a written file that cannot be
// reopened for its flush and a failed flush all fail as "the cache cannot be written".
Status index_finish(const DumpState& state, IndexWriter& writer);
// Stop after an error or cancellation: closes the open file without writing pending entries.
void index_abandon(IndexWriter& writer);

// Reads count entries starting at entry first from an open index or filter result file.
// False when fewer bytes than 16 * count arrive (the caller picks its message).
bool index_read(FileHandle file, std::uint64_t first, std::uint32_t count, IndexEntry* out);

}  // namespace kv
