// The built veltrane-cli run as a user runs it, against the simulated DAC on
// virtual time: exit status, stdout, stderr, the trace and the EEPROM file.
#include "tests/cli/program_runner.h"
#include "veltrane_version.h"

#include <sched.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>

namespace veltrane::cli {
namespace {

using namespace veltrane::cli::testing;

// The EEPROM image download as described: the select, one write packet of up
// to 16 bytes per file offset (byte 0 inverted) with its progress and a 10 ms
// pause, then the restore packet.
std::vector<std::string> ExpectedImageTrace(const std::vector<std::uint8_t>& image) {
  std::vector<std::string> lines = {Out({0x04, 0x00, 0x00, 0xA0})};
  const unsigned total = image[16] * 256u + image[17];
  unsigned last = 0;
  for (std::size_t offset = 0; offset < image.size(); offset += 16) {
    const std::size_t n = std::min<std::size_t>(16, image.size() - offset);
    std::vector<std::uint8_t> packet = {static_cast<std::uint8_t>(n + 6), 0x04, 0x00, 0x00,
                                        static_cast<std::uint8_t>(offset >> 8),
                                        static_cast<std::uint8_t>(offset)};
    packet.insert(packet.end(), image.begin() + static_cast<long>(offset),
                  image.begin() + static_cast<long>(offset + n));
    if (offset == 0) packet[6] = static_cast<std::uint8_t>(~image[0]);
    lines.push_back(Out(packet));
    // The first packet's progress counts against 8192: the length is known from the second on.
    const unsigned progress = static_cast<unsigned>((offset + n) * 1000 / (offset == 0 ? 8192 : total));
    if (progress != last && progress < 1000) lines.push_back("progress " + std::to_string(progress));
    last = progress;
    lines.push_back("sleep 10");
  }
  lines.push_back(Out({0x07, 0x04, 0x00, 0x00, 0x00, 0x00, image[0]}));
  return lines;
}

TEST_F(ProgramTest, VersionHelpAndTheManPageNameEveryCommandAndExitStatus) {
  const Outcome version = Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, std::string("veltrane-cli ") + veltrane::build::kVersion + "\n");
  const Outcome help = Run({"--help"});
  EXPECT_EQ(help.status, 0);
  // The man page's source with its hyphen and font escapes taken out.
  std::string man = ReadText(std::string(VELTRANE_SAMPLES_DIR) + "/../cli/veltrane-cli.1");
  for (const char* escape : {"\\-", "\\fB", "\\fR", "\\fI"}) {
    const std::string e(escape);
    for (std::size_t at; (at = man.find(e)) != std::string::npos;) man.replace(at, e.size(), e == "\\-" ? "-" : "");
  }
  for (const char* word : {"list", "info", "check", "flash", "feedback", "eeprom", "image",
                           "--json", "--device", "--simulate", "--sim-fault", "--trace",
                           "--no-verify", "--backup", "--force", "image pack"}) {
    EXPECT_NE(help.out.find(word), std::string::npos) << word;
    EXPECT_NE(man.find(word), std::string::npos) << word;
  }
  for (const char* status : {"0  done", "1  device missing", "2  bad usage", "3  image refused"}) {
    EXPECT_NE(help.out.find(status), std::string::npos) << status;
  }
  for (const char* status : {".B 0", ".B 1", ".B 2", ".B 3"}) {
    EXPECT_NE(man.find(status), std::string::npos) << status;
  }
}

TEST_F(ProgramTest, UsageErrorsExitTwoAndSayWhatIsWrong) {
  EXPECT_EQ(Run({}).status, 2);
  const Outcome unknown = Run({"frobnicate"});
  EXPECT_EQ(unknown.status, 2);
  EXPECT_NE(unknown.err.find("'frobnicate' is not a command"), std::string::npos) << unknown.err;
  EXPECT_NE(unknown.raw_err.find("veltrane-cli: 'frobnicate' is not a command"), std::string::npos);
  EXPECT_NE(Run({"--json", "flsh"}).err.find("Did you mean 'flash'?"), std::string::npos);
  EXPECT_EQ(Sim({"check"}).status, 2);
  EXPECT_EQ(Sim({"feedback"}).status, 2);
  EXPECT_EQ(Sim({"feedback", "set", "0.25", "0.50"}).status, 2);

  const Outcome not_in_table = Sim({"feedback", "set", "0.25", "0.5", "1.00"});
  EXPECT_EQ(not_in_table.status, 2);
  EXPECT_NE(not_in_table.err.find("'0.5' is not a feedback resolution"), std::string::npos);
  EXPECT_NE(not_in_table.err.find("0.0078125 0.015625 0.03125 0.0625 0.125 0.25 0.50 1.00"),
            std::string::npos);
  EXPECT_TRUE(LinesOf(Trace(), "out").empty()) << "nothing may reach the device";

  EXPECT_EQ(Sim({"eeprom", "read", "0xFFF0", "0x20"}).status, 2);
  EXPECT_EQ(Sim({"eeprom", "read", "0x10000", "1"}).status, 2);
  EXPECT_EQ(Sim({"eeprom", "read", "0", "lots"}).status, 2);
  EXPECT_EQ(Sim({"eeprom", "write", "0", dir_ + "/missing.bin"}).status, 2);
  EXPECT_EQ(Run({"--simulate", "--sim-fault", "sideways:1", "info"}).status, 2);
  const Outcome trace_alone = Run({"--trace", trace_, "info"});
  EXPECT_EQ(trace_alone.status, 2);
  EXPECT_NE(trace_alone.err.find("--simulate"), std::string::npos);
  const Outcome bad_id = Run({"image", "pack", "--vendor", "0x10000", "--product", "4",
                              "--version", "1", Sample("truncated.bin"), dir_ + "/x.bin"});
  EXPECT_EQ(bad_id.status, 2);
  EXPECT_NE(bad_id.err.find("--vendor takes a number from 0 to 65535"), std::string::npos);
}

TEST_F(ProgramTest, ListShowsBothInterfacesOfTheDacAsTextAndJson) {
  const Outcome table = Sim({"list"});
  EXPECT_EQ(table.status, 0);
  EXPECT_EQ(table.out,
            "serial       location       product  revision  transport  path\n"
            "SIM0001      sim-1          0x0004   0x0102    simulated  sim:/dac0/if1\n");
  const Outcome text = Sim({"list", "-v"});
  EXPECT_EQ(text.status, 0);
  EXPECT_NE(text.out.find("sim:/dac0/if1\n  product ID   0x0004\n  usage page   0xff00 (vendor-defined)\n"
                          "  reports      input 65, output 65 bytes\n"
                          "  hardware ID  USB\\VID_3917&PID_0004&REV_0102\n"
                          "  transport    simulated\n"
                          "  interrupt OUT yes (bulk blocks go there)\n"
                          "  access       read and write\n"),
            std::string::npos)
      << text.out;
  EXPECT_NE(text.out.find("sim:/dac0/if0"), std::string::npos);
  EXPECT_NE(text.out.find("interrupt OUT no (every output report goes as SET_REPORT on endpoint 0)"),
            std::string::npos);

  const Outcome json = Sim({"--json", "list"});
  EXPECT_EQ(json.status, 0);
  EXPECT_TRUE(JsonCheck::Valid(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"path\": \"sim:/dac0/if1\""), std::string::npos);
  EXPECT_NE(json.out.find("\"usage_page\": 65280"), std::string::npos);
  EXPECT_NE(json.out.find("\"accessible\": true"), std::string::npos);
  EXPECT_NE(json.out.find("\"dacs\": [\n    {\n      \"serial\": \"SIM0001\",\n      \"location\": \"sim-1\",\n"
                          "      \"product_id\": 4,\n      \"revision\": 258,\n      \"transport\": \"simulated\""),
            std::string::npos) << json.out;
  EXPECT_NE(json.out.find("\"transport\": \"simulated\""), std::string::npos);
  EXPECT_NE(json.out.find("\"interrupt_out\": true"), std::string::npos);

  const Outcome bad_transport = Sim({"--transport", "usbfs", "list"});
  EXPECT_EQ(bad_transport.status, 2);
  EXPECT_NE(bad_transport.err.find("--transport takes usb or hidraw"), std::string::npos);

  const Outcome elsewhere = Sim({"--device", "/dev/hidraw9", "--json", "list"});
  EXPECT_EQ(elsewhere.status, 1);
  EXPECT_EQ(elsewhere.out.substr(0, 48), "{\n  \"interfaces\": [],\n  \"dacs\": [],\n  \"error\": {");
}

// Two DACs of one product and different revisions: each is listed,
// identified and judged by its own device's hardware ID, never the first one's.
TEST_F(ProgramTest, TwoDacsOfOneProductEachCarryTheirOwnHardwareId) {
  const std::vector<std::string> two = {"--sim-count", "2", "--sim-revision", "0102,0103"};
  auto with = [&](std::vector<std::string> more) {
    more.insert(more.begin(), two.begin(), two.end());
    return Sim(more);
  };
  const std::string list = with({"list", "-v"}).out;
  EXPECT_NE(list.find("REV_0103", list.find("sim:/dac1/if1\n")), std::string::npos) << list;
  struct Dac {
    const char* serial;
    const char* hardware_id;
    int check_newer;  // `check` of a 0x0103 image: ready, or already the latest
  };
  for (const Dac& dac : {Dac{"SIM0001", "USB\\VID_3917&PID_0004&REV_0102", 0},
                         Dac{"SIM0002", "USB\\VID_3917&PID_0004&REV_0103", 3}}) {
    SCOPED_TRACE(dac.serial);
    const Outcome info = with({"--serial", dac.serial, "info"});
    EXPECT_EQ(info.status, 0);
    EXPECT_NE(info.out.find(std::string("Hardware ID   ") + dac.hardware_id + "\n"), std::string::npos)
        << info.out;
    EXPECT_EQ(with({"--serial", dac.serial, "check", Sample("newer-0103.bin")}).status, dac.check_newer);
  }
}

TEST_F(ProgramTest, InfoIdentifiesTheDacAndTellsAnIncompleteImageFromAValidOne) {
  const Outcome valid = Sim({"info"});
  EXPECT_EQ(valid.status, 0);
  EXPECT_EQ(valid.out,
            "Vendor ID     0x3917\nProduct ID    0x0004\nRevision      0x0102\n"
            "Hardware ID   USB\\VID_3917&PID_0004&REV_0102\nDevice path   sim:/dac0/if1\n"
            "Transfer      EEPROM\nEEPROM image  valid, version 0x0102, 2048 bytes\n");

  // A write that fails half-way leaves byte 0 inverted.
  ASSERT_EQ(Sim({"--sim-fault", "out:40", "flash", Sample("newer-0103.bin")}).status, 1);
  const Outcome incomplete = Sim({"info"});
  EXPECT_EQ(incomplete.status, 0);
  EXPECT_NE(incomplete.out.find("EEPROM image  incomplete (version 0x0103, 2048 bytes)"), std::string::npos)
      << incomplete.out;
  EXPECT_NE(incomplete.out.find("Flashing the image again repairs it."), std::string::npos);
  EXPECT_NE(incomplete.out.find("flash again with --changed-only to finish (at most 1.5 s)"), std::string::npos)
      << incomplete.out;

  const Outcome json = Sim({"--json", "info"});
  EXPECT_TRUE(JsonCheck::Valid(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"state\": \"incomplete\""), std::string::npos);
  EXPECT_NE(json.out.find("\"revision\": 258"), std::string::npos);

  // Products 16 and 17 keep no image in the EEPROM: nothing is read.
  const Outcome bulk = Sim({"--sim-product", "16", "--json", "info"});
  EXPECT_EQ(bulk.status, 0);
  EXPECT_NE(bulk.out.find("\"eeprom_image\": null"), std::string::npos);
  EXPECT_TRUE(LinesOf(Trace(), "out").empty());

  const Outcome missing = Sim({"--device", "/dev/hidraw9", "info"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("No device found!\nPlease connect device\n"), std::string::npos);
}

TEST_F(ProgramTest, CheckJudgesEverySampleWithTheSystemsTexts) {
  struct Case {
    const char* sample;
    int status;
    const char* says;
  };
  const Case cases[] = {
      {"newer-0103.bin", 0, ""},
      {"product6-0103.bin", 0, ""},
      {"same-0102.bin", 3, "Device has latest update!\n"},
      {"older-0101.bin", 3, "Device has latest update!\n"},
      {"bad-checksum.bin", 3, "Invalid Image!\n"},
      {"product5-0103.bin", 3,
       "Device and Image versions are not compatible!\nDevice ID 0x3917-0x0004\nImage ID 0x3917-0x0005\n"},
      {"truncated.bin", 3, "Invalid Image!\n"},
      {"no-such-image.bin", 3, "Failed open file!\n"},
  };
  for (const Case& c : cases) {
    const Outcome outcome = Sim({"check", Sample(c.sample)});
    EXPECT_EQ(outcome.status, c.status) << c.sample;
    EXPECT_EQ(outcome.err.substr(0, std::string(c.says).size()), c.says) << c.sample;
  }
  EXPECT_NE(Sim({"check", Sample("truncated.bin")}).err.find("only 10 bytes long"), std::string::npos);
  EXPECT_NE(Sim({"check", Sample("no-such-image.bin")}).err.find("no such file"), std::string::npos);
  EXPECT_NE(Sim({"check", dir_}).err.find("cannot be read"), std::string::npos);
  EXPECT_TRUE(LinesOf(Trace(), "out").empty()) << "check never writes";

  const Outcome json = Sim({"--json", "check", Sample("same-0102.bin")});
  EXPECT_EQ(json.status, 3);
  EXPECT_TRUE(JsonCheck::Valid(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"verdict\": \"not_newer\""), std::string::npos);
  EXPECT_NE(json.out.find("\"message\": \"Device has latest update!\""), std::string::npos);

  EXPECT_EQ(Sim({"--sim-product", "16", "check", Sample("bulk-product16.bin")}).status, 0);
}

TEST_F(ProgramTest, FlashNoVerifySendsExactlyTheDescribedPackets) {
  const auto image = ReadBytes(Sample("newer-0103.bin"));
  const Outcome outcome = Sim({"flash", "--no-verify", Sample("newer-0103.bin")});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.out, "EEPROM program completed. (not verified: nothing was read back)\n");
  // The header is read first, as on the verified road (byte 0 is held to
  // fail every header the run can leave); then the described packets alone.
  constexpr long kHeaderRead = 4;
  const auto trace = Trace();
  ASSERT_GT(trace.size(), static_cast<std::size_t>(kHeaderRead));
  EXPECT_EQ(trace[0], Out({0x04, 0x00, 0x00, 0xA0}));
  EXPECT_EQ(LinesOf({trace.begin(), trace.begin() + kHeaderRead}, "in").size(), 1u);
  EXPECT_EQ(std::vector<std::string>(trace.begin() + kHeaderRead, trace.end()), ExpectedImageTrace(image));
  const auto eeprom = ReadBytes(eeprom_);
  ASSERT_EQ(eeprom.size(), 65536u);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
  // Not a terminal: plain percentage lines.
  EXPECT_NE(outcome.err.find("50%\n"), std::string::npos);
  EXPECT_NE(outcome.err.find("100%\n"), std::string::npos);
}

TEST_F(ProgramTest, FlashVerifiesTheImageBeforeTheRestorePacketAndReadsByteZeroBack) {
  const auto image = ReadBytes(Sample("product6-0103.bin"));
  const Outcome outcome = Sim({"--json", "flash", Sample("product6-0103.bin")});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  EXPECT_EQ(outcome.err, "") << "--json: no progress";
  const auto trace = Trace();
  const auto written = ExpectedImageTrace(image);
  // The header is read first (select, request, answer, pause): byte 0 must
  // fail every header the run can leave. Then, up to the last write
  // packet's pause, the plain download.
  constexpr long kHeaderRead = 4;
  ASSERT_GT(trace.size(), written.size() + kHeaderRead);
  EXPECT_EQ(trace[0], Out({0x04, 0x00, 0x00, 0xA0}));
  EXPECT_TRUE(std::equal(written.begin(), written.end() - 1, trace.begin() + kHeaderRead));
  const auto restore = std::find(trace.begin(), trace.end(), written.back());
  ASSERT_NE(restore, trace.end());
  // Between them the whole image is read back, byte 0 still inverted.
  const std::vector<std::string> between(trace.begin() + kHeaderRead + static_cast<long>(written.size() - 1),
                                         restore);
  EXPECT_EQ(between.front(), Out({0x04, 0x00, 0x00, 0xA0}));
  EXPECT_EQ(LinesOf(between, "in").size(), (image.size() + 57) / 58);
  // After it, byte 0 is read once more.
  const std::vector<std::string> after(restore + 1, trace.end());
  ASSERT_EQ(LinesOf(after, "in").size(), 1u);
  EXPECT_EQ(LinesOf(after, "in")[0].substr(0, 26), "in 00 07 05 00 00 00 00 " + Out({image[0]}).substr(7, 2));
  EXPECT_EQ(ReadBytes(eeprom_)[0], image[0]);
}

TEST_F(ProgramTest, VerifyCatchesASilentlyDroppedWriteAndLeavesByteZeroInverted) {
  const auto image = ReadBytes(Sample("newer-0103.bin"));
  const Outcome outcome = Sim({"--sim-fault", "drop:5", "flash", Sample("newer-0103.bin")});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("Eeprom programm failed! Please try again!\n"), std::string::npos);
  EXPECT_NE(outcome.err.find("16 byte(s) read back differ from the image, the first at offset 0x0040"),
            std::string::npos)
      << outcome.err;
  const std::string restore = Out({0x07, 0x04, 0x00, 0x00, 0x00, 0x00, image[0]});
  const auto trace = Trace();
  EXPECT_EQ(std::find(trace.begin(), trace.end(), restore), trace.end());
  EXPECT_EQ(ReadBytes(eeprom_)[0], static_cast<std::uint8_t>(~image[0]));
}

