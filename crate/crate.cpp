#include "crate/crate.h"

#include "crate/open_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>

namespace vmesim {

namespace {

const char kDefaultCrate[] =
    "# kind     space  base       options\n"
    "qem        A24    0xF00000   firmware=9 serial=0x01\n"
    "ttcvi      A24    0xBAD000\n"
    "trigger    A24    0xFF0000\n"
    "trigger    A24    0x180000   name=LOBBO\n"
    "memory     A24    0x200000   size=0x10000\n"
    "memory     A32    0xD000000  size=0x20000\n"
    "library    init=0 map=0\n";

// What a crate file may make the program hold.  A crate has a few boards on
// a few lines; these bounds are far above any real one and keep a wrong file
// (a device, a log, a typo in a size) from taking the machine's memory.
constexpr std::size_t kMaxFileBytes = 64 * 1024;
constexpr std::size_t kMaxLineBytes = 1024;
constexpr std::size_t kMaxBoards = 256;
constexpr std::uint64_t kMaxBoardSize = 0x1000000;     // all of A24 space
constexpr std::uint64_t kMaxStorageBytes = 0x4000000;  // sizes of all boards together

// The number of the line that holds byte offset pos of text.
int lineOf(const std::string& text, std::size_t pos) {
  return 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(pos), '\n'));
}

std::vector<std::string> splitBlanks(const std::string& line) {
  std::vector<std::string> out;
  std::istringstream in(line);
  std::string tok;
  while (in >> tok) out.push_back(tok);
  return out;
}

bool splitKey(const std::string& tok, std::string& key, std::string& value) {
  auto eq = tok.find('=');
  if (eq == std::string::npos || eq == 0) return false;
  key = tok.substr(0, eq);
  value = tok.substr(eq + 1);
  return true;
}

