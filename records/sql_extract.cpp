// SQL extract (see sql_extract.h).
//
// Shape of a script: comment header; the session settings saved and set as mysqldump does
// (character set, FOREIGN_KEY_CHECKS, UNIQUE_CHECKS, SQL_MODE, TIME_ZONE where the dump set
// it to UTC); per object an optional
// CREATE DATABASE and USE, DROP and CREATE, then the INSERT statements; the saved settings
// restored at the end. SQL_MODE is set again wherever the next tuple was written under other
// NO_BACKSLASH_ESCAPES or ANSI_QUOTES settings than the one before it.
#include "records/sql_extract.h"

#include <algorithm>
#include <memory>
#include <new>

#include "cache/index_file.h"
#include "foundation/message.h"
#include "records/csv_export.h"
#include "records/output_writer.h"

namespace kv {

namespace {

constexpr std::size_t WINDOW_BYTES = 4194304;
constexpr std::size_t OUTPUT_BYTES = 1048576;
constexpr std::size_t BATCH_BYTES = std::size_t{INDEX_BATCH_ENTRIES} * INDEX_ENTRY_SIZE;
// The bits of a layout word that need their own SQL_MODE, and those that need their own
// INSERT header.
constexpr std::uint32_t MODE_BITS = LAYOUT_NO_BACKSLASH | LAYOUT_ANSI_QUOTES;
constexpr std::uint32_t HEADER_BITS = ~MODE_BITS;
constexpr std::uint32_t NO_MODE = ~std::uint32_t{0};

Status not_done() { return status_fail(StatusKind::input_output, Msg::extract_not_done); }

// One script being written: the output, the read window over the dump and the statement that
// is open.
struct ExtractRun {
    ExtractRun(DumpState& s, const ExtractOptions& o, const ProgressSink* k)
        : state(s), options(o), sink(k) {}
    DumpState& state;
    const ExtractOptions& options;
    const ProgressSink* sink;
    OutputWriter w;
    std::unique_ptr<unsigned char[]> window;  // WINDOW_BYTES
    std::uint64_t window_start = 0;
    std::uint64_t window_length = 0;
    std::unique_ptr<unsigned char[]> batch;  // BATCH_BYTES
    std::uint32_t mode = NO_MODE;            // MODE_BITS of the SQL_MODE set last
    bool in_statement = false;
    std::uint64_t statement_bytes = 0;
    std::uint32_t header_word = 0;  // HEADER_BITS of the header in `header`
    std::string header;             // "INSERT INTO `t` (...) VALUES "
    std::string database;           // the database of the last USE
    std::string names;              // the character set of the SET NAMES written last
    std::uint64_t done = 0;
    std::uint64_t total = 0;
    std::uint64_t last_report = 0;
    bool reported = false;
};

void put(ExtractRun& run, std::string_view bytes) { output_put(run.w, bytes); }

// name between backquotes, a backquote inside doubled: valid whatever the SQL_MODE.
void append_identifier(std::string& out, std::string_view name) {
    out += '`';
    for (char c : name) {
        if (c == '`') out += '`';
        out += c;
    }
    out += '`';
}

std::string qualified_name(const SchemaObject& o) {
    std::string name;
    append_identifier(name, o.database_name);
    name += '.';
    append_identifier(name, o.object_name);
    return name;
}

// Text for a "--" comment line: a line break or other control byte would end the comment and
// let the rest run as SQL, so each becomes a blank.
std::string comment_safe(std::string text) {
    for (char& c : text) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    return text;
}

void put_line(ExtractRun& run, Msg format, const std::string& argument) {
    char line[1024];
    msg_format(line, sizeof line, msg_text(format), comment_safe(argument).c_str());
    put(run, line);
    put(run, "\n");
}

std::string filter_description(const SchemaObject& table, const FilterRequest& filter) {
    std::string text;
    if (filter.column >= 0 && static_cast<std::size_t>(filter.column) < table.columns.size()) {
        append_identifier(text, table.columns[static_cast<std::size_t>(filter.column)].name);
    } else {
        text = msg_text(Msg::filter_all_columns);
    }
    static constexpr Msg OPS[FILTER_OP_COUNT] = {Msg::filter_contains, Msg::filter_equals,
                                                 Msg::filter_is_null, Msg::filter_is_not_null};
    text += ' ';
    text += msg_text(OPS[static_cast<std::size_t>(filter.op)]);
    if (filter.op == FilterOp::contains || filter.op == FilterOp::equals) {
        text += " '" + filter.text + "'";
    }
    return text;
}

void put_header(ExtractRun& run, const std::vector<ExtractPart>& parts) {
    const std::string& path = run.state.dump_path;
    const std::size_t slash = path.find_last_of("/\\");
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    const auto seconds = static_cast<std::int64_t>(run.state.dump_time / 10000000ULL) -
                         std::int64_t{11644473600};
    put_line(run, Msg::extract_header_title, msg_text(Msg::help_version));
    char source[1024];
    msg_format(source, sizeof source, msg_text(Msg::extract_header_source),
               comment_safe(file).c_str(), std::to_string(run.state.dump_size).c_str(),
               extract_time_text(seconds).c_str());
    put(run, source);
    put(run, "\n");
    for (const ExtractPart& part : parts) {
        const SchemaObject& o = run.state.objects[part.object];
        put_line(run, Msg::extract_header_object, qualified_name(o));
        if (part.filtered) {
            put_line(run, Msg::extract_header_filter, filter_description(o, part.filter));
        }
    }
    put_line(run, Msg::extract_header_time, extract_time_text(run.options.now));
    put(run, "\n");
}

// A declared character set as SET NAMES takes it: a plain name, else utf8mb4 (also when none
// was declared).
std::string names_charset(const std::string& declared) {
    const bool plain = !declared.empty() && std::all_of(declared.begin(), declared.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_';
    });
    return plain ? declared : std::string("utf8mb4");
}

void put_names(ExtractRun& run, const std::string& charset) {
    put(run, "/*!40101 SET NAMES " + charset + " */;\n");
    run.names = charset;
}

// The character set of a table's rows is the one declared where its first tuple stands in
// the dump; a table without rows keeps the script's (the dump's declared one). Written
// between tables, outside any INSERT.
void ensure_names(ExtractRun& run, const SchemaObject& table) {
    if (table.entry_count == 0) return;
    const std::string charset = names_charset(table.data_charset);
    if (charset != run.names) put_names(run, charset);
}

void put_session_start(ExtractRun& run) {
    put(run,
        "/*!40101 SET @OLD_CHARACTER_SET_CLIENT=@@CHARACTER_SET_CLIENT */;\n"
        "/*!40101 SET @OLD_CHARACTER_SET_RESULTS=@@CHARACTER_SET_RESULTS */;\n"
        "/*!40101 SET @OLD_COLLATION_CONNECTION=@@COLLATION_CONNECTION */;\n");
    put_names(run, names_charset(run.state.report.charset));
    put(run,
        "/*!40014 SET @OLD_UNIQUE_CHECKS=@@UNIQUE_CHECKS, UNIQUE_CHECKS=0 */;\n"
        "/*!40014 SET @OLD_FOREIGN_KEY_CHECKS=@@FOREIGN_KEY_CHECKS, FOREIGN_KEY_CHECKS=0 */;\n"
        "/*!40101 SET @OLD_SQL_MODE=@@SQL_MODE */;\n");
    if (run.state.report.utc_time_zone) {
        put(run,
            "/*!40103 SET @OLD_TIME_ZONE=@@TIME_ZONE */;\n"
            "/*!40103 SET TIME_ZONE='+00:00' */;\n");
    }
}

void put_session_end(ExtractRun& run) {
    put(run,
        "\n/*!40101 SET SQL_MODE=@OLD_SQL_MODE */;\n"
        "/*!40014 SET FOREIGN_KEY_CHECKS=@OLD_FOREIGN_KEY_CHECKS */;\n"
        "/*!40014 SET UNIQUE_CHECKS=@OLD_UNIQUE_CHECKS */;\n"
        "/*!40101 SET CHARACTER_SET_CLIENT=@OLD_CHARACTER_SET_CLIENT */;\n"
        "/*!40101 SET CHARACTER_SET_RESULTS=@OLD_CHARACTER_SET_RESULTS */;\n"
        "/*!40101 SET COLLATION_CONNECTION=@OLD_COLLATION_CONNECTION */;\n");
    if (run.state.report.utc_time_zone) put(run, "/*!40103 SET TIME_ZONE=@OLD_TIME_ZONE */;\n");
}

void close_statement(ExtractRun& run) {
    if (run.in_statement) put(run, ";\n");
    run.in_statement = false;
}

// Sets SQL_MODE for tuples (and CREATE texts) written under the MODE_BITS of word.
// NO_AUTO_VALUE_ON_ZERO keeps a 0 in an AUTO_INCREMENT column a 0, as in mysqldump's scripts.
void ensure_mode(ExtractRun& run, std::uint32_t word) {
    const std::uint32_t mode = word & MODE_BITS;
    if (mode == run.mode) return;
    close_statement(run);
    put(run, "SET SQL_MODE='NO_AUTO_VALUE_ON_ZERO");
    if (mode & LAYOUT_NO_BACKSLASH) put(run, ",NO_BACKSLASH_ESCAPES");
    if (mode & LAYOUT_ANSI_QUOTES) put(run, ",ANSI_QUOTES");
    put(run, "';\n");
    run.mode = mode;
}

// The INSERT header for tuples of the layout word's verb, column list and layout.
void build_header(ExtractRun& run, const SchemaObject& table, std::uint32_t word) {
    static constexpr const char* VERBS[] = {"INSERT", "REPLACE", "INSERT IGNORE", "INSERT"};
    run.header = VERBS[static_cast<std::uint32_t>(layout_verb(word)) & 3];
    run.header += " INTO ";
    append_identifier(run.header, table.object_name);
    if (word & LAYOUT_COLUMN_LIST) {
        const ColumnLayout& layout = table.layouts[word & LAYOUT_NUMBER_MASK];
        run.header += " (";
        for (std::size_t k = 0; k < layout.columns.size(); ++k) {
            if (k > 0) run.header += ',';
            append_identifier(run.header, table.columns[layout.columns[k]].name);
        }
        run.header += ')';
    }
    run.header += " VALUES ";
    run.header_word = word & HEADER_BITS;
}

// The CREATE text without the delimiter it ended with in the dump (";", ";;", "$$", "//").
std::string_view create_body(const std::string& text) {
    std::string_view body(text);
    while (!body.empty() && std::string_view(" \t\r\n;$/|#@!%^&*~").find(body.back()) !=
                                std::string_view::npos) {
        body.remove_suffix(1);
    }
    return body;
}

// mysqldump and mariadb-dump write CREATE texts in utf8mb4 whatever SET NAMES says for the
// data, and run them under character_set_client utf8mb4; their scripts do so here too. Other
// tools write the CREATE text in the character set of the data.
void put_create_text(ExtractRun& run, std::string_view body) {
    const DumpTool tool = run.state.report.tool;
    const bool utf8 = tool == DumpTool::mysqldump || tool == DumpTool::mariadb_dump;
    if (utf8) {
        put(run,
            "/*!40101 SET @saved_cs_client     = @@character_set_client */;\n"
            "/*!40101 SET character_set_client = utf8mb4 */;\n");
    }
    put(run, body);
    put(run, ";\n");
    if (utf8) put(run, "/*!40101 SET character_set_client = @saved_cs_client */;\n");
}

// DROP and CREATE of a table or view; a routine's CREATE in a DELIMITER block its body does
// not contain.
void put_create(ExtractRun& run, const SchemaObject& o) {
    const std::string name = qualified_name(o);
    if (run.options.data_only) {
        if (o.kind != OBJECT_TABLE) put_line(run, Msg::extract_code_data_only, name);
        return;
    }
    const std::string_view body = create_body(o.create_text);
    if (body.empty()) {
        put_line(run, Msg::extract_no_create, name);
        return;
    }
    std::string drop;
    append_identifier(drop, o.object_name);
    if (o.kind == OBJECT_TABLE) put(run, "DROP TABLE IF EXISTS " + drop + ";\n");
    if (o.kind == OBJECT_VIEW) put(run, "DROP VIEW IF EXISTS " + drop + ";\n");
    if (o.kind != OBJECT_ROUTINE) {
        put_create_text(run, body);
        return;
    }
    const char* delimiter = ";;";
    if (body.find(";;") != std::string_view::npos) delimiter = "$$";
    if (body.find("$$") != std::string_view::npos && delimiter[0] == '$') delimiter = "//";
    put(run, std::string("DELIMITER ") + delimiter + "\n");
    put(run, body);
    put(run, std::string(delimiter) + "\nDELIMITER ;\n");
}

void put_database(ExtractRun& run, const SchemaObject& o) {
    if (!run.options.with_database || o.database_name.empty() || o.database_name == run.database) {
        return;
    }
    close_statement(run);
    std::string name;
    append_identifier(name, o.database_name);
    put(run, "\nCREATE DATABASE IF NOT EXISTS " + name + ";\nUSE " + name + ";\n");
    run.database = o.database_name;
}

// Makes the window hold [offset, offset + length) (length at most WINDOW_BYTES): one large
// read from offset on, unless the window holds it already.
const unsigned char* window_view(ExtractRun& run, std::uint64_t offset, std::uint32_t length) {
    if (offset >= run.window_start && offset + length <= run.window_start + run.window_length) {
        return run.window.get() + (offset - run.window_start);
    }
    const auto n = static_cast<std::size_t>(
        std::min<std::uint64_t>(WINDOW_BYTES, run.state.dump_size - offset));
    run.window_length = 0;
    if (!file_seek_to(run.state.dump_handle, offset) ||
        file_read_full(run.state.dump_handle, run.window.get(), n) < length) {
        return nullptr;
    }
    run.window_start = offset;
    run.window_length = n;
    return run.window.get();
}

bool progress(ExtractRun& run) {
    const std::uint64_t now = clock_ms();
    if (run.reported && now - run.last_report < 100) return true;
    run.reported = true;
    run.last_report = now;
    return progress_report(run.sink, run.done, run.total, run.done,
                           msg_text(Msg::progress_extract));
}

// A tuple longer than the window, streamed through it: checked at both ends as it passes.
Status copy_long_tuple(ExtractRun& run, const IndexEntry& entry) {
    run.window_length = 0;
    if (!file_seek_to(run.state.dump_handle, entry.offset)) return not_done();
    for (std::uint64_t copied = 0; copied < entry.length;) {
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(WINDOW_BYTES, entry.length - copied));
        if (file_read_full(run.state.dump_handle, run.window.get(), n) != n) {
            return status_fail(StatusKind::input_output, Msg::record_read_failed);
        }
        if ((copied == 0 && run.window[0] != '(') ||
            (copied + n == entry.length && run.window[n - 1] != ')')) {
            return status_fail(StatusKind::damaged_cache, Msg::index_mismatch);
        }
        put(run, std::string_view(reinterpret_cast<const char*>(run.window.get()), n));
        copied += n;
        if (!progress(run)) return status_cancelled();
    }
    return {};
}

