// Plain reference models of the records layer's fast paths and the checks of each fast path
// against its model, shared by the differential tests and the fuzz targets: UTF-8 decoded one
// code point at a time, the character sets converted byte by byte, display lines built from the
// converted text, tuples split by the general value path. A check returns nullptr when the fast
// path agrees, else what differs.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "cache/index_file.h"
#include "foundation/sql_lex.h"
#include "records/csv_field.h"
#include "records/csv_row.h"
#include "records/display_text.h"
#include "records/filter.h"
#include "records/value.h"

namespace kv::ref {

// Length of the well-formed UTF-8 sequence at s[i] with its code point, or 0 when malformed.
inline std::size_t utf8_one(std::string_view s, std::size_t i, char32_t& cp) {
    const auto lead = static_cast<unsigned char>(s[i]);
    const std::size_t size = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (size == 0 || lead > 0xF4 || s.size() - i < size) return 0;
    cp = size == 1 ? lead : lead & (0x7F >> size);
    for (std::size_t k = 1; k < size; ++k) {
        const auto c = static_cast<unsigned char>(s[i + k]);
        if ((c & 0xC0) != 0x80) return 0;
        cp = (cp << 6) | (c & 0x3F);
    }
    const char32_t least = size == 1 ? 0 : size == 2 ? 0x80 : size == 3 ? 0x800 : 0x10000;
    return cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF) ? 0 : size;
}

inline std::size_t utf8_valid_prefix(std::string_view s) {
    char32_t cp = 0;
    std::size_t i = 0;
    for (std::size_t n; i < s.size() && (n = utf8_one(s, i, cp)) != 0;) i += n;
    return i;
}

