// The host calls each MediaCue slot makes, in order: the conversation a host relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"

namespace {

using refhost::Value;
using testing_support::SlotTrace;
using Lines = std::vector<std::string>;

constexpr uint32_t kEnableId = 2001;
constexpr uint32_t kDisableId = 2002;

class MediaCueCalls : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    clip_ = host_->AddObject(0, "clip", "movie");
    host_->SetObjectValue(clip_, "rate", Value::Integer(1000));
    cue_ = host_->Create("MediaCue", clip_);
    ASSERT_NE(cue_, nullptr);
    host_->SetTracing(true);
  }

  // The cue becomes the range the owner names under symbol 3.
  void UseRangeSymbol() {
    Value symbol;
    uint8_t choice[10] = {100, 0, 3, 0, 0, 0, 0, 0, 0, 0};
    symbol = Value::Raw(choice, sizeof choice);
    uint8_t range[10] = {11, 0, 100, 0, 0, 0, 200, 0, 0, 0};
    host_->SetObjectValue(clip_, "rangesymbol", Value::Raw(range, sizeof range), &symbol);
    refhost::HostEditor& editor = host_->NewEditor();
    ASSERT_EQ(cue_->ToEditor(editor, 0), 0);
    editor.SetItem(7, symbol);
    ASSERT_EQ(cue_->FromEditor(editor), 0);
    host_->ClearTrace();
  }

  uint32_t clip_ = 0;
  refhost::Instance* cue_ = nullptr;
};

TEST_F(MediaCueCalls, EnableAndDisableListenForTheEnableIdOnly) {
  // The disable message reaches the instance as any message about its owner does, so only
  // the enable id is registered.
  EXPECT_EQ(cue_->Enable(), 0);
  EXPECT_EQ(cue_->Disable(), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> MediaCue#1.Enable", "Instance.Listen(1, id(2001,0))",
                                      "-> MediaCue#1.Disable", "Instance.Listen(2, id(2001,0))"}));
}

TEST_F(MediaCueCalls, EnableMessageResolvesTheCueThenWatchesTheOwner) {
  UseRangeSymbol();
  EXPECT_EQ(cue_->HandleMessage(clip_, kEnableId, 0), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#1.HandleMessage", "Instance.GetOwner(out)",
                   "ObjectService.GetObjectAttribute(/clip, \"rangesymbol\", choice(3,0), out "
                   "unassigned)",
                   "StringService.AllocString(out, 17)",
                   "ObjectService.GetObjectAttribute(/clip, \"classname\", none, out text)",
                   "ObjectService.GetObjectAttribute(/clip, \"rate\", none, out integer)",
                   "ObjectService.AddNotification(/clip, request, 0)",
                   "StringService.FreeString(string of 17 bytes)"}));
  host_->ClearTrace();

  // A point cue needs no answer from the owner.
  uint8_t point[6] = {1, 0, 0x90, 0x01, 0, 0};  // 400
  refhost::HostEditor& editor = host_->NewEditor();
  editor.SetItem(7, Value::Raw(point, sizeof point));
  ASSERT_EQ(cue_->FromEditor(editor), 0);
  host_->ClearTrace();
  EXPECT_EQ(cue_->HandleMessage(clip_, kEnableId, 0), 0);
  // Watching was requested and no notification has come yet, so it is requested again.
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#1.HandleMessage", "Instance.GetOwner(out)",
                   "StringService.AllocString(out, 17)",
                   "ObjectService.GetObjectAttribute(/clip, \"classname\", none, out text)",
                   "ObjectService.GetObjectAttribute(/clip, \"rate\", none, out integer)",
                   "ObjectService.AddNotification(/clip, request, 0)",
                   "StringService.FreeString(string of 17 bytes)"}));
  host_->ClearTrace();

  EXPECT_EQ(cue_->HandleMessage(clip_, kDisableId, 0), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> MediaCue#1.HandleMessage", "Instance.GetOwner(out)",
                                      "ObjectService.RemoveNotification(/clip, 8)"}));
  host_->ClearTrace();
  EXPECT_EQ(cue_->HandleMessage(clip_, 99, 0), 1);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> MediaCue#1.HandleMessage"}));
}

