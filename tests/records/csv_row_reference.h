// The reference the fast CSV row writer is checked against (csv_row_test, fuzz_value): one
// tuple's row through the general path, and a table whose first layout names every column in
// order and whose second names them in reverse.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "foundation/sql_lex.h"
#include "records/csv_field.h"
#include "records/csv_row.h"
#include "records/value.h"

namespace kv::test {

// The general path for one tuple, split and classified as record_decode does it for a layout
// of every column in table order. False where record_decode would refuse the row.
inline bool reference_row(const std::string& tuple, const std::vector<std::uint8_t>& binary,
                          bool no_backslash, Charset charset, bool protection, std::string& row) {
    const auto* t = reinterpret_cast<const unsigned char*>(tuple.data());
    const std::size_t n = tuple.size();
    row.clear();
    std::size_t p = 1;
    std::string scratch;
    for (std::size_t c = 0; c < binary.size(); ++c) {
        Value value;
        std::size_t k = value_decode_plain(t, n, p, no_backslash, value);
        if (k >= n) {
            k = value_find_end(t, n, p, no_backslash);
            if (k >= n || !value_decode(std::string_view(tuple).substr(p, k - p), no_backslash,
                                        value)) {
                return false;
            }
        }
        if (value.kind == VALUE_TEXT && binary[c] != 0) {
            std::string hex;
            hex_encode(value.text, hex);
            value.text.swap(hex);
            value.kind = VALUE_BINARY;
        }
        const bool last = c + 1 == binary.size();
        if (t[k] != (last ? ')' : ',') || (last && k != n - 1)) return false;
        if (c > 0) row += ';';
        csv_value_append(row, value, charset, protection, scratch);
        p = k + 1;
    }
    row += "\r\n";
    return true;
}

struct Table {
    SchemaObject object;
    Table(std::size_t columns, const std::vector<std::uint8_t>& binary) {
        ColumnLayout in_order;
        for (std::size_t c = 0; c < columns; ++c) {
            Column column;
            column.name = "c" + std::to_string(c);
            column.type_text = binary[c] != 0 ? "varbinary(10)" : "varchar(10)";
            object.columns.push_back(column);
            in_order.columns.push_back(static_cast<std::uint32_t>(c));
        }
        object.layouts.push_back(in_order);
        ColumnLayout reversed = in_order;
        std::reverse(reversed.columns.begin(), reversed.columns.end());
        object.layouts.push_back(reversed);
    }
};

// Runs the writer; "" when it declined.
inline std::string fast_row(const Table& table, const std::string& tuple,
                            std::uint32_t layout_word, Charset charset, bool protection) {
    CsvRowPlan plan;
    if (!csv_row_plan_init(plan, table.object, charset, protection)) return "";
    IndexEntry entry;
    entry.layout_word = layout_word;
    entry.length = static_cast<std::uint32_t>(tuple.size());
    std::string out(csv_row_room(tuple.size(), table.object.columns.size()), '\x7f');
    const std::size_t n =
        csv_row_write(plan, table.object, entry, reinterpret_cast<const unsigned char*>(tuple.data()),
                      reinterpret_cast<unsigned char*>(out.data()));
    if (n == CSV_ROW_DECLINED) return "";
    return out.substr(0, n);
}

}  // namespace kv::test
