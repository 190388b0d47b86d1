#include "tavin/print.h"

#include <cstring>
#include <type_traits>

#include "support/host_calls.h"
#include "support/names.h"
#include "support/record_bytes.h"
#include "tavin/bitmap_print.h"
#include "tavin/print_captions.h"
#include "win32/win32.h"

namespace {

using tavin::PrintRecord;

constexpr support::Name20 kPrintName = support::MakeName20("Print");
constexpr support::Name20 kEventsName = support::MakeName20("events");
constexpr support::Name20 kFilePathName = support::MakeName20("filepath");
constexpr support::Name20 kShowDialogName = support::MakeName20("showdialog");
constexpr support::Name20 kTextAlignmentName = support::MakeName20("textalignment");

// The file dialog's one filter: a description and a pattern, each ended by a NUL, and an empty
// string (the literal's own NUL) ending the list.
constexpr char kBitmapFilter[] = "Bitmap File(*.BMP)\0*.bmp\0";
constexpr DWORD kFileDialogFlags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_SHOWHELP;

// The editor's item information: the item's text length is the 8-byte real at byte 34.
constexpr size_t kItemInfoSize = sizeof(abi::ItemInfo);

using support::Field;
using support::Read;
using tavin::IsText;

#define PR_FIELD(instance, name) Field(instance, offsetof(PrintRecord, name))

PrintRecord* Record(void* instance) {
  return static_cast<PrintRecord*>(instance);
}

uint32_t Handle(const void* instance) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance));
}

// Frees the path buffer if the instance owns it, and leaves the path an empty text owned by
// the instance with no buffer.
void ReleasePath(void* instance) {
  PrintRecord* record = Record(instance);
  const TextValue path = record->filePath;
  if (path.owner == Handle(instance) && path.chars != nullptr && path.capacity != 0) {
    host::string::FreeString(path.chars);
  }
  record->filePath = TextValue{tag::kText, Handle(instance), 0, 0, nullptr};
}

// Gives the path a new empty buffer of kPathBuffer bytes. Answers the allocation's status, or 1
// when no buffer came back.
uint16_t NewPathBuffer(void* instance) {
  PrintRecord* record = Record(instance);
  const uint16_t status = host::string::AllocString(
      PR_FIELD(instance, filePath) + offsetof(TextValue, chars), tavin::kPathBuffer);
  char* chars = record->filePath.chars;
  if (chars == nullptr) return status == 0 ? 1 : status;
  std::memset(chars, 0, tavin::kPathBuffer);
  record->filePath.capacity = tavin::kPathBuffer;
  record->filePath.length = 0;
  return status;
}

void RecountPath(void* instance) {
  char* chars = Record(instance)->filePath.chars;
  if (chars == nullptr) return;
  host::string::StringLength(PR_FIELD(instance, filePath) + offsetof(TextValue, length), chars);
}

bool SameIdPair(void* instance, const void* message) {
  uint32_t words[2];
  std::memcpy(words, static_cast<const uint8_t*>(message) + offsetof(abi::MessageRecord, id),
              sizeof words);
  const MessageIdValue id = Record(instance)->printId;
  return id.id == words[0] && id.second == words[1];
}

// The file choice behind the browse button: the path changes only when the user confirms a
// file whose path fits the path buffer.
void ChooseFile(void* instance, void* editor) {
  PrintRecord* record = Record(instance);
  const TextValue path = record->filePath;
  char chosen[MAX_PATH] = {};
  if (path.chars != nullptr && path.capacity != 0) {
    size_t start = strnlen(path.chars, path.capacity);
    if (start >= sizeof chosen) start = sizeof chosen - 1;
    std::memcpy(chosen, path.chars, start);
  }
  OPENFILENAMEA dialog;
  std::memset(&dialog, 0, sizeof dialog);
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.lpstrFilter = kBitmapFilter;
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = chosen;
  dialog.nMaxFile = sizeof chosen;
  dialog.Flags = kFileDialogFlags;
  if (GetOpenFileNameA(&dialog) == FALSE) return;
  const size_t length = strnlen(chosen, sizeof chosen);
  if (path.chars == nullptr || length >= sizeof chosen || length + 1 > path.capacity) return;
  std::memcpy(path.chars, chosen, length + 1);
  RecountPath(instance);
  host::editor::PutItem(editor, tavin::kFilePathItem, PR_FIELD(instance, filePath));
}

