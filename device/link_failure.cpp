#include "device/link_failure.h"

#include <cstdio>

namespace veltrane {
namespace {

struct StageText {
  LinkStage stage;
  const char* name;  // short, for logs and --json
  const char* text;  // the line's start; %u are index and count
  bool numbered;
  bool addressed;
};

// The link's words for each stage, in one place.
constexpr StageText kStageTexts[] = {
    {LinkStage::kNone, "none", "no failure", false, false},
    {LinkStage::kDiscovery, "discovery", "discovery", false, false},
    {LinkStage::kOpening, "opening", "opening the device", false, false},
    {LinkStage::kNotOpen, "not_open", "the device is not open", false, false},
    {LinkStage::kOutputReport, "output_report", "output report", false, false},
    {LinkStage::kInputReport, "input_report", "input report", false, false},
    {LinkStage::kInterruptWrite, "interrupt_write", "interrupt write", false, false},
    {LinkStage::kSelect, "select", "select packet", false, false},
    {LinkStage::kWritePacket, "write_packet", "write packet %u of %u", true, true},
    {LinkStage::kReadRequest, "read_request", "read request %u of %u", true, true},
    {LinkStage::kReadAnswer, "read_answer", "read answer %u of %u", true, true},
    {LinkStage::kOtherAnswer, "other_answer", "read answer %u of %u", true, true},
    {LinkStage::kRestorePacket, "restore_packet", "restore packet", false, false},
    {LinkStage::kBulkStart, "bulk_start", "bulk start packet", false, false},
    {LinkStage::kBulkBlock, "bulk_block", "bulk block %u of %u", true, false},
    {LinkStage::kBulkEnd, "bulk_end", "bulk end packet", false, false},
    {LinkStage::kStopped, "stopped", "stopped after packet %u of %u", true, false},
    {LinkStage::kImageFile, "image_file", "image file", false, false},
    {LinkStage::kImageRefused, "image_refused", "image", false, false},
    {LinkStage::kBadArgument, "bad_argument", "bad argument", false, false},
};

const StageText& TextOf(LinkStage stage) {
  for (const StageText& t : kStageTexts) {
    if (t.stage == stage) return t;
  }
  return kStageTexts[0];
}

}  // namespace

const char* LinkStageName(LinkStage stage) { return TextOf(stage).name; }

std::string LinkFailure::Describe() const {
  const StageText& t = TextOf(stage);
  char line[160];
  if (t.numbered) {
    std::snprintf(line, sizeof line, t.text, static_cast<unsigned>(index),
                  static_cast<unsigned>(count));
  } else {
    std::snprintf(line, sizeof line, "%s", t.text);
  }
  std::string text = line;
  if (t.addressed) {
    std::snprintf(line, sizeof line, " (address 0x%04x)", static_cast<unsigned>(address));
    text += line;
  }
  if (!system_text.empty()) text += ": " + system_text;
  return text;
}

}  // namespace veltrane
