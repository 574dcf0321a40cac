// One DAC of a bench: its own platform view and device link on its own
// thread, the image judged and flashed as `flash` does, and what the log
// keeps of it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "cli/flash_command.h"
#include "cli/json_report.h"
#include "device/platform/hid_platform.h"
#include "device/progress.h"
#include "service/recorded_change.h"

namespace veltrane::cli {

// What the log says of one unit.
struct UnitRecord {
  std::string serial;
  std::string location;
  std::string path;
  std::uint16_t product = 0;
  std::uint16_t revision = 0;
  std::string result = "failed";  // passed, failed, refused or interrupted
  std::string stage;              // where it failed; empty when it passed
  std::string system_text;        // the system's (or the link's) words for it
  std::string message;            // one sentence for the status line
  double duration_s = 0;
  std::uint32_t packets_written = 0;
  std::optional<std::int64_t> change_id;  // the unit's row in the service history
  std::string history_warning;            // said once by the bench

  bool Passed() const { return result == "passed"; }
  Json ToJson(const std::string& time, const std::string& image_sha256) const;
};

class BenchUnit : public ProgressSink {
 public:
  // `platform` is this unit's alone, or one that serves several threads
  // (the simulated bus); `owned` keeps a platform made for this unit alive.
  BenchUnit(HidPlatform& platform, std::unique_ptr<HidPlatform> owned, std::string serial,
            std::string location, std::string path);
  ~BenchUnit() override;
  BenchUnit(const BenchUnit&) = delete;
  BenchUnit& operator=(const BenchUnit&) = delete;

  // Where the unit's backup and row go, and how the DAC is reached (for the row).
  void Keep(const ChangeKeeping& keeping, std::string transport) {
    keeping_ = keeping;
    transport_ = std::move(transport);
  }

  // Starts the unit's thread: find the DAC at its path, judge `image`, flash it.
  void Start(const std::vector<std::uint8_t>& image, const std::string& image_path,
             const FlashOptions& options, const std::atomic<bool>* stop);
  bool Finished() const { return finished_.load(); }
  // Waits for the thread; the record is complete afterwards.
  void Join();
  const UnitRecord& Record() const { return record_; }
  std::uint16_t PerMille() const { return per_mille_.load(); }

  void SetProgress(std::uint16_t per_mille) override { per_mille_.store(per_mille); }

 private:
  void Run(const std::vector<std::uint8_t>& image, const std::string& image_path,
           const FlashOptions& options, const std::atomic<bool>* stop);

  HidPlatform& platform_;
  std::unique_ptr<HidPlatform> owned_;
  UnitRecord record_;
  ChangeKeeping keeping_;
  std::string transport_;
  std::atomic<bool> finished_{false};
  std::atomic<std::uint16_t> per_mille_{0};
  std::thread thread_;
};

}  // namespace veltrane::cli
