// Fuzz target: a whole import of arbitrary dump bytes, then every indexed tuple read back.
//
// Each input is written to a scratch dump file and opened with a new index (open, lock,
// import). A failure must leave its German sentence in the state's message. A success must
// leave index files that agree with the schema counts, a manifest that loads again with the
// same schema, and tuples that all decode and render as display text under each character
// set. The same bytes are imported once more through the byte-by-byte reference path of the
// reader, which must give the same outcome, message, notes and index files byte for byte.
// Inputs are small (libFuzzer's -max_len, 64 KiB by default in run-fuzz.sh) and imports of
// more than MAX_TUPLES tuples skip the read-back, so one input costs milliseconds.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "fuzz/fuzz_support.h"
#include "importer/dump_reader.h"
#include "importer/open_sequence.h"
#include "records/display_text.h"
#include "records/record_decode.h"

namespace {

constexpr std::uint64_t MAX_TUPLES = 2000;
constexpr std::uint32_t BATCH = 256;

[[noreturn]] void finding(const char* what, const kv::DumpState& state) {
    std::fprintf(stderr, "fuzz_import: %s (message: \"%s\")\n", what, state.message);
    std::abort();
}

// Reads back every tuple of one table; aborts on any disagreement with the import.
void check_table(kv::DumpState& state, std::uint32_t number, kv::DecodedRecord& record,
                 std::string& line) {
    const kv::SchemaObject& object = state.objects[number];
    kv::FileGuard index(kv::file_open(kv::index_file_path(state, number), kv::FILE_MODE_READ));
    if (!index.valid()) finding("index file of a table with entries is missing", state);
    if (kv::file_get_size(index.get()) != object.entry_count * kv::INDEX_ENTRY_SIZE) {
        finding("index file size differs from the entry count", state);
    }
    kv::IndexEntry entries[BATCH];
    std::uint64_t bytes = 0;
    std::uint64_t previous_end = 0;
    for (std::uint64_t first = 0; first < object.entry_count; first += BATCH) {
        const std::uint64_t left = object.entry_count - first;
        const std::uint32_t count = left < BATCH ? static_cast<std::uint32_t>(left) : BATCH;
        if (!kv::index_read(index.get(), first, count, entries)) finding("index_read", state);
        for (std::uint32_t i = 0; i < count; ++i) {
            const kv::IndexEntry& entry = entries[i];
            if (entry.offset < previous_end) finding("tuples overlap or leave dump order", state);
            previous_end = entry.offset + entry.length;
            bytes += entry.length;
            state.message[0] = '\0';
            if (!kv::record_decode(state, number, entry, record)) {
                if (state.message[0] == '\0') finding("a failed decode left no message", state);
                std::fprintf(stderr, "fuzz_import: table %u entry %llu: offset %llu length %u "
                             "layout word 0x%08x\n", number,
                             static_cast<unsigned long long>(first + i),
                             static_cast<unsigned long long>(entry.offset), entry.length,
                             entry.layout_word);
                finding("an indexed tuple does not decode", state);
            }
            for (std::size_t v = 0; v < record.values.size(); ++v) {
                const kv::Charset charset = static_cast<kv::Charset>((v + i) % 3);
                if (!kv::value_display_text(record.values[v], charset, 256, line)) {
                    finding("value_display_text", state);
                }
            }
        }
    }
    if (bytes != object.tuple_bytes) finding("tuple byte sum differs from the schema", state);
}

// Opens the dump again without a new index: the manifest just written must load.
void check_reload(const kv::DumpState& imported, const std::string& dump,
                  const std::string& root) {
    kv::DumpState state;
    kv::FileHandle lock = kv::INVALID_FILE;
    if (!kv::dump_open_cached(state, dump, root, false, nullptr, lock)) {
        finding("reopening a freshly imported dump failed", state);
    }
    kv::file_close(lock);
    if (state.loaded_from_cache != 1) finding("the manifest of an import did not load", state);
    bool same = state.total_entries == imported.total_entries &&
                state.objects.size() == imported.objects.size() &&
                state.import_notes == imported.import_notes &&
                state.note_count == imported.note_count;
    for (std::size_t i = 0; same && i < state.objects.size(); ++i) {
        const kv::SchemaObject& a = state.objects[i];
        const kv::SchemaObject& b = imported.objects[i];
        same = a.database_name == b.database_name && a.object_name == b.object_name &&
               a.create_text == b.create_text && a.kind == b.kind &&
               a.entry_count == b.entry_count && a.tuple_bytes == b.tuple_bytes &&
               a.columns.size() == b.columns.size() && a.layouts.size() == b.layouts.size();
    }
    if (!same) finding("the manifest loads a different schema than the import had", state);
}

// What an import leaves behind, for comparing the window scan with the reference path.
struct Outcome {
    bool ok = false;
    std::string message;
    std::string notes;
    std::uint64_t total_entries = 0;
    std::vector<std::string> index_files;  // contents, by object number
};

std::string file_contents(const std::string& path) {
    kv::FileGuard file(kv::file_open(path, kv::FILE_MODE_READ));
    if (!file.valid()) return std::string();
    std::string bytes(static_cast<std::size_t>(kv::file_get_size(file.get())), '\0');
    bytes.resize(kv::file_read_full(file.get(), bytes.data(), bytes.size()));
    return bytes;
}

Outcome outcome_of(const kv::DumpState& state, bool ok) {
    Outcome o;
    o.ok = ok;
    o.message = state.message;
    o.notes = state.import_notes;
    o.total_entries = state.total_entries;
    for (std::uint32_t i = 0; ok && i < state.objects.size(); ++i) {
        o.index_files.push_back(file_contents(kv::index_file_path(state, i)));
    }
    return o;
}

void check_reference_path(const Outcome& fast, const std::string& dump, const std::string& root) {
    kv::DumpState state;
    kv::FileHandle lock = kv::INVALID_FILE;
    kv::reader_byte_path_only = true;
    const bool ok = kv::dump_open_cached(state, dump, root, true, nullptr, lock);
    kv::reader_byte_path_only = false;
    kv::file_close(lock);
    const Outcome reference = outcome_of(state, ok);
    if (fast.ok != reference.ok || fast.message != reference.message ||
        fast.notes != reference.notes || fast.total_entries != reference.total_entries ||
        fast.index_files != reference.index_files) {
        finding("the window scan and the byte path disagree", state);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string dump = kv::fuzz::scratch_folder() + "/dump.sql";
    static const std::string root = kv::fuzz::scratch_folder() + "/cache";
    static const std::string reference_root = kv::fuzz::scratch_folder() + "/reference";
    kv::fuzz::file_put(dump, data, size);
    {
        kv::DumpState state;
        kv::FileHandle lock = kv::INVALID_FILE;
        const bool ok = kv::dump_open_cached(state, dump, root, true, nullptr, lock);
        check_reference_path(outcome_of(state, ok), dump, reference_root);
        if (!ok) {
            if (state.message[0] == '\0') finding("failure without a message", state);
            if (lock != kv::INVALID_FILE) finding("failure kept the lock", state);
        } else {
            std::uint64_t sum = 0;
            for (const kv::SchemaObject& object : state.objects) sum += object.entry_count;
            if (sum != state.total_entries) finding("entry counts do not add up", state);
            if (state.total_entries <= MAX_TUPLES) {
                kv::DecodedRecord record;
                std::string line;
                for (std::uint32_t i = 0; i < state.objects.size(); ++i) {
                    if (state.objects[i].entry_count > 0) check_table(state, i, record, line);
                }
            }
            kv::file_close(lock);
            check_reload(state, dump, root);
        }
    }
    kv::fuzz::folder_clear(root);
    kv::fuzz::folder_clear(reference_root);
    return 0;
}