TEST_F(ProgramTest, ADroppedFirstPacketStillLeavesNoValidLookingImage) {
  // The factory image is valid; the new image's first packet never lands.
  const auto image = ReadBytes(Sample("newer-0103.bin"));
  const Outcome outcome = Sim({"--sim-fault", "drop:1", "flash", Sample("newer-0103.bin")});
  EXPECT_EQ(outcome.status, 1);
  // Byte 0 fails the checksum of the header bytes actually there (the old ones).
  const auto eeprom = ReadBytes(eeprom_);
  std::uint8_t sum = 0;
  for (int i = 1; i < 18; ++i) sum = static_cast<std::uint8_t>(sum + eeprom[static_cast<std::size_t>(i)]);
  EXPECT_NE(eeprom[0], sum);
  EXPECT_NE(image[0], eeprom[0]);
  const Outcome info = Sim({"info"});
  EXPECT_EQ(info.out.find("valid,"), std::string::npos) << info.out;
}

TEST_F(ProgramTest, AFailedPacketInTheMiddleThenASecondFlashCompletes) {
  const auto image = ReadBytes(Sample("newer-0103.bin"));
  const Outcome failed = Sim({"--sim-fault", "out:42", "flash", Sample("newer-0103.bin")});
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("Eeprom programm failed! Please try again!\n"
                            "The device did not take the image past byte 608 of 2048."),
            std::string::npos)
      << failed.err;
  const auto trace = Trace();
  EXPECT_EQ(LinesOf(trace, "out-failed").size(), 1u);
  EXPECT_EQ(LinesOf(trace, "out").size(), 41u) << "the header read, select and 38 packets, nothing after the failure";
  EXPECT_EQ(ReadBytes(eeprom_)[0], static_cast<std::uint8_t>(~image[0]));

  const Outcome again = Sim({"flash", Sample("newer-0103.bin")});
  EXPECT_EQ(again.status, 0) << again.err;
  const auto eeprom = ReadBytes(eeprom_);
  EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin()));
}

