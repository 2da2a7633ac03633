// Report facts from the dump's first and last lines and its charset declarations (see
// dump_report.h). The header lines are the tools' own, as they write them; a header in another
// language (phpMyAdmin and HeidiSQL translate "Server version") is matched by its label forms.
// Everything here works on at most 8 KiB of lines or one statement text of at most 2 MiB, and
// keeps at most 256 bytes of any version and 64 of a charset name.
#include "importer/dump_report.h"

#include <cstring>
#include <initializer_list>
#include <new>
#include <string>

namespace kv {

namespace {

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool blank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f'; }

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

// Position of needle in s, ignoring the case of ASCII letters; npos when absent.
std::size_t find_nocase(std::string_view s, std::string_view needle) {
    if (needle.size() > s.size()) return std::string_view::npos;
    for (std::size_t i = 0; i + needle.size() <= s.size(); ++i) {
        std::size_t k = 0;
        while (k < needle.size() && lower(s[i + k]) == lower(needle[k])) ++k;
        if (k == needle.size()) return i;
    }
    return std::string_view::npos;
}

bool starts_nocase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && find_nocase(s.substr(0, prefix.size()), prefix) == 0;
}

// The text after the first occurrence of marker, up to the first of the stop texts; "" when
// marker is absent.
std::string_view between(std::string_view s, std::string_view marker,
                         std::initializer_list<std::string_view> stops = {}) {
    const std::size_t at = find_nocase(s, marker);
    if (at == std::string_view::npos) return {};
    std::string_view rest = s.substr(at + marker.size());
    for (std::string_view stop : stops) {
        const std::size_t end = find_nocase(rest, stop);
        if (end != std::string_view::npos) rest = rest.substr(0, end);
    }
    return trimmed(rest);
}

// A version as shown: runs of blanks as one space, control bytes dropped, capped at the limit
// on a character boundary.
void keep_version(std::string& out, std::string_view text) {
    if (!out.empty() || text.empty()) return;
    try {
        for (char c : text) {
            if (blank(c)) {
                if (!out.empty() && out.back() != ' ') out += ' ';
            } else if (static_cast<unsigned char>(c) >= 32 && c != 127) {
                out += c;
            }
        }
        if (out.size() > REPORT_MAX_VERSION_BYTES) {
            std::size_t n = REPORT_MAX_VERSION_BYTES;
            while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80) --n;
            out.resize(n);
        }
        while (!out.empty() && out.back() == ' ') out.pop_back();
    } catch (const std::bad_alloc&) {
        out.clear();
    }
}

constexpr std::size_t NONE = std::string_view::npos;

struct ToolRule {
    DumpTool tool;
    std::string_view marker;  // where the tool names itself
    bool anywhere;            // else only at the start of the line
};

constexpr ToolRule TOOL_RULES[] = {
    {DumpTool::mysqldump, "MySQL dump ", false},
    {DumpTool::mariadb_dump, "MariaDB dump ", false},
    {DumpTool::mysqlpump, "MySQL pump utility", true},
    {DumpTool::phpmyadmin, "phpMyAdmin SQL Dump", false},
    {DumpTool::heidisql, "HeidiSQL Version:", false},
    {DumpTool::navicat, "Navicat ", false},
    {DumpTool::adminer, "Adminer ", false},
    {DumpTool::sqlyog, "SQLyog ", false},
    {DumpTool::sequel_pro, "Sequel Pro SQL dump", false},
    {DumpTool::sequel_ace, "Sequel Ace SQL dump", false},
    {DumpTool::tableplus, "TablePlus ", false},
    {DumpTool::mysql_front, "MySQL-Front ", true},
    {DumpTool::ems_sql_manager, "SQL Manager ", false},
    {DumpTool::dbforge, "dbForge Studio", true},
};

