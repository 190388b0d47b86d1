// SysInfo on any machine the stand-in can describe, read through any name into receivers of
// any kind (texts with buffers of every size, exactly allocated so a write past one trips
// AddressSanitizer), copied, assigned and destroyed while allocations are refused at random.
// A text read must fit its receiver and say its length; a whole text handed over must be one.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "win32/stand_in.h"

namespace {

using fuzzing::Input;

constexpr int kMaxOperations = 48;

void DescribeMachine(Input& in) {
  stand_in::MachineFacts& machine = stand_in::Machine();
  static constexpr uint32_t kTypes[] = {386, 486, 586, 0, 8664, 2200};
  machine.version = in.Bool() ? in.U32() : 0x0A280105;
  machine.processorType = in.Bool() ? in.Pick(kTypes) : in.U32();
  machine.screenWidth = in.I32();
  machine.screenHeight = in.I32();
  machine.screenBitsPerPixel = in.I32();
  machine.keyboardType = in.Bool() ? static_cast<int32_t>(in.Byte() % 10) : in.I32();
}

// Reads one attribute into a receiver of the fuzzer's choosing and checks what came back.
void Read(Input& in, refhost::Host& host, refhost::Instance* instance) {
  static constexpr const char* kNames[] = {
      "sysversion",   "nativecpu",  "architecture", "fpu",      "totalram",   "currentram",
      "computername", "processor",  "soundcard",    "bitdepth", "screensize", "keyboardtype",
      "SYSVERSION",   "ScreenSize", "screen",       "",         "events",     "fpux"};
  const char* name = in.Pick(kNames);
  fuzzing::Exact index;
  void* at = fuzzing::AnyIndex(in, index);
  switch (in.Byte() % 3) {
    case 0: {
      fuzzing::Out out(tag::kUnassigned);
      if (instance->GetAttribute(name, at, out.bytes) != 0 || !refhost::IsText(out.Tag())) break;
      TextValue text;
      std::memcpy(&text, out.bytes, sizeof text);
      if (text.owner != kHandedOver || text.chars == nullptr || text.capacity != text.length + 1 ||
          std::strlen(text.chars) != text.length) {
        fuzzing::Fail("a text handed over is not a whole one", instance);
      }
      fuzzing::FreeReceivedText(host, out.bytes, nullptr);
      break;
    }
    case 1: {
      const uint32_t capacity = in.Length(40);
      std::vector<char> buffer(capacity == 0 ? 1 : capacity, '#');
      const uint16_t textTag = in.Bool() ? tag::kText : tag::kTextSecond;
      const TextValue preset{textTag, 0x7E57, capacity, 0,
                             capacity == 0 || in.Byte() % 8 == 0 ? nullptr : buffer.data()};
      fuzzing::Exact out(preset);
      const uint16_t status = instance->GetAttribute(name, at, out.Get());
      TextValue after;
      std::memcpy(&after, out.Get(), sizeof after);
      // Numbers and the point take any receiver over; a text keeps its buffer.
      if (status == 0 && refhost::IsText(after.tag) &&
          (after.chars != preset.chars || after.length >= after.capacity ||
           std::strlen(after.chars) != after.length)) {
        fuzzing::Fail("a text read does not fit its receiver", instance);
      }
      if (status != 0 && std::memcmp(&after, &preset, sizeof after) != 0) {
        fuzzing::Fail("a refused read changed its receiver", instance);
      }
      break;
    }
    default: {
      static constexpr uint16_t kTags[] = {tag::kInteger, tag::kEmpty, tag::kPoint, tag::kMessageId,
                                           tag::kReal};
      fuzzing::Out out(in.Pick(kTags));
      instance->GetAttribute(name, at, out.bytes);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  stand_in::Reset();
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  const uint32_t stage = host->AddObject(0, "stage");
  std::vector<refhost::Instance*> instances;

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    refhost::Instance* some = instances.empty() ? nullptr : instances[in.Below(instances.size())];
    switch (in.Byte() % 7) {
      case 0:
        DescribeMachine(in);
        break;
      case 1:
        if (instances.size() < 6) {
          if (in.Bool()) host->SetFreshInstanceBytes(in.Bytes(1 + in.Byte() % 8));
          refhost::Instance* made = host->Create("SysInfo", stage);
          if (made == nullptr) __builtin_trap();
          instances.push_back(made);
        }
        break;
      case 2:
        if (some != nullptr && instances.size() < 6) {
          if (in.Bool()) host->SetFreshInstanceBytes(in.Bytes(1 + in.Byte() % 8));
          refhost::Instance* copy = host->CopyConstruct(*some, stage);
          if (copy == nullptr) __builtin_trap();
          instances.push_back(copy);
        }
        break;
      case 3:
        if (some != nullptr) some->Assign(*instances[in.Below(instances.size())]);
        break;
      case 4:
        if (some != nullptr) {
          host->Destroy(some);
          instances.erase(std::find(instances.begin(), instances.end(), some));
        }
        break;
      case 5:
        host->FailAllocations(in.Byte() % 4, in.Byte() % 3);
        break;
      default:
        if (some != nullptr) Read(in, *host, some);
    }
  }
  host->StopFailingAllocations();
  fuzzing::Finish(std::move(host));
  if (stand_in::LiveHandles().Total() != 0 || !stand_in::Faults().empty()) {
    std::fprintf(stderr, "%s\n", stand_in::Report().c_str());
    __builtin_trap();
  }
  return 0;
}
