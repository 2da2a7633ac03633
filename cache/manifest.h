// The cache manifest "manifest.kvd": identity of the dump, counts, import notes and the whole
// schema (names, CREATE texts, columns, INSERT column layouts). Written last by an import, via
// "manifest.part" and an atomic replace, so its presence marks a complete cache. The loader
// validates every field against strict limits (file 52 bytes to 256 MiB, 65,536 objects,
// 4,096 columns, 2 MiB texts) so a damaged or hostile manifest is rejected, never trusted, and
// rejected before any of its counts costs memory.
#pragma once

#include "foundation/dump_state.h"
#include "foundation/progress.h"
#include "foundation/status.h"

namespace kv {

// Writes the manifest of a finished import (after index_finish). On success reports the last
// progress step ("Bereit") to sink (may be null).
Status manifest_write(const DumpState& state, const ProgressSink* sink);
// Loads and validates the manifest of an opened dump. False (no message, no schema, no notes in
// state) when missing or invalid; the caller then imports.
bool manifest_load(DumpState& state);
// Deletes "manifest.kvd" of the cache folder (before an import starts).
void manifest_remove(const DumpState& state);

}  // namespace kv
