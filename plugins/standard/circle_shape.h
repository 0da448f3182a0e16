/// @file circle_shape.h
/// @brief "Circle": the simplest sprite shape, a soft round spot dense in the middle and fading
///        to nothing at its radius; the shape a new helper starts with.
#pragma once

#include "framework/class_ids.h"
#include "framework/soft_disk.h"
#include "framework/sprite_shape.h"
#include "plugins/standard/standard_api.h"

/// The descriptor of the Circle shape ("Circle", category "Simple Smoke").
STANDARD_API ClassDesc *GetCircleShapeDesc();

/// The Circle shape: the soft disk table, looked up at the pixel's offset. No parameters, no
/// references, no controllers; its library record is empty.
class STANDARD_API CircleShape : public SpriteShape {
public:
    /// Class identifier: the category key, then the plug-in ID.
    static constexpr Class_ID kClassID{kParticleShapeKey, 0x282C0A37};
    /// What its roll-up ("Circle") says about it.
    static constexpr char kAboutText[] = "Produces a circle shaped particle.";

    CircleShape();
    ~CircleShape() override;

    Class_ID ClassID() override { return kClassID; }
    SClass_ID SuperClassID() override { return REF_MAKER_CLASS_ID; }
    void GetClassName(TSTR &s) override { s = "Circle"; }

    /// The record is empty: nothing is written or read, and both succeed.
    int LibrarySave(NimbraInterface *) override { return 1; }
    int LibraryLoad(NimbraInterface *) override { return 1; }

    const SoftDisk &Table() const { return table_; }

protected:
    TablePlugIn *MakeForLoading() const override { return new CircleShape; }
    /// The soft disk entry at the offset, scaled; not covered where it is 0.
    bool Coverage(unsigned short &density, int radius, int dx, int dy, int x,
                  int y) const override;
    void BuildTable() override { table_.Build(); }
    void FreeTable() override { table_.Free(); }

private:
    SoftDisk table_;
};
