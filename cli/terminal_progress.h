// The command line's progress sink: a bar redrawn in place on a terminal,
// plain percentage lines when stderr is a file or a pipe, JSON lines when
// asked (--progress=json), nothing for --json alone or -q.
#pragma once

#include <cstdint>
#include <ostream>

#include "device/progress.h"

namespace veltrane::cli {

// kJson: one {"progress": N} object a line, N per mille, for programs.
enum class ProgressStyle { kBar, kLines, kSilent, kJson };

class TerminalProgress : public ProgressSink {
 public:
  TerminalProgress(std::ostream& out, ProgressStyle style) : out_(out), style_(style) {}
  ~TerminalProgress() override;
  TerminalProgress(const TerminalProgress&) = delete;
  TerminalProgress& operator=(const TerminalProgress&) = delete;

  void SetProgress(std::uint16_t per_mille) override;
  // The transfer is complete: show 100% and end the line.
  void Finish();
  // The transfer stopped: leave the last value standing and end the line.
  void Abandon();

  static constexpr int kBarWidth = 40;

 private:
  void Draw(std::uint16_t per_mille);

  std::ostream& out_;
  ProgressStyle style_;
  bool drawn_ = false;
  int last_line_percent_ = -1;
  int last_json_ = -1;
};

}  // namespace veltrane::cli
