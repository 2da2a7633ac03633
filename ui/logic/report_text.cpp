// The report lines of the import notes (see report_text.h).
#include "ui/logic/report_text.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "foundation/messages.h"
#include "records/display_text.h"
#include "ui/logic/format_text.h"

namespace kv {

namespace {

constexpr std::size_t NAME_SHOWN_BYTES = 80;

// The tools' names as they write them, by DumpTool number (unknown has its German word).
constexpr const char* TOOL_NAMES[DUMP_TOOL_COUNT] = {
    "",           "mysqldump", "mariadb-dump", "mysqlpump",   "phpMyAdmin",
    "HeidiSQL",   "Navicat",   "Adminer",      "SQLyog",      "Sequel Pro",
    "Sequel Ace", "TablePlus", "MySQL-Front",  "EMS SQL Manager", "dbForge Studio",
};

// How a declared character set is shown: with the label of the display charset that fits,
// as the user finds it in the list; UTF-8 needs no advice.
enum class CharsetFit { utf8, umlauts, script };
struct CharsetAdvice {
    std::string_view declared;  // as MySQL names it
    Charset display;            // the display charset that fits
    CharsetFit fit;
};
constexpr CharsetAdvice CHARSET_ADVICE[] = {
    {"utf8", CHARSET_UTF8, CharsetFit::utf8},
    {"utf8mb3", CHARSET_UTF8, CharsetFit::utf8},
    {"utf8mb4", CHARSET_UTF8, CharsetFit::utf8},
    {"ascii", CHARSET_UTF8, CharsetFit::utf8},
    {"latin1", CHARSET_WINDOWS_1252, CharsetFit::umlauts},
    {"cp1250", CHARSET_WINDOWS_1250, CharsetFit::umlauts},
    {"latin2", CHARSET_ISO_8859_2, CharsetFit::umlauts},
    {"cp1257", CHARSET_WINDOWS_1257, CharsetFit::umlauts},
    {"latin5", CHARSET_ISO_8859_9, CharsetFit::umlauts},
    {"cp1251", CHARSET_WINDOWS_1251, CharsetFit::script},
    {"koi8r", CHARSET_KOI8_R, CharsetFit::script},
    {"greek", CHARSET_ISO_8859_7, CharsetFit::script},
    {"cp1256", CHARSET_WINDOWS_1256, CharsetFit::script},
};

std::string line(std::string text) { return text + "\r\n"; }

std::string writer_line(const DumpReport& r) {
    const auto tool = static_cast<std::uint32_t>(r.tool);
    std::string writer = tool == 0 || tool >= DUMP_TOOL_COUNT ? msg_text(Msg::report_tool_unknown)
                                                              : TOOL_NAMES[tool];
    if (tool != 0 && !r.tool_version.empty()) writer += " " + r.tool_version;
    if (r.server_version.empty()) return format_text(msg_text(Msg::report_writer), writer.c_str());
    return format_text(msg_text(Msg::report_writer_server), writer.c_str(),
                       r.server_version.c_str());
}

std::string whole_line(const DumpReport& r) {
    const auto tool = static_cast<std::uint32_t>(r.tool);
    if (tool == 0 || tool >= DUMP_TOOL_COUNT) {
        return msg_text(r.ends_in_statement ? Msg::report_open_statement : Msg::report_unchecked);
    }
    const bool whole = r.final_line && !r.ends_in_statement;
    return format_text(msg_text(whole ? Msg::report_whole : Msg::report_truncated),
                       TOOL_NAMES[tool]);
}

std::string charset_line(const DumpReport& r) {
    if (r.charset.empty()) return msg_text(Msg::report_charset_none);
    const char* name = r.charset.c_str();
    for (const CharsetAdvice& a : CHARSET_ADVICE) {
        if (a.declared != r.charset) continue;
        const char* label = msg_text(CHARSETS[a.display].label);
        switch (a.fit) {
            case CharsetFit::utf8:
                return format_text(msg_text(Msg::report_charset_fits), name);
            case CharsetFit::umlauts:
                return format_text(msg_text(Msg::report_charset_umlauts), name, label);
            case CharsetFit::script:
                return format_text(msg_text(Msg::report_charset_script), name, label);
        }
    }
    return format_text(msg_text(Msg::report_charset_unsupported), name);
}

std::string counts_line(const DumpState& state) {
    const DumpReport& r = state.report;
    return format_text(msg_text(Msg::report_counts), count_text(r.create_statements).c_str(),
                       count_text(r.insert_statements).c_str(),
                       count_text(r.other_statements).c_str(),
                       count_text(state.total_entries).c_str(), size_text(r.comment_bytes).c_str());
}

// `database`.`name`, cut on a character boundary.
std::string shown_name(const SchemaObject& o) {
    std::string name = "`" + o.database_name + "`.`" + o.object_name + "`";
    if (name.size() <= NAME_SHOWN_BYTES) return name;
    std::size_t n = NAME_SHOWN_BYTES;
    while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80) --n;
    return name.substr(0, n) + "\xE2\x80\xA6";  // "…"
}

// The tables with tuples, largest first (object order among equals), the first few of them.
std::string tables_line(const DumpState& state) {
    std::vector<const SchemaObject*> tables;
    for (const SchemaObject& o : state.objects) {
        if (o.kind == OBJECT_TABLE && o.entry_count > 0) tables.push_back(&o);
    }
    if (tables.empty()) return msg_text(Msg::report_tables_none);
    const std::size_t shown = std::min(tables.size(), REPORT_TABLES_SHOWN);
    std::partial_sort(tables.begin(), tables.begin() + static_cast<std::ptrdiff_t>(shown),
                      tables.end(), [](const SchemaObject* a, const SchemaObject* b) {
                          return a->tuple_bytes > b->tuple_bytes ||
                                 (a->tuple_bytes == b->tuple_bytes && a < b);
                      });
    std::string list;
    for (std::size_t i = 0; i < shown; ++i) {
        if (i > 0) list += " \xC2\xB7 ";  // " · "
        list += format_text(msg_text(Msg::report_table_entry), shown_name(*tables[i]).c_str(),
                            size_text(tables[i]->tuple_bytes).c_str());
    }
    if (shown == tables.size()) return format_text(msg_text(Msg::report_tables_all), list.c_str());
    return format_text(msg_text(Msg::report_tables_largest), static_cast<unsigned>(shown),
                       count_text(tables.size()).c_str(), list.c_str());
}

}  // namespace

std::string dump_report_text(const DumpState& state) {
    return line(writer_line(state.report)) + line(whole_line(state.report)) +
           line(charset_line(state.report)) + line(counts_line(state)) + line(tables_line(state));
}

}  // namespace kv
