// Interface texts (see view_text.h).
#include "ui/logic/view_text.h"

#include "foundation/message.h"
#include "records/value.h"

namespace kv {

namespace {

constexpr const char* NOTES_HEADER = "KOR-VANE DUMP BROWSER – IMPORT-HINWEISE\r\n\r\n";
constexpr const char* NOTES_NONE = "Keine besonderen Import-Hinweise.\r\n";
constexpr std::size_t NOTES_BODY_LIMIT = 131026;
constexpr const char* NOTES_CLOSING =
    "\r\nDer Browser führt kein SQL aus. Er zeigt INSERT-/REPLACE-VALUES in Dump-Reihenfolge. "
    "Defaults, UPDATE/DELETE, Constraints, Views und Routinen werden nicht ausgewertet. "
    "MySQL-Code in Versionskommentaren wird außer SQL_MODE nicht interpretiert.\r\n\r\n"
    "SQL-Ausdrücke werden als 'SQL:' gekennzeichnet. Fehlende INSERT-Spalten sind nicht dasselbe "
    "wie NULL.\r\n\r\n"
    "Der Cache benötigt die unveränderte Originaldatei. Cache-Erkennung: Pfad, Größe, "
    "Änderungszeit sowie Stichproben am Dateianfang/-ende; keine kryptografische "
    "Vollprüfung.\r\n\r\n"
    "Anwendung: 1.0.1 / native Windows x64\r\n";

std::string converted_or_empty(const std::string& bytes, Charset charset) {
    std::string out;
    if (!text_to_utf8(bytes, charset, out)) out.clear();
    return out;
}

// A name or type text as the structure view shows it: a text value's preview, cap 4,096.
std::string structure_cell(const std::string& bytes, Charset charset) {
    Value value;
    value.kind = VALUE_TEXT;
    value.text = bytes;
    std::string out;
    if (!value_display_text(value, charset, 4096, out)) out.clear();
    return out;
}

}  // namespace

std::string path_file_name(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string status_open_text(const DumpState& state) {
    char buffer[512];
    msg_format(buffer, sizeof buffer, "%s · %s Einträge · %s Positionsindex · %u Hinweise",
               state.loaded_from_cache ? "Cache geladen" : "Index erstellt",
               count_text(state.total_entries).c_str(),
               size_text(state.total_entries * 16).c_str(), state.note_count);
    return buffer;
}

std::string status_page_text(const DumpState& state) {
    std::string name = path_file_name(state.dump_path);
    std::string text(name.size() + 256, '\0');
    int n = msg_format(text.data(), text.size(),
                       "%s  ·  %s  ·  %s Einträge im Dump  ·  %u Hinweise  ·  Schreibgeschützt",
                       name.c_str(), size_text(state.dump_size).c_str(),
                       count_text(state.total_entries).c_str(), state.note_count);
    text.resize(n < 0 ? text.size() - 1 : static_cast<std::size_t>(n));
    return text;
}

std::string status_progress_text(const char* label, std::uint64_t done, std::uint64_t total,
                                 std::uint64_t count, bool cancel_requested) {
    if (cancel_requested) return "Abbruch angefordert – laufende Dateioperation wird beendet …";
    std::uint64_t thousandths = 0;
    if (total > 0) {
        // done * 1000 / total without overflow for totals of many gigabytes.
        thousandths = done >= total ? 1000
                                    : static_cast<std::uint64_t>(
                                          static_cast<long double>(done) * 1000.0L / total);
    }
    char buffer[256];
    msg_format(buffer, sizeof buffer, "%s …  %llu %%  ·  %s Einträge",
               label != nullptr ? label : "Datei vorbereiten",
               static_cast<unsigned long long>(thousandths / 10), count_text(count).c_str());
    return buffer;
}

std::string page_label_text(std::uint64_t offset, std::uint64_t total) {
    std::uint64_t first = total == 0 ? 0 : offset + 1;
    std::uint64_t last = std::min<std::uint64_t>(offset + 100, total);
    char buffer[256];
    msg_format(buffer, sizeof buffer, "%s–%s von %s", count_text(first).c_str(),
               count_text(last).c_str(), count_text(total).c_str());
    return buffer;
}

std::string info_label_text(std::uint64_t total, bool filter_active) {
    char buffer[256];
    msg_format(buffer, sizeof buffer,
               filter_active ? "%s Treffer · Filter aktiv · Groß-/Kleinschreibung beachten"
                             : "%s Einträge · Originalreihenfolge · 100 pro Seite",
               count_text(total).c_str());
    return buffer;
}

const char* object_kind_plural(ObjectKind kind) {
    switch (kind) {
        case OBJECT_VIEW: return "Views";
        case OBJECT_ROUTINE: return "Routinen";
        default: return "Tabellen";
    }
}

std::string breadcrumb_text(const SchemaObject& object, Charset charset) {
    return converted_or_empty(object.database_name, charset) + "  ›  " +
           object_kind_plural(object.kind) + "  ›  " +
           converted_or_empty(object.object_name, charset);
}

std::string import_notes_text(const DumpState& state) {
    std::string text = NOTES_HEADER;
    std::string body = state.import_notes.empty() ? NOTES_NONE : state.import_notes;
    if (text.size() + body.size() > NOTES_BODY_LIMIT) body.resize(NOTES_BODY_LIMIT - text.size());
    text += body;
    std::string closing = NOTES_CLOSING;
    if (text.size() + closing.size() > NOTES_TEXT_LIMIT) {
        closing.resize(NOTES_TEXT_LIMIT - text.size());
    }
    return text + closing;
}

std::string create_text_view(const SchemaObject& object, Charset charset) {
    std::string out;
    if (!text_to_utf8(object.create_text, charset, out)) return "Kein CREATE-Text vorhanden.";
    return out;
}

std::vector<StructureRow> structure_rows(const SchemaObject& object, Charset charset) {
    std::vector<StructureRow> rows;
    rows.reserve(object.columns.size());
    for (std::size_t i = 0; i < object.columns.size(); ++i) {
        rows.push_back({count_text(i + 1), structure_cell(object.columns[i].name, charset),
                        structure_cell(object.columns[i].type_text, charset)});
    }
    return rows;
}

}  // namespace kv
