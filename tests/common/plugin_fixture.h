// The fixture every plug-in test starts from: a fresh reference host with the built libraries
// loaded, and at the end no instance left alive, no ownership fault and no leak.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "host/host.h"
#include "host/host_method.h"
#include "support/values.h"

namespace testing_support {

// A text value whose characters live in test storage: the plug-in can read it and copy it,
// but its owner word is the test's, so no plug-in ever frees it.
class TestText {
 public:
  explicit TestText(std::string text, uint16_t tag = tag::kText);
  const void* Value() const { return &value_; }
  void* Value() { return &value_; }

 private:
  std::string storage_;
  TextValue value_{};
};

// An empty text value with a buffer of `capacity` bytes in test storage, to receive a text.
class TextBuffer {
 public:
  explicit TextBuffer(uint32_t capacity);
  void* Value() { return &value_; }
  std::string Text() const;  // the characters up to the NUL
  uint32_t Length() const { return value_.length; }

 private:
  std::unique_ptr<char[]> storage_;
  TextValue value_{};
};

IntegerValue Integer(int32_t value);
MessageIdValue MessageId(uint32_t id, uint32_t second = 0);
FlagValue Flag(bool value);
RealValue Real(double value);
ReferenceValue Reference(uint32_t object, IdentityValue* identity = nullptr);
TaggedValue Unassigned();
// The index of list-shaped attributes ("events"): selector in the top byte, element below.
IntegerValue EventsIndex(uint8_t selector, uint32_t element);

// Where the fixture loads `library` ("TAVIN", "ostrel") from: the Linux build, or the Windows
// DLL when the environment says PLUG_FORM=dll, so every suite can run against either build.
std::string PluginPath(const char* library);

// Reads a text value a plug-in filled (any owner).
std::string TextOf(const void* textValue);

}  // namespace testing_support

class PluginTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Frees a text buffer the host handed out (owner -1 or the test's), through the tracker.
  void FreeHandedText(void* textValue);

  std::unique_ptr<refhost::Host> host_;
  refhost::LoadResult tavin_;
  refhost::LoadResult ostrel_;  // not loaded when the build has no ostrel
};

// Calls a host method of a host object through its method table, exactly as a plug-in does.
// For service tests.
using refhost::CallHostMethod;
