#include "tests/linux/uhid_test_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace veltrane::testing {
namespace {

bool WriteEvent(int fd, const uhid_event& event) {
  ssize_t written = 0;
  do {
    written = ::write(fd, &event, sizeof event);
  } while (written < 0 && errno == EINTR);
  return written == static_cast<ssize_t>(sizeof event);
}

}  // namespace

UhidTestDevice::~UhidTestDevice() { Destroy(); }

bool UhidTestDevice::Create(const std::string& name, std::uint16_t vendor_id,
                            std::uint16_t product_id, const std::vector<std::uint8_t>& descriptor,
                            std::uint16_t input_report_length, std::string* error) {
  fd_ = UniqueFd(::open("/dev/uhid", O_RDWR | O_CLOEXEC));
  if (!fd_.Valid()) {
    *error = std::string("/dev/uhid: ") + std::strerror(errno);
    return false;
  }
  product_id_ = product_id;
  input_report_length_ = input_report_length;
  uhid_event event{};
  event.type = UHID_CREATE2;
  std::snprintf(reinterpret_cast<char*>(event.u.create2.name), sizeof event.u.create2.name, "%s",
                name.c_str());
  event.u.create2.rd_size = static_cast<__u16>(descriptor.size());
  event.u.create2.bus = 0x03;  // BUS_USB
  event.u.create2.vendor = vendor_id;
  event.u.create2.product = product_id;
  event.u.create2.version = version_;
  std::snprintf(reinterpret_cast<char*>(event.u.create2.uniq), sizeof event.u.create2.uniq, "%s",
                serial_.c_str());
  std::snprintf(reinterpret_cast<char*>(event.u.create2.phys), sizeof event.u.create2.phys, "%s",
                phys_.c_str());
  std::memcpy(event.u.create2.rd_data, descriptor.data(), descriptor.size());
  if (!WriteEvent(fd_.Get(), event)) {
    *error = std::string("UHID_CREATE2: ") + std::strerror(errno);
    fd_.Reset();
    return false;
  }
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

void UhidTestDevice::Destroy() {
  if (thread_.joinable()) {
    stop_ = true;
    thread_.join();
  }
  if (fd_.Valid()) {
    uhid_event event{};
    event.type = UHID_DESTROY;
    WriteEvent(fd_.Get(), event);
    fd_.Reset();
  }
}

std::vector<std::uint8_t> UhidTestDevice::EepromCopy() {
  std::lock_guard<std::mutex> lock(model_mutex_);
  return model_.Eeprom();
}

void UhidTestDevice::Answer(std::uint32_t id, const std::uint8_t* data, std::size_t size,
                            std::uint16_t error) {
  uhid_event reply{};
  reply.type = UHID_GET_REPORT_REPLY;
  reply.u.get_report_reply.id = id;
  reply.u.get_report_reply.err = error;
  reply.u.get_report_reply.size = static_cast<__u16>(size);
  if (size > 0) std::memcpy(reply.u.get_report_reply.data, data, size);
  WriteEvent(fd_.Get(), reply);
}

// Called with the model locked, after an output report.
void UhidTestDevice::AfterOutput() {
  if (!model_.AnswerPending()) return;
  const bool lose = lose_next_answer_.exchange(false);
  if (!lose && !push_answers_) return;  // kept for get-input-report
  std::vector<std::uint8_t> report(input_report_length_);
  model_.TakeInputReport(report.data(), report.size());
  pushed_answer_.clear();
  if (lose || report.size() < 2) return;
  // The device uses no report IDs: the interrupt report is the bytes after the ID byte.
  uhid_event input{};
  input.type = UHID_INPUT2;
  input.u.input2.size = static_cast<__u16>(report.size() - 1);
  std::memcpy(input.u.input2.data, report.data() + 1, report.size() - 1);
  WriteEvent(fd_.Get(), input);
  pushed_answer_ = std::move(report);
}

void UhidTestDevice::Serve() {
  while (!stop_) {
    pollfd pfd{fd_.Get(), POLLIN, 0};
    if (::poll(&pfd, 1, 50) <= 0) continue;
    uhid_event event{};
    if (::read(fd_.Get(), &event, sizeof event) <= 0) continue;
    switch (event.type) {
      case UHID_OUTPUT: {
        const uhid_output_req& output = event.u.output;
        ++output_reports_;
        // The whole report arrives, report-ID byte (0, the device uses no IDs) first.
        if (output.size != output_report_length_ || output.data[0] != 0) ++badly_framed_;
        if (output.size == 0) break;
        std::lock_guard<std::mutex> lock(model_mutex_);
        model_.HandleOutput(output.data + 1, output.size - 1u, product_id_, input_report_length_);
        AfterOutput();
        break;
      }
      case UHID_GET_REPORT: {
        ++input_reports_;
        if (fail_next_input_report_.exchange(false)) {
          Answer(event.u.get_report.id, nullptr, 0, EIO);
          break;
        }
        std::vector<std::uint8_t> report(input_report_length_);
        {
          std::lock_guard<std::mutex> lock(model_mutex_);
          if (!pushed_answer_.empty()) {
            report.swap(pushed_answer_);
            pushed_answer_.clear();
          } else {
            model_.TakeInputReport(report.data(), report.size());
          }
        }
        Answer(event.u.get_report.id, report.data(), report.size(), 0);
        break;
      }
      case UHID_SET_REPORT: {
        // Not expected: output reports reach uhid as UHID_OUTPUT. Refuse it visibly.
        ++badly_framed_;
        uhid_event reply{};
        reply.type = UHID_SET_REPORT_REPLY;
        reply.u.set_report_reply.id = event.u.set_report.id;
        reply.u.set_report_reply.err = EIO;
        WriteEvent(fd_.Get(), reply);
        break;
      }
      default:
        break;  // start, stop, open, close
    }
  }
}

int HidrawNodeCount() {
  int count = 0;
  if (DIR* dir = opendir("/sys/class/hidraw")) {
    while (const dirent* entry = readdir(dir)) {
      if (std::strncmp(entry->d_name, "hidraw", 6) == 0) ++count;
    }
    closedir(dir);
  }
  return count;
}

}  // namespace veltrane::testing
