// Writing and loading the cache manifest "manifest.kvd" (see manifest.h): the buffered moves of
// its bytes. Their layout, and the limits the loader checks, are in format.h.
//
// A manifest holds the whole schema of a dump: up to 65,536 objects with 4,096 columns each
// and CREATE texts of up to 2 MiB, in a file of at most 256 MiB. Both directions go through a
// fixed 64 KiB buffer. The loader treats the file as hostile and reads it twice: the first
// pass checks every field, the index files and the totals while keeping nothing, so a damaged
// manifest is rejected with no more memory than the buffer; only a manifest that passed is
// read into the schema, which then needs the memory its objects, columns and layouts really
// take. The second pass checks everything again (every read against the bytes still unread,
// no count used to reserve memory before the bytes it claims are known to be in the file), so
// a file that changed in between costs at most memory in proportion to its size.
#include "cache/manifest.h"

#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "cache/coding.h"
#include "cache/file_names.h"
#include "cache/format.h"
#include "cache/index_file.h"

namespace kv {

namespace {


constexpr std::size_t IO_BUFFER_SIZE = 65536;

// Buffered writer; the first failed write makes every later call a no-op returning false.
class ManifestWriter {
public:
    ManifestWriter(FileHandle file, unsigned char* buffer) : file_(file), buffer_(buffer) {}

    bool ok() const { return ok_; }

    void bytes(const void* data, std::size_t count) {
        const auto* p = static_cast<const unsigned char*>(data);
        while (ok_ && count > 0) {
            if (used_ == IO_BUFFER_SIZE) flush_buffer();
            std::size_t n = IO_BUFFER_SIZE - used_;
            if (n > count) n = count;
            std::memcpy(buffer_ + used_, p, n);
            used_ += n;
            p += n;
            count -= n;
        }
    }
    void u32(std::uint32_t v) {
        unsigned char b[4];
        coding_put_le(b, v);
        bytes(b, sizeof b);
    }
    void u64(std::uint64_t v) {
        unsigned char b[8];
        coding_put_le(b, v);
        bytes(b, sizeof b);
    }
    // A count or length that does not fit its 32-bit field fails the write.
    std::uint32_t checked(std::size_t v) {
        if (v > UINT32_MAX) ok_ = false;
        return static_cast<std::uint32_t>(v);
    }
    void count(std::size_t v) { u32(checked(v)); }
    void string(const std::string& s) {
        count(s.size());
        bytes(s.data(), s.size());
    }
    bool finish() {
        flush_buffer();
        return ok_;
    }

private:
    void flush_buffer() {
        if (ok_ && used_ > 0 && !file_write_all(file_, buffer_, used_)) ok_ = false;
        used_ = 0;
    }

    FileHandle file_;
    unsigned char* buffer_;
    std::size_t used_ = 0;
    bool ok_ = true;
};

void write_object(ManifestWriter& out, const SchemaObject& object) {
    out.string(object.database_name);
    out.string(object.object_name);
    out.string(object.create_text);
    out.u32(static_cast<std::uint32_t>(object.kind));
    out.u64(object.entry_count);
    out.u64(object.tuple_bytes);
    out.count(object.columns.size());
    for (const Column& column : object.columns) {
        out.string(column.name);
        out.string(column.type_text);
    }
    out.count(object.layouts.size());
    for (const ColumnLayout& layout : object.layouts) {
        out.count(layout.columns.size());
        for (std::uint32_t number : layout.columns) out.u32(number);
    }
}

void write_report(ManifestWriter& out, const DumpReport& report) {
    out.u32(static_cast<std::uint32_t>(report.tool));
    out.string(report.tool_version);
    out.string(report.server_version);
    out.string(report.charset);
    out.u32((report.final_line ? 1u : 0u) | (report.ends_in_statement ? 2u : 0u) |
            (report.utc_time_zone ? 4u : 0u));
    for (std::uint64_t count : {report.create_statements, report.insert_statements,
                                report.other_statements, report.comment_bytes}) {
        out.u64(count);
    }
}

// Bounded reader over the manifest: it knows how many bytes are left and refuses any read
// beyond them; after the first failure it stays invalid and reads nothing more.
class ManifestReader {
public:
    ManifestReader(FileHandle file, std::uint64_t size, unsigned char* buffer)
        : file_(file), remaining_(size), buffer_(buffer) {}

