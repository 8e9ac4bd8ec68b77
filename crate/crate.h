// The simulated VME crate: boards at addresses in A24 and A32 space, one
// bunch-crossing clock and the crate file.  The bus-cycle trace belongs to
// the bus library.
//
// A bus cycle is dispatched to the board that decodes its address.  An
// address no board decodes, a width the board does not answer or a
// misaligned cycle is a bus error: reads give all ones, nothing else happens.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/bus_types.h"

namespace vmesim {

// The bus's types, as the boards see them.
using vmebus::Space;
using vmebus::Width;
using vmebus::allOnes;
using vmebus::spaceSize;

// Bit masks for Board::widths().
inline constexpr unsigned kD8 = 1;
inline constexpr unsigned kD16 = 2;
inline constexpr unsigned kD32 = 4;

// Time in bunch crossings (25 ns).  Each bus cycle costs kBcPerCycle.
using Bc = std::uint64_t;
inline constexpr Bc kBcPerCycle = 20;

// fault=NAME[:ARG[:ARG]] from a crate file line.
struct Fault {
  std::string name;
  std::vector<std::uint32_t> args;
};

// One board line of a crate file, after the common options are taken.
struct BoardConfig {
  std::string kind;
  Space space = Space::A24;
  std::uint32_t base = 0;
  std::uint32_t size = 0;
  std::string name;
  std::vector<Fault> faults;
  // Options that only the board kind understands (firmware=, serial=, ...).
  std::vector<std::pair<std::string, std::string>> options;
  int line = 0;
};

class Crate;

// A board model: declares the widths it answers and gets reads and writes at
// a byte offset inside its own address range.  Return false for a bus error.
class Board {
 public:
  virtual ~Board() = default;
  virtual unsigned widths() const = 0;
  virtual bool read(std::uint32_t offset, Width w, std::uint32_t& value) = 0;
  virtual bool write(std::uint32_t offset, Width w, std::uint32_t value) = 0;
  // Called once every board of the crate exists (a sender finds its receiver).
  virtual void connect(Crate&) {}
};

// A board kind of the crate file.  make() reports unknown options or faults
// through error and returns null.
struct BoardKind {
  const char* name;
  std::uint32_t defaultSize;
  std::unique_ptr<Board> (*make)(const BoardConfig& config, Crate& crate, std::string& error);
};
const std::vector<BoardKind>& boardKinds();

// Parses a number in C notation (0x hex, leading 0 octal, decimal); the whole
// text must be used.  Negative numbers are allowed where allowNegative.
bool parseNumber(const std::string& text, long long& value, bool allowNegative = false);
// Splits "stuck0:0x10:0xFF" style fault arguments; helpers for board factories.
bool faultArgs(const Fault& f, std::size_t count, std::string& error);

// Statuses forced on the bus-library calls by the crate file's library line.
using LibraryForce = vmebus::ForcedStatuses;

class Crate {
 public:
  struct Slot {
    BoardConfig config;
    std::unique_ptr<Board> board;
  };

  Crate() = default;
  Crate(const Crate&) = delete;
  Crate& operator=(const Crate&) = delete;
  ~Crate();

  // Builds a crate from crate-file text.  On failure returns null and sets
  // error to "NAME:LINE: reason".
  static std::unique_ptr<Crate> parse(const std::string& text, const std::string& fileName,
                                      std::string& error);
  static std::unique_ptr<Crate> fromFile(const std::string& path, std::string& error);
  static std::unique_ptr<Crate> makeDefault();
  static const char* defaultText();

  // One bus cycle each: decoded, traced, and the clock advances.
  bool read(Space s, std::uint32_t address, Width w, std::uint32_t& value);
  bool write(Space s, std::uint32_t address, Width w, std::uint32_t value);

  Bc now() const { return now_; }
  void advance(Bc n) { now_ += n; }
  // Bus cycles made so far (bus errors included).
  std::uint64_t cycles() const { return cycles_; }

  const LibraryForce& library() const { return library_; }
  LibraryForce& library() { return library_; }
  const std::vector<Slot>& slots() const { return slots_; }

  // First board of the given model type, or null.
  template <class T>
  T* find() const {
    for (const Slot& s : slots_)
      if (T* b = dynamic_cast<T*>(s.board.get())) return b;
    return nullptr;
  }
  // Index of the board named name (case-sensitive), or -1.
  int findName(const std::string& name) const;

  // Adds a board (used by the parser and by tests).
  Board& add(BoardConfig config, std::unique_ptr<Board> board);

 private:
  Slot* decode(Space s, std::uint32_t address, Width w);

  std::vector<Slot> slots_;
  Slot* last_ = nullptr;
  Bc now_ = 0;
  std::uint64_t cycles_ = 0;
  LibraryForce library_;
};

// The process-wide crate.  The bus library loads it when its bus starts on
// the simulated crate.
extern Crate* gCrate;
inline Crate& crate() { return *gCrate; }
// Replaces the process-wide crate (tests).
void installCrate(std::unique_ptr<Crate> c);
// Installs the crate of a crate file, or the default crate when file is
// empty.  False with error set when the file cannot be read or parsed.
bool loadCrate(const std::string& file, std::string& error);
// Where the crate came from: "(built-in default)" or the crate file's name.
const std::string& crateSource();

}  // namespace vmesim
