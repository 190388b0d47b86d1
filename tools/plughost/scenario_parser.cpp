#include "tools/plughost/scenario_parser.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>

namespace plughost::scenario {

const char* LanguageHelp() {
  return R"(Scenario files (plughost run FILE [--lib-dir DIR] [--trace] [--form so|dll]): one command
a line, # starts a comment; --trace starts the run with trace on.
  load LIB                      load a plug-in library: a path, or a name found in --lib-dir,
                                LIB.so or LIB.dll (--form so or dll takes only that build)
  classes | tree                list the loaded classes | the object tree and its instances
  object PATH [class NAME]      add an object (/stage/movie); its parent must exist
  new NAME CLASS on PATH [base PATH]   create an instance on an object (base: classes with
                                flags 5; the owner when not given)
  copy NAME from NAME [on PATH] [base PATH]   CopyConstruct; assign NAME from NAME: Assign
  destroy NAME | destroy all    Destruct
  enable NAME | disable NAME    Enable | Disable
  set TARGET ATTR[INDEX] = VALUE    SetAttribute of an instance; with /PATH as the target, an
                                attribute of the object itself
  get TARGET ATTR[INDEX] [as int|real|flag|id|text|ref|any]   GetAttribute, the output
                                preset to that kind (a different kind written is pointed out)
  send PATH ID                  deliver a message about an object to every listening instance
  deliver NAME ID [about PATH]  call one instance's HandleMessage
  advance MS                    step the clock (periodic calls fall due)
  rate PATH [N]                 set (or print) an object's "rate": position units a second,
                                negative plays backward
  seek PATH N                   jump to a play position; position PATH N is the same
  play PATH MS [step MS]        play for MS of clock time, the position moving at the rate and
                                notified every step (100 ms when not given)
  position PATH                 print an object's play position (expect value N checks it)
  move PATH to point(X,Y) over MS [step MS]   move an object's "position" in a straight line
                                while the clock advances (100 ms steps when not given)
  plot ATTR FILE.svg            write what the plug-ins set ATTR to since the last plot, one line
                                per object with the messages it handled, and print sparklines;
                                FILE is taken in --out-dir (the current folder when not given)
  editor NAME [mode N]          ToEditor into the editor; item N = VALUE; apply NAME: FromEditor
                                (item N = target(/PATH) chooses a target object)
  change NAME N                 EditorItemChanged for item N, then the items as they now are
  save NAME | restore NAME [version N]   StoredSize+Save | Load from what was saved last
  fill NAME VALUE...            write "count" and then each "value"[1..n] (a list)
  show NAME                     read "count" and each "value"[i]; expect list VALUE... checks
  visit NAME                    VisitMessageIds; visits | messages | listeners: what the host saw
  cursors                       every cursor the plug-ins asked the host to show (each is also
                                printed under the command that asked for it)
  machine [version 3.95] [processor 486] [screen 800x600] [depth 16] [keyboard 4]
          [time 1765281600|now]  what the system queries answer from now on (printed either
                                way); a version may also be GetVersion's word, like 0x5F03;
                                time: seconds since 1970 the clock stands at, or now
  layout NAME [svg FILE]        read "value" 1..28 of an instance as a dealt tile layout: the
                                list and its three layers as a picture, and as an SVG (a
                                relative FILE goes to --out-dir)
  printer [dpi 600] [page 480x660] [dialog ok|cancel|fail] [bitmaps yes|no]
                                the virtual printer from now on (shown either way); a page
                                a plug-in prints is shown under the command that printed it
  report                        ownership faults and leaks (destroy all first to see leaks)
  say TEXT                      print a line
  trace on | trace off          print every host call the plug-ins make (and every slot the
                                host calls) under the command that caused it, indented by
                                nesting: "Quit#1: Instance.Listen(1, id(1802,0)) = 0"
  expect status N | value VALUE | delivered N | handled N | sent N | faults N | leaks N |
         listeners N | messages N | cursor N | cursors N | list VALUE... | printed N   fail the
                                run (with the line number) when it differs; sent: messages the
                                plug-ins sent during the last command that called one
                                (scenarios/README.md lists them); messages: all so far;
                                cursor: the cursor last asked for; cursors: how many times
                                one was asked for; list: the elements the last show read;
                                printed: print jobs so far
Values: 42 -7 0x80000001, real(0.5), flag(1), id(1802) or id(1802,3) (message ids),
  "text" (\" \\ \n \r \t escapes), ref(/stage/movie), ref(none), unassigned,
  range(100,200) (start, end), choice(3) or choice(3,0) (selection, word), point(800,600),
  duration(600) or duration(600,1,600) (count, divisor, rate), empty,
  target(/stage/list) (a target designation, as the editor yields it).
The run fails on the first error, on a call past the time limit, on any failed expect, on an
export refused, and when the host saw an ownership fault or a leak once every instance is gone
at the end; it ends with one summary line.
)";
}

namespace {

struct Token {
  std::string text;
  bool quoted = false;
};

bool IsPunct(char c) {
  return c == '[' || c == ']' || c == '=';
}

// Splits a line into words, quoted texts and the punctuation [ ] =. A word runs through
// parentheses whole, spaces included, so ref(/my stage) is one word.
bool Tokenize(std::string_view line, std::vector<Token>* tokens, std::string* error) {
  size_t i = 0;
  while (i < line.size()) {
    char c = line[i];
    if (std::isspace(static_cast<unsigned char>(c))) {
      ++i;
      continue;
    }
    if (c == '#') break;
    if (IsPunct(c)) {
      tokens->push_back({std::string(1, c), false});
      ++i;
      continue;
    }
    if (c == '"') {
      std::string text;
      ++i;
      bool closed = false;
      while (i < line.size()) {
        char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d != '\\') {
          text += d;
          continue;
        }
        if (i >= line.size()) break;
        char e = line[i++];
        switch (e) {
          case 'n':
            text += '\n';
            break;
          case 'r':
            text += '\r';
            break;
          case 't':
            text += '\t';
            break;
          case '"':
          case '\\':
            text += e;
            break;
          case 'x': {
            auto hex = [](char h) {
              return std::isxdigit(static_cast<unsigned char>(h))
                         ? (std::isdigit(static_cast<unsigned char>(h))
                                ? h - '0'
                                : std::tolower(static_cast<unsigned char>(h)) - 'a' + 10)
                         : -1;
            };
            if (i + 1 < line.size() && hex(line[i]) >= 0 && hex(line[i + 1]) >= 0) {
              text += static_cast<char>(hex(line[i]) * 16 + hex(line[i + 1]));
              i += 2;
              break;
            }
            *error = "\\x in a text needs two hex digits";
            return false;
          }
          default:
            *error = std::string("unknown escape \\") + e + " in a text";
            return false;
        }
      }
      if (!closed) {
        *error = "the text has no closing \"";
        return false;
      }
      tokens->push_back({text, true});
      continue;
    }
    std::string word;
    int depth = 0;
    while (i < line.size()) {
      char d = line[i];
      if (depth == 0 && (std::isspace(static_cast<unsigned char>(d)) || IsPunct(d) || d == '"'))
        break;
      if (d == '(') ++depth;
      if (d == ')' && --depth < 0) {
        *error = "\")\" without \"(\" in \"" + word + ")\"";
        return false;
      }
      word += d;
      ++i;
    }
    if (depth != 0) {
      *error = "\"" + word + "\" has no closing \")\"";
      return false;
    }
    tokens->push_back({word, false});
  }
  return true;
}

// A 32-bit number: decimal (optionally negative) or 0x hex. Values up to 0xFFFFFFFF are
// taken as their bit pattern, so an index like 0x80000001 can be written as it is meant.
bool ParseNumber(const std::string& text, int64_t low, int64_t high, int64_t* out) {
  if (text.empty()) return false;
  size_t i = 0;
  bool negative = false;
  if (text[0] == '-' || text[0] == '+') {
    negative = text[0] == '-';
    i = 1;
  }
  int base = 10;
  if (text.size() > i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  int64_t value = 0;
  for (; i < text.size(); ++i) {
    char c = text[i];
    int digit;
    if (std::isdigit(static_cast<unsigned char>(c))) {
      digit = c - '0';
    } else if (base == 16 && std::isxdigit(static_cast<unsigned char>(c))) {
      digit = std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
    } else {
      return false;
    }
    value = value * base + digit;
    if (value > (int64_t{1} << 33)) return false;
  }
  if (negative) value = -value;
  if (value < low || value > high) return false;
  *out = value;
  return true;
}

std::string Inside(const std::string& word, size_t prefix) {
  return word.substr(prefix, word.size() - prefix - 1);
}

// "a" or "a,b" of two unsigned 32-bit words, the second 0 when left out (message ids and
// choices are written alike).
bool ParseWordPair(const std::string& body, int64_t* first, int64_t* second) {
  const size_t comma = body.find(',');
  const std::string a = body.substr(0, comma);
  const std::string b = comma == std::string::npos ? "0" : body.substr(comma + 1);
  return ParseNumber(a, 0, UINT32_MAX, first) && ParseNumber(b, 0, UINT32_MAX, second);
}

// "a,b" of two numbers in low..high (a range's ends, a point's coordinates).
bool ParseNumberPair(const std::string& body, int64_t low, int64_t high, int64_t* a, int64_t* b) {
  const size_t comma = body.find(',');
  return comma != std::string::npos && ParseNumber(body.substr(0, comma), low, high, a) &&
         ParseNumber(body.substr(comma + 1), low, high, b);
}

bool Starts(const std::string& word, const char* prefix) {
  return word.rfind(prefix, 0) == 0 && word.back() == ')';
}

bool IsPath(const std::string& word);

constexpr const char* kValueForms =
    "write 42, real(1.5), flag(1), id(1802), id(1802,3), \"text\", ref(/path), ref(none), "
    "range(100,200), choice(3), choice(3,0), point(800,600), duration(600), duration(600,1,600), "
    "empty, unassigned or target(/path)";

bool ParseLiteral(const Token& token, Literal* out, std::string* error) {
  *out = Literal{};
  const std::string& w = token.text;
  if (token.quoted) {
    out->kind = Literal::Kind::kText;
    out->text = w;
    return true;
  }
  if (w == "unassigned") {
    out->kind = Literal::Kind::kUnassigned;
    return true;
  }
  if (w == "empty") {
    out->kind = Literal::Kind::kEmpty;
    return true;
  }
  int64_t number = 0;
  if (!w.empty() &&
      (std::isdigit(static_cast<unsigned char>(w[0])) || w[0] == '-' || w[0] == '+')) {
    if (!ParseNumber(w, INT32_MIN, UINT32_MAX, &number)) {
      *error = "\"" + w + "\" is not a 32-bit number";
      return false;
    }
    out->kind = Literal::Kind::kInteger;
    out->integer = static_cast<int32_t>(static_cast<uint32_t>(number));
    return true;
  }
  if (Starts(w, "id(")) {
    int64_t a = 0, b = 0;
    if (!ParseWordPair(Inside(w, 3), &a, &b)) {
      *error = "\"" + w + "\" is not a message id: write id(1802) or id(1802,3)";
      return false;
    }
    out->kind = Literal::Kind::kId;
    out->id = static_cast<uint32_t>(a);
    out->second = static_cast<uint32_t>(b);
    return true;
  }
  if (Starts(w, "range(")) {
    int64_t a = 0, b = 0;
    // Both ends are signed positions: a bit pattern like 0xFFFFFFFF is no position.
    if (!ParseNumberPair(Inside(w, 6), INT32_MIN, INT32_MAX, &a, &b)) {
      *error = "\"" + w + "\" is not a range: write range(100,200) (start, end)";
      return false;
    }
    out->kind = Literal::Kind::kRange;
    out->integer = static_cast<int32_t>(a);
    out->end = static_cast<int32_t>(b);
    return true;
  }
  if (Starts(w, "point(")) {
    int64_t x = 0, y = 0;
    if (!ParseNumberPair(Inside(w, 6), INT16_MIN, INT16_MAX, &x, &y)) {
      *error = "\"" + w + "\" is not a point: write point(800,600) (x, y, each 16 bits)";
      return false;
    }
    out->kind = Literal::Kind::kPoint;
    out->integer = static_cast<int32_t>(x);
    out->end = static_cast<int32_t>(y);
    return true;
  }
  if (Starts(w, "choice(")) {
    int64_t a = 0, b = 0;
    if (!ParseWordPair(Inside(w, 7), &a, &b)) {
      *error = "\"" + w + "\" is not a choice: write choice(3) or choice(3,0) (selection, word)";
      return false;
    }
    out->kind = Literal::Kind::kChoice;
    out->id = static_cast<uint32_t>(a);
    out->second = static_cast<uint32_t>(b);
    return true;
  }
  if (Starts(w, "duration(")) {
    // count[,divisor[,rate]]: ticks of 1/600 second when only the count is given.
    std::vector<int64_t> words = {0, 1, 600};
    std::string body = Inside(w, 9);
    bool ok = !body.empty();
    for (size_t i = 0; ok && i < words.size() && !body.empty(); ++i) {
      const size_t comma = body.find(',');
      ok = ParseNumber(body.substr(0, comma), INT32_MIN, UINT32_MAX, &words[i]);
      body = comma == std::string::npos ? "" : body.substr(comma + 1);
      ok = ok && !(comma != std::string::npos && body.empty());
    }
    if (!ok || !body.empty()) {
      *error = "\"" + w + "\" is not a duration: write duration(600) or duration(600,1,600)";
      return false;
    }
    out->kind = Literal::Kind::kDuration;
    out->id = static_cast<uint32_t>(words[0]);
    out->second = static_cast<uint32_t>(words[1]);
    out->integer = static_cast<int32_t>(static_cast<uint32_t>(words[2]));
    return true;
  }
  if (Starts(w, "real(")) {
    std::string body = Inside(w, 5);
    char* end = nullptr;
    double d = std::strtod(body.c_str(), &end);
    if (body.empty() || end == nullptr || *end != '\0' || !std::isfinite(d)) {
      *error = "\"" + w + "\" is not a real number: write real(0.5)";
      return false;
    }
    out->kind = Literal::Kind::kReal;
    out->real = d;
    return true;
  }
  if (Starts(w, "flag(")) {
    std::string body = Inside(w, 5);
    out->kind = Literal::Kind::kFlag;
    if (body == "1" || body == "true") {
      out->integer = 1;
    } else if (body == "0" || body == "false") {
      out->integer = 0;
    } else {
      *error = "\"" + w + "\" is not a flag: write flag(0) or flag(1)";
      return false;
    }
    return true;
  }
  if (Starts(w, "ref(")) {
    std::string body = Inside(w, 4);
    out->kind = Literal::Kind::kRef;
    if (body == "none") return true;
    if (body.empty() || body[0] != '/') {
      *error = "\"" + w + "\" is not a reference: write ref(/stage/movie) or ref(none)";
      return false;
    }
    out->text = body;
    return true;
  }
  if (Starts(w, "target(")) {
    std::string body = Inside(w, 7);
    if (!IsPath(body)) {
      *error = "\"" + w + "\" is not a target: write target(/stage/list)";
      return false;
    }
    out->kind = Literal::Kind::kTarget;
    out->text = body;
    return true;
  }
  *error = "\"" + w + "\" is not a value (" + kValueForms + ")";
  return false;
}

bool IsName(const std::string& word) {
  if (word.empty() || !(std::isalpha(static_cast<unsigned char>(word[0])) || word[0] == '_'))
    return false;
  for (char c : word) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  }
  return true;
}

bool IsPath(const std::string& word) {
  return word.size() > 1 && word[0] == '/' && word.back() != '/' &&
         word.find("//") == std::string::npos;
}

// Reads one line's tokens into a step; every complaint names what was expected.
class LineParser {
 public:
  LineParser(std::vector<Token> tokens, Step* step) : tokens_(std::move(tokens)), step_(step) {}

