// MediaCue while its owner plays: points, ranges and the three trigger modes, direction
// changes, jump-back re-arming, range symbols, "kov" owners and the enable/disable messages.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/playback.h"
#include "tavin/media_cue.h"
#include "tests/common/plugin_fixture.h"

namespace {

constexpr uint32_t kEnable = 2001;
constexpr uint32_t kDisable = 2002;

refhost::Value Range(int32_t start, int32_t end) {
  const RangeValue range{tag::kRange, start, end};
  return refhost::Value::Raw(&range, sizeof range);
}

refhost::Value Choice(uint32_t selection, uint32_t word = 0) {
  const ChoiceValue choice{tag::kChoice, selection, word};
  return refhost::Value::Raw(&choice, sizeof choice);
}

refhost::Value Empty() {
  const EmptyValue empty{tag::kEmpty};
  return refhost::Value::Raw(&empty, sizeof empty);
}

// One owner object playing, with one MediaCue attached to it.
struct Rig {
  uint32_t clip = 0;
  refhost::Instance* cue = nullptr;
};

class MediaCuePlay : public PluginTest {
 protected:
  // A new owner of `className` at `rate`, with an enabled MediaCue that has `setting` as its
  // cue and has received its enable message.
  Rig Start(const refhost::Value& setting, int mode = -1, int32_t rate = 1000,
            const char* className = "movie") {
    Rig rig;
    rig.clip = host_->AddObject(0, "clip" + std::to_string(++clips_), className);
    rig.cue = host_->Create("MediaCue", rig.clip);
    EXPECT_NE(rig.cue, nullptr);
    if (rig.cue == nullptr) return rig;
    Configure(rig.cue, setting, mode);
    refhost::Playback(*host_, rig.clip).SetRate(rate);
    EXPECT_EQ(rig.cue->Enable(), 0);
    EXPECT_EQ(rig.cue->HandleMessage(rig.clip, kEnable, 0), 0);
    return rig;
  }

  // Sets the cue (editor item 7) and, when a mode is given, the trigger mode (items 9 to 11).
  void Configure(refhost::Instance* cue, const refhost::Value& setting, int mode = -1) {
    refhost::HostEditor& editor = host_->NewEditor();
    ASSERT_EQ(cue->ToEditor(editor), 0);
    editor.SetItem(tavin::kMediaCueRangeItem, setting);
    for (int m = 0; mode >= 0 && m < 3; ++m) {
      editor.SetItem(tavin::kMediaCueModeItems[m], refhost::Value::Flag(m == mode));
    }
    ASSERT_EQ(cue->FromEditor(editor), 0);
  }

  // How many messages went out while the owner took these positions, one at a time.
  int SentAt(const Rig& rig, std::initializer_list<int32_t> positions) {
    const size_t before = host_->Messages().size();
    for (int32_t p : positions) host_->SetPosition(rig.clip, p);
    return static_cast<int>(host_->Messages().size() - before);
  }

  static tavin::MediaCueRecord Record(const Rig& rig) {
    tavin::MediaCueRecord r;
    std::memcpy(&r, rig.cue->Record(), sizeof r);
    return r;
  }