TEST_F(MediaCueCalls, AKovOwnerIsAlsoAskedForItsMovie) {
  const uint32_t kov = host_->AddObject(0, "cast", "kov");
  host_->SetObjectValue(kov, "movie", Value::Integer(4));
  host_->SetObjectValue(kov, "rate", Value::Integer(-1));
  refhost::Instance* cue = host_->Create("MediaCue", kov);
  ASSERT_NE(cue, nullptr);
  host_->ClearTrace();
  EXPECT_EQ(cue->HandleMessage(kov, kEnableId, 0), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#2.HandleMessage", "Instance.GetOwner(out)",
                   "StringService.AllocString(out, 17)",
                   "ObjectService.GetObjectAttribute(/cast, \"classname\", none, out text)",
                   "ObjectService.GetObjectAttribute(/cast, \"movie\", none, out integer)",
                   "ObjectService.GetObjectAttribute(/cast, \"rate\", none, out integer)",
                   "ObjectService.AddNotification(/cast, request, 0)",
                   "StringService.FreeString(string of 17 bytes)"}));
}

TEST_F(MediaCueCalls, ACueComposesThenDeliversItsMessage) {
  UseRangeSymbol();
  ASSERT_EQ(cue_->HandleMessage(clip_, kEnableId, 0), 0);
  host_->ClearTrace();
  ASSERT_EQ(host_->SetPosition(clip_, 50), 1);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#1.PositionChanged",
                   "ObjectService.GetObjectAttribute(/clip, \"rate\", none, out integer)"}));
  host_->ClearTrace();
  ASSERT_EQ(host_->SetPosition(clip_, 150), 1);
  EXPECT_EQ(
      SlotTrace(*host_),
      (Lines{"-> MediaCue#1.PositionChanged",
             "ObjectService.GetObjectAttribute(/clip, \"rate\", none, out integer)",
             "ObjectService.ComposeMessage(MediaCue#1, choice(201,5), id(1,0), empty, 7, out)",
             "ObjectService.DeliverMessage(message id(1,0))"}));
}

TEST_F(MediaCueCalls, EditorItemsGoInTheirFixedOrder) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(cue_->ToEditor(editor, 0), 0);
  EXPECT_EQ(
      SlotTrace(*host_),
      (Lines{"-> MediaCue#1.ToEditor", "Editor.PutItem(24, id(2001,0))",
             "Editor.PutItem(25, id(2002,0))", "Editor.PutItem(14, id(1,0))",
             "Editor.PutItem(21, flag 1)", "Editor.PutItem(22, flag 1)",
             "Editor.PutItem(23, flag 1)", "Editor.PutItem(18, choice(201,5))",
             "Editor.PutItem(16, empty)", "Editor.PutItem(7, empty)", "Editor.PutItem(9, flag 1)",
             "Editor.PutItem(10, flag 0)", "Editor.PutItem(11, flag 0)"}));
  host_->ClearTrace();
  EXPECT_EQ(cue_->ToEditor(editor, 1), 1);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> MediaCue#1.ToEditor"}));
  host_->ClearTrace();

  // Each held value is read into scratch storage first and the one it replaces released, so
  // a failed read keeps the old value and a successful one loses nothing.
  EXPECT_EQ(cue_->FromEditor(editor), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#1.FromEditor", "Editor.GetItem(24, out id)",
                   "Editor.GetItem(25, out id)", "Editor.GetItem(14, out id)",
                   "Editor.GetItem(21, out flag)", "Editor.GetItem(22, out flag)",
                   "Editor.GetItem(23, out flag)", "Editor.GetItem(18, out cue-request)",
                   "ObjectService.ReleaseValue(choice(201,5))", "Editor.GetItem(16, out empty)",
                   "ObjectService.ReleaseValue(empty)", "Editor.GetItem(7, out range-request)",
                   "ObjectService.ReleaseValue(empty)", "Editor.GetItem(9, out flag)",
                   "Editor.GetItem(10, out flag)", "Editor.GetItem(11, out flag)"}));
}