  bool Parse(std::string* error);

 private:
  bool Fail(std::string message) {
    error_ = std::move(message);
    return false;
  }
  bool AtEnd() const { return at_ >= tokens_.size(); }
  const Token* Peek() const { return AtEnd() ? nullptr : &tokens_[at_]; }
  bool PeekWord(const char* word) const {
    return !AtEnd() && !tokens_[at_].quoted && tokens_[at_].text == word;
  }
  bool Word(const char* what, std::string* out) {
    if (AtEnd()) return Fail(std::string("missing ") + what);
    *out = tokens_[at_++].text;
    return true;
  }
  bool Keyword(const char* word) {
    if (!PeekWord(word)) {
      return Fail(std::string("expected \"") + word + "\"" +
                  (AtEnd() ? "" : ", not \"" + tokens_[at_].text + "\""));
    }
    ++at_;
    return true;
  }
  bool Name(std::string* out) {
    if (!Word("an instance name", out)) return false;
    if (!IsName(*out)) return Fail("\"" + *out + "\" is not an instance name (letters, digits, _)");
    return true;
  }
  bool Path(std::string* out) {
    if (!Word("an object path", out)) return false;
    if (!IsPath(*out)) return Fail("\"" + *out + "\" is not an object path (like /stage/movie)");
    return true;
  }
  bool Number(const char* what, int64_t low, int64_t high, int64_t* out) {
    std::string word;
    if (!Word(what, &word)) return false;
    if (!ParseNumber(word, low, high, out)) {
      return Fail("\"" + word + "\" is not a number from " + std::to_string(low) + " to " +
                  std::to_string(high) + " (" + what + ")");
    }
    step_->hasNumber = true;
    return true;
  }
  bool Value(Literal* out) {
    if (AtEnd()) return Fail(std::string("missing value (") + kValueForms + ")");
    return ParseLiteral(tokens_[at_++], out, &error_);
  }
  // The rest of the line: any number of values.
  bool Values(std::vector<Literal>* out) {
    while (!AtEnd()) {
      out->emplace_back();
      if (!Value(&out->back())) return false;
    }
    return true;
  }
  bool Id(Literal* out) {
    if (!Value(out)) return false;
    if (out->kind != Literal::Kind::kId) return Fail("expected a message id like id(1802)");
    return true;
  }
  bool Target() {
    std::string word;
    if (!Word("an instance name or an object path", &word)) return false;
    if (IsPath(word)) {
      step_->path = word;
    } else if (IsName(word)) {
      step_->name = word;
    } else {
      return Fail("\"" + word + "\" is neither an instance name nor an object path");
    }
    return true;
  }
  bool Attribute() {
    if (!Word("an attribute name", &step_->attribute)) return false;
    if (step_->attribute.size() > 16 || !IsName(step_->attribute)) {
      return Fail("\"" + step_->attribute + "\" is not an attribute name of at most 16 letters");
    }
    if (PeekWord("[")) {
      ++at_;
      Literal index;
      if (!Value(&index)) return false;
      step_->index = index;
      if (!Keyword("]")) return false;
    }
    return true;
  }
  bool End() {
    if (!AtEnd()) return Fail("unexpected \"" + tokens_[at_].text + "\" at the end of the line");
    return true;
  }
  // printer's KEY VALUE pairs: dpi N, page WIDTHxHEIGHT, dialog ok|cancel|fail, bitmaps yes|no.
  bool PrinterSettings() {
    while (!AtEnd()) {
      std::string key, value;
      if (!Word("a setting (dpi, page, dialog or bitmaps)", &key)) return false;
      if (!Word(("a value for " + key).c_str(), &value)) return false;
      int64_t a = 0, b = 0;
      const size_t split = value.find('x');
      if (key == "dpi") {
        if (!ParseNumber(value, 0, INT32_MAX, &a))
          return Fail("\"" + value + "\" is not a number of pixels per inch");
        step_->printer.emplace_back(key, a);
      } else if (key == "page") {
        if (split == std::string::npos || !ParseNumber(value.substr(0, split), 0, INT32_MAX, &a) ||
            !ParseNumber(value.substr(split + 1), 0, INT32_MAX, &b)) {
          return Fail("\"" + value + "\" is not a page size: write 480x660");
        }
        step_->printer.emplace_back("pagewidth", a);
        step_->printer.emplace_back("pageheight", b);
      } else if (key == "dialog" && (value == "ok" || value == "cancel" || value == "fail")) {
        step_->printer.emplace_back(key, value == "ok" ? 0 : value == "cancel" ? 1 : 2);
      } else if (key == "bitmaps" && (value == "yes" || value == "no")) {
        step_->printer.emplace_back(key, value == "yes" ? 1 : 0);
      } else {
        return Fail("\"" + key + " " + value + "\" is no printer setting (dpi N, page WxH, " +
                    "dialog ok|cancel|fail, bitmaps yes|no)");
      }
    }
    return true;
  }
  // machine's KEY VALUE pairs. A version is major.minor (each 0 to 255) or GetVersion's word;
  // a screen is WIDTHxHEIGHT.
  bool MachineFacts() {
    while (!AtEnd()) {
      std::string key, value;
      if (!Word("a fact (version, processor, screen, depth, keyboard or time)", &key)) return false;
      if (!Word(("a value for " + key).c_str(), &value)) return false;
      int64_t a = 0, b = 0;
      const size_t split = value.find(key == "version" ? '.' : 'x');
      if (key == "version" && split != std::string::npos) {
        if (!ParseNumber(value.substr(0, split), 0, 255, &a) ||
            !ParseNumber(value.substr(split + 1), 0, 255, &b)) {
          return Fail("\"" + value + "\" is not a version: write 3.95 or 0x5F03");
        }
        step_->facts.emplace_back(key, a | (b << 8));
      } else if (key == "version" || key == "processor" || key == "depth" || key == "keyboard") {
        const int64_t low = key == "version" || key == "processor" ? 0 : INT32_MIN;
        if (!ParseNumber(value, low,
                         key == "version" || key == "processor" ? UINT32_MAX : INT32_MAX, &a)) {
          return Fail("\"" + value + "\" is not a number for " + key);
        }
        step_->facts.emplace_back(key, a);
      } else if (key == "time") {
        // Seconds since 1970 the system clock stands at, or "now" for a clock that runs.
        if (value == "now") {
          a = -1;
        } else if (!ParseNumber(value, 0, UINT32_MAX, &a)) {
          return Fail("\"" + value + "\" is not a time: write seconds since 1970 or now");
        }
        step_->facts.emplace_back(key, a);
      } else if (key == "screen") {
        if (split == std::string::npos ||
            !ParseNumber(value.substr(0, split), INT32_MIN, INT32_MAX, &a) ||
            !ParseNumber(value.substr(split + 1), INT32_MIN, INT32_MAX, &b)) {
          return Fail("\"" + value + "\" is not a screen size: write 800x600");
        }
        step_->facts.emplace_back("width", a);
        step_->facts.emplace_back("height", b);
      } else {
        return Fail("\"" + key + "\" is no fact of the machine (version, processor, screen, " +
                    "depth, keyboard or time)");
      }
    }
    return true;
  }

