/// @file edit_interface.h
/// @brief `IObjParam`, the edit interface that objects receive while their parameters are being
///        edited (roll-ups, controller editors).
#pragma once

#include "host/interface.h"

/// For now the edit interface is the host interface itself (`GetCOREInterface()` serves
/// wherever one is needed). It becomes a class of its own, derived from `Interface`, when the
/// command-panel roll-ups arrive; code that passes and forwards `IObjParam*` stays as it is.
using IObjParam = Interface;
