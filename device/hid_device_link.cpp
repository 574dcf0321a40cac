#include "device/hid_device_link.h"

#include <cstring>

#include "device/device_texts.h"
#include "device/hardware_id_match.h"

namespace veltrane {

HidDeviceLink::HidDeviceLink(HidPlatform& platform) : platform_(platform) {}

HidDeviceLink::~HidDeviceLink() { Close(); }

int HidDeviceLink::FindDevice() {
  const std::vector<HidInterface> interfaces = platform_.EnumerateInterfaces();
  found_ = 0;
  access_denied_ = false;
  found_path_.clear();
  failure_ = LinkFailure{};
  for (const HidInterface& candidate : interfaces) {
    // With several DACs connected the user may name the one to use.
    if (!only_path_.empty() && candidate.path != only_path_) continue;
    found_ = ProbeInterface(candidate);
    if (found_ == 1) break;
  }
  if (found_ == 1) return Succeed();
  // An interface of ours that would not open says more than "not found".
  if (failure_.stage == LinkStage::kOpening) return 0;
  return Fail(Step{LinkStage::kDiscovery}, HidError::kNotFound, device_texts::kNoInterface);
}

int HidDeviceLink::ProbeInterface(const HidInterface& candidate) {
  found_ = 0;
  if (candidate.detail_available) {
    // Whatever an earlier discovery opened is closed before the candidate is looked at.
    Close();
    query_handle_ = platform_.Open(candidate.path, HidAccess::kNone);
    if (IsOpenHandle(query_handle_)) {
      attributes_ = HidAttributes{};
      if (platform_.GetAttributes(query_handle_, &attributes_)) {
        if (attributes_.vendor_id != vendor_id_) {
          // Another vendor's interface: its query handle is not kept.
          platform_.Close(query_handle_);
          query_handle_ = kNullHandle;
        } else {
          product_id_ = attributes_.product_id;
          // A path that does not fit the 256-character field is refused
          // rather than cut short.
          if (candidate.path.size() < kDevicePathSize) {
            device_path_ = candidate.path;
            if (ReadCapabilities() && capabilities_.usage_page == kVendorUsagePage) {
              OpenWriteHandle(candidate.path);
              OpenReadHandle(candidate.path);
              const bool both_invalid =
                  write_handle_ == kInvalidHandle && read_handle_ == kInvalidHandle;
              const bool both_null = write_handle_ == kNullHandle && read_handle_ == kNullHandle;
              found_ = (both_invalid || both_null) ? 0 : 1;
              if (found_ == 0) {
                FailFromPlatform(Step{LinkStage::kOpening});
                access_denied_ = failure_.error == HidError::kAccessDenied;
              }
            }
          }
        }
      }
    }
  }
  if (found_ == 0) Close();
  if (found_ == 1) found_path_ = candidate.path;
  return found_;
}

bool HidDeviceLink::ReadCapabilities() {
  HidCaps caps{};
  if (!platform_.GetCaps(query_handle_, &caps)) return false;
  // Reports longer than the link's buffers cannot be framed: refuse the
  // interface, and keep its lengths out of the link.
  if (caps.output_report_byte_length > kOutputReportBufferSize ||
      caps.input_report_byte_length > kInputReportBufferSize) {
    return false;
  }
  capabilities_ = caps;
  return true;
}

void HidDeviceLink::OpenWriteHandle(const std::string& path) {
  write_handle_ = platform_.Open(path, HidAccess::kWrite);
  if (!IsOpenHandle(write_handle_)) write_handle_ = kInvalidHandle;
}

void HidDeviceLink::OpenReadHandle(const std::string& path) {
  read_handle_ = platform_.Open(path, HidAccess::kRead);
  if (!IsOpenHandle(read_handle_)) read_handle_ = kInvalidHandle;
}

void HidDeviceLink::Close() {
  for (HidHandle* handle : {&query_handle_, &read_handle_, &write_handle_}) {
    if (IsOpenHandle(*handle)) {
      platform_.Close(*handle);
      *handle = kInvalidHandle;
    }
  }
  device_path_.clear();
  found_ = 0;
}

int HidDeviceLink::Fail(const Step& step, HidError error, std::string text) {
  failure_.stage = step.stage;
  failure_.error = error;
  failure_.system_text = std::move(text);
  failure_.index = step.index;
  failure_.count = step.count;
  failure_.address = step.address;
  failure_.bytes_done = step.bytes_done;
  failure_.packets_done = step.packets_done;
  return 0;
}

int HidDeviceLink::FailFromPlatform(const Step& step) {
  const HidError error = platform_.LastError();
  std::string text = platform_.LastErrorText();
  if (text.empty()) text = device_texts::kNoOpenHandle;
  return Fail(step, error == HidError::kNone ? HidError::kOther : error, std::move(text));
}

int HidDeviceLink::Succeed() {
  failure_ = LinkFailure{};
  return 1;
}

int HidDeviceLink::ReadReport(const Step& step, std::uint8_t* destination, std::uint16_t length) {
  if (read_handle_ == kInvalidHandle) {
    return Fail(step, HidError::kOther, device_texts::kNoOpenHandle);
  }
  if (length >= kInputReportBufferSize) {
    return Fail(step, HidError::kNone, device_texts::kBufferTooSmall);
  }
  input_report_[0] = 0;
  if (!platform_.GetInputReport(read_handle_, input_report_,
                                capabilities_.input_report_byte_length)) {
    FailFromPlatform(step);
    Close();
    return 0;
  }
  std::memcpy(destination, input_report_ + 1, length);
  return 1;
}

bool HidDeviceLink::FrameOutputReport(const Step& step, const std::uint8_t* source,
                                      std::uint16_t length) {
  const std::uint16_t report_length = capabilities_.output_report_byte_length;
  if (length >= report_length) {
    Fail(step, HidError::kNone, device_texts::kReportTooLong);
    return false;
  }
  std::memset(output_report_, 0, report_length);
  if (length > 0) std::memcpy(output_report_ + 1, source, length);
  if (write_handle_ == kInvalidHandle) {
    Fail(step, HidError::kOther, device_texts::kNoOpenHandle);
    return false;
  }
  return true;
}

int HidDeviceLink::SendReport(const Step& step, const std::uint8_t* source, std::uint16_t length) {
  if (!FrameOutputReport(step, source, length)) return 0;
  if (!platform_.SetOutputReport(write_handle_, output_report_,
                                 capabilities_.output_report_byte_length)) {
    FailFromPlatform(step);
    Close();
    return 0;
  }
  return 1;
}

int HidDeviceLink::WriteReport(const Step& step, const std::uint8_t* source,
                               std::uint16_t length) {
  if (!FrameOutputReport(step, source, length)) return 0;
  // A failed interrupt write leaves the link open.
  if (!platform_.WriteReport(write_handle_, output_report_,
                             capabilities_.output_report_byte_length)) {
    return FailFromPlatform(step);
  }
  return 1;
}

int HidDeviceLink::ReadInputReport(std::uint8_t* destination, std::uint16_t length) {
  return ReadReport(Step{LinkStage::kInputReport}, destination, length) == 1 ? Succeed() : 0;
}

int HidDeviceLink::SendOutputReport(const std::uint8_t* source, std::uint16_t length) {
  return SendReport(Step{LinkStage::kOutputReport}, source, length) == 1 ? Succeed() : 0;
}

int HidDeviceLink::WriteOutputReport(const std::uint8_t* source, std::uint16_t length) {
  return WriteReport(Step{LinkStage::kInterruptWrite}, source, length) == 1 ? Succeed() : 0;
}

std::string HidDeviceLink::GetHardwareId() {
  if (found_path_.empty()) return {};
  for (const HidInterface& iface : platform_.EnumerateInterfaces()) {
    if (iface.path == found_path_) return MatchHardwareId({iface.hardware_id}, vendor_id_, product_id_);
  }
  return {};
}

bool HidDeviceLink::GetDeviceIds(std::uint16_t* vendor_id, std::uint16_t* product_id) const {
  *vendor_id = vendor_id_;
  *product_id = product_id_;
  return true;
}

}  // namespace veltrane
