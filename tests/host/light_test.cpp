/// @file light_test.cpp
/// @brief General lights and their descriptions: classes and parameter block, illumination by
///        omni, spot and directional lights (cone, attenuation, diffuse shaping), shadow maps,
///        and the light's view projection.
#include "shading_objects.h"
#include "test_objects.h"

#include "host/geometry.h"
#include "host/light.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using hosttest::FixedShadeContext;
using hosttest::SceneTest;

/// A scene query over a few spheres, standing in for the renderer's scene.
class SphereWorld : public RenderGlobalContext {
public:
    struct Ball {
        Point3 centre;
        float radius;
    };
    std::vector<Ball> balls;

    bool IntersectWorld(const Ray &ray, float tmin, float tmax, float &t) const override {
        bool hit = false;
        for (const Ball &b : balls) {
            PrimitiveShape s;
            s.kind = ShapeKind::kSphere;
            s.radius = b.radius;
            Point3 n;
            float at;
            if (IntersectShape(s, Ray{ray.p - b.centre, ray.dir}, tmin, tmax, at, n)) {
                tmax = at;
                t = at;
                hit = true;
            }
        }
        return hit;
    }
};

/// A light of `type` on a new node at `pos`, looking down −z.
struct LightRig {
    GenLight *light;
    INode *node;
    std::unique_ptr<ObjLightDesc> desc;

    explicit LightRig(int type, Point3 pos = Point3(0, 0, 10)) {
        light = new GenLight(type);
        node = GetCOREInterface()->CreateObjectNode(light);
        Matrix3 tm;
        tm.SetTrans(pos);
        node->SetNodeTM(0, tm);
    }
    ObjLightDesc &Update(RenderGlobalContext *rgc = nullptr) {
        desc.reset(light->CreateLightDesc(node));
        desc->Update(0, rgc, TRUE);
        return *desc;
    }
    struct Result {
        bool lit = false;
        Color color;
        Point3 dir;
        float dot = 0.0f, coef = 0.0f;
    };
    /// Illumination of the point p with normal n (camera space = world space here).
    Result At(Point3 p, Point3 n = Point3(0, 0, 1)) {
        FixedShadeContext sc;
        sc.p = p;
        sc.n = n;
        Result r;
        Point3 normal = n;
        r.lit = desc->Illuminate(sc, normal, r.color, r.dir, r.dot, r.coef) != FALSE;
        return r;
    }
};

TEST_F(SceneTest, GeneralLightClassesShareOneBlockLayout) {
    const char *names[] = {"Omni", "Target Spot", "Directional", "Free Spot", "Target Direct"};
    const DWORD ids[] = {10, 4, 19, 20, 7, 8, 11, 13, 14, 15, 16, 17, 18, 5, 6};
    const char *params[] = {"Color",
                            "Multiplier",
                            "Contrast",
                            "Diffuse Soften",
                            "Hotspot",
                            "Falloff",
                            "Aspect Ratio",
                            "Map Size",
                            "Map Bias",
                            "Map Range",
                            "Ray Bias",
                            "Attenuation Near Start",
                            "Attenuation Near End",
                            "Attenuation Start",
                            "Attenuation End"};
    for (int type = OMNI_LIGHT; type <= TDIR_LIGHT; ++type) {
        SCOPED_TRACE(names[type]);
        ClassDesc *cd = ClassDirectory::Instance().FindByName(LIGHT_CLASS_ID, names[type]);
        ASSERT_NE(cd, nullptr);
        auto *light = static_cast<GenLight *>(static_cast<Animatable *>(cd->Create()));
        EXPECT_EQ(light->Type(), type);
        EXPECT_EQ(light->ClassID(), cd->ClassID());
        EXPECT_EQ(light->SuperClassID(), LIGHT_CLASS_ID);
        IParamBlock *pb = light->GetParamBlock();
        EXPECT_EQ(pb->GetVersion(), 8u);
        ASSERT_EQ(pb->NumParams(), 15);
        for (int i = 0; i < 15; ++i) {
            EXPECT_EQ(pb->GetParamID(i), ids[i]);
            EXPECT_EQ(pb->GetParamName(i), params[i]);
        }
        light->DeleteThis();
    }
}

