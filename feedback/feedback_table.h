// The feedback resolution table: eight resolutions, 2^(i-7) for row i, each
// kept in the device's EEPROM as a mask with the i lowest bits set.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace veltrane {

struct FeedbackResolution {
  std::string_view text;
  std::uint8_t mask;
};

// The texts stand exactly as the device's users know them: the last two
// with two decimals, the others without trailing zeros.
inline constexpr std::array<FeedbackResolution, 8> kFeedbackResolutions = {{
    {"0.0078125", 0x00},
    {"0.015625", 0x01},
    {"0.03125", 0x03},
    {"0.0625", 0x07},
    {"0.125", 0x0F},
    {"0.25", 0x1F},
    {"0.50", 0x3F},
    {"1.00", 0x7F},
}};

// Exact, case-sensitive: "0.5" is not "0.50".
std::optional<std::uint8_t> MaskForText(std::string_view text);
std::optional<std::string_view> TextForMask(std::uint8_t mask);

// The three settings in the order the device keeps them after the 0x00 byte.
enum class SampleRateGroup { k32_48_96kHz = 0, k44_1kHz = 1, k88_2kHz = 2 };
inline constexpr std::array<std::string_view, 3> kSampleRateGroupNames = {
    "32/48/96 kHz", "44.1 kHz", "88.2 kHz"};

namespace feedback_texts {
inline constexpr char kFailedEnumeration[] =
    "Failed device enumeration!\nPlease reconnect the device!\nAnd try again!";
inline constexpr char kProgramCompleted[] = "Program completed.";
inline constexpr char kFailedProgramming[] = "Failed programming\nFeedback Sample Resolution!";
inline constexpr char kChooseEveryRate[] =
    "Please choose a feedback resolution for every sample rate.";
// Accessible names of the feedback page's controls, for screen readers.
inline constexpr char kCombo32_48_96Name[] = "Feedback resolution at 32, 48 and 96 kHz";
inline constexpr char kCombo44_1Name[] = "Feedback resolution at 44.1 kHz";
inline constexpr char kCombo88_2Name[] = "Feedback resolution at 88.2 kHz";
inline constexpr char kLabel32_48_96Name[] = "32/48/96 KHZ";
inline constexpr char kLabel44_1Name[] = "44.1 KHZ";
inline constexpr char kLabel88_2Name[] = "88.2 KHZ";
inline constexpr char kProgramName[] = "Program feedback resolutions";
inline constexpr char kRetrieveName[] = "Retrieve feedback resolutions";
}  // namespace feedback_texts

}  // namespace veltrane
