// The hardware-ID property loop and its multi-string, against a faked
// registry-property call (no device needed).
#include "device/platform/windows/hardware_id_property.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <utility>
#include <string>
#include <vector>

namespace veltrane::windows {
namespace {

constexpr std::uint32_t kInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
constexpr std::uint32_t kInvalidData = 13;          // ERROR_INVALID_DATA

// A registry property that answers from a script: each call takes the next
// step; a step either asks for more room (with the size it wants), fails with
// another error, or succeeds by copying `value` into the caller's buffer.
class FakeProperty {
 public:
  struct Step {
    enum Kind { kNeed, kFail, kCopy } kind;
    std::uint32_t size_or_error = 0;
  };
  struct Call {
    bool had_buffer;
    std::uint32_t buffer_size;
  };

  FakeProperty(std::string value, std::vector<Step> steps)
      : value_(std::move(value)), steps_(std::move(steps)) {}

  PropertyCall AsCall() {
    return [this](std::uint8_t* buffer, std::uint32_t buffer_size, std::uint32_t* required) {
      calls_.push_back({buffer != nullptr, buffer_size});
      if (calls_.size() > steps_.size()) return PropertyCallResult{false, kInvalidData};
      const Step& step = steps_[calls_.size() - 1];
      switch (step.kind) {
        case Step::kNeed:
          *required = step.size_or_error;
          return PropertyCallResult{false, kInsufficientBuffer};
        case Step::kFail:
          return PropertyCallResult{false, step.size_or_error};
        case Step::kCopy:
        default:
          std::memcpy(buffer, value_.data(), std::min<std::size_t>(value_.size(), buffer_size));
          *required = static_cast<std::uint32_t>(value_.size());
          return PropertyCallResult{true, 0};
      }
    };
  }
  const std::vector<Call>& Calls() const { return calls_; }

