#include "cli/device_session.h"

#include <algorithm>

#include "cli/cli_texts.h"
#include "cli/dac_listing.h"
#include "cli/json_report.h"
#include "device/device_finder.h"
#include "device/eeprom_image_flash.h"
#include "cli/signing_commands.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

std::string SelectorText(const DacSelector& s) {
  std::string text;
  if (!s.serial.empty()) text += "serial number " + s.serial;
  if (!s.location.empty()) text += (text.empty() ? "" : ", ") + std::string("location ") + s.location;
  if (!s.device_path.empty()) text += (text.empty() ? "" : ", ") + std::string("path ") + s.device_path;
  return text;
}
}  // namespace

DeviceSession::DeviceSession(const CommandContext& context) : context_(context) {
  if (context_.platform != nullptr) {
    watched_ = std::make_unique<WatchedPlatform>(*context_.platform);
    link_ = std::make_unique<HidDeviceLink>(*watched_);
  }
}

DeviceSession::~DeviceSession() = default;

// Several DACs: the one the selector names, never the first that answers.
ExitStatus DeviceSession::Choose() {
  const DacSelector& selector = context_.selector;
  std::vector<InterfaceRow> dacs = ListInterfaces(*watched_, false);
  dacs.erase(std::remove_if(dacs.begin(), dacs.end(), [](const InterfaceRow& r) { return !r.IsDac(); }),
             dacs.end());
  std::vector<const InterfaceRow*> chosen;
  for (const InterfaceRow& row : dacs) {
    if (Selected(row, selector)) chosen.push_back(&row);
  }
  if (chosen.size() == 1) {
    link_->RestrictToPath(chosen.front()->path);
    return kExitDone;
  }
  if (chosen.empty() && !selector.Any()) return kExitDone;  // discovery says why
  if (!context_.selector.device_path.empty() && chosen.empty()) {
    link_->RestrictToPath(selector.device_path);
    return kExitDone;  // not listed as a DAC: discovery says what it finds there
  }
  Json candidates = Json::array();
  std::string lines;
  for (const InterfaceRow& row : dacs) {
    candidates.push_back(DacJson(row));
    lines += "\n  " + DacLine(row);
  }
  context_.report->Doc()["candidates"] = candidates;
  if (chosen.empty()) {
    context_.Say(Fill(texts::kNoSuchDac, SelectorText(selector).c_str()) +
                 (dacs.empty() ? std::string() : std::string(texts::kConnectedDacs) + lines));
    return kExitFailed;
  }
  context_.Say(Fill(texts::kSeveralDacs, chosen.size()) + lines);
  return kExitUsage;
}

ExitStatus DeviceSession::Locate(const char* no_device_text) {
  if (!link_) {
    context_.Say(no_device_text);
    return kExitFailed;
  }
  const ExitStatus chosen = Choose();
  if (chosen != kExitDone) return chosen;
  const FindResult found = FindOrExplain(*link_);
  if (found.Found()) {
    context_.Note(Fill(texts::kFoundAt, link_->DevicePath().c_str()));
    return kExitDone;
  }
  // The page's own sentence when nothing is there; the core's when something
  // is there that cannot be had.
  context_.Say(found.outcome == FindOutcome::kNotFound ? std::string(no_device_text) : found.message);
  if (found.outcome == FindOutcome::kNotFound && !context_.selector.device_path.empty()) {
    context_.Say(Fill(texts::kNoDeviceAtPath, context_.selector.device_path.c_str()));
  }
  SayWhere();
  return kExitFailed;
}

ExitStatus DeviceSession::Identify() {
  const ExitStatus located = Locate(update_texts::kNoDeviceConnect);
  if (located != kExitDone) return located;
  if (!ReadDeviceIdentity(*link_, &identity_)) {
    context_.Say(texts::kNoHardwareId);
    return kExitFailed;
  }
  return kExitDone;
}

ChangeKeeping KeepingOf(const CommandContext& context) {
  ChangeKeeping keeping;
  keeping.history = context.history;
  keeping.backup_folder = context.backup_folder;
  keeping.backup = context.backup;
  // Every change is judged under the command's own policy and keys.
  keeping.signing = &LoadSigning(context);
  return keeping;
}

ChangeSubject DeviceSession::Subject(const char* operation, const std::string& image_name) const {
  ChangeSubject subject;
  subject.program = "veltrane-cli";
  subject.operation = operation;
  subject.image_name = image_name;
  for (const InterfaceRow& row : ListInterfaces(*watched_, false)) {
    if (row.path != link_->DevicePath()) continue;
    subject.serial = row.serial_number;
    subject.location = row.location;
    subject.transport = row.transport;
  }
  return subject;
}

bool DeviceSession::ApplyRecorded(const ChangeRequest& request, const ChangeSubject& subject,
                                  ChangeResult* result, RecordedChange* recorded) {
  // Away from address 0 the writes are plain packets that look at no flag:
  // the watched platform refuses the next one once a stop is asked for
  // (rollback, feedback set, eeprom write). The image road looks itself.
  const bool raw = request.kind == ChangeKind::kRaw && request.address != 0;
  if (raw) watched_->SetStopFlag(context_.stop);
  const bool done = ApplyRecordedChange(*link_, request, subject, KeepingOf(context_), result, recorded);
  if (raw) watched_->SetStopFlag(nullptr);
  if (!recorded->history_warning.empty()) context_.Say(recorded->history_warning);
  if (result->step != ChangeStep::kRefused) {
    context_.report->Doc()["change"] = recorded->id ? Json(*recorded->id) : Json(nullptr);
  }
  if (!recorded->backup_path.empty()) {
    context_.report->Doc()["backup"] = recorded->backup_path;
    context_.Note(Fill(texts::kBackupTaken, recorded->backup_path.c_str()));
  }
  return done;
}

bool DeviceSession::ReadRange(std::uint32_t address, std::size_t length,
                              std::vector<std::uint8_t>* bytes) {
  return ReadEepromRange(*link_, address, length, bytes);
}

bool DeviceSession::WriteRange(std::uint32_t address, const std::vector<std::uint8_t>& bytes,
                               std::size_t* written) {
  return WriteEepromRange(*link_, address, bytes, written);
}

bool DeviceSession::DeviceGone() const {
  return link_ && link_->LastFailure().error == HidError::kNotFound;
}

void DeviceSession::SayWhere() const {
  const LinkFailure& failure = link_->LastFailure();
  if (!failure.Failed()) return;
  context_.Say(Fill(texts::kFailureDetail, failure.Describe().c_str()));
  context_.report->SetFailure(LinkStageName(failure.stage), failure.system_text);
}

void DeviceSession::SayFailure(const char* text) const {
  context_.Say(DeviceGone() ? texts::kUnplugged : text);
  if (link_) SayWhere();
}

}  // namespace veltrane::cli
