/// @file prompt.h
/// @brief The host's prompt line: one line of status text that long editing operations keep
///        up to date ("Working on frame 3 of 100"). Whoever shows it installs a listener.
#pragma once

#include "host/types.h"

#include <string>

/// Receives every new prompt text. Installed for its lifetime by whoever displays the line
/// (the studio, a test); without one the text is only kept (`CurrentPrompt`).
class PromptListener {
public:
    virtual ~PromptListener() = default;
    virtual void PromptChanged(const std::string &text) = 0;
};

/// Replaces the prompt line's text (null clears it) and tells the listener.
void ReplacePrompt(const TCHAR *text);
/// The prompt line's current text.
std::string CurrentPrompt();
/// Installs `listener` (not owned; null removes it) and returns the previous one.
PromptListener *SetPromptListener(PromptListener *listener);
