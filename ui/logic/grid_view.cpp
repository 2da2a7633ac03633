// Columns, cell looks and the index file of the grid (see grid_view.h).
#include "ui/logic/grid_view.h"

#include "cache/file_names.h"
#include "foundation/messages.h"
#include "foundation/text.h"

namespace kv {

namespace {

constexpr int WIDTH_ROW_NUMBER = 76;
constexpr int WIDTH_FIRST_COLUMN = 120;
constexpr int WIDTH_COLUMN = 185;
constexpr int WIDTH_STRUCTURE_NUMBER = 60;
constexpr int WIDTH_STRUCTURE_NAME = 185;
constexpr int WIDTH_STRUCTURE_DEFINITION = 560;

}  // namespace

std::vector<GridColumn> grid_data_columns(const SchemaObject& table, Charset charset) {
    std::vector<GridColumn> columns;
    columns.reserve(table.columns.size() + 1);
    columns.push_back({msg_text(Msg::column_number), WIDTH_ROW_NUMBER});
    for (std::size_t c = 0; c < table.columns.size(); ++c) {
        std::string name;
        if (!text_to_utf8(table.columns[c].name, charset, name)) name.clear();
        columns.push_back({std::move(name), c == 0 ? WIDTH_FIRST_COLUMN : WIDTH_COLUMN});
    }
    return columns;
}

std::vector<GridColumn> grid_structure_columns() {
    return {{msg_text(Msg::column_number), WIDTH_STRUCTURE_NUMBER},
            {msg_text(Msg::column_name), WIDTH_STRUCTURE_NAME},
            {msg_text(Msg::column_definition), WIDTH_STRUCTURE_DEFINITION}};
}

GridCellLook grid_cell_look(std::uint32_t row, int kind) {
    return {ui_value_color(kind), row % 2 == 1 ? UI_COLOR_GRID_STRIPE : UI_COLOR_WHITE};
}

std::string view_index_path(const DumpState& state, std::int32_t object,
                            const std::string& filter_path) {
    if (!filter_path.empty()) return filter_path;
    return cache_index_path(state, static_cast<std::uint32_t>(object));
}

}  // namespace kv
