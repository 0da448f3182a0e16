/// @file geometry_test.cpp
/// @brief The plane, box, sphere and cylinder objects: creation by class, parameter names,
///        ray hits with their normals, degenerate sizes, cloning.
#include "test_objects.h"

#include "host/class_desc.h"
#include "host/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>

namespace {

/// A primitive created through the class directory, deleted at the end of the test.
struct Made {
    PrimitiveObject *obj = nullptr;
    explicit Made(Class_ID id)
        : obj(static_cast<PrimitiveObject *>(
              static_cast<Animatable *>(CreateInstance(GEOMOBJECT_CLASS_ID, id)))) {}
    ~Made() {
        if (obj) obj->DeleteThis();
    }
    Made(const Made &) = delete;
    Made &operator=(const Made &) = delete;
    void Set(const char *name, float v) {
        IParamBlock *pb = obj->GetParamBlock();
        const int i = pb->FindParamByName(name);
        ASSERT_GE(i, 0) << name;
        pb->SetValue(i, 0, v);
    }
    /// Hit of a ray from `from` towards `to` (object space).
    bool Hit(Point3 from, Point3 to, float &t, Point3 &n) {
        Ray r{from, to - from};
        return obj->IntersectRay(0, r, t, n) != 0;
    }
};

TEST(Primitives, AreCreatedByClassAndAnswerTheirParameterNames) {
    struct Expect {
        Class_ID id;
        const char *className;
        std::vector<const char *> params;
    };
    const Expect all[] = {
        {PLANE_CLASS_ID, "Plane", {"Length", "Width", "Length Segments", "Width Segments"}},
        {BOXOBJ_CLASS_ID,
         "Box",
         {"Length", "Width", "Height", "Length Segments", "Width Segments", "Height Segments"}},
        {SPHERE_CLASS_ID, "Sphere", {"Radius", "Segments"}},
        {CYLINDER_CLASS_ID,
         "Cylinder",
         {"Radius", "Height", "Height Segments", "Cap Segments", "Sides"}},
    };
    for (const Expect &e : all) {
        SCOPED_TRACE(e.className);
        ClassDesc *byName =
            ClassDirectory::Instance().FindByName(GEOMOBJECT_CLASS_ID, e.className);
        ASSERT_NE(byName, nullptr);
        EXPECT_EQ(byName->ClassID(), e.id);
        Made m(e.id);
        ASSERT_NE(m.obj, nullptr);
        EXPECT_EQ(m.obj->SuperClassID(), GEOMOBJECT_CLASS_ID);
        TSTR name;
        m.obj->GetClassName(name);
        EXPECT_EQ(name, e.className);
        IParamBlock *pb = m.obj->GetParamBlock();
        ASSERT_EQ(pb->NumParams(), static_cast<int>(e.params.size()));
        for (int i = 0; i < pb->NumParams(); ++i) EXPECT_EQ(pb->GetParamName(i), e.params[i]);
        EXPECT_EQ(m.obj->SubAnimName(0), "Parameters");
        EXPECT_FALSE(m.obj->GetObjectBox(0).IsEmpty()) << "defaults give a visible object";
    }
}

TEST(Primitives, SphereHitsFromOutsideAndInside) {
    Made s(SPHERE_CLASS_ID);
    s.Set("Radius", 2.0f);
    float t;
    Point3 n;
    ASSERT_TRUE(s.Hit({0, 0, 10}, {0, 0, 0}, t, n));
    EXPECT_NEAR(t, 0.8f, 1e-6f);  // 8 of 10 units
    EXPECT_NEAR(n.z, 1.0f, 1e-6f);
    ASSERT_TRUE(s.Hit({0, 0, 0}, {1, 0, 0}, t, n));  // from the centre: the far side
    EXPECT_NEAR(t, 2.0f, 1e-6f);
    EXPECT_NEAR(n.x, 1.0f, 1e-6f);
    EXPECT_FALSE(s.Hit({0, 3, 10}, {0, 3, 0}, t, n));
    EXPECT_FALSE(s.Hit({0, 0, 10}, {0, 0, 20}, t, n)) << "behind the ray's origin";
}

TEST(Primitives, BoxStandsOnItsPivotAndReportsTheFaceNormal) {
    Made b(BOXOBJ_CLASS_ID);
    b.Set("Width", 2.0f);   // x
    b.Set("Length", 4.0f);  // y
    b.Set("Height", 6.0f);  // z from 0 to 6
    const Box3 box = b.obj->GetObjectBox(0);
    EXPECT_EQ(box.pmin, Point3(-1, -2, 0));
    EXPECT_EQ(box.pmax, Point3(1, 2, 6));
    struct Probe {
        Point3 from;
        Point3 normal;
        float distance;
    };
    const Point3 centre(0, 0, 3);
    const Probe probes[] = {{{10, 0, 3}, {1, 0, 0}, 9}, {{-10, 0, 3}, {-1, 0, 0}, 9},
                            {{0, 10, 3}, {0, 1, 0}, 8}, {{0, -10, 3}, {0, -1, 0}, 8},
                            {{0, 0, 10}, {0, 0, 1}, 4}, {{0, 0, -10}, {0, 0, -1}, 10}};
    for (const Probe &p : probes) {
        float t;
        Point3 n;
        ASSERT_TRUE(b.Hit(p.from, centre, t, n));
        const Point3 d = centre - p.from;
        EXPECT_NEAR(t * d.Length(), p.distance, 1e-5f);
        EXPECT_EQ(n, p.normal);
    }
    float t;
    Point3 n;
    ASSERT_TRUE(b.Hit(centre, {0, 0, 100}, t, n)) << "from inside: the exit face";
    EXPECT_EQ(n, Point3(0, 0, 1));
    b.Set("Height", -6.0f);
    EXPECT_EQ(b.obj->GetObjectBox(0).pmin.z, -6.0f);
}

TEST(Primitives, CylinderHasSideAndCaps) {
    Made c(CYLINDER_CLASS_ID);
    c.Set("Radius", 1.0f);
    c.Set("Height", 4.0f);
    float t;
    Point3 n;
    ASSERT_TRUE(c.Hit({5, 0, 2}, {0, 0, 2}, t, n));
    EXPECT_NEAR(t * 5.0f, 4.0f, 1e-5f);
    EXPECT_NEAR(n.x, 1.0f, 1e-6f);
    ASSERT_TRUE(c.Hit({0.5f, 0, 10}, {0.5f, 0, 0}, t, n));
    EXPECT_NEAR(t * 10.0f, 6.0f, 1e-5f);
    EXPECT_EQ(n, Point3(0, 0, 1));
    ASSERT_TRUE(c.Hit({0.5f, 0, -10}, {0.5f, 0, 0}, t, n));
    EXPECT_EQ(n, Point3(0, 0, -1));
    EXPECT_FALSE(c.Hit({5, 0, 5}, {0, 0, 5}, t, n)) << "above the top";
    EXPECT_FALSE(c.Hit({0.5f, 5, 10}, {1.5f, 5, 0}, t, n));
}

TEST(Primitives, PlaneIsTwoSidedAndBounded) {
    Made p(PLANE_CLASS_ID);
    p.Set("Width", 10.0f);
    p.Set("Length", 20.0f);
    float t;
    Point3 n;
    ASSERT_TRUE(p.Hit({1, 2, 5}, {1, 2, 0}, t, n));
    EXPECT_NEAR(t, 1.0f, 1e-6f);
    EXPECT_EQ(n, Point3(0, 0, 1));
    EXPECT_TRUE(p.Hit({1, 2, -5}, {1, 2, 0}, t, n)) << "seen from below";
    EXPECT_TRUE(p.Hit({0, 9, 5}, {0, 9, 0}, t, n));
    EXPECT_FALSE(p.Hit({6, 0, 5}, {6, 0, 0}, t, n)) << "beyond its width";
    EXPECT_FALSE(p.Hit({0, 0, 5}, {1, 0, 5}, t, n)) << "parallel";
}

TEST(Primitives, HitPointsLieOnTheSurfaceWithOutwardNormals) {
    Made s(SPHERE_CLASS_ID), c(CYLINDER_CLASS_ID), b(BOXOBJ_CLASS_ID);
    s.Set("Radius", 3.0f);
    c.Set("Radius", 2.0f);
    c.Set("Height", 5.0f);
    b.Set("Height", 4.0f);
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    int hits = 0;
    for (int i = 0; i < 2000; ++i) {
        const Point3 from = Normalize(Point3(u(rng), u(rng), u(rng))) * 30.0f;
        const Point3 to(u(rng) * 3.0f, u(rng) * 3.0f, u(rng) * 3.0f + 2.0f);
        float t;
        Point3 n;
        if (s.Hit(from, to, t, n)) {
            ++hits;
            const Point3 p = from + (to - from) * t;
            EXPECT_NEAR(p.Length(), 3.0f, 1e-4f);
            EXPECT_NEAR(DotProd(n, p / 3.0f), 1.0f, 1e-4f);
            EXPECT_LT(DotProd(n, to - from), 0.0f) << "an outside ray meets the front";
        }
        if (c.Hit(from, to, t, n)) {
            ++hits;
            const Point3 p = from + (to - from) * t;
            const float rho = std::hypot(p.x, p.y);
            const bool onSide =
                std::fabs(rho - 2.0f) < 1e-4f && p.z >= -1e-4f && p.z <= 5.0001f;
            const bool onCap =
                rho <= 2.0001f && (std::fabs(p.z) < 1e-4f || std::fabs(p.z - 5) < 1e-4f);
            EXPECT_TRUE(onSide || onCap) << p.x << " " << p.y << " " << p.z;
            EXPECT_NEAR(n.Length(), 1.0f, 1e-5f);
            EXPECT_LT(DotProd(n, to - from), 0.0f);
        }
        if (b.Hit(from, to, t, n)) {
            ++hits;
            EXPECT_LT(DotProd(n, to - from), 0.0f);
            const Point3 p = from + (to - from) * t;
            const Box3 box = b.obj->GetObjectBox(0);
            bool inside = true, onFace = false;
            for (int a = 0; a < 3; ++a) {
                inside = inside && p[a] >= box.pmin[a] - 1e-4f && p[a] <= box.pmax[a] + 1e-4f;
                onFace = onFace || std::fabs(p[a] - box.pmin[a]) < 1e-4f ||
                         std::fabs(p[a] - box.pmax[a]) < 1e-4f;
            }
            EXPECT_TRUE(inside && onFace) << p.x << " " << p.y << " " << p.z;
        }
    }
    EXPECT_GT(hits, 1000);
}

TEST(Primitives, ShapesWithoutExtentAreNeverHit) {
    Made s(SPHERE_CLASS_ID), b(BOXOBJ_CLASS_ID), p(PLANE_CLASS_ID);
    s.Set("Radius", 0.0f);
    b.Set("Height", 0.0f);
    p.Set("Width", 0.0f);
    for (Made *m : {&s, &b, &p}) {
        float t;
        Point3 n;
        EXPECT_TRUE(m->obj->GetObjectBox(0).IsEmpty());
        EXPECT_FALSE(m->Hit({0, 0, 10}, {0, 0, 0}, t, n));
    }
}

TEST(Primitives, AnimatedRadiusAndCloning) {
    Made s(SPHERE_CLASS_ID);
    IParamBlock *pb = s.obj->GetParamBlock();
    pb->SetKey(sphere_params::kRadius, 0, 1.0f);
    pb->SetKey(sphere_params::kRadius, 160, 3.0f);
    EXPECT_FLOAT_EQ(s.obj->GetShape(80).radius, 2.0f);
    RemapDir remap;
    auto *copy = static_cast<PrimitiveObject *>(s.obj->Clone(remap));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->GetParamBlock(), pb);
    EXPECT_FLOAT_EQ(copy->GetShape(160).radius, 3.0f);
    EXPECT_EQ(copy->ClassID(), SPHERE_CLASS_ID);
    copy->DeleteThis();
}

}  // namespace
