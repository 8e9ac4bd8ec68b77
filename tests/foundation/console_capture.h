// Runs a piece of code with standard input taken from a string and standard
// output captured, so prompts can be tested in process.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace vmetest {

// Defined by the runner's file of the system (tests/support).
std::string withConsole(const std::string& input, const std::function<void()>& body);

}  // namespace vmetest
