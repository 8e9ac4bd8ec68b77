// The run of every program: its arguments, the bus settings and run records,
// the profile's body, and the end of the run.
#pragma once

#include "foundation/profile.h"

// The whole of main(): returns the exit status.
int runProgram(int argc, char** argv, const Profile& p);
