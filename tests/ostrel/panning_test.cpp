// panning through the host: ramps, following the owner across its scene, the start and stop
// rules, the editor and "events".
#include <gtest/gtest.h>

#include <cmath>

#include "host/motion.h"
#include "tests/ostrel/panning_rig.h"

namespace {

using refhost::Instance;
using refhost::Value;
using testing_support::EventsIndex;
using testing_support::MessageId;

TEST_F(PanningTest, ARampOfOneSecondSetsSixtyValuesEndingOnTheTargetThenStops) {
  Instance* panning = Make();
  ASSERT_EQ(EditFixed(panning, 100, 600), 0);  // 00:01.00
  ASSERT_EQ(Start(panning), 0);
  EXPECT_EQ(Flags(panning), ostrel::kPanStarted | ostrel::kPanPeriodicRunning);
  EXPECT_EQ(+Record(panning).stepsLeft.value, 60);
  EXPECT_TRUE(PanSeries().empty());  // nothing is set before the first periodic call

  RunPeriodicCalls(61);
  // 100 - k * 100/60 for k = 59 down to 0, truncated toward zero, then the target once more on
  // the call that stops the ramp.
  const std::vector<int32_t> expected = {
      1,  3,  5,  6,  8,  10, 11, 13, 15, 16, 18, 20, 21, 23, 25, 26, 28, 30,  31, 33, 35,
      36, 38, 40, 41, 43, 45, 46, 48, 50, 51, 53, 55, 56, 58, 60, 61, 63, 65,  66, 68, 70,
      71, 73, 75, 76, 78, 80, 81, 83, 85, 86, 88, 90, 91, 93, 95, 96, 98, 100, 100};
  EXPECT_EQ(PanSeries(), expected);
  EXPECT_FALSE(host_->PeriodicRunning(panning));
  EXPECT_EQ(Flags(panning), 0);

  // Idle again: the same start message runs the ramp afresh, now from 100 down to -100.
  ASSERT_EQ(EditFixed(panning, -100, 600), 0);
  ASSERT_EQ(Start(panning), 0);
  RunPeriodicCalls(61);
  EXPECT_EQ(PanSeries().size(), 122u);
  EXPECT_EQ(PanSeries()[61], 96);  // 100 + (-200 / 60) truncated toward zero
  EXPECT_EQ(Pan(), -100);
}

TEST_F(PanningTest, ShortDurationsSetTheTargetOnTheFirstCallAndStop) {
  for (uint32_t ticks = 1; ticks <= 10; ++ticks) {
    host_->ClearLogs();
    Instance* panning = Make();
    ASSERT_EQ(EditFixed(panning, -40, ticks), 0);
    ASSERT_EQ(Start(panning), 0) << ticks;
    RunPeriodicCalls(1);
    // 1 to 9 ticks are no step at all: the first call sets the target and stops. 10 ticks are
    // one step, which lands on the target, and the call after it stops.
    EXPECT_EQ(PanSeries(), std::vector<int32_t>{-40}) << ticks;
    EXPECT_EQ(host_->PeriodicRunning(panning), ticks == 10) << ticks;
    RunPeriodicCalls(3);
    EXPECT_EQ(PanSeries().size(), ticks < 10 ? 1u : 2u) << ticks;
    EXPECT_FALSE(host_->PeriodicRunning(panning));
    host_->Destroy(panning);
  }
}

TEST_F(PanningTest, NoDurationSetsThePanAtOnce) {
  Instance* panning = Make();
  ASSERT_EQ(EditFixed(panning, 65, 0), 0);
  ASSERT_EQ(Start(panning), 0);
  EXPECT_EQ(PanSeries(), std::vector<int32_t>{65});
  EXPECT_EQ(Flags(panning), ostrel::kPanStarted);
  EXPECT_FALSE(host_->PeriodicRunning(panning));
  // Started, a start message is no start; the stop message ends it.
  EXPECT_EQ(Start(panning), 1);
  EXPECT_EQ(PanSeries().size(), 1u);
  EXPECT_EQ(Stop(panning), 0);
  EXPECT_EQ(Flags(panning), 0);
}

TEST_F(PanningTest, StopRules) {
  struct Case {
    const char* what;
    uint32_t startId, stopId;     // the instance's messages
    uint32_t sentId, sentSecond;  // the message that arrives while started
    uint16_t result;
    bool stops;
  };
  const Case cases[] = {
      {"its own stop message", 2001, 2002, 2002, 0, 0, true},
      {"2002 when the stop message is another", 2001, 3000, 2002, 0, 0, true},
      {"2002 with any second word", 2001, 3000, 2002, 9, 0, true},
      {"its changed stop message", 2001, 3000, 3000, 0, 0, true},
      {"its stop id with another second word", 2001, 3000, 3000, 1, 1, false},
      {"the start message again, stop differing", 2001, 3000, 2001, 0, 1, false},
      {"the start message when start and stop are one", 3000, 3000, 3000, 0, 0, true},
      {"another message", 2001, 2002, 42, 0, 1, false},
  };
  for (const Case& c : cases) {
    Instance* panning = Make();
    refhost::HostEditor& editor = host_->NewEditor();
    panning->ToEditor(editor);
    editor.SetItem(ostrel::kPanStartItem, Value::MessageId(c.startId));
    editor.SetItem(ostrel::kPanStopItem, Value::MessageId(c.stopId));
    editor.SetItem(ostrel::kPanDurationItem, Value::Duration(600, 1, 600));
    ASSERT_EQ(panning->FromEditor(editor), 0);
    ASSERT_EQ(panning->HandleMessage(owner_, c.startId, 0), 0) << c.what;
    EXPECT_EQ(panning->HandleMessage(owner_, c.sentId, c.sentSecond), c.result) << c.what;
    EXPECT_EQ(host_->PeriodicRunning(panning), !c.stops) << c.what;
    EXPECT_EQ(Flags(panning) == 0, c.stops) << c.what;
    host_->Destroy(panning);
  }
  // Idle, a stop message is not for it.
  Instance* idle = Make();
  EXPECT_EQ(Stop(idle), 1);
  EXPECT_EQ(idle->HandleMessage(owner_, 2001, 1), 1);
}

TEST_F(PanningTest, FollowingGivesThePlaceOfTheOwnersCentreInItsScene) {
  struct Case {
    const char* what;
    int16_t x, width, offset;  // the owner's position x, size x and global offset x
    int16_t sceneX, sceneWidth;
    int32_t pan;
  };
  // half = (scene size x - scene position x) / 2; pan = (x - half + offset + width / 2) / half.
  const Case cases[] = {
      {"centre", 300, 40, 0, 0, 640, 0},
      {"right edge", 620, 40, 0, 0, 640, 100},
      {"left edge", -20, 40, 0, 0, 640, -100},
      {"a quarter right, by its offset", 360, 40, 20, 0, 640, 25},
      {"short of the middle, truncated", 299, 40, 0, 0, 640, 0},
      {"beyond the right edge", 2000, 40, 0, 0, 640, 100},
      {"beyond the left edge", -3000, 40, 0, 0, 640, -100},
      {"a scene of half width 0", 500, 40, 0, 0, 1, 0},
      {"a scene whose position counts against its size", 300, 40, 0, 100, 640, 18},
  };
  for (const Case& c : cases) {
    host_->ClearLogs();
    host_->SetObjectValue(stage_, "position", Value::Point(c.sceneX, 0));
    host_->SetObjectValue(stage_, "size", Value::Point(c.sceneWidth, 480));
    host_->SetObjectValue(owner_, "size", Value::Point(c.width, 40));
    host_->SetObjectValue(owner_, "globaloffset", Value::Point(c.offset, 0));
    Place(c.x, 40);
    Instance* panning = Make();
    ASSERT_EQ(EditFollow(panning), 0);
    ASSERT_EQ(Start(panning), 0) << c.what;
    EXPECT_EQ(Flags(panning), 7) << c.what;
    EXPECT_EQ(panning->Periodic(), 0) << c.what;
    EXPECT_EQ(Pan(), c.pan) << c.what;
    host_->Destroy(panning);
  }
}

TEST_F(PanningTest, AnObjectCrossingItsSceneIsFollowedUntilTheStopMessage) {
  Instance* panning = Make();
  ASSERT_EQ(EditFollow(panning), 0);
  refhost::Motion motion(*host_, owner_);
  motion.Place(-20, 200);
  ASSERT_EQ(Start(panning), 0);
  motion.MoveTo(620, 200, 2000, 50);
  const std::vector<int32_t> pans = PanSeries();
  ASSERT_EQ(pans.size(), 120u);  // one per periodic call, 60 a second
  for (size_t i = 1; i < pans.size(); ++i) EXPECT_GE(pans[i], pans[i - 1]) << i;
  EXPECT_EQ(pans.front(), -100);  // not moved yet at the first call
  EXPECT_EQ(pans[3], -95);        // 50 ms on: 16 to the right, a twentieth of the half width
  EXPECT_EQ(pans.back(), 95);     // the last call comes before the last step of the move
  // Following never stops by itself; the stop message does.
  ASSERT_EQ(Stop(panning), 0);
  motion.MoveTo(-20, 200, 1000);
  EXPECT_EQ(PanSeries().size(), 120u);
  EXPECT_FALSE(host_->PeriodicRunning(panning));
}

TEST_F(PanningTest, EditorItemsShowTheSettingsAndDisableWhatTheModeDoesNotUse) {
  Instance* panning = Make();
  ASSERT_EQ(EditFixed(panning, -30, 900), 0);
  refhost::HostEditor& fixed = host_->NewEditor();
  ASSERT_EQ(panning->ToEditor(fixed, 5), 0);  // the mode is not looked at
  EXPECT_EQ(*fixed.Item(4), Value::MessageId(2001));
  EXPECT_EQ(*fixed.Item(6), Value::MessageId(2002));
  EXPECT_EQ(*fixed.Item(9), Value::Integer(-30));
  EXPECT_EQ(*fixed.Item(16), Value::Integer(-30));
  EXPECT_EQ(*fixed.Item(11), Value::Duration(900, 1, 600));
  EXPECT_EQ(*fixed.Item(12), Value::Integer(0));
  EXPECT_EQ(*fixed.Item(8), Value::Integer(1));
  EXPECT_TRUE(fixed.DisableCalls().empty());

  // In follow mode the target and the duration are not read, and shown unavailable.
  refhost::HostEditor& follow = host_->NewEditor();
  panning->ToEditor(follow);
  follow.SetItem(12, Value::Integer(2));
  follow.SetItem(9, Value::Integer(77));
  ASSERT_EQ(panning->FromEditor(follow), 0);
  EXPECT_EQ(+Record(panning).targetPan.value, -30);
  EXPECT_EQ(+Record(panning).durationTicks.value, 900);
  refhost::HostEditor& shown = host_->NewEditor();
  panning->ToEditor(shown);
  EXPECT_EQ(*shown.Item(12), Value::Integer(2));
  EXPECT_EQ(*shown.Item(8), Value::Integer(0));
  using Calls = std::vector<std::pair<int16_t, int16_t>>;
  EXPECT_EQ(shown.DisableCalls(), (Calls{{11, 1}, {9, 1}, {16, 1}}));

  // Choosing a mode makes its items available, or not.
  EXPECT_EQ(panning->EditorItemChanged(shown, 8), 0);
  EXPECT_EQ(panning->EditorItemChanged(shown, 12), 0);
  EXPECT_EQ(panning->EditorItemChanged(shown, 4), 0);
  EXPECT_EQ(shown.DisableCalls(),
            (Calls{{11, 1}, {9, 1}, {16, 1}, {11, 0}, {9, 0}, {16, 0}, {11, 1}, {9, 1}, {16, 1}}));
}

TEST_F(PanningTest, OnlyTheSecondTargetItemIsLimited) {
  struct Case {
    int16_t item;
    int32_t entered;
    int32_t item9, item16;
  };
  const Case cases[] = {
      {16, 250, 100, 100}, {16, -250, -100, -100}, {16, 60, 60, 60},
      {16, 100, 100, 100}, {9, 250, 250, 250},     {9, -250, -250, -250},
  };
  for (const Case& c : cases) {
    Instance* panning = Make();
    refhost::HostEditor& editor = host_->NewEditor();
    panning->ToEditor(editor);
    editor.SetItem(c.item, Value::Integer(c.entered));
    ASSERT_EQ(panning->EditorItemChanged(editor, c.item), 0);
    EXPECT_EQ(*editor.Item(9), Value::Integer(c.item9)) << c.item << " " << c.entered;
    EXPECT_EQ(*editor.Item(16), Value::Integer(c.item16)) << c.item << " " << c.entered;
    EXPECT_EQ(+Record(panning).targetPan.value, c.item9);
    host_->Destroy(panning);
  }
}

TEST_F(PanningTest, DurationsOfEveryKindFromTheEditor) {
  struct Case {
    const char* what;
    Value item;
    int32_t ticks;
  };
  const Case cases[] = {
      {"ticks", Value::Duration(900, 1, 600), 900},
      {"a count over a divisor", Value::Duration(3000, 2, 600), 1500},
      {"the rate is not consulted", Value::Duration(600, 1, 25), 600},
      {"a divisor of 0", Value::Duration(600, 0, 600), 0},
      {"the one quotient that overflows", Value::Duration(0x80000000u, 0xFFFFFFFFu, 600), 0},
      {"a negative count", Value::Duration(static_cast<uint32_t>(-60), 1, 600), -60},
      // Items of another kind are not durations: the instance keeps what it had.
      {"an integer", Value::Integer(1200), 60},
      {"a text", Value::Text("00:02.00"), 60},
      {"nothing", Value{}, 60},
  };
  for (const Case& c : cases) {
    Instance* panning = Make();
    ASSERT_EQ(EditFixed(panning, 0, 60), 0);
    refhost::HostEditor& editor = host_->NewEditor();
    panning->ToEditor(editor);
    editor.SetItem(11, c.item);
    EXPECT_EQ(panning->FromEditor(editor), 0) << c.what;
    EXPECT_EQ(+Record(panning).durationTicks.value, c.ticks) << c.what;
    // A start with whatever came of it runs, or sets at once.
    EXPECT_EQ(Start(panning), 0) << c.what;
    RunPeriodicCalls(2);
    host_->Destroy(panning);
  }
}

TEST_F(PanningTest, EventsAnswerTheStartAndStopMessagesOnly) {
  Instance* panning = Make();
  struct Case {
    Value index;
    uint16_t result;
    uint32_t id;
  };
  auto index = [](uint8_t selector, uint32_t element) {
    IntegerValue v = EventsIndex(selector, element);
    return Value::Raw(&v, sizeof v);
  };
  const Case cases[] = {
      {index(0x80, 1), 0, 2001},
      {index(0x40, 1), 0, 2002},
      {index(0x80, 2), 1, 0},
      {index(0x20, 1), 1, 0},
      {index(0x40, 0), 1, 0},
      {Value::Real(0x40000001), 1, 0},
      {Value::MessageId(0x80000001), 1, 0},
  };
  for (const Case& c : cases) {
    MessageIdValue out = MessageId(0);
    EXPECT_EQ(panning->GetAttribute("events", c.index.raw.data(), &out), c.result)
        << c.index.Describe();
    EXPECT_EQ(+out.id, c.id) << c.index.Describe();
  }
  IntegerValue start = EventsIndex(0x80, 1);
  MessageIdValue out = MessageId(0);
  EXPECT_EQ(panning->GetAttribute("EVENTS", &start, &out), 0);
  EXPECT_EQ(panning->GetAttribute("events", nullptr, &out), 1);
  EXPECT_EQ(panning->GetAttribute("pan", &start, &out), 1);

  ASSERT_EQ(panning->VisitMessageIds(5, 6), 0);
  ASSERT_EQ(host_->Visits().size(), 2u);
  EXPECT_EQ(host_->Visits()[0].id, 2001u);
  EXPECT_EQ(host_->Visits()[1].id, 2002u);
  EXPECT_EQ(host_->Visits()[1].a, 5u);

  // Only the start message is listened for; the stop message reaches it as any message does.
  ASSERT_EQ(panning->Enable(), 0);
  EXPECT_TRUE(host_->Listening(panning, 2001, 0));
  EXPECT_FALSE(host_->Listening(panning, 2002, 0));
  ASSERT_EQ(panning->Disable(), 0);
  EXPECT_FALSE(host_->Listening(panning, 2001, 0));
}

TEST_F(PanningTest, CopiesTakeTheSettingsAndOnlyTheFollowBit) {
  Instance* source = Make();
  ASSERT_EQ(EditFollow(source), 0);
  ASSERT_EQ(Start(source), 0);
  ASSERT_EQ(Flags(source), 7);

  Instance* copy = host_->CopyConstruct(*source, owner_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(Flags(copy), ostrel::kPanFollowPosition);
  EXPECT_FALSE(host_->PeriodicRunning(copy));
  const ostrel::PanningRecord copied = Record(copy);
  EXPECT_EQ(testing_support::TextOf(&copied.durationText), "00:00.00");
  EXPECT_NE(+copied.durationText.chars, +Record(source).durationText.chars);

  Instance* assigned = Make();
  ASSERT_EQ(EditFixed(assigned, 50, 1200), 0);
  ASSERT_EQ(assigned->Assign(*source), 0);
  EXPECT_EQ(Flags(assigned), ostrel::kPanFollowPosition);
  EXPECT_EQ(+Record(assigned).durationTicks.value, 0);
  EXPECT_EQ(+Record(assigned).targetPan.value, 0);
  // The copies start and follow on their own.
  ASSERT_EQ(Start(copy), 0);
  EXPECT_TRUE(host_->PeriodicRunning(copy));
}

}  // namespace
