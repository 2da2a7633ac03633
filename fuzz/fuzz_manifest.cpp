// Fuzz target: loading an arbitrary manifest next to index files of arbitrary sizes.
//
// Input layout: one byte k (its low three bits give 0..7 index files), then k little-endian
// 16-bit sizes in bytes for the index files of objects 0..k-1, then the manifest bytes. When
// the manifest part is long enough to hold the header's identity fields, the dump state takes
// them over (size, time, fingerprint), so the header check passes and the body is reached.
// A load must either fail with the state's schema, notes and counts empty, or succeed with a
// schema that respects every limit the rest of the system relies on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "cache/manifest.h"
#include "foundation/dump_state.h"
#include "fuzz/fuzz_support.h"

namespace {

constexpr std::size_t IDENTITY_OFFSET = 12;  // after the 12-byte magic
constexpr std::size_t MAX_INDEX_FILES = 7;

[[noreturn]] void finding(const char* what) {
    std::fprintf(stderr, "fuzz_manifest: %s\n", what);
    std::abort();
}

std::uint64_t le64(const std::uint8_t* p) {
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    return v;
}

void check_loaded(const kv::DumpState& state, const std::vector<std::uint64_t>& sizes) {
    if (state.loaded_from_cache != 1) finding("loaded_from_cache not set");
    if (state.objects.size() > kv::MAX_OBJECTS) finding("too many objects");
    if (state.import_notes.size() > kv::MAX_NOTES_BYTES) finding("notes too long");
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < state.objects.size(); ++i) {
        const kv::SchemaObject& object = state.objects[i];
        if (object.kind < kv::OBJECT_TABLE || object.kind > kv::OBJECT_DATABASE) {
            finding("object kind out of range");
        }
        if (object.columns.size() > kv::MAX_COLUMNS) finding("too many columns");
        if (object.entry_count > state.dump_size || object.tuple_bytes > state.dump_size) {
            finding("counts beyond the dump size");
        }
        for (const kv::ColumnLayout& layout : object.layouts) {
            if (layout.columns.size() > object.columns.size()) finding("layout too long");
            for (std::uint32_t c : layout.columns) {
                if (c >= object.columns.size()) finding("layout names a missing column");
            }
        }
        if (object.entry_count > 0) {
            if (object.kind != kv::OBJECT_TABLE || object.layouts.empty()) {
                finding("entries without a table layout");
            }
            if (i >= sizes.size() || sizes[i] != object.entry_count * kv::INDEX_ENTRY_SIZE) {
                finding("entries without a matching index file");
            }
        }
        sum += object.entry_count;
    }
    if (sum != state.total_entries) finding("entry counts do not add up");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string folder = kv::fuzz::scratch_folder() + "/cache";
    static const std::vector<unsigned char> zeros(65535, 0);
    if (size < 1) return 0;
    const std::size_t k = data[0] & 7;
    if (size < 1 + 2 * k) return 0;
    kv::dir_ensure(folder);

    kv::DumpState state;
    state.cache_folder = folder;
    std::vector<std::uint64_t> sizes;
    for (std::size_t i = 0; i < k && i < MAX_INDEX_FILES; ++i) {
        const std::size_t bytes = data[1 + 2 * i] | (data[2 + 2 * i] << 8);
        sizes.push_back(bytes);
        kv::fuzz::file_put(kv::index_file_path(state, static_cast<std::uint32_t>(i)), zeros.data(),
                           bytes);
    }
    const std::uint8_t* manifest = data + 1 + 2 * k;
    const std::size_t manifest_size = size - 1 - 2 * k;
    kv::fuzz::file_put(folder + "/manifest.kvd", manifest, manifest_size);

    if (manifest_size >= IDENTITY_OFFSET + 24) {
        state.dump_size = le64(manifest + IDENTITY_OFFSET);
        state.dump_time = le64(manifest + IDENTITY_OFFSET + 8);
        state.fingerprint = le64(manifest + IDENTITY_OFFSET + 16);
    }
    if (kv::manifest_load(state)) {
        check_loaded(state, sizes);
    } else if (!state.objects.empty() || !state.import_notes.empty() || state.note_count != 0 ||
               state.loaded_from_cache != 0) {
        finding("a rejected manifest left schema or notes behind");
    }
    kv::fuzz::folder_clear(folder);
    return 0;
}
