// Table filter job (see filter.h).
#include "records/filter.h"

#include <cstring>
#include <memory>
#include <new>

#include "cache/index_file.h"
#include "records/record_decode.h"

namespace kv {

namespace {

constexpr const char* MSG_BAD_TABLE = "Ungültige Tabelle.";
constexpr const char* MSG_TEXT_TOO_LONG = "Der Filtertext ist zu lang.";
constexpr const char* MSG_NO_MEMORY = "Nicht genügend Arbeitsspeicher.";
constexpr const char* MSG_FILES = "Filterdatei kann nicht angelegt oder gelesen werden.";
constexpr const char* MSG_SHORT_INDEX = "Positionsindex ist unvollständig.";
constexpr const char* MSG_NO_MEMORY_FILTER = "Nicht genügend Arbeitsspeicher beim Filtern.";
constexpr const char* MSG_BATCH_WRITE =
    "Filterindex kann nicht geschrieben werden. Freien Speicherplatz prüfen.";
constexpr const char* MSG_CANCELLED = "Vorgang abgebrochen.";
constexpr const char* MSG_NOT_SAVED = "Filterdatei konnte nicht gespeichert werden.";
constexpr const char* LABEL_FILTER = "Tabelle filtern";

constexpr std::size_t BATCH_BYTES = std::size_t{INDEX_BATCH_ENTRIES} * INDEX_ENTRY_SIZE;

// The request with its defaults applied, and the scratch storage of one run.
struct Matcher {
    std::int32_t column = -1;
    FilterOperator op = FILTER_CONTAINS;
    std::string_view text;
    Charset charset = CHARSET_UTF8;
    std::vector<std::uint32_t> prefix;
    std::string converted;  // reused for every value
};

enum class Match { no, yes, no_memory };

Match value_matches(Matcher& m, const Value& value) {
    switch (m.op) {
        case FILTER_IS_NULL: return value.kind == VALUE_NULL ? Match::yes : Match::no;
        case FILTER_IS_NOT_NULL: return value_has_text(value) ? Match::yes : Match::no;
        default: break;
    }
    if (!value_has_text(value)) return Match::no;
    if (m.op == FILTER_CONTAINS && m.text.empty()) return Match::yes;
    if (!text_to_utf8(value.text, m.charset, m.converted)) return Match::no_memory;
    if (m.op == FILTER_EQUALS) return m.converted == m.text ? Match::yes : Match::no;
    return filter_text_contains(m.converted, m.text, m.prefix) ? Match::yes : Match::no;
}

Match record_matches(Matcher& m, const DecodedRecord& record) {
    if (m.column >= 0) {
        const auto c = static_cast<std::uint32_t>(m.column);
        if (c >= record.value_count()) return Match::no;
        return value_matches(m, record.values[c]);
    }
    for (const Value& value : record.values) {
        Match r = value_matches(m, value);
        if (r != Match::no) return r;
    }
    return Match::no;
}

// The scan proper; every failure leaves its message in state. Files are closed by the guards.
bool filter_scan(DumpState& state, std::uint32_t table, Matcher& m,
                 const std::string& result_path, std::uint64_t& hits,
                 const ProgressSink* sink) {
    std::string index_path;
    try {
        index_path = index_file_path(state, table);
    } catch (const std::bad_alloc&) {
        dump_state_fail(state, MSG_NO_MEMORY);
        return false;
    }
    const std::uint64_t total = state.objects[table].entry_count;
    FileGuard index(file_open(index_path, FILE_MODE_READ));
    FileGuard result(file_open(result_path, FILE_MODE_CREATE));
    std::unique_ptr<unsigned char[]> in(new (std::nothrow) unsigned char[BATCH_BYTES]);
    std::unique_ptr<unsigned char[]> out(new (std::nothrow) unsigned char[BATCH_BYTES]);
    if (!in || !out || !result.valid() || (!index.valid() && total != 0)) {
        dump_state_fail(state, MSG_FILES);
        return false;
    }

    DecodedRecord record;
    std::size_t pending = 0;  // entries in the output batch
    std::uint64_t last_report = 0;
    bool reported = false;
    for (std::uint64_t first = 0; first < total; first += INDEX_BATCH_ENTRIES) {
        const auto n = static_cast<std::size_t>(
            total - first < INDEX_BATCH_ENTRIES ? total - first : INDEX_BATCH_ENTRIES);
        if (file_read_full(index.get(), in.get(), n * INDEX_ENTRY_SIZE) != n * INDEX_ENTRY_SIZE) {
            dump_state_fail(state, MSG_SHORT_INDEX);
            return false;
        }
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char* raw = in.get() + k * INDEX_ENTRY_SIZE;
            if (!record_decode(state, table, index_entry_decode(raw), record)) return false;
            const Match match = record_matches(m, record);
            if (match == Match::no_memory) {
                dump_state_fail(state, MSG_NO_MEMORY_FILTER);
                return false;
            }
            if (match == Match::yes) {
                std::memcpy(out.get() + pending * INDEX_ENTRY_SIZE, raw, INDEX_ENTRY_SIZE);
                ++pending;
                ++hits;
                if (pending == INDEX_BATCH_ENTRIES) {
                    if (!file_write_all(result.get(), out.get(), BATCH_BYTES)) {
                        dump_state_fail(state, MSG_BATCH_WRITE);
                        return false;
                    }
                    pending = 0;
                }
            }
            const std::uint64_t now = clock_ms();
            if (sink != nullptr && (!reported || now - last_report >= 100)) {
                reported = true;
                last_report = now;
                if (!progress_report(sink, first + k, total, hits, LABEL_FILTER)) {
                    dump_state_fail(state, MSG_CANCELLED);
                    return false;
                }
            }
        }
    }
    return file_write_all(result.get(), out.get(), pending * INDEX_ENTRY_SIZE) &&
           file_flush(result.get());
}

}  // namespace

