// CSV export and the output-file rules of the writers (see csv_export.h).
#include "records/csv_export.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "cache/index_file.h"
#include "records/csv_field.h"
#include "records/csv_row.h"
#include "records/output_writer.h"
#include "records/record_decode.h"

namespace kv {

bool csv_fast_rows = true;

namespace {

constexpr std::size_t BATCH_BYTES = std::size_t{INDEX_BATCH_ENTRIES} * INDEX_ENTRY_SIZE;
constexpr std::size_t OUTPUT_BYTES = 65536;
// Scratch strings that grew beyond this for one huge value are given back after its row.
constexpr std::size_t SCRATCH_KEEP = 1048576;

// The output side of one export: the temporary file, written in whole 64 KiB blocks.
using CsvWriter = OutputWriter;

bool csv_put(CsvWriter& w, std::string_view bytes) { return output_put(w, bytes); }

// Writes one field, after a ";" when separated. Most fields hold no '"' and no NUL and need
// no apostrophe: they go into the buffer in one piece; the rest through csv_field_write.
void csv_put_field(CsvWriter& w, std::string_view text, bool protect, bool separated) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t need = text.size() + 3;
    if (need <= OUTPUT_BYTES - w.fill && !(protect && csv_formula_risk(text)) &&
        scan_find2(bytes, 0, text.size(), '"', '\0') == text.size()) {
        unsigned char* out = w.buffer.get() + w.fill;
        if (separated) *out++ = ';';
        *out++ = '"';
        if (!text.empty()) std::memcpy(out, text.data(), text.size());
        out[text.size()] = '"';
        w.fill += need - (separated ? 0 : 1);
        return;
    }
    if (separated) csv_put(w, ";");
    csv_field_write([&](std::string_view piece) { csv_put(w, piece); }, text, protect);
}

// Writes the row of entry through the fast row writer: straight into the output buffer when
// the row's room is left there, else through a row buffer of OUTPUT_BYTES. False, with
// nothing written, when the row is too long for that room or the writer declines it.
bool csv_put_row_fast(CsvWriter& w, DumpState& state, std::uint32_t object, CsvRowPlan& plan,
                      const IndexEntry& entry, unsigned char* row) {
    if (entry.length > READ_BUFFER_SIZE) return false;
    const std::size_t room = csv_row_room(entry.length, plan.columns);
    if (room > OUTPUT_BYTES) return false;
    const unsigned char* tuple = record_tuple_view(state, object, entry);
    if (tuple == nullptr) return false;
    const bool direct = room <= OUTPUT_BYTES - w.fill;
    unsigned char* out = direct ? w.buffer.get() + w.fill : row;
    const std::size_t n = csv_row_write(plan, state.objects[object], entry, tuple, out);
    if (n == CSV_ROW_DECLINED) return false;
    if (direct) {
        w.fill += n;
    } else {
        csv_put(w, std::string_view(reinterpret_cast<const char*>(row), n));
    }
    return true;
}

bool csv_drain(CsvWriter& w) { return output_drain(w); }

void trim_scratch(std::string& s) {
    if (s.capacity() > SCRATCH_KEEP) std::string().swap(s);
}

// The folder that holds path, in a form the file layer can query ("." for a bare name).
std::string parent_folder_of(const std::string& path) {
#if defined(_WIN32)
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) {
        // "C:name" lies in the current folder of drive C:.
        return path.size() > 1 && path[1] == ':' ? path.substr(0, 2) : std::string(".");
    }
    if (slash == 2 && path[1] == ':') return path.substr(0, 3);  // "C:\name"
#else
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
#endif
    return path.substr(0, slash == 0 ? 1 : slash);
}

Status not_done() { return status_fail(StatusKind::input_output, Msg::csv_not_done); }

