// A build without the kernel method offers no stand-in of it.
#include "standins/offer.h"

namespace vmebus {

void offerStandins() {}

}  // namespace vmebus
