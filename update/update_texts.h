// The firmware update's fixed texts, as the user sees them (the image
// rules' own texts are in image/image_texts.h).
#pragma once

namespace veltrane::update_texts {

inline constexpr char kNoDeviceConnect[] = "No device found!\nPlease connect device";
inline constexpr char kNoDevice[] = "No device found";
inline constexpr char kProgramExit[] = "\nProgram Exit!";
inline constexpr char kSelectFile[] = "Please select file to be programmed.";
inline constexpr char kProgramCompleted[] = "EEPROM program completed. ";
inline constexpr char kProgramFailed[] = "Eeprom programm failed! Please try again!";

// The backup before a Write, in the status strip.
inline constexpr char kBackupReadFailed[] = "Backup failed: the EEPROM could not be read (%1).";
// Putting back the backup of an interrupted change, after the user said yes.
inline constexpr char kPutBackDone[] = "The DAC holds again what it held before the interrupted change.";
inline constexpr char kPutBackRefused[] = "Nothing was written: %1.";
inline constexpr char kPutBackFailed[] = "Putting the backup back failed: %1. Try again, or use veltrane-cli rollback.";
inline constexpr char kBackupSaveFailed[] = "Backup failed: %1.";
// The status strip's note on a chosen image's signature.
inline constexpr char kSignedBy[] = "Image signed by key %1: %2";
inline constexpr char kUnsignedImage[] = "Image unsigned";
inline constexpr char kSignatureRefused[] = "Image refused: %1";

// Accessible names of the firmware page's controls, for screen readers.
inline constexpr char kBrowseName[] = "Load image file";
inline constexpr char kProgressName[] = "Write progress";
inline constexpr char kWriteName[] = "Write image";
inline constexpr char kExitName[] = "Exit";
inline constexpr char kPathName[] = "Image file path";
inline constexpr char kIdentifyName[] = "Identify device";

}  // namespace veltrane::update_texts