// What the line that names the tool says of its version (and Adminer's of the server).
void tool_line_version(DumpReport& r, const ToolRule& rule, std::string_view body) {
    const std::string_view rest = between(body, rule.marker);
    switch (rule.tool) {
        case DumpTool::mysqldump:
        case DumpTool::mariadb_dump:
            keep_version(r.tool_version, between(body, rule.marker, {", for "}));
            break;
        case DumpTool::mysqlpump:
            keep_version(r.tool_version, between(body, "version:", {","}));
            break;
        case DumpTool::adminer:  // "Adminer 4.8.1 MySQL 8.0.40 dump"
            keep_version(r.tool_version, rest.substr(0, rest.find(' ')));
            if (rest.find(' ') != NONE) {
                keep_version(r.server_version, between(rest.substr(rest.find(' ')), " ", {" dump"}));
            }
            break;
        case DumpTool::ems_sql_manager:
            keep_version(r.tool_version, between(body, "for MySQL"));
            break;
        case DumpTool::dbforge:
            keep_version(r.tool_version, between(body, "Version "));
            break;
        case DumpTool::heidisql:
        case DumpTool::sqlyog:
        case DumpTool::tableplus:
        case DumpTool::mysql_front:
            keep_version(r.tool_version, rest);
            break;
        default:  // the version follows on a line of its own, or the header states none
            break;
    }
}

// The line that names the tool, while none is known yet.
bool tool_line(DumpReport& r, std::string_view body) {
    for (const ToolRule& rule : TOOL_RULES) {
        const std::size_t at = find_nocase(body, rule.marker);
        if (at == NONE || (!rule.anywhere && at != 0)) continue;
        if (rule.tool == DumpTool::ems_sql_manager && find_nocase(body, "for MySQL") == NONE) {
            continue;
        }
        r.tool = rule.tool;
        tool_line_version(r, rule, body);
        return true;
    }
    return false;
}

// The other header lines: a version on a line of its own, the server version.
void detail_line(DumpReport& r, std::string_view body) {
    const DumpTool t = r.tool;
    if ((t == DumpTool::phpmyadmin || t == DumpTool::sequel_pro || t == DumpTool::sequel_ace) &&
        starts_nocase(body, "version ")) {
        keep_version(r.tool_version, between(body, "version "));
    }
    for (std::string_view label : {"Server version", "Server-Version", "Source Server Version"}) {
        if (!starts_nocase(body, label)) continue;
        std::string_view value = trimmed(body.substr(label.size()));
        if (!value.empty() && value.front() == ':') value = trimmed(value.substr(1));
        keep_version(r.server_version, value);
    }
    if (t == DumpTool::sqlyog && starts_nocase(body, "MySQL - ")) {  // "MySQL - 8.0.30 : Database - x"
        keep_version(r.server_version, between(body, "MySQL - ", {" : "}));
    }
    if ((t == DumpTool::sequel_pro || t == DumpTool::sequel_ace) && starts_nocase(body, "Host:")) {
        keep_version(r.server_version, between(body, "(", {")"}));
    }
    if (t == DumpTool::mysql_front && starts_nocase(body, "Host:")) {
        keep_version(r.server_version, between(body, "(Version:", {")"}));
    }
}

// A statement that creates or fills something: the header is over.
bool data_starts(std::string_view line) {
    for (std::string_view word : {"CREATE", "INSERT", "REPLACE", "DROP", "USE", "LOCK", "DELIMITER"}) {
        if (starts_nocase(line, word)) return true;
    }
    return false;
}

// A line's text without its comment marks: "--", "#", and the "/*" or "*/" of a comment block
// (whose lines Navicat and SQLyog write bare). Empty for a line that is no comment.
std::string_view comment_body(std::string_view line, bool& in_block) {
    if (in_block) {
        const std::size_t end = line.find("*/");
        if (end != NONE) {
            in_block = false;
            line = line.substr(0, end);
        }
        return trimmed(line);
    }
    if (line.substr(0, 2) == "--") return trimmed(line.substr(2));
    if (line.substr(0, 1) == "#") return trimmed(line.substr(1));
    if (line.substr(0, 2) == "/*" && line.substr(0, 3) != "/*!" && line.substr(0, 4) != "/*M!") {
        in_block = line.find("*/", 2) == NONE;
        return trimmed(line.substr(2, in_block ? NONE : line.find("*/", 2) - 2));
    }
    return {};
}

