// The script line scan against the library's own "%x %x" wherever no number
// is wider than 32 bits; a number reported wide must be one.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "programs/vmescript/script_line.h"

namespace {

// The magnitude of the number text (sign, "0x", hex digits) needs more than
// 32 bits.
bool reallyWide(const ScriptNumber& n) {
  std::string t(n.text, static_cast<std::size_t>(n.length));
  std::size_t i = 0;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  if (i + 1 < t.size() && t[i] == '0' && (t[i + 1] == 'x' || t[i + 1] == 'X')) i += 2;
  while (i < t.size() && t[i] == '0') ++i;
  const std::size_t digits = t.size() - i;
  for (std::size_t k = i; k < t.size(); ++k)
    if (!std::isxdigit(static_cast<unsigned char>(t[k]))) return false;
  return digits > 8;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string line(reinterpret_cast<const char*>(data), size);
  const char* text = line.c_str();  // up to the first NUL, as the player sees a line
  const ScriptLine s = parseScriptLine(text);
  if (s.fields < -1 || s.fields > 2) __builtin_trap();
  for (int k = 0; k < s.fields; ++k) {
    const ScriptNumber& n = s.number[k];
    if (n.text == nullptr || n.text < text || n.length <= 0) __builtin_trap();
    if (n.wide && !reallyWide(n)) __builtin_trap();
  }
  if (s.fields >= 1 && (s.number[0].wide || (s.fields == 2 && s.number[1].wide))) return 0;
  unsigned a = 0, b = 0;
  const int n = std::sscanf(text, "%x %x", &a, &b);
  if (n != s.fields) __builtin_trap();
  if (n >= 1 && a != s.number[0].value) __builtin_trap();
  if (n == 2 && b != s.number[1].value) __builtin_trap();
  return 0;
}
