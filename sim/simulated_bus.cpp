#include "sim/simulated_bus.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <thread>

#include "sim/sim_args.h"
#include "sim/sim_texts.h"

namespace veltrane::sim {

namespace {

std::atomic<std::uint64_t> g_next_bus_id{1};

// Per thread: which bus and DAC it called last, and whether the handle was bad.
struct ThreadActive {
  std::uint64_t bus = 0;
  SimulatedDac* dac = nullptr;
  bool bad_handle = false;
};
thread_local ThreadActive t_active;

// Plugs scheduled DACs in as their time comes. On virtual time nothing
// sleeps, so a bus whose clock has not moved since the last look is idle,
// and its next DAC arrives at once.
class ScheduledArrivals : public ArrivalWatcher {
 public:
  explicit ScheduledArrivals(SimulatedBus& bus) : bus_(bus), polling_(CreatePollingWatcher(bus)) {}

  bool WaitForChange(unsigned timeout_ms) override {
    std::uint64_t due = 0;
    if (!bus_.NextArrival(&due)) return polling_->WaitForChange(timeout_ms);
    if (bus_.VirtualTime()) {
      const std::uint64_t now = bus_.ElapsedMs();
      if (now >= due || now == last_seen_) return Plug();
      last_seen_ = now;
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min(timeout_ms, 10u)));
      return bus_.ElapsedMs() >= due ? Plug() : false;
    }
    const std::uint64_t now = bus_.ElapsedMs();
    if (now < due) {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::min<std::uint64_t>(timeout_ms, due - now)));
    }
    return bus_.ElapsedMs() >= due ? Plug() : false;
  }

 private:
  bool Plug() {
    last_seen_ = bus_.ElapsedMs();
    return bus_.PlugNextArrival();
  }

  SimulatedBus& bus_;
  std::unique_ptr<ArrivalWatcher> polling_;
  std::uint64_t last_seen_ = ~std::uint64_t{0};
};

}  // namespace

SimulatedBus::SimulatedBus(std::vector<std::unique_ptr<SimulatedDac>> dacs)
    : id_(g_next_bus_id.fetch_add(1)), dacs_(std::move(dacs)) {}

SimulatedBus::~SimulatedBus() = default;

int SimulatedBus::Count() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(dacs_.size());
}

SimulatedDac& SimulatedBus::Dac(int index) {
  const std::lock_guard<std::mutex> lock(mutex_);
  return *dacs_[static_cast<std::size_t>(index)];
}

std::vector<SimulatedDac*> SimulatedBus::Snapshot() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<SimulatedDac*> dacs;
  for (const auto& dac : dacs_) dacs.push_back(dac.get());
  return dacs;
}

SimulatedDac* SimulatedBus::Active() const {
  if (t_active.bus == id_ && t_active.dac != nullptr) return t_active.dac;
  // DACs are never taken off a bus, so the first one stays valid.
  const std::lock_guard<std::mutex> lock(mutex_);
  return dacs_.front().get();
}

void SimulatedBus::SetActive(SimulatedDac* dac, bool bad_handle) const {
  t_active.bus = id_;
  if (dac != nullptr) t_active.dac = dac;
  t_active.bad_handle = bad_handle;
}

SimulatedDac* SimulatedBus::Owner(HidHandle handle, HidHandle* inner) {
  const HidHandle index = IsOpenHandle(handle) ? handle & ((1 << kIndexBits) - 1) : -1;
  SimulatedDac* dac = nullptr;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (index >= 0 && index < static_cast<HidHandle>(dacs_.size())) {
      dac = dacs_[static_cast<std::size_t>(index)].get();
    }
  }
  SetActive(dac, dac == nullptr);
  if (dac != nullptr) *inner = handle >> kIndexBits;
  return dac;
}

void SimulatedBus::ScheduleArrivals(std::vector<std::uint32_t> times_ms, DacFactory factory) {
  const std::lock_guard<std::mutex> lock(mutex_);
  arrivals_ms_ = std::move(times_ms);
  std::sort(arrivals_ms_.begin(), arrivals_ms_.end());
  next_arrival_ = 0;
  factory_ = std::move(factory);
}

bool SimulatedBus::NextArrival(std::uint64_t* due_ms) const {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (next_arrival_ >= arrivals_ms_.size() || dacs_.size() >= static_cast<std::size_t>(kMaxDacs)) {
    return false;
  }
  *due_ms = arrivals_ms_[next_arrival_];
  return true;
}

