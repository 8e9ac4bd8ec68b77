// The stand-ins' knobs: a value they refuse is named in the error text.
#pragma once

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

}  // namespace standin
