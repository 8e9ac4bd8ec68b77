// Runs a piece of code with standard input taken from a string and standard
// output captured, so prompts can be tested in process.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

namespace vmetest {

inline std::string withConsole(const std::string& input, const std::function<void()>& body) {
  std::FILE* in = std::tmpfile();
  std::FILE* out = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::rewind(in);
  std::fflush(stdout);
  std::FILE* oldIn = stdin;
  std::FILE* oldOut = stdout;
  stdin = in;
  stdout = out;
  body();
  std::fflush(out);
  stdin = oldIn;
  stdout = oldOut;
  std::rewind(out);
  std::string text;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, out)) > 0) text.append(buf, n);
  std::fclose(in);
  std::fclose(out);
  return text;
}

}  // namespace vmetest
