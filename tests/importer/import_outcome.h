// What an import leaves behind, written out as text: the failure message with its byte
// position, or every object with create text, columns, layouts and each index entry with its
// tuple bytes, then the report's facts and the notes. The golden-file test, the window-scan differential test and
// fuzz_import compare imports through it. The reference for the window scans is the reader's
// byte-by-byte path (reader_byte_path_only): both must leave the same text.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cache/file_names.h"
#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "importer/chunk_scan.h"
#include "importer/dump_reader.h"
#include "importer/open_sequence.h"

namespace kv::test {

inline std::string file_bytes(const std::string& path) {
    FileGuard file(file_open(path, FILE_MODE_READ));
    if (!file.valid()) return "<keine Datei>";
    std::string bytes(static_cast<std::size_t>(file_get_size(file.get())), '\0');
    bytes.resize(file_read_full(file.get(), bytes.data(), bytes.size()));
    return bytes;
}

// Index entries read here, independently of the index writer: 8 + 4 + 4 bytes little-endian
// (every host of the tests is little-endian).
inline std::vector<IndexEntry> index_entries(const DumpState& state, std::uint32_t object) {
    static_assert(sizeof(IndexEntry) == 16);
    const std::string b = file_bytes(cache_index_path(state, object));
    std::vector<IndexEntry> out(b.size() / 16);
    std::memcpy(out.data(), b.data(), out.size() * 16);
    if (b.size() % 16 != 0) out.push_back({~0ull, 0, 0});  // shows up as a broken entry
    return out;
}

// Bytes as one line: control bytes as \xNN, cut after max bytes.
inline std::string shown(const std::string& bytes, std::size_t max = 160) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
        char hex[8] = {bytes[i], 0};
        const unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c < 32 || c == 127) std::snprintf(hex, sizeof hex, "\\x%02X", c);
        out += hex;
    }
    return bytes.size() > max ? out + "..." : out;
}

inline std::string describe(const DumpState& s, const Status& status, const std::string& dump) {
    if (!status.ok()) {
        const bool manifest = file_bytes(s.cache_folder + "/manifest.kvd") != "<keine Datei>";
        return "Fehler: " + status_text(status) + (manifest ? " MANIFEST GEBLIEBEN" : "") + "\n";
    }
    static const char* const KINDS[] = {"Tabelle", "View", "Routine", "Datenbank"};
    std::string out = std::to_string(s.total_entries) + " Einträge, " +
                      std::to_string(s.note_count) + " Hinweise\n";
    for (std::uint32_t n = 0; n < s.objects.size(); ++n) {
        const SchemaObject& o = s.objects[n];
        out += "#" + std::to_string(n) + " " + KINDS[o.kind] + " " + o.database_name + "." +
               o.object_name + " (" + std::to_string(o.create_text.size()) +
               "): " + shown(o.create_text, 2000) + "\n";
        for (const Column& c : o.columns) out += "  Spalte " + c.name + " | " + c.type_text + "\n";
        for (const ColumnLayout& l : o.layouts) {
            out += "  Layout";
            for (std::uint32_t v : l.columns) out += " " + std::to_string(v);
            out += "\n";
        }
        if (o.entry_count == 0) continue;
        out += "  " + std::to_string(o.entry_count) + " Einträge, " +
               std::to_string(o.tuple_bytes) + " Bytes, Zeichensatz \"" + o.data_charset + "\"\n";
        for (const IndexEntry& e : index_entries(s, n)) {
            out += "  @" + std::to_string(e.offset) + " +" + std::to_string(e.length) + " " +
                   (e.layout_word & 0x80000000u ? "NB " : "") +
                   std::to_string(e.layout_word & LAYOUT_NUMBER_MASK) + " " +
                   shown(e.offset < dump.size() ? dump.substr(e.offset, e.length) : "") + "\n";
        }
    }
    const DumpReport& r = s.report;
    out += "Bericht: Werkzeug " + std::to_string(static_cast<std::uint32_t>(r.tool)) + " \"" +
           r.tool_version + "\" Server \"" + r.server_version + "\" Zeichensatz \"" + r.charset +
           "\" Abschluss " + std::to_string(r.final_line) + " offen " +
           std::to_string(r.ends_in_statement) + " | " + std::to_string(r.create_statements) +
           " CREATE " + std::to_string(r.insert_statements) + " INSERT " +
           std::to_string(r.other_statements) + " andere " + std::to_string(r.comment_bytes) +
           " Kommentarbytes\n";
    std::string notes = s.import_notes;  // one a line, each ended by CR LF
    for (std::size_t at; (at = notes.find("\r\n")) != std::string::npos;) {
        notes.replace(at, 2, "\n");
    }
    return out + notes;
}

