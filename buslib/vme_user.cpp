// The kernel method: each window claims a free master device of the device
// folder, configures it with VME_SET_MASTER and makes its cycles with pread
// and pwrite, one naturally aligned transfer per cycle.
#include <errno.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <vector>

#include "buslib/vme_user.h"
#include "buslib/bridge_checks.h"

#include "buslib/nivxi.h"
#include "buslib/vme_user_abi.h"
#include "platform/platform.h"

namespace vmebus {

namespace {

// The bridges take master windows in units of 64 KiB: a window is mapped
// inside the aligned bridge window that covers it.
constexpr std::uint64_t kBridgeUnit = 0x10000;

class KernelSys : public VmeSys {
 public:
  // Never takes standard input, output or error.
  int open(const char* path, int flags) override {
    const int access = flags & O_ACCMODE;
    return platform::openFile(path, access == O_RDWR   ? platform::kReadWrite
                                    : access == O_WRONLY ? platform::kWrite
                                                         : platform::kRead);
  }
  int ioctl(int fd, unsigned long request, void* arg) override { return ::ioctl(fd, request, arg); }
  long pread(int fd, void* buf, std::size_t count, long long offset) override {
    return ::pread(fd, buf, count, static_cast<off_t>(offset));
  }
  long pwrite(int fd, const void* buf, std::size_t count, long long offset) override {
    return ::pwrite(fd, buf, count, static_cast<off_t>(offset));
  }
  int close(int fd) override { return platform::closeFile(fd) ? 0 : -1; }
};

class VmeUserMethod : public AccessMethod {
 public:
  VmeUserMethod(VmeSys& sys, std::string dir, ByteOrder order, std::unique_ptr<VmeSys> owned)
      : owned_(std::move(owned)), sys_(sys), dir_(std::move(dir)), order_(order) {}
  // A program that ends without closing the library leaves no window enabled.
  ~VmeUserMethod() override { close(); }

  const char* name() const override { return "vme_user"; }
  std::string describe() const override { return sys_.describe(dir_); }

  // The master devices are claimed window by window.
  bool open(std::string& error) override {
    if (!sys_.start(error)) return false;
    warnIfBusErrorsUnchecked(owned_ == nullptr);
    return true;
  }
  void close() override {
    for (Master& m : masters_) {
      if (m.fd >= 0) disable(m.fd, m.config);
      m.fd = -1;
    }
  }

  VmeStatus map(Window& w) override {
    int slot = 0;
    while (slot < kMasterDevices && masters_[slot].fd >= 0) ++slot;
    if (slot == kMasterDevices) {
      std::fprintf(stderr, "vme-bus: %s: no free master window (m0 to m3 in use)\n", dir_.c_str());
      return VXI_NO_WINDOW;
    }
    const std::string dev = dir_ + "/m" + std::to_string(slot);
    const int fd = sys_.open(dev.c_str(), O_RDWR);
    if (fd < 0) return fail(dev, "", errno);

    VmeMaster m{};
    m.enable = 1;
    m.vme_addr = w.vmeBase & ~(kBridgeUnit - 1);
    const std::uint64_t end = static_cast<std::uint64_t>(w.vmeBase) + w.size;
    m.size = ((end + kBridgeUnit - 1) & ~(kBridgeUnit - 1)) - m.vme_addr;
    m.aspace = w.space == Space::A24 ? kVmeA24 : kVmeA32;
    m.cycle = kVmeSct | kVmeUser | kVmeData;
    m.dwidth = kVmeD32;
    if (sys_.ioctl(fd, kVmeSetMaster, &m) != 0) {
      const int e = errno;
      sys_.close(fd);
      char what[96];
      std::snprintf(what, sizeof what, "VME_SET_MASTER %s 0x%llX size 0x%llX: ",
                    spaceName(w.space), static_cast<unsigned long long>(m.vme_addr),
                    static_cast<unsigned long long>(m.size));
      return fail(dev, what, e);
    }
    // The window the bridge holds must be the one asked for.
    VmeMaster got{};
    if (sys_.ioctl(fd, kVmeGetMaster, &got) != 0) {
      const int e = errno;
      disable(fd, m);
      return fail(dev, "VME_GET_MASTER: ", e);
    }
    if (got.enable == 0 || got.vme_addr != m.vme_addr || got.size != m.size ||
        got.aspace != m.aspace || got.dwidth != m.dwidth) {
      disable(fd, m);
      std::fprintf(stderr, "vme-bus: %s: the bridge did not take window %s 0x%llX size 0x%llX\n",
                   dev.c_str(), spaceName(w.space), static_cast<unsigned long long>(m.vme_addr),
                   static_cast<unsigned long long>(m.size));
      return VXI_FAILURE;
    }
    // The window's token is its master device.
    masters_[slot] = Master{fd, m, static_cast<std::uint32_t>(w.vmeBase - m.vme_addr)};
    w.token = static_cast<std::uint32_t>(slot);
    return VXI_SUCCESS;
  }

