// The fault matrix every road that changes a DAC is walked through: image
// pairs chosen to break repairs, a fault at every report (out, drop, unplug)
// and a stop after every write packet. Whatever happens, the EEPROM holds
// the old contents, the new image exactly, or an image whose byte 0 fails
// the checksum of bytes 1..17 as they stand; and the road says done only
// for the new image. Each road is a function that runs it once on a DAC.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "device/hid_device_link.h"
#include "sim/simulated_dac.h"
#include "image/image_header.h"

namespace veltrane::testing {

// Counts reports and write packets as they go, and sets `stop` after the
// `stop_after`-th write packet (a Ctrl-C at that packet boundary).
class MatrixDac : public sim::SimulatedDac {
 public:
  using SimulatedDac::SimulatedDac;
  bool SetOutputReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override {
    ++reports;
    const bool ok = SimulatedDac::SetOutputReport(handle, report, length);
    if (length > 2 && report[2] == kCmdWrite && ++write_packets == stop_after) stop.store(true);
    return ok;
  }
  bool GetInputReport(HidHandle handle, std::uint8_t* report, std::size_t length) override {
    ++reports;
    return SimulatedDac::GetInputReport(handle, report, length);
  }
  bool WriteReport(HidHandle handle, const std::uint8_t* report, std::size_t length) override {
    ++reports;
    return SimulatedDac::WriteReport(handle, report, length);
  }

  int reports = 0;
  int write_packets = 0;
  int stop_after = 0;
  std::atomic<bool> stop{false};
};

struct ImagePair {
  std::string name;
  std::vector<std::uint8_t> old_image;  // what the EEPROM holds from address 0
  std::vector<std::uint8_t> new_file;   // the file every road is given
  bool refused = false;                 // every road must refuse it
};

inline std::vector<std::uint8_t> Body(std::size_t n, unsigned seed) {
  std::vector<std::uint8_t> body(n);
  for (std::size_t i = 0; i < n; ++i) body[i] = static_cast<std::uint8_t>(i * seed + seed * 31 + (i >> 8));
  return body;
}

inline std::vector<std::uint8_t> Packed(std::uint16_t version, const std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> image;
  PackImage(kVendorId, 4, version, body, &image);
  return image;
}

inline void Reseal(std::vector<std::uint8_t>* image) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kImageHeaderSize; ++i) sum = static_cast<std::uint8_t>(sum + (*image)[i]);
  (*image)[0] = sum;
}

// Over `old`, the header after the new image's first packet (its bytes 0..15,
// the old 16..17) sums to the complement of the new checksum when the length
// bytes differ by an odd amount d and 2 x checksum = 255 - d: then a byte 0
// held plainly inverted passes. `high` picks the other of the two roots. A
// reserved header byte (12) is turned to get there.
inline std::vector<std::uint8_t> InvertedPassesAfterFirstPacket(std::vector<std::uint8_t> fresh,
                                                                const std::vector<std::uint8_t>& old, bool high) {
  const auto d = static_cast<std::uint8_t>(old[16] + old[17] - fresh[16] - fresh[17]);
  const auto root = static_cast<std::uint8_t>((static_cast<std::uint8_t>(255 - d) >> 1) + (high ? 128 : 0));
  fresh[12] = static_cast<std::uint8_t>(fresh[12] + root - fresh[0]);
  Reseal(&fresh);
  return fresh;
}

// Pairs whose length bytes differ by an odd amount, each with a new image
// for which the plainly inverted byte 0 would be valid after the first packet.
inline std::vector<ImagePair> OddLengthPairs() {
  const std::vector<std::uint8_t> fresh = Packed(0x0103, Body(2030, 5));  // length 0x0800
  const std::vector<std::uint8_t> longer = Packed(0x0102, Body(2031, 3));  // 0x0801: 1 apart
  const std::vector<std::uint8_t> shorter = Packed(0x0102, Body(2012, 7));  // 0x07F2: 241 apart
  return {{"length bytes 1 apart", longer, InvertedPassesAfterFirstPacket(fresh, longer, false)},
          {"length bytes 241 apart, the other root", shorter, InvertedPassesAfterFirstPacket(fresh, shorter, true)}};
}

// Pairs for the default simulated DAC (product 4, revision 0x0102). `long_pairs`
// adds the image that reaches over the feedback block at 0x1712.
inline std::vector<ImagePair> RepairBreakingPairs(bool long_pairs = true) {
  std::vector<ImagePair> pairs;
  const std::vector<std::uint8_t> fresh = Packed(0x0103, Body(2030, 5));
  pairs.push_back({"same length", Packed(0x0102, Body(2030, 3)), fresh});
  pairs.push_back({"different length", Packed(0x0102, Body(1006, 3)), fresh});
  {
    // A lost first packet leaves the old header; were byte 0 then written as
    // the inverted new one, it would be the old checksum: valid over a mix.
    std::vector<std::uint8_t> old = Packed(0x0102, Body(2030, 7));
    old[10] = static_cast<std::uint8_t>(old[10] + static_cast<std::uint8_t>(~fresh[0]) - old[0]);
    Reseal(&old);
    pairs.push_back({"old checksum the complement of the new", old, fresh});
  }
  pairs.push_back({"same body, new header", Packed(0x0102, Body(2030, 5)), fresh});
  for (ImagePair& odd : OddLengthPairs()) pairs.push_back(std::move(odd));
  if (long_pairs) {
    pairs.push_back({"longer, over the feedback block", Packed(0x0102, Body(2030, 3)), Packed(0x0103, Body(5982, 5))});
  }
  pairs.push_back({"cut file", Packed(0x0102, Body(2030, 3)),
                   std::vector<std::uint8_t>(fresh.begin(), fresh.begin() + 1000), true});
  {
    std::vector<std::uint8_t> longer = fresh;
    const std::vector<std::uint8_t> tail = Body(100, 11);
    longer.insert(longer.end(), tail.begin(), tail.end());
    pairs.push_back({"longer than its header's length", Packed(0x0102, Body(2030, 3)), longer});
  }
  return pairs;
}