TEST_F(SceneTest, LightSwitchesSurviveTheSceneFile) {
    LightRig rig(FSPOT_LIGHT);
    rig.light->SetShadow(TRUE);
    rig.light->SetUseAtten(TRUE);
    rig.light->SetOvershoot(TRUE);
    rig.light->SetConeShape(RECT_LIGHT);
    rig.light->SetMapSize(0, 256);
    const auto bytes = SaveSceneToMemory();
    GetCOREInterface()->ResetScene();
    LoadSceneFromMemory(bytes, "lights");
    auto *loaded =
        dynamic_cast<GenLight *>(GetCOREInterface()->GetINodeByName("FSpot01")->GetObjectRef());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Type(), FSPOT_LIGHT);
    EXPECT_TRUE(loaded->GetShadow());
    EXPECT_TRUE(loaded->GetUseAtten());
    EXPECT_FALSE(loaded->GetUseAttenNear());
    EXPECT_TRUE(loaded->GetOvershoot());
    EXPECT_EQ(loaded->GetConeShape(), RECT_LIGHT);
    EXPECT_EQ(loaded->GetMapSize(0), 256);
}

TEST_F(SceneTest, LightSwitchesAreNamedProperties) {
    auto *light = new GenLight(TSPOT_LIGHT);
    IObjectProperties *props = GetObjectProperties(light);
    ASSERT_NE(props, nullptr);
    std::string error;
    EXPECT_TRUE(props->SetProperty("Cast Shadows", true, error));
    EXPECT_TRUE(light->GetShadow());
    EXPECT_TRUE(props->SetProperty("Cone Shape", std::string("Rectangle"), error));
    EXPECT_EQ(light->GetConeShape(), RECT_LIGHT);
    EXPECT_EQ(std::get<std::string>(*props->GetProperty("Cone Shape")), "Rectangle");
    EXPECT_FALSE(props->SetProperty("Cone Shape", std::string("Star"), error));
    EXPECT_NE(error.find("Circle"), std::string::npos);
    EXPECT_FALSE(props->SetProperty("Overshoot", 1.0f, error)) << "a float is no switch";
    EXPECT_FALSE(light->GetOvershoot());
    EXPECT_FALSE(props->SetProperty("Colour", true, error));
    EXPECT_FALSE(props->GetProperty("Colour").has_value());
    for (const PropertyInfo &info : props->ListProperties())
        EXPECT_TRUE(props->GetProperty(info.name).has_value()) << info.name;
    light->DeleteThis();
}

TEST_F(SceneTest, OmniLightsAllAroundAndFadesOverItsAttenuationRange) {
    LightRig rig(OMNI_LIGHT);
    rig.light->SetRGBColor(0, Color(1.0f, 0.5f, 0.25f));
    rig.light->SetIntensity(0, 2.0f);
    rig.Update();
    EXPECT_EQ(rig.desc->LightPosition(), Point3(0, 0, 10));

    auto below = rig.At(Point3(0, 0, 0));
    ASSERT_TRUE(below.lit);
    EXPECT_FLOAT_EQ(below.color.r, 2.0f);
    EXPECT_FLOAT_EQ(below.color.b, 0.5f);
    EXPECT_FLOAT_EQ(below.dot, 1.0f);
    EXPECT_FLOAT_EQ(below.coef, 1.0f);
    auto slanted = rig.At(Point3(10, 0, 0));
    EXPECT_NEAR(slanted.dot, std::sqrt(0.5f), 1e-6f);
    EXPECT_NEAR(slanted.dir.x, -std::sqrt(0.5f), 1e-6f);
    EXPECT_TRUE(rig.At(Point3(0, 0, 30), Point3(0, 0, 1)).lit) << "omni lights above too";
    EXPECT_LT(rig.At(Point3(0, 0, 30)).dot, 0.0f);

    // Far attenuation from 20 to 40 units: full, half at the middle, none beyond.
    rig.light->SetUseAtten(TRUE);
    rig.light->SetAtten(0, 2, 20.0f);
    rig.light->SetAtten(0, 3, 40.0f);
    rig.Update();
    EXPECT_FLOAT_EQ(rig.At(Point3(0, 0, -5)).color.r, 2.0f);
    EXPECT_NEAR(rig.At(Point3(0, 0, -20)).color.r, 1.0f, 1e-5f);
    float previous = 3.0f;
    for (float z = -10; z > -30; z -= 2.0f) {
        const float r = rig.At(Point3(0, 0, z)).color.r;
        EXPECT_LT(r, previous) << "fading with distance";
        previous = r;
    }
    EXPECT_FALSE(rig.At(Point3(0, 0, -31)).lit);

    // Near attenuation from 2 to 6 units: dark close to the light.
    rig.light->SetUseAttenNear(TRUE);
    rig.light->SetAtten(0, 0, 2.0f);
    rig.light->SetAtten(0, 1, 6.0f);
    rig.Update();
    EXPECT_FALSE(rig.At(Point3(0, 0, 9)).lit);
    EXPECT_NEAR(rig.At(Point3(0, 0, 6)).color.r, 1.0f, 1e-5f);
    EXPECT_FLOAT_EQ(rig.At(Point3(0, 0, 3)).color.r, 2.0f);

    rig.light->SetUseLight(FALSE);
    rig.Update();
    EXPECT_FALSE(rig.At(Point3(0, 0, 0)).lit);
}

