// The stand-in of the kernel's VME user interface: device files, master
// window configuration and transfers as the kernel and a common bridge
// handle them, with the bus cycles made on the simulated crate.
#include <errno.h>
#include <fcntl.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "standins/vme_user_standin.h"
#include "standins/offer.h"

#include "buslib/vme_user_abi.h"
#include "crate/crate.h"

namespace vmebus {

namespace {

enum class Kind { Master, Slave, Control };

struct Device {
  Kind kind;
  int index;
};

bool deviceOf(const char* path, Device& d) {
  const std::string p = path;
  const std::string folder = std::string(StandinSys::kFolder) + "/";
  if (p.compare(0, folder.size(), folder) != 0) return false;
  const std::string name = p.substr(folder.size());
  if (name == "ctl") {
    d = {Kind::Control, 0};
    return true;
  }
  if (name.size() != 2 || name[1] < '0' || name[1] > '3') return false;
  if (name[0] == 'm') d = {Kind::Master, name[1] - '0'};
  else if (name[0] == 's') d = {Kind::Slave, name[1] - '0'};
  else return false;
  return true;
}

std::uint64_t spaceEnd(std::uint32_t aspace) {
  switch (aspace) {
    case kVmeA16: return 0x10000;
    case kVmeA24: return 0x1000000;
    case kVmeA32: return 0x100000000ull;
    default: return 0;
  }
}

}  // namespace

struct StandinSys::Impl {
  std::array<VmeMaster, kMasterDevices> masters{};
  std::map<int, Device> open;
  int nextFd = 100;
};

StandinSys::StandinSys(std::string crateFile)
    : impl_(std::make_unique<Impl>()), crateFile_(std::move(crateFile)) {
  const char* e = std::getenv("VME_STANDIN_NO_BERR_CHECK");
  berrCheck = e == nullptr || std::strcmp(e, "1") != 0;
}
StandinSys::~StandinSys() = default;

// The computer the stand-in stands for has the crate's names in its table.
const DeviceLookup* StandinSys::deviceLookup() const { return &crateNames(); }
const ForcedStatuses* StandinSys::forcedStatuses() const { return &vmesim::crate().library(); }
std::string StandinSys::describe(const std::string&) const {
  return "the stand-in of the kernel VME interface over the simulated crate " +
         vmesim::crateSource();
}

// The crate behind the stand-in, unless one is in place (a test's).
bool StandinSys::start(std::string& error) {
  if (vmesim::gCrate != nullptr || vmesim::loadCrate(crateFile_, error)) return true;
  error = "vme-sim: " + error;
  return false;
}

void offerStandins() {
  static bool offered = false;
  if (offered) return;
  offered = true;
  offerVmeSys(StandinSys::kFolder, [](const BusConfig& config) -> std::unique_ptr<VmeSys> {
    return std::make_unique<StandinSys>(config.crateFile);
  });
}

int StandinSys::openCount() const { return static_cast<int>(impl_->open.size()); }

int StandinSys::open(const char* path, int flags) {
  Device d{};
  if (!deviceOf(path, d)) {
    errno = ENOENT;
    return -1;
  }
  if ((flags & O_ACCMODE) != O_RDWR && d.kind != Kind::Control) {
    errno = EACCES;
    return -1;
  }
  const int fd = impl_->nextFd++;
  impl_->open[fd] = d;
  return fd;
}

int StandinSys::close(int fd) {
  if (impl_->open.erase(fd) == 0) {
    errno = EBADF;
    return -1;
  }
  return 0;
}

int StandinSys::ioctl(int fd, unsigned long request, void* arg) {
  auto it = impl_->open.find(fd);
  if (it == impl_->open.end()) {
    errno = EBADF;
    return -1;
  }
  if (failIoctl != 0) {
    errno = failIoctl;
    failIoctl = 0;
    return -1;
  }
  const Device d = it->second;
  if (d.kind != Kind::Master || (request != kVmeSetMaster && request != kVmeGetMaster)) {
    errno = EINVAL;
    return -1;
  }
  VmeMaster& image = impl_->masters[static_cast<std::size_t>(d.index)];
  if (request == kVmeGetMaster) {
    std::memcpy(arg, &image, sizeof image);
    return 0;
  }
  VmeMaster m;
  std::memcpy(&m, arg, sizeof m);
  // The rules of the kernel's window check and of the bridge.
  const std::uint64_t end = spaceEnd(m.aspace);
  const std::uint32_t transfer = m.cycle & (kVmeSct | kVmeBlt | kVmeMblt);
  const std::uint32_t known = kVmeSct | kVmeBlt | kVmeMblt | kVmeSuper | kVmeUser | kVmeProg |
                              kVmeData;
  if (m.vme_addr + m.size < m.size || end == 0 || transfer == 0 || (m.cycle & ~known) != 0 ||
      (m.dwidth != kVmeD8 && m.dwidth != kVmeD16 && m.dwidth != kVmeD32) || m.enable > 1) {
    errno = EINVAL;
    return -1;
  }
  if (m.vme_addr + m.size > end) {
    errno = EFAULT;
    return -1;
  }
  if (m.vme_addr % alignment != 0 || m.size % alignment != 0 || (m.enable != 0 && m.size == 0)) {
    errno = EINVAL;
    return -1;
  }
  image = m;
  return 0;
}

namespace {

// The cycles of one transfer, the widest the alignment and the window's data
// width allow, as the bridge splits them.  Returns the bytes moved before the
// first bus error.
template <class Cycle>
long transfer(const VmeMaster& image, std::size_t count, long long offset, Cycle cycle) {
  if (image.enable == 0 || offset < 0 || static_cast<std::uint64_t>(offset) >= image.size)
    return 0;
  if (static_cast<std::uint64_t>(offset) + count > image.size)
    count = static_cast<std::size_t>(image.size - static_cast<std::uint64_t>(offset));
  const unsigned widest = image.dwidth == kVmeD32 ? 4 : image.dwidth == kVmeD16 ? 2 : 1;
  std::size_t done = 0;
  while (done < count) {
    const std::uint64_t address = image.vme_addr + static_cast<std::uint64_t>(offset) + done;
    unsigned n = widest;
    while (n > 1 && (address % n != 0 || count - done < n)) n /= 2;
    if (!cycle(static_cast<std::uint32_t>(address), static_cast<Width>(n), done)) break;
    done += n;
  }
  return static_cast<long>(done);
}

Space spaceOf(const VmeMaster& m) { return m.aspace == kVmeA32 ? Space::A32 : Space::A24; }

}  // namespace

long StandinSys::pread(int fd, void* buf, std::size_t count, long long offset) {
  auto it = impl_->open.find(fd);
  if (it == impl_->open.end() || it->second.kind != Kind::Master) {
    errno = it == impl_->open.end() ? EBADF : EINVAL;
    return -1;
  }
  const VmeMaster& image = impl_->masters[static_cast<std::size_t>(it->second.index)];
  auto* out = static_cast<unsigned char*>(buf);
  // The A16 space has no boards in the simulated crate.
  if (image.aspace == kVmeA16) return 0;
  return transfer(image, count, offset, [&](std::uint32_t a, Width w, std::size_t at) {
    std::uint32_t v = 0;
    if (!vmesim::crate().read(spaceOf(image), a, w, v)) {
      if (berrCheck) return false;
      v = allOnes(w);
    }
    packBytes(v, w, order, out + at);
    return true;
  });
}

long StandinSys::pwrite(int fd, const void* buf, std::size_t count, long long offset) {
  auto it = impl_->open.find(fd);
  if (it == impl_->open.end() || it->second.kind != Kind::Master) {
    errno = it == impl_->open.end() ? EBADF : EINVAL;
    return -1;
  }
  const VmeMaster& image = impl_->masters[static_cast<std::size_t>(it->second.index)];
  const auto* in = static_cast<const unsigned char*>(buf);
  if (image.aspace == kVmeA16) return 0;
  return transfer(image, count, offset, [&](std::uint32_t a, Width w, std::size_t at) {
    return vmesim::crate().write(spaceOf(image), a, w, unpackBytes(in + at, w, order)) ||
           !berrCheck;
  });
}

}  // namespace vmebus
