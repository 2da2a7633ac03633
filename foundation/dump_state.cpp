// DumpState lifecycle and import notes.
#include "foundation/dump_state.h"

#include <cstring>

namespace kv {

DumpState::DumpState() = default;

DumpState::~DumpState() { file_close(dump_handle); }

void dump_state_init(DumpState& state) {
    state.dump_path.clear();
    state.cache_folder.clear();
    state.import_notes.clear();
    state.dump_size = state.dump_time = state.fingerprint = state.total_entries = 0;
    state.objects.clear();
    state.note_count = 0;
    state.report = DumpReport{};
    state.dump_handle = INVALID_FILE;
    state.loaded_from_cache = 0;
    state.read_buffer.reset();
    state.read_buffer_start = state.read_buffer_length = 0;
}

void dump_state_clear_schema(DumpState& state) {
    std::vector<SchemaObject>().swap(state.objects);
    state.total_entries = 0;
}

void dump_state_destroy(DumpState& state) {
    dump_state_clear_schema(state);
    file_close(state.dump_handle);
    std::string().swap(state.dump_path);
    std::string().swap(state.cache_folder);
    std::string().swap(state.import_notes);
    dump_state_init(state);
}

bool dump_state_read_buffer_prepare(DumpState& state) {
    if (!state.read_buffer) {
        state.read_buffer = page_buffer_alloc(READ_BUFFER_SIZE);
        if (!state.read_buffer) return false;
        state.read_buffer_length = 0;
    }
    std::memset(state.read_buffer.get(), 0, READ_BUFFER_SIZE);  // maps every page now
    return true;
}

void import_note_append(DumpState& state, const char* note) {
    ++state.note_count;
    std::size_t length = std::strlen(note);
    if (state.import_notes.size() + length + 4 > MAX_NOTES_BYTES) return;
    try {
        state.import_notes.reserve(state.import_notes.size() + length + 2);
        state.import_notes.append(note, length);
        state.import_notes.append("\r\n");
    } catch (...) {
        // Out of memory: the text stays as it was (the count has risen).
    }
}

}  // namespace kv
