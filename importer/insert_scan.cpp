// INSERT headers, column lists and tuple indexing (see insert_scan.h).
#include "importer/insert_scan.h"

#include <cstring>
#include <new>

#include "foundation/messages.h"
#include "foundation/sql_lex.h"
#include "foundation/sql_quote.h"
#include "importer/chunk_scan.h"
#include "importer/tuple_blocks.h"

namespace kv {

namespace {

// Ends the statement with text, replacing whatever the reader reported before.
bool insert_fail(DumpReader& reader, const char* text) {
    reader.failed = 1;
    dump_state_fail(*reader.state, text);
    return false;
}


// The limit of an entry's length: a tuple of 4 GiB or more does not fit its 32 bits. False
// with the message in state.
bool tuple_length_fits(DumpState& state, std::uint64_t length) {
    if (length <= insert_tuple_length_limit) return true;
    dump_state_fail(state, msg_text(Msg::tuple_too_long));
    return false;
}

// Adds the entry of one tuple to the index and the table's counters. Every path that indexes a
// tuple comes through here, so no entry escapes the limits.
bool emit_entry(DumpState& state, IndexWriter& writer, std::uint32_t object, std::uint64_t start,
                std::uint64_t length, std::uint32_t layout_word) {
    if (!tuple_length_fits(state, length)) return false;
    IndexEntry entry;
    entry.offset = start;
    entry.length = static_cast<std::uint32_t>(length);
    entry.layout_word = layout_word;
    if (Status added = index_append(state, writer, object, entry); !added.ok()) {
        dump_state_fail(state, status_text(added).c_str());
        return false;
    }
    SchemaObject& o = state.objects[object];
    ++o.entry_count;
    o.tuple_bytes += length;
    ++state.total_entries;
    return true;
}

// Lets the block pass close a tuple and go straight on with the next one when they are joined
// by ",(" in the window (the way mysqldump writes them): the per-tuple work of the statement
// loop is then skipped. Only for tuples after the first of a statement (whose value count
// fixes the layout), in one escape mode, and only where the statement loop would do exactly
// the same: the value count matches, and the next tuple starts with a byte that is no blank,
// no comment and no ")". The chain hands back to the loop (stopped) at a tuple start at or
// after *sync, where helper threads may have scanned ahead (chunk_scan.h).
struct TupleChain {
    DumpState* state = nullptr;
    IndexWriter* writer = nullptr;
    std::uint32_t object = 0;
    std::uint32_t layout_word = 0;
    std::uint32_t expected_values = 0;
    std::uint64_t base = 0;   // dump position of the window byte p[0]
    std::uint64_t start = 0;  // dump position of the current tuple's "("
    const std::uint64_t* sync = nullptr;
    bool stopped = false;     // the scan ended at the '(' of the tuple at start

