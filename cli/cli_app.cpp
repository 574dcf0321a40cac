#include "cli/cli_app.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <array>
#include <memory>
#include <sstream>
#include <string_view>

#include <CLI/CLI.hpp>

#include "cli/bench_command.h"
#include "cli/cli_texts.h"
#include "cli/command_context.h"
#include "cli/command_names.h"
#include "cli/device_commands.h"
#include "cli/exit_status.h"
#include "cli/flash_command.h"
#include "cli/history_command.h"
#include "cli/image_commands.h"
#include "cli/interrupt_guard.h"
#include "cli/json_report.h"
#include "cli/rollback_command.h"
#include "cli/signing_commands.h"
#include "device/number_parse.h"
#include "device/platform/hid_platform.h"
#include "service/history_args.h"
#include "service/signing_args.h"
#include "sim/sim_args.h"
#include "sim/simulated_bus.h"
#include "sim/simulated_dac.h"
#include "veltrane_version.h"

namespace veltrane::cli {
namespace {

constexpr unsigned kMaxBenchUnits = 100000;

// Everything the grammar fills in.
struct Request {
  bool json = false;
  bool quiet = false;
  bool verbose = false;
  std::string progress;
  DacSelector selector;
  std::string image;
  FlashOptions flash;
  bool no_verify = false;
  bool no_backup = false;
  BenchOptions bench;
  std::string units;
  std::array<std::string, 3> resolutions;
  std::string address;
  std::string length;
  std::string file;
  PackRequest pack;
  HistoryRequest history;
  RollbackRequest rollback;
};

struct Commands {
  CLI::App* list;
  CLI::App* info;
  CLI::App* check;
  CLI::App* flash;
  CLI::App* bench;
  CLI::App* feedback_get;
  CLI::App* feedback_set;
  CLI::App* eeprom_read;
  CLI::App* eeprom_write;
  CLI::App* image_info;
  CLI::App* image_verify;
  CLI::App* image_pack;
  CLI::App* history;
  CLI::App* rollback;
  CLI::App* keys;
};

Commands BuildGrammar(CLI::App& app, Request& r) {
  app.set_version_flag("--version", "veltrane-cli " VELTRANE_VERSION,
                       "Print the version (veltrane-cli " VELTRANE_VERSION ") and exit");
  // Global options are taken after the command too.
  app.fallthrough();
  app.add_flag("--json", r.json, "One JSON document on stdout, on success and on failure");
  app.add_option("--progress", r.progress, "json: flash progress as JSON lines on stderr")
      ->check(CLI::IsMember({"json", "text"}))
      ->type_name("json");
  app.add_flag("-q,--quiet", r.quiet, "Print only errors (and the data a command is asked for)");
  app.add_flag("-v,--verbose", r.verbose, "Say each step on stderr");
  app.add_option("--serial", r.selector.serial, "Use the DAC with this USB serial number (see 'list')")
      ->type_name("S");
  app.add_option("--location", r.selector.location, "Use the DAC at this place on the bus (see 'list')")
      ->type_name("L");
  app.add_option("--device", r.selector.device_path, "Use the DAC interface at PATH (see 'list')")
      ->type_name("PATH");
  app.add_flag("--no-backup", r.no_backup,
               "Change the DAC without saving what the change overwrites first (recorded as such)");
  app.require_subcommand(1, 1);

  Commands c{};
  c.list = app.add_subcommand("list", "List every DAC (serial, location, product, revision, path) and whether this user may open it");
  c.info = app.add_subcommand("info", "Identify the connected DAC and the state of the image in its EEPROM");
  c.check = app.add_subcommand("check", "Judge IMAGE against the connected DAC (a not-newer image is refused)");
  c.check->add_option("IMAGE", r.image, "Firmware image file")->required();

  c.flash = app.add_subcommand("flash", "Check IMAGE, then program it into the DAC");
  c.flash->add_option("IMAGE", r.flash.image_path, "Firmware image file")->required();
  c.flash->add_option("--backup", r.flash.backup_path,
                      "Save the EEPROM bytes the image will cover to FILE first")
      ->type_name("FILE");
  c.bench = app.add_subcommand("bench", "Flash IMAGE into every DAC at once, then each one that arrives");
  c.bench->add_option("IMAGE", r.flash.image_path, "Firmware image file")->required();
  // Taken as text and parsed strictly, as every number on the line.
  c.bench->add_option("--units", r.units, "Stop when N DACs are done (default: at Ctrl-C)")
      ->type_name("N");
  c.bench->add_option("--log", r.bench.log_path, "Append a JSON line per DAC to FILE")->type_name("FILE");
  for (CLI::App* command : {c.flash, c.bench}) {
    command->add_flag("--force", r.flash.force, "Write an image that is not newer than the device");
    command->add_flag("--no-verify", r.no_verify,
                      "Send the plain packet sequence: no read-back before the restore packet");
    command->add_flag("--changed-only", r.flash.changed_only,
                      "Read the EEPROM first and write only the packets that differ (needs verify)");
    command->add_flag("--keep-settings", r.flash.keep_settings,
                      "Keep the DAC's feedback settings where the image covers 0x1712");
  }

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
  c.eeprom_read->add_option("-o,--output", r.file, "Write the raw bytes to FILE (- for stdout)")->type_name("FILE");
  c.eeprom_write = eeprom->add_subcommand("write", "Write FILE's bytes from ADDR (restores a backup)");
  c.eeprom_write->add_option("ADDR", r.address, "Start address (decimal or 0x hex)")->required();
  c.eeprom_write->add_option("FILE", r.file, "Bytes to write")->required();

  CLI::App* image = app.add_subcommand("image", "Image files: decode or build (no device needed)");
  image->require_subcommand(1, 1);
  c.image_info = image->add_subcommand("info", "Decode IMAGE's header and judge its checksum");
  c.image_info->add_option("IMAGE", r.image, "Firmware image file")->required();
  c.image_verify = image->add_subcommand("verify", "Say who signed IMAGE and whether that key is trusted");
  c.image_verify->add_option("IMAGE", r.image, "Firmware image file")->required();
  c.image_pack = image->add_subcommand("pack", "Write OUT: a header with the right checksum, magic and length, then BODY");
  c.image_pack->add_option("--vendor", r.pack.vendor_text, "Vendor ID (decimal or 0x hex)")->required()->type_name("V");
  c.image_pack->add_option("--product", r.pack.product_text, "Product ID")->required()->type_name("P");
  c.image_pack->add_option("--version", r.pack.version_text, "Image version, e.g. 0x0103")->required()->type_name("X");
  c.image_pack->add_option("BODY", r.pack.body_path, "The bytes after the header")->required();
  c.image_pack->add_option("OUT", r.pack.output_path, "Image file to write")->required();
  c.keys = app.add_subcommand("keys", "List the trusted public keys and where each came from");

  c.history = app.add_subcommand("history", "Every change made to a DAC, newest first (--serial S: that DAC's)");
  c.history->require_subcommand(0, 1);
  c.history->add_option("--limit", r.history.limit_text, "The newest N changes (default 20)")->type_name("N");
  c.history->add_flag("--all", r.history.all, "Every change");
  CLI::App* show = c.history->add_subcommand("show", "One change in full");
  show->add_option("ID", r.history.id_text, "The change's number in 'history'")->required();
  show->callback([&r] { r.history.show = true; });

  c.rollback = app.add_subcommand("rollback", "Put back what change ID overwrote (default: the DAC's latest)");
  c.rollback->add_option("ID", r.rollback.id_text, "The change's number in 'history'");
  c.rollback->add_flag("--force", r.rollback.force, "Undo later changes over the same bytes too");
  return c;
}

bool WantsJson(const std::vector<std::string>& args) {
  return std::find(args.begin(), args.end(), "--json") != args.end();
}

// A usage error before any command ran: a message, and with --json the document.
int UsageFailure(const std::string& message, bool json, std::ostream& out, std::ostream& err) {
  JsonReport report;
  CommandContext context;
  context.err = &err;
  context.report = &report;
  context.Say(message);
  if (json) out << report.Render(kExitUsage);
  return kExitUsage;
}

ExitStatus RunCommand(const Commands& c, Request& r, const sim::SimSetup& setup,
                      CommandContext& context) {
  // Commands on image files need no device at all.
  if (c.image_info->parsed()) return ImageInfoCommand(context, r.image);
  if (c.image_verify->parsed()) return ImageVerifyCommand(context, r.image);
  if (c.image_pack->parsed()) return ImagePackCommand(context, r.pack);
  if (c.history->parsed()) return HistoryCommand(context, r.history);
  if (c.keys->parsed()) return KeysCommand(context);

  std::unique_ptr<HidPlatform> platform;
  if (setup.enabled) {
    std::string error;
    bool file_unusable = false;
    platform = sim::CreateSimPlatform(setup, &error, &file_unusable);
    if (!platform) {
      context.Say(error);
      return file_unusable ? kExitFailed : kExitUsage;
    }
  } else {
    const HidTransport transport = setup.transport;
    platform = CreateSystemHidPlatform(transport);
    context.new_platform = [transport] { return CreateSystemHidPlatform(transport); };
  }
  context.platform = platform.get();

  if (c.list->parsed()) return ListCommand(context);
  if (c.info->parsed()) return InfoCommand(context);
  if (c.check->parsed()) return CheckCommand(context, r.image);
  if (c.flash->parsed() || c.bench->parsed()) {
    r.flash.verify = !r.no_verify;
    if (r.flash.changed_only && !r.flash.verify) {
      context.Say(texts::kChangedOnlyNoVerify);
      return kExitUsage;
    }
    if (c.flash->parsed()) return FlashCommand(context, r.flash);
    std::uint64_t units = 0;
    if (!r.units.empty() && (!ParseNumber(r.units, kMaxBenchUnits, &units) || units == 0)) {
      context.Say(Fill(texts::kBadUnits, r.units.c_str()));
      return kExitUsage;
    }
    r.bench.units = static_cast<int>(units);
    r.bench.flash = r.flash;
    r.bench.image_path = r.flash.image_path;
    return BenchCommand(context, r.bench);
  }
  if (c.feedback_get->parsed()) return FeedbackGetCommand(context);
  if (c.feedback_set->parsed()) return FeedbackSetCommand(context, r.resolutions);
  if (c.eeprom_read->parsed()) return EepromReadCommand(context, r.address, r.length, r.file);
  if (c.eeprom_write->parsed()) return EepromWriteCommand(context, r.address, r.file);
  if (c.rollback->parsed()) return RollbackCommand(context, r.rollback);
  return kExitUsage;
}

}  // namespace

namespace {

// The one check of everything written to stdout: its last flush.
int FinishOutput(std::ostream& out, std::ostream& err, int status) {
  errno = 0;
  out.flush();
  if (out) return status;
  // A result that did not arrive is a failure, whatever the command thought.
  const int error = errno;
  err << kMessagePrefix
      << Fill(texts::kStdoutFailed, error != 0 ? std::strerror(error) : "write error") << '\n';
  return status == kExitDone ? kExitFailed : status;
}

int RunCliParsed(std::vector<std::string> args, std::ostream& out, std::ostream& err,
                 bool err_is_terminal, const SigningPlaces& signing_places);

}  // namespace

std::string HelpFooter() {
  return std::string(
             "\nCommands in full ('veltrane-cli COMMAND --help' tells more):\n"
             "  list                               every DAC: serial, location, product, revision, path\n"
             "  info                               identify the DAC; state of the image in its EEPROM\n"
             "  check IMAGE                        judge IMAGE against the DAC\n"
             "  flash IMAGE [--force] [--backup FILE] [--no-verify] [--changed-only] [--keep-settings]\n"
             "                                     check, then program IMAGE; verify before committing\n"
             "  bench IMAGE [--units N] [--log FILE] [flash options]\n"
             "                                     every DAC at once, then each that arrives\n"
             "  feedback get                       the three feedback resolutions\n"
             "  feedback set R1 R2 R3              32/48/96 kHz, 44.1 kHz, 88.2 kHz; each one of\n"
             "                                    ") +
         ResolutionChoices() +
         "\n"
         "  eeprom read ADDR LEN [-o FILE]     hex dump, or raw bytes to FILE\n"
         "  eeprom write ADDR FILE             write FILE's bytes from ADDR (restore a backup)\n"
         "  image info IMAGE                   decode an image header (no device needed)\n"
         "  image verify IMAGE                 who signed IMAGE, and whether that key is trusted\n"
         "  image pack --vendor V --product P --version X BODY OUT\n"
         "                                     build an image: header with checksum, then BODY\n"
         "  keys                               the trusted public keys and where each came from\n"
         "  history [--limit N | --all]        every change made to a DAC, newest first\n"
         "  history show ID                    one change in full\n"
         "  rollback [ID] [--force]            put back what change ID overwrote (default: the\n"
         "                                     DAC's latest), from its backup\n"
         "Numbers take decimal or 0x hex. Ctrl-C, SIGTERM or SIGHUP stops a write at the next packet.\n"
         "\nImage signatures (anywhere on the line; every command that writes, image info, image verify):\n" +
         SigningArgsHelp() +
         "\nThe service history (anywhere on the line):\n" + HistoryArgsHelp() +
         "\nTransport to a real DAC (anywhere on the line):\n" + sim::TransportArgHelp() +
         "\nSimulation options (anywhere on the line):\n" + sim::SimArgsHelp() +
         "\nExit status:\n"
         "  0  done\n"
         "  1  device missing, transfer failed, interrupted, or stdout not written\n"
         "  2  bad usage or bad arguments\n"
         "  3  image refused: unreadable, invalid, incompatible, not newer, or its signature\n"
         "     bad, untrusted or missing where signatures are required (there, any write to\n"
         "     the image area that is not a whole signed image, on every command)\n"
         "\nGlobal options go before or after the command. Results go to stdout, messages to\n"
         "stderr. - is stdin for a file argument and stdout for -o. With several DACs\n"
         "connected, choose one with --serial, --location or --device (see 'list').\n"
         "IMAGE.minisig beside an image is its signature; trusted keys are the *.pub files in\n"
         "/etc/veltrane/trusted-keys/ and $XDG_CONFIG_HOME/veltrane/trusted-keys/ (Windows:\n"
         "%ProgramData%\\Veltrane and %APPDATA%\\Veltrane), and require-signed = true in\n"
         "/etc/veltrane/veltrane.conf refuses unsigned images for every user (then only the\n"
         "system's keys count).\n"
         "Example: veltrane-cli --simulate --virtual-time flash samples/newer-0103.bin\n";
}

int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err,
           bool err_is_terminal) {
  return RunCli(std::move(args), out, err, err_is_terminal, SystemSigningPlaces());
}

