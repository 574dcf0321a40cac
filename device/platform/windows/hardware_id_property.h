// Reading the hardware-ID property of one device: the growing-buffer loop
// around the registry-property call and the multi-string it returns.
//
// The property call comes in as a function object so the loop can be driven
// without a device (tests fake the call and its errors).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace veltrane::windows {

// What one registry-property call reported: success, or the error the system
// gave (GetLastError right after the call).
struct PropertyCallResult {
  bool ok = false;
  std::uint32_t error = 0;
};

// One SetupDiGetDeviceRegistryPropertyA(SPDRP_HARDWAREID) call for a fixed
// device: fills `buffer` (null with `buffer_size` 0 for the size query) and
// stores the size the property needs in `*required_size`.
using PropertyCall = std::function<PropertyCallResult(
    std::uint8_t* buffer, std::uint32_t buffer_size, std::uint32_t* required_size)>;

// A LocalAlloc block, given back with LocalFree.
struct LocalBlockFree {
  void operator()(std::uint8_t* block) const;
};
using LocalBlock = std::unique_ptr<std::uint8_t[], LocalBlockFree>;

struct PropertyBlock {
  LocalBlock data;            // null when the property could not be read
  std::size_t capacity = 0;   // bytes allocated, all zero beyond what the call wrote
};

// Runs the size query, then, while the call answers ERROR_INSUFFICIENT_BUFFER,
// allocates twice the size it asked for (zero-filled) and calls again with
// the size it asked for. Success on the size query means the device has no
// data; any other error, or an allocation that fails, gives up. The block is
// returned only when the last call succeeded.
PropertyBlock ReadPropertyBlock(const PropertyCall& call);

// The first string of a multi-string: up to its first terminator, never past
// `capacity` bytes.
std::string FirstMultiString(const std::uint8_t* data, std::size_t capacity);

// The first hardware-ID string of the device `call` queries; false when its
// property cannot be read.
bool ReadFirstHardwareId(const PropertyCall& call, std::string* first);

// The device tree as the configuration manager shows it: a node's first
// hardware ID and its parent, each false when the system cannot tell.
struct DeviceNodeCalls {
  std::function<bool(std::uint32_t node, std::string* first_hardware_id)> hardware_id;
  std::function<bool(std::uint32_t node, std::uint32_t* parent)> parent;
};

// The hardware ID of the device a HID interface's node belongs to, found from
// that node up its own parent chain: the nearest USB device (USB\…, not one
// of its interfaces, &MI_) within a few levels, else the node's own first ID
// (a HID device on no USB bus); empty when neither can be read. Never a
// sibling's: two DACs of one product each get their own revision.
std::string InterfaceHardwareId(std::uint32_t node, const DeviceNodeCalls& calls);

}  // namespace veltrane::windows
