#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "support/abi.h"

namespace fuzzing {

uint16_t Input::U16() {
  uint16_t v = Byte();
  return static_cast<uint16_t>(v | (Byte() << 8));
}

uint32_t Input::U32() {
  uint32_t v = U16();
  return v | (uint32_t{U16()} << 16);
}

uint32_t Input::Length(uint32_t max) {
  // The plug-ins' own boundaries: the 256-byte path buffer, the 8-byte editor check, the 17-byte
  // class-name buffer and the 16-bit signed length of text copies.
  static constexpr uint32_t kEdges[] = {0,    1,     2,     3,     7,     8,     9,     15,   16,
                                        17,   18,    254,   255,   256,   257,   511,   512,  4095,
                                        4096, 32765, 32766, 32767, 32768, 32769, 65535, 65536};
  uint32_t length;
  switch (Byte() % 4) {
    case 0:
      length = kEdges[Below(std::size(kEdges))];
      break;
    case 1:
      length = U16();
      break;
    default:
      length = Byte() % 40;
  }
  return length < max ? length : max;
}

std::string Input::Text(uint32_t length) {
  std::string text;
  text.reserve(length);
  // A long text repeats a short pattern of the input: boundaries matter, not every byte.
  const uint32_t patternLength = 1 + Below(8);
  std::string pattern;
  for (uint32_t i = 0; i < patternLength; ++i) {
    char c = static_cast<char>(Byte());
    pattern.push_back(c == '\0' ? '/' : c);
  }
  for (uint32_t i = 0; i < length; ++i) {
    if (i < 24 && !Empty()) {
      char c = static_cast<char>(Byte());
      text.push_back(c == '\0' ? '/' : c);
    } else {
      text.push_back(pattern[i % patternLength]);
    }
  }
  return text;
}

std::vector<uint8_t> Input::Bytes(uint32_t length) {
  std::vector<uint8_t> bytes;
  bytes.reserve(length);
  for (uint32_t i = 0; i < length && !Empty(); ++i) bytes.push_back(Byte());
  return bytes;
}

std::unique_ptr<refhost::Host> NewHost() {
  auto host = std::make_unique<refhost::Host>();
  for (const char* path : {TAVIN_PATH, OSTREL_PATH}) {
    const refhost::LoadResult result = host->Load(path);
    if (!result.ok) {
      std::fprintf(stderr, "cannot load %s: %s\n", path, result.Summary().c_str());
      std::abort();
    }
  }
  return host;
}

void Finish(std::unique_ptr<refhost::Host> host) {
  host->DestroyAll();
  if (!host->DestroyedWhileRunning().empty()) {
    std::fprintf(stderr, "%s was destroyed with its periodic calls running\n",
                 host->DestroyedWhileRunning().front().c_str());
    std::abort();
  }
  const refhost::Ownership& ownership = host->Ownership();
  if (!ownership.Faults().empty() || !ownership.Leaks().empty()) {
    std::fprintf(stderr, "ownership check failed:\n%s\n", ownership.Report().c_str());
    std::abort();
  }
}

void Fail(const char* what, const refhost::Instance* instance) {
  std::fprintf(stderr, "%s: %s\n", instance != nullptr ? instance->Label().c_str() : "harness",
               what);
  std::abort();
}

Exact::Exact(const void* record, size_t size)
    : bytes_(static_cast<const uint8_t*>(record), static_cast<const uint8_t*>(record) + size) {}

HeldText::HeldText(std::string text, uint16_t tag, uint32_t spare) {
  storage_.assign(text.begin(), text.end());
  storage_.resize(text.size() + 1 + spare, '\0');
  const TextValue value{tag, 0x7E57, static_cast<uint32_t>(storage_.size()),
                        static_cast<uint32_t>(text.size()), storage_.data()};
  value_ = Exact(value);
}

uint16_t Out::Tag() const {
  uint16_t tag;
  std::memcpy(&tag, bytes, 2);
  return tag;
}

void FreeReceivedText(refhost::Host& host, void* textValue, const char* ours) {
  TextValue v;
  std::memcpy(&v, textValue, sizeof v);
  if (v.tag != tag::kText && v.tag != tag::kTextSecond) return;
  if (v.chars == nullptr || v.chars == ours) return;
  void* strings = host.ServiceObject(abi::service::kString);
  auto* header =
      reinterpret_cast<abi::HostObjectHeader*>(static_cast<uint8_t*>(strings) - abi::kHeaderSize);
  const abi::MethodEntry& entry = header->classRecord->rowTables[1][abi::method::kFreeString];
  const int16_t k = static_cast<int16_t>(entry.flags & 0xFFFF);
  const uint32_t self = header->baseValue + static_cast<uint32_t>(header->classRecord->offsets[k]);
  reinterpret_cast<abi::Result (*)(uint32_t, char*)>(entry.function)(self, v.chars);
  v.chars = nullptr;
  v.capacity = v.length = 0;
  std::memcpy(textValue, &v, sizeof v);
}

refhost::HostStream& AnyStoredForm(Input& in, refhost::Host& host,
                                   refhost::Instance* const (&pair)[2],
                                   const std::vector<uint32_t>& objects, uint32_t maxValues,
                                   uint32_t maxBytes) {
  refhost::HostStream& stream = host.NewStream();
  switch (in.Byte() % 3) {
    case 0: {
      refhost::Instance* from = pair[in.Byte() & 1];
      int16_t version = -1;
      uint32_t stored = 0;
      from->StoredSize(stream, &version, &stored);
      from->Save(stream);
      if (stream.Bytes().size() != stored) Fail("StoredSize differs from what Save wrote", from);
      break;
    }
    case 1:
      for (uint32_t n = in.Below(maxValues + 1); n > 0; --n) {
        stream.Write(AnyHostValue(in, host, objects));
      }
      break;
    default:
      stream.SetBytes(in.Bytes(in.Below(maxBytes + 1)));
  }
  return stream;
}

void ReplaceWithCopy(Input& in, refhost::Host& host, refhost::Instance* const (&pair)[2],
                     refhost::Instance*& instance, const std::vector<uint32_t>& objects) {
  refhost::Instance* copy =
      host.CopyConstruct(*pair[in.Byte() & 1], objects[in.Below(objects.size())]);
  if (copy == nullptr) Fail("the host could not copy an instance", pair[0]);
  host.Destroy(instance);
  instance = copy;
}

refhost::Value AnyHostValue(Input& in, refhost::Host& host, const std::vector<uint32_t>& objects) {
  const uint32_t object = objects.empty() ? 0 : objects[in.Below(objects.size())];
  switch (in.Byte() % 14) {
    case 0:
      return refhost::Value{};
    case 1:
      return refhost::Value::Integer(in.I32());
    case 2: {
      double d;
      const uint64_t bits = uint64_t{in.U32()} | (uint64_t{in.U32()} << 32);
      std::memcpy(&d, &bits, sizeof d);
      return refhost::Value::Real(d);
    }
    case 3:
      return refhost::Value::Flag(in.Bool());
    case 4:
      return refhost::Value::MessageId(in.U32(), in.Bool() ? 0 : in.U32());
    case 5:
    case 6:
      return refhost::Value::Text(in.Text(in.Length(40000)),
                                  in.Bool() ? tag::kText : tag::kTextSecond);
    case 7:
      return refhost::Value::Text(host.PathOf(object) + in.Text(in.Byte() % 8));
    case 8:
      return refhost::Value::Reference(in.Bool() ? object : in.U32());
    case 9: {
      const RangeValue range{tag::kRange, in.I32(), in.I32()};
      return refhost::Value::Raw(&range, sizeof range);
    }
    case 10: {
      const ChoiceValue choice{tag::kChoice, in.U32(), in.U32()};
      return refhost::Value::Raw(&choice, sizeof choice);
    }
    case 11: {
      std::vector<uint32_t> entries;
      for (uint32_t n = in.Byte() % 6; n > 0; --n) entries.push_back(in.U32());
      return refhost::Value::Path(entries);
    }
    case 12: {
      const refhost::TargetDesignationValue target = host.MakeTarget(object);
      return refhost::Value::Raw(&target, sizeof target);
    }
    default: {
      // A record of a fixed-size tag the classes may not expect (point, duration, rectangle...).
      static constexpr uint16_t kTags[] = {9, 10, 13, 16, 20, 100, 104, 107, 112};
      const uint16_t t = in.Pick(kTags);
      std::vector<uint8_t> raw = in.Bytes(refhost::FixedSizeOf(t));
      raw.resize(refhost::FixedSizeOf(t), 0);
      std::memcpy(raw.data(), &t, 2);
      return refhost::Value::Raw(raw.data(), static_cast<uint32_t>(raw.size()));
    }
  }
}

void* AnyIndex(Input& in, Exact& holder) {
  switch (in.Byte() % 4) {
    case 0:
      return nullptr;
    case 1: {
      static constexpr uint8_t kSelectors[] = {0x80, 0x40, 0x20, 0x00, 0x10, 0xC0, 0xFF};
      const uint32_t element = in.Bool() ? 1 : in.U32() & 0xFFFFFF;
      const IntegerValue index{
          tag::kInteger, static_cast<int32_t>((uint32_t{in.Pick(kSelectors)} << 24) | element)};
      holder = Exact(index);
      return holder.Get();
    }
    case 2: {
      const IntegerValue index{tag::kInteger, in.I32()};
      holder = Exact(index);
      return holder.Get();
    }
    default: {
      // Another tag, exactly as long as that tag's value.
      static constexpr uint16_t kTags[] = {0, 20, 10, 23, 11, 15, 106};
      const uint16_t t = in.Pick(kTags);
      std::vector<uint8_t> raw = in.Bytes(refhost::FixedSizeOf(t));
      raw.resize(refhost::FixedSizeOf(t) < 2 ? 2 : refhost::FixedSizeOf(t), 0);
      std::memcpy(raw.data(), &t, 2);
      holder = Exact(raw.data(), raw.size());
      return holder.Get();
    }
  }
}

void LifeStep(Input& in, refhost::Host& host, refhost::Instance* const (&pair)[2],
              refhost::Instance*& instance, const std::vector<uint32_t>& objects) {
  switch (in.Byte() % 5) {
    case 0:
      instance->Assign(*pair[in.Byte() & 1]);
      break;
    case 1:
      ReplaceWithCopy(in, host, pair, instance, objects);
      break;
    case 2:
      instance->Enable();
      break;
    case 3:
      instance->Disable();
      break;
    default:
      instance->VisitMessageIds(in.U32(), in.U32());
  }
}

std::vector<uint8_t> MessageRecord(uint32_t object, uint32_t id, uint32_t second) {
  abi::MessageRecord record{};
  record.object = object;
  record.id = id;
  record.second = second;
  std::vector<uint8_t> bytes(sizeof record);
  std::memcpy(bytes.data(), &record, sizeof record);
  return bytes;
}

}  // namespace fuzzing