TEST_F(ProgramTest, FlashRefusesWhatCheckRefusesUnlessForced) {
  const Outcome same = Sim({"flash", Sample("same-0102.bin")});
  EXPECT_EQ(same.status, 3);
  EXPECT_EQ(same.err, "Device has latest update!\nFlash it all the same with 'flash --force'.\n");
  EXPECT_EQ(Sim({"flash", Sample("product5-0103.bin")}).status, 3);
  EXPECT_EQ(Sim({"flash", Sample("bad-checksum.bin")}).status, 3);
  EXPECT_EQ(Sim({"flash", Sample("truncated.bin")}).status, 3);
  EXPECT_TRUE(LinesOf(Trace(), "out").empty());
  const Outcome forced = Sim({"flash", "--force", Sample("older-0101.bin")});
  EXPECT_EQ(forced.status, 0) << forced.err;
  EXPECT_EQ(ReadBytes(eeprom_)[8], 0x01);

  const std::string big = dir_ + "/big.bin";
  std::ofstream(big, std::ios::binary) << ReadText(Sample("newer-0103.bin")) << std::string(65536, 'x');
  const Outcome too_large = Sim({"flash", big});
  EXPECT_EQ(too_large.status, 3);
  EXPECT_NE(too_large.err.find("at most 65536 bytes"), std::string::npos);
}

