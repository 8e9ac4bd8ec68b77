#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "buslib/bus_trace.h"
#include "buslib/nivxi.h"
#include "crate/boards/memory.h"
#include "crate/crate.h"
#include "program_runner.h"

namespace {

using vmesim::Crate;
using vmesim::Space;
using vmesim::Width;

std::unique_ptr<Crate> build(const std::string& text) {
  std::string error;
  auto c = Crate::parse(text, "test.crate", error);
  EXPECT_TRUE(c) << error;
  return c;
}

std::string parseError(const std::string& text) {
  std::string error;
  auto c = Crate::parse(text, "bad.crate", error);
  EXPECT_FALSE(c) << "accepted:\n" << text;
  return error;
}

TEST(CrateFile, ErrorsNameTheFileLineAndReason) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"# comment\n\nmemry A24 0x200000\n", "bad.crate line 3: unknown board kind 'memry'"},
      {"memory A16 0x200000\n", "line 1: unknown address space 'A16'"},
      {"memory A24 0x2000zz\n", "line 1: bad base address '0x2000zz'"},
      {"memory A24\n", "line 1: expected: kind space base"},
      {"memory A24 0x200000 colour=red\n", "line 1: unknown memory option 'colour'"},
      {"memory A24 0x200000 fault=melted\n", "line 1: unknown memory fault 'melted'"},
      {"memory A24 0x200000 fault=stuck0:0x10\n", "line 1: fault stuck0 takes 2 arguments"},
      {"memory A24 0x200000 fault=stuck1:0x11:1\n", "line 1: fault stuck1: offset must be"},
      {"memory A24 0x200000 fault=alias:x\n", "line 1: bad fault argument 'x'"},
      {"memory A24 0xFF8000 size=0x10000\n", "line 1: board does not fit in A24 space"},
      {"memory A24 0x200000\nmemory A24 0x20F000\n", "line 2: overlaps the board of line 1"},
      {"library init=1 map=40000\n", "line 1: library status '40000' is not a signed 16-bit"},
      {"library mapp=1\n", "line 1: unknown library call 'mapp'"},
      {"memory A24 0x200000 size=0\n", "line 1: bad size '0'"},
      {"memory A24 0x200000 junk\n", "line 1: expected key=value, got 'junk'"},
      // What a file may make the program allocate is bounded.
      {"memory A32 0x0 size=0xFFFFFFFC\n", "line 1: size 0xFFFFFFFC is larger than a board"},
      {"memory A32 0x0 size=0x1000000\nmemory A32 0x1000000 size=0x1000000\n"
       "memory A32 0x2000000 size=0x1000000\nmemory A32 0x3000000 size=0x1000000\n"
       "memory A32 0x4000000 size=4\n",
       "line 5: the boards' sizes add up to more than 0x4000000"},
  };
  for (const Case& c : cases) {
    std::string error = parseError(c.text);
    EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error;
  }
  // Texts a C string cannot hold, and sizes past the bounds.
  struct Raw {
    std::string text;
    const char* expected;
  } raw[] = {
      {std::string("memory A24 0x200000 size=0x10") + '\0' + "FFFF\n", "line 1: NUL byte in the line"},
      {"# ok\n# " + std::string(1100, 'x') + "\n", "line 2: line longer than 1024 characters"},
      {std::string(70000, '\n'), "line 65537: the file is longer than 65536 bytes"},
  };
  for (const Raw& c : raw) {
    std::string error = parseError(c.text);
    EXPECT_NE(error.find(c.expected), std::string::npos) << "got: " << error;
  }
  std::string many;
  for (int i = 0; i < 257; ++i) many += "trigger A32 " + std::to_string(0x100 * i) + "\n";
  EXPECT_NE(parseError(many).find("line 257: more than 256 boards"), std::string::npos);
}

TEST(CrateFile, ReadWholeOrRefused) {
  vmetest::TempDir dir;
  std::string error;
  // A directory, a file without end: refused, never an empty or partial crate.
  EXPECT_FALSE(Crate::fromFile(dir.path(), error));
  EXPECT_NE(error.find(": cannot be read: Is a directory"), std::string::npos) << error;
  // (A device without end and a FIFO: crate_linux_test.cpp.)
  // CR LF line ends are line ends.
  auto c = Crate::fromFile(dir.write("crlf.crate", "# bench\r\nmemory A24 0x200000 size=0x100\r\n"
                                                   "library map=-3\r\n"),
                           error);
  ASSERT_TRUE(c) << error;
  EXPECT_EQ(c->slots()[0].config.size, 0x100u);
  EXPECT_EQ(c->library().map, -3);
}

