// The DACs of the wine test (scripts/wine-hid-vm-test): uhid devices of one
// product, each with its own serial number and revision, served by the
// simulated DAC's device model inside the test's virtual machine.
//
// Wine's HID stack never sends a get-input-report to the device:
// HidD_GetInputReport returns the last interrupt IN report wine saw. So every
// read's answer is also pushed as an interrupt IN report (a real DAC answers
// only get-input-report; Windows sends it). The answer then races the
// program's next call; the server runs at SCHED_FIFO so that it answers before
// the program, at nice 19 on the guest's one CPU, reads.
//
// Usage: wine_dac_server SERIAL:REVISION:INTERFACE...
//   REVISION in hex (0102); INTERFACE, the vendor interface's number on its
//   USB device, goes into the physical path (usb-veltrane-test-N/inputINTERFACE).
// Commands, one a line on stdin (a FIFO the test writes to):
//   lose N        the next answer of DAC N (counting from 1) is lost
//   dump N FILE   DAC N's EEPROM, 65536 bytes, into FILE (written whole, then renamed)
//   quit
#include <dirent.h>
#include <sched.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "tests/linux/report_descriptors.h"
#include "tests/linux/uhid_test_device.h"

namespace {

using veltrane::testing::HidrawNodeCount;
using veltrane::testing::UhidTestDevice;

bool Dump(UhidTestDevice& dac, const std::string& file) {
  const std::vector<std::uint8_t> eeprom = dac.EepromCopy();
  const std::string part = file + ".part";
  std::FILE* out = std::fopen(part.c_str(), "wb");
  if (out == nullptr) return false;
  const bool written = std::fwrite(eeprom.data(), 1, eeprom.size(), out) == eeprom.size();
  if (std::fclose(out) != 0 || !written) return false;
  return std::rename(part.c_str(), file.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: wine_dac_server SERIAL:REVISION:INTERFACE...\n");
    return 2;
  }
  sched_param priority{};
  priority.sched_priority = 10;
  if (sched_setscheduler(0, SCHED_FIFO, &priority) != 0) {
    std::printf("dac-server: SCHED_FIFO refused (%s); answers may come late\n", std::strerror(errno));
  }
  std::vector<std::unique_ptr<UhidTestDevice>> dacs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t colon = arg.find(':');
    const std::size_t second = colon == std::string::npos ? colon : arg.find(':', colon + 1);
    if (second == std::string::npos) {
      std::fprintf(stderr, "dac-server: %s is not SERIAL:REVISION:INTERFACE\n", argv[i]);
      return 2;
    }
    auto dac = std::make_unique<UhidTestDevice>();
    const std::string serial = arg.substr(0, colon);
    const auto revision =
        static_cast<std::uint16_t>(std::strtoul(arg.c_str() + colon + 1, nullptr, 16));
    const std::string phys =
        "usb-veltrane-test-" + std::to_string(i) + "/input" + arg.substr(second + 1);
    dac->SetIdentity(serial, revision, phys);
    dac->PushAnswers(true);
    std::string error;
    if (!dac->Create("Veltrane test DAC", 0x3917, 4, veltrane::testing::kDacDescriptor, 65,
                     &error)) {
      std::printf("dac-server: %s\n", error.c_str());
      return 1;
    }
    std::printf("dac-server: DAC %d serial %s revision 0x%04x at %s\n", i, serial.c_str(), revision,
                phys.c_str());
    dacs.push_back(std::move(dac));
  }
  // The kernel adds uhid devices from a worker: ready once their nodes exist.
  for (int i = 0; i < 200 && HidrawNodeCount() < static_cast<int>(dacs.size()); ++i) {
    timespec pause{0, 50 * 1000 * 1000};
    nanosleep(&pause, nullptr);
  }
  std::printf("dac-server: ready, %d hidraw nodes\n", HidrawNodeCount());
  std::fflush(stdout);

  std::string line;
  while (std::getline(std::cin, line)) {
    std::istringstream words(line);
    std::string command;
    std::size_t n = 0;
    words >> command >> n;
    if (command == "quit") break;
    if (n < 1 || n > dacs.size()) {
      std::printf("dac-server: bad command: %s\n", line.c_str());
    } else if (command == "lose") {
      dacs[n - 1]->LoseNextAnswer();
      std::printf("dac-server: the next answer of DAC %zu is lost\n", n);
    } else if (std::string file; command == "dump" && (words >> file)) {
      std::printf("dac-server: dump of DAC %zu %s\n", n, Dump(*dacs[n - 1], file) ? "written" : "FAILED");
    } else {
      std::printf("dac-server: bad command: %s\n", line.c_str());
    }
    std::fflush(stdout);
  }
  for (const auto& dac : dacs) {
    std::printf("dac-server: %d output reports, %d get-input-reports, %d badly framed\n",
                dac->OutputReports(), dac->InputReports(), dac->BadlyFramedReports());
  }
  return 0;
}
