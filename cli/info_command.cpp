// info: identify the chosen DAC and the state of the image in its EEPROM.
#include <algorithm>

#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/json_report.h"
#include "device/eeprom_image_flash.h"
#include "service/rollback.h"
#include "image/image_header.h"

namespace veltrane::cli {
namespace {

// The longest a --changed-only flash of the stored image's length can take,
// in seconds, over this link's read chunks (an image length of 0 counts as
// the 8 KiB the transfer assumes before it reads one).
double FinishBoundSeconds(const ImageHeader& header, const HidDeviceLink& link) {
  const int report = link.Capabilities().input_report_byte_length;
  const std::size_t chunk = static_cast<std::size_t>(std::clamp(report - 7, 1, 94));
  const std::size_t length = header.Length() == 0 ? 8192 : header.Length();
  return ChangedOnlyBoundMs(length, chunk) / 1000.0;
}

std::string StoredImageText(StoredImageState state, const ImageHeader& header, double bound_s) {
  switch (state) {
    case StoredImageState::kValid:
      return Fill("valid, version 0x%04x, %u bytes", header.Version(), header.Length());
    case StoredImageState::kIncomplete:
      return Fill(texts::kIncompleteImage, header.Version(), header.Length(), bound_s);
    case StoredImageState::kBlank:
      return "blank or unknown";
  }
  return {};
}

}  // namespace

ExitStatus InfoCommand(const CommandContext& context) {
  DeviceSession session(context);
  if (const ExitStatus found = session.Identify(); found != kExitDone) return found;
  const DeviceIdentity& id = session.Identity();
  const bool bulk = IsBulkProduct(id.product_id);
  const std::string path = session.Link().DevicePath();
  Json& doc = context.report->Doc();
  doc["vendor_id"] = id.vendor_id;
  doc["product_id"] = id.product_id;
  doc["revision"] = id.revision;
  doc["hardware_id"] = id.hardware_id;
  doc["device_path"] = path;
  doc["transfer"] = bulk ? "bulk" : "eeprom";
  doc["eeprom_image"] = nullptr;
  ImageHeader header;
  StoredImageState state = StoredImageState::kBlank;
  if (!bulk) {
    std::vector<std::uint8_t> first;
    if (!session.ReadRange(0, kImageHeaderSize, &first)) {
      session.SayFailure(texts::kReadFailed);
      return kExitFailed;
    }
    std::copy(first.begin(), first.end(), header.bytes);
    state = ClassifyStoredImage(header);
    Json image = Json::object();
    image["state"] = StateName(state);
    image["version"] = state == StoredImageState::kBlank ? Json(nullptr) : Json(header.Version());
    image["length"] = state == StoredImageState::kBlank ? Json(nullptr) : Json(header.Length());
    if (state == StoredImageState::kIncomplete) {
      image["finish_bound_s"] = FinishBoundSeconds(header, session.Link());
    }
    doc["eeprom_image"] = std::move(image);
  }
  std::string text;
  text += Fill("Vendor ID     0x%04x\n", id.vendor_id);
  text += Fill("Product ID    0x%04x\n", id.product_id);
  text += Fill("Revision      0x%04x\n", id.revision);
  text += "Hardware ID   " + id.hardware_id + '\n';
  text += "Device path   " + path + '\n';
  text += bulk ? Fill("Transfer      bulk (product %u keeps no image in its EEPROM)\n", id.product_id)
               : std::string("Transfer      EEPROM\n");
  if (!bulk) text += "EEPROM image  " + StoredImageText(state, header, FinishBoundSeconds(header, session.Link())) + '\n';
  // A change whose program died on the way: the history still holds its row.
  doc["interrupted_change"] = nullptr;
  if (context.history != nullptr) {
    const ChangeSubject subject = session.Subject("info", "");
    if (const auto row = InterruptedChange(*context.history, {subject.serial, subject.location, id.product_id})) {
      doc["interrupted_change"] = row->id;
      text += "Last change   " +
              Fill(texts::kLastChangeInterrupted, row->started_utc.substr(0, 19).replace(10, 1, " ").c_str(),
                   static_cast<long long>(row->id), row->operation.c_str()) +
              '\n';
    }
  }
  context.Result(text);
  return kExitDone;
}

}  // namespace veltrane::cli
