// image verify and keys: who signed an image and whether that key is
// trusted; which keys are trusted and where each came from. Also the
// signature fields check, flash and image info report.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "cli/command_context.h"
#include "cli/exit_status.h"
#include "cli/json_report.h"
#include "service/signing_policy.h"

namespace veltrane::cli {

ExitStatus ImageVerifyCommand(const CommandContext& context, const std::string& image_path);
ExitStatus KeysCommand(const CommandContext& context);

// Loads the policy and keys for the context's options and says every warning
// (a skipped key file, an unreadable setting), each naming its file.
ImageSigning LoadSigning(const CommandContext& context);

// The "signature" object of --json: state, file, key ID, trusted, comment, reason.
Json SignatureJson(const SignatureVerdict& verdict);

}  // namespace veltrane::cli
