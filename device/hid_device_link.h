// The HID device link: the program's only road to the DAC.
//
// It finds the device (vendor 0x3917, vendor-defined usage page 0xFF00),
// holds three handles to it (query, read, write), frames command packets into
// full-length output reports and takes input reports back. The EEPROM
// protocol and the firmware transfers are operations of the link too.
//
// Results follow the device layer's convention: int 1 for success, 0 for
// failure. The link shows no messages; callers word them.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"

namespace veltrane {

inline constexpr std::uint16_t kVendorId = 0x3917;
inline constexpr std::uint16_t kVendorUsagePage = 0xFF00;
inline constexpr std::uint8_t kEepromDeviceAddress = 0xA0;
inline constexpr std::uint8_t kEepromSelector = 0x00;
inline constexpr std::uint16_t kFeedbackBlockAddress = 0x1712;

inline constexpr std::size_t kOutputReportBufferSize = 256;
inline constexpr std::size_t kInputReportBufferSize = 512;
inline constexpr std::size_t kDevicePathSize = 256;  // 255 characters plus the terminator
inline constexpr std::size_t kPacketBufferSize = 100;

// Largest images the transfers take: the EEPROM's 16-bit address space, and
// for the bulk download a bound far above any firmware (16 MiB is over four
// minutes of blocks) that keeps a wrong pick such as a disk image out.
inline constexpr std::size_t kMaxEepromImage = 65536;
inline constexpr std::size_t kMaxBulkImage = 16u << 20;

// Command bytes (byte 1 of every packet; byte 0 is the packet's own length).
inline constexpr std::uint8_t kCmdSelect = 0x00;
inline constexpr std::uint8_t kCmdBulkStart = 0x01;
inline constexpr std::uint8_t kCmdWrite = 0x04;
inline constexpr std::uint8_t kCmdRead = 0x05;
inline constexpr std::uint8_t kCmdBulkEnd = 0xFF;

class HidDeviceLink {
 public:
  explicit HidDeviceLink(HidPlatform& platform);
  virtual ~HidDeviceLink();
  HidDeviceLink(const HidDeviceLink&) = delete;
  HidDeviceLink& operator=(const HidDeviceLink&) = delete;

  // Discovery and handles.
  int FindDevice();
  void Close();

  // Report transfers.
  int ReadInputReport(std::uint8_t* destination, std::uint16_t length);
  int SendOutputReport(const std::uint8_t* source, std::uint16_t length);
  int WriteOutputReport(const std::uint8_t* source, std::uint16_t length);

  std::string GetHardwareId();
  bool GetDeviceIds(std::uint16_t* vendor_id, std::uint16_t* product_id) const;

  // EEPROM access protocol.
  int WriteEeprom(std::uint8_t device_address, std::uint8_t selector, std::uint16_t address,
                  const std::uint8_t* source, std::uint16_t length);
  int ReadEeprom(std::uint8_t device_address, std::uint8_t selector, std::uint16_t address,
                 std::uint8_t* destination, std::uint16_t length);
  int WriteFeedbackSettings(std::uint8_t device_address, std::uint8_t selector, std::uint8_t s1,
                            std::uint8_t s2, std::uint8_t s3);
  int ReadFeedbackSettings(std::uint8_t device_address, std::uint8_t selector,
                           std::uint8_t* destination, std::uint16_t destination_length);

  // Firmware download transfers.
  int DownloadEepromImage(std::string path, std::uint8_t device_address, std::uint8_t selector);
  int DownloadBulkImage(std::string path);

  // The EEPROM download in its two halves, for callers that check the image
  // in the device before committing it (the command line's verify):
  // `WriteEepromImageBody` sends the select and every write packet with byte 0
  // inverted; `SendRestorePacket` then puts the true first byte in place.
  // `stop`, when given and set, ends the body at the next packet boundary.
  int WriteEepromImageBody(const std::vector<std::uint8_t>& image, std::uint8_t device_address,
                           std::uint8_t selector, const std::atomic<bool>* stop = nullptr);
  int SendRestorePacket(std::uint8_t first_byte);

  // State, for callers and tests.
  bool IsFound() const { return found_ != 0; }
  const std::string& DevicePath() const { return device_path_; }
  const HidCaps& Capabilities() const { return capabilities_; }
  HidHandle QueryHandle() const { return query_handle_; }
  HidHandle ReadHandle() const { return read_handle_; }
  HidHandle WriteHandle() const { return write_handle_; }
  // True when the last discovery saw our vendor-defined interface but the
  // system refused this user both handles (Linux: the udev rule is missing).
  bool AccessDenied() const { return access_denied_; }
  // When set, discovery accepts only this device path (several DACs connected).
  void RestrictToPath(std::string path) { only_path_ = std::move(path); }
  HidPlatform& Platform() { return platform_; }

 private:
  int ProbeInterface(const HidInterface& candidate);
  bool ReadCapabilities();
  void OpenReadHandle(const std::string& path);
  void OpenWriteHandle(const std::string& path);
  // Builds the output report for `length` payload bytes: false when the
  // payload does not fit or the write handle is invalid (nothing to send).
  bool FrameOutputReport(const std::uint8_t* source, std::uint16_t length);
  int SendSelect(std::uint8_t device_address, std::uint8_t selector);
  void ReportProgress(std::uint16_t per_mille);

  HidPlatform& platform_;
  std::string last_hardware_id_;
  const std::uint16_t vendor_id_ = kVendorId;
  std::uint16_t product_id_ = 0;
  int found_ = 0;
  HidHandle query_handle_ = kNullHandle;
  std::string device_path_;
  HidCaps capabilities_{};
  HidAttributes attributes_{};
  HidHandle read_handle_ = kNullHandle;
  std::uint8_t output_report_[kOutputReportBufferSize] = {};
  HidHandle write_handle_ = kNullHandle;
  std::uint8_t input_report_[kInputReportBufferSize] = {};
  bool access_denied_ = false;
  std::string only_path_;
};

}  // namespace veltrane
