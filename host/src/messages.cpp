/// @file messages.cpp
/// @brief The user-interface service in batch mode, message boxes and the host assertion.
#include "host/messages.h"

#include <cstdio>
#include <string>

namespace {

UserInterfaceService batchService;
UserInterfaceService *currentService = nullptr;

UINT ButtonKind(UINT flags) {
    return flags & 0x000F;
}

}  // namespace

int DefaultAnswer(UINT flags) {
    const bool second = (flags & MB_DEFBUTTON2) != 0;
    switch (ButtonKind(flags)) {
        case MB_OKCANCEL:
            return second ? IDCANCEL : IDOK;
        case MB_YESNO:
            return second ? IDNO : IDYES;
        case MB_YESNOCANCEL:
            return second ? IDNO : IDYES;
        default:
            return IDOK;
    }
}

int UserInterfaceService::ShowMessage(const MessageRequest &request) {
    std::fprintf(stderr, "%s: %s\n", request.title.c_str(), request.text.c_str());
    return DefaultAnswer(request.flags);
}

std::optional<int> UserInterfaceService::ChooseFromList(const ListChoiceRequest &request) {
    std::fprintf(stderr, "%s: no choice made (batch mode)\n", request.title.c_str());
    return std::nullopt;
}

std::optional<std::string> UserInterfaceService::ChooseFile(const FileChoiceRequest &request) {
    std::fprintf(stderr, "%s: no file chosen (batch mode)\n", request.title.c_str());
    return std::nullopt;
}

UserInterfaceService &GetUserInterface() {
    return currentService ? *currentService : batchService;
}

UserInterfaceService *SetUserInterface(UserInterfaceService *service) {
    UserInterfaceService *previous = currentService;
    currentService = service;
    return previous;
}

int MessageBox(HWND owner, const char *text, const char *title, UINT flags) {
    MessageRequest request;
    request.owner = owner;
    request.title = title ? title : "";
    request.text = text ? text : "";
    request.flags = flags;
    return GetUserInterface().ShowMessage(request);
}

HostAssertion::HostAssertion(const char *file, int line, const char *expression)
    : std::logic_error(std::string(file) + ":" + std::to_string(line) +
                       ": assertion failed: " + expression),
      file_(file),
      line_(line) {}

void HostAssertFailed(const char *file, int line, const char *expression) {
    HostAssertion failure(file, line, expression);
    MessageBox(nullptr, failure.what(), "Assertion failed", MB_OK | MB_ICONERROR);
    throw failure;
}
