// The desktop program: takes the simulation options, chooses the platform
// (the simulated DAC, or the system's HID backend) and runs the main window
// modally; the program ends when the window closes.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <QApplication>

#include "app/app_texts.h"
#include "app/main_window.h"
#include "app/no_device_platform.h"
#include "device/platform/file_names.h"
#include "resources/version_info.h"
#include "service/history_args.h"
#include "service/signing_args.h"
#include "sim/sim_args.h"
#include "sim/simulated_bus.h"

namespace {

std::vector<std::string> ArgsOf(int argc, char** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

int UsageError(const std::string& message) {
  std::fprintf(stderr, "veltrane: %s\n%s\n", message.c_str(), veltrane::app_texts::kTryHelp);
  return 2;
}

bool Has(const std::vector<std::string>& args, const char* option) {
  for (const std::string& a : args) {
    if (a == option) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // --help, --version and malformed simulation options need no display.
  std::vector<std::string> args = veltrane::ProgramArguments(argc, argv);
  veltrane::sim::SimSetup setup;
  std::string error;
  if (!veltrane::sim::ExtractSimArgs(&args, &setup, &error)) return UsageError(error);
  veltrane::HistorySetup history_setup;
  if (!veltrane::ExtractHistoryArgs(&args, &history_setup, &error)) return UsageError(error);
  veltrane::SigningOptions signing;
  if (!veltrane::ExtractSigningArgs(&args, &signing, &error)) return UsageError(error);
  if (Has(args, "--help") || Has(args, "-h")) {
    std::printf("%s%s%s%s%s", veltrane::app_texts::kUsage, veltrane::HistoryArgsHelp(), veltrane::SigningArgsHelp(),
                veltrane::sim::TransportArgHelp(), veltrane::sim::SimArgsHelp());
    return 0;
  }
  if (Has(args, "--version")) {
    std::printf("veltrane %s\n", veltrane::version::kVersionDotted);
    return 0;
  }
  // Single-dash options may be Qt's own (-platform, -style ...): Qt takes
  // those out below. Anything else left over is a usage error.
  bool after_qt_option = false;
  for (const std::string& a : args) {
    const bool single_dash = a.size() >= 2 && a[0] == '-' && a[1] != '-';
    if (!single_dash && !after_qt_option) return UsageError(veltrane::app_texts::kUnknownOption + a);
    after_qt_option = single_dash;
  }

  QApplication app(argc, argv);  // takes Qt's own options out of argv
  QApplication::setApplicationVersion(QString::fromLatin1(veltrane::version::kVersionDotted));
  QApplication::setOrganizationName(QString::fromLatin1(veltrane::version::kCompanyName));
  // Lets the desktop match the window to its desktop file and icon.
  QGuiApplication::setDesktopFileName(QString::fromLatin1(veltrane::build::kAppId));

  std::vector<std::string> rest = ArgsOf(argc, argv);
  veltrane::sim::SimSetup unused;
  veltrane::sim::ExtractSimArgs(&rest, &unused, &error);
  veltrane::HistorySetup unused_history;
  veltrane::ExtractHistoryArgs(&rest, &unused_history, &error);
  veltrane::SigningOptions also_unused;
  veltrane::ExtractSigningArgs(&rest, &also_unused, &error);
  if (!rest.empty()) return UsageError(veltrane::app_texts::kUnknownOption + rest.front());

  std::unique_ptr<veltrane::HidPlatform> platform;
  if (setup.enabled) {
    // --sim-count puts several DACs on the bus; the program takes the first found.
    bool file_unusable = false;
    platform = veltrane::sim::CreateSimPlatform(setup, &error, &file_unusable);
    if (!platform && file_unusable) {
      std::fprintf(stderr, "veltrane: %s\n", error.c_str());
      return 1;
    }
    if (!platform) return UsageError(veltrane::app_texts::kTraceFileFailed + setup.trace_file);
  } else {
    platform = veltrane::CreateSystemHidPlatform(setup.transport);
    // Without a backend the program still runs; device operations find nothing.
    if (!platform) platform = std::make_unique<veltrane::NoDevicePlatform>();
  }

  // The system's policy and trusted keys, and the user's; a skipped key file is named.
  veltrane::ImageSigning image_signing = veltrane::ImageSigning::Load(veltrane::SystemSigningPlaces(), signing);
  for (const std::string& warning : image_signing.Warnings()) std::fprintf(stderr, "veltrane: %s\n", warning.c_str());

  // Every Write and Program is recorded here (null: --no-history).
  const std::unique_ptr<veltrane::ServiceHistory> history =
      veltrane::MakeHistory(history_setup, setup.enabled, setup.options.eeprom_file);
  {
    veltrane::MainWindow window(*platform);
    window.SetKeeping(history.get(), QString::fromStdString(veltrane::BackupFolderFor(
                                          setup.enabled, setup.options.eeprom_file)));
    window.Firmware().SetSigning(std::move(image_signing));
    window.exec();  // any way of closing it ends the program
  }
  return 0;
}
