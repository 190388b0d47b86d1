#include "support/names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

std::string Bytes16(const uint8_t* bytes) {
  return std::string(reinterpret_cast<const char*>(bytes), abi::kNameSize);
}

std::string Padded(const char* text) {
  std::string name(text);
  name.resize(abi::kNameSize, '\0');
  return name;
}

// The class name lands in bytes 0..15 and nothing past them moves.
TEST(CopyClassName, CutsAtSpaceOrSixteenAndPadsWithNul) {
  abi::PluginDescriptor descriptor;
  std::memset(&descriptor, 0xAB, sizeof descriptor);

  support::CopyClassName(&descriptor, "Print");
  EXPECT_EQ(Bytes16(descriptor.names), Padded("Print"));
  EXPECT_EQ(descriptor.names[16], 0xAB);

  support::CopyClassName(&descriptor, "List Mod");
  EXPECT_EQ(Bytes16(descriptor.names), Padded("List"));

  support::CopyClassName(&descriptor, "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(Bytes16(descriptor.names), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(descriptor.names[16], 0xAB);

  support::CopyClassName(&descriptor, "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(Bytes16(descriptor.names), "ABCDEFGHIJKLMNOP");
}

TEST(CopyClassName, EmptyOrLeadingSpaceNames) {
  abi::PluginDescriptor descriptor;
  std::memset(&descriptor, 0xAB, sizeof descriptor);
  // A one-byte source: nothing past its NUL may be read (ASan watches the heap copy).
  auto empty = std::make_unique<char[]>(1);
  empty[0] = '\0';
  support::CopyClassName(&descriptor, empty.get());
  EXPECT_EQ(Bytes16(descriptor.names), std::string(16, '\0'));

  // The first character is always taken, even a space; the next space ends the name.
  support::CopyClassName(&descriptor, " a b");
  EXPECT_EQ(Bytes16(descriptor.names), Padded(" a"));

  std::memset(&descriptor, 0xAB, sizeof descriptor);
  support::CopyClassName(&descriptor, nullptr);
  EXPECT_EQ(Bytes16(descriptor.names), std::string(16, '\0'));
}

TEST(CopyClassName, ReadsNoFurtherThanTheNameNeeds) {
  abi::PluginDescriptor descriptor{};
  auto name = std::make_unique<char[]>(6);
  std::memcpy(name.get(), "Print", 6);
  support::CopyClassName(&descriptor, name.get());
  EXPECT_EQ(Bytes16(descriptor.names), Padded("Print"));
}

TEST(NamesEqual16, FoldsAsciiLettersOnly) {
  const support::Name20 events = support::MakeName20("events");
  EXPECT_TRUE(support::NamesEqual16(events.chars, support::MakeName20("EVENTS").chars));
  EXPECT_TRUE(support::NamesEqual16(events.chars, support::MakeName20("eVeNtS").chars));
  EXPECT_FALSE(support::NamesEqual16(events.chars, support::MakeName20("event").chars));
  EXPECT_FALSE(support::NamesEqual16(events.chars, support::MakeName20("eventz").chars));
  // '@' and '[' sit next to 'A' and 'Z' and are no letters; '`' and '{' are their lower twins.
  EXPECT_FALSE(
      support::NamesEqual16(support::MakeName20("@").chars, support::MakeName20("`").chars));
  EXPECT_FALSE(
      support::NamesEqual16(support::MakeName20("[").chars, support::MakeName20("{").chars));
  // Bytes of 128 and above are compared as they are, never folded.
  const support::Name20 high = support::MakeName20("\xC9t\xE9");
  EXPECT_TRUE(support::NamesEqual16(high.chars, support::MakeName20("\xC9T\xE9").chars));
  EXPECT_FALSE(support::NamesEqual16(high.chars, support::MakeName20("\xE9t\xE9").chars));
}

TEST(NamesEqual16, AllSixteenBytesCount) {
  char a[16] = "events";
  char b[16] = "EVENTS";
  b[12] = 'x';  // past the terminator
  EXPECT_FALSE(support::NamesEqual16(a, b));
  b[12] = '\0';
  EXPECT_TRUE(support::NamesEqual16(a, b));
  b[15] = 'x';
  EXPECT_FALSE(support::NamesEqual16(a, b));

  // Sixteen characters with no terminator compare in full.
  const support::Name20 full = support::MakeName20("abcdefghijklmnop");
  EXPECT_TRUE(support::NamesEqual16(full.chars, support::MakeName20("ABCDEFGHIJKLMNOP").chars));
  EXPECT_FALSE(support::NamesEqual16(full.chars, support::MakeName20("ABCDEFGHIJKLMNOq").chars));
  EXPECT_FALSE(support::NamesEqual16(full.chars, nullptr));
}

TEST(CopyName16, CopiesExactlySixteenBytes) {
  uint8_t source[20];
  for (int i = 0; i < 20; ++i) source[i] = static_cast<uint8_t>(i + 1);
  source[3] = 0;
  uint8_t destination[20];
  std::memset(destination, 0xEE, sizeof destination);
  support::CopyName16(destination, source);
  EXPECT_EQ(std::memcmp(destination, source, 16), 0);
  EXPECT_EQ(destination[16], 0xEE);
}

TEST(MakeName20, PadsWithNul) {
  constexpr support::Name20 name = support::MakeName20("_QComponent");
  static_assert(name.chars[10] == 't' && name.chars[11] == '\0' && name.chars[19] == '\0');
  constexpr support::Name20 full = support::MakeName20("abcdefghijklmnopqrst");
  static_assert(full.chars[19] == 't');
  EXPECT_EQ(std::string(name.chars), "_QComponent");
}

}  // namespace
