#include "cli/interrupt_guard.h"

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <signal.h>
#endif

namespace veltrane::cli {
namespace {

std::atomic<bool> g_interrupted{false};
std::atomic<int> g_signal{0};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler needs a lock-free number");

#ifdef _WIN32

constexpr int kCtrlBreak = 1000 + CTRL_BREAK_EVENT;
constexpr int kConsoleClosed = 1000 + CTRL_CLOSE_EVENT;

BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  // A second one ends the program as usual.
  if (g_interrupted.exchange(true)) return FALSE;
  g_signal.store(event == CTRL_C_EVENT ? SIGINT : static_cast<int>(1000 + event));
  if (event == CTRL_CLOSE_EVENT) {
    // The system ends the process when this returns: give the transfer a
    // moment to stop at its packet boundary and release the DAC.
    ::Sleep(2000);
  }
  return TRUE;
}

#else

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_previous[3];

extern "C" void OnSignal(int signal_number) {
  g_signal.store(signal_number);
  g_interrupted.store(true);
}

#endif

}  // namespace

InterruptGuard::InterruptGuard() {
  g_interrupted.store(false);
  g_signal.store(0);
#ifdef _WIN32
  ::SetConsoleCtrlHandler(OnConsoleEvent, TRUE);
#else
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a blocking read or wait returns EINTR and looks at the
  // flag. SA_RESETHAND: the second signal takes the default road.
  action.sa_flags = SA_RESETHAND;
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &action, &g_previous[i]);
#endif
}

InterruptGuard::~InterruptGuard() {
#ifdef _WIN32
  ::SetConsoleCtrlHandler(OnConsoleEvent, FALSE);
#else
  for (int i = 0; i < 3; ++i) ::sigaction(kSignals[i], &g_previous[i], nullptr);
#endif
}

const std::atomic<bool>* InterruptGuard::Flag() { return &g_interrupted; }

const char* InterruptGuard::SignalName() {
  switch (g_signal.load()) {
    case 0: return nullptr;
    case SIGINT: return "Ctrl-C";
    case SIGTERM: return "SIGTERM";
#ifdef _WIN32
    case kCtrlBreak: return "Ctrl-Break";
    case kConsoleClosed: return "the console closing";
#else
    case SIGHUP: return "SIGHUP";
#endif
    default: return "a signal";
  }
}

void InterruptGuard::RequestStop(int signal_number) {
  g_signal.store(signal_number);
  g_interrupted.store(true);
}

}  // namespace veltrane::cli
