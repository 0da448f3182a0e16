/// @file material_test.cpp
/// @brief The standard material: creation, parameter names, values over time, material ID,
///        Blinn shading, and the material a node holds.
#include "shading_objects.h"
#include "test_objects.h"

#include "host/geometry.h"
#include "host/material.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

using hosttest::DirectionalTestLight;
using hosttest::FixedShadeContext;
using hosttest::SceneTest;

StdMat *NewStandard() {
    return static_cast<StdMat *>(
        static_cast<Animatable *>(CreateInstance(MATERIAL_CLASS_ID, DMTL_CLASS_ID)));
}

void ExpectColor(const Color &got, const Color &want, float tol = 1e-5f) {
    EXPECT_NEAR(got.r, want.r, tol);
    EXPECT_NEAR(got.g, want.g, tol);
    EXPECT_NEAR(got.b, want.b, tol);
}

TEST(StandardMaterial, IsCreatedByClassWithNamedParameters) {
    StdMat *m = NewStandard();
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->SuperClassID(), MATERIAL_CLASS_ID);
    EXPECT_EQ(ClassDirectory::Instance().FindByName(MATERIAL_CLASS_ID, "Standard")->ClassID(),
              DMTL_CLASS_ID);
    IParamBlock *pb = m->GetParamBlock();
    const char *names[] = {"Ambient",        "Diffuse",           "Specular",   "Glossiness",
                           "Specular Level", "Self-Illumination", "Material ID"};
    ASSERT_EQ(pb->NumParams(), 7);
    for (int i = 0; i < 7; ++i) EXPECT_EQ(pb->GetParamName(i), names[i]);
    EXPECT_EQ(pb->GetParamDimension(StdMat::kDiffuse), stdColorDim);
    m->DeleteThis();
}

TEST(StandardMaterial, ValuesFollowTheBlockAndTheUpdateTime) {
    StdMat *m = NewStandard();
    IParamBlock *pb = m->GetParamBlock();
    m->SetDiffuse(Color(0.1f, 0.2f, 0.3f), 0);
    ExpectColor(m->GetDiffuse(), Color(0.1f, 0.2f, 0.3f));  // set through the material
    pb->SetValue(pb->FindParamByName("Specular"), 0, Color(1, 0, 0));
    ExpectColor(m->GetSpecular(), Color(1, 0, 0));  // set through the block, by name
    pb->SetKey(StdMat::kGlossiness, 0, 0.0f);
    pb->SetKey(StdMat::kGlossiness, 100, 1.0f);
    Interval valid = FOREVER;
    m->Update(50, valid);
    EXPECT_FLOAT_EQ(m->GetShininess(), 0.5f);
    EXPECT_FALSE(valid.InInterval(0)) << "the animated glossiness narrows validity";
    EXPECT_TRUE(valid.InInterval(50));
    m->SetGBufID(7);
    EXPECT_EQ(m->GetGBufID(), 7u);
    m->SetGBufID(1000);
    EXPECT_EQ(m->GetGBufID(), 255u) << "the material channel holds one byte";
    RemapDir remap;
    auto *copy = static_cast<StdMat *>(m->Clone(remap));
    EXPECT_EQ(copy->GetGBufID(), 255u);
    ExpectColor(copy->GetDiffuse(), Color(0.1f, 0.2f, 0.3f));
    copy->DeleteThis();
    m->DeleteThis();
}

TEST(StandardMaterial, ShadesAmbientDiffuseAndHighlight) {
    StdMatValues v;
    v.ambient = Color(0.2f, 0.2f, 0.2f);
    v.diffuse = Color(1.0f, 0.5f, 0.0f);
    v.specular = Color(1, 1, 1);
    v.specularLevel = 0.0f;
    DirectionalTestLight light(Point3(0, 1, 1), Color(1, 1, 1));
    FixedShadeContext sc;
    sc.ambientLight = Color(0.5f, 0.5f, 0.5f);
    sc.SetLights({&light});
    ShadeStandard(sc, v);
    const float coef = std::sqrt(0.5f);  // 45 degrees
    ExpectColor(sc.out.c, Color(0.1f + coef, 0.1f + 0.5f * coef, 0.1f));
    ExpectColor(sc.out.t, Color(0, 0, 0));

    // A highlight is brightest where the half vector meets the normal.
    v.specularLevel = 1.0f;
    v.glossiness = 0.5f;
    v.ambient = v.diffuse = Color(0, 0, 0);
    sc.view = Normalize(Point3(0, 1, -1));  // the mirror of the light direction
    ShadeStandard(sc, v);
    const float peak = sc.out.c.r;
    EXPECT_NEAR(peak, 1.0f, 1e-4f);
    sc.view = Normalize(Point3(0, 0.5f, -1));
    ShadeStandard(sc, v);
    EXPECT_LT(sc.out.c.r, 0.5f * peak);

    // Fully self-illuminated: the diffuse colour whatever the light.
    v.selfIllum = 1.0f;
    v.diffuse = Color(0.3f, 0.4f, 0.5f);
    v.specularLevel = 0.0f;
    sc.SetLights({});
    ShadeStandard(sc, v);
    ExpectColor(sc.out.c, Color(0.3f, 0.4f, 0.5f));
}

TEST(StandardMaterial, LightsBehindTheSurfaceAddNothing) {
    StdMatValues v;
    v.ambient = Color(0, 0, 0);
    v.specularLevel = 1.0f;
    DirectionalTestLight light(Point3(0, 0, -1), Color(1, 1, 1));
    FixedShadeContext sc;
    sc.SetLights({&light});
    ShadeStandard(sc, v);
    ExpectColor(sc.out.c, Color(0, 0, 0));
}

TEST_F(SceneTest, NodeHoldsItsMaterialAsAReference) {
    Interface *ip = GetCOREInterface();
    INode *node = ip->CreateObjectNode(static_cast<Object *>(
        static_cast<Animatable *>(CreateInstance(GEOMOBJECT_CLASS_ID, SPHERE_CLASS_ID))));
    StdMat *m = NewStandard();
    m->SetGBufID(9);
    node->SetMtl(m);
    EXPECT_EQ(node->GetMtl(), m);
    EXPECT_TRUE(m->HasDependent(node));

    // Children added afterwards keep their own slots and leave the material in place.
    INode *child = ip->CreateObjectNode(nullptr);
    node->AttachChild(child);
    EXPECT_EQ(node->GetChildNode(0), child);
    EXPECT_EQ(node->GetMtl(), m);
    EXPECT_EQ(node->GetReference(1), child);
    EXPECT_EQ(node->GetReference(2), nullptr) << "the look-at target's slot";
    EXPECT_EQ(node->GetReference(3), m);

    // Saved and loaded with the scene.
    const std::vector<std::uint8_t> bytes = SaveSceneToMemory();
    ip->ResetScene();
    ASSERT_NO_THROW(LoadSceneFromMemory(bytes, "scene"));
    INode *loaded = ip->GetINodeByName("Sphere01");
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(loaded->GetMtl(), nullptr);
    EXPECT_EQ(loaded->GetMtl()->GetGBufID(), 9u);
    EXPECT_EQ(loaded->NumberOfChildren(), 1);

    // Deleting the material clears the slot and leaves the children alone.
    loaded->GetMtl()->DeleteMe();
    EXPECT_EQ(loaded->GetMtl(), nullptr);
    EXPECT_EQ(loaded->NumberOfChildren(), 1);
}

}  // namespace
