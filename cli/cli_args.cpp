// Argument parsing of korvane-dump (see cli_args.h).
#include "cli/cli_args.h"

#include <charconv>

namespace kv {

namespace {

struct CommandName {
    const char* name;
    CliCommand command;
    int min_args;  // positional arguments after DUMP
    int max_args;
};

const CommandName COMMANDS[] = {
    {"open", CLI_OPEN, 0, 0},           {"objects", CLI_OBJECTS, 0, 0},
    {"tree", CLI_TREE, 0, 0},           {"notes", CLI_NOTES, 0, 0},
    {"structure", CLI_STRUCTURE, 1, 1}, {"sql", CLI_SQL, 1, 1},
    {"page", CLI_PAGE, 1, 2},           {"record", CLI_RECORD, 2, 2},
    {"filter", CLI_FILTER, 1, 1},       {"export", CLI_EXPORT, 2, 2},
    {"tuple", CLI_TUPLE, 3, 3},
};

bool parse_number(const std::string& text, std::uint64_t& out) {
    if (text.empty()) return false;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

bool parse_charset(const std::string& text, Charset& out) {
    if (text == "utf-8" || text == "utf8") {
        out = CHARSET_UTF8;
    } else if (text == "windows-1252" || text == "cp1252") {
        out = CHARSET_WINDOWS_1252;
    } else if (text == "latin-1" || text == "latin1") {
        out = CHARSET_LATIN1;
    } else {
        return false;
    }
    return true;
}

bool parse_operator(const std::string& text, FilterOp& out) {
    if (text == "contains") out = FilterOp::contains;
    else if (text == "equals") out = FilterOp::equals;
    else if (text == "is-null") out = FilterOp::is_null;
    else if (text == "is-not-null") out = FilterOp::is_not_null;
    else return false;
    return true;
}

}  // namespace

const char* cli_usage() {
    return "Aufruf: korvane-dump [OPTIONEN] BEFEHL DUMP [ARGUMENTE]\n"
           "\n"
           "Befehle:\n"
           "  open DUMP                         Cache laden oder Dump indexieren\n"
           "  objects DUMP                      Schemaobjekte auflisten\n"
           "  tree DUMP                         Baum der Datenbanken und Tabellen\n"
           "  notes DUMP                        Import-Hinweise\n"
           "  structure DUMP OBJEKT             Spalten und Definitionen\n"
           "  sql DUMP OBJEKT                   CREATE-Text\n"
           "  page DUMP TABELLE [SEITE]         eine Seite mit 100 Zeilen\n"
           "  record DUMP TABELLE ZEILE         Datensatzdetails\n"
           "  filter DUMP TABELLE [FILTER] [--page N]\n"
           "  export DUMP TABELLE DATEI [FILTER]  CSV-Export\n"
           "  tuple DUMP TABELLE ZEILE DATEI    SQL-Rohtupel speichern\n"
           "\n"
           "OBJEKT/TABELLE: #N (Nummer aus 'objects'), DATENBANK.NAME oder NAME.\n"
           "FILTER: [--column NAME] [--op contains|equals|is-null|is-not-null] [--text TEXT]\n"
           "\n"
           "Optionen:\n"
           "  --charset utf-8|windows-1252|latin-1   Zeichensatz der Anzeige (Standard UTF-8)\n"
           "  --reindex                              neu indexieren\n"
           "  --cache-root ORDNER                    anderer Cache-Ordner\n"
           "  --threads N                            Threads beim Indexieren, 1 bis 8\n"
           "                                         (Standard: einer je Prozessor)\n"
           "  -h, --help                             diese Hilfe\n";
}

bool cli_parse(const std::vector<std::string>& args, CliOptions& options, std::string& error) {
    std::vector<std::string> positional;
    bool page_given = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) {
                error = "Option " + a + " erwartet einen Wert.";
                return false;
            }
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "-h" || a == "--help") {
            options.help = true;
        } else if (a == "--reindex") {
            options.reindex = true;
        } else if (a == "--charset") {
            if (!value(v)) return false;
            if (!parse_charset(v, options.charset)) {
                error = "Unbekannter Zeichensatz: " + v;
                return false;
            }
        } else if (a == "--threads") {
            if (!value(v)) return false;
            if (v.size() != 1 || v[0] < '1' || v[0] > '8') {
                error = "--threads erwartet eine Zahl von 1 bis 8.";
                return false;
            }
            options.threads = static_cast<std::uint32_t>(v[0] - '0');
        } else if (a == "--cache-root") {
            if (!value(options.cache_root)) return false;
        } else if (a == "--column") {
            if (!value(options.filter_column)) return false;
            options.filter_given = true;
        } else if (a == "--op") {
            if (!value(v)) return false;
            if (!parse_operator(v, options.filter.op)) {
                error = "Unbekannter Filteroperator: " + v;
                return false;
            }
            options.filter_given = true;
        } else if (a == "--text") {
            if (!value(options.filter.text)) return false;
            options.filter_given = true;
        } else if (a == "--page") {
            if (!value(options.filter_page)) return false;
            page_given = true;
        } else if (a == "--") {
            positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1,
                              args.end());
            break;
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            error = "Unbekannte Option: " + a;
            return false;
        } else {
            positional.push_back(a);
        }
    }
    if (options.help) return true;
    if (positional.empty()) {
        error = "Kein Befehl angegeben.";
        return false;
    }
    const CommandName* command = nullptr;
    for (const auto& c : COMMANDS) {
        if (positional[0] == c.name) command = &c;
    }
    if (command == nullptr) {
        error = "Unbekannter Befehl: " + positional[0];
        return false;
    }
    options.command = command->command;
    if (positional.size() < 2) {
        error = "Kein Dump angegeben.";
        return false;
    }
    options.dump = positional[1];
    int extra = static_cast<int>(positional.size()) - 2;
    if (extra < command->min_args || extra > command->max_args) {
        error = "Falsche Anzahl Argumente für '" + positional[0] + "'.";
        return false;
    }
    if (extra >= 1) options.object = positional[2];
    bool filter_allowed = options.command == CLI_FILTER || options.command == CLI_EXPORT;
    if (options.filter_given && !filter_allowed) {
        error = "Filteroptionen gelten nur für 'filter' und 'export'.";
        return false;
    }
    if (page_given && options.command != CLI_FILTER) {
        error = "--page gilt nur für 'filter'.";
        return false;
    }
    switch (options.command) {
        case CLI_PAGE:
            if (extra == 2) options.page = positional[3];
            break;
        case CLI_RECORD:
        case CLI_TUPLE:
            if (!parse_number(positional[3], options.number) || options.number == 0) {
                error = "Ungültige Zeilennummer: " + positional[3];
                return false;
            }
            if (options.command == CLI_TUPLE) options.file = positional[4];
            break;
        case CLI_EXPORT:
            options.file = positional[3];
            break;
        default:
            break;
    }
    return true;
}

}  // namespace kv
