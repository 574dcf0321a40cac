// The road's signature step. An image's signature is judged whenever it has
// one (a bad, untrusted or unreadable one is refused); where signed images
// are required (the system's file, or --require-signed), every change that
// writes a byte of the image area - address 0 to the end of the longer of
// the image the EEPROM holds (its header's length) and the new bytes - must
// write exactly a whole image signed by a trusted key: its own signature
// (IMAGE.minisig, --signature) or, for bytes put back from a backup, one
// kept when this program flashed that image (SignedImageStore). The feedback
// block 0x1712-0x1715 and writes wholly past the image area are not
// firmware and stay free.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "service/device_change.h"

namespace veltrane {

enum class SigningAnswer {
  kGo,
  kRefuse,         // `result` says why (refusal, refusal_text, signature)
  kNeedHeldImage,  // a write away from address 0: the held image's length decides
};

// `held_length`: how far the image the EEPROM holds reaches (HeldImageLength),
// or nullopt when its header has not been read.
SigningAnswer JudgeSigning(const ChangeRequest& request, bool bulk, std::optional<std::size_t> held_length,
                           ChangeResult* result);

// How far the image reaches whose first 18 bytes are `header`: its header's
// length, or the whole EEPROM when the header names none.
std::size_t HeldImageLength(const std::uint8_t* header);

}  // namespace veltrane
