// flash IMAGE: identify the DAC, check the image, then the transfer for its
// product ID. EEPROM images are verified before they are committed.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/exit_status.h"

namespace veltrane::cli {

struct FlashOptions {
  std::string image_path;
  bool force = false;        // write a not-newer image all the same
  std::string backup_path;   // save the EEPROM bytes the image will cover
  bool verify = true;        // read the image back before the restore packet
};

ExitStatus FlashCommand(const CommandContext& context, const FlashOptions& options);

// Where `actual` differs from `expected` (same length): the first offset and the count.
struct Mismatch {
  std::size_t first = 0;
  std::size_t count = 0;
};
Mismatch CompareImage(const std::vector<std::uint8_t>& expected,
                      const std::vector<std::uint8_t>& actual);

}  // namespace veltrane::cli
