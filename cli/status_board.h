// The bench's status lines on a terminal: one line per unit, redrawn in
// place (the cursor goes back up over the lines last drawn).
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace veltrane::cli {

class StatusBoard {
 public:
  explicit StatusBoard(std::ostream& out) : out_(out) {}
  // Draws `lines` over the ones drawn last time; new lines go below.
  void Draw(const std::vector<std::string>& lines);

 private:
  std::ostream& out_;
  std::size_t drawn_ = 0;
};

}  // namespace veltrane::cli