// The single-byte character sets but Latin-1 as charts of their characters, the way code
// pages are printed: the chart starts at its first byte, and every byte outside it (ASCII, the
// C1 controls of the ISO sets, the bytes from 0xA0 of Windows-1252) is the code point of its
// own number, as is a byte its code page leaves unassigned (written as \u00XX in the chart).
struct Chart {
    Charset charset;
    char32_t first;
    std::u32string_view chars;
};
inline constexpr Chart CHARTS[] = {
    {CHARSET_WINDOWS_1252, 0x80,  // unassigned: 81 8D 8F 90 9D
     U"€\u0081‚ƒ„…†‡ˆ‰Š‹Œ\u008DŽ\u008F"  // 8_
     U"\u0090‘’“”•–—˜™š›œ\u009DžŸ"  // 9_
    },
    {CHARSET_WINDOWS_1250, 0x80,  // unassigned: 81 83 88 90 98
     U"€\u0081‚\u0083„…†‡\u0088‰Š‹ŚŤŽŹ"  // 8_
     U"\u0090‘’“”•–—\u0098™š›śťžź"  // 9_
     U"\u00A0ˇ˘Ł¤Ą¦§¨©Ş«¬\u00AD®Ż"  // A_
     U"°±˛ł´µ¶·¸ąş»Ľ˝ľż"  // B_
     U"ŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎ"  // C_
     U"ĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢß"  // D_
     U"ŕáâăäĺćçčéęëěíîď"  // E_
     U"đńňóôőö÷řůúűüýţ˙"  // F_
    },
    {CHARSET_WINDOWS_1251, 0x80,  // unassigned: 98
     U"ЂЃ‚ѓ„…†‡€‰Љ‹ЊЌЋЏ"  // 8_
     U"ђ‘’“”•–—\u0098™љ›њќћџ"  // 9_
     U"\u00A0ЎўЈ¤Ґ¦§Ё©Є«¬\u00AD®Ї"  // A_
     U"°±Ііґµ¶·ё№є»јЅѕї"  // B_
     U"АБВГДЕЖЗИЙКЛМНОП"  // C_
     U"РСТУФХЦЧШЩЪЫЬЭЮЯ"  // D_
     U"абвгдежзийклмноп"  // E_
     U"рстуфхцчшщъыьэюя"  // F_
    },
    {CHARSET_ISO_8859_2, 0xA0,
     U"\u00A0Ą˘Ł¤ĽŚ§¨ŠŞŤŹ\u00ADŽŻ"  // A_
     U"°ą˛ł´ľśˇ¸šşťź˝žż"  // B_
     U"ŔÁÂĂÄĹĆÇČÉĘËĚÍÎĎ"  // C_
     U"ĐŃŇÓÔŐÖ×ŘŮÚŰÜÝŢß"  // D_
     U"ŕáâăäĺćçčéęëěíîď"  // E_
     U"đńňóôőö÷řůúűüýţ˙"  // F_
    },
    {CHARSET_KOI8_R, 0x80,
     U"─│┌┐└┘├┤┬┴┼▀▄█▌▐"  // 8_
     U"░▒▓⌠■∙√≈≤≥\u00A0⌡°²·÷"  // 9_
     U"═║╒ё╓╔╕╖╗╘╙╚╛╜╝╞"  // A_
     U"╟╠╡Ё╢╣╤╥╦╧╨╩╪╫╬©"  // B_
     U"юабцдефгхийклмно"  // C_
     U"пярстужвьызшэщчъ"  // D_
     U"ЮАБЦДЕФГХИЙКЛМНО"  // E_
     U"ПЯРСТУЖВЬЫЗШЭЩЧЪ"  // F_
    },
    {CHARSET_WINDOWS_1257, 0x80,  // unassigned: 81 83 88 8A 8C 90 98 9A 9C 9F A1 A5
     U"€\u0081‚\u0083„…†‡\u0088‰\u008A‹\u008C¨ˇ¸"  // 8_
     U"\u0090‘’“”•–—\u0098™\u009A›\u009C¯˛\u009F"  // 9_
     U"\u00A0¡¢£¤¥¦§Ø©Ŗ«¬\u00AD®Æ"  // A_
     U"°±²³´µ¶·ø¹ŗ»¼½¾æ"  // B_
     U"ĄĮĀĆÄÅĘĒČÉŹĖĢĶĪĻ"  // C_
     U"ŠŃŅÓŌÕÖ×ŲŁŚŪÜŻŽß"  // D_
     U"ąįāćäåęēčéźėģķīļ"  // E_
     U"šńņóōõö÷ųłśūüżž˙"  // F_
    },
    {CHARSET_ISO_8859_7, 0xA0,  // unassigned: AE D2 FF
     U"\u00A0‘’£€₯¦§¨©ͺ«¬\u00AD®―"  // A_
     U"°±²³΄΅Ά·ΈΉΊ»Ό½ΎΏ"  // B_
     U"ΐΑΒΓΔΕΖΗΘΙΚΛΜΝΞΟ"  // C_
     U"ΠΡÒΣΤΥΦΧΨΩΪΫάέήί"  // D_
     U"ΰαβγδεζηθικλμνξο"  // E_
     U"πρςστυφχψωϊϋόύώÿ"  // F_
    },
    {CHARSET_WINDOWS_1256, 0x80,
     U"€\u067E‚ƒ„…†‡ˆ‰\u0679‹Œ\u0686\u0698\u0688"  // 8_
     U"\u06AF‘’“”•–—\u06A9™\u0691›œ\u200C\u200D\u06BA"  // 9_
     U"\u00A0\u060C¢£¤¥¦§¨©\u06BE«¬\u00AD®¯"  // A_
     U"°±²³´µ¶·¸¹\u061B»¼½¾\u061F"  // B_
     U"\u06C1\u0621\u0622\u0623\u0624\u0625\u0626\u0627\u0628\u0629\u062A\u062B\u062C\u062D\u062E\u062F"  // C_
     U"\u0630\u0631\u0632\u0633\u0634\u0635\u0636×\u0637\u0638\u0639\u063A\u0640\u0641\u0642\u0643"  // D_
     U"à\u0644â\u0645\u0646\u0647\u0648çèéêë\u0649\u064Aîï"  // E_
     U"\u064B\u064C\u064D\u064Eô\u064F\u0650÷\u0651ù\u0652ûü\u200E\u200F\u06D2"  // F_
    },
    {CHARSET_ISO_8859_9, 0xA0,
     U"\u00A0¡¢£¤¥¦§¨©ª«¬\u00AD®¯"  // A_
     U"°±²³´µ¶·¸¹º»¼½¾¿"  // B_
     U"ÀÁÂÃÄÅÆÇÈÉÊËÌÍÎÏ"  // C_
     U"ĞÑÒÓÔÕÖ×ØÙÚÛÜİŞß"  // D_
     U"àáâãäåæçèéêëìíîï"  // E_
     U"ğñòóôõö÷øùúûüışÿ"  // F_
    },
};

