#include "sim/sim_args.h"

#include <algorithm>
#include <limits>

#include "device/number_parse.h"
#include "device/option_args.h"

namespace veltrane::sim {
namespace {

constexpr std::uint64_t kMaxArrivalMs = 86400 * 1000;  // a day

bool ApplyFault(const std::string& spec, SimOptions* options, std::string* error) {
  const auto colon = spec.find(':');
  std::uint64_t k = 0;
  if (colon == std::string::npos ||
      !ParseNumber(spec.substr(colon + 1), std::numeric_limits<int>::max(), &k, NumberBase::kDecimal) ||
      k == 0) {
    *error = "--sim-fault takes KIND:K with K a count from 1, for example out:3";
    return false;
  }
  const std::string kind = spec.substr(0, colon);
  const int count = static_cast<int>(k);
  if (kind == "out") {
    options->fail_output_report = count;
  } else if (kind == "in") {
    options->fail_input_report = count;
  } else if (kind == "write") {
    options->fail_write = count;
  } else if (kind == "unplug") {
    options->unplug_after = count;
  } else if (kind == "drop") {
    options->drop_eeprom_write = count;
  } else if (kind == "stale") {
    options->stale_input_report = count;
  } else {
    *error = "--sim-fault: unknown kind '" + kind + "' (use out, in, write, unplug, drop or stale)";
    return false;
  }
  return true;
}

// "T1,T2,…": seconds after start, each a decimal number from 0 to a day, in any order.
bool ParseArrivals(const std::string& text, std::vector<std::uint32_t>* ms) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    std::uint64_t at = 0;
    if (!ParseSecondsAsMs(std::string_view(text).substr(start, comma - start), kMaxArrivalMs, &at)) {
      return false;
    }
    ms->push_back(static_cast<std::uint32_t>(at));
    start = comma + 1;
  }
  std::sort(ms->begin(), ms->end());
  return true;
}

// "R1,R2,…": a revision for each DAC in turn, four hexadecimal digits at most.
bool ParseRevisions(const std::string& text, std::vector<std::uint16_t>* revisions) {
  revisions->clear();
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t comma = std::min(text.find(',', start), text.size());
    std::uint64_t n = 0;
    if (!ParseNumber(text.substr(start, comma - start), 0xFFFF, &n, NumberBase::kHex)) return false;
    revisions->push_back(static_cast<std::uint16_t>(n));
    start = comma + 1;
  }
  return !revisions->empty();
}

}  // namespace

