// Helper threads that scan an import's dump ahead of its statement loop, so that an import
// uses every core (up to 8) and not only the one the loop runs on.
//
// The dump is cut into chunks of 4 MiB. With T threads asked for (T >= 2), T helper threads
// scan every chunk after the first; the loop, on the import's own thread, scans the first
// chunk and whatever no helper's result covers, takes the helpers' results in file order and
// writes the index. A helper cannot know where its chunk starts in the grammar (inside a
// string, a comment, another statement), so it guesses: it takes every ")" followed by "," and
// "(" and a value as the join of two tuples of an extended INSERT (with blanks around the
// comma, as phpMyAdmin and HeidiSQL write a tuple a line, but no comment), in the escape mode
// the loop was last in, and walks the tuples from there with the loop's own block pass
// (tuple_blocks.h). Each such run ends where that pass would leave the fast path: a comment, a
// string in other quotes, a count that changes, any other join, the 4 GiB limit. A run that
// goes past the chunk's end stops at the first tuple that starts after it.
//
// The walks of one chunk go through at most twice the chunk's bytes together (its own tuples
// and the one that crosses its end; at least 64 KiB, for the small chunks of tests). A walk
// that reaches that budget ends there with the tuples it has, and the chunk's scan with it.
// So the helpers' block pass goes through at most twice the dump whatever it holds (a string
// full of false joins, each opening one more parenthesis, would otherwise send the walk from
// every chunk on to the string's end), besides the search of every chunk for joins. A tuple
// that crosses a chunk's end and is longer than about a chunk is left to the loop.
//
// The loop confirms a guess only by reaching a run's first tuple by its own scan, in the same
// mode, with the same value count; it then takes the run's tuples as if it had scanned them
// and goes on at the tuple after them. A wrong guess is never reached and costs nothing but
// the helper's time; where no run is confirmed, the loop scans the bytes itself. So the index,
// the notes, the failures and their byte positions are those of the single-thread scan.
//
// A chunk without such joins (a dump of one row per statement) is searched for runs of whole
// statements instead: from a line that starts with INSERT or REPLACE (the anchor), each next
// statement that follows the one before after its ';' and a line end (blank lines and "--"
// comments between them), begins with the same bytes up to its tuple's '(' (keyword, table,
// column list, VALUES) and holds one tuple of the same value count, closed by ';'. Such a run is
// taken only by a loop that has just scanned the anchor itself, to the same tuple and
// delimiter, and reaches the run's first statement in the same escape mode with ";" as its
// delimiter: then every statement of the run is read by the loop exactly as the anchor was.
// Each chunk tries first the kind of run the chunk scanned before it held.
// Where the loop takes nothing from several chunks in a row, the helpers try only every 16th
// chunk, so that they leave the processors to the loop.
//
// Memory: each helper holds a 1 MiB read buffer and 64 KiB for a statement's head (a longer
// one anchors no run), each of the 4 T result slots up to 262,144 tuple lengths and gaps and
// 4,096 runs (1.44 MiB); a chunk's runs end when its slot is full (8 threads: about 55 MiB in
// all, most of it never touched). Helpers read with their own positional reads and never fail
// the import: a read that fails ends their chunk, and the loop reads those bytes itself.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

#include "foundation/dump_state.h"
#include "importer/dump_reader.h"