Status copy_tuple(ExtractRun& run, const IndexEntry& entry) {
    if (entry.length > WINDOW_BYTES) return copy_long_tuple(run, entry);
    const unsigned char* tuple = window_view(run, entry.offset, entry.length);
    if (tuple == nullptr) return status_fail(StatusKind::input_output, Msg::record_read_failed);
    if (tuple[0] != '(' || tuple[entry.length - 1] != ')') {
        return status_fail(StatusKind::damaged_cache, Msg::index_mismatch);
    }
    put(run, std::string_view(reinterpret_cast<const char*>(tuple), entry.length));
    return {};
}

// Appends one tuple to the open statement, or opens a new one: at a new header, at a new
// SQL_MODE, and where the tuple would take the statement past EXTRACT_STATEMENT_MAX.
Status put_tuple(ExtractRun& run, const SchemaObject& table, const IndexEntry& entry) {
    if ((entry.layout_word & LAYOUT_NUMBER_MASK) >= table.layouts.size() || entry.length < 2 ||
        entry.offset > run.state.dump_size ||
        run.state.dump_size - entry.offset < entry.length) {
        return status_fail(StatusKind::damaged_cache, Msg::stale_entry);
    }
    ensure_mode(run, entry.layout_word);
    if (run.in_statement && ((entry.layout_word & HEADER_BITS) != run.header_word ||
                             run.statement_bytes + 1 + entry.length + 1 > EXTRACT_STATEMENT_MAX)) {
        close_statement(run);
    }
    if (run.in_statement) {
        put(run, ",");
        ++run.statement_bytes;
    } else {
        if ((entry.layout_word & HEADER_BITS) != run.header_word || run.header.empty()) {
            build_header(run, table, entry.layout_word);
        }
        put(run, run.header);
        run.statement_bytes = run.header.size();
        run.in_statement = true;
    }
    run.statement_bytes += entry.length;
    return copy_tuple(run, entry);
}

