// One command's use of the DAC: the HID device link over a watched platform,
// choosing the DAC (--serial, --location, --device; refusing to guess among
// several), finding and identifying it as the firmware page does, and EEPROM
// runs of any length within the 64 KiB address space.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "cli/command_context.h"
#include "cli/exit_status.h"
#include "cli/watched_platform.h"
#include "device/hid_device_link.h"
#include "service/recorded_change.h"
#include "image/image_header.h"

namespace veltrane::cli {

// Where a command's changes keep their backups and rows.
ChangeKeeping KeepingOf(const CommandContext& context);

class DeviceSession {
 public:
  explicit DeviceSession(const CommandContext& context);
  ~DeviceSession();
  DeviceSession(const DeviceSession&) = delete;
  DeviceSession& operator=(const DeviceSession&) = delete;

  // Chooses the DAC, then FindDevice. On failure says why and returns the
  // exit status: 2 when several DACs are there and none was chosen, 1 when
  // none (or not the chosen one) is there or it may not be opened.
  ExitStatus Locate(const char* no_device_text);
  // Locate, then the hardware ID, the IDs and the revision from its REV_ field.
  ExitStatus Identify();
  const DeviceIdentity& Identity() const { return identity_; }

  HidDeviceLink& Link() { return *link_; }

  // The chosen DAC's serial number, location and transport, as 'list' shows them.
  ChangeSubject Subject(const char* operation, const std::string& image_name) const;
  // The one road, recorded: the backup into the backup folder first (unless
  // --no-backup), a row in the history after. Says the history's warning,
  // once, and puts the row's ID into --json ("change").
  bool ApplyRecorded(const ChangeRequest& request, const ChangeSubject& subject, ChangeResult* result,
                     RecordedChange* recorded);
  WatchedPlatform& Watch() { return *watched_; }

  // Reads or writes `length` bytes from `address`; the link takes at most
  // 65535 bytes a call, so longer runs go in pieces.
  bool ReadRange(std::uint32_t address, std::size_t length, std::vector<std::uint8_t>* bytes);
  // `written`, when given, says how many bytes the device took.
  bool WriteRange(std::uint32_t address, const std::vector<std::uint8_t>& bytes,
                  std::size_t* written = nullptr);

  // Says `text` for a failed transfer (or that the device went away), then
  // where it failed and the system's words for it.
  void SayFailure(const char* text) const;
  void SayFailure(const std::string& text) const { SayFailure(text.c_str()); }
  // True when the link's last failure found the device gone (unplugged).
  bool DeviceGone() const;

 private:
  ExitStatus Choose();
  // The line after a failure's message: the link's stage and the system's words.
  void SayWhere() const;

  const CommandContext& context_;
  std::unique_ptr<WatchedPlatform> watched_;
  std::unique_ptr<HidDeviceLink> link_;
  DeviceIdentity identity_;
};

}  // namespace veltrane::cli
