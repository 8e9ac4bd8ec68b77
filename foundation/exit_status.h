// The exit status of every program of the suite, so that a script can tell a
// good board from a bad one and from a run that tested nothing.
#pragma once

// Everything ran and every verdict passed (no error counted); for a program
// without verdicts, its file or dialogue ran to its end.
inline constexpr int RUN_PASSED = 0;
// The run completed and a verdict failed or an error was counted.  The two
// file players end with it too for a file they cannot use or a window they
// cannot map.
inline constexpr int RUN_FAILED = 1;
// Nothing was tested: the window could not be mapped, the operator's input
// ended before the first test, or no test ran a loop.
inline constexpr int RUN_UNTESTED = 2;
// No verdict failed, but at least one test ran no loop: what it checks was
// not checked.
inline constexpr int RUN_INCOMPLETE = 3;