inline bool HeaderChecksumFails(const std::vector<std::uint8_t>& eeprom) {
  std::uint8_t sum = 0;
  for (std::size_t i = 1; i < kImageHeaderSize; ++i) sum = static_cast<std::uint8_t>(sum + eeprom[i]);
  return eeprom[0] != sum;
}

enum class MatrixFault { kNone, kOut, kDrop, kUnplug, kStop };

struct Road {
  const char* name;
  // Runs the road once on `dac` with the file at `path`; true when it said done.
  std::function<bool(MatrixDac& dac, const std::string& path)> run;
  bool keep_settings = false;  // the DAC's feedback block stays over the image's
  bool stops = true;           // the road takes a stop flag (the desktop has none)
  bool reads_back = true;      // lost packets are seen (all but --no-verify)
};

// A file of this process and test alone: CTest runs tests side by side, and
// other build trees may run the same suites at the same time.
inline std::string WriteTempFile(const std::vector<std::uint8_t>& bytes, const std::string& name) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string test = info != nullptr ? std::string(info->test_suite_name()) + "." + info->name() : "";
  for (char& c : test) {
    if (c == '/') c = '_';
  }
  const std::string path = ::testing::TempDir() + "veltrane_" + std::to_string(std::random_device{}()) + "_" + test + "_" + name;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f != nullptr) {
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  return path;
}

// The fault points 1..`points`: all of them up to `cap`, else `cap` spread evenly.
inline std::vector<int> FaultPoints(int points, int cap) {
  std::vector<int> ks;
  if (points <= cap) {
    for (int k = 1; k <= points; ++k) ks.push_back(k);
  } else {
    for (int i = 0; i < cap; ++i) ks.push_back(1 + static_cast<int>(static_cast<long long>(i) * (points - 1) / (cap - 1)));
  }
  return ks;
}

// Walks `road` over `pair`: a clean run, then every fault. Short images
// (up to 4 KiB) get every report; longer ones `cap` reports per kind of
// fault, spread evenly.
inline void WalkFaultMatrix(const Road& road, const ImagePair& pair, int cap = 160) {
  constexpr std::size_t kShortImage = 4096;
  const std::string path = WriteTempFile(pair.new_file, "fault_matrix_image.bin");
  struct Removal {
    const std::string& path;
    ~Removal() { std::remove(path.c_str()); }
  } removal{path};
  auto run = [&](MatrixFault fault, int k, std::vector<std::uint8_t>* before, int* reports, int* writes) {
    sim::SimOptions options;
    options.keep_trace = false;
    if (fault == MatrixFault::kOut) options.fail_output_report = k;
    if (fault == MatrixFault::kDrop) options.drop_eeprom_write = k;
    if (fault == MatrixFault::kUnplug) options.unplug_after = k;
    MatrixDac dac(options);
    if (fault == MatrixFault::kStop) dac.stop_after = k;
    std::copy(pair.old_image.begin(), pair.old_image.end(), dac.Eeprom().begin());
    *before = dac.Eeprom();
    const bool done = road.run(dac, path);
    if (reports != nullptr) *reports = dac.reports;
    if (writes != nullptr) *writes = dac.write_packets;
    return std::make_pair(done, dac.Eeprom());
  };

  std::vector<std::uint8_t> before;
  int reports = 0;
  int writes = 0;
  const auto clean = run(MatrixFault::kNone, 0, &before, &reports, &writes);
  std::vector<std::uint8_t> expected = before;
  std::copy(pair.new_file.begin(), pair.new_file.end(), expected.begin());
  if (road.keep_settings) {
    std::copy(before.begin() + kFeedbackBlockAddress, before.begin() + kFeedbackBlockAddress + 4,
              expected.begin() + kFeedbackBlockAddress);
  }
  const std::string where = std::string(road.name) + ", " + pair.name;
  if (pair.refused) {
    EXPECT_FALSE(clean.first) << where << ": done over a file it must refuse";
    EXPECT_TRUE(clean.second == before) << where << ": a refused file changed the EEPROM";
    return;
  }
  ASSERT_TRUE(clean.first) << where << ": the clean run failed";
  ASSERT_TRUE(clean.second == expected) << where << ": the clean run left something else";

  const struct {
    MatrixFault fault;
    const char* name;
    int points;
  } kinds[] = {{MatrixFault::kOut, "out", reports},
               {MatrixFault::kDrop, "drop", road.reads_back ? writes : 0},
               {MatrixFault::kUnplug, "unplug", reports},
               {MatrixFault::kStop, "stop", road.stops ? writes : 0}};
  for (const auto& kind : kinds) {
    for (const int k : FaultPoints(kind.points, pair.new_file.size() <= kShortImage ? kind.points : cap)) {
      std::vector<std::uint8_t> start;
      const auto [done, after] = run(kind.fault, k, &start, nullptr, nullptr);
      const bool is_new = after == expected;
      const bool is_old = after == before;
      const std::string at = where + ", " + kind.name + ":" + std::to_string(k);
      EXPECT_TRUE(is_new || is_old || HeaderChecksumFails(after)) << at << ": a valid-looking mix";
      EXPECT_TRUE(!done || is_new) << at << ": done over a wrong image";
    }
  }
}

}  // namespace veltrane::testing
