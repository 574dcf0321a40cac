#include "service/signing_args.h"

#include "device/option_args.h"
#include "service/signing_texts.h"

namespace veltrane {

bool ExtractSigningArgs(std::vector<std::string>* args, SigningOptions* options, std::string* error) {
  std::size_t i = 0;
  while (i < args->size()) {
    const std::string& arg = (*args)[i];
    if (arg == "--") break;  // what follows is no option
    if (IsOption(arg, "--signature")) {
      if (!TakeOptionValue(args, i, "--signature", &options->signature_path) ||
          options->signature_path.empty()) {
        *error = signing_texts::kSignatureNeedsFile;
        return false;
      }
    } else if (IsOption(arg, "--trusted-key")) {
      std::string file;
      if (!TakeOptionValue(args, i, "--trusted-key", &file) || file.empty()) {
        *error = signing_texts::kTrustedKeyNeedsFile;
        return false;
      }
      options->trusted_key_files.push_back(file);
    } else if (arg == "--require-signed") {
      options->require_signed = true;
    } else if (arg == "--allow-legacy-signature") {
      options->allow_legacy = true;
    } else {
      ++i;
      continue;
    }
    args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
  }
  return true;
}

const char* SigningArgsHelp() {
  return "  --signature FILE     the image's minisign signature (default: IMAGE.minisig beside it)\n"
         "  --trusted-key FILE   also trust this minisign public key (repeatable)\n"
         "  --require-signed     refuse images without a good signature by a trusted key\n"
         "  --allow-legacy-signature  also take minisign's legacy form (-l) where signatures\n"
         "                       are not required\n";
}

}  // namespace veltrane
