#include "device/option_args.h"

namespace veltrane {
namespace {

bool HasInlineValue(const std::string& arg, std::string_view name) {
  return arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 && arg[name.size()] == '=';
}

}  // namespace

bool IsOption(const std::string& arg, std::string_view name) { return arg == name || HasInlineValue(arg, name); }

bool TakeOptionValue(std::vector<std::string>* args, std::size_t i, std::string_view name,
                     std::string* value) {
  const std::string& arg = (*args)[i];
  if (HasInlineValue(arg, name)) {
    *value = arg.substr(name.size() + 1);
    return true;
  }
  if (i + 1 >= args->size()) return false;
  *value = (*args)[i + 1];
  args->erase(args->begin() + static_cast<std::ptrdiff_t>(i) + 1);
  return true;
}

}  // namespace veltrane
