// Conversion of values to a preset tag, and the two host objects built on it: the in-memory
// stream and the editor.
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/impl.h"

namespace refhost {
namespace {

bool IsNumber(uint16_t t) {
  return t == tag::kInteger || t == tag::kReal || t == tag::kFlag;
}

// "Any" presets: the destination takes the value with its own tag.
bool TakesAnyTag(uint16_t t) {
  return t == tag::kEmpty || t == tag::kUnassigned || t == hosttag::kCueRequest ||
         t == hosttag::kRangeRequest;
}

std::string Trim(const std::string& text) {
  size_t b = 0, e = text.size();
  while (b < e && std::isspace(static_cast<unsigned char>(text[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(text[e - 1]))) --e;
  return text.substr(b, e - b);
}

bool ParseReal(const std::string& text, double* out) {
  std::string t = Trim(text);
  if (t.empty()) return false;
  char* end = nullptr;
  double d = std::strtod(t.c_str(), &end);
  if (end == nullptr || *end != '\0' || !std::isfinite(d)) return false;
  *out = d;
  return true;
}

// The numeric content of a number or a numeric text.
bool AsReal(const Value& v, double* out) {
  switch (v.tag) {
    case tag::kInteger:
      *out = v.AsInteger();
      return true;
    case tag::kReal: {
      double d;
      std::memcpy(&d, v.raw.data() + 2, 8);
      *out = d;
      return true;
    }
    case tag::kFlag: {
      uint16_t f;
      std::memcpy(&f, v.raw.data() + 2, 2);
      *out = f != 0 ? 1 : 0;
      return true;
    }
    case tag::kText:
    case tag::kTextSecond: {
      std::string t = Trim(v.text);
      for (char& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (t == "true") return *out = 1, true;
      if (t == "false") return *out = 0, true;
      return ParseReal(v.text, out);
    }
    default:
      return false;
  }
}

// Reals become integers rounded to the nearest, halves away from zero.
bool ToInteger(double d, int32_t* out) {
  double r = std::round(d);
  // Written so that NaN, which compares false with everything, is refused too.
  if (!(r >= -2147483648.0 && r <= 2147483647.0)) return false;
  *out = static_cast<int32_t>(r);
  return true;
}

std::vector<uint32_t> PathTextEntries(Host::Impl& impl, const std::string& text, bool* ok) {
  std::vector<uint32_t> entries;
  *ok = false;
  if (text.size() < 2 || text[0] != '/' || text.back() == '/') return entries;
  size_t at = 1;
  while (at <= text.size()) {
    size_t end = text.find('/', at);
    if (end == std::string::npos) end = text.size();
    if (end == at) return {};
    entries.push_back(impl.Atom(text.substr(at, end - at)));
    at = end + 1;
  }
  *ok = true;
  return entries;
}

}  // namespace

// Writes text into a text record: into its buffer when it has one (at most capacity - 1
// characters), else into a new tracked buffer owned by `owner`.
static uint16_t WriteText(Host& host, void* destination, const std::string& text, uint32_t owner,
                          uint16_t t) {
  TextValue v;
  std::memcpy(&v, destination, sizeof v);
  if (v.chars != nullptr && v.capacity != 0) {
    uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(text.size()), v.capacity - 1);
    std::memcpy(v.chars, text.data(), n);
    v.chars[n] = '\0';
    v.length = n;
    v.tag = t;
    std::memcpy(destination, &v, sizeof v);
    return 0;
  }
  char* buffer = host.AllocTrackedString(static_cast<uint32_t>(text.size()) + 1);
  if (buffer == nullptr) return 1;
  std::memcpy(buffer, text.c_str(), text.size() + 1);
  v = TextValue{t, owner, static_cast<uint32_t>(text.size()) + 1,
                static_cast<uint32_t>(text.size()), buffer};
  std::memcpy(destination, &v, sizeof v);
  return 0;
}

static void WriteReference(Host& host, void* destination, uint32_t object, const Value* source) {
  // A destination still in some chain leaves it first: its object changes.
  host.impl().Unchain(static_cast<ReferenceValue*>(destination));
  ReferenceValue r;
  std::memcpy(&r, destination, sizeof r);
  r.tag = tag::kReference;
  r.previous = nullptr;
  r.next = nullptr;
  r.object = object;
  if (r.identity != nullptr) {
    IdentityValue identity{};
    if (host.Exists(object)) {
      identity = host.IdentityOf(object);
    } else if (source != nullptr && source->hasIdentity) {
      identity = source->identity;
    }
    std::memcpy(reinterpret_cast<uint8_t*>(r.identity) + 2,
                reinterpret_cast<uint8_t*>(&identity) + 2, sizeof(IdentityValue) - 2);
  }
  std::memcpy(destination, &r, sizeof r);
}

static uint16_t WritePath(Host& host, void* destination, const std::vector<uint32_t>& entries) {
  ObjectPathValue p;
  std::memcpy(&p, destination, sizeof p);
  if (entries.size() > 0xFFFF) return 1;
  uint16_t n = static_cast<uint16_t>(entries.size());
  if (p.entries != nullptr) {
    // The preset count is the room the array has.
    if (n > p.count) return 1;
  } else if (n != 0) {
    p.entries = static_cast<uint32_t*>(host.AllocTrackedMemory(4u * n));
    if (p.entries == nullptr) return 1;
  }
  if (n != 0) std::memcpy(p.entries, entries.data(), 4u * n);
  p.tag = tag::kObjectPath;
  p.count = n;
  std::memcpy(destination, &p, sizeof p);
  return 0;
}

uint16_t Host::StoreInto(const Value& v, void* destination, uint32_t owner) {
  if (destination == nullptr) return 1;
  uint16_t preset;
  std::memcpy(&preset, destination, 2);
  uint16_t t = TakesAnyTag(preset) ? v.tag : preset;
  if (TakesAnyTag(preset) && IsText(t)) {
    // No buffer to fill: start from an empty text record.
    TextValue empty{t, owner, 0, 0, nullptr};
    std::memcpy(destination, &empty, sizeof empty);
  }

  if (IsText(t)) {
    std::string text;
    double d;
    if (IsText(v.tag)) {
      text = v.text;
    } else if (v.tag == tag::kInteger) {
      text = std::to_string(v.AsInteger());
    } else if (IsNumber(v.tag) && AsReal(v, &d)) {
      text = v.Describe();
    } else if (v.tag == tag::kReference) {
      if (!Exists(v.object)) return 1;
      text = PathOf(v.object);
    } else if (v.tag == tag::kObjectPath) {
      uint32_t object = impl_->ResolveEntries(v.entries);
      if (object == 0) return 1;
      text = PathOf(object);
    } else {
      return 1;
    }
    return WriteText(*this, destination, text, owner, t);
  }
  if (t == tag::kInteger || t == tag::kReal || t == tag::kFlag) {
    double d;
    if (!AsReal(v, &d)) return 1;
    if (t == tag::kInteger) {
      if (v.tag == tag::kInteger) {
        std::memcpy(destination, v.raw.data(), 6);
        return 0;
      }
      int32_t i;
      if (!ToInteger(d, &i)) return 1;
      IntegerValue r{tag::kInteger, i};
      std::memcpy(destination, &r, sizeof r);
    } else if (t == tag::kReal) {
      RealValue r{tag::kReal, d};
      std::memcpy(destination, &r, sizeof r);
    } else {
      FlagValue r{tag::kFlag, static_cast<uint16_t>(d != 0 ? 1 : 0)};
      std::memcpy(destination, &r, sizeof r);
    }
    return 0;
  }
  if (t == tag::kReference) {
    uint32_t object = 0;
    if (v.tag == tag::kReference) {
      object = v.object;
    } else if (v.tag == tag::kObjectPath) {
      object = impl_->ResolveEntries(v.entries);
    } else if (IsText(v.tag)) {
      object = Resolve(v.text);
    } else if (v.tag == hosttag::kTargetDesignation) {
      object = impl_->ResolveDesignation(v.raw.data(), nullptr);
    } else {
      return 1;
    }
    WriteReference(*this, destination, object, v.tag == tag::kReference ? &v : nullptr);
    return 0;
  }
  if (t == tag::kObjectPath) {
    if (v.tag == tag::kObjectPath) return WritePath(*this, destination, v.entries);
    if (v.tag == tag::kReference) {
      std::vector<uint32_t> entries;
      if (Exists(v.object)) entries = impl_->PathEntries(v.object);
      return WritePath(*this, destination, entries);
    }
    if (IsText(v.tag)) {
      bool ok;
      std::vector<uint32_t> entries = PathTextEntries(*impl_, v.text, &ok);
      return ok ? WritePath(*this, destination, entries) : 1;
    }
    return 1;
  }
  if (t == tag::kByteBlock) {
    if (v.tag != tag::kByteBlock) return 1;
    BlockValue b;
    std::memcpy(&b, destination, sizeof b);
    uint32_t n = static_cast<uint32_t>(v.bytes.size());
    if (b.bytes != nullptr && b.capacity != 0) {
      n = std::min(n, b.capacity);
    } else {
      b = BlockValue{tag::kByteBlock, owner, n, n, nullptr};
      if (n != 0) {
        b.bytes = static_cast<uint8_t*>(AllocTrackedMemory(n));
        if (b.bytes == nullptr) return 1;
      }
    }
    if (n != 0) std::memcpy(b.bytes, v.bytes.data(), n);
    b.tag = tag::kByteBlock;
    b.length = n;
    std::memcpy(destination, &b, sizeof b);
    return 0;
  }
  if (t == hosttag::kTargetDesignation) {
    uint32_t object = 0;
    if (v.tag == hosttag::kTargetDesignation) {
      std::memcpy(destination, v.raw.data(), v.raw.size());
      return 0;
    }
    // No target chosen: the designation slot reads as empty.
    if (v.tag == tag::kEmpty) {
      std::memcpy(destination, &v.tag, sizeof v.tag);
      return 0;
    }
    if (v.tag == tag::kReference) {
      object = v.object;
    } else if (v.tag == tag::kObjectPath) {
      object = impl_->ResolveEntries(v.entries);
    } else if (IsText(v.tag)) {
      object = Resolve(v.text);
    } else {
      return 1;
    }
    if (!Exists(object)) return 1;
    TargetDesignationValue target = MakeTarget(object);
    std::memcpy(destination, &target, sizeof target);
    return 0;
  }
  // Any other tag: only the same tag copies.
  if (v.tag != t || FixedSizeOf(t) == 0) return 1;
  std::memcpy(destination, v.raw.data(), v.raw.size());
  return 0;
}

uint16_t Host::Convert(const void* source, void* destination, uint32_t owner) {
  Value v;
  if (!Value::FromRecord(source, &v)) return 1;
  return StoreInto(v, destination, owner);
}

// ---------------------------------------------------------------------------------------------
// Streams. Stored form: a fixed-size value as its bytes; a text as tag, length, 4 zero bytes,
// the characters and a NUL; a block as tag, length, 4 zero bytes and the bytes; an object path
// as tag, count, 4 zero bytes and the entries; a reference as tag, object, 4 zero bytes and
// the object's identity record (so it finds its object again after a reload).

HostStream::HostStream(Host* host) : host_(host) {
  auto* block = static_cast<ServiceBlock*>(std::calloc(1, sizeof(ServiceBlock)));
  block->header.baseValue = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
  block->header.classRecord = &host->impl().streamRecord;
  block_ = block;
  object_ = block->body;
}

HostStream::~HostStream() {
  std::free(block_);
}

uint32_t HostStream::StoredSize(const Value& v) const {
  if (uint32_t size = FixedSizeOf(v.tag); size != 0) return size;
  if (IsText(v.tag)) return 10 + static_cast<uint32_t>(v.text.size()) + 1;
  if (v.tag == tag::kByteBlock) return 10 + static_cast<uint32_t>(v.bytes.size());
  if (v.tag == tag::kObjectPath) return 10 + 4 * static_cast<uint32_t>(v.entries.size());
  if (v.tag == tag::kReference) return 10 + sizeof(IdentityValue);
  return 0;
}

namespace {
void Put(std::vector<uint8_t>& out, const void* data, size_t size) {
  auto* bytes = static_cast<const uint8_t*>(data);
  out.insert(out.end(), bytes, bytes + size);
}
void PutHead(std::vector<uint8_t>& out, uint16_t t, uint32_t word) {
  uint32_t zero = 0;
  Put(out, &t, 2);
  Put(out, &word, 4);
  Put(out, &zero, 4);
}
}  // namespace

bool HostStream::Write(const Value& v) {
  if (StoredSize(v) == 0) return false;
  if (FixedSizeOf(v.tag) != 0) {
    Put(bytes_, v.raw.data(), v.raw.size());
  } else if (IsText(v.tag)) {
    PutHead(bytes_, v.tag, static_cast<uint32_t>(v.text.size()));
    Put(bytes_, v.text.c_str(), v.text.size() + 1);
  } else if (v.tag == tag::kByteBlock) {
    PutHead(bytes_, v.tag, static_cast<uint32_t>(v.bytes.size()));
    Put(bytes_, v.bytes.data(), v.bytes.size());
  } else if (v.tag == tag::kObjectPath) {
    PutHead(bytes_, v.tag, static_cast<uint32_t>(v.entries.size()));
    Put(bytes_, v.entries.data(), 4 * v.entries.size());
  } else {
    IdentityValue identity{};
    identity.tag = tag::kIdentity;
    if (host_->Exists(v.object)) {
      identity = host_->IdentityOf(v.object);
    } else if (v.hasIdentity) {
      identity = v.identity;
    }
    PutHead(bytes_, v.tag, v.object);
    Put(bytes_, &identity, sizeof identity);
  }
  return true;
}

bool HostStream::Read(Value* out) {
  size_t left = bytes_.size() - readPosition_;
  const uint8_t* at = bytes_.data() + readPosition_;
  if (left < 2) return false;
  uint16_t t;
  std::memcpy(&t, at, 2);
  Value v;
  v.tag = t;
  size_t used = 0;
  if (uint32_t size = FixedSizeOf(t); size != 0) {
    if (left < size) return false;
    v.raw.assign(at, at + size);
    used = size;
  } else {
    if (left < 10) return false;
    uint32_t word;
    std::memcpy(&word, at + 2, 4);
    if (IsText(t)) {
      if (left - 10 < uint64_t{word} + 1) return false;
      v.text.assign(reinterpret_cast<const char*>(at + 10), word);
      used = 10 + word + 1;
    } else if (t == tag::kByteBlock) {
      if (left - 10 < word) return false;
      v.bytes.assign(at + 10, at + 10 + word);
      used = 10 + word;
    } else if (t == tag::kObjectPath) {
      if ((left - 10) / 4 < word) return false;
      v.entries.resize(word);
      if (word != 0) std::memcpy(v.entries.data(), at + 10, 4 * size_t{word});
      used = 10 + 4 * size_t{word};
    } else if (t == tag::kReference) {
      if (left < 10 + sizeof(IdentityValue)) return false;
      std::memcpy(&v.identity, at + 10, sizeof(IdentityValue));
      v.hasIdentity = true;
      uint32_t found = host_->impl().FindBySerial(v.identity.word);
      v.object = found != 0 ? found : (host_->Exists(word) ? word : 0);
      used = 10 + sizeof(IdentityValue);
    } else {
      return false;
    }
  }
  readPosition_ += used;
  *out = std::move(v);
  return true;
}

uint16_t HostStream::StoredSizeOf(const void* value, void* out) {
  Value v;
  if (out == nullptr || !Value::FromRecord(value, &v)) return 1;
  uint32_t size = StoredSize(v);
  if (size == 0) return 1;
  std::memcpy(out, &size, 4);
  return 0;
}

uint16_t HostStream::WriteValue(const void* value) {
  Value v;
  if (!Value::FromRecord(value, &v)) return 1;
  return Write(v) ? 0 : 1;
}

uint16_t HostStream::ReadValue(void* value) {
  if (value == nullptr) return 1;
  size_t position = readPosition_;
  Value v;
  if (!Read(&v)) return 1;
  uint16_t status = host_->StoreInto(v, value, host_->impl().CurrentOwnerWord());
  if (status != 0) readPosition_ = position;  // nothing consumed when it could not be stored
  return status;
}

// ---------------------------------------------------------------------------------------------
// Editor.

HostEditor::HostEditor(Host* host) : host_(host) {
  auto* block = static_cast<ServiceBlock*>(std::calloc(1, sizeof(ServiceBlock)));
  block->header.baseValue = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(this));
  block->header.classRecord = &host->impl().editorRecord;
  block_ = block;
  object_ = block->body;
}

HostEditor::~HostEditor() {
  std::free(block_);
}

bool HostEditor::SetItemRecord(int16_t item, const void* record) {
  Value v;
  if (!Value::FromRecord(record, &v)) return false;
  SetItem(item, v);
  return true;
}

const Value* HostEditor::Item(int16_t item) const {
  auto it = items_.find(item);
  return it == items_.end() ? nullptr : &it->second.value;
}

std::string HostEditor::ItemText(int16_t item) const {
  const Value* v = Item(item);
  if (v == nullptr) return "";
  if (v->tag == tag::kReference) return host_->PathOf(v->object);
  return v->Describe();
}

bool HostEditor::Disabled(int16_t item) const {
  auto it = items_.find(item);
  return it != items_.end() && it->second.disabled;
}

uint16_t HostEditor::PutItem(int16_t item, const void* value) {
  Value v;
  if (!Value::FromRecord(value, &v)) return 1;
  ++putCount_;
  items_[item].value = std::move(v);
  return 0;
}

uint16_t HostEditor::GetItem(int16_t item, void* value) {
  if (auto raw = rawAnswers_.find(item); raw != rawAnswers_.end() && value != nullptr) {
    std::memcpy(value, raw->second.data(), raw->second.size());
    return 0;
  }
  const Value* v = Item(item);
  if (v == nullptr || value == nullptr) return 1;
  return host_->StoreInto(*v, value, host_->impl().CurrentOwnerWord());
}

uint16_t HostEditor::DisableItem(int16_t item, int16_t disabled) {
  disableCalls_.emplace_back(item, disabled);
  items_[item].disabled = disabled != 0;
  return 0;
}

uint16_t HostEditor::GetItemInfo(int16_t item, int16_t one, void* info) {
  if (info == nullptr || one != 1) return 1;
  abi::ItemInfo record{};
  record.textLength = static_cast<double>(ItemText(item).size());
  auto reported = reportedLengths_.find(item);
  if (reported != reportedLengths_.end()) record.textLength = reported->second;
  std::memcpy(info, &record, sizeof record);
  return 0;
}

}  // namespace refhost
