// Linux's two transports: usbfs by default, hidraw when asked for (or when
// this build or this system has no libusb).
#include <memory>

#include "device/platform/hid_platform.h"
#include "device/platform/linux/linux_hid_platform.h"
#if VELTRANE_HAVE_LIBUSB
#include "device/platform/usb/usb_hid_platform.h"
#endif

namespace veltrane {

std::unique_ptr<HidPlatform> CreateSystemHidPlatform(HidTransport transport) {
#if VELTRANE_HAVE_LIBUSB
  if (transport != HidTransport::kHidraw) {
    auto usb = std::make_unique<UsbHidPlatform>();
    // Asked for by name, it stays and says why nothing works; as the default
    // it gives way to hidraw on a system without usbfs.
    if (usb->Available() || transport == HidTransport::kUsb) return usb;
  }
#endif
  return std::make_unique<LinuxHidPlatform>();
}

}  // namespace veltrane
