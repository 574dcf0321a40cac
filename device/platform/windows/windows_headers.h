// The Windows SDK headers the backend needs, included in one place.
//
// Internal to device/platform/windows: nothing outside this directory may
// include it, so <windows.h> never reaches the core or the programs' headers.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif

// clang-format off
#include <windows.h>
#include <setupapi.h>
#include <cfgmgr32.h>
// mingw-w64's HID headers carry no C linkage block of their own.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}
// clang-format on

// Macros of the SDK that would silently rename our own identifiers (a member
// named CreateFile would become CreateFileA; a field named interface a struct).
#undef CreateEvent
#undef CreateFile
#undef GetObject
#undef interface
