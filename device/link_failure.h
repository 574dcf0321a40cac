// Why the last failing operation of a HID device link failed: where in the
// exchange it stopped, what the system said, and how far it had got.
#pragma once

#include <cstdint>
#include <string>

#include "device/platform/hid_platform.h"

namespace veltrane {

enum class LinkStage {
  kNone,            // the last operation succeeded
  kDiscovery,       // no interface of ours answered
  kOpening,         // ours was seen, but its handles could not be opened
  kNotOpen,         // an operation on a link with no open handle of the kind it needs
  kOutputReport,    // a single control output report sent by the caller
  kInputReport,     // a single input report fetched by the caller
  kInterruptWrite,  // a single interrupt write by the caller
  kSelect,          // the select packet before an EEPROM run
  kWritePacket,     // write packet `index` of `count` at `address`
  kReadRequest,     // the request for read answer `index` of `count` at `address`
  kReadAnswer,      // read answer `index` of `count` at `address`
  kOtherAnswer,     // read answer `index` of `count` at `address` answers another request
  kRestorePacket,   // the packet that puts an image's true first byte in place
  kBulkStart,       // the bulk start packet
  kBulkBlock,       // bulk block `index` of `count`
  kBulkEnd,         // the bulk end packet
  kStopped,         // the caller asked to stop (Ctrl-C) after packet `index` of `count`
  kImageFile,       // the image file could not be read (`system_text` says why)
  kImageRefused,    // the image bytes do not fit the transfer (empty or too large)
  kBadArgument,     // a length or buffer the operation cannot take
};

struct LinkFailure {
  LinkStage stage = LinkStage::kNone;
  HidError error = HidError::kNone;  // the platform's kind of error, when it had one
  std::string system_text;           // the system's own words, or the link's when it had none
  std::uint32_t index = 0;           // 1-based packet, answer or block number
  std::uint32_t count = 0;           // packets, answers or blocks in the run
  std::uint32_t address = 0;         // EEPROM address of the packet
  std::uint64_t bytes_done = 0;      // bytes the device took before the failure
  std::uint32_t packets_done = 0;    // packets or blocks the device took before the failure

  bool Failed() const { return stage != LinkStage::kNone; }
  // One short English line, e.g. "write packet 3 of 512 (address 0x0020): Broken pipe".
  std::string Describe() const;
};

const char* LinkStageName(LinkStage stage);

}  // namespace veltrane
