// Row scan on several threads (see row_scan.h).
#include "records/row_scan.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <new>

#include "cache/file_names.h"
#include "cache/index_file.h"
#include "foundation/thread.h"
#include "records/record_decode.h"
#include "records/search.h"

namespace kv {

namespace {

constexpr std::uint32_t UNIT_ROWS_MAX = SCAN_UNIT_ROWS_MAX;
constexpr std::uint64_t UNIT_BYTES = 4194304;
constexpr std::uint32_t SLOTS_PER_THREAD = 4;
constexpr std::size_t SLOT_BYTES = std::size_t{UNIT_ROWS_MAX} * INDEX_ENTRY_SIZE;
constexpr std::uint64_t CLOCK_BYTES = 65536;
constexpr std::uint64_t REPORT_MS = 100;
constexpr auto WAIT = std::chrono::milliseconds(20);
constexpr std::uint32_t NO_TABLE = ~std::uint32_t{0};

// The filter rule, shared read-only by every thread of a scan.
struct Matcher {
    std::int32_t column = -1;
    FilterOp op = FilterOp::contains;
    std::string_view text;
    Charset charset = CHARSET_UTF8;
    std::vector<std::uint32_t> prefix;
    RawFilter raw;
};

enum class Match { no, yes, no_memory };

// converted: the thread's scratch string for values that need a conversion.
Match value_matches(const Matcher& m, std::string& converted, const Value& value) {
    switch (m.op) {
        case FilterOp::is_null: return value.kind == VALUE_NULL ? Match::yes : Match::no;
        case FilterOp::is_not_null: return value_is_present(value) ? Match::yes : Match::no;
        default: break;
    }
    if (!value_is_present(value)) return Match::no;
    if (m.op == FilterOp::contains && m.text.empty()) return Match::yes;
    std::string_view text = value.text;  // valid UTF-8 needs no conversion
    if (m.charset != CHARSET_UTF8 || utf8_valid_prefix(text) != text.size()) {
        if (!text_to_utf8(value.text, m.charset, converted)) return Match::no_memory;
        text = converted;
    }
    if (m.op == FilterOp::equals) return text == m.text ? Match::yes : Match::no;
    return filter_text_contains(text, m.text, m.prefix) ? Match::yes : Match::no;
}

// Whether the record matches; column receives the first matching column.
Match record_matches(const Matcher& m, std::string& converted, const DecodedRecord& record,
                     std::uint32_t& column) {
    if (m.column >= 0) {
        column = static_cast<std::uint32_t>(m.column);
        if (column >= record.value_count()) return Match::no;
        return value_matches(m, converted, record.values[column]);
    }
    for (column = 0; column < record.value_count(); ++column) {
        Match r = value_matches(m, converted, record.values[column]);
        if (r != Match::no) return r;
    }
    return Match::no;
}

// One table of the scan and how its rows are cut into units.
struct TablePlan {
    std::uint32_t table = 0;
    std::uint32_t unit_rows = 1;
    std::uint64_t rows = 0;
    std::uint64_t first_unit = 0;  // the scan's number of its first unit
};

struct Unit {
    std::uint32_t table = 0;
    std::uint64_t first = 0;  // first row
    std::uint32_t count = 0;
};

// The results of one unit until the calling thread writes them.
struct Slot {
    std::atomic<std::uint64_t> done{0};     // unit number + 1 once published
    std::unique_ptr<unsigned char[]> hits;  // SLOT_BYTES
    std::uint32_t hit_count = 0;
    std::uint32_t tested = 0;  // rows tested from the unit's start; the rest is handed back
    Status status;
};

// One thread's tools. The calling thread reads through the state's own window; a helper
// through its reader.
struct Worker {
    bool helper = false;
    TupleReader reader;
    FileGuard index;
    std::uint32_t index_table = NO_TABLE;
    std::unique_ptr<unsigned char[]> entries;  // SLOT_BYTES
    DecodedRecord record;
    std::string converted;
};

struct Scan;

struct Helper {
    Scan* scan = nullptr;
    Worker worker;
    Signal wake;  // a slot became free, or the scan stops
    Thread thread;
};

// The result file and its 256 KiB batch; the calling thread's alone.
struct Output {
    FileGuard file;
    std::unique_ptr<unsigned char[]> batch;  // SLOT_BYTES
    std::size_t pending = 0;                 // bytes
    std::uint64_t hits = 0;
    std::uint32_t tables = 0;
    std::uint32_t last_table = NO_TABLE;
};

struct Scan {
    Scan(DumpState& s, const Matcher& matcher, const RowScanRequest& r, const ProgressSink* p)
        : state(s), m(matcher), request(r), sink(p) {}
    Scan(const Scan&) = delete;
    Scan& operator=(const Scan&) = delete;
    ~Scan() { stop_helpers(); }

