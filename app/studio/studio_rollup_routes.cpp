/// @file studio_rollup_routes.cpp
/// @brief The studio's routes for the helper's own roll-ups and the filters' setup dialogs.
#include "studio_context.h"

void AddRollupRoutes(StudioContext &) {}