    bool valid() const { return valid_; }
    std::uint64_t remaining() const { return remaining_; }
    void fail() { valid_ = false; }
    // Marks the reader invalid unless condition holds; returns the validity.
    bool check(bool condition) {
        if (!condition) valid_ = false;
        return valid_;
    }
    // True when count items of at least min_bytes each can still be in the file.
    bool fits(std::uint64_t count, std::uint64_t min_bytes) {
        return check(count <= remaining_ / min_bytes);
    }

    bool bytes(void* out, std::size_t count) {
        if (!valid_) return false;
        if (count > remaining_) {
            valid_ = false;
            return false;
        }
        auto* p = static_cast<unsigned char*>(out);
        while (count > 0) {
            if (pos_ == length_ && !refill()) {
                valid_ = false;
                return false;
            }
            std::size_t n = length_ - pos_;
            if (n > count) n = count;
            std::memcpy(p, buffer_ + pos_, n);
            pos_ += n;
            p += n;
            count -= n;
            remaining_ -= n;
        }
        return true;
    }
    std::uint32_t u32() {
        unsigned char b[4] = {};
        bytes(b, sizeof b);
        return coding_get_le<std::uint32_t>(b);
    }
    std::uint64_t u64() {
        unsigned char b[8] = {};
        bytes(b, sizeof b);
        return coding_get_le<std::uint64_t>(b);
    }
    // Length-prefixed string of at most limit bytes without NUL bytes, into *out or, when out
    // is null, checked and passed over without being kept.
    bool string(std::string* out, std::uint32_t limit) {
        std::uint32_t length = u32();
        if (!check(length <= limit && length <= remaining_)) return false;
        if (out == nullptr) return skip_text(length);
        out->resize(length);
        if (!bytes(out->data(), length)) return false;
        return check(std::memchr(out->data(), 0, length) == nullptr);
    }

private:
    // Passes over count bytes in the buffer; false when they run out or hold a NUL byte.
    bool skip_text(std::uint64_t count) {
        while (valid_ && count > 0) {
            if (pos_ == length_ && !refill()) {
                valid_ = false;
                break;
            }
            std::size_t n = length_ - pos_;
            if (n > count) n = static_cast<std::size_t>(count);
            check(std::memchr(buffer_ + pos_, 0, n) == nullptr);
            pos_ += n;
            count -= n;
            remaining_ -= n;
        }
        return valid_;
    }

    bool refill() {
        std::uint64_t want = remaining_ < IO_BUFFER_SIZE ? remaining_ : IO_BUFFER_SIZE;
        std::size_t n = file_read_some(file_, buffer_, static_cast<std::size_t>(want));
        pos_ = 0;
        length_ = n;
        return n > 0;
    }

