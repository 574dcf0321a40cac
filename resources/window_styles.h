// Window, control and dialog style bits with the values Windows gives them, so
// that the dialog layouts read like the layouts they were drawn as.
#pragma once

#include <cstdint>

namespace veltrane {

// General window styles.
inline constexpr std::uint32_t WS_OVERLAPPED = 0x00000000u;
inline constexpr std::uint32_t WS_POPUP = 0x80000000u;
inline constexpr std::uint32_t WS_CHILD = 0x40000000u;
inline constexpr std::uint32_t WS_MINIMIZE = 0x20000000u;
inline constexpr std::uint32_t WS_VISIBLE = 0x10000000u;
inline constexpr std::uint32_t WS_DISABLED = 0x08000000u;
inline constexpr std::uint32_t WS_CLIPSIBLINGS = 0x04000000u;
inline constexpr std::uint32_t WS_CLIPCHILDREN = 0x02000000u;
inline constexpr std::uint32_t WS_MAXIMIZE = 0x01000000u;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000u;
inline constexpr std::uint32_t WS_BORDER = 0x00800000u;
inline constexpr std::uint32_t WS_DLGFRAME = 0x00400000u;
inline constexpr std::uint32_t WS_VSCROLL = 0x00200000u;
inline constexpr std::uint32_t WS_HSCROLL = 0x00100000u;
inline constexpr std::uint32_t WS_SYSMENU = 0x00080000u;
inline constexpr std::uint32_t WS_THICKFRAME = 0x00040000u;
inline constexpr std::uint32_t WS_GROUP = 0x00020000u;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000u;
inline constexpr std::uint32_t WS_MINIMIZEBOX = 0x00020000u;
inline constexpr std::uint32_t WS_MAXIMIZEBOX = 0x00010000u;

// Extended window styles.
inline constexpr std::uint32_t WS_EX_TRANSPARENT = 0x00000020u;
inline constexpr std::uint32_t WS_EX_CLIENTEDGE = 0x00000200u;
inline constexpr std::uint32_t WS_EX_STATICEDGE = 0x00020000u;
inline constexpr std::uint32_t WS_EX_APPWINDOW = 0x00040000u;

// Dialog styles.
inline constexpr std::uint32_t DS_SETFONT = 0x00000040u;

// Button styles.
inline constexpr std::uint32_t BS_PUSHBUTTON = 0x00000000u;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x00000001u;
inline constexpr std::uint32_t BS_OWNERDRAW = 0x0000000Bu;
inline constexpr std::uint32_t BS_TYPEMASK = 0x0000000Fu;
inline constexpr std::uint32_t BS_BITMAP = 0x00000080u;

// Edit styles.
inline constexpr std::uint32_t ES_LEFT = 0x00000000u;
inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x00000080u;
inline constexpr std::uint32_t ES_READONLY = 0x00000800u;

// Static styles.
inline constexpr std::uint32_t SS_LEFT = 0x00000000u;
inline constexpr std::uint32_t SS_CENTER = 0x00000001u;
inline constexpr std::uint32_t SS_RIGHT = 0x00000002u;
inline constexpr std::uint32_t SS_TYPEMASK = 0x0000001Fu;

// Combo-box styles.
inline constexpr std::uint32_t CBS_SIMPLE = 0x00000001u;
inline constexpr std::uint32_t CBS_DROPDOWN = 0x00000002u;
inline constexpr std::uint32_t CBS_DROPDOWNLIST = 0x00000003u;
inline constexpr std::uint32_t CBS_TYPEMASK = 0x00000003u;
inline constexpr std::uint32_t CBS_SORT = 0x00000100u;

// Progress-bar styles.
inline constexpr std::uint32_t PBS_SMOOTH = 0x00000001u;

// Standard command identifiers.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

}  // namespace veltrane
