// Loading from damaged stored bytes: every class reads a stream of arbitrary bytes with any
// version, as it would from a damaged title file, and must then still save, edit and go away
// cleanly.
#include <cstdint>
#include <vector>

#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::Input in(data, size);
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  static constexpr const char* kClasses[] = {"Quit",    "MediaCue", "ObjRefP", "CursorMod",
                                             "panning", "ListMod",  "Vellomar"};
  const char* className = in.Pick(kClasses);
  static constexpr int16_t kVersions[] = {0, 1, 0, 1, 2, -1, 3};
  const int16_t version = in.Pick(kVersions);
  const uint32_t base = host->AddObject(0, "s");
  const uint32_t owner = host->AddObject(base, "o", "movie");
  // What a panning owner has: its pan, place, size and scene.
  host->SetObjectValue(owner, "pan", refhost::Value::Integer(0));
  host->SetObjectValue(owner, "position", refhost::Value::Point(10, 10));
  host->SetObjectValue(owner, "size", refhost::Value::Point(20, 20));
  host->SetObjectValue(owner, "scene", refhost::Value::Reference(base));
  host->SetObjectValue(base, "size", refhost::Value::Point(640, 480));
  refhost::Instance* instance = host->Create(className, owner, owner);
  if (instance == nullptr) __builtin_trap();

  refhost::HostStream& stream = host->NewStream();
  stream.SetBytes(in.Bytes(static_cast<uint32_t>(in.Left())));
  if (instance->Load(stream, version) == 0) {
    // What was read must behave as a value: saved again at the size promised, and shown in the
    // editor.
    refhost::HostStream& again = host->NewStream();
    int16_t savedVersion = -1;
    uint32_t stored = 0;
    if (instance->StoredSize(again, &savedVersion, &stored) == 0 && instance->Save(again) == 0 &&
        again.Bytes().size() != stored) {
      __builtin_trap();
    }
    refhost::HostEditor& editor = host->NewEditor();
    instance->ToEditor(editor);
    refhost::Instance* copy = host->CopyConstruct(*instance, owner, owner);
    if (copy == nullptr) __builtin_trap();
    instance->Enable();
    host->SendMessage(owner, 2001, 0);
    host->Advance(50);
    host->SetPosition(owner, 10);
  }
  fuzzing::Finish(std::move(host));
  return 0;
}
