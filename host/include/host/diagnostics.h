/// @file diagnostics.h
/// @brief Named sections of text that modules contribute to the program's report of what is
///        installed (`nimbra info`), without the program knowing the modules.
#pragma once

#include "host/types.h"

#include <string>
#include <vector>

/// Writes the current text of a section; `param` is the value given at registration.
using DiagnosticsProc = std::string (*)(void *param);

/// One section as collected: its title and the text its provider wrote.
struct DiagnosticsSection {
    std::string title;
    std::string text;
};

/// Adds a section titled `title`, written by `proc (param)` whenever the sections are
/// collected. Registering the same (proc, param) again replaces its title. Returns FALSE for a
/// null callback.
int RegisterDiagnostics(const TCHAR *title, DiagnosticsProc proc, void *param);
/// Removes a section; returns FALSE when there was none.
int UnRegisterDiagnostics(DiagnosticsProc proc, void *param);
/// Every section in registration order, each written now.
std::vector<DiagnosticsSection> CollectDiagnostics();
/// Drops every section whose callback lives in the loaded library `module` (a handle as the
/// module loader passes to `DllMain`); the loader calls it before closing a module. Returns
/// how many were dropped.
int UnRegisterDiagnosticsOf(HINSTANCE module);
