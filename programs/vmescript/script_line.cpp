#include "programs/vmescript/script_line.h"

#include <cctype>

namespace {

bool blank(char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; }

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

enum class Scan { Number, NoNumber, End };

// One "%x" conversion at p: blanks, a sign, "0x", hex digits.  As the scan
// does, a "0x" with no digit behind it is taken as the number 0.
Scan scanHex(const char*& p, ScriptNumber& out) {
  while (blank(*p)) ++p;
  if (*p == '\0') return Scan::End;
  const char* start = p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  bool digits = false;
  if (*p == '0') {
    digits = true;
    ++p;
    if (*p == 'x' || *p == 'X') ++p;
  }
  std::uint64_t magnitude = 0;
  for (int d; (d = hexDigit(*p)) >= 0; ++p) {
    digits = true;
    magnitude = magnitude * 16 + static_cast<unsigned>(d);
    if (magnitude > 0xFFFFFFFFull) {
      out.wide = true;
      magnitude = 0xFFFFFFFFull;  // keeps the sum from wrapping
    }
  }
  if (!digits) return Scan::NoNumber;
  const auto v = static_cast<std::uint32_t>(magnitude);
  out.value = negative ? 0u - v : v;
  out.text = start;
  out.length = static_cast<int>(p - start);
  return Scan::Number;
}

}  // namespace

ScriptLine parseScriptLine(const char* line) {
  ScriptLine r;
  const char* p = line;
  switch (scanHex(p, r.number[0])) {
    case Scan::End: r.fields = -1; return r;
    case Scan::NoNumber: r.fields = 0; r.number[0] = {}; return r;
    case Scan::Number: break;
  }
  r.fields = scanHex(p, r.number[1]) == Scan::Number ? 2 : 1;
  if (r.fields == 1) r.number[1] = {};
  return r;
}