TEST_F(SceneTest, SpotLightsInsideTheirConeOnly) {
    LightRig rig(TSPOT_LIGHT);
    rig.light->SetHotspot(0, 30.0f);
    rig.light->SetFallsize(0, 60.0f);
    rig.Update();
    // 10 units below the light the hotspot reaches tan(15°)·10, the falloff tan(30°)·10.
    const float hot = 10.0f * std::tan(15.0f * 3.14159265f / 180.0f);
    const float fall = 10.0f * std::tan(30.0f * 3.14159265f / 180.0f);
    EXPECT_FLOAT_EQ(rig.At(Point3(0, 0, 0)).color.r, 1.0f);
    EXPECT_FLOAT_EQ(rig.At(Point3(hot * 0.99f, 0, 0)).color.r, 1.0f);
    const float mid = rig.At(Point3(0, (hot + fall) * 0.5f, 0)).color.r;
    EXPECT_GT(mid, 0.05f);
    EXPECT_LT(mid, 0.95f);
    EXPECT_FALSE(rig.At(Point3(fall * 1.01f, 0, 0)).lit);
    EXPECT_FALSE(rig.At(Point3(0, 0, 20)).lit) << "behind the spot";

    rig.light->SetConeShape(RECT_LIGHT);
    rig.Update();
    EXPECT_TRUE(rig.At(Point3(fall * 0.6f, fall * 0.6f, 0)).lit) << "the corner of the square";
    rig.light->SetOvershoot(TRUE);
    rig.Update();
    EXPECT_FLOAT_EQ(rig.At(Point3(3 * fall, 0, 0)).color.r, 1.0f) << "overshoot lights all";
}

TEST_F(SceneTest, DirectionalLightsShineAlongTheirAxisWithinTheBeam) {
    LightRig rig(DIR_LIGHT);
    rig.light->SetHotspot(0, 20.0f);  // beam diameters in world units
    rig.light->SetFallsize(0, 40.0f);
    Matrix3 tm = RotateXMatrix(-0.5f);  // tilted, still pointing mostly down
    tm.SetTrans(Point3(0, 0, 50));
    rig.node->SetNodeTM(0, tm);
    rig.Update();
    const Point3 axis = Normalize(tm.GetRow(2));
    const Point3 side = Normalize(tm.GetRow(0));
    const Point3 onAxis = tm.GetTrans() - axis * 40.0f;
    for (Point3 p : {onAxis, onAxis + side * 5.0f, onAxis - axis * 30.0f + side * 8.0f}) {
        auto r = rig.At(p, axis);
        ASSERT_TRUE(r.lit);
        EXPECT_NEAR(DotProd(r.dir, axis), 1.0f, 1e-5f) << "same direction everywhere";
        EXPECT_NEAR(r.dot, 1.0f, 1e-5f);
    }
    EXPECT_FALSE(rig.At(onAxis + side * 21.0f).lit) << "outside the beam's radius";
}

TEST_F(SceneTest, ContrastAndSofteningShapeTheDiffuseWeight) {
    LightRig rig(OMNI_LIGHT, Point3(0, 0, 10));
    rig.Update();
    const Point3 grazing = Normalize(Point3(1, 0, 0.3f));  // N·L about 0.29
    const float plain = rig.At(Point3(0, 0, 0), grazing).coef;
    EXPECT_NEAR(plain, rig.At(Point3(0, 0, 0), grazing).dot, 1e-6f);
    EXPECT_FLOAT_EQ(rig.At(Point3(0, 0, 0), Point3(1, 0, 0)).coef, 0.0f);

    rig.light->GetParamBlock()->SetValue(GenLight::PB_DIFFSOFT, 0, 0.5f);
    rig.Update();
    EXPECT_GT(rig.At(Point3(0, 0, 0), grazing).coef, plain);
    EXPECT_GT(rig.At(Point3(0, 0, 0), Point3(1, 0, 0)).coef, 0.0f) << "wraps past 90°";

    rig.light->GetParamBlock()->SetValue(GenLight::PB_DIFFSOFT, 0, 0.0f);
    rig.light->GetParamBlock()->SetValue(GenLight::PB_CONTRAST, 0, 0.8f);
    rig.Update();
    EXPECT_LT(rig.At(Point3(0, 0, 0), grazing).coef, plain);
    const Point3 steep = Normalize(Point3(0.5f, 0, 1));  // N·L about 0.89
    EXPECT_GT(rig.At(Point3(0, 0, 0), steep).coef, rig.At(Point3(0, 0, 0), steep).dot);
}

