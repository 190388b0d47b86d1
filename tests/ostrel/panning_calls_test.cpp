// The host calls each panning slot makes, in order: the conversation a host relies on.
#include <gtest/gtest.h>

#include "tests/common/trace_calls.h"
#include "tests/ostrel/panning_rig.h"

namespace {

using refhost::Value;
using testing_support::SlotTrace;
using Lines = std::vector<std::string>;

class PanningCalls : public PanningTest {
 protected:
  void SetUp() override {
    PanningTest::SetUp();
    if (IsSkipped()) return;
    host_->SetTracing(true);
    panning_ = Make();
  }
  Lines Since(const std::function<void()>& slots) {
    host_->ClearTrace();
    slots();
    return SlotTrace(*host_);
  }
  refhost::Instance* panning_ = nullptr;
};

TEST_F(PanningCalls, ConstructMakesTheTimeTextAndAttachedAsksForTheOwner) {
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> panning#1.Construct", "StringService.StringLength(out, \"00:00.00\")",
                   "StringService.DuplicateString(out, \"00:00.00\")", "-> panning#1.Attached",
                   "Instance.GetOwner(out)"}));
  EXPECT_EQ(Since([&] {
              panning_->Enable();
              panning_->Disable();
              panning_->VisitMessageIds(3, 4);
            }),
            (Lines{"-> panning#1.Enable", "Instance.Listen(1, id(2001,0))", "-> panning#1.Disable",
                   "Instance.Listen(2, id(2001,0))", "-> panning#1.VisitMessageIds",
                   "SystemService.VisitMessageId(0, 3, 4, id(2001,0))",
                   "SystemService.VisitMessageId(0, 3, 4, id(2002,0))"}));
}

TEST_F(PanningCalls, ARampReadsThePanStartsThePeriodicCallsAndStopsThemAtTheEnd) {
  ASSERT_EQ(EditFixed(panning_, 40, 20), 0);
  EXPECT_EQ(Since([&] { Start(panning_); }),
            (Lines{"-> panning#1.HandleMessage", "Instance.GetOwner(out)",
                   "ObjectService.GetObjectAttribute(/stage/band, \"pan\", none, out integer)",
                   "PeriodicService.StartPeriodic(panning#1, 0, 10, 1, 0)"}));
  EXPECT_EQ(Since([&] { RunPeriodicCalls(3); }),
            (Lines{"-> panning#1.Periodic",
                   "ObjectService.SetObjectAttribute(/stage/band, \"pan\", none, integer 20)",
                   "-> panning#1.Periodic",
                   "ObjectService.SetObjectAttribute(/stage/band, \"pan\", none, integer 40)",
                   "-> panning#1.Periodic", "PeriodicService.StopPeriodic(panning#1, 0)",
                   "ObjectService.SetObjectAttribute(/stage/band, \"pan\", none, integer 40)"}));
  ASSERT_EQ(EditFixed(panning_, -5, 0), 0);
  EXPECT_EQ(Since([&] { Start(panning_); }),
            (Lines{"-> panning#1.HandleMessage", "Instance.GetOwner(out)",
                   "ObjectService.SetObjectAttribute(/stage/band, \"pan\", none, integer -5)"}));
}

TEST_F(PanningCalls, FollowingTakesTheSceneOnceAndTheOwnersPlaceAtEachCall) {
  ASSERT_EQ(EditFollow(panning_), 0);
  EXPECT_EQ(Since([&] { Start(panning_); }),
            (Lines{"-> panning#1.HandleMessage", "Instance.GetOwner(out)",
                   "ObjectService.GetObjectAttribute(/stage/band, \"scene\", none, out ref)",
                   "ObjectService.GetObjectAttribute(/stage, \"position\", none, out point)",
                   "ObjectService.GetObjectAttribute(/stage, \"size\", none, out point)",
                   "PeriodicService.StartPeriodic(panning#1, 0, 10, 1, 0)"}));
  EXPECT_EQ(
      Since([&] { panning_->Periodic(); }),
      (Lines{"-> panning#1.Periodic",
             "ObjectService.GetObjectAttribute(/stage/band, \"position\", none, out point)",
             "ObjectService.GetObjectAttribute(/stage/band, \"globaloffset\", none, out point)",
             "ObjectService.GetObjectAttribute(/stage/band, \"size\", none, out point)",
             "ObjectService.SetObjectAttribute(/stage/band, \"pan\", none, integer 0)"}));
  EXPECT_EQ(Since([&] { Stop(panning_); }),
            (Lines{"-> panning#1.HandleMessage", "PeriodicService.StopPeriodic(panning#1, 0)"}));
}

