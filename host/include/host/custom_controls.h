/// @file custom_controls.h
/// @brief The host's custom controls as plain state objects (checked state, caption, enabled),
///        so the system's code can set them up and query them; whoever shows them draws them.
#pragma once

#include "host/types.h"

#include <string>

/// How a custom button behaves when it is released.
enum CustButType {
    CBT_PUSH = 0,   ///< springs back
    CBT_CHECK = 1,  ///< toggles between checked and unchecked
};

/// A custom button: the controller buttons of the roll-ups are check-type ones whose checked
/// state shows that the controller's editor is open.
class ICustButton {
public:
    void SetType(CustButType type) { type_ = type; }
    CustButType GetType() const { return type_; }

    // Checked state (check-type buttons); an editor that closes switches it off.
    void SetCheck(BOOL checked) { checked_ = checked != FALSE; }
    BOOL IsChecked() const { return checked_ ? TRUE : FALSE; }

    // Caption
    void SetText(const TCHAR *text) { text_ = text ? text : ""; }
    const TCHAR *GetText() const { return text_.c_str(); }

    void Enable(BOOL onOff = TRUE) { enabled_ = onOff != FALSE; }
    void Disable() { enabled_ = false; }
    BOOL IsEnabled() const { return enabled_ ? TRUE : FALSE; }

private:
    CustButType type_ = CBT_PUSH;
    bool checked_ = false;
    bool enabled_ = true;
    std::string text_;
};
