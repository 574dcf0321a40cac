// The command words, and the nearest one to a word that is none of them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace veltrane::cli {

// The first word where a command belongs, when it names none of ours
// (global options come first; some take a value); else empty.
std::string UnknownCommandWord(const std::vector<std::string>& args);

// The command `word` was most likely meant to be, or empty when none is close.
std::string NearestCommand(std::string_view word);

}  // namespace veltrane::cli
