/// @file prompt.cpp
/// @brief The prompt line's text and its listener.
#include "host/prompt.h"

#include <mutex>

namespace {

std::mutex promptMutex;
std::string promptText;
PromptListener *promptListener = nullptr;

}  // namespace

void ReplacePrompt(const TCHAR *text) {
    std::lock_guard lock(promptMutex);
    promptText = text ? text : "";
    if (promptListener) promptListener->PromptChanged(promptText);
}

std::string CurrentPrompt() {
    std::lock_guard lock(promptMutex);
    return promptText;
}

PromptListener *SetPromptListener(PromptListener *listener) {
    std::lock_guard lock(promptMutex);
    PromptListener *previous = promptListener;
    promptListener = listener;
    return previous;
}
