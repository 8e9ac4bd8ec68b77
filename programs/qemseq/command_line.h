// Keyword and value of a command line, typed or read from a command file,
// as the scan "%s %i" takes them.
#pragma once

#include "qemlib/qem_scan.h"

// n is -1 for a line without a word, 1 for a word alone, 2 for a word and a
// number.  A number out of the int range is kept at the nearest end, so the
// command bounds refuse it.
struct Parsed {
  int n = -1;
  int value = NO_VALUE;
};

// keyword gets the first word (kLineSize characters at most, with its zero).
Parsed parseLine(const char* line, char* keyword);
