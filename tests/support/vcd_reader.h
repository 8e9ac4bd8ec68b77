// Reads a Value Change Dump back: each wire's value at any time, by its
// scope path ("qem.sink.L1A"), checking what the viewers rely on: wires
// only, identifiers '!' to '~', #0 before $dumpvars, strictly rising times.
#pragma once

#include <cstdint>
#include <map>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace vmetest {

struct VcdWaves {
  std::string error;  // empty when the file reads as a VCD should
  std::string timescale, version;
  std::map<std::string, int> width;
  std::map<std::string, std::vector<std::pair<std::uint64_t, std::int64_t>>> changes;

  std::uint64_t end = 0;  // the last time
  // The value at each of words words, one every step; -1 for x.
  std::vector<std::int64_t> perWord(const std::string& wire, int words, std::uint64_t step = 25) const {
    std::vector<std::int64_t> out;
    const auto& c = changes.at(wire);
    std::size_t i = 0;
    std::int64_t v = -1;
    for (int k = 0; k < words; ++k) {
      for (; i < c.size() && c[i].first <= static_cast<std::uint64_t>(k) * step; ++i) v = c[i].second;
      out.push_back(v);
    }
    return out;
  }
};

inline VcdWaves readVcd(const std::string& text) {
  VcdWaves w;
  std::istringstream in(text);
  std::vector<std::string> scopes;
  std::map<std::string, std::string> names;  // identifier -> path
  std::string token, section;
  bool body = false, dumped = false, timed = false;
  std::uint64_t now = 0;
  auto fail = [&](const std::string& why) { if (w.error.empty()) w.error = why; };
  auto value = [&](const std::string& bits, const std::string& id) {
    if (!names.count(id)) return fail("no wire " + id);
    std::int64_t v = 0;
    for (const char c : bits) {
      if (c != '0' && c != '1') { v = -1; break; }
      v = v * 2 + (c - '0');
    }
    w.changes[names[id]].push_back({now, v});
  };
  while (in >> token) {
    if (!body) {
      std::string words;
      for (std::string t; in >> t && t != "$end";) words += (words.empty() ? "" : " ") + t;
      std::istringstream f(words);
      if (token == "$timescale") w.timescale = words;
      else if (token == "$version") w.version = words;
      else if (token == "$scope") { std::string kind, name; f >> kind >> name; scopes.push_back(name); }
      else if (token == "$upscope") scopes.pop_back();
      else if (token == "$enddefinitions") body = true;
      else if (token == "$var") {
        std::string kind, id, name;
        int width = 0;
        f >> kind >> width >> id >> name;
        if (kind != "wire") fail("a " + kind + " variable");
        if (id.size() != 1 || id[0] < '!' || id[0] > '~') fail("identifier " + id);
        std::string path;
        for (const std::string& s : scopes) path += s + ".";
        names[id] = path + name;
        w.width[path + name] = width;
      }
      continue;
    }
    if (token[0] == '#') {
      const std::uint64_t t = std::stoull(token.substr(1));
      if (timed && t <= now) fail("time " + token + " after #" + std::to_string(now));
      now = w.end = t;
      timed = true;
    } else if (token == "$dumpvars") {
      if (!timed || now != 0) fail("$dumpvars before #0");
      dumped = true;
    } else if (token == "$end") {
    } else if (token[0] == 'b') {
      std::string id;
      in >> id;
      value(token.substr(1), id);
    } else {
      value(token.substr(0, 1), token.substr(1));
    }
  }
  if (!dumped) fail("no $dumpvars");
  return w;
}

}  // namespace vmetest
