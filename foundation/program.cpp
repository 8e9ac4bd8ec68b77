#include "foundation/program.h"

#include "foundation/run_end.h"
#include "foundation/usage.h"

int runProgram(int argc, char** argv, const Profile& p) {
  useProfile(p);
  // Only a program with operands in its usage takes a file.
  const bool takesFile = *p.usage.operands != '\0';
  const char* file = nullptr;
  if (const int status = readArguments(argc, argv, p.usage, takesFile ? &file : nullptr);
      status >= 0)
    return status;
  if (const int status = startRun(p.usage, file); status >= 0)
    return status;
  return finishRun(p.body(argv[0], file));
}