// The rows of one table part: its entries batch by batch, the first batch read before the
// CREATE text so that it is run under the mode of the table's first tuple.
Status put_table(ExtractRun& run, const ExtractPart& part) {
    const SchemaObject& table = run.state.objects[part.object];
    FileGuard source(part.entry_count != 0 ? file_open(part.entry_source_path, FILE_MODE_READ)
                                           : INVALID_FILE);
    if (part.entry_count != 0 && !source.valid()) {
        return status_fail(StatusKind::input_output, Msg::export_files_failed);
    }
    run.header.clear();
    for (std::uint64_t first = 0; first == 0 || first < part.entry_count;
         first += INDEX_BATCH_ENTRIES) {
        const auto n = static_cast<std::size_t>(
            std::min<std::uint64_t>(part.entry_count - first, INDEX_BATCH_ENTRIES));
        if (file_read_full(source.get(), run.batch.get(), n * INDEX_ENTRY_SIZE) !=
            n * INDEX_ENTRY_SIZE) {
            return status_fail(StatusKind::damaged_cache, Msg::short_index);
        }
        if (first == 0) {
            ensure_mode(run, n > 0 ? index_entry_decode(run.batch.get()).layout_word : 0);
            ensure_names(run, table);
            put_create(run, table);
        }
        for (std::size_t k = 0; k < n && run.w.ok; ++k) {
            const IndexEntry entry = index_entry_decode(run.batch.get() + k * INDEX_ENTRY_SIZE);
            if (Status s = put_tuple(run, table, entry); !s.ok()) return s;
            ++run.done;
            if ((run.done % 64 == 0 || entry.length >= 65536) && !progress(run)) {
                return status_cancelled();
            }
        }
        if (n == 0) break;
    }
    close_statement(run);
    return {};
}

