#include "buslib/bridge_checks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "crate/open_file.h"

namespace vmebus {

bool busErrorCheckOff(const std::string& path) {
  const int fd = vmesim::openAboveStdio(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  char c = 0;
  const bool read = ::read(fd, &c, 1) == 1;
  ::close(fd);
  return read && (c == 'N' || c == 'n' || c == '0');
}

void warnIfBusErrorsUnchecked(bool orDefault) {
  static bool said = false;
  if (said) return;
  const char* named = std::getenv("VME_TSI148_ERR_CHK_FILE");
  if (named == nullptr && !orDefault) return;
  if (!busErrorCheckOff(named != nullptr ? named : kTsi148ErrChk)) return;
  said = true;
  std::fprintf(stderr,
               "vme-bus: vme_tsi148 does not check for bus errors: a cycle that no board answers "
               "reads all ones and is not counted; reload it with err_chk=1 (modprobe -r vme_user "
               "vme_tsi148; modprobe vme_tsi148 err_chk=1; modprobe vme_user bus=0)\n");
}

}  // namespace vmebus
