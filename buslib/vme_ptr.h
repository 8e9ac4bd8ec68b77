// The pointer a mapped VME window gives the programs: a window plus a byte
// offset.  Its D8, D16 and D32 loads and stores are single bus cycles, made
// in program order, never cached or merged.
//
// Two backends share the interface: WindowPtr goes through the window's
// access method (the simulated crate, the kernel's VME interface), DirectPtr
// is a plain volatile access through a real mapped address.  VmePtr names the
// one this build uses.
#pragma once

#include <array>
#include <cstdint>

#include "buslib/access_method.h"
#include "buslib/bus_trace.h"
#include "common/bus_types.h"

namespace vmebus {

// An access at or beyond the end of a window (or through an unmapped one):
// not passed to the bus, counted as a bus error, one line on stderr.
std::uint32_t outsideWindow(const Window* w, std::uint32_t offset, Width width, bool write);
// Counts a bus error reported by the bus.
void busErrorSeen();
// A cycle at an address not aligned to its width cannot be one cycle of that
// width on any bus: it never reaches the method.  Counted and traced as a bus
// error; gives all ones.
std::uint32_t misalignedCycle(const Window& win, char dir, std::uint32_t address, Width w,
                              std::uint32_t value);

// One bus cycle through a window's method, counted and traced.  The offset
// lies inside the window.
inline std::uint32_t busRead(const Window& win, std::uint32_t offset, Width w) {
  const std::uint32_t address = win.vmeBase + offset;
  if (!aligned(address, w)) [[unlikely]]
    return misalignedCycle(win, 'R', address, w, allOnes(w));
  std::uint32_t v;
  const bool ok = win.method->read(win, offset, w, v);
  if (!ok) busErrorSeen();
  traceIfOn('R', win.space, address, w, v, !ok);
  return v;
}
inline void busWrite(const Window& win, std::uint32_t offset, Width w, std::uint32_t v) {
  const std::uint32_t address = win.vmeBase + offset;
  v &= allOnes(w);
  if (!aligned(address, w)) [[unlikely]] {
    misalignedCycle(win, 'W', address, w, v);
    return;
  }
  const bool ok = win.method->write(win, offset, w, v);
  if (!ok) busErrorSeen();
  traceIfOn('W', win.space, address, w, v, !ok);
}

// Eight upper-case hex digits, the printed form of a pointer.
using PtrText = std::array<char, 9>;
PtrText formatHostAddress(std::uint32_t address);

class WindowPtr {
 public:
  constexpr WindowPtr() = default;
  constexpr WindowPtr(Window* w, std::uint32_t offset) : w_(w), off_(offset) {}

  bool isNull() const { return w_ == nullptr; }
  explicit operator bool() const { return w_ != nullptr; }
  friend bool operator==(const WindowPtr& a, const WindowPtr& b) {
    return a.w_ == b.w_ && a.off_ == b.off_;
  }

  // The pointer advanced by a number of bytes.
  WindowPtr operator+(std::uint32_t bytes) const { return WindowPtr(w_, off_ + bytes); }
  std::uint32_t offset() const { return off_; }
  Window* window() const { return w_; }
  std::uint32_t hostAddress() const { return w_ ? w_->hostBase + off_ : 0; }
  PtrText text() const { return formatHostAddress(hostAddress()); }

  std::uint8_t read8(std::uint32_t byteOffset = 0) const {
    return static_cast<std::uint8_t>(read(byteOffset, Width::D8));
  }
  std::uint16_t read16(std::uint32_t byteOffset = 0) const {
    return static_cast<std::uint16_t>(read(byteOffset, Width::D16));
  }
  std::uint32_t read32(std::uint32_t byteOffset = 0) const {
    return read(byteOffset, Width::D32);
  }
  void write8(std::uint32_t byteOffset, std::uint8_t v) const {
    write(byteOffset, Width::D8, v);
  }
  void write16(std::uint32_t byteOffset, std::uint16_t v) const {
    write(byteOffset, Width::D16, v);
  }
  void write32(std::uint32_t byteOffset, std::uint32_t v) const {
    write(byteOffset, Width::D32, v);
  }

  // Register-style shorthands for the word at the pointer itself.
  std::uint16_t get() const { return read16(0); }
  void set(std::uint16_t v) const { write16(0, v); }

 private:
  bool inside(std::uint32_t a, Width w) const {
    const auto n = static_cast<std::uint32_t>(w);
    return w_ != nullptr && w_->mapped && a < w_->size && w_->size - a >= n;
  }
  std::uint32_t read(std::uint32_t byteOffset, Width w) const {
    const std::uint32_t a = off_ + byteOffset;
    if (!inside(a, w)) return outsideWindow(w_, a, w, false);
    return busRead(*w_, a, w);
  }
  void write(std::uint32_t byteOffset, Width w, std::uint32_t v) const {
    const std::uint32_t a = off_ + byteOffset;
    if (!inside(a, w)) {
      outsideWindow(w_, a, w, true);
      return;
    }
    busWrite(*w_, a, w, v);
  }

  Window* w_ = nullptr;
  std::uint32_t off_ = 0;
};

// Plain volatile access through a mapped host address: what a hardware
// backend uses.  Costs exactly what a raw volatile pointer costs.
class DirectPtr {
 public:
  constexpr DirectPtr() = default;
  explicit DirectPtr(volatile void* p) : p_(static_cast<volatile std::uint8_t*>(p)) {}

  bool isNull() const { return p_ == nullptr; }
  explicit operator bool() const { return p_ != nullptr; }
  DirectPtr operator+(std::uint32_t bytes) const { return DirectPtr(p_ + bytes); }

  std::uint8_t read8(std::uint32_t o = 0) const { return p_[o]; }
  std::uint16_t read16(std::uint32_t o = 0) const {
    return *reinterpret_cast<volatile std::uint16_t*>(p_ + o);
  }
  std::uint32_t read32(std::uint32_t o = 0) const {
    return *reinterpret_cast<volatile std::uint32_t*>(p_ + o);
  }
  void write8(std::uint32_t o, std::uint8_t v) const { p_[o] = v; }
  void write16(std::uint32_t o, std::uint16_t v) const {
    *reinterpret_cast<volatile std::uint16_t*>(p_ + o) = v;
  }
  void write32(std::uint32_t o, std::uint32_t v) const {
    *reinterpret_cast<volatile std::uint32_t*>(p_ + o) = v;
  }
  std::uint16_t get() const { return read16(0); }
  void set(std::uint16_t v) const { write16(0, v); }
  PtrText text() const {
    return formatHostAddress(static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(p_)));
  }

 private:
  volatile std::uint8_t* p_ = nullptr;
};

}  // namespace vmebus

// The mapped pointer of this build.
using VmePtr = vmebus::WindowPtr;
