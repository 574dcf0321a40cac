#include "sim/simulated_bus.h"

#include <algorithm>

#include "sim/sim_args.h"

namespace veltrane::sim {

SimulatedBus::SimulatedBus(std::vector<std::unique_ptr<SimulatedDac>> dacs)
    : dacs_(std::move(dacs)), active_(dacs_.front().get()) {}

SimulatedDac* SimulatedBus::Owner(HidHandle handle, HidHandle* inner) {
  bad_handle_ = false;
  const HidHandle index = IsOpenHandle(handle) ? handle & ((1 << kIndexBits) - 1) : -1;
  if (index < 0 || index >= static_cast<HidHandle>(dacs_.size())) {
    bad_handle_ = true;
    return nullptr;
  }
  *inner = handle >> kIndexBits;
  active_ = dacs_[static_cast<std::size_t>(index)].get();
  return active_;
}

std::vector<HidInterface> SimulatedBus::EnumerateInterfaces() {
  std::vector<HidInterface> all;
  for (const auto& dac : dacs_) {
    for (HidInterface& iface : dac->EnumerateInterfaces()) all.push_back(std::move(iface));
  }
  return all;
}

HidHandle SimulatedBus::Open(const std::string& path, HidAccess access) {
  for (std::size_t i = 0; i < dacs_.size(); ++i) {
    const auto listed = dacs_[i]->EnumerateInterfaces();
    const bool here = std::any_of(listed.begin(), listed.end(),
                                  [&](const HidInterface& iface) { return iface.path == path; });
    if (!here) continue;
    active_ = dacs_[i].get();
    const HidHandle handle = active_->Open(path, access);
    if (!IsOpenHandle(handle)) return handle;
    return (handle << kIndexBits) | static_cast<HidHandle>(i);
  }
  // Unknown to every DAC: the first one says so in its own words.
  active_ = dacs_.front().get();
  return active_->Open(path, access);
}

void SimulatedBus::Close(HidHandle handle) {
  HidHandle inner = 0;
  if (SimulatedDac* dac = Owner(handle, &inner)) dac->Close(inner);
}

bool SimulatedBus::GetAttributes(HidHandle handle, HidAttributes* attributes) {
  HidHandle inner = 0;
  SimulatedDac* dac = Owner(handle, &inner);
  return dac != nullptr && dac->GetAttributes(inner, attributes);
}

bool SimulatedBus::GetCaps(HidHandle handle, HidCaps* caps) {
  HidHandle inner = 0;
  SimulatedDac* dac = Owner(handle, &inner);
  return dac != nullptr && dac->GetCaps(inner, caps);
}

bool SimulatedBus::SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) {
  HidHandle inner = 0;
  SimulatedDac* dac = Owner(handle, &inner);
  return dac != nullptr && dac->SetOutputReport(inner, report, length);
}

bool SimulatedBus::GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) {
  HidHandle inner = 0;
  SimulatedDac* dac = Owner(handle, &inner);
  return dac != nullptr && dac->GetInputReport(inner, report, length);
}

bool SimulatedBus::WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) {
  HidHandle inner = 0;
  SimulatedDac* dac = Owner(handle, &inner);
  return dac != nullptr && dac->WriteReport(inner, report, length);
}

std::vector<std::string> SimulatedBus::HardwareIds() {
  std::vector<std::string> ids;
  for (const auto& dac : dacs_) {
    for (std::string& id : dac->HardwareIds()) {
      if (std::find(ids.begin(), ids.end(), id) == ids.end()) ids.push_back(std::move(id));
    }
  }
  return ids;
}

void SimulatedBus::Sleep(unsigned milliseconds) { active_->Sleep(milliseconds); }

HidError SimulatedBus::LastError() const {
  return bad_handle_ ? HidError::kOther : active_->LastError();
}

std::string SimulatedBus::LastErrorText() const {
  return bad_handle_ ? "Invalid handle" : active_->LastErrorText();
}

void SimulatedBus::NoteProgress(std::uint16_t per_mille) { active_->NoteProgress(per_mille); }

std::string NumberedFile(const std::string& file, int index) {
  if (file.empty() || index == 0) return file;
  return file + "." + std::to_string(index + 1);
}

std::unique_ptr<HidPlatform> CreateSimPlatform(const SimSetup& setup, std::string* error,
                                               bool* file_unusable) {
  *file_unusable = false;
  std::vector<std::unique_ptr<SimulatedDac>> dacs;
  for (int i = 0; i < std::max(1, setup.count); ++i) {
    SimSetup one = setup;
    one.options.index = i;
    one.options.eeprom_file = NumberedFile(setup.options.eeprom_file, i);
    auto dac = CreateSimulatedDac(one, error);
    if (!dac) {
      *file_unusable = true;
      return nullptr;
    }
    const std::string trace = NumberedFile(setup.trace_file, i);
    if (!trace.empty() && !dac->SetTraceFile(trace)) {
      *error = "Cannot open the trace file " + trace + ". Check the path and try again.";
      return nullptr;
    }
    dacs.push_back(std::move(dac));
  }
  if (dacs.size() == 1) return std::move(dacs.front());
  return std::make_unique<SimulatedBus>(std::move(dacs));
}

}  // namespace veltrane::sim
