// feedback get: the three feedback resolutions in the EEPROM.
#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/json_report.h"
#include "feedback/feedback_table.h"
#include "update/update_texts.h"

namespace veltrane::cli {

ExitStatus FeedbackGetCommand(const CommandContext& context) {
  DeviceSession session(context);
  if (const ExitStatus found = session.Locate(feedback_texts::kFailedEnumeration); found != kExitDone) {
    return found;
  }
  std::uint8_t block[4] = {};
  if (session.Link().ReadFeedbackSettings(kEepromDeviceAddress, kEepromSelector, block,
                                          sizeof block) == 0) {
    session.SayFailure(texts::kFeedbackReadFailed);
    return kExitFailed;
  }
  Json rows = Json::array();
  std::string text;
  for (std::size_t i = 0; i < kSampleRateGroupNames.size(); ++i) {
    const std::uint8_t mask = block[i + 1];
    const auto resolution = TextForMask(mask);
    rows.push_back({{"rate_group", kSampleRateGroupNames[i]},
                    {"resolution", resolution ? Json(*resolution) : Json(nullptr)},
                    {"mask", mask}});
    text += Fill("%-14s%s\n", std::string(kSampleRateGroupNames[i]).c_str(),
                 resolution ? std::string(*resolution).c_str() : Fill(texts::kUnknownMask, mask).c_str());
  }
  context.report->Doc()["feedback"] = std::move(rows);
  context.Result(text);
  return kExitDone;
}

}  // namespace veltrane::cli
