// The value operations reach the reference host's string and memory services through the
// captured HostServices record, as a plug-in's do, so every buffer is tracked and checked.
#include "support/values.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/host_calls.h"
#include "support/registration.h"
#include "tests/common/plugin_fixture.h"

namespace {

using testing_support::TestText;
using testing_support::TextBuffer;

constexpr uint32_t kOwner = 0x51510000;
constexpr uint32_t kOtherOwner = 0x51520000;

class Values : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    descriptor_ = host_->MakeDescriptor(1);
    support::CaptureHost(&descriptor_);
  }

  size_t Outstanding() const { return host_->Ownership().Leaks().size(); }

  abi::PluginDescriptor descriptor_{};
};

TextValue EmptyText() {
  TextValue value{};
  value.tag = tag::kText;
  return value;
}

std::string Chars(const TextValue& value) {
  char* chars = value.chars;
  return chars == nullptr ? std::string() : std::string(chars);
}

TEST_F(Values, CopyStringMakesAFreshTextOfTag102) {
  TestText source("hello", tag::kTextSecond);
  TextValue copy = EmptyText();
  CopyStringValue(kOwner, &copy, source.Value());
  EXPECT_EQ(+copy.tag, tag::kText);
  EXPECT_EQ(Chars(copy), "hello");
  EXPECT_EQ(+copy.length, 5u);
  EXPECT_EQ(+copy.capacity, 6u);
  EXPECT_EQ(+copy.owner, kOwner);
  EXPECT_EQ(Outstanding(), 1u);
  ReleaseTaggedValue(kOwner, &copy);
  EXPECT_EQ(Outstanding(), 0u);
}

TEST_F(Values, CopyStringIntoAnExistingBufferKeepsBufferAndOwner) {
  TestText source("abcdefghij");
  TextBuffer buffer(6);
  auto* target = static_cast<TextValue*>(buffer.Value());
  target->owner = kOtherOwner;
  char* const before = target->chars;
  CopyStringValue(kOwner, buffer.Value(), source.Value());
  EXPECT_EQ(buffer.Text(), "abcde");
  EXPECT_EQ(buffer.Length(), 5u);
  EXPECT_EQ(+target->chars, before);
  EXPECT_EQ(+target->owner, kOtherOwner);

  // A one-byte buffer takes no characters at all.
  TextBuffer tiny(1);
  CopyStringValue(kOwner, tiny.Value(), source.Value());
  EXPECT_EQ(tiny.Text(), "");
  EXPECT_EQ(tiny.Length(), 0u);

  // An empty source empties the destination but leaves its buffer where it is.
  TestText empty("");
  CopyStringValue(kOwner, buffer.Value(), empty.Value());
  EXPECT_EQ(buffer.Length(), 0u);
  EXPECT_EQ(buffer.Text(), "");
  EXPECT_EQ(+target->chars, before);
  EXPECT_EQ(+target->capacity, 6u);

  // A source without characters counts as empty whatever its length says.
  CopyStringValue(kOwner, buffer.Value(), source.Value());
  TextValue noChars = EmptyText();
  noChars.length = 7;
  CopyStringValue(kOwner, buffer.Value(), &noChars);
  EXPECT_EQ(buffer.Length(), 0u);
  TextValue fresh = EmptyText();
  CopyStringValue(kOwner, &fresh, &noChars);
  EXPECT_EQ(+fresh.chars, nullptr);
  EXPECT_EQ(Outstanding(), 0u);
}

