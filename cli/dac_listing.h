// The DACs present, as `list` shows them and as the commands choose one:
// every interface of vendor 0x3917 with its attributes, capabilities,
// hardware ID, serial number, location and whether this user may open it.
#pragma once

#include <string>
#include <vector>

#include "cli/command_context.h"
#include "cli/json_report.h"
#include "device/platform/hid_platform.h"

namespace veltrane::cli {

struct InterfaceRow {
  std::string path;
  std::string serial_number;
  std::string location;
  HidAttributes attributes;
  HidCaps caps;
  std::string hardware_id;
  std::uint16_t revision = 0;
  std::string transport;  // how the DAC is reached: the platform's name for itself
  bool interrupt_out = false;
  bool interrupt_out_known = false;
  bool accessible = false;
  std::string access_error;  // why not, when not
  std::string access_hint;   // what to do about it

  // One DAC shows one vendor-defined interface; its others are standard HID.
  bool IsDac() const;
};

// Every interface of ours; with `probe_access` each one's read and write opens
// are tried (and closed again).
std::vector<InterfaceRow> ListInterfaces(HidPlatform& platform, bool probe_access);

// True when `row` is what every given part of `selector` names.
bool Selected(const InterfaceRow& row, const DacSelector& selector);

// The DAC as one JSON object, and as one line of text.
Json DacJson(const InterfaceRow& row);
std::string DacLine(const InterfaceRow& row);

}  // namespace veltrane::cli