// "filepath" written: a text value's characters, clipped to what the buffer holds.
abi::Result WritePath(void* instance, const void* value) {
  if (!IsText(TagOf(value))) return abi::kNotHandled;
  const TextValue given = Read<TextValue>(value);
  PrintRecord* record = Record(instance);
  // A path left without its full buffer (an allocation the host refused earlier, a copy made
  // then) gets one again, so the path written is not cut shorter than the buffer allows.
  if (record->filePath.chars == nullptr || record->filePath.capacity < tavin::kPathBuffer) {
    ReleasePath(instance);
    if (NewPathBuffer(instance) != 0) return abi::kNotHandled;
  }
  const TextValue path = record->filePath;
  if (given.chars == nullptr) {
    path.chars[0] = '\0';
    record->filePath.length = 0;
    return abi::kDone;
  }
  host::string::CopyStringMax(path.chars, given.chars, path.capacity - 1);
  RecountPath(instance);
  return abi::kDone;
}

// "filepath" read: a copy of the path into a text output or an unassigned one.
abi::Result ReadPath(void* instance, void* output) {
  const uint16_t outputTag = TagOf(output);
  if (outputTag == tag::kUnassigned) {
    const TextValue empty{tag::kText, 0, 0, 0, nullptr};
    std::memcpy(output, &empty, sizeof empty);
  } else if (!IsText(outputTag)) {
    return abi::kNotHandled;
  }
  CopyTaggedValue(Handle(instance), output, PR_FIELD(instance, filePath));
  return abi::kDone;
}

// Strips the carriage returns that end the path, looking back from `from` characters.
void StripReturns(char* chars, size_t from) {
  while (from > 0 && chars[from - 1] == '\r') chars[--from] = '\0';
}

// The editor's item length clamped to the text actually in the buffer: a real that is negative,
// not a number or past the text counts for no more than the text.
size_t ClampedLength(double reported, size_t actual) {
  if (reported != reported || reported >= static_cast<double>(actual)) return actual;
  if (reported < 1) return 0;
  return static_cast<size_t>(reported);
}

}  // namespace

extern "C" {

abi::Result PrintConstruct(void* instance, uint32_t /*baseObject*/) {
  PrintRecord* record = Record(instance);
  record->printId = MessageIdValue{tag::kMessageId, tavin::kPrintIdDefault, 0};
  record->filePath = TextValue{tag::kText, Handle(instance), 0, 0, nullptr};
  NewPathBuffer(instance);
  if (record->filePath.chars != nullptr) {
    host::string::CopyString(record->filePath.chars, tavin::kPathDefault);
    RecountPath(instance);
  }
  record->scaleToPage = FlagValue{tag::kFlag, 0};
  record->keepProportion = FlagValue{tag::kFlag, 0};
  record->reservedFlag = FlagValue{tag::kFlag, 1};
  record->showDialog = FlagValue{tag::kFlag, 1};
  record->textList = 0;
  host::list::CreateList(sizeof(tavin::CaptionEntry), PR_FIELD(instance, textList));
  return abi::kDone;
}

abi::Result PrintAssign(void* instance, void* source) {
  if (source == nullptr || source == instance) return abi::kDone;
  PrintRecord* target = Record(instance);
  const PrintRecord* from = Record(source);
  target->printId = from->printId;
  CopyTaggedValue(Handle(instance), PR_FIELD(instance, filePath), PR_FIELD(source, filePath));
  target->scaleToPage = from->scaleToPage;
  target->keepProportion = from->keepProportion;
  target->reservedFlag = from->reservedFlag;
  target->showDialog = from->showDialog;
  tavin::DisposeCaptions(instance);
  tavin::CopyCaptions(instance, source);
  return abi::kDone;
}

abi::Result PrintCopyConstruct(void* instance, void* source, uint32_t baseObject) {
  PrintConstruct(instance, baseObject);
  return PrintAssign(instance, source);
}

abi::Result PrintDestruct(void* instance) {
  ReleasePath(instance);
  tavin::DisposeCaptions(instance);
  return abi::kDone;
}

abi::Result PrintGetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (name16 == nullptr || value == nullptr) return abi::kNotHandled;
  tavin::CaptionAttribute caption;
  if (support::NamesEqual16(name16, kEventsName.chars)) {
    // The plain element number 1, with no member selector.
    if (index == nullptr || TagOf(index) != tag::kInteger || Read<IntegerValue>(index).value != 1) {
      return abi::kNotHandled;
    }
    std::memcpy(value, PR_FIELD(instance, printId), sizeof(MessageIdValue));
    return abi::kDone;
  }
  if (tavin::FindCaptionAttribute(name16, &caption)) {
    return tavin::ReadCaption(instance, caption, index, value);
  }
  if (support::NamesEqual16(name16, kTextAlignmentName.chars)) return abi::kDone;
  if (support::NamesEqual16(name16, kFilePathName.chars)) return ReadPath(instance, value);
  if (support::NamesEqual16(name16, kShowDialogName.chars)) {
    tavin::ReadNumberInto(Record(instance)->showDialog.value, tag::kFlag, value);
    return abi::kDone;
  }
  return abi::kNotHandled;
}

