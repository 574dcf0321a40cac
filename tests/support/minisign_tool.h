// Keys and signatures made by Debian's minisign program at test time (see
// make-minisign-fixtures), so the verifier is checked against an
// implementation it shares no code with. A build that cannot run minisign
// (the Windows one under wine) is handed a folder made by the script through
// VELTRANE_MINISIGN_FIXTURES.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace veltrane::testing {

inline constexpr char kNoMinisign[] =
    "minisign is not installed (Debian package minisign), and VELTRANE_MINISIGN_FIXTURES is not set";

inline constexpr char kNoSodium[] = "this build was made without libsodium: it cannot check signatures";

inline std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The fixture folder, made once per test program; empty when there is none.
inline const std::string& MinisignFixtures() {
  static const std::string dir = [] {
    if (const char* given = std::getenv("VELTRANE_MINISIGN_FIXTURES"); given != nullptr) {
      return std::string(given);
    }
    const std::string minisign = VELTRANE_MINISIGN;
    if (minisign.empty() || !std::filesystem::exists(minisign)) return std::string();
    const std::filesystem::path made = std::filesystem::temp_directory_path() /
                                       ("veltrane-minisign-" + std::to_string(std::random_device{}()));
    const std::string command = "sh " + ShellQuoted(VELTRANE_MINISIGN_SCRIPT) + " " +
                                ShellQuoted(made.string()) + " " +
                                ShellQuoted(VELTRANE_MINISIGN_IMAGE) + " " + ShellQuoted(minisign);
    if (std::system(command.c_str()) != 0) return std::string();
    // Removed when the program ends.
    static const struct Remover {
      std::filesystem::path path;
      ~Remover() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
      }
    } remover{made};
    return made.string();
  }();
  return dir;
}

inline std::string FixtureText(const std::string& name) {
  std::ifstream in(std::filesystem::path(MinisignFixtures()) / name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

inline std::string FixturePath(const std::string& name) {
  return (std::filesystem::path(MinisignFixtures()) / name).string();
}

}  // namespace veltrane::testing
