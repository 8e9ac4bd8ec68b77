// What the end-to-end cases on each bus share.
#pragma once

#include <string>

namespace vmetest::busrun {

inline constexpr int kTimeoutMs = 60000;
inline const char kStandin[] = "vme_user:standin";
inline const char kCaen[] = "caen:V1718:0";
inline const std::string kCaenLib = VME_CAEN_STANDIN;
inline const char kVisa[] = "visa";
inline const std::string kVisaLib = VME_VISA_STANDIN;
inline const char kNivxi[] = "nivxi";
#ifdef VME_NIVXI_STANDIN
inline const std::string kNivxiLib = VME_NIVXI_STANDIN;
#endif

}  // namespace vmetest::busrun
