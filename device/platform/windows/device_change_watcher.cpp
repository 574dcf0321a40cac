#include "device/platform/windows/device_change_watcher.h"

#include "device/platform/windows/windows_handles.h"
#include "device/platform/windows/windows_headers.h"

namespace veltrane {
namespace {

// Looked up at run time: the calls exist from Windows 8 on, and a program
// that imported them would not even start on an older system.
using RegisterCall = CONFIGRET(WINAPI*)(PCM_NOTIFY_FILTER, PVOID, PCM_NOTIFY_CALLBACK, PHCMNOTIFICATION);
using UnregisterCall = CONFIGRET(WINAPI*)(HCMNOTIFICATION);

struct NotificationCalls {
  RegisterCall register_call = nullptr;
  UnregisterCall unregister_call = nullptr;
};

NotificationCalls FindNotificationCalls() {
  NotificationCalls calls;
  // wine lists the calls but aborts the process when one is made.
  const HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  if (ntdll != nullptr && ::GetProcAddress(ntdll, "wine_get_version") != nullptr) return calls;
  const HMODULE cfgmgr = ::LoadLibraryW(L"cfgmgr32.dll");
  if (cfgmgr == nullptr) return calls;
  calls.register_call = reinterpret_cast<RegisterCall>(
      reinterpret_cast<void*>(::GetProcAddress(cfgmgr, "CM_Register_Notification")));
  calls.unregister_call = reinterpret_cast<UnregisterCall>(
      reinterpret_cast<void*>(::GetProcAddress(cfgmgr, "CM_Unregister_Notification")));
  if (calls.register_call == nullptr || calls.unregister_call == nullptr) return NotificationCalls{};
  return calls;
}

class DeviceChangeWatcher : public ArrivalWatcher {
 public:
  explicit DeviceChangeWatcher(NotificationCalls calls)
      : calls_(calls), changed_(::CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}

  ~DeviceChangeWatcher() override {
    // Returns once no callback runs any more: the event outlives them all.
    if (notification_ != nullptr) calls_.unregister_call(notification_);
    if (changed_ != nullptr) ::CloseHandle(changed_);
  }

  bool Start() {
    if (changed_ == nullptr) return false;
    CM_NOTIFY_FILTER filter = {};
    filter.cbSize = sizeof filter;
    filter.FilterType = CM_NOTIFY_FILTER_TYPE_DEVICEINTERFACE;
    HidD_GetHidGuid(&filter.u.DeviceInterface.ClassGuid);
    return calls_.register_call(&filter, this, &DeviceChangeWatcher::OnChange, &notification_) == CR_SUCCESS;
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

  NotificationCalls calls_;
  HANDLE changed_;
  HCMNOTIFICATION notification_ = nullptr;
};

}  // namespace

std::unique_ptr<ArrivalWatcher> CreateDeviceChangeWatcher() {
  const NotificationCalls calls = FindNotificationCalls();
  if (calls.register_call == nullptr) return nullptr;
  auto watcher = std::make_unique<DeviceChangeWatcher>(calls);
  if (!watcher->Start()) return nullptr;
  return watcher;
}

}  // namespace veltrane
