// Helper threads of an import (see chunk_scan.h).
//
// Hand-over between the loop and the helpers: helper chunks are numbered in file order
// (ordinals); helpers claim ordinals in that order and fill slot ordinal % S (S slots), which
// they may do once the loop has released ordinal - S. A slot is published by storing
// ordinal + 1 into its done word (release); the loop reads the slot only after seeing that
// value (acquire) and releases ordinals in order. Every other field of a slot is written by
// one helper before its publication and read by the loop after it, never both at once.
#include "importer/chunk_scan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <new>
#include <string_view>
#include <vector>

#include "foundation/file.h"
#include "foundation/page_buffer.h"
#include "foundation/sql_lex.h"
#include "foundation/thread.h"
#include "importer/insert_scan.h"
#include "importer/tuple_blocks.h"

namespace kv {

namespace {

constexpr std::uint32_t SLOT_LENGTHS = 262144;
constexpr std::uint32_t SLOT_RUNS = 4096;
constexpr std::size_t HELPER_BUFFER = 1048576;
constexpr std::size_t READ_ALIGN = 4096;  // reads start on a page of the file
constexpr std::size_t VIEW_MIN = 4096;    // a view shorter than this is read again
constexpr std::uint64_t NO_SYNC = ~std::uint64_t{0};
constexpr std::uint32_t MISSES_BEFORE_PAUSE = 4;
constexpr std::uint64_t PROBE_EVERY = 16;
constexpr std::uint64_t WALK_BUDGET_CHUNKS = 2;    // a chunk's walks: twice its bytes ...
constexpr std::uint64_t WALK_BUDGET_MIN = 65536;  // ... and at least this
constexpr std::size_t HEADER_MAX = 65535;  // a statement header that anchors a run

enum class RunKind : std::uint8_t { tuples, statements };

// A run as a helper publishes it. Slots hold thousands, left unset until a helper fills one.
struct ChunkRun {
    std::uint64_t start;   // the first tuple's '(', or the first statement's keyword
    std::uint64_t resume;
    std::uint64_t anchor;  // statements: the anchor's keyword ...
    std::uint32_t anchor_length;  // ... and the bytes through its ';'
    std::uint32_t values;
    std::uint32_t first;     // index of its first length in the slot
    std::uint32_t count;
    std::uint32_t comments;  // statements: comment bytes between them
    std::uint16_t header;    // statements: keyword to '('
    EscapeMode mode;
    RunKind kind;
};

struct Slot {
    std::atomic<std::uint64_t> done{0};  // ordinal + 1 once published
    std::unique_ptr<std::uint32_t[]> lengths;
    std::unique_ptr<std::uint8_t[]> gaps;  // per tuple: bytes from its end to the next '('
    std::unique_ptr<ChunkRun[]> runs;
    std::uint32_t run_count = 0;
};

struct Helper {
    ChunkScan* scan = nullptr;
    FileHandle file = INVALID_FILE;
    PageBuffer buffer;
    std::uint64_t base = 0;    // dump position of buffer[0]
    std::size_t length = 0;    // bytes held
    unsigned char* header = nullptr;  // HEADER_MAX bytes after the buffer's: a statement's head
    Signal wake;               // the loop released a slot, or the scan stops
};

}  // namespace

struct ChunkScan {
    FileHandle dump = INVALID_FILE;
    std::uint64_t dump_size = 0;
    std::uint64_t chunk_size = 0;
    std::uint32_t slot_count = 0;
    std::unique_ptr<Slot[]> slots;
    std::vector<std::unique_ptr<Helper>> helpers;

    std::atomic<std::uint64_t> next_claim{0};
    std::atomic<std::uint64_t> released{0};  // ordinals below are free for reuse
    std::atomic<EscapeMode> mode{EscapeMode::backslash};  // the loop's last escape mode
    std::atomic<bool> stop{false};
    std::atomic<std::uint32_t> alive{0};
    std::atomic<std::uint32_t> misses{0};    // helper chunks in a row the loop took nothing from
    std::atomic<bool> statements_first{false};  // the last chunk scanned held statement runs
    Signal published;                        // a slot was published, or a helper ended

