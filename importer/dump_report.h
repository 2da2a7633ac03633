// The facts of the report at the top of the import notes (DumpReport, foundation/dump_state.h),
// gathered during the import's single pass: the writing tool and the server version from the
// dump's first lines, whether its last line is the one that tool ends a dump with, and the
// character set that its SET statements and executable comments declare.
//
// The first and last lines are read once each, at most REPORT_HEAD_BYTES and REPORT_TAIL_BYTES
// of a dump of any size (gigabytes, whose last line may be an INSERT of megabytes: only its
// end is read); statement texts are the ones the import fetches anyway (SET statements up to
// 2 MiB, executable comments up to 64 KiB). Nothing here looks at rows or columns.
#pragma once

#include <cstddef>
#include <string_view>

#include "foundation/dump_state.h"
#include "importer/dump_reader.h"

namespace kv {

inline constexpr std::size_t REPORT_HEAD_BYTES = 8192;
inline constexpr std::size_t REPORT_TAIL_BYTES = 4096;

// The dump's first bytes (a byte order mark may lead): the tool whose header lines they hold,
// its version and the server version as the header states them. Lines are read up to the
// first statement that creates or fills something.
void report_read_head(DumpReport& report, std::string_view head);

// The dump's last bytes: whether their last non-blank line is the closing line of the tool the
// head named (mysqldump and mariadb-dump: "-- Dump completed"; Adminer: its date line; Navicat:
// the foreign key checks switched on again; others: COMMIT or the restore of an @OLD_ setting).
// Always false for an unknown tool.
void report_read_tail(DumpReport& report, std::string_view tail);

// A SET statement's text or an executable comment's capture: takes the character set of SET
// NAMES, or of an assignment of a name to character_set_client. SET NAMES wins over
// character_set_client (mysqldump sets the latter to utf8 around each CREATE TABLE, whatever
// the data are in); a later declaration replaces an earlier one only before the first INSERT.
// It also follows the character set in force (reader.charset_in_force) through the text's
// assignments in order: SET NAMES, character_set_client = name, a user variable saving
// @@character_set_client and its restore (character_set_client = @variable).
void report_declared_charset(DumpReader& reader, std::string_view text);

}  // namespace kv
