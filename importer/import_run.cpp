// Statement scanner and import run (see import_run.h).
#include "importer/import_run.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "cache/index_file.h"
#include "cache/manifest.h"
#include "foundation/messages.h"
#include "foundation/sql_lex.h"
#include "importer/chunk_scan.h"
#include "importer/dump_reader.h"
#include "importer/dump_report.h"
#include "importer/insert_scan.h"
#include "importer/schema.h"
#include "importer/sql_mode.h"

namespace kv {

namespace {

constexpr const char* DEFAULT_DATABASE = "dump";

// Everything one run owns; released when the run ends, whatever its outcome.
struct ImportRun {
    DumpReader reader;
    IndexWriter writer;
    ObjectLookup lookup;
    InsertScratch scratch;
    ChunkScanPtr chunks;  // helper threads, stopped when the run ends, whatever its outcome
    Token first;
    Token second;
    std::string database;
};

// Reads the rest of a DELIMITER line into the reader's delimiter.
Status read_delimiter(DumpReader& reader) {
    for (;;) {
        int c = reader_peek(reader, 0);
        if (c != ' ' && c != '\t') break;
        ++reader.position;
    }
    char bytes[DELIMITER_MAX + 1];
    std::uint32_t n = 0;
    for (;;) {
        int c = reader_peek(reader, 0);
        if (c == READER_END || c == '\r' || c == '\n') break;
        if (n == DELIMITER_MAX) return status_fail(StatusKind::limit, Msg::delimiter_too_long);
        bytes[n++] = static_cast<char>(c);
        ++reader.position;
    }
    if (!reader.status.ok()) return reader.status;  // a cancellation, a read error
    while (n > 0 && sql_is_blank(static_cast<unsigned char>(bytes[n - 1]))) --n;
    std::memcpy(reader.delimiter, bytes, n);
    reader.delimiter[n] = '\0';
    reader.delimiter_length = n;
    if (n == 0) return status_fail(StatusKind::syntax, Msg::delimiter_empty);
    return {};
}

// A CREATE statement's text. One that the end of the dump cut off (ran_out: inside a string,
// a quoted name or a comment) is taken only while it defines its object whole
// (create_cut_is_whole); otherwise the object is not made and a note says so.
Status take_create(ImportRun& run, const char* text, bool ran_out) {
    DumpReader& reader = run.reader;
    insert_scratch_schema_changed(run.scratch);
    if (ran_out || reader.statement_unclosed) {
        std::string table;
        if (!create_cut_is_whole(text, run.database, reader.escape_mode, ran_out, table)) {
            const std::string byte = std::to_string(run.first.start);
            if (table.empty()) {
                import_note_with(*reader.state, Msg::note_cut_statement, byte);
            } else {
                import_note_with(*reader.state, Msg::note_cut_create, table, byte);
            }
            reader_accept_cut(reader);
            return {};
        }
    }
    return create_parse(*reader.state, text, run.database, reader.escape_mode, &run.lookup);
}

// Skips the statement and hands its text (from its first token through the delimiter) to
// the CREATE parser or the SQL_MODE recogniser.
Status take_statement_text(ImportRun& run, bool is_create) {
    DumpReader& reader = run.reader;
    const bool skipped = reader_skip_statement(reader);
    if (!skipped && !(is_create && reader_at_cut(reader))) return reader.status;
    std::unique_ptr<char[]> text =
        reader_read_text(reader, run.first.start, reader.position - run.first.start);
    if (!text) return status_fail(StatusKind::input_output, Msg::schema_read_failed);
    if (is_create) return take_create(run, text.get(), !skipped);
    // A SET statement that runs to the end of the dump governs no byte after it: whatever
    // mode or character set its possibly cut text names is of no account.
    if (reader.statement_unclosed) return {};
    sql_mode_recognise(reader, text.get());
    report_declared_charset(reader, text.get());
    return reader.status;
}

// USE and the database name after it, which names the tables of the statements after it.
Status take_database(ImportRun& run) {
    DumpReader& reader = run.reader;
    if (!reader_read_token(reader, run.second)) {
        return status_fail(StatusKind::syntax, Msg::use_name_missing);
    }
    try {
        run.database.assign(run.second.text);
        reader.versioned.database = run.database;
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    return reader_skip_statement(reader) ? Status{} : reader.status;
}

// One statement after its first token: success to go on, or the failure that ends the run.
Status scan_statement(ImportRun& run) {
    DumpReader& reader = run.reader;
    Token& first = run.first;
    DumpReport& report = reader.state->report;
    const bool is_insert = token_is(first, "INSERT") || token_is(first, "REPLACE");
    const bool is_create = token_is(first, "CREATE");
    if (is_insert) {
        std::uint32_t taken = 0;
        Status took = insert_statement_run(reader, run.writer, run.scratch, first.start, taken);
        report.insert_statements += taken;
        if (taken > 0 || !took.ok()) return took;
    }
    ++(is_insert ? report.insert_statements
                 : is_create ? report.create_statements : report.other_statements);
    if (token_is(first, "DELIMITER")) return read_delimiter(reader);
    if (is_insert) {
        return insert_statement(reader, run.writer, token_is(first, "REPLACE"), run.database,
                                run.scratch, first.start);
    }
    if (token_is(first, "USE")) return take_database(run);
    if (is_create) return take_statement_text(run, true);
    if (token_is(first, "SET")) return take_statement_text(run, false);
    if (token_is(first, "UPDATE") || token_is(first, "DELETE") || token_is(first, "TRUNCATE")) {
        if (!reader_skip_statement(reader)) return reader.status;
        import_note_append(*reader.state, msg_text(Msg::note_change_statement));
        return {};
    }
    return reader_skip_statement(reader) ? Status{} : reader.status;
}

// The run's working memory, its index writer and helper threads, before the first byte.
Status start_run(ImportRun& run, DumpState& state, const ProgressSink* sink) {
    if (Status started = reader_start(run.reader, state, sink); !started.ok()) return started;
    if (Status started = insert_scratch_start(run.scratch, &run.lookup); !started.ok()) {
        return started;
    }
    if (Status started = index_writer_start(run.writer); !started.ok()) return started;
    run.chunks =
        chunk_scan_start(state, sink != nullptr ? sink->threads : 1, run.reader.escape_mode);
    run.scratch.chunks = run.chunks.get();
    try {
        run.database = DEFAULT_DATABASE;
        run.reader.versioned.database = run.database;
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    return {};
}

// The dump's first bytes (head) or its last ones for the report (dump_report.h), by a read of
// their own. A read that fails leaves the report without what they would have told.
void read_report_end(ImportRun& run, bool head) {
    DumpReader& reader = run.reader;
    const std::uint64_t size = reader.dump_size;
    const std::uint64_t n = std::min<std::uint64_t>(size, head ? REPORT_HEAD_BYTES : REPORT_TAIL_BYTES);
    const std::unique_ptr<char[]> text = reader_read_text(reader, head ? 0 : size - n, n);
    if (!text) return;
    const std::string_view bytes(text.get(), static_cast<std::size_t>(n));
    if (head) {
        report_read_head(reader.state->report, bytes);
    } else {
        report_read_tail(reader.state->report, bytes);
    }
}

// Where the end of the dump cuts a statement short (a string, quoted name or comment that runs
// to it, a DELIMITER or USE without its word; INSERT and CREATE see to their own), or a
// comment or quoted word between statements: an aborted backup, whose statements before
// stay. The scan ends there with a note on the byte where the unfinished part starts (start).
// False when failure is no such end and stands.
bool accept_cut(DumpReader& reader, const Status& failure, std::uint64_t start) {
    if (failure.kind != StatusKind::syntax || !reader_at_cut(reader)) return false;
    import_note_with(*reader.state, Msg::note_cut_statement, std::to_string(start));
    reader_accept_cut(reader);
    return true;
}

// Every statement of the dump, after a UTF-8 byte order mark; then the index files complete.
Status scan_dump(ImportRun& run) {
    DumpReader& reader = run.reader;
    if (reader_peek(reader, 0) == 0xEF && reader_peek(reader, 1) == 0xBB &&
        reader_peek(reader, 2) == 0xBF) {
        reader.position = 3;
    }
    read_report_end(run, true);
    for (;;) {
        versioned_code_statement_start(reader.versioned);
        if (!reader_read_token(reader, run.first)) break;
        if (run.first.length == 1 && run.first.text[0] == ';') continue;
        reader.statement_unclosed = false;
        if (Status scanned = scan_statement(run);
            !scanned.ok() && !accept_cut(reader, scanned, run.first.start)) {
            return scanned;
        }
    }
    if (!reader.status.ok()) {
        const bool in_comment = reader.status.message == Msg::comment_unterminated;
        if (!accept_cut(reader, reader.status,
                        in_comment ? reader.comment_start : run.first.start)) {
            return reader.status;
        }
    }
    reader.state->report.ends_in_statement = reader.statement_unclosed;
    read_report_end(run, false);
    return index_finish(*reader.state, run.writer);
}

// The failure that ends a scan, at the scan's position. A cancellation ends the scan wherever
// it stands; what the scan makes of the missing bytes (an unterminated tuple, say) must not
// pass for the reason.
Status scan_failure(const ImportRun& run, Status failure) {
    if (run.reader.status.kind == StatusKind::cancelled) failure = run.reader.status;
    failure.byte = run.reader.position;
    return failure;
}

}  // namespace

Status import_run(DumpState& state, const ProgressSink* sink) {
    dump_state_clear_schema(state);
    std::string().swap(state.import_notes);
    state.note_count = 0;
    state.report = DumpReport{};
    state.loaded_from_cache = 0;
    state.read_buffer_length = 0;

    manifest_remove(state);

    std::unique_ptr<ImportRun> run(new (std::nothrow) ImportRun);
    if (!run) return status_out_of_memory();
    if (Status started = start_run(*run, state, sink); !started.ok()) return started;
    if (Status scanned = scan_dump(*run); !scanned.ok()) {
        index_abandon(run->writer);
        return scan_failure(*run, std::move(scanned));
    }
    const std::uint64_t end_position = run->reader.position;
    run.reset();

    if (state.objects.empty() || state.total_entries == 0) {
        import_note_append(state, msg_text(Msg::note_no_tuples));
    }
    Status written = manifest_write(state, sink);
    if (!written.ok()) written.byte = end_position;
    return written;
}

}  // namespace kv
