/// @file window.h
/// @brief Host windows as message receivers: the window a filter reports its progress to, and
///        the messages filters send it.
#pragma once

#include "host/types.h"

/// A window of the host. There is no screen behind it: a window is an object that answers
/// messages through its window procedure (the filter-progress window, later the studio's
/// windows).
class HostWindow {
public:
    virtual ~HostWindow() = default;
    /// Answers one message; unknown messages answer 0.
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) { return 0; }
};

/// Delivers a message to a window and returns its answer; a null window answers 0.
inline LRESULT SendMessage(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    return hWnd ? hWnd->WindowProc(message, wParam, lParam) : 0;
}

// Messages an image filter sends to its progress window during `Render`.
/// Progress: wParam steps done, lParam steps in all (0: unknown).
constexpr UINT FLT_PROGRESS = WM_USER + 0x20;
/// Abort query: lParam points to an int that the window sets nonzero when the filter should
/// stop (and leaves alone otherwise).
constexpr UINT FLT_CHECKABORT = WM_USER + 0x21;
/// Caption: lParam points to a NUL-terminated text saying what the filter is doing.
constexpr UINT FLT_TEXTMSG = WM_USER + 0x22;
/// The same abort query and caption under their second numbers, which some filters send.
constexpr UINT FLT_CHECKABORT2 = WM_USER + 0x121;
constexpr UINT FLT_TEXTMSG2 = WM_USER + 0x122;
