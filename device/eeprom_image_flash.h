// A whole EEPROM image flash as the command line and a bench run it: keep
// the DAC's feedback settings when asked, send every packet or only those
// that changed, read the image back before committing it, then the restore
// packet. The safety rule holds on every road: the restore packet goes only
// after a read-back that matched (or, without verify, after every packet).
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/hid_device_link.h"

namespace veltrane {

struct EepromFlashOptions {
  bool verify = true;
  // Skipping packets is safe only with the read-back: refused without verify.
  bool changed_only = false;
  // Write the DAC's own feedback block in place of the image's.
  bool keep_settings = false;
  const std::atomic<bool>* stop = nullptr;  // Ctrl-C: stop at the next packet boundary
  // Called between the pieces of every read (the read-back): the desktop
  // program keeps its window painting there. May be empty.
  std::function<void()> between_reads;
  // The first 18 bytes the EEPROM held, when the caller read them already
  // (for its backup); empty: the flash reads them itself. Every road needs
  // them, --no-verify too: byte 0 is held to fail the checksum of each
  // header the flash can leave.
  std::vector<std::uint8_t> held_header;
};

// Where a flash ended. Up to kBody nothing was written.
enum class EepromFlashStep {
  kDone,
  kRefused,          // --changed-only without verify, or an empty or oversized image
  kReadSettings,     // reading the feedback block failed
  kReadHeld,         // reading what the DAC holds failed
  kBody,             // a write packet failed (the link's LastFailure says which)
  kStopped,          // stopped on request, before the restore packet
  kVerifyRead,       // the read-back failed: not committed
  kVerifyMismatch,   // the read-back differs: not committed, byte 0 made to fail the checksum
  kRestore,          // the restore packet failed
  kLastReadBack,     // the restore packet went out, but byte 0 could not be read again
  kRestoreMismatch,  // byte 0 reads back wrong after the restore packet
};

struct EepromFlashResult {
  EepromFlashStep step = EepromFlashStep::kDone;
  std::vector<std::uint8_t> sent;  // the bytes flashed: the image, with the kept settings
  bool settings_kept = false;
  std::array<std::uint8_t, 4> settings{};  // the DAC's block at 0x1712, when kept
  std::uint32_t packets_planned = 0;       // write packets of the body
  std::uint32_t packets_written = 0;       // write packets the device took, restore included
  std::size_t bytes_written = 0;           // image bytes in the body packets the device took
  std::size_t mismatch_first = 0;          // verify: first differing offset and how many differ
  std::size_t mismatch_count = 0;
  std::uint8_t expected = 0;               // at mismatch_first (kVerifyMismatch), or byte 0
  std::uint8_t actual = 0;
  std::uint8_t held_first = 0;             // what byte 0 held until the restore packet
  // kVerifyMismatch: byte 0 was rewritten to fail the checksum of the header
  // bytes actually there, and read back so (false: it could not be made sure).
  bool repaired = false;

  bool Done() const { return step == EepromFlashStep::kDone; }
};

// Where `actual` differs from `expected`: the first offset and how many bytes
// (a length difference counts as that many differing bytes).
struct Mismatch {
  std::size_t first = 0;
  std::size_t count = 0;
};
Mismatch CompareImage(const std::vector<std::uint8_t>& expected,
                      const std::vector<std::uint8_t>& actual);

// Runs the flash on a found link. Whatever the road, byte 0 is first written
// as `HeldFirstByte` (after a read of the header unless the options carry it),
// so that the header fails its checksum after the first packet and after
// the last; without verify the packets are otherwise those described. Returns 1 when the image is in place and
// committed, else 0; `result` says where it ended either way.
[[nodiscard]] int FlashEepromImage(HidDeviceLink& link, const std::vector<std::uint8_t>& image,
                                   const EepromFlashOptions& options, EepromFlashResult* result);

// Reads `length` bytes from `address` in pieces the link takes (at most 65535
// a call); with `between`, in smaller pieces with `between` called after each.
[[nodiscard]] bool ReadEepromRange(HidDeviceLink& link, std::uint32_t address, std::size_t length,
                                   std::vector<std::uint8_t>* bytes,
                                   const std::function<void()>& between = {});

// Writes `bytes` from `address` in pieces the link takes, without any
// safety rule: for ranges that do not reach address 0.
// `written`, when given, says how many bytes the device took.
[[nodiscard]] bool WriteEepromRange(HidDeviceLink& link, std::uint32_t address,
                                    const std::vector<std::uint8_t>& bytes,
                                    std::size_t* written = nullptr);

// What byte 0 holds while `image` is written over `old_header` (the first 18
// bytes the EEPROM held): the inverted first byte, unless that would pass the
// checksum of bytes 1..17 as they stand after the first packet or after the
// last; then a value that fails both.
std::uint8_t HeldFirstByte(const std::vector<std::uint8_t>& image,
                           const std::vector<std::uint8_t>& old_header);

// True when an image of `size` bytes reaches into the feedback block at 0x1712–0x1715.
bool CoversFeedbackBlock(std::size_t size);

// The feedback block an image of `image` would leave in a DAC that holds
// `held` there now: the image's bytes where it covers the block.
std::array<std::uint8_t, 4> FeedbackBlockAfter(const std::vector<std::uint8_t>& image,
                                               const std::array<std::uint8_t, 4>& held);

// An upper bound, in milliseconds, on a --changed-only flash of an image of
// `length` bytes (every packet changed, read back twice) over reads of
// `read_chunk` bytes: the pauses, and a tenth on top for the reports themselves.
std::uint32_t ChangedOnlyBoundMs(std::size_t length, std::size_t read_chunk);

}  // namespace veltrane
