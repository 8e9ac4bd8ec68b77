// Names of parameterised test cases: what gtest accepts, [A-Za-z0-9_].
#pragma once

#include <string>

namespace vmetest {

// Every other character becomes '_': "qem-ram-stuck1" gives "qem_ram_stuck1".
inline std::string paramName(std::string label) {
  for (char& ch : label) {
    const bool letter = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
    if (!letter && !(ch >= '0' && ch <= '9')) ch = '_';
  }
  return label;
}

}  // namespace vmetest