// The closing line of a known tool.
bool closing_line(DumpTool tool, std::string_view line) {
    switch (tool) {
        case DumpTool::unknown:
            return false;
        case DumpTool::mysqldump:
        case DumpTool::mariadb_dump:
            return starts_nocase(line, "-- Dump completed");
        case DumpTool::mysqlpump:
            return starts_nocase(line, "-- Dump end time") || starts_nocase(line, "-- Dump completed");
        case DumpTool::adminer:  // "-- 2024-03-01 10:20:30"
            return line.size() >= 13 && line.substr(0, 3) == "-- " && line[7] == '-' &&
                   line[10] == '-' && line[3] >= '0' && line[3] <= '9';
        default:
            break;
    }
    std::string squeezed;  // without blanks, for "SET FOREIGN_KEY_CHECKS = 1;" and "COMMIT ;"
    for (char c : line.substr(0, 200)) {
        if (!blank(c)) squeezed += lower(c);
    }
    if (tool == DumpTool::navicat) return squeezed == "setforeign_key_checks=1;";
    // A setting restored from its saved @OLD_ copy, bare or in an executable comment.
    const bool restore = (starts_nocase(line, "SET ") || line.substr(0, 3) == "/*!") &&
                         find_nocase(line, "@OLD_") != NONE;
    return squeezed == "commit;" || restore;
}

// Reads the name after position at in text (optionally quoted) as a lower-case charset name.
std::string charset_name(std::string_view text, std::size_t at) {
    while (at < text.size() && blank(text[at])) ++at;
    if (at < text.size() && (text[at] == '\'' || text[at] == '"' || text[at] == '`')) ++at;
    std::string name;
    while (at < text.size() && name.size() < REPORT_MAX_CHARSET_BYTES) {
        const char c = text[at++];
        const bool word = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '_';
        if (!word) break;
        name += lower(c);
    }
    return name == "default" ? std::string() : name;
}

bool word_byte(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           c == '_' || c == '@' || c == '$';
}

// The name a declaration of kind label ("names": SET NAMES x; "client": character_set_client
// = x) in text gives, the last one of the text; "" when there is none.
std::string declared(std::string_view text, std::string_view label) {
    std::string found;
    for (std::size_t at = find_nocase(text, label); at != NONE;) {
        const std::size_t after = at + label.size();
        const bool whole = (at == 0 || !word_byte(text[at - 1])) &&
                           (after >= text.size() || !word_byte(text[after]));
        if (whole && label == "names") {
            std::size_t k = at;
            while (k > 0 && blank(text[k - 1])) --k;
            if (k >= 3 && starts_nocase(text.substr(k - 3), "SET")) {
                std::string name = charset_name(text, after);
                if (!name.empty()) found = std::move(name);
            }
        } else if (whole) {
            std::size_t k = after;
            while (k < text.size() && blank(text[k])) ++k;
            if (k < text.size() && text[k] == '=') {
                std::string name = charset_name(text, k + 1);
                if (!name.empty()) found = std::move(name);
            }
        }
        const std::size_t next = find_nocase(text.substr(after), label);
        at = next == NONE ? NONE : after + next;
    }
    return found;
}

// A literal assignment to the session's TIME_ZONE before the first INSERT decides whether the
// tuples' TIMESTAMP values are UTC; assignments of a variable (the restore at the end) and
// those after the data change nothing.
void report_time_zone(DumpReport& report, std::string_view text) {
    if (report.insert_statements != 0) return;
    constexpr std::string_view LABEL = "time_zone";
    for (std::size_t at = find_nocase(text, LABEL); at != NONE;) {
        std::size_t k = at + LABEL.size();
        const bool whole = (at == 0 || !word_byte(text[at - 1])) &&
                           (k >= text.size() || !word_byte(text[k]));
        while (k < text.size() && blank(text[k])) ++k;
        if (whole && k < text.size() && text[k] == '=') {
            ++k;
            while (k < text.size() && blank(text[k])) ++k;
            if (k < text.size() && (text[k] == '\'' || text[k] == '"')) {
                const std::size_t end = text.find(text[k], k + 1);
                if (end != NONE) report.utc_time_zone = text.substr(k + 1, end - k - 1) == "+00:00";
            }
        }
        const std::size_t next = find_nocase(text.substr(at + LABEL.size()), LABEL);
        at = next == NONE ? NONE : at + LABEL.size() + next;
    }
}

}  // namespace

void report_read_head(DumpReport& report, std::string_view head) {
    if (head.substr(0, 3) == "\xEF\xBB\xBF") head.remove_prefix(3);
    bool in_block = false;
    for (std::size_t at = 0; at < head.size();) {
        std::size_t end = head.find('\n', at);
        if (end == NONE) end = head.size();
        const std::string_view line = trimmed(head.substr(at, end - at));
        at = end + 1;
        if (!in_block && data_starts(line)) return;
        const std::string_view body = comment_body(line, in_block);
        if (body.empty()) continue;
        if (report.tool == DumpTool::unknown && tool_line(report, body)) continue;
        detail_line(report, body);
    }
}

