// INSERT headers, column lists and tuple indexing (see insert_scan.h).
//
// One statement (a line of megabytes, up to 4,096 columns in its list) is read by an
// InsertScan in named stages: the header up to the table, the optional column list with
// VALUES, the tuple loop, and what follows the last tuple; each tuple is walked by the block
// pass, the stop-by-stop window walk and the byte path. A stage returns whether the statement
// goes on; nothing is allocated per tuple. A failure the scan finds itself is recorded once, as
// the statement's verdict (InsertScan::fail); the reader's own failures (a read error, a
// cancellation, an unterminated string) are its status. The verdict stands over a failure the
// reader met inside the statement: an over-long name is reported as the header it leaves
// incomplete. Where the dump ends inside the statement (an aborted backup), nothing fails: the
// tuples completed before the end stay indexed and a note says where the statement started.
#include "importer/insert_scan.h"

#include <cstring>
#include <new>
#include <string>

#include "foundation/message.h"
#include "foundation/messages.h"
#include "foundation/sql_lex.h"
#include "foundation/sql_quote.h"
#include "importer/chunk_scan.h"
#include "importer/tuple_blocks.h"

namespace kv {

namespace {

// A comment inside a tuple may switch the escape mode (an executable comment that sets
// sql_mode). The tuple itself is scanned, and later decoded, in the mode it started in, so
// such a switch is held back and takes effect after the tuple's ')'.
class TupleEscapeMode {
public:
    explicit TupleEscapeMode(DumpReader& reader)
        : reader_(reader), tuple_mode_(reader.escape_mode), after_mode_(reader.escape_mode) {}
    void skip_comment() { hold_back([&] { reader_skip_comment(reader_); }); }
    void skip_blanks() { hold_back([&] { reader_skip_blanks(reader_); }); }
    bool closed() {
        reader_.escape_mode = after_mode_;
        return true;
    }
    // No comment in the tuple so far has switched the mode for what follows it.
    bool unchanged() const { return after_mode_ == tuple_mode_; }

private:
    // The comment sees the mode as the dump has set it so far; the scan goes on in the
    // tuple's mode.
    template <typename Skip>
    void hold_back(Skip skip) {
        reader_.escape_mode = after_mode_;
        skip();
        after_mode_ = reader_.escape_mode;
        reader_.escape_mode = tuple_mode_;
    }
    DumpReader& reader_;
    EscapeMode tuple_mode_;
    EscapeMode after_mode_;
};

// Whether bytes hold no comment: a list is remembered only when reading it again has no
// effect beyond its column numbers (an executable comment may switch the escape mode).
bool free_of_comments(const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (sql_may_start_comment(p[i], i + 1 < n ? p[i + 1] : SQL_END)) return false;
    }
    return true;
}

// Where a walk over a tuple's bytes left it: inside (the next walk goes on), after its ')',
// or failed.
enum class TupleEnd : std::uint8_t { inside, closed, failed };

// The scan of one statement after its keyword. Lives for the statement; the scratch holds
// what statements share.
class InsertScan {
public:
    InsertScan(DumpReader& reader, IndexWriter& writer, InsertScratch& scratch,
               std::uint64_t statement_start)
        : reader_(reader), state_(*reader.state), writer_(writer), scratch_(scratch),
          t_(scratch.token), statement_start_(statement_start) {}

    // Success to go on after the statement, or the failure that ends the import.
    Status run(bool is_replace, std::string_view current_database);

    // The chain of the block pass (tuple_blocks.h): it closes a tuple and goes straight on
    // with the next one when they are joined by ",(" in the window (the way mysqldump writes
    // them), so the per-tuple work of the tuple loop is skipped. Only for tuples after the
    // first of a statement (whose value count fixes the layout), in one escape mode, and only
    // where the loop would do exactly the same: the value count matches, and the next tuple
    // starts with a byte that is no blank, no comment and no ")". The chain hands back to the
    // loop (stopped_) at a tuple start at or after *sync_, where helper threads may have
    // scanned ahead (chunk_scan.h).
    std::uint32_t expected_values = 0;  // the first tuple's value count
    ChainStep link(std::size_t k);