TEST_F(Values, CopyStringRefusesTextsTooLongForItsCounts) {
  const std::string longest(32766, 'x');
  TestText fits(longest);
  TextValue copy = EmptyText();
  CopyStringValue(kOwner, &copy, fits.Value());
  EXPECT_EQ(+copy.length, 32766u);
  EXPECT_EQ(Chars(copy), longest);
  ReleaseTaggedValue(kOwner, &copy);

  for (size_t size : {size_t{32767}, size_t{40000}, size_t{65537}}) {
    SCOPED_TRACE(size);
    TestText tooLong(std::string(size, 'y'));
    TextValue fresh = EmptyText();
    fresh.chars = nullptr;
    CopyStringValue(kOwner, &fresh, tooLong.Value());
    EXPECT_EQ(+fresh.tag, tag::kText);
    EXPECT_EQ(+fresh.chars, nullptr);
    EXPECT_EQ(+fresh.length, 0u);
    EXPECT_EQ(+fresh.capacity, 0u);

    TextBuffer buffer(8);
    CopyStringValue(kOwner, buffer.Value(), fits.Value());
    ASSERT_EQ(buffer.Length(), 7u);
    CopyStringValue(kOwner, buffer.Value(), tooLong.Value());
    EXPECT_EQ(buffer.Length(), 0u);
    EXPECT_EQ(buffer.Text(), "");
  }
  EXPECT_EQ(Outstanding(), 0u);
}

TEST_F(Values, CopyStringTrustsNoMoreCharactersThanTheLengthClaims) {
  TestText source("abcdefgh");
  static_cast<TextValue*>(source.Value())->length = 3;
  TextValue copy = EmptyText();
  CopyStringValue(kOwner, &copy, source.Value());
  EXPECT_EQ(Chars(copy), "abc");
  EXPECT_EQ(+copy.length, 3u);
  EXPECT_EQ(+copy.capacity, 4u);
  ReleaseTaggedValue(kOwner, &copy);
}

TEST_F(Values, SetStringValue) {
  TextValue text{};
  SetStringValue(kOwner, &text, "quit now");
  EXPECT_EQ(+text.tag, tag::kText);
  EXPECT_EQ(Chars(text), "quit now");
  EXPECT_EQ(+text.length, 8u);
  EXPECT_EQ(+text.capacity, 9u);
  EXPECT_EQ(+text.owner, kOwner);
  ReleaseTaggedValue(kOwner, &text);

  SetStringValue(kOwner, &text, "");
  ASSERT_NE(+text.chars, nullptr);
  EXPECT_EQ(+text.chars[0], '\0');
  EXPECT_EQ(+text.length, 0u);
  EXPECT_EQ(+text.capacity, 1u);
  EXPECT_EQ(Outstanding(), 1u);
  ReleaseTaggedValue(kOwner, &text);

  std::memset(&text, 0x77, sizeof text);
  SetStringValue(kOwner, &text, nullptr);
  EXPECT_EQ(+text.tag, tag::kText);
  EXPECT_EQ(+text.owner, 0u);
  EXPECT_EQ(+text.chars, nullptr);
  EXPECT_EQ(+text.capacity, 0u);
  EXPECT_EQ(+text.length, 0u);
  EXPECT_EQ(Outstanding(), 0u);
}

TEST_F(Values, ReleaseFreesOnlyTheOwnersBufferAndOnlyOnce) {
  TextValue text{};
  SetStringValue(kOwner, &text, "mine");
  ReleaseTaggedValue(kOtherOwner, &text);
  EXPECT_EQ(Outstanding(), 1u);
  EXPECT_EQ(Chars(text), "mine");

  text.tag = tag::kTextSecond;
  ReleaseTaggedValue(kOwner, &text);
  EXPECT_EQ(Outstanding(), 0u);
  // The released value no longer points at the freed buffer: a second release is harmless.
  EXPECT_EQ(+text.chars, nullptr);
  ReleaseTaggedValue(kOwner, &text);

  // Handed-over and test-owned texts are never freed by the plug-in's owner.
  TestText foreign("not yours");
  ReleaseTaggedValue(kOwner, foreign.Value());
  EXPECT_EQ(testing_support::TextOf(foreign.Value()), "not yours");
  EXPECT_TRUE(host_->Ownership().Faults().empty());
}

