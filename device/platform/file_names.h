// File names as the programs hold them in a std::string: UTF-8 on Windows,
// whose narrow ("ANSI") file functions would read them in the system's code
// page and lose every character outside it; on Linux the bytes as given.
// Every file a program opens by a name from the user goes through these.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace veltrane {

// The name as the standard library's file functions take it.
std::filesystem::path PathOf(const std::string& name);
// A path back as a name (UTF-8 on Windows).
std::string NameOf(const std::filesystem::path& path);

// std::fopen by name; errno as fopen sets it.
std::FILE* OpenFile(const std::string& name, const char* mode);

// An environment variable's value; empty when unset. UTF-8 on Windows.
std::string EnvironmentVariable(const char* name);

// The program's arguments after its own name. On Windows they come from the
// wide command line (argv holds them in the code page, with '?' for what it
// cannot show); elsewhere from argv.
std::vector<std::string> ProgramArguments(int argc, char** argv);

#ifdef _WIN32
std::wstring WideOf(const std::string& utf8);
std::string Utf8Of(const wchar_t* wide, std::size_t length);
std::string Utf8Of(const std::wstring& wide);
#endif

}  // namespace veltrane
