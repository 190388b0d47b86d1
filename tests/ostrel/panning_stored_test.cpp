// panning's stored form: version 3 written, versions 1 to 3 read (version 1 with its time text
// and its pan of 0..100), anything else refused without reading.
#include <gtest/gtest.h>

#include "tests/ostrel/panning_rig.h"

namespace {

using refhost::Instance;
using refhost::Value;

class PanningStored : public PanningTest {
 protected:
  // A stream holding the given values in the host's stored form.
  refhost::HostStream& StreamOf(const std::vector<Value>& values) {
    refhost::HostStream& stream = host_->NewStream();
    for (const Value& value : values) stream.Write(value);
    stream.Rewind();
    return stream;
  }
  std::vector<Value> Stored(Instance* instance, int16_t* version, uint32_t* size) {
    refhost::HostStream& stream = host_->NewStream();
    instance->StoredSize(stream, version, size);
    EXPECT_EQ(instance->Save(stream), 0);
    EXPECT_EQ(stream.Bytes().size(), *size);
    std::vector<Value> values;
    for (Value v; stream.Read(&v);) values.push_back(v);
    return values;
  }
};

TEST_F(PanningStored, SaveWritesFiveValuesOfVersionThreeWithOnlyTheFollowBit) {
  Instance* panning = Make();
  ASSERT_EQ(EditFixed(panning, -70, 1500), 0);
  int16_t version = 0;
  uint32_t size = 0;
  EXPECT_EQ(Stored(panning, &version, &size),
            (std::vector<Value>{Value::MessageId(2001), Value::MessageId(2002), Value::Integer(0),
                                Value::Integer(-70), Value::Integer(1500)}));
  EXPECT_EQ(version, 3);
  EXPECT_EQ(size, 10u + 10 + 6 + 6 + 6);

  // Following, its flags are 7; what is stored is the follow bit alone.
  ASSERT_EQ(EditFollow(panning), 0);
  ASSERT_EQ(Start(panning), 0);
  EXPECT_EQ(Stored(panning, &version, &size)[2], Value::Integer(2));
}

TEST_F(PanningStored, VersionsTwoAndThreeReadTicks) {
  for (int16_t version : {2, 3}) {
    Instance* panning = Make();
    refhost::HostStream& stream =
        StreamOf({Value::MessageId(10, 1), Value::MessageId(11), Value::Integer(2),
                  Value::Integer(-20), Value::Integer(900)});
    ASSERT_EQ(panning->Load(stream, version), 0);
    EXPECT_EQ(stream.ReadPosition(), stream.Bytes().size());
    const ostrel::PanningRecord r = Record(panning);
    EXPECT_EQ(+r.startEvent.id, 10u);
    EXPECT_EQ(+r.startEvent.second, 1u);
    EXPECT_EQ(+r.stopEvent.id, 11u);
    EXPECT_EQ(+r.modeFlags.value, ostrel::kPanFollowPosition);
    EXPECT_EQ(+r.targetPan.value, -20);
    EXPECT_EQ(+r.durationTicks.value, 900);
    EXPECT_EQ(+r.durationValue.count, 900u);
    EXPECT_EQ(+r.durationValue.divisor, 1u);
    EXPECT_EQ(+r.durationValue.rate, 600u);
    host_->Destroy(panning);
  }
}

TEST_F(PanningStored, ATargetOutsideTheRangeIsKeptButNeverWritten) {
  // A damaged title's target is kept as it was stored; the pans written stay within -100..100,
  // at once and over a ramp, and so does a ramp from an owner whose pan stood outside.
  for (const int32_t target : {-300, 250, INT32_MIN}) {
    for (const int32_t ticks : {0, 40}) {
      Instance* panning = Make();
      host_->SetObjectValue(owner_, "pan", Value::Integer(target == 250 ? -1000 : 0));
      refhost::HostStream& stream =
          StreamOf({Value::MessageId(2001), Value::MessageId(2002), Value::Integer(0),
                    Value::Integer(target), Value::Integer(ticks)});
      ASSERT_EQ(panning->Load(stream, 3), 0);
      EXPECT_EQ(+Record(panning).targetPan.value, target);
      host_->ClearLogs();
      ASSERT_EQ(Start(panning), 0);
      host_->Advance(200);
      const std::vector<int32_t> pans = PanSeries();
      ASSERT_FALSE(pans.empty()) << target << " " << ticks;
      for (int32_t pan : pans) EXPECT_TRUE(pan >= -100 && pan <= 100) << target << ": " << pan;
      EXPECT_EQ(pans.back(), target > 0 ? 100 : -100);
      host_->Destroy(panning);
    }
  }
}

TEST_F(PanningStored, VersionOneReadsATimeTextAndAPanOfZeroToHundred) {
  struct Case {
    std::string text;
    int32_t pan;
    int32_t ticks;
    const char* kept;
    int32_t target;
  };
  const Case cases[] = {
      {"00:01.00", 75, 600, "00:01.00", 50},
      {"00:01.50", 0, 900, "00:01.50", -100},
      {"00:75.00", 100, 45000, "00:75.00", 100},  // seconds past 59 are taken
      {"99:99.99", 50, 3623994, "99:99.99", 0},
      {"1:30.50", 50, 0, "00:00.00", 0},  // seven characters
      {"01:30.5", 50, 0, "00:00.00", 0},
      {"01:30.500", 50, 0, "00:00.00", 0},
      {"01-30.50", 50, 0, "00:00.00", 0},
      {"01:30,50", 50, 0, "00:00.00", 0},
      {"0a:30.50", 50, 0, "00:00.00", 0},
      {"01:30.5 ", 50, 0, "00:00.00", 0},
      {"", 50, 0, "00:00.00", 0},
      {std::string("00:02.00\0tail", 13), 50, 1200, "00:02.00", 0},  // ends at its NUL
  };
  for (const Case& c : cases) {
    Instance* panning = Make();
    refhost::HostStream& stream =
        StreamOf({Value::MessageId(2001), Value::MessageId(2002), Value::Integer(0),
                  Value::Integer(c.pan), Value::Text(c.text)});
    ASSERT_EQ(panning->Load(stream, 1), 0) << c.text;
    const ostrel::PanningRecord r = Record(panning);
    EXPECT_EQ(+r.durationTicks.value, c.ticks) << c.text;
    EXPECT_EQ(+r.durationValue.count, static_cast<uint32_t>(c.ticks)) << c.text;
    EXPECT_EQ(testing_support::TextOf(&r.durationText), c.kept) << c.text;
    EXPECT_EQ(+r.durationText.length, 8u) << c.text;
    EXPECT_GE(+r.durationText.capacity, 9u) << c.text;
    EXPECT_EQ(+r.durationText.owner,
              static_cast<uint32_t>(reinterpret_cast<uintptr_t>(panning->Record())))
        << c.text;
    EXPECT_EQ(+r.targetPan.value, c.target) << c.text;
    host_->Destroy(panning);  // the buffer of Construct is gone, the loaded one too
  }
}

TEST_F(PanningStored, UnknownVersionsAreRefusedWithoutReading) {
  Instance* panning = Make();
  ASSERT_EQ(EditFixed(panning, 12, 300), 0);
  const ostrel::PanningRecord before = Record(panning);
  refhost::HostStream& stream = StreamOf({Value::MessageId(5), Value::MessageId(6),
                                          Value::Integer(0), Value::Integer(1), Value::Integer(2)});
  for (int16_t version : {0, 4, 5, -1, INT16_MIN, INT16_MAX}) {
    EXPECT_EQ(panning->Load(stream, version), 1) << version;
    EXPECT_EQ(stream.ReadPosition(), 0u) << version;
    EXPECT_EQ(std::memcmp(panning->Record(), &before, sizeof before), 0) << version;
  }
}

TEST_F(PanningStored, DamagedStreamsAreRefusedAndLeaveAUsableInstance) {
  refhost::HostStream& whole =
      StreamOf({Value::MessageId(2001), Value::MessageId(2002), Value::Integer(0),
                Value::Integer(75), Value::Text("00:01.00")});
  const std::vector<uint8_t> bytes = whole.Bytes();
  for (int16_t version : {1, 3}) {
    for (size_t cut = 0; cut <= bytes.size(); ++cut) {
      Instance* panning = Make();
      refhost::HostStream& stream = host_->NewStream();
      stream.SetBytes(std::vector<uint8_t>(bytes.begin(), bytes.begin() + cut));
      // Version 3 reads an integer where version 1 has its text: refused too.
      const bool complete = version == 1 && cut == bytes.size();
      EXPECT_EQ(panning->Load(stream, version) == 0, complete) << version << " " << cut;
      EXPECT_EQ(+Record(panning).modeFlags.value, 0);
      ASSERT_EQ(EditFixed(panning, 10, 0), 0);
      EXPECT_EQ(Start(panning), 0);
      host_->Destroy(panning);
    }
  }
  // Values of another kind where the ids belong.
  Instance* panning = Make();
  EXPECT_NE(panning->Load(StreamOf({Value::Text("x"), Value::MessageId(1)}), 3), 0);
  EXPECT_EQ(+Record(panning).startEvent.id, 2001u);
}

}  // namespace