TEST_F(PanningCalls, TheEditorIsFilledReadAndKeptConsistent) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(Since([&] { panning_->ToEditor(editor); }),
            (Lines{"-> panning#1.ToEditor", "Editor.PutItem(4, id(2001,0))",
                   "Editor.PutItem(6, id(2002,0))", "Editor.PutItem(9, integer 0)",
                   "Editor.PutItem(16, integer 0)", "Editor.PutItem(11, duration)",
                   "Editor.PutItem(12, integer 0)", "Editor.PutItem(8, integer 1)"}));
  EXPECT_EQ(Since([&] { panning_->FromEditor(editor); }),
            (Lines{"-> panning#1.FromEditor", "Editor.GetItem(4, out id)",
                   "Editor.GetItem(6, out id)", "Editor.GetItem(12, out integer)",
                   "Editor.GetItem(9, out integer)", "Editor.GetItem(11, out duration)"}));
  editor.SetItem(16, Value::Integer(-180));
  EXPECT_EQ(Since([&] { panning_->EditorItemChanged(editor, 16); }),
            (Lines{"-> panning#1.EditorItemChanged", "Editor.GetItem(16, out integer)",
                   "Editor.PutItem(16, integer -100)", "Editor.PutItem(9, integer -100)"}));
  EXPECT_EQ(Since([&] { panning_->EditorItemChanged(editor, 12); }),
            (Lines{"-> panning#1.EditorItemChanged", "Editor.DisableItem(11, 1)",
                   "Editor.DisableItem(9, 1)", "Editor.DisableItem(16, 1)"}));
}

TEST_F(PanningCalls, TheStoredFormIsFiveValuesAndVersionOneBringsItsText) {
  refhost::HostStream& stream = host_->NewStream();
  EXPECT_EQ(Since([&] {
              int16_t version = 0;
              uint32_t size = 0;
              panning_->StoredSize(stream, &version, &size);
              panning_->Save(stream);
            }),
            (Lines{"-> panning#1.StoredSize", "Stream.StoredSizeOf(id(2001,0), out)",
                   "Stream.StoredSizeOf(id(2002,0), out)", "Stream.StoredSizeOf(integer 0, out)",
                   "Stream.StoredSizeOf(integer 0, out)", "Stream.StoredSizeOf(integer 0, out)",
                   "-> panning#1.Save", "Stream.WriteValue(id(2001,0))",
                   "Stream.WriteValue(id(2002,0))", "Stream.WriteValue(integer 0)",
                   "Stream.WriteValue(integer 0)", "Stream.WriteValue(integer 0)"}));
  refhost::HostStream& old = host_->NewStream();
  for (const Value& v : {Value::MessageId(2001), Value::MessageId(2002), Value::Integer(0),
                         Value::Integer(75), Value::Text("00:01.00")}) {
    old.Write(v);
  }
  const Lines load = Since([&] { panning_->Load(old, 1); });
  ASSERT_EQ(load.size(), 7u);
  EXPECT_EQ(Lines(load.begin(), load.begin() + 6),
            (Lines{"-> panning#1.Load", "Stream.ReadValue(out id)", "Stream.ReadValue(out id)",
                   "Stream.ReadValue(out integer)", "Stream.ReadValue(out integer)",
                   "Stream.ReadValue(out text)"}));
  // The buffer of Construct goes back once the stream has brought its own.
  EXPECT_EQ(load[6].rfind("StringService.FreeString(string of 9 bytes)", 0), 0u) << load[6];
}

TEST_F(PanningCalls, DestructStopsWhatRunsAndGivesBackTheText) {
  ASSERT_EQ(EditFollow(panning_), 0);
  ASSERT_EQ(Start(panning_), 0);
  EXPECT_EQ(Since([&] { host_->Destroy(panning_); }),
            (Lines{"-> panning#1.Destruct", "PeriodicService.StopPeriodic(panning#1, 0)",
                   "StringService.FreeString(string of 9 bytes)"}));
}

}  // namespace