Status put_parts(ExtractRun& run, const std::vector<ExtractPart>& parts) {
    for (const ExtractPart& part : parts) {
        const SchemaObject& o = run.state.objects[part.object];
        put_database(run, o);
        put(run, "\n");
        if (o.kind == OBJECT_TABLE) {
            if (Status s = put_table(run, part); !s.ok()) return s;
        } else {
            if (run.mode == NO_MODE) ensure_mode(run, 0);
            put_create(run, o);
        }
        if (!run.w.ok) return not_done();
    }
    return {};
}

// Writes the whole script into the temporary file part and flushes it; closed on return.
Status write_part(ExtractRun& run, const std::vector<ExtractPart>& parts,
                  const std::string& part) {
    FileGuard out(file_open(part, FILE_MODE_CREATE));
    if (!out.valid()) return status_fail(StatusKind::input_output, Msg::target_open_failed);
    run.window.reset(new (std::nothrow) unsigned char[WINDOW_BYTES]);
    run.batch.reset(new (std::nothrow) unsigned char[BATCH_BYTES]);
    if (!run.window || !run.batch || !output_writer_start(run.w, out.get(), OUTPUT_BYTES)) {
        return status_out_of_memory();
    }
    try {
        put_header(run, parts);
        put_session_start(run);
        if (!progress(run)) return status_cancelled();
        if (Status s = put_parts(run, parts); !s.ok()) return s;
        put_session_end(run);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    return output_drain(run.w) && file_flush(out.get()) ? Status{} : not_done();
}

}  // namespace

