#include "tests/ostrel/list_mod_support.h"

#include "host/host_method.h"

namespace list_testing {

using refhost::Instance;
using testing_support::Integer;
using testing_support::TestText;

void ListModTest::SetUp() {
  PluginTest::SetUp();
  ASSERT_TRUE(ostrel_.ok) << ostrel_.Summary();
  stage_ = host_->AddObject(0, "stage");
}

Instance* ListModTest::Make(uint32_t kind, uint32_t owner) {
  Instance* list = host_->Create("ListMod", owner == 0 ? stage_ : owner);
  EXPECT_NE(list, nullptr);
  if (list != nullptr && kind != kInteger) {
    EXPECT_EQ(ChooseKind(list, kind), 0);
  }
  return list;
}

uint16_t ListModTest::ChooseKind(Instance* list, uint32_t kind) {
  refhost::HostEditor& editor = host_->NewEditor();
  const ChoiceValue choice{tag::kChoice, kind, 0};
  editor.SetItemRecord(6, &choice);
  return list->FromEditor(editor);
}

uint16_t ListModTest::SetAt(Instance* list, int32_t position, const void* value) {
  const IntegerValue index = Integer(position);
  return list->SetAttribute("value", &index, value);
}

uint16_t ListModTest::SetCount(Instance* list, int32_t count) {
  const IntegerValue value = Integer(count);
  return list->SetAttribute("count", nullptr, &value);
}

uint16_t ListModTest::SetInt(Instance* list, int32_t position, int32_t value) {
  const IntegerValue v = Integer(value);
  return SetAt(list, position, &v);
}

uint32_t ListModTest::Count(Instance* list) {
  Out out(tag::kInteger);
  EXPECT_EQ(list->GetAttribute("count", nullptr, out.data()), 0);
  return static_cast<uint32_t>(out.Int());
}

int32_t ListModTest::Error(Instance* list) {
  Out out(tag::kInteger);
  EXPECT_EQ(list->GetAttribute("listError", nullptr, out.data()), 0);
  return out.Int();
}

void ListModTest::FreeAnswer(void* value) {
  uint16_t t;
  std::memcpy(&t, value, 2);
  if (t == tag::kText || t == tag::kTextSecond) {
    FreeHandedText(value);
  } else if (t == tag::kObjectPath) {
    ObjectPathValue path;
    std::memcpy(&path, value, sizeof path);
    if (path.entries != nullptr) {
      CallHostMethod(host_->ServiceObject(abi::service::kMemory), 1, abi::method::kFreeMemory,
                     static_cast<void*>(path.entries));
    }
  }
}

refhost::Value ListModTest::At(Instance* list, int32_t position, uint16_t* status) {
  Out out;
  const IntegerValue index = Integer(position);
  const uint16_t answered = list->GetAttribute("value", &index, out.data());
  if (status != nullptr) *status = answered;
  refhost::Value value;
  if (answered == 0) refhost::Value::FromRecord(out.data(), &value);
  FreeAnswer(out.data());
  return value;
}

std::vector<refhost::Value> ListModTest::All(Instance* list) {
  std::vector<refhost::Value> values;
  const uint32_t count = Count(list);
  for (uint32_t i = 1; i <= count; ++i) values.push_back(At(list, static_cast<int32_t>(i)));
  return values;
}

std::vector<int32_t> ListModTest::Ints(Instance* list) {
  std::vector<int32_t> values;
  for (const refhost::Value& v : All(list)) values.push_back(v.AsInteger());
  return values;
}

std::vector<std::string> ListModTest::Texts(Instance* list) {
  std::vector<std::string> texts;
  for (const refhost::Value& v : All(list)) texts.push_back(v.text);
  return texts;
}

void ListModTest::FillInts(Instance* list, const std::vector<int32_t>& values) {
  ASSERT_EQ(SetCount(list, static_cast<int32_t>(values.size())), 0);
  for (size_t i = 0; i < values.size(); ++i) {
    ASSERT_EQ(SetInt(list, static_cast<int32_t>(i + 1), values[i]), 0);
  }
}

void ListModTest::FillTexts(Instance* list, const std::vector<std::string>& texts) {
  ASSERT_EQ(SetCount(list, static_cast<int32_t>(texts.size())), 0);
  for (size_t i = 0; i < texts.size(); ++i) {
    TestText text(texts[i]);
    ASSERT_EQ(SetAt(list, static_cast<int32_t>(i + 1), text.Value()), 0);
  }
}

uint16_t ListModTest::HostCall(uint16_t service, uint16_t method, uint32_t a, uint32_t b, void* c) {
  return CallHostMethod(host_->ServiceObject(service), 1, method, a, b, c);
}

std::vector<std::vector<uint8_t>> ListModTest::Records(uint32_t handle, uint32_t recordSize) {
  uint32_t count = 0;
  CallHostMethod(host_->ServiceObject(abi::service::kList), 1, abi::method::kListCount, handle,
                 static_cast<void*>(&count));
  std::vector<std::vector<uint8_t>> records;
  for (uint32_t position = 1; position <= count; ++position) {
    std::vector<uint8_t> record(64, 0);
    HostCall(abi::service::kList, abi::method::kGetListItem, handle, position, record.data());
    record.resize(recordSize);
    records.push_back(record);
  }
  return records;
}

}  // namespace list_testing