    // The loop's side, touched by the loop only.
    std::uint64_t sync = NO_SYNC;
    std::uint64_t next_ordinal = 0;
    bool holding = false;          // a slot is loaded
    std::uint64_t held_ordinal = 0;
    std::uint32_t run_index = 0;
    bool held_taken = false;       // a run of the held slot was taken
};

std::uint64_t import_chunk_size = IMPORT_CHUNK_SIZE;
ImportHelperCounts import_helper_counts;

namespace {

// Chunk number of a helper ordinal: every chunk after the first, which the loop scans while
// the helpers start.
std::uint64_t chunk_of(std::uint64_t ordinal) { return ordinal + 1; }

// Dump bytes from `from` in the helper's buffer, read again when asked (reread) or unless at
// least VIEW_MIN bytes (or all up to the end of the dump) are held. 0 at the end, on a read
// failure or a stop.
std::size_t view(Helper& h, std::uint64_t from, const unsigned char*& p, bool reread = false) {
    const ChunkScan& scan = *h.scan;
    if (from >= scan.dump_size) return 0;
    const std::uint64_t end = h.base + h.length;
    if (reread || from < h.base || from >= end ||
        (end - from < VIEW_MIN && end < scan.dump_size)) {
        if (scan.stop.load(std::memory_order_relaxed)) return 0;
        const std::uint64_t start = from / READ_ALIGN * READ_ALIGN;
        const std::size_t want = static_cast<std::size_t>(
            std::min<std::uint64_t>(HELPER_BUFFER, scan.dump_size - start));
        std::size_t got = 0;
        while (got < want) {
            std::size_t n = file_read_at(h.file, start + got, h.buffer.get() + got, want - got);
            if (n == 0) break;
            got += n;
        }
        h.base = start;
        h.length = got;
        if (from >= start + got) return 0;
    }
    p = h.buffer.get() + (from - h.base);
    return static_cast<std::size_t>(h.base + h.length - from);
}

// The next ')' with a join after it (tuple_join_gap) whose '(' lies in [from, limit); false when
// none.
bool find_join(Helper& h, std::uint64_t from, std::uint64_t limit, std::uint64_t& open) {
    while (from + 2 < limit) {
        const unsigned char* p = nullptr;
        const std::size_t n = view(h, from, p);
        if (n < 5) return false;
        const std::size_t scan_to = static_cast<std::size_t>(
            std::min<std::uint64_t>(n - 4, limit - 2 - from));
        std::size_t x = 0;
        for (;;) {
            const void* hit = std::memchr(p + x, ')', scan_to - x);
            if (hit == nullptr) {
                x = scan_to;
                break;
            }
            x = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - p);
            const int gap = tuple_join_gap(p + x + 1, n - x - 1);
            if (gap > 0) {
                if (from + x + 1 + gap >= limit) return false;
                open = from + x + 1 + gap;
                return true;
            }
            if (gap < 0 && x > 0) break;  // read on from this ')' to see its join whole
            if (++x >= scan_to) break;
        }
        from += x;  // x >= 1: every way out of the loop above is past byte 0

    }
    return false;
}

// Takes tuples for a helper's run: each joined tuple's length goes into the slot, and the run
// stops at the first tuple that starts at or after the chunk's end.
struct HelperChain {
    std::uint32_t expected_values = 0;
    std::uint64_t base = 0;    // dump position of the block pass's p[0]
    std::uint64_t start = 0;   // the current tuple's '('
    std::uint64_t limit = 0;   // the chunk's end
    std::uint32_t* lengths = nullptr;
    std::uint8_t* gaps = nullptr;
    std::uint32_t used = 0;    // lengths taken in the slot so far
    std::uint32_t taken = 0;   // of them in this run
    std::uint64_t walked = 0;  // bytes the block pass went through for the chunk
    std::uint64_t budget = 0;  // the most it may go through

