// Reads a Value Change Dump back: each wire's values by its scope path
// ("qem.sink.L1A"), checking what the viewers rely on: wires only,
// identifiers '!' to '~', #0 before $dumpvars, strictly rising times.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vmetest {

struct VcdWaves {
  std::string error, timescale;  // error: empty when the file reads as it should
  std::uint64_t end = 0;         // the last time
  std::map<std::string, int> width;
  std::map<std::string, std::vector<std::pair<std::uint64_t, std::int64_t>>> changes;

  // The value at each of words words, one every step; -1 for x.
  std::vector<std::int64_t> perWord(const std::string& wire, int words, std::uint64_t step = 25) const {
    std::vector<std::int64_t> out;
    const auto& c = changes.at(wire);
    std::int64_t v = -1;
    for (std::size_t k = 0, i = 0; k < static_cast<std::size_t>(words); ++k, out.push_back(v))
      for (; i < c.size() && c[i].first <= k * step; ++i) v = c[i].second;
    return out;
  }
};

inline VcdWaves readVcd(const std::string& text) {
  VcdWaves w;
  std::istringstream in(text);
  std::vector<std::string> scopes;
  std::map<std::string, std::string> names;  // identifier -> path
  std::string token;
  bool body = false, dumped = false, timed = false;
  const auto fail = [&](const std::string& why) { w.error = w.error.empty() ? why : w.error; };
  while (in >> token) {
    if (!body) {  // "$keyword words... $end"
      std::string words, kind, name, id;
      for (std::string t; in >> t && t != "$end";) words += (words.empty() ? "" : " ") + t;
      std::istringstream f(words);
      int width = 0;
      if (token == "$timescale") w.timescale = words;
      if (token == "$scope" && f >> kind >> name) scopes.push_back(name);
      if (token == "$upscope") scopes.pop_back();
      body = token == "$enddefinitions";
      if (token != "$var" || !(f >> kind >> width >> id >> name)) continue;
      if (kind != "wire" || id.size() != 1 || id[0] < '!' || id[0] > '~') fail("variable " + words);
      for (auto s = scopes.rbegin(); s != scopes.rend(); ++s) name = *s + "." + name;
      names[id] = name;
      w.width[name] = width;
    } else if (token[0] == '#') {
      const std::uint64_t t = std::stoull(token.substr(1));
      if (timed && t <= w.end) fail("time " + token + " after #" + std::to_string(w.end));
      w.end = t;
      timed = true;
    } else if (token == "$dumpvars") {
      if (!timed || w.end != 0) fail("$dumpvars before #0");
      dumped = true;
    } else if (token != "$end") {
      std::string bits = token.substr(1), id;
      if (token[0] == 'b') in >> id;
      else id = bits, bits = token.substr(0, 1);
      std::int64_t v = 0;
      for (const char c : bits) v = v < 0 || (c != '0' && c != '1') ? -1 : v * 2 + (c - '0');
      if (!names.count(id)) fail("no wire " + id);
      else w.changes[names[id]].push_back({w.end, v});
    }
  }
  if (!dumped) fail("no $dumpvars");
  return w;
}

}  // namespace vmetest