    ChainStep link(std::size_t k) {
        if (!emit_entry(*state, *writer, object, start, base + k + 1 - start, layout_word)) {
            return CHAIN_FAILED;
        }
        start = base + k + 2;
        return start >= *sync ? CHAIN_STOP : CHAIN_NEXT;
    }
};

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

// Scans one tuple whose '(' was just consumed, up to and including its matching ')'. With a
// chain, the window pass may index this tuple and go on with following ones; chain->start is
// then the start of the tuple that was closed last.
bool scan_tuple(DumpReader& reader, std::uint32_t& values, TupleChain* chain) {
    TupleEscapeMode mode(reader);
    mode.skip_blanks();
    values = reader_peek(reader, 0) == ')' ? 0 : 1;
    std::uint32_t depth = 1;
    for (;;) {
        std::uint64_t avail = reader_available(reader);
        if (avail != 0) {
            // Window pass: values, nesting and whole strings are handled here; the byte path
            // below takes over at comments, at window ends and at bytes whose meaning depends
            // on bytes beyond the window. The tuple grammar is walked three times on purpose
            // (64-byte masks, window stops, reader bytes); strings follow sql_quote.h in all.
            const unsigned char* p = reader_cursor(reader);
            const std::size_t n = avail;
            const EscapeMode escape_mode = reader.escape_mode;
            std::size_t i = 0;
            TupleChain* link = chain != nullptr && mode.unchanged() ? chain : nullptr;
            if (link != nullptr) link->base = reader.position;
            switch (tuple_blocks(p, n, escape_mode, depth, values, i, link)) {
                case BLOCK_CLOSED:
                    reader.position += i;
                    return mode.closed();
                case BLOCK_STOPPED:
                    reader.position += i;
                    link->stopped = true;
                    return mode.closed();
                case BLOCK_FAILED:
                    reader.position += i;
                    reader.failed = 1;
                    return false;
                case BLOCK_TOO_DEEP:
                    reader.position += i;
                    return insert_fail(reader, msg_text(Msg::tuple_too_deep));
                case BLOCK_TOO_MANY:
                    reader.position += i;
                    return insert_fail(reader, msg_text(Msg::tuple_too_many_values));
                case BLOCK_HANDOVER:
                    break;
            }
            // Stop by stop: a shared walk with the block pass would give up its masks.
            for (;;) {
                i = scan_find_tuple_stop(p, i, n);
                if (i == n) break;
                const unsigned char b = p[i];
                if (b == ',') {
                    if (depth == 1 && ++values > MAX_TUPLE_VALUES) {
                        reader.position += i + 1;
                        return insert_fail(reader, msg_text(Msg::tuple_too_many_values));
                    }
                    ++i;
                    continue;
                }
                if (b == '\'' || b == '"' || b == '`') {
                    std::size_t j = i + 1;
                    if (!scan_quoted(p, n, b, escapes_in(escape_mode, b), j)) break;
                    i = j;
                    continue;
                }
                if (b == '(') {
                    if (++depth > MAX_TUPLE_DEPTH) {
                        reader.position += i + 1;
                        return insert_fail(reader, msg_text(Msg::tuple_too_deep));
                    }
                    ++i;
                    continue;
                }
                if (b == ')') {
                    if (depth == 1) {
                        reader.position += i + 1;
                        return mode.closed();
                    }
                    --depth;
                    ++i;
                    continue;
                }
                // '-' and '/' that cannot start a comment; '#' always does.
                if (i + 1 < n && !sql_may_start_comment(b, p[i + 1])) {
                    ++i;
                    continue;
                }
                break;
            }
            reader.position += i;
            if (i == avail) continue;
        }
        // Byte path: the reference model the two window walks are tested against.
        int c = reader_peek(reader, 0);
        if (c == READER_END) return insert_fail(reader, msg_text(Msg::insert_tuple_unterminated));
        if (reader_comment_at(reader) != SqlComment::none) {
            mode.skip_comment();
            continue;
        }
        ++reader.position;
        switch (c) {
            case '\'':
            case '"':
            case '`':
                if (!reader_skip_quoted(reader, static_cast<unsigned char>(c))) return false;
                break;
            case '(':
                if (++depth > MAX_TUPLE_DEPTH) return insert_fail(reader, msg_text(Msg::tuple_too_deep));
                break;
            case ')':
                if (depth == 1) return mode.closed();
                --depth;
                break;
            case ',':
                if (depth == 1 && ++values > MAX_TUPLE_VALUES) {
                    return insert_fail(reader, msg_text(Msg::tuple_too_many_values));
                }
                break;
            default:
                break;
        }
    }
}

// Indexes the tuples of a run that a helper thread scanned (chunk_scan.h) and moves the
// reader to the tuple after them. False with the message in state when an entry fails, the
// reader then just after that tuple, where the scan would have stopped.
bool take_run(DumpReader& reader, IndexWriter& writer, std::uint32_t object,
              std::uint32_t layout_word, const ChunkRunView& run) {
    std::uint64_t start = run.start;
    for (std::uint32_t k = 0; k < run.count; ++k) {
        if (!emit_entry(*reader.state, writer, object, start, run.lengths[k], layout_word)) {
            reader.position = start + run.lengths[k];
            reader.failed = 1;
            return false;
        }
        start += run.lengths[k] + std::uint64_t{run.gaps[k]};
    }
    reader.position = start;
    // The next refill reads little: the loop will mostly jump again soon.
    if (start - reader.window_start >= reader.window_length) reader.refill_short = 1;
    return true;
}

// Object number of the statement's table; the previous statement's table is tried first.
int find_table(DumpState& state, InsertScratch& scratch) {
    if (scratch.last_object >= 0 &&
        static_cast<std::size_t>(scratch.last_object) < state.objects.size()) {
        const SchemaObject& o = state.objects[static_cast<std::size_t>(scratch.last_object)];
        if (o.kind == OBJECT_TABLE && o.object_name == scratch.table &&
            o.database_name == scratch.database) {
            return scratch.last_object;
        }
    }
    int number = object_find_or_add(state, scratch.database, scratch.table, OBJECT_TABLE,
                                    scratch.lookup);
    if (number >= 0) scratch.last_object = number;
    return number;
}

// Reads the column list after its "(" into scratch.with_list.numbers; count receives its length.
bool read_column_list(DumpReader& reader, std::uint32_t object, InsertScratch& scratch,
                      std::uint32_t& count) {
    DumpState& state = *reader.state;
    Token& t = scratch.token;
    std::uint32_t* numbers = scratch.with_list.numbers.get();
    std::memset(scratch.listed, 0, sizeof scratch.listed);
    if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_list_incomplete));
    std::uint32_t n = 0;
    for (;;) {
        if (token_is_punct(t, ')')) break;
        if (n == MAX_COLUMNS) return insert_fail(reader, msg_text(Msg::insert_list_too_long));
        int column = column_find_or_add(state, object, std::string_view(t.text),
                                        msg_text(Msg::type_not_in_dump), scratch.lookup);
        if (column < 0) {
            reader.failed = 1;
            return false;
        }
        const auto c = static_cast<std::uint32_t>(column);
        std::uint64_t bit = std::uint64_t{1} << (c % 64);
        if (scratch.listed[c / 64] & bit) return insert_fail(reader, msg_text(Msg::insert_list_duplicate));
        scratch.listed[c / 64] |= bit;
        numbers[n] = c;
        if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_list_incomplete));
        if (token_is_punct(t, ',')) {
            if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_list_invalid));
            ++n;
            continue;
        }
        if (token_is_punct(t, ')')) {
            ++n;
            break;
        }
        return insert_fail(reader, msg_text(Msg::insert_list_invalid));
    }
    count = n;
    return true;
}

