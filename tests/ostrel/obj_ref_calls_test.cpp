// The host calls each ObjRefP slot makes, in order: the conversation a host relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"

namespace {

using testing_support::SlotTrace;
using testing_support::TestText;
using testing_support::TextBuffer;
using Lines = std::vector<std::string>;

class ObjRefCalls : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    if (ostrel_.classes.empty()) GTEST_SKIP() << "ostrel not built";
    stage_ = host_->AddObject(0, "stage");
    movie_ = host_->AddObject(stage_, "movie");
    sprite_ = host_->AddObject(stage_, "sprite");
    host_->SetTracing(true);
    ref_ = host_->Create("ObjRefP", sprite_, sprite_);
    ASSERT_NE(ref_, nullptr);
  }
  uint32_t stage_ = 0, movie_ = 0, sprite_ = 0;
  refhost::Instance* ref_ = nullptr;
};

TEST_F(ObjRefCalls, ConstructAsksForThePathBufferAndEnableListens) {
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.Construct", "StringService.AllocString(out, 256)"}));
  host_->ClearTrace();
  EXPECT_EQ(ref_->Enable(), 0);
  EXPECT_EQ(ref_->Disable(), 0);
  EXPECT_EQ(ref_->VisitMessageIds(3, 4), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.Enable", "Instance.Listen(1, id(1,0))", "-> ObjRefP#1.Disable",
                   "Instance.Listen(2, id(1,0))", "-> ObjRefP#1.VisitMessageIds",
                   "SystemService.VisitMessageId(0, 3, 4, id(1,0))"}));
}

TEST_F(ObjRefCalls, MessageBindsToTheParentOfItsObject) {
  host_->ClearTrace();
  EXPECT_EQ(ref_->HandleMessage(movie_, 1, 0), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.HandleMessage",
                   "ObjectService.GetObjectAttribute(/stage/movie, \"parent\", none, out ref)",
                   "MemoryService.RegisterReference(ref(/stage))"}));
}

TEST_F(ObjRefCalls, ARelativeTextIsMadeAbsoluteThenResolvedAndBound) {
  TestText text("../movie");
  ASSERT_EQ(ref_->SetAttribute("value", nullptr, text.Value()), 0);
  host_->ClearTrace();
  ReferenceValue out = testing_support::Reference(0);
  EXPECT_EQ(ref_->GetAttribute("value", nullptr, &out), 0);
  EXPECT_EQ(+out.object, movie_);
  EXPECT_EQ(
      SlotTrace(*host_),
      (Lines{"-> ObjRefP#1.GetAttribute",
             // the working copy, and the size of the absolute form
             "StringService.AllocString(out, 9)", "StringService.StringLength(out, \"../movie\")",
             "PathService.ObjectPathLength(/stage/sprite, out)",
             // the absolute form, built on the base object's path
             "StringService.AllocString(out, 23)", "StringService.StringLength(out, \"../movie\")",
             "PathService.ObjectPathLength(/stage/sprite, out)",
             "PathService.WriteObjectPath(/stage/sprite, '/', string of 23 bytes)",
             "StringService.AppendString(string of 23 bytes, \"movie\")",
             "PathService.ResolveObjectPath('/', \"/stage/movie\", out)",
             "StringService.FreeString(string of 23 bytes)",
             "StringService.FreeString(string of 9 bytes)",
             "MemoryService.RegisterReference(ref(/stage/movie))"}));
}

TEST_F(ObjRefCalls, EditorAndStoredFormShowTheIdThenTheText) {
  TestText text("/stage/movie");
  ASSERT_EQ(ref_->SetAttribute("value", nullptr, text.Value()), 0);
  host_->ClearTrace();
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(ref_->ToEditor(editor, 0), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> ObjRefP#1.ToEditor", "Editor.PutItem(7, id(1,0))",
                                      "Editor.PutItem(4, text \"/stage/movie\")"}));
  host_->ClearTrace();
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  EXPECT_EQ(ref_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(ref_->Save(stream), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.StoredSize", "Stream.StoredSizeOf(id(1,0), out)",
                   "Stream.StoredSizeOf(text \"/stage/movie\", out)", "-> ObjRefP#1.Save",
                   "Stream.WriteValue(id(1,0))", "Stream.WriteValue(text \"/stage/movie\")"}));
  host_->ClearTrace();

  // A bound value is turned back into its text before it is shown.
  ReferenceValue movie = testing_support::Reference(movie_);
  ASSERT_EQ(ref_->SetAttribute("value", nullptr, &movie), 0);
  host_->ClearTrace();
  EXPECT_EQ(ref_->ToEditor(editor, 0), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.ToEditor", "Editor.PutItem(7, id(1,0))",
                   "PathService.ObjectPathLength(/stage/movie, out)",
                   "PathService.WriteObjectPath(/stage/movie, '/', string of 256 bytes)",
                   "StringService.StringLength(out, \"/stage/movie\")",
                   "Editor.PutItem(4, text \"/stage/movie\")"}));
}

