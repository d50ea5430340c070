#pragma once
// The few framework types the dialogs are written in.

#include <cstdint>
#include <string>

using BOOL = int;
inline constexpr BOOL TRUE = 1;
inline constexpr BOOL FALSE = 0;
using UINT = unsigned int;
using BYTE = std::uint8_t;
using DWORD = std::uint32_t;

// Texts in the dialogs' members are narrow byte strings in GBK: the printer
// receives them as these bytes. They become Unicode only at a control.
using CString = std::string;

// Message box types and answers
inline constexpr UINT MB_OK = 0x0;
inline constexpr UINT MB_OKCANCEL = 0x1;
inline constexpr UINT MB_ICONEXCLAMATION = 0x30;
inline constexpr int IDOK_ANSWER = 1;
inline constexpr int IDCANCEL_ANSWER = 2;

// ShowWindow
inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOW = 5;

// System commands
inline constexpr UINT SC_MINIMIZE = 0xF020;
inline constexpr UINT SC_CLOSE = 0xF060;

// Menu items
inline constexpr UINT MF_STRING = 0x0;
inline constexpr UINT MF_SEPARATOR = 0x800;
