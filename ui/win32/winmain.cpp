// Process entry of the desktop application: start-up, then the message loop; never returns.
#include "ui/win32/app.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int code = kv::ui_start(GetCommandLineW());
    if (code == 0) code = kv::ui_message_loop();
    ExitProcess(static_cast<UINT>(code));
}
