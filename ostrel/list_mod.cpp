#include "ostrel/list_mod.h"

#include <cstring>

#include "ostrel/list_elements.h"
#include "ostrel/list_order.h"
#include "ostrel/list_store.h"
#include "support/host_calls.h"
#include "support/names.h"
#include "support/registration.h"

namespace {

using ostrel::ListModRecord;
using ostrel::list::Element;
namespace list = ostrel::list;
namespace list_error = ostrel::list_error;

constexpr support::Name20 kListModName = support::MakeName20("ListMod");
constexpr support::Name20 kCountName = support::MakeName20("count");
constexpr support::Name20 kValueName = support::MakeName20("value");
constexpr support::Name20 kDeleteName = support::MakeName20("delete");
constexpr support::Name20 kInsertName = support::MakeName20("insert");
constexpr support::Name20 kRandomName = support::MakeName20("random");
constexpr support::Name20 kRandomDeleteName = support::MakeName20("randomDelete");
constexpr support::Name20 kRandomBeginName = support::MakeName20("randomBegin");
constexpr support::Name20 kResetName = support::MakeName20("ResetBR");
constexpr support::Name20 kSortAscendName = support::MakeName20("sortAscend");
constexpr support::Name20 kSortDescendName = support::MakeName20("sortDescend");
constexpr support::Name20 kShuffleName = support::MakeName20("shuffle");
constexpr support::Name20 kListErrorName = support::MakeName20("listError");

constexpr uint32_t kClearMessageId = 102;
constexpr int16_t kKindItem = 6;
constexpr uint32_t kIntegerChoice = 1;
constexpr uint32_t kPoolItemSize = 2;

ListModRecord* Self(void* instance) {
  return static_cast<ListModRecord*>(instance);
}

bool Named(const char* name16, const support::Name20& name) {
  return support::NamesEqual16(name16, name.chars);
}

// A position index: an integer value. False for no index or one of another tag.
bool PositionOf(const void* index, int32_t* position) {
  if (index == nullptr || TagOf(index) != tag::kInteger) return false;
  IntegerValue integer;
  std::memcpy(&integer, index, sizeof integer);
  *position = integer.value;
  return true;
}

void PutInteger(void* out, uint32_t value) {
  const IntegerValue integer{tag::kInteger, static_cast<int32_t>(value)};
  std::memcpy(out, &integer, sizeof integer);
}

abi::Result Fail(ListModRecord* self, int32_t code) {
  self->listError = code;
  return abi::kNotHandled;
}

abi::Result Done(ListModRecord* self) {
  self->listError = list_error::kNone;
  return abi::kDone;
}

uint32_t NewList(uint32_t itemSize) {
  uint32_t handle = 0;
  host::list::CreateList(itemSize, &handle);
  return handle;
}

// Copies everything but `clearMessage` from `source`; `self` owns no list or pool it keeps.
void CopyFrom(ListModRecord* self, const ListModRecord* source) {
  self->kindValue = source->kindValue;
  self->elementTag = source->elementTag;
  if (self->list != 0) list::ReleaseAll(self, self->list);
  self->list = NewList(list::RecordSize(self->elementTag, false));
  list::CopyElements(self, self->list, source->list);
  if (source->randomBeginPool != 0) {
    if (self->randomBeginPool == 0) self->randomBeginPool = NewList(kPoolItemSize);
    list::CopyPool(self->randomBeginPool, source->randomBeginPool);
  } else if (self->randomBeginPool != 0) {
    host::list::DisposeList(self->randomBeginPool);
    self->randomBeginPool = 0;
  }
  self->listError = source->listError;
}

// ---- Attribute reads.

abi::Result ReadElement(ListModRecord* self, void* index, void* out) {
  int32_t position = 0;
  if (!PositionOf(index, &position)) return abi::kNotHandled;
  if (position == 0) return ostrel::ReadWholeList(self, out);
  // Taken as unsigned, a negative position is past every count.
  if (static_cast<uint32_t>(position) > list::Count(self->list)) {
    return Fail(self, list_error::kPosition);
  }
  if (list::FetchElement(self, self->list, self->elementTag, static_cast<uint32_t>(position),
                         out) != 0) {
    return Fail(self, list_error::kKind);
  }
  return Done(self);
}

abi::Result ReadAndDelete(ListModRecord* self, void* index, void* out) {
  int32_t position = 0;
  if (!PositionOf(index, &position)) return abi::kNotHandled;
  const uint32_t count = list::Count(self->list);
  if (position < 1 || static_cast<uint32_t>(position) > count) {
    return Fail(self, list_error::kPosition);
  }
  if (list::FetchElement(self, self->list, self->elementTag, static_cast<uint32_t>(position),
                         out) != 0) {
    return Fail(self, list_error::kKind);
  }
  list::DeleteElement(self, self->list, static_cast<uint32_t>(position));
  return Done(self);
}

abi::Result ReadRandom(ListModRecord* self, void* out, bool andDelete) {
  const uint32_t count = list::Count(self->list);
  if (count == 0) return Fail(self, list_error::kEmpty);
  int32_t drawn = 0;
  host::system::RandomInteger(1, static_cast<int32_t>(count), &drawn);
  if (drawn < 1 || static_cast<uint32_t>(drawn) > count) return Fail(self, list_error::kPosition);
  const auto position = static_cast<uint32_t>(drawn);
  if (list::FetchElement(self, self->list, self->elementTag, position, out) != 0) {
    return Fail(self, list_error::kKind);
  }
  if (andDelete) list::DeleteElement(self, self->list, position);
  return Done(self);
}

// An element not drawn since the pool was last filled. Positions the list no longer has (it
// shrank since) are passed over, so a draw from a list with elements always answers one.
abi::Result ReadRandomBegin(ListModRecord* self, void* out) {
  const uint32_t count = list::Count(self->list);
  if (count == 0) {
    // Only then is the answer the count: otherwise it is the element, of the caller's type.
    PutInteger(out, 0);
    return Fail(self, list_error::kEmpty);
  }
  if (self->randomBeginPool == 0) self->randomBeginPool = NewList(kPoolItemSize);
  if (self->randomBeginPool == 0) return Fail(self, list_error::kPosition);
  uint32_t poolCount = list::Count(self->randomBeginPool);
  // Every pass takes an entry out of the pool, and a refilled pool holds only live positions.
  for (uint32_t pass = 0; pass <= 2 * list::kMaxCount + 1; ++pass) {
    if (poolCount == 0) {
      list::RefillPool(self->list, self->randomBeginPool);
      poolCount = list::Count(self->randomBeginPool);
      if (poolCount == 0) return abi::kNotHandled;
    }
    const uint32_t position = list::DrawFromPool(self->randomBeginPool, poolCount);
    if (position == 0) return Fail(self, list_error::kPosition);
    --poolCount;
    if (position > count) continue;
    if (list::FetchElement(self, self->list, self->elementTag, position, out) != 0) {
      return Fail(self, list_error::kKind);
    }
    return Done(self);
  }
  return Fail(self, list_error::kPosition);
}

abi::Result Sort(ListModRecord* self, bool ascending, void* out) {
  const uint32_t count = list::Count(self->list);
  if (out != nullptr) PutInteger(out, count);
  if (count == 0) return Fail(self, list_error::kEmpty);
  if (list::SortList(self, self->list, self->elementTag, ascending, count) != 0) {
    return Fail(self, list_error::kKind);
  }
  return Done(self);
}

// ---- Attribute writes.

abi::Result WriteElement(ListModRecord* self, int32_t position, const void* value) {
  const uint32_t count = list::Count(self->list);
  if (position < 0 || static_cast<uint32_t>(position) > list::kMaxCount) {
    return Fail(self, list_error::kPosition);
  }
  if (!list::Fits(TagOf(value), self->elementTag)) return Fail(self, list_error::kKind);
  Element converted;
  if (list::Convert(self, value, self->elementTag, &converted) != 0) {
    return Fail(self, list_error::kKind);
  }
  if (list::WriteConverted(self, self->list, self->elementTag, static_cast<uint32_t>(position),
                           count, &converted) != 0) {
    return Fail(self, list_error::kKind);
  }
  return Done(self);
}

abi::Result WriteValue(ListModRecord* self, void* index, const void* value) {
  if (value == nullptr) return abi::kNotHandled;
  if (TagOf(value) == ostrel::kListTransferTag) return ostrel::CopyTransfer(self, value);
  int32_t position = 0;
  if (!PositionOf(index, &position)) return abi::kNotHandled;
  if (position == 0) return ostrel::AssignWholeList(self, index, value);
  return WriteElement(self, position, value);
}

abi::Result WriteCount(ListModRecord* self, const void* value) {
  if (value == nullptr) return abi::kNotHandled;
  Element converted;
  if (list::Convert(self, value, tag::kInteger, &converted) != 0 ||
      TagOf(converted.data()) != tag::kInteger) {
    return Fail(self, list_error::kKind);
  }
  IntegerValue count;
  std::memcpy(&count, converted.data(), sizeof count);
  if (count.value < 0 || static_cast<uint32_t>(count.value) > list::kMaxCount) {
    return Fail(self, list_error::kNegativeCount);
  }
  if (list::ResizeList(self, self->list, self->elementTag, static_cast<uint32_t>(count.value)) !=
      0) {
    return Fail(self, list_error::kKind);
  }
  return abi::kDone;
}

abi::Result Insert(ListModRecord* self, void* index, const void* value) {
  int32_t position = 0;
  if (value == nullptr || !PositionOf(index, &position)) return abi::kNotHandled;
  if (!list::Fits(TagOf(value), self->elementTag)) return Fail(self, list_error::kKind);
  const uint32_t count = list::Count(self->list);
  // Only before an existing element, and never past the longest list.
  if (position < 1 || static_cast<uint32_t>(position) > count || count >= list::kMaxCount) {
    return Fail(self, list_error::kPosition);
  }
  Element converted;
  if (list::Convert(self, value, self->elementTag, &converted) != 0) {
    return Fail(self, list_error::kKind);
  }
  // The list keeps a copy of its own; the converted text goes back.
  const uint16_t status =
      list::AppendElementCopy(self, converted.data(), self->list, static_cast<uint32_t>(position));
  if (TagOf(converted.data()) == tag::kText) list::ReleaseElement(self, converted.data());
  if (status != 0) return Fail(self, list_error::kKind);
  return abi::kDone;
}

abi::Result ResetPool(ListModRecord* self) {
  if (self->randomBeginPool == 0) self->randomBeginPool = NewList(kPoolItemSize);
  if (self->randomBeginPool != 0) list::RefillPool(self->list, self->randomBeginPool);
  return abi::kDone;
}

abi::Result Shuffle(ListModRecord* self, void* out) {
  const uint32_t count = list::Count(self->list);
  if (out != nullptr) PutInteger(out, count);
  if (count == 0) {
    self->listError = list_error::kEmpty;
    // A read of an empty list's "shuffle" is done; a write is refused.
    return out != nullptr ? abi::kDone : abi::kNotHandled;
  }
  list::ShuffleList(self->list, self->elementTag, count);
  return Done(self);
}

}  // namespace

