// Interface texts (see view_text.h).
#include "ui/logic/control_states.h"
#include "ui/logic/view_text.h"

#include "foundation/message.h"
#include "foundation/messages.h"
#include "foundation/text.h"
#include "jobs/job.h"
#include "records/value.h"
#include "ui/logic/format_text.h"
#include "ui/logic/page_number.h"
#include "ui/logic/report_text.h"

namespace kv {

namespace {

constexpr std::size_t NOTES_BODY_LIMIT = 131026;

std::string converted_or_empty(const std::string& bytes, Charset charset) {
    std::string out;
    if (!text_to_utf8(bytes, charset, out)) out.clear();
    return out;
}

// A name or type text as the structure view shows it: a text value's preview, cap 4,096.
std::string structure_cell(const std::string& bytes, Charset charset) {
    Value value;
    value.kind = VALUE_TEXT;
    value.text = bytes;
    std::string out;
    if (!value_display_text(value, charset, 4096, out)) out.clear();
    return out;
}

// The import notes counted for the status lines: "1 Hinweis", else "N Hinweise".
std::string note_count_text(std::uint32_t count) {
    return count == 1 ? std::string(msg_text(Msg::status_notes_one))
                      : format_text(msg_text(Msg::status_notes), count);
}

}  // namespace

std::string path_file_name(const std::string& path) {
    auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string status_open_text(const DumpState& state) {
    char buffer[512];
    const Msg origin = state.loaded_from_cache ? Msg::status_cache_loaded : Msg::status_index_built;
    msg_format(buffer, sizeof buffer, msg_text(Msg::status_open), msg_text(origin),
               count_text(state.total_entries).c_str(),
               size_text(state.total_entries * 16).c_str(), note_count_text(state.note_count).c_str());
    return buffer;
}

std::string status_page_text(const DumpState& state) {
    std::string name = path_file_name(state.dump_path);
    std::string text(name.size() + 256, '\0');
    int n = msg_format(text.data(), text.size(), msg_text(Msg::status_page), name.c_str(),
                       size_text(state.dump_size).c_str(), count_text(state.total_entries).c_str(),
                       note_count_text(state.note_count).c_str());
    text.resize(n < 0 ? text.size() - 1 : static_cast<std::size_t>(n));
    return text;
}

std::uint64_t progress_thousandths(std::uint64_t done, std::uint64_t total) {
    if (total == 0) return 0;
    // done × 1000 / (total + 1) in 128 bits: exact for totals of any size, and right for small
    // ones too (done / (total / 1000 + 1) stops at 50 % for a total of 1,000).
    const auto t = static_cast<std::uint64_t>(static_cast<unsigned __int128>(done) * 1000 /
                                              (static_cast<unsigned __int128>(total) + 1));
    return t > 1000 ? 1000 : t;
}

std::string status_progress_text(const char* label, std::uint64_t done, std::uint64_t total,
                                 std::uint64_t count, bool cancel_requested) {
    if (cancel_requested) return msg_text(Msg::status_cancel_requested);
    const std::uint64_t thousandths = progress_thousandths(done, total);
    char buffer[256];
    msg_format(buffer, sizeof buffer, msg_text(Msg::status_progress),
               label != nullptr ? label : msg_text(Msg::progress_preparing),
               static_cast<unsigned long long>(thousandths / 10), count_text(count).c_str());
    return buffer;
}

std::string page_label_text(std::uint64_t offset, std::uint64_t total) {
    std::uint64_t first = total == 0 ? 0 : offset + 1;
    std::uint64_t last = page_end(offset, total);
    char buffer[256];
    msg_format(buffer, sizeof buffer, msg_text(Msg::page_label),
               count_text(page_number_at(offset)).c_str(), count_text(page_count(total)).c_str(),
               count_text(first).c_str(), count_text(last).c_str(), count_text(total).c_str());
    return buffer;
}

std::string page_missing_text(std::uint64_t total) {
    if (page_count(total) == 1) return msg_text(Msg::page_missing_one);
    char buffer[256];
    msg_format(buffer, sizeof buffer, msg_text(Msg::page_missing),
               count_text(page_count(total)).c_str());
    return buffer;
}

std::string info_label_text(std::uint64_t total, bool filter_active) {
    char buffer[256];
    msg_format(buffer, sizeof buffer, msg_text(filter_active ? Msg::info_hits : Msg::info_entries),
               count_text(total).c_str());
    return buffer;
}

const char* object_kind_plural(ObjectKind kind) {
    switch (kind) {
        case OBJECT_VIEW: return msg_text(Msg::kind_views);
        case OBJECT_ROUTINE: return msg_text(Msg::kind_routines);
        default: return msg_text(Msg::kind_tables);
    }
}

std::string main_window_title(const DumpState* state) {
    if (state == nullptr) return msg_text(Msg::app_title);
    return format_text(msg_text(Msg::title_with_dump), path_file_name(state->dump_path).c_str(),
                       msg_text(Msg::app_title));
}

std::string breadcrumb_text(const SchemaObject& object, Charset charset) {
    return format_text(msg_text(Msg::breadcrumb),
                       converted_or_empty(object.database_name, charset).c_str(),
                       object_kind_plural(object.kind),
                       converted_or_empty(object.object_name, charset).c_str());
}

std::string import_notes_text(const DumpState& state) {
    std::string text = std::string(msg_text(Msg::notes_heading)) + "\r\n\r\n";
    std::string body = dump_report_text(state) + "\r\n";
    body += state.import_notes.empty() ? std::string(msg_text(Msg::notes_none)) + "\r\n"
                                       : state.import_notes;
    if (text.size() + body.size() > NOTES_BODY_LIMIT) body.resize(NOTES_BODY_LIMIT - text.size());
    text += body;
    std::string closing;
    for (Msg paragraph : {Msg::notes_no_sql, Msg::notes_expressions, Msg::notes_cache,
                          Msg::notes_version}) {
        closing += closing.empty() ? "\r\n" : "\r\n\r\n";
        closing += msg_text(paragraph);
    }
    closing += "\r\n";
    if (text.size() + closing.size() > NOTES_TEXT_LIMIT) {
        closing.resize(NOTES_TEXT_LIMIT - text.size());
    }
    return text + closing;
}

std::string create_text_view(const SchemaObject& object, Charset charset) {
    std::string out;
    if (!text_to_utf8(object.create_text, charset, out)) return msg_text(Msg::no_create_text);
    return out;
}

std::string structure_cell_text(const SchemaObject& object, std::size_t row, std::size_t column,
                                Charset charset) {
    if (row >= object.columns.size()) return {};
    switch (column) {
        case 0: return count_text(row + 1);
        case 1: return structure_cell(object.columns[row].name, charset);
        case 2: return structure_cell(object.columns[row].type_text, charset);
        default: return {};
    }
}

std::vector<StructureRow> structure_rows(const SchemaObject& object, Charset charset) {
    std::vector<StructureRow> rows;
    rows.reserve(object.columns.size());
    for (std::size_t i = 0; i < object.columns.size(); ++i) {
        rows.push_back({structure_cell_text(object, i, 0, charset),
                        structure_cell_text(object, i, 1, charset),
                        structure_cell_text(object, i, 2, charset)});
    }
    return rows;
}

namespace {

// Appends pieces while the text stays within its limit; the first piece that does not fit is
// cut there and ends the text.
class PaneText {
public:
    void add(std::string_view piece) {
        if (full_) return;
        if (text_.size() + piece.size() > DETAILS_PANE_LIMIT) {
            piece = piece.substr(0, DETAILS_PANE_LIMIT - text_.size());
            full_ = true;
        }
        text_.append(piece);
    }
    std::string take() { return std::move(text_); }

private:
    std::string text_;
    bool full_ = false;
};

std::string converted_or_raw(const std::string& raw, Charset charset) {
    std::string out;
    return text_to_utf8(raw, charset, out) ? out : raw;
}

}  // namespace

DetailsPane details_pane(const DumpState* state, int object, const PageData* page,
                         std::uint32_t row, Charset charset) {
    DetailsPane pane;
    if (state == nullptr || object < 0 ||
        static_cast<std::size_t>(object) >= state->objects.size()) {
        pane.caption = msg_text(Msg::details_invitation_caption);
        pane.text = msg_text(Msg::details_invitation);
        return pane;
    }
    const SchemaObject& o = state->objects[static_cast<std::size_t>(object)];
    pane.caption = o.kind == OBJECT_DATABASE ? "" : converted_or_raw(o.object_name, charset);
    PaneText text;
    text.add(msg_text(Msg::details_database));
    text.add("\r\n");
    text.add(converted_or_raw(o.database_name, charset));
    char buffer[256];
    msg_format(buffer, sizeof buffer, msg_text(Msg::details_counts),
               count_text(o.entry_count).c_str(), static_cast<unsigned>(o.columns.size()),
               size_text(o.tuple_bytes).c_str());
    text.add(buffer);
    std::string piece;
    if (page == nullptr || row == DETAILS_NO_ROW || row >= page->row_count) {
        text.add(msg_text(Msg::details_columns));
        text.add("\r\n\r\n");
        for (const Column& c : o.columns) {
            text.add(converted_or_raw(c.name, charset));
            text.add("\r\n");
            if (value_display_text(Value{c.type_text, VALUE_TEXT}, charset, 180, piece)) {
                text.add(piece);
            }
            text.add("\r\n\r\n");
        }
    } else {
        const IndexEntry& e = page->entries[row];
        msg_format(buffer, sizeof buffer, msg_text(Msg::details_selected),
                   static_cast<unsigned long long>(e.offset), static_cast<unsigned>(e.length));
        text.add(buffer);
        for (std::size_t c = 0; c < o.columns.size(); ++c) {
            text.add(converted_or_raw(o.columns[c].name, charset));
            text.add("\r\n");
            if (c + 1 < page->cells[row].size()) text.add(utf16_to_utf8(page->cells[row][c + 1]));
            text.add("\r\n\r\n");
        }
        text.add(msg_text(Msg::details_hint));
    }
    pane.text = text.take();
    return pane;
}

std::string no_rows_text(const SchemaObject& object, int tab) {
    const bool view = object.kind == OBJECT_VIEW;
    if (tab == TAB_STRUCTURE) {
        return msg_text(view ? Msg::view_no_structure : Msg::routine_no_structure);
    }
    return msg_text(view ? Msg::view_no_rows : Msg::routine_no_rows);
}

const char* structure_info_text(const SchemaObject& object) {
    return msg_text(object.kind == OBJECT_TABLE ? Msg::info_structure : Msg::info_structure_view);
}

}  // namespace kv
