#include <cstring>

#include "tests/host/host_test_support.h"

namespace {

// The probe's record, as its library lays it out.
#pragma pack(push, 1)
struct ProbeRecord {
  MessageIdValue id;
  uint32_t base;
  uint32_t owner;
  int32_t handled;
  int32_t ticks;
  int32_t lastPosition;
  IntegerValue value;
  char* note;
};
#pragma pack(pop)
static_assert(sizeof(ProbeRecord) == 40);

// The same fields unpacked, so assertions never bind to a misaligned member.
struct ProbeState {
  uint32_t base, owner;
  int32_t handled, ticks, lastPosition;
  char* note;
};

ProbeState State(const refhost::Instance* instance) {
  ProbeRecord r;
  std::memcpy(&r, instance->Record(), sizeof r);
  return ProbeState{r.base, r.owner, r.handled, r.ticks, r.lastPosition, r.note};
}

void SetId(refhost::Instance* instance, uint32_t id) {
  std::memcpy(static_cast<uint8_t*>(instance->Record()) + offsetof(MessageIdValue, id), &id, 4);
}

class InstanceTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    stage_ = host_->AddObject(0, "stage");
    actor_ = host_->AddObject(stage_, "actor");
  }
  uint32_t stage_ = 0, actor_ = 0;
};

TEST_F(InstanceTest, InstancesLiveInHostMemoryBehindTheirHeader) {
  refhost::Instance* probe = host_->Create("Probe", actor_, stage_);
  ASSERT_NE(probe, nullptr);
  auto* header =
      reinterpret_cast<abi::HostObjectHeader*>(static_cast<uint8_t*>(probe->Record()) - 8);
  EXPECT_EQ(header->baseValue, reinterpret_cast<uintptr_t>(probe->Record()));
  EXPECT_EQ(header->classRecord->offsets[1], 0);
  ProbeState p = State(probe);
  EXPECT_EQ(p.base, stage_);        // flags 5: Construct got the base object
  EXPECT_EQ(Get(p.owner), actor_);  // Attached asked GetOwner
  EXPECT_EQ(host_->FromRecord(probe->Record()), probe);
  EXPECT_EQ(host_->InstancesOf(actor_).size(), 1u);

  refhost::Instance* copy = host_->CopyConstruct(*probe, stage_);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(State(copy).owner, stage_);
  EXPECT_NE(State(copy).note, p.note);

  // Slots the class did not register answer so, and nothing else happens.
  refhost::HostStream& stream = host_->NewStream();
  EXPECT_EQ(probe->Save(stream), refhost::kSlotNotRegistered);
  EXPECT_EQ(probe->VisitMessageIds(1, 2), refhost::kSlotNotRegistered);
  EXPECT_TRUE(stream.Bytes().empty());

  // The object goes: its instances are destroyed with it.
  host_->RemoveObject(actor_);
  EXPECT_EQ(host_->Instances().size(), 1u);
  EXPECT_EQ(host_->Create("Probe", actor_), nullptr);
}

TEST_F(InstanceTest, MessagesReachListenersOfTheIdPairOnly) {
  refhost::Instance* a = host_->Create("Probe", actor_);
  refhost::Instance* b = host_->Create("Probe", stage_);
  EXPECT_EQ(host_->SendMessage(actor_, 77).delivered, 0);  // nobody listens yet
  ASSERT_EQ(a->Enable(), 0);
  ASSERT_EQ(b->Enable(), 0);
  EXPECT_TRUE(host_->Listening(a, 77, 0));
  refhost::MessageOutcome outcome = host_->SendMessage(actor_, 77);
  EXPECT_EQ(outcome.delivered, 2);
  EXPECT_EQ(outcome.handled, 2);
  EXPECT_EQ(host_->SendMessage(actor_, 77, 1).delivered, 0);  // the second word counts
  EXPECT_EQ(a->HandleMessage(actor_, 12, 0), 1);
  ASSERT_EQ(b->Disable(), 0);
  EXPECT_EQ(host_->SendMessage(actor_, 77).delivered, 1);
  EXPECT_EQ(State(a).handled, 2);
  EXPECT_EQ(State(b).handled, 1);

  // A destroyed instance is dropped from every registration.
  host_->Destroy(a);
  EXPECT_EQ(host_->SendMessage(actor_, 77).delivered, 0);
  EXPECT_FALSE(host_->PeriodicRunning(a));
}

