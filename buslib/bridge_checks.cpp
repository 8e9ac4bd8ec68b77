#include "buslib/bridge_checks.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/platform.h"

namespace vmebus {

bool busErrorCheckOff(const std::string& path) {
  const int fd = platform::openFile(path.c_str(), platform::kRead);
  if (fd < 0) return false;
  std::string text;
  const bool read = platform::readAll(fd, 0, text) && !text.empty();
  platform::closeFile(fd);
  const char c = read ? text[0] : 0;
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
