// A HidPlatform that passes every call on to another one, and once a stop is
// asked for (Ctrl-C, SIGTERM, SIGHUP) refuses output reports and interrupt
// writes without reaching the device and skips the pauses: a bulk download or
// an EEPROM write then ends at the next packet instead of sending the rest.
// (The image flash looks at the flag itself.)
#pragma once

#include <atomic>

#include "device/platform/hid_platform.h"
#include "device/stop_flag.h"

namespace veltrane::cli {

class WatchedPlatform : public HidPlatform {
 public:
  explicit WatchedPlatform(HidPlatform& inner) : inner_(inner) {}

  std::vector<HidInterface> EnumerateInterfaces() override { return inner_.EnumerateInterfaces(); }
  HidHandle Open(const std::string& path, HidAccess access) override {
    return inner_.Open(path, access);
  }
  void Close(HidHandle handle) override { inner_.Close(handle); }
  bool GetAttributes(HidHandle handle, HidAttributes* attributes) override {
    return inner_.GetAttributes(handle, attributes);
  }
  bool GetCaps(HidHandle handle, HidCaps* caps) override { return inner_.GetCaps(handle, caps); }
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    return inner_.GetInputReport(handle, report, length);
  }
  void DiscardInputReports(HidHandle handle) override { inner_.DiscardInputReports(handle); }
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  void Sleep(unsigned milliseconds) override {
    if (!Stopped()) inner_.Sleep(milliseconds);
  }
  HidError LastError() const override { return stopped_write_ ? HidError::kOther : inner_.LastError(); }
  std::string LastErrorText() const override;
  std::string AccessDeniedHint() const override { return inner_.AccessDeniedHint(); }
  std::string TransportName() const override { return inner_.TransportName(); }
  void NoteProgress(std::uint16_t per_mille) override { inner_.NoteProgress(per_mille); }

  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
  bool Stopped() const { return StopRequested(stop_); }

 private:
  HidPlatform& inner_;
  const std::atomic<bool>* stop_ = nullptr;
  bool stopped_write_ = false;  // the last output was refused for the stop flag
};

}  // namespace veltrane::cli
