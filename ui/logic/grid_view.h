// The grid of the main window, computed without any window: its columns (titles and widths)
// on the "Daten" and "Struktur" tabs, the look of a cell (the value kind's colour from the one
// palette in paint_plan.h, every other row striped), and the index file a data view reads
// (the table's own index, or "query.kvi" while a filter is active).
//
// Tables have up to 4,096 columns; widths are logical units (96 DPI), scaled by the shell.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/dump_state.h"
#include "records/display_text.h"
#include "ui/logic/paint_plan.h"

namespace kv {

struct GridColumn {
    std::string title;  // UTF-8
    int width = 0;      // logical units
    bool operator==(const GridColumn&) const = default;
};

// "#", then every column of the table under its name ("" when it cannot be converted).
std::vector<GridColumn> grid_data_columns(const SchemaObject& table, Charset charset);
// "#", "Spalte", "MySQL-Definition (Original)".
std::vector<GridColumn> grid_structure_columns();

// The kind of a cell that shows no value (row numbers, the structure view).
inline constexpr int GRID_NO_VALUE = -1;

struct GridCellLook {
    UiColor text;
    UiColor background;
    bool operator==(const GridCellLook&) const = default;
};
// Row `row` (0-based on the page) and a cell of value kind (a ValueKind, or GRID_NO_VALUE).
GridCellLook grid_cell_look(std::uint32_t row, int kind);

// The index file of the view of object: filter_path while a filter is active (not empty),
// else the table's index in the dump's cache folder.
std::string view_index_path(const DumpState& state, std::int32_t object,
                            const std::string& filter_path);

}  // namespace kv
