// ConvertValue between the element kinds a list holds: each kind into itself, integers and
// reals both ways, references and object paths both ways within the room the path offers.
#include <cstring>
#include <string>

#include "host/host_method.h"
#include "tests/host/host_test_support.h"

namespace {

class ConvertKinds : public HostTest {
 protected:
  uint16_t Convert(const void* source, void* destination) {
    return S(svc::kConvert, mth::kConvertValue, static_cast<void*>(nullptr), source, destination);
  }
  // A zeroed record preset to `t`.
  struct Target {
    alignas(8) uint8_t bytes[32] = {};
    explicit Target(uint16_t t) { std::memcpy(bytes, &t, 2); }
  };
};

TEST_F(ConvertKinds, EachKindConvertsIntoItselfByteForByte) {
  const PointValue point{tag::kPoint, -3, 7};
  const RangeValue range{tag::kRange, -5, 9};
  const DurationValue duration{tag::kDuration, 90, 30, 60};
  const TripleRealValue triple{tag::kTripleReal, {0.5, -0.0, 1000.0}};
  const FlagValue flag{tag::kFlag, 1};
  const RealValue real{tag::kReal, -0.0};
  struct Case {
    const void* value;
    uint32_t size;
  };
  for (const Case& c : {Case{&point, 6}, Case{&range, 10}, Case{&duration, 14}, Case{&triple, 26},
                        Case{&flag, 4}, Case{&real, 10}}) {
    uint16_t t;
    std::memcpy(&t, c.value, 2);
    Target target(t);
    EXPECT_EQ(Convert(c.value, target.bytes), 0) << t;
    EXPECT_EQ(std::memcmp(target.bytes, c.value, c.size), 0) << t;
  }
  // Kinds that are not numbers do not become each other.
  Target other(tag::kRange);
  EXPECT_NE(Convert(&point, other.bytes), 0);
  Target notAPoint(tag::kPoint);
  EXPECT_NE(Convert(&duration, notAPoint.bytes), 0);
}

TEST_F(ConvertKinds, PathsTakeAtMostTheRoomTheyOffer) {
  uint32_t deep = host_->AddObject(0, "top");
  for (int level = 1; level < 256; ++level) deep = host_->AddObject(deep, "n");
  uint32_t entries[256] = {};
  ObjectPathValue path{tag::kObjectPath, 256, entries};
  ReferenceValue reference{tag::kReference, nullptr, nullptr, deep, nullptr};
  ASSERT_EQ(Convert(&reference, &path), 0);
  EXPECT_EQ(Get(path.count), 256);
  ReferenceValue back{tag::kReference, nullptr, nullptr, 0, nullptr};
  ASSERT_EQ(Convert(&path, &back), 0);
  EXPECT_EQ(Get(back.object), deep);
  // One level more than the room: refused.
  const uint32_t deeper = host_->AddObject(deep, "m");
  reference.object = deeper;
  path = ObjectPathValue{tag::kObjectPath, 256, entries};
  EXPECT_NE(Convert(&reference, &path), 0);
}

}  // namespace