// text_to_utf8 by definition, one code point at a time: UTF-8 keeps well-formed sequences and
// turns every other byte into U+FFFD; a single-byte set maps a byte by its chart; Latin-1 (and
// any unknown code) maps byte b to U+00b.
inline std::string to_utf8(std::string_view bytes, Charset charset) {
    static constexpr unsigned char LEAD[4] = {0, 0xC0, 0xE0, 0xF0};  // by continuation bytes
    const Chart* chart = nullptr;
    for (const Chart& c : CHARTS) chart = c.charset == charset ? &c : chart;
    std::string out;
    for (std::size_t i = 0, n = 1; i < bytes.size(); i += n) {
        char32_t cp = static_cast<unsigned char>(bytes[i]);
        if (charset == CHARSET_UTF8 && (n = utf8_one(bytes, i, cp)) == 0) cp = 0xFFFD, n = 1;
        if (chart != nullptr && cp >= chart->first && cp - chart->first < chart->chars.size()) {
            cp = chart->chars[cp - chart->first];
        }
        const int tail = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
        out += static_cast<char>(LEAD[tail] | (cp >> (6 * tail)));
        for (int k = tail - 1; k >= 0; --k) out += static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F));
    }
    return out;
}

// The values of a whole tuple "(...)" through value_find_end and value_decode, text in columns
// marked binary hex-encoded. False when the tuple does not split into binary.size() values.
inline bool split_tuple(std::string_view tuple, const std::vector<std::uint8_t>& binary,
                        EscapeMode mode, std::vector<Value>& values) {
    const auto* t = reinterpret_cast<const unsigned char*>(tuple.data());
    values.assign(binary.size(), Value{});
    std::uint64_t p = 1;
    for (std::size_t c = 0; c < binary.size(); ++c) {
        const std::uint64_t k = value_find_end(t, tuple.size(), p, mode);
        if (k >= tuple.size() || !value_decode(tuple.substr(p, k - p), mode, values[c])) return false;
        if (values[c].kind == VALUE_TEXT && binary[c] != 0) {
            hex_encode(std::string(values[c].text), values[c].text);
            values[c].kind = VALUE_BINARY;
        }
        const bool last = c + 1 == binary.size();
        if (t[k] != (last ? ')' : ',') || (last && k != tuple.size() - 1)) return false;
        p = k + 1;
    }
    return true;
}

// A table of text and varbinary columns c0, c1, ...; layout 0 names them in order, layout 1
// in reverse.
inline SchemaObject table(const std::vector<std::uint8_t>& binary) {
    SchemaObject object;
    object.layouts.resize(2);
    for (std::uint32_t c = 0; c < binary.size(); ++c) {
        object.columns.push_back(Column{"c" + std::to_string(c), binary[c] ? "varbinary" : "text"});
        object.layouts[0].columns.push_back(c);
        object.layouts[1].columns.insert(object.layouts[1].columns.begin(), c);
    }
    return object;
}

// The fast row writer's row; "" when it declines.
inline std::string fast_row(const SchemaObject& table, std::string_view tuple, std::uint32_t layout,
                            Charset charset, bool protection) {
    CsvRowPlan plan;
    if (!csv_row_plan_init(plan, table, charset, protection)) return "";
    IndexEntry entry{0, static_cast<std::uint32_t>(tuple.size()), layout};
    std::string out(csv_row_room(tuple.size(), table.columns.size()), '\x7f');
    const std::size_t n = csv_row_write(plan, table, entry,
                                        reinterpret_cast<const unsigned char*>(tuple.data()),
                                        reinterpret_cast<unsigned char*>(out.data()));
    return n == CSV_ROW_DECLINED ? "" : out.substr(0, n);
}

