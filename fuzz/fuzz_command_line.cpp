// The sequencer console's line scan (typed commands and command-file lines)
// against the library's own "%s %i" wherever the value fits an int.
#include <cerrno>
#include <cstdlib>
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
  if (p.n != 2 && (p.value != NO_VALUE || p.wide)) __builtin_trap();

  char want[kLineSize + 1] = "";
  int value = 0;
  const int n = std::sscanf(line.c_str(), "%s %i", want, &value);
  if (n != p.n) __builtin_trap();
  if (n >= 1 && std::strcmp(want, keyword) != 0) __builtin_trap();
  // Up to 32 bits both keep the low bits; a wider number is refused, and its
  // text is a number on its own.
  if (n == 2 && !p.wide && value != p.value) __builtin_trap();
  if (p.wide) {
    const std::string text(p.number, static_cast<std::size_t>(p.numberLength));
    errno = 0;
    const long long v = std::strtoll(text.c_str(), nullptr, 0);
    if (errno != ERANGE && v >= -0xFFFFFFFFll && v <= 0xFFFFFFFFll) __builtin_trap();
  }
  return 0;
}
