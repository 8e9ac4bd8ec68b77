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
  // table and forced statuses, and its words for the start-up line.  The
  // real kernel has none of it.
  virtual const DeviceLookup* deviceLookup() const { return nullptr; }
  virtual const ForcedStatuses* forcedStatuses() const { return nullptr; }
  virtual std::string describe(const std::string& dir) const {
    return "the kernel VME interface in " + dir;
  }
  // Called by the method's open: false with the line to say in error.
  virtual bool start(std::string&) { return true; }
};

// The real system calls.  Descriptors are never 0 to 2.
VmeSys& kernelSys();

// A system standing in for the kernel under a folder name of its own
// ("vme_user:NAME"), offered by the library that holds it.
using VmeSysMaker = std::unique_ptr<VmeSys> (*)(const BusConfig& config);
void offerVmeSys(const char* name, VmeSysMaker make);
// The system offered under name, or null.
std::unique_ptr<VmeSys> offeredVmeSys(const std::string& name, const BusConfig& config);

// The kernel method on the device folder dir.  It owns sys when owned is set.
std::unique_ptr<AccessMethod> makeVmeUserMethod(VmeSys& sys, std::string dir, ByteOrder order,
                                                std::unique_ptr<VmeSys> owned = nullptr);

// The method of VME_BUS=vme_user[:DIR]: /dev/bus/vme, the devices in DIR, or
// the stand-in offered under that name.  A build without the kernel method
// (Windows) says so in error.
std::unique_ptr<AccessMethod> makeVmeUserBus(const BusConfig& config, std::string& error);

}  // namespace vmebus