    // A tuple ending at end (just after ')'), whose join puts the next '(' gap bytes further.
    // False when the run must end before it (the slot is full, or it is longer than any entry
    // may be).
    bool take(std::uint64_t end, int gap) {
        const std::uint64_t length = end - start;
        if (used == SLOT_LENGTHS || length > insert_tuple_length_limit) return false;
        lengths[used] = static_cast<std::uint32_t>(length);
        gaps[used++] = static_cast<std::uint8_t>(gap);
        ++taken;
        start = end + static_cast<std::uint64_t>(gap);
        return true;
    }
    ChainStep link(std::size_t k) {
        if (!take(base + k + 1, 1)) return ChainStep::stop;
        return start >= limit ? ChainStep::stop : ChainStep::next;
    }
};

// The tuple of a run that closed at end without the block pass's own join: taken when a join
// follows all the same (across 64-byte blocks, or with blanks around its comma); the run's
// first tuple fixes its value count. False when the run ends with it.
bool take_closed(Helper& h, ChunkRun& run, HelperChain& chain, const TupleWalk& walk,
                 std::uint64_t end) {
    if (chain.taken == 0) {
        run.values = walk.values;
        chain.expected_values = walk.values;
    } else if (walk.values != chain.expected_values) {
        return false;
    }
    const unsigned char* q = nullptr;
    const std::size_t available = view(h, end, q);
    const int gap = available == 0 ? 0 : tuple_join_gap(q, available);
    if (gap <= 0 || !chain.take(end, gap)) return false;
    return chain.start < chain.limit;
}

// Walks a run from the tuple at run.start; sets its values, count and resume, and where the
// search for the next run goes on. The run's first tuple is walked without the chain: its
// value count is not known before it closes.
void walk_run(Helper& h, ChunkRun& run, HelperChain& chain, std::uint64_t& search_from) {
    chain.start = run.start;
    chain.taken = 0;
    std::uint64_t pos = run.start + 1;
    TupleWalk walk{run.mode};
    std::uint64_t reread_at = NO_SYNC;  // where the last forced read started
    search_from = run.start + 1;
    for (;;) {
        // The block pass gets no more than the chunk's budget has left: a walk that uses it up
        // ends as at the end of its bytes, with the tuples it has taken.
        if (chain.walked >= chain.budget) break;
        const unsigned char* p = nullptr;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(
            view(h, pos, p, pos == reread_at), chain.budget - chain.walked));
        if (n == 0) break;
        chain.base = pos;
        const BlockStop stop = walk.blocks(p, n, chain.taken == 0 ? nullptr : &chain);
        const std::size_t at = stop.at;
        // Out of bytes: the last part of fewer than 64, or a string that runs into it.
        const bool ran_out =
            stop.outcome == BlockOutcome::handover && (at + 64 > n || p[at] == '\'');
        chain.walked += ran_out ? n : at;
        if (stop.outcome == BlockOutcome::handover) {
            // Go on from there after a new read, unless a new read there gained nothing (the
            // end of the dump, a string longer than the buffer).
            if (ran_out && pos + at != reread_at && h.base + h.length < h.scan->dump_size) {
                pos += at;
                reread_at = pos;
                continue;
            }
            search_from = pos + at + 1;
            break;
        }
        search_from = pos + at;
        if (stop.outcome != BlockOutcome::closed || !take_closed(h, run, chain, walk, pos + at)) {
            break;
        }
        pos = chain.start + 1;
        walk = TupleWalk{run.mode};
    }
    run.count = chain.taken;
    run.resume = chain.start;
}

// The runs of chunk [start, end) into slot, until the chunk's walks have used their budget.
void scan_runs(Helper& h, Slot& slot, HelperChain& chain, std::uint64_t start,
               std::uint64_t end) {
    ChunkScan& scan = *h.scan;
    const EscapeMode mode = scan.mode.load(std::memory_order_relaxed);
    std::uint64_t from = start >= 2 ? start - 2 : 0;
    while (slot.run_count < SLOT_RUNS && chain.used < SLOT_LENGTHS) {
        if (scan.stop.load(std::memory_order_relaxed)) return;
        std::uint64_t open = 0;
        if (!find_join(h, from, end, open)) return;
        ChunkRun run{};
        run.start = open;
        run.mode = mode;
        run.first = chain.used;
        std::uint64_t search_from = 0;
        walk_run(h, run, chain, search_from);
        if (run.count > 0) slot.runs[slot.run_count++] = run;
        if (run.resume >= end || chain.walked >= chain.budget) return;
        from = std::max(search_from, open + 1);
    }
}