// What a check exercised: values the plain path took, rows the fast writer wrote, filter texts
// a value holds, and tuples the raw test rejected.
struct Coverage { int plain = 0, rows = 0, matches = 0, rejects = 0; };

// The texts of the present values under a character set.
inline std::vector<std::string> present_texts(const std::vector<Value>& values, Charset charset) {
    std::vector<std::string> texts;
    for (const Value& v : values) value_is_present(v) ? texts.push_back(to_utf8(v.text, charset)) : void();
    return texts;
}

// The raw test must never reject a tuple with a value text (texts: present_texts) that holds
// the filter text.
inline const char* check_raw_filter(std::string_view tuple, const std::vector<std::string>& texts,
                                    EscapeMode mode, FilterOp op, const std::string& text,
                                    Charset charset, Coverage& seen) {
    bool match = false;
    for (const std::string& s : texts) match = match || (op == FilterOp::equals ? s == text : s.find(text) != s.npos);
    RawFilter raw;
    raw_filter_init(raw, op, text, charset);
    const bool rejected = !raw_filter_may_match(raw, reinterpret_cast<const unsigned char*>(tuple.data()),
                                                tuple.size(), mode);
    seen.matches += match;
    seen.rejects += rejected;
    return match && rejected ? "raw filter rejects a matching tuple" : nullptr;
}

// Every fast path on the tuple "(" + inside + ")" under both escape modes, against the general
// path: the values split from inside keep the classification contracts (an end is a ',' or ')';
// a value never outgrows its source; NULL kinds carry no text; value_decode and
// literal_classify agree without comments); value_decode_plain agrees at every start; the fast
// CSV row (columns of odd number binary for odd sizes) is the general path's row and is never
// written under a reordered layout; the raw test keeps every tuple that a value's text or
// one of the probes matches. Character sets: UTF-8, Windows-1252, Latin-1 and one of the
// others, taken in turn by the tuple's size.
inline const char* check_tuple(std::string_view inside, Coverage& seen) {
    // ä, its Latin-1 byte, ж, ř, €, and U+0098 (the unassigned byte 0x98 of Windows-1251).
    static const char* const PROBES[] = {"a", "ab", "\xC3\xA4", "\xE4", "%", "'", "\xD0\xB6",
                                         "\xC5\x99", "\xE2\x82\xAC", "\xC2\x98"};
    const std::string tuple = "(" + std::string(inside) + ")";
    const auto* t = reinterpret_cast<const unsigned char*>(tuple.data());
    const std::size_t n = tuple.size();
    for (const EscapeMode mode : {EscapeMode::backslash, EscapeMode::no_backslash}) {
        std::vector<std::uint8_t> binary;
        for (std::uint64_t p = 1;;) {
            const std::uint64_t k = value_find_end(t, n, p, mode);
            const std::string_view source = std::string_view(tuple).substr(p, std::min<std::uint64_t>(k, n) - p);
            Value v[2];
            if (!value_decode(source, mode, v[0]) || !literal_classify(source, mode, v[1])) return "decode failed";
            for (const Value& x : v) {
                if (x.text.size() > (x.kind == VALUE_BINARY ? 2 + 2 * source.size() : source.size())) return "grown";
                if (!value_is_present(x) && !x.text.empty()) return "NULL with text";
            }
            if (source.find_first_of("#-/") == source.npos && (v[0].kind != v[1].kind || v[0].text != v[1].text)) {
                return "value_decode and literal_classify disagree";
            }
            binary.push_back(n % 2 == 1 && binary.size() % 2 == 1);
            if (k < n && (k < p || (t[k] != ',' && t[k] != ')'))) return "bad end position";
            if (k >= n - 1 || binary.size() > 64) break;
            p = k + 1;
        }
        for (std::size_t start = 0; n <= 512 && start < n; ++start) {
            Value fast{"stale", VALUE_SQL}, general;
            const std::size_t end = value_decode_plain(t, n, start, mode, fast);
            if (end >= n) continue;
            ++seen.plain;
            if (end != value_find_end(t, n, start, mode)) return "plain value ends elsewhere";
            if (!value_decode(std::string_view(tuple).substr(start, end - start), mode, general) ||
                fast.kind != general.kind || fast.text != general.text) {
                return "plain value differs from the general path";
            }
        }
        std::vector<Value> values;
        if (n > 4096 || !split_tuple(tuple, binary, mode, values)) continue;
        const SchemaObject table = ref::table(binary);
        // UTF-8, Windows-1252, Latin-1 and one more single-byte set, by the tuple's size.
        for (const Charset cs : {CHARSET_UTF8, CHARSET_WINDOWS_1252, CHARSET_LATIN1,
                                 static_cast<Charset>(3 + n % (CHARSET_COUNT - 3))}) {
            const bool protection = n % 4 != 0;
            const std::string fast = fast_row(table, tuple, layout_word_make(0, mode), cs, protection);
            std::string row, scratch;  // the general path's row
            for (std::size_t c = 0; c < values.size(); ++c) {
                csv_value_append(row += c ? ";" : "", values[c], cs, protection, scratch);
            }
            seen.rows += !fast.empty();
            if (!fast.empty() && fast != row + "\r\n") return "fast CSV row differs from the general path";
            if (binary.size() > 1 && !fast_row(table, tuple, (layout_word_make(0, mode)) | 1, cs, protection).empty()) {
                return "fast CSV row under a reordered layout";
            }
            const std::vector<std::string> texts = present_texts(values, cs);
            for (const std::string& text : texts) {
                for (std::size_t from = 0; from < text.size(); from += 1 + text.size() / 4) {
                    const std::string cut = text.substr(from, 1 + (text.size() - from) / 2);
                    if (const char* f = check_raw_filter(tuple, texts, mode, FilterOp::contains, cut, cs, seen)) return f;
                }
            }
            for (const char* probe : PROBES) {
                for (const FilterOp op : {FilterOp::contains, FilterOp::equals}) {
                    if (const char* f = check_raw_filter(tuple, texts, mode, op, probe, cs, seen)) return f;
                }
            }
        }
    }
    return nullptr;
}

