// veltrane-cli: the command-line companion of the Veltrane desktop program.
#ifdef _WIN32
#include <io.h>
#define VELTRANE_STDERR_IS_TERMINAL() (_isatty(_fileno(stderr)) != 0)
#else
#include <unistd.h>
#define VELTRANE_STDERR_IS_TERMINAL() (isatty(STDERR_FILENO) == 1)
#endif

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  return veltrane::cli::RunCli(std::move(args), std::cout, std::cerr, VELTRANE_STDERR_IS_TERMINAL());
}