int RunCli(std::vector<std::string> args, std::ostream& out, std::ostream& err,
           bool err_is_terminal, const SigningPlaces& signing_places) {
  return FinishOutput(out, err,
                      RunCliParsed(std::move(args), out, err, err_is_terminal, signing_places));
}

namespace {

int RunCliParsed(std::vector<std::string> args, std::ostream& out, std::ostream& err,
                 bool err_is_terminal, const SigningPlaces& signing_places) {
  const bool json = WantsJson(args);
  sim::SimSetup setup;
  std::string error;
  if (!sim::ExtractSimArgs(&args, &setup, &error)) return UsageFailure(error, json, out, err);
  HistorySetup history_setup;
  if (!ExtractHistoryArgs(&args, &history_setup, &error)) return UsageFailure(error, json, out, err);
  SigningOptions signing;
  if (!ExtractSigningArgs(&args, &signing, &error)) return UsageFailure(error, json, out, err);

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
        const std::string nearest = NearestCommand(word);
        return UsageFailure(Fill(texts::kUnknownCommand, word.c_str()) +
                                (nearest.empty() ? "" : Fill(texts::kDidYouMean, nearest.c_str())),
                            json, out, err);
      }
    }
    if (e.get_exit_code() == 0) return app.exit(e, out, err);  // --help, --version
    std::ostringstream said;
    app.exit(e, said, said);
    std::string message = said.str();
    while (!message.empty() && message.back() == '\n') message.pop_back();
    return UsageFailure(message, json, out, err);
  }
  if (!setup.enabled && !setup.trace_file.empty()) {
    return UsageFailure(texts::kTraceWithoutSimulate, json, out, err);
  }

  JsonReport report;
  CommandContext context;
  context.out = &out;
  context.err = &err;
  context.json = r.json;
  context.quiet = r.quiet;
  context.verbose = r.verbose;
  context.selector = r.selector;
  context.signing = signing;
  context.signing_places = signing_places;
  context.report = &report;
  const std::unique_ptr<ServiceHistory> history =
      MakeHistory(history_setup, setup.enabled, setup.options.eeprom_file);
  context.history = history.get();
  context.backup_folder = BackupFolderFor(setup.enabled, setup.options.eeprom_file);
  context.backup = !r.no_backup;
  context.progress = r.progress == "json" ? ProgressStyle::kJson
                     : r.json || r.quiet  ? ProgressStyle::kSilent
                     : err_is_terminal    ? ProgressStyle::kBar
                                          : ProgressStyle::kLines;
  int status = kExitUsage;
  {
    // Every command: a device command stops at a packet boundary, a read
    // from a pipe stops waiting, and the destructors release the DAC.
    const InterruptGuard guard;
    context.stop = InterruptGuard::Flag();
    status = RunCommand(c, r, setup, context);
    if (const char* signal = InterruptGuard::SignalName(); signal != nullptr && status != kExitDone) {
      context.Say(Fill(context.platform != nullptr ? texts::kStoppedDacReleased : texts::kStoppedBySignal,
                       signal));
      status = kExitFailed;  // interrupted, whatever the command made of it
    }
    if (r.json) out << report.Render(status);
  }
  return status;
}

}  // namespace

}  // namespace veltrane::cli