    FileHandle file_;
    std::uint64_t remaining_;
    unsigned char* buffer_;
    std::size_t pos_ = 0;
    std::size_t length_ = 0;
    bool valid_ = true;
};

// Reads the layouts of an object record (after its columns) into *object, or with object null
// only checks them; layout_count receives their number. False (reader invalid) on any
// violation: a layout names a column the object lacks, or one column twice.
bool read_layouts(ManifestReader& in, SchemaObject* object, std::uint32_t column_count,
                  std::uint32_t& layout_count) {
    layout_count = in.u32();
    if (!in.check(layout_count <= MAX_LAYOUTS) ||
        !in.fits(layout_count, MANIFEST_MIN_LAYOUT_BYTES)) {
        return false;
    }
    if (object != nullptr) object->layouts.resize(layout_count);
    std::uint64_t seen[MAX_COLUMNS / 64];
    for (std::uint32_t l = 0; l < layout_count; ++l) {
        std::uint32_t values = in.u32();
        if (!in.check(values <= column_count) || !in.fits(values, MANIFEST_COLUMN_NUMBER_BYTES)) {
            return false;
        }
        std::uint32_t* numbers = nullptr;
        if (object != nullptr) {
            object->layouts[l].columns.resize(values);
            numbers = object->layouts[l].columns.data();
        }
        std::memset(seen, 0, sizeof seen);
        for (std::uint32_t v = 0; v < values; ++v) {
            std::uint32_t column = in.u32();
            if (!in.check(column < column_count)) return false;
            std::uint64_t bit = std::uint64_t{1} << (column % 64);
            if (!in.check((seen[column / 64] & bit) == 0)) return false;
            seen[column / 64] |= bit;
            if (numbers != nullptr) numbers[v] = column;
        }
    }
    return in.valid();
}

// Reads one object record into *object, or with object null only checks it (and then also
// its index file); entries receives its entry count. False (reader invalid) on any violation.
bool read_object(ManifestReader& in, const DumpState& state, std::uint32_t number,
                 SchemaObject* object, std::uint64_t& entries) {
    in.string(object ? &object->database_name : nullptr, MANIFEST_MAX_NAME_BYTES);
    in.string(object ? &object->object_name : nullptr, MANIFEST_MAX_NAME_BYTES);
    in.string(object ? &object->create_text : nullptr, MANIFEST_MAX_TEXT_BYTES);
    std::uint32_t kind = in.u32();
    entries = in.u64();
    std::uint64_t tuple_bytes = in.u64();
    std::uint32_t column_count = in.u32();
    if (!in.check(kind <= OBJECT_DATABASE && column_count <= MAX_COLUMNS &&
                  entries <= state.dump_size && tuple_bytes <= state.dump_size)) {
        return false;
    }
    if (object != nullptr) {
        object->kind = static_cast<ObjectKind>(kind);
        object->entry_count = entries;
        object->tuple_bytes = tuple_bytes;
    }

    if (!in.fits(column_count, MANIFEST_MIN_COLUMN_BYTES)) return false;
    if (object != nullptr) object->columns.resize(column_count);
    for (std::uint32_t c = 0; c < column_count && in.valid(); ++c) {
        in.string(object ? &object->columns[c].name : nullptr, MANIFEST_MAX_NAME_BYTES);
        in.string(object ? &object->columns[c].type_text : nullptr, MANIFEST_MAX_TEXT_BYTES);
    }
    std::uint32_t layout_count = 0;
    if (!read_layouts(in, object, column_count, layout_count)) return false;

    if (entries > 0) {
        // Only tables have rows, every row names a layout, and the index file must hold
        // exactly one 16-byte entry per row.
        if (!in.check(kind == OBJECT_TABLE && layout_count > 0 && entries < INDEX_ENTRIES_LIMIT)) {
            return false;
        }
        std::uint64_t index_size = 0;
        if (object == nullptr &&
            !in.check(path_regular_file_size(cache_index_path(state, number), index_size) &&
                      index_size == entries * INDEX_ENTRY_SIZE)) {
            return false;
        }
    }
    return true;
}

// Reads the report after the object records into state's, or with fill false only checks it.
bool read_report(ManifestReader& in, DumpState& state, bool fill) {
    DumpReport report;
    const std::uint32_t tool = in.u32();
    in.check(tool < DUMP_TOOL_COUNT);
    in.string(&report.tool_version, static_cast<std::uint32_t>(REPORT_MAX_VERSION_BYTES));
    in.string(&report.server_version, static_cast<std::uint32_t>(REPORT_MAX_VERSION_BYTES));
    in.string(&report.charset, static_cast<std::uint32_t>(REPORT_MAX_CHARSET_BYTES));
    const std::uint32_t flags = in.u32();
    in.check((flags & ~MANIFEST_REPORT_FLAGS) == 0);
    for (std::uint64_t* count : {&report.create_statements, &report.insert_statements,
                                 &report.other_statements, &report.comment_bytes}) {
        *count = in.u64();
        in.check(*count <= state.dump_size);
    }
    if (!in.valid()) return false;
    report.tool = static_cast<DumpTool>(tool);
    report.final_line = (flags & 1) != 0;
    report.ends_in_statement = (flags & 2) != 0;
    report.utc_time_zone = (flags & 4) != 0;
    if (fill) state.report = std::move(report);
    return true;
}

// Reads the notes and all object records after the header into state, or with fill false
// only checks them; false when anything is invalid.
bool read_body(ManifestReader& in, DumpState& state, std::uint32_t object_count,
               std::uint64_t total_entries, bool fill) {
    if (!in.string(fill ? &state.import_notes : nullptr,
                   static_cast<std::uint32_t>(MAX_NOTES_BYTES))) {
        return false;
    }
    if (!in.fits(object_count, MANIFEST_MIN_OBJECT_BYTES)) return false;
    if (fill) state.objects.reserve(object_count);
    std::uint64_t sum = 0;
    for (std::uint32_t i = 0; i < object_count; ++i) {
        SchemaObject* object = nullptr;
        if (fill) object = &state.objects.emplace_back();
        std::uint64_t entries = 0;
        if (!read_object(in, state, i, object, entries)) return false;
        if (!in.check(sum + entries >= sum)) return false;
        sum += entries;
    }
    if (!read_report(in, state, fill)) return false;
    for (std::uint32_t i = 0; i < object_count; ++i) {
        std::string* charset = fill ? &state.objects[i].data_charset : nullptr;
        if (!in.string(charset, static_cast<std::uint32_t>(REPORT_MAX_CHARSET_BYTES))) return false;
    }
    return in.check(in.remaining() == 0 && sum == total_entries);
}

}  // namespace

Status manifest_write(const DumpState& state, const ProgressSink* sink) {
    std::string part_path;
    std::string final_path;
    std::unique_ptr<unsigned char[]> buffer;
    try {
        part_path = cache_manifest_part_path(state);
        final_path = cache_manifest_path(state);
        buffer.reset(new unsigned char[IO_BUFFER_SIZE]);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }

    FileGuard file(file_open(part_path, FILE_MODE_CREATE));
    bool ok = file.valid();
    if (ok) {
        ManifestWriter out(file.get(), buffer.get());
        ManifestHeader header;
        header.dump_size = state.dump_size;
        header.dump_time = state.dump_time;
        header.fingerprint = state.fingerprint;
        header.total_entries = state.total_entries;
        header.object_count = out.checked(state.objects.size());
        header.note_count = state.note_count;
        unsigned char header_bytes[MANIFEST_HEADER_SIZE];
        manifest_header_encode(header, header_bytes);
        out.bytes(header_bytes, sizeof header_bytes);
        out.string(state.import_notes);
        for (const SchemaObject& object : state.objects) {
            write_object(out, object);
            if (!out.ok()) break;
        }
        write_report(out, state.report);
        for (const SchemaObject& object : state.objects) out.string(object.data_charset);
        ok = out.finish() && file_flush(file.get());
    }
    file.reset();
    if (!ok || !file_replace(part_path, final_path)) {
        file_remove(part_path);
        return status_fail(StatusKind::input_output, Msg::manifest_write_failed);
    }
    progress_report(sink, state.dump_size, state.dump_size, state.total_entries,
                    msg_text(Msg::progress_ready));
    return {};
}

bool manifest_load(DumpState& state) {
    std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[IO_BUFFER_SIZE]);
    if (!buffer) return false;
    FileGuard file;
    try {
        file.reset(file_open(cache_manifest_path(state), FILE_MODE_READ));
    } catch (const std::bad_alloc&) {
        return false;
    }
    if (!file.valid()) return false;
    std::uint64_t size = file_get_size(file.get());
    if (size < MANIFEST_HEADER_SIZE || size > MANIFEST_MAX_FILE_SIZE) return false;

