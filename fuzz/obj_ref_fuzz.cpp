// ObjRefP under a series of operations: texts of any bytes and lengths, references, reads in
// both forms, "events" with any index, save and load, the editor, Assign, messages, and the
// host taking objects away or replacing them while references are held.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "ostrel/obj_ref.h"

namespace {

using fuzzing::Exact;
using fuzzing::Input;

constexpr int kMaxOperations = 48;
constexpr uint32_t kMaxText = 40000;

struct Rig {
  refhost::Host* host;
  std::vector<uint32_t> objects;  // every handle the tree has had, live or not
  refhost::Instance* instances[2] = {nullptr, nullptr};
  IdentityValue identity{};  // the harness's own identity record for references it passes
};

uint32_t AnyObject(Input& in, const Rig& rig) {
  switch (in.Byte() % 8) {
    case 0:
      return 0;
    case 1:
      return in.U32();
    default:
      return rig.objects[in.Below(rig.objects.size())];
  }
}

refhost::Instance*& AnyInstance(Input& in, Rig& rig) {
  return rig.instances[in.Byte() & 1];
}

void WriteText(Input& in, Rig& rig, refhost::Instance* instance) {
  static constexpr const char* kPrefixes[] = {"/",   "./",  "../",       "../../", "",
                                              "/s/", "./a", "../../../", "\r/",    "/s\r/o"};
  std::string text = in.Pick(kPrefixes);
  text += in.Text(in.Length(kMaxText));
  fuzzing::HeldText value(text, in.Bool() ? tag::kText : tag::kTextSecond, in.Byte() % 4);
  instance->SetAttribute("value", nullptr, value.Value());
  (void)rig;
}

void WriteReference(Input& in, Rig& rig, refhost::Instance* instance) {
  ReferenceValue ref{in.Bool() ? tag::kReference : tag::kUnassigned, nullptr, nullptr,
                     AnyObject(in, rig), nullptr};
  if (in.Bool()) {
    rig.identity.tag = tag::kIdentity;
    rig.identity.word = in.Bool() ? in.U32() : 0;
    ref.identity = &rig.identity;
  }
  Exact value(ref);
  instance->SetAttribute("value", nullptr, value.Get());
  // A reference the host chained must not stay in the chain once the caller's value is gone.
  ReferenceValue after;
  std::memcpy(&after, value.Get(), sizeof after);
  if (after.previous != nullptr || after.next != nullptr) {
    UnlinkReference(static_cast<ReferenceValue*>(value.Get()));
  }
}

void ReadReference(Input& in, Rig& rig, refhost::Instance* instance) {
  fuzzing::Out out(in.Bool() ? tag::kReference : tag::kUnassigned);
  IdentityValue identity{};
  if (in.Bool()) {
    ReferenceValue ref{out.Tag(), nullptr, nullptr, 0, &identity};
    std::memcpy(out.bytes, &ref, sizeof ref);
  }
  instance->GetAttribute("value", nullptr, out.bytes);
  ReferenceValue after;
  std::memcpy(&after, out.bytes, sizeof after);
  if (after.tag == tag::kReference && (after.previous != nullptr || after.next != nullptr)) {
    UnlinkReference(reinterpret_cast<ReferenceValue*>(out.bytes));
  }
  (void)rig;
}

void ReadText(Input& in, Rig& rig, refhost::Instance* instance) {
  const uint16_t textTag = in.Bool() ? tag::kText : tag::kTextSecond;
  const uint32_t capacity = in.Bool() ? 0 : in.Length(kMaxText + 10);
  std::vector<char> buffer(capacity == 0 ? 1 : capacity, '\0');
  const TextValue text{textTag, 0x7E57, capacity, 0, capacity == 0 ? nullptr : buffer.data()};
  fuzzing::Out out(textTag);
  std::memcpy(out.bytes, &text, sizeof text);
  if (instance->GetAttribute("value", nullptr, out.bytes) == 0) {
    TextValue after;
    std::memcpy(&after, out.bytes, sizeof after);
    // What came back must be a well-formed text within its buffer.
    if (after.chars != nullptr && after.capacity != 0 &&
        (after.length >= after.capacity || std::strlen(after.chars) != after.length)) {
      __builtin_trap();
    }
  }
  fuzzing::FreeReceivedText(*rig.host, out.bytes, buffer.data());
}

void Events(Input& in, refhost::Instance* instance) {
  Exact index;
  void* at = fuzzing::AnyIndex(in, index);
  if (in.Bool()) {
    fuzzing::Out out(in.Bool() ? tag::kMessageId : tag::kEmpty);
    instance->GetAttribute("events", at, out.bytes);
  } else {
    static constexpr uint16_t kTags[] = {tag::kMessageId, tag::kInteger, tag::kEmpty, 100, 11};
    const uint16_t t = in.Pick(kTags);
    std::vector<uint8_t> raw = in.Bytes(refhost::FixedSizeOf(t));
    raw.resize(refhost::FixedSizeOf(t), 0);
    std::memcpy(raw.data(), &t, 2);
    Exact value(raw.data(), raw.size());
    instance->SetAttribute("events", at, value.Get());
  }
}

void SaveAndLoad(Input& in, Rig& rig) {
  refhost::Instance* from = AnyInstance(in, rig);
  refhost::Instance* into = AnyInstance(in, rig);
  if (from == nullptr || into == nullptr) return;
  refhost::HostStream& stream = rig.host->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  if (from->StoredSize(stream, &version, &size) != 0) return;
  if (from->Save(stream) != 0) return;
  if (stream.Bytes().size() != size) __builtin_trap();  // StoredSize promised what Save writes
  if (in.Bool()) {
    // A damaged copy of what was saved.
    std::vector<uint8_t> bytes = stream.Bytes();
    for (int n = in.Byte() % 4; n > 0 && !bytes.empty(); --n) {
      bytes[in.Below(static_cast<uint32_t>(bytes.size()))] = in.Byte();
    }
    bytes.resize(in.Bool() ? bytes.size() : in.Below(static_cast<uint32_t>(bytes.size()) + 1));
    stream.SetBytes(std::move(bytes));
  }
  into->Load(stream, in.Bool() ? version : static_cast<int16_t>(in.U16()));
}

void Edit(Input& in, Rig& rig, refhost::Instance* instance) {
  refhost::HostEditor& editor = rig.host->NewEditor();
  instance->ToEditor(editor, in.Bool() ? 0 : static_cast<int16_t>(in.U16()));
  if (in.Bool()) editor.SetItem(7, fuzzing::AnyHostValue(in, *rig.host, rig.objects));
  switch (in.Byte() % 3) {
    case 0:
      editor.SetItemText(4, in.Text(in.Length(kMaxText)));
      break;
    case 1:
      editor.SetItem(4, fuzzing::AnyHostValue(in, *rig.host, rig.objects));
      break;
    default:
      break;  // as ToEditor left it, or missing
  }
  if (in.Bool()) {
    uint8_t ok = 2;
    char message[256] = {};
    instance->ValidateEditorItem(editor, static_cast<int16_t>(in.Bool() ? 4 : in.U16()), &ok,
                                 message);
    if (ok > 1 || std::strlen(message) >= sizeof message) __builtin_trap();
  }
  instance->FromEditor(editor);
}

void Message(Input& in, Rig& rig, refhost::Instance* instance) {
  ostrel::ObjRefRecord record;
  std::memcpy(&record, instance->Record(), sizeof record);
  const bool own = in.Bool();
  const uint32_t id = own ? record.events.id : in.U32();
  const uint32_t second = own && in.Bool() ? record.events.second : in.U32();
  std::vector<uint8_t> message = fuzzing::MessageRecord(AnyObject(in, rig), id, second);
  instance->HandleMessage(message.data());
}

void ChangeTree(Input& in, Rig& rig) {
  const uint32_t object = rig.objects[in.Below(rig.objects.size())];
  switch (in.Byte() % 4) {
    case 0:
      rig.host->RemoveObject(object);
      break;
    case 1:
      if (uint32_t replaced = rig.host->ReplaceObject(object)) rig.objects.push_back(replaced);
      break;
    case 2:
      if (uint32_t restored = rig.host->RestoreObject(object)) rig.objects.push_back(restored);
      break;
    default:
      if (rig.host->Exists(object) && rig.objects.size() < 64) {
        rig.objects.push_back(rig.host->AddObject(object, in.Text(in.Byte() % 6)));
      }
  }
}

// What must hold after every operation: the reference points at the instance's own identity
// record, the text is a well-formed C string inside its buffer, and the state flags are 0 or 1.
void CheckRecord(const refhost::Instance* instance) {
  ostrel::ObjRefRecord r;
  std::memcpy(&r, instance->Record(), sizeof r);
  const auto* self = static_cast<const uint8_t*>(instance->Record());
  const bool identityOwn = reinterpret_cast<const uint8_t*>(r.reference.identity) ==
                           self + offsetof(ostrel::ObjRefRecord, identity);
  const bool textSound =
      r.pathText.chars == nullptr
          ? r.pathText.length == 0
          : r.pathText.capacity != 0 && r.pathText.length < r.pathText.capacity &&
                strnlen(r.pathText.chars, r.pathText.capacity) == r.pathText.length;
  if (!identityOwn) fuzzing::Fail("the reference left its identity record", instance);
  if (!textSound) fuzzing::Fail("the path text is not a C string inside its buffer", instance);
  if (r.bound > 1 || r.pathCurrent > 1) fuzzing::Fail("a state flag is neither 0 nor 1", instance);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in(data, size);
  std::unique_ptr<refhost::Host> host = fuzzing::NewHost();
  Rig rig{host.get(), {}};
  const uint32_t s = host->AddObject(0, "s");
  const uint32_t o = host->AddObject(s, "o");
  rig.objects = {s,
                 o,
                 host->AddObject(o, "a"),
                 host->AddObject(s, "a"),
                 host->AddObject(0, "a"),
                 host->AddObject(s, "y")};
  rig.instances[0] = host->Create("ObjRefP", o, o);
  rig.instances[1] = host->Create("ObjRefP", s, in.Bool() ? s : 0);
  if (rig.instances[0] == nullptr || rig.instances[1] == nullptr) __builtin_trap();

  for (int step = 0; step < kMaxOperations && !in.Empty(); ++step) {
    refhost::Instance*& instance = AnyInstance(in, rig);
    if (instance == nullptr) {
      // Its owner went away with the instance; a new one takes its place.
      instance = host->Create("ObjRefP", o, host->Exists(o) ? o : 0);
      if (instance == nullptr) break;
      continue;
    }
    switch (in.Byte() % 14) {
      case 0:
      case 1:
        WriteText(in, rig, instance);
        break;
      case 2:
        WriteReference(in, rig, instance);
        break;
      case 3:
        ReadReference(in, rig, instance);
        break;
      case 4:
        ReadText(in, rig, instance);
        break;
      case 5:
        Events(in, instance);
        break;
      case 6:
        SaveAndLoad(in, rig);
        break;
      case 7:
        Edit(in, rig, instance);
        break;
      case 8: {
        refhost::Instance* other = AnyInstance(in, rig);
        if (other != nullptr) instance->Assign(*other);
        break;
      }
      case 9:
        Message(in, rig, instance);
        break;
      case 10:
        ChangeTree(in, rig);
        // Instances go with their owners; forget the ones the host destroyed.
        for (refhost::Instance*& each : rig.instances) {
          bool alive = false;
          for (refhost::Instance* live : host->Instances()) alive |= live == each;
          if (!alive) each = nullptr;
        }
        break;
      case 11:
        if (in.Bool()) {
          instance->Enable();
        } else {
          instance->Disable();
        }
        host->SendMessage(AnyObject(in, rig), in.Bool() ? 1 : in.U32(), 0);
        break;
      case 12: {
        refhost::Instance* other = AnyInstance(in, rig);
        if (other != nullptr && other != instance) {
          refhost::Instance* copy = host->CopyConstruct(*other, other->Owner(), AnyObject(in, rig));
          host->Destroy(instance);
          instance = copy;
        }
        break;
      }
      default:
        instance->VisitMessageIds(in.U32(), in.U32());
    }
    for (const refhost::Instance* each : rig.instances) {
      if (each != nullptr) CheckRecord(each);
    }
  }
  fuzzing::Finish(std::move(host));
  return 0;
}
