// The command line's own texts. The device's users know the desktop
// program's messages (update_texts, feedback_texts); the command line shows
// those where they fit and these where it has more to say.
#pragma once

#include <string>

namespace veltrane::cli {

#if defined(__GNUC__)
#define VELTRANE_PRINTF_FORMAT(f, a) __attribute__((format(gnu_printf, f, a)))
#else
#define VELTRANE_PRINTF_FORMAT(f, a)
#endif

// printf into a std::string.
std::string Fill(const char* format, ...) VELTRANE_PRINTF_FORMAT(1, 2);

namespace texts {

// Files.
inline constexpr char kNoSuchFile[] = "%s: no such file. Check the path and try again.";
inline constexpr char kUnreadableFile[] =
    "%s cannot be read (%s). Check that it is a file you may read, and try again.";
inline constexpr char kTruncatedImage[] =
    "%s is only %zu bytes long, shorter than the 18-byte image header: the file is truncated. "
    "Use a complete copy of the image.";
inline constexpr char kImageTooLarge[] =
    "%s is too large: %zu bytes, but this device takes images of at most %zu bytes.";
inline constexpr char kFileTooLarge[] =
    "%s is too large: it holds more than %zu bytes, more than any image for these devices. "
    "Check that it is the image file.";
inline constexpr char kDataTooLarge[] =
    "%s is too large: it holds more than the %zu bytes the EEPROM can take from this address.";
inline constexpr char kEmptyImage[] = "%s is empty. Use a complete copy of the image.";
inline constexpr char kCutImage[] =
    "%s holds %zu bytes, but its header gives the image %u: the file is cut short (an "
    "interrupted download?). Use a complete copy of the image.";
inline constexpr char kEepromImageForBulk[] =
    "%s carries an EEPROM image header (vendor 0x3917), but product %u takes bulk images. "
    "Check that it is the right file; 'flash --force' streams it all the same.";
inline constexpr char kBulkOption[] =
    "%s applies to EEPROM products only: product %u takes bulk images. Nothing was written.";
inline constexpr char kRepairFailed[] =
    "Byte 0 could not be made sure to fail the header checksum: run `veltrane-cli info` before "
    "using the device.";
inline constexpr char kCannotWrite[] = "Cannot write %s (%s). Check the path and the permissions.";

// Finding the device.
inline constexpr char kNoHardwareId[] =
    "The DAC was found, but the system holds no hardware ID for it, so its revision is "
    "unknown. Reconnect the device and try again.";
inline constexpr char kNoDeviceAtPath[] = "No DAC at %s. Run 'veltrane-cli list' to see the device paths.";
inline constexpr char kUnplugged[] =
    "The device was unplugged during the transfer. Reconnect it and run the command again.";
inline constexpr char kReadFailed[] =
    "Reading the EEPROM failed. Reconnect the device and try again.";
inline constexpr char kWriteFailed[] =
    "Writing the EEPROM failed. Reconnect the device and write again.";
inline constexpr char kFeedbackReadFailed[] =
    "Reading the feedback settings failed. Reconnect the device and try again.";
inline constexpr char kNoSuchDac[] = "No DAC with %s is connected.";
inline constexpr char kConnectedDacs[] = " Connected (serial, location, product, revision, transport, path):";
inline constexpr char kSeveralDacs[] =
    "%zu DACs are connected: choose one with --serial, --location or --device "
    "(serial, location, product, revision, transport, path):";
inline constexpr char kFailureDetail[] = "Failed at: %s";
inline constexpr char kFoundAt[] = "Using the DAC at %s.";

// info
inline constexpr char kIncompleteImage[] =
    "incomplete (version 0x%04x, %u bytes): a write did not finish and byte 0 is still "
    "inverted. Flashing the image again repairs it. Quickest: flash again with --changed-only "
    "to finish (at most %.1f s).";

// list
inline constexpr char kNoInterfaces[] = "No HID interface of vendor 0x3917 is present. Connect the DAC and try again.";
inline constexpr char kNoInterfaceSelected[] =
    "No HID interface of vendor 0x3917 matches the chosen serial number, location or path. "
    "Run 'veltrane-cli list' to see them all.";
inline constexpr char kDacTableHeader[] = "serial       location       product  revision  transport  path";

// check and flash
inline constexpr char kReady[] = "%s: version 0x%04x for 0x%04x-0x%04x, newer than the device's revision 0x%04x: ready to flash.";
inline constexpr char kBulkReady[] = "%s: %zu bytes, ready to stream to product %u.";
inline constexpr char kUseForce[] = "Flash it all the same with 'flash --force'.";
inline constexpr char kForced[] = "Writing it all the same (--force).";
inline constexpr char kBackupNotSaved[] =
    "The backup could not be saved (%s), so nothing was written. Free the backup folder, or write "
    "without a backup: --no-backup.";
inline constexpr char kBackupTaken[] = "Saved what the change overwrites to %s.";
inline constexpr char kBackupSaved[] = "Saved EEPROM bytes 0x0000-0x%04zx to %s.";
inline constexpr char kBackupBulk[] =
    "--backup applies to EEPROM products only: product %u takes bulk images, which are not kept "
    "in the EEPROM. Nothing was written.";
inline constexpr char kBackupReadFailed[] =
    "Reading the EEPROM for the backup failed; nothing was written. Reconnect the device and try again.";
inline constexpr char kVerifying[] = "Reading back %zu bytes to verify before committing.";
inline constexpr char kWritePacketFailed[] =
    "The device did not take the image past byte %zu of %zu. No restore packet was sent: byte 0 "
    "stays inverted, so the device will not take the partial image as valid. Flash the image again.";
inline constexpr char kInterrupted[] =
    "The write was interrupted after %zu of %zu bytes. No restore packet was sent: byte 0 stays "
    "inverted, so the device will not take the partial image as valid. Flash the image again to "
    "complete it.";
inline constexpr char kNothingWritten[] =
    "Nothing was written: the device took none of the image's packets, so the EEPROM holds "
    "what it held before. Reconnect the device and flash again.";
inline constexpr char kNotVerifiedSuffix[] = "(not verified: nothing was read back)";
inline constexpr char kBulkInterrupted[] =
    "The bulk transfer was interrupted after %zu of %zu bytes: the device did not receive the "
    "whole image. Flash the image again.";
inline constexpr char kBulkFailed[] =
    "The bulk transfer stopped after %zu of %zu bytes: the device did not receive the whole "
    "image. Reconnect the device and flash again.";
inline constexpr char kLastReadBackFailed[] =
    "The restore packet went out: the image is in place but the last read-back failed: run "
    "`veltrane-cli info`";
inline constexpr char kVerifyMismatch[] =
    "Verify failed: %zu byte(s) read back differ from the image, the first at offset 0x%04zx "
    "(wrote 0x%02x, read 0x%02x). The image was not committed: byte 0 stays inverted. Flash "
    "again; if the same happens, the EEPROM may be worn.";
inline constexpr char kVerifyReadFailed[] =
    "Reading the image back failed, so it was not committed: byte 0 stays inverted. Reconnect "
    "the device and flash again.";
inline constexpr char kRestoreFailed[] =
    "The restore packet failed: byte 0 stays inverted. Reconnect the device and flash again.";
inline constexpr char kRestoreMismatch[] =
    "Byte 0 reads back as 0x%02x instead of 0x%02x after the restore packet. Flash the image again.";

// --changed-only and --keep-settings
inline constexpr char kChangedOnlyNoVerify[] =
    "--changed-only needs the read-back: skipping packets is safe only when the image is read "
    "back before it is committed. Drop --no-verify.";
inline constexpr char kHeldReadFailed[] =
    "Reading what the DAC holds failed; nothing was written. Reconnect the device and try again.";
inline constexpr char kSettingsReadFailed[] =
    "Reading the DAC's feedback settings failed; nothing was written. Reconnect the device and "
    "try again.";
inline constexpr char kKeepsSettings[] = "keeps feedback settings %s";
inline constexpr char kSettingsNotCovered[] =
    "The image does not reach the feedback settings at 0x1712: they stay as they are.";
inline constexpr char kChangedPackets[] =
    "--changed-only: %u of %u packets differ from what the DAC holds (the first always goes).";
inline constexpr char kResetsSettings[] =
    "Flashing this image sets the feedback settings to %s (the DAC holds %s now); "
    "'flash --keep-settings' keeps the DAC's.";
inline constexpr char kSetsSettings[] =
    "The image covers the feedback settings at 0x1712: flashing it sets them to %s; "
    "'flash --keep-settings' keeps the DAC's.";

// bench
inline constexpr char kUnitPassed[] = "passed: %u packets in %.1f s";
inline constexpr char kUnitInterrupted[] = "interrupted (Ctrl-C) after %u packets";
inline constexpr char kUnitMismatch[] =
    "the image read back differs from offset 0x%04zx (wrote 0x%02x, read 0x%02x)";
inline constexpr char kBenchSummary[] = "%d of %d units passed.";
inline constexpr char kBenchStoppedSummary[] = "%d of %d units passed; stopped.";
inline constexpr char kBenchNoUnits[] = "No DAC was flashed. Connect the DACs and run the bench again.";
inline constexpr char kBackupToStdout[] =
    "--backup needs a file name: stdout carries the results, and a backup is a file to restore "
    "with 'eeprom write 0 FILE'. Nothing was written.";
inline constexpr char kBackupIsImage[] =
    "--backup %s is the image to be flashed: the backup would overwrite it. Choose another name. "
    "Nothing was written.";
// The --json error stage of a transfer stopped on request.
inline constexpr char kStoppedStage[] = "stopped";
inline constexpr char kWriteStopped[] =
    "The write was stopped after %zu of %zu bytes, at a packet boundary: the EEPROM holds the "
    "first bytes of the file and its old bytes after them. Write the file again to complete it.";
inline constexpr char kStoppedBeforeWrite[] =
    "Stopped while the EEPROM was read for the backup, before anything was written: the EEPROM holds "
    "what it held.";
inline constexpr char kStoppedInReadBack[] =
    "Stopped during the read-back, after all %zu bytes were written: they were not read back to check "
    "them. Run the command again to write and check them.";
inline constexpr char kStoppedBeforeRestore[] =
    "The write was stopped after all %zu bytes were written, before the restore packet: byte 0 stays "
    "inverted, so the device will not take the image as valid. Write the image again to complete it.";
inline constexpr char kFeedbackStopped[] =
    "Stopped before the write: the feedback settings are unchanged.";
inline constexpr char kStoppedBySignal[] = "Stopped by %s.";
inline constexpr char kStoppedDacReleased[] = "Stopped by %s; the DAC was released.";
inline constexpr char kStdoutFailed[] =
    "Writing to standard output failed (%s): the result did not arrive whole.";
inline constexpr char kBenchStoppedEmpty[] = "Stopped (Ctrl-C) before any DAC was flashed.";
inline constexpr char kBadUnits[] = "--units takes a number of DACs from 1 to 100000, not '%s'.";

// feedback
inline constexpr char kNotAResolution[] = "'%s' is not a feedback resolution. Use one of:%s";
inline constexpr char kUnknownMask[] = "unknown (0x%02x)";

// eeprom
inline constexpr char kBadAddress[] = "ADDR must be a number from 0 to 65535 (decimal, or hex after 0x), not '%s'.";
inline constexpr char kBadLength[] = "LEN must be a number from 1 to 65536 (decimal, or hex after 0x), not '%s'.";
inline constexpr char kBeyondEeprom[] =
    "0x%04x + %zu bytes runs past the end of the 64 KiB EEPROM: ADDR + LEN may be at most 65536.";
inline constexpr char kJsonOwnsStdout[] =
    "-o - writes the bytes to stdout, which holds the JSON document with --json: name a file.";
inline constexpr char kNothingToWrite[] = "%s is empty: there is nothing to write.";
inline constexpr char kWroteBytes[] = "Wrote %zu bytes from 0x%04x.";
inline constexpr char kSavedBytes[] = "Saved %zu bytes from 0x%04x to %s.";

// image
inline constexpr char kBadId[] = "%s takes a number from 0 to 65535 (decimal, or hex after 0x), not '%s'.";
inline constexpr char kBodyTooLarge[] =
    "%s is %zu bytes long; with the 18-byte header the image would not fit its 16-bit length "
    "field (at most 65535 bytes). Use a smaller body.";
inline constexpr char kPacked[] = "Wrote %s: %zu bytes, vendor 0x%04x, product 0x%04x, version 0x%04x.";

// history
inline constexpr char kHistoryTableHeader[] =
    "    id  started (UTC)        operation       serial      before  after   backup    outcome";
inline constexpr char kNoHistoryKept[] =
    "No service history is kept for this run: --no-history was given, or the simulated DAC keeps "
    "no EEPROM file (use --simulate=FILE, or name one with --history FILE).";
inline constexpr char kBadChangeId[] = "ID must be a change number that 'veltrane-cli history' lists, not '%s'.";
inline constexpr char kNoSuchChange[] = "The service history holds no change %llu. 'veltrane-cli history' lists them.";
inline constexpr char kBadLimit[] = "--limit takes a number of changes from 1 up, not '%s'.";
inline constexpr char kLimitAndAll[] = "--limit and --all contradict each other: give one of them.";
inline constexpr char kNoChanges[] = "No changes are recorded.";
// A change whose program ended before it did (killed, a crash, a power cut).
inline constexpr char kInterruptedOutcome[] = "interrupted";
inline constexpr char kInterruptedDetail[] =
    "its program ended at some point after %s UTC, before the change did; `veltrane-cli rollback` "
    "puts back what it held";
inline constexpr char kLastChangeInterrupted[] =
    "the last change to this DAC was interrupted at %s UTC (change %lld, %s); `veltrane-cli rollback` "
    "puts back what it held";
inline constexpr char kOlderChanges[] = "The newest %zu changes; --all lists every one.";

// rollback
inline constexpr char kNothingToRollBack[] =
    "The service history holds no done change on the DAC %s that is not rolled back yet. "
    "'veltrane-cli history' lists the changes; name one: rollback ID.";
inline constexpr char kRollbackOtherDac[] =
    "Change %lld was made on the DAC with serial number %s, product 0x%04x at %s; the chosen DAC is %s, "
    "product 0x%04x at %s. Nothing was written: choose that DAC with --serial (or --location).";
inline constexpr char kRollbackNeedsId[] =
    "This DAC (product 0x%04x at %s) has no serial number, so the history cannot tell its changes from "
    "another DAC's: name the change, rollback ID ('veltrane-cli history' lists them). Nothing was written.";
inline constexpr char kRollbackStillRunning[] =
    "Change %lld is still being made by %s on %s. Nothing was written: wait for it to end.";
inline constexpr char kRollbackReadFailed[] =
    "Reading what the EEPROM holds over the change's bytes failed; nothing was written. Reconnect the "
    "device and try again.";
inline constexpr char kRollbackChangedSince[] =
    "Change %lld is not what the EEPROM holds over its bytes now: it holds %s. The change was written "
    "over outside this history, redone, or made on another DAC, and putting its backup back would "
    "discard that. Nothing was written; --force puts the backup back all the same.";
inline constexpr char kRollbackUnknownWritten[] =
    "Change %lld was recorded by an older Veltrane, which did not keep what it wrote, so the EEPROM "
    "cannot be compared with it (it holds %s). Nothing was written; --force puts the backup back all "
    "the same.";
inline constexpr char kRollbackChangedForced[] = "The EEPROM held %s there; putting the backup back all the same (--force).";
inline constexpr char kRollbackUnfinished[] =
    "Change %lld did not finish: the EEPROM holds part of it. Putting back what it held before.";
inline constexpr char kRollbackNoBackup[] =
    "Change %lld kept no backup (%s), so there is nothing to put back. Nothing was written.";
inline constexpr char kRollbackAlreadyUndone[] =
    "Change %lld is already rolled back. Nothing was written; --force puts its backup back again.";
inline constexpr char kRollbackBackupMissing[] =
    "The backup of change %lld, %s, cannot be read (%s). Nothing was written.";
inline constexpr char kRollbackBackupAltered[] =
    "%s is not the backup change %lld took: its SHA-256 differs from the one recorded. Nothing "
    "was written.";
inline constexpr char kRollbackLater[] =
    "Rolling back change %lld would silently undo what came after it on the same EEPROM bytes: "
    "%s. Roll those back first (newest first), or give --force to undo them too. Nothing was written.";
inline constexpr char kRollbackLaterForced[] = "Undoing the later %s too (--force).";
inline constexpr char kRolledBack[] =
    "Rolled back change %lld (%s): put back the %zu bytes from 0x%04x that it overwrote, from %s.";
inline constexpr char kRolledBackInvalid[] =
    "The backup holds an image whose byte 0 fails its header checksum (a write that had not "
    "finished when it was taken): it was put back exactly, so the DAC again holds an image it "
    "will not take as valid. Flash a good image to repair it.";
// Signatures (the verdicts' own texts are the signing library's).
inline constexpr char kSignedByTrusted[] = "%s: signed by key %s, trusted: %s (%s)";
inline constexpr char kTrustedCommentLine[] = "Trusted comment: %s";
inline constexpr char kNoSignature[] =
    "%s is unsigned: there is no %s beside it. Name its signature with --signature FILE.";
inline constexpr char kTrustAKey[] =
    "%s was made by a key this computer does not trust. If you trust its maker, pass the "
    "maker's public key with --trusted-key FILE or put it in a trusted-keys folder "
    "('veltrane-cli keys' names them).";
inline constexpr char kSignatureOfKey[] = "%s names key %s (trusted as %s).";
inline constexpr char kNoTrustedKeys[] =
    "No trusted keys. Put makers' minisign public keys (*.pub) in %s or %s, or name one with "
    "--trusted-key FILE.";
inline constexpr char kSignatureField[] = "Signature     %s\n";
inline constexpr char kSignatureLine[] = "Signature: %s";
inline constexpr char kSignatureForm[] = "Signature form: %s (\"%s\")";
// How to get bytes the signed-only rule takes.
inline constexpr char kGetSignedImage[] =
    "Get the image signed by its maker (IMAGE with IMAGE.minisig beside it) and flash that: "
    "veltrane-cli flash IMAGE";
inline constexpr char kPutBackSigned[] = "put back a signed image instead: veltrane-cli flash OLDER.bin";
inline constexpr char kKeyTableHeader[] = "key ID              origin         file";
inline constexpr char kSignedOnly[] = "Only signed images are accepted here (%s).";

// Start-up.
inline constexpr char kUnknownCommand[] =
    "'%s' is not a command. Commands: list, info, check, flash, bench, feedback, eeprom, "
    "image, keys, history, rollback (veltrane-cli --help says more).";
inline constexpr char kDidYouMean[] = " Did you mean '%s'?";
inline constexpr char kTraceWithoutSimulate[] = "--trace records the simulated DAC: add --simulate.";

}  // namespace texts
}  // namespace veltrane::cli
