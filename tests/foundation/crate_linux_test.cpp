// The crate's files and the trace's signal hook where they need Linux: a
// device without end, a FIFO, a process that dies of a signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "buslib/bus_trace.h"
#include "crate/crate.h"
#include "program_runner.h"

namespace {

using vmesim::Crate;

// A file without end and a FIFO: refused, the FIFO at once, without waiting
// for a writer.
TEST(CrateFile, DeviceWithoutEndAndFifoRefused) {
  vmetest::TempDir dir;
  std::string error;
  EXPECT_FALSE(Crate::fromFile("/dev/zero", error));
  EXPECT_NE(error.find("crate file /dev/zero line 1: the file is longer than"), std::string::npos)
      << error;
  ASSERT_EQ(mkfifo(dir.file("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(Crate::fromFile(dir.file("fifo"), error));
  EXPECT_NE(error.find(": cannot be read: not a regular file"), std::string::npos) << error;
}

// The hook of a fatal signal runs, also without a trace, and the process
// still dies of the signal.
int hookPipe[2];
void writeSignal(int sig) { (void)!write(hookPipe[1], &sig, sizeof sig); }

TEST(Trace, FatalSignalHookRunsWithoutATrace) {
  ASSERT_EQ(pipe(hookPipe), 0);
  const pid_t child = fork();
  if (child == 0) {
    vmebus::setFatalSignalHook(writeSignal);
    raise(SIGTERM);
    _exit(0);
  }
  close(hookPipe[1]);  // a hook that never ran reads as end of file
  int status = 0, sig = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
  EXPECT_EQ(read(hookPipe[0], &sig, sizeof sig), static_cast<ssize_t>(sizeof sig));
  EXPECT_EQ(sig, SIGTERM);
}

}  // namespace
