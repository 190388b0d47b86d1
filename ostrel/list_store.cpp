#include "ostrel/list_store.h"

#include <cstring>

#include "ostrel/list_elements.h"
#include "support/host_calls.h"
#include "support/names.h"

namespace ostrel {

namespace {

using list::Element;

constexpr support::Name20 kValueName = support::MakeName20("value");
constexpr uint32_t kNoProducer = 0xFFFFFFFFu;

abi::Result Fail(ListModRecord* self, int32_t code) {
  self->listError = code;
  return abi::kNotHandled;
}

void PutWord(void* out, const void* word, size_t size) {
  if (out != nullptr) std::memcpy(out, word, size);
}

// Prepares `element` for a stream read of one element of the kind: its tag preset, and for the
// reference kind a path with room for as many entries as the list keeps.
void* PresetForRead(uint16_t elementTag, Element* element, list::PathScratch* scratch) {
  if (elementTag == tag::kReference) {
    scratch->Prepare();
    return &scratch->value;
  }
  *element = Element{};
  std::memcpy(element->data(), &elementTag, sizeof elementTag);
  return element->data();
}

// A text the host wrote for this reader is the reader's to free.
void FreeReadText(ListModRecord* self, void* value) {
  if (TagOf(value) != tag::kText && TagOf(value) != tag::kTextSecond) return;
  TextValue text;
  std::memcpy(&text, value, sizeof text);
  if (text.chars == nullptr) return;
  if (text.owner == list::OwnerWord(self) || text.owner == kHandedOver) {
    host::string::FreeString(text.chars);
  }
}

// Releases what the elements own, before the list is emptied with ClearList.
void ReleaseElements(ListModRecord* self) {
  if (!list::OwnsMemory(self->elementTag)) return;
  const uint32_t count = list::Count(self->list);
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    if (host::list::GetListItem(self->list, position, element.data()) == 0) {
      list::ReleaseElement(self, element.data());
    }
  }
}

// Whether an item of a transfer is what the transfer says its items are.
bool ItemMatches(uint16_t itemTag, uint16_t transferTag) {
  if (itemTag == transferTag) return true;
  const bool itemIsReference = itemTag == tag::kReference || itemTag == tag::kObjectPath;
  const bool transferIsReference =
      transferTag == tag::kReference || transferTag == tag::kObjectPath;
  return itemIsReference && transferIsReference;
}

}  // namespace

abi::Result ListStoredSize(ListModRecord* self, void* stream, int16_t* version, uint32_t* size) {
  uint32_t kindSize = 0;
  uint32_t countSize = 0;
  const IntegerValue zero{tag::kInteger, 0};
  host::stream::StoredSizeOf(stream, &self->kindValue, &kindSize);
  host::stream::StoredSizeOf(stream, &zero, &countSize);
  if (self->elementTag == tag::kReference && list::ReferencesToPaths(self, self->list) != 0) {
    return Fail(self, list_error::kKind);
  }
  const uint32_t total =
      kindSize + countSize + list::StoredElementsSize(self->elementTag, self->list);
  PutWord(size, &total, sizeof total);
  PutWord(version, &kListDataVersion, sizeof kListDataVersion);
  return abi::kDone;
}

abi::Result ListSave(ListModRecord* self, void* stream) {
  // A reference means nothing in another session: the elements are written as paths, whatever
  // was read back as a reference since StoredSize.
  if (self->elementTag == tag::kReference && list::ReferencesToPaths(self, self->list) != 0) {
    return Fail(self, list_error::kKind);
  }
  host::stream::WriteValue(stream, &self->kindValue);
  const uint32_t count = list::Count(self->list);
  const IntegerValue stored{tag::kInteger, static_cast<int32_t>(count)};
  host::stream::WriteValue(stream, &stored);
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    host::list::GetListItem(self->list, position, element.data());
    host::stream::WriteValue(stream, element.data());
  }
  return abi::kDone;
}

abi::Result ListLoad(ListModRecord* self, void* stream, int16_t version) {
  if (version != 0 && version != kListDataVersion) return abi::kNotHandled;
  // Everything is read and checked before the instance changes: a foreign or cut-short record
  // leaves it as it was.
  ChoiceValue kind{tag::kChoice, 0, 0};
  host::stream::ReadValue(stream, &kind);
  const uint16_t elementTag = kind.tag == tag::kChoice ? list::KindTag(kind.selection) : 0;
  if (elementTag == 0) return abi::kNotHandled;
  IntegerValue count{tag::kInteger, -1};
  host::stream::ReadValue(stream, &count);
  if (count.tag != tag::kInteger || count.value < 0 ||
      static_cast<uint32_t>(count.value) > list::kMaxCount) {
    return abi::kNotHandled;
  }
  uint32_t fresh = 0;
  host::list::CreateList(list::RecordSize(elementTag, false), &fresh);
  if (fresh == 0) return abi::kNotHandled;
  for (int32_t k = 0; k < count.value; ++k) {
    Element element;
    list::PathScratch scratch;
    void* value = PresetForRead(elementTag, &element, &scratch);
    uint16_t status = host::stream::ReadValue(stream, value);
    // Version 0 elements are read past and not kept.
    if (status == 0 && version == kListDataVersion) {
      status = list::AppendElementCopy(self, value, fresh);
    }
    FreeReadText(self, value);
    if (status != 0) {
      list::ReleaseAll(self, fresh);
      return abi::kNotHandled;
    }
  }
  list::ReleaseAll(self, self->list);
  self->list = fresh;
  self->kindValue = ChoiceValue{tag::kChoice, kind.selection, 0};
  self->elementTag = elementTag;
  return abi::kDone;
}

