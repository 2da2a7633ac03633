// Raw tuple save (see tuple_save.h).
#include "records/tuple_save.h"

#include <memory>
#include <new>

#include "records/csv_export.h"

namespace kv {

namespace {

constexpr const char* MSG_ORIGINAL = "Die Originaldatei darf nicht überschrieben werden.";
constexpr const char* MSG_BAD_POSITION = "Ungültige Datensatzposition.";
constexpr const char* MSG_NO_MEMORY = "Nicht genügend Arbeitsspeicher.";
constexpr const char* MSG_TARGET = "Zieldatei kann nicht geöffnet werden.";
constexpr const char* MSG_CANCELLED = "Vorgang abgebrochen.";
constexpr const char* MSG_NOT_SAVED = "SQL-Rohtupel konnte nicht gespeichert werden.";
constexpr const char* LABEL_SAVE = "SQL-Rohtupel speichern";

// Copies the tuple into the open temporary file and flushes it. False on any failure; only a
// cancellation leaves a message of its own.
bool copy_tuple(DumpState& state, const IndexEntry& entry, FileHandle out,
                const ProgressSink* sink) {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[TUPLE_COPY_BUFFER]);
    if (!buffer || !file_seek_to(state.dump_handle, entry.offset)) return false;
    std::uint64_t copied = 0;
    std::uint64_t last_report = 0;
    bool reported = false;
    while (copied < entry.length) {
        const std::uint64_t now = clock_ms();
        if (!reported || now - last_report >= 100) {
            reported = true;
            last_report = now;
            if (!progress_report(sink, copied, entry.length, 0, LABEL_SAVE)) {
                dump_state_fail(state, MSG_CANCELLED);
                return false;
            }
        }
        const auto chunk = static_cast<std::size_t>(
            entry.length - copied < TUPLE_COPY_BUFFER ? entry.length - copied
                                                      : TUPLE_COPY_BUFFER);
        if (file_read_full(state.dump_handle, buffer.get(), chunk) != chunk) return false;
        if (!file_write_all(out, buffer.get(), chunk)) return false;
        copied += chunk;
    }
    return file_flush(out);
}

}  // namespace

bool tuple_save(DumpState& state, const IndexEntry& entry, const std::string& destination,
                const ProgressSink* sink) {
    state.message[0] = '\0';
    // On POSIX the final rename would replace the dump under any of its names.
    if (output_names_source(state, destination, std::string())) {
        dump_state_fail(state, MSG_ORIGINAL);
        return false;
    }
    if (!output_outside_cache_folder(state, destination)) return false;
    if (entry.offset > state.dump_size || state.dump_size - entry.offset < entry.length) {
        dump_state_fail(state, MSG_BAD_POSITION);
        return false;
    }
    std::string part;
    try {
        part = output_part_path(destination);
    } catch (const std::bad_alloc&) {
        dump_state_fail(state, MSG_NO_MEMORY);
        return false;
    }
    bool ok;
    {
        FileGuard out(file_open(part, FILE_MODE_CREATE));
        if (!out.valid()) {
            dump_state_fail(state, MSG_TARGET);
            return false;
        }
        ok = copy_tuple(state, entry, out.get(), sink);
    }  // closed before the move
    ok = ok && file_replace(part, destination);
    if (!ok) {
        file_remove(part);
        if (state.message[0] == '\0') dump_state_fail(state, MSG_NOT_SAVED);
    }
    return ok;
}

}  // namespace kv
