// The exit statuses of veltrane-cli, as its --help and man page state them.
#pragma once

namespace veltrane::cli {

enum ExitStatus : int {
  kExitDone = 0,     // the command did what it was asked
  kExitFailed = 1,   // no device, a transfer failed, or the user interrupted it
  kExitUsage = 2,    // bad usage or bad arguments
  kExitRefused = 3,  // the image was refused: unreadable, invalid, incompatible or not newer
};

}  // namespace veltrane::cli
