// image verify and keys: who signed an image and whether that key is
// trusted; which keys are trusted and where each came from. Also the
// signature fields check, flash and image info report.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/exit_status.h"
#include "cli/json_report.h"
#include "service/signing_policy.h"
#include "image/image_header.h"

namespace veltrane::cli {

ExitStatus ImageVerifyCommand(const CommandContext& context, const std::string& image_path);
ExitStatus KeysCommand(const CommandContext& context);

// Loads the policy and keys for the context's options and says every warning
// (a skipped key file, an unreadable setting), each naming its file.
ImageSigning LoadSigning(const CommandContext& context);

// The "signature" object of --json: state, file, key ID, trusted, comment, reason.
Json SignatureJson(const SignatureVerdict& verdict);

// The one road's further judgement for IMAGE: the signature of the bytes it
// is handed (the bytes that will be sent). Leaves the verdict in `verdict`
// and returns the reason to refuse, or empty.
std::function<std::string(const std::vector<std::uint8_t>&, const DeviceIdentity&)> SignatureJudge(
    const ImageSigning& signing, const std::string& image_path, SignatureVerdict* verdict);

// Says the signature of an image about to be sent ("Signature: unsigned", or
// who signed it) and puts it in the --json document.
void SaySignature(const CommandContext& context, const SignatureVerdict& verdict);

}  // namespace veltrane::cli
