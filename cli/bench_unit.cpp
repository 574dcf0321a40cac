#include "cli/bench_unit.h"

#include <chrono>

#include "cli/cli_texts.h"
#include "cli/image_gate.h"
#include "cli/watched_platform.h"
#include "device/eeprom_image_flash.h"
#include "device/hid_device_link.h"
#include "service/device_change.h"
#include "image/image_header.h"

namespace veltrane::cli {

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
  line["change"] = change_id ? Json(*change_id) : Json(nullptr);
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
  ChangeRequest request;
  request.image = &image;
  request.device = id;
  request.force = options.force;
  request.flash.verify = options.verify;
  request.flash.changed_only = options.changed_only;
  request.flash.keep_settings = options.keep_settings;
  request.flash.stop = stop;
  request.signing.image_path = image_path;
  // A blocked bulk write gives way to Ctrl-C too.
  watch.SetStopFlag(IsBulkProduct(id.product_id) ? stop : nullptr);
  ChangeSubject subject;
  subject.program = "veltrane-cli";
  subject.operation = "bench";
  subject.image_name = image_path;
  subject.serial = r.serial;
  subject.location = r.location;
  subject.transport = transport_;
  ChangeResult result;
  RecordedChange recorded;
  const bool done = ApplyRecordedChange(link, request, subject, keeping_, &result, &recorded);
  r.change_id = recorded.id;
  r.history_warning = recorded.history_warning;
  watch.SetStopFlag(nullptr);
  r.packets_written = result.packets_written;
  if (done) return end("passed", "", "");
  switch (result.step) {
    case ChangeStep::kRefused: {
      if (result.refusal == Refusal::kChangedOnlyNoVerify) return end("failed", "image", texts::kChangedOnlyNoVerify);
      if (result.refusal == Refusal::kBulkOption) {
        return end("refused", "image", Fill(texts::kBulkOption, result.refusal_text.c_str(), id.product_id));
      }
      if (result.refusal == Refusal::kSignature || result.refusal == Refusal::kSignedOnly) {
        return end("refused", "image", result.refusal_text);
      }
      const ImageVerdict verdict = VerdictOf(image_path, image, result.check, id);
      return end("refused", "image", verdict.message + (verdict.detail.empty() ? "" : " " + verdict.detail));
    }
    case ChangeStep::kBulk: return end_failed("bulk");
    case ChangeStep::kFlash:
      if (result.flash.step == EepromFlashStep::kVerifyMismatch) {
        return end("failed", "verify",
                   Fill(texts::kUnitMismatch, result.flash.mismatch_first, result.flash.expected, result.flash.actual));
      }
      if (result.flash.step == EepromFlashStep::kRestoreMismatch) {
        return end("failed", "restore_check",
                   Fill(texts::kUnitMismatch, result.flash.mismatch_first, result.flash.expected, result.flash.actual));
      }
      if (result.flash.step == EepromFlashStep::kRefused) return end("failed", "image", texts::kChangedOnlyNoVerify);
      break;
    default: break;
  }
  end_failed("write");
}

}  // namespace veltrane::cli
