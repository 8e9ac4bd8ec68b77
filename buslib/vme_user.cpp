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

#include "buslib/access_method.h"
#include "buslib/bridge_checks.h"
#include "buslib/nivxi.h"
#include "buslib/vme_user_abi.h"
#include "crate/open_file.h"

namespace vmebus {

namespace {

// The bridges take master windows in units of 64 KiB: a window is mapped
// inside the aligned bridge window that covers it.
constexpr std::uint64_t kBridgeUnit = 0x10000;

class KernelSys : public VmeSys {
 public:
  // Never takes standard input, output or error.
  int open(const char* path, int flags) override { return vmesim::openAboveStdio(path, flags); }
  int ioctl(int fd, unsigned long request, void* arg) override { return ::ioctl(fd, request, arg); }
  long pread(int fd, void* buf, std::size_t count, long long offset) override {
    return ::pread(fd, buf, count, static_cast<off_t>(offset));
  }
  long pwrite(int fd, const void* buf, std::size_t count, long long offset) override {
    return ::pwrite(fd, buf, count, static_cast<off_t>(offset));
  }
  int close(int fd) override { return ::close(fd); }
};

const char* spaceName(vmesim::Space s) { return s == vmesim::Space::A24 ? "A24" : "A32"; }

class VmeUserMethod : public AccessMethod {
 public:
  VmeUserMethod(VmeSys& sys, std::string dir, ByteOrder order, std::unique_ptr<VmeSys> owned)
      : owned_(std::move(owned)), sys_(sys), dir_(std::move(dir)), order_(order) {
    warnIfBusErrorsUnchecked(owned_ == nullptr);
  }
  // A program that ends without closing the library leaves no window enabled.
  ~VmeUserMethod() override {
    for (int slot = 0; slot < kMasterDevices; ++slot)
      if (fds_[slot] >= 0) disable(fds_[slot], config_[slot]);
  }

  const char* name() const override { return "vme_user"; }
  std::string describe() const override {
    if (owned_ != nullptr && dir_ == StandinSys::kFolder)
      return "the stand-in of the kernel VME interface over the simulated crate " +
             vmesim::crateSource();
    return "the kernel VME interface in " + dir_;
  }

  VmeStatus map(Window& w) override {
    int slot = 0;
    while (slot < kMasterDevices && fds_[slot] >= 0) ++slot;
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
    m.aspace = w.space == vmesim::Space::A24 ? kVmeA24 : kVmeA32;
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
    fds_[slot] = fd;
    config_[slot] = m;
    w.slot = slot;
    w.fd = fd;
    w.slotOffset = static_cast<std::uint32_t>(w.vmeBase - m.vme_addr);
    return VXI_SUCCESS;
  }

  void unmap(Window& w) override {
    if (w.slot < 0 || w.slot >= kMasterDevices || fds_[w.slot] != w.fd) return;
    disable(w.fd, config_[w.slot]);
    fds_[w.slot] = -1;
    w.slot = -1;
    w.fd = -1;
  }

  bool read(const Window& w, std::uint32_t offset, vmesim::Width width,
            std::uint32_t& value) override {
    const auto n = static_cast<std::size_t>(width);
    unsigned char b[4];
    // A short transfer is a bus error.
    if (sys_.pread(w.fd, b, n, static_cast<long long>(w.slotOffset) + offset) !=
        static_cast<long>(n)) {
      value = vmesim::allOnes(width);
      return false;
    }
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i) v = (v << 8) | b[order_ == ByteOrder::Big ? i : n - 1 - i];
    value = v;
    return true;
  }

  bool write(const Window& w, std::uint32_t offset, vmesim::Width width,
             std::uint32_t value) override {
    const auto n = static_cast<std::size_t>(width);
    unsigned char b[4];
    for (std::size_t i = 0; i < n; ++i) {
      const auto byte = static_cast<unsigned char>(value >> (8 * (n - 1 - i)));
      b[order_ == ByteOrder::Big ? i : n - 1 - i] = byte;
    }
    return sys_.pwrite(w.fd, b, n, static_cast<long long>(w.slotOffset) + offset) ==
           static_cast<long>(n);
  }

  // The stand-in stands for the simulated crate: its forced statuses hold.
  vmesim::LibraryForce force() const override {
    if (owned_ != nullptr && vmesim::gCrate != nullptr) return vmesim::crate().library();
    return {};
  }

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
  std::array<int, kMasterDevices> fds_{-1, -1, -1, -1};
  std::array<VmeMaster, kMasterDevices> config_{};
};

}  // namespace

VmeSys& kernelSys() {
  static KernelSys sys;
  return sys;
}

std::unique_ptr<AccessMethod> makeVmeUserMethod(VmeSys& sys, std::string dir, ByteOrder order,
                                                std::unique_ptr<VmeSys> owned) {
  return std::make_unique<VmeUserMethod>(sys, std::move(dir), order, std::move(owned));
}

}  // namespace vmebus
