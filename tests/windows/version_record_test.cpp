// The version record and icon that dist/windows compiles into the programs;
// this test program carries the same resources and reads its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/platform/windows/windows_headers.h"
#include "veltrane_version.h"

namespace {

class VersionRecordTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char path[MAX_PATH];
    ASSERT_GT(::GetModuleFileNameA(nullptr, path, MAX_PATH), 0u);
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path, &ignored);
    ASSERT_GT(size, 0u) << "no version record in the program";
    block_.resize(size);
    ASSERT_TRUE(::GetFileVersionInfoA(path, 0, size, block_.data()));
  }

  std::string Text(const std::string& key) {
    void* value = nullptr;
    UINT length = 0;
    const std::string query = "\\StringFileInfo\\040904b0\\" + key;
    if (!::VerQueryValueA(block_.data(), query.c_str(), &value, &length)) return "<missing>";
    return length == 0 ? std::string() : std::string(static_cast<const char*>(value));
  }

  std::vector<char> block_;
};

TEST_F(VersionRecordTest, FixedPartNamesTheProjectVersionForAWindowsProgram) {
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(block_.data(), "\\", reinterpret_cast<void**>(&fixed), &length));
  using namespace veltrane::build;
  const DWORD ms = (static_cast<DWORD>(kVersionMajor) << 16) | static_cast<DWORD>(kVersionMinor);
  const DWORD ls = (static_cast<DWORD>(kVersionPatch) << 16) | static_cast<DWORD>(kVersionTweak);
  EXPECT_EQ(fixed->dwFileVersionMS, ms);
  EXPECT_EQ(fixed->dwFileVersionLS, ls);
  EXPECT_EQ(fixed->dwProductVersionMS, ms);
  EXPECT_EQ(fixed->dwProductVersionLS, ls);
  EXPECT_EQ(fixed->dwFileFlagsMask, 0x3Fu);
  EXPECT_EQ(fixed->dwFileFlags, 0u);
  EXPECT_EQ(fixed->dwFileOS, static_cast<DWORD>(VOS__WINDOWS32));
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_APP));
}

TEST_F(VersionRecordTest, StringBlockInUsEnglish) {
  EXPECT_EQ(Text("Comments"), "");
  EXPECT_EQ(Text("CompanyName"), "Veltrane Audio");
  EXPECT_EQ(Text("FileDescription"), "Veltrane MFC Application");
  EXPECT_EQ(Text("FileVersion"), veltrane::build::kVersionCommas);
  EXPECT_EQ(Text("InternalName"), "Veltrane");
  EXPECT_EQ(Text("LegalCopyright"), "Copyright (C) 2026 Veltrane Audio");
  EXPECT_EQ(Text("LegalTrademarks"), "");
  EXPECT_EQ(Text("OriginalFilename"), "Veltrane.EXE");
  EXPECT_EQ(Text("PrivateBuild"), "");
  EXPECT_EQ(Text("ProductName"), "Veltrane Application");
  EXPECT_EQ(Text("ProductVersion"), veltrane::build::kVersionCommas);
  EXPECT_EQ(Text("SpecialBuild"), "");

  WORD* translation = nullptr;
  UINT length = 0;
  ASSERT_TRUE(::VerQueryValueA(block_.data(), "\\VarFileInfo\\Translation",
                               reinterpret_cast<void**>(&translation), &length));
  ASSERT_EQ(length, 4u);
  EXPECT_EQ(translation[0], 0x0409);
  EXPECT_EQ(translation[1], 1200);
}

TEST_F(VersionRecordTest, IconGroup128IsThere) {
  EXPECT_NE(::FindResourceA(nullptr, MAKEINTRESOURCEA(128), MAKEINTRESOURCEA(14) /* RT_GROUP_ICON */),
            nullptr);
}

}  // namespace
