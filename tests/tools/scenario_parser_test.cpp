// The scenario parser: what it accepts, how values read, and that every bad line is refused
// with its line number and a reason instead of being guessed at.
#include "tools/plughost/scenario_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using plughost::scenario::Expect;
using plughost::scenario::Format;
using plughost::scenario::Literal;
using plughost::scenario::Op;
using plughost::scenario::OutType;
using plughost::scenario::Parse;
using plughost::scenario::ParseResult;

TEST(ScenarioParser, ReadsEveryCommandShape) {
  const ParseResult r = Parse(
      "# a comment line\n"
      "\n"
      "load TAVIN   # trailing comment\n"
      "object /stage/movie class movie\n"
      "new q Quit on /stage/movie base /stage\n"
      "get q events[0x80000001] as id\n"
      "set p value = \"./a b\"\n"
      "set /stage title = ref(/stage/my movie)\n"
      "copy c from q on /stage\n"
      "send /stage id(1802,3)\n"
      "deliver q id(5) about /stage\n"
      "restore q version -1\n"
      "expect value id(1802)\n"
      "say Hello, \"world\" # kept\n"
      "destroy all\n");
  ASSERT_TRUE(r.error.empty()) << r.errorLine << ": " << r.error;
  ASSERT_EQ(r.steps.size(), 13u);
  EXPECT_EQ(r.steps[0].op, Op::kLoad);
  EXPECT_EQ(r.steps[0].line, 3);
  EXPECT_EQ(r.steps[0].text, "TAVIN");
  EXPECT_EQ(r.steps[1].className, "movie");
  EXPECT_EQ(r.steps[2].base, "/stage");
  const auto& get = r.steps[3];
  EXPECT_EQ(get.attribute, "events");
  ASSERT_TRUE(get.index.has_value());
  EXPECT_EQ(static_cast<uint32_t>(get.index->integer), 0x80000001u);
  EXPECT_EQ(get.as, OutType::kId);
  EXPECT_EQ(r.steps[4].value.text, "./a b");
  EXPECT_EQ(r.steps[5].path, "/stage");
  EXPECT_EQ(r.steps[5].value.text, "/stage/my movie");
  EXPECT_EQ(r.steps[6].other, "q");
  EXPECT_EQ(r.steps[7].value.second, 3u);
  EXPECT_EQ(r.steps[8].path, "/stage");
  EXPECT_EQ(r.steps[9].number, -1);
  EXPECT_EQ(r.steps[10].expect, Expect::kValue);
  EXPECT_EQ(r.steps[11].text, "Hello, \"world\" # kept");
  EXPECT_EQ(r.steps[12].name, "all");
}

TEST(ScenarioParser, ReadsTheMediaCommands) {
  const ParseResult r = Parse(
      "rate /stage/movie -1\n"
      "rate /stage/movie\n"
      "seek /stage/movie 500\n"
      "play /stage/movie 2000 step 250\n"
      "play /stage/movie 300\n"
      "position /stage/movie\n"
      "position /stage/movie -2147483648\n"
      "set /stage/movie rangesymbol[choice(3)] = range(100,200)\n"
      "expect sent 2\n");
  ASSERT_TRUE(r.error.empty()) << r.errorLine << ": " << r.error;
  ASSERT_EQ(r.steps.size(), 9u);
  EXPECT_EQ(r.steps[0].op, Op::kRate);
  EXPECT_EQ(r.steps[0].path, "/stage/movie");
  EXPECT_EQ(r.steps[0].number, -1);
  EXPECT_TRUE(r.steps[0].hasNumber);
  EXPECT_EQ(r.steps[1].op, Op::kRate);
  EXPECT_FALSE(r.steps[1].hasNumber);  // prints instead of setting
  EXPECT_EQ(r.steps[2].op, Op::kSeek);
  EXPECT_EQ(r.steps[2].number, 500);
  EXPECT_EQ(r.steps[3].op, Op::kPlay);
  EXPECT_EQ(r.steps[3].number, 2000);
  EXPECT_EQ(r.steps[3].step, 250);
  EXPECT_EQ(r.steps[4].step, 100);  // the default step
  EXPECT_FALSE(r.steps[5].hasNumber);
  EXPECT_TRUE(r.steps[6].hasNumber);
  EXPECT_EQ(r.steps[6].number, INT32_MIN);
  const auto& set = r.steps[7];
  ASSERT_TRUE(set.index.has_value());
  EXPECT_EQ(set.index->kind, Literal::Kind::kChoice);
  EXPECT_EQ(set.index->id, 3u);
  EXPECT_EQ(set.index->second, 0u);
  EXPECT_EQ(set.value.kind, Literal::Kind::kRange);
  EXPECT_EQ(set.value.integer, 100);
  EXPECT_EQ(set.value.end, 200);
  EXPECT_EQ(r.steps[8].expect, Expect::kSent);
  EXPECT_EQ(r.steps[8].number, 2);
}