abi::Result PrintSetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (name16 == nullptr) return abi::kNotHandled;
  tavin::CaptionAttribute caption;
  if (support::NamesEqual16(name16, kEventsName.chars)) return abi::kNotHandled;
  if (tavin::FindCaptionAttribute(name16, &caption)) {
    return tavin::WriteCaption(instance, caption, index, value);
  }
  if (support::NamesEqual16(name16, kTextAlignmentName.chars)) return abi::kDone;
  if (value == nullptr) return abi::kNotHandled;
  if (support::NamesEqual16(name16, kFilePathName.chars)) return WritePath(instance, value);
  if (support::NamesEqual16(name16, kShowDialogName.chars)) {
    // The first 16-bit word of the value's body: a value too short to have one is refused.
    if (TaggedValueSize(TagOf(value)) < sizeof(FlagValue)) return abi::kNotHandled;
    Record(instance)->showDialog.value = Read<FlagValue>(value).value;
    return abi::kDone;
  }
  return abi::kNotHandled;
}

abi::Result PrintVisitMessageIds(void* instance, uint32_t a, uint32_t b) {
  host::system::VisitMessageId(0, a, b, PR_FIELD(instance, printId));
  return abi::kDone;
}

abi::Result PrintToEditor(void* instance, void* editor, int16_t mode) {
  if (mode != 0) return abi::kNotHandled;
  host::editor::PutItem(editor, tavin::kPrintIdItem, PR_FIELD(instance, printId));
  host::editor::PutItem(editor, tavin::kFilePathItem, PR_FIELD(instance, filePath));
  host::editor::PutItem(editor, tavin::kScaleToPageItem, PR_FIELD(instance, scaleToPage));
  host::editor::PutItem(editor, tavin::kKeepProportionItem, PR_FIELD(instance, keepProportion));
  host::editor::PutItem(editor, tavin::kReservedFlagItem, PR_FIELD(instance, reservedFlag));
  return abi::kDone;
}

abi::Result PrintFromEditor(void* instance, void* editor) {
  host::editor::GetItem(editor, tavin::kPrintIdItem, PR_FIELD(instance, printId));
  uint8_t info[kItemInfoSize] = {};
  const uint16_t infoStatus = host::editor::GetItemInfo(editor, tavin::kFilePathItem, 1, info);
  if (infoStatus != 0) return infoStatus;
  const double reported = Read<double>(info + offsetof(abi::ItemInfo, textLength));

  ReleasePath(instance);
  if (NewPathBuffer(instance) != 0) return abi::kNotHandled;
  host::editor::GetItem(editor, tavin::kFilePathItem, PR_FIELD(instance, filePath));
  const TextValue path = Record(instance)->filePath;
  if (path.chars != nullptr && path.capacity != 0) {
    StripReturns(path.chars, ClampedLength(reported, strnlen(path.chars, path.capacity)));
    RecountPath(instance);
  }
  host::editor::GetItem(editor, tavin::kScaleToPageItem, PR_FIELD(instance, scaleToPage));
  host::editor::GetItem(editor, tavin::kKeepProportionItem, PR_FIELD(instance, keepProportion));
  host::editor::GetItem(editor, tavin::kReservedFlagItem, PR_FIELD(instance, reservedFlag));
  return abi::kDone;
}

abi::Result PrintEditorItemChanged(void* instance, void* editor, uint32_t /*ignored*/,
                                   int16_t item) {
  if (item == tavin::kBrowseItem) ChooseFile(instance, editor);
  return abi::kDone;
}

// The stored fields, in their stored order.
constexpr size_t kStoredFields[] = {
    offsetof(PrintRecord, printId),        offsetof(PrintRecord, scaleToPage),
    offsetof(PrintRecord, keepProportion), offsetof(PrintRecord, reservedFlag),
    offsetof(PrintRecord, filePath),       offsetof(PrintRecord, showDialog),
};

abi::Result PrintStoredSize(void* instance, void* stream, uint32_t /*ignored*/, int16_t* version,
                            uint32_t* size) {
  uint32_t total = 0;
  for (size_t field : kStoredFields) {
    uint32_t one = 0;
    host::stream::StoredSizeOf(stream, Field(instance, field), &one);
    total += one;
  }
  if (size != nullptr) std::memcpy(size, &total, sizeof total);
  if (version != nullptr) std::memcpy(version, &tavin::kPrintDataVersion, sizeof(int16_t));
  return abi::kDone;
}

