// What the ListMod suites share: a fixture that makes lists of any kind through the editor,
// fills and reads them through their attributes, and looks at the host list underneath.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "host/host.h"
#include "ostrel/list_mod.h"
#include "tests/common/plugin_fixture.h"

namespace list_testing {

// Kind choices.
enum Kind : uint32_t {
  kInteger = 1,
  kPoint,
  kRange,
  kReal,
  kString,
  kReference,
  kDuration,
  kTriple,
  kFlag
};

// Room for any value a list answers.
struct Out {
  alignas(8) uint8_t bytes[64] = {};
  explicit Out(uint16_t preset = tag::kUnassigned) { std::memcpy(bytes, &preset, 2); }
  void* data() { return bytes; }
  uint16_t Tag() const {
    uint16_t t;
    std::memcpy(&t, bytes, 2);
    return t;
  }
  int32_t Int() const { return As<IntegerValue>().value; }
  template <typename T>
  T As() const {
    T value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
  }
};

class ListModTest : public PluginTest {
 protected:
  void SetUp() override;

  refhost::Instance* Make(uint32_t kind = kInteger, uint32_t owner = 0);
  static ostrel::ListModRecord* Rec(refhost::Instance* list) {
    return list->As<ostrel::ListModRecord>();
  }
  uint16_t ChooseKind(refhost::Instance* list, uint32_t kind);

  uint16_t Get(refhost::Instance* list, const char* name, const void* index, void* out) {
    return list->GetAttribute(name, index, out);
  }
  uint16_t Set(refhost::Instance* list, const char* name, const void* index, const void* value) {
    return list->SetAttribute(name, index, value);
  }
  uint16_t SetAt(refhost::Instance* list, int32_t position, const void* value);
  uint16_t SetCount(refhost::Instance* list, int32_t count);
  uint16_t SetInt(refhost::Instance* list, int32_t position, int32_t value);
  uint32_t Count(refhost::Instance* list);
  // Reads "listError", which clears it.
  int32_t Error(refhost::Instance* list);
  // The element at a position as a host value, read with an unassigned output; whatever the
  // answer owns is freed.
  refhost::Value At(refhost::Instance* list, int32_t position, uint16_t* status = nullptr);
  std::vector<refhost::Value> All(refhost::Instance* list);
  std::vector<int32_t> Ints(refhost::Instance* list);
  std::vector<std::string> Texts(refhost::Instance* list);
  void FillInts(refhost::Instance* list, const std::vector<int32_t>& values);
  void FillTexts(refhost::Instance* list, const std::vector<std::string>& texts);
  // Frees what an answer owns (a handed-over text, a path's entries) through the host.
  void FreeAnswer(void* value);

  // The host list underneath: its raw records.
  std::vector<std::vector<uint8_t>> Records(uint32_t handle, uint32_t recordSize);
  uint16_t HostCall(uint16_t service, uint16_t method, uint32_t a, uint32_t b, void* c);

  uint32_t stage_ = 0;
};

}  // namespace list_testing