  int clips_ = 0;
};

TEST_F(MediaCuePlay, PointFiresOncePerPassAndJumpBackRearms) {
  const Rig rig = Start(refhost::Value::Integer(500));
  EXPECT_EQ(SentAt(rig, {100, 300}), 0);
  EXPECT_EQ(SentAt(rig, {520}), 1);
  EXPECT_EQ(SentAt(rig, {600}), 0);
  EXPECT_EQ(SentAt(rig, {50}), 0);  // back over the point: re-armed, nothing sent (it had fired)
  EXPECT_EQ(SentAt(rig, {400}), 0);
  EXPECT_EQ(SentAt(rig, {500}), 1);

  // What went out: the configured defaults, concerning the owner, delivered.
  ASSERT_EQ(host_->Messages().size(), 2u);
  const refhost::MessageLogEntry& sent = host_->Messages().back();
  EXPECT_EQ(sent.id, 1u);
  EXPECT_EQ(sent.second, 0u);
  EXPECT_EQ(sent.flags, 7u);
  EXPECT_EQ(sent.destinationValue, Choice(201, 5));
  EXPECT_EQ(sent.data.tag, tag::kEmpty);
  EXPECT_EQ(sent.object, rig.clip);
  EXPECT_EQ(sent.sender, rig.cue);
  EXPECT_TRUE(sent.delivered);
}

TEST_F(MediaCuePlay, PlayingOverTimeSendsAtTheFirstStepPastThePoint) {
  const Rig rig = Start(refhost::Value::Integer(1250));
  refhost::Playback playback(*host_, rig.clip);
  EXPECT_EQ(playback.Seek(0), 1);
  const std::vector<int32_t> positions = playback.Play(2000, 100);
  ASSERT_EQ(positions.size(), 20u);
  EXPECT_EQ(positions.front(), 100);
  EXPECT_EQ(positions.back(), 2000);
  EXPECT_EQ(host_->Messages().size(), 1u);
  EXPECT_EQ(+Record(rig).lastPosition, 2000);

  // Played backward over the point: falling with a negative rate is play, and the cue fired
  // in this pass already.
  playback.SetRate(-1000);
  playback.Play(1000, 100);
  EXPECT_EQ(playback.Position(), 1000);
  EXPECT_EQ(host_->Messages().size(), 1u);
  // A jump forward against backward play re-arms; reaching the point going down sends.
  playback.Seek(1400);
  playback.Play(300, 100);
  EXPECT_EQ(host_->Messages().size(), 2u);
}

TEST_F(MediaCuePlay, LeadingEdgeAndInsideModes) {
  // Mode 0: the leading edge, however late the first notification past it arrives.
  const Rig leading = Start(Range(100, 200), tavin::kTriggerLeadingEdge);
  EXPECT_EQ(SentAt(leading, {50}), 0);
  EXPECT_EQ(SentAt(leading, {250}), 1);
  EXPECT_EQ(SentAt(leading, {300, 900}), 0);  // no upper bound, but once per pass

  // Mode 1: every notification inside the range; a range skipped whole, once.
  const Rig inside = Start(Range(100, 200), tavin::kTriggerInside);
  EXPECT_EQ(SentAt(inside, {90}), 0);
  EXPECT_EQ(SentAt(inside, {120, 150, 180}), 3);
  EXPECT_EQ(SentAt(inside, {100, 200}), 2);  // both ends belong to the range
  EXPECT_EQ(SentAt(inside, {260}), 0);       // it fired inside: leaving sends nothing
  EXPECT_EQ(SentAt(inside, {90}), 0);        // back: re-armed
  EXPECT_EQ(SentAt(inside, {260}), 1);       // skipped between two notifications
  EXPECT_EQ(SentAt(inside, {300}), 0);

  // Any other mode never fires on the way; only a jump back over the unfired cue sends it.
  const Rig unknown = Start(Range(100, 200));
  tavin::MediaCueRecord r = Record(unknown);
  r.triggerMode.value = 3;
  std::memcpy(unknown.cue->Record(), &r, sizeof r);
  EXPECT_EQ(SentAt(unknown, {50, 150, 250}), 0);
  EXPECT_EQ(SentAt(unknown, {0}), 1);
  EXPECT_EQ(SentAt(unknown, {150, 250}), 0);
}

TEST_F(MediaCuePlay, TrailingEdgeModeInBothDirections) {
  const Rig forward = Start(Range(100, 200), tavin::kTriggerTrailingEdge);
  EXPECT_EQ(SentAt(forward, {50, 150, 199}), 0);
  EXPECT_EQ(SentAt(forward, {200}), 1);
  EXPECT_EQ(SentAt(forward, {250}), 0);

  // Backward the trailing edge is the start of the range.
  const Rig backward = Start(Range(100, 200), tavin::kTriggerTrailingEdge, -1000);
  EXPECT_EQ(+Record(backward).direction, tavin::kDirectionBackward);
  EXPECT_EQ(SentAt(backward, {300, 150, 101}), 0);
  EXPECT_EQ(SentAt(backward, {100}), 1);
  EXPECT_EQ(SentAt(backward, {20}), 0);

  // Mode 0 backward starts at the end of the range.
  const Rig leading = Start(Range(100, 200), tavin::kTriggerLeadingEdge, -1000);
  EXPECT_EQ(SentAt(leading, {300, 201}), 0);
  EXPECT_EQ(SentAt(leading, {200}), 1);
}

TEST_F(MediaCuePlay, JumpBackBeforeTheCueSendsAtOnceUnlessThePositionIsMinusOne) {
  const Rig rig = Start(refhost::Value::Integer(500));
  EXPECT_EQ(SentAt(rig, {100, 300}), 0);
  EXPECT_EQ(SentAt(rig, {50}), 1);   // back, not fired: sent at once
  EXPECT_EQ(SentAt(rig, {600}), 0);  // and that was this pass's message
  EXPECT_EQ(SentAt(rig, {10}), 0);   // back again: re-armed only
  EXPECT_EQ(SentAt(rig, {520}), 1);

  const Rig other = Start(refhost::Value::Integer(500));
  EXPECT_EQ(SentAt(other, {100, 300, -1}), 0);  // -1 is no position: re-armed, nothing sent
  EXPECT_EQ(SentAt(other, {500}), 1);
}

TEST_F(MediaCuePlay, ARateTurningNegativeIsPlayNotAJumpBack) {
  const Rig rig = Start(refhost::Value::Integer(500));
  EXPECT_EQ(SentAt(rig, {100, 600}), 1);
  refhost::Playback(*host_, rig.clip).SetRate(-1000);
  // Falling while the rate is negative is ordinary play: the cue stays fired.
  EXPECT_EQ(SentAt(rig, {550, 400}), 0);
  EXPECT_EQ(+Record(rig).direction, tavin::kDirectionBackward);
  EXPECT_EQ(+Record(rig).rate.value, -1000);
  // Rising against a negative rate is the jump back: re-armed, then reached going down.
  EXPECT_EQ(SentAt(rig, {700}), 0);
  EXPECT_EQ(SentAt(rig, {450}), 1);
}

TEST_F(MediaCuePlay, AtMostOneMessagePerNotification) {
  const Rig rig = Start(refhost::Value::Integer(-100));
  EXPECT_EQ(SentAt(rig, {-200}), 0);
  // A second enable message reads everything again and starts the next pass from 0.
  EXPECT_EQ(rig.cue->HandleMessage(rig.clip, kEnable, 0), 0);
  EXPECT_EQ(+Record(rig).lastPosition, 0);
  EXPECT_EQ(host_->Notifications().size(), 1u);  // already watching: no second request
  // -50 is both a jump back (from 0) before the cue fired and past the point: one message.
  EXPECT_EQ(SentAt(rig, {-50}), 1);
}

TEST_F(MediaCuePlay, RangeSymbolsResolvedByTheOwner) {
  const Rig rig = Start(Empty());
  const refhost::Value known = Choice(7), integer = Choice(9), text = Choice(10);
  host_->SetObjectValue(rig.clip, "rangesymbol", Range(100, 200), &known);
  host_->SetObjectValue(rig.clip, "rangesymbol", refhost::Value::Integer(150), &integer);
  host_->SetObjectValue(rig.clip, "rangesymbol", refhost::Value::Text("chapter one"), &text);

  Configure(rig.cue, Choice(7));
  rig.cue->HandleMessage(rig.clip, kEnable, 0);
  EXPECT_EQ(+Record(rig).activeRange[0], tag::kRange);
  EXPECT_EQ(SentAt(rig, {50, 120}), 1);

  // An unknown symbol, an integer answer, a text answer: no cue at all, and nothing lost.
  for (uint32_t symbol : {8u, 9u, 10u}) {
    SCOPED_TRACE(symbol);
    Configure(rig.cue, Choice(symbol));
    rig.cue->HandleMessage(rig.clip, kEnable, 0);
    EXPECT_EQ(+Record(rig).activeRange[0], tag::kEmpty);
    EXPECT_EQ(SentAt(rig, {0, 150, 300, 10, 250}), 0);
  }

  // With no cue configured the last resolved one stands.
  Configure(rig.cue, Choice(7));
  rig.cue->HandleMessage(rig.clip, kEnable, 0);
  Configure(rig.cue, Empty());
  EXPECT_EQ(+Record(rig).rangeSetting[0], tag::kEmpty);
  rig.cue->HandleMessage(rig.clip, kEnable, 0);
  EXPECT_EQ(SentAt(rig, {50, 150}), 1);
}

TEST_F(MediaCuePlay, KovOwnerWithAMovieIsAlwaysAtZero) {
  // The class name is cut at its first space and compared in any case.
  const Rig pinned = Start(refhost::Value::Integer(1), -1, 1000, "KOV scene");
  host_->SetObjectValue(pinned.clip, "movie", refhost::Value::Integer(3));
  pinned.cue->HandleMessage(pinned.clip, kEnable, 0);
  EXPECT_EQ(+Record(pinned).movieValue, 3);
  refhost::Playback(*host_, pinned.clip).Play(1000, 100);
  EXPECT_TRUE(host_->Messages().empty());  // position 0 never reaches 1

  // A "kov" whose movie is 0 plays as any owner does.
  host_->SetObjectValue(pinned.clip, "movie", refhost::Value::Integer(0));
  pinned.cue->HandleMessage(pinned.clip, kEnable, 0);
  refhost::Playback(*host_, pinned.clip).Play(100, 100);
  EXPECT_EQ(host_->Messages().size(), 1u);

  // "kovx" is another class: its "movie" is never read.
  const Rig other = Start(refhost::Value::Integer(1), -1, 1000, "kovx");
  host_->SetObjectValue(other.clip, "movie", refhost::Value::Integer(3));
  other.cue->HandleMessage(other.clip, kEnable, 0);
  EXPECT_EQ(+Record(other).movieValue, 0);
  refhost::Playback(*host_, other.clip).Play(300, 100);
  EXPECT_EQ(host_->Messages().size(), 2u);
}

TEST_F(MediaCuePlay, DisableMessageStopsNotificationsAndKeepsFired) {
  const Rig rig = Start(refhost::Value::Integer(100));
  ASSERT_EQ(host_->Notifications().size(), 1u);
  EXPECT_EQ(host_->Notifications()[0].kind, abi::kPositionNotification);
  EXPECT_EQ(host_->Notifications()[0].object, rig.clip);
  EXPECT_EQ(SentAt(rig, {50, 150}), 1);

  // Only the enable id is listened for; the disable message is sent to the instance itself.
  EXPECT_EQ(host_->SendMessage(rig.clip, kDisable).delivered, 0);
  EXPECT_EQ(rig.cue->HandleMessage(rig.clip, kDisable, 0), 0);
  EXPECT_TRUE(host_->Notifications().empty());
  EXPECT_EQ(+Record(rig).watchFlags & tavin::kWatching, 0);
  EXPECT_EQ(+Record(rig).cueFlags & tavin::kCueFired, tavin::kCueFired);
  EXPECT_EQ(SentAt(rig, {0, 200}), 0);

  // After Disable the enable message no longer arrives.
  EXPECT_EQ(rig.cue->Disable(), 0);
  EXPECT_EQ(host_->SendMessage(rig.clip, kEnable).delivered, 0);
  EXPECT_TRUE(host_->Notifications().empty());
}

TEST_F(MediaCuePlay, AnUnreadableClassNameSkipsTheReset) {
  const Rig rig = Start(refhost::Value::Integer(100));
  EXPECT_EQ(SentAt(rig, {50, 150}), 1);
  rig.cue->HandleMessage(rig.clip, kDisable, 0);
  ASSERT_TRUE(host_->Notifications().empty());

  // A class name that cannot be read as text: the cue is resolved again, nothing else is,
  // and the buffer asked for is still given back (the fixture checks for leaks).
  host_->SetObjectValue(rig.clip, "classname", Range(1, 2));
  Configure(rig.cue, refhost::Value::Integer(900));
  EXPECT_EQ(rig.cue->HandleMessage(rig.clip, kEnable, 0), 0);
  EXPECT_TRUE(host_->Notifications().empty());
  const tavin::MediaCueRecord r = Record(rig);
  EXPECT_EQ(+r.activeRange[0], tag::kInteger);
  EXPECT_EQ(+r.cueFlags & tavin::kCueFired, tavin::kCueFired);  // not re-armed
  EXPECT_EQ(+r.lastPosition, 150);
  EXPECT_EQ(+r.direction, tavin::kDirectionForward);
}

TEST_F(MediaCuePlay, OtherMessagesAndPeriodicCallsChangeNothing) {
  const Rig rig = Start(refhost::Value::Integer(100));
  host_->SetPosition(rig.clip, 40);
  uint8_t before[182];
  std::memcpy(before, rig.cue->Record(), sizeof before);
  EXPECT_EQ(rig.cue->HandleMessage(rig.clip, 2003, 0), 1);
  EXPECT_EQ(rig.cue->HandleMessage(rig.clip, kEnable, 1), 1);  // the second word counts
  EXPECT_EQ(rig.cue->HandleMessage(rig.clip, 0, kEnable), 1);
  EXPECT_EQ(rig.cue->HandleMessage(nullptr), 1);
  EXPECT_EQ(rig.cue->Periodic(), 0);
  EXPECT_EQ(std::memcmp(before, rig.cue->Record(), sizeof before), 0);
  EXPECT_TRUE(host_->Messages().empty());
}

}  // namespace

