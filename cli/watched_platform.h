// A HidPlatform that passes every call on to another one and counts the
// reports that went out and failed. The bulk download does not look at its
// interrupt writes, so the command line counts them here to tell a transfer
// the device refused from one it took.
#pragma once

#include <atomic>

#include "device/platform/hid_platform.h"

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
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  std::vector<std::string> HardwareIds() override { return inner_.HardwareIds(); }
  void Sleep(unsigned milliseconds) override {
    if (!Stopped()) inner_.Sleep(milliseconds);
  }
  HidError LastError() const override { return inner_.LastError(); }
  std::string LastErrorText() const override { return inner_.LastErrorText(); }
  std::string AccessDeniedHint() const override { return inner_.AccessDeniedHint(); }
  std::string TransportName() const override { return inner_.TransportName(); }
  void NoteProgress(std::uint16_t per_mille) override { inner_.NoteProgress(per_mille); }

  // Once `stop` is set, interrupt writes are refused without reaching the
  // device and pauses are skipped: the bulk download then runs out at the
  // next packet boundary instead of streaming the rest.
  void SetStopFlag(const std::atomic<bool>* stop) { stop_ = stop; }
  bool Stopped() const { return stop_ != nullptr && stop_->load(); }

  // Counts since construction or the last ResetCounts.
  void ResetCounts();
  int OutputReportsSent() const { return output_reports_sent_; }
  int WritesSent() const { return writes_sent_; }
  int WritesFailed() const { return writes_failed_; }
  // True when the last failing report call found the device gone.
  bool DeviceGone() const { return device_gone_; }

 private:
  HidPlatform& inner_;
  const std::atomic<bool>* stop_ = nullptr;
  int output_reports_sent_ = 0;
  int writes_sent_ = 0;
  int writes_failed_ = 0;
  bool device_gone_ = false;
};

}  // namespace veltrane::cli
