/// @file types.h
/// @brief Scalar types and handles shared by the whole host interface.
#pragma once

#include <cstdint>

/// Time in ticks: 4800 per second.
using TimeValue = int;

using BOOL = int;
#ifndef TRUE
#define TRUE 1
#endif
#ifndef FALSE
#define FALSE 0
#endif

using BYTE = std::uint8_t;
using UWORD = std::uint16_t;
using USHORT = std::uint16_t;
using ULONG = std::uint32_t;
using DWORD = std::uint32_t;
using UINT = unsigned int;
using TCHAR = char;

/// A window of the host: the receiver of progress and abort messages from filters (see
/// window.h). Null stands for "no owner".
class HostWindow;
using HWND = HostWindow *;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

/// The module handle that the host passes to a module's attach entry.
using HINSTANCE = void *;

constexpr UINT WM_USER = 0x0400;