extern "C" {

abi::Result ListModConstruct(void* instance, uint32_t /*baseObject*/) {
  if (instance == nullptr) return abi::kNotHandled;
  ListModRecord* self = Self(instance);
  self->kindValue = ChoiceValue{tag::kChoice, kIntegerChoice, 0};
  self->elementTag = tag::kInteger;
  self->list = 0;
  self->randomBeginPool = 0;
  self->listError = list_error::kNone;
  self->clearMessage = MessageIdValue{tag::kMessageId, kClearMessageId, 0};
  self->list = NewList(list::RecordSize(tag::kInteger, false));
  return abi::kDone;
}

abi::Result ListModAssign(void* instance, void* source) {
  if (instance == nullptr || source == nullptr) return abi::kNotHandled;
  // An instance assigned to itself already is what it would become.
  if (instance != source) CopyFrom(Self(instance), Self(source));
  return abi::kDone;
}

abi::Result ListModCopyConstruct(void* instance, void* source, uint32_t /*baseObject*/) {
  if (instance == nullptr || source == nullptr) return abi::kNotHandled;
  ListModRecord* self = Self(instance);
  // Fresh memory holds whatever it held: nothing in it is a list of ours.
  self->list = 0;
  self->randomBeginPool = 0;
  CopyFrom(self, Self(source));
  self->clearMessage = MessageIdValue{tag::kMessageId, kClearMessageId, 0};
  return abi::kDone;
}

abi::Result ListModDestruct(void* instance) {
  if (instance == nullptr) return abi::kNotHandled;
  ListModRecord* self = Self(instance);
  list::ReleaseAll(self, self->list);
  self->list = 0;
  if (self->randomBeginPool != 0) host::list::DisposeList(self->randomBeginPool);
  self->randomBeginPool = 0;
  return abi::kDone;
}

abi::Result ListModToEditor(void* instance, void* editor, int16_t mode) {
  if (instance == nullptr || mode != 0) return abi::kNotHandled;
  host::editor::PutItem(editor, kKindItem, &Self(instance)->kindValue);
  return abi::kDone;
}

abi::Result ListModFromEditor(void* instance, void* editor) {
  if (instance == nullptr) return abi::kNotHandled;
  ListModRecord* self = Self(instance);
  ChoiceValue kind = self->kindValue;
  host::editor::GetItem(editor, kKindItem, &kind);
  const uint16_t elementTag = kind.tag == tag::kChoice ? list::KindTag(kind.selection) : 0;
  // A kind the list cannot hold leaves the old one.
  if (elementTag == 0) return abi::kNotHandled;
  const bool changed = kind.selection != self->kindValue.selection;
  self->kindValue = ChoiceValue{tag::kChoice, kind.selection, 0};
  if (!changed) return abi::kDone;
  list::ReleaseAll(self, self->list);
  self->elementTag = elementTag;
  if (self->randomBeginPool != 0) host::list::DisposeList(self->randomBeginPool);
  self->randomBeginPool = 0;
  self->list = NewList(list::RecordSize(elementTag, false));
  return abi::kDone;
}

abi::Result ListModStoredSize(void* instance, void* stream, uint32_t /*ignored*/, int16_t* version,
                              uint32_t* size) {
  if (instance == nullptr) return abi::kNotHandled;
  return ostrel::ListStoredSize(Self(instance), stream, version, size);
}

abi::Result ListModSave(void* instance, void* stream) {
  if (instance == nullptr) return abi::kNotHandled;
  return ostrel::ListSave(Self(instance), stream);
}

abi::Result ListModLoad(void* instance, void* stream, uint32_t /*ignored*/, int16_t version) {
  if (instance == nullptr) return abi::kNotHandled;
  return ostrel::ListLoad(Self(instance), stream, version);
}

abi::Result ListModGetAttribute(void* instance, const char* name16, void* index, void* out) {
  if (instance == nullptr || name16 == nullptr || out == nullptr) return abi::kNotHandled;
  ListModRecord* self = Self(instance);
  if (Named(name16, kCountName)) {
    PutInteger(out, list::Count(self->list));
    return Done(self);
  }
  if (Named(name16, kValueName)) return ReadElement(self, index, out);
  if (Named(name16, kDeleteName)) return ReadAndDelete(self, index, out);
  if (Named(name16, kRandomName)) return ReadRandom(self, out, false);
  if (Named(name16, kRandomDeleteName)) return ReadRandom(self, out, true);
  if (Named(name16, kRandomBeginName)) return ReadRandomBegin(self, out);
  if (Named(name16, kSortAscendName)) return Sort(self, true, out);
  if (Named(name16, kSortDescendName)) return Sort(self, false, out);
  if (Named(name16, kShuffleName)) return Shuffle(self, out);
  if (Named(name16, kListErrorName)) {
    PutInteger(out, static_cast<uint32_t>(self->listError));
    self->listError = list_error::kNone;
    return abi::kDone;
  }
  return abi::kNotHandled;
}

abi::Result ListModSetAttribute(void* instance, const char* name16, void* index, void* value) {
  if (instance == nullptr || name16 == nullptr) return abi::kNotHandled;
  ListModRecord* self = Self(instance);
  if (Named(name16, kValueName)) return WriteValue(self, index, value);
  if (Named(name16, kCountName)) return WriteCount(self, value);
  if (Named(name16, kInsertName)) return Insert(self, index, value);
  if (Named(name16, kResetName)) return ResetPool(self);
  if (Named(name16, kSortAscendName)) return Sort(self, true, nullptr);
  if (Named(name16, kSortDescendName)) return Sort(self, false, nullptr);
  if (Named(name16, kShuffleName)) return Shuffle(self, nullptr);
  return abi::kNotHandled;
}

abi::Result ListModHandleMessage(void* instance, void* message) {
  if (instance == nullptr || message == nullptr) return abi::kNotHandled;
  ListModRecord* self = Self(instance);
  abi::MessageRecord record;
  std::memcpy(&record, message, offsetof(abi::MessageRecord, second) + sizeof record.second);
  if (record.id != self->clearMessage.id || record.second != self->clearMessage.second) {
    return abi::kNotHandled;
  }
  const uint32_t count = list::Count(self->list);
  for (uint32_t position = 1; position <= count; ++position) {
    Element element;
    if (host::list::GetListItem(self->list, position, element.data()) == 0) {
      list::ReleaseElement(self, element.data());
    }
  }
  host::list::ClearList(self->list);
  return abi::kDone;
}

abi::Result ListModVisitMessageIds(void* instance, uint32_t a, uint32_t b) {
  if (instance == nullptr) return abi::kNotHandled;
  host::system::VisitMessageId(0, a, b, &Self(instance)->clearMessage);
  return abi::kDone;
}

}  // extern "C"

