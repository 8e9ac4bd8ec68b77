// The line handling shared by the two file players (script and command
// files): opening with its messages, reading lines of at most 127
// characters, the echo and pause markers, and the end-of-file checks.
#pragma once

#include <cstdio>

// Opens the file; on failure prints "%s: can't open file %s" and the
// system's error text, and returns null.  Otherwise prints the reading line.
// A file that is the run's trace gives null with nothing more said: the bus
// library has said it, and the run ends with status 2.
std::FILE* playerOpen(const char* program, const char* fileName);

// The next line into line (kLineSize characters); a longer line comes as
// several, and CR LF ends a line as LF does (the line keeps a plain LF).
// False at end of file or on a read error.  nul tells whether the line holds
// a NUL byte, which no text file has: see playerRefuseNul.
bool playerNextLine(std::FILE* file, char* line, bool& nul);

// A NUL byte would cut the line short unseen: the file is refused from that
// line on with one line of output, and closed.
void playerRefuseNul(std::FILE* file, const char* program, const char* fileName, long lineNo);

// Echoes "file: %s" unless the line holds a double quote or is blank
// (its scan gave -1 fields).
void playerEcho(const char* line, int fields);

// After the last line: "end of file", then the read-error messages (false
// when there was a read error) and the file closed.
bool playerFinish(std::FILE* file, const char* program, const char* fileName);