    void stop_helpers() {
        stop.store(true, std::memory_order_release);
        for (auto& h : helpers) h->wake.set();
        for (auto& h : helpers) h->thread.join();
        helpers.clear();
    }

    DumpState& state;
    const Matcher& m;
    const RowScanRequest& request;
    const ProgressSink* sink;
    std::vector<TablePlan> plans;
    std::uint64_t unit_count = 0;
    std::uint64_t total_rows = 0;
    std::uint32_t slot_count = 0;
    std::unique_ptr<Slot[]> slots;
    std::vector<std::unique_ptr<Helper>> helpers;

    std::atomic<std::uint64_t> next{0};     // the next unit to take
    // Units written; unit u may be taken while u < written + slot_count (its slot is free).
    std::atomic<std::uint64_t> written{0};
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> rows_done{0};  // of published units
    std::atomic<std::uint64_t> found{0};      // hits of published units
    Signal published;                         // a helper published a unit

    // The calling thread's progress clock.
    bool reported = false;
    std::uint64_t last_report = 0;
    std::uint64_t clock_bytes = 0;
    std::uint32_t clock_rows = 0;
    std::uint64_t own_rows = 0;  // of the unit the calling thread tests
    std::uint64_t own_hits = 0;
    // Tuples above 64 MiB passed over; only the calling thread meets tuples above a read window.
    std::uint64_t huge_skipped = 0;
};

Unit unit_at(const Scan& s, std::uint64_t u) {
    const auto before = [](std::uint64_t v, const TablePlan& p) { return v < p.first_unit; };
    auto it = std::upper_bound(s.plans.begin(), s.plans.end(), u, before);
    const TablePlan& p = *(it - 1);
    Unit unit;
    unit.table = p.table;
    unit.first = (u - p.first_unit) * p.unit_rows;
    unit.count =
        static_cast<std::uint32_t>(std::min<std::uint64_t>(p.unit_rows, p.rows - unit.first));
    return unit;
}

// Takes the next unit whose slot is free; false when there is none now.
bool claim(Scan& s, std::uint64_t& unit) {
    std::uint64_t u = s.next.load(std::memory_order_acquire);
    for (;;) {
        if (u >= s.unit_count || u >= s.written.load(std::memory_order_acquire) + s.slot_count) {
            return false;
        }
        if (s.next.compare_exchange_weak(u, u + 1, std::memory_order_acq_rel)) {
            unit = u;
            return true;
        }
    }
}

// The calling thread's progress report, read from the clock for every 16th row and every
// 64 KiB of tuples (always when force is set), sent at most every 100 ms.
Status report(Scan& s, std::uint64_t length, bool force) {
    s.clock_bytes += length;
    if (s.sink == nullptr) return {};
    if (!force && s.reported && (++s.clock_rows & 15) != 0 && s.clock_bytes < CLOCK_BYTES) {
        return {};
    }
    s.clock_bytes = 0;
    const std::uint64_t now = clock_ms();
    if (s.reported && now - s.last_report < REPORT_MS) return {};
    s.reported = true;
    s.last_report = now;
    const std::uint64_t done = s.rows_done.load(std::memory_order_relaxed) + s.own_rows;
    const std::uint64_t count = s.found.load(std::memory_order_relaxed) + s.own_hits;
    if (progress_report(s.sink, std::min(done, s.total_rows), s.total_rows, count,
                        msg_text(s.request.label))) {
        return {};
    }
    s.stop.store(true, std::memory_order_release);
    return status_cancelled();
}

// Reads the entries of rows [from, count) of unit into the worker's batch.
Status read_entries(Scan& s, Worker& w, const Unit& unit, std::uint32_t from) {
    if (w.index_table != unit.table) {
        w.index.reset(file_open(cache_index_path(s.state, unit.table), FILE_MODE_READ));
        w.index_table = w.index.valid() ? unit.table : NO_TABLE;
        if (!w.index.valid()) return status_fail(StatusKind::input_output, s.request.files_failed);
    }
    const std::size_t bytes = std::size_t{unit.count - from} * INDEX_ENTRY_SIZE;
    if (file_seek_to(w.index.get(), (unit.first + from) * INDEX_ENTRY_SIZE) &&
        file_read_full(w.index.get(), w.entries.get(), bytes) == bytes) {
        return {};
    }
    return status_fail(StatusKind::damaged_cache, Msg::short_index);
}

// Whether the tuple of entry matches. Most tuples are rejected by the raw test; a tuple that
// cannot be viewed is decoded, which gives the reason.
Status test_row(Scan& s, Worker& w, std::uint32_t table, const IndexEntry& entry, Match& match,
                std::uint32_t& column) {
    match = Match::no;
    if (s.request.huge_skipped != nullptr && entry.length > MAX_DECODED_TUPLE) {
        ++s.huge_skipped;
        return {};
    }
    if (s.m.raw.active) {
        const unsigned char* tuple = w.helper
                                         ? record_tuple_view_with(s.state, w.reader, table, entry)
                                         : record_tuple_view(s.state, table, entry);
        if (tuple != nullptr && !raw_filter_may_match(s.m.raw, tuple, entry.length,
                                                      layout_escape_mode(entry.layout_word))) {
            return {};
        }
    }
    Status st = w.helper ? record_decode_with(s.state, w.reader, table, entry, w.record)
                         : record_decode(s.state, table, entry, w.record);
    if (!st.ok()) return st;
    match = record_matches(s.m, w.converted, w.record, column);
    if (match == Match::no_memory) {
        return status_fail(StatusKind::out_of_memory, Msg::filter_out_of_memory);
    }
    return {};
}

void add_hit(const Scan& s, Slot& slot, const unsigned char* raw, std::uint32_t table,
             std::uint64_t row, std::uint32_t column) {
    unsigned char* p = slot.hits.get() + std::size_t{slot.hit_count} * INDEX_ENTRY_SIZE;
    if (s.request.hits == ScanHits::entries) {
        std::memcpy(p, raw, INDEX_ENTRY_SIZE);
    } else {
        search_hit_encode(SearchHit{table, column, row}, p);
    }
    ++slot.hit_count;
}

// Tests rows [from, count) of unit (their entries in the worker's batch) into slot. A helper
// stops at a tuple larger than its read window, or when the scan stops; slot.tested tells
// where it stopped.
Status test_rows(Scan& s, Worker& w, const Unit& unit, std::uint32_t from, Slot& slot) {
    for (std::uint32_t k = from; k < unit.count; ++k) {
        slot.tested = k;
        const unsigned char* raw = w.entries.get() + std::size_t{k - from} * INDEX_ENTRY_SIZE;
        const IndexEntry entry = index_entry_decode(raw);
        if (w.helper &&
            (entry.length > READ_BUFFER_SIZE || s.stop.load(std::memory_order_relaxed))) {
            return {};
        }
        Match match = Match::no;
        std::uint32_t column = 0;
        if (Status st = test_row(s, w, unit.table, entry, match, column); !st.ok()) return st;
        if (match == Match::yes) add_hit(s, slot, raw, unit.table, unit.first + k, column);
        if (!w.helper) {
            s.own_rows = k - from;
            s.own_hits = slot.hit_count;
            if (Status st = report(s, entry.length, false); !st.ok()) return st;
        }
    }
    slot.tested = unit.count;
    return {};
}

// Tests unit u into its slot and publishes it.
void run_unit(Scan& s, Worker& w, std::uint64_t u) {
    Slot& slot = s.slots[u % s.slot_count];
    const Unit unit = unit_at(s, u);
    slot.hit_count = 0;
    slot.tested = 0;
    try {
        slot.status = read_entries(s, w, unit, 0);
        if (slot.status.ok()) slot.status = test_rows(s, w, unit, 0, slot);
    } catch (const std::bad_alloc&) {
        slot.status = status_out_of_memory();
    }
    if (!w.helper) {
        s.own_rows = 0;
        s.own_hits = 0;
    }
    s.rows_done.fetch_add(slot.tested, std::memory_order_relaxed);
    s.found.fetch_add(slot.hit_count, std::memory_order_relaxed);
    slot.done.store(u + 1, std::memory_order_release);
}

void helper_main(void* arg) {
    Helper& h = *static_cast<Helper*>(arg);
    Scan& s = *h.scan;
    while (!s.stop.load(std::memory_order_acquire)) {
        std::uint64_t u = 0;
        if (claim(s, u)) {
            run_unit(s, h.worker, u);
            s.published.set();
        } else if (s.next.load(std::memory_order_acquire) >= s.unit_count) {
            return;
        } else {
            h.wake.wait_for(WAIT);
        }
    }
}

// Appends bytes (at most SLOT_BYTES) to the result's batch, writing the batch when full.
Status out_append(const Scan& s, Output& out, const unsigned char* bytes, std::size_t size) {
    if (out.pending + size > SLOT_BYTES) {
        if (!file_write_all(out.file.get(), out.batch.get(), out.pending)) {
            return status_fail(StatusKind::input_output, s.request.write_failed);
        }
        out.pending = 0;
    }
    if (size != 0) std::memcpy(out.batch.get() + out.pending, bytes, size);
    out.pending += size;
    return {};
}

// Writes the published unit u: the rest of its rows first, when a helper handed them back.
Status take_unit(Scan& s, Worker& me, std::uint64_t u, Slot& slot, Output& out) {
    if (!slot.status.ok()) return slot.status;
    const Unit unit = unit_at(s, u);
    if (slot.tested < unit.count) {
        const std::uint32_t from = slot.tested;
        const std::uint32_t hits_before = slot.hit_count;
        if (Status st = read_entries(s, me, unit, from); !st.ok()) return st;
        if (Status st = test_rows(s, me, unit, from, slot); !st.ok()) return st;
        s.own_rows = 0;
        s.own_hits = 0;
        s.rows_done.fetch_add(unit.count - from, std::memory_order_relaxed);
        s.found.fetch_add(slot.hit_count - hits_before, std::memory_order_relaxed);
    }
    const std::size_t bytes = std::size_t{slot.hit_count} * INDEX_ENTRY_SIZE;
    if (Status st = out_append(s, out, slot.hits.get(), bytes); !st.ok()) return st;
    out.hits += slot.hit_count;
    if (slot.hit_count != 0 && unit.table != out.last_table) {
        ++out.tables;
        out.last_table = unit.table;
    }
    s.written.store(u + 1, std::memory_order_release);
    for (auto& h : s.helpers) h->wake.set();
    return {};
}

// The calling thread's loop: writes published units in order, tests units itself while it
// can take one, else waits for the helpers and reports progress.
Status drive(Scan& s, Worker& me, Output& out) {
    for (;;) {
        const std::uint64_t u = s.written.load(std::memory_order_relaxed);
        if (u >= s.unit_count) return {};
        Slot& slot = s.slots[u % s.slot_count];
        if (slot.done.load(std::memory_order_acquire) == u + 1) {
            if (Status st = take_unit(s, me, u, slot, out); !st.ok()) return st;
            continue;
        }
        std::uint64_t mine = 0;
        if (claim(s, mine)) {
            run_unit(s, me, mine);
            if (s.stop.load(std::memory_order_relaxed)) return status_cancelled();
            continue;
        }
        s.published.wait_for(WAIT);
        if (Status st = report(s, 0, true); !st.ok()) return st;
    }
}

}  // namespace

std::uint32_t scan_unit_rows = UNIT_ROWS_MAX;

namespace {

// Cuts the tables into units: about UNIT_BYTES of tuples each, by the table's mean tuple.
void plan_units(Scan& s, const std::vector<std::uint32_t>& tables) {
    for (const std::uint32_t table : tables) {
        const SchemaObject& object = s.state.objects[table];
        if (object.entry_count == 0) continue;
        const std::uint64_t mean =
            std::max<std::uint64_t>(object.tuple_bytes / object.entry_count, 1);
        TablePlan plan;
        plan.table = table;
        plan.rows = object.entry_count;
        const std::uint32_t most = std::clamp<std::uint32_t>(scan_unit_rows, 1, UNIT_ROWS_MAX);
        plan.unit_rows =
            static_cast<std::uint32_t>(std::clamp<std::uint64_t>(UNIT_BYTES / mean, 1, most));
        plan.first_unit = s.unit_count;
        s.plans.push_back(plan);
        s.unit_count += (plan.rows + plan.unit_rows - 1) / plan.unit_rows;
        s.total_rows += plan.rows;
    }
}

// The slots, and the helpers of a scan of threads threads (fewer when there are fewer units,
// or the system refuses a thread or a handle: the calling thread does the rest). Throws
// std::bad_alloc.
void start_helpers(Scan& s, std::uint32_t threads) {
    const auto wanted = static_cast<std::uint32_t>(
        std::min<std::uint64_t>(threads - 1, s.unit_count == 0 ? 0 : s.unit_count - 1));
    for (std::uint32_t i = 0; i < wanted; ++i) {
        auto h = std::make_unique<Helper>();
        h->scan = &s;
        h->worker.helper = true;
        h->worker.entries.reset(new unsigned char[SLOT_BYTES]);
        if (!tuple_reader_open(s.state, h->worker.reader)) break;
        s.helpers.push_back(std::move(h));
    }
    s.slot_count = SLOTS_PER_THREAD * (static_cast<std::uint32_t>(s.helpers.size()) + 1);
    s.slots.reset(new Slot[s.slot_count]);
    for (std::uint32_t i = 0; i < s.slot_count; ++i) {
        s.slots[i].hits.reset(new unsigned char[SLOT_BYTES]);
    }
    for (auto& h : s.helpers) (void)h->thread.start(helper_main, h.get());
}

Status scan_all(DumpState& state, const std::vector<std::uint32_t>& tables, const Matcher& m,
                const RowScanRequest& request, Output& out, const ProgressSink* sink) {
    Scan s(state, m, request, sink);
    Worker me;
    me.entries.reset(new unsigned char[SLOT_BYTES]);
    out.batch.reset(new unsigned char[SLOT_BYTES]);
    plan_units(s, tables);
    start_helpers(s, scan_thread_count(request.threads));
    Status st = drive(s, me, out);
    s.stop_helpers();
    if (!st.ok()) return st;
    if (request.huge_skipped != nullptr) *request.huge_skipped = s.huge_skipped;
    if (file_write_all(out.file.get(), out.batch.get(), out.pending) &&
        file_flush(out.file.get())) {
        return {};
    }
    return status_fail(StatusKind::input_output, request.not_saved);
}

}  // namespace

std::uint32_t scan_thread_count(std::uint32_t asked) {
    if (asked == 0) asked = cpu_count();
    return std::clamp<std::uint32_t>(asked, 1, SCAN_THREADS_MAX);
}

Status row_scan_run(DumpState& state, const std::vector<std::uint32_t>& tables,
                    const RowScanRequest& request, const std::string& result_path,
                    std::uint64_t& hits, std::uint32_t& tables_hit, const ProgressSink* sink) {
    hits = 0;
    tables_hit = 0;
    Status status;
    Output out;
    try {
        Matcher m;
        m.column = request.column < 0 ? -1 : request.column;
        m.op = request.op;
        m.text = request.text;
        m.charset = request.charset;
        if (m.op == FilterOp::contains) filter_prefix_table(m.text, m.prefix);
        raw_filter_init(m.raw, m.op, m.text, m.charset);
        out.file.reset(file_open(result_path, FILE_MODE_CREATE));
        status = out.file.valid() ? scan_all(state, tables, m, request, out, sink)
                                  : status_fail(StatusKind::input_output, request.files_failed);
    } catch (const std::bad_alloc&) {
        status = status_out_of_memory();
    }
    out.file.reset();
    // A result in the making must not exist after a failure, so that no half-written hit list
    // can become the active one.
    if (!status.ok()) {
        file_remove(result_path);
        return status;
    }
    hits = out.hits;
    tables_hit = out.tables;
    return status;
}

}  // namespace kv
