// veltrane-cli driven as scripts drive it: one JSON document from every
// command, several DACs told apart, "-" for stdin and stdout.
#include "tests/cli/program_runner.h"

namespace veltrane::cli {
namespace {

using namespace veltrane::cli::testing;

class MachineTest : public ProgramTest {
 protected:
  std::string WriteFile(const std::string& name, const std::vector<std::uint8_t>& bytes) {
    const std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }
};

TEST_F(MachineTest, EveryCommandWritesOneJsonDocumentOnSuccessAndOnFailure) {
  const std::string data = WriteFile("data.bin", {0x11, 0x22});
  const std::string odd_name = dir_ + "/image-\xff\xfe.bin";  // not UTF-8, and not there
  struct Case {
    std::vector<std::string> args;
    int status;
  };
  const std::vector<Case> cases = {
      {{"list"}, 0},
      {{"--device", "/dev/hidraw77", "list"}, 1},
      {{"info"}, 0},
      {{"--sim-fault", "in:1", "info"}, 1},
      {{"check", Sample("newer-0103.bin")}, 0},
      {{"check", odd_name}, 3},
      {{"check", "/dev/zero"}, 3},
      {{"flash", Sample("newer-0103.bin")}, 0},
      {{"--sim-fault", "out:40", "flash", Sample("newer-0103.bin")}, 1},
      {{"flash", Sample("same-0102.bin")}, 3},
      {{"feedback", "get"}, 0},
      {{"--sim-fault", "in:1", "feedback", "get"}, 1},
      {{"feedback", "set", "0.25", "0.50", "1.00"}, 0},
      {{"feedback", "set", "0.25", "0.5", "1.00"}, 2},
      {{"eeprom", "read", "0x1712", "4"}, 0},
      {{"eeprom", "read", "0x1712", "4", "-o", "-"}, 2},
      {{"eeprom", "write", "0x8000", data}, 0},
      {{"eeprom", "write", "0x8000", odd_name}, 2},
      {{"image", "info", Sample("newer-0103.bin")}, 0},
      {{"image", "info", Sample("truncated.bin")}, 3},
      {{"image", "pack", "--vendor", "0x3917", "--product", "4", "--version", "1", data, dir_ + "/p.bin"}, 0},
      {{"image", "pack", "--vendor", "0x13917", "--product", "4", "--version", "1", data, dir_ + "/p.bin"}, 2},
      {{"frobnicate"}, 2},
      {{}, 2},
      {{"--sim-count", "2", "info"}, 2},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    // --json after the command is as good as before it.
    std::vector<std::string> args = c.args;
    args.insert(c.status % 2 == 0 ? args.end() : args.begin(), "--json");
    const Outcome o = Sim(args);
    EXPECT_EQ(o.status, c.status) << line << o.err;
    EXPECT_TRUE(JsonCheck::Valid(o.out)) << line << o.out;
    EXPECT_TRUE(JsonCheck::Utf8(o.out)) << line << o.out;
    const bool has_error = o.out.find("\n  \"error\": {\n    \"code\": " + std::to_string(c.status) + ",") != std::string::npos;
    EXPECT_EQ(has_error, c.status != 0) << line << o.out;
    EXPECT_EQ(o.err.find('%'), std::string::npos) << line << "no progress unless asked";
  }
  const Outcome bad_name = Sim({"--json", "check", odd_name});
  EXPECT_NE(bad_name.out.find("image-\xef\xbf\xbd\xef\xbf\xbd.bin"), std::string::npos) << bad_name.out;

  const Outcome progress = Sim({"--json", "--progress=json", "flash", "--force", Sample("newer-0103.bin")});
  EXPECT_EQ(progress.status, 0) << progress.err;
  EXPECT_NE(progress.err.find("{\"progress\": 1000}\n"), std::string::npos) << progress.err;
  EXPECT_NE(progress.out.find("\"verified\": true"), std::string::npos) << progress.out;
  EXPECT_NE(progress.out.find("\"bytes_written\": 2048"), std::string::npos) << progress.out;
}

TEST_F(MachineTest, SeveralDacsAreNeverGuessedAndEachSelectorPicksItsOwnEeprom) {
  const auto sim = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"--simulate=" + eeprom_, "--sim-count", "3", "--virtual-time"});
    return Run(args);
  };
  const Outcome refused = sim({"eeprom", "write", "0x8000", WriteFile("x.bin", {0x99})});
  EXPECT_EQ(refused.status, 2);
  for (const char* serial : {"SIM0001", "SIM0002", "SIM0003"}) {
    EXPECT_NE(refused.err.find(serial), std::string::npos) << refused.err;
  }
  const Outcome listed = sim({"list"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(std::count(listed.out.begin(), listed.out.end(), '\n'), 4) << listed.out;

  struct Pick {
    std::vector<std::string> selector;
    std::string file;
    std::uint8_t byte;
  };
  const std::vector<Pick> picks = {{{"--serial", "SIM0002"}, eeprom_ + ".2", 0x22},
                                   {{"--location", "sim-3"}, eeprom_ + ".3", 0x33},
                                   {{"--device", "sim:/dac0/if1"}, eeprom_, 0x11}};
  for (const Pick& p : picks) {
    std::vector<std::string> args = p.selector;
    args.insert(args.end(), {"eeprom", "write", "0x8000", WriteFile("b.bin", {p.byte})});
    EXPECT_EQ(sim(args).status, 0) << p.file;
  }
  for (const Pick& p : picks) EXPECT_EQ(ReadBytes(p.file).at(0x8000), p.byte) << p.file;

  const Outcome missing = sim({"--serial", "SIM0009", "info"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("No DAC with serial number SIM0009"), std::string::npos) << missing.err;
}

TEST_F(MachineTest, DashIsStdinForEveryFileArgumentAndStdoutForOutputs) {
  const std::string image = Sample("newer-0103.bin");
  const Outcome info = Run({"image", "info", "-"}, image);
  EXPECT_EQ(info.status, 0) << info.err;
  EXPECT_NE(info.out.find("Version       0x0103"), std::string::npos);

  // A body through a pipe, the image out on stdout: the sample again, byte for byte.
  const auto sample = ReadBytes(image);
  WriteFile("body.bin", std::vector<std::uint8_t>(sample.begin() + 18, sample.end()));
  const Outcome packed = Run({"image", "pack", "--vendor", "0x3917", "--product", "4", "--version",
                              "0x0103", "-", "-"}, dir_ + "/body.bin");
  EXPECT_EQ(packed.status, 0) << packed.err;
  EXPECT_EQ(std::vector<std::uint8_t>(packed.out.begin(), packed.out.end()), sample);

  EXPECT_EQ(Sim({"eeprom", "write", "0x8000", "-"}, WriteFile("in.bin", {1, 2, 3})).status, 0);
  const Outcome raw = Sim({"eeprom", "read", "0x8000", "3", "-o", "-"});
  EXPECT_EQ(raw.status, 0) << raw.err;
  EXPECT_EQ(raw.out, std::string("\x01\x02\x03", 3));

  EXPECT_EQ(Sim({"-q", "flash", "-"}, image).status, 0);
  EXPECT_EQ(Sim({"-q", "flash", "--force", "-"}, image).out, "") << "-q prints only errors";
}

}  // namespace
}  // namespace veltrane::cli
