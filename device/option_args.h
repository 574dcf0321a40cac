// Options the programs take out of their arguments before their own parsing
// (simulation, history, signatures): `--name VALUE` or `--name=VALUE`.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane {

// True when `arg` is the option `name`, bare or with "=VALUE".
bool IsOption(const std::string& arg, std::string_view name);

// The value of the option `name` at args[i] (IsOption holds there): after
// "=", or the next argument, which is erased; args[i] stays for the caller.
// False when the option is last and has none.
bool TakeOptionValue(std::vector<std::string>* args, std::size_t i, std::string_view name,
                     std::string* value);

}  // namespace veltrane
