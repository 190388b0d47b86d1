#include "host/class_knowledge.h"

#include "support/abi.h"

namespace refhost {
namespace {

struct ItemMeaning {
  const char* className;
  int16_t item;
  const char* meaning;
};

// One line per editor item, grouped by class, in the order each class puts them.
constexpr ItemMeaning kEditorItems[] = {
    {"MediaCue", 24, "enable message (enableId): starts watching the play position"},
    {"MediaCue", 25, "disable message (disableId): stops watching"},
    {"MediaCue", 14, "message sent at the cue (sendId)"},
    {"MediaCue", 21, "message flags, bit 0 (messageFlags)"},
    {"MediaCue", 22, "message flags, bit 1 (messageFlags)"},
    {"MediaCue", 23, "message flags, bit 2 (messageFlags)"},
    {"MediaCue", 18, "where the cue's message goes (destination)"},
    {"MediaCue", 16, "data of the cue's message (messageData)"},
    {"MediaCue", 7, "the cue: a position, a range or a range symbol (rangeSetting)"},
    {"MediaCue", 9, "trigger mode 0: fire on reaching the range's leading edge"},
    {"MediaCue", 10, "trigger mode 1: fire at every position inside the range"},
    {"MediaCue", 11, "trigger mode 2: fire on reaching the range's trailing edge"},
    {"Print", 4, "print message (printId)"},
    {"Print", 14, "bitmap file to print (filePath)"},
    {"Print", 15, "fit the picture to the page (scaleToPage)"},
    {"Print", 10, "keep the picture's proportions when fitting (keepProportion)"},
    {"Print", 7, "reserved flag, stored but changes nothing (reservedFlag)"},
    {"Print", 13, "button: choose the bitmap file in a dialog"},
    {"Quit", 6, "first message answered as handled (firstEvent)"},
    {"Quit", 8, "second message answered as handled (secondEvent)"},
    {"Vellomar", 4, "message that deals a fresh layout"},
    {"Vellomar", 9, "target object the layout is dealt into"},
    {"CursorMod", 9, "message that shows the cursor (cursorEvent)"},
    {"CursorMod", 7, "which cursor to show (cursorChoice)"},
    {"panning", 4, "start message"},
    {"panning", 6, "stop message"},
    {"panning", 8, "fixed-pan choice, 1 when selected"},
    {"panning", 12, "follow-position choice, non-zero when selected"},
    {"panning", 9, "target pan"},
    {"panning", 16, "target pan, second control limited to -100..100"},
    {"panning", 11, "ramp duration"},
    {"ListMod", 6, "element kind, choice 1 to 9 (kindValue)"},
    {"ObjRefP", 7, "message that points the reference at its object's parent (events)"},
    {"ObjRefP", 4, "object path text: /absolute, ./relative or ../relative"},
};

struct NamedRegistration {
  const char* className;
  DeclaredRegistration registration;
};

const std::vector<NamedRegistration>& Registrations() {
  static const std::vector<NamedRegistration> all = {
      {"MediaCue", {182, 1, {7, 8, 34, 9, 22, 26, 27, 29, 17, 19, 18, 13, 14, 25, 23}, {0, 1}}},
      {"Print", {48, 1, {7, 8, 34, 9, 22, 23, 37, 26, 27, 17, 19, 18, 13, 14, 25, 29}, {}}},
      {"SysInfo", {172, 1, {7, 8, 34, 9, 22}, {}}},
      {"Quit", {20, 1, {7, 8, 34, 9, 22, 26, 27, 29, 17, 19, 18, 13, 14, 25, 37}, {}}},
      {"Vellomar", {52, 1, {7, 34, 8, 9, 26, 27, 17, 19, 18, 25, 22, 23, 37}, {}}},
      {"CursorMod", {22, 1, {7, 34, 8, 9, 26, 27, 17, 19, 18, 22, 23, 25, 13, 14}, {}}},
      {"panning", {100, 1, {10, 7, 34, 8, 9, 14, 27, 29, 26, 13, 17, 25, 18, 19, 22, 37}, {0}}},
      {"ListMod", {34, 5, {7, 34, 8, 9, 26, 27, 17, 19, 18, 22, 23, 25, 37}, {}}},
      {"ObjRefP", {90, 5, {7, 8, 34, 9, 26, 27, 36, 17, 19, 18, 13, 14, 25, 22, 23, 37}, {}}},
  };
  return all;
}

}  // namespace

const DeclaredRegistration* DeclaredRegistrationOf(std::string_view className) {
  for (const NamedRegistration& r : Registrations()) {
    if (className == r.className) return &r.registration;
  }
  return nullptr;
}

const std::vector<std::string_view>& ContractAttributeNames() {
  static const std::vector<std::string_view> names = {
      // Read or written on the classes themselves.
      "events", "msgflag", "sendcommand", "enable", "disable", "textfont", "textsize", "textstyle",
      "textstring", "textposition", "textalignment", "filepath", "showdialog", "sysversion",
      "nativecpu", "architecture", "fpu", "totalram", "currentram", "computername", "processor",
      "soundcard", "bitdepth", "screensize", "keyboardtype", "count", "value", "delete", "random",
      "randomDelete", "randomBegin", "sortAscend", "sortDescend", "listError", "shuffle", "insert",
      "ResetBR",
      // Read or written on other objects.
      "rangesymbol", "classname", "movie", "rate", "scene", "position", "size", "globaloffset",
      "pan", "parent"};
  return names;
}

const MarkingRefusals& MarkingRefusalsOf(std::string_view className) {
  static const MarkingRefusals none;
  static const MarkingRefusals list = {{"randomBegin", "sortAscend", "sortDescend", "shuffle"}, {}};
  static const MarkingRefusals reference = {{}, {"value"}};
  if (className == "ListMod") return list;
  if (className == "ObjRefP") return reference;
  return none;
}

std::string_view EditorItemMeaning(std::string_view className, int16_t item) {
  for (const ItemMeaning& m : kEditorItems) {
    if (className == m.className && item == m.item) return m.meaning;
  }
  return "";
}

std::string ClassFlagsMeaning(uint32_t flags) {
  if (flags == abi::kClassFlagsPlain) return "plain";
  if (flags == abi::kClassFlagsBaseObject) return "Construct and CopyConstruct take a base object";
  return "not a value this contract uses";
}

std::string ListIndexMeaning(uint32_t index) {
  const uint32_t element = index & 0xFFFFFF;
  const char* member = nullptr;
  switch (index >> 24) {
    case 0x80:
      member = "first";
      break;
    case 0x40:
      member = "second";
      break;
    case 0x20:
      member = "third";
      break;
    default:
      return "";
  }
  return std::string(member) + " member, element " + std::to_string(element);
}

}  // namespace refhost
