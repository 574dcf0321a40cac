#include "cli/bench_command.h"
#include "cli/device_session.h"

#include <chrono>
#include <ctime>
#include <fstream>
#include <memory>
#include <set>
#include <vector>

#include "cli/bench_unit.h"
#include "cli/cli_texts.h"
#include "cli/dac_listing.h"
#include "cli/image_gate.h"
#include "cli/json_report.h"
#include "cli/signing_commands.h"
#include "service/sha256.h"
#include "cli/status_board.h"
#include "device/platform/file_names.h"
#include "device/platform/arrival_watcher.h"
#include "device/stop_flag.h"
#include "image/image_texts.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {

// How long the bench waits for an arrival before it looks at its units again.
constexpr unsigned kWatchMs = 50;

std::string UtcNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  // Only the bench's main thread formats times: the C library's one buffer is safe here.
  const std::tm utc = *std::gmtime(&seconds);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
  return Fill("%s.%03dZ", text, static_cast<int>(ms));
}

class Bench {
 public:
  Bench(const CommandContext& context, const BenchOptions& options,
        const std::vector<std::uint8_t>& image, std::ofstream* log)
      : context_(context), options_(options), image_(image), log_(log), sha_(Sha256Hex(image)),
        board_(*context.err) {}

  ExitStatus Run() {
    std::unique_ptr<ArrivalWatcher> watcher = context_.platform->CreateArrivalWatcher();
    StartNew();
    for (;;) {
      Collect();
      if (options_.units > 0 && logged_ >= options_.units) break;
      if (Stopped()) {
        for (auto& unit : units_) unit->Join();
        Collect();
        break;
      }
      if (watcher->WaitForChange(kWatchMs) && !Stopped()) StartNew();
      if (context_.progress == ProgressStyle::kBar) Draw();
    }
    if (context_.progress == ProgressStyle::kBar) Draw();
    Json& doc = context_.report->Doc();
    doc["image_sha256"] = sha_;
    doc["units"] = records_;
    doc["passed"] = passed_;
    doc["failed"] = logged_ - passed_;
    if (Stopped()) context_.report->SetFailure(texts::kStoppedStage, "");
    if (logged_ == 0) {
      context_.Say(Stopped() ? texts::kBenchStoppedEmpty : texts::kBenchNoUnits);
      return kExitFailed;
    }
    // A stop before --units N were done is no success, however the done ones went.
    if (Stopped() && options_.units > logged_) {
      context_.Say(Fill(texts::kBenchStoppedSummary, passed_, options_.units));
      return kExitFailed;
    }
    if (passed_ == logged_) {
      context_.Inform(Fill(texts::kBenchSummary, passed_, logged_));
      return kExitDone;
    }
    context_.Say(Fill(texts::kBenchSummary, passed_, logged_));
    return kExitFailed;
  }

 private:
  bool Stopped() const { return StopRequested(context_.stop); }

  // Starts a unit for every DAC present whose serial number has not had one.
  void StartNew() {
    for (const InterfaceRow& row : ListInterfaces(*context_.platform, false)) {
      if (!row.IsDac() || !Selected(row, context_.selector)) continue;
      if (options_.units > 0 && static_cast<int>(units_.size()) >= options_.units) return;
      const std::string key = row.serial_number.empty() ? row.path : row.serial_number;
      if (!seen_.insert(key).second) continue;
      // A platform of its own for each unit where the system's backend is
      // used; the simulated bus serves every thread itself.
      std::unique_ptr<HidPlatform> own = context_.new_platform ? context_.new_platform() : nullptr;
      HidPlatform& platform = own ? *own : *context_.platform;
      auto unit = std::make_unique<BenchUnit>(platform, std::move(own), row.serial_number,
                                              row.location, row.path);
      unit->Keep(KeepingOf(context_), row.transport);
      unit->Start(image_, options_.image_path, options_.flash, context_.stop);
      units_.push_back(std::move(unit));
      logged_flags_.push_back(false);
    }
  }

