#include "programs/qemseq/command_line.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "foundation/console.h"

namespace {

bool blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

}  // namespace

Parsed parseLine(const char* line, char* keyword) {
  Parsed r;
  const char* p = line;
  while (blank(*p)) ++p;
  if (*p == '\0') return r;
  std::size_t n = 0;
  while (p[n] != '\0' && !blank(p[n]) && n < kLineSize - 1) ++n;
  std::memcpy(keyword, p, n);
  keyword[n] = '\0';
  r.n = 1;
  p += n;
  char* end = nullptr;
  errno = 0;
  const long long v = std::strtoll(p, &end, 0);
  if (end == p) return r;
  r.n = 2;
  while (blank(*p)) ++p;
  r.number = p;
  r.numberLength = static_cast<int>(end - p);
  constexpr long long kMax = 0xFFFFFFFFll;
  if (errno == ERANGE || v > kMax || v < -kMax) {
    r.wide = true;
    return r;
  }
  r.value = static_cast<int>(static_cast<std::uint32_t>(v));
  return r;
}
