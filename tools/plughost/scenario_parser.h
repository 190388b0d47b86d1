// The scenario language of `plughost run`: one command a line, read into steps before
// anything runs, so a typo on the last line is reported before the first line touches a
// plug-in. The parser knows nothing of the host; the runner (scenario.h) gives the steps
// their meaning.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace plughost::scenario {

// A value as a scenario writes it. The runner turns it into a plug-in record or a host value.
struct Literal {
  enum class Kind {
    kInteger,
    kReal,
    kFlag,
    kId,
    kText,
    kRef,
    kUnassigned,
    kRange,
    kChoice,
    kEmpty,
    kPoint,
    kDuration,
    kTarget
  };
  Kind kind = Kind::kInteger;
  int32_t integer = 0;  // kInteger; kFlag holds 0 or 1; kRange: the start; kPoint: x;
                        // kDuration: the rate
  int32_t end = 0;      // kRange; kPoint: y
  double real = 0;
  uint32_t id = 0;      // kId; kChoice: the selection; kDuration: the count
  uint32_t second = 0;  // kId; kChoice: the word; kDuration: the divisor
  std::string text;     // kText: the characters; kRef: the object path, "" for none;
                        // kTarget: the object path
};

// The canonical spelling of a value, the same one the runner prints for what it read back:
// 42, real(0.5), flag(1), id(1802,0), "text", ref(/a/b), ref(none), unassigned,
// range(100,200), choice(3,0), empty, point(800,600), duration(600,1,600), target(/a/b).
std::string Format(const Literal& literal);
// A text in double quotes with \" \\ \n \r \t and \xHH escapes.
std::string Quote(std::string_view text);

enum class Op {
  kLoad,
  kClasses,
  kObject,
  kTree,
  kNew,
  kCopy,
  kAssign,
  kDestroy,
  kEnable,
  kDisable,
  kSet,
  kGet,
  kSend,
  kDeliver,
  kAdvance,
  kPosition,
  kRate,
  kSeek,
  kPlay,
  kMove,
  kPlot,
  kChange,
  kEditor,
  kItem,
  kApply,
  kSave,
  kRestore,
  kVisit,
  kMessages,
  kVisits,
  kListeners,
  kReport,
  kSay,
  kTrace,
  kExpect,
  kCursors,
  kMachine,
  kFill,
  kShow,
  kPrinter,
  kLayout,
};

// The tag a `get` presets in its output value; kAny lets the callee choose.
enum class OutType { kAny, kInteger, kReal, kFlag, kId, kText, kRef };

// What an `expect` line compares.
enum class Expect {
  kStatus,
  kValue,
  kDelivered,
  kHandled,
  kSent,
  kFaults,
  kLeaks,
  kListeners,
  kMessages,
  kCursor,
  kCursors,
  kList,
  kPrinted
};

struct Step {
  int line = 0;
  Op op = Op::kSay;
  std::string source;  // the line as written, trimmed
  std::string name;    // an instance name, or "all" for `destroy all`
  std::string other;   // a second instance name (copy, assign)
  std::string className;
  std::string path;  // an object path, "" when not given
  std::string base;  // base object path of new/copy, "" when not given
  std::string attribute;
  std::optional<Literal> index;
  Literal value;
  std::vector<Literal> values;  // fill, expect list
  OutType as = OutType::kAny;
  int64_t number = 0;  // advance, position, rate, seek, play, item, mode, version, counts;
                       // trace: 1 on, 0 off
  bool hasNumber = false;
  int64_t step = 100;  // play, move: milliseconds between steps
  std::string text;    // say: the rest of the line; load: the library; plot, layout: the SVG
                       // file
  Expect expect = Expect::kStatus;
  // machine: the facts to set, in order: version (GetVersion's word), processor, width,
  // height, depth, keyboard.
  std::vector<std::pair<std::string, int64_t>> facts;
  // printer: the settings, in order: dpi, pagewidth, pageheight, dialog (0 ok, 1 cancel,
  // 2 fail), bitmaps (1 or 0).
  std::vector<std::pair<std::string, int64_t>> printer;
};

struct ParseResult {
  std::vector<Step> steps;
  int errorLine = 0;  // 0 when the text parsed
  std::string error;  // what is wrong with that line
};

ParseResult Parse(std::string_view text);

// The language in a few lines, for `plughost --help`.
const char* LanguageHelp();

}  // namespace plughost::scenario
