/// @file object.cpp
/// @brief Out-of-line members of the object bases, so their type information lives in the host
///        library that every module shares.
#include "host/object.h"

BaseObject::~BaseObject() = default;
Object::~Object() = default;
GeomObject::~GeomObject() = default;
HelperObject::~HelperObject() = default;