// One export's writing side: the output, the rows' scratch storage and the fast row plan.
struct CsvRun {
    CsvRun(DumpState& s, std::uint32_t o, Charset c, bool protection)
        : state(s), object(o), charset(c), formula_protection(protection) {}
    DumpState& state;
    std::uint32_t object;
    Charset charset;
    bool formula_protection;
    CsvWriter w;
    std::string field;
    std::string scratch;
    DecodedRecord record;
    CsvRowPlan plan;
    std::unique_ptr<unsigned char[]> row;  // OUTPUT_BYTES, for the fast row writer
    bool fast = false;
};

// The byte-order mark and the header row of column names (always formula-protected).
Status csv_put_header(CsvRun& run) {
    try {
        csv_put(run.w, "\xEF\xBB\xBF");
        const SchemaObject& schema = run.state.objects[run.object];
        for (std::size_t c = 0; c < schema.columns.size(); ++c) {
            if (c > 0) csv_put(run.w, ";");
            run.field.clear();
            if (!text_to_utf8(schema.columns[c].name, run.charset, run.scratch) ||
                !csv_field_append(run.field, run.scratch, true)) {
                return not_done();
            }
            csv_put(run.w, run.field);
        }
        csv_put(run.w, "\r\n");
    } catch (const std::bad_alloc&) {
        return not_done();
    }
    return {};
}

// Writes the row of entry through record_decode and the field writer: the general path.
Status csv_put_row_decoded(CsvRun& run, const IndexEntry& entry) {
    if (Status s = record_decode(run.state, run.object, entry, run.record); !s.ok()) return s;
    for (std::uint32_t v = 0; v < run.record.value_count(); ++v) {
        std::string_view text;
        bool protect = false;
        if (!csv_value_text(run.record.values[v], run.charset, run.formula_protection,
                            run.scratch, text, protect)) {
            return status_fail(StatusKind::out_of_memory, Msg::export_out_of_memory);
        }
        csv_put_field(run.w, text, protect, v > 0);
    }
    trim_scratch(run.scratch);
    csv_put(run.w, "\r\n");
    return {};
}

// Writes the rows of every entry of source, batch by batch. The clock is read for every
// 32nd row and every row of 64 KiB or more: at the export's speed 32 small rows take
// microseconds, so reports stay on time.
Status csv_put_rows(CsvRun& run, FileHandle source, std::uint64_t entry_count,
                    const ProgressSink* sink) {
    std::unique_ptr<unsigned char[]> batch(new (std::nothrow) unsigned char[BATCH_BYTES]);
    if (!batch) return status_fail(StatusKind::out_of_memory, Msg::export_files_failed);
    std::uint64_t last_report = 0;
    bool reported = false;
    for (std::uint64_t first = 0; run.w.ok && first < entry_count; first += INDEX_BATCH_ENTRIES) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(entry_count - first, INDEX_BATCH_ENTRIES));
        if (file_read_full(source, batch.get(), n * INDEX_ENTRY_SIZE) != n * INDEX_ENTRY_SIZE) {
            return status_fail(StatusKind::damaged_cache, Msg::short_index);
        }
        for (std::size_t k = 0; run.w.ok && k < n; ++k) {
            const IndexEntry entry = index_entry_decode(batch.get() + k * INDEX_ENTRY_SIZE);
            if (!run.fast || !csv_put_row_fast(run.w, run.state, run.object, run.plan, entry, run.row.get())) {
                if (Status s = csv_put_row_decoded(run, entry); !s.ok()) return s;
            }
            const std::uint64_t i = first + k;
            if (reported && i % 32 != 0 && entry.length < 65536) continue;
            const std::uint64_t now = clock_ms();
            if (reported && now - last_report < 100) continue;
            reported = true;
            last_report = now;
            if (!progress_report(sink, i, entry_count, i, msg_text(Msg::export_csv))) {
                return status_cancelled();
            }
        }
    }
    return {};
}

