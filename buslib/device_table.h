// The device table file (VME_DEVICE_TABLE): one device a line, its name and
// its logical address, '#' starts a comment.
//
// The file is text as the crate file is: a UTF-8 byte-order mark at its start
// is skipped, LF, CR LF or a lone CR ends a line.  The logical address is
// decimal (leading zeros allowed: 010 is ten) or hex after 0x, 0 to 32767.
// A name on several lines: the first wins, and one line on standard error
// says so.
#pragma once

#include <string>

namespace vmebus {

// The logical address of name, or -1 when it is not there.  A file that
// cannot be used (a directory, a failed read, a NUL byte, over 64 KiB) or a
// bad line for the name is said once on standard error and gives -1.
int lookupInTable(const char* path, const std::string& name);

}  // namespace vmebus
