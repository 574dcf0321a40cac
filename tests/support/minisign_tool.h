// Keys and signatures made by Debian's minisign program at test time (see
// make-minisign-fixtures), so the verifier is checked against an
// implementation it shares no code with. A build that cannot run minisign
// (the Windows one under wine) is handed a folder made by the script through
// VELTRANE_MINISIGN_FIXTURES.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#if VELTRANE_TEST_SODIUM
#include <sodium.h>
#endif

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

inline constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

inline std::vector<std::uint8_t> FromBase64(const std::string& text) {
  std::vector<std::uint8_t> bytes;
  std::uint32_t bits = 0;
  int held = 0;
  for (const char c : text) {
    const char* at = std::strchr(kBase64, c);
    if (c == '=' || at == nullptr) break;
    bits = (bits << 6) | static_cast<std::uint32_t>(at - kBase64);
    held += 6;
    if (held >= 8) bytes.push_back(static_cast<std::uint8_t>(bits >> (held -= 8)));
  }
  return bytes;
}

inline std::string ToBase64(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = 0;
    for (std::size_t k = 0; k < 3; ++k) group = (group << 8) | (k < n ? bytes[i + k] : 0);
    for (std::size_t k = 0; k < 4; ++k) text += k <= n ? kBase64[(group >> (18 - 6 * k)) & 63] : '=';
  }
  return text;
}

// The relabelled-signature attack: a prehashed signature ("ED") whose two
// letters are turned into the legacy form's ("Ed"). Nothing covers those
// letters, so it is then a good legacy signature over the image's 64-byte
// BLAKE2b hash.
inline std::string Relabelled(const std::string& signature) {
  std::istringstream in(signature);
  std::string text;
  int number = 0;
  for (std::string line; std::getline(in, line); ++number) {
    if (number == 1) {
      std::vector<std::uint8_t> bytes = FromBase64(line);
      bytes[1] = 'd';
      line = ToBase64(bytes);
    }
    text += line + "\n";
  }
  return text;
}

#if VELTRANE_TEST_SODIUM
// What a prehashed signature signs: BLAKE2b-512 of the image.
inline std::string Blake2b512(const std::string& bytes) {
  std::string hash(crypto_generichash_BYTES_MAX, '\0');
  crypto_generichash(reinterpret_cast<unsigned char*>(hash.data()), hash.size(),
                     reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), nullptr, 0);
  return hash;
}
#endif

}  // namespace veltrane::testing