TEST_F(InstanceTest, ComposedMessagesAreLoggedAndDeliveredToTheDestination) {
  refhost::Instance* sender = host_->Create("Probe", actor_);
  refhost::Instance* receiver = host_->Create("Probe", actor_);
  refhost::Instance* elsewhere = host_->Create("Probe", stage_);
  SetId(sender, 78);  // on 78 it sends 77 to its owner
  sender->Enable();
  receiver->Enable();
  elsewhere->Enable();
  EXPECT_EQ(host_->SendMessage(stage_, 78).handled, 1);
  ASSERT_EQ(host_->Messages().size(), 1u);
  const refhost::MessageLogEntry& m = host_->Messages()[0];
  EXPECT_EQ(m.destination, actor_);
  EXPECT_EQ(Get(m.id), 77u);
  EXPECT_EQ(m.flags, 3u);
  EXPECT_EQ(m.data.AsInteger(), 1);
  EXPECT_EQ(Get(m.object), actor_);
  EXPECT_EQ(m.sender, sender);
  EXPECT_TRUE(m.delivered);
  EXPECT_EQ(State(receiver).handled, 1);
  EXPECT_EQ(State(elsewhere).handled, 0);  // not on the destination object

  // A record the host never composed is refused.
  abi::MessageRecord forged{};
  forged.id = 77;
  EXPECT_NE(S(svc::kObject, mth::kDeliverMessage, static_cast<void*>(&forged)), 0);
  EXPECT_EQ(State(receiver).handled, 1);
}

TEST_F(InstanceTest, TheClockDrivesPeriodicCallsAndPositionsReachTheAskers) {
  refhost::Instance* probe = host_->Create("Probe", actor_);
  probe->Enable();  // starts periodic calls every 10 ticks of 1/600 s
  EXPECT_TRUE(host_->PeriodicRunning(probe));
  host_->Advance(16);
  EXPECT_EQ(State(probe).ticks, 0);
  host_->Advance(1);
  EXPECT_EQ(State(probe).ticks, 1);
  host_->Advance(1000);
  EXPECT_EQ(State(probe).ticks, 61);
  probe->Disable();
  host_->Advance(1000);
  EXPECT_EQ(State(probe).ticks, 61);

  abi::NotifyRequest request{};
  request.kind = 8;
  request.instance = probe->Record();
  request.one = request.alsoOne = 1;
  EXPECT_EQ(host_->SetPosition(actor_, 5), 0);
  ASSERT_EQ(S(svc::kObject, mth::kAddNotification, actor_, static_cast<const void*>(&request),
              uint32_t{0}),
            0);
  EXPECT_EQ(host_->SetPosition(actor_, 120), 1);
  EXPECT_EQ(State(probe).lastPosition, 120);
  EXPECT_EQ(host_->SetPosition(stage_, 99), 0);
  EXPECT_EQ(S(svc::kObject, mth::kRemoveNotification, actor_, uint32_t{8}), 0);
  EXPECT_EQ(host_->SetPosition(actor_, 130), 0);
  EXPECT_EQ(State(probe).lastPosition, 120);

  // Requests for unknown objects or instances are refused.
  EXPECT_NE(S(svc::kObject, mth::kAddNotification, uint32_t{999},
              static_cast<const void*>(&request), uint32_t{0}),
            0);
  int notAnInstance = 0;
  request.instance = &notAnInstance;
  EXPECT_NE(S(svc::kObject, mth::kAddNotification, actor_, static_cast<const void*>(&request),
              uint32_t{0}),
            0);
  EXPECT_NE(S(svc::kPeriodic, mth::kStartPeriodic, static_cast<void*>(&notAnInstance), uint32_t{0},
              uint32_t{10}, uint32_t{1}, uint32_t{0}),
            0);
}

