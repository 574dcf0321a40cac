// The command line's small pieces: numbers, hex dump, JSON, progress, ranges.
#include <gtest/gtest.h>

#include <sstream>

#include "cli/cli_app.h"
#include "cli/device_commands.h"
#include "cli/exit_status.h"
#include "cli/flash_command.h"
#include "cli/hex_dump.h"
#include "cli/json_report.h"
#include "device/number_parse.h"
#include "sim/sim_args.h"
#include "cli/terminal_progress.h"
#include "tests/cli/json_check.h"

namespace veltrane::cli {
namespace {

using veltrane::testing::JsonCheck;

TEST(NumberParseTest, TakesDecimalAndHexAndRefusesEverythingElse) {
  std::uint64_t v = 0;
  EXPECT_TRUE(ParseNumber("65535", 0xFFFF, &v));
  EXPECT_EQ(v, 65535u);
  EXPECT_TRUE(ParseNumber("0x3917", 0xFFFF, &v));
  EXPECT_EQ(v, 0x3917u);
  EXPECT_TRUE(ParseNumber("0XfFfF", 0xFFFF, &v));
  EXPECT_EQ(v, 0xFFFFu);
  EXPECT_TRUE(ParseNumber("0", 0, &v));
  EXPECT_EQ(v, 0u);
  for (const char* bad : {"", "0x", "-1", "+1", "12a", "0x1g", " 1", "1 ", "65536", "0x10000",
                          "99999999999999999999999999"}) {
    v = 77;
    EXPECT_FALSE(ParseNumber(bad, 0xFFFF, &v)) << bad;
    EXPECT_EQ(v, 77u) << bad;
  }
}

TEST(SimArgsTest, EveryNumberIsParsedStrictly) {
  struct Case {
    std::vector<std::string> args;
    bool ok;
  };
  const Case cases[] = {
      {{"--sim-arrivals", "2,5.5,.25"}, true},
      {{"--sim-arrivals", "86400"}, true},
      {{"--sim-arrivals", "nan"}, false},
      {{"--sim-arrivals", "inf"}, false},
      {{"--sim-arrivals", "1e3"}, false},
      {{"--sim-arrivals", "-1"}, false},
      {{"--sim-arrivals", " 2"}, false},
      {{"--sim-arrivals", "2,"}, false},
      {{"--sim-arrivals", "86400.001"}, false},
      {{"--sim-arrivals", "0x10"}, false},
      {{"--sim-fault", "out:3"}, true},
      {{"--sim-fault", "out: 3"}, false},
      {{"--sim-fault", "out:+3"}, false},
      {{"--sim-fault", "out:3 "}, false},
      {{"--sim-fault", "out:0x3"}, false},
      {{"--sim-revision", "0102"}, true},
      {{"--sim-revision", " 102"}, false},
      {{"--sim-revision", "0102,0103"}, true},
      {{"--sim-revision", "0102,"}, false},
      {{"--sim-product", "0x10"}, true},
      {{"--sim-product", "-1"}, false},
      {{"--sim-count", "2"}, true},
      {{"--sim-count", "2.0"}, false},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    sim::SimSetup setup;
    std::string error;
    EXPECT_EQ(sim::ExtractSimArgs(&args, &setup, &error), c.ok) << c.args[0] << " '" << c.args[1] << "'";
  }
  std::vector<std::string> args = {"--sim-arrivals", "5.5,0.0005,2"};
  sim::SimSetup setup;
  std::string error;
  ASSERT_TRUE(sim::ExtractSimArgs(&args, &setup, &error));
  EXPECT_EQ(setup.arrivals_ms, (std::vector<std::uint32_t>{1, 2000, 5500}));
}

TEST(SimArgsTest, BenchUnitsAreParsedStrictlyToo) {
  for (const char* bad : {" 6", "+6", "6.0", "0", "nan", "100001"}) {
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunCli({"--simulate", "--virtual-time", "bench", "image.bin", "--units", bad}, out, err, false),
              kExitUsage)
        << bad;
    EXPECT_NE(err.str().find("--units takes a number of DACs"), std::string::npos) << err.str();
  }
}

TEST(EepromRangeTest, KeepsAddressAndLengthInsideTheSixtyFourKilobytes) {
  std::uint32_t address = 0;
  std::size_t length = 0;
  std::string error;
  EXPECT_TRUE(ParseEepromRange("0x1712", "4", &address, &length, &error));
  EXPECT_EQ(address, 0x1712u);
  EXPECT_EQ(length, 4u);
  EXPECT_TRUE(ParseEepromRange("0", "65536", &address, &length, &error));
  EXPECT_TRUE(ParseEepromRange("0xFFFF", "1", &address, &length, &error));
  EXPECT_FALSE(ParseEepromRange("0xFFFF", "2", &address, &length, &error));
  EXPECT_NE(error.find("65536"), std::string::npos);
  EXPECT_FALSE(ParseEepromRange("65536", "1", &address, &length, &error));
  EXPECT_NE(error.find("ADDR"), std::string::npos);
  EXPECT_FALSE(ParseEepromRange("0", "0", &address, &length, &error));
  EXPECT_NE(error.find("LEN"), std::string::npos);
}

TEST(HexDumpTest, SixteenBytesALineWithAddressAndPrintables) {
  std::vector<std::uint8_t> bytes;
  for (int i = 0; i < 18; ++i) bytes.push_back(static_cast<std::uint8_t>(0x41 + i));
  bytes[1] = 0x00;
  EXPECT_EQ(HexDump(0x1712, bytes),
            "1712: 41 00 43 44 45 46 47 48 49 4a 4b 4c 4d 4e 4f 50  A.CDEFGHIJKLMNOP\n"
            "1722: 51 52                                            QR\n");
  EXPECT_EQ(HexDump(0, {}), "");
}

TEST(JsonReportTest, FailuresCarryTheErrorObjectAndEveryStringStaysUtf8) {
  JsonReport report;
  report.Doc()["image"] = std::string("caf\xc3\xa9 \xff\xfe.bin");
  EXPECT_EQ(report.Render(0), "{\n  \"image\": \"caf\xc3\xa9 \xef\xbf\xbd\xef\xbf\xbd.bin\"\n}\n");
  report.AddMessage("No device found!");
  report.AddMessage("Please connect device");
  const std::string failed = report.Render(1);
  EXPECT_TRUE(JsonCheck::Valid(failed)) << failed;
  EXPECT_NE(failed.find("\"code\": 1,\n    \"stage\": null,\n    \"message\": \"No device found!\\nPlease connect device\",\n    \"system\": null"),
            std::string::npos) << failed;
  report.SetFailure("write packet 3 of 129", "Broken pipe");
  EXPECT_NE(report.Render(1).find("\"stage\": \"write packet 3 of 129\""), std::string::npos);
}

TEST(JsonCheckTest, RefusesMalformedDocuments) {
  for (const char* bad : {"", "{", "{\"a\" 1}", "{\"a\": 1,}", "[1 2]", "{a: 1}", "\"x", "01x",
                          "{\"a\": tru}", "{} {}"}) {
    EXPECT_FALSE(JsonCheck::Valid(bad)) << bad;
  }
  EXPECT_TRUE(JsonCheck::Valid("{\"a\": [1, -2.5, \"\\u00e9\", null, false]}"));
}

TEST(TerminalProgressTest, BarRedrawsInPlaceAndEndsItsLine) {
  std::ostringstream out;
  {
    TerminalProgress bar(out, ProgressStyle::kBar);
    bar.SetProgress(500);
    bar.Finish();
  }
  const std::string half = "\r[" + std::string(20, '#') + std::string(20, '.') + "]  50.0%";
  const std::string full = "\r[" + std::string(40, '#') + "] 100.0%\n";
  EXPECT_EQ(out.str(), half + full);
}

TEST(TerminalProgressTest, PlainLinesEveryTenthJsonLinesOrSilence) {
  std::ostringstream lines;
  TerminalProgress plain(lines, ProgressStyle::kLines);
  for (std::uint16_t pm : {1, 50, 99, 100, 101, 350, 999}) plain.SetProgress(pm);
  plain.Finish();
  EXPECT_EQ(lines.str(), "0%\n10%\n30%\n90%\n100%\n");

  std::ostringstream silent;
  TerminalProgress quiet(silent, ProgressStyle::kSilent);
  quiet.SetProgress(500);
  quiet.Finish();
  EXPECT_EQ(silent.str(), "");

  std::ostringstream json;
  TerminalProgress machine(json, ProgressStyle::kJson);
  for (std::uint16_t pm : {0, 412, 412, 999}) machine.SetProgress(pm);
  machine.Finish();
  EXPECT_EQ(json.str(), "{\"progress\": 0}\n{\"progress\": 412}\n{\"progress\": 999}\n{\"progress\": 1000}\n");
}

TEST(CompareImageTest, FindsFirstOffsetAndCount) {
  const std::vector<std::uint8_t> image = {1, 2, 3, 4, 5, 6};
  EXPECT_EQ(CompareImage(image, image).count, 0u);
  const Mismatch m = CompareImage(image, {1, 2, 9, 4, 9, 6});
  EXPECT_EQ(m.first, 2u);
  EXPECT_EQ(m.count, 2u);
  const Mismatch shorter = CompareImage(image, {1, 2, 3, 4});
  EXPECT_EQ(shorter.first, 4u);
  EXPECT_EQ(shorter.count, 2u);
}

TEST(ResolutionChoicesTest, ListsTheEightTableTextsInOrder) {
  EXPECT_EQ(ResolutionChoices(), " 0.0078125 0.015625 0.03125 0.0625 0.125 0.25 0.50 1.00");
}

}  // namespace
}  // namespace veltrane::cli
