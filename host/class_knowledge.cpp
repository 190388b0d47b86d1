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

}  // namespace

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