// Runs of whole statements (one row per INSERT).

// Whether p[0, n) starts with INSERT or REPLACE (in any case) and a blank.
bool statement_keyword(const unsigned char* p, std::size_t n) {
    for (const std::string_view word : {std::string_view("insert"), std::string_view("replace")}) {
        if (n <= word.size() || !sql_is_blank(p[word.size()])) continue;
        std::size_t i = 0;
        while (i < word.size() && (p[i] | 0x20) == static_cast<unsigned char>(word[i])) ++i;
        if (i == word.size()) return true;
    }
    return false;
}

// The next line start in [from, limit) that holds an INSERT or REPLACE keyword; false when none.
bool find_statement(Helper& h, std::uint64_t from, std::uint64_t limit, std::uint64_t& at) {
    while (from < limit) {
        const unsigned char* p = nullptr;
        const std::size_t n = view(h, from, p);
        if (n < 16) return false;
        const std::size_t scan_to =
            static_cast<std::size_t>(std::min<std::uint64_t>(n - 8, limit - from));
        std::size_t x = 0;
        while (x < scan_to) {
            const void* lf = std::memchr(p + x, '\n', scan_to - x);
            if (lf == nullptr) break;
            x = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - p) + 1;
            if (from + x < limit && statement_keyword(p + x, n - x)) {
                at = from + x;
                return true;
            }
        }
        from += std::max<std::size_t>(scan_to, 1);
    }
    return false;
}

// The bytes of a statement header p[0, n) from its keyword to its first tuple's '(': words,
// backquoted names, '.', ',' and one parenthesised column list, up to VALUES or VALUE and
// blanks. 0 when the header is not of that plain form (a comment, a string) or longer than
// HEADER_MAX; -1 when n bytes do not reach its end.
long header_length(const unsigned char* p, std::size_t n) {
    bool list = false;
    bool after_values = false;
    std::size_t i = 0;
    for (;;) {
        if (i >= n) return n >= HEADER_MAX ? 0 : -1;
        if (i >= HEADER_MAX) return 0;
        const unsigned char c = p[i];
        if (sql_is_blank(c)) {
            ++i;
        } else if (after_values) {
            return c == '(' ? static_cast<long>(i) : 0;
        } else if (sql_is_word(c)) {
            const std::size_t word = i;
            while (i < n && sql_is_word(p[i])) ++i;
            const std::size_t length = i - word;
            if (i < n && (length == 5 || length == 6)) {
                static constexpr char VALUES[] = "values";
                std::size_t k = 0;
                while (k < length && (p[word + k] | 0x20) == VALUES[k]) ++k;
                after_values = k == length && !list;
            }
        } else if (c == '`') {
            const void* close = std::memchr(p + i + 1, '`', n - i - 1);
            if (close == nullptr) return n >= HEADER_MAX ? 0 : -1;
            i = static_cast<std::size_t>(static_cast<const unsigned char*>(close) - p) + 1;
        } else if (c == '(' || c == ')') {
            if (list == (c == '(')) return 0;
            list = c == '(';
            ++i;
        } else if (c == '.' || c == ',') {
            ++i;
        } else {
            return 0;
        }
    }
}

// The tuple whose '(' stands at open, walked alone by the block pass in mode: true with the
// byte after its ')' and its value count. False where the pass hands over for good (a comment,
// a string in other quotes, the end of the dump) or the chunk's budget runs out.
bool walk_tuple(Helper& h, HelperChain& chain, std::uint64_t open, EscapeMode mode,
                std::uint64_t& end, std::uint32_t& values) {
    std::uint64_t pos = open + 1;
    std::uint64_t reread_at = NO_SYNC;
    TupleWalk walk{mode};
    while (chain.walked < chain.budget) {
        const unsigned char* p = nullptr;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(
            view(h, pos, p, pos == reread_at), chain.budget - chain.walked));
        if (n == 0) return false;
        const BlockStop stop = walk.blocks<HelperChain>(p, n, nullptr);
        const bool ran_out =
            stop.outcome == BlockOutcome::handover && (stop.at + 64 > n || p[stop.at] == '\'');
        chain.walked += ran_out ? n : stop.at;
        if (stop.outcome == BlockOutcome::closed) {
            end = pos + stop.at;
            values = walk.values;
            return true;
        }
        if (!ran_out || pos + stop.at == reread_at || h.base + h.length >= h.scan->dump_size) {
            return false;
        }
        pos += stop.at;
        reread_at = pos;
    }
    return false;
}

