// The terminal side of korvane-dump on Linux and Windows: arguments as UTF-8 (Windows reads
// its UTF-16 command line, so paths with umlauts work), UTF-8 output, Ctrl+C as a request to
// cancel the running job, and whether standard error is a terminal (for the progress line).
#pragma once

#include <atomic>
#include <string>
#include <vector>

namespace kv {

// Prepares standard output and error for UTF-8 bytes (binary mode and the UTF-8 console code
// page on Windows) and returns the arguments after the program name as UTF-8.
std::vector<std::string> console_start(int argc, char** argv);
// From now on Ctrl+C sets flag instead of ending the process.
void console_catch_interrupt(std::atomic<bool>* flag);
bool console_stderr_is_terminal();

}  // namespace kv
