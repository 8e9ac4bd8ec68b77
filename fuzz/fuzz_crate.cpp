// The crate file parser, then bus cycles of every width on every board it
// built: at the start, across the first registers and at the end of each.
#include <cstddef>
#include <cstdint>
#include <string>

#include "crate/crate.h"

using vmesim::Crate;
using vmesim::Width;

namespace {

void cycles(Crate& c, const Crate::Slot& s, std::uint32_t offset, std::uint32_t data) {
  const std::uint32_t a = s.config.base + offset;
  std::uint32_t v = 0;
  for (Width w : {Width::D8, Width::D16, Width::D32}) {
    c.read(s.config.space, a, w, v);
    c.write(s.config.space, a, w, data ^ v);
    c.read(s.config.space, a, w, v);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  auto c = Crate::parse(text, "fuzz.crate", error);
  if (!c) {
    if (error.rfind("crate file fuzz.crate line ", 0) != 0) __builtin_trap();
    return 0;
  }
  if (!error.empty()) __builtin_trap();
  std::uint32_t seed = 0x5A5A5A5Au;
  for (std::size_t i = 0; i < size; ++i) seed = seed * 31 + data[i];
  for (std::size_t i = 0; i < c->slots().size(); ++i) {
    const Crate::Slot& s = c->slots()[i];
    const std::uint32_t n = s.config.size;
    for (std::uint32_t off = 0; off < n && off < 0x40; off += 2) cycles(*c, s, off, seed + off);
    for (std::uint32_t back : {1u, 2u, 4u, 8u})
      if (back <= n) cycles(*c, s, n - back, seed ^ back);
    cycles(*c, s, n, seed);  // one past the end: decoded by no board or the next
    if (n > 0x8000) cycles(*c, s, 0x8000, seed);
  }
  return 0;
}