TEST_F(ObjRefCalls, AssignRegistersTheBoundCopy) {
  ReferenceValue movie = testing_support::Reference(movie_);
  ASSERT_EQ(ref_->SetAttribute("value", nullptr, &movie), 0);
  refhost::Instance* other = host_->Create("ObjRefP", sprite_, sprite_);
  ASSERT_NE(other, nullptr);
  host_->ClearTrace();
  // The copy holds the object as firmly as the source, so the host must know of it too.
  EXPECT_EQ(other->Assign(*ref_), 0);
  const Lines trace = SlotTrace(*host_);
  ASSERT_FALSE(trace.empty());
  EXPECT_EQ(trace.front(), "-> ObjRefP#2.Assign");
  EXPECT_EQ(trace.back(), "MemoryService.RegisterReference(ref(/stage/movie))");
}

TEST_F(ObjRefCalls, ReadingABoundValueAsTextRebuildsThePathFromTheObject) {
  ReferenceValue value = testing_support::Reference(movie_);
  ASSERT_EQ(ref_->SetAttribute("value", nullptr, &value), 0);
  host_->ClearTrace();
  TextBuffer out(64);
  EXPECT_EQ(ref_->GetAttribute("value", nullptr, out.Value()), 0);
  EXPECT_EQ(out.Text(), "/stage/movie");
  // The 256-byte buffer is large enough, so nothing is allocated; the caller's buffer is
  // filled in place.
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.GetAttribute", "PathService.ObjectPathLength(/stage/movie, out)",
                   "PathService.WriteObjectPath(/stage/movie, '/', string of 256 bytes)",
                   "StringService.StringLength(out, \"/stage/movie\")",
                   "StringService.CopyStringMax(untracked buffer, \"/stage/movie\", 12)"}));
}

TEST_F(ObjRefCalls, TheEditorIsReadIdFirstThenTheTextByItsLength) {
  refhost::HostEditor& editor = host_->NewEditor();
  ASSERT_EQ(ref_->ToEditor(editor, 0), 0);
  editor.SetItemText(4, "./x");
  host_->ClearTrace();
  EXPECT_EQ(ref_->FromEditor(editor), 0);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.FromEditor", "Editor.GetItem(7, out id)",
                   "Editor.GetItemInfo(4, 1, out)", "Editor.GetItem(4, out text)",
                   "StringService.StringLength(out, \"./x\")"}));

  // The check reads the item's first characters into an 8-byte probe, given back at once.
  host_->ClearTrace();
  uint8_t ok = 9;
  char message[128] = {};
  EXPECT_EQ(ref_->ValidateEditorItem(editor, 4, &ok, message), 0);
  EXPECT_EQ(ok, 1);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.ValidateEditorItem", "Editor.GetItemInfo(4, 1, out)",
                   "StringService.AllocString(out, 8)", "Editor.GetItem(4, out text)",
                   "StringService.FreeString(string of 8 bytes)"}));
  // Other items are not looked at.
  host_->ClearTrace();
  EXPECT_EQ(ref_->ValidateEditorItem(editor, 7, &ok, message), 0);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> ObjRefP#1.ValidateEditorItem"}));
}

TEST_F(ObjRefCalls, LoadReadsTheIdAndATextItFreesAndDestructGivesTheBufferBack) {
  TestText text("./x");
  ASSERT_EQ(ref_->SetAttribute("value", nullptr, text.Value()), 0);
  refhost::HostStream& stream = host_->NewStream();
  ASSERT_EQ(ref_->Save(stream), 0);
  stream.Rewind();
  host_->ClearTrace();
  EXPECT_EQ(ref_->Load(stream, 0), 0);
  // The text arrives in a buffer of the reader's, copied into the path text and freed; the
  // length is taken from the copied characters.
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.Load", "Stream.ReadValue(out id)", "Stream.ReadValue(out text)",
                   "StringService.CopyStringMax(string of 256 bytes, \"./x\", 3)",
                   "StringService.StringLength(out, \"./x\")",
                   "StringService.FreeString(string of 4 bytes)"}));
  host_->ClearTrace();
  EXPECT_EQ(ref_->Load(stream, 1), 1);
  EXPECT_EQ(SlotTrace(*host_), (Lines{"-> ObjRefP#1.Load"}));

  host_->ClearTrace();
  host_->Destroy(ref_);
  EXPECT_EQ(SlotTrace(*host_),
            (Lines{"-> ObjRefP#1.Destruct", "StringService.FreeString(string of 256 bytes)"}));
}

}  // namespace
