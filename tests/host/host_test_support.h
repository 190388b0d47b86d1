// What the host's own tests share: a fresh host with the probe library loaded, a way to call
// any service method through its method table, and the ownership check at the end.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "host/host.h"
#include "tests/common/plugin_fixture.h"

class HostTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_ = std::make_unique<refhost::Host>(7);
    probe_ = host_->Load(PROBE_PLUGIN_PATH);
    ASSERT_TRUE(probe_.ok) << probe_.Summary();
  }
  void TearDown() override {
    host_->DestroyAll();
    EXPECT_TRUE(host_->Ownership().Faults().empty()) << host_->Ownership().Report();
    EXPECT_TRUE(host_->Ownership().Leaks().empty()) << host_->Ownership().Report();
  }

  // Calls method `column` of service `service` exactly as a plug-in does.
  template <typename... Args>
  uint16_t S(uint16_t service, uint16_t column, Args... args) {
    return CallHostMethod(host_->ServiceObject(service), abi::kServiceRow, column, args...);
  }
  // Faults recorded so far, forgotten so TearDown sees only the unexpected ones.
  std::vector<refhost::Fault> TakeFaults() { return host_->Ownership().TakeFaults(); }

  std::unique_ptr<refhost::Host> host_;
  refhost::LoadResult probe_;
};

// Reads a member of a packed record by value, so an assertion never binds a reference to a
// misaligned field.
template <typename T>
T Get(T value) {
  return value;
}

namespace svc = abi::service;
namespace mth = abi::method;
