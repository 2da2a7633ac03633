// Process start-up of the desktop application and its message loop: the window classes, the
// main window made visible with the command line's dump posted to it, and the loop that gives
// each message first to the main window it belongs to (text window, shortcuts, dialog
// navigation) and then dispatches it. One main window per start; the program's own path and
// the dump path of the command line may have up to 32,767 UTF-16 units.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace kv {

// Start-up up to the visible main window (main) with the command line's dump path posted to
// it: 0 when the window is up, else the process exit code with main null (1 common controls or
// cache folder, 2 window classes, 3 main window).
int ui_start(const wchar_t* command_line, HWND& main);
// Handles one message of the thread as the message loop does.
void ui_process_message(MSG& msg);
// Runs the message loop until the quit message; returns the exit code.
int ui_message_loop();

}  // namespace kv
