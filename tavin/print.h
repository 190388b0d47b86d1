// Print: prints the bitmap file named by its path on one page when its message arrives, and
// keeps a list of caption entries read and written by entry number.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/registration.h"
#include "support/values.h"

namespace tavin {

#pragma pack(push, 1)

// The instance record.
struct PrintRecord {
  MessageIdValue printId;    // whose arrival prints
  FlagValue scaleToPage;     // fit the picture to the page
  FlagValue keepProportion;  // when fitting, keep the picture's proportions
  FlagValue reservedFlag;    // edited and stored, changes nothing
  FlagValue showDialog;      // 1: ask with the print dialog; 0: the default printer
  TextValue filePath;        // owned by the instance, a buffer of kPathBuffer bytes
  uint32_t textList;         // host list of CaptionEntry items
};

// One caption entry: an item of the instance's host list.
struct CaptionEntry {
  uint8_t captionAlignment[6];  // a value slot nothing interprets
  IntegerValue captionSize;
  IntegerValue captionStyle;
  PointValue captionPosition;
  TextValue captionFont;  // owned by the instance
  TextValue captionText;  // owned by the instance
};

#pragma pack(pop)

static_assert(sizeof(PrintRecord) == 48);
static_assert(offsetof(PrintRecord, printId) == 0);
static_assert(offsetof(PrintRecord, scaleToPage) == 10);
static_assert(offsetof(PrintRecord, keepProportion) == 14);
static_assert(offsetof(PrintRecord, reservedFlag) == 18);
static_assert(offsetof(PrintRecord, showDialog) == 22);
static_assert(offsetof(PrintRecord, filePath) == 26);
static_assert(offsetof(PrintRecord, textList) == 44);

static_assert(sizeof(CaptionEntry) == 60);
static_assert(offsetof(CaptionEntry, captionSize) == 6);
static_assert(offsetof(CaptionEntry, captionStyle) == 12);
static_assert(offsetof(CaptionEntry, captionPosition) == 18);
static_assert(offsetof(CaptionEntry, captionFont) == 24);
static_assert(offsetof(CaptionEntry, captionText) == 42);

constexpr uint32_t kPrintIdDefault = 302;
constexpr uint32_t kPathBuffer = 255;  // bytes, the terminating NUL included
constexpr char kPathDefault[] = "None";
constexpr int16_t kPrintDataVersion = 0;

// Editor items.
constexpr int16_t kPrintIdItem = 4;
constexpr int16_t kReservedFlagItem = 7;
constexpr int16_t kKeepProportionItem = 10;
constexpr int16_t kBrowseItem = 13;  // the button that opens the file dialog
constexpr int16_t kFilePathItem = 14;
constexpr int16_t kScaleToPageItem = 15;

// A new caption entry.
constexpr int32_t kCaptionSizeDefault = 12;
constexpr int32_t kCaptionStyleDefault = 0;
constexpr int16_t kCaptionXDefault = 100;
constexpr int16_t kCaptionYDefault = 100;
constexpr char kCaptionFontDefault[] = "Helvetica";
constexpr char kCaptionTextDefault[] = "Replace This Text!";

extern const support::ClassDefinition kPrintClass;

}  // namespace tavin
