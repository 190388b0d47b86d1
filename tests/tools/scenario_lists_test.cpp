// The scenario commands for lists: fill writes a whole list, show reads it back element by
// element, expect list compares what show read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "tests/tools/plughost_run.h"
#include "tools/plughost/scenario_parser.h"

namespace {

using plughost::scenario::Expect;
using plughost::scenario::Op;
using plughost::scenario::Parse;
using plughost_testing::Has;
using plughost_testing::Plughost;

TEST(ScenarioLists, FillShowAndExpectListParse) {
  const auto parsed = Parse("fill l 1 real(2.5) \"three\"\nshow l\nexpect list 1 \"x\"\nfill l\n");
  ASSERT_EQ(parsed.errorLine, 0) << parsed.error;
  ASSERT_EQ(parsed.steps.size(), 4u);
  EXPECT_EQ(parsed.steps[0].op, Op::kFill);
  EXPECT_EQ(parsed.steps[0].values.size(), 3u);
  EXPECT_EQ(parsed.steps[1].op, Op::kShow);
  EXPECT_EQ(parsed.steps[2].expect, Expect::kList);
  EXPECT_EQ(parsed.steps[2].values.size(), 2u);
  EXPECT_TRUE(parsed.steps[3].values.empty());
  EXPECT_EQ(Parse("show l extra\n").errorLine, 1);
  EXPECT_EQ(Parse("fill 9 1\n").errorLine, 1);
  EXPECT_EQ(Parse("fill l nothing\n").errorLine, 1);
}

TEST(ScenarioLists, AListIsFilledShownAndChecked) {
  char path[] = "/tmp/plughost_lists_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  std::ofstream(path) << "load ostrel\nobject /s\nnew l ListMod on /s\nfill l 3 1 2\n"
                         "expect status 0\nget l sortAscend\nshow l\nexpect list 1 2 3\n"
                         "expect list 3 2 1\nfill l 1 \"no\"\nexpect status 1\n";
  const auto run = Plughost(std::string("run ") + path + " --lib-dir " + LIB_DIR);
  std::remove(path);
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(Has(run.output, "  l = [1, 2, 3] (3 elements)")) << run.output;
  EXPECT_TRUE(Has(run.output, ":9: expected [3 2 1], got [1 2 3]")) << run.output;
  EXPECT_TRUE(Has(run.output, "value[2] = \"no\": refused (status 1)")) << run.output;
  EXPECT_FALSE(Has(run.output, ":11:")) << run.output;
}

}  // namespace