abi::Result PrintSave(void* instance, void* stream) {
  for (size_t field : kStoredFields) host::stream::WriteValue(stream, Field(instance, field));
  return abi::kDone;
}

abi::Result PrintLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (version != tavin::kPrintDataVersion) return abi::kNotHandled;
  for (size_t field : kStoredFields) host::stream::ReadValue(stream, Field(instance, field));
  return abi::kDone;
}

abi::Result PrintEnable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStart, PR_FIELD(instance, printId));
  return abi::kDone;
}

abi::Result PrintDisable(void* instance) {
  host::instance::Listen(instance, host::instance::kListenStop, PR_FIELD(instance, printId));
  return abi::kDone;
}

abi::Result PrintHandleMessage(void* instance, void* message) {
  if (message == nullptr || !SameIdPair(instance, message)) return abi::kNotHandled;
  const PrintRecord* record = Record(instance);
  HBITMAP bitmap = tavin::LoadBitmapFile(instance, PR_FIELD(instance, filePath));
  if (bitmap != nullptr) {
    tavin::PrintBitmap(bitmap, record->scaleToPage.value, record->keepProportion.value,
                       record->showDialog.value);
    DeleteObject(bitmap);
  }
  // Nothing of the load outlives the print: its blocks and its screen context go too.
  tavin::ReleaseBitmapRecord();
  return abi::kDone;
}

}  // extern "C"

namespace tavin {

namespace {

static_assert(std::is_same_v<decltype(&PrintConstruct), abi::callback::Construct>);
static_assert(std::is_same_v<decltype(&PrintCopyConstruct), abi::callback::CopyConstruct>);
static_assert(std::is_same_v<decltype(&PrintAssign), abi::callback::Assign>);
static_assert(std::is_same_v<decltype(&PrintDestruct), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&PrintGetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&PrintSetAttribute), abi::callback::Attribute>);
static_assert(std::is_same_v<decltype(&PrintVisitMessageIds), abi::callback::VisitMessageIds>);
static_assert(std::is_same_v<decltype(&PrintToEditor), abi::callback::ToEditor>);
static_assert(std::is_same_v<decltype(&PrintFromEditor), abi::callback::FromEditor>);
static_assert(std::is_same_v<decltype(&PrintStoredSize), abi::callback::StoredSize>);
static_assert(std::is_same_v<decltype(&PrintSave), abi::callback::Save>);
static_assert(std::is_same_v<decltype(&PrintLoad), abi::callback::Load>);
static_assert(std::is_same_v<decltype(&PrintEnable), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&PrintDisable), abi::callback::Plain>);
static_assert(std::is_same_v<decltype(&PrintHandleMessage), abi::callback::HandleMessage>);
static_assert(std::is_same_v<decltype(&PrintEditorItemChanged), abi::callback::EditorItemChanged>);

#define PRINT_SLOT(column, function) \
  { abi::kComponentRow, abi::slot::column, reinterpret_cast<void*>(&function) }

const support::SlotEntry kPrintSlots[] = {
    PRINT_SLOT(kConstruct, PrintConstruct),
    PRINT_SLOT(kCopyConstruct, PrintCopyConstruct),
    PRINT_SLOT(kAssign, PrintAssign),
    PRINT_SLOT(kDestruct, PrintDestruct),
    PRINT_SLOT(kGetAttribute, PrintGetAttribute),
    PRINT_SLOT(kSetAttribute, PrintSetAttribute),
    PRINT_SLOT(kVisitMessageIds, PrintVisitMessageIds),
    PRINT_SLOT(kToEditor, PrintToEditor),
    PRINT_SLOT(kFromEditor, PrintFromEditor),
    PRINT_SLOT(kStoredSize, PrintStoredSize),
    PRINT_SLOT(kSave, PrintSave),
    PRINT_SLOT(kLoad, PrintLoad),
    PRINT_SLOT(kEnable, PrintEnable),
    PRINT_SLOT(kDisable, PrintDisable),
    PRINT_SLOT(kHandleMessage, PrintHandleMessage),
    PRINT_SLOT(kEditorItemChanged, PrintEditorItemChanged),
};

#undef PRINT_SLOT

}  // namespace

const support::ClassDefinition kPrintClass = {kPrintName.chars,
                                              sizeof(PrintRecord),
                                              abi::kClassFlagsPlain,
                                              kPrintSlots,
                                              sizeof kPrintSlots / sizeof kPrintSlots[0],
                                              nullptr,
                                              0};

}  // namespace tavin
