// plughost bench: a table and, on request, JSON with one object per operation and size, the
// plug-in's time beside native code's and the host calls the plug-in made.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tests/tools/plughost_run.h"

namespace {

using plughost_testing::Has;
using plughost_testing::Outcome;
using plughost_testing::Plughost;

size_t Occurrences(const std::string& text, const std::string& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

TEST(Bench, TimesEachOperationBesideNativeCodeAndCountsHostCalls) {
  char path[] = "/tmp/plughost_bench_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  close(fd);
  const Outcome run =
      Plughost(std::string("bench --n 64 --json ") + path + " --lib " + OSTREL_PATH);
  std::stringstream json;
  json << std::ifstream(path).rdbuf();
  std::remove(path);
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run.output, "operation    input           n   plugin_ms   native_ms"))
      << run.output;
  for (const char* operation : {"sortAscend", "shuffle", "randomBegin", "transfer"}) {
    EXPECT_TRUE(Has(json.str(), std::string("\"operation\": \"") + operation + "\"")) << json.str();
  }
  EXPECT_EQ(Occurrences(json.str(), "\"n\": 64,"), 5u) << json.str();
  EXPECT_EQ(Occurrences(json.str(), "\"input\": \"ascending\""), 1u);
  for (const char* key :
       {"\"plugin_ms\": ", "\"native_ms\": ", "\"ratio\": ", "\"host_calls\": "}) {
    EXPECT_EQ(Occurrences(json.str(), key), 5u) << key;
  }
  // An integer sort reads each element once and writes at most each once more; a shuffle
  // draws n - 1 numbers besides.
  auto callsOf = [&json](const std::string& operation) {
    const size_t row = json.str().find("\"operation\": \"" + operation + "\"");
    const size_t at = json.str().find("\"host_calls\": ", row);
    return row == std::string::npos ? 0ul : std::stoul(json.str().substr(at + 14));
  };
  EXPECT_GT(callsOf("sortAscend"), 64u);
  EXPECT_LE(callsOf("sortAscend"), 2u * 64 + 16);
  EXPECT_LE(callsOf("shuffle"), 3u * 64 + 2);
  EXPECT_LE(callsOf("randomBegin"), 8u * 64);

  EXPECT_EQ(Plughost("bench --n 0").status, 2);
  EXPECT_EQ(Plughost("bench --n 40000").status, 2);
  EXPECT_EQ(Plughost("bench --frobnicate").status, 2);
  EXPECT_EQ(Plughost("bench --lib /etc/passwd").status, 1);
}

}  // namespace
