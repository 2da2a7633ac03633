// Page and details jobs (see page_job.h).
#include "jobs/page_job.h"

#include <algorithm>
#include <new>

#include "cache/file_names.h"
#include "foundation/message.h"
#include "foundation/text.h"
#include "records/display_text.h"
#include "records/record_decode.h"

namespace kv {

namespace {

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

namespace {

Status bad_table() { return status_fail(StatusKind::refused, Msg::bad_table); }

// The page's rows and its index entries, read with one seek and one read.
Status page_entries(const BackgroundJob& job, PageData& page) {
    page.first_row = job.first_row;
    page.row_count = job.first_row >= job.rows
                         ? 0
                         : static_cast<std::uint32_t>(
                               std::min<std::uint64_t>(PAGE_ROWS, job.rows - job.first_row));
    if (page.row_count == 0) return {};
    FileGuard index(file_open(job.index_path, FILE_MODE_READ));
    if (index.valid() &&
        index_read(index.get(), job.first_row, page.row_count, page.entries.data())) {
        return {};
    }
    return status_fail(StatusKind::damaged_cache, Msg::page_read);
}

// Fills the cells of row r: its number, then one preview per column. A tuple above 64 MiB
// is never read; its row says so.
Status page_row(BackgroundJob& job, PageData& page, std::uint32_t r, std::uint32_t cap,
                DecodedRecord& record, std::string& display) {
    auto& cells = page.cells[r];
    auto& kinds = page.kinds[r];
    cells.resize(page.cell_count);
    kinds.assign(page.cell_count, 0);
    cells[0] = utf8_to_utf16(count_text(job.first_row + r + 1));
    const IndexEntry& entry = page.entries[r];
    if (entry.length > MAX_DECODED_TUPLE) {
        for (std::uint32_t c = 1; c < page.cell_count; ++c) {
            cells[c] = c == 1 ? utf8_to_utf16(msg_text(Msg::page_huge_cell)) : std::u16string(u"\u2014");
        }
        return {};
    }
    const auto table = static_cast<std::uint32_t>(job.object);
    if (Status s = record_decode(*job.dump_state, table, entry, record); !s.ok()) return s;
    for (std::uint32_t j = 0; j < record.value_count() && j + 1 < page.cell_count; ++j) {
        if (!value_display_text(record.values[j], job.charset, cap,
                                display)) {
            return status_out_of_memory();
        }
        cells[j + 1] = utf8_to_utf16(display);
        kinds[j + 1] = static_cast<std::uint8_t>(record.values[j].kind);
    }
    record_release(record);
    return {};
}

// The details text of a decoded record, cut at DETAILS_LIMIT with a closing note.
std::string details_text(const BackgroundJob& job, const DecodedRecord& record) {
    const SchemaObject& object = job.dump_state->objects[static_cast<std::size_t>(job.object)];
    const auto charset = job.charset;
    std::string text;
    text.reserve(DETAILS_LIMIT + 128);
    char header[256];
    msg_format(header, sizeof header, msg_text(Msg::details_header),
               static_cast<unsigned long long>(job.entry.offset),
               static_cast<unsigned>(job.entry.length));
    bool whole = details_append(text, header);
    std::string piece;
    for (std::uint32_t i = 0; whole && i < record.value_count(); ++i) {
        const Value& value = record.values[i];
        if (!text_to_utf8(object.columns[i].name, charset, piece)) piece = msg_text(Msg::name_unreadable);
        whole = details_append(text, piece) && details_append(text, "  [") &&
                details_append(text, value_kind_label(value.kind)) &&
                details_append(text, "]\r\n");
        if (whole && value_is_present(value)) {
            if (!value_display_text(value, charset, 65536, piece, LineBreaks::kept)) {
                throw std::bad_alloc();
            }
            whole = details_append(text, piece);
        }
        whole = whole && details_append(text, "\r\n\r\n");
    }
    if (!whole) text.append(msg_text(Msg::details_cut));
    return text;
}

// A name of the dump in the display charset; "?" when it cannot be converted.
std::string name_text(const std::string& raw, Charset charset) {
    std::string name;
    if (!text_to_utf8(raw, charset, name)) name = msg_text(Msg::name_unreadable);
    return name;
}

// The open index of the object of the last hit, and the scratch of a search page's rows.
struct HitReader {
    FileGuard index;
    std::uint32_t object = ~std::uint32_t{0};
    DecodedRecord record;
    std::string display;
};

// The index entry of a hit, from the index of its object (kept open for the next hit).
Status hit_entry(const DumpState& state, const SearchHit& hit, HitReader& reader,
                 IndexEntry& entry) {
    if (reader.object != hit.object) {
        reader.index.reset(file_open(cache_index_path(state, hit.object), FILE_MODE_READ));
        reader.object = hit.object;
    }
    if (reader.index.valid() && index_read(reader.index.get(), hit.row, 1, &entry)) return {};
    reader.object = ~std::uint32_t{0};
    return status_fail(StatusKind::damaged_cache, Msg::page_read);
}

// Fills the cells of hit r: its number, the object, the row, the column and the value.
Status search_row(BackgroundJob& job, PageData& page, std::uint32_t r, HitReader& reader) {
    DumpState& state = *job.dump_state;
    const SearchHit& hit = page.hits[r];
    if (hit.object >= state.objects.size() ||
        hit.column >= state.objects[hit.object].columns.size() ||
        hit.row >= state.objects[hit.object].entry_count) {
        return status_fail(StatusKind::damaged_cache, Msg::stale_entry);
    }
    const SchemaObject& object = state.objects[hit.object];
    auto& cells = page.cells[r];
    cells.resize(SEARCH_PAGE_CELLS);
    // Table, row and column are plain text; only the value cell has the value's kind.
    page.kinds[r].assign(SEARCH_PAGE_CELLS, static_cast<std::uint8_t>(VALUE_TEXT));
    cells[0] = utf8_to_utf16(count_text(page.first_row + r + 1));
    cells[1] = utf8_to_utf16(name_text(object.database_name, job.charset) + "." +
                             name_text(object.object_name, job.charset));
    cells[2] = utf8_to_utf16(count_text(hit.row + 1));
    cells[3] = utf8_to_utf16(name_text(object.columns[hit.column].name, job.charset));
    IndexEntry& entry = page.entries[r];
    if (Status s = hit_entry(state, hit, reader, entry); !s.ok()) return s;
    if (entry.length > MAX_DECODED_TUPLE) {
        cells[4] = utf8_to_utf16(msg_text(Msg::page_huge_cell));
        return {};
    }
    if (Status s = record_decode(state, hit.object, entry, reader.record); !s.ok()) return s;
    const Value& value = reader.record.values[hit.column];
    if (!value_display_text(value, job.charset, page_preview_cap(1), reader.display)) {
        return status_out_of_memory();
    }
    cells[4] = utf8_to_utf16(reader.display);
    page.kinds[r][4] = static_cast<std::uint8_t>(value.kind);
    return {};
}

// Row r of rows of the page being read, as the job's progress; false once cancel is set.
bool page_progress(BackgroundJob& job, std::uint32_t r, std::uint32_t rows) {
    job.progress_done.store(r, std::memory_order_relaxed);
    job.progress_total.store(rows, std::memory_order_relaxed);
    job.progress_count.store(r, std::memory_order_relaxed);
    job.progress_label.store(msg_text(Msg::progress_page), std::memory_order_relaxed);
    return job.cancel.load(std::memory_order_relaxed) == 0;
}

}  // namespace

Status page_load(BackgroundJob& job) {
    DumpState& state = *job.dump_state;
    if (job.object < 0 || static_cast<std::size_t>(job.object) >= state.objects.size()) {
        return bad_table();
    }
    const auto columns =
        static_cast<std::uint32_t>(state.objects[static_cast<std::size_t>(job.object)].columns.size());
    try {
        auto page = std::make_unique<PageData>();
        page->cell_count = columns + 1;
        if (Status s = page_entries(job, *page); !s.ok()) return s;
        page->cells.resize(page->row_count);
        page->kinds.resize(page->row_count);
        const std::uint32_t cap = page_preview_cap(columns);
        DecodedRecord record;
        std::string display;
        for (std::uint32_t r = 0; r < page->row_count; ++r) {
            if (!page_progress(job, r, page->row_count)) return status_cancelled();
            if (Status s = page_row(job, *page, r, cap, record, display); !s.ok()) return s;
        }
        job.page = std::move(page);
        return {};
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
}

Status search_page_load(BackgroundJob& job) {
    try {
        auto page = std::make_unique<PageData>();
        page->first_row = job.first_row;
        page->cell_count = SEARCH_PAGE_CELLS;
        if (Status s = search_read_hits(job.index_path, job.first_row, PAGE_ROWS, page->hits);
            !s.ok()) {
            return s;
        }
        page->row_count = static_cast<std::uint32_t>(page->hits.size());
        page->cells.resize(page->row_count);
        page->kinds.resize(page->row_count);
        HitReader reader;
        for (std::uint32_t r = 0; r < page->row_count; ++r) {
            if (!page_progress(job, r, page->row_count)) return status_cancelled();
            if (Status s = search_row(job, *page, r, reader); !s.ok()) return s;
        }
        job.page = std::move(page);
        return {};
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
}

Status details_load(BackgroundJob& job) {
    DumpState& state = *job.dump_state;
    if (job.object < 0) return bad_table();
    DecodedRecord record;
    if (Status s = record_decode(state, static_cast<std::uint32_t>(job.object), job.entry, record);
        !s.ok()) {
        return s;
    }
    try {
        job.details_text = details_text(job, record);
        return {};
    } catch (const std::bad_alloc&) {
        return status_out_of_memory();
    }
}

}  // namespace kv
