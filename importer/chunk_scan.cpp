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

struct ChunkRun {
    std::uint64_t start = 0;
    std::uint64_t resume = 0;
    EscapeMode mode = EscapeMode::backslash;
    std::uint32_t values = 0;
    std::uint32_t first = 0;  // index of its first length in the slot
    std::uint32_t count = 0;
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
        ChunkRun run;
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

// Scans chunk [start, end) into slot, whose run count starts at 0.
void scan_chunk(Helper& h, Slot& slot, std::uint64_t start, std::uint64_t end) {
    HelperChain chain;
    chain.budget = std::max(WALK_BUDGET_CHUNKS * h.scan->chunk_size, WALK_BUDGET_MIN);
    chain.limit = end;
    chain.lengths = slot.lengths.get();
    chain.gaps = slot.gaps.get();
    scan_runs(h, slot, chain, start, end);
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
            h->buffer = page_buffer_alloc(HELPER_BUFFER);
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
    const std::uint64_t position = reader.position;
    scan.mode.store(mode, std::memory_order_relaxed);
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
                if (run.mode != mode || run.values != values) continue;
                view.start = run.start;
                view.lengths = slot.lengths.get() + run.first;
                view.gaps = slot.gaps.get() + run.first;
                view.count = run.count;
                import_helper_counts.taken.fetch_add(run.count, std::memory_order_relaxed);
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

}  // namespace kv
