// Tuple reader: entry validation, the 1 MiB read window and the split into values
// (see record_decode.h).
#include "records/record_decode.h"

#include <cstring>
#include <new>
#include <string_view>

#include "foundation/sql_lex.h"

namespace kv {

namespace {

constexpr const char* MSG_BAD_TABLE = "Ungültige Tabelle.";
constexpr const char* MSG_STALE_ENTRY =
    "Ungültiger oder veralteter Positionsindex. Cache neu aufbauen.";
constexpr const char* MSG_TOO_LARGE =
    "Dieser einzelne Datensatz ist größer als 64 MiB. Er ist indexiert, kann aber nur als "
    "SQL-Rohtupel gespeichert werden; Vorschau, Filter und CSV stoppen hier.";
constexpr const char* MSG_NO_MEMORY_TUPLE = "Nicht genügend Arbeitsspeicher für den Datensatz.";
constexpr const char* MSG_READ_FAILED =
    "Datensatz konnte nicht aus der Originaldatei gelesen werden.";
constexpr const char* MSG_INDEX_MISMATCH =
    "Der Index passt nicht mehr zum Dump. Cache neu aufbauen.";
constexpr const char* MSG_NO_MEMORY = "Nicht genügend Arbeitsspeicher.";
constexpr const char* MSG_BAD_FIELD = "Ein Feld konnte nicht sicher dekodiert werden.";
constexpr const char* MSG_LAYOUT_MISMATCH = "Cache-Spaltenlayout passt nicht zum Datensatz.";

bool fail(DumpState& state, DecodedRecord& out, const char* text) {
    dump_state_fail(state, text);
    record_release(out);
    return false;
}

bool window_holds(const DumpState& state, std::uint64_t offset, std::uint64_t length) {
    return state.read_buffer_length != 0 && offset >= state.read_buffer_start &&
           offset + length <= state.read_buffer_start + state.read_buffer_length;
}

// Makes the read window hold [offset, offset + length) (length at most READ_BUFFER_SIZE),
// refilling it from offset when it does not. Null when the bytes cannot be read.
const unsigned char* window_bytes(DumpState& state, std::uint64_t offset, std::uint64_t length) {
    if (!state.read_buffer) {
        state.read_buffer = page_buffer_alloc(READ_BUFFER_SIZE);
        if (!state.read_buffer) return nullptr;
        state.read_buffer_length = 0;
    }
    if (!window_holds(state, offset, length)) {
        state.read_buffer_start = offset;
        state.read_buffer_length = 0;
        if (file_seek_to(state.dump_handle, offset)) {
            // One read normally fills the window; further reads only cover a short read
            // that ended inside the tuple.
            std::size_t filled = file_read_some(state.dump_handle, state.read_buffer.get(),
                                                READ_BUFFER_SIZE);
            if (filled != 0 && filled < length) {
                filled += file_read_full(state.dump_handle, state.read_buffer.get() + filled,
                                         length - filled);
            }
            state.read_buffer_length = filled;
        }
        if (!window_holds(state, offset, length)) return nullptr;
    }
    return state.read_buffer.get() + (offset - state.read_buffer_start);
}

// Copies the tuple into out (already sized to length). Small tuples come through the read
// window; larger ones are read in one piece.
bool read_tuple(DumpState& state, std::uint64_t offset, std::uint64_t length,
                unsigned char* out) {
    if (length > READ_BUFFER_SIZE) {
        if (!file_seek_to(state.dump_handle, offset)) return false;
        return file_read_full(state.dump_handle, out, length) == length;
    }
    const unsigned char* bytes = window_bytes(state, offset, length);
    if (bytes == nullptr) return false;
    std::memcpy(out, bytes, length);
    return true;
}

// The checks of an entry against its table and the dump that need no bytes of the tuple.
bool entry_fits(const DumpState& state, const SchemaObject& object, const IndexEntry& entry) {
    const std::uint32_t layout_number = entry.layout_word & LAYOUT_NUMBER_MASK;
    return layout_number < object.layouts.size() && entry.offset <= state.dump_size &&
           entry.length >= 2 && state.dump_size - entry.offset >= entry.length;
}

}  // namespace

bool record_decode(DumpState& state, std::uint32_t table, const IndexEntry& entry,
                   DecodedRecord& out) {
    // Storage is kept from row to row, unless an earlier row left large buffers behind.
    if (out.tuple.capacity() > RECORD_KEEP_BYTES) record_release(out);
    out.tuple.clear();

    if (table >= state.objects.size()) return fail(state, out, MSG_BAD_TABLE);
    const SchemaObject& object = state.objects[table];
    if (out.binary_for != &object || out.binary_column.size() != object.columns.size()) {
        try {
            out.binary_column.resize(object.columns.size());
        } catch (const std::bad_alloc&) {
            return fail(state, out, MSG_NO_MEMORY);
        }
        for (std::size_t c = 0; c < object.columns.size(); ++c) {
            out.binary_column[c] = binary_type_test(object.columns[c].type_text) ? 1 : 0;
        }
        out.binary_for = &object;
    }

    const std::uint32_t layout_number = entry.layout_word & LAYOUT_NUMBER_MASK;
    const std::uint64_t offset = entry.offset;
    const std::uint64_t length = entry.length;
    if (!entry_fits(state, object, entry)) return fail(state, out, MSG_STALE_ENTRY);
    if (length > MAX_DECODED_TUPLE) return fail(state, out, MSG_TOO_LARGE);

    try {
        out.tuple.resize(length);
    } catch (const std::bad_alloc&) {
        return fail(state, out, MSG_NO_MEMORY_TUPLE);
    }
    unsigned char* tuple = reinterpret_cast<unsigned char*>(out.tuple.data());
    if (!read_tuple(state, offset, length, tuple)) return fail(state, out, MSG_READ_FAILED);
    if (tuple[0] != '(' || tuple[length - 1] != ')') return fail(state, out, MSG_INDEX_MISMATCH);

    const std::size_t column_count = object.columns.size();
    try {
        out.values.resize(column_count);
    } catch (const std::bad_alloc&) {
        return fail(state, out, MSG_NO_MEMORY);
    }
    for (Value& value : out.values) {
        value.kind = VALUE_NOT_IN_INSERT;
        value.text.clear();
    }

    const ColumnLayout& layout = object.layouts[layout_number];
    const EscapeMode mode = layout_escape_mode(entry.layout_word);
    if (layout.columns.empty()) {
        // A layout without values belongs to an empty tuple "()"; anything else inside means
        // the layout does not describe this tuple.
        if (span_skip_blanks(tuple, length - 1, 1, mode) != length - 1) {
            return fail(state, out, MSG_LAYOUT_MISMATCH);
        }
        return true;
    }

    const std::size_t value_total = layout.columns.size();
    std::uint64_t p = 1;
    for (std::size_t j = 0; j < value_total; ++j) {
        const std::uint32_t c = layout.columns[j];
        if (c >= column_count) return fail(state, out, MSG_BAD_FIELD);
        Value& value = out.values[c];
        std::uint64_t k = value_decode_plain(tuple, length, p, mode, value);
        if (k >= length) {
            k = value_find_end(tuple, length, p, mode);
            if (k >= length) return fail(state, out, MSG_BAD_FIELD);
            const std::string_view source(out.tuple.data() + p, k - p);
            if (!value_decode(source, mode, value)) return fail(state, out, MSG_BAD_FIELD);
        }
        if (value.kind == VALUE_TEXT && out.binary_column[c] != 0) {
            std::string hex;
            if (!hex_encode(value.text, hex)) return fail(state, out, MSG_NO_MEMORY);
            value.text.swap(hex);
            value.kind = VALUE_BINARY;
        }
        const bool last = j + 1 == value_total;
        if (tuple[k] != (last ? ')' : ',')) return fail(state, out, MSG_LAYOUT_MISMATCH);
        // The tuple's own ")" must close the last value; an earlier one means the entry's
        // length no longer matches the tuple in the dump.
        if (last && k != length - 1) return fail(state, out, MSG_INDEX_MISMATCH);
        p = k + 1;
    }
    // Values keep their buffers for the next row only while all of them together stay small:
    // a table of 4,096 columns must not keep a large value of every column.
    std::size_t kept = 0;
    for (const Value& value : out.values) kept += value.text.capacity();
    if (kept > RECORD_KEEP_BYTES) {
        for (Value& value : out.values) {
            if (value.text.capacity() > 64) value.text.shrink_to_fit();
        }
    }
    return true;
}

const unsigned char* record_tuple_view(DumpState& state, std::uint32_t table,
                                       const IndexEntry& entry) {
    if (table >= state.objects.size() || !entry_fits(state, state.objects[table], entry) ||
        entry.length > READ_BUFFER_SIZE) {
        return nullptr;
    }
    const unsigned char* tuple = window_bytes(state, entry.offset, entry.length);
    if (tuple == nullptr || tuple[0] != '(' || tuple[entry.length - 1] != ')') return nullptr;
    return tuple;
}

void record_release(DecodedRecord& record) {
    std::vector<Value>().swap(record.values);
    std::string().swap(record.tuple);
    std::vector<std::uint8_t>().swap(record.binary_column);
    record.binary_for = nullptr;
}

bool dump_check_unchanged(DumpState& state) {
    if (file_get_size(state.dump_handle) == state.dump_size &&
        file_get_mtime(state.dump_handle) == state.dump_time) {
        return true;
    }
    state.read_buffer_length = 0;
    dump_state_fail(state, MSG_INDEX_MISMATCH);
    return false;
}

}  // namespace kv
