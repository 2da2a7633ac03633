// The CSV export's fast row writer: turns the tuple bytes of one entry straight into its CSV
// row, in one pass, without decoding values into strings first.
//
// Exports stream billions of rows; almost all of them are what mysqldump writes: every column
// in table order, quoted strings, numbers and NULL, in UTF-8 or plain ASCII. Those rows are
// written here. Everything else (column lists in another order, expressions, comments,
// blanks, binary literals, malformed or non-UTF-8 text, rows too long for the output room) is
// declined, and the caller writes the row through record_decode and the field writer. A row
// this writer accepts is byte for byte the row that general path writes; a declined row
// leaves nothing behind, so the general path also keeps every failure and its message.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cache/index_file.h"
#include "foundation/dump_state.h"
#include "records/display_text.h"

namespace kv {

// Returned by csv_row_write for a row the general path must write.
inline constexpr std::size_t CSV_ROW_DECLINED = static_cast<std::size_t>(-1);

// What the writer needs to know about one table, set up once per export. Owns its vectors;
// refers to nothing, so it may outlive the schema object it was made from.
struct CsvRowPlan {
    std::size_t columns = 0;
    Charset charset = CHARSET_UTF8;
    bool formula_protection = true;
    std::vector<std::uint8_t> binary;          // per column: 1 when text becomes hex
    std::vector<std::uint8_t> layout_in_order;  // per layout: 0 not yet known, 1 yes, 2 no
};

// Sets up the plan for object. False when memory runs out.
bool csv_row_plan_init(CsvRowPlan& plan, const SchemaObject& object, Charset charset,
                       bool formula_protection);

// Room csv_row_write needs for a tuple of length bytes (its output and the bytes it may store
// past the end of it): two bytes per tuple byte, six per column, the row end and 32 spare.
inline std::size_t csv_row_room(std::uint64_t length, std::size_t columns) {
    return static_cast<std::size_t>(2 * length) + 6 * columns + 34;
}

// Writes the CSV row (fields, separators and "\r\n") of the tuple of entry (length bytes at
// tuple, from "(" to ")") for object into out, which must have csv_row_room bytes. Returns
// the length of the row, or CSV_ROW_DECLINED. Bytes of out past the returned length may have
// been overwritten.
std::size_t csv_row_write(CsvRowPlan& plan, const SchemaObject& object, const IndexEntry& entry,
                          const unsigned char* tuple, unsigned char* out);

}  // namespace kv