TEST(ScenarioParser, ReadsTheMachineAndCursorCommands) {
  const ParseResult r = Parse(
      "machine\n"
      "machine version 3.95 processor 486 screen 800x600 depth 16 keyboard -1\n"
      "machine version 0x5F03\n"
      "cursors\n"
      "expect cursor -2\n"
      "expect cursors 3\n");
  ASSERT_TRUE(r.error.empty()) << r.errorLine << ": " << r.error;
  ASSERT_EQ(r.steps.size(), 6u);
  EXPECT_EQ(r.steps[0].op, Op::kMachine);
  EXPECT_TRUE(r.steps[0].facts.empty());  // shows the facts only
  using Facts = std::vector<std::pair<std::string, int64_t>>;
  EXPECT_EQ(r.steps[1].facts, (Facts{{"version", 0x5F03},
                                     {"processor", 486},
                                     {"width", 800},
                                     {"height", 600},
                                     {"depth", 16},
                                     {"keyboard", -1}}));
  EXPECT_EQ(r.steps[2].facts, (Facts{{"version", 0x5F03}}));
  EXPECT_EQ(r.steps[3].op, Op::kCursors);
  EXPECT_EQ(r.steps[4].expect, Expect::kCursor);
  EXPECT_EQ(r.steps[4].number, -2);
  EXPECT_EQ(r.steps[5].expect, Expect::kCursors);
}

TEST(ScenarioParser, ValuesHaveOneCanonicalSpelling) {
  struct Case {
    const char* written;
    const char* canonical;
  };
  const Case cases[] = {
      {"42", "42"},
      {"-7", "-7"},
      {"0x10", "16"},
      {"0xFFFFFFFF", "-1"},
      {"-2147483648", "-2147483648"},
      {"real(0.5)", "real(0.5)"},
      {"flag(true)", "flag(1)"},
      {"id(1802)", "id(1802,0)"},
      {"id(4294967295,1)", "id(4294967295,1)"},
      {"\"a\\\"b\\\\c\\n\\x01\"", "\"a\\\"b\\\\c\\n\\x01\""},
      {"ref(none)", "ref(none)"},
      {"ref(/a/b)", "ref(/a/b)"},
      {"unassigned", "unassigned"},
      {"empty", "empty"},
      {"range(100,200)", "range(100,200)"},
      {"range(-5,-2147483648)", "range(-5,-2147483648)"},
      {"range(0x10,2147483647)", "range(16,2147483647)"},
      {"range(200,100)", "range(200,100)"},  // the plug-in decides what a reversed range means
      {"choice(3)", "choice(3,0)"},
      {"choice(201,5)", "choice(201,5)"},
      {"choice(0xFFFFFFFF,4294967295)", "choice(4294967295,4294967295)"},
      {"point(800,600)", "point(800,600)"},
      {"point(-32768,0x7FFF)", "point(-32768,32767)"},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(std::string("expect value ") + c.written);
    ASSERT_TRUE(r.error.empty()) << c.written << ": " << r.error;
    EXPECT_EQ(Format(r.steps[0].value), c.canonical) << c.written;
  }
}

