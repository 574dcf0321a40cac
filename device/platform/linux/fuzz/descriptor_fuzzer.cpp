// libFuzzer entry point for the report descriptor parser. Also linked into a
// plain driver that replays the seed corpus as an ordinary test.
#include <cstddef>
#include <cstdint>

#include "device/platform/linux/report_descriptor_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  veltrane::ReportDescriptorParser parser;
  veltrane::HidCaps caps;
  if (parser.Parse(data, size)) {
    // A descriptor accepted must give consistent answers.
    if (!parser.Caps(&caps) || parser.Collections().empty()) __builtin_trap();
    for (const auto& collection : parser.Collections()) {
      if (collection.input_report_byte_length > veltrane::ReportDescriptorParser::kMaxReportBytes + 1 ||
          collection.output_report_byte_length > veltrane::ReportDescriptorParser::kMaxReportBytes + 1) {
        __builtin_trap();
      }
    }
  } else if (parser.Caps(&caps) || parser.Error() == veltrane::DescriptorError::kNone) {
    __builtin_trap();
  }
  return 0;
}