 public:
  std::string error_;

 private:
  std::vector<Token> tokens_;
  size_t at_ = 0;
  Step* step_;
};

bool LineParser::Parse(std::string* error) {
  static const std::map<std::string, Op> ops = {
      {"load", Op::kLoad},           {"classes", Op::kClasses},   {"object", Op::kObject},
      {"tree", Op::kTree},           {"new", Op::kNew},           {"copy", Op::kCopy},
      {"assign", Op::kAssign},       {"destroy", Op::kDestroy},   {"enable", Op::kEnable},
      {"disable", Op::kDisable},     {"set", Op::kSet},           {"get", Op::kGet},
      {"send", Op::kSend},           {"deliver", Op::kDeliver},   {"advance", Op::kAdvance},
      {"position", Op::kPosition},   {"rate", Op::kRate},         {"seek", Op::kSeek},
      {"play", Op::kPlay},           {"editor", Op::kEditor},     {"item", Op::kItem},
      {"apply", Op::kApply},         {"save", Op::kSave},         {"restore", Op::kRestore},
      {"visit", Op::kVisit},         {"messages", Op::kMessages}, {"visits", Op::kVisits},
      {"listeners", Op::kListeners}, {"report", Op::kReport},     {"say", Op::kSay},
      {"trace", Op::kTrace},         {"expect", Op::kExpect},     {"cursors", Op::kCursors},
      {"machine", Op::kMachine},     {"move", Op::kMove},         {"plot", Op::kPlot},
      {"change", Op::kChange},       {"fill", Op::kFill},         {"show", Op::kShow},
      {"printer", Op::kPrinter},     {"layout", Op::kLayout},
  };
  Step& s = *step_;
  std::string command = tokens_[0].text;
  auto it = tokens_[0].quoted ? ops.end() : ops.find(command);
  if (it == ops.end()) {
    *error = "unknown command \"" + command + "\" (plughost --help lists the commands)";
    return false;
  }
  s.op = it->second;
  at_ = 1;
  bool ok = true;
  switch (s.op) {
    case Op::kLoad:
      ok = Word("a library", &s.text) && End();
      break;
    case Op::kClasses:
    case Op::kTree:
    case Op::kMessages:
    case Op::kVisits:
    case Op::kListeners:
    case Op::kReport:
    case Op::kCursors:
      ok = End();
      break;
    case Op::kObject:
      ok = Path(&s.path);
      if (ok && PeekWord("class")) {
        ++at_;
        ok = Word("a class name", &s.className);
      }
      ok = ok && End();
      break;
    case Op::kNew:
      ok = Name(&s.name) && Word("a class name", &s.className) && Keyword("on") && Path(&s.path);
      if (ok && PeekWord("base")) {
        ++at_;
        ok = Path(&s.base);
      }
      ok = ok && End();
      break;
    case Op::kCopy:
      ok = Name(&s.name) && Keyword("from") && Name(&s.other);
      while (ok && (PeekWord("on") || PeekWord("base"))) {
        bool on = PeekWord("on");
        ++at_;
        ok = Path(on ? &s.path : &s.base);
      }
      ok = ok && End();
      break;
    case Op::kAssign:
      ok = Name(&s.name) && Keyword("from") && Name(&s.other) && End();
      break;
    case Op::kFill:
      ok = Name(&s.name) && Values(&s.values);
      break;
    case Op::kShow:
      ok = Name(&s.name) && End();
      break;
    case Op::kDestroy:
    case Op::kEnable:
    case Op::kDisable:
    case Op::kApply:
    case Op::kSave:
    case Op::kVisit:
      ok = Name(&s.name) && End();
      if (ok && s.op != Op::kDestroy && s.name == "all")
        ok = Fail("\"all\" only goes with destroy");
      break;
    case Op::kRestore:
      ok = Name(&s.name);
      if (ok && PeekWord("version")) {
        ++at_;
        ok = Number("a data version", INT16_MIN, INT16_MAX, &s.number);
      }
      ok = ok && End();
      break;
    case Op::kEditor:
      ok = Name(&s.name);
      if (ok && PeekWord("mode")) {
        ++at_;
        ok = Number("an editor mode", INT16_MIN, INT16_MAX, &s.number);
      }
      ok = ok && End();
      break;
    case Op::kItem:
      ok = Number("an editor item number", INT16_MIN, INT16_MAX, &s.number) && Keyword("=") &&
           Value(&s.value) && End();
      break;
    case Op::kChange:
      ok = Name(&s.name) && Number("an editor item number", INT16_MIN, INT16_MAX, &s.number) &&
           End();
      break;
    case Op::kSet:
      ok = Target() && Attribute() && Keyword("=") && Value(&s.value) && End();
      break;
    case Op::kGet:
      ok = Target() && Attribute();
      if (ok && PeekWord("as")) {
        ++at_;
        static const std::map<std::string, OutType> types = {
            {"any", OutType::kAny},   {"int", OutType::kInteger}, {"real", OutType::kReal},
            {"flag", OutType::kFlag}, {"id", OutType::kId},       {"text", OutType::kText},
            {"ref", OutType::kRef}};
        std::string type;
        ok = Word("a type", &type);
        auto t = types.find(type);
        if (ok && t == types.end()) {
          ok = Fail("\"" + type + "\" is not a type (int, real, flag, id, text, ref or any)");
        } else if (ok) {
          s.as = t->second;
        }
      }
      ok = ok && End();
      break;
    case Op::kSend:
      ok = Path(&s.path) && Id(&s.value) && End();
      break;
    case Op::kDeliver:
      ok = Name(&s.name) && Id(&s.value);
      if (ok && PeekWord("about")) {
        ++at_;
        ok = Path(&s.path);
      }
      ok = ok && End();
      break;
    case Op::kAdvance:
      ok = Number("milliseconds", 0, 86400000, &s.number) && End();
      break;
    case Op::kPosition:
    case Op::kRate:
      ok = Path(&s.path);
      if (ok && !AtEnd()) {
        ok = s.op == Op::kRate ? Number("a rate", INT32_MIN, INT32_MAX, &s.number)
                               : Number("a position", INT32_MIN, INT32_MAX, &s.number);
      }
      ok = ok && End();
      break;
    case Op::kSeek:
      ok = Path(&s.path) && Number("a position", INT32_MIN, INT32_MAX, &s.number) && End();
      break;
    case Op::kPlay:
      ok = Path(&s.path) && Number("milliseconds", 0, 86400000, &s.number);
      if (ok && PeekWord("step")) {
        ++at_;
        ok = Number("a step in milliseconds", 1, 86400000, &s.step);
      }
      ok = ok && End();
      break;
    case Op::kMove:
      ok = Path(&s.path) && Keyword("to") && Value(&s.value);
      if (ok && s.value.kind != Literal::Kind::kPoint) ok = Fail("move goes to a point(X,Y)");
      ok = ok && Keyword("over") && Number("milliseconds", 0, 86400000, &s.number);
      if (ok && PeekWord("step")) {
        ++at_;
        ok = Number("a step in milliseconds", 1, 86400000, &s.step);
      }
      ok = ok && End();
      break;
    case Op::kPlot:
      ok = Attribute();
      if (ok && s.index) ok = Fail("plot takes an attribute name without an index");
      ok = ok && Word("an SVG file", &s.text) && End();
      break;
    case Op::kSay:
      break;  // taken whole before tokenizing
    case Op::kMachine:
      ok = MachineFacts();
      break;
    case Op::kPrinter:
      ok = PrinterSettings();
      break;
    case Op::kLayout:
      ok = Name(&s.name);
      if (ok && PeekWord("svg")) {
        ++at_;
        ok = Word("an SVG file name", &s.text);
      }
      ok = ok && End();
      break;
    case Op::kTrace: {
      std::string state;
      ok = Word("on or off", &state);
      if (ok && state != "on" && state != "off")
        ok = Fail("trace is on or off, not \"" + state + "\"");
      s.number = state == "on" ? 1 : 0;
      s.hasNumber = true;
      ok = ok && End();
      break;
    }
    case Op::kExpect: {
      static const std::map<std::string, Expect> whats = {
          {"status", Expect::kStatus},       {"value", Expect::kValue},
          {"delivered", Expect::kDelivered}, {"handled", Expect::kHandled},
          {"sent", Expect::kSent},           {"faults", Expect::kFaults},
          {"leaks", Expect::kLeaks},         {"listeners", Expect::kListeners},
          {"messages", Expect::kMessages},   {"cursor", Expect::kCursor},
          {"cursors", Expect::kCursors},     {"list", Expect::kList},
          {"printed", Expect::kPrinted}};
      constexpr const char* kWhats =
          "status, value, delivered, handled, sent, faults, leaks, listeners, messages, cursor, "
          "cursors, list or printed";
      std::string what;
      ok = Word((std::string("what to expect (") + kWhats + ")").c_str(), &what);
      if (!ok) break;
      auto w = whats.find(what);
      if (w == whats.end()) {
        ok = Fail("cannot expect \"" + what + "\" (" + kWhats + ")");
        break;
      }
      s.expect = w->second;
      if (s.expect == Expect::kList) {
        ok = Values(&s.values);
        break;
      }
      if (s.expect == Expect::kValue) {
        ok = Value(&s.value);
      } else if (s.expect == Expect::kCursor) {
        ok = Number("a cursor number", INT32_MIN, INT32_MAX, &s.number);
      } else {
        ok = Number("a count or status", 0, INT32_MAX, &s.number);
      }
      ok = ok && End();
      break;
    }
  }
  if (!ok) *error = error_;
  return ok;
}

std::string Trim(std::string_view text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return std::string(text.substr(b, e - b));
}

}  // namespace

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    switch (c) {
      case '"':
        quoted += "\\\"";
        break;
      case '\\':
        quoted += "\\\\";
        break;
      case '\n':
        quoted += "\\n";
        break;
      case '\r':
        quoted += "\\r";
        break;
      case '\t':
        quoted += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7F) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(c));
          quoted += escaped;
        } else {
          quoted += c;
        }
    }
  }
  return quoted + "\"";
}

