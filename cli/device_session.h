// One command's use of the DAC: the HID device link over a watched platform,
// finding and identifying the device as the firmware page does, and EEPROM
// runs of any length within the 64 KiB address space.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cli/command_context.h"
#include "cli/watched_platform.h"
#include "device/hid_device_link.h"
#include "update/image_header.h"

namespace veltrane::cli {

class DeviceSession {
 public:
  explicit DeviceSession(const CommandContext& context);
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // FindDevice. On failure says why: `no_device_text` when nothing is there,
  // the access hint when the node exists but may not be opened.
  bool Locate(const char* no_device_text);
  // Locate, then the hardware ID, the IDs and the revision from its REV_ field.
  bool Identify();
  const DeviceIdentity& Identity() const { return identity_; }

  HidDeviceLink& Link() { return *link_; }
  WatchedPlatform& Watch() { return *watched_; }

  // Reads or writes `length` bytes from `address`; the link takes at most
  // 65535 bytes a call, so longer runs go in pieces.
  bool ReadRange(std::uint32_t address, std::size_t length, std::vector<std::uint8_t>* bytes);
  bool WriteRange(std::uint32_t address, const std::vector<std::uint8_t>& bytes);

  // Says `text` for a failed transfer, or that the device went away.
  void SayFailure(const char* text) const;

 private:
  const CommandContext& context_;
  std::unique_ptr<WatchedPlatform> watched_;
  std::unique_ptr<HidDeviceLink> link_;
  DeviceIdentity identity_;
};

}  // namespace veltrane::cli
