// Puts a profile in force while the object lives, and the one before back
// after it.  Edits to profile take effect at once.
#pragma once

#include "foundation/profile.h"

namespace vmetest {

class ProfileInForce {
 public:
  explicit ProfileInForce(const Profile& p = Profile{}) : profile(p), before_(&::profile()) {
    useProfile(profile);
  }
  ~ProfileInForce() { useProfile(*before_); }
  ProfileInForce(const ProfileInForce&) = delete;
  ProfileInForce& operator=(const ProfileInForce&) = delete;

  Profile profile;

 private:
  const Profile* before_;
};

}  // namespace vmetest