std::string Format(const Literal& literal) {
  char buffer[64];
  switch (literal.kind) {
    case Literal::Kind::kInteger:
      return std::to_string(literal.integer);
    case Literal::Kind::kReal:
      std::snprintf(buffer, sizeof buffer, "real(%.15g)", literal.real);
      return buffer;
    case Literal::Kind::kFlag:
      return literal.integer != 0 ? "flag(1)" : "flag(0)";
    case Literal::Kind::kId:
      std::snprintf(buffer, sizeof buffer, "id(%u,%u)", literal.id, literal.second);
      return buffer;
    case Literal::Kind::kText:
      return Quote(literal.text);
    case Literal::Kind::kRef:
      return "ref(" + (literal.text.empty() ? std::string("none") : literal.text) + ")";
    case Literal::Kind::kUnassigned:
      return "unassigned";
    case Literal::Kind::kRange:
      return "range(" + std::to_string(literal.integer) + "," + std::to_string(literal.end) + ")";
    case Literal::Kind::kChoice:
      return "choice(" + std::to_string(literal.id) + "," + std::to_string(literal.second) + ")";
    case Literal::Kind::kEmpty:
      return "empty";
    case Literal::Kind::kPoint:
      return "point(" + std::to_string(literal.integer) + "," + std::to_string(literal.end) + ")";
    case Literal::Kind::kDuration:
      return "duration(" + std::to_string(literal.id) + "," + std::to_string(literal.second) + "," +
             std::to_string(static_cast<uint32_t>(literal.integer)) + ")";
    case Literal::Kind::kTarget:
      return "target(" + literal.text + ")";
  }
  return "";
}