 private:
  std::string value_;
  std::vector<Step> steps_;
  std::vector<Call> calls_;
};

// "A\0B\0\0" as the property holds a multi-string.
std::string MultiString(const std::vector<std::string>& strings) {
  std::string out;
  for (const auto& s : strings) out += s + '\0';
  return out + '\0';
}

using Step = FakeProperty::Step;

TEST(HardwareIdPropertyTest, TakesTheFirstStringAndIgnoresTheRest) {
  const std::string value =
      MultiString({"USB\\VID_3917&PID_0010&REV_0102", "USB\\VID_3917&PID_0010", "HID_DEVICE"});
  const auto size = static_cast<std::uint32_t>(value.size());
  FakeProperty property(value, {{Step::kNeed, size}, {Step::kCopy}});
  std::string first;
  ASSERT_TRUE(ReadFirstHardwareId(property.AsCall(), &first));
  EXPECT_EQ(first, "USB\\VID_3917&PID_0010&REV_0102");
  // Size query without a buffer, then one read with the size asked for.
  ASSERT_EQ(property.Calls().size(), 2u);
  EXPECT_FALSE(property.Calls()[0].had_buffer);
  EXPECT_EQ(property.Calls()[0].buffer_size, 0u);
  EXPECT_TRUE(property.Calls()[1].had_buffer);
  EXPECT_EQ(property.Calls()[1].buffer_size, size);
}

TEST(HardwareIdPropertyTest, FollowsTheSizeWhenItGrowsTwice) {
  const std::string value = MultiString({"USB\\VID_3917&PID_00AB&REV_0200"});
  FakeProperty property(value, {{Step::kNeed, 8}, {Step::kNeed, 16}, {Step::kNeed, 64}, {Step::kCopy}});
  const PropertyBlock block = ReadPropertyBlock(property.AsCall());
  ASSERT_TRUE(block.data);
  // Twice the last size asked for, the property then zeros.
  EXPECT_EQ(block.capacity, 128u);
  ASSERT_EQ(property.Calls().size(), 4u);
  EXPECT_EQ(property.Calls()[1].buffer_size, 8u);
  EXPECT_EQ(property.Calls()[2].buffer_size, 16u);
  EXPECT_EQ(property.Calls()[3].buffer_size, 64u);
  EXPECT_EQ(FirstMultiString(block.data.get(), block.capacity), "USB\\VID_3917&PID_00AB&REV_0200");
  for (std::size_t i = value.size(); i < block.capacity; ++i) ASSERT_EQ(block.data[i], 0) << i;
}

TEST(HardwareIdPropertyTest, AnyOtherErrorGivesUpOnTheDevice) {
  // Fails on the size query itself.
  FakeProperty no_property("", {{Step::kFail, kInvalidData}});
  std::string first = "unchanged";
  EXPECT_FALSE(ReadFirstHardwareId(no_property.AsCall(), &first));
  EXPECT_EQ(first, "unchanged");
  EXPECT_EQ(no_property.Calls().size(), 1u);

  // Fails on the read after a size query: the zeroed block is not a property.
  FakeProperty read_fails("X", {{Step::kNeed, 32}, {Step::kFail, kInvalidData}});
  EXPECT_FALSE(ReadFirstHardwareId(read_fails.AsCall(), &first));
  EXPECT_EQ(read_fails.Calls().size(), 2u);
}

TEST(HardwareIdPropertyTest, SuccessOnTheSizeQueryMeansNoData) {
  FakeProperty property("", {{Step::kCopy}});
  std::string first;
  EXPECT_FALSE(ReadFirstHardwareId(property.AsCall(), &first));
  EXPECT_EQ(property.Calls().size(), 1u);
}

TEST(HardwareIdPropertyTest, GivesUpOnASizeOfZeroOrAPropertyThatNeverSettles) {
  FakeProperty zero("", {{Step::kNeed, 0}});
  EXPECT_FALSE(ReadPropertyBlock(zero.AsCall()).data);
  EXPECT_EQ(zero.Calls().size(), 1u);

  std::vector<Step> forever(100, Step{Step::kNeed, 40});
  FakeProperty growing("", forever);
  EXPECT_FALSE(ReadPropertyBlock(growing.AsCall()).data);
  EXPECT_LT(growing.Calls().size(), forever.size());
}

TEST(HardwareIdPropertyTest, FirstStringStopsAtTheBlockEnd) {
  const std::uint8_t unterminated[] = {'U', 'S', 'B', '\\', 'X'};
  EXPECT_EQ(FirstMultiString(unterminated, 3), "USB");
  const std::uint8_t empty_first[] = {0, 'A', 0, 0};
  EXPECT_EQ(FirstMultiString(empty_first, sizeof empty_first), "");
  EXPECT_EQ(FirstMultiString(nullptr, 10), "");
}

// Each HID interface's node walks up its own parents: two DACs of one product
// and different revisions (one composite, whose HID node sits below an &MI_
// interface) each get their own device's ID, never the sibling's; a node on
// no USB bus (wine's own HID bus) keeps its own; nothing readable, nothing.
TEST(HardwareIdPropertyTest, EachInterfaceTakesItsOwnDevicesIdFromItsParentChain) {
  // node -> {first hardware ID ("" = unreadable), parent (0 = none)}
  const std::map<std::uint32_t, std::pair<std::string, std::uint32_t>> tree = {
      {1, {"USB\\ROOT_HUB30&VID8086&PID7AE0&REV0011", 0}},
      {10, {"USB\\VID_3917&PID_0004&REV_0102", 1}},
      {11, {"HID\\VID_3917&PID_0004&REV_0102", 10}},
      {20, {"usb\\vid_3917&pid_0004&rev_0103", 1}},
      {21, {"USB\\VID_3917&PID_0004&REV_0103&MI_03", 20}},
      {22, {"HID\\VID_3917&PID_0004&REV_0103&MI_03", 21}},
      {30, {"WINEBUS\\VID_3917&PID_0004", 0}},
      {31, {"HID\\VID_3917&PID_0004", 30}},
      {40, {"", 1}},
      {41, {"", 40}},
  };
  DeviceNodeCalls calls;
  calls.hardware_id = [&](std::uint32_t node, std::string* id) {
    *id = tree.at(node).first;
    return !id->empty();
  };
  calls.parent = [&](std::uint32_t node, std::uint32_t* parent) {
    *parent = tree.at(node).second;
    return *parent != 0;
  };
  EXPECT_EQ(InterfaceHardwareId(11, calls), "USB\\VID_3917&PID_0004&REV_0102");
  EXPECT_EQ(InterfaceHardwareId(22, calls), "usb\\vid_3917&pid_0004&rev_0103");
  EXPECT_EQ(InterfaceHardwareId(31, calls), "HID\\VID_3917&PID_0004");
  EXPECT_EQ(InterfaceHardwareId(41, calls), "");
}

}  // namespace
}  // namespace veltrane::windows
