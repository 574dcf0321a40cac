// veltrane-cli: the command-line companion of the Veltrane desktop program.
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return veltrane::cli::RunCli(std::move(args), std::cout, std::cerr, isatty(STDERR_FILENO) == 1);
}
