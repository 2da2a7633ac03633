// Second-process runner for tests (see child_process.h).
#include "tests/support/child_process.h"

#if defined(_WIN32)
#include <windows.h>

#include <vector>

#include "foundation/text.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#endif

namespace kv::test {

#if defined(_WIN32)
int run_test_in_child(const std::string& test_filter, const std::string& variable,
                      const std::string& value) {
    wchar_t exe[32768];
    DWORD n = GetModuleFileNameW(nullptr, exe, 32768);
    if (n == 0 || n >= 32768) return -1;
    std::u16string command = u"\"" + std::u16string(reinterpret_cast<char16_t*>(exe), n) +
                             u"\" --gtest_filter=" + utf8_to_utf16(test_filter);
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    std::u16string name = utf8_to_utf16(variable);
    std::u16string val = utf8_to_utf16(value);
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name.c_str()),
                            reinterpret_cast<const wchar_t*>(val.c_str()));
    // The child's own report stays out of the parent's output.
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE null_out = CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                  &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = null_out;
    si.hStdError = null_out;
    PROCESS_INFORMATION pi{};
    BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                  nullptr, &si, &pi);
    if (null_out != INVALID_HANDLE_VALUE) CloseHandle(null_out);
    SetEnvironmentVariableW(reinterpret_cast<const wchar_t*>(name.c_str()), nullptr);
    if (!started) return -1;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return static_cast<int>(code);
}
#else
int run_test_in_child(const std::string& test_filter, const std::string& variable,
                      const std::string& value) {
    char exe[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n <= 0) return -1;
    exe[n] = '\0';
    pid_t pid = ::fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        // The child's own report stays out of the parent's output.
        int null_fd = ::open("/dev/null", O_WRONLY);
        if (null_fd >= 0) {
            ::dup2(null_fd, 1);
            ::dup2(null_fd, 2);
        }
        ::setenv(variable.c_str(), value.c_str(), 1);
        std::string filter = "--gtest_filter=" + test_filter;
        ::execl(exe, exe, filter.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace kv::test
