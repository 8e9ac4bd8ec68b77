#include "foundation/profile.h"

namespace {

const Profile kDefaults{};
const Profile* inForce = &kDefaults;

}  // namespace

const Profile& profile() { return *inForce; }

void useProfile(const Profile& p) { inForce = &p; }
