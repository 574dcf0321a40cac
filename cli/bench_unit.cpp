#include "cli/bench_unit.h"

#include <chrono>

#include "cli/cli_texts.h"
#include "cli/image_gate.h"
#include "cli/watched_platform.h"
#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "update/image_header.h"

namespace veltrane::cli {
namespace {

constexpr std::size_t kBulkBlock = 64;

// The stage a flash that ended at `step` names in the log, where the link's own is not enough.
const char* StepStage(EepromFlashStep step) {
  switch (step) {
    case EepromFlashStep::kVerifyMismatch: return "verify";
    case EepromFlashStep::kRestoreMismatch: return "restore_check";
    case EepromFlashStep::kRefused: return "image";
    default: return nullptr;
  }
}

}  // namespace

Json UnitRecord::ToJson(const std::string& time, const std::string& image_sha256) const {
  Json line = Json::object();
  line["time"] = time;
  line["serial"] = serial;
  line["location"] = location;
  line["product"] = product;
  line["revision"] = revision;
  line["image_sha256"] = image_sha256;
  line["result"] = result;
  line["stage"] = stage.empty() ? Json(nullptr) : Json(stage);
  line["system_text"] = system_text.empty() ? Json(nullptr) : Json(system_text);
  line["duration_s"] = static_cast<double>(static_cast<long long>(duration_s * 1000 + 0.5)) / 1000;
  line["packets_written"] = packets_written;
  return line;
}

BenchUnit::BenchUnit(HidPlatform& platform, std::unique_ptr<HidPlatform> owned, std::string serial,
                     std::string location, std::string path)
    : platform_(platform), owned_(std::move(owned)) {
  record_.serial = std::move(serial);
  record_.location = std::move(location);
  record_.path = std::move(path);
}

BenchUnit::~BenchUnit() { Join(); }

void BenchUnit::Start(const std::vector<std::uint8_t>& image, const std::string& image_path,
                      const FlashOptions& options, const std::atomic<bool>* stop) {
  thread_ = std::thread([this, &image, image_path, options, stop] {
    Run(image, image_path, options, stop);
    finished_.store(true);
  });
}

void BenchUnit::Join() {
  if (thread_.joinable()) thread_.join();
}

void BenchUnit::Run(const std::vector<std::uint8_t>& image, const std::string& image_path,
                    const FlashOptions& options, const std::atomic<bool>* stop) {
  const auto start = std::chrono::steady_clock::now();
  UnitRecord& r = record_;
  WatchedPlatform watch(platform_);
  HidDeviceLink link(watch);
  link.SetProgressSink(this);
  link.RestrictToPath(r.path);
  auto end = [&](const char* result, std::string stage, std::string text) {
    r.result = result;
    r.stage = std::move(stage);
    r.system_text = std::move(text);
    r.duration_s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (stop != nullptr && stop->load() && r.result != "passed") r.result = "interrupted";
    if (r.Passed()) {
      r.message = Fill(texts::kUnitPassed, r.packets_written, r.duration_s);
    } else if (r.result == "interrupted") {
      r.message = Fill(texts::kUnitInterrupted, r.packets_written);
    } else {
      r.message = r.result + ": " + r.stage + (r.system_text.empty() ? "" : ": " + r.system_text);
    }
  };
  auto end_failed = [&](const char* fallback_stage) {
    const LinkFailure& failure = link.LastFailure();
    end("failed", failure.Failed() ? LinkStageName(failure.stage) : fallback_stage, failure.system_text);
  };
  if (link.FindDevice() == 0) return end_failed("discovery");
  DeviceIdentity id;
  if (!ReadDeviceIdentity(link, &id)) return end("failed", "identify", texts::kNoHardwareId);
  r.product = id.product_id;
  r.revision = id.revision;
  const ImageVerdict verdict = JudgeImageBytes(image_path, image, id);
  const bool go = verdict.verdict == Verdict::kReady ||
                  (verdict.verdict == Verdict::kNotNewer && options.force);
  if (!go) return end("refused", "image", verdict.message + (verdict.detail.empty() ? "" : " " + verdict.detail));

  if (IsBulkProduct(id.product_id)) {
    watch.SetStopFlag(stop);
    const int sent = link.DownloadBulkImage(image);
    watch.SetStopFlag(nullptr);
    const auto blocks = static_cast<std::uint32_t>((image.size() + kBulkBlock - 1) / kBulkBlock);
    r.packets_written = sent == 1 ? blocks + 2 : link.LastFailure().packets_done;
    return sent == 1 ? end("passed", "", "") : end_failed("bulk");
  }
  EepromFlashOptions flash;
  flash.verify = options.verify;
  flash.changed_only = options.changed_only;
  flash.keep_settings = options.keep_settings;
  flash.stop = stop;
  EepromFlashResult result;
  const int done = FlashEepromImage(link, image, flash, &result);
  r.packets_written = result.packets_written;
  if (done == 1) return end("passed", "", "");
  if (const char* stage = StepStage(result.step)) {
    return end("failed", stage,
               result.step == EepromFlashStep::kRefused
                   ? std::string(texts::kChangedOnlyNoVerify)
                   : Fill(texts::kUnitMismatch, result.mismatch_first, result.expected, result.actual));
  }
  end_failed("write");
}

}  // namespace veltrane::cli
