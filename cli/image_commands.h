// image info and image pack: image files on their own, no device needed.
#pragma once

#include <string>

#include "cli/command_context.h"
#include "cli/exit_status.h"

namespace veltrane::cli {

ExitStatus ImageInfoCommand(const CommandContext& context, const std::string& image_path);

struct PackRequest {
  std::string vendor_text;
  std::string product_text;
  std::string version_text;
  std::string body_path;
  std::string output_path;
};
ExitStatus ImagePackCommand(const CommandContext& context, const PackRequest& request);

}  // namespace veltrane::cli
