// The commands that talk to the DAC, apart from flash: list, info, check,
// feedback get/set, eeprom read/write. Each returns its exit status.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "cli/command_context.h"
#include "cli/exit_status.h"

namespace veltrane::cli {

ExitStatus ListCommand(const CommandContext& context);
ExitStatus InfoCommand(const CommandContext& context);
ExitStatus CheckCommand(const CommandContext& context, const std::string& image_path);
ExitStatus FeedbackGetCommand(const CommandContext& context);
ExitStatus FeedbackSetCommand(const CommandContext& context,
                              const std::array<std::string, 3>& resolutions);
ExitStatus EepromReadCommand(const CommandContext& context, const std::string& address_text,
                             const std::string& length_text, const std::string& output_path);
ExitStatus EepromWriteCommand(const CommandContext& context, const std::string& address_text,
                              const std::string& input_path);

// ADDR (0..65535) and LEN (1..65536) with ADDR + LEN <= 65536; `error` says
// what is wrong otherwise.
bool ParseEepromRange(const std::string& address_text, const std::string& length_text,
                      std::uint32_t* address, std::size_t* length, std::string* error);

// " 0.0078125 0.015625 ... 1.00": the eight table texts, for usage messages.
std::string ResolutionChoices();

}  // namespace veltrane::cli
