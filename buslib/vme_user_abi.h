// The kernel's VME user interface as a program sees it: the master window
// configuration and its two ioctls on /dev/bus/vme/mN.
#pragma once

#include <sys/ioctl.h>

#include <cstdint>

namespace vmebus {

struct __attribute__((packed)) VmeMaster {
  std::uint32_t enable;
  std::uint64_t vme_addr;
  std::uint64_t size;
  std::uint32_t aspace;
  std::uint32_t cycle;
  std::uint32_t dwidth;
};
static_assert(sizeof(VmeMaster) == 32, "the kernel's layout is packed");

inline constexpr unsigned long kVmeGetMaster = _IOR(0xAE, 3, VmeMaster);
inline constexpr unsigned long kVmeSetMaster = _IOW(0xAE, 4, VmeMaster);

// Address spaces.
inline constexpr std::uint32_t kVmeA16 = 0x1;
inline constexpr std::uint32_t kVmeA24 = 0x2;
inline constexpr std::uint32_t kVmeA32 = 0x4;
// Cycle: single cycle, user, data.
inline constexpr std::uint32_t kVmeSct = 0x1;
inline constexpr std::uint32_t kVmeBlt = 0x2;
inline constexpr std::uint32_t kVmeMblt = 0x4;
inline constexpr std::uint32_t kVmeSuper = 0x1000;
inline constexpr std::uint32_t kVmeUser = 0x2000;
inline constexpr std::uint32_t kVmeProg = 0x4000;
inline constexpr std::uint32_t kVmeData = 0x8000;
// Data widths.
inline constexpr std::uint32_t kVmeD8 = 0x1;
inline constexpr std::uint32_t kVmeD16 = 0x2;
inline constexpr std::uint32_t kVmeD32 = 0x4;

inline constexpr int kMasterDevices = 4;

}  // namespace vmebus
