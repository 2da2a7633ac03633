// Forward-only byte reader over a dump of any size (gigabytes) and the lexical operations every
// statement kind needs: blanks and the three comment forms, quoted strings and identifiers under
// the current escape mode, header tokens, statement ends at the current delimiter, and fetching
// a statement's text by position.
//
// The reader holds one 1 MiB window of the dump at 64-bit positions. reader_peek inside the
// window is a bounds test and an array access; the refill (with progress report and
// cancellation) is out of line. Look-ahead is at most 18 bytes (a 19-byte delimiter). Once a
// failure has been recorded (the reader's status) the reader yields READER_END for ever.
// Nothing here allocates per byte: the window and the 64 KiB comment capture belong to the
// reader; statement texts are fetched separately, capped at 2 MiB.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string_view>

#include "cache/format.h"
#include "foundation/dump_state.h"
#include "foundation/page_buffer.h"
#include "foundation/progress.h"
#include "foundation/sql_lex.h"
#include "foundation/status.h"
#include "importer/versioned_code.h"

namespace kv {

inline constexpr std::uint64_t READER_WINDOW_SIZE = 1048576;
// A refill after the position jumped ahead (past tuples that helper threads scanned) reads
// this much first: most of a full window would only be passed over by the next jump.
inline constexpr std::uint64_t READER_SHORT_READ = 65536;
inline constexpr std::uint64_t READER_ALIGN = 4096;  // windows start on such a boundary
inline constexpr int READER_END = SQL_END;  // out-of-band result of reader_peek
inline constexpr std::uint32_t TOKEN_MAX = 8191;
inline constexpr std::uint32_t DELIMITER_MAX = 19;
inline constexpr std::uint32_t CAPTURE_MAX = 65536;
// The longest statement text fetched, so that every CREATE text fits the manifest.
inline constexpr std::uint64_t STATEMENT_TEXT_MAX = MANIFEST_MAX_TEXT_BYTES;
// Schema names come from tokens; the manifest must keep the longest.
static_assert(TOKEN_MAX <= MANIFEST_MAX_NAME_BYTES);

enum TokenKind : std::uint32_t {
    TOKEN_NONE = 0,
    TOKEN_WORD = 1,
    TOKEN_BACKQUOTED = 2,
    TOKEN_STRING = 3,
    TOKEN_OTHER = 4,
};

// One header token: at most TOKEN_MAX bytes of text, NUL-terminated. Quotes are removed, a
// doubled quote is stored once and an escaped byte without its backslash. Names are taken from
// it as NUL-terminated text (a NUL byte inside a quoted name ends the name), so no schema name
// carries a NUL byte into the manifest, which refuses such strings.
struct Token {
    char text[TOKEN_MAX + 1] = {};
    std::uint32_t length = 0;
    std::uint32_t kind = TOKEN_NONE;
    std::uint64_t start = 0;  // first byte, after blanks and comments
    std::uint64_t end = 0;    // just after the token (after the closing quote)
};

// Case-insensitive (ASCII letters only) comparison of a token's text with a keyword.
bool token_is(const Token& token, const char* keyword);
// The same for a bare word only: a quoted name (backquotes, or double quotes under
// ANSI_QUOTES) is never a keyword, whatever it spells.
inline bool token_is_keyword(const Token& token, const char* keyword) {
    return token.kind == TOKEN_WORD && token_is(token, keyword);
}
// The single punctuation byte c as a token of its own (not a quoted name that holds it).
inline bool token_is_punct(const Token& token, char c) {
    return token.kind == TOKEN_OTHER && token.text[0] == c;
}

struct DumpReader {
    DumpState* state = nullptr;
    const ProgressSink* sink = nullptr;            // may be null
    PageBuffer window;                             // READER_WINDOW_SIZE bytes, page-aligned
    std::unique_ptr<char[]> capture;               // CAPTURE_MAX + 1 bytes
    std::uint64_t dump_size = 0;                   // fixed at opening
    std::uint64_t position = 0;                    // next byte to consume
    std::uint64_t window_start = ~std::uint64_t{0};  // no window yet
    std::uint64_t window_length = 0;
    Status status;                                 // the first failure (sticky)
    EscapeMode escape_mode = EscapeMode::backslash;  // the mode strings are read in now
    EscapeMode saved_escape_mode = EscapeMode::backslash;  // kept by @OLD_SQL_MODE=@@SQL_MODE
    std::uint32_t mode_saved = 0;                  // 1 once the dump saved its mode
    // ANSI_QUOTES (alone or through ANSI and the other modes that include it): kept with the
    // escape mode so that each tuple's entry records the session its statement was written for.
    bool ansi_quotes = false;
    bool saved_ansi_quotes = false;
    char delimiter[DELIMITER_MAX + 1] = {';', 0};
    std::uint32_t delimiter_length = 1;
    std::uint64_t last_progress_time = 0;
    std::uint32_t refill_short = 0;                // 1: the next refill reads READER_SHORT_READ
    VersionedCode versioned;                       // code objects in executable comments
    bool statement_unclosed = false;  // the statement ran to the end without its delimiter
    std::uint64_t comment_start = 0;  // first byte of the comment passed over last
    bool charset_from_client = false;  // the report's charset came from character_set_client
    // The character set the session reads statements in from here on ("" while none is
    // declared), and the user variable that saved it last (mysqldump's @saved_cs_client).
    std::string charset_in_force;
    std::string saved_charset_variable;
    std::string saved_charset;
};

// Prepares a reader over state's open dump: allocates the window and the capture buffer,
// position 0, delimiter ";", escape modes from the sink (backslash escapes without one).
// Fails only when memory is short.
Status reader_start(DumpReader& reader, DumpState& state, const ProgressSink* sink);

// Records a failure of the reader as its status. The first one stands: a cancellation is not
// turned into whatever the scan then makes of the missing bytes. Out of line and rare, so that
// the loops that may fail stay small.
void reader_fail(DumpReader& reader, StatusKind kind, Msg message);

// Reports progress (position, entries so far) when 100 ms have passed since the last report.
// False, with the reader failed (cancelled), when the sink asks to cancel, and after any
// earlier failure. For waits outside the reader, which must stay cancellable.
bool reader_keep_alive(DumpReader& reader);

// Out-of-line part of reader_peek: progress report, seek and one window read.
int reader_refill(DumpReader& reader, std::uint32_t k);

// Byte at position + k, or READER_END at the end of the dump or after a failure.
inline int reader_peek(DumpReader& reader, std::uint32_t k) {
    if (!reader.status.ok()) return READER_END;
    std::uint64_t at = reader.position + k;
    if (at >= reader.dump_size) return READER_END;
    std::uint64_t offset = at - reader.window_start;  // wraps when before the window
    if (offset < reader.window_length) return reader.window[offset];
    return reader_refill(reader, k);
}

inline void reader_consume(DumpReader& reader) {
    if (reader_peek(reader, 0) != READER_END) ++reader.position;
}

// Test-only switch, false in every program: when set, reader_available reports no bytes, so
// every scan goes byte by byte through reader_peek. That plain path is the reference the window
// scans are checked against; the switch costs one test per window pass, never one per byte.
extern bool reader_byte_path_only;

// Bytes available at the position inside the current window (bounded by the dump size),
// without refilling; 0 when the next byte needs a refill or the reader is at its end.
inline std::uint64_t reader_available(const DumpReader& reader) {
    if (reader_byte_path_only || !reader.status.ok() || reader.position >= reader.dump_size) {
        return 0;
    }
    std::uint64_t offset = reader.position - reader.window_start;
    if (offset >= reader.window_length) return 0;
    std::uint64_t in_window = reader.window_length - offset;
    std::uint64_t in_dump = reader.dump_size - reader.position;
    return in_window < in_dump ? in_window : in_dump;
}
inline const unsigned char* reader_cursor(const DumpReader& reader) {
    return reader.window.get() + (reader.position - reader.window_start);
}

// The reader as a byte source of the lexical walkers (sql_lex.h).
struct ReaderBytes {
    DumpReader& reader;
    int peek(std::uint32_t k) const { return reader_peek(reader, k); }
    void advance() { reader_consume(reader); }
};

// The comment that starts at the position (SqlComment::none for any other byte).
inline SqlComment reader_comment_at(DumpReader& reader) {
    ReaderBytes bytes{reader};
    return sql_comment_at(bytes);
}

// Out-of-line part of reader_skip_blanks.
void reader_skip_blanks_run(DumpReader& reader);

// Moves past blanks and comments ("#", "-- ", "/* */"; executable comments are captured and
// handed to the SQL_MODE recogniser). Called several times per tuple, so the common case, a
// byte in the window that can start neither, is decided inline.
inline void reader_skip_blanks(DumpReader& reader) {
    if (reader_available(reader) != 0) {
        const unsigned char c = *reader_cursor(reader);
        if (c > ' ' && c != '#' && c != '-' && c != '/') return;
    }
    reader_skip_blanks_run(reader);
}
// Position on the first byte of a comment; moves past it. An executable comment is read as
// code in the escape mode in force; its contents (from the "!" or "M!" to before the closing
// "*/", at most 64 KiB) go to the SQL_MODE recogniser and the code-object notes.
void reader_skip_comment(DumpReader& reader);
// Called after the opening quote q was consumed; moves past the closing quote. False when the
// reader failed (the string runs to the end of the dump).
bool reader_skip_quoted(DumpReader& reader, unsigned char quote);
// Skips blanks and comments and reads one token; false at the end or when the reader failed.
bool reader_read_token(DumpReader& reader, Token& token);
// Moves past the current statement's delimiter (or to the end, which sets statement_unclosed);
// false when the reader failed.
bool reader_skip_statement(DumpReader& reader);
// True when the delimiter's bytes start at the position; consumes nothing.
bool reader_at_delimiter(DumpReader& reader);
// True when the dump ends inside the construct the scan stands in: the reader is at the end of
// the dump and has either not failed or failed only because a string, a quoted name or a
// comment ran to that end. A read error, a cancellation or a limit is never such an end.
bool reader_at_cut(const DumpReader& reader);
// Accepts the end of the dump inside a statement (reader_at_cut): forgets the failure that the
// missing bytes caused and records the statement as unclosed. The reader stays at the end.
void reader_accept_cut(DumpReader& reader);
// Appends the import note whose printf format is note, filled with the texts first and second
// (%s each). Counted like any note, also when its text cannot be built for lack of memory.
void import_note_with(DumpState& state, Msg note, std::string_view first,
                      std::string_view second = {});

// A stretch of the dump by its own seek and read, capped at 2 MiB (with an import note),
// NUL-terminated; null when it cannot be read or allocated. Window and position stay.
std::unique_ptr<char[]> reader_read_text(DumpReader& reader, std::uint64_t start,
                                         std::uint64_t length);

}  // namespace kv