    ManifestReader in(file.get(), size, buffer.get());
    unsigned char header_bytes[MANIFEST_HEADER_SIZE];
    ManifestHeader header;
    if (!in.bytes(header_bytes, sizeof header_bytes) ||
        !manifest_header_decode(header_bytes, header) ||
        header.dump_size != state.dump_size || header.dump_time != state.dump_time ||
        header.fingerprint != state.fingerprint || header.object_count > MAX_OBJECTS) {
        return false;  // state untouched
    }

    dump_state_clear_schema(state);
    std::string().swap(state.import_notes);
    state.note_count = header.note_count;
    // The first pass keeps nothing; the second reads the same bytes again into the schema.
    bool ok = false;
    try {
        if (read_body(in, state, header.object_count, header.total_entries, false) &&
            file_seek_to(file.get(), MANIFEST_HEADER_SIZE)) {
            ManifestReader again(file.get(), size - MANIFEST_HEADER_SIZE, buffer.get());
            ok = read_body(again, state, header.object_count, header.total_entries, true);
        }
    } catch (const std::bad_alloc&) {
        ok = false;
    }
    if (!ok) {
        dump_state_clear_schema(state);
        std::string().swap(state.import_notes);
        state.note_count = 0;
        state.report = DumpReport{};
        return false;
    }
    state.total_entries = header.total_entries;
    state.loaded_from_cache = 1;
    return true;
}

void manifest_remove(const DumpState& state) {
    try {
        file_remove(cache_manifest_path(state));
    } catch (const std::bad_alloc&) {
        // Nothing removed; a later import overwrites the manifest all the same.
    }
}

}  // namespace kv