// What follows a statement's tuple, q[0] the byte after its ')': blanks and ';' (delimited,
// the bytes through it), then blanks, a line end, blank lines and "--" comments (comments,
// their bytes) up to the next line that is neither (next, counted from q[0]). Each is 0 when
// the bytes are not of that form within TUPLE_JOIN_GAP_MAX.
struct StatementGap {
    std::uint32_t delimited = 0;
    std::uint32_t next = 0;
    std::uint32_t comments = 0;
};

StatementGap statement_gap(const unsigned char* q, std::size_t n) {
    StatementGap gap;
    const std::size_t max = std::min(n, TUPLE_JOIN_GAP_MAX);
    std::size_t i = 0;
    while (i < max && (q[i] == ' ' || q[i] == '\t')) ++i;
    if (i >= max || q[i] != ';') return gap;
    gap.delimited = static_cast<std::uint32_t>(++i);
    while (i < max && (q[i] == ' ' || q[i] == '\t' || q[i] == '\r')) ++i;
    if (i >= max || q[i] != '\n') return gap;
    ++i;
    std::uint32_t comments = 0;
    for (;;) {
        if (i + 2 >= max) return gap;
        if (q[i] == '\n' || (q[i] == '\r' && q[i + 1] == '\n')) {
            i += q[i] == '\n' ? 1 : 2;
        } else if (q[i] == '-' && q[i + 1] == '-' && sql_dashes_comment(q[i + 2])) {
            const void* lf = std::memchr(q + i, '\n', max - i);
            if (lf == nullptr) return gap;
            const std::size_t after = static_cast<std::size_t>(static_cast<const unsigned char*>(lf) - q) + 1;
            comments += static_cast<std::uint32_t>(after - i);
            i = after;
        } else {
            break;
        }
    }
    gap.next = static_cast<std::uint32_t>(i);
    gap.comments = comments;
    return gap;
}

// The gap after the tuple that ends at end.
StatementGap gap_after(Helper& h, std::uint64_t end) {
    const unsigned char* q = nullptr;
    const std::size_t n = view(h, end, q);
    return n == 0 ? StatementGap{} : statement_gap(q, n);
}

// Whether the statement at s starts with the helper's header of header bytes, then '(' and a
// value start.
bool same_header(Helper& h, std::uint64_t s, std::uint32_t header) {
    const unsigned char* p = nullptr;
    std::size_t n = view(h, s, p);
    if (n < header + 3) n = view(h, s, p, true);
    return n >= header + 3 && std::memcmp(p, h.header, header) == 0 &&
           p[header] == '(' && tuple_join_value_start(p[header + 1], p[header + 2]);
}

// The statement at anchor as the anchor of a run: its header into the helper's buffer, its
// single tuple, its ';' and the gap after it. False when it is not of that form.
bool anchor_statement(Helper& h, HelperChain& chain, ChunkRun& run, StatementGap& gap,
                      std::uint64_t& tuple_end) {
    const unsigned char* p = nullptr;
    std::size_t n = view(h, run.anchor, p);
    long header = n == 0 ? 0 : header_length(p, n);
    if (header < 0) {
        n = view(h, run.anchor, p, true);
        header = header_length(p, n);
    }
    if (header <= 0 || n < static_cast<std::size_t>(header) + 3 ||
        !tuple_join_value_start(p[header + 1], p[header + 2])) {
        return false;
    }
    run.header = static_cast<std::uint16_t>(header);
    std::memcpy(h.header, p, run.header);
    if (!walk_tuple(h, chain, run.anchor + run.header, run.mode, tuple_end, run.values)) {
        return false;
    }
    gap = gap_after(h, tuple_end);
    const std::uint64_t length = tuple_end + gap.delimited - run.anchor;
    run.anchor_length = static_cast<std::uint32_t>(length);
    return gap.next != 0 && length == run.anchor_length;
}

