/// @file studio_command.h
/// @brief `nimbra studio [SCENE]`: set up effects and watch previews in a browser.
#pragma once

#include "app_context.h"

Command AddStudioCommand(CLI::App &app);