namespace {

// Every allocation of a whole life refused in turn: the class-name text, the held texts from
// the editor, copies and stored forms. Whatever fails, nothing crashes, and no buffer is lost
// or freed twice.
TEST_F(MediaCuePlay, EveryAllocationRefusedInTurnLeavesTheBooksBalanced) {
  uint32_t grant = 0;
  for (;; ++grant) {
    ASSERT_LT(grant, 64u) << "a life should make far fewer allocations";
    const uint32_t refusedBefore = host_->RefusedAllocations();
    host_->FailAllocations(grant, 1);
    const uint32_t clip = host_->AddObject(0, "clip" + std::to_string(++clips_), "movie");
    refhost::Instance* cue = host_->Create("MediaCue", clip);
    ASSERT_NE(cue, nullptr);
    refhost::HostEditor& editor = host_->NewEditor();
    cue->ToEditor(editor);
    editor.SetItem(tavin::kMediaCueRangeItem, refhost::Value::Integer(500));
    editor.SetItem(tavin::kMediaCueDataItem, refhost::Value::Text("the data"));
    cue->FromEditor(editor);
    refhost::Playback(*host_, clip).SetRate(1000);
    cue->Enable();
    cue->HandleMessage(clip, kEnable, 0);
    host_->SetPosition(clip, 100);
    host_->SetPosition(clip, 600);
    refhost::HostStream& stream = host_->NewStream();
    int16_t version = 0;
    uint32_t size = 0;
    cue->StoredSize(stream, &version, &size);
    cue->Save(stream);
    refhost::Instance* copy = host_->CopyConstruct(*cue, clip);
    if (copy != nullptr) {
      stream.Rewind();
      copy->Load(stream, version);
      copy->Assign(*cue);
      host_->Destroy(copy);
    }
    cue->HandleMessage(clip, kDisable, 0);
    host_->Destroy(cue);
    EXPECT_TRUE(host_->Ownership().Faults().empty()) << "refusing allocation " << grant;
    EXPECT_TRUE(host_->Ownership().Leaks().empty()) << "refusing allocation " << grant;
    if (host_->RefusedAllocations() == refusedBefore) break;
  }
  host_->StopFailingAllocations();
  EXPECT_GE(grant, 4u) << "the life above allocates texts for the editor, arming and copies";
}

}  // namespace
