#include "sim/simulated_dac.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "device/platform/file_names.h"
#include "device/platform/per_thread.h"
#include "device/platform/precise_sleep.h"

namespace veltrane::sim {
namespace {

constexpr std::uint16_t kDacVendor = 0x3917;
constexpr std::uint16_t kForeignVendor = 0x046D;
constexpr std::uint16_t kForeignProduct = 0xC52B;
constexpr std::uint16_t kForeignRevision = 0x1200;
constexpr std::uint16_t kFeedbackBlock = 0x1712;
// Factory feedback settings: 32/48/96 kHz 0.125, 44.1 kHz 0.25, 88.2 kHz 0.50.
constexpr std::uint8_t kFactoryFeedback[4] = {0x00, 0x0F, 0x1F, 0x3F};

std::string HexBytes(const std::uint8_t* bytes, std::size_t length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 3);
  for (std::size_t i = 0; i < length; ++i) {
    if (i != 0) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

// Why this thread's last failing call failed, as errno and GetLastError are
// kept: a bench drives one DAC per thread, and a call on another thread must
// not overwrite the error a link is about to read.
struct ThreadError {
  HidError error = HidError::kNone;
  std::string text;
};
ThreadError& ThisThreadsError() { return PerThread<ThreadError>(); }

}  // namespace

SimulatedDac::SimulatedDac(SimOptions options) : options_(std::move(options)) {
  BuildInterfaces();
  LoadEeprom();
}

SimulatedDac::~SimulatedDac() { SaveEeprom(); }

std::vector<std::uint8_t> SimulatedDac::FactoryImage(std::uint16_t product_id,
                                                     std::uint16_t version, std::size_t length) {
  if (length < 18) length = 18;
  std::vector<std::uint8_t> image(length);
  image[1] = 0x00;
  image[2] = 0x12;
  image[3] = 0x34;
  image[4] = static_cast<std::uint8_t>(kDacVendor & 0xFF);
  image[5] = static_cast<std::uint8_t>(kDacVendor >> 8);
  image[6] = static_cast<std::uint8_t>(product_id & 0xFF);
  image[7] = static_cast<std::uint8_t>(product_id >> 8);
  image[8] = static_cast<std::uint8_t>(version & 0xFF);
  image[9] = static_cast<std::uint8_t>(version >> 8);
  const auto image_length = static_cast<std::uint16_t>(length > 0xFFFF ? 0xFFFF : length);
  image[16] = static_cast<std::uint8_t>(image_length >> 8);
  image[17] = static_cast<std::uint8_t>(image_length & 0xFF);
  for (std::size_t i = 18; i < length; ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  std::uint8_t sum = 0;
  for (int i = 1; i < 18; ++i) sum = static_cast<std::uint8_t>(sum + image[i]);
  image[0] = sum;
  return image;
}

void SimulatedDac::BuildInterfaces() {
  interfaces_.clear();
  if (options_.foreign_device_first) {
    interfaces_.push_back({"sim:/foreign0/if0", kForeignVendor, kForeignProduct,
                           HidCaps{0xFF00, 0x0001, 65, 65}, -1, true});
  }
  const int dac_count = options_.second_dac ? 2 : 1;
  for (int dac = 0; dac < dac_count; ++dac) {
    const std::uint16_t product = dac == 0 ? options_.product_id : options_.second_product_id;
    const std::string base = "sim:/dac" + std::to_string(options_.index + dac);
    if (options_.standard_interface_first) {
      interfaces_.push_back({base + "/if0", kDacVendor, product, HidCaps{0x000C, 0x0001, 3, 0},
                             dac, false});
    }
    std::string path = base + "/if1";
    if (dac == 0 && options_.path_length > path.size()) {
      path += '/';
      path.resize(options_.path_length, 'x');
    }
    interfaces_.push_back({path, kDacVendor, product,
                           HidCaps{0xFF00, 0x0001, options_.input_report_length,
                                   options_.output_report_length},
                           dac, true});
  }
}

std::string SimulatedDac::SerialNumber(int index) {
  char serial[16];
  std::snprintf(serial, sizeof serial, "SIM%04d", (index + 1) % 10000);
  return serial;
}

std::string SimulatedDac::VendorInterfacePath(int dac) const {
  for (const Interface& iface : interfaces_) {
    if (iface.dac == dac && iface.vendor_defined) return iface.path;
  }
  return {};
}

void SimulatedDac::LoadEeprom() {
  std::vector<std::uint8_t>& eeprom = model_.Eeprom();
  eeprom.assign(kEepromSize, 0xFF);
  const bool from_file = !options_.eeprom_file.empty() &&
                         store_.Open(options_.eeprom_file, kEepromSize, &file_error_) &&
                         store_.HasContents();
  if (from_file) {
    // The file's bytes start the EEPROM; the rest stays erased.
    std::copy(store_.Stored().begin(), store_.Stored().end(), eeprom.begin());
  } else if (options_.factory_image) {
    if (!DacModel::IsBulkProduct(options_.product_id)) {
      const auto image = FactoryImage(options_.product_id, options_.revision);
      std::copy(image.begin(), image.end(), eeprom.begin());
    }
    std::copy(std::begin(kFactoryFeedback), std::end(kFactoryFeedback),
              eeprom.begin() + kFeedbackBlock);
  }
  std::string ignored;  // a write FILE refuses is tried again at SaveEeprom
  store_.Begin(eeprom, &ignored);
}

bool SimulatedDac::SaveEeprom(std::string* error) {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::string reason;
  if (store_.Keep(model_.Eeprom(), 0, kEepromSize, &reason)) return true;
  if (error) *error = reason;
  return false;
}

bool SimulatedDac::SetTraceFile(const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  // Binary: one LF a line on every system, so traces compare byte for byte.
  trace_file_.open(PathOf(path), std::ios::trunc | std::ios::binary);
  return static_cast<bool>(trace_file_);
}

void SimulatedDac::Record(const std::string& line) {
  if (options_.keep_trace) trace_.push_back(line);
  if (trace_file_.is_open()) trace_file_ << line << '\n' << std::flush;
}

bool SimulatedDac::Tracing() const { return options_.keep_trace || trace_file_.is_open(); }

void SimulatedDac::RecordReport(const char* kind, const std::uint8_t* report, std::size_t length) {
  if (Tracing()) Record(std::string(kind) + " " + HexBytes(report, length));
}

void SimulatedDac::Unplug() {
  const std::lock_guard<std::mutex> lock(mutex_);
  unplugged_ = true;
  ++plug_changes_;
}

void SimulatedDac::Replug() {
  const std::lock_guard<std::mutex> lock(mutex_);
  unplugged_ = false;
  reports_ = 0;
  options_.unplug_after = 0;
  ++plug_changes_;
}

namespace {

// The simulated DAC knows when it comes and goes: a change is seen at the
// first look after it, with no clock involved; only a caller that asks to
// wait (a bench's loop) is kept waiting.
class PlugWatcher : public ArrivalWatcher {
 public:
  explicit PlugWatcher(const SimulatedDac& dac) : dac_(dac), seen_(dac.PlugChanges()) {}

  bool WaitForChange(unsigned timeout_ms) override {
    if (Changed()) return true;
    if (timeout_ms == 0) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(timeout_ms));
    return Changed();
  }

 private:
  bool Changed() {
    const std::uint64_t now = dac_.PlugChanges();
    if (now == seen_) return false;
    seen_ = now;
    return true;
  }

  const SimulatedDac& dac_;
  std::uint64_t seen_;
};

}  // namespace

std::unique_ptr<ArrivalWatcher> SimulatedDac::CreateArrivalWatcher() {
  return std::make_unique<PlugWatcher>(*this);
}

HidError SimulatedDac::LastError() const { return ThisThreadsError().error; }

std::string SimulatedDac::LastErrorText() const { return ThisThreadsError().text; }

bool SimulatedDac::Fail(HidError error, const std::string& text) {
  ThisThreadsError().error = error;
  ThisThreadsError().text = text;
  return false;
}

std::vector<HidInterface> SimulatedDac::EnumerateInterfaces() {
  const std::lock_guard<std::mutex> lock(mutex_);
  std::vector<HidInterface> list;
  for (const Interface& iface : interfaces_) {
    if (DeviceGone(iface)) continue;
    HidInterface entry;
    entry.path = iface.path;
    if (iface.dac >= 0) {
      entry.serial_number = SerialNumber(options_.index + iface.dac);
      entry.location = "sim-" + std::to_string(options_.index + iface.dac + 1);
    }
    // Each interface carries its own device's hardware ID: this DAC's product and revision.
    char id[64];
    std::snprintf(id, sizeof id, "USB\\VID_%04X&PID_%04X&REV_%04X", iface.vendor_id, iface.product_id,
                  iface.dac >= 0 ? options_.revision : kForeignRevision);
    entry.hardware_id = id;
    // The DAC's vendor-defined interface takes interrupt writes (bulk blocks).
    entry.interrupt_out = iface.vendor_defined;
    entry.interrupt_out_known = true;
    list.push_back(std::move(entry));
  }
  return list;
}

HidHandle SimulatedDac::Open(const std::string& path, HidAccess access) {
  const std::lock_guard<std::mutex> lock(mutex_);
  for (std::size_t i = 0; i < interfaces_.size(); ++i) {
    const Interface& iface = interfaces_[i];
    if (iface.path != path) continue;
    if (DeviceGone(iface)) {
      Fail(HidError::kNotFound, "No such device");
      return kInvalidHandle;
    }
    if (iface.vendor_defined && iface.dac >= 0 && access != HidAccess::kNone) {
      const bool refused = options_.access_denied ||
                           (access == HidAccess::kWrite && options_.open_limit == OpenLimit::kReadOnly) ||
                           (access == HidAccess::kRead && options_.open_limit == OpenLimit::kWriteOnly);
      if (refused) {
        Fail(HidError::kAccessDenied, "Permission denied");
        return kInvalidHandle;
      }
    }
    const HidHandle handle = next_handle_++;
    handles_[handle] = OpenHandle{static_cast<int>(i), access};
    ThisThreadsError() = ThreadError{};
    return handle;
  }
  Fail(HidError::kNotFound, "No such device");
  return kInvalidHandle;
}

void SimulatedDac::Close(HidHandle handle) {
  const std::lock_guard<std::mutex> lock(mutex_);
  handles_.erase(handle);
}

const SimulatedDac::Interface* SimulatedDac::Lookup(HidHandle handle) const {
  const auto it = handles_.find(handle);
  if (it == handles_.end()) return nullptr;
  return &interfaces_[static_cast<std::size_t>(it->second.interface)];
}

bool SimulatedDac::GetAttributes(HidHandle handle, HidAttributes* attributes) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Interface* iface = Lookup(handle);
  if (iface == nullptr) return Fail(HidError::kOther, "Invalid handle");
  if (DeviceGone(*iface)) return Fail(HidError::kNotFound, "No such device");
  attributes->vendor_id = iface->vendor_id;
  attributes->product_id = iface->product_id;
  attributes->version = iface->dac >= 0 ? options_.revision : kForeignRevision;
  return true;
}

bool SimulatedDac::GetCaps(HidHandle handle, HidCaps* caps) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Interface* iface = Lookup(handle);
  if (iface == nullptr) return Fail(HidError::kOther, "Invalid handle");
  if (DeviceGone(*iface)) return Fail(HidError::kNotFound, "No such device");
  *caps = iface->caps;
  return true;
}