TEST_F(MediaCueCalls, StoredFormVersionOneAndTheOlderOrder) {
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  EXPECT_EQ(cue_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(version, 1);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#1.StoredSize", "Stream.StoredSizeOf(id(2001,0), out)",
                   "Stream.StoredSizeOf(id(2002,0), out)", "Stream.StoredSizeOf(id(1,0), out)",
                   "Stream.StoredSizeOf(integer 7, out)", "Stream.StoredSizeOf(choice(201,5), out)",
                   "Stream.StoredSizeOf(empty, out)", "Stream.StoredSizeOf(empty, out)",
                   "Stream.StoredSizeOf(integer 0, out)"}));
  host_->ClearTrace();
  EXPECT_EQ(cue_->Save(stream), 0);
  EXPECT_EQ(
      SlotTrace(*host_),
      (Lines{"-> MediaCue#1.Save", "Stream.WriteValue(id(2001,0))", "Stream.WriteValue(id(2002,0))",
             "Stream.WriteValue(id(1,0))", "Stream.WriteValue(integer 7)",
             "Stream.WriteValue(choice(201,5))", "Stream.WriteValue(empty)",
             "Stream.WriteValue(empty)", "Stream.WriteValue(integer 0)"}));
  host_->ClearTrace();

  // Held values are read as whatever kind was stored, and the value each replaces released.
  stream.Rewind();
  EXPECT_EQ(cue_->Load(stream, 1), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#1.Load", "Stream.ReadValue(out id)", "Stream.ReadValue(out id)",
                   "Stream.ReadValue(out id)", "Stream.ReadValue(out integer)",
                   "Stream.ReadValue(out unassigned)", "ObjectService.ReleaseValue(choice(201,5))",
                   "Stream.ReadValue(out unassigned)", "ObjectService.ReleaseValue(empty)",
                   "Stream.ReadValue(out unassigned)", "ObjectService.ReleaseValue(empty)",
                   "Stream.ReadValue(out integer)"}));
  host_->ClearTrace();

  refhost::HostStream& old = host_->NewStream();
  for (const Value& v :
       {Value::MessageId(11), Value::MessageId(12), Value::Integer(300), Value::Integer(5),
        Value::MessageId(13), Value::Integer(0), Value::Integer(4)}) {
    ASSERT_TRUE(old.Write(v));
  }
  EXPECT_EQ(cue_->Load(old, 0), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#1.Load", "Stream.ReadValue(out id)", "Stream.ReadValue(out id)",
                   "Stream.ReadValue(out unassigned)", "ObjectService.ReleaseValue(empty)",
                   "Stream.ReadValue(out integer)", "Stream.ReadValue(out id)",
                   "Stream.ReadValue(out unassigned)", "ObjectService.ReleaseValue(choice(201,5))",
                   "Stream.ReadValue(out unassigned)", "ObjectService.ReleaseValue(empty)"}));
  host_->ClearTrace();
  EXPECT_EQ(cue_->Load(old, 2), 1);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> MediaCue#1.Load"}));
}

TEST_F(MediaCueCalls, CopiesCopyHeldValuesAndAssignReleasesFirst) {
  refhost::Instance* copy = host_->CopyConstruct(*cue_, clip_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> MediaCue#2.CopyConstruct",
                                      "ObjectService.CopyValue(out empty, choice(201,5))",
                                      "ObjectService.CopyValue(out empty, empty)",
                                      "ObjectService.CopyValue(out empty, empty)"}));
  host_->ClearTrace();
  // The copies would otherwise overwrite, and lose, what the target holds.
  EXPECT_EQ(copy->Assign(*cue_), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#2.Assign", "ObjectService.ReleaseValue(choice(201,5))",
                   "ObjectService.ReleaseValue(empty)", "ObjectService.ReleaseValue(empty)",
                   "ObjectService.CopyValue(out empty, choice(201,5))",
                   "ObjectService.CopyValue(out empty, empty)",
                   "ObjectService.CopyValue(out empty, empty)"}));
  host_->ClearTrace();
  host_->Destroy(copy);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> MediaCue#2.Destruct", "ObjectService.ReleaseValue(choice(201,5))",
                   "ObjectService.ReleaseValue(empty)", "ObjectService.ReleaseValue(empty)"}));
}

}  // namespace
