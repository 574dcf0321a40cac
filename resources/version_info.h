// The program's version record: the same values the Windows build carries in
// its VS_VERSIONINFO block, here for the Linux program's metadata
// (QCoreApplication) and for --version.
#pragma once

namespace veltrane::version {

inline constexpr int kMajor = 1;
inline constexpr int kMinor = 4;
inline constexpr int kPatch = 0;
inline constexpr int kBuild = 0;

inline constexpr const char* kVersionDotted = "1.4.0.0";

// The string block "040904b0" (US English, code page 1200).
inline constexpr const char* kComments = "";
inline constexpr const char* kCompanyName = "Veltrane Audio";
inline constexpr const char* kFileDescription = "Veltrane MFC Application";
inline constexpr const char* kFileVersion = "1, 4, 0, 0";
inline constexpr const char* kInternalName = "Veltrane";
inline constexpr const char* kLegalCopyright = "Copyright (C) 2026 Veltrane Audio";
inline constexpr const char* kLegalTrademarks = "";
inline constexpr const char* kOriginalFilename = "Veltrane.EXE";
inline constexpr const char* kPrivateBuild = "";
inline constexpr const char* kProductName = "Veltrane Application";
inline constexpr const char* kProductVersion = "1, 4, 0, 0";
inline constexpr const char* kSpecialBuild = "";

inline constexpr unsigned kTranslationLanguage = 0x0409;
inline constexpr unsigned kTranslationCodePage = 0x04B0;

}  // namespace veltrane::version
