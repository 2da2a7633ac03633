// Terminal handling of korvane-dump (see console.h).
#include "cli/console.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>

#include <cstdio>

#include "foundation/text.h"
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace kv {

namespace {
std::atomic<bool>* interrupt_flag = nullptr;
}  // namespace

#if defined(_WIN32)
namespace {
BOOL WINAPI on_console_event(DWORD event) {
    if ((event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) && interrupt_flag != nullptr) {
        interrupt_flag->store(true);
        return TRUE;
    }
    return FALSE;
}
}  // namespace

std::vector<std::string> console_start(int, char**) {
    SetConsoleOutputCP(CP_UTF8);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    std::vector<std::string> args;
    int count = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) return args;
    for (int i = 1; i < count; ++i) {
        args.push_back(utf16_to_utf8(reinterpret_cast<const char16_t*>(wide[i])));
    }
    LocalFree(wide);
    return args;
}

void console_catch_interrupt(std::atomic<bool>* flag) {
    interrupt_flag = flag;
    SetConsoleCtrlHandler(on_console_event, TRUE);
}

bool console_stderr_is_terminal() { return _isatty(_fileno(stderr)) != 0; }
#else
namespace {
extern "C" void on_sigint(int) {
    if (interrupt_flag != nullptr) interrupt_flag->store(true);
}
}  // namespace

std::vector<std::string> console_start(int argc, char** argv) {
    return std::vector<std::string>(argv + 1, argv + argc);
}

void console_catch_interrupt(std::atomic<bool>* flag) {
    interrupt_flag = flag;
    struct sigaction action {};
    action.sa_handler = on_sigint;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
}

bool console_stderr_is_terminal() { return ::isatty(2) != 0; }
#endif

}  // namespace kv
