#include "cli/interrupt_guard.h"

#include <csignal>

namespace veltrane::cli {
namespace {

std::atomic<bool> g_interrupted{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

extern "C" void OnInterrupt(int) {
  g_interrupted.store(true);
  std::signal(SIGINT, SIG_DFL);
}

}  // namespace

InterruptGuard::InterruptGuard() {
  g_interrupted.store(false);
  previous_ = std::signal(SIGINT, OnInterrupt);
}

InterruptGuard::~InterruptGuard() {
  std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
}

const std::atomic<bool>* InterruptGuard::Flag() { return &g_interrupted; }

}  // namespace veltrane::cli
