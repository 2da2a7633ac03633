// Position index writer and reader (see index_file.h).
//
// The import appends one 16-byte entry per tuple, billions of them for a large dump, so the hot
// path is a copy into a fixed 64 KiB buffer; the file is written in 65,536-byte blocks and
// reopened only when the tuples switch to another object. Every file this import wrote is
// flushed once at the end, so a manifest written afterwards never describes index contents that
// are still in the operating system's cache.
#include "cache/index_file.h"

#include <new>

#include "cache/file_names.h"

namespace kv {

namespace {

constexpr std::size_t MASK_WORDS = MAX_OBJECTS / 64;

Status write_failed() { return status_fail(StatusKind::input_output, Msg::cache_write_failed); }
Status create_failed() { return status_fail(StatusKind::input_output, Msg::index_create_failed); }

// Writes the pending entries to the open file; pending is 0 afterwards only on success.
Status write_pending(IndexWriter& writer) {
    if (writer.pending == 0) return {};
    if (writer.file == INVALID_FILE ||
        !file_write_all(writer.file, writer.buffer.get(),
                        static_cast<std::size_t>(writer.pending) * INDEX_ENTRY_SIZE)) {
        return write_failed();
    }
    writer.pending = 0;
    // Every 4 MiB, the index data goes on its way to the disk while the scan goes on, so the
    // flush at the end of the import finds little left to write.
    if (++writer.batches_written % 64 == 0) file_start_writeback(writer.file);
    return {};
}

// Records object as written by this import, once. False only when memory runs out.
bool remember_object(IndexWriter& writer, std::uint32_t object) {
    std::uint64_t bit = std::uint64_t{1} << (object % 64);
    std::uint64_t& word = writer.written_mask[object / 64];
    if ((word & bit) != 0) return true;
    try {
        writer.written_objects.push_back(object);
    } catch (const std::bad_alloc&) {
        return false;
    }
    word |= bit;
    return true;
}

// Closes the open file (no flush: index_finish flushes every written file once).
Status switch_to(const DumpState& state, IndexWriter& writer, std::uint32_t object) {
    if (Status written = write_pending(writer); !written.ok()) return written;
    writer.pending = 0;
    file_close(writer.file);
    writer.file = INVALID_FILE;

    std::string path;
    try {
        path = cache_index_path(state, object);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    // Continue a file this import already filled; the first entry truncates what an earlier
    // import left behind.
    bool has_entries = state.objects[object].entry_count > 0;
    writer.file = file_open(path, has_entries ? FILE_MODE_APPEND : FILE_MODE_CREATE);
    writer.current_object = object;
    if (writer.file == INVALID_FILE) return create_failed();
    if (!remember_object(writer, object)) return status_out_of_memory();
    return {};
}

}  // namespace

IndexWriter::~IndexWriter() { file_close(file); }

Status index_writer_start(IndexWriter& writer) {
    file_close(writer.file);
    writer.file = INVALID_FILE;
    writer.current_object = 0;
    writer.pending = 0;
    writer.written_objects.clear();
    writer.buffer.reset(new (std::nothrow)
                            unsigned char[std::size_t{INDEX_BATCH_ENTRIES} * INDEX_ENTRY_SIZE]);
    try {
        writer.written_mask.assign(MASK_WORDS, 0);
    } catch (const std::bad_alloc&) {
        writer.buffer.reset();
    }
    if (!writer.buffer) return status_out_of_memory();
    return {};
}

Status index_append(const DumpState& state, IndexWriter& writer, std::uint32_t object,
                    const IndexEntry& entry) {
    if (!writer.buffer || object >= state.objects.size() || object >= MAX_OBJECTS) {
        return create_failed();
    }
    if (writer.file == INVALID_FILE || object != writer.current_object) {
        if (Status switched = switch_to(state, writer, object); !switched.ok()) return switched;
    }
    index_entry_encode(entry, writer.buffer.get() + writer.pending * INDEX_ENTRY_SIZE);
    if (++writer.pending == INDEX_BATCH_ENTRIES) return write_pending(writer);
    return {};
}

Status index_take_back(const DumpState& state, IndexWriter& writer, std::uint32_t object,
                       std::uint64_t keep) {
    if (object >= state.objects.size()) return write_failed();
    const std::uint64_t count = state.objects[object].entry_count;
    if (keep >= count) return {};
    if (writer.file == INVALID_FILE || writer.current_object != object) return write_failed();
    const std::uint64_t drop = count - keep;
    if (drop <= writer.pending) {
        writer.pending -= drop;
        return {};
    }
    // Everything pending belongs to the entries taken back; the rest is in the file.
    writer.pending = 0;
    if (keep > UINT64_MAX / INDEX_ENTRY_SIZE ||
        !file_truncate(writer.file, keep * INDEX_ENTRY_SIZE)) {
        return write_failed();
    }
    return {};
}

Status index_finish(const DumpState& state, IndexWriter& writer) {
    if (Status written = write_pending(writer); !written.ok()) return written;
    writer.pending = 0;
    bool ok = true;
    for (std::uint32_t object : writer.written_objects) {
        if (writer.file != INVALID_FILE && object == writer.current_object) {
            if (!file_flush(writer.file)) ok = false;
            continue;
        }
        // Files switched away from were closed unflushed; a fresh handle flushes the file's
        // data all the same.
        FileGuard file;
        try {
            file.reset(file_open(cache_index_path(state, object), FILE_MODE_APPEND));
        } catch (const std::bad_alloc&) {
        }
        if (!file.valid() || !file_flush(file.get())) ok = false;
    }
    file_close(writer.file);
    writer.file = INVALID_FILE;
    writer.buffer.reset();
    return ok ? Status{} : write_failed();
}

void index_abandon(IndexWriter& writer) {
    file_close(writer.file);
    writer.file = INVALID_FILE;
    writer.pending = 0;
    writer.buffer.reset();
}

bool index_read(FileHandle file, std::uint64_t first, std::uint32_t count, IndexEntry* out) {
    if (file == INVALID_FILE || first > UINT64_MAX / INDEX_ENTRY_SIZE) return false;
    if (!file_seek_to(file, first * INDEX_ENTRY_SIZE)) return false;
    constexpr std::size_t CHUNK_ENTRIES = 256;
    unsigned char chunk[CHUNK_ENTRIES * INDEX_ENTRY_SIZE];
    std::uint32_t done = 0;
    while (done < count) {
        std::size_t want = count - done < CHUNK_ENTRIES ? count - done : CHUNK_ENTRIES;
        std::size_t bytes = want * INDEX_ENTRY_SIZE;
        if (file_read_full(file, chunk, bytes) != bytes) return false;
        for (std::size_t i = 0; i < want; ++i) {
            out[done + i] = index_entry_decode(chunk + i * INDEX_ENTRY_SIZE);
        }
        done += static_cast<std::uint32_t>(want);
    }
    return true;
}

}  // namespace kv