// The statements after the anchor (whose tuple ends at end, followed by gap) that start before
// the chunk's end and repeat its header, one tuple of its value count and ';' each.
void walk_statements(Helper& h, HelperChain& chain, ChunkRun& run, StatementGap gap,
                     std::uint64_t end) {
    while (gap.next != 0 && chain.used < SLOT_LENGTHS) {
        const std::uint64_t s = end + gap.next;
        const std::uint64_t open = s + run.header;
        std::uint64_t tuple_end = 0;
        std::uint32_t values = 0;
        if (s >= chain.limit || !same_header(h, s, run.header) ||
            !walk_tuple(h, chain, open, run.mode, tuple_end, values) || values != run.values ||
            tuple_end - open > insert_tuple_length_limit) {
            return;
        }
        const StatementGap after = gap_after(h, tuple_end);
        if (after.delimited == 0) return;
        if (run.count == 0) {
            run.start = s;
        } else {
            chain.gaps[chain.used - 1] = static_cast<std::uint8_t>(gap.next);
            run.comments += gap.comments;
        }
        chain.lengths[chain.used] = static_cast<std::uint32_t>(tuple_end - open);
        chain.gaps[chain.used++] = static_cast<std::uint8_t>(after.delimited);
        ++run.count;
        run.resume = tuple_end + after.delimited;
        end = tuple_end;
        gap = after;
    }
}

// The runs of whole statements of chunk [start, end) into slot, each after an anchor of its
// own, until the chunk's walks have used their budget.
void scan_statements(Helper& h, Slot& slot, HelperChain& chain, std::uint64_t start,
                     std::uint64_t end) {
    ChunkScan& scan = *h.scan;
    const EscapeMode mode = scan.mode.load(std::memory_order_relaxed);
    std::uint64_t from = start - 1;  // a statement may start at the chunk's first byte
    while (slot.run_count < SLOT_RUNS && chain.used < SLOT_LENGTHS &&
           chain.walked < chain.budget) {
        if (scan.stop.load(std::memory_order_relaxed)) return;
        ChunkRun run{};
        if (!find_statement(h, from, end, run.anchor)) return;
        run.kind = RunKind::statements;
        run.mode = mode;
        run.first = chain.used;
        StatementGap gap;
        std::uint64_t tuple_end = 0;
        from = run.anchor + 1;
        if (!anchor_statement(h, chain, run, gap, tuple_end)) continue;
        walk_statements(h, chain, run, gap, tuple_end);
        if (run.count == 0) continue;
        slot.runs[slot.run_count++] = run;
        from = run.resume;
    }
}

// Scans chunk [start, end) into slot, whose run count starts at 0.
void scan_chunk(Helper& h, Slot& slot, std::uint64_t start, std::uint64_t end) {
    HelperChain chain;
    chain.budget = std::max(WALK_BUDGET_CHUNKS * h.scan->chunk_size, WALK_BUDGET_MIN);
    chain.limit = end;
    chain.lengths = slot.lengths.get();
    chain.gaps = slot.gaps.get();
    // The kind of runs the last chunk held is tried first: a search for joins in a dump of
    // one row per statement would go through every chunk for nothing, and the other way round.
    ChunkScan& scan = *h.scan;
    const bool statements_first = scan.statements_first.load(std::memory_order_relaxed);
    for (int pass = 0; pass < 2 && slot.run_count == 0; ++pass) {
        if ((pass == 0) == statements_first) {
            scan_statements(h, slot, chain, start, end);
        } else {
            scan_runs(h, slot, chain, start, end);
        }
    }
    if (slot.run_count > 0) {
        scan.statements_first.store(slot.runs[0].kind == RunKind::statements,
                                    std::memory_order_relaxed);
    }
    import_helper_counts.walked.fetch_add(chain.walked, std::memory_order_relaxed);
}

