// One manifest case, shared by the manifest tests and the fuzz target fuzz_manifest. Layout:
// byte k (its low three bits: 0..7 index files), k little-endian 16-bit sizes of the index
// files of objects 0..k-1, then the manifest bytes. The dump state takes the identity fields
// of the manifest's header (size, time, fingerprint), so the header check passes and the body
// is reached. A load must fail leaving schema, notes and counts empty, or succeed with a schema
// within every limit the rest of the system relies on.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cache/file_names.h"
#include "cache/index_file.h"
#include "cache/manifest.h"

namespace kv {

// Loads the case into state, whose cache_folder must hold no files; returns the rule the
// result breaks, or nullptr.
inline const char* load_manifest_case(DumpState& state, const std::uint8_t* data, std::size_t size) {
    const std::size_t k = size > 0 ? data[0] & 7 : 0;
    if (size < 1 + 2 * k) return nullptr;
    auto put = [](const std::string& path, const void* bytes, std::size_t count) {
        file_write_all(FileGuard(file_open(path, FILE_MODE_CREATE)).get(), bytes, count);
    };
    static const std::vector<unsigned char> zeros(65535, 0);
    std::vector<std::uint64_t> sizes;
    for (std::size_t i = 0; i < k; ++i) {
        sizes.push_back(data[1 + 2 * i] | (data[2 + 2 * i] << 8));
        put(cache_index_path(state, static_cast<std::uint32_t>(i)), zeros.data(), sizes.back());
    }
    const std::uint8_t* manifest = data + 1 + 2 * k;
    put(state.cache_folder + "/manifest.kvd", manifest, size - 1 - 2 * k);
    std::uint64_t* identity[] = {&state.dump_size, &state.dump_time, &state.fingerprint};
    for (int f = 0; f < 3 && size - 1 - 2 * k >= 36; ++f) {
        std::memcpy(identity[f], manifest + 12 + 8 * f, 8);  // little-endian host
    }
    if (!manifest_load(state)) {
        const bool empty = state.objects.empty() && state.import_notes.empty() && state.note_count == 0;
        return empty && state.loaded_from_cache == 0 ? nullptr : "a rejected manifest left schema or notes behind";
    }
    if (state.loaded_from_cache != 1 || state.objects.size() > MAX_OBJECTS ||
        state.import_notes.size() > MAX_NOTES_BYTES)
        return "not marked loaded, or too many objects or notes";
    std::uint64_t sum = 0;
    for (std::size_t i = 0; i < state.objects.size(); ++i) {
        const SchemaObject& o = state.objects[i];
        if (o.kind < OBJECT_TABLE || o.kind > OBJECT_DATABASE || o.columns.size() > MAX_COLUMNS ||
            o.entry_count > state.dump_size || o.tuple_bytes > state.dump_size)
            return "kind, column count or counts beyond their limits";
        for (const ColumnLayout& layout : o.layouts) {
            std::vector<bool> seen(o.columns.size());
            for (std::uint32_t c : layout.columns) {
                if (c >= o.columns.size() || seen[c]) return "layout names a missing or repeated column";
                seen[c] = true;
            }
        }
        if (o.entry_count > 0 && (o.kind != OBJECT_TABLE || o.layouts.empty() || i >= k ||
                                  sizes[i] != o.entry_count * INDEX_ENTRY_SIZE))
            return "entries without a table layout or a matching index file";
        sum += o.entry_count;
    }
    return sum == state.total_entries ? nullptr : "entry counts do not add up";
}

}  // namespace kv
