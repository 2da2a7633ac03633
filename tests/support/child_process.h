// Runs one test case of the current test program in a second process, for checks that need
// another process (locks, share modes). The child sees the environment variable named by
// `variable` set to `value` and runs only `test_filter`; the result is its exit code (0 when
// the child's test passed), -1 when it could not be started.
#pragma once

#include <string>

namespace kv::test {

// Path of the running test program (set from main's argv or the system).
int run_test_in_child(const std::string& test_filter, const std::string& variable,
                      const std::string& value);

}  // namespace kv::test
