/// @file class_ids.h
/// @brief Class identifiers that the framework and several modules share: the plug-in
///        category keys and the helper object's class.
#pragma once

#include "host/class_desc.h"

// Category keys: the first half of a plug-in class's `Class_ID`. The second half is the
// plug-in ID, which is all that a helper stores of its selection.
constexpr ULONG kParticleShapeKey = 0x364A42DD;
constexpr ULONG kColorShaderKey = 0x41035834;
constexpr ULONG kCompositeKey = 0x7BD26B7E;
constexpr ULONG kControllerKey = 0x3D6F512D;
/// Listed by the plug-in selection dialog behind a hidden button; no class of the system uses
/// it.
constexpr ULONG kHiddenCategoryKey = 0x402E5644;

/// The helper object (`Nimbra`) that holds the plug-ins of one effect.
constexpr Class_ID kNimbraHelperClassID(0x550E171D, 0x19C555C0);

/// The default age controller (module `standard`): what the helper and the table-described
/// plug-ins drive their quantities with.
constexpr Class_ID kDefaultControllerClassID(kControllerKey, 0x3768765C);
