// The host calls each Print slot makes, in order: the conversation a host relies on.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/plugin_fixture.h"
#include "tests/common/trace_calls.h"
#include "win32/stand_in.h"

namespace {

using testing_support::Integer;
using testing_support::SlotTrace;
using testing_support::TestText;
using Lines = std::vector<std::string>;

class PrintCalls : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    owner_ = host_->AddObject(0, "movie");
    host_->SetTracing(true);
    print_ = host_->Create("Print", owner_);
    ASSERT_NE(print_, nullptr);
  }
  // The trace since the last look, which it then forgets.
  Lines Take() {
    Lines lines = SlotTrace(*host_);
    host_->ClearTrace();
    return lines;
  }
  uint32_t owner_ = 0;
  refhost::Instance* print_ = nullptr;
};

TEST_F(PrintCalls, ConstructMakesThePathBufferThenTheList) {
  EXPECT_EQ(Take(), (Lines{"-> Print#1.Construct", "StringService.AllocString(out, 255)",
                           "StringService.CopyString(string of 255 bytes, \"None\")",
                           "StringService.StringLength(out, \"None\")",
                           "ListService.CreateList(60, out)"}));
}

TEST_F(PrintCalls, CaptionWriteEnsuresTheEntryThenReplacesItsText) {
  Take();
  TestText text("hello");
  IntegerValue one = Integer(1);
  EXPECT_EQ(print_->SetAttribute("textstring", &one, text.Value()), 0);
  const Lines lines = Take();
  ASSERT_GE(lines.size(), 2u);
  const std::string list = lines[1].substr(lines[1].find("list "), 15);
  EXPECT_EQ(lines, (Lines{"-> Print#1.SetAttribute", "ListService.ListCount(" + list + ", out)",
                          "StringService.StringLength(out, \"Helvetica\")",
                          "StringService.DuplicateString(out, \"Helvetica\")",
                          "StringService.StringLength(out, \"Replace This Text!\")",
                          "StringService.DuplicateString(out, \"Replace This Text!\")",
                          "ListService.AppendListItem(" + list + ", item)",
                          "ListService.GetListItem(" + list + ", 1, out)",
                          "StringService.StringLength(out, \"hello\")",
                          "StringService.DuplicateString(out, \"hello\")",
                          "ListService.SetListItem(" + list + ", 1, item)",
                          "StringService.FreeString(string of 19 bytes)"}));
  // A read of an existing entry: the item, then the copy handed over.
  uint8_t out[32] = {};
  const uint16_t unassigned = tag::kUnassigned;
  std::memcpy(out, &unassigned, sizeof unassigned);
  EXPECT_EQ(print_->GetAttribute("textstring", &one, out), 0);
  EXPECT_EQ(Take(),
            (Lines{"-> Print#1.GetAttribute", "ListService.GetListItem(" + list + ", 1, out)",
                   "StringService.DuplicateString(out, \"hello\")"}));
  FreeHandedText(out);
  Take();
  // A size goes through the host's conversion.
  IntegerValue size = Integer(9);
  EXPECT_EQ(print_->SetAttribute("textsize", &one, &size), 0);
  EXPECT_EQ(Take(), (Lines{"-> Print#1.SetAttribute", "ListService.ListCount(" + list + ", out)",
                           "ListService.GetListItem(" + list + ", 1, out)",
                           "ConvertService.ConvertValue(Print#1, integer 9, out integer)",
                           "ListService.SetListItem(" + list + ", 1, item)"}));
}

TEST_F(PrintCalls, PrintMessageResolvesThePathFirst) {
  Take();
  EXPECT_EQ(print_->HandleMessage(0, 302, 0), 0);
  EXPECT_EQ(Take(), (Lines{"-> Print#1.HandleMessage",
                           "SystemService.ResolveFilePath(Print#1, \"None\", out)"}));
  // The file could not be opened: the system saw the screen context made and deleted.
  EXPECT_EQ(stand_in::CallCount("CreateCompatibleDC"), 1);
  EXPECT_EQ(stand_in::CallCount("DeleteDC"), 1);
  EXPECT_EQ(stand_in::CallCount("PrintDlgA"), 0);
}

