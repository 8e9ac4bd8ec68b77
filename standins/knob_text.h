// The stand-ins' knobs: a value they refuse is named in the error text.
#pragma once

#include <climits>
#include <cstdio>
#include <string>

namespace standin {

// "NAME=VALUE" with a control or non-ASCII byte of the value as \xNN: one line.
inline std::string knobShown(const char* name, const char* value) {
  std::string shown = std::string(name) + "=";
  for (const char* c = value; *c != '\0'; ++c) {
    const auto b = static_cast<unsigned char>(*c);
    char hex[5];
    std::snprintf(hex, sizeof hex, "\\x%02X", b);
    if (b >= ' ' && b <= '~') shown += *c;
    else shown += hex;
  }
  return shown;
}

// A knob's value: a count (0 to LONG_MAX - 1), or with code a negative
// status from -1 to -codeMax, in decimal.  False for anything else.
inline bool knobNumber(const char* v, bool code, unsigned long codeMax, long& value) {
  const unsigned long max = code ? codeMax : LONG_MAX - 1;
  const char* digits = !code ? v : *v == '-' ? v + 1 : nullptr;
  unsigned long n = 0;
  bool ok = digits != nullptr && *digits != '\0';
  for (const char* p = digits; ok && *p != '\0'; ++p) {
    const unsigned d = static_cast<unsigned char>(*p) - '0';
    ok = d <= 9 && n <= (max - d) / 10;
    n = n * 10 + d;
  }
  if (!ok || (code && n == 0)) return false;
  value = code ? -static_cast<long>(n) : static_cast<long>(n);
  return true;
}

}  // namespace standin
