#include "tavin/print_captions.h"

#include <cstddef>
#include <cstring>

#include "support/host_calls.h"
#include "support/names.h"
#include "support/record_bytes.h"
#include "tavin/print.h"

namespace tavin {

namespace {

constexpr support::Name20 kTextFontName = support::MakeName20("textfont");
constexpr support::Name20 kTextSizeName = support::MakeName20("textsize");
constexpr support::Name20 kTextStyleName = support::MakeName20("textstyle");
constexpr support::Name20 kTextStringName = support::MakeName20("textstring");
constexpr support::Name20 kTextPositionName = support::MakeName20("textposition");

constexpr uint32_t kEntrySize = sizeof(CaptionEntry);

using support::Read;
using support::Write;

uint8_t* At(void* record, size_t offset) {
  return support::Field(record, offset);
}

uint32_t Handle(const void* instance) {
  return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(instance));
}

uint32_t ListOf(const void* instance) {
  return Read<uint32_t>(static_cast<const uint8_t*>(instance) + offsetof(PrintRecord, textList));
}

// The size of a value as its tag declares it; 0 for a tag whose layout is unknown.
uint32_t DeclaredSize(const void* value) {
  return TaggedValueSize(TagOf(value));
}

// The entry number of a caption index: an integer counting from 1. Anything else is refused.
bool EntryNumber(const void* index, uint32_t* entry) {
  if (index == nullptr || TagOf(index) != tag::kInteger) return false;
  const int32_t number = Read<IntegerValue>(index).value;
  if (number < 1) return false;
  *entry = static_cast<uint32_t>(number);
  return true;
}

// Frees an entry's font and text if `owner` owns them.
void ReleaseTexts(uint32_t owner, CaptionEntry* entry) {
  ReleaseTaggedValue(owner, At(entry, offsetof(CaptionEntry, captionFont)));
  ReleaseTaggedValue(owner, At(entry, offsetof(CaptionEntry, captionText)));
}

// Calls `visit` with each entry of the list in turn, read into a local copy.
template <typename Visit>
void ForEachEntry(uint32_t list, Visit visit) {
  uint32_t count = 0;
  host::list::ListCount(list, &count);
  for (uint32_t i = 1; i <= count; ++i) {
    CaptionEntry entry;
    std::memset(&entry, 0, sizeof entry);
    if (host::list::GetListItem(list, i, &entry) == 0) visit(&entry);
  }
}

// Appends one default entry when the list is shorter than `entry`, however much shorter.
// Answers the count afterwards.
uint32_t EnsureCaption(void* instance, uint32_t entry) {
  const uint32_t list = ListOf(instance);
  uint32_t count = 0;
  host::list::ListCount(list, &count);
  if (count >= entry) return count;
  CaptionEntry fresh;
  std::memset(&fresh, 0, sizeof fresh);
  fresh.captionSize = IntegerValue{tag::kInteger, kCaptionSizeDefault};
  fresh.captionStyle = IntegerValue{tag::kInteger, kCaptionStyleDefault};
  fresh.captionPosition = PointValue{tag::kPoint, kCaptionXDefault, kCaptionYDefault};
  const uint32_t owner = Handle(instance);
  SetStringValue(owner, At(&fresh, offsetof(CaptionEntry, captionFont)), kCaptionFontDefault);
  SetStringValue(owner, At(&fresh, offsetof(CaptionEntry, captionText)), kCaptionTextDefault);
  if (host::list::AppendListItem(list, &fresh) == 0) {
    ++count;
  } else {
    ReleaseTexts(owner, &fresh);
  }
  return count;
}

size_t TextField(CaptionAttribute which) {
  return which == CaptionAttribute::kFont ? offsetof(CaptionEntry, captionFont)
                                          : offsetof(CaptionEntry, captionText);
}

// Replaces an entry's font or text with a copy of a text value's characters (none: the empty
// text), freeing the text it replaces once the list holds the new one.
abi::Result WriteText(void* instance, uint32_t entryNumber, CaptionEntry* entry, size_t field,
                      const void* value) {
  const uint32_t owner = Handle(instance);
  const TextValue given = Read<TextValue>(value);
  const TextValue replaced = Read<TextValue>(At(entry, field));
  SetStringValue(owner, At(entry, field), given.chars);
  if (host::list::SetListItem(ListOf(instance), entryNumber, entry) != 0) {
    ReleaseTaggedValue(owner, At(entry, field));
    return abi::kNotHandled;
  }
  TextValue old = replaced;
  ReleaseTaggedValue(owner, &old);
  return abi::kDone;
}

// A copy of a text owned by `owner`: duplicated characters, their length and capacity.
void DuplicateText(uint32_t owner, const TextValue& source, void* destination) {
  TextValue copy{tag::kText, owner, 0, 0, nullptr};
  if (source.chars != nullptr) {
    host::string::DuplicateString(At(&copy, offsetof(TextValue, chars)), source.chars);
  }
  if (copy.chars != nullptr) {
    copy.length = source.length;
    copy.capacity = source.length + 1;
  }
  Write(destination, copy);
}

}  // namespace

