// Reads an image file and judges it against the identified device: the
// header rules of the firmware page, plus what the command line can say more
// precisely (a missing, unreadable, truncated or oversized file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/exit_status.h"
#include "service/device_change.h"
#include "image/image_header.h"

namespace veltrane::cli {

struct ImageVerdict {
  Verdict verdict = Verdict::kOpenFailed;
  const char* name = "open_failed";  // the --json verdict
  std::string message;  // the system's own text; empty when ready
  std::string detail;   // the command line's sentence about the file; may be empty
  bool has_header = false;
  ImageHeader header;
};

// Reads the file once, at most the bulk image limit. On failure says "Failed open file!" and why, and
// returns kExitRefused; kExitDone otherwise.
ExitStatus ReadImageFile(const CommandContext& context, const std::string& path,
                         std::vector<std::uint8_t>* bytes, ImageVerdict* failure);

// Judges `bytes`, read from `path`, for `device` as the one road's judge
// step does: the bulk rule for products 16 and 17, the header rules for
// every other product.
// The signature is judged under `signing` (null: the system's own) and left
// in `signature` when it was judged; its refusal reads "Invalid Image!" with the
// reason as the detail.
ImageVerdict JudgeImageBytes(const std::string& path, const std::vector<std::uint8_t>& bytes,
                             const DeviceIdentity& device, const ImageSigning* signing = nullptr,
                             std::optional<SignatureVerdict>* signature = nullptr);

// The command line's words for the judge's `check` of `bytes`.
ImageVerdict VerdictOf(const std::string& path, const std::vector<std::uint8_t>& bytes,
                       const ImageCheck& check, const DeviceIdentity& device);

// The exit status a verdict leads to when not-newer images are refused.
inline ExitStatus StatusOf(const ImageVerdict& v) {
  return v.verdict == Verdict::kReady ? kExitDone : kExitRefused;
}

// Says the verdict's message and detail, if any.
void SayVerdict(const CommandContext& context, const ImageVerdict& verdict);

}  // namespace veltrane::cli