void SimulatedDac::CountReport() {
  ++reports_;
  if (options_.unplug_after > 0 && reports_ == options_.unplug_after) {
    unplugged_ = true;
    ++plug_changes_;
  }
}

bool SimulatedDac::SetOutputReport(HidHandle handle, const std::uint8_t* report,
                                   std::size_t length) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Interface* iface = Lookup(handle);
  const bool fault = iface != nullptr && ++output_reports_ == options_.fail_output_report;
  if (iface == nullptr || DeviceGone(*iface) || fault || length == 0) {
    RecordReport("out-failed", report, length);
    return Fail(iface != nullptr && DeviceGone(*iface) ? HidError::kNotFound : HidError::kOther,
                "set-output-report failed");
  }
  // Taken (and kept in FILE) before it is traced: a run killed in between
  // leaves a FILE that holds every packet its trace shows.
  HandleOutput(*iface, report + 1, length - 1);
  RecordReport("out", report, length);
  CountReport();
  return true;
}

bool SimulatedDac::WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Interface* iface = Lookup(handle);
  const bool fault = iface != nullptr && ++writes_ == options_.fail_write;
  if (iface == nullptr || DeviceGone(*iface) || fault || length == 0) {
    RecordReport("write-failed", report, length);
    return Fail(iface != nullptr && DeviceGone(*iface) ? HidError::kNotFound : HidError::kOther,
                "interrupt write failed");
  }
  // A dropped interrupt write is acknowledged like any other and never arrives.
  if (++delivered_writes_ != options_.drop_eeprom_write) HandleOutput(*iface, report + 1, length - 1);
  RecordReport("write", report, length);
  CountReport();
  return true;
}

