// flash IMAGE: identify the DAC, check the image, then the transfer for its
// product ID. EEPROM images are verified before they are committed.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/exit_status.h"
#include "device/eeprom_image_flash.h"
#include "service/device_change.h"

namespace veltrane::cli {

struct FlashOptions {
  std::string image_path;
  bool force = false;        // write a not-newer image all the same
  std::string backup_path;   // save the EEPROM bytes the image will cover
  bool verify = true;        // read the image back before the restore packet
  bool changed_only = false; // write only the packets that differ from the DAC's (needs verify)
  bool keep_settings = false;  // keep the DAC's feedback settings over the image's
};

ExitStatus FlashCommand(const CommandContext& context, const FlashOptions& options);

class DeviceSession;
// Words where an EEPROM flash that did not finish ended (flash, eeprom write 0).
ExitStatus SayEepromFlashEnd(const CommandContext& context, DeviceSession& session,
                             const EepromFlashResult& result);

// Words a change that ended while the EEPROM was read for its backup
// (nothing written): stopped on request, or the read failed.
ExitStatus SayBackupReadEnd(const CommandContext& context, DeviceSession& session);
// Words where a write away from address 0 ended (eeprom write, feedback set,
// rollback): stopped in the writing or the read-back, or failed.
ExitStatus SayRawWriteEnd(const CommandContext& context, DeviceSession& session, const ChangeResult& result,
                          std::size_t size);

using veltrane::CompareImage;
using veltrane::Mismatch;

// The three settings of a feedback block (0x00, then the masks) as the
// feedback page names them: "0.25 / 0.50 / 1.00".
std::string SettingsText(const std::array<std::uint8_t, 4>& block);

}  // namespace veltrane::cli