bool FindCaptionAttribute(const char* name16, CaptionAttribute* which) {
  struct Known {
    const support::Name20* name;
    CaptionAttribute attribute;
  };
  const Known known[] = {
      {&kTextFontName, CaptionAttribute::kFont},
      {&kTextSizeName, CaptionAttribute::kSize},
      {&kTextStyleName, CaptionAttribute::kStyle},
      {&kTextStringName, CaptionAttribute::kText},
      {&kTextPositionName, CaptionAttribute::kPosition},
  };
  for (const Known& k : known) {
    if (support::NamesEqual16(name16, k.name->chars)) {
      *which = k.attribute;
      return true;
    }
  }
  return false;
}

abi::Result ReadTextInto(const TextValue& text, void* output) {
  const uint16_t outputTag = TagOf(output);
  const TextValue present = Read<TextValue>(output);
  const bool hasBuffer = IsText(outputTag) && present.chars != nullptr && present.capacity != 0;
  const uint32_t length = text.chars != nullptr ? text.length : 0;
  if (outputTag == tag::kUnassigned || (IsText(outputTag) && !hasBuffer)) {
    TextValue fresh{outputTag == tag::kUnassigned ? tag::kText : outputTag, kHandedOver, 0, 0,
                    nullptr};
    if (text.chars != nullptr) {
      host::string::DuplicateString(At(&fresh, offsetof(TextValue, chars)), text.chars);
    }
    if (fresh.chars != nullptr) {
      fresh.length = length;
      fresh.capacity = length + 1;
    }
    Write(output, fresh);
    return abi::kDone;
  }
  if (!hasBuffer) return abi::kNotHandled;
  TextValue bounded = present;
  bounded.length = length < present.capacity - 1 ? length : present.capacity - 1;
  if (text.chars != nullptr && bounded.length > 0) {
    host::string::CopyStringMax(present.chars, text.chars, bounded.length);
  } else {
    present.chars[0] = '\0';
  }
  Write(output, bounded);
  return abi::kDone;
}

void ReadNumberInto(int32_t number, uint16_t ownKind, void* output) {
  const uint32_t size = DeclaredSize(output);
  if (TagOf(output) == tag::kInteger ||
      (ownKind == tag::kInteger && size >= sizeof(IntegerValue))) {
    Write(At(output, offsetof(IntegerValue, value)), number);
  } else if (ownKind == tag::kFlag && size >= sizeof(FlagValue)) {
    Write(At(output, offsetof(FlagValue, value)), static_cast<uint16_t>(number));
  } else if (ownKind == tag::kFlag) {
    Write(output, FlagValue{tag::kFlag, static_cast<uint16_t>(number)});
  } else {
    Write(output, IntegerValue{tag::kInteger, number});
  }
}

