#include "foundation/record_text.h"

#include <cstdint>

namespace {

std::uint32_t codePoint(std::string_view t, std::size_t n) {
  const auto b = [&](std::size_t i) { return static_cast<std::uint32_t>(static_cast<unsigned char>(t[i])); };
  if (n == 1) return b(0);
  std::uint32_t c = b(0) & (0x7Fu >> n);
  for (std::size_t i = 1; i < n; ++i) c = (c << 6) | (b(i) & 0x3F);
  return c;
}

void appendUtf8(std::string& out, std::uint32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

const char kHex[] = "0123456789ABCDEF";

}  // namespace

std::size_t utf8Length(std::string_view t) {
  if (t.empty()) return 0;
  const auto lead = static_cast<unsigned char>(t[0]);
  std::size_t n;
  std::uint32_t least;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) n = 2, least = 0x80;
  else if (lead >= 0xE0 && lead <= 0xEF) n = 3, least = 0x800;
  else if (lead >= 0xF0 && lead <= 0xF4) n = 4, least = 0x10000;
  else return 0;
  if (t.size() < n) return 0;
  for (std::size_t i = 1; i < n; ++i)
    if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) return 0;
  const std::uint32_t c = codePoint(t, n);
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return n;
}

std::string utf8Kept(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t n = utf8Length(bytes);
    if (n == 0) {
      appendUtf8(out, static_cast<unsigned char>(bytes[0]));
      bytes.remove_prefix(1);
    } else {
      out.append(bytes.substr(0, n));
      bytes.remove_prefix(n);
    }
  }
  return out;
}

std::string xmlEscape(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size() + 16);
  while (!bytes.empty()) {
    const auto c = static_cast<unsigned char>(bytes[0]);
    std::size_t n = utf8Length(bytes);
    // XML 1.0 has no U+FFFE and U+FFFF.
    if (n == 3 && c == 0xEF && static_cast<unsigned char>(bytes[1]) == 0xBF &&
        static_cast<unsigned char>(bytes[2]) >= 0xBE)
      n = 0;
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      case '\\': out += "\\\\"; break;
      default:
        if (n == 0 || c < 0x20 || c == 0x7F) {
          out += "\\x";
          out += kHex[c >> 4];
          out += kHex[c & 0xF];
          n = 1;
        } else {
          out.append(bytes.substr(0, n));
        }
        bytes.remove_prefix(n);
        continue;
    }
    bytes.remove_prefix(1);
  }
  return out;
}
