// The refusals a run ends with before its first line: one line on standard
// error naming the reason, status 2, nothing on standard output.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <map>
#include <span>
#include <string>

#include "program_runner.h"

namespace vmetest {

struct Refusal {
  const char* program;
  std::string arg;
  std::map<std::string, std::string> env;
  std::string reason;
};

inline void expectRefused(std::span<const Refusal> cases) {
  for (const Refusal& c : cases) {
    RunOptions o = withInput("\n", c.env);
    if (!c.arg.empty()) o.args = {c.arg};
    o.timeoutMs = 20000;
    const RunResult r = runProgram(c.program, o);
    ASSERT_FALSE(r.timedOut) << c.reason;
    EXPECT_EQ(r.exitStatus, 2) << c.reason;
    EXPECT_EQ(countOf(r.err, "\n"), 1u) << r.err;
    EXPECT_THAT(r.err, testing::HasSubstr(c.reason));
    EXPECT_EQ(r.out, "") << c.reason << ": the run ends at the refusal";
  }
}

}  // namespace vmetest
