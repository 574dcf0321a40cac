// feedback set R1 R2 R3: write the three feedback resolutions.
#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/json_report.h"
#include "device/stop_flag.h"
#include "feedback/feedback_table.h"
#include "update/update_texts.h"

namespace veltrane::cli {

std::string ResolutionChoices() {
  std::string choices;
  for (const FeedbackResolution& row : kFeedbackResolutions) {
    choices += ' ';
    choices += row.text;
  }
  return choices;
}

ExitStatus FeedbackSetCommand(const CommandContext& context,
                              const std::array<std::string, 3>& resolutions) {
  std::uint8_t masks[3] = {};
  for (std::size_t i = 0; i < resolutions.size(); ++i) {
    const auto mask = MaskForText(resolutions[i]);
    if (!mask) {
      context.Say(Fill(texts::kNotAResolution, resolutions[i].c_str(), ResolutionChoices().c_str()));
      return kExitUsage;
    }
    masks[i] = *mask;
  }
  DeviceSession session(context);
  if (const ExitStatus found = session.Locate(feedback_texts::kFailedEnumeration); found != kExitDone) {
    return found;
  }
  // The block is one packet: a stop asked for by now comes before it.
  if (StopRequested(context.stop)) {
    context.report->SetFailure(texts::kStoppedStage, "");
    context.Say(texts::kFeedbackStopped);
    return kExitFailed;
  }
  if (session.Link().WriteFeedbackSettings(kEepromDeviceAddress, kEepromSelector, masks[0],
                                           masks[1], masks[2]) == 0) {
    session.SayFailure(feedback_texts::kFailedProgramming);
    return kExitFailed;
  }
  Json rows = Json::array();
  for (std::size_t i = 0; i < resolutions.size(); ++i) {
    rows.push_back({{"rate_group", kSampleRateGroupNames[i]},
                    {"resolution", *TextForMask(masks[i])},
                    {"mask", masks[i]}});
  }
  context.report->Doc()["feedback"] = std::move(rows);
  context.report->Doc()["message"] = feedback_texts::kProgramCompleted;
  context.Status(std::string(feedback_texts::kProgramCompleted) + "\n");
  return kExitDone;
}

}  // namespace veltrane::cli
