// Buffered output file writer (see output_writer.h).
#include "records/output_writer.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace kv {

namespace {
// Written data is handed to the system's write-back every 4 MiB.
constexpr std::size_t WRITEBACK_BYTES = 4194304;
}  // namespace

bool output_writer_start(OutputWriter& w, FileHandle file, std::size_t capacity) {
    w.file = file;
    w.buffer.reset(new (std::nothrow) unsigned char[capacity]);
    w.capacity = w.buffer ? capacity : 0;
    w.fill = 0;
    w.blocks_written = 0;
    w.ok = true;
    return w.buffer != nullptr;
}

bool output_put(OutputWriter& w, std::string_view bytes) {
    if (bytes.size() < w.capacity - w.fill) {  // the common case: the piece fits
        if (bytes.empty()) return w.ok;
        std::memcpy(w.buffer.get() + w.fill, bytes.data(), bytes.size());
        w.fill += bytes.size();
        return w.ok;
    }
    while (w.ok && !bytes.empty()) {
        const std::size_t n = std::min(w.capacity - w.fill, bytes.size());
        std::memcpy(w.buffer.get() + w.fill, bytes.data(), n);
        w.fill += n;
        bytes.remove_prefix(n);
        if (w.fill == w.capacity) {
            w.ok = file_write_all(w.file, w.buffer.get(), w.capacity);
            w.fill = 0;
            ++w.blocks_written;
            if (w.blocks_written % std::max<std::size_t>(1, WRITEBACK_BYTES / w.capacity) == 0) {
                file_start_writeback(w.file);
            }
        }
    }
    return w.ok;
}

bool output_drain(OutputWriter& w) {
    if (w.ok && w.fill > 0) w.ok = file_write_all(w.file, w.buffer.get(), w.fill);
    w.fill = 0;
    return w.ok;
}

}  // namespace kv
