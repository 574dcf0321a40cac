// The program's version record: the same values the Windows build carries in
// its VS_VERSIONINFO block, here for the Linux program's metadata
// (QCoreApplication) and for --version.
#pragma once

#include "veltrane_version.h"

namespace veltrane::version {

inline constexpr int kMajor = build::kVersionMajor;
inline constexpr int kMinor = build::kVersionMinor;
inline constexpr int kPatch = build::kVersionPatch;
inline constexpr int kBuild = build::kVersionTweak;

inline constexpr const char* kVersionDotted = build::kVersion;

// The string block "040904b0" (US English, code page 1200).
inline constexpr const char* kComments = "";
inline constexpr const char* kCompanyName = "Veltrane Audio";
inline constexpr const char* kFileDescription = "Veltrane MFC Application";
inline constexpr const char* kFileVersion = build::kVersionCommas;
inline constexpr const char* kInternalName = "Veltrane";
inline constexpr const char* kLegalCopyright = "Copyright (C) 2026 Veltrane Audio";
inline constexpr const char* kLegalTrademarks = "";
inline constexpr const char* kOriginalFilename = "Veltrane.EXE";
inline constexpr const char* kPrivateBuild = "";
inline constexpr const char* kProductName = "Veltrane Application";
inline constexpr const char* kProductVersion = build::kVersionCommas;
inline constexpr const char* kSpecialBuild = "";

inline constexpr unsigned kTranslationLanguage = 0x0409;
inline constexpr unsigned kTranslationCodePage = 0x04B0;

}  // namespace veltrane::version
