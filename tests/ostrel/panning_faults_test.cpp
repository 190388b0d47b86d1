// panning where it could go wrong: running instances that are destroyed, copied onto, loaded or
// re-edited; fields read before anything set them; bad durations, far-away owners, damaged time
// texts; owners and scenes without the attributes it reads; and a host that runs out of memory.
#include <gtest/gtest.h>

#include "tests/common/trace_calls.h"
#include "tests/ostrel/panning_rig.h"

namespace {

using refhost::Instance;
using refhost::Value;

class PanningFaults : public PanningTest {
 protected:
  // An instance in each of the two running states.
  Instance* Ramping() {
    Instance* panning = Make();
    EXPECT_EQ(EditFixed(panning, 100, 6000), 0);
    EXPECT_EQ(Start(panning), 0);
    EXPECT_TRUE(host_->PeriodicRunning(panning));
    return panning;
  }
  Instance* Following() {
    Instance* panning = Make();
    EXPECT_EQ(EditFollow(panning), 0);
    EXPECT_EQ(Start(panning), 0);
    EXPECT_TRUE(host_->PeriodicRunning(panning));
    return panning;
  }
  std::vector<Instance*> Running() { return {Ramping(), Following()}; }
};

TEST_F(PanningFaults, DestructStopsThePeriodicCalls) {
  for (Instance* panning : Running()) {
    host_->SetTracing(true);
    host_->Destroy(panning);
    const std::vector<std::string> calls = testing_support::SlotTrace(*host_);
    host_->SetTracing(false);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[1].rfind("PeriodicService.StopPeriodic(panning#", 0), 0u) << calls[1];
  }
  // Removing the owner destroys its instances: none is left ticking either.
  Ramping();
  host_->RemoveObject(owner_);
  EXPECT_TRUE(host_->DestroyedWhileRunning().empty());
}

TEST_F(PanningFaults, AssignAndLoadStopWhatWasRunningFirst) {
  Instance* source = Make();
  for (Instance* panning : Running()) {
    ASSERT_EQ(panning->Assign(*source), 0);
    EXPECT_FALSE(host_->PeriodicRunning(panning));
    EXPECT_EQ(Flags(panning), 0);
  }
  for (Instance* panning : Running()) {
    const int32_t follow = Flags(panning) & ostrel::kPanFollowPosition;
    ASSERT_EQ(panning->Assign(*panning), 0);  // onto itself: the settings stay, it stops
    EXPECT_FALSE(host_->PeriodicRunning(panning));
    EXPECT_EQ(Flags(panning), follow);
  }
  for (Instance* panning : Running()) {
    refhost::HostStream& stream = host_->NewStream();
    for (const Value& v : {Value::MessageId(2001), Value::MessageId(2002), Value::Integer(0),
                           Value::Integer(100), Value::Integer(600)}) {
      stream.Write(v);
    }
    ASSERT_EQ(panning->Load(stream, 3), 0);
    EXPECT_FALSE(host_->PeriodicRunning(panning));
    EXPECT_EQ(Flags(panning), 0);
  }
  EXPECT_TRUE(host_->DestroyedWhileRunning().empty());
}

TEST_F(PanningFaults, AStoredStartedBitDoesNotTurnTheFirstStartIntoAStop) {
  for (int32_t stored : {7, 5, 4, 3}) {
    Instance* panning = Make();
    refhost::HostStream& stream = host_->NewStream();
    for (const Value& v : {Value::MessageId(2001), Value::MessageId(2002), Value::Integer(stored),
                           Value::Integer(40), Value::Integer(0)}) {
      stream.Write(v);
    }
    ASSERT_EQ(panning->Load(stream, 3), 0);
    EXPECT_EQ(Flags(panning), stored & ostrel::kPanFollowPosition) << stored;
    ASSERT_EQ(Start(panning), 0);
    EXPECT_NE(Flags(panning) & ostrel::kPanStarted, 0) << stored;
    host_->Destroy(panning);
  }
}

TEST_F(PanningFaults, FieldsAStartSetsAreDefinedFromConstructOn) {
  // Memory that is not cleared, and no owner to attach to.
  host_->SetFreshInstanceBytes({0x11, 0x72, 0x33, 0x44, 0x55, 0x96, 0x77, 0x08});
  Instance* panning = host_->Create("panning", 0);
  ASSERT_NE(panning, nullptr);
  const ostrel::PanningRecord r = Record(panning);
  EXPECT_EQ(+r.sceneRect.tag, tag::kRectangle);
  for (int16_t coordinate : r.sceneRect.coordinates) EXPECT_EQ(coordinate, 0);
  EXPECT_EQ(+r.stepIncrement.value, 0.0);
  EXPECT_EQ(+r.stepsLeft.value, 0);
  EXPECT_EQ(+r.ownerObject, 0u);
  Instance* copy = host_->CopyConstruct(*panning, 0);
  EXPECT_EQ(+Record(copy).stepsLeft.value, 0);
  EXPECT_EQ(+Record(copy).sceneRect.coordinates[2], 0);
  host_->SetFreshInstanceBytes({});

  // A ramp that becomes a follower in the editor stops, and a follower that becomes a ramp.
  for (Instance* running : Running()) {
    const bool follows = (Flags(running) & ostrel::kPanFollowPosition) != 0;
    ASSERT_EQ(follows ? EditFixed(running, 10, 60) : EditFollow(running), 0);
    EXPECT_FALSE(host_->PeriodicRunning(running)) << follows;
    EXPECT_EQ(Flags(running) & ~ostrel::kPanFollowPosition, 0) << follows;
    EXPECT_EQ(Start(running), 0) << "a start, not a stop";
    EXPECT_TRUE(host_->PeriodicRunning(running));
  }
}

