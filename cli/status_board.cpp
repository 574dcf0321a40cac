#include "cli/status_board.h"

namespace veltrane::cli {

void StatusBoard::Draw(const std::vector<std::string>& lines) {
  if (drawn_ > 0) out_ << "\x1b[" << drawn_ << 'A';
  for (const std::string& line : lines) out_ << "\r\x1b[2K" << line << '\n';
  drawn_ = lines.size();
  out_.flush();
}

}  // namespace veltrane::cli
