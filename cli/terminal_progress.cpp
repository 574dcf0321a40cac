#include "cli/terminal_progress.h"

#include <cstdio>
#include <string>

namespace veltrane::cli {

namespace {
// Plain lines come every tenth, so a log does not fill with a thousand lines.
constexpr int kLineStepPercent = 10;
}  // namespace

TerminalProgress::~TerminalProgress() { Abandon(); }

void TerminalProgress::Draw(std::uint16_t per_mille) {
  if (per_mille > 1000) per_mille = 1000;
  const int filled = per_mille * kBarWidth / 1000;
  std::string bar(static_cast<std::size_t>(filled), '#');
  bar.append(static_cast<std::size_t>(kBarWidth - filled), '.');
  char percent[16];
  std::snprintf(percent, sizeof percent, "%5.1f%%", per_mille / 10.0);
  out_ << "\r[" << bar << "] " << percent << std::flush;
  drawn_ = true;
}

void TerminalProgress::SetProgress(std::uint16_t per_mille) {
  switch (style_) {
    case ProgressStyle::kBar:
      Draw(per_mille);
      break;
    case ProgressStyle::kLines: {
      const int percent = per_mille / 10 / kLineStepPercent * kLineStepPercent;
      if (percent > last_line_percent_) {
        out_ << percent << "%\n" << std::flush;
        last_line_percent_ = percent;
      }
      break;
    }
    case ProgressStyle::kJson:
      if (per_mille != last_json_) out_ << "{\"progress\": " << per_mille << "}\n" << std::flush;
      last_json_ = per_mille;
      break;
    case ProgressStyle::kSilent:
      break;
  }
}

void TerminalProgress::Finish() {
  SetProgress(1000);
  Abandon();
}

void TerminalProgress::Abandon() {
  if (style_ == ProgressStyle::kBar && drawn_) out_ << '\n' << std::flush;
  drawn_ = false;
}

}  // namespace veltrane::cli