bool ExtractSimArgs(std::vector<std::string>* args, SimSetup* setup, std::string* error) {
  setup->options.virtual_time = false;
  std::size_t i = 0;
  while (i < args->size()) {
    const std::string arg = (*args)[i];
    std::string value;
    if (arg == "--simulate") {
      setup->enabled = true;
    } else if (arg.rfind("--simulate=", 0) == 0) {
      setup->enabled = true;
      setup->options.eeprom_file = arg.substr(11);
      if (setup->options.eeprom_file.empty()) {
        *error = "--simulate=FILE needs a file name";
        return false;
      }
    } else if (arg == "--virtual-time") {
      setup->options.virtual_time = true;
    } else if (IsOption(arg, "--sim-product")) {
      std::uint64_t n = 0;
      if (!TakeOptionValue(args, i, "--sim-product", &value) || !ParseNumber(value, 0xFFFF, &n)) {
        *error = "--sim-product takes a product ID from 0 to 65535";
        return false;
      }
      setup->options.product_id = static_cast<std::uint16_t>(n);
    } else if (IsOption(arg, "--sim-revision")) {
      if (!TakeOptionValue(args, i, "--sim-revision", &value) ||
          !ParseRevisions(value, &setup->revisions)) {
        *error = "--sim-revision takes four hexadecimal digits, for example 0102 (or 0102,0103,...: one a DAC)";
        return false;
      }
      setup->options.revision = setup->revisions.front();
    } else if (IsOption(arg, "--sim-count")) {
      std::uint64_t n = 0;
      if (!TakeOptionValue(args, i, "--sim-count", &value) ||
          !ParseNumber(value, kMaxSimCount, &n, NumberBase::kDecimal) || n == 0) {
        *error = "--sim-count takes a number of DACs from 1 to " + std::to_string(kMaxSimCount);
        return false;
      }
      setup->count = static_cast<int>(n);
    } else if (IsOption(arg, "--sim-arrivals")) {
      setup->arrivals_ms.clear();
      if (!TakeOptionValue(args, i, "--sim-arrivals", &value) || !ParseArrivals(value, &setup->arrivals_ms) ||
          setup->arrivals_ms.size() > static_cast<std::size_t>(kMaxSimArrivals)) {
        *error = "--sim-arrivals takes up to " + std::to_string(kMaxSimArrivals) +
                 " times in seconds after start, separated by commas, for example 2,5.5";
        return false;
      }
    } else if (IsOption(arg, "--sim-fault")) {
      if (!TakeOptionValue(args, i, "--sim-fault", &value)) {
        *error = "--sim-fault takes KIND:K, for example out:3";
        return false;
      }
      if (!ApplyFault(value, &setup->options, error)) return false;
    } else if (IsOption(arg, "--transport")) {
      if (!TakeOptionValue(args, i, "--transport", &value) || (value != "usb" && value != "hidraw")) {
        *error = "--transport takes usb or hidraw";
        return false;
      }
      setup->transport = value == "usb" ? HidTransport::kUsb : HidTransport::kHidraw;
    } else if (IsOption(arg, "--trace")) {
      if (!TakeOptionValue(args, i, "--trace", &value) || value.empty()) {
        *error = "--trace takes a file name";
        return false;
      }
      setup->trace_file = value;
    } else {
      ++i;
      continue;
    }
    args->erase(args->begin() + static_cast<std::ptrdiff_t>(i));
  }
  return true;
}

const char* SimArgsHelp() {
  return "  --simulate[=FILE]   use the simulated DAC; keep its EEPROM in FILE between runs\n"
         "  --sim-product N     product ID of the simulated DAC (default 4)\n"
         "  --sim-revision HEX  revision of the simulated DAC (default 0102); HEX,HEX,... one a DAC\n"
         "  --sim-fault KIND:K  make the K-th out, in, write or drop fail, or unplug after K reports,\n"
         "                      or stale: the K-th input report repeats the one before (an old answer)\n"
         "  --virtual-time      record the device pauses instead of waiting them out\n"
         "  --trace FILE        write every report and pause of the simulated DAC to FILE\n"
         "  --sim-count N       put N DACs on the bus: serials SIM0001..., EEPROM files\n"
         "                      FILE, FILE.2, ..., trace files TRACE, TRACE.2, ...\n"
         "  --sim-arrivals T1,T2,...  plug another DAC in T1, T2, ... seconds after start\n";
}

const char* TransportArgHelp() {
#ifdef _WIN32
  return "  --transport usb|hidraw  ignored on Windows, whose one HID transport already sends\n"
         "                          each report by its own road (kept for scripts shared with Linux)\n";
#else
  return "  --transport usb|hidraw  usb (default): usbfs, every report by the road the DAC expects\n"
         "                          (control transfers on endpoint 0, bulk blocks on interrupt OUT);\n"
         "                          hidraw: the kernel's HID driver (output reports go over\n"
         "                          interrupt OUT when the DAC has one)\n";
#endif
}

std::unique_ptr<SimulatedDac> CreateSimulatedDac(const SimSetup& setup, std::string* error) {
  auto dac = std::make_unique<SimulatedDac>(setup.options);
  if (!dac->FileError().empty()) {
    *error = dac->FileError();
    return nullptr;
  }
  return dac;
}

}  // namespace veltrane::sim
