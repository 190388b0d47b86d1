// CursorMod under any attribute names, messages, editor items and stored values of any kind,
// settings that hold no value (so the host answers with whatever kind it has), copies and
// assignment. After every step both settings must still be plain values of at most 10 bytes,
// and every cursor asked for must be the chosen one.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "support/values.h"
#include "tavin/cursor_mod.h"

namespace {

using fuzzing::Input;

constexpr int kMaxOperations = 48;

tavin::CursorModRecord RecordOf(const refhost::Instance* instance) {
  tavin::CursorModRecord record;
  std::memcpy(&record, instance->Record(), sizeof record);
  return record;
}

bool PlainSetting(uint16_t valueTag) {
  const uint32_t size = TaggedValueSize(valueTag);
  return size != 0 && size <= sizeof(MessageIdValue) && valueTag != tag::kObjectPath;
}

void CheckRecord(const refhost::Instance* instance) {
  const tavin::CursorModRecord record = RecordOf(instance);
  if (!PlainSetting(record.cursorEvent.tag))
    fuzzing::Fail("event slot holds a large value", instance);
  if (!PlainSetting(record.cursorChoice.tag))
    fuzzing::Fail("choice slot holds a large value", instance);
}

// A setting emptied, or given a plain kind, as a title written by another host may hold it.
void Reshape(Input& in, refhost::Instance* instance) {
  static constexpr uint16_t kTags[] = {tag::kEmpty, tag::kUnassigned, tag::kInteger,   tag::kPoint,
                                       tag::kRange, tag::kFlag,       tag::kMessageId, tag::kChoice,
                                       tag::kReal,  tag::kRectangle};
  const uint16_t valueTag = in.Pick(kTags);
  auto* bytes = static_cast<uint8_t*>(instance->Record());
  const size_t at = in.Bool() ? offsetof(tavin::CursorModRecord, cursorEvent)
                              : offsetof(tavin::CursorModRecord, cursorChoice);
  std::memcpy(bytes + at, &valueTag, sizeof valueTag);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  std::vector<uint32_t> objects = {host->AddObject(0, "stage"), host->AddObject(0, "wings")};
  refhost::Instance* instances[2] = {host->Create("CursorMod", objects[0]),
                                     host->Create("CursorMod", objects[1])};
  if (instances[0] == nullptr || instances[1] == nullptr) __builtin_trap();

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    refhost::Instance*& instance = instances[in.Byte() & 1];
    switch (in.Byte() % 8) {
      case 0: {
        static constexpr const char* kNames[] = {"cursorChoice", "cursorEvent", "events", ""};
        fuzzing::AnyAttributeCall(in, instance, kNames);
        break;
      }
      case 1: {
        const tavin::CursorModRecord record = RecordOf(instance);
        const bool own = in.Bool();
        std::vector<uint8_t> message =
            fuzzing::MessageRecord(objects[in.Byte() & 1], own ? record.cursorEvent.id : in.U32(),
                                   own ? record.cursorEvent.second : in.U32());
        const size_t before = host->Cursors().size();
        const uint16_t status = instance->HandleMessage(message.data());
        const size_t asked = host->Cursors().size() - before;
        if (asked != (status == 0 ? 1u : 0u))
          fuzzing::Fail("cursor calls and answer disagree", instance);
        if (asked == 1 &&
            host->Cursors().back().cursor != static_cast<int32_t>(record.cursorChoice.selection)) {
          fuzzing::Fail("asked for a cursor that was not chosen", instance);
        }
        break;
      }
      case 2: {
        refhost::HostEditor& editor = host->NewEditor();
        instance->ToEditor(editor, in.Bool() ? 0 : static_cast<int16_t>(in.U16()));
        for (int n = in.Byte() % 4; n > 0; --n) {
          static constexpr int16_t kItems[] = {tavin::kCursorEventItem, tavin::kCursorChoiceItem, 0,
                                               8};
          editor.SetItem(in.Pick(kItems), fuzzing::AnyHostValue(in, *host, objects));
        }
        instance->FromEditor(editor);
        break;
      }
      case 3: {
        refhost::HostStream& stream = fuzzing::AnyStoredForm(in, *host, instances, objects, 4, 48);
        instance->Load(stream, static_cast<int16_t>(in.Bool() ? 0 : in.U16()));
        break;
      }
      case 4:
        fuzzing::LifeStep(in, *host, instances, instance, objects);
        break;
      case 5:
        host->SendMessage(objects[in.Byte() & 1], tavin::kCursorEventDefault,
                          in.Bool() ? 0 : in.U32());
        break;
      case 6:
        Reshape(in, instance);
        break;
      default:
        host->FailAllocations(in.Byte() % 3, in.Byte() % 4);
    }
    CheckRecord(instances[0]);
    CheckRecord(instances[1]);
  }
  host->StopFailingAllocations();
  fuzzing::Finish(std::move(host));
  return 0;
}
