// The stand-in of the kernel's VME user interface: four master devices m0 to
// m3, slave devices s0 to s3 and ctl in the folder "standin", cycles made on
// the process-wide simulated crate.  It stands for a computer whose device
// table describes that crate: it serves the crate's names and its library
// line, as the simulated crate does.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "buslib/vme_user.h"

namespace vmebus {

class StandinSys : public VmeSys {
 public:
  static constexpr const char* kFolder = "standin";
  // crateFile: the crate it loads when it starts (empty: the built-in one).
  explicit StandinSys(std::string crateFile = "");
  ~StandinSys() override;
  int open(const char* path, int flags) override;
  int ioctl(int fd, unsigned long request, void* arg) override;
  long pread(int fd, void* buf, std::size_t count, long long offset) override;
  long pwrite(int fd, const void* buf, std::size_t count, long long offset) override;
  int close(int fd) override;

  const DeviceLookup* deviceLookup() const override;
  const ForcedStatuses* forcedStatuses() const override;
  std::string describe(const std::string& dir) const override;
  bool start(std::string& error) override;

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
  std::string crateFile_;
};

}  // namespace vmebus