void report_read_tail(DumpReport& report, std::string_view tail) {
    tail = trimmed(tail);
    const std::size_t start = tail.rfind('\n');
    const std::string_view last = trimmed(start == NONE ? tail : tail.substr(start + 1));
    try {
        report.final_line = closing_line(report.tool, last);
    } catch (const std::bad_alloc&) {
        report.final_line = false;
    }
}

// The user variable in front of "= @@character_set_client" ending at position at, or "".
std::string saving_variable(std::string_view text, std::size_t at) {
    std::size_t k = at;
    while (k > 0 && blank(text[k - 1])) --k;
    if (k == 0 || text[k - 1] != '=') return {};
    --k;
    while (k > 0 && blank(text[k - 1])) --k;
    const std::size_t end = k;
    while (k > 0 && word_byte(text[k - 1])) --k;
    if (k == end || text[k] != '@' || (end - k > 1 && text[k + 1] == '@')) return {};
    std::string name;
    for (char c : text.substr(k, end - k)) name += lower(c);
    return name;
}

// The user variable assigned to character_set_client after position at ("@name"), or "".
std::string restoring_variable(std::string_view text, std::size_t at) {
    while (at < text.size() && blank(text[at])) ++at;
    if (at >= text.size() || text[at] != '@') return {};
    std::string name;
    while (at < text.size() && word_byte(text[at])) name += lower(text[at++]);
    return name.size() > 1 && name[1] != '@' ? name : std::string();
}

// Follows the assignments of text that change or save the session's character set, in order.
void follow_charset(DumpReader& reader, std::string_view text) {
    constexpr std::string_view CLIENT = "character_set_client";
    std::size_t names = find_nocase(text, "names");
    std::size_t client = find_nocase(text, CLIENT);
    while (names != NONE || client != NONE) {
        const bool is_names = client == NONE || (names != NONE && names < client);
        const std::size_t at = is_names ? names : client;
        const std::size_t after = at + (is_names ? 5 : CLIENT.size());
        const bool whole = (at == 0 || !word_byte(text[at - 1])) &&
                           (after >= text.size() || !word_byte(text[after]));
        const bool system = at >= 2 && text[at - 1] == '@' && text[at - 2] == '@';
        if (is_names && whole) {
            std::size_t k = at;
            while (k > 0 && blank(text[k - 1])) --k;
            std::string name = k >= 3 && starts_nocase(text.substr(k - 3), "SET")
                                   ? charset_name(text, after)
                                   : std::string();
            if (!name.empty()) reader.charset_in_force = std::move(name);
        } else if (!is_names && system) {
            std::string variable = saving_variable(text, at - 2);
            if (!variable.empty()) {
                reader.saved_charset_variable = std::move(variable);
                reader.saved_charset = reader.charset_in_force;
            }
        } else if (!is_names && whole) {
            std::size_t k = after;
            while (k < text.size() && blank(text[k])) ++k;
            if (k < text.size() && text[k] == '=') {
                std::string name = charset_name(text, k + 1);
                std::string variable = restoring_variable(text, k + 1);
                if (!name.empty()) {
                    reader.charset_in_force = std::move(name);
                } else if (!variable.empty() && variable == reader.saved_charset_variable) {
                    reader.charset_in_force = reader.saved_charset;
                }
            }
        }
        std::size_t& next = is_names ? names : client;
        const std::size_t more = find_nocase(text.substr(after), is_names ? "names" : CLIENT);
        next = more == NONE ? NONE : after + more;
    }
}

void report_declared_charset(DumpReader& reader, std::string_view text) {
    DumpReport& report = reader.state->report;
    report_time_zone(report, text);
    try {
        follow_charset(reader, text);
    } catch (const std::bad_alloc&) {
        // The character set in force stays as it was.
    }
    const bool before_data = report.insert_statements == 0;
    try {
        std::string names = declared(text, "names");
        if (!names.empty() &&
            (report.charset.empty() || reader.charset_from_client || before_data)) {
            report.charset = std::move(names);
            reader.charset_from_client = false;
            return;
        }
        std::string client = declared(text, "character_set_client");
        if (!client.empty() &&
            (report.charset.empty() || (reader.charset_from_client && before_data))) {
            report.charset = std::move(client);
            reader.charset_from_client = true;
        }
    } catch (const std::bad_alloc&) {
        // The declaration is not taken; the report names what was taken before.
    }
}

}  // namespace kv