bool SimulatedDac::GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) {
  const std::lock_guard<std::mutex> lock(mutex_);
  const Interface* iface = Lookup(handle);
  const bool fault = iface != nullptr && ++input_reports_ == options_.fail_input_report;
  if (iface == nullptr || DeviceGone(*iface) || fault || length == 0) {
    Record("in-failed");
    return Fail(iface != nullptr && DeviceGone(*iface) ? HidError::kNotFound : HidError::kOther,
                "get-input-report failed");
  }
  model_.TakeInputReport(report, length);
  if (input_reports_ == options_.stale_input_report) {
    // This request's answer is lost; the report before it comes again.
    // Before any answer at all, the queue holds nothing: an empty report.
    std::memset(report, 0, length);
    if (!last_input_.empty()) {
      std::memcpy(report, last_input_.data(), std::min(length, last_input_.size()));
    }
  }
  last_input_.assign(report, report + length);
  RecordReport("in", report, length);
  CountReport();
  return true;
}

void SimulatedDac::HandleOutput(const Interface& iface, const std::uint8_t* payload,
                                std::size_t length) {
  if (!iface.vendor_defined || iface.dac < 0) return;
  model_.SetDropEepromWrite(options_.drop_eeprom_write);
  model_.HandleOutput(payload, length, iface.product_id, iface.caps.input_report_byte_length);
  // The bytes a packet stored are in FILE before the packet is acknowledged.
  const DacModel::EepromSpan& span = model_.LastEepromWrite();
  if (span.count == 0 || !store_.IsOpen()) return;
  const std::size_t end = span.address + span.count;
  std::string ignored;  // as above: SaveEeprom tries it again
  store_.Keep(model_.Eeprom(), span.address, std::min(end, kEepromSize), &ignored);
  if (end > kEepromSize) store_.Keep(model_.Eeprom(), 0, end - kEepromSize, &ignored);
}

void SimulatedDac::Sleep(unsigned milliseconds) {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (Tracing()) Record("sleep " + std::to_string(milliseconds));
    virtual_ms_ += milliseconds;
  }
  // The pause itself holds no lock: other threads keep using the DAC meanwhile.
  if (!options_.virtual_time) PreciseSleep(milliseconds);
}

void SimulatedDac::NoteProgress(std::uint16_t per_mille) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (Tracing()) Record("progress " + std::to_string(per_mille));
}

}  // namespace veltrane::sim
