// Quit under any attribute names and indexes, messages, editor items of any kind, stored bytes
// for any version, copies and assignment.
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tavin/quit.h"

namespace {

using fuzzing::Input;

constexpr int kMaxOperations = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  std::vector<uint32_t> objects = {host->AddObject(0, "stage"), host->AddObject(0, "exit")};
  refhost::Instance* instances[2] = {host->Create("Quit", objects[0]),
                                     host->Create("Quit", objects[1])};
  if (instances[0] == nullptr || instances[1] == nullptr) __builtin_trap();

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    refhost::Instance*& instance = instances[in.Byte() & 1];
    switch (in.Byte() % 6) {
      case 0: {
        static constexpr const char* kNames[] = {"events", "EVENTS", "value", "", "eventsx"};
        fuzzing::AnyAttributeCall(in, instance, kNames);
        break;
      }
      case 1: {
        tavin::QuitRecord record;
        std::memcpy(&record, instance->Record(), sizeof record);
        const uint32_t id = in.Bool() ? record.firstEvent.id : record.secondEvent.id;
        std::vector<uint8_t> message = fuzzing::MessageRecord(
            objects[in.Byte() & 1], in.Bool() ? id : in.U32(), in.Bool() ? 0 : in.U32());
        instance->HandleMessage(message.data());
        break;
      }
      case 2: {
        refhost::HostEditor& editor = host->NewEditor();
        instance->ToEditor(editor, in.Bool() ? 0 : static_cast<int16_t>(in.U16()));
        for (int n = in.Byte() % 4; n > 0; --n) {
          static constexpr int16_t kItems[] = {tavin::kQuitFirstItem, tavin::kQuitSecondItem, 0, 7};
          editor.SetItem(in.Pick(kItems), fuzzing::AnyHostValue(in, *host, objects));
        }
        instance->FromEditor(editor);
        instance->EditorItemChanged(editor, static_cast<int16_t>(in.U16()));
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
        static constexpr uint32_t kIds[] = {tavin::kQuitFirstDefault, tavin::kQuitSecondDefault, 0,
                                            1};
        host->SendMessage(objects[in.Byte() & 1], in.Bool() ? in.Pick(kIds) : in.U32(),
                          in.Bool() ? 0 : in.U32());
        break;
      }
    }
  }
  fuzzing::Finish(std::move(host));
  return 0;
}
