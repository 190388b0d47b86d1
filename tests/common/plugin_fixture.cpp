#include "tests/common/plugin_fixture.h"

#include <cstdlib>
#include <cstring>

#include "win32/stand_in.h"

namespace testing_support {

TestText::TestText(std::string text, uint16_t t) : storage_(std::move(text)) {
  value_.tag = t;
  value_.owner = 0x7E57;  // the test's: no plug-in instance lives at this address
  value_.capacity = static_cast<uint32_t>(storage_.size()) + 1;
  value_.length = static_cast<uint32_t>(storage_.size());
  value_.chars = storage_.data();
}

TextBuffer::TextBuffer(uint32_t capacity) : storage_(new char[capacity == 0 ? 1 : capacity]()) {
  value_.tag = tag::kText;
  value_.owner = 0x7E57;
  value_.capacity = capacity;
  value_.length = 0;
  value_.chars = capacity == 0 ? nullptr : storage_.get();
}

std::string TextBuffer::Text() const {
  return TextOf(&value_);
}

IntegerValue Integer(int32_t value) {
  return IntegerValue{tag::kInteger, value};
}
MessageIdValue MessageId(uint32_t id, uint32_t second) {
  return MessageIdValue{tag::kMessageId, id, second};
}
FlagValue Flag(bool value) {
  return FlagValue{tag::kFlag, static_cast<uint16_t>(value ? 1 : 0)};
}
RealValue Real(double value) {
  return RealValue{tag::kReal, value};
}
ReferenceValue Reference(uint32_t object, IdentityValue* identity) {
  return ReferenceValue{tag::kReference, nullptr, nullptr, object, identity};
}
TaggedValue Unassigned() {
  return TaggedValue{tag::kUnassigned};
}
IntegerValue EventsIndex(uint8_t selector, uint32_t element) {
  return Integer(static_cast<int32_t>((uint32_t{selector} << 24) | (element & 0xFFFFFF)));
}

std::string TextOf(const void* textValue) {
  TextValue v;
  std::memcpy(&v, textValue, sizeof v);
  if (v.chars == nullptr) return "";
  return std::string(v.chars);
}

}  // namespace testing_support

std::string PluginPath(const char* library) {
  const char* form = std::getenv("PLUG_FORM");
  if (form != nullptr && std::strcmp(form, "dll") == 0) {
#ifdef DLL_DIR
    return std::string(DLL_DIR) + "/" + library + ".dll";
#else
    ADD_FAILURE() << "PLUG_FORM=dll, but this build made no DLLs";
#endif
  }
  const std::string name = library;
  if (name == "TAVIN") return TAVIN_PATH;
#ifdef OSTREL_PATH
  if (name == "ostrel") return OSTREL_PATH;
#endif
  return "";
}

void PluginTest::SetUp() {
  stand_in::Reset();
  host_ = std::make_unique<refhost::Host>();
  tavin_ = host_->Load(PluginPath("TAVIN"));
  ASSERT_TRUE(tavin_.error.empty()) << tavin_.Summary();
#ifdef OSTREL_PATH
  ostrel_ = host_->Load(PluginPath("ostrel"));
  ASSERT_TRUE(ostrel_.error.empty()) << ostrel_.Summary();
#endif
}

void PluginTest::TearDown() {
  if (!host_) return;
  EXPECT_EQ(host_->StopReason(), "");
  host_->DestroyAll();
  const refhost::Ownership& ownership = host_->Ownership();
  EXPECT_TRUE(ownership.Faults().empty()) << ownership.Report();
  EXPECT_TRUE(ownership.Leaks().empty()) << ownership.Report();
  host_.reset();
  // Nothing a plug-in took from the system may outlive the test either.
  EXPECT_EQ(stand_in::LiveHandles().Total(), 0) << stand_in::Report();
  EXPECT_TRUE(stand_in::Faults().empty()) << stand_in::Report();
}

void PluginTest::FreeHandedText(void* textValue) {
  void* services = host_->ServiceObject(abi::service::kString);
  TextValue v;
  std::memcpy(&v, textValue, sizeof v);
  if (v.chars != nullptr) CallHostMethod(services, 1, abi::method::kFreeString, v.chars);
  v.chars = nullptr;
  v.capacity = v.length = 0;
  std::memcpy(textValue, &v, sizeof v);
}
