// The host calls each Vellomar slot makes, in order: the conversation a host relies on, and the
// target slot released before it takes a new value.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tavin/vellomar.h"
#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"

namespace {

using testing_support::SlotTrace;
using Lines = std::vector<std::string>;

class VellomarCalls : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_TRUE(host_->Load(BOARD_PLUGIN_PATH).ok);
    const uint32_t stage = host_->AddObject(0, "stage");
    table_ = host_->AddObject(stage, "table");
    other_ = host_->AddObject(stage, "other");
    host_->Create("Board", table_);
    host_->Create("Board", other_);
    dealer_ = host_->Create("Vellomar", stage);
    ASSERT_NE(dealer_, nullptr);
    host_->SetTracing(true);
  }

  // Gives an editor's item 9 a designation of `object`.
  refhost::HostEditor& EditorWithTarget(uint32_t object) {
    refhost::HostEditor& editor = host_->NewEditor();
    const refhost::TargetDesignationValue target = host_->MakeTarget(object);
    editor.SetItem(tavin::kVellomarEventsItem, refhost::Value::MessageId(101));
    editor.SetItemRecord(tavin::kVellomarTargetItem, &target);
    return editor;
  }

  uint32_t table_ = 0, other_ = 0;
  refhost::Instance* dealer_ = nullptr;
};

TEST_F(VellomarCalls, EditorPutsItemsFourAndNineAndReadsThemBackReleasingTheOldTarget) {
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(dealer_->ToEditor(editor, 0), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Vellomar#3.ToEditor", "Editor.PutItem(4, id(101,0))",
                                      "Editor.PutItem(9, empty)"}));
  host_->ClearTrace();
  EXPECT_EQ(dealer_->FromEditor(EditorWithTarget(table_)), 0);
  // The message id straight into the instance; the target asked for as a designation, and the
  // slot's old value released before the new one goes in.
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> Vellomar#3.FromEditor", "Editor.GetItem(4, out id)",
                   "Editor.GetItem(9, out target)", "ObjectService.ReleaseValue(empty)"}));
  host_->ClearTrace();
  EXPECT_EQ(dealer_->FromEditor(EditorWithTarget(other_)), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Vellomar#3.FromEditor", "Editor.GetItem(4, out id)",
                                      "Editor.GetItem(9, out target)",
                                      "ObjectService.ReleaseValue(target(/stage/table))"}));
}

TEST_F(VellomarCalls, TheDealResolvesTheTargetThenWritesCountAndEachValue) {
  dealer_->FromEditor(EditorWithTarget(table_));
  host_->ClearTrace();
  EXPECT_EQ(dealer_->HandleMessage(0, 101, 0), 0);
  const Lines trace = SlotTrace(*host_);
  ASSERT_EQ(trace.size(), 31u);
  EXPECT_EQ(trace[0], "-> Vellomar#3.HandleMessage");
  EXPECT_EQ(trace[1], "ObjectService.ResolveTarget(target(/stage/table), Vellomar#3, out)");
  EXPECT_EQ(trace[2], "Instance.SetAttribute(Board#1, \"count\", none, integer 28)");
  for (int i = 1; i <= 28; ++i) {
    EXPECT_EQ(trace[2 + i].rfind("Instance.SetAttribute(Board#1, \"value\", integer " +
                                     std::to_string(i) + ", integer ",
                                 0),
              0u)
        << trace[2 + i];
  }
}

TEST_F(VellomarCalls, CopiesAndLoadsReleaseWhatTheTargetHeldFirst) {
  dealer_->FromEditor(EditorWithTarget(table_));
  refhost::Instance* copy = host_->CopyConstruct(*dealer_, table_);
  refhost::Instance* assigned = host_->Create("Vellomar", other_);
  assigned->FromEditor(EditorWithTarget(other_));
  host_->ClearTrace();
  ASSERT_EQ(assigned->Assign(*dealer_), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> Vellomar#5.Assign", "ObjectService.ReleaseValue(target(/stage/other))",
                   "ObjectService.CopyValue(out empty, target(/stage/table))"}));

  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  host_->ClearTrace();
  copy->StoredSize(stream, &version, &size);
  copy->Save(stream);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> Vellomar#4.StoredSize", "Stream.StoredSizeOf(id(101,0), out)",
                   "Stream.StoredSizeOf(target(/stage/table), out)", "-> Vellomar#4.Save",
                   "Stream.WriteValue(id(101,0))", "Stream.WriteValue(target(/stage/table))"}));
  stream.Rewind();
  host_->ClearTrace();
  EXPECT_EQ(assigned->Load(stream, 0), 0);
  EXPECT_EQ(assigned->Load(stream, 1), 1);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> Vellomar#5.Load", "Stream.ReadValue(out id)", "Stream.ReadValue(out target)",
                   "ObjectService.ReleaseValue(target(/stage/table))", "-> Vellomar#5.Load"}));
  host_->ClearTrace();
  host_->Destroy(copy);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> Vellomar#4.Destruct", "ObjectService.ReleaseValue(target(/stage/table))"}));
}

TEST_F(VellomarCalls, VisitsPassItsMessageWithTheCallersWords) {
  EXPECT_EQ(dealer_->VisitMessageIds(5, 6), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> Vellomar#3.VisitMessageIds",
                                      "SystemService.VisitMessageId(0, 5, 6, id(101,0))"}));
}

}  // namespace
