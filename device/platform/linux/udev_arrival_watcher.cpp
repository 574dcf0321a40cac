#include "device/platform/linux/udev_arrival_watcher.h"

#include <libudev.h>
#include <poll.h>

#include <cerrno>
#include <cstring>

namespace veltrane {
namespace {

struct UdevRelease {
  void operator()(udev* u) const { udev_unref(u); }
  void operator()(udev_monitor* m) const { udev_monitor_unref(m); }
  void operator()(udev_device* d) const { udev_device_unref(d); }
};

class UdevArrivalWatcher : public ArrivalWatcher {
 public:
  UdevArrivalWatcher(std::unique_ptr<udev, UdevRelease> context,
                     std::unique_ptr<udev_monitor, UdevRelease> monitor)
      : context_(std::move(context)), monitor_(std::move(monitor)) {}

  bool WaitForChange(unsigned timeout_ms) override {
    pollfd ready{udev_monitor_get_fd(monitor_.get()), POLLIN, 0};
    int result;
    do {
      result = ::poll(&ready, 1, static_cast<int>(timeout_ms));
    } while (result < 0 && errno == EINTR);
    if (result <= 0) return false;
    // Take every event that is waiting: one answer for a whole plug-in
    // (the USB device, its interfaces, its hidraw nodes).
    bool changed = false;
    while (std::unique_ptr<udev_device, UdevRelease> device{udev_monitor_receive_device(monitor_.get())}) {
      const char* action = udev_device_get_action(device.get());
      if (action != nullptr && (std::strcmp(action, "add") == 0 || std::strcmp(action, "remove") == 0 ||
                                std::strcmp(action, "bind") == 0 || std::strcmp(action, "unbind") == 0)) {
        changed = true;
      }
    }
    return changed;
  }

 private:
  std::unique_ptr<udev, UdevRelease> context_;
  std::unique_ptr<udev_monitor, UdevRelease> monitor_;
};

}  // namespace

std::unique_ptr<ArrivalWatcher> CreateUdevArrivalWatcher(bool hidraw_nodes) {
  std::unique_ptr<udev, UdevRelease> context(udev_new());
  if (!context) return nullptr;
  std::unique_ptr<udev_monitor, UdevRelease> monitor(udev_monitor_new_from_netlink(context.get(), "udev"));
  if (!monitor) return nullptr;
  if ((hidraw_nodes && udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "hidraw", nullptr) < 0) ||
      udev_monitor_filter_add_match_subsystem_devtype(monitor.get(), "usb", "usb_device") < 0 ||
      udev_monitor_enable_receiving(monitor.get()) < 0) {
    return nullptr;
  }
  return std::make_unique<UdevArrivalWatcher>(std::move(context), std::move(monitor));
}

}  // namespace veltrane
