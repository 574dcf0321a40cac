// The choice of pause timer and the system tick's bookkeeping, against a
// recording fake of the system calls (the Windows calls stay untested here;
// the Windows run of the suites exercises them).
#include "device/platform/pacing_timer.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane {
namespace {

class FakePacingSystem : public PacingSystem {
 public:
  bool high_resolution = true;
  bool plain = true;
  bool raise = true;
  // Each wait advances the clock by this share of what was asked (early wake-ups).
  int wait_percent = 100;

  std::int64_t now = 0;
  int raised = 0;  // current raise count
  int raises = 0;
  int lowers = 0;
  std::vector<std::int64_t> waits;

  bool CreateHighResolutionTimer() override { return high_resolution; }
  bool CreatePlainTimer() override { return plain; }
  bool RaiseTick() override {
    if (!raise) return false;
    ++raised;
    ++raises;
    return true;
  }
  void LowerTick() override {
    --raised;
    ++lowers;
  }
  std::int64_t Now() override { return now; }
  void Wait(std::int64_t duration) override {
    waits.push_back(duration);
    const std::int64_t step = duration * wait_percent / 100;
    now += step > 0 ? step : 1;
  }
};

TEST(PacingTimerTest, ChoosesTheBestTimerTheSystemGives) {
  const struct {
    bool high_resolution, plain;
    PacingMode mode;
  } cases[] = {
      {true, true, PacingMode::kHighResolutionTimer},
      {false, true, PacingMode::kRaisedTick},
      {false, false, PacingMode::kPlainSleep},
  };
  for (const auto& c : cases) {
    FakePacingSystem system;
    system.high_resolution = c.high_resolution;
    system.plain = c.plain;
    PacingTimer timer(system);
    EXPECT_EQ(timer.Mode(), c.mode);
  }
}

// The tick is raised only where the timer needs it, for a whole transfer at
// once, and every raise is matched by one lowering.
TEST(PacingTimerTest, RaisesTheTickOnlyWhereNeededAndAlwaysLowersIt) {
  const struct {
    const char* name;
    bool high_resolution, raise;
    int raises_in_transfer;  // raises after a transfer of three pauses
    int raises_alone;        // raises after two pauses outside any transfer
  } cases[] = {
      {"high resolution", true, true, 0, 0},
      {"fallback", false, true, 1, 2},
      {"fallback, raise refused", false, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakePacingSystem system;
    system.high_resolution = c.high_resolution;
    system.raise = c.raise;
    PacingTimer timer(system);

    timer.TransferBegan();
    timer.TransferBegan();  // nested: one raise for both
    for (int i = 0; i < 3; ++i) {
      timer.Sleep(1);
      EXPECT_EQ(system.raised, c.raises_in_transfer);
    }
    timer.TransferEnded();
    EXPECT_EQ(system.raised, c.raises_in_transfer);
    timer.TransferEnded();
    EXPECT_EQ(system.raised, 0);
    EXPECT_EQ(system.raises, c.raises_in_transfer);
    EXPECT_EQ(system.lowers, system.raises);

    timer.TransferEnded();  // unmatched: ignored
    timer.Sleep(10);
    timer.Sleep(10);
    EXPECT_EQ(system.raised, 0);
    EXPECT_EQ(system.raises, c.raises_in_transfer + c.raises_alone);
    EXPECT_EQ(system.lowers, system.raises);
  }
}

// A transfer that ends by an exception, or a timer destroyed mid-transfer,
// still gives the tick back.
TEST(PacingTimerTest, GivesTheTickBackWhenATransferIsCutShort) {
  FakePacingSystem system;
  system.high_resolution = false;
  {
    PacingTimer timer(system);
    struct Scope {
      PacingTimer& timer;
      explicit Scope(PacingTimer& t) : timer(t) { timer.TransferBegan(); }
      ~Scope() { timer.TransferEnded(); }
    };
    try {
      Scope scope(timer);
      timer.Sleep(1);
      throw std::runtime_error("unplugged");
    } catch (const std::runtime_error&) {
    }
    EXPECT_EQ(system.raised, 0);
    timer.TransferBegan();
    EXPECT_EQ(system.raised, 1);
  }
  EXPECT_EQ(system.raised, 0);
  EXPECT_EQ(system.lowers, 2);
}

// An absolute deadline: waits that end early are resumed for what is left,
// and the pause never ends before its length.
TEST(PacingTimerTest, SleepsToItsDeadline) {
  const struct {
    unsigned ms;
    int wait_percent;
    std::vector<std::int64_t> waits;
  } cases[] = {
      {1, 100, {10000}},
      {10, 100, {100000}},
      {10, 50, {100000, 50000, 25000, 12500, 6250, 3125, 1563, 782, 391, 196, 98, 49, 25, 13, 7, 4, 2, 1}},
      {0, 100, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.ms) + " ms, waits end at " + std::to_string(c.wait_percent) + "%");
    FakePacingSystem system;
    system.now = 123456789;
    system.wait_percent = c.wait_percent;
    PacingTimer timer(system);
    timer.Sleep(c.ms);
    EXPECT_EQ(system.waits, c.waits);
    EXPECT_GE(system.now, 123456789 + std::int64_t{c.ms} * 10000);
  }
}

}  // namespace
}  // namespace veltrane
