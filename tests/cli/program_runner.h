// Runs the built veltrane-cli as a user runs it, against the simulated DAC on
// virtual time: exit status, stdout, stderr, the trace and the EEPROM file.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "tests/cli/json_check.h"
#include "tests/support/trace_lines.h"

extern char** environ;

namespace veltrane::cli::testing {

using veltrane::testing::JsonCheck;
using veltrane::testing::LinesOf;
using veltrane::testing::Out;



struct Outcome {
  int status = -1;
  std::string out;
  std::string err;      // messages without their "veltrane-cli: " prefix
  std::string raw_err;  // as written
};

inline std::string WithoutPrefix(const std::string& text) {
  const std::string prefix = "veltrane-cli: ";
  std::string plain;
  for (std::size_t at = 0; at < text.size();) {
    if (text.compare(at, prefix.size(), prefix) == 0) at += prefix.size();
    const std::size_t end = std::min(text.find('\n', at), text.size() - 1);
    plain += text.substr(at, end + 1 - at);
    at = end + 1;
  }
  return plain;
}

inline std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  const std::string text = ReadText(path);
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

inline std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadText(path));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

inline std::string Sample(const std::string& name) { return std::string(VELTRANE_SAMPLES_DIR) + "/" + name; }

class ProgramTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltrane-cli-test-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    eeprom_ = dir_ + "/eeprom.bin";
    trace_ = dir_ + "/trace.txt";
  }
  void TearDown() override {
    const std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(std::system(command.c_str()), 0);
  }

  // Runs veltrane-cli with `args`; stdout and stderr go to files, never a terminal.
  Outcome Run(std::vector<std::string> args, const std::string& stdin_path = "/dev/null",
              const std::string& stdout_path = "") {
    return Finish(Start(std::move(args), stdin_path, stdout_path));
  }

  // Starts veltrane-cli with `args` (stdout to `stdout_path`, or to a file
  // Finish reads); -1 when it could not be started.
  pid_t Start(std::vector<std::string> args, const std::string& stdin_path = "/dev/null",
              const std::string& stdout_path = "") {
    args.insert(args.begin(), VELTRANE_CLI_PATH);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string out_path = stdout_path.empty() ? dir_ + "/stdout" : stdout_path;
    const std::string err_path = dir_ + "/stderr";
    std::remove((dir_ + "/stdout").c_str());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, stdin_path.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err_path.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
  }

  // Waits for a program Start made: its exit status (-1 when a signal ended it) and output.
  Outcome Finish(pid_t pid) {
    Outcome outcome;
    if (pid < 0) return outcome;
    int status = 0;
    waitpid(pid, &status, 0);
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    outcome.out = ReadText(dir_ + "/stdout");
    outcome.raw_err = ReadText(dir_ + "/stderr");
    outcome.err = WithoutPrefix(outcome.raw_err);
    return outcome;
  }

  // The simulated DAC on virtual time, its EEPROM kept in this test's file, traced.
  Outcome Sim(std::vector<std::string> args, const std::string& stdin_path = "/dev/null",
              const std::string& stdout_path = "") {
    return Run(SimArgs(std::move(args)), stdin_path, stdout_path);
  }
  // These runs count the packets of the described sequences: the automatic
  // backup's reads before a change are left out (the history tests take them).
  std::vector<std::string> SimArgs(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--simulate=" + eeprom_, "--virtual-time", "--trace", trace_, "--no-backup"});
    return args;
  }

  std::vector<std::string> Trace() const { return ReadLines(trace_); }

  std::string dir_;
  std::string eeprom_;
  std::string trace_;
};

}  // namespace veltrane::cli::testing
