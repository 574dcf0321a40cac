// The signature options both programs take, parsed by one piece of code:
//
//   --signature FILE     the image's signature (default: IMAGE.minisig beside it)
//   --trusted-key FILE   also trust this minisign public key (repeatable)
//   --require-signed     refuse images without a good signature by a trusted key
//   --allow-legacy-signature  also take minisign's legacy form where nothing requires signatures
#pragma once

#include <string>
#include <vector>

#include "service/signing_policy.h"

namespace veltrane {

// Takes the signature options out of `args` (without the program name),
// FILE as the next argument or after "=", and leaves every other argument in
// order. False, with `error` set, when an option lacks its file.
bool ExtractSigningArgs(std::vector<std::string>* args, SigningOptions* options, std::string* error);

// The option lines for --help.
const char* SigningArgsHelp();

}  // namespace veltrane