TEST(CrateFile, OptionsCommentsAndLibraryLine) {
  auto c = build(
      "  # a bench crate\n"
      "memory A24 0x200000 size=0x100 name=RAM1   # trailing comment\n"
      "memory A32 0xD000000 fault=no-d8 fault=stuck1:2:0x8000\n"
      "library init=1 map=-3 status=0x10\n");
  ASSERT_TRUE(c);
  ASSERT_EQ(c->slots().size(), 2u);
  EXPECT_EQ(c->slots()[0].config.size, 0x100u);
  EXPECT_EQ(c->slots()[1].config.size, 0x10000u) << "memory default size";
  EXPECT_EQ(c->findName("RAM1"), 0);
  EXPECT_EQ(c->findName("ram1"), -1);
  EXPECT_EQ(c->library().init, 1);
  EXPECT_EQ(c->library().map, -3);
  EXPECT_EQ(c->library().status, 0x10);
  EXPECT_EQ(c->library().close, 0);
}

TEST(Crate, DecodingWidthsAndBusErrors) {
  auto c = build("memory A24 0x200000 size=0x100 fault=no-d32\nmemory A32 0x200000 size=0x100\n");
  std::uint32_t v = 0;
  EXPECT_TRUE(c->write(Space::A24, 0x200010, Width::D16, 0x1234));
  EXPECT_TRUE(c->read(Space::A24, 0x200010, Width::D16, v));
  EXPECT_EQ(v, 0x1234u);
  // Same address in A32 is another board.
  EXPECT_TRUE(c->read(Space::A32, 0x200010, Width::D16, v));
  EXPECT_EQ(v, 0xFFFFu);
  // Undecoded, refused width, misaligned: all ones and false.
  EXPECT_FALSE(c->read(Space::A24, 0x200100, Width::D16, v));
  EXPECT_EQ(v, 0xFFFFu);
  EXPECT_FALSE(c->read(Space::A24, 0x200010, Width::D32, v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_FALSE(c->read(Space::A24, 0x200011, Width::D16, v));
  EXPECT_FALSE(c->write(Space::A24, 0x200300, Width::D8, 0));
}

TEST(Crate, CycleStraddlingABoardsEndIsABusError) {
  // Sizes that are not a multiple of the width: the last cycle would reach
  // past the board's storage.
  auto c = build("memory A24 0x200000 size=0x12\nmemory A24 0x300000 size=0x11\n");
  std::uint32_t v = 0;
  EXPECT_TRUE(c->write(Space::A24, 0x20000C, Width::D32, 0x01020304));
  EXPECT_FALSE(c->write(Space::A24, 0x200010, Width::D32, 0x05060708));
  EXPECT_FALSE(c->read(Space::A24, 0x200010, Width::D32, v));
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_TRUE(c->read(Space::A24, 0x200010, Width::D16, v));
  EXPECT_EQ(v, 0xFFFFu) << "the straddling write left the last word alone";
  EXPECT_FALSE(c->read(Space::A24, 0x300010, Width::D16, v));
  EXPECT_TRUE(c->read(Space::A24, 0x300010, Width::D8, v));
}

TEST(Crate, ClockAdvancesPerBusCycle) {
  auto c = build("memory A24 0x200000\n");
  std::uint32_t v;
  const vmesim::Bc t0 = c->now();
  c->read(Space::A24, 0x200000, Width::D16, v);
  c->write(Space::A24, 0x900000, Width::D16, 1);  // a bus error costs a cycle too
  EXPECT_EQ(c->now() - t0, 2 * vmesim::kBcPerCycle);
}

TEST(MemoryBoard, BigEndianLanesAcrossWidths) {
  auto c = build("memory A24 0x200000 size=0x100\n");
  std::uint32_t v = 0;
  c->read(Space::A24, 0x200000, Width::D32, v);
  EXPECT_EQ(v, 0xFFFFFFFFu) << "powers up as all ones";
  c->write(Space::A24, 0x200000, Width::D32, 0x11223344);
  c->read(Space::A24, 0x200000, Width::D16, v);
  EXPECT_EQ(v, 0x1122u) << "the D16 word at a multiple of four is the high half";
  c->read(Space::A24, 0x200003, Width::D8, v);
  EXPECT_EQ(v, 0x44u);
  c->write(Space::A24, 0x200002, Width::D8, 0xAB);
  c->read(Space::A24, 0x200002, Width::D16, v);
  EXPECT_EQ(v, 0xAB44u) << "the even byte is the high half of its word";
}

TEST(MemoryBoard, FaultsActOnTheAddressedCells) {
  auto c = build(
      "memory A24 0x200000 size=0x100 fault=stuck0:0x10:0x00F0 fault=stuck1:0x12:0x8001 "
      "fault=alias:5\n");
  std::uint32_t v = 0;
  c->write(Space::A24, 0x200010, Width::D32, 0);
  c->read(Space::A24, 0x200010, Width::D32, v);
  EXPECT_EQ(v, 0x00008001u);
  c->write(Space::A24, 0x200010, Width::D16, 0xFFFF);
  c->read(Space::A24, 0x200010, Width::D16, v);
  EXPECT_EQ(v, 0xFF0Fu);
  c->read(Space::A24, 0x200011, Width::D8, v);
  EXPECT_EQ(v, 0x0Fu) << "stuck bits of the low byte";
  // Address bit 5 ignored: 0x20 and 0x00 are one cell.
  c->write(Space::A24, 0x200020, Width::D16, 0x5A5A);
  c->read(Space::A24, 0x200000, Width::D16, v);
  EXPECT_EQ(v, 0x5A5Au);
  // Stuck bits named at an aliased address show at both addresses of the cell.
  auto d = build("memory A24 0x200000 size=0x100 fault=alias:5 fault=stuck1:0x24:0x0100\n");
  d->write(Space::A24, 0x200004, Width::D16, 0);
  d->read(Space::A24, 0x200024, Width::D16, v);
  EXPECT_EQ(v, 0x0100u);
  d->read(Space::A24, 0x200004, Width::D16, v);
  EXPECT_EQ(v, 0x0100u);
}

TEST(Trace, OneLinePerCycleInTheDocumentedFormat) {
  // The bus library writes the trace, whatever the bus; here the crate's.
  vmetest::TempDir dir;
  vmesim::installCrate(build("memory A24 0x200000 size=0x100 fault=no-d8\nmemory A32 0xD000000\n"));
  ASSERT_TRUE(vmebus::openTrace(dir.file("t.trace").c_str()));
  InitVXIlibrary();
  SetVXIwindowSize(0x1000);
  std::uint32_t h = 0;
  VXIstatus s = 0;
  const VmePtr a24 = MapVXIwindow(VXI_ACCESS_A24, 0x200000, 1000, &h, &s);
  const VmePtr a32 = MapVXIwindow(VXI_ACCESS_A32, 0xD000000, 1000, &h, &s);
  const VmePtr none = MapVXIwindow(VXI_ACCESS_A24, 0xF00000, 1000, &h, &s);
  a24.write16(2, 0x4);
  (void)a32.read32();
  (void)a24.read8(1);
  (void)none.read32();
  vmebus::traceNote("unmap window 1");
  CloseVXIlibrary();
  vmebus::closeTrace();
  vmesim::installCrate(Crate::makeDefault());
  EXPECT_EQ(vmetest::traceCycles(dir.file("t.trace")),
            (std::vector<std::string>{"W A24 D16 00200002 0004", "R A32 D32 0D000000 FFFFFFFF",
                                      "R A24 D8 00200001 FF BERR",
                                      "R A24 D32 00F00000 FFFFFFFF BERR"}));
  EXPECT_NE(vmetest::readFile(dir.file("t.trace")).find("\n# unmap window 1\n# close library\n"),
            std::string::npos);
}

}  // namespace

namespace {

TEST(CrateFile, DefaultCrateAndEveryExampleFileParse) {
  auto def = Crate::makeDefault();
  ASSERT_EQ(def->slots().size(), 6u);
  EXPECT_EQ(def->findName("LOBBO"), 3);
  const char* kinds[] = {"qem", "ttcvi", "trigger", "trigger", "memory", "memory"};
  for (std::size_t i = 0; i < 6; ++i) EXPECT_EQ(def->slots()[i].config.kind, kinds[i]);

  std::string error;
  auto fromFile = Crate::fromFile(vmetest::sourcePath("examples/crates/default.crate"), error);
  ASSERT_TRUE(fromFile) << error;
  EXPECT_EQ(fromFile->slots().size(), 6u);

  std::size_t faultFiles = 0;
  for (const auto& entry :
       std::filesystem::directory_iterator(vmetest::sourcePath("examples/faults"))) {
    if (entry.path().extension() != ".crate") continue;
    ++faultFiles;
    auto c = Crate::fromFile(entry.path().string(), error);
    EXPECT_TRUE(c) << error;
  }
  EXPECT_GE(faultFiles, 20u);
}

}  // namespace