bool parseFault(const std::string& text, Fault& f, std::string& error) {
  std::vector<std::string> parts;
  std::string::size_type start = 0;
  for (;;) {
    auto colon = text.find(':', start);
    parts.push_back(text.substr(start, colon == std::string::npos ? std::string::npos : colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts[0].empty()) {
    error = "fault without a name";
    return false;
  }
  f.name = parts[0];
  for (std::size_t i = 1; i < parts.size(); ++i) {
    long long v = 0;
    if (!parseNumber(parts[i], v) || v > 0xFFFFFFFFll) {
      error = "bad fault argument '" + parts[i] + "' in fault=" + text;
      return false;
    }
    f.args.push_back(static_cast<std::uint32_t>(v));
  }
  return true;
}

}  // namespace

bool parseNumber(const std::string& text, long long& value, bool allowNegative) {
  if (text.empty()) return false;
  const char* s = text.c_str();
  bool neg = false;
  if (*s == '-' || *s == '+') {
    if (*s == '-' && !allowNegative) return false;
    neg = *s == '-';
    ++s;
  }
  if (*s < '0' || *s > '9') return false;
  errno = 0;
  char* end = nullptr;
  unsigned long long v = std::strtoull(s, &end, 0);
  // The whole text: a NUL inside it must not end the number unseen.
  if (errno != 0 || end != text.c_str() + text.size() || v > 0xFFFFFFFFull) return false;
  value = neg ? -static_cast<long long>(v) : static_cast<long long>(v);
  return true;
}

bool faultArgs(const Fault& f, std::size_t count, std::string& error) {
  if (f.args.size() == count) return true;
  error = "fault " + f.name + " takes " + std::to_string(count) + " argument" +
          (count == 1 ? "" : "s");
  return false;
}

Crate::~Crate() = default;

const char* Crate::defaultText() { return kDefaultCrate; }

std::unique_ptr<Crate> Crate::makeDefault() {
  std::string error;
  auto c = parse(kDefaultCrate, "(default crate)", error);
  if (!c) {
    // The default crate is ours; failing to build it is a programming error.
    std::fprintf(stderr, "vme-sim: %s\n", error.c_str());
    std::abort();
  }
  return c;
}

std::unique_ptr<Crate> Crate::fromFile(const std::string& path, std::string& error) {
  auto cannot = [&](int e) {
    error = "crate file " + path + ": cannot be read: " + fileErrorText(e);
    return nullptr;
  };
  // Read whole or refused: a directory, a FIFO, a read that fails part-way or
  // a file without end (a device) gives no crate at all; the parser refuses a
  // text over the limit, naming the line.
  std::string text;
  if (!readWholeFile(path.c_str(), kMaxFileBytes, text, "crate file")) return cannot(errno);
  return parse(text, path, error);
}

std::unique_ptr<Crate> Crate::parse(const std::string& text, const std::string& fileName,
                                    std::string& error) {
  auto c = std::make_unique<Crate>();
  std::istringstream in(text);
  std::string line;
  int lineNo = 0;
  auto fail = [&](const std::string& why) {
    error = "crate file " + fileName + " line " + std::to_string(lineNo) + ": " + why;
    return nullptr;
  };
  if (text.size() > kMaxFileBytes) {
    lineNo = lineOf(text, kMaxFileBytes);
    return fail("the file is longer than " + std::to_string(kMaxFileBytes) + " bytes");
  }
  std::size_t boards = 0;
  std::uint64_t storage = 0;
  while (std::getline(in, line)) {
    ++lineNo;
    if (!line.empty() && line.back() == '\r') line.pop_back();  // CR LF ends a line as LF
    if (line.size() > kMaxLineBytes)
      return fail("line longer than " + std::to_string(kMaxLineBytes) + " characters");
    if (line.find('\0') != std::string::npos) return fail("NUL byte in the line");
    auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    auto tok = splitBlanks(line);
    if (tok.empty()) continue;

    if (tok[0] == "library") {
      for (std::size_t i = 1; i < tok.size(); ++i) {
        std::string key, value;
        long long v = 0;
        if (!splitKey(tok[i], key, value)) return fail("expected key=value, got '" + tok[i] + "'");
        if (!parseNumber(value, v, true) || v < -32768 || v > 32767)
          return fail("library status '" + value + "' is not a signed 16-bit number");
        auto s = static_cast<std::int16_t>(v);
        LibraryForce& f = c->library_;
        if (key == "init") f.init = s;
        else if (key == "size") f.size = s;
        else if (key == "map") f.map = s;
        else if (key == "range") f.range = s;
        else if (key == "unmap") f.unmap = s;
        else if (key == "close") f.close = s;
        else if (key == "lookup") f.lookup = s;
        else if (key == "status") f.status = s;
        else return fail("unknown library call '" + key + "'");
      }
      continue;
    }

    const BoardKind* kind = nullptr;
    for (const BoardKind& k : boardKinds())
      if (tok[0] == k.name) kind = &k;
    if (kind == nullptr) return fail("unknown board kind '" + tok[0] + "'");
    if (tok.size() < 3) return fail("expected: kind space base [options]");

    BoardConfig config;
    config.kind = tok[0];
    config.line = lineNo;
    if (tok[1] == "A24") config.space = Space::A24;
    else if (tok[1] == "A32") config.space = Space::A32;
    else return fail("unknown address space '" + tok[1] + "' (A24 or A32)");
    long long base = 0;
    if (!parseNumber(tok[2], base)) return fail("bad base address '" + tok[2] + "'");
    config.base = static_cast<std::uint32_t>(base);
    config.size = kind->defaultSize;

    for (std::size_t i = 3; i < tok.size(); ++i) {
      std::string key, value;
      if (!splitKey(tok[i], key, value)) return fail("expected key=value, got '" + tok[i] + "'");
      if (key == "size") {
        long long v = 0;
        if (!parseNumber(value, v) || v == 0) return fail("bad size '" + value + "'");
        if (static_cast<std::uint64_t>(v) > kMaxBoardSize)
          return fail("size " + value + " is larger than a board may be (0x1000000)");
        config.size = static_cast<std::uint32_t>(v);
      } else if (key == "name") {
        if (value.empty()) return fail("empty name");
        config.name = value;
      } else if (key == "fault") {
        Fault f;
        std::string why;
        if (!parseFault(value, f, why)) return fail(why);
        config.faults.push_back(f);
      } else {
        config.options.emplace_back(key, value);
      }
    }
    if (config.base % 4 != 0) return fail("base address must be a multiple of 4");
    if (static_cast<std::uint64_t>(config.base) + config.size > spaceSize(config.space))
      return fail("board does not fit in " + tok[1] + " space");
    for (const Slot& s : c->slots_) {
      if (s.config.space != config.space) continue;
      std::uint64_t a0 = config.base, a1 = a0 + config.size;
      std::uint64_t b0 = s.config.base, b1 = b0 + s.config.size;
      if (a0 < b1 && b0 < a1)
        return fail("overlaps the board of line " + std::to_string(s.config.line));
    }
    if (++boards > kMaxBoards)
      return fail("more than " + std::to_string(kMaxBoards) + " boards in the crate");
    storage += config.size;
    if (storage > kMaxStorageBytes)
      return fail("the boards' sizes add up to more than 0x4000000 bytes");
    std::string why;
    auto board = kind->make(config, *c, why);
    if (!board) return fail(why.empty() ? "cannot build board" : why);
    c->add(std::move(config), std::move(board));
  }
  for (Slot& s : c->slots_) s.board->connect(*c);
  return c;
}

Board& Crate::add(BoardConfig config, std::unique_ptr<Board> board) {
  slots_.push_back(Slot{std::move(config), std::move(board)});
  last_ = nullptr;
  return *slots_.back().board;
}

int Crate::findName(const std::string& name) const {
  for (std::size_t i = 0; i < slots_.size(); ++i)
    if (!slots_[i].config.name.empty() && slots_[i].config.name == name) return static_cast<int>(i);
  return -1;
}

// A board decodes a cycle only when all of its bytes lie inside the board: a
// cycle that straddles the board's end is a bus error, never an access past it.
static bool decodes(const BoardConfig& c, Space s, std::uint32_t address, Width w) {
  const auto n = static_cast<std::uint32_t>(w);
  return c.space == s && c.size >= n && address - c.base <= c.size - n;
}

Crate::Slot* Crate::decode(Space s, std::uint32_t address, Width w) {
  if (last_ != nullptr && decodes(last_->config, s, address, w)) return last_;
  for (Slot& slot : slots_) {
    if (decodes(slot.config, s, address, w)) {
      last_ = &slot;
      return last_;
    }
  }
  return nullptr;
}

bool Crate::read(Space s, std::uint32_t address, Width w, std::uint32_t& value) {
  bool ok = false;
  value = allOnes(w);
  if (vmebus::aligned(address, w)) {
    if (Slot* slot = decode(s, address, w)) {
      if ((slot->board->widths() & static_cast<unsigned>(w)) != 0) {
        std::uint32_t v = 0;
        ok = slot->board->read(address - slot->config.base, w, v);
        if (ok) value = v & allOnes(w);
      }
    }
  }
  now_ += kBcPerCycle;
  ++cycles_;
  return ok;
}

bool Crate::write(Space s, std::uint32_t address, Width w, std::uint32_t value) {
  bool ok = false;
  value &= allOnes(w);
  if (vmebus::aligned(address, w)) {
    if (Slot* slot = decode(s, address, w)) {
      if ((slot->board->widths() & static_cast<unsigned>(w)) != 0)
        ok = slot->board->write(address - slot->config.base, w, value);
    }
  }
  now_ += kBcPerCycle;
  ++cycles_;
  return ok;
}

Crate* gCrate = nullptr;

void installCrate(std::unique_ptr<Crate> c) {
  static std::unique_ptr<Crate> owner;
  owner = std::move(c);
  gCrate = owner.get();
}

namespace {
std::string& source() {
  static std::string text = "(built-in default)";
  return text;
}
}  // namespace

const std::string& crateSource() { return source(); }

bool loadCrate(const std::string& file, std::string& error) {
  std::unique_ptr<Crate> c;
  if (!file.empty()) {
    c = Crate::fromFile(file, error);
    if (!c) return false;
    source() = file;
  } else {
    c = Crate::makeDefault();
    source() = "(built-in default)";
  }
  installCrate(std::move(c));
  return true;
}

}  // namespace vmesim
