// Keyword and value of a command line, typed or read from a command file,
// as the scan "%s %i" takes them.
#pragma once

#include "qemlib/qem_scan.h"

// n is -1 for a line without a word, 1 for a word alone, 2 for a word and a
// number.  A number of up to 32 bits becomes an int as the scan "%i" makes
// it (0xFFFF0000 is -65536); a wider one is marked wide, with its text, and
// must not be used.
struct Parsed {
  int n = -1;
  int value = NO_VALUE;
  bool wide = false;
  const char* number = nullptr;  // the number's text in the line
  int numberLength = 0;
};

// keyword gets the first word (kLineSize characters at most, with its zero).
Parsed parseLine(const char* line, char* keyword);
