#include "app/no_device_platform.h"

#include <chrono>
#include <thread>

namespace veltrane {

void NoDevicePlatform::Sleep(unsigned milliseconds) {
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

}  // namespace veltrane
