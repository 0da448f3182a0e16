/// @file studio_controller_routes.cpp
/// @brief The studio's controller routes: the Controllers dialog, replacing a controller and
///        the controller's editor.
#include "studio_context.h"

void AddControllerRoutes(StudioContext &) {}
