// The bounded image reader at its limit: never more than limit + 1 bytes read.
#include "device/image_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "device/platform/file_names.h"
#include "tests/update/scratch_dir.h"

namespace veltrane {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(ImageFileTest, ReadsUpToTheLimitAndRefusesOneByteMore) {
  testing::ScratchDir dir;
  const struct {
    std::size_t length;
    std::size_t limit;
    ImageFileStatus status;
    std::size_t kept;
  } cases[] = {
      {0, 18, ImageFileStatus::kOk, 0},
      {65536, 65536, ImageFileStatus::kOk, 65536},
      {65537, 65536, ImageFileStatus::kTooLarge, 65536},
      {18, 18, ImageFileStatus::kOk, 18},
      {19, 18, ImageFileStatus::kTooLarge, 18},  // a header read keeps just the header
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.length);
    Bytes bytes(c.length);
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13);
    const std::string path = dir.Write(bytes, "image.bin");
    const ImageFile file = ReadImageFile(path, c.limit);
    EXPECT_EQ(file.status, c.status);
    EXPECT_EQ(file.bytes, Bytes(bytes.begin(), bytes.begin() + static_cast<long>(c.kept)));
    if (c.status == ImageFileStatus::kTooLarge) {
      EXPECT_EQ(file.system_text, "too large");
    }

    // The same bytes from an open FILE* and from a stream (standard input).
    std::FILE* open = std::fopen(path.c_str(), "rb");
    ASSERT_NE(open, nullptr);
    EXPECT_EQ(ReadImageFile(open, c.limit).status, c.status);
    std::fclose(open);
    std::istringstream stream(std::string(bytes.begin(), bytes.end()));
    const ImageFile streamed = ReadImageFile(stream, c.limit);
    EXPECT_EQ(streamed.status, c.status);
    EXPECT_EQ(streamed.bytes, file.bytes);
  }
}

TEST(ImageFileTest, EndlessDeviceIsTooLargeAndMissingOrFolderSaySo) {
  if (std::filesystem::exists("/dev/zero")) {
    const ImageFile zero = ReadImageFile("/dev/zero", 16u << 20);
    EXPECT_EQ(zero.status, ImageFileStatus::kTooLarge);
    EXPECT_EQ(zero.bytes.size(), 16u << 20);
  }
  testing::ScratchDir dir;
  const ImageFile missing = ReadImageFile((dir / "nothing.bin").string(), 65536);
  EXPECT_EQ(missing.status, ImageFileStatus::kMissing);
  EXPECT_FALSE(missing.system_text.empty());
  const ImageFile folder = ReadImageFile(dir.Path().string(), 65536);
  EXPECT_EQ(folder.status, ImageFileStatus::kUnreadable);
  EXPECT_FALSE(folder.system_text.empty());
}

// The programs hold names as UTF-8 (on Windows too, where the narrow file
// functions would read them in one code page): files named in scripts no one
// code page holds, made by the standard library from the name's characters,
// read back by the UTF-8 name.
TEST(ImageFileTest, NamesInAnyScriptReadBackByTheirUtf8Name) {
  testing::ScratchDir dir;
  for (const std::u8string& name : {std::u8string(u8"образ-映像.bin"), std::u8string(u8"Zoë née.BIN"),
                                    std::u8string(u8"🎧 dac.bin"), std::u8string(u8"plain.bin")}) {
    const std::string utf8(name.begin(), name.end());
    SCOPED_TRACE(utf8);
    const std::filesystem::path file = dir.Path() / std::filesystem::path(name);
    {
      std::ofstream out(file, std::ios::binary);
      out << "DAC";
    }
    const std::string held = NameOf(file);
    ASSERT_GE(held.size(), utf8.size());
    EXPECT_EQ(held.substr(held.size() - utf8.size()), utf8);
    EXPECT_EQ(PathOf(held), file);
    const ImageFile read = ReadImageFile(held, 16);
    EXPECT_EQ(read.status, ImageFileStatus::kOk);
    EXPECT_EQ(read.bytes, (Bytes{'D', 'A', 'C'}));
    EXPECT_EQ(ReadImageFile(held + "x", 16).status, ImageFileStatus::kMissing);
  }
}

}  // namespace
}  // namespace veltrane
