// The simulation options shared by veltrane and veltrane-cli, parsed by one
// piece of code:
//
//   --simulate[=FILE]   use the simulated DAC (its EEPROM kept in FILE)
//   --sim-product N     product ID of the simulated DAC (default 4)
//   --sim-revision HEX  its revision (default 0102); HEX,HEX,… one a DAC
//   --sim-fault KIND:K  out, in, write, unplug, drop or stale: fail the K-th one
//   --virtual-time      record the pauses instead of sleeping
//   --trace FILE        write the simulated DAC's trace to FILE
//   --sim-count N       N DACs on the simulated bus (serials SIM0001, …)
//   --sim-arrivals T1,… another DAC plugged in T1, … seconds after start
//
// and, beside them, the transport to a real DAC that both programs take:
//
//   --transport usb|hidraw   (Linux; Windows takes and ignores it)
#pragma once

#include <memory>
#include <cstdint>
#include <string>
#include <vector>

#include "sim/simulated_dac.h"

namespace veltrane::sim {

struct SimSetup {
  bool enabled = false;
  SimOptions options;
  std::string trace_file;
  int count = 1;  // DACs on the simulated bus
  // Milliseconds after start at which another DAC is plugged in, in order.
  std::vector<std::uint32_t> arrivals_ms;
  // --sim-revision R1,R2,…: the N-th DAC's revision; the last one for every
  // DAC after it. Empty: options.revision for all.
  std::vector<std::uint16_t> revisions;
  HidTransport transport = HidTransport::kDefault;  // for the system's platform
};

// The most DACs --sim-arrivals plugs in later.
inline constexpr int kMaxSimArrivals = 32;

// The most DACs --sim-count puts on the bus.
inline constexpr int kMaxSimCount = 32;

// Takes the simulation options out of `args` (without the program name) and
// leaves every other argument in order. False, with `error` set, when an
// option is malformed. The simulator runs in real time unless --virtual-time.
bool ExtractSimArgs(std::vector<std::string>* args, SimSetup* setup, std::string* error);

// The simulated DAC `setup` asks for. Null, with `error` set, when its
// EEPROM file cannot be used (not a regular file, too long, in a missing or
// unwritable folder, or in use by another process): the program then ends
// with status 1 before anything reaches the device.
std::unique_ptr<SimulatedDac> CreateSimulatedDac(const SimSetup& setup, std::string* error);

// The option lines for --help.
const char* SimArgsHelp();
const char* TransportArgHelp();

}  // namespace veltrane::sim
