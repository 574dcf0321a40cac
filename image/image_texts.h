// The image rules' fixed texts, as the user sees them (the firmware page and
// the command line show the same words).
#pragma once

namespace veltrane::image_texts {

inline constexpr char kFailedOpenFile[] = "Failed open file!";
inline constexpr char kInvalidImage[] = "Invalid Image!";
inline constexpr char kLatestUpdate[] = "Device has latest update!";
inline constexpr char kIncompatibleFormat[] =
    "Device and Image versions are not compatible!\nDevice ID 0x%4.4x-0x%4.4x\nImage ID 0x%4.4x-0x%4.4x";

}  // namespace veltrane::image_texts
