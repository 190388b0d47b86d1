// Vellomar under any attribute names, messages, editor items of any kind (raw answers of any
// size included), stored bytes for any version, copies and assignment, and targets that are
// components with and without SetAttribute, objects without components, and objects reloaded
// or gone.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "support/values.h"
#include "tavin/vellomar.h"

namespace {

using fuzzing::Input;

constexpr int kMaxOperations = 48;

// The target slot holds nothing, a designation, or a value of a kind that fits it whole.
void CheckTarget(const refhost::Instance* instance) {
  uint16_t t;
  std::memcpy(
      &t, static_cast<const uint8_t*>(instance->Record()) + offsetof(tavin::VellomarRecord, target),
      sizeof t);
  const uint32_t size = TaggedValueSize(t);
  if (t != tavin::kTargetDesignationTag && (size == 0 || size > 42))
    fuzzing::Fail("the target slot holds a value that does not fit it", instance);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  const uint32_t stage = host->AddObject(0, "stage");
  // A writer (ObjRefP), a component that refuses every write (MediaCue), one without
  // SetAttribute (Quit) and an object with no component at all.
  std::vector<uint32_t> objects = {stage, host->AddObject(stage, "pointer"),
                                   host->AddObject(stage, "cue", "movie"),
                                   host->AddObject(stage, "quit"), host->AddObject(stage, "bare")};
  host->Create("ObjRefP", objects[1], objects[1]);
  host->Create("MediaCue", objects[2]);
  host->Create("Quit", objects[3]);
  refhost::Instance* instances[2] = {host->Create("Vellomar", objects[0]),
                                     host->Create("Vellomar", objects[2])};
  if (instances[0] == nullptr || instances[1] == nullptr) __builtin_trap();

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    refhost::Instance*& instance = instances[in.Byte() & 1];
    switch (in.Byte() % 6) {
      case 0: {
        static constexpr const char* kNames[] = {"count", "value", "events", "", "target"};
        fuzzing::AnyAttributeCall(in, instance, kNames);
        break;
      }
      case 1: {
        tavin::VellomarRecord record;
        std::memcpy(&record, instance->Record(), sizeof record);
        std::vector<uint8_t> message = fuzzing::MessageRecord(
            objects[in.Below(objects.size())], in.Bool() ? record.events.id : in.U32(),
            in.Bool() ? record.events.second : in.U32());
        instance->HandleMessage(message.data());
        break;
      }
      case 2: {
        refhost::HostEditor& editor = host->NewEditor();
        instance->ToEditor(editor, in.Bool() ? 0 : static_cast<int16_t>(in.U16()));
        for (int n = in.Byte() % 3; n > 0; --n) {
          static constexpr int16_t kItems[] = {tavin::kVellomarEventsItem,
                                               tavin::kVellomarTargetItem, 0, 1};
          editor.SetItem(in.Pick(kItems), fuzzing::AnyHostValue(in, *host, objects));
        }
        // A runtime whose editor answers other kinds and sizes than the one asked for. Its
        // values are still well formed: none carries a pointer that leads nowhere.
        if (in.Byte() % 4 == 0) {
          std::vector<uint8_t> raw = in.Bytes(in.Byte() % 64);
          raw.resize(64, 0);
          uint16_t t;
          std::memcpy(&t, raw.data(), sizeof t);
          static constexpr uint16_t kPointerTags[] = {tag::kByteBlock, tag::kText, tag::kReference,
                                                      tag::kObjectPath, tag::kTextSecond};
          for (uint16_t pointerTag : kPointerTags) {
            if (t == pointerTag) raw[1] ^= 0x80;
          }
          editor.SetRawAnswer(tavin::kVellomarTargetItem, raw);
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
      default: {
        // A target object reloaded under a new handle; the stage itself stays.
        const size_t which = 1 + in.Below(objects.size() - 1);
        const uint32_t replaced = host->ReplaceObject(objects[which]);
        if (replaced != 0) objects[which] = replaced;
        break;
      }
    }
    CheckTarget(instances[0]);
    CheckTarget(instances[1]);
  }
  fuzzing::Finish(std::move(host));
  return 0;
}
