// veltrane-cli: the command-line companion of the Veltrane desktop program.
#ifdef _WIN32
#include <io.h>
#define VELTRANE_STDERR_IS_TERMINAL() (_isatty(_fileno(stderr)) != 0)
#else
#include <unistd.h>
#define VELTRANE_STDERR_IS_TERMINAL() (isatty(STDERR_FILENO) == 1)
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "cli/cli_app.h"
#include "cli/cli_texts.h"
#include "cli/command_context.h"
#include "device/platform/file_names.h"

int main(int argc, char** argv) {
  std::vector<std::string> args = veltrane::ProgramArguments(argc, argv);
  int status = veltrane::cli::RunCli(std::move(args), std::cout, std::cerr, VELTRANE_STDERR_IS_TERMINAL());
  // RunCli has flushed and checked stdout; closing it can still fail.
  if (std::fclose(stdout) != 0 && status == 0) {
    std::cerr << veltrane::cli::kMessagePrefix
              << veltrane::cli::Fill(veltrane::cli::texts::kStdoutFailed, std::strerror(errno)) << '\n';
    status = 1;
  }
  return status;
}