    // A run of whole statements after this one's anchor (insert_statement_run).
    Status take_statements(const ChunkRunView& run, std::uint32_t& taken);

private:
    // Statement stages.
    bool header(std::string_view current_database);
    bool find_table();
    bool values_keyword(bool is_replace);
    bool column_list();
    bool read_column_list(std::uint32_t& count);
    bool tuples();
    bool take_run(const ChunkRunView& run, std::uint32_t layout_word);
    bool note_data_charset();
    bool index_tuple(EscapeMode tuple_mode);
    bool fix_layout();
    bool table_layout(LayoutMemo& memo);
    bool trailer();
    void remember();
    // Tuple stages.
    bool scan_tuple(bool chained);
    TupleEnd block_pass(bool chained);
    TupleEnd stop_walk();
    TupleEnd byte_path(TupleEscapeMode& mode);
    // Indexing, statements passed over and failures.
    bool skip(Msg note);
    void note_on_table(Msg note, std::uint64_t byte);
    bool emit(std::uint64_t start, std::uint64_t length, std::uint32_t layout_word);
    bool length_fits(std::uint64_t length);
    bool fail(Status failure);
    bool fail(StatusKind kind, Msg message) { return fail(status_fail(kind, message)); }
    TupleEnd tuple_fail(StatusKind kind, Msg message) {
        fail(kind, message);
        return TupleEnd::failed;
    }
    TupleEnd after(TupleStep step);