// Writes the whole CSV into the temporary file part and flushes it; the files are closed on
// return.
Status csv_write_part(DumpState& state, std::uint32_t object, const std::string& source_path,
                      std::uint64_t entry_count, const std::string& part, Charset charset,
                      bool formula_protection, const ProgressSink* sink) {
    FileGuard source(file_open(source_path, FILE_MODE_READ));
    FileGuard out(file_open(part, FILE_MODE_CREATE));
    CsvRun run(state, object, charset, formula_protection);
    if (!output_writer_start(run.w, out.get(), OUTPUT_BYTES) || !out.valid() ||
        (!source.valid() && entry_count != 0)) {
        return status_fail(StatusKind::input_output, Msg::export_files_failed);
    }
    if (Status s = csv_put_header(run); !s.ok()) return s;
    // Rows of the common shapes go through the fast row writer; without memory for its plan
    // and row buffer every row takes the general path.
    run.row.reset(new (std::nothrow) unsigned char[OUTPUT_BYTES]);
    run.fast = csv_fast_rows && run.row &&
               csv_row_plan_init(run.plan, state.objects[object], charset, formula_protection);
    if (Status s = csv_put_rows(run, source.get(), entry_count, sink); !s.ok()) return s;
    return csv_drain(run.w) && file_flush(out.get()) ? Status{} : not_done();
}

}  // namespace

std::string output_part_path(const std::string& destination) {
    return destination + ".korvane-part-" + std::to_string(current_pid());
}

bool output_names_source(const DumpState& state, const std::string& destination,
                         const std::string& source_path) {
    if (destination == state.dump_path) return true;
    if (!source_path.empty() && destination == source_path) return true;
    // A destination that does not exist yet cannot be another name of an existing source.
    const FileIdentity target = path_identity(destination);
    if (!target.valid) return false;
    if (same_file(target, file_identity(state.dump_handle))) return true;
    if (!state.dump_path.empty() && same_file(target, path_identity(state.dump_path))) {
        return true;
    }
    return !source_path.empty() && same_file(target, path_identity(source_path));
}

bool output_in_cache_folder(const DumpState& state, const std::string& destination) {
    if (state.cache_folder.empty()) return false;
    const std::string parent = parent_folder_of(destination);
    if (parent == state.cache_folder) return true;
    return same_file(path_identity(parent), path_identity(state.cache_folder));
}

Status output_outside_cache_folder(const DumpState& state, const std::string& destination) {
    try {
        if (!output_in_cache_folder(state, destination)) return {};
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    return status_fail(StatusKind::refused, Msg::output_in_cache);
}

Status output_target_check(const DumpState& state, const std::string& destination,
                           const std::string& source_path) {
    // On POSIX the final rename would replace the dump (or the index being read) with the
    // output under any of its names, so every spelling of a source is refused.
    if (output_names_source(state, destination, source_path)) {
        return status_fail(StatusKind::refused, Msg::target_is_source);
    }
    return output_outside_cache_folder(state, destination);
}

Status output_commit(Status written, const std::string& part, const std::string& destination,
                     Msg not_done) {
    if (written.ok() && !file_replace(part, destination)) {
        written = status_fail(StatusKind::input_output, not_done);
    }
    if (!written.ok()) file_remove(part);
    return written;
}

Status csv_export(DumpState& state, std::uint32_t object, const std::string& entry_source_path,
                  std::uint64_t entry_count, const std::string& destination, Charset charset,
                  bool formula_protection, const ProgressSink* sink) {
    if (object >= state.objects.size()) return status_fail(StatusKind::refused, Msg::bad_table);
    if (Status target = output_target_check(state, destination, entry_source_path);
        !target.ok()) {
        return target;
    }
    std::string part;
    try {
        part = output_part_path(destination);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    Status written = csv_write_part(state, object, entry_source_path, entry_count, part, charset,
                                    formula_protection, sink);
    return output_commit(std::move(written), part, destination, Msg::csv_not_done);
}

}  // namespace kv
