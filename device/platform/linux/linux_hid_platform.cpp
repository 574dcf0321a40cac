// Placeholder until the hidraw backend lands: reports no devices.
#include "device/platform/hid_platform.h"
namespace veltrane {
std::unique_ptr<HidPlatform> CreateSystemHidPlatform() { return nullptr; }
}  // namespace veltrane
