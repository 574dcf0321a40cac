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
#include "service/device_change.h"

namespace veltrane::cli {

ExitStatus ImageVerifyCommand(const CommandContext& context, const std::string& image_path);
ExitStatus KeysCommand(const CommandContext& context);

// The policy and keys for the context's options, loaded once a command; the
// first call says every warning (a skipped key file or folder and why, a
// policy file that fails closed), each naming its file.
const ImageSigning& LoadSigning(const CommandContext& context);

// The "signature" object of --json: state, file, key ID, trusted, comment, reason.
Json SignatureJson(const SignatureVerdict& verdict);

// Words a change the road's signature step refused (Refusal::kSignature or
// kSignedOnly): "Invalid Image!" first for an `image` (as the desktop says),
// the reason, which names the rule, then `how` (how to get a signed image)
// when the bytes lack a signature that counts. False, saying nothing, for
// any other end.
bool SaySigningRefusal(const CommandContext& context, const ChangeResult& result, bool image, const char* how);

// Says the signature of an image about to be sent ("Signature: unsigned", or
// who signed it) and puts it in the --json document.
void SaySignature(const CommandContext& context, const SignatureVerdict& verdict);

}  // namespace veltrane::cli
