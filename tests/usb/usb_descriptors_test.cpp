// The usbfs transport's logic outside the system calls: interface paths,
// the endpoint a write takes, the report descriptor's length, error kinds
// and the access advice.
#include "device/platform/usb/usb_descriptors.h"

#include <gtest/gtest.h>
#include <libusb.h>

#include <vector>

#include "device/device_finder.h"
#include "sim/simulated_dac.h"

namespace veltrane {
namespace {

TEST(UsbInterfacePathTest, RoundTripsAndRefusesWhatNamesNoInterface) {
  const struct {
    const char* path;
    std::uint8_t bus;
    std::vector<std::uint8_t> ports;
    std::uint8_t interface_number;
  } good[] = {
      {"usb:1-1:1", 1, {1}, 1},
      {"usb:3-1.4.2:0", 3, {1, 4, 2}, 0},
      {"usb:255-7.7.7.7.7.7.7:255", 255, {7, 7, 7, 7, 7, 7, 7}, 255},
  };
  for (const auto& row : good) {
    const auto location = ParseUsbInterfacePath(row.path);
    ASSERT_TRUE(location.has_value()) << row.path;
    EXPECT_EQ(location->bus, row.bus) << row.path;
    EXPECT_EQ(location->ports, row.ports) << row.path;
    EXPECT_EQ(location->interface_number, row.interface_number) << row.path;
    EXPECT_EQ(UsbInterfacePath(*location), row.path);
  }
  for (const char* bad : {"/dev/hidraw0", "usb:", "usb:1-1", "usb:1-:1", "usb:0-1:1", "usb:1-01:1",
                          "usb:1-1:01", "usb:1-1:", "usb:256-1:0", "usb:1-1..2:0", "usb:1-1.:0",
                          "usb:1-1.2.3.4.5.6.7.8:0", "usb:1-1:1:1", "usb:-1:1", "USB:1-1:1"}) {
    EXPECT_FALSE(ParseUsbInterfacePath(bad).has_value()) << bad;
  }
  UsbLocation a{1, {2}, 0}, b{1, {2}, 1}, c{1, {10}, 0}, d{2, {1}, 0};
  EXPECT_TRUE(a < b && b < c && c < d);  // listing order: bus, ports numerically, interface
}

libusb_endpoint_descriptor Endpoint(std::uint8_t address, std::uint8_t type) {
  libusb_endpoint_descriptor endpoint{};
  endpoint.bEndpointAddress = address;
  endpoint.bmAttributes = type;
  return endpoint;
}

TEST(UsbEndpointTest, WritesTakeTheInterruptOutEndpointOnly) {
  const struct {
    std::vector<libusb_endpoint_descriptor> endpoints;
    std::uint8_t expected;
  } rows[] = {
      {{Endpoint(0x81, LIBUSB_TRANSFER_TYPE_INTERRUPT), Endpoint(0x02, LIBUSB_TRANSFER_TYPE_INTERRUPT)}, 0x02},
      {{Endpoint(0x81, LIBUSB_TRANSFER_TYPE_INTERRUPT)}, 0},
      {{Endpoint(0x02, LIBUSB_TRANSFER_TYPE_BULK), Endpoint(0x03, LIBUSB_TRANSFER_TYPE_INTERRUPT)}, 0x03},
      {{Endpoint(0x01, LIBUSB_TRANSFER_TYPE_ISOCHRONOUS)}, 0},
      {{}, 0},
  };
  for (const auto& row : rows) {
    libusb_interface_descriptor descriptor{};
    descriptor.bNumEndpoints = static_cast<std::uint8_t>(row.endpoints.size());
    descriptor.endpoint = row.endpoints.data();
    EXPECT_EQ(InterruptOutEndpoint(descriptor), row.expected);
  }
}

TEST(UsbEndpointTest, ReportDescriptorLengthFromTheHidClassDescriptor) {
  const std::vector<std::uint8_t> hid = {9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x22, 0x01};
  std::vector<std::uint8_t> after_other = {4, 0x24, 0, 0};
  after_other.insert(after_other.end(), hid.begin(), hid.end());
  const std::vector<std::uint8_t> physical_first = {12, 0x21, 0x11, 0x01, 0, 2, 0x23, 9, 0, 0x22, 40, 0};
  const struct {
    std::vector<std::uint8_t> extra;
    std::uint16_t expected;
  } rows[] = {
      {hid, 0x0122},
      {after_other, 0x0122},
      {physical_first, 40},
      {{9, 0x21, 0x11, 0x01, 0, 1, 0x22, 0x22}, 0},  // cut short
      {{0, 0x21, 0, 0}, 0},                          // a zero length would never advance
      {{}, 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ReportDescriptorLength(row.extra.data(), static_cast<int>(row.extra.size())),
              row.expected);
  }
}

TEST(UsbErrorTest, LibusbCodesMapToTheLinksErrorKinds) {
  const struct {
    int code;
    HidError kind;
  } rows[] = {
      {LIBUSB_SUCCESS, HidError::kNone},           {LIBUSB_ERROR_ACCESS, HidError::kAccessDenied},
      {LIBUSB_ERROR_NO_DEVICE, HidError::kNotFound}, {LIBUSB_ERROR_NOT_FOUND, HidError::kNotFound},
      {LIBUSB_ERROR_TIMEOUT, HidError::kTimedOut}, {LIBUSB_ERROR_NOT_SUPPORTED, HidError::kUnsupported},
      {LIBUSB_ERROR_BUSY, HidError::kOther},       {LIBUSB_ERROR_PIPE, HidError::kOther},
      {LIBUSB_ERROR_IO, HidError::kOther},
  };
  for (const auto& row : rows) EXPECT_EQ(UsbErrorKind(row.code), row.kind) << row.code;
}

TEST(UsbAccessHintTest, NamesTheRuleThatIsMissing) {
  const std::string usb_rule = "SUBSYSTEM==\"usb\"";
  const std::string hidraw_rule = "KERNEL==\"hidraw*\"";
  const std::string only_usb = UsbAccessHint("/dev/bus/usb/001/002", "/dev/hidraw1", true);
  EXPECT_NE(only_usb.find(usb_rule), std::string::npos) << only_usb;
  EXPECT_EQ(only_usb.find(hidraw_rule), std::string::npos) << only_usb;
  EXPECT_NE(only_usb.find("/dev/bus/usb/001/002"), std::string::npos);
  EXPECT_NE(only_usb.find("--transport hidraw"), std::string::npos);

  const std::string both = UsbAccessHint("/dev/bus/usb/001/002", "/dev/hidraw1", false);
  EXPECT_NE(both.find(usb_rule), std::string::npos) << both;
  EXPECT_NE(both.find(hidraw_rule), std::string::npos) << both;
  EXPECT_EQ(both.find("--transport hidraw"), std::string::npos) << both;

  const std::string no_hidraw = UsbAccessHint("/dev/bus/usb/001/002", "", false);
  EXPECT_NE(no_hidraw.find(usb_rule), std::string::npos) << no_hidraw;
  EXPECT_NE(no_hidraw.find("70-veltrane.rules"), std::string::npos);
}

// The explain step the pages and the command line share carries the
// transport's advice unchanged.
class UsbRefusingDac : public sim::SimulatedDac {
 public:
  using SimulatedDac::SimulatedDac;
  std::string AccessDeniedHint() const override {
    return UsbAccessHint("/dev/bus/usb/001/004", "/dev/hidraw3", true);
  }
};

TEST(UsbAccessHintTest, TheSharedExplainStepNamesTheMissingUsbRule) {
  sim::SimOptions options;
  options.access_denied = true;
  options.virtual_time = true;
  UsbRefusingDac dac(options);
  HidDeviceLink link(dac);
  const FindResult result = FindOrExplain(link);
  EXPECT_EQ(result.outcome, FindOutcome::kAccessDenied);
  EXPECT_NE(result.message.find("SUBSYSTEM==\"usb\""), std::string::npos) << result.message;
  EXPECT_NE(result.message.find("/dev/bus/usb/001/004"), std::string::npos) << result.message;
}

}  // namespace
}  // namespace veltrane
