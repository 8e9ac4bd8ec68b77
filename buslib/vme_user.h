// The kernel method: the Linux kernel's VME user interface (/dev/bus/vme).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "buslib/access_method.h"

namespace vmebus {

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

  // What a stand-in serves besides the system calls: the computer's device
  // table and forced statuses, its words for the start-up line, and whether
  // its cycles go to the simulated crate.  The real kernel has none of it.
  virtual const DeviceLookup* deviceLookup() const { return nullptr; }
  virtual const ForcedStatuses* forcedStatuses() const { return nullptr; }
  virtual std::string describe(const std::string& dir) const {
    return "the kernel VME interface in " + dir;
  }
  virtual bool usesSimulatedCrate() const { return false; }
};

// The real system calls.  Descriptors are never 0 to 2.
VmeSys& kernelSys();

// The kernel method on the device folder dir.  It owns sys when owned is set.
std::unique_ptr<AccessMethod> makeVmeUserMethod(VmeSys& sys, std::string dir, ByteOrder order,
                                                std::unique_ptr<VmeSys> owned = nullptr);

}  // namespace vmebus
