#include "cli/cli_app.h"

#include <algorithm>
#include <array>
#include <memory>

#include <CLI/CLI.hpp>

#include "cli/cli_texts.h"
#include "cli/command_context.h"
#include "cli/device_commands.h"
#include "cli/exit_status.h"
#include "cli/flash_command.h"
#include "cli/image_commands.h"
#include "cli/interrupt_guard.h"
#include "device/platform/hid_platform.h"
#include "sim/sim_args.h"
#include "sim/simulated_dac.h"

#ifndef VELTRANE_VERSION
#define VELTRANE_VERSION "0.0.0.0"
#endif

namespace veltrane::cli {
namespace {

// Everything the grammar fills in.
struct Request {
  bool json = false;
  bool verbose = false;
  std::string device_path;
  std::string image;
  FlashOptions flash;
  bool no_verify = false;
  std::array<std::string, 3> resolutions;
  std::string address;
  std::string length;
  std::string file;
  PackRequest pack;
};

struct Commands {
  CLI::App* list;
  CLI::App* info;
  CLI::App* check;
  CLI::App* flash;
  CLI::App* feedback_get;
  CLI::App* feedback_set;
  CLI::App* eeprom_read;
  CLI::App* eeprom_write;
  CLI::App* image_info;
  CLI::App* image_pack;
};

// The first word where a command belongs, when it names none of ours
// (global options come first; --device takes a value); else empty.
std::string UnknownCommandWord(const std::vector<std::string>& args) {
  static const std::array<std::string_view, 7> kCommands = {"list",     "info",   "check", "flash",
                                                             "feedback", "eeprom", "image"};
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--device") {
      ++i;
      continue;
    }
    if (args[i].empty() || args[i][0] == '-') continue;
    const bool known = std::find(kCommands.begin(), kCommands.end(), args[i]) != kCommands.end();
    return known ? std::string() : args[i];
  }
  return {};
}

