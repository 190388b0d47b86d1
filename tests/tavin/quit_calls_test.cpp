// The host calls each Quit slot makes, in order: the conversation a host relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"

namespace {

using testing_support::SlotTrace;
using Lines = std::vector<std::string>;

class QuitCalls : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    quit_ = host_->Create("Quit", host_->AddObject(0, "movie"));
    ASSERT_NE(quit_, nullptr);
    host_->SetTracing(true);
  }
  refhost::Instance* quit_ = nullptr;
};

TEST_F(QuitCalls, EnableAndDisableListenForBothIdsInOrder) {
  EXPECT_EQ(quit_->Enable(), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Quit#1.Enable", "Instance.Listen(1, id(1802,0))",
                                      "Instance.Listen(1, id(1803,0))"}));
  host_->ClearTrace();
  EXPECT_EQ(quit_->Disable(), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Quit#1.Disable", "Instance.Listen(2, id(1802,0))",
                                      "Instance.Listen(2, id(1803,0))"}));
  for (const refhost::HostCall& call : host_->Trace()) EXPECT_EQ(call.status, 0) << call.Line();
}

TEST_F(QuitCalls, EditorWritesAndReadsItemsSixThenEight) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(quit_->ToEditor(editor, 0), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Quit#1.ToEditor", "Editor.PutItem(6, id(1802,0))",
                                      "Editor.PutItem(8, id(1803,0))"}));
  host_->ClearTrace();
  // Any other mode is refused before the editor is touched.
  EXPECT_EQ(quit_->ToEditor(editor, 1), 1);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Quit#1.ToEditor"}));
  host_->ClearTrace();
  editor.SetItem(6, refhost::Value::MessageId(7, 1));
  editor.SetItem(8, refhost::Value::MessageId(8, 2));
  EXPECT_EQ(quit_->FromEditor(editor), 0);
  // The reads go straight into the instance, so each shows the id it replaces.
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Quit#1.FromEditor", "Editor.GetItem(6, out id)",
                                      "Editor.GetItem(8, out id)"}));
}

TEST_F(QuitCalls, StoredFormIsBothIdsFirstThenSecond) {
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  EXPECT_EQ(quit_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(quit_->Save(stream), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> Quit#1.StoredSize", "Stream.StoredSizeOf(id(1802,0), out)",
                   "Stream.StoredSizeOf(id(1803,0), out)", "-> Quit#1.Save",
                   "Stream.WriteValue(id(1802,0))", "Stream.WriteValue(id(1803,0))"}));
  host_->ClearTrace();
  stream.Rewind();
  EXPECT_EQ(quit_->Load(stream, 0), 0);
  EXPECT_EQ(quit_->Load(stream, 1), 1);  // an unknown version reads nothing
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Quit#1.Load", "Stream.ReadValue(out id)",
                                      "Stream.ReadValue(out id)", "-> Quit#1.Load"}));
}

TEST_F(QuitCalls, VisitsPassBothIdsWithTheCallersWords) {
  EXPECT_EQ(quit_->VisitMessageIds(5, 6), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> Quit#1.VisitMessageIds", "SystemService.VisitMessageId(0, 5, 6, id(1802,0))",
                   "SystemService.VisitMessageId(0, 5, 6, id(1803,0))"}));
  host_->ClearTrace();
  // Matching a message is the instance's own business: no host call.
  EXPECT_EQ(quit_->HandleMessage(0, 1803, 0), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Quit#1.HandleMessage"}));
}

}  // namespace
