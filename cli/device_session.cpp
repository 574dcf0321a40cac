#include "cli/device_session.h"

#include <algorithm>

#include "cli/cli_texts.h"
#include "update/update_texts.h"

namespace veltrane::cli {
namespace {
// Half the address space a call keeps every piece within the link's 16-bit length.
constexpr std::size_t kRangePiece = 0x8000;
}  // namespace

DeviceSession::DeviceSession(const CommandContext& context) : context_(context) {
  if (context_.platform != nullptr) {
    watched_ = std::make_unique<WatchedPlatform>(*context_.platform);
    link_ = std::make_unique<HidDeviceLink>(*watched_);
  }
}

DeviceSession::~DeviceSession() = default;

bool DeviceSession::Locate(const char* no_device_text) {
  if (!link_) {
    context_.Say(no_device_text);
    return false;
  }
  if (!context_.device_path.empty()) link_->RestrictToPath(context_.device_path);
  if (link_->FindDevice() == 1) {
    context_.Note(Fill(texts::kFoundAt, link_->DevicePath().c_str()));
    return true;
  }
  if (link_->AccessDenied()) {
    context_.Say(texts::kAccessDenied);
    const std::string hint = watched_->AccessDeniedHint();
    context_.Say(hint.empty() ? texts::kAccessDeniedNoHint : hint);
  } else {
    context_.Say(no_device_text);
    if (!context_.device_path.empty()) {
      context_.Say(Fill(texts::kNoDeviceAtPath, context_.device_path.c_str()));
    }
  }
  return false;
}

bool DeviceSession::Identify() {
  if (!Locate(update_texts::kNoDeviceConnect)) return false;
  if (!ReadDeviceIdentity(*link_, &identity_)) {
    context_.Say(texts::kNoHardwareId);
    return false;
  }
  return true;
}

bool DeviceSession::ReadRange(std::uint32_t address, std::size_t length,
                              std::vector<std::uint8_t>* bytes) {
  bytes->assign(length, 0);
  for (std::size_t done = 0; done < length; done += kRangePiece) {
    const std::size_t n = std::min(kRangePiece, length - done);
    if (link_->ReadEeprom(kEepromDeviceAddress, kEepromSelector,
                          static_cast<std::uint16_t>(address + done), bytes->data() + done,
                          static_cast<std::uint16_t>(n)) == 0) {
      return false;
    }
  }
  return true;
}

bool DeviceSession::WriteRange(std::uint32_t address, const std::vector<std::uint8_t>& bytes) {
  for (std::size_t done = 0; done < bytes.size(); done += kRangePiece) {
    const std::size_t n = std::min(kRangePiece, bytes.size() - done);
    if (link_->WriteEeprom(kEepromDeviceAddress, kEepromSelector,
                           static_cast<std::uint16_t>(address + done), bytes.data() + done,
                           static_cast<std::uint16_t>(n)) == 0) {
      return false;
    }
  }
  return true;
}

void DeviceSession::SayFailure(const char* text) const {
  context_.Say(watched_ && watched_->DeviceGone() ? texts::kUnplugged : text);
}

}  // namespace veltrane::cli