TEST_F(ProgramTest, AnUnpluggedDeviceIsNamedAsSuch) {
  const Outcome outcome = Sim({"--sim-fault", "unplug:30", "flash", Sample("newer-0103.bin")});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.err.find("unplugged during the transfer"), std::string::npos) << outcome.err;
}

// An old report where the answer should be (empty here: the first answer of
// the run) is a failure in its own words, and nothing read reaches stdout.
TEST_F(ProgramTest, AnAnswerToAnotherRequestFailsEveryReadingCommand) {
  for (const std::vector<std::string>& command :
       {std::vector<std::string>{"eeprom", "read", "0", "32"}, {"feedback", "get"}, {"info"}}) {
    std::vector<std::string> args = {"--sim-fault", "stale:1"};
    args.insert(args.end(), command.begin(), command.end());
    const Outcome o = Sim(args);
    SCOPED_TRACE(command.front());
    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("the DAC answered another request"), std::string::npos) << o.err;
    EXPECT_EQ(o.out, "");
  }
}

TEST_F(ProgramTest, BulkProductsStreamTheImageAndRefusedBlocksFail) {
  const Outcome outcome = Sim({"--sim-product", "16", "flash", Sample("bulk-product16.bin")});
  EXPECT_EQ(outcome.status, 0) << outcome.err;
  const auto writes = LinesOf(Trace(), "write");
  ASSERT_EQ(writes.size(), 18u);  // start, 16 blocks, end
  EXPECT_EQ(writes.front(), veltrane::testing::Write({0x0C, 0x01, 0x00, 0x00, 16, 0, 0, 0}));
  EXPECT_EQ(writes.back(), veltrane::testing::Write({0x0C, 0xFF, 0x00, 0x00, 16, 0, 0, 0}));

  const Outcome refused = Sim({"--sim-product", "16", "--sim-fault", "write:3", "flash",
                               Sample("bulk-product16.bin")});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("The bulk transfer stopped after 64 of 1000 bytes"), std::string::npos)
      << refused.err;
  EXPECT_EQ(refused.err.find("restore packet"), std::string::npos) << "bulk streaming has none";
  EXPECT_EQ(Sim({"--sim-product", "16", "flash", "--backup", dir_ + "/b.bin",
                 Sample("bulk-product16.bin")}).status, 2);
}

