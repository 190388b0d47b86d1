// Print under any attribute names, caption entries and indexes, messages, editor items of any
// kind (the browse button included), stored bytes for any version, copies and assignment. Its
// print path meets a file that is missing or is no bitmap, and dialogs that are cancelled or
// fail; every system handle it takes must be given back.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tavin/print.h"
#include "win32/stand_in.h"

namespace {

using fuzzing::Input;

constexpr int kMaxOperations = 48;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  stand_in::Reset();
  stand_in::Printer().pageWidth = stand_in::Printer().pageHeight = 64;
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  std::vector<uint32_t> objects = {host->AddObject(0, "page"), host->AddObject(0, "margin")};
  refhost::Instance* instances[2] = {host->Create("Print", objects[0]),
                                     host->Create("Print", objects[1])};
  if (instances[0] == nullptr || instances[1] == nullptr) __builtin_trap();

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    refhost::Instance*& instance = instances[in.Byte() & 1];
    switch (in.Byte() % 6) {
      case 0: {
        static constexpr const char* kNames[] = {
            "events",   "textfont",   "textsize",      "textstyle",  "textstring", "textposition",
            "filepath", "showdialog", "textalignment", "TEXTSTRING", "FilePath",   ""};
        // A read hands the receiver the text it asked for, to be freed by the receiver.
        fuzzing::Exact index;
        void* at = fuzzing::AnyIndex(in, index);
        static constexpr uint16_t kPresets[] = {tag::kUnassigned, tag::kText, tag::kMessageId,
                                                tag::kInteger,    tag::kFlag, tag::kPoint};
        fuzzing::Out out(in.Pick(kPresets));
        if (in.Bool()) {
          if (instance->GetAttribute(in.Pick(kNames), at, out.bytes) == 0)
            fuzzing::FreeReceivedText(*host, out.bytes, nullptr);
        } else {
          instance->SetAttribute(in.Pick(kNames), at, out.bytes);
        }
        break;
      }
      case 1: {
        // A caption or path written with a text the harness holds, at a small entry number.
        static constexpr const char* kTexts[] = {"textfont", "textstring", "filepath"};
        fuzzing::HeldText text(in.Text(in.Length(600)), in.Bool() ? tag::kText : tag::kTextSecond,
                               in.Byte() % 4);
        IntegerValue entry{tag::kInteger, static_cast<int32_t>(in.Byte() % 6) - 1};
        instance->SetAttribute(in.Pick(kTexts), &entry, text.Value());
        break;
      }
      case 2: {
        static constexpr uint32_t kIds[] = {tavin::kPrintIdDefault, 0, 1};
        stand_in::Printer().dialog =
            in.Bool() ? stand_in::DialogAnswer::kOk : stand_in::DialogAnswer::kCancel;
        std::vector<uint8_t> message = fuzzing::MessageRecord(
            objects[in.Byte() & 1], in.Bool() ? in.Pick(kIds) : in.U32(), in.Bool() ? 0 : in.U32());
        instance->HandleMessage(message.data());
        break;
      }
      case 3: {
        refhost::HostEditor& editor = host->NewEditor();
        instance->ToEditor(editor, in.Bool() ? 0 : static_cast<int16_t>(in.U16()));
        for (int n = in.Byte() % 4; n > 0; --n) {
          static constexpr int16_t kItems[] = {tavin::kPrintIdItem,      tavin::kFilePathItem,
                                               tavin::kScaleToPageItem,  tavin::kKeepProportionItem,
                                               tavin::kReservedFlagItem, 0};
          editor.SetItem(in.Pick(kItems), fuzzing::AnyHostValue(in, *host, objects));
        }
        instance->FromEditor(editor);
        stand_in::FileDialog().answer =
            in.Bool() ? stand_in::DialogAnswer::kOk : stand_in::DialogAnswer::kCancel;
        stand_in::FileDialog().path = in.Text(in.Length(300));
        instance->EditorItemChanged(
            editor, in.Bool() ? tavin::kBrowseItem : static_cast<int16_t>(in.U16()));
        break;
      }
      case 4: {
        refhost::HostStream& stream = fuzzing::AnyStoredForm(in, *host, instances, objects, 8, 64);
        instance->Load(stream, static_cast<int16_t>(in.Bool() ? 0 : in.U16()));
        break;
      }
      default:
        fuzzing::LifeStep(in, *host, instances, instance, objects);
    }
  }
  fuzzing::Finish(std::move(host));
  if (stand_in::LiveHandles().Total() != 0 || !stand_in::Faults().empty()) {
    std::fprintf(stderr, "system handles:\n%s\n", stand_in::Report().c_str());
    std::abort();
  }
  return 0;
}
