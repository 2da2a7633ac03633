// Buffered writing of an output file (CSV export, SQL extract): pieces of any size go through
// one fixed buffer and reach the file in whole blocks, so gigabytes of output cost one write
// call per block. Every 4 MiB the file is handed to the system's write-back, so that the flush
// before the final rename finds little left to write.
//
// Once a write has failed, ok stays false and every later write is skipped: callers check ok
// where it suits them (per row, at the end), never after each piece.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

#include "foundation/file.h"

namespace kv {

struct OutputWriter {
    FileHandle file = INVALID_FILE;
    std::unique_ptr<unsigned char[]> buffer;  // capacity bytes
    std::size_t capacity = 0;
    std::size_t fill = 0;
    std::uint64_t blocks_written = 0;
    bool ok = true;
};

// Allocates the buffer of capacity bytes for file; false when memory is short.
bool output_writer_start(OutputWriter& w, FileHandle file, std::size_t capacity);
// Appends bytes; the buffer is written out whenever it is full. Returns ok.
bool output_put(OutputWriter& w, std::string_view bytes);
// Writes out what the buffer holds. Returns ok.
bool output_drain(OutputWriter& w);

}  // namespace kv
