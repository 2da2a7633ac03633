// Texts and columns of the search view (see search_view.h).
#include "ui/logic/search_view.h"

#include "foundation/messages.h"
#include "foundation/text.h"
#include "jobs/job.h"
#include "records/display_text.h"
#include "ui/logic/format_text.h"

namespace kv {

namespace {

constexpr int WIDTH_HIT_NUMBER = 60;
constexpr int WIDTH_TABLE = 200;
constexpr int WIDTH_ROW = 90;
constexpr int WIDTH_COLUMN = 140;
constexpr int WIDTH_VALUE = 420;

// Cells of a search page line (jobs/job.h).
enum SearchCell : std::size_t { CELL_HIT, CELL_TABLE, CELL_ROW, CELL_COLUMN, CELL_VALUE };

std::string cell_utf8(const PageData& page, std::uint32_t row, SearchCell cell) {
    const auto& cells = page.cells[row];
    return cell < cells.size() ? utf16_to_utf8(cells[cell]) : std::string();
}

}  // namespace

std::string search_count_text(std::uint64_t hits, std::uint32_t tables) {
    if (tables == 1) return format_text(msg_text(Msg::search_count_one_table), count_text(hits).c_str());
    return format_text(msg_text(Msg::search_count), count_text(hits).c_str(),
                       count_text(tables).c_str());
}

std::string search_skipped_text(std::uint64_t skipped) {
    if (skipped == 0) return {};
    return format_text(msg_text(Msg::search_skipped_huge), count_text(skipped).c_str());
}

std::vector<GridColumn> grid_search_columns() {
    return {{msg_text(Msg::column_number), WIDTH_HIT_NUMBER},
            {msg_text(Msg::column_table), WIDTH_TABLE},
            {msg_text(Msg::column_row), WIDTH_ROW},
            {msg_text(Msg::column_name), WIDTH_COLUMN},
            {msg_text(Msg::column_value), WIDTH_VALUE}};
}

std::string search_info_text(bool searched, std::uint64_t hits, std::uint32_t tables) {
    if (!searched) return msg_text(Msg::search_info_ready);
    return format_text(msg_text(Msg::search_info_hits), search_count_text(hits, tables).c_str());
}

std::string search_breadcrumb_text(const DumpState& state) {
    return format_text(msg_text(Msg::search_breadcrumb), path_file_name(state.dump_path).c_str());
}

const char* search_no_object_text() { return msg_text(Msg::search_no_object); }

DetailsPane search_details_pane(const DumpState& state, const PageData* page, std::uint32_t row) {
    DetailsPane pane;
    pane.caption = msg_text(Msg::search_details_caption);
    if (page == nullptr || row == DETAILS_NO_ROW || row >= page->row_count ||
        row >= page->cells.size()) {
        std::uint64_t tables = 0;
        for (const SchemaObject& o : state.objects) tables += o.kind == OBJECT_TABLE ? 1 : 0;
        pane.text = format_text(msg_text(Msg::search_details_ready), count_text(tables).c_str(),
                                count_text(state.total_entries).c_str());
        return pane;
    }
    pane.text = format_text(msg_text(Msg::search_details_hit), cell_utf8(*page, row, CELL_HIT).c_str(),
                            cell_utf8(*page, row, CELL_TABLE).c_str(),
                            cell_utf8(*page, row, CELL_ROW).c_str(),
                            cell_utf8(*page, row, CELL_COLUMN).c_str());
    // A one-line preview, capped far below the pane's limit.
    pane.text += cell_utf8(*page, row, CELL_VALUE);
    pane.text += msg_text(Msg::search_details_hint);
    return pane;
}

}  // namespace kv
