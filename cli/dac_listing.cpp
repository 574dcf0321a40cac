#include "cli/dac_listing.h"

#include "cli/cli_texts.h"
#include "device/device_texts.h"
#include "device/hardware_id_match.h"
#include "device/hid_device_link.h"
#include "image/image_header.h"

namespace veltrane::cli {
namespace {

// Tries the read and write opens discovery will need, and closes them again.
void ProbeAccess(HidPlatform& platform, InterfaceRow* row) {
  const HidHandle read = platform.Open(row->path, HidAccess::kRead);
  const HidError read_error = IsOpenHandle(read) ? HidError::kNone : platform.LastError();
  const std::string read_text = IsOpenHandle(read) ? "" : platform.LastErrorText();
  const HidHandle write = platform.Open(row->path, HidAccess::kWrite);
  const HidError write_error = IsOpenHandle(write) ? HidError::kNone : platform.LastError();
  const std::string write_text = IsOpenHandle(write) ? "" : platform.LastErrorText();
  if (IsOpenHandle(read)) platform.Close(read);
  if (IsOpenHandle(write)) platform.Close(write);
  row->accessible = read_error == HidError::kNone && write_error == HidError::kNone;
  if (row->accessible) return;
  if (read_error == HidError::kAccessDenied || write_error == HidError::kAccessDenied) {
    row->access_error = "permission denied";
    row->access_hint = platform.AccessDeniedHint();
    if (row->access_hint.empty()) row->access_hint = device_texts::kAccessDeniedNoHint;
  } else {
    row->access_error = read_text.empty() ? write_text : read_text;
  }
}

}  // namespace

bool InterfaceRow::IsDac() const { return caps.usage_page == kVendorUsagePage; }

std::vector<InterfaceRow> ListInterfaces(HidPlatform& platform, bool probe_access) {
  std::vector<InterfaceRow> rows;
  for (const HidInterface& iface : platform.EnumerateInterfaces()) {
    if (!iface.detail_available) continue;
    const HidHandle query = platform.Open(iface.path, HidAccess::kNone);
    if (!IsOpenHandle(query)) continue;
    InterfaceRow row;
    row.path = iface.path;
    row.serial_number = iface.serial_number;
    row.location = iface.location;
    row.transport = platform.TransportName();
    row.interrupt_out = iface.interrupt_out;
    row.interrupt_out_known = iface.interrupt_out_known;
    const bool ours = platform.GetAttributes(query, &row.attributes) &&
                      row.attributes.vendor_id == kVendorId;
    if (ours) platform.GetCaps(query, &row.caps);
    platform.Close(query);
    if (!ours) continue;
    row.hardware_id = MatchHardwareId({iface.hardware_id}, kVendorId, row.attributes.product_id);
    // The interface's own release number where the system gives one; else the
    // REV_ field of the hardware ID.
    row.revision = row.attributes.version;
    if (row.revision == 0 && !row.hardware_id.empty()) {
      ParseRevision(RevisionField(row.hardware_id), &row.revision);
    }
    if (probe_access) ProbeAccess(platform, &row);
    rows.push_back(std::move(row));
  }
  return rows;
}

bool Selected(const InterfaceRow& row, const DacSelector& selector) {
  return (selector.serial.empty() || row.serial_number == selector.serial) &&
         (selector.location.empty() || row.location == selector.location) &&
         (selector.device_path.empty() || row.path == selector.device_path);
}

Json DacJson(const InterfaceRow& row) {
  Json dac = Json::object();
  dac["serial"] = row.serial_number;
  dac["location"] = row.location;
  dac["product_id"] = row.attributes.product_id;
  dac["revision"] = row.revision;
  dac["transport"] = row.transport;
  dac["path"] = row.path;
  dac["accessible"] = row.accessible;
  dac["access_error"] = row.access_error;
  return dac;
}

std::string DacLine(const InterfaceRow& row) {
  return Fill("%-12s %-14s 0x%04x   0x%04x    %-10s %s",
              row.serial_number.empty() ? "-" : row.serial_number.c_str(),
              row.location.empty() ? "-" : row.location.c_str(), row.attributes.product_id, row.revision,
              row.transport.c_str(), row.path.c_str());
}

}  // namespace veltrane::cli
