// Target designations: what the editor yields when a target is asked for, and the component
// ResolveTarget answers for one, as the asking instance sees the object.
#include <cstring>
#include <vector>

#include "tests/host/host_test_support.h"

namespace {

constexpr uint16_t kDesignation = refhost::hosttag::kTargetDesignation;

class TargetTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    ASSERT_TRUE(host_->Load(BOARD_PLUGIN_PATH).ok);
    ASSERT_TRUE(host_->Load(TAVIN_PATH).ok);
    stage_ = host_->AddObject(0, "stage");
    table_ = host_->AddObject(stage_, "table");
  }

  // What ResolveTarget answers for a designation of `object` asked by `asking`.
  void* Resolve(uint32_t object, const refhost::Instance* asking) {
    const refhost::TargetDesignationValue target = host_->MakeTarget(object);
    void* out = reinterpret_cast<void*>(1);
    S(svc::kObject, mth::kResolveTarget, static_cast<const void*>(&target),
      asking != nullptr ? asking->Record() : nullptr, static_cast<void*>(&out));
    return out;
  }

  // GetItem of an editor item holding `value` into a value preset to a designation.
  uint16_t ReadAsDesignation(const refhost::Value& value, std::vector<uint8_t>* out) {
    refhost::HostEditor& editor = host_->NewEditor();
    editor.SetItem(9, value);
    out->assign(42, 0xAB);
    std::memcpy(out->data(), &kDesignation, 2);
    return CallHostMethod(editor.Object(), abi::kServiceRow, mth::kGetItem, int16_t{9},
                          static_cast<void*>(out->data()));
  }

  uint32_t stage_ = 0, table_ = 0;
};

TEST_F(TargetTest, TheAskingInstanceIsNeverItsOwnTargetAndWritersComeFirst) {
  refhost::Instance* quit = host_->Create("Quit", table_);
  refhost::Instance* probe = host_->Create("Probe", table_);
  // Only the asker and a component without SetAttribute: that component, for the asker to
  // find it takes no writes.
  EXPECT_EQ(Resolve(table_, probe), quit->Record());
  refhost::Instance* board = host_->Create("Board", table_);
  EXPECT_EQ(Resolve(table_, probe), board->Record());
  EXPECT_EQ(Resolve(table_, quit), probe->Record());
  EXPECT_EQ(Resolve(table_, nullptr), probe->Record());
  host_->Destroy(quit);
  host_->Destroy(board);
  EXPECT_EQ(Resolve(table_, probe), nullptr);
}

TEST_F(TargetTest, TheEditorYieldsADesignationForAPathAReferenceOrNothingChosen) {
  std::vector<uint8_t> out;
  const refhost::TargetDesignationValue expected = host_->MakeTarget(table_);
  const std::vector<uint8_t> designation(reinterpret_cast<const uint8_t*>(&expected),
                                         reinterpret_cast<const uint8_t*>(&expected) + 10);
  // An object path as the host itself writes one for the table.
  ObjectPathValue path{tag::kObjectPath, 0, nullptr};
  const ReferenceValue reference = testing_support::Reference(table_);
  ASSERT_EQ(host_->Convert(&reference, &path, 0), 0);
  refhost::Value pathValue;
  ASSERT_TRUE(refhost::Value::FromRecord(&path, &pathValue));
  S(svc::kMemory, mth::kFreeMemory, static_cast<void*>(path.entries));
  for (const refhost::Value& value :
       {refhost::Value::Text("/stage/table"), refhost::Value::Reference(table_), pathValue,
        refhost::Value::Raw(&expected, sizeof expected)}) {
    ASSERT_EQ(ReadAsDesignation(value, &out), 0) << value.Describe();
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 10), designation);
  }
  // Nothing chosen reads as an empty value.
  ASSERT_EQ(ReadAsDesignation(refhost::Value{}, &out), 0);
  EXPECT_EQ(out[0] | out[1] << 8, tag::kEmpty);
  // Values that name no object are refused, the output untouched.
  for (const refhost::Value& value :
       {refhost::Value::Text("/stage/nowhere"), refhost::Value::Integer(3)}) {
    EXPECT_NE(ReadAsDesignation(value, &out), 0) << value.Describe();
    EXPECT_EQ(out[2], 0xAB);
  }
}

TEST_F(TargetTest, AnEditorMayAnswerRawBytesWhateverWasAskedFor) {
  refhost::HostEditor& editor = host_->NewEditor();
  editor.SetRawAnswer(3, {0x34, 0x12, 7, 7});
  uint8_t out[8] = {1, 0, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(CallHostMethod(editor.Object(), abi::kServiceRow, mth::kGetItem, int16_t{3},
                           static_cast<void*>(out)),
            0);
  EXPECT_EQ(std::vector<uint8_t>(out, out + 6), (std::vector<uint8_t>{0x34, 0x12, 7, 7, 9, 9}));
}

}  // namespace