  void unmap(Window& w) override {
    if (w.token >= kMasterDevices || masters_[w.token].fd < 0) return;
    Master& m = masters_[w.token];
    disable(m.fd, m.config);
    m.fd = -1;
  }

  bool read(const Window& w, std::uint32_t offset, Width width, std::uint32_t& value) override {
    const Master& m = masters_[w.token];
    const auto n = static_cast<std::size_t>(width);
    unsigned char b[4];
    // A short transfer is a bus error.
    if (sys_.pread(m.fd, b, n, static_cast<long long>(m.offset) + offset) !=
        static_cast<long>(n)) {
      value = allOnes(width);
      return false;
    }
    value = unpackBytes(b, width, order_);
    return true;
  }

  bool write(const Window& w, std::uint32_t offset, Width width, std::uint32_t value) override {
    const Master& m = masters_[w.token];
    const auto n = static_cast<std::size_t>(width);
    unsigned char b[4];
    packBytes(value, width, order_, b);
    return sys_.pwrite(m.fd, b, n, static_cast<long long>(m.offset) + offset) ==
           static_cast<long>(n);
  }

  // What the system serves of its own (a stand-in: the crate's table and
  // statuses; the kernel: nothing).
  const DeviceLookup* deviceLookup() const override { return sys_.deviceLookup(); }
  const ForcedStatuses* forcedStatuses() const override { return sys_.forcedStatuses(); }

 private:
  VmeStatus fail(const std::string& dev, const char* what, int e) {
    std::fprintf(stderr, "vme-bus: %s: %s%s\n", dev.c_str(), what, std::strerror(e));
    return e == EFAULT ? VXI_BAD_ADDRESS : VXI_FAILURE;
  }
  void disable(int fd, VmeMaster m) {
    m.enable = 0;
    (void)sys_.ioctl(fd, kVmeSetMaster, &m);
    sys_.close(fd);
  }

  std::unique_ptr<VmeSys> owned_;
  VmeSys& sys_;
  std::string dir_;
  ByteOrder order_;
  // One master device per window: its descriptor, configuration and the
  // window's offset inside the bridge window.
  struct Master {
    int fd = -1;
    VmeMaster config{};
    std::uint32_t offset = 0;
  };
  std::array<Master, kMasterDevices> masters_{};
};

}  // namespace

namespace {

struct Offered {
  const char* name;
  VmeSysMaker make;
};
std::vector<Offered>& offered() {
  static std::vector<Offered> list;
  return list;
}

}  // namespace

void offerVmeSys(const char* name, VmeSysMaker make) { offered().push_back({name, make}); }

std::unique_ptr<VmeSys> offeredVmeSys(const std::string& name, const BusConfig& config) {
  for (const Offered& o : offered())
    if (name == o.name) return o.make(config);
  return nullptr;
}

VmeSys& kernelSys() {
  static KernelSys sys;
  return sys;
}

std::unique_ptr<AccessMethod> makeVmeUserMethod(VmeSys& sys, std::string dir, ByteOrder order,
                                                std::unique_ptr<VmeSys> owned) {
  return std::make_unique<VmeUserMethod>(sys, std::move(dir), order, std::move(owned));
}

// vme_user: /dev/bus/vme; vme_user:DIR: the devices in DIR, or the stand-in
// of the kernel interface offered under that name.
std::unique_ptr<AccessMethod> makeVmeUserBus(const BusConfig& config, std::string&) {
  const std::string& dir = config.arguments;
  if (dir.empty()) return makeVmeUserMethod(kernelSys(), "/dev/bus/vme", config.order);
  if (std::unique_ptr<VmeSys> sys = offeredVmeSys(dir, config)) {
    VmeSys& s = *sys;
    return makeVmeUserMethod(s, dir, config.order, std::move(sys));
  }
  return makeVmeUserMethod(kernelSys(), dir, config.order);
}

}  // namespace vmebus