    DumpReader& reader_;
    DumpState& state_;
    IndexWriter& writer_;
    InsertScratch& scratch_;
    Token& t_;                          // the header token read last
    const std::uint64_t statement_start_;  // where INSERT or REPLACE stands
    Status verdict_;                    // the statement's own failure, once found
    std::uint32_t object_ = 0;          // the statement's table
    bool has_list_ = false;             // the statement names its columns
    // Column list, verb and ANSI_QUOTES of the statement, for every entry's layout word.
    std::uint32_t statement_bits_ = 0;
    int layout_ = -1;                   // fixed by the first tuple
    TupleWalk walk_;                    // the current tuple's
    std::uint32_t layout_word_ = 0;     // the entry word of the current tuple
    std::uint64_t base_ = 0;            // dump position of the block pass's first byte
    std::uint64_t start_ = 0;           // dump position of the current tuple's "("
    const std::uint64_t* sync_ = nullptr;
    bool stopped_ = false;              // the chain ended at the '(' of the tuple at start_
    // The table as the statement found it, to take back what it indexed when it is skipped.
    std::uint64_t entries_before_ = 0;
    std::uint64_t bytes_before_ = 0;
    std::size_t layouts_before_ = 0;
    bool skipped_ = false;              // a tuple did not fit: the rest is passed over
    bool table_found_ = false;          // object_ names the statement's table
    bool cut_ = false;                  // the dump ends inside the statement
    bool replace_ = false;              // REPLACE
    bool delimited_ = false;            // the delimiter followed the last tuple
    EscapeMode first_mode_ = EscapeMode::backslash;  // the first tuple's
};

Status InsertScan::run(bool is_replace, std::string_view current_database) {
    static constexpr std::uint64_t NO_SYNC = ~std::uint64_t{0};
    sync_ = scratch_.chunks != nullptr ? chunk_scan_sync(*scratch_.chunks) : &NO_SYNC;
    if (header(current_database) && values_keyword(is_replace) && tuples()) trailer();
    remember();
    if (skipped_ && verdict_.ok() && reader_.status.ok()) reader_skip_statement(reader_);
    // A string or comment that runs to the end of the dump, after the last tuple or inside one.
    if (verdict_.ok() && !reader_.status.ok() && reader_at_cut(reader_)) cut_ = true;
    if (cut_) {
        if (table_found_ && !skipped_) {
            note_on_table(Msg::note_cut_insert, statement_start_);
        } else {
            import_note_with(state_, Msg::note_cut_statement, std::to_string(statement_start_));
        }
        reader_accept_cut(reader_);
        return {};
    }
    if (!verdict_.ok()) return std::move(verdict_);
    return reader_.status;
}

// Keeps the statement as the anchor of a run of whole statements when the loop indexed exactly
// one tuple of it, followed by the delimiter; forgets the last one otherwise.
void InsertScan::remember() {
    StatementMemo& memo = scratch_.last_statement;
    memo.anchor.start = NO_STATEMENT;
    if (!verdict_.ok() || !reader_.status.ok() || skipped_ || cut_ || !delimited_ ||
        layout_ < 0 || state_.objects[object_].entry_count != entries_before_ + 1) {
        return;
    }
    memo.anchor.start = statement_start_;
    memo.anchor.end = reader_.position;
    memo.anchor.header = static_cast<std::uint32_t>(start_ - statement_start_);
    memo.anchor.values = expected_values;
    memo.anchor.mode = first_mode_;
    memo.object = object_;
    memo.layout_word =
        layout_word_make(static_cast<std::uint32_t>(layout_), first_mode_, statement_bits_);
    memo.replace = replace_;
}

// Indexes the statements of a run as their own scans would (its anchor's table, layout and
// verb for each, the REPLACE note of each, the comments between them) and moves the reader
// after the last one's ';', or after the tuple whose entry failed.
Status InsertScan::take_statements(const ChunkRunView& run, std::uint32_t& taken) {
    StatementMemo& memo = scratch_.last_statement;
    object_ = memo.object;
    std::uint64_t start = run.start;
    std::uint64_t last = start;
    for (std::uint32_t k = 0; k < run.count; ++k) {
        if (memo.replace) import_note_append(state_, msg_text(Msg::note_replace));
        ++taken;
        const std::uint64_t open = start + run.header;
        if (!emit(open, run.lengths[k], memo.layout_word)) {
            reader_.position = open + run.lengths[k];
            return std::move(verdict_);
        }
        last = start;
        start = open + run.lengths[k] + run.gaps[k];
    }
    state_.report.comment_bytes += run.comment_bytes;
    memo.anchor.start = last;
    memo.anchor.end = start;
    reader_.position = start;
    if (start - reader_.window_start >= reader_.window_length) reader_.refill_short = 1;
    return {};
}

// The one place a failure of the statement is recorded; the first stands. A header, list or
// tuple that the end of the dump cuts short (a missing token, '(' or ')', or a token that
// reaches the end, which may be the first bytes of the one expected) marks the statement as
// cut instead.
bool InsertScan::fail(Status failure) {
    if ((failure.kind == StatusKind::syntax || failure.kind == StatusKind::refused) &&
        verdict_.ok() && reader_at_cut(reader_)) {
        cut_ = true;
        return false;
    }
    if (verdict_.ok()) verdict_ = std::move(failure);
    return false;
}

// Modifiers, INTO and a plain or qualified table name; t_ then holds the token after it.
bool InsertScan::header(std::string_view current_database) {
    if (!reader_read_token(reader_, t_)) {
        return fail(StatusKind::syntax, Msg::insert_header_incomplete);
    }
    while (token_is(t_, "LOW_PRIORITY") || token_is(t_, "HIGH_PRIORITY") ||
           token_is(t_, "DELAYED") || token_is(t_, "IGNORE")) {
        if (token_is(t_, "IGNORE")) {
            statement_bits_ = static_cast<std::uint32_t>(InsertVerb::insert_ignore)
                              << LAYOUT_VERB_SHIFT;
        }
        if (!reader_read_token(reader_, t_)) {
            return fail(StatusKind::syntax, Msg::insert_header_incomplete);
        }
    }
    if (token_is(t_, "INTO") && !reader_read_token(reader_, t_)) {
        return fail(StatusKind::syntax, Msg::insert_no_table_after_into);
    }
    try {
        scratch_.table.assign(t_.text);
        scratch_.database.assign(current_database);
    } catch (const std::bad_alloc&) {
        return fail(status_out_of_memory());
    }
    if (!reader_read_token(reader_, t_)) return fail(StatusKind::syntax, Msg::insert_header_ends);
    if (token_is_punct(t_, '.')) {
        if (!reader_read_token(reader_, t_)) {
            return fail(StatusKind::syntax, Msg::insert_no_table_after_database);
        }
        try {
            scratch_.database.swap(scratch_.table);
            scratch_.table.assign(t_.text);
        } catch (const std::bad_alloc&) {
            return fail(status_out_of_memory());
        }
        reader_read_token(reader_, t_);
    }
    return find_table();
}

// The statement's table as object_; the previous statement's table is tried first.
bool InsertScan::find_table() {
    const int last = scratch_.last_object;
    if (last >= 0 && static_cast<std::size_t>(last) < state_.objects.size()) {
        const SchemaObject& o = state_.objects[static_cast<std::size_t>(last)];
        if (o.kind == OBJECT_TABLE && o.object_name == scratch_.table &&
            o.database_name == scratch_.database) {
            object_ = static_cast<std::uint32_t>(last);
            table_found_ = true;
            return note_data_charset();
        }
    }
    if (Status found = object_find_or_add(state_, scratch_.database, scratch_.table,
                                          OBJECT_TABLE, object_, scratch_.lookup);
        !found.ok()) {
        return fail(std::move(found));
    }
    scratch_.last_object = static_cast<int>(object_);
    table_found_ = true;
    return note_data_charset();
}

// Until the table has rows, each of its statements may be the one of its first tuple: the
// character set in force there is the one its data are in.
bool InsertScan::note_data_charset() {
    SchemaObject& table = state_.objects[object_];
    if (table.entry_count != 0 || table.data_charset == reader_.charset_in_force) return true;
    try {
        table.data_charset = reader_.charset_in_force;
    } catch (const std::bad_alloc&) {
        return fail(status_out_of_memory());
    }
    return true;
}

// The optional column list and VALUES (or VALUE).
bool InsertScan::values_keyword(bool is_replace) {
    if (token_is_punct(t_, '(')) {
        has_list_ = true;
        if (!column_list()) return false;
        if (!reader_read_token(reader_, t_)) {
            return fail(StatusKind::syntax, Msg::insert_no_values_after_list);
        }
    }
    if (!token_is(t_, "VALUES") && !token_is(t_, "VALUE")) {
        return fail(StatusKind::refused, Msg::insert_only_values);
    }
    if (is_replace) {
        replace_ = true;
        import_note_append(state_, msg_text(Msg::note_replace));
        statement_bits_ = static_cast<std::uint32_t>(InsertVerb::replace) << LAYOUT_VERB_SHIFT;
    }
    if (has_list_) statement_bits_ |= LAYOUT_COLUMN_LIST;
    if (reader_.ansi_quotes) statement_bits_ |= LAYOUT_ANSI_QUOTES;
    return true;
}

// The column list after its "(" into scratch.with_list: when the same bytes as the table's
// last list follow in the window, read in the same escape mode, that list's numbers hold and
// the bytes are passed over; otherwise the list is read and remembered.
bool InsertScan::column_list() {
    LayoutMemo& memo = scratch_.with_list;
    const std::size_t n = memo.list_bytes.size();
    if (memo.object == static_cast<int>(object_) && n != 0 &&
        memo.escape_mode == reader_.escape_mode && reader_available(reader_) >= n &&
        std::memcmp(reader_cursor(reader_), memo.list_bytes.data(), n) == 0) {
        reader_.position += n;
        return true;
    }
    memo.object = -1;
    memo.list_bytes.clear();
    const std::uint64_t start = reader_.position;
    const EscapeMode mode = reader_.escape_mode;
    if (!read_column_list(memo.count)) return false;
    memo.object = static_cast<int>(object_);
    memo.layout = -1;
    memo.escape_mode = mode;
    const std::uint64_t end = reader_.position;
    if (mode == reader_.escape_mode && start >= reader_.window_start &&
        end <= reader_.window_start + reader_.window_length) {
        const unsigned char* p = reader_.window.get() + (start - reader_.window_start);
        const auto length = static_cast<std::size_t>(end - start);
        if (free_of_comments(p, length)) {
            try {
                memo.list_bytes.assign(reinterpret_cast<const char*>(p), length);
            } catch (const std::bad_alloc&) {
                memo.list_bytes.clear();  // read again next time
            }
        }
    }
    return true;
}

// Reads the column list after its "(" into scratch.with_list.numbers; count receives its
// length.
bool InsertScan::read_column_list(std::uint32_t& count) {
    std::uint32_t* numbers = scratch_.with_list.numbers.get();
    std::memset(scratch_.listed, 0, sizeof scratch_.listed);
    if (!reader_read_token(reader_, t_)) {
        return fail(StatusKind::syntax, Msg::insert_list_incomplete);
    }
    std::uint32_t n = 0;
    while (!token_is_punct(t_, ')')) {
        if (n == MAX_COLUMNS) return fail(StatusKind::limit, Msg::insert_list_too_long);
        std::uint32_t c = 0;
        if (Status added = column_find_or_add(state_, object_, std::string_view(t_.text),
                                              msg_text(Msg::type_not_in_dump), c,
                                              scratch_.lookup);
            !added.ok()) {
            return fail(std::move(added));
        }
        std::uint64_t bit = std::uint64_t{1} << (c % 64);
        if (scratch_.listed[c / 64] & bit) {
            return fail(StatusKind::syntax, Msg::insert_list_duplicate);
        }
        scratch_.listed[c / 64] |= bit;
        numbers[n++] = c;
        if (!reader_read_token(reader_, t_)) {
            return fail(StatusKind::syntax, Msg::insert_list_incomplete);
        }
        if (token_is_punct(t_, ')')) break;
        if (!token_is_punct(t_, ',') || !reader_read_token(reader_, t_)) {
            return fail(StatusKind::syntax, Msg::insert_list_invalid);
        }
    }
    count = n;
    return true;
}

// The tuples, each followed by "," or the end of the list. True when the list ended.
bool InsertScan::tuples() {
    const SchemaObject& table = state_.objects[object_];
    entries_before_ = table.entry_count;
    bytes_before_ = table.tuple_bytes;
    layouts_before_ = table.layouts.size();
    for (;;) {
        // The tuple's mode is the one in force where it starts, after the comments in front
        // of it: an executable comment there that switches the mode applies to the tuple's
        // scan, so it must apply to its decoding too.
        reader_skip_blanks(reader_);
        const EscapeMode tuple_mode = reader_.escape_mode;
        const int c = reader_peek(reader_, 0);
        if (c == READER_END) return fail(StatusKind::syntax, Msg::insert_tuple_expected);
        if (c == '(' && reader_.position >= *sync_) {
            // Tuples a helper thread has scanned from here on are taken as they are.
            ChunkRunView run;
            if (chunk_scan_consult(*scratch_.chunks, reader_, tuple_mode,
                                   layout_ >= 0 ? expected_values : ~std::uint32_t{0}, run)) {
                const auto layout = static_cast<std::uint32_t>(layout_);
                if (!take_run(run, layout_word_make(layout, tuple_mode, statement_bits_))) {
                    return false;
                }
                continue;
            }
            if (!reader_.status.ok()) return false;
        }
        start_ = reader_.position;
        ++reader_.position;
        if (c != '(') return fail(StatusKind::syntax, Msg::insert_tuple_expected);
        layout_word_ = layout_word_make(static_cast<std::uint32_t>(layout_), tuple_mode,
                                        statement_bits_);
        if (!scan_tuple(layout_ >= 0)) return false;
        if (stopped_) {  // at the '(' of the next tuple, the ones before it indexed
            stopped_ = false;
            continue;
        }
        if (layout_ < 0) first_mode_ = tuple_mode;
        if (!index_tuple(tuple_mode)) return false;
        reader_skip_blanks(reader_);
        if (reader_peek(reader_, 0) != ',') return true;
        ++reader_.position;
    }
}

// Indexes the tuples of a run that a helper thread scanned (chunk_scan.h) and moves the
// reader to the tuple after them. When an entry fails, the reader stands just after that
// tuple, where the scan would have stopped.
bool InsertScan::take_run(const ChunkRunView& run, std::uint32_t layout_word) {
    std::uint64_t start = run.start;
    for (std::uint32_t k = 0; k < run.count; ++k) {
        if (!emit(start, run.lengths[k], layout_word)) {
            reader_.position = start + run.lengths[k];
            return false;
        }
        start += run.lengths[k] + std::uint64_t{run.gaps[k]};
    }
    reader_.position = start;
    // The next refill reads little: the loop will mostly jump again soon.
    if (start - reader_.window_start >= reader_.window_length) reader_.refill_short = 1;
    return true;
}

// The tuple the loop itself scanned, from start_ (which a chain moved on) to the position:
// the first one fixes the statement's layout, every other one must have as many values.
bool InsertScan::index_tuple(EscapeMode tuple_mode) {
    const std::uint64_t length = reader_.position - start_;
    // Checked before the layout is fixed, so that an over-long first tuple fails as such.
    if (!length_fits(length)) return false;
    if (layout_ < 0) {
        if (!fix_layout()) return false;
        expected_values = walk_.values;
    } else if (walk_.values != expected_values) {
        return skip(Msg::note_insert_skipped_count);
    }
    const auto layout = static_cast<std::uint32_t>(layout_);
    return emit(start_, length, layout_word_make(layout, tuple_mode, statement_bits_));
}

// Fixes the statement's layout from its first tuple: the column list, or without one the
// table's columns.
bool InsertScan::fix_layout() {
    const std::uint32_t values = walk_.values;
    LayoutMemo& memo = has_list_ ? scratch_.with_list : scratch_.without_list;
    if (has_list_) {
        if (memo.count != values) return skip(Msg::note_insert_skipped_list);
    } else {
        if (!table_layout(memo)) return false;
        if (memo.count != values) return skip(Msg::note_insert_skipped_table);
    }
    if (memo.layout < 0) {
        std::uint32_t layout = 0;
        if (Status added =
                layout_find_or_add(state_, object_, memo.numbers.get(), values, layout);
            !added.ok()) {
            return fail(std::move(added));
        }
        memo.layout = static_cast<int>(layout);
    }
    layout_ = memo.layout;
    return true;
}

// Without a list the tuple fills the table's columns in order, except INVISIBLE ones; a table
// without columns gets generic ones for the values of the first tuple.
bool InsertScan::table_layout(LayoutMemo& memo) {
    const SchemaObject& o = state_.objects[object_];
    if (o.columns.empty() && walk_.values > 0) {
        import_note_append(state_, msg_text(Msg::note_generic_columns));
        char name[32];
        for (std::uint32_t k = 1; k <= walk_.values; ++k) {
            msg_format(name, sizeof name, msg_text(Msg::generic_column_name),
                       static_cast<unsigned>(k));
            std::uint32_t column = 0;
            if (Status added = column_find_or_add(state_, object_, name,
                                                  msg_text(Msg::type_not_in_dump), column,
                                                  scratch_.lookup);
                !added.ok()) {
                return fail(std::move(added));
            }
        }
    }
    if (memo.object != static_cast<int>(object_) || memo.columns_known != o.columns.size()) {
        std::uint32_t count = 0;
        for (std::uint32_t k = 0; k < o.columns.size(); ++k) {
            if (!column_is_invisible(o.columns[k].type_text)) memo.numbers[count++] = k;
        }
        memo.object = static_cast<int>(object_);
        memo.count = count;
        memo.layout = -1;
        memo.columns_known = o.columns.size();
    }
    return true;
}

// After the last tuple: the delimiter, the end of the dump, or ON DUPLICATE KEY UPDATE (noted
// and passed over).
bool InsertScan::trailer() {
    if (reader_at_delimiter(reader_)) {
        reader_.position += reader_.delimiter_length;
        delimited_ = true;
        return true;
    }
    if (reader_peek(reader_, 0) == READER_END || !reader_read_token(reader_, t_)) {
        reader_.statement_unclosed = true;
        return true;
    }
    if (!token_is(t_, "ON")) return fail(StatusKind::syntax, Msg::insert_trailing);
    import_note_append(state_, msg_text(Msg::note_on_duplicate));
    return reader_skip_statement(reader_);
}

// Scans one tuple whose '(' was just consumed, up to and including its matching ')'. With
// chained, the block pass may index this tuple and go on with following ones; start_ is then
// the start of the tuple that was closed last. The tuple grammar is walked three times on
// purpose (64-byte masks, window stops, reader bytes); strings follow sql_quote.h in all.
bool InsertScan::scan_tuple(bool chained) {
    TupleEscapeMode mode(reader_);
    mode.skip_blanks();
    walk_ = TupleWalk{reader_.escape_mode, 1, reader_peek(reader_, 0) == ')' ? 0u : 1u};
    for (;;) {
        TupleEnd end = TupleEnd::inside;
        if (reader_available(reader_) != 0) {
            end = block_pass(chained && mode.unchanged());
            if (end == TupleEnd::inside) end = stop_walk();
        }
        // The byte path takes over at comments, at window ends and at bytes whose meaning
        // depends on bytes beyond the window.
        if (end == TupleEnd::inside) end = byte_path(mode);
        if (end == TupleEnd::closed) return mode.closed();
        if (end == TupleEnd::failed) return false;
    }
}

// The block pass over the window (tuple_blocks.h): values, nesting and whole strings.
TupleEnd InsertScan::block_pass(bool chained) {
    base_ = reader_.position;
    const BlockStop stop = walk_.blocks(reader_cursor(reader_), reader_available(reader_),
                                        chained ? this : nullptr);
    reader_.position += stop.at;
    switch (stop.outcome) {
        case BlockOutcome::closed:
            return TupleEnd::closed;
        case BlockOutcome::stopped:
            stopped_ = true;
            return TupleEnd::closed;
        case BlockOutcome::failed:
            return TupleEnd::failed;
        case BlockOutcome::too_deep:
            return after(TupleStep::too_deep);
        case BlockOutcome::too_many:
            return after(TupleStep::too_many);
        case BlockOutcome::handover:
            break;
    }
    return TupleEnd::inside;
}

// Where a structural byte leaves the tuple: a limit it exceeds fails the statement.
TupleEnd InsertScan::after(TupleStep step) {
    switch (step) {
        case TupleStep::inside:
            break;
        case TupleStep::closed:
            return TupleEnd::closed;
        case TupleStep::too_many:
            return tuple_fail(StatusKind::limit, Msg::tuple_too_many_values);
        case TupleStep::too_deep:
            return tuple_fail(StatusKind::limit, Msg::tuple_too_deep);
    }
    return TupleEnd::inside;
}

// Stop by stop over the rest of the window (a shared walk with the block pass would give up
// its masks), up to a byte whose meaning depends on what follows beyond the window.
TupleEnd InsertScan::stop_walk() {
    const unsigned char* p = reader_cursor(reader_);
    const std::size_t n = reader_available(reader_);
    TupleWalk walk = walk_;
    std::size_t i = 0;
    TupleEnd end = TupleEnd::inside;
    for (;;) {
        i = scan_find_tuple_stop(p, i, n);
        if (i == n) break;
        const unsigned char b = p[i];
        if (b == ',' || b == '(' || b == ')') {
            ++i;
            const TupleStep step = walk.structural(b);
            if (step == TupleStep::inside) continue;
            end = after(step);
            break;
        }
        if (b == '\'' || b == '"' || b == '`') {
            std::size_t j = i + 1;
            if (!scan_quoted(p, n, b, escapes_in(walk.mode, b), j)) break;
            i = j;
            continue;
        }
        // '-' and '/' that cannot start a comment; '#' always does.
        if (i + 1 < n && !sql_may_start_comment(b, p[i + 1])) {
            ++i;
            continue;
        }
        break;
    }
    reader_.position += i;
    walk_ = walk;
    return end;
}

// The byte path: byte by byte (a comment, a string at a time) by reader_peek, until the window
// holds bytes again. The reference model the two window walks are tested against.
TupleEnd InsertScan::byte_path(TupleEscapeMode& mode) {
    do {
        const int c = reader_peek(reader_, 0);
        if (c == READER_END) {
            return tuple_fail(StatusKind::syntax, Msg::insert_tuple_unterminated);
        }
        if (reader_comment_at(reader_) != SqlComment::none) {
            mode.skip_comment();
            continue;
        }
        ++reader_.position;
        if (c == '\'' || c == '"' || c == '`') {
            if (!reader_skip_quoted(reader_, static_cast<unsigned char>(c))) {
                return TupleEnd::failed;
            }
        } else if (c == ',' || c == '(' || c == ')') {
            const TupleStep step = walk_.structural(static_cast<unsigned char>(c));
            if (step != TupleStep::inside) return after(step);
        }
    } while (reader_available(reader_) == 0);
    return TupleEnd::inside;
}

ChainStep InsertScan::link(std::size_t k) {
    if (!emit(start_, base_ + k + 1 - start_, layout_word_)) return ChainStep::failed;
    start_ = base_ + k + 2;
    return start_ >= *sync_ ? ChainStep::stop : ChainStep::next;
}

// A statement with a tuple (the one at start_) whose values do not fit the table, its column
// list or its first tuple: a server refuses the whole statement, so its entries are taken back
// (also those already written, or taken from helper threads' runs), the layout its first
// tuple added goes again, and run() passes over the rest. No value lands under a wrong column;
// the import goes on after the statement with one note. Generic columns that its first tuple
// gave a table without any stay: they name no values of their own.
bool InsertScan::skip(Msg note) {
    SchemaObject& o = state_.objects[object_];
    if (Status taken = index_take_back(state_, writer_, object_, entries_before_); !taken.ok()) {
        return fail(std::move(taken));
    }
    state_.total_entries -= o.entry_count - entries_before_;
    o.entry_count = entries_before_;
    o.tuple_bytes = bytes_before_;
    if (o.layouts.size() > layouts_before_) {
        o.layouts.resize(layouts_before_);
        for (LayoutMemo* memo : {&scratch_.with_list, &scratch_.without_list}) {
            if (memo->object == static_cast<int>(object_) &&
                memo->layout >= static_cast<int>(layouts_before_)) {
                memo->layout = -1;
            }
        }
    }
    note_on_table(note, start_);
    skipped_ = true;
    return false;
}

// A note on the statement: `database`.`table`, then the byte.
void InsertScan::note_on_table(Msg note, std::uint64_t byte) {
    const SchemaObject& o = state_.objects[object_];
    try {
        import_note_with(state_, note, "`" + o.database_name + "`.`" + o.object_name + "`",
                         std::to_string(byte));
    } catch (const std::bad_alloc&) {
        ++state_.note_count;  // counted like a note whose text no longer fits
    }
}

// Adds the entry of one tuple to the index and the table's counters. Every path that indexes a
// tuple comes through here, so no entry escapes the limits.
bool InsertScan::emit(std::uint64_t start, std::uint64_t length, std::uint32_t layout_word) {
    if (!length_fits(length)) return false;
    IndexEntry entry;
    entry.offset = start;
    entry.length = static_cast<std::uint32_t>(length);
    entry.layout_word = layout_word;
    if (Status added = index_append(state_, writer_, object_, entry); !added.ok()) {
        return fail(std::move(added));
    }
    SchemaObject& o = state_.objects[object_];
    ++o.entry_count;
    o.tuple_bytes += length;
    ++state_.total_entries;
    return true;
}

// The limit of an entry's length: a tuple of 4 GiB or more does not fit its 32 bits.
bool InsertScan::length_fits(std::uint64_t length) {
    if (length <= insert_tuple_length_limit) return true;
    return fail(StatusKind::limit, Msg::tuple_too_long);
}

}  // namespace

