#include "buslib/device_table.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <vector>

#include "crate/open_file.h"

namespace vmebus {

namespace {

// Decimal, or hex after 0x; the whole word, 0 to 32767.
bool logicalAddress(const std::string& word, int& la) {
  const bool hex = word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X');
  const std::size_t start = hex ? 2 : 0;
  if (word.size() == start) return false;
  long v = 0;
  for (std::size_t i = start; i < word.size(); ++i) {
    const char c = word[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (hex && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (hex && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    v = v * (hex ? 16 : 10) + d;
    if (v > 0x7FFF) return false;
  }
  la = static_cast<int>(v);
  return true;
}

// The lines of text: LF, CR LF and a lone CR each end one.
std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\n' || c == '\r') {
      lines.push_back(line);
      line.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

}  // namespace

int lookupInTable(const char* path, const std::string& name) {
  // A table is a few lines; a larger file is not one.
  constexpr std::size_t kMaxTableBytes = 0x10000;
  std::string text;
  if (!vmesim::readWholeFile(path, kMaxTableBytes, text, "device table")) {
    if (errno == EEXIST) return -1;  // the trace: said already
    std::fprintf(stderr, "vme-bus: device table %s cannot be read: %s\n", path,
                 vmesim::fileErrorText(errno));
    return -1;
  }
  if (text.size() > kMaxTableBytes || text.find('\0') != std::string::npos) {
    std::fprintf(stderr, "vme-bus: device table %s is not a table of names (NUL byte or over %zu "
                 "bytes)\n", path, kMaxTableBytes);
    return -1;
  }
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  const std::vector<std::string> lines = splitLines(text);
  int found = -1;
  int foundLine = 0;
  std::string others;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const int lineNo = static_cast<int>(i) + 1;
    std::string line = lines[i];
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    std::istringstream words(line);
    std::string key, number, extra;
    if (!(words >> key) || key != name) continue;
    if (foundLine != 0) {
      others += (others.empty() ? "" : ", ") + std::to_string(lineNo);
      continue;
    }
    if (!(words >> number) || (words >> extra) || !logicalAddress(number, found)) {
      std::fprintf(stderr, "vme-bus: device table %s line %d: expected NAME LOGICAL-ADDRESS\n",
                   path, lineNo);
      return -1;
    }
    foundLine = lineNo;
  }
  if (!others.empty())
    std::fprintf(stderr, "vme-bus: device table %s: %s is on line %d and again on line%s %s; "
                 "line %d wins\n", path, name.c_str(), foundLine,
                 others.find(',') != std::string::npos ? "s" : "", others.c_str(), foundLine);
  return found;
}

}  // namespace vmebus
