// One line of a script file: up to two hexadecimal numbers in front of free
// text, read the way the scan "%x %x" reads them, except that a number wider
// than 32 bits is reported instead of losing its high digits.
#pragma once

#include <cstddef>
#include <cstdint>

struct ScriptNumber {
  std::uint32_t value = 0;   // as the scan stores it (a minus negates mod 2^32)
  bool wide = false;         // more than 32 bits: value is not to be used
  const char* text = nullptr;  // where it is written in the line (sign included)
  int length = 0;
};

struct ScriptLine {
  // What the scan returns: -1 for an empty or blank line, 0 when the line
  // does not start with a number, else the count of numbers (1 or 2).
  int fields = -1;
  ScriptNumber number[2];
};

ScriptLine parseScriptLine(const char* line);
