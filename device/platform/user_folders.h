// Where a user's program data lives, and this computer's name: the two facts
// of the system the service history needs.
#pragma once

#include <string>

namespace veltrane {

// The program's data folder for this user, UTF-8, without a trailing
// separator: $XDG_DATA_HOME/veltrane (default ~/.local/share/veltrane) on
// Linux, %LOCALAPPDATA%\Veltrane on Windows. Empty when the system names no
// home for it. The folder is not created here.
std::string UserDataFolder();

// This computer's host name, UTF-8; empty when the system will not say.
std::string HostName();

}  // namespace veltrane
