// Framing of the command packets: byte 0 the packet's own length, byte 1 the
// command, bytes 4 and 5 the EEPROM address high byte first.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device/hid_device_link.h"

namespace veltrane {

// Header of a packet carrying (or asking for) `data_length` bytes at
// `address`. Bytes 2 and 3 are left alone: a read request carries whatever
// the previous answer left there.
inline void PutPacketHeader(std::uint8_t* packet, std::size_t data_length, std::uint8_t command,
                            std::uint16_t address) {
  packet[0] = static_cast<std::uint8_t>(data_length + 6);
  packet[1] = command;
  packet[4] = static_cast<std::uint8_t>(address >> 8);
  packet[5] = static_cast<std::uint8_t>(address & 0xFF);
}

// Header of a write packet: bytes 2 and 3 are always zero.
inline void PutWriteHeader(std::uint8_t* packet, std::size_t data_length, std::uint16_t address) {
  PutPacketHeader(packet, data_length, kCmdWrite, address);
  packet[2] = 0x00;
  packet[3] = 0x00;
}

}  // namespace veltrane
