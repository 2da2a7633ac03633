// Raw tuple save (see tuple_save.h).
#include "records/tuple_save.h"

#include <memory>
#include <new>

#include "records/csv_export.h"

namespace kv {

namespace {

Status not_saved() { return status_fail(StatusKind::input_output, Msg::tuple_not_saved); }

// Copies the tuple into the open temporary file and flushes it.
Status copy_tuple(DumpState& state, const IndexEntry& entry, FileHandle out,
                  const ProgressSink* sink) {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[TUPLE_COPY_BUFFER]);
    if (!buffer) return status_out_of_memory();
    if (!file_seek_to(state.dump_handle, entry.offset)) return not_saved();
    std::uint64_t copied = 0;
    std::uint64_t last_report = 0;
    bool reported = false;
    while (copied < entry.length) {
        const std::uint64_t now = clock_ms();
        if (!reported || now - last_report >= 100) {
            reported = true;
            last_report = now;
            if (!progress_report(sink, copied, entry.length, 0, msg_text(Msg::progress_tuple))) {
                return status_cancelled();
            }
        }
        const auto chunk = static_cast<std::size_t>(
            entry.length - copied < TUPLE_COPY_BUFFER ? entry.length - copied
                                                      : TUPLE_COPY_BUFFER);
        if (file_read_full(state.dump_handle, buffer.get(), chunk) != chunk ||
            !file_write_all(out, buffer.get(), chunk)) {
            return not_saved();
        }
        copied += chunk;
    }
    return file_flush(out) ? Status{} : not_saved();
}

}  // namespace

Status tuple_save(DumpState& state, const IndexEntry& entry, const std::string& destination,
                  const ProgressSink* sink) {
    // On POSIX the final rename would replace the dump under any of its names.
    if (output_names_source(state, destination, std::string())) {
        return status_fail(StatusKind::refused, Msg::original_protected);
    }
    if (Status outside = output_outside_cache_folder(state, destination); !outside.ok()) {
        return outside;
    }
    if (entry.offset > state.dump_size || state.dump_size - entry.offset < entry.length) {
        return status_fail(StatusKind::damaged_cache, Msg::bad_position);
    }
    std::string part;
    try {
        part = output_part_path(destination);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    Status copied;
    {
        FileGuard out(file_open(part, FILE_MODE_CREATE));
        if (!out.valid()) return status_fail(StatusKind::input_output, Msg::target_open_failed);
        copied = copy_tuple(state, entry, out.get(), sink);
    }  // closed before the move
    if (copied.ok() && !file_replace(part, destination)) copied = not_saved();
    if (!copied.ok()) file_remove(part);
    return copied;
}

}  // namespace kv
