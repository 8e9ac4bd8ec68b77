#include <gtest/gtest.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "platform/platform.h"
#include "program_runner.h"

namespace {

using vmetest::readFile;
using vmetest::TempDir;

// With 0, 1 and 2 closed, neither an open nor a replacement's new file takes
// one of them, and neither is inherited.
TEST(Platform, DescriptorsStayAboveStandardOnesAndAreNotInherited) {
  TempDir dir;
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(0), close(1), close(2);
    const int fd = platform::openFile(dir.file("a").c_str(), platform::kWrite | platform::kCreate);
    platform::Replacement r;
    const bool started = platform::startReplacement(dir.file("b"), r);
    const bool cloexec = (fcntl(fd, F_GETFD) & FD_CLOEXEC) && (fcntl(r.fd, F_GETFD) & FD_CLOEXEC);
    _exit(fd > 2 && started && r.fd > 2 && cloexec ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
}

TEST(Platform, FifoOpensWithoutWaiting) {
  TempDir dir;
  const std::string fifo = dir.file("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // No reader: writing is refused at once rather than waited for.
  EXPECT_EQ(platform::openFile(fifo.c_str(), platform::kWrite | platform::kNoBlock), -1);
  EXPECT_EQ(errno, ENXIO);
  const int fd = platform::openFile(fifo.c_str(), platform::kRead | platform::kNoBlock);
  ASSERT_GE(fd, 0);
  platform::FileInfo info;
  EXPECT_TRUE(platform::fileInfo(fd, info));
  EXPECT_EQ(info.kind, platform::FileKind::Fifo);
  EXPECT_TRUE(platform::closeFile(fd));
}

TEST(Platform, IdentityThroughHardAndSymbolicLinks) {
  TempDir dir;
  dir.write("f", "x");
  dir.write("other", "x");
  ASSERT_EQ(link(dir.file("f").c_str(), dir.file("hard").c_str()), 0);
  ASSERT_EQ(symlink("f", dir.file("soft").c_str()), 0);
  platform::FileInfo f, hard, soft, other, open, folder;
  ASSERT_TRUE(platform::fileInfo(dir.file("f").c_str(), f));
  ASSERT_TRUE(platform::fileInfo(dir.file("hard").c_str(), hard));
  ASSERT_TRUE(platform::fileInfo(dir.file("soft").c_str(), soft));
  ASSERT_TRUE(platform::fileInfo(dir.file("other").c_str(), other));
  const int fd = platform::openFile(dir.file("soft").c_str(), platform::kRead);
  ASSERT_TRUE(platform::fileInfo(fd, open));
  platform::closeFile(fd);
  EXPECT_TRUE(f.id == hard.id && f.id == soft.id && f.id == open.id);
  EXPECT_FALSE(f.id == other.id);
  EXPECT_EQ(soft.kind, platform::FileKind::Regular);
  ASSERT_TRUE(platform::fileInfo(dir.file("").c_str(), folder));
  EXPECT_EQ(folder.kind, platform::FileKind::Directory);
  EXPECT_FALSE(platform::fileInfo(dir.file("missing").c_str(), folder));
  EXPECT_EQ(errno, ENOENT);
}

// Through a link: the new file lands where the link leads, the link stays;
// a failed write or rename leaves the old file and no new one.
TEST(Platform, ReplacementKeepsTheOldFileOnFailure) {
  TempDir dir;
  dir.write("report", "old");
  ASSERT_EQ(symlink("report", dir.file("link").c_str()), 0);
  platform::Replacement r;
  ASSERT_TRUE(platform::startReplacement(dir.file("link"), r));
  EXPECT_EQ(r.temp.rfind(dir.file(".report."), 0), 0u) << r.temp;
  EXPECT_FALSE(platform::finishReplacement(r, false));
  EXPECT_EQ(readFile(dir.file("report")), "old");
  EXPECT_NE(access(r.temp.c_str(), F_OK), 0);

  ASSERT_TRUE(platform::startReplacement(dir.file("link"), r));
  ASSERT_TRUE(platform::writeAll(r.fd, "new", 3));
  unlink(dir.file("report").c_str());
  ASSERT_EQ(mkdir(dir.file("report").c_str(), 0700), 0);  // rename cannot go over it
  dir.write("report/keep", "x");
  EXPECT_FALSE(platform::finishReplacement(r, true));
  EXPECT_NE(access(r.temp.c_str(), F_OK), 0);
  std::filesystem::remove_all(dir.file("report"));  // a link to no file yet works too

  ASSERT_TRUE(platform::startReplacement(dir.file("link"), r));
  ASSERT_TRUE(platform::writeAll(r.fd, "new", 3));
  EXPECT_TRUE(platform::finishReplacement(r, true));
  EXPECT_EQ(readFile(dir.file("link")), "new");
  struct stat st {};
  EXPECT_TRUE(lstat(dir.file("link").c_str(), &st) == 0 && S_ISLNK(st.st_mode));
}

// Nested holds: the inner one gives back a mask still holding the signals.
TEST(Platform, FatalSignalsBlockedAndRestoredNested) {
  const auto blocked = [] {
    sigset_t now;
    sigprocmask(SIG_BLOCK, nullptr, &now);
    return sigismember(&now, SIGTERM) == 1 && sigismember(&now, SIGPIPE) == 1;
  };
  platform::SignalMask outer, inner;
  platform::blockFatalSignals(outer);
  platform::blockFatalSignals(inner);
  platform::restoreFatalSignals(inner);
  EXPECT_TRUE(blocked());
  platform::restoreFatalSignals(outer);
  EXPECT_FALSE(blocked());
}

volatile sig_atomic_t handled = 0;
extern "C" void onSignal(int sig) {
  handled = sig;
  if (sig == SIGTERM) platform::dieOfSignal(sig);
}

// A signal the caller ignored stays ignored; the handler's death is by the
// signal itself, as if no handler had been there.
TEST(Platform, FatalHandlerSparesIgnoredSignalsAndDiesOfTheSignal) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGPIPE, SIG_IGN);
    platform::installFatalHandler(onSignal);
    if (signal(SIGPIPE, SIG_IGN) != SIG_IGN) _exit(1);
    raise(SIGTERM);
    _exit(2);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << status;
}

TEST(Platform, StopSignalsCaughtThenReleased) {
  signal(SIGHUP, SIG_IGN);
  platform::catchStopSignals(onSignal);
  raise(SIGINT);
  EXPECT_EQ(handled, SIGINT);
  EXPECT_EQ(signal(SIGHUP, SIG_IGN), SIG_IGN);
  platform::releaseStopSignals();
  EXPECT_EQ(signal(SIGINT, SIG_DFL), SIG_DFL);
  signal(SIGHUP, SIG_DFL);
}

}  // namespace