namespace kv {

inline constexpr std::uint32_t IMPORT_THREADS_MAX = 8;
inline constexpr std::uint64_t IMPORT_CHUNK_SIZE = 4194304;

// Test-only switch, IMPORT_CHUNK_SIZE in every program (at least 16): small chunks put chunk
// boundaries inside strings, comments and statements of small test dumps.
extern std::uint64_t import_chunk_size;

// Test-only figures of the helpers of every import since they were last set to 0: bytes their
// block pass walked, tuples of their runs the loop took, and of them the statements of runs of
// whole statements. Counted once a chunk and once a run taken, so they cost the scan nothing
// that shows.
struct ImportHelperCounts {
    std::atomic<std::uint64_t> walked{0};
    std::atomic<std::uint64_t> taken{0};
    std::atomic<std::uint64_t> statements{0};
};
extern ImportHelperCounts import_helper_counts;

// The scanning threads of an import for threads as asked (0: one per processor), 1 to 8;
// 1 is the loop alone, more are helpers beside it.
std::uint32_t import_thread_count(std::uint32_t threads);

// A confirmed run: count tuples, the first starting at start, each joined to the next;
// lengths[i] is tuple i's length from '(' through ')', and the next tuple's '(' stands gaps[i]
// bytes after that tuple's end (1 for ",("). The loop goes on at the '(' after the last one.
// A run of whole statements: count statements of one tuple each, the first statement's keyword
// at start; statement i's tuple starts header bytes after its keyword, and gaps[i] bytes after
// the tuple's end stands the next statement's keyword (the last one: the byte after its ';',
// where the loop goes on). Its "--" comments between the statements hold comment_bytes.
struct ChunkRunView {
    std::uint64_t start = 0;
    const std::uint32_t* lengths = nullptr;
    const std::uint8_t* gaps = nullptr;
    std::uint32_t count = 0;
    std::uint32_t header = 0;
    std::uint64_t comment_bytes = 0;
};

// The INSERT or REPLACE the loop scanned last, as a run of whole statements must follow it:
// its keyword at start (NO_STATEMENT: the last statement cannot anchor a run), its only tuple
// header bytes after that, of values values in escape mode mode, its ';' just before end.
inline constexpr std::uint64_t NO_STATEMENT = ~std::uint64_t{0};
struct StatementAnchor {
    std::uint64_t start = NO_STATEMENT;
    std::uint64_t end = 0;
    std::uint32_t header = 0;
    std::uint32_t values = 0;
    EscapeMode mode = EscapeMode::backslash;
};

struct ChunkScan;
struct ChunkScanStop {
    void operator()(ChunkScan* scan) const;  // stops and waits for every helper, then frees
};
using ChunkScanPtr = std::unique_ptr<ChunkScan, ChunkScanStop>;

// Starts the threads helpers of an import of state's open dump (threads as asked, see
// import_thread_count). Null when one thread is asked for, the dump has fewer than two chunks,
// memory is short or no helper thread could start: the loop then scans everything itself.
// The scan must be released (stopping its helpers) before the dump's handle is closed.
ChunkScanPtr chunk_scan_start(DumpState& state, std::uint32_t threads, EscapeMode mode);

// The position from which the loop must consult the scan at every tuple start it reaches: the
// next run's first tuple, or the start of the next helper chunk. UINT64_MAX when there is
// none. The pointer stays valid for the scan's life.
const std::uint64_t* chunk_scan_sync(const ChunkScan& scan);

// Called by the loop at a tuple's '(' at reader.position >= *chunk_scan_sync: in escape mode,
// after tuples of values values (all ones for the first tuple of a statement, which no run
// may stand for). True with run when a run starts exactly here and matches. False otherwise;
// then the reader has failed if the wait for a helper was cancelled.
bool chunk_scan_consult(ChunkScan& scan, DumpReader& reader, EscapeMode mode,
                        std::uint32_t values, ChunkRunView& run);

// Called by the loop at the keyword of an INSERT or REPLACE at position >= *chunk_scan_sync,
// in escape mode mode with ";" as the delimiter, right after the statement anchor (a
// statement with a single tuple). True with run when a run of whole statements starts exactly
// here and was found after that very anchor, in that mode. False otherwise, as above.
bool chunk_scan_consult_statements(ChunkScan& scan, DumpReader& reader, std::uint64_t position,
                                   EscapeMode mode, const StatementAnchor& anchor,
                                   ChunkRunView& run);

}  // namespace kv
