// The suite's version, set once in the top CMakeLists.txt.
#pragma once

inline constexpr const char* kSuiteVersion = VME_SUITE_VERSION;