TEST_F(PanningFaults, AFarAwayOwnerIsLimitedBeforeItIsNarrowed) {
  // Half width 1: 399 away gives 39900, which in 16 bits would read as -25636.
  host_->SetObjectValue(stage_, "size", Value::Point(2, 2));
  host_->SetObjectValue(owner_, "size", Value::Point(0, 0));
  for (int16_t x : {400, -398, 32000, -32000}) {
    Place(x, 0);
    Instance* panning = Make();
    ASSERT_EQ(EditFollow(panning), 0);
    ASSERT_EQ(Start(panning), 0);
    ASSERT_EQ(panning->Periodic(), 0);
    EXPECT_EQ(Pan(), x > 0 ? 100 : -100) << x;
    host_->Destroy(panning);
  }
}

TEST_F(PanningFaults, AFailedPanReadAtAStartLeavesItIdle) {
  Instance* panning = Make();
  ASSERT_EQ(EditFixed(panning, 50, 600), 0);
  const uint32_t mute = host_->AddObject(stage_, "mute");  // no "pan"
  Instance* other = host_->Create("panning", mute);
  ASSERT_EQ(EditFixed(other, 50, 600), 0);
  for (int attempt = 0; attempt < 2; ++attempt) {
    EXPECT_EQ(other->HandleMessage(mute, 2001, 0), 1) << attempt;  // a start, refused, each time
    EXPECT_EQ(Flags(other), 0);
    EXPECT_FALSE(host_->PeriodicRunning(other));
  }
  // With no duration, the set fails and is only recorded.
  ASSERT_EQ(EditFixed(other, 50, 0), 0);
  EXPECT_EQ(other->HandleMessage(mute, 2001, 0), 0);
  ASSERT_FALSE(host_->AttributeWrites().empty());
  EXPECT_NE(host_->AttributeWrites().back().status, 0);
  EXPECT_EQ(Start(panning), 0);
}

TEST_F(PanningFaults, MissingAttributesAndAGoneOwnerAreOnlyRecorded) {
  // A scene without "size", an owner without "globaloffset" and "size": they count as 0.
  const uint32_t bare = host_->AddObject(0, "bare");
  host_->SetObjectValue(owner_, "scene", Value::Reference(bare));
  Instance* panning = Following();
  ASSERT_EQ(panning->Periodic(), 0);
  EXPECT_EQ(Pan(), 0);  // half width 0
  // An owner without a place: nothing is set, and the call says so.
  const uint32_t ghost = host_->AddObject(stage_, "ghost");
  Instance* lost = host_->Create("panning", ghost);
  ASSERT_EQ(EditFollow(lost), 0);
  ASSERT_EQ(lost->HandleMessage(ghost, 2001, 0), 0);
  const size_t writes = host_->AttributeWrites().size();
  EXPECT_EQ(lost->Periodic(), 1);
  EXPECT_EQ(host_->AttributeWrites().size(), writes);

  // The owner goes away under a ramp (replaced by a new object): the sets fail, the ramp runs
  // out and stops as usual.
  host_->SetObjectValue(owner_, "scene", Value::Reference(stage_));
  Instance* ramp = Ramping();
  host_->ReplaceObject(owner_);
  RunPeriodicCalls(601);
  EXPECT_FALSE(host_->PeriodicRunning(ramp));
  EXPECT_NE(host_->AttributeWrites().back().status, 0);
}

// Every allocation of a whole life refused in turn: whatever fails, no slot crashes, and no
// buffer is lost or freed twice (the fixture checks the host's books at the end).
TEST_F(PanningFaults, EveryAllocationRefusedInTurnLeavesTheBooksBalanced) {
  uint32_t grant = 0;
  for (;; ++grant) {
    ASSERT_LT(grant, 64u) << "a life should make far fewer allocations";
    const uint32_t refusedBefore = host_->RefusedAllocations();
    host_->FailAllocations(grant, 1);
    Instance* panning = Make();
    ASSERT_NE(panning, nullptr);
    EditFixed(panning, 80, 120);
    Start(panning);
    RunPeriodicCalls(3);
    Instance* copy = host_->CopyConstruct(*panning, owner_);
    for (const char* text : {"00:01.00", "1:30.50", "00:02.00 and more"}) {
      refhost::HostStream& stream = host_->NewStream();
      for (const Value& v : {Value::MessageId(2001), Value::MessageId(2002), Value::Integer(2),
                             Value::Integer(70), Value::Text(text)}) {
        stream.Write(v);
      }
      copy->Load(stream, 1);
    }
    panning->Assign(*copy);
    Start(copy);
    RunPeriodicCalls(2);
    host_->Destroy(copy);
    host_->Destroy(panning);
    EXPECT_TRUE(host_->Ownership().Faults().empty()) << "refusing allocation " << grant;
    EXPECT_TRUE(host_->Ownership().Leaks().empty()) << "refusing allocation " << grant;
    if (host_->RefusedAllocations() == refusedBefore) break;
  }
  host_->StopFailingAllocations();
  EXPECT_GE(grant, 6u) << "construct, copy, assign and three loads each make a text";
}

}  // namespace
