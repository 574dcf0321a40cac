// The HID device link: the program's only road to the DAC.
//
// It finds the device (vendor 0x3917, vendor-defined usage page 0xFF00),
// holds three handles to it (query, read, write), frames command packets into
// full-length output reports and takes input reports back. The EEPROM
// protocol and the firmware transfers are operations of the link too.
//
// Results follow the device layer's convention: int 1 for success, 0 for
// failure. The link shows no messages; callers word them from `LastFailure()`,
// which every failing operation sets and every succeeding one clears.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/link_failure.h"
#include "device/platform/hid_platform.h"
#include "device/progress.h"

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

// Image bytes per EEPROM write packet, data bytes per bulk block, and the
// image header at the start of every EEPROM image (its checksum in byte 0
// covers bytes 1..17).
inline constexpr std::size_t kImageChunk = 16;
inline constexpr std::size_t kBulkBlock = 64;
inline constexpr std::size_t kImageHeaderSize = 18;

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
  [[nodiscard]] int FindDevice();
  void Close();

  // Report transfers.
  [[nodiscard]] int ReadInputReport(std::uint8_t* destination, std::uint16_t length);
  [[nodiscard]] int SendOutputReport(const std::uint8_t* source, std::uint16_t length);
  [[nodiscard]] int WriteOutputReport(const std::uint8_t* source, std::uint16_t length);

  // The hardware ID of the found interface's own device, as the system lists
  // that interface now, upper-cased; empty when the interface is gone or its
  // ID names another vendor or product.
  std::string GetHardwareId();
  bool GetDeviceIds(std::uint16_t* vendor_id, std::uint16_t* product_id) const;

  // EEPROM access protocol.
  [[nodiscard]] int WriteEeprom(std::uint8_t device_address, std::uint8_t selector,
                                std::uint16_t address, const std::uint8_t* source,
                                std::uint16_t length);
  [[nodiscard]] int ReadEeprom(std::uint8_t device_address, std::uint8_t selector,
                               std::uint16_t address, std::uint8_t* destination,
                               std::uint16_t length);
  [[nodiscard]] int WriteFeedbackSettings(std::uint8_t device_address, std::uint8_t selector,
                                          std::uint8_t s1, std::uint8_t s2, std::uint8_t s3);
  [[nodiscard]] int ReadFeedbackSettings(std::uint8_t device_address, std::uint8_t selector,
                                         std::uint8_t* destination,
                                         std::uint16_t destination_length);

  // Firmware download transfers. The path-taking forms read the file once
  // (bounded: never more than the transfer's limit + 1 bytes) and send those bytes.
  [[nodiscard]] int DownloadEepromImage(std::string path, std::uint8_t device_address,
                                        std::uint8_t selector);
  [[nodiscard]] int DownloadEepromImage(const std::vector<std::uint8_t>& image,
                                        std::uint8_t device_address, std::uint8_t selector);
  [[nodiscard]] int DownloadBulkImage(std::string path);
  [[nodiscard]] int DownloadBulkImage(const std::vector<std::uint8_t>& image);
  // The bulk download that ends at the next block boundary once `stop` is set
  // (stage kStopped; the device simply lacks the rest).
  [[nodiscard]] int DownloadBulkImage(const std::vector<std::uint8_t>& image,
                                      const std::atomic<bool>* stop);

  // The EEPROM download in its two halves, for callers that check the image
  // in the device before committing it (the command line's verify):
  // `WriteEepromImageBody` sends the select and every write packet with byte 0
  // inverted; `SendRestorePacket` then puts the true first byte in place.
  // `stop`, when given and set, ends the body at the next packet boundary.
  // `held_first` is what byte 0 holds until the restore packet: by default
  // the inverted first byte; any value that fails the header checksum will do.
  [[nodiscard]] int WriteEepromImageBody(const std::vector<std::uint8_t>& image,
                                         std::uint8_t device_address, std::uint8_t selector,
                                         const std::atomic<bool>* stop = nullptr,
                                         std::optional<std::uint8_t> held_first = std::nullopt);
  [[nodiscard]] int SendRestorePacket(std::uint8_t first_byte);
  // The body of a --changed-only flash: the select, the first write packet as
  // always (byte 0 inverted, which marks the image invalid before anything
  // else changes), then only the 16-byte packets whose bytes differ from
  // `held`, what the EEPROM holds over the image's span (read just before).
  // Progress counts the packets sent. No restore packet.
  [[nodiscard]] int WriteEepromImageChanges(const std::vector<std::uint8_t>& image,
                                            const std::vector<std::uint8_t>& held,
                                            std::uint8_t device_address, std::uint8_t selector,
                                            const std::atomic<bool>* stop = nullptr,
                                            std::optional<std::uint8_t> held_first = std::nullopt);

  // What the last failing operation knew; stage kNone after a success.
  const LinkFailure& LastFailure() const { return failure_; }

  // Where this link's transfers report their per-mille progress; nullptr for
  // nowhere. The platform hears every value either way (NoteProgress).
  void SetProgressSink(ProgressSink* sink) { progress_sink_ = sink; }
  ProgressSink* GetProgressSink() const { return progress_sink_; }

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
  // Where in an exchange a report goes: the failure recorded if it fails.
  struct Step {
    LinkStage stage = LinkStage::kNone;
    std::uint32_t index = 0;
    std::uint32_t count = 0;
    std::uint32_t address = 0;
    std::uint64_t bytes_done = 0;
    std::uint32_t packets_done = 0;
  };

  int ProbeInterface(const HidInterface& candidate);
  bool ReadCapabilities();
  void OpenReadHandle(const std::string& path);
  void OpenWriteHandle(const std::string& path);
  // Builds the output report for `length` payload bytes: false when the
  // payload does not fit or the write handle is invalid (nothing to send).
  bool FrameOutputReport(const Step& step, const std::uint8_t* source, std::uint16_t length);
  int SendReport(const Step& step, const std::uint8_t* source, std::uint16_t length);
  int ReadReport(const Step& step, std::uint8_t* destination, std::uint16_t length);
  int WriteReport(const Step& step, const std::uint8_t* source, std::uint16_t length);
  int SendSelect(std::uint8_t device_address, std::uint8_t selector);
  // With `held`, only the first packet and those that differ from it go out.
  int SendImageBody(const std::vector<std::uint8_t>& image, std::uint8_t device_address,
                    std::uint8_t selector, const std::atomic<bool>* stop,
                    const std::vector<std::uint8_t>* held = nullptr,
                    std::optional<std::uint8_t> held_first = std::nullopt);
  int SendBulk(const std::vector<std::uint8_t>& image, const std::atomic<bool>* stop);
  void ReportProgress(std::uint16_t per_mille);
  // Records why `step` failed and returns 0; with no platform error the text is the link's.
  int Fail(const Step& step, HidError error, std::string text);
  int FailFromPlatform(const Step& step);
  // Clears the failure and returns 1.
  int Succeed();

  HidPlatform& platform_;
  std::string found_path_;  // what discovery found; kept after Close, for the hardware ID
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
  LinkFailure failure_;
  ProgressSink* progress_sink_ = nullptr;
};

// File offsets of the 16-byte image packets a --changed-only flash sends:
// the first always, then every one whose bytes differ from `held`.
std::vector<std::size_t> ChangedPackets(const std::vector<std::uint8_t>& image,
                                        const std::vector<std::uint8_t>& held);

// Routes a link's progress to `sink` for the lifetime of a scope, then back
// to whatever it was.
class ScopedLinkProgress {
 public:
  ScopedLinkProgress(HidDeviceLink& link, ProgressSink* sink)
      : link_(link), previous_(link.GetProgressSink()) {
    link_.SetProgressSink(sink);
  }
  ~ScopedLinkProgress() { link_.SetProgressSink(previous_); }
  ScopedLinkProgress(const ScopedLinkProgress&) = delete;
  ScopedLinkProgress& operator=(const ScopedLinkProgress&) = delete;

 private:
  HidDeviceLink& link_;
  ProgressSink* previous_;
};

}  // namespace veltrane
