// MediaCue under any attribute names and indexes, messages, editor items of any kind, stored
// bytes for both versions, and play positions and rates in any order, on owners that resolve
// range symbols, report a class name (sometimes "kov" with a "movie") and change their rate.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tavin/media_cue.h"

namespace {

using fuzzing::Input;

constexpr int kMaxOperations = 64;

struct Rig {
  refhost::Host* host;
  std::vector<uint32_t> objects;
  refhost::Instance* instances[2] = {nullptr, nullptr};
};

void Message(Input& in, Rig& rig, refhost::Instance* instance) {
  tavin::MediaCueRecord record;
  std::memcpy(&record, instance->Record(), sizeof record);
  uint32_t id = in.U32();
  uint32_t second = 0;
  switch (in.Byte() % 3) {
    case 0:
      id = record.enableId.id;
      second = record.enableId.second;
      break;
    case 1:
      id = record.disableId.id;
      second = record.disableId.second;
      break;
    default:
      second = in.Bool() ? 0 : in.U32();
  }
  std::vector<uint8_t> message =
      fuzzing::MessageRecord(rig.objects[in.Below(rig.objects.size())], id, second);
  instance->HandleMessage(message.data());
}

void Edit(Input& in, Rig& rig, refhost::Instance* instance) {
  refhost::HostEditor& editor = rig.host->NewEditor();
  instance->ToEditor(editor, in.Bool() ? 0 : static_cast<int16_t>(in.U16()));
  static constexpr int16_t kItems[] = {24, 25, 14, 21, 22, 23, 18, 16, 7, 9, 10, 11};
  for (int n = in.Byte() % 6; n > 0; --n) {
    editor.SetItem(in.Pick(kItems), fuzzing::AnyHostValue(in, *rig.host, rig.objects));
  }
  instance->FromEditor(editor);
  instance->EditorItemChanged(editor, static_cast<int16_t>(in.U16()));
}

void Stored(Input& in, Rig& rig, refhost::Instance* instance) {
  refhost::HostStream& stream =
      fuzzing::AnyStoredForm(in, *rig.host, rig.instances, rig.objects, 9, 199);
  static constexpr int16_t kVersions[] = {0, 1, 1, 0, 2, -1};
  instance->Load(stream, in.Pick(kVersions));
}

void Play(Input& in, Rig& rig) {
  const uint32_t clip = rig.objects[in.Below(rig.objects.size())];
  switch (in.Byte() % 5) {
    case 0:
      rig.host->SetObjectValue(clip, "rate", refhost::Value::Integer(in.I32() % 4000));
      break;
    case 1: {
      static constexpr int32_t kPositions[] = {0, -1, 1, 100, 1000, INT32_MIN, INT32_MAX};
      for (int n = 1 + in.Byte() % 8; n > 0; --n) {
        rig.host->SetPosition(clip, in.Bool() ? in.Pick(kPositions) : in.I32() % 5000);
      }
      break;
    }
    case 2:
      rig.host->Advance(in.U16());
      break;
    case 3: {
      // The owner's named ranges: some answer a range, some something else.
      const ChoiceValue symbol{tag::kChoice, in.U32() % 4, in.U32() % 2};
      const refhost::Value index = refhost::Value::Raw(&symbol, sizeof symbol);
      rig.host->SetObjectValue(clip, "rangesymbol", fuzzing::AnyHostValue(in, *rig.host, {}),
                               &index);
      break;
    }
    default:
      rig.host->SetObjectValue(clip, "movie", fuzzing::AnyHostValue(in, *rig.host, {}));
  }
}

// Size of the value a slot holds, tag included; 0 for a tag whose size the host does not fix.
uint32_t HeldSize(const uint8_t* slot) {
  uint16_t t;
  std::memcpy(&t, slot, 2);
  if (t == tag::kText || t == tag::kTextSecond || t == tag::kReference) return 18;
  if (t == tag::kObjectPath) return 8;
  return refhost::FixedSizeOf(t);
}

// What must hold after every operation: each value slot holds a value that fits it, and the
// run-time words keep their few values.
void CheckRecord(const refhost::Instance* instance) {
  tavin::MediaCueRecord r;
  std::memcpy(&r, instance->Record(), sizeof r);
  if (HeldSize(r.destination) > sizeof r.destination)
    fuzzing::Fail("destination overflows", instance);
  if (HeldSize(r.messageData) > sizeof r.messageData)
    fuzzing::Fail("messageData overflows", instance);
  if (HeldSize(r.rangeSetting) > sizeof r.rangeSetting)
    fuzzing::Fail("rangeSetting overflows", instance);
  if (r.enableId.tag != tag::kMessageId || r.disableId.tag != tag::kMessageId ||
      r.sendId.tag != tag::kMessageId) {
    fuzzing::Fail("a message id lost its tag", instance);
  }
  if (r.messageFlags.tag != tag::kInteger || r.triggerMode.tag != tag::kInteger) {
    fuzzing::Fail("an integer setting lost its tag", instance);
  }
  if (r.direction != 0 && r.direction != 2 && r.direction != 3)
    fuzzing::Fail("direction", instance);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  Rig rig{host.get(), {}};
  static constexpr const char* kClasses[] = {"movie", "kov", "kov sound", "", "sound"};
  rig.objects.push_back(host->AddObject(0, "clip", in.Pick(kClasses)));
  rig.objects.push_back(host->AddObject(rig.objects[0], "track", in.Pick(kClasses)));
  rig.objects.push_back(host->AddObject(0, "target"));
  rig.instances[0] = host->Create("MediaCue", rig.objects[0]);
  rig.instances[1] = host->Create("MediaCue", rig.objects[1]);
  if (rig.instances[0] == nullptr || rig.instances[1] == nullptr) __builtin_trap();

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    refhost::Instance*& instance = rig.instances[in.Byte() & 1];
    switch (in.Byte() % 10) {
      case 0: {
        static constexpr const char* kNames[] = {"events", "Events", "value", "rate", ""};
        fuzzing::AnyAttributeCall(in, instance, kNames);
        break;
      }
      case 1:
      case 2:
        Message(in, rig, instance);
        break;
      case 3:
        Edit(in, rig, instance);
        break;
      case 4:
        Stored(in, rig, instance);
        break;
      case 5:
      case 6:
        Play(in, rig);
        break;
      case 7:
        if (in.Bool()) {
          instance->Enable();
        } else {
          instance->Disable();
        }
        host->SendMessage(rig.objects[in.Below(rig.objects.size())],
                          in.Bool() ? tavin::kMediaCueEnableDefault : in.U32(), 0);
        break;
      case 8:
        if (in.Bool()) {
          instance->Assign(*rig.instances[in.Byte() & 1]);
        } else {
          fuzzing::ReplaceWithCopy(in, *host, rig.instances, instance,
                                   {rig.objects[0], rig.objects[1]});
        }
        break;
      default:
        if (in.Bool()) {
          instance->PositionChanged(in.I32());
        } else {
          instance->Periodic();
        }
    }
    for (const refhost::Instance* each : rig.instances) CheckRecord(each);
  }
  fuzzing::Finish(std::move(host));
  return 0;
}
