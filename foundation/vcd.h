// A Value Change Dump (IEEE 1364 section 18) of wires: declared in scopes,
// changed at times in any order, written out with the changes only, in time
// order.  Wires only (no real or string variables), one-character
// identifiers from '!' to '~', #0 before $dumpvars.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class Vcd {
 public:
  // A value not known (written as x).
  static constexpr std::int64_t kUnknown = -1;
  // As many wires as one-character identifiers.
  static constexpr int kMaxWires = '~' - '!' + 1;

  void scope(const std::string& name);
  void upscope();
  // A wire of width bits (1 to 32) in the open scope, with its value at #0.
  // Returns its number, or -1 when every identifier is taken.
  int wire(const std::string& name, int width, std::int64_t initial = 0);
  // The wire takes value at time; the last change made for one time holds.
  void change(int wire, std::uint64_t time, std::int64_t value);

  // The whole file; end is the time of the last line (the end of the dump).
  // Puts the changes in time order first.
  std::string text(const std::string& date, const std::string& version,
                   const std::string& comment, const std::string& timescale,
                   std::uint64_t end);

 private:
  struct Wire {
    int width;
    std::int64_t initial;
  };
  struct Change {
    std::uint64_t time;
    int wire;
    std::int64_t value;
  };
  std::vector<std::string> definitions_;
  std::vector<Wire> wires_;
  std::vector<Change> changes_;
};