TEST_F(Values, CopyTaggedValueCopiesExactlyTheTagsSize) {
  struct Case {
    uint16_t tag;
    size_t size;
  };
  for (Case c : {Case{tag::kInteger, 6}, Case{tag::kFlag, 4}, Case{tag::kReal, 10},
                 Case{tag::kMessageId, 10}, Case{tag::kChoice, 10}, Case{tag::kRecord40, 42},
                 Case{tag::kRecord24, 26}}) {
    SCOPED_TRACE(c.tag);
    uint8_t source[64];
    for (size_t i = 0; i < sizeof source; ++i) source[i] = static_cast<uint8_t>(i + 1);
    std::memcpy(source, &c.tag, 2);
    uint8_t destination[64];
    std::memset(destination, 0xCC, sizeof destination);
    support::SetLastHostStatus(0);
    CopyTaggedValue(kOwner, destination, source);
    EXPECT_EQ(std::memcmp(destination, source, c.size), 0);
    EXPECT_EQ(destination[c.size], 0xCC);
    EXPECT_EQ(support::LastHostStatus(), 0);
  }

  uint8_t destination[16];
  std::memset(destination, 0xCC, sizeof destination);
  const uint8_t empty[16] = {0, 0, 9, 9};
  CopyTaggedValue(kOwner, destination, empty);
  EXPECT_EQ(destination[0], 0);
  EXPECT_EQ(destination[1], 0);
  EXPECT_EQ(destination[2], 0xCC);
}

TEST_F(Values, CopyTaggedValueRefusesBlocksAndUnknownTags) {
  for (uint16_t refused : {tag::kByteBlock, tag::kPoint, tag::kUnassigned, uint16_t{999}}) {
    SCOPED_TRACE(refused);
    uint8_t source[20] = {};
    std::memcpy(source, &refused, 2);
    uint8_t destination[20];
    std::memset(destination, 0xCC, sizeof destination);
    support::SetLastHostStatus(0);
    CopyTaggedValue(kOwner, destination, source);
    EXPECT_EQ(support::LastHostStatus(), 1);
    for (uint8_t byte : destination) ASSERT_EQ(byte, 0xCC);
  }
  EXPECT_EQ(Outstanding(), 0u);
}

TEST_F(Values, CopyTaggedValueHandsTextsReferencesAndPathsOn) {
  TestText source("second kind", tag::kTextSecond);
  TextValue text = EmptyText();
  CopyTaggedValue(kOwner, &text, source.Value());
  EXPECT_EQ(+text.tag, tag::kText);
  EXPECT_EQ(Chars(text), "second kind");
  ReleaseTaggedValue(kOwner, &text);

  ReferenceValue from{tag::kReference, nullptr, nullptr, 42, nullptr};
  ReferenceValue to{};
  CopyTaggedValue(kOwner, &to, &from);
  EXPECT_EQ(+to.tag, tag::kReference);
  EXPECT_EQ(+to.object, 42u);

  uint32_t fromEntries[2] = {7, 8};
  uint32_t toEntries[2] = {};
  ObjectPathValue path{tag::kObjectPath, 2, fromEntries};
  ObjectPathValue pathCopy{0, 0, toEntries};
  CopyTaggedValue(kOwner, &pathCopy, &path);
  EXPECT_EQ(+pathCopy.tag, tag::kObjectPath);
  EXPECT_EQ(+pathCopy.count, 2);
  EXPECT_EQ(toEntries[1], 8u);
}

