// The sequencer console's line scan (typed commands and command-file lines)
// against the library's own "%s %i" wherever the value fits an int.
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "foundation/console.h"
#include "programs/qemseq/command_line.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // A line as the console and the command-file player hand it over: at
  // most 127 characters, ending at the first NUL.
  std::string line(reinterpret_cast<const char*>(data), size < kLineSize ? size : kLineSize - 1);
  line.resize(std::strlen(line.c_str()));
  char keyword[kLineSize] = "";
  const Parsed p = parseLine(line.c_str(), keyword);
  if (p.n != -1 && p.n != 1 && p.n != 2) __builtin_trap();
  if (p.n >= 1 && (keyword[0] == '\0' || std::strlen(keyword) > kLineSize - 1)) __builtin_trap();
  if (p.n != 2 && p.value != NO_VALUE) __builtin_trap();

  char want[kLineSize + 1] = "";
  int value = 0;
  const int n = std::sscanf(line.c_str(), "%s %i", want, &value);
  if (n != p.n) __builtin_trap();
  if (n >= 1 && std::strcmp(want, keyword) != 0) __builtin_trap();
  // Out of range the scan keeps the low bits; the parser keeps the nearest end.
  if (n == 2 && p.value != INT_MAX && p.value != INT_MIN && value != p.value) __builtin_trap();
  return 0;
}