void filter_prefix_table(std::string_view pattern, std::vector<std::uint32_t>& out) {
    out.assign(pattern.size(), 0);
    std::uint32_t k = 0;
    for (std::size_t i = 1; i < pattern.size(); ++i) {
        while (k > 0 && pattern[i] != pattern[k]) k = out[k - 1];
        if (pattern[i] == pattern[k]) ++k;
        out[i] = k;
    }
}

bool filter_text_contains(std::string_view text, std::string_view pattern,
                          const std::vector<std::uint32_t>& prefix) {
    if (pattern.empty()) return true;
    if (text.size() < pattern.size()) return false;
    std::size_t k = 0;
    for (char c : text) {
        while (k > 0 && c != pattern[k]) k = prefix[k - 1];
        if (c == pattern[k] && ++k == pattern.size()) return true;
    }
    return false;
}

bool filter_run(DumpState& state, std::uint32_t table, const FilterRequest& request,
                const std::string& result_path, std::uint64_t& hits, const ProgressSink* sink) {
    hits = 0;
    state.message[0] = '\0';
    bool ok = false;
    Matcher m;
    if (table >= state.objects.size()) {
        dump_state_fail(state, MSG_BAD_TABLE);
    } else if (request.text.size() > FILTER_TEXT_MAX) {
        dump_state_fail(state, MSG_TEXT_TOO_LONG);
    } else {
        m.column = request.column < 0 ? -1 : request.column;
        m.op = request.op == FILTER_EQUALS || request.op == FILTER_IS_NULL ||
                       request.op == FILTER_IS_NOT_NULL
                   ? static_cast<FilterOperator>(request.op)
                   : FILTER_CONTAINS;
        m.text = request.text;
        m.charset = static_cast<Charset>(request.charset);
        try {
            if (m.op == FILTER_CONTAINS) filter_prefix_table(m.text, m.prefix);
            ok = true;
        } catch (const std::bad_alloc&) {
            dump_state_fail(state, MSG_NO_MEMORY);
        }
        if (ok) ok = filter_scan(state, table, m, result_path, hits, sink);
    }
    if (!ok) {
        // "query-new.kvi" is only ever a result in the making: after a failure it must not
        // exist, so that no half-written hit list can become the active filter.
        file_remove(result_path);
        if (state.message[0] == '\0') dump_state_fail(state, MSG_NOT_SAVED);
    }
    return ok;
}

}  // namespace kv
