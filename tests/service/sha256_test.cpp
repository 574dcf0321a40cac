// SHA-256 against the standard's known-answer messages, given whole and in
// uneven pieces (the pieces cross the 64-byte blocks and the padding).
#include "service/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace veltrane {
namespace {

TEST(Sha256, MatchesTheKnownAnswers) {
  const struct {
    std::string message;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrl"
       "mnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) {
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(c.message.data()),
                                              c.message.size());
    EXPECT_EQ(Sha256Hex(bytes), c.digest) << c.message.size() << " bytes, whole";
    for (const std::size_t piece : {1u, 55u, 63u, 64u, 997u}) {
      Sha256 hash;
      for (std::size_t at = 0; at < bytes.size(); at += piece) {
        hash.Update(bytes.subspan(at, std::min(piece, bytes.size() - at)));
      }
      EXPECT_EQ(hash.HexDigest(), c.digest) << c.message.size() << " bytes in pieces of " << piece;
    }
  }
}

}  // namespace
}  // namespace veltrane
