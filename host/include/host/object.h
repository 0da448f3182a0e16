/// @file object.h
/// @brief Bases of the objects that scene nodes carry (geometry, helpers, and later cameras,
///        lights and particle systems) and the state a node evaluates to.
#pragma once

#include "host/animatable.h"

class Object;
class ParticleObject;

/// Interface identifier of the particle interface (`GetInterface`): particle systems answer a
/// `ParticleObject*`, every other object null.
constexpr ULONG I_PARTICLEOBJ = 0x00000001;

/// What a node's object pipeline yields at a time: the object to draw or render.
struct ObjectState {
    Object *obj = nullptr;
    ObjectState() = default;
    explicit ObjectState(Object *o) : obj(o) {}
};

/// Anything a node can carry.
class BaseObject : public ReferenceTarget {
public:
    ~BaseObject() override;
    /// The name a new node carrying this object is given (followed by a number).
    virtual const TCHAR *GetObjectName() { return "Object"; }
};

/// An object that evaluates to a state at a time.
class Object : public BaseObject {
public:
    ~Object() override;
    /// The object's state at t; by default the object itself.
    virtual ObjectState Eval(TimeValue t) { return ObjectState(this); }
};

/// Renderable geometry.
class GeomObject : public Object {
public:
    ~GeomObject() override;
    SClass_ID SuperClassID() override { return GEOMOBJECT_CLASS_ID; }
};

/// A helper: an object that is not rendered itself but steers something that is.
class HelperObject : public Object {
public:
    ~HelperObject() override;
    SClass_ID SuperClassID() override { return HELPER_CLASS_ID; }
};

/// The particle interface of `obj`, or null when it is not a particle system.
inline ParticleObject *GetParticleInterface(Animatable *obj) {
    return obj ? static_cast<ParticleObject *>(obj->GetInterface(I_PARTICLEOBJ)) : nullptr;
}
