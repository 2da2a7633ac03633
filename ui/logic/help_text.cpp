// Help text and the copied grid row (see help_text.h).
#include "ui/logic/help_text.h"

#include "foundation/messages.h"

namespace kv {

namespace {

// One paragraph a line; Msg::none is an empty line between groups.
constexpr Msg HELP_LINES[] = {
    Msg::help_version,
    Msg::help_tagline,
    Msg::none,
    Msg::help_start_heading,
    Msg::help_open,
    Msg::help_structure,
    Msg::help_row_number,
    Msg::none,
    Msg::help_large_heading,
    Msg::help_large_import,
    Msg::help_large_filter,
    Msg::help_large_locked,
    Msg::none,
    Msg::help_filter_heading,
    Msg::help_filter,
    Msg::help_csv,
    Msg::help_csv_values,
    Msg::help_tuple,
    Msg::help_extract,
    Msg::help_search,
    Msg::none,
    Msg::help_charset_heading,
    Msg::help_charset,
    Msg::none,
    Msg::help_sql_heading,
    Msg::help_sql_supported,
    Msg::help_sql_not_run,
    Msg::help_sql_limits,
    Msg::none,
    Msg::help_cache_heading,
    Msg::help_cache,
    Msg::help_fingerprint,
    Msg::none,
    Msg::help_keys_heading,
    Msg::help_keys,
    Msg::help_keys_grid,
    Msg::help_keys_layout,
    Msg::none,
    Msg::help_delivery_heading,
    Msg::help_delivery,
};

std::string build_help_text() {
    std::string text;
    for (Msg line : HELP_LINES) {
        text += msg_text(line);
        text += "\r\n";
    }
    return text;
}

}  // namespace

const std::string& ui_help_text() {
    static const std::string text = build_help_text();
    return text;
}

std::u16string ui_row_tsv(const std::vector<std::u16string>& cells) {
    std::u16string row;
    for (std::size_t i = 1; i < cells.size(); ++i) {
        if (i > 1) row += u'\t';
        row += cells[i];
    }
    return row;
}

}  // namespace kv