TEST_F(InstanceTest, ResolveTargetFindsTheFirstComponentOfTheDesignatedObject) {
  refhost::Instance* first = host_->Create("Probe", actor_);
  host_->Create("Probe", actor_);
  void* out = reinterpret_cast<void*>(1);
  refhost::TargetDesignationValue target = host_->MakeTarget(actor_);
  EXPECT_EQ(S(svc::kObject, mth::kResolveTarget, static_cast<const void*>(&target),
              static_cast<void*>(nullptr), static_cast<void*>(&out)),
            0);
  EXPECT_EQ(out, first->Record());
  testing_support::TestText path("/stage/actor");
  out = nullptr;
  EXPECT_EQ(S(svc::kObject, mth::kResolveTarget, path.Value(), static_cast<void*>(nullptr),
              static_cast<void*>(&out)),
            0);
  EXPECT_EQ(out, first->Record());
  // The designation survives a reload of the object.
  uint32_t reloaded = host_->ReplaceObject(actor_);
  EXPECT_EQ(S(svc::kObject, mth::kResolveTarget, static_cast<const void*>(&target),
              static_cast<void*>(nullptr), static_cast<void*>(&out)),
            0);
  EXPECT_EQ(first->Owner(), reloaded);
  ReferenceValue none = testing_support::Reference(stage_);  // an object without components
  EXPECT_NE(S(svc::kObject, mth::kResolveTarget, static_cast<const void*>(&none),
              static_cast<void*>(nullptr), static_cast<void*>(&out)),
            0);
  EXPECT_EQ(out, nullptr);
}

}  // namespace

namespace {

TEST_F(InstanceTest, AnInstanceDestroyedWithAChainedReferenceIsAFaultNotADanglingChain) {
  refhost::Instance* probe = host_->Create("Probe", actor_);
  // A reference living inside the instance bytes (where the probe keeps counters).
  uint8_t* inside = static_cast<uint8_t*>(probe->Record()) + 10;
  ReferenceValue r = testing_support::Reference(stage_);
  std::memcpy(inside, &r, sizeof r);
  ASSERT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(inside)), 0);
  ReferenceValue outside = testing_support::Reference(stage_);
  ASSERT_EQ(S(svc::kMemory, mth::kRegisterReference, static_cast<void*>(&outside)), 0);
  host_->Destroy(probe);
  std::vector<refhost::Fault> faults = TakeFaults();
  ASSERT_EQ(faults.size(), 1u);
  EXPECT_EQ(faults[0].what, "chained reference left behind");
  ASSERT_EQ(host_->ChainOf(stage_).size(), 1u);
  EXPECT_EQ(host_->ChainOf(stage_)[0], &outside);
  host_->RemoveObject(stage_);  // walks the chain: must not touch the freed instance
  EXPECT_EQ(Get(outside.object), 0u);
}