std::uint64_t insert_tuple_length_limit = MAX_TUPLE_LENGTH;

Status insert_scratch_start(InsertScratch& scratch, ObjectLookup* lookup) {
    scratch.last_object = -1;
    scratch.lookup = lookup;
    for (LayoutMemo* memo : {&scratch.with_list, &scratch.without_list}) {
        memo->object = -1;
        memo->list_bytes.clear();
        memo->numbers.reset(new (std::nothrow) std::uint32_t[MAX_COLUMNS]);
        if (memo->numbers == nullptr) return status_out_of_memory();
    }
    return {};
}

void insert_scratch_schema_changed(InsertScratch& scratch) {
    scratch.without_list.object = -1;  // a column's definition may have become INVISIBLE
}

Status layout_find_or_add(DumpState& state, std::uint32_t object, const std::uint32_t* numbers,
                          std::uint32_t count, std::uint32_t& layout) {
    SchemaObject& o = state.objects[object];
    for (std::size_t i = 0; i < o.layouts.size(); ++i) {
        const std::vector<std::uint32_t>& columns = o.layouts[i].columns;
        if (columns.size() == count &&
            (count == 0 || std::memcmp(columns.data(), numbers, count * sizeof *numbers) == 0)) {
            layout = static_cast<std::uint32_t>(i);
            return {};
        }
    }
    if (o.layouts.size() >= MAX_LAYOUTS) {
        return status_fail(StatusKind::limit, Msg::insert_too_many_layouts);
    }
    try {
        ColumnLayout added;
        added.columns.assign(numbers, numbers + count);
        o.layouts.push_back(std::move(added));
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    layout = static_cast<std::uint32_t>(o.layouts.size() - 1);
    return {};
}

Status insert_statement(DumpReader& reader, IndexWriter& writer, bool is_replace,
                        std::string_view current_database, InsertScratch& scratch,
                        std::uint64_t statement_start) {
    InsertScan scan(reader, writer, scratch, statement_start);
    return scan.run(is_replace, current_database);
}

Status insert_statement_run(DumpReader& reader, IndexWriter& writer, InsertScratch& scratch,
                            std::uint64_t statement_start, std::uint32_t& taken) {
    taken = 0;
    const StatementAnchor& anchor = scratch.last_statement.anchor;
    if (scratch.chunks == nullptr || anchor.start == NO_STATEMENT ||
        statement_start < *chunk_scan_sync(*scratch.chunks) || reader.delimiter_length != 1 ||
        reader.delimiter[0] != ';') {
        return {};
    }
    ChunkRunView run;
    if (!chunk_scan_consult_statements(*scratch.chunks, reader, statement_start,
                                       reader.escape_mode, anchor, run)) {
        return reader.status;
    }
    InsertScan scan(reader, writer, scratch, statement_start);
    return scan.take_statements(run, taken);
}

}  // namespace kv
