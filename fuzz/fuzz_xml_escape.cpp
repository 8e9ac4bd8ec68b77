// The record writers' escaping: any bytes through xmlEscape must give text
// that XML 1.0 can hold (only its characters, markup only as the escapes)
// and that reads back to the same bytes; utf8Kept must give UTF-8 that the
// JSON library writes and reads back unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "foundation/record_text.h"

namespace {

// Decodes one UTF-8 character of t at i by the table of well-formed
// sequences; -1 when there is none.
long decode(std::string_view t, std::size_t& i) {
  const auto b = [&](std::size_t k) { return static_cast<unsigned char>(t[k]); };
  const unsigned c = b(i);
  std::size_t n = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3
                                 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
  if (n == 0 || i + n > t.size()) return -1;
  unsigned lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (c == 0xE0) lo = 0xA0;
  if (c == 0xED) hi = 0x9F;
  if (c == 0xF0) lo = 0x90;
  if (c == 0xF4) hi = 0x8F;
  long v = n == 1 ? c : c & (0x3F >> (n - 1));
  for (std::size_t k = 1; k < n; ++k) {
    const unsigned d = b(i + k);
    if (k == 1 ? (d < lo || d > hi) : (d & 0xC0) != 0x80) return -1;
    v = (v << 6) | (d & 0x3F);
  }
  i += n;
  return v;
}

bool xmlChar(long c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// What an XML reader makes of the escaped text, then the visible escapes
// undone.  Aborts on anything the escaper must never write.
std::string unescape(std::string_view x) {
  static const std::pair<std::string_view, char> kEntities[] = {
      {"&amp;", '&'}, {"&lt;", '<'}, {"&gt;", '>'}, {"&quot;", '"'}, {"&apos;", '\''},
      {"&#9;", '\t'}, {"&#10;", '\n'}, {"&#13;", '\r'}};
  std::string out;
  std::size_t i = 0;
  while (i < x.size()) {
    const char c = x[i];
    if (c == '&') {
      bool found = false;
      for (const auto& [text, ch] : kEntities)
        if (x.substr(i, text.size()) == text) {
          out += ch;
          i += text.size();
          found = true;
          break;
        }
      if (!found) std::abort();
    } else if (c == '\\') {
      if (i + 1 < x.size() && x[i + 1] == '\\') {
        out += '\\';
        i += 2;
      } else if (i + 3 < x.size() && x[i + 1] == 'x' && hexValue(x[i + 2]) >= 0 &&
                 hexValue(x[i + 3]) >= 0) {
        out += static_cast<char>(hexValue(x[i + 2]) * 16 + hexValue(x[i + 3]));
        i += 4;
      } else {
        std::abort();
      }
    } else {
      if (c == '<' || c == '>' || c == '"' || c == '\'' || c == '\t' || c == '\n' || c == '\r')
        std::abort();  // markup or white space a reader would change
      const std::size_t from = i;
      const long cp = decode(x, i);
      if (cp < 0 || !xmlChar(cp) || cp == 0x7F) std::abort();
      out.append(x.substr(from, i - from));
    }
  }
  return out;
}

bool wellFormedUtf8(std::string_view t) {
  for (std::size_t i = 0; i < t.size();)
    if (decode(t, i) < 0) return false;
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view in(reinterpret_cast<const char*>(data), size);
  if (unescape(xmlEscape(in)) != in) std::abort();

  const std::string kept = utf8Kept(in);
  if (!wellFormedUtf8(kept)) std::abort();
  // Well-formed text is kept as it is; otherwise every byte is still there.
  if (wellFormedUtf8(in) && kept != in) std::abort();
  if (kept.size() < in.size()) std::abort();
  const std::string dumped = nlohmann::json(kept).dump();
  if (nlohmann::json::parse(dumped).get<std::string>() != kept) std::abort();
  return 0;
}
