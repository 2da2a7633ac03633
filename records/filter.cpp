// Table filter job (see filter.h).
#include "records/filter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "cache/file_names.h"
#include "cache/index_file.h"
#include "foundation/sql_quote.h"
#include "foundation/sql_lex.h"
#include "records/record_decode.h"

namespace kv {

namespace {

constexpr std::size_t BATCH_BYTES = std::size_t{INDEX_BATCH_ENTRIES} * INDEX_ENTRY_SIZE;
constexpr std::uint64_t CLOCK_BYTES = 65536;

// The request with its defaults applied, and the scratch storage of one run.
struct Matcher {
    std::int32_t column = -1;
    FilterOp op = FilterOp::contains;
    std::string_view text;
    Charset charset = CHARSET_UTF8;
    std::vector<std::uint32_t> prefix;
    std::string converted;  // reused for every value
    RawFilter raw;
};

enum class Match { no, yes, no_memory };

Match value_matches(Matcher& m, const Value& value) {
    switch (m.op) {
        case FilterOp::is_null: return value.kind == VALUE_NULL ? Match::yes : Match::no;
        case FilterOp::is_not_null: return value_is_present(value) ? Match::yes : Match::no;
        default: break;
    }
    if (!value_is_present(value)) return Match::no;
    if (m.op == FilterOp::contains && m.text.empty()) return Match::yes;
    std::string_view text = value.text;  // valid UTF-8 needs no conversion
    if (m.charset != CHARSET_UTF8 || utf8_valid_prefix(text) != text.size()) {
        if (!text_to_utf8(value.text, m.charset, m.converted)) return Match::no_memory;
        text = m.converted;
    }
    if (m.op == FilterOp::equals) return text == m.text ? Match::yes : Match::no;
    return filter_text_contains(text, m.text, m.prefix) ? Match::yes : Match::no;
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

// One scan of a table: its index as input, the result file as output, one 64 KiB batch of
// each, one decoded record, and the clock of the progress reports.
struct FilterScan {
    FilterScan(DumpState& s, std::uint32_t t, Matcher& matcher, const ProgressSink* progress,
               std::uint64_t& hit_count)
        : state(s), table(t), m(matcher), sink(progress), hits(hit_count) {}
    DumpState& state;
    std::uint32_t table;
    Matcher& m;
    const ProgressSink* sink;
    std::uint64_t& hits;
    FileGuard index;
    FileGuard result;
    std::unique_ptr<unsigned char[]> in;
    std::unique_ptr<unsigned char[]> out;
    std::size_t pending = 0;  // entries in the output batch
    DecodedRecord record;
    std::uint64_t last_report = 0;
    std::uint64_t tuple_bytes = 0;  // tested since the clock was last read
    bool reported = false;
};

Status scan_open(FilterScan& scan, const std::string& result_path) {
    std::string index_path;
    try {
        index_path = cache_index_path(scan.state, scan.table);
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
    scan.index.reset(file_open(index_path, FILE_MODE_READ));
    scan.result.reset(file_open(result_path, FILE_MODE_CREATE));
    scan.in.reset(new (std::nothrow) unsigned char[BATCH_BYTES]);
    scan.out.reset(new (std::nothrow) unsigned char[BATCH_BYTES]);
    const bool no_index = !scan.index.valid() && scan.state.objects[scan.table].entry_count != 0;
    if (!scan.in || !scan.out || !scan.result.valid() || no_index) {
        return status_fail(StatusKind::input_output, Msg::filter_files_failed);
    }
    return {};
}

// Whether the tuple of entry matches. Most tuples are rejected by the raw test; a tuple that
// cannot be viewed is decoded, which gives the reason.
Status scan_test(FilterScan& scan, const IndexEntry& entry, Match& match) {
    match = Match::no;
    if (scan.m.raw.active) {
        const unsigned char* tuple = record_tuple_view(scan.state, scan.table, entry);
        if (tuple != nullptr && !raw_filter_may_match(scan.m.raw, tuple, entry.length,
                                                      layout_escape_mode(entry.layout_word))) {
            return {};
        }
    }
    if (Status s = record_decode(scan.state, scan.table, entry, scan.record); !s.ok()) return s;
    match = record_matches(scan.m, scan.record);
    if (match == Match::no_memory) {
        return status_fail(StatusKind::out_of_memory, Msg::filter_out_of_memory);
    }
    return {};
}

// Appends the raw entry of a hit to the output batch, writing the batch when it is full.
Status scan_add_hit(FilterScan& scan, const unsigned char* raw) {
    std::memcpy(scan.out.get() + scan.pending * INDEX_ENTRY_SIZE, raw, INDEX_ENTRY_SIZE);
    ++scan.hits;
    if (++scan.pending < INDEX_BATCH_ENTRIES) return {};
    scan.pending = 0;
    if (file_write_all(scan.result.get(), scan.out.get(), BATCH_BYTES)) return {};
    return status_fail(StatusKind::input_output, Msg::filter_write_failed);
}

// The clock is read for every 16th entry and whenever the tuples since the last reading add
// up to 64 KiB: testing a tuple costs time in proportion to its length, so reports and
// cancellation come on time after one huge tuple as after many small ones.
Status scan_report(FilterScan& scan, std::uint64_t done, std::uint64_t length) {
    scan.tuple_bytes += length;
    if (scan.sink == nullptr ||
        (scan.reported && (done & 15) != 15 && scan.tuple_bytes < CLOCK_BYTES)) {
        return {};
    }
    scan.tuple_bytes = 0;
    const std::uint64_t now = clock_ms();
    if (scan.reported && now - scan.last_report < 100) return {};
    scan.reported = true;
    scan.last_report = now;
    const std::uint64_t total = scan.state.objects[scan.table].entry_count;
    if (progress_report(scan.sink, done, total, scan.hits, msg_text(Msg::progress_filter))) {
        return {};
    }
    return status_cancelled();
}

// The scan proper. Files are closed by the guards.
Status filter_scan(FilterScan& scan, const std::string& result_path) {
    if (Status s = scan_open(scan, result_path); !s.ok()) return s;
    const std::uint64_t total = scan.state.objects[scan.table].entry_count;
    for (std::uint64_t first = 0; first < total; first += INDEX_BATCH_ENTRIES) {
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(total - first, INDEX_BATCH_ENTRIES));
        if (file_read_full(scan.index.get(), scan.in.get(), n * INDEX_ENTRY_SIZE) !=
            n * INDEX_ENTRY_SIZE) {
            return status_fail(StatusKind::damaged_cache, Msg::short_index);
        }
        for (std::size_t k = 0; k < n; ++k) {
            const unsigned char* raw = scan.in.get() + k * INDEX_ENTRY_SIZE;
            const IndexEntry entry = index_entry_decode(raw);
            Match match = Match::no;
            if (Status s = scan_test(scan, entry, match); !s.ok()) return s;
            if (match == Match::yes) {
                if (Status s = scan_add_hit(scan, raw); !s.ok()) return s;
            }
            if (Status s = scan_report(scan, first + k, entry.length); !s.ok()) return s;
        }
    }
    if (file_write_all(scan.result.get(), scan.out.get(), scan.pending * INDEX_ENTRY_SIZE) &&
        file_flush(scan.result.get())) {
        return {};
    }
    return status_fail(StatusKind::input_output, Msg::filter_not_saved);
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
    const std::size_t m = pattern.size();
    const std::size_t n = text.size();
    if (m == 0) return true;
    if (n < m) return false;
    const auto* t = reinterpret_cast<const unsigned char*>(text.data());
    const auto* p = reinterpret_cast<const unsigned char*>(pattern.data());
    const std::size_t last_start = n - m;
    // Bytes compared on candidates before the table search takes over.
    std::size_t budget = 4 * n + 256;
    std::size_t i = 0;
    while (i <= last_start) {
        std::size_t j = i;
        const Bytes16 first = Bytes16::splat(p[0]);
        const Bytes16 last = Bytes16::splat(p[m - 1]);
        std::uint32_t mask = 0;
        for (; j + 16 <= last_start + 1; j += 16) {
            mask = (equal(Bytes16::load(t + j), first) & equal(Bytes16::load(t + j + m - 1), last)).mask();
            if (mask != 0) break;
        }
        if (mask != 0) {
            j += scan_first_bit(mask);
        } else
        {
            while (j <= last_start && (t[j] != p[0] || t[j + m - 1] != p[m - 1])) ++j;
            if (j > last_start) return false;
        }
        if (m <= 2 || std::memcmp(t + j + 1, p + 1, m - 2) == 0) return true;
        if (budget < m) break;
        budget -= m;
        i = j + 1;
    }
    if (i > last_start) return false;
    // Table search over the rest: linear whatever the text and pattern.
    std::size_t k = 0;
    for (std::size_t x = i; x < n; ++x) {
        const unsigned char c = t[x];
        while (k > 0 && c != p[k]) k = prefix[k - 1];
        if (c == p[k] && ++k == m) return true;
    }
    return false;
}

namespace {

bool hex_literal_byte(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
           c == 'x' || c == 'X';
}

// The filter text in a single-byte character set: every character must be one the set can
// hold (the conversion maps each byte to one character and no two bytes to the same one).
bool encode_single_byte(std::string_view text, Charset charset, std::string& out) {
    std::string table[128];  // UTF-8 of the bytes 0x80..0xFF
    for (unsigned b = 0x80; b <= 0xFF; ++b) {
        const char byte = static_cast<char>(b);
        if (!text_to_utf8(std::string_view(&byte, 1), charset, table[b - 0x80])) {
            throw std::bad_alloc();
        }
    }
    out.clear();
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x80) {
            out.push_back(static_cast<char>(lead));
            ++i;
            continue;
        }
        const std::size_t size = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;  // text is valid
        const std::string_view character = text.substr(i, size);
        std::size_t b = 0;
        while (b < 128 && table[b] != character) ++b;
        if (b == 128) return false;
        out.push_back(static_cast<char>(0x80 + b));
        i += size;
    }
    return true;
}

// True when decoding the tuple can neither join nor rewrite its text: no comment start, no
// double quote, no backtick and no backslash outside single-quoted strings; inside them only
// special escapes (SQL_ESCAPES), whose products the filter text excludes; no string followed
// by a blank (adjacent strings are joined); and no string left open. Strings are followed by
// the block form of the quote rule (quote_masks), as the import scans them.
struct PlainState {
    std::uint64_t in_string = 0;     // all ones inside a string at the block start
    std::uint64_t escape_carry = 0;  // the block's first byte is escaped
    std::uint64_t closed_last = 0;   // the previous block ended on a closing quote
    std::uint64_t dash_last = 0;     // ... on a '-' outside strings
    std::uint64_t slash_last = 0;    // ... on a '/' outside strings
};

// One block of 64 bytes at p; false as soon as it shows the tuple is not plain.
bool plain_block(const unsigned char* p, EscapeMode mode, PlainState& st) {
    const QuoteMasks q = quote_masks(p, escapes_in(mode, '\''), st.in_string, st.escape_carry);
    const std::uint64_t quotes = q.quotes;
    const std::uint64_t inside = q.inside;  // opening quote included
    const std::uint64_t outside = ~inside & ~quotes;
    if ((q.backslashes & ~inside) != 0) return false;  // a backslash outside strings
    // An escape that only drops its backslash joins bytes the raw text keeps apart.
    for (std::uint64_t e = q.escaped; e != 0; e &= e - 1) {
        if (!SQL_ESCAPES.special[p[scan_first_bit(e)]]) return false;
    }
    // The bytes equal to c, bit k for byte k.
    auto byte_mask = [p](char c) {
        const Bytes16 v = Bytes16::splat(static_cast<unsigned char>(c));
        return block_mask(p, [&v](Bytes16 x) { return equal(x, v); });
    };
    const std::uint64_t blanks = byte_mask(' ') | byte_mask('\t') | byte_mask('\n') |
                                 byte_mask('\f') | byte_mask('\r');
    const std::uint64_t closing = quotes & ~inside;
    if ((((closing << 1) | st.closed_last) & blanks) != 0) return false;
    const std::uint64_t dashes = byte_mask('-') & outside;
    const std::uint64_t slashes = byte_mask('/') & outside;
    const std::uint64_t stars = byte_mask('*');
    if (((byte_mask('"') | byte_mask('`') | byte_mask('#')) & outside) != 0) return false;
    if ((((dashes << 1) | st.dash_last) & dashes) != 0) return false;    // "--"
    if ((((slashes << 1) | st.slash_last) & stars) != 0) return false;  // "/*"
    st.in_string = (inside >> 63) != 0 ? ~std::uint64_t{0} : 0;
    st.closed_last = closing >> 63;
    st.dash_last = dashes >> 63;
    st.slash_last = slashes >> 63;
    return true;
}

bool tuple_is_plain(const unsigned char* t, std::size_t n, EscapeMode mode) {
    PlainState st;
    std::size_t i = 0;
    for (; i + 64 <= n; i += 64) {
        if (!plain_block(t + i, mode, st)) return false;
    }
    if (i < n) {
        // The last part padded with zero bytes, which none of the tests looks for.
        unsigned char last[64] = {};
        std::memcpy(last, t + i, n - i);
        if (!plain_block(last, mode, st)) return false;
    }
    return st.in_string == 0 && st.escape_carry == 0;
}

}  // namespace

void raw_filter_init(RawFilter& raw, FilterOp op, std::string_view text, Charset charset) {
    raw.active = false;
    raw.bytes.clear();
    raw.prefix.clear();
    if ((op != FilterOp::contains && op != FilterOp::equals) || text.empty()) return;
    bool hex_only = true;
    for (char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        // Decoding produces these from escapes or doubled quotes: a filter text holding one of
        // them may match text that the dump spells differently.
        if (SQL_ESCAPES.produced[c]) return;
        hex_only = hex_only && hex_literal_byte(c);
    }
    if (hex_only) return;
    if (utf8_valid_prefix(text) != text.size()) return;
    if (charset == CHARSET_UTF8) {
        if (text.find("\xEF\xBF\xBD") != std::string_view::npos) return;
        raw.bytes.assign(text);
    } else if (!encode_single_byte(text, charset, raw.bytes)) {
        return;
    }
    filter_prefix_table(raw.bytes, raw.prefix);
    raw.active = true;
}

bool raw_filter_may_match(const RawFilter& raw, const unsigned char* tuple, std::size_t length,
                          EscapeMode mode) {
    if (!raw.active) return true;
    const std::string_view bytes(reinterpret_cast<const char*>(tuple), length);
    return filter_text_contains(bytes, raw.bytes, raw.prefix) ||
           !tuple_is_plain(tuple, length, mode);
}

Status filter_run(DumpState& state, std::uint32_t table, const FilterRequest& request,
                  const std::string& result_path, std::uint64_t& hits, const ProgressSink* sink) {
    hits = 0;
    Matcher m;
    Status status;
    if (table >= state.objects.size()) {
        status = status_fail(StatusKind::refused, Msg::bad_table);
    } else if (request.text.size() > FILTER_TEXT_MAX) {
        status = status_fail(StatusKind::limit, Msg::filter_text_too_long);
    } else {
        m.column = request.column < 0 ? -1 : request.column;
        m.op = request.op;
        m.text = request.text;
        m.charset = request.charset;
        try {
            if (m.op == FilterOp::contains) filter_prefix_table(m.text, m.prefix);
            raw_filter_init(m.raw, m.op, m.text, m.charset);
            FilterScan scan(state, table, m, sink, hits);
            status = filter_scan(scan, result_path);
        } catch (const std::bad_alloc&) {
            status = status_out_of_memory();
        }
    }
    // "query-new.kvi" is only ever a result in the making: after a failure it must not exist,
    // so that no half-written hit list can become the active filter.
    if (!status.ok()) file_remove(result_path);
    return status;
}

}  // namespace kv