TEST_F(ProgramTest, FeedbackSetSendsTheDescribedBlockAndGetReadsItBack) {
  const Outcome set = Sim({"feedback", "set", "0.25", "0.50", "1.00"});
  EXPECT_EQ(set.status, 0) << set.err;
  EXPECT_EQ(set.out, "Program completed.\n");
  EXPECT_EQ(Trace(), (std::vector<std::string>{
                         Out({0x04, 0x00, 0x00, 0xA0}),
                         Out({0x0A, 0x04, 0x00, 0x00, 0x17, 0x12, 0x00, 0x1F, 0x3F, 0x7F}),
                         "sleep 1",
                     }));
  const Outcome get = Sim({"feedback", "get"});
  EXPECT_EQ(get.status, 0);
  EXPECT_EQ(get.out, "32/48/96 kHz  0.25\n44.1 kHz      0.50\n88.2 kHz      1.00\n");
  const Outcome json = Sim({"--json", "feedback", "get"});
  EXPECT_TRUE(JsonCheck::Valid(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"rate_group\": \"88.2 kHz\",\n      \"resolution\": \"1.00\",\n      \"mask\": 127"),
            std::string::npos)
      << json.out;

  const Outcome failed = Sim({"--sim-fault", "out:2", "feedback", "set", "0.25", "0.50", "1.00"});
  EXPECT_EQ(failed.status, 1);
  // The page's message unchanged, then where it failed and the system's words.
  EXPECT_EQ(failed.err.rfind("Failed programming\nFeedback Sample Resolution!\nFailed at: ", 0), 0u)
      << failed.err;
}