void helper_main(void* arg) {
    Helper& h = *static_cast<Helper*>(arg);
    ChunkScan& scan = *h.scan;
    for (;;) {
        if (scan.stop.load(std::memory_order_acquire)) break;
        const std::uint64_t ordinal = scan.next_claim.fetch_add(1, std::memory_order_relaxed);
        const std::uint64_t chunk = chunk_of(ordinal);
        if (chunk >= (scan.dump_size + scan.chunk_size - 1) / scan.chunk_size) break;
        while (!scan.stop.load(std::memory_order_acquire) &&
               ordinal >= scan.released.load(std::memory_order_acquire) + scan.slot_count) {
            h.wake.wait_for(std::chrono::milliseconds(50));
        }
        if (scan.stop.load(std::memory_order_acquire)) break;
        Slot& slot = scan.slots[ordinal % scan.slot_count];
        const std::uint64_t start = chunk * scan.chunk_size;
        slot.run_count = 0;
        // Where the loop has taken nothing from the last chunks (a dump of one row per
        // statement, say), only every PROBE_EVERY-th chunk is tried, so that helpers do not
        // take processor time from a loop that has to scan everything itself.
        if (scan.misses.load(std::memory_order_relaxed) < MISSES_BEFORE_PAUSE ||
            ordinal % PROBE_EVERY == 0) {
            scan_chunk(h, slot, start, std::min(start + scan.chunk_size, scan.dump_size));
        }
        slot.done.store(ordinal + 1, std::memory_order_release);
        scan.published.set();
    }
    file_close(h.file);
    h.file = INVALID_FILE;
    scan.published.set();
    // The last touch of the scan: once alive reaches 0 the loop may free it.
    scan.alive.fetch_sub(1, std::memory_order_acq_rel);
}

// Waits until the helper chunk of ordinal is published; false when the reader failed
// (cancelled) or no helper is left to publish it.
bool wait_published(ChunkScan& scan, DumpReader& reader, std::uint64_t ordinal) {
    const Slot& slot = scan.slots[ordinal % scan.slot_count];
    while (slot.done.load(std::memory_order_acquire) != ordinal + 1) {
        if (scan.alive.load(std::memory_order_acquire) == 0) return false;
        scan.published.wait_for(std::chrono::milliseconds(20));
        if (!reader_keep_alive(reader)) return false;
    }
    return true;
}

void release_held(ChunkScan& scan) {
    scan.holding = false;
    scan.misses.store(scan.held_taken ? 0 : scan.misses.load(std::memory_order_relaxed) + 1,
                      std::memory_order_relaxed);
    scan.released.store(scan.held_ordinal + 1, std::memory_order_release);
    for (auto& h : scan.helpers) h->wake.set();
}

// The run that starts at position in the held slots and matches (match(run)), into view; the
// loop's sync moves on as in chunk_scan_consult.
template <typename Match>
bool consult_at(ChunkScan& scan, DumpReader& reader, std::uint64_t position, Match match,
                ChunkRunView& view) {
    for (;;) {
        if (scan.holding) {
            const Slot& slot = scan.slots[scan.held_ordinal % scan.slot_count];
            while (scan.run_index < slot.run_count) {
                const ChunkRun& run = slot.runs[scan.run_index];
                if (run.start < position) {
                    ++scan.run_index;
                    continue;
                }
                if (run.start > position) {
                    scan.sync = run.start;
                    return false;
                }
                ++scan.run_index;
                if (!match(run)) continue;
                view.start = run.start;
                view.lengths = slot.lengths.get() + run.first;
                view.gaps = slot.gaps.get() + run.first;
                view.count = run.count;
                view.header = run.header;
                view.comment_bytes = run.comments;
                import_helper_counts.taken.fetch_add(run.count, std::memory_order_relaxed);
                if (run.kind == RunKind::statements) {
                    import_helper_counts.statements.fetch_add(run.count,
                                                              std::memory_order_relaxed);
                }
                scan.sync = run.resume;
                scan.held_taken = true;
                return true;
            }
            release_held(scan);
        }
        const std::uint64_t chunk = chunk_of(scan.next_ordinal);
        const std::uint64_t start = chunk * scan.chunk_size;
        if (start >= scan.dump_size) {
            scan.sync = NO_SYNC;
            return false;
        }
        if (position < start) {
            scan.sync = start;
            return false;
        }
        if (!wait_published(scan, reader, scan.next_ordinal)) {
            scan.sync = NO_SYNC;
            return false;
        }
        scan.holding = true;
        scan.held_ordinal = scan.next_ordinal++;
        scan.run_index = 0;
        scan.held_taken = false;
    }
}

}  // namespace