abi::Result ReadCaption(void* instance, CaptionAttribute which, const void* index, void* output) {
  uint32_t entryNumber = 0;
  if (output == nullptr || !EntryNumber(index, &entryNumber)) return abi::kNotHandled;
  CaptionEntry entry;
  std::memset(&entry, 0, sizeof entry);
  if (host::list::GetListItem(ListOf(instance), entryNumber, &entry) != 0) {
    return abi::kNotHandled;
  }
  switch (which) {
    case CaptionAttribute::kFont:
    case CaptionAttribute::kText:
      return ReadTextInto(Read<TextValue>(At(&entry, TextField(which))), output);
    case CaptionAttribute::kSize:
      ReadNumberInto(entry.captionSize.value, tag::kInteger, output);
      return abi::kDone;
    case CaptionAttribute::kStyle:
      ReadNumberInto(entry.captionStyle.value, tag::kInteger, output);
      return abi::kDone;
    case CaptionAttribute::kPosition:
      if (DeclaredSize(output) >= sizeof(PointValue)) {
        Write(At(output, offsetof(PointValue, x)), entry.captionPosition.x);
        Write(At(output, offsetof(PointValue, y)), entry.captionPosition.y);
      } else {
        Write(output, entry.captionPosition);
      }
      return abi::kDone;
  }
  return abi::kNotHandled;
}

abi::Result WriteCaption(void* instance, CaptionAttribute which, const void* index,
                         const void* value) {
  uint32_t entryNumber = 0;
  if (value == nullptr || !EntryNumber(index, &entryNumber)) return abi::kNotHandled;
  // A value that cannot be what the attribute takes changes nothing.
  const bool textual = which == CaptionAttribute::kFont || which == CaptionAttribute::kText;
  if (textual && !IsText(TagOf(value))) return abi::kNotHandled;
  if (which == CaptionAttribute::kPosition && DeclaredSize(value) < sizeof(PointValue)) {
    return abi::kNotHandled;
  }
  if (EnsureCaption(instance, entryNumber) < entryNumber) return abi::kNotHandled;
  CaptionEntry entry;
  std::memset(&entry, 0, sizeof entry);
  const uint32_t list = ListOf(instance);
  if (host::list::GetListItem(list, entryNumber, &entry) != 0) return abi::kNotHandled;
  if (textual) return WriteText(instance, entryNumber, &entry, TextField(which), value);
  if (which == CaptionAttribute::kPosition) {
    const PointValue given = Read<PointValue>(value);
    entry.captionPosition = PointValue{tag::kPoint, given.x, given.y};
  } else {
    IntegerValue converted{tag::kInteger, 0};
    if (host::convert::ConvertValue(instance, value, &converted) != 0) return abi::kNotHandled;
    const IntegerValue number{tag::kInteger, converted.value};
    if (which == CaptionAttribute::kSize) {
      entry.captionSize = number;
    } else {
      entry.captionStyle = number;
    }
  }
  return host::list::SetListItem(list, entryNumber, &entry) == 0 ? abi::kDone : abi::kNotHandled;
}

void DisposeCaptions(void* instance) {
  const uint32_t list = ListOf(instance);
  const uint32_t owner = Handle(instance);
  ForEachEntry(list, [owner](CaptionEntry* entry) { ReleaseTexts(owner, entry); });
  host::list::DisposeList(list);
  Write<uint32_t>(At(instance, offsetof(PrintRecord, textList)), 0);
}

void CopyCaptions(void* target, const void* source) {
  uint8_t* targetList = At(target, offsetof(PrintRecord, textList));
  host::list::CreateList(kEntrySize, targetList);
  const uint32_t to = Read<uint32_t>(targetList);
  const uint32_t from = ListOf(source);
  const uint32_t owner = Handle(target);
  ForEachEntry(from, [owner, to](CaptionEntry* entry) {
    CaptionEntry copy = *entry;
    DuplicateText(owner, entry->captionFont, At(&copy, offsetof(CaptionEntry, captionFont)));
    DuplicateText(owner, entry->captionText, At(&copy, offsetof(CaptionEntry, captionText)));
    if (host::list::AppendListItem(to, &copy) != 0) ReleaseTexts(owner, &copy);
  });
}

}  // namespace tavin