TEST_F(ProgramTest, EepromReadDumpsOrSavesAndWriteRestoresABackup) {
  const Outcome dump = Sim({"eeprom", "read", "0x1712", "4"});
  EXPECT_EQ(dump.status, 0);
  EXPECT_EQ(dump.out, "1712: 00 0f 1f 3f                                      ...?\n");

  const std::string backup = dir_ + "/backup.bin";
  const Outcome flashed = Sim({"flash", "--backup", backup, Sample("newer-0103.bin")});
  ASSERT_EQ(flashed.status, 0) << flashed.err;
  const auto saved = ReadBytes(backup);
  ASSERT_EQ(saved.size(), 2048u);
  EXPECT_EQ(saved[8], 0x02) << "the factory image's version, from before the write";

  const Outcome restored = Sim({"eeprom", "write", "0", backup});
  EXPECT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(restored.out, "Wrote 2048 bytes from 0x0000.\n");
  const std::string raw = dir_ + "/raw.bin";
  EXPECT_EQ(Sim({"eeprom", "read", "0", "2048", "-o", raw}).status, 0);
  EXPECT_EQ(ReadBytes(raw), saved);

  const Outcome whole = Sim({"eeprom", "read", "0", "0x10000", "-o", raw});
  EXPECT_EQ(whole.status, 0) << whole.err;
  EXPECT_EQ(ReadBytes(raw).size(), 65536u);
  EXPECT_EQ(Sim({"--sim-fault", "in:3", "eeprom", "read", "0", "256"}).status, 1);
}

TEST_F(ProgramTest, ImagePackRebuildsTheSamplesAndImageInfoJudgesThem) {
  const std::string body = dir_ + "/body.bin";
  const auto newer = ReadBytes(Sample("newer-0103.bin"));
  std::ofstream(body, std::ios::binary)
      .write(reinterpret_cast<const char*>(newer.data()) + 18, static_cast<long>(newer.size() - 18));
  const std::string packed = dir_ + "/packed.bin";
  const Outcome pack = Run({"image", "pack", "--vendor", "0x3917", "--product", "4", "--version",
                            "0x0103", body, packed});
  EXPECT_EQ(pack.status, 0) << pack.err;
  EXPECT_EQ(ReadBytes(packed), newer);

  const Outcome info = Run({"image", "info", Sample("newer-0103.bin")});
  EXPECT_EQ(info.status, 0);
  EXPECT_NE(info.out.find("Checksum      0xa6 (bytes 1-17 add up to 0xa6): valid\n"), std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("Version       0x0103\n"), std::string::npos);
  EXPECT_NE(info.out.find("Length        2048 bytes (header field)\n"), std::string::npos);
  const Outcome json = Run({"--json", "image", "info", Sample("product5-0103.bin")});
  EXPECT_TRUE(JsonCheck::Valid(json.out)) << json.out;
  EXPECT_NE(json.out.find("\"product_id\": 5"), std::string::npos);

  const Outcome bad = Run({"image", "info", Sample("bad-checksum.bin")});
  EXPECT_EQ(bad.status, 3);
  EXPECT_NE(bad.out.find("wrong"), std::string::npos);
  EXPECT_EQ(bad.err, "Invalid Image!\n");
  EXPECT_EQ(Run({"image", "info", Sample("truncated.bin")}).status, 3);
}

}  // namespace
}  // namespace veltrane::cli