TEST_F(Values, CopyBlockValue) {
  uint8_t bytes[5] = {1, 2, 0, 4, 5};
  BlockValue source{tag::kByteBlock, 0, 5, 5, bytes};
  BlockValue fresh{};
  CopyBlockValue(kOwner, &fresh, &source);
  EXPECT_EQ(+fresh.tag, tag::kByteBlock);
  EXPECT_EQ(+fresh.owner, kOwner);
  EXPECT_EQ(+fresh.length, 5u);
  EXPECT_EQ(+fresh.capacity, 5u);
  ASSERT_NE(+fresh.bytes, nullptr);
  EXPECT_EQ(std::memcmp(fresh.bytes, bytes, 5), 0);
  EXPECT_NE(+fresh.bytes, bytes);

  // A buffer already there takes what fits.
  uint8_t small[3] = {};
  BlockValue bounded{tag::kByteBlock, kOtherOwner, 3, 0, small};
  CopyBlockValue(kOwner, &bounded, &source);
  EXPECT_EQ(+bounded.length, 3u);
  EXPECT_EQ(+bounded.bytes, small);
  EXPECT_EQ(small[2], 0);
  EXPECT_EQ(small[1], 2);
  EXPECT_EQ(+bounded.owner, kOtherOwner);

  BlockValue none{tag::kByteBlock, 0, 0, 0, nullptr};
  CopyBlockValue(kOwner, &bounded, &none);
  EXPECT_EQ(+bounded.length, 0u);
  EXPECT_EQ(+bounded.bytes, small);
  EXPECT_EQ(Outstanding(), 1u);

  host::memory::FreeMemory(fresh.bytes);
  EXPECT_EQ(Outstanding(), 0u);
}

// Three references to one object, chained the way the host links them.
struct Chain {
  ReferenceValue a{tag::kReference, nullptr, nullptr, 5, nullptr};
  ReferenceValue b{tag::kReference, nullptr, nullptr, 5, nullptr};
  ReferenceValue c{tag::kReference, nullptr, nullptr, 5, nullptr};
  Chain() {
    a.next = &b;
    b.previous = &a;
    b.next = &c;
    c.previous = &b;
  }
};

TEST_F(Values, UnlinkAndReleaseSpliceTheNeighbours) {
  Chain chain;
  UnlinkReference(&chain.b);
  EXPECT_EQ(+chain.a.next, &chain.c);
  EXPECT_EQ(+chain.c.previous, &chain.a);
  EXPECT_EQ(+chain.b.previous, nullptr);
  EXPECT_EQ(+chain.b.next, nullptr);

  // The ends of a chain have one neighbour only.
  Chain ends;
  UnlinkReference(&ends.a);
  EXPECT_EQ(+ends.b.previous, nullptr);
  UnlinkReference(&ends.c);
  EXPECT_EQ(+ends.b.next, nullptr);

  // Release splices only a reference that holds an object.
  Chain released;
  released.b.object = 0;
  ReleaseReference(&released.b);
  EXPECT_EQ(+released.a.next, &released.b);
  EXPECT_EQ(+released.b.next, &released.c);
  released.b.object = 5;
  ReleaseTaggedValue(kOwner, &released.b);
  EXPECT_EQ(+released.a.next, &released.c);
  EXPECT_EQ(+released.c.previous, &released.a);
  // ...and leaves nothing that a later unlink could splice a second time.
  EXPECT_EQ(+released.b.previous, nullptr);
  EXPECT_EQ(+released.b.next, nullptr);
}

TEST_F(Values, CopyReferenceLeavesTheChainAndCopiesTheIdentity) {
  Chain chain;
  IdentityValue targetIdentity{tag::kIdentity, 1, {1, 1, 1, 1, 1, 1, 1, 1}};
  chain.b.identity = &targetIdentity;
  IdentityValue sourceIdentity{0x70, 9, {1, 2, 3, 4, 5, 6, 7, 8}};
  Chain other;
  other.b.object = 77;
  other.b.tag = tag::kReference;
  other.b.identity = &sourceIdentity;

  CopyReference(&chain.b, &other.b);
  EXPECT_EQ(+chain.a.next, &chain.c);
  EXPECT_EQ(+chain.c.previous, &chain.a);
  EXPECT_EQ(+chain.b.previous, nullptr);  // links are never copied
  EXPECT_EQ(+chain.b.next, nullptr);
  EXPECT_EQ(+chain.b.object, 77u);
  EXPECT_EQ(+chain.b.identity, &targetIdentity);
  EXPECT_EQ(std::memcmp(&targetIdentity, &sourceIdentity, sizeof targetIdentity), 0);
  EXPECT_EQ(+other.a.next, &other.b);  // the source's chain is not touched

  // A source without identity clears the destination's words but keeps its tag.
  ReferenceValue bare{tag::kReference, nullptr, nullptr, 0, nullptr};
  CopyReference(&chain.b, &bare);
  EXPECT_EQ(+chain.b.object, 0u);
  EXPECT_EQ(+targetIdentity.tag, 0x70);
  EXPECT_EQ(+targetIdentity.word, 0u);
  uint32_t words[8];
  std::memcpy(words, reinterpret_cast<const uint8_t*>(&targetIdentity) + 6, sizeof words);
  for (uint32_t word : words) EXPECT_EQ(word, 0u);

  // A destination without an identity record gets none.
  ReferenceValue noIdentity{tag::kReference, nullptr, nullptr, 0, nullptr};
  CopyReference(&noIdentity, &other.b);
  EXPECT_EQ(+noIdentity.identity, nullptr);
  EXPECT_EQ(+noIdentity.object, 77u);
}