// value_display_text by definition: the kind's mark, or the "SQL: " prefix and the converted
// text up to the cap with control bytes escaped (line feeds and CR LF pairs as line breaks when
// kept), and " …" exactly when the value was cut.
inline std::string display_line(const Value& value, Charset charset, std::uint64_t cap,
                                LineBreaks breaks = LineBreaks::escaped) {
    if (value.kind == VALUE_NULL) return "NULL";
    if (value.kind == VALUE_NOT_IN_INSERT) return "\xE2\x80\x94 nicht im INSERT \xE2\x80\x94";
    std::string line = value.kind == VALUE_SQL ? "SQL: " : "";
    const std::string text = to_utf8(std::string_view(value.text).substr(0, cap), charset);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const bool pair = c == '\r' && i + 1 < text.size() && text[i + 1] == '\n';
        const std::size_t escape = std::string_view("\0\t\n\r", 4).find(c);
        if (breaks == LineBreaks::kept && (c == '\n' || pair)) line += "\r\n", i += pair;
        else if (escape < 4) line += std::string("\\") + "0tnr"[escape];
        else line += static_cast<unsigned char>(c) < 32 ? '?' : c;
    }
    return value.text.size() > cap ? line + " \xE2\x80\xA6" : line;
}

// The UTF-8 check, the character set conversion and the display line of a value of the kind
// (with the bytes as its text when it has one), in both line break modes, against their models.
inline const char* check_text(std::string_view bytes, Charset charset, ValueKind kind,
                              std::uint64_t cap) {
    std::string out;
    if (kv::utf8_valid_prefix(bytes) != utf8_valid_prefix(bytes)) return "UTF-8 check differs";
    if (!text_to_utf8(bytes, charset, out) || out != to_utf8(bytes, charset)) return "conversion differs";
    Value value{std::string(bytes), kind};
    if (!value_is_present(value)) value.text.clear();
    for (const LineBreaks breaks : {LineBreaks::escaped, LineBreaks::kept}) {
        if (!value_display_text(value, charset, cap, out, breaks)) return "display text failed";
        if (out != display_line(value, charset, cap, breaks)) return "display line differs";
    }
    return nullptr;
}

}  // namespace kv::ref
