// Table filter: decodes every tuple of a table and writes the matching 16-byte index entries,
// in dump order, to a result file of the position index format ("query-new.kvi"), so the hits
// of a table of any size live on disk, never in memory.
#pragma once

#include <cstdint>
#include <string>

#include "records/display_text.h"

namespace kv {

enum FilterOperator : std::uint32_t {
    FILTER_CONTAINS = 0,     // "enthält": not NULL / missing, text contains the filter text
    FILTER_EQUALS = 1,       // "entspricht": not NULL / missing, text equals the filter text
    FILTER_IS_NULL = 2,      // kind is NULL
    FILTER_IS_NOT_NULL = 3,  // neither NULL nor missing from the INSERT
};

struct FilterRequest {
    std::int32_t column = -1;             // negative: all columns
    std::uint32_t op = FILTER_CONTAINS;   // codes other than 1..3 act as FILTER_CONTAINS
    std::string text;                     // UTF-8 as typed (at most 4,096 characters)
    std::uint32_t charset = CHARSET_UTF8;
};

}  // namespace kv
