// Process entry of the desktop application: start-up, then the message loop; never returns.
#include "jobs/job.h"
#include "ui/win32/app_start.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    HWND main = nullptr;
    int code = kv::ui_start(GetCommandLineW(), main);
    if (code == 0) code = kv::ui_message_loop();
    kv::job_shutdown();  // ExitProcess would end the worker thread wherever it is
    ExitProcess(static_cast<UINT>(code));
}
