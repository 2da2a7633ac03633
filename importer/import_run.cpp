// Statement scanner and import run (see import_run.h).
#include "importer/import_run.h"

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

// Appends " (Byte N)" with the scan position when the message holds a text that leaves room.
void append_position(DumpState& state, std::uint64_t position) {
    std::size_t length = std::strlen(state.message);
    if (length == 0 || length + 60 > MESSAGE_SIZE - 1) return;
    msg_format(state.message + length, MESSAGE_SIZE - length, " (Byte %llu)",
               static_cast<unsigned long long>(position));
}

// Reads the rest of a DELIMITER line into the reader's delimiter. False with the message.
bool read_delimiter(DumpReader& reader) {
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
        if (n == DELIMITER_MAX) {
            dump_state_fail(*reader.state, msg_text(Msg::delimiter_too_long));
            return false;
        }
        bytes[n++] = static_cast<char>(c);
        ++reader.position;
    }
    if (reader.failed) return false;  // the reader's own message (cancelled, read error) stands
    while (n > 0 && sql_is_blank(static_cast<unsigned char>(bytes[n - 1]))) --n;
    std::memcpy(reader.delimiter, bytes, n);
    reader.delimiter[n] = '\0';
    reader.delimiter_length = n;
    if (n == 0) {
        dump_state_fail(*reader.state, msg_text(Msg::delimiter_empty));
        return false;
    }
    return true;
}

// Skips the statement and hands its text (from its first token through the delimiter) to
// the CREATE parser or the SQL_MODE recogniser. False with the message.
bool take_statement_text(ImportRun& run, bool is_create) {
    DumpReader& reader = run.reader;
    if (!reader_skip_statement(reader)) return false;
    std::unique_ptr<char[]> text =
        reader_read_text(reader, run.first.start, reader.position - run.first.start);
    if (!text) {
        dump_state_fail(*reader.state, msg_text(Msg::schema_read_failed));
        return false;
    }
    if (is_create) {
        insert_scratch_schema_changed(run.scratch);
        return create_parse(*reader.state, text.get(), run.database, reader.escape_mode,
                            &run.lookup);
    }
    sql_mode_recognise(reader, text.get());
    return true;
}

// One statement after its first token. False when the run must stop.
bool scan_statement(ImportRun& run) {
    DumpReader& reader = run.reader;
    Token& first = run.first;
    if (token_is(first, "DELIMITER")) return read_delimiter(reader);
    if (token_is(first, "INSERT") || token_is(first, "REPLACE")) {
        return insert_statement(reader, run.writer, token_is(first, "REPLACE"), run.database,
                                run.scratch);
    }
    if (token_is(first, "USE")) {
        if (!reader_read_token(reader, run.second)) {
            reader.failed = 1;
            dump_state_fail(*reader.state, msg_text(Msg::use_name_missing));
            return false;
        }
        try {
            run.database.assign(run.second.text);
            reader.versioned.database = run.database;
        } catch (const std::bad_alloc&) {
            dump_state_fail(*reader.state, msg_text(Msg::out_of_memory));
            return false;
        }
        return reader_skip_statement(reader);
    }
    if (token_is(first, "CREATE")) return take_statement_text(run, true);
    if (token_is(first, "SET")) return take_statement_text(run, false);
    if (token_is(first, "UPDATE") || token_is(first, "DELETE") || token_is(first, "TRUNCATE")) {
        if (!reader_skip_statement(reader)) return false;
        import_note_append(*reader.state, msg_text(Msg::note_change_statement));
        return true;
    }
    return reader_skip_statement(reader);
}

}  // namespace

bool import_run(DumpState& state, const ProgressSink* sink) {
    dump_state_clear_schema(state);
    std::string().swap(state.import_notes);
    state.note_count = 0;
    state.message[0] = '\0';
    state.loaded_from_cache = 0;
    state.read_buffer_length = 0;

    manifest_remove(state);

    std::unique_ptr<ImportRun> run(new (std::nothrow) ImportRun);
    if (!run || !reader_start(run->reader, state, sink) ||
        !insert_scratch_start(run->scratch, &run->lookup)) {
        dump_state_fail(state, msg_text(Msg::out_of_memory));
        return false;
    }
    if (Status started = index_writer_start(run->writer); !started.ok()) {
        dump_state_fail(state, status_text(started).c_str());
        return false;
    }
    run->chunks =
        chunk_scan_start(state, sink != nullptr ? sink->threads : 1, run->reader.escape_mode);
    run->scratch.chunks = run->chunks.get();
    try {
        run->database = DEFAULT_DATABASE;
        run->reader.versioned.database = run->database;
    } catch (const std::bad_alloc&) {
        return false;
    }

    DumpReader& reader = run->reader;
    auto stop = [&]() {
        index_abandon(run->writer);
        // A cancellation ends the scan wherever it stands; what the scan makes of the missing
        // bytes (an unterminated tuple, say) must not pass for the reason.
        if (reader.cancelled) dump_state_fail(state, msg_text(Msg::cancelled));
        append_position(state, reader.position);
        return false;
    };

    if (reader_peek(reader, 0) == 0xEF && reader_peek(reader, 1) == 0xBB &&
        reader_peek(reader, 2) == 0xBF) {
        reader.position = 3;
    }

    for (;;) {
        versioned_code_statement_start(reader.versioned);
        if (!reader_read_token(reader, run->first)) break;
        if (run->first.length == 1 && run->first.text[0] == ';') continue;
        if (!scan_statement(*run)) return stop();
    }
    if (reader.failed) return stop();

    if (Status finished = index_finish(state, run->writer); !finished.ok()) {
        dump_state_fail(state, status_text(finished).c_str());
        return stop();
    }
    const std::uint64_t end_position = reader.position;
    run.reset();

    if (state.objects.empty() || state.total_entries == 0) {
        import_note_append(state, msg_text(Msg::note_no_tuples));
    }
    if (Status written = manifest_write(state, sink); !written.ok()) {
        dump_state_fail(state, status_text(written).c_str());
        append_position(state, end_position);
        return false;
    }
    return true;
}

}  // namespace kv
