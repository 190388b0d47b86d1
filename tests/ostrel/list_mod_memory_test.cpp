// ListMod on a host that runs out of memory: every allocation of a whole life refused in turn.
// Whatever fails, no slot crashes, nothing is lost or freed twice, and a list never holds an
// element that claims memory it does not have.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ostrel/list_store.h"
#include "tests/ostrel/list_mod_support.h"

namespace {

using list_testing::ListModTest;
using list_testing::Out;
using refhost::Instance;
using testing_support::Integer;
using testing_support::Reference;
using testing_support::TestText;

class ListModMemory : public ListModTest {
 protected:
  // One life: strings written, grown, inserted, sorted, shuffled, drawn, copied, assigned,
  // stored and loaded, transferred; references turned into paths and back.
  void Life(uint32_t a) {
    Instance* texts = host_->Create("ListMod", stage_);
    if (texts == nullptr) return;
    ChooseKind(texts, list_testing::kString);
    SetCount(texts, 3);
    for (const char* word : {"pear", "", "fig"}) {
      TestText text(word);
      const IntegerValue at = Integer(static_cast<int32_t>(std::string(word).size() % 4) + 1);
      texts->SetAttribute("value", &at, text.Value());
      texts->SetAttribute("insert", &at, text.Value());
    }
    texts->SetAttribute("sortAscend", nullptr, nullptr);
    texts->SetAttribute("shuffle", nullptr, nullptr);
    Out out;
    texts->GetAttribute("randomBegin", nullptr, out.data());
    FreeAnswer(out.data());
    Out drawn;
    texts->GetAttribute("randomDelete", nullptr, drawn.data());
    FreeAnswer(drawn.data());

    Instance* copy = host_->CopyConstruct(*texts, stage_);
    refhost::HostStream& stream = host_->NewStream();
    int16_t version = 0;
    uint32_t size = 0;
    texts->StoredSize(stream, &version, &size);
    texts->Save(stream);
    stream.Rewind();
    if (copy != nullptr) {
      copy->Load(stream, 1);
      copy->Assign(*texts);
      Out whole;
      const ReferenceValue asked = Reference(stage_);
      std::memcpy(whole.data(), &asked, sizeof asked);
      const IntegerValue zero = Integer(0);
      if (texts->GetAttribute("value", &zero, whole.data()) == 0) {
        copy->SetAttribute("value", nullptr, whole.data());
        HostCall(abi::service::kList, abi::method::kDisposeList,
                 whole.As<ostrel::ListTransferValue>().list, 0, nullptr);
      }
      host_->Destroy(copy);
    }

    Instance* references = host_->Create("ListMod", stage_);
    if (references != nullptr) {
      ChooseKind(references, list_testing::kReference);
      const ReferenceValue ra = Reference(a);
      SetAt(references, 1, &ra);
      SetAt(references, 2, &ra);
      references->StoredSize(host_->NewStream(), &version, &size);
      Out reference(tag::kReference);
      const IntegerValue one = Integer(1);
      references->GetAttribute("value", &one, reference.data());
      refhost::HostStream& saved = host_->NewStream();
      references->Save(saved);
      saved.Rewind();
      references->Load(saved, 1);
      host_->Destroy(references);
    }
    host_->Destroy(texts);
  }
};

TEST_F(ListModMemory, EveryAllocationRefusedInTurnLeavesTheBooksBalanced) {
  const uint32_t a = host_->AddObject(stage_, "a");
  uint32_t grant = 0;
  for (;; ++grant) {
    ASSERT_LT(grant, 400u) << "a life should make far fewer allocations";
    const uint32_t refusedBefore = host_->RefusedAllocations();
    host_->FailAllocations(grant, 1);
    Life(a);
    EXPECT_TRUE(host_->Ownership().Faults().empty()) << "refusing allocation " << grant;
    EXPECT_TRUE(host_->Ownership().Leaks().empty()) << "refusing allocation " << grant;
    if (!host_->Ownership().Faults().empty() || !host_->Ownership().Leaks().empty()) break;
    // Done once a whole life ran without reaching the refusal.
    if (host_->RefusedAllocations() == refusedBefore) break;
  }
  host_->StopFailingAllocations();
  EXPECT_GE(grant, 20u) << "the life above allocates texts, paths, copies and working memory";
}

// Without memory a string list still takes no element it cannot give a text.
TEST_F(ListModMemory, ElementsThatCannotGetTheirTextAreNotStored) {
  Instance* list = Make(list_testing::kString);
  FillTexts(list, {"a"});
  host_->FailAllocations(0);
  EXPECT_EQ(SetCount(list, 3), 1);
  EXPECT_EQ(Error(list), 3);
  TestText text("b");
  EXPECT_EQ(SetAt(list, 1, text.Value()), 1);
  const IntegerValue one = Integer(1);
  EXPECT_EQ(Set(list, "insert", &one, text.Value()), 1);
  host_->StopFailingAllocations();
  EXPECT_EQ(Texts(list), (std::vector<std::string>{"a"}));
}

}  // namespace
