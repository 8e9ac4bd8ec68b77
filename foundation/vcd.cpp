#include "foundation/vcd.h"

#include <algorithm>

namespace {

char idOf(int wire) { return static_cast<char>('!' + wire); }

void appendValue(std::string& out, int width, std::int64_t value, char id) {
  if (width == 1) {
    out += value == Vcd::kUnknown ? 'x' : (value & 1) != 0 ? '1' : '0';
  } else {
    out += 'b';
    if (value == Vcd::kUnknown) {
      out += 'x';
    } else {
      // Leading zeros left out: the reader fills them in.
      int top = width - 1;
      while (top > 0 && ((value >> top) & 1) == 0) --top;
      for (int b = top; b >= 0; --b) out += ((value >> b) & 1) != 0 ? '1' : '0';
    }
    out += ' ';
  }
  out += id;
  out += '\n';
}

}  // namespace

void Vcd::scope(const std::string& name) { definitions_.push_back("$scope module " + name + " $end"); }

void Vcd::upscope() { definitions_.push_back("$upscope $end"); }

int Vcd::wire(const std::string& name, int width, std::int64_t initial) {
  if (static_cast<int>(wires_.size()) >= kMaxWires || width < 1 || width > 32) return -1;
  const int n = static_cast<int>(wires_.size());
  std::string line = "$var wire " + std::to_string(width) + " " + idOf(n) + " " + name;
  if (width > 1) line += " [" + std::to_string(width - 1) + ":0]";
  definitions_.push_back(line + " $end");
  wires_.push_back({width, initial});
  return n;
}

void Vcd::change(int wire, std::uint64_t time, std::int64_t value) {
  if (wire < 0 || wire >= static_cast<int>(wires_.size())) return;
  changes_.push_back({time, wire, value});
}

std::string Vcd::text(const std::string& date, const std::string& version,
                      const std::string& comment, const std::string& timescale,
                      std::uint64_t end) {
  std::string out = "$date " + date + " $end\n$version " + version + " $end\n";
  if (!comment.empty()) out += "$comment " + comment + " $end\n";
  out += "$timescale " + timescale + " $end\n";
  for (const std::string& d : definitions_) out += d + '\n';
  out += "$enddefinitions $end\n#0\n$dumpvars\n";
  std::stable_sort(changes_.begin(), changes_.end(),
                   [](const Change& a, const Change& b) { return a.time < b.time; });
  // What holds at #0 goes into $dumpvars.
  const std::size_t n = wires_.size();
  std::vector<std::int64_t> now(n), next(n);
  for (std::size_t w = 0; w < n; ++w) now[w] = next[w] = wires_[w].initial;
  std::size_t i = 0;
  for (; i < changes_.size() && changes_[i].time == 0; ++i)
    now[changes_[i].wire] = next[changes_[i].wire] = changes_[i].value;
  for (std::size_t w = 0; w < n; ++w) appendValue(out, wires_[w].width, now[w], idOf(static_cast<int>(w)));
  out += "$end\n";

  std::uint64_t last = 0;
  std::vector<char> touched(n, 0);
  while (i < changes_.size()) {
    const std::uint64_t t = changes_[i].time;
    for (; i < changes_.size() && changes_[i].time == t; ++i) {
      next[changes_[i].wire] = changes_[i].value;
      touched[changes_[i].wire] = 1;
    }
    bool stamped = false;
    // The wires in their order, each once with its last value.
    for (std::size_t w = 0; w < n; ++w) {
      if (!touched[w]) continue;
      touched[w] = 0;
      if (next[w] == now[w]) continue;
      if (!stamped) out += "#" + std::to_string(t) + '\n';
      stamped = true;
      now[w] = next[w];
      appendValue(out, wires_[w].width, now[w], idOf(static_cast<int>(w)));
    }
    if (stamped) last = t;
  }
  if (end > last) out += "#" + std::to_string(end) + '\n';
  return out;
}
