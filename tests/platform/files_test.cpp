// The platform layer's files on every system: identity, appends shared by
// two writers, bytes kept as written.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "program_runner.h"

namespace {

using vmetest::readFile;
using vmetest::TempDir;

// Two names of one file are one file; two files are two, whatever the C
// runtime's inode says.
TEST(PlatformFiles, IdentityTellsFilesApartAndNamesTogether) {
  TempDir dir;
  dir.write("a", "x");
  dir.write("b", "x");
  platform::FileInfo a, sameA, b, opened;
  ASSERT_TRUE(platform::fileInfo(dir.file("a").c_str(), a));
  ASSERT_TRUE(platform::fileInfo((dir.path() + "/./a").c_str(), sameA));
  ASSERT_TRUE(platform::fileInfo(dir.file("b").c_str(), b));
  const platform::Fd fd = platform::openFile(dir.file("a").c_str(), platform::kRead);
  ASSERT_NE(fd, platform::kNoFd);
  ASSERT_TRUE(platform::fileInfo(fd, opened));
  platform::closeFile(fd);
  EXPECT_TRUE(a.id == sameA.id && a.id == opened.id);
  EXPECT_FALSE(a.id == b.id);
  EXPECT_EQ(a.kind, platform::FileKind::Regular);
}

// Two writers, each with a file of its own open on one name, append 200
// records of 100 bytes at once: 400 whole records, none lost or torn.
TEST(PlatformFiles, ConcurrentAppendsKeepEveryRecord) {
  TempDir dir;
  const std::string path = dir.file("records");
  const auto writer = [&](char tag) {
    const platform::Fd fd = platform::openFile(
        path.c_str(), platform::kWrite | platform::kAppend | platform::kCreate);
    ASSERT_NE(fd, platform::kNoFd);
    for (int i = 0; i < 200; ++i) {
      std::string record(99, tag);
      record += '\n';
      ASSERT_TRUE(platform::appendRecord(fd, record.data(), record.size()));
    }
    platform::closeFile(fd);
  };
  std::thread one(writer, 'a'), two(writer, 'b');
  one.join();
  two.join();
  const std::vector<std::string> lines = vmetest::readLines(path);
  ASSERT_EQ(lines.size(), 400u);
  std::size_t as = 0;
  for (const std::string& l : lines) {
    ASSERT_TRUE(l == std::string(99, 'a') || l == std::string(99, 'b')) << l;
    as += l[0] == 'a';
  }
  EXPECT_EQ(as, 200u);
}

// LF stays LF, a Ctrl-Z byte is a byte, on the way out and back in.
TEST(PlatformFiles, BytesGoOutAndComeBackAsTheyAre) {
  TempDir dir;
  const std::string bytes = std::string("one\ntwo\r\n\x1a three\n") + '\0' + "end";
  const platform::Fd out =
      platform::openFile(dir.file("f").c_str(), platform::kWrite | platform::kCreate);
  ASSERT_NE(out, platform::kNoFd);
  ASSERT_TRUE(platform::writeAll(out, bytes.data(), bytes.size()));
  platform::closeFile(out);
  EXPECT_EQ(readFile(dir.file("f")), bytes);
  const platform::Fd in = platform::openFile(dir.file("f").c_str(), platform::kRead);
  std::string text;
  ASSERT_TRUE(platform::readAll(in, 1 << 20, text));
  platform::closeFile(in);
  EXPECT_EQ(text, bytes);
}

}  // namespace