// A new import of the dump at path; the state stays open for reading tuples. starting_mode 1
// starts under NO_BACKSLASH_ESCAPES; threads above 1 add helper threads (chunk_scan.h).
inline bool import_described(DumpState& state, std::string& text, const std::string& path,
                             const std::string& root, const std::string& dump, bool byte_path,
                             std::uint32_t starting_mode = 0, std::uint32_t threads = 1) {
    ProgressSink sink{nullptr, nullptr, escape_mode_of(starting_mode != 0), threads};
    FileHandle lock = INVALID_FILE;
    reader_byte_path_only = byte_path;
    const Status status = dump_open_cached(state, path, root, true, &sink, lock);
    reader_byte_path_only = false;
    text = describe(state, status, dump) +
           (!status.ok() && lock != INVALID_FILE ? "SPERRE GEBLIEBEN\n" : "");
    file_close(lock);
    return status.ok();
}

// A second open without a new index: empty unless the manifest loaded.
inline std::string reload_described(const std::string& path, const std::string& root,
                                    const std::string& dump) {
    DumpState state;
    FileHandle lock = INVALID_FILE;
    const Status status = dump_open_cached(state, path, root, false, nullptr, lock);
    file_close(lock);
    return status.ok() && state.loaded_from_cache == 1 ? describe(state, status, dump)
                                                       : std::string();
}

// The ways a threaded import is checked against the single-thread one: threads in all, and
// the dump cut into about pieces chunks (of at least 16 bytes), so that chunk ends fall inside
// strings, comments, headers and tuples.
struct ThreadedWay {
    std::uint32_t threads;
    std::uint64_t pieces;
};
inline constexpr ThreadedWay THREADED_WAYS[] = {{2, 5}, {2, 61}, {4, 397}};

// The dump at path imported by the threaded way over the cache at root.
inline std::string import_threaded(const std::string& path, const std::string& root,
                                   const std::string& dump, std::uint32_t starting_mode,
                                   const ThreadedWay& way) {
    DumpState state;
    std::string text;
    import_chunk_size = std::max<std::uint64_t>(16, dump.size() / way.pieces);
    import_described(state, text, path, root, dump, false, starting_mode, way.threads);
    import_chunk_size = IMPORT_CHUNK_SIZE;
    return text;
}

// The dump at path imported through the window scans and then, over the same cache (a
// re-import), through the byte path and with helper threads: the first outcome, followed by
// each other one that differs.
inline std::string import_both_ways(const std::string& path, const std::string& dump,
                                    std::uint32_t starting_mode) {
    std::string out[2];
    for (int byte_path = 0; byte_path < 2; ++byte_path) {
        DumpState state;
        import_described(state, out[byte_path], path, path + ".cache", dump, byte_path != 0,
                         starting_mode);
    }
    std::string text = out[1] == out[0] ? out[0] : out[0] + "UNTERSCHIED im Byte-Pfad:\n" + out[1];
    for (const ThreadedWay& way : THREADED_WAYS) {
        const std::string threaded = import_threaded(path, path + ".cache", dump, starting_mode, way);
        if (threaded == out[0]) continue;
        text += "UNTERSCHIED mit " + std::to_string(way.threads) + " Threads in " +
                std::to_string(way.pieces) + " Stücken:\n" + threaded;
    }
    return text;
}

}  // namespace kv::test