TEST_F(Values, CopyPathValueUsesTheDestinationsArray) {
  uint32_t fromEntries[3] = {11, 22, 33};
  uint32_t toEntries[5] = {9, 9, 9, 9, 9};
  ObjectPathValue from{tag::kObjectPath, 3, fromEntries};
  ObjectPathValue to{tag::kEmpty, 5, toEntries};
  CopyPathValue(&to, &from);
  EXPECT_EQ(+to.tag, tag::kObjectPath);
  EXPECT_EQ(+to.count, 3);
  EXPECT_EQ(+to.entries, toEntries);
  EXPECT_EQ(toEntries[2], 33u);
  EXPECT_EQ(toEntries[3], 9u);

  // Without an array to copy into, the destination becomes an empty path.
  ObjectPathValue arrayless{tag::kObjectPath, 4, nullptr};
  CopyPathValue(&arrayless, &from);
  EXPECT_EQ(+arrayless.count, 0);
  EXPECT_EQ(+arrayless.entries, nullptr);
}

}  // namespace

namespace {

// With the host out of memory every copy leaves an empty value of its target kind: nothing
// is claimed that is not there, nothing is written through a null buffer.
TEST_F(Values, CopiesLeaveEmptyValuesWhenTheHostHasNoMemory) {
  host_->FailAllocations(0);

  TestText source("hello");
  TextValue copy = EmptyText();
  CopyStringValue(kOwner, &copy, source.Value());
  EXPECT_EQ(+copy.tag, tag::kText);
  EXPECT_EQ(+copy.chars, nullptr);
  EXPECT_EQ(+copy.length, 0u);
  EXPECT_EQ(+copy.capacity, 0u);
  EXPECT_EQ(+copy.owner, kOwner);

  TextValue set = EmptyText();
  SetStringValue(kOwner, &set, "hello");
  EXPECT_EQ(+set.chars, nullptr);
  EXPECT_EQ(+set.length, 0u);
  SetStringValue(kOwner, &set, "");
  EXPECT_EQ(+set.chars, nullptr);
  EXPECT_EQ(+set.length, 0u);

  uint8_t bytes[4] = {1, 2, 3, 4};
  const BlockValue block{tag::kByteBlock, kOtherOwner, 4, 4, bytes};
  BlockValue blockCopy{tag::kByteBlock, 0, 0, 0, nullptr};
  CopyBlockValue(kOwner, &blockCopy, &block);
  EXPECT_EQ(+blockCopy.tag, tag::kByteBlock);
  EXPECT_EQ(+blockCopy.bytes, nullptr);
  EXPECT_EQ(+blockCopy.length, 0u);
  EXPECT_EQ(+blockCopy.capacity, 0u);

  // Copying on from the empty results is harmless too.
  TextValue again = EmptyText();
  CopyStringValue(kOwner, &again, &copy);
  EXPECT_EQ(+again.chars, nullptr);
  ReleaseTaggedValue(kOwner, &copy);
  ReleaseTaggedValue(kOwner, &set);
  EXPECT_GE(host_->RefusedAllocations(), 4u);
  EXPECT_EQ(Outstanding(), 0u);
}

}  // namespace
