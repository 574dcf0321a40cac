// The one narrow interface between the device core and the operating system.
//
// Everything the HID device link needs from the system goes through here:
// listing the HID interfaces, opening them, reading their attributes and
// capabilities, moving whole reports, and the fixed pauses. The Linux (hidraw + libudev) and Windows
// (SetupAPI + hid.dll) backends implement it, and so does the simulated DAC.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "device/platform/arrival_watcher.h"

namespace veltrane {

// A device handle keeps three states, as on Windows: null (never opened),
// invalid (closed, or its open failed) and open (any other value).
using HidHandle = std::intptr_t;
inline constexpr HidHandle kNullHandle = 0;
inline constexpr HidHandle kInvalidHandle = -1;

inline bool IsOpenHandle(HidHandle h) { return h != kNullHandle && h != kInvalidHandle; }

enum class HidAccess {
  kNone,   // query handle: attributes and capabilities only
  kRead,   // input reports
  kWrite,  // output reports
};

// Why the last failing call failed, as far as the link's callers care.
enum class HidError {
  kNone,
  kAccessDenied,  // the node exists but this user may not open it
  kNotFound,      // gone (unplugged) or never there
  kUnsupported,   // the system lacks the call (old kernel, missing DLL)
  kTimedOut,      // the device did not answer within the transfer's timeout
  kOther,
};

// One enumerated HID interface. `detail_available` is false when the system
// listed the interface but could not tell its path (Windows: the interface
// detail could not be had); such an entry is skipped by discovery.
// `serial_number` is the USB device's serial-number string and `location`
// its place on the bus (Linux: the port path such as "1-2.3"; Windows: the
// device instance's location); both tell several DACs of one product apart
// and are empty when the system has none.
// `interrupt_out` tells whether the interface has an interrupt OUT endpoint:
// with one, interrupt writes take it; without, they go as SET_REPORT on
// endpoint 0 (and hidraw sends every output report by the same road).
// `interrupt_out_known` is false where the system does not say (Windows).
// `hardware_id` is the first hardware-ID string of the device this interface
// belongs to, read from the interface's own device node and its parents
// (for a USB device USB\VID_vvvv&PID_pppp&REV_rrrr); never another device's
// of the same product. Empty when the system cannot tell.
struct HidInterface {
  std::string path;
  bool detail_available = true;
  std::string serial_number;
  std::string location;
  bool interrupt_out = false;
  bool interrupt_out_known = false;
  std::string hardware_id;
};

struct HidAttributes {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::uint16_t version = 0;
};

// Report lengths are counted as Windows counts them: the longest report of the
// kind plus one byte for the report ID, 0 when the interface has none.
struct HidCaps {
  std::uint16_t usage_page = 0;
  std::uint16_t usage = 0;
  std::uint16_t input_report_byte_length = 0;
  std::uint16_t output_report_byte_length = 0;
};

class HidPlatform {
 public:
  virtual ~HidPlatform() = default;

  // Every HID interface present, in the system's order.
  virtual std::vector<HidInterface> EnumerateInterfaces() = 0;

  // Opens `path`; kInvalidHandle on failure (LastError tells why).
  virtual HidHandle Open(const std::string& path, HidAccess access) = 0;
  virtual void Close(HidHandle handle) = 0;

  virtual bool GetAttributes(HidHandle handle, HidAttributes* attributes) = 0;
  // False when the capabilities (Windows: the preparsed data) cannot be had.
  virtual bool GetCaps(HidHandle handle, HidCaps* caps) = 0;

  // Control transfer of one output report; `report[0]` is the report ID.
  virtual bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) = 0;
  // Fetches one input report of `length` bytes; `report[0]` is the report ID.
  virtual bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) = 0;
  // Drops every input report the system holds for `handle` that nobody has
  // read yet (hidraw's queue, Windows' input buffer), so an old one never
  // passes for the answer to the request about to go out. Best effort: the
  // link compares every answer with its request anyway. Nothing to drop
  // where each input report is fetched from the device (control GET_REPORT).
  virtual void DiscardInputReports(HidHandle /*handle*/) {}
  // Interrupt write of one whole output report.
  virtual bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) = 0;

  // The fixed pauses of the protocol, in milliseconds.
  virtual void Sleep(unsigned milliseconds) = 0;

  virtual HidError LastError() const = 0;
  virtual std::string LastErrorText() const = 0;

  // What the user can do when a node of ours exists but may not be opened
  // (Linux: install the udev rule and replug); empty when there is no advice.
  virtual std::string AccessDeniedHint() const { return {}; }

  // How reports travel, for `list`: "usb", "hidraw", "hid" (Windows), "simulated".
  virtual std::string TransportName() const { return "hid"; }

  // A per-mille value a transfer has just delivered to the progress sink;
  // only recorders (the simulated DAC's trace) care.
  virtual void NoteProgress(std::uint16_t /*per_mille*/) {}

  // The watcher of devices coming and going on this platform; polling the
  // interface list unless the backend has a better one.
  virtual std::unique_ptr<ArrivalWatcher> CreateArrivalWatcher();
};

// Linux reaches the DAC two ways: usbfs (the default; every report by the
// road the Windows tool uses) or hidraw. Windows has one way and ignores this.
enum class HidTransport { kDefault, kUsb, kHidraw };

// The operating system's own backend for this build (usbfs or hidraw on
// Linux, SetupAPI and hid.dll on Windows).
std::unique_ptr<HidPlatform> CreateSystemHidPlatform(HidTransport transport = HidTransport::kDefault);

}  // namespace veltrane
