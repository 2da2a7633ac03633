// The report at the top of the "Import-Hinweise" (window and `korvane-dump notes`): who wrote
// the dump, whether it is whole, the character set it declares and which display charset fits
// it, and what it holds, one line each, built from the facts the import kept (DumpReport) and
// the schema. A dump of 65,536 tables (a gigabyte dump of 6,000 tables is common) lists only
// its largest tables by tuple bytes; names of up to 8 KiB are cut, so the report stays a few
// kilobytes whatever the dump holds.
#pragma once

#include <string>

#include "foundation/dump_state.h"

namespace kv {

inline constexpr std::size_t REPORT_TABLES_SHOWN = 10;

// The report's lines, each ending in "\r\n", UTF-8 apart from the names and versions, which
// are the dump's own bytes. Throws std::bad_alloc.
std::string dump_report_text(const DumpState& state);

}  // namespace kv