Commands BuildGrammar(CLI::App& app, Request& r) {
  app.set_version_flag("--version", VELTRANE_VERSION, "Print the version (" VELTRANE_VERSION ") and exit");
  app.add_flag("--json", r.json,
               "Machine-readable output for list, info, check, feedback get and image info");
  app.add_flag("-v,--verbose", r.verbose, "Say each step on stderr");
  app.add_option("--device", r.device_path,
                 "Use the DAC interface at PATH (see 'list') when several are connected")
      ->type_name("PATH");
  app.require_subcommand(1, 1);

  Commands c{};
  c.list = app.add_subcommand("list", "List every HID interface of vendor 0x3917 and whether this user may open it");
  c.info = app.add_subcommand("info", "Identify the connected DAC and the state of the image in its EEPROM");
  c.check = app.add_subcommand("check", "Judge IMAGE against the connected DAC (a not-newer image is refused)");
  c.check->add_option("IMAGE", r.image, "Firmware image file")->required();

  c.flash = app.add_subcommand("flash", "Check IMAGE, then program it into the DAC");
  c.flash->add_option("IMAGE", r.flash.image_path, "Firmware image file")->required();
  c.flash->add_flag("--force", r.flash.force, "Write an image that is not newer than the device");
  c.flash->add_option("--backup", r.flash.backup_path,
                      "Save the EEPROM bytes the image will cover to FILE first")
      ->type_name("FILE");
  c.flash->add_flag("--no-verify", r.no_verify,
                    "Send the plain packet sequence: no read-back before the restore packet");

  CLI::App* feedback = app.add_subcommand("feedback", "Read or write the three feedback resolutions");
  feedback->require_subcommand(1, 1);
  c.feedback_get = feedback->add_subcommand("get", "Show the three feedback resolutions");
  c.feedback_set = feedback->add_subcommand(
      "set", "Write R1 (32/48/96 kHz), R2 (44.1 kHz) and R3 (88.2 kHz), each one of:" + ResolutionChoices());
  c.feedback_set->add_option("R1", r.resolutions[0], "32/48/96 kHz resolution")->required();
  c.feedback_set->add_option("R2", r.resolutions[1], "44.1 kHz resolution")->required();
  c.feedback_set->add_option("R3", r.resolutions[2], "88.2 kHz resolution")->required();

  CLI::App* eeprom = app.add_subcommand("eeprom", "Read or write EEPROM bytes");
  eeprom->require_subcommand(1, 1);
  c.eeprom_read = eeprom->add_subcommand("read", "Read LEN bytes from ADDR: a hex dump, or raw bytes to FILE");
  c.eeprom_read->add_option("ADDR", r.address, "Start address, 0 to 65535 (decimal or 0x hex)")->required();
  c.eeprom_read->add_option("LEN", r.length, "Byte count, ADDR + LEN at most 65536")->required();
  c.eeprom_read->add_option("-o,--output", r.file, "Write the raw bytes to FILE")->type_name("FILE");
  c.eeprom_write = eeprom->add_subcommand("write", "Write FILE's bytes from ADDR (restores a backup)");
  c.eeprom_write->add_option("ADDR", r.address, "Start address (decimal or 0x hex)")->required();
  c.eeprom_write->add_option("FILE", r.file, "Bytes to write")->required();

  CLI::App* image = app.add_subcommand("image", "Image files: decode or build (no device needed)");
  image->require_subcommand(1, 1);
  c.image_info = image->add_subcommand("info", "Decode IMAGE's header and judge its checksum");
  c.image_info->add_option("IMAGE", r.image, "Firmware image file")->required();
  c.image_pack = image->add_subcommand("pack", "Write OUT: a header with the right checksum, magic and length, then BODY");
  c.image_pack->add_option("--vendor", r.pack.vendor_text, "Vendor ID (decimal or 0x hex)")->required()->type_name("V");
  c.image_pack->add_option("--product", r.pack.product_text, "Product ID")->required()->type_name("P");
  c.image_pack->add_option("--version", r.pack.version_text, "Image version, e.g. 0x0103")->required()->type_name("X");
  c.image_pack->add_option("BODY", r.pack.body_path, "The bytes after the header")->required();
  c.image_pack->add_option("OUT", r.pack.output_path, "Image file to write")->required();
  return c;
}

// The simulated DAC when asked for, else the system's backend (null until
// this system has one, which reads as "no device").
std::unique_ptr<HidPlatform> MakePlatform(const sim::SimSetup& setup, std::ostream& err,
                                          bool* failed, bool* unusable) {
  *failed = false;
  *unusable = false;
  if (!setup.enabled) return CreateSystemHidPlatform(setup.transport);
  std::string error;
  auto dac = sim::CreateSimulatedDac(setup, &error);
  if (!dac) {
    err << "veltrane-cli: " << error << '\n';
    *unusable = true;
    return nullptr;
  }
  if (!setup.trace_file.empty() && !dac->SetTraceFile(setup.trace_file)) {
    err << Fill(texts::kTraceOpenFailed, setup.trace_file.c_str()) << '\n';
    *failed = true;
  }
  return dac;
}

}  // namespace

