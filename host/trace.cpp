#include "host/trace.h"

#include <cstdio>
#include <cstring>

#include "host/impl.h"

namespace refhost {

namespace {

std::string TagName(uint16_t t) {
  switch (t) {
    case tag::kEmpty:
      return "empty";
    case tag::kInteger:
      return "integer";
    case tag::kDuration:
      return "duration";
    case tag::kPoint:
      return "point";
    case tag::kRange:
      return "range";
    case tag::kRectangle:
      return "rectangle";
    case tag::kReal:
      return "real";
    case tag::kTripleReal:
      return "triple";
    case tag::kFlag:
      return "flag";
    case tag::kMessageId:
      return "id";
    case tag::kChoice:
      return "choice";
    case tag::kByteBlock:
      return "block";
    case tag::kText:
      return "text";
    case tag::kRecord40:
      return "record40";
    case tag::kReference:
      return "ref";
    case tag::kUnassigned:
      return "unassigned";
    case tag::kRecord24:
      return "record24";
    case tag::kObjectPath:
      return "path";
    case tag::kTextSecond:
      return "text2";
    case tag::kIdentity:
      return "identity";
    case hosttag::kCueRequest:
      return "cue-request";
    case hosttag::kRangeRequest:
      return "range-request";
    case hosttag::kTargetDesignation:
      return "target";
    case hosttag::kListTransfer:
      return "list-transfer";
    default:
      return "tag " + std::to_string(t);
  }
}

std::string Quoted(const char* text, size_t length) {
  std::string out = "\"";
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

template <typename T>
T Read(const void* at, size_t offset) {
  T v;
  std::memcpy(&v, static_cast<const uint8_t*>(at) + offset, sizeof v);
  return v;
}

}  // namespace

std::string HostCall::Call() const {
  if (intoPlugin) return "-> " + caller + "." + method;
  return method + "(" + arguments + ")";
}

std::string HostCall::Line() const {
  std::string line = intoPlugin || caller.empty() ? Call() : caller + ": " + Call();
  return line + " = " + std::to_string(status);
}

TraceArgs& TraceArgs::Add(const std::string& argument) {
  if (!text_.empty()) text_ += ", ";
  text_ += argument;
  return *this;
}

TraceArgs& TraceArgs::Number(int64_t number) {
  return Add(std::to_string(number));
}

TraceArgs& TraceArgs::Id(const void* messageId) {
  if (messageId == nullptr) return Add("null");
  return Add("id(" + std::to_string(Read<uint32_t>(messageId, 2)) + "," +
             std::to_string(Read<uint32_t>(messageId, 6)) + ")");
}

TraceArgs& TraceArgs::Text(const char* text) {
  if (text == nullptr) return Add("null");
  return Add(Quoted(text, std::strlen(text)));
}

TraceArgs& TraceArgs::Name(const char* name16) {
  if (name16 == nullptr) return Add("null");
  return Add(Quoted(name16, strnlen(name16, 16)));
}

TraceArgs& TraceArgs::Value(const void* value) {
  if (value == nullptr) return Add("null");
  uint16_t t = Read<uint16_t>(value, 0);
  switch (t) {
    case tag::kEmpty:
    case tag::kUnassigned:
      return Add(TagName(t));
    case tag::kInteger:
      return Add("integer " + std::to_string(Read<int32_t>(value, 2)));
    case tag::kFlag:
      return Add("flag " + std::to_string(Read<uint16_t>(value, 2)));
    case tag::kMessageId:
      return Id(value);
    case tag::kRange:
    case tag::kChoice:
      return Add(TagName(t) + "(" + std::to_string(Read<int32_t>(value, 2)) + "," +
                 std::to_string(Read<int32_t>(value, 6)) + ")");
    case tag::kReal: {
      char real[48];
      std::snprintf(real, sizeof real, "real %g", Read<double>(value, 2));
      return Add(real);
    }
    case tag::kText:
    case tag::kTextSecond: {
      const char* chars = Read<const char*>(value, 14);
      uint32_t length = Read<uint32_t>(value, 10);
      if (chars == nullptr) return Add(TagName(t) + " none");
      return Add(TagName(t) + " " + Quoted(chars, strnlen(chars, length)));
    }
    case tag::kReference: {
      uint32_t object = Read<uint32_t>(value, 10);
      std::string path = object == 0 ? "none" : host_.PathOf(object);
      return Add("ref(" + (path.empty() ? "#" + std::to_string(object) : path) + ")");
    }
    case hosttag::kTargetDesignation: {
      uint32_t object = Read<uint32_t>(value, 2);
      std::string path = host_.PathOf(object);
      return Add("target(" + (path.empty() ? "#" + std::to_string(object) : path) + ")");
    }
    default:
      return Add(TagName(t));
  }
}

TraceArgs& TraceArgs::Index(const void* value) {
  return value == nullptr ? Add("none") : Value(value);
}

TraceArgs& TraceArgs::Out(const void* value) {
  if (value == nullptr) return Add("null");
  return Add("out " + TagName(Read<uint16_t>(value, 0)));
}

TraceArgs& TraceArgs::Out() {
  return Add("out");
}

TraceArgs& TraceArgs::Object(uint32_t handle) {
  if (handle == 0) return Add("0");
  std::string path = host_.PathOf(handle);
  if (!path.empty()) return Add(path);
  char unknown[24];
  std::snprintf(unknown, sizeof unknown, "#%#x", handle);
  return Add(unknown);
}

TraceArgs& TraceArgs::Instance(const void* record) {
  if (record == nullptr) return Add("null");
  const refhost::Instance* instance = LiveInstance(record);
  return Add(instance != nullptr ? instance->Label() : "unknown instance");
}

TraceArgs& TraceArgs::Buffer(const void* chars) {
  if (chars == nullptr) return Add("null");
  const Allocation* a =
      host_.Ownership().Find(static_cast<uint32_t>(reinterpret_cast<uintptr_t>(chars)));
  if (a == nullptr) return Add("untracked buffer");
  return Add(std::string(a->kind == AllocationKind::kString ? "string" : "block") + " of " +
             std::to_string(a->size) + " bytes");
}

TraceArgs& TraceArgs::TextMax(const char* text, uint32_t max) {
  if (text == nullptr) return Add("null");
  return Add(Quoted(text, strnlen(text, max)));
}

TraceArgs& TraceArgs::Separator(int16_t separator) {
  char c = static_cast<char>(separator & 0xFF);
  return Add(c >= 0x20 && c < 0x7F ? std::string("'") + c + "'" : std::to_string(separator));
}

TraceArgs& TraceArgs::List(uint32_t handle) {
  char list[24];
  std::snprintf(list, sizeof list, "list %#x", handle);
  return Add(list);
}

TraceArgs& TraceArgs::Message(const void* record) {
  if (record == nullptr) return Add("null");
  // The id pair sits at bytes 12 and 16, where a message id value's words sit at 2 and 6.
  return Add("message id(" + std::to_string(Read<uint32_t>(record, 12)) + "," +
             std::to_string(Read<uint32_t>(record, 16)) + ")");
}

TraceArgs& TraceArgs::Word(const char* word) {
  return Add(word);
}

void Tracer::Clear() {
  calls_.clear();
  ++generation_;
}

size_t Tracer::BeginHostCall(std::string method, std::string arguments) {
  HostCall call;
  call.caller = callers_.empty() ? std::string() : callers_.back();
  call.method = std::move(method);
  call.arguments = std::move(arguments);
  call.depth = static_cast<int>(open_.size());
  calls_.push_back(std::move(call));
  open_.push_back(Open{calls_.size() - 1, generation_, false});
  return calls_.size() - 1;
}

size_t Tracer::BeginSlotCall(std::string instance, std::string slot) {
  size_t at = BeginHostCall(std::move(slot), "");
  calls_[at].intoPlugin = true;
  calls_[at].caller = instance;
  callers_.push_back(std::move(instance));
  open_.back().slot = true;
  return at;
}

void Tracer::EnterInstance(std::string instance) {
  callers_.push_back(std::move(instance));
}

void Tracer::LeaveInstance() {
  if (!callers_.empty()) callers_.pop_back();
}

void Tracer::EndCall(size_t at, uint16_t status) {
  if (open_.empty()) return;
  Open open = open_.back();
  open_.pop_back();
  if (open.slot) LeaveInstance();
  if (open.generation == generation_ && open.at == at && at < calls_.size()) {
    calls_[at].status = status;
  }
}

}  // namespace refhost
