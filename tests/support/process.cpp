// Program runner for end-to-end tests (see process.h). Output goes through temporary files,
// so large outputs never block on a full pipe.
#include "tests/support/process.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#if defined(_WIN32)
#include <windows.h>

#include "foundation/text.h"
#else
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kv::test {

namespace {

std::string temp_name(const char* suffix) {
    std::random_device rd;
    auto path = std::filesystem::temp_directory_path() /
                ("kvproc-" + std::to_string(rd()) + "-" + std::to_string(rd()) + suffix);
    return path.string();
}

std::string slurp_and_remove(const std::string& path) {
    std::string data;
    {
        std::ifstream in(path, std::ios::binary);
        data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return data;
}

}  // namespace

#if defined(_WIN32)
namespace {
std::u16string quote(const std::u16string& arg) {
    if (!arg.empty() && arg.find_first_of(u" \t\"") == std::u16string::npos) return arg;
    std::u16string out = u"\"";
    std::size_t backslashes = 0;
    for (char16_t c : arg) {
        if (c == u'\\') {
            ++backslashes;
            continue;
        }
        if (c == u'"') out.append(backslashes * 2 + 1, u'\\');
        else out.append(backslashes, u'\\');
        backslashes = 0;
        out.push_back(c);
    }
    out.append(backslashes * 2, u'\\');
    out.push_back(u'"');
    return out;
}

HANDLE inheritable_file(const std::string& path) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    std::u16string wide = utf8_to_utf16(path);
    return CreateFileW(reinterpret_cast<const wchar_t*>(wide.c_str()), GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}
}  // namespace

ProgramResult run_program(const std::string& exe, const std::vector<std::string>& args) {
    ProgramResult result;
    std::u16string command = quote(utf8_to_utf16(exe));
    for (const auto& a : args) command += u" " + quote(utf8_to_utf16(a));
    std::vector<wchar_t> line(command.begin(), command.end());
    line.push_back(L'\0');
    std::string out_path = temp_name(".out"), err_path = temp_name(".err");
    HANDLE out = inheritable_file(out_path), err = inheritable_file(err_path);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    std::u16string wide_exe = utf8_to_utf16(exe);
    BOOL started = CreateProcessW(reinterpret_cast<const wchar_t*>(wide_exe.c_str()), line.data(),
                                  nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(out);
    CloseHandle(err);
    if (started) {
        WaitForSingleObject(pi.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(pi.hProcess, &code);
        result.exit_code = static_cast<int>(code);
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    result.out = slurp_and_remove(out_path);
    result.err = slurp_and_remove(err_path);
    return result;
}
#else
RunningProgram start_program(const std::string& exe, const std::vector<std::string>& args) {
    RunningProgram program;
    program.out_path = temp_name(".out");
    program.err_path = temp_name(".err");
    pid_t pid = ::fork();
    if (pid == 0) {
        int out = ::open(program.out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        int err = ::open(program.err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(exe.c_str()));
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    program.pid = pid;
    return program;
}

ProgramResult wait_program(RunningProgram& program) {
    ProgramResult result;
    int status = 0;
    if (program.pid > 0 && ::waitpid(program.pid, &status, 0) == program.pid) {
        result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    result.out = slurp_and_remove(program.out_path);
    result.err = slurp_and_remove(program.err_path);
    return result;
}

ProgramResult run_program(const std::string& exe, const std::vector<std::string>& args) {
    RunningProgram program = start_program(exe, args);
    return wait_program(program);
}
#endif

}  // namespace kv::test