ParseResult Parse(std::string_view text) {
  ParseResult result;
  int line = 0;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(start, end - start);
    ++line;
    start = end + 1;
    if (raw.find('\0') != std::string_view::npos) {
      result.errorLine = line;
      result.error = "the line holds a NUL byte; a scenario is text";
      return result;
    }
    const std::string trimmed = Trim(raw);
    // say prints the rest of its line as written: quotes and # included.
    if (trimmed == "say" || trimmed.rfind("say ", 0) == 0 || trimmed.rfind("say\t", 0) == 0) {
      Step step;
      step.line = line;
      step.op = Op::kSay;
      step.source = trimmed;
      step.text = Trim(std::string_view(trimmed).substr(3));
      result.steps.push_back(std::move(step));
      if (end == text.size()) break;
      continue;
    }
    std::vector<Token> tokens;
    std::string error;
    if (!Tokenize(raw, &tokens, &error)) {
      result.errorLine = line;
      result.error = error;
      return result;
    }
    if (tokens.empty()) {
      if (end == text.size()) break;
      continue;
    }
    Step step;
    step.line = line;
    step.source = trimmed;
    LineParser parser(std::move(tokens), &step);
    if (!parser.Parse(&error)) {
      result.errorLine = line;
      result.error = error;
      return result;
    }
    result.steps.push_back(std::move(step));
    if (end == text.size()) break;
  }
  return result;
}

}  // namespace plughost::scenario