TEST(ScenarioParser, BadLinesNameTheirLineAndWhatIsWrong) {
  struct Case {
    const char* text;
    int line;
    const char* reason;
  };
  const Case cases[] = {
      {"load TAVIN\nfrobnicate now\n", 2, "unknown command \"frobnicate\""},
      {"advance 12x", 1, "\"12x\" is not a number from 0 to 86400000"},
      {"advance -5", 1, "is not a number from 0"},
      {"get q value[4294967296]", 1, "\"4294967296\" is not a 32-bit number"},
      {"set q value = \"open", 1, "no closing \""},
      {"set q value = \"bad\\q\"", 1, "unknown escape \\q"},
      {"set q value = id(12", 1, "has no closing \")\""},
      {"set q value = id(x)", 1, "is not a message id"},
      {"set q value = real(abc)", 1, "is not a real number"},
      {"set q value = flag(2)", 1, "is not a flag"},
      {"set q value = ref(stage)", 1, "is not a reference"},
      {"set q value = banana", 1, "\"banana\" is not a value"},
      {"set q value 5", 1, "expected \"=\", not \"5\""},
      {"set q value =", 1, "missing value"},
      {"set q averyveryverylongname = 1", 1, "not an attribute name of at most 16"},
      {"get q events[1 as id", 1, "expected \"]\""},
      {"get q value as banana", 1, "\"banana\" is not a type"},
      {"new 9q Quit on /stage", 1, "\"9q\" is not an instance name"},
      {"new q Quit at /stage", 1, "expected \"on\", not \"at\""},
      {"new q Quit on stage", 1, "\"stage\" is not an object path"},
      {"object /stage/", 1, "is not an object path"},
      {"object //x", 1, "is not an object path"},
      {"send /stage 1802", 1, "expected a message id like id(1802)"},
      {"enable all", 1, "\"all\" only goes with destroy"},
      {"classes now", 1, "unexpected \"now\" at the end of the line"},
      {"expect banana 1", 1, "cannot expect \"banana\""},
      {"expect status", 1, "missing a count or status"},
      {"load", 1, "missing a library"},
      {"item 99999 = 1", 1, "is not a number from -32768 to 32767"},
      {"\n\n\nsay ok\nposition /a b", 5, "\"b\" is not a number"},
      {"set q value = x)", 1, "\")\" without \"(\""},
      {"set q value = range(100)", 1, "\"range(100)\" is not a range: write range(100,200)"},
      {"set q value = range()", 1, "is not a range"},
      {"set q value = range(1,2,3)", 1, "is not a range"},
      {"set q value = range(1,)", 1, "is not a range"},
      {"set q value = range(a,b)", 1, "is not a range"},
      {"set q value = range(0xFFFFFFFF,1)", 1, "is not a range"},  // positions are signed
      {"set q value = range(1,2147483648)", 1, "is not a range"},
      {"set q value = choice()", 1, "is not a choice: write choice(3)"},
      {"set q value = choice(x)", 1, "is not a choice"},
      {"set q value = choice(-1)", 1, "is not a choice"},
      {"set q value = choice(1,2,3)", 1, "is not a choice"},
      {"set q value = choice(4294967296)", 1, "is not a choice"},
      {"set /m rangesymbol[choice(3] = range(1,2)", 1, "has no closing \")\""},
      {"rate", 1, "missing an object path"},
      {"rate movie 5", 1, "\"movie\" is not an object path"},
      {"rate /m fast", 1, "\"fast\" is not a number from -2147483648 to 2147483647 (a rate)"},
      {"rate /m 2147483648", 1, "is not a number from -2147483648"},
      {"rate /m 1 2", 1, "unexpected \"2\" at the end of the line"},
      {"seek /m", 1, "missing a position"},
      {"seek /m 5 6", 1, "unexpected \"6\""},
      {"seek /m real(1.5)", 1, "\"real(1.5)\" is not a number"},
      {"play /m", 1, "missing milliseconds"},
      {"play /m -100", 1, "is not a number from 0 to 86400000 (milliseconds)"},
      {"play /m 100 step", 1, "missing a step in milliseconds"},
      {"play /m 100 step 0", 1, "\"0\" is not a number from 1 to 86400000"},
      {"play /m 100 step 86400001", 1, "is not a number from 1 to 86400000"},
      {"play /m 100 pace 5", 1, "unexpected \"pace\""},
      {"play /m 100 step 10 step 20", 1, "unexpected \"step\""},
      {"position /m 1 2", 1, "unexpected \"2\""},
      {"position", 1, "missing an object path"},
      {"expect sent", 1, "missing a count or status"},
      {"expect sent -1", 1, "is not a number from 0"},
      {"set q value = point(1)", 1, "is not a point: write point(800,600)"},
      {"set q value = point(32768,0)", 1, "is not a point"},
      {"expect cursor", 1, "missing a cursor number"},
      {"cursors all", 1, "unexpected \"all\""},
      {"machine speed 5", 1, "\"speed\" is no fact of the machine"},
      {"machine version", 1, "missing a value for version"},
      {"machine version 3.256", 1, "\"3.256\" is not a version"},
      {"machine version -1", 1, "is not a number for version"},
      {"machine screen 800", 1, "\"800\" is not a screen size: write 800x600"},
      {"machine screen 800xwide", 1, "is not a screen size"},
      {"machine keyboard IBM", 1, "\"IBM\" is not a number for keyboard"},
  };
  for (const Case& c : cases) {
    const ParseResult r = Parse(c.text);
    EXPECT_EQ(r.errorLine, c.line) << c.text;
    EXPECT_NE(r.error.find(c.reason), std::string::npos) << c.text << " -> " << r.error;
    EXPECT_TRUE(r.steps.empty() || r.errorLine != 0);
  }
  // A NUL byte is no scenario text.
  const ParseResult nul = Parse(std::string("say a\nsay b\0c\n", 14));
  EXPECT_EQ(nul.errorLine, 2);
}

TEST(ScenarioParser, EmptyAndCommentOnlyTextsHaveNoSteps) {
  for (const char* text : {"", "\n\n", "# only a comment\n   # another\n", "   \t  "}) {
    const ParseResult r = Parse(text);
    EXPECT_TRUE(r.error.empty()) << r.error;
    EXPECT_TRUE(r.steps.empty()) << text;
  }
  // Windows line ends read like Unix ones.
  const ParseResult crlf = Parse("classes\r\ntree\r\n");
  ASSERT_TRUE(crlf.error.empty()) << crlf.error;
  EXPECT_EQ(crlf.steps.size(), 2u);
}

}  // namespace
