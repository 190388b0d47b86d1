// panning under any attribute reads, start and stop messages of any id, editor items of any
// kind, stored bytes for any version, copies and assignment, while time passes and its owner
// moves, changes its pan or loses its scene. Every pan it writes must lie in -100..100, and
// every ramp must end with the instance.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "ostrel/panning.h"

namespace {

using fuzzing::Input;

constexpr int kMaxOperations = 48;

void CheckPans(const refhost::Host& host, size_t from) {
  const std::vector<refhost::AttributeWrite>& writes = host.AttributeWrites();
  for (size_t i = from; i < writes.size(); ++i) {
    if (writes[i].name != "pan") continue;
    const int32_t pan = writes[i].value.AsInteger();
    if (writes[i].value.tag != tag::kInteger || pan < ostrel::kPanLeft || pan > ostrel::kPanRight)
      fuzzing::Fail("a pan outside -100..100 was written", nullptr);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  const uint32_t scene = host->AddObject(0, "scene");
  std::vector<uint32_t> objects = {host->AddObject(scene, "left", "sprite"),
                                   host->AddObject(scene, "right", "sprite"), scene};
  host->SetObjectValue(scene, "size", refhost::Value::Point(640, 480));
  host->SetObjectValue(scene, "position", refhost::Value::Point(0, 0));
  for (size_t i = 0; i < 2; ++i) {
    host->SetObjectValue(objects[i], "pan", refhost::Value::Integer(0));
    host->SetObjectValue(objects[i], "position", refhost::Value::Point(10, 10));
    host->SetObjectValue(objects[i], "size", refhost::Value::Point(20, 20));
    host->SetObjectValue(objects[i], "scene", refhost::Value::Reference(scene));
  }
  refhost::Instance* instances[2] = {host->Create("panning", objects[0]),
                                     host->Create("panning", objects[1])};
  if (instances[0] == nullptr || instances[1] == nullptr) __builtin_trap();

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    const size_t writesBefore = host->AttributeWrites().size();
    refhost::Instance*& instance = instances[in.Byte() & 1];
    switch (in.Byte() % 7) {
      case 0: {
        static constexpr const char* kNames[] = {"events", "EVENTS", "pan", "", "eventsx"};
        fuzzing::AnyAttributeCall(in, instance, kNames);
        break;
      }
      case 1: {
        static constexpr uint32_t kIds[] = {ostrel::kPanStartDefault, ostrel::kPanStopDefault, 0,
                                            1};
        std::vector<uint8_t> message =
            fuzzing::MessageRecord(objects[in.Byte() % objects.size()],
                                   in.Bool() ? in.Pick(kIds) : in.U32(), in.Bool() ? 0 : in.U32());
        instance->HandleMessage(message.data());
        break;
      }
      case 2: {
        refhost::HostEditor& editor = host->NewEditor();
        instance->ToEditor(editor, in.Bool() ? 0 : static_cast<int16_t>(in.U16()));
        for (int n = in.Byte() % 5; n > 0; --n) {
          static constexpr int16_t kItems[] = {ostrel::kPanStartItem,
                                               ostrel::kPanStopItem,
                                               ostrel::kPanFixedItem,
                                               ostrel::kPanTargetItem,
                                               ostrel::kPanDurationItem,
                                               ostrel::kPanFollowItem,
                                               0,
                                               ostrel::kPanLimitedTargetItem,
                                               7};
          const int16_t item = in.Pick(kItems);
          if (in.Byte() % 3 == 0) {
            // A duration as the editor shows one, with any count and divisor.
            editor.SetItem(
                item, refhost::Value::Duration(in.U32(), in.Byte() % 4 == 0 ? 0 : in.U32(), 600));
          } else {
            editor.SetItem(item, fuzzing::AnyHostValue(in, *host, objects));
          }
        }
        instance->FromEditor(editor);
        instance->EditorItemChanged(editor,
                                    static_cast<int16_t>(in.Bool() ? in.Byte() % 20 : in.U16()));
        break;
      }
      case 3: {
        refhost::HostStream& stream = fuzzing::AnyStoredForm(in, *host, instances, objects, 6, 64);
        static constexpr int16_t kVersions[] = {ostrel::kPanDataVersion, 1, 2, 0};
        instance->Load(stream, in.Bool() ? in.Pick(kVersions) : static_cast<int16_t>(in.U16()));
        break;
      }
      case 4:
        fuzzing::LifeStep(in, *host, instances, instance, objects);
        instance->Attached();
        break;
      case 5:
        host->Advance(in.Byte() * 10u);
        break;
      case 6: {
        // The owner moves, or changes its pan, place, size or scene under the instance.
        const uint32_t object = objects[in.Byte() & 1];
        switch (in.Byte() % 4) {
          case 0:
            host->SetPosition(object, in.I32());
            break;
          case 1:
            host->SetObjectValue(object, "pan", fuzzing::AnyHostValue(in, *host, objects));
            break;
          case 2:
            host->SetObjectValue(object, in.Bool() ? "position" : "size",
                                 refhost::Value::Point(static_cast<int16_t>(in.U16()),
                                                       static_cast<int16_t>(in.U16())));
            break;
          default:
            host->SetObjectValue(object, "scene", fuzzing::AnyHostValue(in, *host, objects));
        }
        break;
      }
    }
    CheckPans(*host, writesBefore);
  }
  fuzzing::Finish(std::move(host));
  return 0;
}
