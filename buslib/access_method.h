// Access methods: the ways the bus library reaches a VME bus.  Every library
// call and every access through a mapped pointer goes through one of them.
//
//   sim       the simulated crate of this suite
//   vme_user  the Linux kernel's VME user interface (/dev/bus/vme), or its
//             in-process stand-in over the simulated crate
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "crate/crate.h"

namespace vmebus {

using VmeStatus = std::int16_t;

class AccessMethod;
// The method in use, or null before the library has started.
AccessMethod* currentMethod();

// One mapped window of the bus library.
struct Window {
  vmesim::Space space = vmesim::Space::A24;
  std::uint32_t vmeBase = 0;
  std::uint32_t size = 0;
  std::uint32_t hostBase = 0;  // synthetic host address, printed by %p
  std::uint32_t handle = 0;
  bool mapped = false;
  AccessMethod* method = currentMethod();  // a window made by hand uses the bus in use
  // What the method keeps per window (kernel method: the master device,
  // its descriptor and the window's offset inside the bridge window).
  int slot = -1;
  int fd = -1;
  std::uint32_t slotOffset = 0;
};

class AccessMethod {
 public:
  virtual ~AccessMethod() = default;
  // "sim" or "vme_user".
  virtual const char* name() const = 0;
  // The bus in words, for the start-up line: crate file or device folder.
  virtual std::string describe() const = 0;

  // Opens w (space, vmeBase and size set) onto the bus.  A failure returns a
  // negative status and has said why on standard error; w is then unused.
  virtual VmeStatus map(Window& w) = 0;
  virtual void unmap(Window& w) = 0;
  // One bus cycle at a byte offset inside the window.  False for a bus
  // error; a failed read gives all ones.
  virtual bool read(const Window& w, std::uint32_t offset, vmesim::Width width,
                    std::uint32_t& value) = 0;
  virtual bool write(const Window& w, std::uint32_t offset, vmesim::Width width,
                     std::uint32_t value) = 0;

  // The method's own device table: logical address, or -1 when not found.
  virtual int lookup(const std::string& /*name*/) { return -1; }
  // Statuses forced on the library calls (the simulated crate's library line).
  virtual vmesim::LibraryForce force() const { return {}; }
};

// The simulated crate.
std::unique_ptr<AccessMethod> makeSimMethod();

// The system calls the kernel method makes, so that a stand-in can take the
// kernel's place.  Each behaves as the call of the same name: -1 and errno on
// failure.
class VmeSys {
 public:
  virtual ~VmeSys() = default;
  virtual int open(const char* path, int flags) = 0;
  virtual int ioctl(int fd, unsigned long request, void* arg) = 0;
  virtual long pread(int fd, void* buf, std::size_t count, long long offset) = 0;
  virtual long pwrite(int fd, const void* buf, std::size_t count, long long offset) = 0;
  virtual int close(int fd) = 0;
};

// The real system calls.  Descriptors are never 0 to 2.
VmeSys& kernelSys();

// Byte order of the data that the bridge presents in a transfer.
enum class ByteOrder { Big, Little };

// The kernel method on the device folder dir.  It owns sys when owned is set.
std::unique_ptr<AccessMethod> makeVmeUserMethod(VmeSys& sys, std::string dir, ByteOrder order,
                                                std::unique_ptr<VmeSys> owned = nullptr);

// The stand-in of the kernel interface: four master devices m0 to m3, slave
// devices s0 to s3 and ctl in the folder "standin", cycles forwarded to the
// process-wide simulated crate.
class StandinSys : public VmeSys {
 public:
  static constexpr const char* kFolder = "standin";
  StandinSys();
  ~StandinSys() override;
  int open(const char* path, int flags) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  long pread(int fd, void* buf, std::size_t count, long long offset) override;
  long pwrite(int fd, const void* buf, std::size_t count, long long offset) override;
  int close(int fd) override;

  // Knobs of the modelled bridge, for tests.
  ByteOrder order = ByteOrder::Big;        // how the bridge presents the data
  std::uint64_t alignment = 0x10000;       // of a master window's base and size
  int failIoctl = 0;                       // errno of the next ioctl, 0: none
  // False: a bridge that does not check for bus errors (the full count, all
  // ones); VME_STANDIN_NO_BERR_CHECK=1 sets it.
  bool berrCheck = true;
  // Descriptors open now.
  int openCount() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// Chooses the method from a VME_BUS value ("sim", "vme_user",
// "vme_user:DIR", "vme_user:standin").  Null and error set on a bad value.
std::unique_ptr<AccessMethod> methodNamed(const std::string& bus, ByteOrder order,
                                          std::string& error);

// The method in use.  Replacing it unmaps every window of the old one.
AccessMethod& method();
void useMethod(std::unique_ptr<AccessMethod> m);

}  // namespace vmebus
