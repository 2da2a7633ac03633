// Table filter job (see filter.h).
#include "records/filter.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "foundation/sql_lex.h"
#include "foundation/sql_quote.h"
#include "records/row_scan.h"

namespace kv {

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
    Status status;
    if (table >= state.objects.size()) {
        status = status_fail(StatusKind::refused, Msg::bad_table);
    } else if (request.text.size() > FILTER_TEXT_MAX) {
        status = status_fail(StatusKind::limit, Msg::filter_text_too_long);
    } else {
        RowScanRequest scan;
        scan.column = request.column;
        scan.op = request.op;
        scan.text = request.text;
        scan.charset = request.charset;
        scan.threads = request.threads;
        std::uint32_t tables = 0;
        try {
            return row_scan_run(state, std::vector<std::uint32_t>{table}, scan, result_path, hits,
                                tables, sink);
        } catch (const std::bad_alloc&) {
            status = status_out_of_memory();
        }
    }
    // "query-new.kvi" is only ever a result in the making: after a failure it must not exist.
    file_remove(result_path);
    return status;
}

}  // namespace kv
