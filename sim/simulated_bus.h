// Several simulated DACs on one bus: each keeps its own EEPROM (file), serial
// number, location, fault counters and trace; the bus lists their interfaces
// one DAC after the other and passes each call to the DAC whose handle it is.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "device/platform/hid_platform.h"
#include "sim/simulated_dac.h"

namespace veltrane::sim {

struct SimSetup;

class SimulatedBus : public HidPlatform {
 public:
  explicit SimulatedBus(std::vector<std::unique_ptr<SimulatedDac>> dacs);

  std::vector<HidInterface> EnumerateInterfaces() override;
  HidHandle Open(const std::string& path, HidAccess access) override;
  void Close(HidHandle handle) override;
  bool GetAttributes(HidHandle handle, HidAttributes* attributes) override;
  bool GetCaps(HidHandle handle, HidCaps* caps) override;
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override;
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override;
  std::vector<std::string> HardwareIds() override;
  void Sleep(unsigned milliseconds) override;
  HidError LastError() const override;
  std::string LastErrorText() const override;
  void NoteProgress(std::uint16_t per_mille) override;

  int Count() const { return static_cast<int>(dacs_.size()); }
  SimulatedDac& Dac(int index) { return *dacs_[static_cast<std::size_t>(index)]; }

 private:
  // A bus handle carries the DAC's own handle and the DAC's index.
  static constexpr int kIndexBits = 6;
  SimulatedDac* Owner(HidHandle handle, HidHandle* inner);

  std::vector<std::unique_ptr<SimulatedDac>> dacs_;
  SimulatedDac* active_;  // the DAC of the last call, for pauses and errors
  bool bad_handle_ = false;
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
