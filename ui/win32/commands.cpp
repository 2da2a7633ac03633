// Commands of the main window by command number: buttons, boxes and the keyboard shortcuts.
#include "ui/logic/help_text.h"
#include "ui/win32/app.h"

namespace kv {

void ui_command(int id, int notification) {
    const AppState& a = app();
    if (a.busy && id != ID_CANCEL) return;
    switch (id) {
        case ID_HELP:
            if (notification == BN_CLICKED) ui_show_text(HELP_TITLE, ui_help_text());
            break;
        default: break;
    }
}

void ui_open_dump(const std::string&, bool) {}

}  // namespace kv