abi::Result ReadWholeList(ListModRecord* self, void* out) {
  if (TagOf(out) != tag::kReference) return Fail(self, list_error::kPosition);
  ReferenceValue asked;
  std::memcpy(&asked, out, sizeof asked);
  const uint32_t object = asked.object;
  const uint32_t count = list::Count(self->list);
  uint32_t transfer = 0;
  host::list::CreateList(list::RecordSize(self->elementTag, false), &transfer);
  if (transfer == 0) return Fail(self, list_error::kKind);
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    host::list::GetListItem(self->list, position, element.data());
    host::list::AppendListItem(transfer, element.data());
  }
  const ListTransferValue value{kListTransferTag, static_cast<int32_t>(count), self->elementTag,
                                transfer, object != 0 ? object : kNoProducer};
  std::memcpy(out, &value, sizeof value);
  return abi::kDone;
}

abi::Result AssignWholeList(ListModRecord* self, void* index, const void* value) {
  // The other object answers into a record of ours, large enough for any value; the caller's
  // own record is left as it was.
  Element answer;
  if (TagOf(value) == tag::kReference) {
    ReferenceValue asked;
    std::memcpy(&asked, value, sizeof asked);
    const ReferenceValue request{tag::kReference, nullptr, nullptr, asked.object, nullptr};
    std::memcpy(answer.data(), &request, sizeof request);
    const uint16_t status =
        host::object::GetObjectAttribute(asked.object, kValueName.chars, index, answer.data());
    if (status == 0 && TagOf(answer.data()) == kListTransferTag) {
      const abi::Result copied = CopyTransfer(self, answer.data());
      ListTransferValue transfer;
      std::memcpy(&transfer, answer.data(), sizeof transfer);
      if (transfer.producer == asked.object) host::list::DisposeList(transfer.list);
      if (copied != abi::kDone) return abi::kNotHandled;
      self->listError = list_error::kNone;
      return abi::kDone;
    }
    if (status == 0) value = answer.data();
  }
  if (!list::Fits(TagOf(value), self->elementTag)) {
    FreeReadText(self, answer.data());
    return Fail(self, list_error::kKind);
  }
  // Converted before the list is touched: a value that cannot be converted changes nothing.
  Element converted;
  const uint16_t status = list::Convert(self, value, self->elementTag, &converted);
  FreeReadText(self, answer.data());
  if (status != 0) return Fail(self, list_error::kKind);
  ReleaseElements(self);
  host::list::ClearList(self->list);
  const IntegerValue first{tag::kInteger, 1};
  std::memcpy(index, &first, sizeof first);
  const uint32_t count = list::Count(self->list);
  if (list::WriteConverted(self, self->list, self->elementTag, 1, count, &converted) != 0) {
    return Fail(self, list_error::kKind);
  }
  self->listError = list_error::kNone;
  return abi::kDone;
}

abi::Result CopyTransfer(ListModRecord* self, const void* value) {
  ListTransferValue transfer;
  std::memcpy(&transfer, value, sizeof transfer);
  if (!list::Fits(transfer.elementTag, self->elementTag)) return Fail(self, list_error::kKind);
  // Any script can write a transfer value: its count and list are checked against the host's.
  uint32_t real = 0;
  if (host::list::ListCount(transfer.list, &real) != 0 || transfer.count < 0) {
    return Fail(self, list_error::kKind);
  }
  const uint32_t count =
      static_cast<uint32_t>(transfer.count) < real ? static_cast<uint32_t>(transfer.count) : real;
  if (count > list::kMaxCount) return Fail(self, list_error::kKind);
  // The copy is made aside and takes the old list's place only when whole: a transfer taken
  // from this very list still reads the old elements' texts while it is copied.
  uint32_t fresh = 0;
  host::list::CreateList(list::RecordSize(self->elementTag, false), &fresh);
  if (fresh == 0) return Fail(self, list_error::kKind);
  for (uint32_t position = 1; position <= count; ++position) {
    Element item;
    uint16_t status = host::list::GetListItem(transfer.list, position, item.data());
    if (status == 0 && !ItemMatches(TagOf(item.data()), transfer.elementTag)) status = 1;
    Element converted;
    if (status == 0) status = list::Convert(self, item.data(), self->elementTag, &converted);
    if (status == 0) status = list::AppendElementCopy(self, converted.data(), fresh);
    if (TagOf(converted.data()) == tag::kText) list::ReleaseElement(self, converted.data());
    if (status != 0) {
      list::ReleaseAll(self, fresh);
      return Fail(self, list_error::kKind);
    }
    self->listError = list_error::kNone;
  }
  list::ReleaseAll(self, self->list);
  self->list = fresh;
  return abi::kDone;
}

}  // namespace ostrel
