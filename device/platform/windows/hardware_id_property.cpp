#include "device/platform/windows/hardware_id_property.h"

#include <cstring>

#include "device/platform/windows/windows_headers.h"

namespace veltrane::windows {
namespace {

// A property that keeps growing while we chase it is given up on rather than
// chased for ever (the hardware IDs of a device are a few hundred bytes).
constexpr int kMaxBufferRounds = 16;

// A HID node sits below its USB device, or below one of the device's
// interfaces (composite devices): a few levels up is far enough.
constexpr int kMaxParentDepth = 4;

bool IsUsbDeviceId(std::string id) {
  for (char& c : id) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  return id.rfind("USB\\", 0) == 0 && id.find("&MI_") == std::string::npos;
}

}  // namespace

void LocalBlockFree::operator()(std::uint8_t* block) const { ::LocalFree(block); }

PropertyBlock ReadPropertyBlock(const PropertyCall& call) {
  PropertyBlock result;
  std::uint32_t size = 0;
  PropertyCallResult answer = call(nullptr, 0, &size);
  if (answer.ok) return result;  // nothing to read for this device

  for (int round = 0; round < kMaxBufferRounds && answer.error == ERROR_INSUFFICIENT_BUFFER;
       ++round) {
    result.data.reset();
    result.capacity = 0;
    if (size == 0) break;
    // Twice what the call asked for, zero-filled: the multi-string stays
    // terminated even if the property changed between the two calls.
    const std::size_t capacity = 2 * static_cast<std::size_t>(size);
    result.data.reset(static_cast<std::uint8_t*>(::LocalAlloc(LMEM_ZEROINIT, capacity)));
    if (!result.data) break;
    result.capacity = capacity;
    answer = call(result.data.get(), size, &size);
    if (answer.ok) return result;
  }
  // The last call did not succeed: whatever the block holds is not the property.
  return PropertyBlock{};
}

std::string FirstMultiString(const std::uint8_t* data, std::size_t capacity) {
  if (data == nullptr) return {};
  const void* end = std::memchr(data, 0, capacity);
  const std::size_t length =
      end ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - data) : capacity;
  return std::string(reinterpret_cast<const char*>(data), length);
}

bool ReadFirstHardwareId(const PropertyCall& call, std::string* first) {
  const PropertyBlock block = ReadPropertyBlock(call);
  if (!block.data) return false;
  *first = FirstMultiString(block.data.get(), block.capacity);
  return true;
}

std::string InterfaceHardwareId(std::uint32_t node, const DeviceNodeCalls& calls) {
  std::string own;
  if (!calls.hardware_id(node, &own)) own.clear();
  if (IsUsbDeviceId(own)) return own;
  std::uint32_t at = node;
  for (int depth = 0; depth < kMaxParentDepth; ++depth) {
    std::uint32_t parent = 0;
    if (!calls.parent(at, &parent)) break;
    std::string id;
    if (calls.hardware_id(parent, &id) && IsUsbDeviceId(id)) return id;
    at = parent;
  }
  return own;
}

}  // namespace veltrane::windows