namespace ostrel {

uint32_t RunListModEntry(abi::PluginDescriptor* descriptor) {
  using namespace abi::slot;
  constexpr uint16_t row = abi::kComponentRow;
  const support::SlotEntry slots[] = {
      {row, kConstruct, support::SlotFunction(&ListModConstruct)},
      {row, kAssign, support::SlotFunction(&ListModAssign)},
      {row, kCopyConstruct, support::SlotFunction(&ListModCopyConstruct)},
      {row, kDestruct, support::SlotFunction(&ListModDestruct)},
      {row, kToEditor, support::SlotFunction(&ListModToEditor)},
      {row, kFromEditor, support::SlotFunction(&ListModFromEditor)},
      {row, kStoredSize, support::SlotFunction(&ListModStoredSize)},
      {row, kSave, support::SlotFunction(&ListModSave)},
      {row, kLoad, support::SlotFunction(&ListModLoad)},
      {row, kGetAttribute, support::SlotFunction(&ListModGetAttribute)},
      {row, kSetAttribute, support::SlotFunction(&ListModSetAttribute)},
      {row, kHandleMessage, support::SlotFunction(&ListModHandleMessage)},
      {row, kVisitMessageIds, support::SlotFunction(&ListModVisitMessageIds)},
  };
  const support::ClassDefinition definition{kListModName.chars,
                                            sizeof(ListModRecord),
                                            abi::kClassFlagsBaseObject,
                                            slots,
                                            sizeof slots / sizeof slots[0],
                                            nullptr,
                                            0};
  return support::RunEntry(descriptor, definition);
}

}  // namespace ostrel