std::uint32_t import_thread_count(std::uint32_t threads) {
    if (threads == 0) threads = cpu_count();
    return std::clamp<std::uint32_t>(threads, 1, IMPORT_THREADS_MAX);
}

void ChunkScanStop::operator()(ChunkScan* scan) const {
    if (scan == nullptr) return;
    scan->stop.store(true, std::memory_order_release);
    while (scan->alive.load(std::memory_order_acquire) != 0) {
        for (auto& h : scan->helpers) h->wake.set();
        scan->published.wait_for(std::chrono::milliseconds(5));
    }
    delete scan;
}

ChunkScanPtr chunk_scan_start(DumpState& state, std::uint32_t threads, EscapeMode mode) {
    threads = import_thread_count(threads);
    const std::uint64_t chunk_size = std::max<std::uint64_t>(import_chunk_size, 16);
    if (threads < 2 || state.dump_size / chunk_size < 2) return nullptr;
    const std::uint32_t helper_count = threads;
    ChunkScanPtr scan(new (std::nothrow) ChunkScan);
    if (!scan) return nullptr;
    scan->dump = state.dump_handle;
    scan->dump_size = state.dump_size;
    scan->chunk_size = chunk_size;
    scan->mode.store(mode, std::memory_order_relaxed);
    scan->slot_count = 4 * helper_count;
    scan->slots.reset(new (std::nothrow) Slot[scan->slot_count]);
    if (!scan->slots) return nullptr;
    try {
        for (std::uint32_t i = 0; i < scan->slot_count; ++i) {
            Slot& slot = scan->slots[i];
            slot.lengths.reset(new std::uint32_t[SLOT_LENGTHS]);
            slot.gaps.reset(new std::uint8_t[SLOT_LENGTHS]);
            slot.runs.reset(new ChunkRun[SLOT_RUNS]);
        }
        for (std::uint32_t i = 0; i < helper_count; ++i) {
            auto h = std::make_unique<Helper>();
            h->scan = scan.get();
            h->buffer = page_buffer_alloc(HELPER_BUFFER + HEADER_MAX);
            h->header = h->buffer.get() + HELPER_BUFFER;
            h->file = file_reopen_read(state.dump_handle);
            if (!h->buffer || h->file == INVALID_FILE) {
                file_close(h->file);
                break;
            }
            scan->helpers.push_back(std::move(h));
        }
    } catch (const std::bad_alloc&) {
    }
    // Helpers start only once every one of them is in place: the vector no longer moves.
    for (auto& h : scan->helpers) {
        scan->alive.fetch_add(1, std::memory_order_acq_rel);
        if (!thread_start_detached(helper_main, h.get())) {
            scan->alive.fetch_sub(1, std::memory_order_acq_rel);
            file_close(h->file);
            h->file = INVALID_FILE;
        }
    }
    if (scan->alive.load(std::memory_order_acquire) == 0) return nullptr;
    scan->sync = chunk_of(0) * chunk_size;
    return scan;
}

const std::uint64_t* chunk_scan_sync(const ChunkScan& scan) { return &scan.sync; }

bool chunk_scan_consult(ChunkScan& scan, DumpReader& reader, EscapeMode mode,
                        std::uint32_t values, ChunkRunView& view) {
    scan.mode.store(mode, std::memory_order_relaxed);
    return consult_at(scan, reader, reader.position, [&](const ChunkRun& run) {
        return run.kind == RunKind::tuples && run.mode == mode && run.values == values;
    }, view);
}

bool chunk_scan_consult_statements(ChunkScan& scan, DumpReader& reader, std::uint64_t position,
                                   EscapeMode mode, const StatementAnchor& anchor,
                                   ChunkRunView& view) {
    scan.mode.store(mode, std::memory_order_relaxed);
    return consult_at(scan, reader, position, [&](const ChunkRun& run) {
        return run.kind == RunKind::statements && run.mode == mode &&
               anchor.mode == mode && run.anchor == anchor.start &&
               run.anchor + run.anchor_length == anchor.end && run.header == anchor.header &&
               run.values == anchor.values;
    }, view);
}

}  // namespace kv
