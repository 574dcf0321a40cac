// Several simulated DACs on one bus: each keeps its own EEPROM (file), serial
// number, location, fault counters and trace; the bus lists their interfaces
// one DAC after the other and passes each call to the DAC whose handle it is.
// It serves one link per DAC from several threads, and plugs in more DACs
// at scheduled times (a bench's arrivals).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"
#include "sim/simulated_dac.h"

namespace veltrane::sim {

struct SimSetup;

class SimulatedBus : public HidPlatform {
 public:
  // Makes the DAC at `index` when it arrives; null when it cannot be had.
  using DacFactory = std::function<std::unique_ptr<SimulatedDac>(int index)>;

  explicit SimulatedBus(std::vector<std::unique_ptr<SimulatedDac>> dacs);
  ~SimulatedBus() override;

  std::vector<HidInterface> EnumerateInterfaces() override;
  HidHandle Open(const std::string& path, HidAccess access) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes* attributes) override;
  bool GetCaps(HidHandle handle, HidCaps* caps) override;
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  void Sleep(unsigned milliseconds) override;
  HidError LastError() const override;
  std::string LastErrorText() const override;
  void NoteProgress(std::uint16_t per_mille) override;
  std::string TransportName() const override { return "simulated"; }
  // Plugs the scheduled DACs in as their times come (on virtual time, also
  // whenever the bus stands idle); polls for anything else.
  std::unique_ptr<ArrivalWatcher> CreateArrivalWatcher() override;

  int Count() const;
  SimulatedDac& Dac(int index);

  // Another DAC, made by `factory`, appears at each of `times_ms` after the
  // bus was made (in order).
  void ScheduleArrivals(std::vector<std::uint32_t> times_ms, DacFactory factory);
  // When the next scheduled DAC is due; false when none is left.
  bool NextArrival(std::uint64_t* due_ms) const;
  // Plugs the next scheduled DAC in now; false when none is left or it could not be made.
  bool PlugNextArrival();
  // Time since the bus was made: on virtual time, the furthest any DAC's
  // pauses have gone.
  std::uint64_t ElapsedMs() const;
  bool VirtualTime() const;

 private:
  // A bus handle carries the DAC's own handle and the DAC's index.
  static constexpr int kIndexBits = 6;
  static constexpr int kMaxDacs = 1 << kIndexBits;
  SimulatedDac* Owner(HidHandle handle, HidHandle* inner);
  // The DAC this thread used last, for pauses, progress and errors.
  SimulatedDac* Active() const;
  void SetActive(SimulatedDac* dac, bool bad_handle) const;
  std::vector<SimulatedDac*> Snapshot() const;

  const std::uint64_t id_;  // tells this bus's per-thread state from another's
  const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  mutable std::mutex mutex_;  // guards the list of DACs and the schedule
  std::vector<std::unique_ptr<SimulatedDac>> dacs_;
  std::vector<std::uint32_t> arrivals_ms_;
  std::size_t next_arrival_ = 0;
  DacFactory factory_;
};

// The simulated bus `setup` asks for: one DAC as it always was, or
// `setup.count` of them with the EEPROM files FILE, FILE.2, … and trace files
// TRACE, TRACE.2, …. Null, with `error` set, when an EEPROM file cannot be
// used (`file_unusable`: the program ends with status 1 before anything
// reaches a device) or a trace file cannot be opened.
std::unique_ptr<HidPlatform> CreateSimPlatform(const SimSetup& setup, std::string* error,
                                               bool* file_unusable);

// FILE for the first DAC, FILE.2 for the second, and so on.
std::string NumberedFile(const std::string& file, int index);

}  // namespace veltrane::sim
