// importer_schema_dump: imports every dump in tests/data and prints what the import learned
// (objects with kind, database, name, columns, layouts and entries with their tuple text, and
// the import notes), so that a reader can check the results by eye. Dumps whose file name
// starts with "fail_" are meant to fail: their message is printed instead. Each successful
// import is opened a second time, which must load the same schema from the cache.
// Exit code 0 when every dump behaves as expected, 1 otherwise.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cache/index_file.h"
#include "importer/open_sequence.h"
#include "tests/support/test_support.h"

namespace {

using namespace kv;

const char* kind_name(ObjectKind kind) {
    switch (kind) {
        case OBJECT_TABLE: return "Tabelle";
        case OBJECT_VIEW: return "View";
        case OBJECT_ROUTINE: return "Routine";
        case OBJECT_DATABASE: return "Datenbank";
    }
    return "?";
}

// One line of dump bytes: control bytes shown as \r, \n, \t or \xNN, cut after 70 bytes.
std::string visible(const std::string& bytes) {
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < 70; ++i) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else if (c < 32) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (bytes.size() > 70) out += "...";
    return out;
}

void print_state(const DumpState& state, const std::string& dump) {
    std::printf("  %zu Objekte, %llu Einträge, %u Hinweise\n", state.objects.size(),
                static_cast<unsigned long long>(state.total_entries), state.note_count);
    for (std::size_t n = 0; n < state.objects.size(); ++n) {
        const SchemaObject& o = state.objects[n];
        std::printf("  #%zu %s %s.%s\n", n, kind_name(o.kind), o.database_name.c_str(),
                    o.object_name.c_str());
        for (std::size_t c = 0; c < o.columns.size(); ++c) {
            std::printf("      Spalte %zu: %s | %s\n", c, o.columns[c].name.c_str(),
                        o.columns[c].type_text.c_str());
        }
        for (std::size_t l = 0; l < o.layouts.size(); ++l) {
            std::string numbers;
            for (std::uint32_t v : o.layouts[l].columns) {
                numbers += (numbers.empty() ? "" : ",") + std::to_string(v);
            }
            std::printf("      Layout %zu: (%s)\n", l, numbers.c_str());
        }
        if (o.entry_count == 0) continue;
        std::printf("      %llu Einträge, %llu Tupel-Bytes\n",
                    static_cast<unsigned long long>(o.entry_count),
                    static_cast<unsigned long long>(o.tuple_bytes));
        std::string index = test::read_file(index_file_path(state, static_cast<std::uint32_t>(n)));
        for (std::size_t at = 0; at + INDEX_ENTRY_SIZE <= index.size(); at += INDEX_ENTRY_SIZE) {
            IndexEntry e =
                index_entry_decode(reinterpret_cast<const unsigned char*>(index.data() + at));
            std::string tuple = e.offset < dump.size() ? dump.substr(e.offset, e.length) : "";
            std::printf("      @%llu +%u Layout %u%s %s\n",
                        static_cast<unsigned long long>(e.offset), e.length,
                        e.layout_word & LAYOUT_NUMBER_MASK,
                        (e.layout_word & LAYOUT_NO_BACKSLASH) ? " NO_BACKSLASH_ESCAPES" : "",
                        visible(tuple).c_str());
        }
    }
    std::string notes = state.import_notes;
    std::size_t start = 0;
    while (start < notes.size()) {
        std::size_t end = notes.find("\r\n", start);
        if (end == std::string::npos) end = notes.size();
        std::printf("  Hinweis: %s\n", notes.substr(start, end - start).c_str());
        start = end + 2;
    }
}

// Imports one dump and prints it; true when the outcome is the expected one.
bool show_dump(const std::filesystem::path& file) {
    const std::string name = file.filename().string();
    const bool meant_to_fail = name.rfind("fail_", 0) == 0;
    const std::string path = file.generic_string();
    const std::string dump = test::read_file(path);
    test::TempDir cache;
    std::printf("== %s (%zu Bytes)\n", name.c_str(), dump.size());

    DumpState state;
    FileHandle lock = INVALID_FILE;
    const bool ok = dump_open_cached(state, path, cache.str(), true, nullptr, lock);
    FileGuard guard(lock);
    if (!ok) {
        std::printf("  Fehler: %s\n", state.message);
        if (!meant_to_fail) std::printf("  UNERWARTET: der Import sollte gelingen\n");
        return meant_to_fail;
    }
    print_state(state, dump);
    if (meant_to_fail) {
        std::printf("  UNERWARTET: der Import sollte scheitern\n");
        return false;
    }
    guard.reset();

    DumpState again;
    FileHandle second = INVALID_FILE;
    const bool reopened = dump_open_cached(again, path, cache.str(), false, nullptr, second);
    FileGuard second_guard(second);
    const bool same = reopened && again.loaded_from_cache == 1 &&
                      again.objects.size() == state.objects.size() &&
                      again.total_entries == state.total_entries &&
                      again.import_notes == state.import_notes &&
                      again.note_count == state.note_count;
    std::printf("  Zweites Öffnen: %s\n", same ? "Cache geladen, gleiches Schema"
                                               : "UNERWARTET: Cache nicht gleich geladen");
    return same;
}

}  // namespace

int main(int argc, char** argv) {
    std::filesystem::path folder = argc > 1 ? argv[1] : KV_TEST_DATA_DIR;
    std::vector<std::filesystem::path> files;
    std::error_code ec;
    for (const auto& item : std::filesystem::directory_iterator(folder, ec)) {
        if (item.path().extension() == ".sql") files.push_back(item.path());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) {
        std::printf("Keine Dumps in %s\n", folder.generic_string().c_str());
        return 1;
    }
    int unexpected = 0;
    for (const auto& file : files) {
        if (!show_dump(file)) ++unexpected;
        std::printf("\n");
    }
    std::printf("%zu Dumps, %d unerwartet\n", files.size(), unexpected);
    return unexpected == 0 ? 0 : 1;
}
