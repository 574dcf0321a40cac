#include "cli/command_names.h"

#include <algorithm>
#include <array>

namespace veltrane::cli {
namespace {

constexpr std::array<std::string_view, 11> kCommands = {"list",  "info",     "check", "flash", "bench",   "feedback",
                                                        "eeprom", "image", "keys",  "history", "rollback"};

std::size_t EditDistance(std::string_view a, std::string_view b) {
  std::vector<std::size_t> row(b.size() + 1);
  for (std::size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    std::size_t diagonal = row[0];
    row[0] = i;
    for (std::size_t j = 1; j <= b.size(); ++j) {
      const std::size_t up = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = up;
    }
  }
  return row[b.size()];
}

}  // namespace

std::string UnknownCommandWord(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--device" || args[i] == "--serial" || args[i] == "--location" ||
        args[i] == "--progress" || args[i] == "--signature" || args[i] == "--trusted-key") {
      ++i;
      continue;
    }
    if (args[i].empty() || args[i][0] == '-') continue;
    const bool known = std::find(kCommands.begin(), kCommands.end(), args[i]) != kCommands.end();
    return known ? std::string() : args[i];
  }
  return {};
}

std::string NearestCommand(std::string_view word) {
  std::string best;
  std::size_t best_distance = word.size() / 2 + 1;
  for (std::string_view command : kCommands) {
    const std::size_t d = EditDistance(word, command);
    if (d < best_distance || (d == best_distance && best.empty() && d <= 2)) {
      best_distance = d;
      best = command;
    }
  }
  return best;
}

}  // namespace veltrane::cli