std::string extract_time_text(std::int64_t seconds) {
    if (seconds < 0) seconds = 0;
    const std::int64_t days = seconds / 86400;
    const std::int64_t rest = seconds % 86400;
    // Civil date from days since 1970-01-01 (proleptic Gregorian calendar).
    const std::int64_t z = days + 719468;
    const std::int64_t era = z / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    const std::int64_t day = doy - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yoe + era * 400 + (month <= 2 ? 1 : 0);
    char text[64];
    msg_format(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d UTC", static_cast<int>(year),
               static_cast<int>(month), static_cast<int>(day), static_cast<int>(rest / 3600),
               static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60));
    return text;
}

Status sql_extract(DumpState& state, const std::vector<ExtractPart>& parts,
                   const std::string& destination, const ExtractOptions& options,
                   const ProgressSink* sink) {
    ExtractRun run(state, options, sink);
    std::string part;
    try {
        for (const ExtractPart& p : parts) {
            if (p.object >= state.objects.size()) {
                return status_fail(StatusKind::refused, Msg::bad_table);
            }
            if (Status target = output_target_check(state, destination, p.entry_source_path);
                !target.ok()) {
                return target;
            }
            run.total += p.entry_count;
        }
        if (Status target = output_target_check(state, destination, {}); !target.ok()) {
            return target;
        }
        part = output_part_path(destination);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    Status written = write_part(run, parts, part);
    return output_commit(std::move(written), part, destination, Msg::extract_not_done);
}

}  // namespace kv
