// ObjRefP on a host that runs out of memory: an instance without its text buffer still
// answers every slot, refuses what needs a buffer, and owns nothing it did not get.
#include <gtest/gtest.h>

#include <string>

#include "host/host.h"
#include "ostrel/obj_ref.h"
#include "tests/common/plugin_fixture.h"

namespace {

using refhost::Instance;
using testing_support::Reference;
using testing_support::TestText;
using testing_support::TextBuffer;

class ObjRefMemory : public PluginTest {
 protected:
  void SetUp() override {
    PluginTest::SetUp();
    ASSERT_TRUE(ostrel_.ok) << ostrel_.Summary();
    s_ = host_->AddObject(0, "s");
    o_ = host_->AddObject(s_, "o");
    a_ = host_->AddObject(o_, "a");
  }

  uint16_t WriteText(Instance* instance, const std::string& text) {
    TestText value(text);
    return instance->SetAttribute("value", nullptr, value.Value());
  }

  std::string ReadText(Instance* instance, uint16_t* status) {
    TextBuffer out(512);
    *status = instance->GetAttribute("value", nullptr, out.Value());
    return out.Text();
  }

  uint32_t s_ = 0, o_ = 0, a_ = 0;
};

TEST_F(ObjRefMemory, AnInstanceWithoutItsBufferRefusesTextsAndRecoversLater) {
  host_->FailAllocations(0);
  Instance* instance = host_->Create("ObjRefP", o_, o_);
  ASSERT_NE(instance, nullptr);
  EXPECT_EQ(+instance->As<ostrel::ObjRefRecord>()->pathText.chars, nullptr);
  EXPECT_EQ(+instance->As<ostrel::ObjRefRecord>()->pathText.capacity, 0u);

  // Nothing to read yet, and a text cannot be stored without a buffer.
  uint16_t status = 0;
  EXPECT_EQ(ReadText(instance, &status), "");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(WriteText(instance, "./a"), 1);
  EXPECT_EQ(ReadText(instance, &status), "");

  // A reference needs no buffer to be kept, but its text form does.
  ReferenceValue value = Reference(a_);
  EXPECT_EQ(instance->SetAttribute("value", nullptr, &value), 0);
  ReferenceValue out = Reference(0);
  EXPECT_EQ(instance->GetAttribute("value", nullptr, &out), 0);
  EXPECT_EQ(+out.object, a_);
  EXPECT_NE(ReadText(instance, &status), "/s/o/a");
  EXPECT_NE(status, 0);

  // The stored form and the editor work with what there is.
  refhost::HostStream& stream = host_->NewStream();
  int16_t version = -1;
  uint32_t size = 0;
  instance->StoredSize(stream, &version, &size);
  instance->Save(stream);
  refhost::HostEditor& editor = host_->NewEditor();
  instance->ToEditor(editor, 0);

  // Once memory is back, the same instance takes texts as usual.
  host_->StopFailingAllocations();
  ASSERT_EQ(WriteText(instance, "./a"), 0);
  EXPECT_EQ(ReadText(instance, &status), "./a");
  out = Reference(0);
  ASSERT_EQ(instance->GetAttribute("value", nullptr, &out), 0);
  EXPECT_EQ(+out.object, a_);
  EXPECT_EQ(ReadText(instance, &status), "/s/o/a");
  host_->Destroy(instance);
}

TEST_F(ObjRefMemory, AResolveThatCannotGetItsWorkingBuffersIsRefusedAndLeaksNothing) {
  Instance* instance = host_->Create("ObjRefP", o_, o_);
  ASSERT_EQ(WriteText(instance, "../o/a"), 0);
  // The first working buffer, then the second, refused in turn.
  for (uint32_t grant = 0; grant < 2; ++grant) {
    host_->FailAllocations(grant, 1);
    ReferenceValue out = Reference(0);
    EXPECT_EQ(instance->GetAttribute("value", nullptr, &out), 1) << grant;
    EXPECT_EQ(+instance->As<ostrel::ObjRefRecord>()->bound, 0);
  }
  host_->StopFailingAllocations();
  ReferenceValue out = Reference(0);
  ASSERT_EQ(instance->GetAttribute("value", nullptr, &out), 0);
  EXPECT_EQ(+out.object, a_);
  host_->Destroy(instance);
}

// Every allocation of a whole life refused in turn: whatever fails, no slot crashes, and no
// buffer is lost or freed twice (the fixture checks the host's books at the end).
TEST_F(ObjRefMemory, EveryAllocationRefusedInTurnLeavesTheBooksBalanced) {
  uint32_t grant = 0;
  for (;; ++grant) {
    ASSERT_LT(grant, 64u) << "a life should make far fewer allocations";
    const uint32_t refusedBefore = host_->RefusedAllocations();
    host_->FailAllocations(grant, 1);
    Instance* instance = host_->Create("ObjRefP", o_, o_);
    ASSERT_NE(instance, nullptr);
    WriteText(instance, std::string("./") + std::string(300, 'x'));
    WriteText(instance, "../o/a");
    ReferenceValue out = Reference(0);
    instance->GetAttribute("value", nullptr, &out);
    uint16_t status = 0;
    ReadText(instance, &status);
    Instance* copy = host_->CopyConstruct(*instance, o_, o_);
    refhost::HostStream& stream = host_->NewStream();
    int16_t version = 0;
    uint32_t size = 0;
    instance->StoredSize(stream, &version, &size);
    instance->Save(stream);
    stream.Rewind();
    if (copy != nullptr) {
      copy->Load(stream, 0);
      copy->Assign(*instance);
      host_->Destroy(copy);
    }
    host_->Destroy(instance);
    EXPECT_TRUE(host_->Ownership().Faults().empty()) << "refusing allocation " << grant;
    EXPECT_TRUE(host_->Ownership().Leaks().empty()) << "refusing allocation " << grant;
    // Done once a whole life ran without reaching the refusal.
    if (host_->RefusedAllocations() == refusedBefore) break;
  }
  host_->StopFailingAllocations();
  EXPECT_GE(grant, 5u) << "the life above allocates its buffer, texts, copies and stream reads";
}

}  // namespace
