// Page and details jobs (see page_job.h).
#include "jobs/page_job.h"

#include <algorithm>
#include <new>

#include "foundation/text.h"
#include "records/display_text.h"
#include "records/record_decode.h"

namespace kv {

namespace {

constexpr const char* MSG_PAGE_READ = "Die angeforderte Indexseite kann nicht gelesen werden.";
constexpr const char* LABEL_PAGE = "Seite laden";

// Appends piece to text while text stays within DETAILS_LIMIT; false once it had to cut.
bool details_append(std::string& text, std::string_view piece) {
    std::size_t room = DETAILS_LIMIT - text.size();
    if (piece.size() <= room) {
        text.append(piece);
        return true;
    }
    text.append(piece.substr(0, room));
    return false;
}

}  // namespace

std::uint64_t page_first_row(std::uint64_t requested, std::uint64_t rows) {
    if (rows == 0) return 0;
    if (requested <= rows - 1) return requested;
    return (rows - 1) / PAGE_ROWS * PAGE_ROWS;
}

std::uint32_t page_preview_cap(std::uint32_t columns) {
    std::uint32_t cap = columns == 0 ? 256 : 16384 / columns;
    return std::clamp<std::uint32_t>(cap, 24, 256);
}

void page_free(PageData* page) { delete page; }

bool page_load(BackgroundJob& job) {
    DumpState& state = *job.dump_state;
    if (job.object < 0 || static_cast<std::size_t>(job.object) >= state.objects.size()) {
        dump_state_fail(state, "Ungültige Tabelle.");
        return false;
    }
    const SchemaObject& object = state.objects[static_cast<std::size_t>(job.object)];
    const auto columns = static_cast<std::uint32_t>(object.columns.size());
    try {
        auto page = std::make_unique<PageData>();
        page->first_row = job.first_row;
        page->cell_count = columns + 1;
        page->row_count = job.first_row >= job.rows
                              ? 0
                              : static_cast<std::uint32_t>(
                                    std::min<std::uint64_t>(PAGE_ROWS, job.rows - job.first_row));
        if (page->row_count > 0) {
            FileGuard index(file_open(job.index_path, FILE_MODE_READ));
            if (!index.valid() ||
                !index_read(index.get(), job.first_row, page->row_count, page->entries.data())) {
                msg_set(job.message, MSG_PAGE_READ);
                return false;
            }
        }
        page->cells.resize(page->row_count);
        page->kinds.resize(page->row_count);
        const std::uint32_t cap = page_preview_cap(columns);
        DecodedRecord record;
        std::string display;
        for (std::uint32_t r = 0; r < page->row_count; ++r) {
            job.progress_done.store(r, std::memory_order_relaxed);
            job.progress_total.store(page->row_count, std::memory_order_relaxed);
            job.progress_count.store(r, std::memory_order_relaxed);
            job.progress_label.store(LABEL_PAGE, std::memory_order_relaxed);
            if (job.cancel.load(std::memory_order_relaxed) != 0) return false;

            auto& cells = page->cells[r];
            auto& kinds = page->kinds[r];
            cells.resize(page->cell_count);
            kinds.assign(page->cell_count, 0);
            cells[0] = utf8_to_utf16(count_text(job.first_row + r + 1));
            const IndexEntry& entry = page->entries[r];
            if (entry.length > MAX_DECODED_TUPLE) {
                for (std::uint32_t c = 1; c < page->cell_count; ++c) {
                    cells[c] = c == 1 ? utf8_to_utf16(PAGE_HUGE_CELL) : std::u16string(u"\u2014");
                }
                continue;
            }
            if (!record_decode(state, static_cast<std::uint32_t>(job.object), entry, record)) {
                msg_set(job.message, state.message);
                return false;
            }
            for (std::uint32_t j = 0; j < record.value_count() && j + 1 < page->cell_count; ++j) {
                if (!value_display_text(record.values[j], static_cast<Charset>(job.charset), cap,
                                        display)) {
                    return false;
                }
                cells[j + 1] = utf8_to_utf16(display);
                kinds[j + 1] = static_cast<std::uint8_t>(record.values[j].kind);
            }
            record_release(record);
        }
        job.page = std::move(page);
        return true;
    } catch (const std::bad_alloc&) {
        return false;  // the runner shows its fallback text
    }
}

bool details_load(BackgroundJob& job) {
    DumpState& state = *job.dump_state;
    if (job.object < 0) {
        dump_state_fail(state, "Ungültige Tabelle.");
        return false;
    }
    DecodedRecord record;
    if (!record_decode(state, static_cast<std::uint32_t>(job.object), job.entry, record)) {
        msg_set(job.message, state.message);
        return false;
    }
    try {
        const SchemaObject& object = state.objects[static_cast<std::size_t>(job.object)];
        const auto charset = static_cast<Charset>(job.charset);
        std::string text;
        text.reserve(DETAILS_LIMIT + 128);
        char header[256];
        msg_format(header, sizeof header,
                   "KOR-VANE DUMP BROWSER  |  Datensatzdetails\r\n\r\nByteposition: "
                   "%llu\r\nLänge des SQL-Tupels: %u Bytes\r\n\r\n",
                   static_cast<unsigned long long>(job.entry.offset),
                   static_cast<unsigned>(job.entry.length));
        bool whole = details_append(text, header);
        std::string piece;
        for (std::uint32_t i = 0; whole && i < record.value_count(); ++i) {
            const Value& value = record.values[i];
            if (!text_to_utf8(object.columns[i].name, charset, piece)) piece = "?";
            whole = details_append(text, piece) && details_append(text, "  [") &&
                    details_append(text, value_kind_label(value.kind)) &&
                    details_append(text, "]\r\n");
            if (whole && value_is_present(value)) {
                if (!value_display_text(value, charset, 65536, piece)) return false;
                whole = details_append(text, piece);
            }
            whole = whole && details_append(text, "\r\n\r\n");
        }
        if (!whole) text.append(DETAILS_CUT_NOTE);
        job.details_text = std::move(text);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace kv
