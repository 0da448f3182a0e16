/// @file atmospheric.cpp
/// @brief Out-of-line members of the atmospheric base, so its type information lives in the
///        host library that every module shares.
#include "host/atmospheric.h"

Atmospheric::~Atmospheric() = default;