TEST_F(InstanceTest, EveryMethodRefusesNullAndUnknownArgumentsWithoutCrashing) {
  void* n = nullptr;
  const void* cn = nullptr;
  const char* cs = nullptr;
  char* s = nullptr;
  EXPECT_NE(S(svc::kSystem, mth::kRandomInteger, int32_t{0}, int32_t{1}, n), 0);
  EXPECT_NE(S(svc::kSystem, mth::kVisitMessageId, uint32_t{0}, uint32_t{0}, uint32_t{0}, cn), 0);
  EXPECT_NE(S(svc::kSystem, mth::kResolveFilePath, n, cs, s), 0);
  EXPECT_NE(S(svc::kMemory, mth::kAllocMemory, uint32_t{4}, n), 0);
  EXPECT_EQ(S(svc::kMemory, mth::kFreeMemory, n), 0);  // like free(NULL)
  EXPECT_NE(S(svc::kObject, mth::kGetObjectAttribute, actor_, cs, cn, n), 0);
  EXPECT_NE(S(svc::kObject, mth::kSetObjectAttribute, uint32_t{0}, "x", cn, cn), 0);
  EXPECT_NE(S(svc::kObject, mth::kAddNotification, actor_, cn, uint32_t{0}), 0);
  EXPECT_NE(S(svc::kObject, mth::kRemoveNotification, actor_, uint32_t{8}), 0);
  EXPECT_NE(S(svc::kObject, mth::kComposeMessage, n, cn, cn, cn, uint32_t{0}, n), 0);
  EXPECT_NE(S(svc::kObject, mth::kDeliverMessage, n), 0);
  EXPECT_NE(S(svc::kObject, mth::kCopyValue, n, cn), 0);
  EXPECT_NE(S(svc::kObject, mth::kReleaseValue, n), 0);
  EXPECT_NE(S(svc::kObject, mth::kResolveTarget, cn, n, n), 0);
  EXPECT_NE(S(svc::kPeriodic, mth::kStopPeriodic, n, uint32_t{0}), 0);
  EXPECT_NE(S(svc::kList, mth::kCreateList, uint32_t{4}, n), 0);
  EXPECT_NE(S(svc::kList, mth::kListCount, uint32_t{0}, n), 0);
  EXPECT_NE(S(svc::kList, mth::kGetListItem, uint32_t{0}, uint32_t{1}, n), 0);
  EXPECT_NE(S(svc::kString, mth::kAppendString, s, cs), 0);
  EXPECT_NE(S(svc::kString, mth::kCompareStrings, n, "a", cs), 0);
  EXPECT_NE(S(svc::kString, mth::kAllocString, n, uint32_t{4}), 0);
  EXPECT_EQ(S(svc::kString, mth::kFreeString, s), 0);
  EXPECT_NE(S(svc::kPath, mth::kWriteObjectPath, actor_, int16_t{'/'}, s), 0);
  EXPECT_NE(S(svc::kPath, mth::kWriteObjectPath, actor_, int16_t{0}, s), 0);
  EXPECT_NE(S(svc::kPath, mth::kRebindReference, n, cn), 0);
  EXPECT_NE(S(svc::kConvert, mth::kConvertValue, n, cn, n), 0);

  refhost::HostStream& stream = host_->NewStream();
  refhost::HostEditor& editor = host_->NewEditor();
  EXPECT_NE(CallHostMethod(stream.Object(), 1, mth::kStoredSizeOf, cn, n), 0);
  EXPECT_NE(CallHostMethod(stream.Object(), 1, mth::kWriteValue, cn), 0);
  EXPECT_NE(CallHostMethod(stream.Object(), 1, mth::kReadValue, n), 0);
  EXPECT_NE(CallHostMethod(editor.Object(), 1, mth::kPutItem, int16_t{1}, cn), 0);
  EXPECT_NE(CallHostMethod(editor.Object(), 1, mth::kGetItem, int16_t{1}, n), 0);
  EXPECT_NE(CallHostMethod(editor.Object(), 1, mth::kGetItemInfo, int16_t{1}, int16_t{1}, n), 0);

  // The instance methods: an unknown mode, no id, a record that is not an instance.
  refhost::Instance* probe = host_->Create("Probe", actor_);
  MessageIdValue id = testing_support::MessageId(5);
  EXPECT_NE(CallHostMethod(probe->Record(), 0, abi::slot::kListen, int16_t{3},
                           static_cast<const void*>(&id)),
            0);
  EXPECT_NE(CallHostMethod(probe->Record(), 0, abi::slot::kListen, int16_t{1}, cn), 0);
  EXPECT_NE(CallHostMethod(probe->Record(), 0, abi::slot::kGetOwner, n), 0);
  EXPECT_TRUE(TakeFaults().empty());
}

}  // namespace
