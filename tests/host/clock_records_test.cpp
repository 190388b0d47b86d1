// What the host keeps over its clock for tools and tests: objects moved across their scene,
// the attribute writes read back as series, the messages handed to instances, the editor's
// DisableItem calls, and instances destroyed with their periodic calls still running.
#include <cstring>

#include "host/motion.h"
#include "host/series.h"
#include "tests/host/host_test_support.h"

namespace {

using refhost::Value;

class ClockRecordsTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    stage_ = host_->AddObject(0, "stage");
    actor_ = host_->AddObject(stage_, "actor");
  }
  // A write of an integer attribute, as a plug-in makes it.
  uint16_t Write(uint32_t object, const char* name, int32_t value) {
    char name16[16] = {};
    std::memcpy(name16, name, std::strlen(name));
    const IntegerValue v{tag::kInteger, value};
    return S(svc::kObject, mth::kSetObjectAttribute, object, static_cast<const char*>(name16),
             static_cast<const void*>(nullptr), static_cast<const void*>(&v));
  }
  uint32_t stage_ = 0, actor_ = 0;
};

TEST_F(ClockRecordsTest, AMovingObjectGoesInAStraightLineWhilePeriodicCallsFallDue) {
  refhost::Motion motion(*host_, actor_);
  EXPECT_EQ(+motion.Position().x, 0);  // no "position" yet
  motion.Place(100, 40);
  refhost::Instance* probe = host_->Create("Probe", actor_);
  probe->Enable();  // ticks every 10/600 s

  const std::vector<PointValue> places = motion.MoveTo(-100, 50, 1000, 300);
  ASSERT_EQ(places.size(), 4u);  // 300, 600, 900 and the last 100 ms
  const int16_t xs[] = {40, -20, -80, -100};
  const int16_t ys[] = {43, 46, 49, 50};
  for (size_t i = 0; i < places.size(); ++i) {
    EXPECT_EQ(+places[i].x, xs[i]) << i;
    EXPECT_EQ(+places[i].y, ys[i]) << i;
  }
  EXPECT_EQ(*host_->ObjectValue(actor_, "position"), Value::Point(-100, 50));
  EXPECT_EQ(host_->Now(), 1000000u);
  int32_t ticks = 0;
  std::memcpy(&ticks, static_cast<uint8_t*>(probe->Record()) + 22,
              sizeof ticks);  // the probe counts its ticks at byte 22
  EXPECT_EQ(ticks, 60);

  // A move over no time is a jump; an unknown object or a step of 0 goes nowhere.
  EXPECT_EQ(motion.MoveTo(7, 8, 0).size(), 1u);
  EXPECT_EQ(+motion.Position().x, 7);
  EXPECT_TRUE(refhost::Motion(*host_, 0xDEAD).MoveTo(1, 1, 100).empty());
  EXPECT_TRUE(motion.MoveTo(1, 1, 100, 0).empty());
  probe->Disable();
}

TEST_F(ClockRecordsTest, AttributeWritesReadBackAsSeriesOfWhatTheObjectsTook) {
  host_->SetObjectValue(actor_, "pan", Value::Integer(0));
  host_->SetObjectValue(stage_, "pan", Value::Integer(0));
  EXPECT_EQ(Write(actor_, "pan", -30), 0);
  host_->Advance(100);
  EXPECT_EQ(Write(stage_, "PAN", 5), 0);
  EXPECT_EQ(Write(actor_, "pan", 40), 0);
  EXPECT_NE(Write(actor_, "volume", 3), 0);  // no such attribute: kept, but not in a series
  host_->Advance(100);
  EXPECT_EQ(Write(actor_, "pan", 100), 0);

  ASSERT_EQ(host_->AttributeWrites().size(), 5u);
  EXPECT_EQ(host_->AttributeWrites()[3].name, "volume");
  EXPECT_NE(host_->AttributeWrites()[3].status, 0);
  EXPECT_EQ(host_->AttributeWrites()[0].writer, "");

  const std::vector<refhost::Series> series = refhost::IntegerSeries(*host_, "Pan");
  ASSERT_EQ(series.size(), 2u);
  EXPECT_EQ(series[0].object, actor_);
  ASSERT_EQ(series[0].points.size(), 3u);
  EXPECT_EQ(series[0].points[1].micros, 100000u);
  EXPECT_EQ(series[0].points[1].value, 40);
  EXPECT_EQ(series[1].object, stage_);
  EXPECT_EQ(refhost::IntegerSeries(*host_, "pan", 4)[0].points.size(), 1u);  // the last write
  host_->ClearLogs();
  EXPECT_TRUE(refhost::IntegerSeries(*host_, "pan").empty());
}

TEST_F(ClockRecordsTest, HandledMessagesDisableCallsAndRunningDestroysAreKept) {
  refhost::Instance* probe = host_->Create("Probe", actor_);
  probe->Enable();
  host_->Advance(50);
  host_->SendMessage(actor_, 77);
  probe->HandleMessage(actor_, 5, 6);
  ASSERT_EQ(host_->HandledMessages().size(), 2u);
  const refhost::HandledMessage& first = host_->HandledMessages()[0];
  EXPECT_EQ(first.micros, 50000u);
  EXPECT_EQ(first.instance, probe->Label());
  EXPECT_EQ(first.owner, actor_);
  EXPECT_EQ(first.id, 77u);
  EXPECT_EQ(first.result, 0);
  EXPECT_EQ(host_->HandledMessages()[1].second, 6u);
  EXPECT_EQ(host_->HandledMessages()[1].result, 1);

  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(CallHostMethod(editor.Object(), 1, mth::kDisableItem, int16_t{11}, int16_t{1}), 0);
  EXPECT_EQ(CallHostMethod(editor.Object(), 1, mth::kDisableItem, int16_t{11}, int16_t{0}), 0);
  EXPECT_FALSE(editor.Disabled(11));
  ASSERT_EQ(editor.DisableCalls().size(), 2u);
  EXPECT_EQ(editor.DisableCalls()[0], (std::pair<int16_t, int16_t>{11, 1}));

  // The probe ends its periodic calls when it goes; a class that does not is named, and the
  // host drops the calls itself.
  host_->Destroy(probe);
  EXPECT_TRUE(host_->DestroyedWhileRunning().empty());
  ASSERT_TRUE(host_->Load(FLAWED_PLUGIN_PATH).error.empty());
  refhost::Instance* ticker = host_->Create("Ticker", actor_);
  ASSERT_EQ(ticker->HandleMessage(actor_, 900, 0), 0);  // its message starts the calls
  const std::string label = ticker->Label();
  host_->Destroy(ticker);
  EXPECT_EQ(host_->DestroyedWhileRunning(), std::vector<std::string>{label});
  EXPECT_FALSE(host_->PeriodicRunning(ticker));
}

}  // namespace
