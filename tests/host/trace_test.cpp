// The host call trace: what it records, how it nests, and that it is silent when off.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"

namespace {

using testing_support::SlotTrace;
using testing_support::TestText;
using Lines = std::vector<std::string>;

class Trace : public PluginTest {};

TEST_F(Trace, RecordsNothingUntilSwitchedOnAndForgetsOnClear) {
  uint32_t movie = host_->AddObject(0, "movie");
  refhost::Instance* quit = host_->Create("Quit", movie);
  ASSERT_NE(quit, nullptr);
  EXPECT_EQ(quit->Enable(), 0);
  EXPECT_TRUE(host_->Trace().empty());
  EXPECT_FALSE(host_->Tracing());
  host_->SetTracing(true);
  EXPECT_EQ(quit->Disable(), 0);
  ASSERT_EQ(host_->Trace().size(), 3u);
  const refhost::HostCall& slot = host_->Trace()[0];
  EXPECT_TRUE(slot.intoPlugin);
  EXPECT_EQ(slot.Line(), "-> Quit#1.Disable = 0");
  const refhost::HostCall& listen = host_->Trace()[1];
  EXPECT_FALSE(listen.intoPlugin);
  EXPECT_EQ(listen.caller, "Quit#1");
  EXPECT_EQ(listen.depth, 1);
  EXPECT_EQ(listen.Line(), "Quit#1: Instance.Listen(2, id(1802,0)) = 0");
  host_->ClearTrace();
  EXPECT_TRUE(host_->Trace().empty());
  host_->SetTracing(false);
  EXPECT_EQ(quit->Enable(), 0);
  EXPECT_TRUE(host_->Trace().empty());
  // What the instance did while tracing was off still took effect.
  EXPECT_TRUE(host_->Listening(quit, 1802, 0));
}

TEST_F(Trace, KeepsStatusesAndCallsFromOutsideAnyCallback) {
  host_->SetTracing(true);
  void* strings = host_->ServiceObject(abi::service::kString);
  EXPECT_EQ(CallHostMethod(strings, abi::kServiceRow, abi::method::kStringLength,
                           static_cast<void*>(nullptr), "abc"),
            1u);
  ASSERT_EQ(host_->Trace().size(), 1u);
  const refhost::HostCall& call = host_->Trace()[0];
  EXPECT_EQ(call.caller, "");
  EXPECT_EQ(call.depth, 0);
  EXPECT_EQ(call.Line(), "StringService.StringLength(out, \"abc\") = 1");
}

TEST_F(Trace, NestsDeliveredMessagesUnderTheSlotThatSentThem) {
  uint32_t clip = host_->AddObject(0, "clip", "movie");
  host_->SetObjectValue(clip, "rate", refhost::Value::Integer(1000));
  refhost::Instance* cue = host_->Create("MediaCue", clip);
  refhost::Instance* quit = host_->Create("Quit", clip);
  ASSERT_NE(cue, nullptr);
  ASSERT_NE(quit, nullptr);
  // The cue sends id 1 at position 0; Quit listens for it.
  refhost::HostEditor& editor = host_->NewEditor();
  editor.SetItem(6, refhost::Value::MessageId(1));
  ASSERT_EQ(quit->FromEditor(editor), 0);
  ASSERT_EQ(quit->Enable(), 0);
  uint8_t point[6] = {1, 0, 0, 0, 0, 0};
  editor.SetItem(7, refhost::Value::Raw(point, sizeof point));
  ASSERT_EQ(cue->FromEditor(editor), 0);
  ASSERT_EQ(cue->HandleMessage(clip, 2001, 0), 0);
  host_->SetTracing(true);
  ASSERT_EQ(host_->SetPosition(clip, 10), 1);
  std::vector<std::string> nested;
  for (const refhost::HostCall& call : host_->Trace()) {
    nested.push_back(std::string(2 * static_cast<size_t>(call.depth), ' ') + call.Line());
  }
  EXPECT_EQ(nested,
            (Lines{"-> MediaCue#1.PositionChanged = 0",
                   "  MediaCue#1: ObjectService.GetObjectAttribute(/clip, \"rate\", none, out "
                   "integer) = 0",
                   "  MediaCue#1: ObjectService.ComposeMessage(MediaCue#1, choice(201,5), id(1,0), "
                   "empty, 7, out) = 0",
                   "  MediaCue#1: ObjectService.DeliverMessage(message id(1,0)) = 0",
                   "    -> Quit#2.HandleMessage = 0"}));
  host_->DestroyAll();
}

TEST_F(Trace, AnotherInstancesSetAttributeIsTracedAndItsCallsAreItsOwn) {
  if (ostrel_.classes.empty()) GTEST_SKIP() << "ostrel not built";
  uint32_t stage = host_->AddObject(0, "stage");
  refhost::Instance* ref = host_->Create("ObjRefP", stage, stage);
  ASSERT_NE(ref, nullptr);
  host_->SetTracing(true);
  // As a plug-in reaches another instance: through the table its header leads to.
  TestText text("/stage");
  EXPECT_EQ(CallHostMethod(ref->Record(), 0, abi::slot::kSetAttribute, "value\0\0\0\0\0\0\0\0\0\0",
                           static_cast<const void*>(nullptr), text.Value()),
            0u);
  ASSERT_GE(host_->Trace().size(), 2u);
  EXPECT_EQ(host_->Trace()[0].Line(),
            "Instance.SetAttribute(ObjRefP#1, \"value\", none, text \"/stage\") = 0");
  for (size_t i = 1; i < host_->Trace().size(); ++i) {
    EXPECT_EQ(host_->Trace()[i].caller, "ObjRefP#1") << host_->Trace()[i].Line();
    EXPECT_EQ(host_->Trace()[i].depth, 1);
  }
  // The host's own slot calls still reach the class's function directly.
  host_->ClearTrace();
  EXPECT_EQ(ref->SetAttribute("value", nullptr, text.Value()), 0);
  EXPECT_EQ(host_->Trace().front().Call(), "-> ObjRefP#1.SetAttribute");
}

}  // namespace
