// Fixed texts of the desktop window that need no dump: the help text shown by "Hilfe" (its
// paragraphs from the catalogue, under Msg::title_help), and the tab-separated row that Ctrl+C
// in the grid copies.
#pragma once

#include <string>
#include <vector>

namespace kv {

// The help text, UTF-8, every line ended by "\r\n".
const std::string& ui_help_text();

// One grid row as tab-separated text: the cells after the row number ("#", cell 0) joined by
// one TAB, without a line end; empty when the row has fewer than two cells.
std::u16string ui_row_tsv(const std::vector<std::u16string>& cells);

}  // namespace kv
