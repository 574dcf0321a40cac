// The one road every program takes to change a DAC's firmware or EEPROM:
// judge, back up, flash (EEPROM or bulk), verify, commit, report. The
// desktop program's Write, `flash`, a bench unit and `eeprom write` at
// address 0 all call `ApplyChange`; they word its result and never
// re-implement a step.
//
//   judge    the image bytes against the identified DAC (`JudgeChange`): the
//            bulk rule for products 16 and 17, the header rules otherwise,
//            the options the transfer can take, then the signature: an
//            image's is judged whenever it has one, and where signed images
//            are required every write that reaches the image area (address
//            0 to the end of the longer of the held image and the new bytes)
//            must be a whole image signed by a trusted key (service/signed_only.h);
//            the feedback block and bytes past the image area stay free
//   back up  what the EEPROM holds is read and handed to `BackupPlan::save`
//   flash    EEPROM: byte 0 held so that it fails the header checksum, every
//            packet (or only the changed ones); bulk: start, blocks, end
//   verify   the image read back; on a mismatch byte 0 is made to fail the
//            checksum of the bytes actually there, and read back
//   commit   the restore packet, then byte 0 read back
//   report   `ChangeResult`: where it ended, the link's failure, counts, the
//            versions before and after and the backup's path (for a history)
//
// No Qt. Progress goes to the link's sink (or the request's); the desktop
// keeps its window painting through `EepromFlashOptions::between_reads` and
// its progress sink; the command line stops at a packet boundary through
// `EepromFlashOptions::stop`.
#pragma once

#include <cstddef>
#include <cstdint>
#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "device/link_failure.h"
#include "device/progress.h"
#include "image/image_header.h"
#include "service/signing_policy.h"

namespace veltrane {

// How much of the EEPROM a backup keeps.
enum class BackupSpan {
  kNewImage,   // the bytes the new image will cover
  kHeldImage,  // the image the EEPROM holds (its header's length, else all 64 KiB),
               // never less than the new image covers
};

struct BackupPlan {
  // Saves `held`, read from address 0 before anything is written. Returns
  // false with `error` set to stop the change before its first packet; sets
  // `where` (a path) on success. Empty: no backup.
  std::function<bool(const std::vector<std::uint8_t>& held, std::string* where, std::string* error)> save;
  BackupSpan span = BackupSpan::kNewImage;
  // Called between the pieces of the backup read (the desktop keeps painting). May be empty.
  std::function<void()> between_reads;
};

enum class ChangeKind {
  kImage,  // a firmware image: judged, then the transfer the product takes
  kRaw,    // bytes for EEPROM `ChangeRequest::address` (a backup put back, the feedback
           // block): not judged; from address 0 the EEPROM road, elsewhere written and read back
};

struct ChangeResult;

// What the road needs to judge signatures. Whoever builds the change hands
// its program's policy and keys; without them the road takes the system's
// own (its policy file and key folders), so no caller can leave the
// requirement out.
struct ChangeSigning {
  const ImageSigning* policy = nullptr;  // null: ImageSigning::Load(SystemSigningPlaces(), {})
  std::string image_path;    // the file the bytes came from: IMAGE.minisig beside it is theirs
  std::string backup_folder; // its signed-images/ keeps the signatures of images flashed signed
};

struct ChangeRequest {
  // The bytes, read once (required; they must outlive the call); sent as they are.
  const std::vector<std::uint8_t>* image = nullptr;
  DeviceIdentity device;                             // who the DAC on the link is
  ChangeKind kind = ChangeKind::kImage;
  std::uint32_t address = 0;  // kRaw: where the bytes go (the backup is read from there too)
  // Write a not-newer image, or an EEPROM image into a bulk product, all the same.
  bool force = false;
  ChangeSigning signing;
  // Called once when the judge has said yes, before anything is read or
  // sent: where a program words the verdict (or a recorder notes the start).
  std::function<void(const ChangeResult& judged)> judged;
  // Called once after the backup is saved and before the first byte is
  // written (a recorder writes its row then, in state running). It never
  // stops the change.
  std::function<void(const ChangeResult& so_far)> before_write;
  EepromFlashOptions flash;         // verify, --changed-only, --keep-settings, stop, between_reads
  BackupPlan backup;                // EEPROM products only
  ProgressSink* progress = nullptr; // nullptr: the link's own sink
};

enum class ChangeStep {
  kDone,
  kRefused,     // the judge said no: `refusal` and `check` say why; nothing was sent
  kBackupRead,  // reading the EEPROM for the backup failed; nothing was written
  kBackupSave,  // the backup could not be saved (`backup_error`); nothing was written
  kFlash,       // the EEPROM flash did not finish: `flash.step` says where
  kBulk,        // the bulk transfer failed or was stopped (`failure`)
};

enum class Refusal {
  kNone,
  kImage,                // `check` says why (its verdict, message and problem)
  kBulkOption,           // --changed-only or --keep-settings for a bulk product
  kChangedOnlyNoVerify,  // --changed-only without the read-back
  kSignature,            // the image's signature is bad, untrusted or unreadable: `signature`
  kSignedOnly,           // signed images are required and these bytes are not one: `refusal_text`
};

struct ChangeResult {
  ChangeStep step = ChangeStep::kRefused;
  ImageCheck check;           // the built-in judgement (kRaw: not judged, kReady)
  Refusal refusal = Refusal::kNone;
  std::string refusal_text;   // kBulkOption: the option; kSignature, kSignedOnly: the reason
  SignatureVerdict signature; // the bytes' signature, when one was judged
  bool signature_judged = false;
  // EEPROM products: the first 18 bytes the EEPROM held before the change,
  // when they were read (for the backup's span, or the signed-only rule).
  std::optional<std::array<std::uint8_t, kImageHeaderSize>> held_header;
  bool forced = false;        // not ready, written all the same (force)
  bool bulk = false;          // the bulk transfer was the one chosen
  std::uint16_t version_before = 0;  // the DAC's revision
  std::uint16_t version_after = 0;   // the image header's version (0 without a header)
  std::string backup_path;    // where the backup went; empty when none was taken
  std::string backup_error;
  std::size_t backup_length = 0;
  EepromFlashResult flash;    // the EEPROM road's own account
  LinkFailure failure;        // the link's last failure when it ended
  std::uint32_t packets_written = 0;  // packets or blocks the device took (restore, bulk start/end included)
  std::size_t bytes_written = 0;      // image bytes the device took

  bool Done() const { return step == ChangeStep::kDone; }
};

// The judge step alone, as `check` and the desktop's file choice use it:
// step kDone when the change may go, else kRefused with the reason.
ChangeResult JudgeChange(const ChangeRequest& request);

// The whole road on a found link. True when the new bytes are in place and
// committed; `result` says where it ended either way.
[[nodiscard]] bool ApplyChange(HidDeviceLink& link, const ChangeRequest& request, ChangeResult* result);

// How many bytes from address 0 a backup of `span` keeps, given the first
// 18 bytes the EEPROM holds and the length of the new image.
std::size_t BackupLength(BackupSpan span, const std::uint8_t* held_header, std::size_t new_length);

}  // namespace veltrane
