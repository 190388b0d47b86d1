// The time limit on plug-in calls, inside one process: an overdue call is abandoned whether it
// spins in its own code or keeps calling the host, its instance is called no more, and the
// host goes on serving every other instance.
#include <gtest/gtest.h>

#include "host/host.h"
#include "tests/common/plugin_fixture.h"

namespace {

TEST(CallLimit, AnOverdueCallIsAbandonedAndItsInstanceFencedOff) {
  refhost::Host host;
  host.SetCallLimit(200);
  refhost::LoadResult hang = host.Load(HANG_PLUGIN_PATH);
  ASSERT_EQ(hang.exportErrors.size(), 1u);
  EXPECT_NE(hang.exportErrors[0].find("Stuck does not follow the entry protocol: the entry call "
                                      "did not return within 0.2 s"),
            std::string::npos)
      << hang.exportErrors[0];
  ASSERT_TRUE(host.Load(TAVIN_PATH).ok);
  const uint32_t stage = host.AddObject(0, "stage");
  refhost::Instance* spinning = host.Create("Sleeper", stage);
  refhost::Instance* asking = host.Create("Sleeper", stage);
  refhost::Instance* quit = host.Create("Quit", stage);
  ASSERT_NE(spinning, nullptr);

  uint8_t out[64] = {};
  EXPECT_EQ(spinning->GetAttribute("x", nullptr, out), refhost::kSlotTimedOut);  // own code
  EXPECT_EQ(asking->HandleMessage(stage, 1, 0), refhost::kSlotTimedOut);         // inside the host
  ASSERT_EQ(host.TimedOutCalls().size(), 2u);
  EXPECT_EQ(host.TimedOutCalls()[0].ToString(),
            "Sleeper#1.GetAttribute did not return within 0.2 s");
  EXPECT_EQ(host.TimedOutCalls()[1].ToString(),
            "Sleeper#2.HandleMessage did not return within 0.2 s");
  EXPECT_TRUE(spinning->TimedOut());

  // Fenced off: answered at once, not called, not counted again.
  EXPECT_EQ(spinning->SetAttribute("x", nullptr, out), refhost::kSlotTimedOut);
  EXPECT_EQ(host.TimedOutCalls().size(), 2u);
  // Everyone else is served as before.
  EXPECT_EQ(quit->GetAttribute("nothing", nullptr, out), 1);
  EXPECT_EQ(quit->Enable(), 0);
  EXPECT_EQ(host.SendMessage(stage, 1802).handled, 1);
  host.DestroyAll();
  EXPECT_TRUE(host.Ownership().Faults().empty()) << host.Ownership().Report();
  EXPECT_TRUE(host.Ownership().Leaks().empty()) << host.Ownership().Report();
}

}  // namespace
