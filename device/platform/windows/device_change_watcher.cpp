#include "device/platform/windows/device_change_watcher.h"

#include "device/platform/windows/windows_handles.h"
#include "device/platform/windows/windows_headers.h"

#if defined(__MINGW32__)
// mingw-w64 declares the types of these two calls but not the calls; its
// import library carries both.
extern "C" {
__declspec(dllimport) CONFIGRET WINAPI CM_Register_Notification(PCM_NOTIFY_FILTER filter, PVOID context,
                                                                PCM_NOTIFY_CALLBACK callback,
                                                                PHCMNOTIFICATION notification);
__declspec(dllimport) CONFIGRET WINAPI CM_Unregister_Notification(HCMNOTIFICATION notification);
}
#endif

namespace veltrane {
namespace {

class DeviceChangeWatcher : public ArrivalWatcher {
 public:
  DeviceChangeWatcher() : changed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  ~DeviceChangeWatcher() override {
    // Returns once no callback runs any more: the event outlives them all.
    if (notification_ != nullptr) CM_Unregister_Notification(notification_);
    if (changed_ != nullptr) ::CloseHandle(changed_);
  }

  bool Start() {
    if (changed_ == nullptr) return false;
    CM_NOTIFY_FILTER filter = {};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.u.DeviceInterface.ClassGuid);
    return CM_Register_Notification(&filter, this, &DeviceChangeWatcher::OnChange, &notification_) == CR_SUCCESS;
  }

  bool WaitForChange(unsigned timeout_ms) override {
    return ::WaitForSingleObject(changed_, timeout_ms) == WAIT_OBJECT_0;
  }

 private:
  // On the configuration manager's own thread: only the event is touched.
  static DWORD CALLBACK OnChange(HCMNOTIFICATION, PVOID context, CM_NOTIFY_ACTION action,
                                 PCM_NOTIFY_EVENT_DATA, DWORD) {
    if (action == CM_NOTIFY_ACTION_DEVICEINTERFACEARRIVAL || action == CM_NOTIFY_ACTION_DEVICEINTERFACEREMOVAL) {
      ::SetEvent(static_cast<DeviceChangeWatcher*>(context)->changed_);
    }
    return ERROR_SUCCESS;
  }

  HANDLE changed_;
  HCMNOTIFICATION notification_ = nullptr;
};

}  // namespace

std::unique_ptr<ArrivalWatcher> CreateDeviceChangeWatcher() {
  auto watcher = std::make_unique<DeviceChangeWatcher>();
  if (!watcher->Start()) return nullptr;
  return watcher;
}

}  // namespace veltrane
