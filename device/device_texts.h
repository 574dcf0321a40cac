// The device core's own sentences (the link shows nothing; callers that need
// a sentence about discovery or a failed exchange take these).
#pragma once

namespace veltrane::device_texts {

inline constexpr char kNotFound[] = "No DAC was found. Connect the device and try again.";
inline constexpr char kAccessDenied[] =
    "A DAC is connected, but this user may not open its device node (permission denied).";
inline constexpr char kAccessDeniedNoHint[] =
    "Run the program as a user who may open the device, or ask the administrator for access.";
inline constexpr char kCannotOpen[] = "A DAC is connected, but it could not be opened: %s";
inline constexpr char kNoOpenHandle[] = "no open handle";
inline constexpr char kReportTooLong[] = "the packet does not fit the device's report";
inline constexpr char kBufferTooSmall[] = "the destination buffer is too small";
inline constexpr char kOtherAnswer[] = "the DAC answered another request";
inline constexpr char kNoReportLength[] = "the device's reports carry no data bytes";
inline constexpr char kImageEmpty[] = "the image is empty";
inline constexpr char kImageTooLarge[] = "too large";
inline constexpr char kStoppedText[] = "interrupted";
inline constexpr char kNoInterface[] = "no interface of vendor 0x3917 with usage page 0xFF00";

}  // namespace veltrane::device_texts
