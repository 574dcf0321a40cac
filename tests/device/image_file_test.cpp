// The bounded image reader at its limit: never more than limit + 1 bytes read.
#include "device/image_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sstream>

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

}  // namespace
}  // namespace veltrane
