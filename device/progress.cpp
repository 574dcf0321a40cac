#include "device/progress.h"

namespace veltrane {
namespace {
ProgressSink* g_sink = nullptr;
}  // namespace

ProgressSink* InstallProgressSink(ProgressSink* sink) {
  ProgressSink* previous = g_sink;
  g_sink = sink;
  return previous;
}

ProgressSink* InstalledProgressSink() { return g_sink; }

}  // namespace veltrane
