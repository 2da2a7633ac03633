// Tuple reader: entry validation, the 1 MiB read window and the split into values
// (see record_decode.h).
#include "records/record_decode.h"

#include <cstring>
#include <new>
#include <string_view>

#include "foundation/sql_lex.h"

namespace kv {

namespace {

Status fail(DecodedRecord& out, StatusKind kind, Msg message) {
    record_release(out);
    return status_fail(kind, message);
}
Status out_of_memory(DecodedRecord& out) { return fail(out, StatusKind::out_of_memory, Msg::out_of_memory); }
Status stale(DecodedRecord& out) { return fail(out, StatusKind::damaged_cache, Msg::index_mismatch); }

// A read window and the handle that fills it: the state's own (read at its position) or a
// helper's reader (positional reads).
struct Window {
    FileHandle handle;
    bool positional;
    PageBuffer& buffer;
    std::uint64_t& start;
    std::uint64_t& length;
};

Window state_window(DumpState& state) {
    return {state.dump_handle, false, state.read_buffer, state.read_buffer_start,
            state.read_buffer_length};
}

Window reader_window(TupleReader& reader) {
    return {reader.file.get(), true, reader.buffer, reader.start, reader.length};
}

bool window_holds(const Window& w, std::uint64_t offset, std::uint64_t length) {
    return w.length != 0 && offset >= w.start && offset + length <= w.start + w.length;
}

// Reads count bytes at offset into out; the bytes that arrived.
std::size_t read_at(const Window& w, std::uint64_t offset, unsigned char* out, std::size_t count) {
    if (!w.positional) {
        return file_seek_to(w.handle, offset) ? file_read_full(w.handle, out, count) : 0;
    }
    std::size_t done = 0;
    while (done < count) {
        const std::size_t n = file_read_at(w.handle, offset + done, out + done, count - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}

// Makes the read window hold [offset, offset + length) (length at most READ_BUFFER_SIZE),
// refilling it from offset when it does not. Null when the bytes cannot be read.
const unsigned char* window_bytes(const Window& w, std::uint64_t offset, std::uint64_t length) {
    if (!w.buffer) {
        w.buffer = page_buffer_alloc(READ_BUFFER_SIZE);
        if (!w.buffer) return nullptr;
        w.length = 0;
    }
    if (!window_holds(w, offset, length)) {
        w.start = offset;
        w.length = 0;
        if (w.positional) {
            w.length = file_read_at(w.handle, offset, w.buffer.get(), READ_BUFFER_SIZE);
            if (w.length != 0 && w.length < length) {
                w.length += read_at(w, offset + w.length, w.buffer.get() + w.length,
                                    length - w.length);
            }
        } else if (file_seek_to(w.handle, offset)) {
            // One read normally fills the window; further reads only cover a short read
            // that ended inside the tuple.
            std::size_t filled = file_read_some(w.handle, w.buffer.get(), READ_BUFFER_SIZE);
            if (filled != 0 && filled < length) {
                filled += file_read_full(w.handle, w.buffer.get() + filled, length - filled);
            }
            w.length = filled;
        }
        if (!window_holds(w, offset, length)) return nullptr;
    }
    return w.buffer.get() + (offset - w.start);
}

// Copies the tuple into out (already sized to length). Small tuples come through the read
// window; larger ones are read in one piece.
bool read_tuple(const Window& w, std::uint64_t offset, std::uint64_t length, unsigned char* out) {
    if (length > READ_BUFFER_SIZE) return read_at(w, offset, out, length) == length;
    const unsigned char* bytes = window_bytes(w, offset, length);
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

// Fills out.binary_column for object unless out already holds it.
Status prepare_binary_columns(const SchemaObject& object, DecodedRecord& out) {
    if (out.binary_for == &object && out.binary_column.size() == object.columns.size()) return {};
    try {
        out.binary_column.resize(object.columns.size());
    } catch (const std::bad_alloc&) {
        return out_of_memory(out);
    }
    for (std::size_t c = 0; c < object.columns.size(); ++c) {
        out.binary_column[c] = binary_type_test(object.columns[c].type_text) ? 1 : 0;
    }
    out.binary_for = &object;
    return {};
}

// Copies the tuple of entry into out.tuple after checking it against object and the dump.
Status read_checked_tuple(const DumpState& state, const Window& w, const SchemaObject& object,
                          const IndexEntry& entry, DecodedRecord& out) {
    if (!entry_fits(state, object, entry)) {
        return fail(out, StatusKind::damaged_cache, Msg::stale_entry);
    }
    if (entry.length > MAX_DECODED_TUPLE) {
        return fail(out, StatusKind::limit, Msg::record_too_large);
    }
    try {
        out.tuple.resize(entry.length);
    } catch (const std::bad_alloc&) {
        return fail(out, StatusKind::out_of_memory, Msg::record_out_of_memory);
    }
    auto* tuple = reinterpret_cast<unsigned char*>(out.tuple.data());
    if (!read_tuple(w, entry.offset, entry.length, tuple)) {
        return fail(out, StatusKind::input_output, Msg::record_read_failed);
    }
    if (tuple[0] != '(' || tuple[entry.length - 1] != ')') return stale(out);
    return {};
}

// Decodes the value that starts at p into value; the position of the "," or ")" after it, or
// length when the value cannot be decoded.
std::uint64_t decode_one(const DecodedRecord& out, std::uint64_t p, EscapeMode mode,
                         Value& value) {
    const auto* tuple = reinterpret_cast<const unsigned char*>(out.tuple.data());
    const std::uint64_t length = out.tuple.size();
    std::uint64_t k = value_decode_plain(tuple, length, p, mode, value);
    if (k < length) return k;
    k = value_find_end(tuple, length, p, mode);
    if (k >= length) return length;
    const std::string_view source(out.tuple.data() + p, k - p);
    return value_decode(source, mode, value) ? k : length;
}

// Splits the tuple in out.tuple into out.values by the column layout.
Status split_values(const ColumnLayout& layout, EscapeMode mode, DecodedRecord& out) {
    const auto* tuple = reinterpret_cast<const unsigned char*>(out.tuple.data());
    const std::uint64_t length = out.tuple.size();
    if (layout.columns.empty()) {
        // A layout without values belongs to an empty tuple "()"; anything else inside means
        // the layout does not describe this tuple.
        if (span_skip_blanks(tuple, length - 1, 1, mode) == length - 1) return {};
        return fail(out, StatusKind::damaged_cache, Msg::layout_mismatch);
    }
    std::uint64_t p = 1;
    for (std::size_t j = 0; j < layout.columns.size(); ++j) {
        const std::uint32_t c = layout.columns[j];
        if (c >= out.values.size()) return fail(out, StatusKind::damaged_cache, Msg::bad_field);
        Value& value = out.values[c];
        const std::uint64_t k = decode_one(out, p, mode, value);
        if (k >= length) return fail(out, StatusKind::syntax, Msg::bad_field);
        if (value.kind == VALUE_TEXT && out.binary_column[c] != 0) {
            std::string hex;
            if (!hex_encode(value.text, hex)) return out_of_memory(out);
            value.text.swap(hex);
            value.kind = VALUE_BINARY;
        }
        const bool last = j + 1 == layout.columns.size();
        if (tuple[k] != (last ? ')' : ',')) {
            return fail(out, StatusKind::damaged_cache, Msg::layout_mismatch);
        }
        // The tuple's own ")" must close the last value; an earlier one means the entry's
        // length no longer matches the tuple in the dump.
        if (last && k != length - 1) return stale(out);
        p = k + 1;
    }
    return {};
}

// Values keep their buffers for the next row only while all of them together stay small:
// a table of 4,096 columns must not keep a large value of every column.
void trim_kept_storage(DecodedRecord& out) {
    std::size_t kept = 0;
    for (const Value& value : out.values) kept += value.text.capacity();
    if (kept <= RECORD_KEEP_BYTES) return;
    for (Value& value : out.values) {
        if (value.text.capacity() > 64) value.text.shrink_to_fit();
    }
}



Status decode_through(const DumpState& state, const Window& w, std::uint32_t table,
                      const IndexEntry& entry, DecodedRecord& out) {
    // Storage is kept from row to row, unless an earlier row left large buffers behind.
    if (out.tuple.capacity() > RECORD_KEEP_BYTES) record_release(out);
    out.tuple.clear();
    if (table >= state.objects.size()) return fail(out, StatusKind::refused, Msg::bad_table);
    const SchemaObject& object = state.objects[table];
    if (Status s = prepare_binary_columns(object, out); !s.ok()) return s;
    if (Status s = read_checked_tuple(state, w, object, entry, out); !s.ok()) return s;
    try {
        out.values.resize(object.columns.size());
    } catch (const std::bad_alloc&) {
        return out_of_memory(out);
    }
    for (Value& value : out.values) {
        value.kind = VALUE_NOT_IN_INSERT;
        value.text.clear();
    }
    const ColumnLayout& layout = object.layouts[entry.layout_word & LAYOUT_NUMBER_MASK];
    if (Status s = split_values(layout, layout_escape_mode(entry.layout_word), out); !s.ok()) {
        return s;
    }
    trim_kept_storage(out);
    return {};
}

const unsigned char* tuple_view_through(const DumpState& state, const Window& w,
                                        std::uint32_t table, const IndexEntry& entry) {
    if (table >= state.objects.size() || !entry_fits(state, state.objects[table], entry) ||
        entry.length > READ_BUFFER_SIZE) {
        return nullptr;
    }
    const unsigned char* tuple = window_bytes(w, entry.offset, entry.length);
    if (tuple == nullptr || tuple[0] != '(' || tuple[entry.length - 1] != ')') return nullptr;
    return tuple;
}

}  // namespace

Status record_decode(DumpState& state, std::uint32_t table, const IndexEntry& entry,
                     DecodedRecord& out) {
    return decode_through(state, state_window(state), table, entry, out);
}

const unsigned char* record_tuple_view(DumpState& state, std::uint32_t table,
                                       const IndexEntry& entry) {
    return tuple_view_through(state, state_window(state), table, entry);
}

bool tuple_reader_open(const DumpState& state, TupleReader& reader) {
    reader.file.reset(file_reopen_read(state.dump_handle));
    reader.buffer = page_buffer_alloc(READ_BUFFER_SIZE);
    reader.start = 0;
    reader.length = 0;
    return reader.file.valid() && reader.buffer;
}

Status record_decode_with(const DumpState& state, TupleReader& reader, std::uint32_t table,
                          const IndexEntry& entry, DecodedRecord& out) {
    return decode_through(state, reader_window(reader), table, entry, out);
}

const unsigned char* record_tuple_view_with(const DumpState& state, TupleReader& reader,
                                            std::uint32_t table, const IndexEntry& entry) {
    return tuple_view_through(state, reader_window(reader), table, entry);
}

void record_release(DecodedRecord& record) {
    std::vector<Value>().swap(record.values);
    std::string().swap(record.tuple);
    std::vector<std::uint8_t>().swap(record.binary_column);
    record.binary_for = nullptr;
}

Status dump_check_unchanged(DumpState& state) {
    if (file_get_size(state.dump_handle) == state.dump_size &&
        file_get_mtime(state.dump_handle) == state.dump_time) {
        return {};
    }
    state.read_buffer_length = 0;
    return status_fail(StatusKind::damaged_cache, Msg::index_mismatch);
}

}  // namespace kv