bool SimulatedBus::PlugNextArrival() {
  DacFactory factory;
  int index = 0;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (next_arrival_ >= arrivals_ms_.size() || dacs_.size() >= static_cast<std::size_t>(kMaxDacs)) {
      return false;
    }
    ++next_arrival_;
    factory = factory_;
    index = static_cast<int>(dacs_.size());
  }
  std::unique_ptr<SimulatedDac> dac = factory ? factory(index) : nullptr;
  if (!dac) return false;
  const std::lock_guard<std::mutex> lock(mutex_);
  dacs_.push_back(std::move(dac));
  return true;
}

bool SimulatedBus::VirtualTime() const { return Active()->Options().virtual_time; }

std::uint64_t SimulatedBus::ElapsedMs() const {
  if (!VirtualTime()) {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                          std::chrono::steady_clock::now() - start_)
                                          .count());
  }
  std::uint64_t furthest = 0;
  for (SimulatedDac* dac : Snapshot()) furthest = std::max(furthest, dac->VirtualMilliseconds());
  return furthest;
}

std::unique_ptr<ArrivalWatcher> SimulatedBus::CreateArrivalWatcher() {
  return std::make_unique<ScheduledArrivals>(*this);
}

std::vector<HidInterface> SimulatedBus::EnumerateInterfaces() {
  std::vector<HidInterface> all;
  for (SimulatedDac* dac : Snapshot()) {
    for (HidInterface& iface : dac->EnumerateInterfaces()) all.push_back(std::move(iface));
  }
  return all;
}

HidHandle SimulatedBus::Open(const std::string& path, HidAccess access) {
  const std::vector<SimulatedDac*> dacs = Snapshot();
  for (std::size_t i = 0; i < dacs.size(); ++i) {
    const auto listed = dacs[i]->EnumerateInterfaces();
    const bool here = std::any_of(listed.begin(), listed.end(),
                                  [&](const HidInterface& iface) { return iface.path == path; });
    if (!here) continue;
    SetActive(dacs[i], false);
    const HidHandle handle = dacs[i]->Open(path, access);
    if (!IsOpenHandle(handle)) return handle;
    return (handle << kIndexBits) | static_cast<HidHandle>(i);
  }
  // Unknown to every DAC: the first one says so in its own words.
  SetActive(dacs.front(), false);
  return dacs.front()->Open(path, access);
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

void SimulatedBus::Sleep(unsigned milliseconds) { Active()->Sleep(milliseconds); }

HidError SimulatedBus::LastError() const {
  return t_active.bus == id_ && t_active.bad_handle ? HidError::kOther : Active()->LastError();
}

std::string SimulatedBus::LastErrorText() const {
  return t_active.bus == id_ && t_active.bad_handle ? "Invalid handle" : Active()->LastErrorText();
}

void SimulatedBus::NoteProgress(std::uint16_t per_mille) { Active()->NoteProgress(per_mille); }

std::string NumberedFile(const std::string& file, int index) {
  if (file.empty() || index == 0) return file;
  return file + "." + std::to_string(index + 1);
}

std::unique_ptr<HidPlatform> CreateSimPlatform(const SimSetup& setup, std::string* error,
                                               bool* file_unusable) {
  *file_unusable = false;
  // The DAC at `index`: its own EEPROM file and trace file.
  auto make = [setup](int index, std::string* why, bool* unusable) -> std::unique_ptr<SimulatedDac> {
    SimSetup one = setup;
    one.options.index = index;
    if (!setup.revisions.empty()) {
      one.options.revision = setup.revisions[std::min<std::size_t>(static_cast<std::size_t>(index),
                                                                   setup.revisions.size() - 1)];
    }
    one.options.eeprom_file = NumberedFile(setup.options.eeprom_file, index);
    one.options.keep_trace = false;
    auto dac = CreateSimulatedDac(one, why);
    if (!dac) {
      *unusable = true;
      return nullptr;
    }
    const std::string trace = NumberedFile(setup.trace_file, index);
    if (!trace.empty() && !dac->SetTraceFile(trace)) {
      char text[512];
      std::snprintf(text, sizeof text, texts::kTraceOpenFailed, trace.c_str());
      *why = text;
      return nullptr;
    }
    return dac;
  };
  std::vector<std::unique_ptr<SimulatedDac>> dacs;
  for (int i = 0; i < std::max(1, setup.count); ++i) {
    auto dac = make(i, error, file_unusable);
    if (!dac) return nullptr;
    dacs.push_back(std::move(dac));
  }
  if (dacs.size() == 1 && setup.arrivals_ms.empty()) return std::move(dacs.front());
  auto bus = std::make_unique<SimulatedBus>(std::move(dacs));
  // A DAC that cannot be had when its time comes (its file in use) does not arrive.
  bus->ScheduleArrivals(setup.arrivals_ms, [make](int index) {
    std::string why;
    bool unusable = false;
    return make(index, &why, &unusable);
  });
  return bus;
}

}  // namespace veltrane::sim
