// Owners for the Windows objects the backend creates: kernel handles, device
// information sets, LocalAlloc blocks and HID preparsed data. Each releases
// its object exactly once, with the call that belongs to it.
//
// Internal to device/platform/windows (it includes <windows.h>).
#pragma once

#include <memory>
#include <type_traits>

#include "device/platform/windows/windows_headers.h"

namespace veltrane::windows {

// A kernel handle (file, event). Null and INVALID_HANDLE_VALUE own nothing.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) : handle_(handle) {}
  ~UniqueHandle() { Reset(); }
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.Release()) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) Reset(other.Release());
    return *this;
  }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;

  HANDLE Get() const { return handle_; }
  bool IsValid() const { return handle_ != nullptr && handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Release() {
    HANDLE handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  void Reset(HANDLE handle = nullptr) {
    if (IsValid()) ::CloseHandle(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = nullptr;
};

// A device information set from SetupDiGetClassDevsA.
class DeviceInfoList {
 public:
  explicit DeviceInfoList(HDEVINFO set) : set_(set) {}
  ~DeviceInfoList() {
    if (IsValid()) ::SetupDiDestroyDeviceInfoList(set_);
  }
  DeviceInfoList(const DeviceInfoList&) = delete;
  DeviceInfoList& operator=(const DeviceInfoList&) = delete;

  HDEVINFO Get() const { return set_; }
  bool IsValid() const { return set_ != nullptr && set_ != INVALID_HANDLE_VALUE; }

 private:
  HDEVINFO set_;
};

struct PreparsedDataFree {
  void operator()(std::remove_pointer_t<PHIDP_PREPARSED_DATA>* data) const {
    ::HidD_FreePreparsedData(data);
  }
};
// Only preparsed data that HidD_GetPreparsedData handed out is ever freed.
using PreparsedData = std::unique_ptr<std::remove_pointer_t<PHIDP_PREPARSED_DATA>, PreparsedDataFree>;

}  // namespace veltrane::windows
