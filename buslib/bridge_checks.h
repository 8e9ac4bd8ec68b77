// Checks of how the kernel's bridge driver was loaded.
#pragma once

#include <string>

namespace vmebus {

// Where the Tsi148 driver shows its bus-error check.
inline constexpr const char* kTsi148ErrChk = "/sys/module/vme_tsi148/parameters/err_chk";

// True when the parameter file at path says the driver does not check for
// bus errors ("N" or "0"); false when it checks or the file cannot be read.
bool busErrorCheckOff(const std::string& path);

// Says once per run on standard error that bus errors go uncounted, with the
// fix, when the file at path (VME_TSI148_ERR_CHK_FILE, else kTsi148ErrChk when
// orDefault) says the check is off.
void warnIfBusErrorsUnchecked(bool orDefault);

}  // namespace vmebus
