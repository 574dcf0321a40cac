// veltrane-cli's grammar: the simulation options taken out first by the
// shared parser, then global options and one command, then the command run
// on the chosen platform.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "service/signing_files.h"

namespace veltrane::cli {

// `args` without the program name. Returns the exit status.
int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err,
           bool err_is_terminal);
// The same with the folders of the system's and the user's signing settings
// given (tests); the other takes the system's.
int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err,
           bool err_is_terminal, const SigningPlaces& signing_places);

// The exit-status and simulation paragraphs of --help.
std::string HelpFooter();

}  // namespace veltrane::cli