namespace veltrane::cli {
namespace {

using namespace veltrane::cli::testing;

// What a failed flash says is what happened: nothing written when the first
// write packet failed; the image in place when only the last read-back failed.
TEST_F(ProgramTest, AFailedFlashSaysOnlyWhatIsTrue) {
  ASSERT_EQ(Sim({"info"}).status, 0);
  const auto before = ReadBytes(eeprom_);
  const Outcome first_packet = Sim({"--sim-fault", "out:4", "flash", Sample("newer-0103.bin")});
  EXPECT_EQ(first_packet.status, 1);
  EXPECT_NE(first_packet.err.find("Nothing was written"), std::string::npos) << first_packet.err;
  EXPECT_EQ(first_packet.err.find("stays inverted"), std::string::npos) << first_packet.err;
  EXPECT_NE(first_packet.err.find("Failed at: write packet 1 of 128 (address 0x0000)"), std::string::npos)
      << first_packet.err;
  EXPECT_EQ(ReadBytes(eeprom_), before);

  // The last input report of a clean flash is the read-back of byte 0.
  ASSERT_EQ(Sim({"flash", Sample("newer-0103.bin")}).status, 0);
  const auto ins = LinesOf(Trace(), "in").size();
  std::remove(eeprom_.c_str());
  const Outcome last_read = Sim({"--sim-fault", "in:" + std::to_string(ins), "flash", Sample("newer-0103.bin")});
  EXPECT_EQ(last_read.status, 1);
  EXPECT_NE(last_read.err.find("the image is in place but the last read-back failed: run `veltrane-cli info`"),
            std::string::npos)
      << last_read.err;
  EXPECT_EQ(last_read.out.find("completed"), std::string::npos);
  EXPECT_EQ(ReadBytes(eeprom_)[0], ReadBytes(Sample("newer-0103.bin"))[0]);
}

}  // namespace
}  // namespace veltrane::cli

