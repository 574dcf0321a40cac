// feedback set R1 R2 R3: write the three feedback resolutions.
#include "cli/cli_texts.h"
#include "cli/device_commands.h"
#include "cli/device_session.h"
#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "device/stop_flag.h"
#include "feedback/feedback_table.h"
#include "service/recorded_change.h"
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
  DeviceIdentity id;
  if (!ReadDeviceIdentity(session.Link(), &id)) {
    context.Say(texts::kNoHardwareId);
    return kExitFailed;
  }
  // The block as the device keeps it: 0x00, then the three masks; through
  // the one road, so the four bytes it replaces are saved and the change recorded.
  const std::vector<std::uint8_t> block = {0x00, masks[0], masks[1], masks[2]};
  ChangeRequest request;
  request.image = &block;
  request.device = id;
  request.kind = ChangeKind::kRaw;
  request.address = kFeedbackBlockAddress;
  request.flash.verify = false;  // the described write alone, as the desktop's Program sends it
  ChangeResult result;
  RecordedChange recorded;
  if (!session.ApplyRecorded(request, session.Subject("feedback set", ""), &result, &recorded)) {
    if (result.step == ChangeStep::kBackupSave) {
      context.Say(Fill(texts::kBackupNotSaved, result.backup_error.c_str()));
    } else if (result.step == ChangeStep::kBackupRead) {
      return SayBackupReadEnd(context, session);
    } else if (StopRequested(context.stop)) {
      // One packet: stopped before it, the settings are as they were.
      context.report->SetFailure(texts::kStoppedStage, "");
      context.Say(texts::kFeedbackStopped);
    } else {
      session.SayFailure(feedback_texts::kFailedProgramming);
    }
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
