// Captures what a piece of code prints on standard output, and picks the
// ERROR lines out of it.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace vmetest {

template <class F>
std::string printed(F f) {
  std::fflush(stdout);
  testing::internal::CaptureStdout();
  f();
  std::fflush(stdout);
  return testing::internal::GetCapturedStdout();
}

// The "ERROR: " lines of a text, in order.
inline std::vector<std::string> errorLines(const std::string& text) {
  std::vector<std::string> out;
  std::size_t pos = 0;
  while ((pos = text.find("ERROR: ", pos)) != std::string::npos) {
    const std::size_t end = text.find('\n', pos);
    out.push_back(text.substr(pos, end - pos));
    pos = end;
  }
  return out;
}

}  // namespace vmetest