TEST_F(PrintCalls, EditorItemsInTheirOrder) {
  Take();
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_EQ(print_->ToEditor(editor, 0), 0);
  EXPECT_EQ(Take(), (Lines{"-> Print#1.ToEditor", "Editor.PutItem(4, id(302,0))",
                           "Editor.PutItem(14, text \"None\")", "Editor.PutItem(15, flag 0)",
                           "Editor.PutItem(10, flag 0)", "Editor.PutItem(7, flag 1)"}));
  EXPECT_EQ(print_->FromEditor(editor), 0);
  EXPECT_EQ(
      Take(),
      (Lines{"-> Print#1.FromEditor", "Editor.GetItem(4, out id)", "Editor.GetItemInfo(14, 1, out)",
             "StringService.FreeString(string of 255 bytes)", "StringService.AllocString(out, 255)",
             "Editor.GetItem(14, out text)", "StringService.StringLength(out, \"None\")",
             "Editor.GetItem(15, out flag)", "Editor.GetItem(10, out flag)",
             "Editor.GetItem(7, out flag)"}));
  // The browse button: the chosen path is counted and shown.
  stand_in::FileDialog().answer = stand_in::DialogAnswer::kOk;
  stand_in::FileDialog().path = "x.bmp";
  EXPECT_EQ(print_->EditorItemChanged(editor, 13), 0);
  EXPECT_EQ(Take(),
            (Lines{"-> Print#1.EditorItemChanged", "StringService.StringLength(out, \"x.bmp\")",
                   "Editor.PutItem(14, text \"x.bmp\")"}));
}

TEST_F(PrintCalls, StoredFormListeningAndVisits) {
  Take();
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  EXPECT_EQ(print_->StoredSize(stream, &version, &size), 0);
  EXPECT_EQ(print_->Save(stream), 0);
  stream.Rewind();
  EXPECT_EQ(print_->Load(stream, 0), 0);
  EXPECT_EQ(Take(), (Lines{"-> Print#1.StoredSize",
                           "Stream.StoredSizeOf(id(302,0), out)",
                           "Stream.StoredSizeOf(flag 0, out)",
                           "Stream.StoredSizeOf(flag 0, out)",
                           "Stream.StoredSizeOf(flag 1, out)",
                           "Stream.StoredSizeOf(text \"None\", out)",
                           "Stream.StoredSizeOf(flag 1, out)",
                           "-> Print#1.Save",
                           "Stream.WriteValue(id(302,0))",
                           "Stream.WriteValue(flag 0)",
                           "Stream.WriteValue(flag 0)",
                           "Stream.WriteValue(flag 1)",
                           "Stream.WriteValue(text \"None\")",
                           "Stream.WriteValue(flag 1)",
                           "-> Print#1.Load",
                           "Stream.ReadValue(out id)",
                           "Stream.ReadValue(out flag)",
                           "Stream.ReadValue(out flag)",
                           "Stream.ReadValue(out flag)",
                           "Stream.ReadValue(out text)",
                           "Stream.ReadValue(out flag)"}));
  EXPECT_EQ(print_->Enable(), 0);
  EXPECT_EQ(print_->Disable(), 0);
  EXPECT_EQ(print_->VisitMessageIds(5, 6), 0);
  EXPECT_EQ(Take(),
            (Lines{"-> Print#1.Enable", "Instance.Listen(1, id(302,0))", "-> Print#1.Disable",
                   "Instance.Listen(2, id(302,0))", "-> Print#1.VisitMessageIds",
                   "SystemService.VisitMessageId(0, 5, 6, id(302,0))"}));
}

TEST_F(PrintCalls, DestructFreesThePathAndEveryCaption) {
  TestText text("hello");
  IntegerValue one = Integer(1);
  ASSERT_EQ(print_->SetAttribute("textstring", &one, text.Value()), 0);
  Take();
  host_->Destroy(print_);
  const Lines lines = Take();
  ASSERT_GE(lines.size(), 3u);
  const std::string list = lines[2].substr(lines[2].find("list "), 15);
  EXPECT_EQ(lines, (Lines{"-> Print#1.Destruct", "StringService.FreeString(string of 255 bytes)",
                          "ListService.ListCount(" + list + ", out)",
                          "ListService.GetListItem(" + list + ", 1, out)",
                          "StringService.FreeString(string of 10 bytes)",
                          "StringService.FreeString(string of 6 bytes)",
                          "ListService.DisposeList(" + list + ")"}));
}

}  // namespace
