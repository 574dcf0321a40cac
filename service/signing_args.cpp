#include "service/signing_args.h"

#include <string_view>

#include "service/signing_texts.h"

namespace veltrane {
namespace {

// Takes FILE of `--NAME FILE` or `--NAME=FILE` at `*i`; the arguments taken
// are erased. Returns false when `args[*i]` is not the option; sets `missing`
// when it is but has no file.
bool TakeFile(std::vector<std::string>* args, std::size_t i, std::string_view name, std::string* file,
              bool* missing) {
  const std::string& arg = (*args)[i];
  if (arg == name) {
    if (i + 1 >= args->size() || (*args)[i + 1].empty()) {
      *missing = true;
      return true;
    }
    *file = (*args)[i + 1];
    args->erase(args->begin() + static_cast<std::ptrdiff_t>(i), args->begin() + static_cast<std::ptrdiff_t>(i) + 2);
    return true;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=') {
    *file = arg.substr(name.size() + 1);
    *missing = file->empty();
    args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
    return true;
  }
  return false;
}

}  // namespace

bool ExtractSigningArgs(std::vector<std::string>* args, SigningOptions* options, std::string* error) {
  std::size_t i = 0;
  while (i < args->size()) {
    if ((*args)[i] == "--") break;  // what follows is no option
    std::string file;
    bool missing = false;
    if (TakeFile(args, i, "--signature", &file, &missing)) {
      if (missing) {
        *error = signing_texts::kSignatureNeedsFile;
        return false;
      }
      options->signature_path = file;
    } else if (TakeFile(args, i, "--trusted-key", &file, &missing)) {
      if (missing) {
        *error = signing_texts::kTrustedKeyNeedsFile;
        return false;
      }
      options->trusted_key_files.push_back(file);
    } else if ((*args)[i] == "--require-signed") {
      options->require_signed = true;
      args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return true;
}

const char* SigningArgsHelp() {
  return "  --signature FILE     the image's minisign signature (default: IMAGE.minisig beside it)\n"
         "  --trusted-key FILE   also trust this minisign public key (repeatable)\n"
         "  --require-signed     refuse images without a good signature by a trusted key\n";
}

}  // namespace veltrane
