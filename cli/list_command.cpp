// list: every DAC (one row each) and every HID interface of vendor 0x3917.
#include <algorithm>

#include "cli/cli_texts.h"
#include "cli/dac_listing.h"
#include "cli/device_commands.h"
#include "cli/json_report.h"
#include "device/hid_device_link.h"

namespace veltrane::cli {
namespace {

Json InterfaceJson(const InterfaceRow& row) {
  Json j = Json::object();
  j["path"] = row.path;
  j["vendor_id"] = row.attributes.vendor_id;
  j["product_id"] = row.attributes.product_id;
  j["usage_page"] = row.caps.usage_page;
  j["usage"] = row.caps.usage;
  j["vendor_defined"] = row.IsDac();
  j["input_report_length"] = row.caps.input_report_byte_length;
  j["output_report_length"] = row.caps.output_report_byte_length;
  j["hardware_id"] = row.hardware_id;
  j["transport"] = row.transport;
  // null where the system does not tell (Windows).
  j["interrupt_out"] = row.interrupt_out_known ? Json(row.interrupt_out) : Json(nullptr);
  j["serial"] = row.serial_number;
  j["location"] = row.location;
  j["accessible"] = row.accessible;
  j["access_error"] = row.access_error;
  j["access_hint"] = row.access_hint;
  return j;
}

std::string InterfaceText(const InterfaceRow& row) {
  std::string text = row.path + '\n';
  text += Fill("  product ID   0x%04x\n", row.attributes.product_id);
  text += Fill("  usage page   0x%04x%s\n", row.caps.usage_page, row.IsDac() ? " (vendor-defined)" : "");
  text += Fill("  reports      input %u, output %u bytes\n", row.caps.input_report_byte_length,
               row.caps.output_report_byte_length);
  text += "  hardware ID  " + (row.hardware_id.empty() ? "(none)" : row.hardware_id) + '\n';
  text += "  transport    " + row.transport + '\n';
  text += std::string("  interrupt OUT ") +
          (!row.interrupt_out_known ? "(the system does not tell)\n"
           : row.interrupt_out      ? "yes (bulk blocks go there)\n"
                                    : "no (every output report goes as SET_REPORT on endpoint 0)\n");
  if (row.accessible) {
    text += "  access       read and write\n";
  } else {
    text += "  access       refused: " + row.access_error + '\n';
    if (!row.access_hint.empty()) text += "  fix          " + row.access_hint + '\n';
  }
  return text;
}

}  // namespace

ExitStatus ListCommand(const CommandContext& context) {
  std::vector<InterfaceRow> rows;
  if (context.platform != nullptr) rows = ListInterfaces(*context.platform, true);
  std::erase_if(rows, [&](const InterfaceRow& row) { return !Selected(row, context.selector); });

  Json& doc = context.report->Doc();
  doc["interfaces"] = Json::array();
  doc["dacs"] = Json::array();
  std::string table = std::string(texts::kDacTableHeader) + '\n';
  std::string details;
  for (const InterfaceRow& row : rows) {
    doc["interfaces"].push_back(InterfaceJson(row));
    if (!details.empty()) details += '\n';
    details += InterfaceText(row);
    if (!row.IsDac()) continue;
    Json dac = DacJson(row);
    dac["hardware_id"] = row.hardware_id;
    dac["access_hint"] = row.access_hint;
    doc["dacs"].push_back(std::move(dac));
    table += DacLine(row) + (row.accessible ? "" : "    (refused: " + row.access_error + ")") + '\n';
  }
  if (rows.empty()) {
    context.Say(context.selector.Any() ? std::string(texts::kNoInterfaceSelected)
                                       : std::string(texts::kNoInterfaces));
    return kExitFailed;
  }
  // The interfaces in full with --verbose, or when one may not be opened (the fix is there).
  const bool refused = std::any_of(rows.begin(), rows.end(), [](const InterfaceRow& r) { return !r.accessible; });
  context.Result(doc["dacs"].empty() ? details : (context.verbose || refused ? table + '\n' + details : table));
  return kExitDone;
}

}  // namespace veltrane::cli
