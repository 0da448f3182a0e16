/// @file messages.h
/// @brief Message boxes, list and file choices, and the host assertion, all through one
///        replaceable user-interface service. The command line answers in batch mode; tests
///        capture the calls and script the answers; the studio will answer with windows.
#pragma once

#include "host/types.h"

#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Message box buttons and icons (flags), as the system's code passes them.
constexpr UINT MB_OK = 0x0000;
constexpr UINT MB_OKCANCEL = 0x0001;
constexpr UINT MB_YESNOCANCEL = 0x0003;
constexpr UINT MB_YESNO = 0x0004;
constexpr UINT MB_ICONERROR = 0x0010;
constexpr UINT MB_ICONSTOP = MB_ICONERROR;
constexpr UINT MB_ICONQUESTION = 0x0020;
constexpr UINT MB_ICONEXCLAMATION = 0x0030;
constexpr UINT MB_ICONWARNING = MB_ICONEXCLAMATION;
constexpr UINT MB_ICONINFORMATION = 0x0040;
constexpr UINT MB_DEFBUTTON2 = 0x0100;
constexpr UINT MB_APPLMODAL = 0x0000;
constexpr UINT MB_TASKMODAL = 0x2000;

// Message box answers.
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

/// One message box as the system asked for it.
struct MessageRequest {
    HWND owner = nullptr;
    std::string title;
    std::string text;
    UINT flags = MB_OK;
};

/// A choice of one entry from a list (for example the "Controllers" list).
struct ListChoiceRequest {
    HWND owner = nullptr;
    std::string title;
    std::vector<std::string> items;
};

/// A file to open or save (for example an effect library file).
struct FileChoiceRequest {
    HWND owner = nullptr;
    std::string title;
    std::string initialPath;       ///< last path used, or a default file name
    std::string defaultExtension;  ///< without the dot, e.g. "nbr"
    std::vector<std::pair<std::string, std::string>> filters;  ///< (label, pattern)
    bool save = false;
};

/// The answer of the default button of a request: the first button, or the second one when
/// MB_DEFBUTTON2 is set.
int DefaultAnswer(UINT flags);

/// Whoever answers the system's questions. The default implementation is batch mode: it prints
/// "title: text" to standard error, answers the default button, chooses nothing from lists and
/// no file.
class UserInterfaceService {
public:
    virtual ~UserInterfaceService() = default;
    virtual int ShowMessage(const MessageRequest &request);
    /// Index of the chosen item, or nothing when the user cancelled.
    virtual std::optional<int> ChooseFromList(const ListChoiceRequest &request);
    /// The chosen path, or nothing when the user cancelled.
    virtual std::optional<std::string> ChooseFile(const FileChoiceRequest &request);
};

/// The service in use (never null). `SetUserInterface` installs another one (not owned) and
/// returns the previous one; null restores batch mode.
UserInterfaceService &GetUserInterface();
UserInterfaceService *SetUserInterface(UserInterfaceService *service);

/// Shows a message box through the service; returns the button answered (IDOK, IDYES, …).
int MessageBox(HWND owner, const char *text, const char *title, UINT flags);

/// Raised by the host assertion: an internal invariant failed. It names file and line; the
/// application reports it and fails the job instead of ending the process.
class HostAssertion : public std::logic_error {
public:
    HostAssertion(const char *file, int line, const char *expression);
    const char *file() const { return file_.c_str(); }
    int line() const { return line_; }

private:
    // A copy: the exception may outlive the module whose source-file literal it was given.
    std::string file_;
    int line_;
};

/// Reports the failed assertion through the service (title "Assertion failed") and throws
/// `HostAssertion`.
[[noreturn]] void HostAssertFailed(const char *file, int line, const char *expression);

#define DbgAssert(expr) \
    ((expr) ? static_cast<void>(0) : HostAssertFailed(__FILE__, __LINE__, #expr))
