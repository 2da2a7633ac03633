// Runs a program to its end for end-to-end tests, capturing standard output and error as
// bytes. Arguments are UTF-8 (passed as UTF-16 on Windows). start_program / wait_program split
// the two steps for tests that signal the program while it runs (POSIX).
#pragma once

#include <string>
#include <vector>

namespace kv::test {

struct ProgramResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

ProgramResult run_program(const std::string& exe, const std::vector<std::string>& args);

#if !defined(_WIN32)
struct RunningProgram {
    int pid = -1;
    std::string out_path;
    std::string err_path;
};
RunningProgram start_program(const std::string& exe, const std::vector<std::string>& args);
ProgramResult wait_program(RunningProgram& program);
#endif

}  // namespace kv::test
