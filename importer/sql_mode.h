// Keeps the dump reader's escape mode (NO_BACKSLASH_ESCAPES) and its ANSI_QUOTES flag in step with the SQL_MODE
// assignments of a dump without executing SQL: literal values, quoted or bare (to sql_mode,
// @@sql_mode, @@SESSION.sql_mode; 'NO_BACKSLASH_ESCAPES', TRADITIONAL, DEFAULT), and the
// save-and-restore idiom through a user variable such as @OLD_SQL_MODE (also HeidiSQL's
// IFNULL(@OLD_SQL_MODE, '…')); assignments to the server-wide mode (GLOBAL, PERSIST) are left
// alone. Every other value (a system variable such as @@GLOBAL.sql_mode, whose value the dump
// cannot know, a function, a number) is refused, since guessing the mode would misplace tuple
// ends in gigabytes of data.
//
// Texts are executable-comment captures (at most 64 KiB) and SET statements (at most 2 MiB);
// one pass over the text, no allocation (a 512-byte scratch for a quoted value).
#pragma once

#include "importer/dump_reader.h"

namespace kv {

// Applies every sql_mode assignment of the NUL-terminated text in order to reader's escape
// mode; an unsupported assignment fails the reader (the text is still scanned to its end).
void sql_mode_recognise(DumpReader& reader, const char* text);

}  // namespace kv