std::string HelpFooter() {
  return std::string(
             "\nCommands in full ('veltrane-cli COMMAND --help' tells more):\n"
             "  list                               every HID interface of vendor 0x3917\n"
             "  info                               identify the DAC; state of the image in its EEPROM\n"
             "  check IMAGE                        judge IMAGE against the DAC\n"
             "  flash IMAGE [--force] [--backup FILE] [--no-verify]\n"
             "                                     check, then program IMAGE; verify before committing\n"
             "  feedback get                       the three feedback resolutions\n"
             "  feedback set R1 R2 R3              32/48/96 kHz, 44.1 kHz, 88.2 kHz; each one of\n"
             "                                    ") +
         ResolutionChoices() +
         "\n"
         "  eeprom read ADDR LEN [-o FILE]     hex dump, or raw bytes to FILE\n"
         "  eeprom write ADDR FILE             write FILE's bytes from ADDR (restore a backup)\n"
         "  image info IMAGE                   decode an image header (no device needed)\n"
         "  image pack --vendor V --product P --version X BODY OUT\n"
         "                                     build an image: header with checksum, then BODY\n"
         "Numbers take decimal or 0x hex. Ctrl-C during flash stops at the next packet.\n"
         "\nTransport to a real DAC (anywhere on the line):\n" + sim::TransportArgHelp() +
         "\nSimulation options (anywhere on the line):\n" + sim::SimArgsHelp() +
         "\nExit status:\n"
         "  0  done\n"
         "  1  device missing, transfer failed, or interrupted (Ctrl-C)\n"
         "  2  bad usage or bad arguments\n"
         "  3  image refused: unreadable, invalid, incompatible or not newer\n"
         "\nGlobal options go before the command. Results go to stdout, messages to stderr.\n"
         "Example: veltrane-cli --simulate --virtual-time flash samples/newer-0103.bin\n";
}

int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err,
           bool err_is_terminal) {
  sim::SimSetup setup;
  std::string error;
  if (!sim::ExtractSimArgs(&args, &setup, &error)) {
    err << error << '\n';
    return kExitUsage;
  }

  CLI::App app("veltrane-cli " VELTRANE_VERSION
               ": services the Veltrane USB audio DACs (vendor 0x3917) from the command line.",
               "veltrane-cli");
  app.footer(HelpFooter());
  Request r;
  const Commands c = BuildGrammar(app, r);
  const std::vector<std::string> given = args;
  std::reverse(args.begin(), args.end());
  try {
    app.parse(args);
  } catch (const CLI::ParseError& e) {
    // A misspelt command reads better named than as "a subcommand is required".
    if (app.get_subcommands().empty()) {
      const std::string word = UnknownCommandWord(given);
      if (!word.empty()) {
        err << Fill(texts::kUnknownCommand, word.c_str()) << '\n';
        return kExitUsage;
      }
    }
    const int code = app.exit(e, out, err);
    return code == 0 ? kExitDone : kExitUsage;
  }

  if (!setup.enabled && !setup.trace_file.empty()) {
    err << texts::kTraceWithoutSimulate << '\n';
    return kExitUsage;
  }

  CommandContext context;
  context.out = &out;
  context.err = &err;
  context.json = r.json;
  context.verbose = r.verbose;
  context.device_path = r.device_path;
  context.progress = r.json ? ProgressStyle::kSilent
                            : (err_is_terminal ? ProgressStyle::kBar : ProgressStyle::kLines);

  // Commands on image files need no device at all.
  if (c.image_info->parsed()) return ImageInfoCommand(context, r.image);
  if (c.image_pack->parsed()) return ImagePackCommand(context, r.pack);

  bool failed = false;
  bool unusable = false;
  const std::unique_ptr<HidPlatform> platform = MakePlatform(setup, err, &failed, &unusable);
  if (unusable) return kExitFailed;
  if (failed) return kExitUsage;
  context.platform = platform.get();

  if (c.list->parsed()) return ListCommand(context);
  if (c.info->parsed()) return InfoCommand(context);
  if (c.check->parsed()) return CheckCommand(context, r.image);
  if (c.flash->parsed()) {
    r.flash.verify = !r.no_verify;
    const InterruptGuard guard;
    context.stop = InterruptGuard::Flag();
    return FlashCommand(context, r.flash);
  }
  if (c.feedback_get->parsed()) return FeedbackGetCommand(context);
  if (c.feedback_set->parsed()) return FeedbackSetCommand(context, r.resolutions);
  if (c.eeprom_read->parsed()) return EepromReadCommand(context, r.address, r.length, r.file);
  if (c.eeprom_write->parsed()) return EepromWriteCommand(context, r.address, r.file);
  return kExitUsage;
}

}  // namespace veltrane::cli
