// One object per thread: each thread its own, made at first use, destroyed
// when the thread ends (on Windows by fiber-local storage, where mingw-w64's
// own thread_local destructors corrupt the heap now and then).
#include "device/platform/per_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace veltrane {
namespace {

std::atomic<int> g_alive{0};

// Holds heap memory, as a link's last error text does.
struct Counted {
  Counted() { ++g_alive; }
  ~Counted() { --g_alive; }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  std::string text = std::string(100, 'x');
};

TEST(PerThreadTest, EachThreadHasItsOwnObjectUntilItEnds) {
  constexpr int kRounds = 8;
  constexpr int kThreads = 32;
  for (int round = 0; round < kRounds; ++round) {
    std::vector<const Counted*> seen(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&seen, t] {
        Counted& mine = PerThread<Counted>();
        for (int i = 0; i < 50; ++i) mine.text += std::to_string(i);
        seen[static_cast<std::size_t>(t)] = &PerThread<Counted>() == &mine ? &mine : nullptr;
      });
    }
    for (std::thread& thread : threads) thread.join();
    for (const Counted* object : seen) EXPECT_NE(object, nullptr) << "a thread got another object on its second use";
    EXPECT_EQ(g_alive.load(), 0) << "round " << round << ": an object outlived its thread";
  }
}

}  // namespace
}  // namespace veltrane
