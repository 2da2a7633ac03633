// Dump reader and lexical scanning (see dump_reader.h).
//
// The loops that walk long stretches (strings, comments, statement bodies) first run over the
// bytes already in the window (with the searches of byte_scan.h) and only fall back to
// reader_peek at bytes whose meaning depends on what follows beyond the window, at comments and
// at window ends. The byte path alone gives the same results (see reader_byte_path_only).
#include "importer/dump_reader.h"

#include <cstring>
#include <new>
#include <string>

#include "foundation/message.h"
#include "foundation/messages.h"
#include "foundation/file.h"
#include "foundation/sql_lex.h"
#include "foundation/sql_quote.h"
#include "importer/dump_report.h"
#include "importer/sql_mode.h"

namespace kv {

namespace {


bool is_quote(int c) { return c == '\'' || c == '"' || c == '`'; }

// Moves past a line comment's remaining bytes up to and including the next line feed.
void skip_to_line_end(DumpReader& reader) {
    for (;;) {
        std::uint64_t avail = reader_available(reader);
        if (avail != 0) {
            const unsigned char* p = reader_cursor(reader);
            const void* lf = std::memchr(p, '\n', avail);
            if (lf != nullptr) {
                reader.position += static_cast<const unsigned char*>(lf) - p + 1;
                return;
            }
            reader.position += avail;
            continue;
        }
        int c = reader_peek(reader, 0);
        if (c == READER_END) return;
        ++reader.position;
        if (c == '\n') return;
    }
}

}  // namespace

bool reader_byte_path_only = false;

bool token_is(const Token& token, const char* keyword) {
    std::uint32_t i = 0;
    for (; i < token.length; ++i) {
        unsigned char a = static_cast<unsigned char>(token.text[i]);
        unsigned char b = static_cast<unsigned char>(keyword[i]);
        if (b == 0) return false;
        if (a >= 'A' && a <= 'Z') a = static_cast<unsigned char>(a + 32);
        if (b >= 'A' && b <= 'Z') b = static_cast<unsigned char>(b + 32);
        if (a != b) return false;
    }
    return keyword[i] == 0;
}

Status reader_start(DumpReader& reader, DumpState& state, const ProgressSink* sink) {
    reader.state = &state;
    reader.sink = sink;
    reader.window = page_buffer_alloc(READER_WINDOW_SIZE);
    reader.capture.reset(new (std::nothrow) char[CAPTURE_MAX + 1]);
    reader.dump_size = state.dump_size;
    reader.position = 0;
    reader.window_start = ~std::uint64_t{0};
    reader.window_length = 0;
    reader.status = {};
    reader.escape_mode = sink != nullptr ? sink->escape_mode : EscapeMode::backslash;
    reader.saved_escape_mode = reader.escape_mode;
    reader.ansi_quotes = false;
    reader.saved_ansi_quotes = false;
    reader.delimiter[0] = ';';
    reader.delimiter[1] = '\0';
    reader.delimiter_length = 1;
    reader.last_progress_time = 0;
    reader.refill_short = 0;
    if (reader.window == nullptr || reader.capture == nullptr ||
        !versioned_code_start(reader.versioned)) {
        return status_out_of_memory();
    }
    return {};
}

void reader_fail(DumpReader& reader, StatusKind kind, Msg message) {
    if (reader.status.ok()) reader.status = status_fail(kind, message);
}

bool reader_keep_alive(DumpReader& reader) {
    if (!reader.status.ok()) return false;
    std::uint64_t now = clock_ms();
    if (now > reader.last_progress_time + 99 || reader.last_progress_time == 0) {
        reader.last_progress_time = now;
        if (!progress_report(reader.sink, reader.position, reader.dump_size,
                             reader.state->total_entries, msg_text(Msg::progress_indexing))) {
            reader_fail(reader, StatusKind::cancelled, Msg::cancelled);
            return false;
        }
    }
    return true;
}

int reader_refill(DumpReader& reader, std::uint32_t k) {
    if (!reader_keep_alive(reader)) return READER_END;
    // The window starts on the page at or before the position, whichever look-ahead asked for
    // the refill: the system copies whole pages into the page-aligned window fastest (an
    // unaligned start cost a third more time in the kernel).
    reader.window_start = reader.position & ~(READER_ALIGN - 1);
    reader.window_length = 0;
    if (!file_seek_to(reader.state->dump_handle, reader.window_start)) {
        reader_fail(reader, StatusKind::input_output, Msg::dump_seek_failed);
        return READER_END;
    }
    const std::uint64_t size = reader.refill_short != 0 ? READER_SHORT_READ : READER_WINDOW_SIZE;
    reader.refill_short = 0;
    reader.window_length = file_read_some(reader.state->dump_handle, reader.window.get(), size);
    const std::uint64_t at = reader.position + k - reader.window_start;
    if (at < reader.window_length) return reader.window[at];
    reader_fail(reader, StatusKind::input_output, Msg::dump_read_failed);
    return READER_END;
}

void reader_skip_blanks_run(DumpReader& reader) {
    for (;;) {
        std::uint64_t avail = reader_available(reader);
        if (avail != 0) {
            const unsigned char* p = reader_cursor(reader);
            std::uint64_t i = 0;
            while (i < avail && sql_is_blank(p[i])) ++i;
            reader.position += i;
            if (i == avail) continue;
        }
        int c = reader_peek(reader, 0);
        if (c == READER_END) return;
        if (sql_is_blank(static_cast<unsigned char>(c))) {
            ++reader.position;
        } else if (reader_comment_at(reader) != SqlComment::none) {
            reader_skip_comment(reader);
        } else {
            return;
        }
    }
}

namespace {

// Moves past an ordinary block comment's body, after its "/*".
void skip_block_body(DumpReader& reader) {
    for (;;) {
        std::uint64_t avail = reader_available(reader);
        if (avail != 0) {
            const unsigned char* p = reader_cursor(reader);
            const void* star = std::memchr(p, '*', avail);
            if (star == nullptr) {
                reader.position += avail;
                continue;
            }
            reader.position += static_cast<std::uint64_t>(static_cast<const unsigned char*>(star) - p);
        }
        int c = reader_peek(reader, 0);
        if (c == READER_END) {
            reader_fail(reader, StatusKind::syntax, Msg::comment_unterminated);
            return;
        }
        ++reader.position;
        if (c == '*' && reader_peek(reader, 0) == '/') {
            ++reader.position;
            return;
        }
    }
}

// The reader as a byte source that keeps the first CAPTURE_MAX bytes it passes.
struct CapturingBytes {
    DumpReader& reader;
    char* capture;
    std::uint64_t passed = 0;
    int peek(std::uint32_t k) const { return reader_peek(reader, k); }
    void advance() {
        const int c = reader_peek(reader, 0);
        if (c == READER_END) return;
        if (passed < CAPTURE_MAX) capture[passed] = static_cast<char>(c);
        ++passed;
        ++reader.position;
    }
};

// Moves past an executable comment's body, after its "/*", and hands its contents on.
void skip_executable_body(DumpReader& reader) {
    CapturingBytes bytes{reader, reader.capture.get()};
    const bool closed = sql_skip_executable_body(bytes, reader.escape_mode);
    if (!closed) reader_fail(reader, StatusKind::syntax, Msg::comment_unterminated);
    // The contents end before the closing "*/"; an unterminated comment's run to the end.
    const std::uint64_t contents = closed ? bytes.passed - 2 : bytes.passed;
    const std::uint64_t held = contents < CAPTURE_MAX ? contents : CAPTURE_MAX;
    char* capture = reader.capture.get();
    capture[held] = '\0';
    if (!versioned_code_is_definition(reader.versioned, capture)) {
        sql_mode_recognise(reader, capture);
        report_declared_charset(reader, capture);
    }
    versioned_code_capture(reader.versioned, *reader.state, capture, reader.escape_mode);
}

}  // namespace

void reader_skip_comment(DumpReader& reader) {
    const SqlComment kind = reader_comment_at(reader);
    if (kind == SqlComment::none) return;
    const std::uint64_t start = reader.position;
    reader.comment_start = start;
    if (kind == SqlComment::line) {
        skip_to_line_end(reader);
    } else {
        reader.position += 2;  // "/*"
        if (kind == SqlComment::executable) {
            skip_executable_body(reader);
        } else {
            skip_block_body(reader);
        }
    }
    reader.state->report.comment_bytes += reader.position - start;
}

bool reader_skip_quoted(DumpReader& reader, unsigned char quote) {
    const bool escapes = escapes_in(reader.escape_mode, quote);
    for (;;) {
        std::uint64_t avail = reader_available(reader);
        if (avail != 0) {
            std::size_t i = 0;
            if (scan_quoted(reader_cursor(reader), avail, quote, escapes, i)) {
                reader.position += i;
                return true;
            }
            reader.position += i;
            if (i == avail) continue;
        }
        // The byte the window cannot decide, by the general rule; then the window again.
        ReaderBytes bytes{reader};
        int byte = 0;
        const QuotedEnd step = sql_quoted_step(bytes, quote, escapes, byte);
        if (step == QuotedEnd::closed) return true;
        if (step == QuotedEnd::inside) continue;
        reader_fail(reader, StatusKind::syntax, Msg::string_unterminated);
        return false;
    }
}

bool reader_read_token(DumpReader& reader, Token& token) {
    reader_skip_blanks(reader);
    token.start = reader.position;
    token.end = reader.position;
    token.length = 0;
    token.text[0] = '\0';
    int c = reader_peek(reader, 0);
    if (c == READER_END) {
        token.kind = TOKEN_NONE;
        return false;
    }
    ++reader.position;
    token.kind = TOKEN_WORD;
    if (is_quote(c)) {
        token.kind = c == '`' ? TOKEN_BACKQUOTED : TOKEN_STRING;
        ReaderBytes bytes{reader};
        const QuotedEnd end = sql_walk_quoted_body(
            bytes, c, escapes_in(reader.escape_mode, c), [&token](unsigned char b) {
                if (token.length == TOKEN_MAX) return false;
                token.text[token.length++] = static_cast<char>(b);
                return true;
            });
        if (end == QuotedEnd::closed) {
            token.text[token.length] = '\0';
            token.end = reader.position;
            return true;
        }
        if (end == QuotedEnd::stopped) {
            reader_fail(reader, StatusKind::limit, Msg::header_quoted_too_long);
        } else {
            reader_fail(reader, StatusKind::syntax, Msg::header_quote_unterminated);
        }
        token.kind = TOKEN_NONE;
        return false;
    }
    token.text[token.length++] = static_cast<char>(c);
    if (sql_is_word(static_cast<unsigned char>(c))) {
        for (;;) {
            int b = reader_peek(reader, 0);
            if (b == READER_END || !sql_is_word(static_cast<unsigned char>(b))) break;
            if (token.length == TOKEN_MAX) {
                reader_fail(reader, StatusKind::limit, Msg::header_word_too_long);
                token.kind = TOKEN_NONE;
                return false;
            }
            ++reader.position;
            token.text[token.length++] = static_cast<char>(b);
        }
    } else {
        token.kind = TOKEN_OTHER;
    }
    token.text[token.length] = '\0';
    token.end = reader.position;
    return true;
}

bool reader_at_delimiter(DumpReader& reader) {
    for (std::uint32_t i = 0; i < reader.delimiter_length; ++i) {
        if (reader_peek(reader, i) != static_cast<unsigned char>(reader.delimiter[i])) return false;
    }
    return reader.delimiter_length != 0;
}

bool reader_skip_statement(DumpReader& reader) {
    const unsigned char first = static_cast<unsigned char>(reader.delimiter[0]);
    for (;;) {
        std::uint64_t avail = reader_available(reader);
        if (avail != 0) {
            const unsigned char* p = reader_cursor(reader);
            std::uint64_t i = 0;
            while (i < avail && p[i] != first && !statement_stop_byte(p[i])) ++i;
            reader.position += i;
            if (i == avail) continue;
        }
        int c = reader_peek(reader, 0);
        if (c == READER_END) break;
        if (c == first && reader_at_delimiter(reader)) {
            reader.position += reader.delimiter_length;
            return true;
        }
        if (reader_comment_at(reader) != SqlComment::none) {
            reader_skip_comment(reader);
            continue;
        }
        ++reader.position;
        if (is_quote(c) && !reader_skip_quoted(reader, static_cast<unsigned char>(c))) return false;
    }
    reader.statement_unclosed = true;
    return reader.status.ok();
}

bool reader_at_cut(const DumpReader& reader) {
    if (reader.position < reader.dump_size) return false;
    const Status& s = reader.status;
    return s.ok() || (s.kind == StatusKind::syntax && (s.message == Msg::string_unterminated ||
                                                        s.message == Msg::comment_unterminated ||
                                                        s.message == Msg::header_quote_unterminated));
}

void reader_accept_cut(DumpReader& reader) {
    reader.status = {};
    reader.statement_unclosed = true;
}

void import_note_with(DumpState& state, Msg note, std::string_view first,
                      std::string_view second) {
    try {
        const std::string a(first), b(second);
        const char* format = msg_text(note);
        std::string text(std::strlen(format) + a.size() + b.size() + 1, '\0');
        msg_format(text.data(), text.size(), format, a.c_str(), b.c_str());
        import_note_append(state, text.c_str());
    } catch (const std::bad_alloc&) {
        ++state.note_count;  // counted like a note whose text no longer fits
    }
}

std::unique_ptr<char[]> reader_read_text(DumpReader& reader, std::uint64_t start,
                                         std::uint64_t length) {
    if (length > STATEMENT_TEXT_MAX) {
        import_note_append(*reader.state, msg_text(Msg::note_text_capped));
        length = STATEMENT_TEXT_MAX;
    }
    std::unique_ptr<char[]> text(new (std::nothrow) char[length + 1]);
    if (!text) return nullptr;
    if (!file_seek_to(reader.state->dump_handle, start)) return nullptr;
    if (length != 0 && file_read_some(reader.state->dump_handle, text.get(), length) != length) {
        return nullptr;
    }
    text[length] = '\0';
    return text;
}

}  // namespace kv
