// The EEPROM access protocol: select, write and read packets carried as the
// payload of single output reports, answers taken from input reports.
#include <cstring>

#include "device/command_packet.h"
#include "device/device_texts.h"
#include "device/hid_device_link.h"
#include "device/platform/precise_sleep.h"

namespace veltrane {
namespace {

// The packet buffer is 100 bytes: a packet of six header bytes leaves room
// for 94 data bytes, whatever the report length allows.
constexpr int kMaxChunk = static_cast<int>(kPacketBufferSize) - 6;
constexpr unsigned kEepromPauseMs = 1;

// Data bytes per packet for a report of `report_length` bytes (report ID
// included); 0 when the report cannot carry a single data byte.
int ChunkSize(std::uint16_t report_length) {
  const int chunk = static_cast<int>(report_length) - 7;
  if (chunk <= 0) return 0;
  return chunk < kMaxChunk ? chunk : kMaxChunk;
}

std::uint32_t PacketCount(int length, int chunk) {
  return chunk == 0 ? 0 : static_cast<std::uint32_t>((length + chunk - 1) / chunk);
}

// A read answer echoes its request's first six bytes, then carries the data:
// the length byte, the read command and the address must be this request's.
// Anything else (an old answer, an empty report, another request's, one cut
// short) is not this request's answer, whatever its data bytes say.
bool AnswersRequest(const std::uint8_t* answer, int data_length, std::uint16_t address) {
  return answer[0] == static_cast<std::uint8_t>(data_length + 6) && answer[1] == kCmdRead &&
         answer[4] == static_cast<std::uint8_t>(address >> 8) &&
         answer[5] == static_cast<std::uint8_t>(address & 0xFF);
}

}  // namespace

int HidDeviceLink::SendSelect(std::uint8_t device_address, std::uint8_t selector) {
  // The select packet names the bus device again for every operation.
  const std::uint8_t packet[4] = {0x04, kCmdSelect, selector, device_address};
  return SendReport(Step{LinkStage::kSelect}, packet, sizeof packet);
}

int HidDeviceLink::WriteEeprom(std::uint8_t device_address, std::uint8_t selector,
                               std::uint16_t address, const std::uint8_t* source,
                               std::uint16_t length) {
  const PacingScope pacing;  // one raised system tick for the run, where one is needed
  const int chunk = ChunkSize(capabilities_.output_report_byte_length);
  if (length > 0 && chunk == 0) {
    return Fail(Step{LinkStage::kBadArgument}, HidError::kNone, device_texts::kNoReportLength);
  }
  std::uint8_t packet[kPacketBufferSize] = {};
  if (SendSelect(device_address, selector) == 0) return 0;
  if (length == 0) return Succeed();

  Step step{LinkStage::kWritePacket};
  step.count = PacketCount(length, chunk);
  int remaining = length;
  while (remaining > 0) {
    const int n = remaining < chunk ? remaining : chunk;
    ++step.index;
    step.address = address;
    PutWriteHeader(packet, static_cast<std::size_t>(n), address);
    std::memcpy(packet + 6, source, static_cast<std::size_t>(n));
    if (SendReport(step, packet, static_cast<std::uint16_t>(n + 6)) == 0) return 0;
    step.bytes_done += static_cast<std::uint32_t>(n);
    ++step.packets_done;
    address = static_cast<std::uint16_t>(address + n);
    source += n;
    remaining -= n;
    platform_.Sleep(kEepromPauseMs);
  }
  return Succeed();
}

int HidDeviceLink::ReadEeprom(std::uint8_t device_address, std::uint8_t selector,
                              std::uint16_t address, std::uint8_t* destination,
                              std::uint16_t length) {
  const PacingScope pacing;  // one raised system tick for the run, where one is needed
  const int chunk = ChunkSize(capabilities_.input_report_byte_length);
  if (length > 0 && chunk == 0) {
    return Fail(Step{LinkStage::kBadArgument}, HidError::kNone, device_texts::kNoReportLength);
  }
  // Request and answer share this buffer: only bytes 0, 1, 4 and 5 are
  // written before each request, so every later request carries the previous
  // answer's bytes 2 and 3 and its data as filler. The device expects no less.
  std::uint8_t packet[kPacketBufferSize] = {};
  if (SendSelect(device_address, selector) == 0) return 0;
  packet[1] = kCmdRead;
  packet[2] = 0x00;
  packet[3] = 0x00;
  if (length == 0) return Succeed();

  Step request{LinkStage::kReadRequest};
  request.count = PacketCount(length, chunk);
  int remaining = length;
  while (remaining > 0) {
    const int n = remaining < chunk ? remaining : chunk;
    ++request.index;
    request.address = address;
    Step answer = request;
    answer.stage = LinkStage::kReadAnswer;
    PutPacketHeader(packet, static_cast<std::size_t>(n), kCmdRead, address);
    if (IsOpenHandle(read_handle_)) platform_.DiscardInputReports(read_handle_);
    if (SendReport(request, packet, static_cast<std::uint16_t>(n + 6)) == 0) return 0;
    if (ReadReport(answer, packet, static_cast<std::uint16_t>(n + 6)) == 0) return 0;
    if (!AnswersRequest(packet, n, address)) {
      answer.stage = LinkStage::kOtherAnswer;
      return Fail(answer, HidError::kNone, device_texts::kOtherAnswer);
    }
    std::memcpy(destination, packet + 6, static_cast<std::size_t>(n));
    request.bytes_done += static_cast<std::uint32_t>(n);
    ++request.packets_done;
    destination += n;
    address = static_cast<std::uint16_t>(address + n);
    remaining -= n;
    platform_.Sleep(kEepromPauseMs);
  }
  return Succeed();
}

int HidDeviceLink::WriteFeedbackSettings(std::uint8_t device_address, std::uint8_t selector,
                                         std::uint8_t s1, std::uint8_t s2, std::uint8_t s3) {
  const std::uint8_t block[4] = {0x00, s1, s2, s3};
  return WriteEeprom(device_address, selector, kFeedbackBlockAddress, block, sizeof block);
}

int HidDeviceLink::ReadFeedbackSettings(std::uint8_t device_address, std::uint8_t selector,
                                        std::uint8_t* destination,
                                        std::uint16_t destination_length) {
  std::uint8_t block[4] = {};
  const int result = ReadEeprom(device_address, selector, kFeedbackBlockAddress, block, 4);
  if (destination_length < 4) {
    return Fail(Step{LinkStage::kBadArgument}, HidError::kNone, device_texts::kBufferTooSmall);
  }
  // A failed read hands nothing on.
  if (result == 1) std::memcpy(destination, block, sizeof block);
  return result;
}

}  // namespace veltrane