namespace veltrane::cli {
namespace {

using namespace veltrane::cli::testing;

// Waits until `pid` has a handler for `signal_number` (its SigCgt mask says
// so); false when it ends first or never installs one.
bool WaitUntilCatching(pid_t pid, int signal_number) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (std::chrono::steady_clock::now() < deadline) {
    for (const std::string& line : ReadLines("/proc/" + std::to_string(pid) + "/status")) {
      if (line.rfind("State:", 0) == 0 && line.find('Z') != std::string::npos) return false;
      if (line.rfind("SigCgt:", 0) == 0 &&
          (std::stoull(line.substr(7), nullptr, 16) >> (signal_number - 1) & 1) != 0) {
        return true;
      }
    }
    sched_yield();
  }
  return false;
}

TEST_F(ProgramTest, ABackupNeverOverwritesTheImageNorGoesToAFileNamedDash) {
  const std::string image = dir_ + "/image.bin";
  const auto bytes = ReadBytes(Sample("newer-0103.bin"));
  std::ofstream(image, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
  ASSERT_EQ(symlink(image.c_str(), (dir_ + "/link.bin").c_str()), 0);
  ASSERT_EQ(link(image.c_str(), (dir_ + "/hard.bin").c_str()), 0);
  ASSERT_EQ(chdir(dir_.c_str()), 0);
  for (const std::string& backup : {image, std::string("image.bin"), dir_ + "/link.bin",
                                    dir_ + "/hard.bin", dir_ + "/../" + dir_.substr(5) + "/image.bin",
                                    std::string("-")}) {
    const Outcome o = Sim({"flash", "--backup", backup, image});
    EXPECT_EQ(o.status, 2) << backup << ": " << o.err;
    EXPECT_NE(o.err.find("Nothing was written"), std::string::npos) << backup << ": " << o.err;
    EXPECT_EQ(ReadBytes(image), bytes) << backup;
    EXPECT_TRUE(LinesOf(Trace(), "out").empty()) << backup;
  }
  EXPECT_NE(access((dir_ + "/-").c_str(), F_OK), 0);
  ASSERT_EQ(chdir("/"), 0);
}

TEST_F(ProgramTest, OutputFilesNeverFollowALinkAndStdoutFailuresAreFailures) {
  const std::string target = dir_ + "/target";
  std::ofstream(target) << "keep";
  ASSERT_EQ(symlink(target.c_str(), (dir_ + "/out.bin.part").c_str()), 0);
  const Outcome read = Sim({"eeprom", "read", "0", "16", "-o", dir_ + "/out.bin"});
  EXPECT_EQ(read.status, 0) << read.err;
  EXPECT_EQ(ReadText(target), "keep");
  EXPECT_EQ(ReadBytes(dir_ + "/out.bin").size(), 16u);

  const std::string body = dir_ + "/body.bin";
  std::ofstream(body) << "body";
  const Outcome same = Run({"image", "pack", "--vendor", "0x3917", "--product", "4", "--version",
                            "0x0103", body, body});
  EXPECT_EQ(same.status, 2) << same.err;
  EXPECT_EQ(ReadText(body), "body");

  const std::vector<std::vector<std::string>> to_stdout = {
      SimArgs({"eeprom", "read", "0", "16", "-o", "-"}),
      {"image", "pack", "--vendor", "0x3917", "--product", "4", "--version", "0x0103", body, "-"},
      SimArgs({"info"}),
      SimArgs({"--json", "feedback", "get"}),
  };
  for (const auto& args : to_stdout) {
    const Outcome o = Run(args, "/dev/null", "/dev/full");
    EXPECT_EQ(o.status, 1) << args.back() << ": " << o.err;
    EXPECT_NE(o.err.find("Writing to standard output failed"), std::string::npos) << o.err;
  }
  // Nothing but what the test made is left in the folder: no temporary files.
  const std::string command = "ls -A '" + dir_ + "' | grep -v -x -e stdout -e stderr -e eeprom.bin -e trace.txt"
                              " -e body.bin -e out.bin -e out.bin.part -e target";
  EXPECT_NE(std::system(command.c_str()), 0) << "a temporary file was left behind";
}

TEST_F(ProgramTest, AFlashKilledMidWayLeavesEveryPacketItSentInTheFile) {
  // 8 KiB: 513 write packets, whose trace is more than a pipe holds.
  const std::string body = dir_ + "/body.bin", image_path = dir_ + "/image.bin";
  std::ofstream(body, std::ios::binary) << std::string(8192 - 18, 'b');
  ASSERT_EQ(Run({"image", "pack", "--vendor", "0x3917", "--product", "4", "--version", "0x0103", body, image_path}).status, 0);
  const auto image = ReadBytes(image_path);
  ASSERT_EQ(Sim({"info"}).status, 0);  // the simulated DAC makes its FILE
  const auto before = ReadBytes(eeprom_);
  // The trace is a pipe this test reads: the flash goes only as far as the
  // test reads (and the pipe holds), and is killed after 40 write packets.
  const std::string fifo = dir_ + "/trace.fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const pid_t pid = Start({"--simulate=" + eeprom_, "--virtual-time", "--trace", fifo, "--no-backup",
                           "--no-history", "flash", image_path});
  ASSERT_GT(pid, 0);
  const int fd = open(fifo.c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  std::string text;
  int writes = 0;
  bool killed = false;
  char chunk[512];
  for (ssize_t n; (n = read(fd, chunk, sizeof chunk)) > 0;) {
    for (ssize_t i = 0; i < n; ++i) {
      text += chunk[i];
      if (chunk[i] == '\n' && text.compare(text.rfind('\n', text.size() - 2) + 1, 13, "out 00 16 04 ") == 0 &&
          ++writes == 40 && !killed) {
        killed = kill(pid, SIGKILL) == 0;
      }
    }
  }
  close(fd);
  EXPECT_EQ(Finish(pid).status, -1);
  ASSERT_TRUE(killed);

  // Every write packet the trace shows, put on the EEPROM as it was.
  std::vector<std::uint8_t> replayed = before;
  std::size_t taken = 0;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("out ", 0) != 0) continue;
    std::vector<std::uint8_t> report;
    for (std::size_t at = 4; at + 1 < line.size(); at += 3) report.push_back(static_cast<std::uint8_t>(std::stoi(line.substr(at, 2), nullptr, 16)));
    if (report[2] != 0x04) continue;
    const unsigned address = report[5] * 256u + report[6];
    std::copy(report.begin() + 7, report.begin() + 1 + report[1], replayed.begin() + address);
    ++taken;
  }
  ASSERT_LT(taken, 513u) << "the flash ended before the kill";
  // The DAC keeps a packet before it is traced: FILE may hold one more.
  std::vector<std::uint8_t> one_more = replayed;
  const std::size_t next = taken * 16;
  std::copy(image.begin() + static_cast<long>(next), image.begin() + static_cast<long>(std::min(next + 16, image.size())),
            one_more.begin() + static_cast<long>(next));
  const auto after = ReadBytes(eeprom_);
  EXPECT_TRUE(after == replayed || after == one_more) << taken << " packets traced";
  EXPECT_NE(after, before);
}

TEST_F(ProgramTest, SigintSigtermAndSighupStopAReadFromAFifoNobodyWritesTo) {
  const std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::pair<int, const char*> signals[] = {
      {SIGINT, "Stopped by Ctrl-C"}, {SIGTERM, "Stopped by SIGTERM"}, {SIGHUP, "Stopped by SIGHUP"}};
  for (const auto& [signal_number, said] : signals) {
    const pid_t pid = Start(SimArgs({"check", fifo}));
    ASSERT_GT(pid, 0);
    // The handler is in place before the signal is sent (else it would simply end the program).
    const bool catching = WaitUntilCatching(pid, signal_number);
    EXPECT_TRUE(catching) << said;
    kill(pid, catching ? signal_number : SIGKILL);
    const Outcome o = Finish(pid);
    EXPECT_EQ(o.status, 1) << said << ": " << o.err;
    EXPECT_NE(o.err.find(said), std::string::npos) << o.err;
  }
}

}  // namespace
}  // namespace veltrane::cli