  // Logs every unit that has ended since the last look.
  void Collect() {
    for (std::size_t i = 0; i < units_.size(); ++i) {
      if (logged_flags_[i] || !units_[i]->Finished()) continue;
      units_[i]->Join();
      logged_flags_[i] = true;
      const UnitRecord& r = units_[i]->Record();
      if (!r.history_warning.empty()) context_.Say(r.history_warning);
      Json line = r.ToJson(UtcNow(), sha_);
      if (r.result == "interrupted") line["stage"] = texts::kStoppedStage;
      // The --json error message names every unit that did not pass.
      if (!r.Passed()) context_.report->AddMessage(UnitLine(*units_[i]));
      records_.push_back(line);
      if (log_ != nullptr) *log_ << JsonReport::DumpLine(line) << '\n' << std::flush;
      ++logged_;
      if (r.Passed()) ++passed_;
      if (context_.progress != ProgressStyle::kBar) context_.Status(UnitLine(*units_[i]) + "\n");
    }
  }

  static std::string UnitLine(const BenchUnit& unit) {
    const UnitRecord& r = unit.Record();
    const std::string name = (r.serial.empty() ? r.path : r.serial) + "  " + r.location;
    if (!unit.Finished()) return Fill("%-24s %5.1f%%", name.c_str(), unit.PerMille() / 10.0);
    return Fill("%-24s %s", name.c_str(), r.message.c_str());
  }

  void Draw() {
    std::vector<std::string> lines;
    for (const auto& unit : units_) lines.push_back(UnitLine(*unit));
    board_.Draw(lines);
  }

  const CommandContext& context_;
  const BenchOptions& options_;
  const std::vector<std::uint8_t>& image_;
  std::ofstream* log_;
  const std::string sha_;
  StatusBoard board_;
  std::vector<std::unique_ptr<BenchUnit>> units_;
  std::vector<bool> logged_flags_;
  std::set<std::string> seen_;
  Json records_ = Json::array();
  int logged_ = 0;
  int passed_ = 0;
};

}  // namespace

ExitStatus BenchCommand(const CommandContext& context, const BenchOptions& options) {
  Json& doc = context.report->Doc();
  doc["image"] = options.image_path;
  if (options.flash.changed_only && !options.flash.verify) {
    context.Say(texts::kChangedOnlyNoVerify);
    return kExitUsage;
  }
  std::vector<std::uint8_t> image;
  ImageVerdict verdict;
  if (ReadImageFile(context, options.image_path, &image, &verdict) != kExitDone) {
    doc["verdict"] = verdict.name;
    return kExitRefused;
  }
  // Every unit is sent these bytes: their signature is judged once, before
  // any unit starts, and a refused image starts none.
  // (The road judges it again for each unit.)
  const SignatureVerdict signature = LoadSigning(context).Judge(image, options.image_path);
  if (signature.refused) {
    doc["signature"] = SignatureJson(signature);
    doc["verdict"] = "signature";
    context.Say(image_texts::kInvalidImage);
    context.Say(signature.reason);
    if (signature.state == SignatureState::kUnsigned || signature.state == SignatureState::kLegacy) {
      context.Say(texts::kGetSignedImage);
    }
    return kExitRefused;
  }
  SaySignature(context, signature);
  if (context.platform == nullptr) {
    context.Say(update_texts::kNoDeviceConnect);
    return kExitFailed;
  }
  std::ofstream log;
  if (!options.log_path.empty()) {
    log.open(PathOf(options.log_path), std::ios::app);
    if (!log) {
      context.Say(Fill(texts::kCannotWrite, options.log_path.c_str(), "cannot open for appending") +
                  " Nothing was written.");
      return kExitUsage;
    }
  }
  Bench bench(context, options, image, options.log_path.empty() ? nullptr : &log);
  return bench.Run();
}

}  // namespace veltrane::cli
