#include "host/value.h"

#include <cstdio>
#include <cstring>

namespace refhost {

uint32_t FixedSizeOf(uint16_t tag) {
  switch (tag) {
    case tag::kEmpty:
    case tag::kUnassigned:
    case hosttag::kCueRequest:
    case hosttag::kRangeRequest:
      return 2;
    case tag::kInteger:
    case tag::kPoint:
      return 6;
    case tag::kFlag:
      return 4;
    case tag::kRange:
    case tag::kRectangle:
    case tag::kReal:
    case tag::kMessageId:
    case tag::kChoice:
    case hosttag::kTargetDesignation:
      return 10;
    case tag::kDuration:
      return 14;
    case tag::kTripleReal:
    case tag::kRecord24:
      return 26;
    case tag::kIdentity:
      return 38;
    case tag::kRecord40:
      return 42;
    case hosttag::kListTransfer:
      return 16;
    default:
      return 0;
  }
}

bool IsText(uint16_t tag) {
  return tag == tag::kText || tag == tag::kTextSecond;
}

bool Value::FromRecord(const void* record, Value* out) {
  *out = Value{};
  if (record == nullptr) return false;
  uint16_t t;
  std::memcpy(&t, record, 2);
  if (uint32_t size = FixedSizeOf(t); size != 0) {
    out->tag = t;
    out->raw.assign(static_cast<const uint8_t*>(record),
                    static_cast<const uint8_t*>(record) + size);
    return true;
  }
  if (IsText(t)) {
    TextValue v;
    std::memcpy(&v, record, sizeof v);
    out->tag = t;
    if (v.chars != nullptr) {
      size_t n = v.capacity != 0 ? strnlen(v.chars, v.capacity) : std::strlen(v.chars);
      out->text.assign(v.chars, n);
    }
    return true;
  }
  if (t == tag::kByteBlock) {
    BlockValue v;
    std::memcpy(&v, record, sizeof v);
    if (v.bytes == nullptr && v.length != 0) return false;
    out->tag = t;
    if (v.length != 0) out->bytes.assign(v.bytes, v.bytes + v.length);
    return true;
  }
  if (t == tag::kObjectPath) {
    ObjectPathValue v;
    std::memcpy(&v, record, sizeof v);
    if (v.entries == nullptr && v.count != 0) return false;
    out->tag = t;
    out->entries.resize(v.count);
    if (v.count != 0) std::memcpy(out->entries.data(), v.entries, 4u * v.count);
    return true;
  }
  if (t == tag::kReference) {
    ReferenceValue v;
    std::memcpy(&v, record, sizeof v);
    out->tag = t;
    out->object = v.object;
    if (v.identity != nullptr) {
      out->hasIdentity = true;
      std::memcpy(&out->identity, v.identity, sizeof(IdentityValue));
    }
    return true;
  }
  return false;
}

Value Value::Raw(const void* record, uint32_t size) {
  Value v;
  std::memcpy(&v.tag, record, 2);
  v.raw.assign(static_cast<const uint8_t*>(record), static_cast<const uint8_t*>(record) + size);
  return v;
}

Value Value::Integer(int32_t value) {
  IntegerValue r{tag::kInteger, value};
  return Raw(&r, sizeof r);
}

Value Value::Real(double value) {
  RealValue r{tag::kReal, value};
  return Raw(&r, sizeof r);
}

Value Value::Flag(bool value) {
  FlagValue r{tag::kFlag, static_cast<uint16_t>(value ? 1 : 0)};
  return Raw(&r, sizeof r);
}

Value Value::MessageId(uint32_t id, uint32_t second) {
  MessageIdValue r{tag::kMessageId, id, second};
  return Raw(&r, sizeof r);
}

Value Value::Point(int16_t x, int16_t y) {
  PointValue r{tag::kPoint, x, y};
  return Raw(&r, sizeof r);
}

Value Value::Duration(uint32_t count, uint32_t divisor, uint32_t rate) {
  DurationValue r{tag::kDuration, count, divisor, rate};
  return Raw(&r, sizeof r);
}

Value Value::Text(std::string text, uint16_t t) {
  Value v;
  v.tag = t;
  v.text = std::move(text);
  return v;
}

Value Value::Reference(uint32_t object) {
  Value v;
  v.tag = tag::kReference;
  v.object = object;
  return v;
}

Value Value::Path(std::vector<uint32_t> entries) {
  Value v;
  v.tag = tag::kObjectPath;
  v.entries = std::move(entries);
  return v;
}

bool Value::operator==(const Value& o) const {
  return tag == o.tag && raw == o.raw && text == o.text && bytes == o.bytes &&
         entries == o.entries && object == o.object;
}

int32_t Value::AsInteger() const {
  if (tag != tag::kInteger || raw.size() < 6) return 0;
  int32_t v;
  std::memcpy(&v, raw.data() + 2, 4);
  return v;
}

std::string Value::Describe() const {
  char buffer[96];
  auto word = [this](size_t at) {
    uint32_t w = 0;
    if (raw.size() >= at + 4) std::memcpy(&w, raw.data() + at, 4);
    return w;
  };
  switch (tag) {
    case tag::kEmpty:
      return "";
    case tag::kInteger:
      return std::to_string(AsInteger());
    case tag::kReal: {
      double d;
      std::memcpy(&d, raw.data() + 2, 8);
      std::snprintf(buffer, sizeof buffer, "%.15g", d);
      return buffer;
    }
    case tag::kFlag:
      return word(2) & 0xFFFF ? "1" : "0";
    case tag::kMessageId:
      std::snprintf(buffer, sizeof buffer, "%u,%u", word(2), word(6));
      return buffer;
    case tag::kText:
    case tag::kTextSecond:
      return text;
    case tag::kReference:
      std::snprintf(buffer, sizeof buffer, "reference %#x", object);
      return buffer;
    default:
      std::snprintf(buffer, sizeof buffer, "<tag %u>", tag);
      return buffer;
  }
}

}  // namespace refhost