TEST_F(SceneTest, ShadowMapsDarkenPointsBehindAnOccluder) {
    SphereWorld world;
    world.balls.push_back({Point3(0, 0, 5), 1.0f});
    world.numThreads = 2;
    for (int type : {TSPOT_LIGHT, OMNI_LIGHT, DIR_LIGHT}) {
        SCOPED_TRACE(type);
        LightRig rig(type, Point3(0, 0, 10));
        rig.light->SetShadow(TRUE);
        rig.light->SetMapSize(0, 256);
        rig.light->SetFallsize(0, type == DIR_LIGHT ? 30.0f : 90.0f);
        rig.light->SetHotspot(0, type == DIR_LIGHT ? 28.0f : 88.0f);
        auto &desc = static_cast<GenLightDesc &>(rig.Update(&world));
        ASSERT_TRUE(desc.HasShadowMap());
        EXPECT_FALSE(rig.At(Point3(0, 0, 0)).lit) << "straight behind the ball";
        EXPECT_FLOAT_EQ(desc.ShadowFactor(desc.CamToLight(Point3(0, 0, 0))), 0.0f);
        EXPECT_FLOAT_EQ(desc.ShadowFactor(desc.CamToLight(Point3(6, 0, 0))), 1.0f);
        EXPECT_TRUE(rig.At(Point3(0, 0, 6), Point3(0, 0, 1)).lit)
            << "the ball's own lit side does not shadow itself";
        EXPECT_FALSE(rig.At(Point3(0, 0, 4.0f), Point3(0, 0, -1)).lit)
            << "its far side is in its own shadow";

        // Walking out of the shadow the light rises without jumping (soft edge).
        const float edge = type == DIR_LIGHT ? 1.0f : 2.0f;  // shadow radius on z = 0
        float previous = 0.0f;
        int between = 0;
        for (float x = 0.0f; x <= 2.0f * edge; x += 0.05f) {
            const float f = desc.ShadowFactor(desc.CamToLight(Point3(x, 0, 0)));
            EXPECT_GE(f, previous - 1e-6f);
            EXPECT_LE(f - previous, 0.5f);
            between += f > 0.0f && f < 1.0f;
            previous = f;
        }
        EXPECT_GT(between, 2);
        EXPECT_FLOAT_EQ(previous, 1.0f);

        // Shadows off on the light or for the render: no map.
        rig.light->SetShadow(FALSE);
        EXPECT_FALSE(static_cast<GenLightDesc &>(rig.Update(&world)).HasShadowMap());
        GetCOREInterface()->DeleteNode(rig.node);
    }
}

TEST_F(SceneTest, LightViewProjectionFillsTheMapWithTheFalloff) {
    LightRig spot(FSPOT_LIGHT, Point3(0, 0, 0));
    spot.light->SetFallsize(0, 90.0f);
    spot.light->SetMapSize(0, 200);
    ObjLightDesc &d = spot.Update();
    ASSERT_TRUE(d.hasProjection);
    EXPECT_EQ(d.projType, PROJ_PERSPECTIVE);
    EXPECT_EQ(d.mapSize, 200);
    const Point2 centre = d.MapToLightView(Point3(0, 0, -5));
    EXPECT_FLOAT_EQ(centre.x, d.centerOffset);
    EXPECT_FLOAT_EQ(centre.y, d.centerOffset);
    // 45° to the right reaches the right edge, 45° up the top edge (screen y grows down).
    EXPECT_NEAR(d.MapToLightView(Point3(5, 0, -5)).x, d.centerOffset + 100.0f, 1e-3f);
    EXPECT_NEAR(d.MapToLightView(Point3(0, 5, -5)).y, d.centerOffset - 100.0f, 1e-3f);

    LightRig beam(DIR_LIGHT, Point3(0, 0, 0));
    beam.light->SetFallsize(0, 50.0f);
    beam.light->SetMapSize(0, 100);
    ObjLightDesc &b = beam.Update();
    EXPECT_EQ(b.projType, PROJ_PARALLEL);
    EXPECT_NEAR(b.MapToLightView(Point3(25, 0, -7)).x, b.centerOffset + 50.0f, 1e-4f);
    EXPECT_NEAR(b.MapToLightView(Point3(0, -25, -7)).y, b.centerOffset + 50.0f, 1e-4f);

    LightRig omni(OMNI_LIGHT);
    EXPECT_FALSE(omni.Update().hasProjection);
}

}  // namespace