// Whether bytes hold no comment: a list is remembered only when reading it again has no
// effect beyond its column numbers (an executable comment may switch the escape mode).
bool free_of_comments(const unsigned char* p, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        if (sql_may_start_comment(p[i], i + 1 < n ? p[i + 1] : SQL_END)) return false;
    }
    return true;
}

// The column list after its "(" into scratch.with_list: when the same bytes as the table's
// last list follow in the window, read in the same escape mode, that list's numbers hold and
// the bytes are passed over; otherwise the list is read and remembered.
bool column_list(DumpReader& reader, std::uint32_t object, InsertScratch& scratch) {
    LayoutMemo& memo = scratch.with_list;
    const std::size_t n = memo.list_bytes.size();
    if (memo.object == static_cast<int>(object) && n != 0 &&
        memo.escape_mode == reader.escape_mode && reader_available(reader) >= n &&
        std::memcmp(reader_cursor(reader), memo.list_bytes.data(), n) == 0) {
        reader.position += n;
        return true;
    }
    memo.object = -1;
    memo.list_bytes.clear();
    const std::uint64_t start = reader.position;
    const EscapeMode mode = reader.escape_mode;
    if (!read_column_list(reader, object, scratch, memo.count)) return false;
    memo.object = static_cast<int>(object);
    memo.layout = -1;
    memo.escape_mode = mode;
    const std::uint64_t end = reader.position;
    if (mode == reader.escape_mode && start >= reader.window_start &&
        end <= reader.window_start + reader.window_length) {
        const unsigned char* p = reader.window.get() + (start - reader.window_start);
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

// Fixes the statement's layout from its first tuple (values values). Without a list the
// tuple fills the table's columns in order, except INVISIBLE ones.
int fix_layout(DumpReader& reader, std::uint32_t object, InsertScratch& scratch, bool has_list,
               std::uint32_t values) {
    DumpState& state = *reader.state;
    LayoutMemo& memo = has_list ? scratch.with_list : scratch.without_list;
    if (has_list) {
        if (memo.count != values) {
            insert_fail(reader, msg_text(Msg::insert_list_mismatch));
            return -1;
        }
    } else {
        const SchemaObject& o = state.objects[object];
        if (o.columns.empty() && values > 0) {
            import_note_append(state, msg_text(Msg::note_generic_columns));
            char name[32];
            for (std::uint32_t k = 1; k <= values; ++k) {
                msg_format(name, sizeof name, msg_text(Msg::generic_column_name),
                           static_cast<unsigned>(k));
                if (column_find_or_add(state, object, name, msg_text(Msg::type_not_in_dump), scratch.lookup) <
                    0) {
                    return -1;
                }
            }
        }
        if (memo.object != static_cast<int>(object) || memo.columns_known != o.columns.size()) {
            std::uint32_t count = 0;
            for (std::uint32_t k = 0; k < o.columns.size(); ++k) {
                if (!column_is_invisible(o.columns[k].type_text)) memo.numbers[count++] = k;
            }
            memo.object = static_cast<int>(object);
            memo.count = count;
            memo.layout = -1;
            memo.columns_known = o.columns.size();
        }
        if (memo.count != values) {
            insert_fail(reader, msg_text(Msg::insert_no_list_mismatch));
            return -1;
        }
    }
    if (memo.layout < 0) memo.layout = layout_find_or_add(state, object, memo.numbers.get(), values);
    return memo.layout;
}

}  // namespace

std::uint64_t insert_tuple_length_limit = MAX_TUPLE_LENGTH;

bool insert_scratch_start(InsertScratch& scratch, ObjectLookup* lookup) {
    scratch.last_object = -1;
    scratch.lookup = lookup;
    for (LayoutMemo* memo : {&scratch.with_list, &scratch.without_list}) {
        memo->object = -1;
        memo->list_bytes.clear();
        memo->numbers.reset(new (std::nothrow) std::uint32_t[MAX_COLUMNS]);
        if (memo->numbers == nullptr) return false;
    }
    return true;
}

void insert_scratch_schema_changed(InsertScratch& scratch) {
    scratch.without_list.object = -1;  // a column's definition may have become INVISIBLE
}

int layout_find_or_add(DumpState& state, std::uint32_t object, const std::uint32_t* numbers,
                       std::uint32_t count) {
    SchemaObject& o = state.objects[object];
    for (std::size_t i = 0; i < o.layouts.size(); ++i) {
        const std::vector<std::uint32_t>& columns = o.layouts[i].columns;
        if (columns.size() == count &&
            (count == 0 || std::memcmp(columns.data(), numbers, count * sizeof *numbers) == 0)) {
            return static_cast<int>(i);
        }
    }
    if (o.layouts.size() >= MAX_LAYOUTS) {
        dump_state_fail(state, msg_text(Msg::insert_too_many_layouts));
        return -1;
    }
    try {
        ColumnLayout layout;
        layout.columns.assign(numbers, numbers + count);
        o.layouts.push_back(std::move(layout));
    } catch (const std::bad_alloc&) {
        dump_state_fail(state, msg_text(Msg::out_of_memory));
        return -1;
    }
    return static_cast<int>(o.layouts.size() - 1);
}

bool insert_statement(DumpReader& reader, IndexWriter& writer, bool is_replace,
                      std::string_view current_database, InsertScratch& scratch) {
    DumpState& state = *reader.state;
    Token& t = scratch.token;

    if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_header_incomplete));
    while (token_is(t, "LOW_PRIORITY") || token_is(t, "HIGH_PRIORITY") || token_is(t, "DELAYED") ||
           token_is(t, "IGNORE")) {
        if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_header_incomplete));
    }
    if (token_is(t, "INTO")) {
        if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_no_table_after_into));
    }
    try {
        scratch.table.assign(t.text);
        scratch.database.assign(current_database);
    } catch (const std::bad_alloc&) {
        return insert_fail(reader, msg_text(Msg::out_of_memory));
    }
    if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_header_ends));
    if (token_is_punct(t, '.')) {
        if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_no_table_after_database));
        try {
            scratch.database.swap(scratch.table);
            scratch.table.assign(t.text);
        } catch (const std::bad_alloc&) {
            return insert_fail(reader, msg_text(Msg::out_of_memory));
        }
        reader_read_token(reader, t);
    }
    int number = find_table(state, scratch);
    if (number < 0) {
        reader.failed = 1;
        return false;
    }
    const auto object = static_cast<std::uint32_t>(number);

    bool has_list = false;
    if (token_is_punct(t, '(')) {
        has_list = true;
        if (!column_list(reader, object, scratch)) return false;
        if (!reader_read_token(reader, t)) return insert_fail(reader, msg_text(Msg::insert_no_values_after_list));
    }
    if (!token_is(t, "VALUES") && !token_is(t, "VALUE")) return insert_fail(reader, msg_text(Msg::insert_only_values));
    if (is_replace) import_note_append(state, msg_text(Msg::note_replace));

    int layout = -1;
    std::uint32_t first_values = 0;
    TupleChain chain;
    chain.state = &state;
    chain.writer = &writer;
    chain.object = object;
    static constexpr std::uint64_t NO_SYNC = ~std::uint64_t{0};
    chain.sync = scratch.chunks != nullptr ? chunk_scan_sync(*scratch.chunks) : &NO_SYNC;
    // Entry word: layout number and bit 31 for the escape mode the tuple is scanned in.
    auto layout_word = [&layout](EscapeMode tuple_mode) {
        return layout_word_make(static_cast<std::uint32_t>(layout), tuple_mode);
    };
    for (;;) {
        // The tuple's mode is the one in force where it starts, after the comments in front
        // of it: an executable comment there that switches the mode applies to the tuple's
        // scan, so it must apply to its decoding too.
        reader_skip_blanks(reader);
        const EscapeMode tuple_mode = reader.escape_mode;
        int c = reader_peek(reader, 0);
        if (c == READER_END) return insert_fail(reader, msg_text(Msg::insert_tuple_expected));
        if (c == '(' && reader.position >= *chain.sync) {
            // Tuples a helper thread has scanned from here on are taken as they are.
            ChunkRunView run;
            if (chunk_scan_consult(*scratch.chunks, reader, tuple_mode,
                                   layout >= 0 ? first_values : ~std::uint32_t{0}, run)) {
                if (!take_run(reader, writer, object, layout_word(tuple_mode), run)) return false;
                continue;
            }
            if (reader.failed) return false;
        }
        chain.start = reader.position;
        ++reader.position;
        if (c != '(') return insert_fail(reader, msg_text(Msg::insert_tuple_expected));
        std::uint32_t values = 0;
        chain.expected_values = first_values;
        chain.layout_word = layout_word(tuple_mode);
        if (!scan_tuple(reader, values, layout >= 0 ? &chain : nullptr)) return false;
        if (chain.stopped) {  // at the '(' of the next tuple, the ones before it indexed
            chain.stopped = false;
            continue;
        }
        const std::uint64_t start = chain.start;  // later than the "(" above after a chain
        const std::uint64_t length = reader.position - start;
        // Checked before the layout is fixed, so that an over-long first tuple fails as such.
        if (!tuple_length_fits(state, length)) {
            reader.failed = 1;
            return false;
        }
        if (layout < 0) {
            layout = fix_layout(reader, object, scratch, has_list, values);
            if (layout < 0) {
                reader.failed = 1;
                return false;
            }
            first_values = values;
        } else if (values != first_values) {
            return insert_fail(reader, msg_text(Msg::insert_count_changes));
        }
        if (!emit_entry(state, writer, object, start, length, layout_word(tuple_mode))) {
            reader.failed = 1;
            return false;
        }

        reader_skip_blanks(reader);
        if (reader_peek(reader, 0) != ',') break;
        ++reader.position;
    }

    if (reader_at_delimiter(reader)) {
        reader.position += reader.delimiter_length;
        return true;
    }
    if (reader_peek(reader, 0) == READER_END) return !reader.failed;
    if (!reader_read_token(reader, t)) return !reader.failed;
    if (!token_is(t, "ON")) return insert_fail(reader, msg_text(Msg::insert_trailing));
    import_note_append(state, msg_text(Msg::note_on_duplicate));
    return reader_skip_statement(reader);
}

}  // namespace kv
