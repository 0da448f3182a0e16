/// @file gradient_color_test.cpp
/// @brief Gradient Color: its defaults, gradient sources, cycles, channels, material
///        identifiers and library record.
#include "common/library_record.h"
#include "framework/plugin_records.h"
#include "host/interface.h"
#include "host/little_endian.h"
#include "host/particles.h"
#include "host/scene_file.h"
#include "host/shade_context.h"
#include "plugins/volume/gradient_color.h"
#include "setup/helper.h"
#include "volume_fixture.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace volumetest;
using GC = GradientColor;
using testfiles::Bytes;
using testfiles::LibraryRecordOf;
using testfiles::LoadLibraryRecord;

namespace {

/// A ray through pixel (30, 90) of a 200 × 100 image.
class Ray final : public ShadeContext {
public:
    IPoint2 ScreenCoord() override { return {30, 90}; }
    Point3 P() override { return {}; }
    Point3 Normal() override { return {0, 0, 1}; }
    Point3 V() override { return {0, 0, -1}; }
};

/// The gradient position that an n-entry table holds at the entry value v reads.
double TablePosition(double v, int n) {
    return (n - 1 - std::floor(v * (n - 1))) / n;
}

class GradientColorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(gc, nullptr);
        frame.devWidth = 200;
        frame.devHeight = 100;
        ray.globContext = &frame;
        volume.age = 1200;  // a quarter of its life: the age source reads 0.75
        volume.lifeEnd = 4800;
        sample.volume = &volume;
        sample.shadeContext = &ray;
        sample.noise = 0.15f;
        sample.radius = 0.3f;
        sample.sunbeam = 0.65f;
        sample.worldPoint = Point3(4, 3, 0);
    }
    void TearDown() override {
        if (gc) gc->__DestroyCache__(0, &volume);
        GetCOREInterface()->ResetScene();
    }

    /// Gradient `id` of `shader` from black at 0 to white at 1: its colour at p is p.
    static void Ramp(GradientColor &shader, int id) {
        Gradient *g = shader.GetGradient(id);
        ASSERT_NE(g, nullptr);
        g->DelAllFlags();
        g->AddFlag({{0, 0, 0}, 0.0f, "black"});
        g->AddFlag({{1, 1, 1}, 1.0f, "white"});
    }
    /// A helper in a new scene node with a Gradient Color as its colour shader, or null.
    static NimbraHelper *NewHelper() {
        auto *helper = dynamic_cast<NimbraHelper *>(
            static_cast<Animatable *>(CreateInstance(HELPER_CLASS_ID, kNimbraHelperClassID)));
        if (!helper) return nullptr;
        GetCOREInterface()->CreateObjectNode(helper);
        const bool chosen = helper->SelectPlugInClass(GC::kClassID) &&
                            dynamic_cast<GradientColor *>(helper->ColorShader());
        return chosen ? helper : nullptr;
    }
    void Set(int param, int v) { gc->ParamBlock()->SetValue(param, 0, v); }
    void Set(int param, float v) { gc->ParamBlock()->SetValue(param, 0, v); }
    /// A new frame and particle record.
    void Update(GradientColor &shader) {
        shader.__DestroyCache__(0, &volume);
        shader.__UpdateAtmos_(0);
        shader.__CreateCache__(0, &volume);
    }

    Owned<GradientColor> gc = New<GradientColor>();
    RenderGlobalContext frame;
    Ray ray;
    ParticleVolume volume;
    SampleInfo sample;
};

TEST_F(GradientColorTest, DefaultsAnswerThePresetsThroughTheFirstSlots) {
    Update(*gc);
    EXPECT_FLOAT_EQ(gc->__GetShadowStrength__(&sample), 1.0f);
    EXPECT_FLOAT_EQ(gc->__GetColorAmbient__(&sample).g, 0.11f);
    EXPECT_FLOAT_EQ(gc->__GetColorDiffuse__(&sample).b, 0.5f);
    EXPECT_FLOAT_EQ(gc->__GetColorSpecular__(&sample).r, 0.9f);
    EXPECT_EQ(gc->__GetShininess__(&sample), 0.0f);
    sample.materialId[0] = sample.materialId[1] = -1;
    gc->__GetMaterialID__(&sample);
    EXPECT_EQ(sample.materialId[0], 0);
    EXPECT_EQ(sample.materialId[1], 0);
    int volumetric = 0;
    gc->__EnumParticle__(reinterpret_cast<ParticleInfo *>(&volumetric), nullptr,
                         kVolumeQueryIndex);
    EXPECT_EQ(volumetric, 1);
}

TEST_F(GradientColorTest, AllSourcesDisabledGiveBlackAndNoShadow) {
    for (int g = 0; g < GC::kSlots; ++g) Set(GC::SourceParam(g), GC::kDisabled);
    Set(GC::BlendParam(GC::kMaterial1), 9);
    Set(GC::BlendParam(GC::kMaterial2), 9);
    Update(*gc);
    EXPECT_EQ(gc->__GetShadowStrength__(&sample), 0.0f);
    for (const Color &c : {gc->__GetColorAmbient__(&sample), gc->__GetColorDiffuse__(&sample),
                           gc->__GetColorSpecular__(&sample)})
        EXPECT_EQ(c, Color(0, 0, 0));
    gc->__GetMaterialID__(&sample);
    EXPECT_EQ(sample.materialId[0], 0);
    EXPECT_EQ(sample.materialId[1], 0);
}

struct CycleCase {
    float cycle;      ///< percent
    float radius;     ///< the Particle Size source
    double position;  ///< of the gradient read (by hand from the table rule)
};

class GradientCycle : public GradientColorTest,
                      public ::testing::WithParamInterface<CycleCase> {};

INSTANTIATE_TEST_SUITE_P(
    Cycles, GradientCycle,
    ::testing::Values(CycleCase{0.0f, 0.25f, 0.75},     // entry 249
                      CycleCase{50.0f, 0.5f, 0.0},      // v + c = 1: entry 999, the start
                      CycleCase{50.0f, 0.7f, 0.8},      // v + c = 1.2: entry 199
                      CycleCase{150.0f, 0.7f, 0.8},     // 150 % acts as 50 %
                      CycleCase{-30.0f, 0.1f, 0.2},     // wraps up: 0.8, entry 799
                      CycleCase{0.0f, 1.6f, 0.0},       // a source past 1 reads as 1
                      CycleCase{0.0f, -0.4f, 0.999}));  // below 0 as 0: entry 0

TEST_P(GradientCycle, ShiftsTheSourceAndWrapsOnce) {
    Ramp(*gc, GC::kDiffuseGradient1);
    Set(GC::SourceParam(GC::kDiffuse1), GC::kParticleSize);
    Set(GC::CycleParam(GC::kDiffuse1), GetParam().cycle);
    Update(*gc);
    sample.radius = GetParam().radius;
    EXPECT_NEAR(gc->__GetColorDiffuse__(&sample).r, GetParam().position, 1e-6);
}

struct SourceCase {
    int source;
    double value;  ///< from the fixture's sample, by the source's formula
};

class GradientSource : public GradientColorTest,
                       public ::testing::WithParamInterface<SourceCase> {};

INSTANTIATE_TEST_SUITE_P(Sources, GradientSource,
                         ::testing::Values(SourceCase{GC::kParticleAge, 1.0 - 1200.0 / 4800.0},
                                           SourceCase{GC::kTurbulence, 0.15},
                                           SourceCase{GC::kScreenX, 1.0 - 0.15},
                                           SourceCase{GC::kScreenY, 1.0 - 0.9},
                                           SourceCase{GC::kParticleSize, 0.3},
                                           SourceCase{GC::kParticleSizeTrackView, 0.3},
                                           SourceCase{GC::kGalaxyLow, 0.15 * 1.25},
                                           SourceCase{GC::kGalaxyMed, 0.15 * 5.0},
                                           SourceCase{GC::kGalaxyHigh, 1.0},  // 1.5, capped
                                           SourceCase{GC::kPlasmaLow, 0.3 * 0.15 * 10.0},
                                           SourceCase{GC::kPlasmaMed, 0.3 * 0.15 * 20.0},
                                           SourceCase{GC::kPlasmaHigh, 1.0},  // 1.35, capped
                                           SourceCase{GC::kSunbeams, 0.65}));

TEST_P(GradientSource, ReadsTheGradientAtTheSourceValue) {
    Ramp(*gc, GC::kSpecularGradient2);
    Set(GC::SourceParam(GC::kSpecular1), GC::kDisabled);
    Set(GC::SourceParam(GC::kSpecular2), GetParam().source);
    Update(*gc);
    const int entries =
        GetParam().source == GC::kParticleSizeTrackView ? GC::kTrackTableSize : GC::kTableSize;
    EXPECT_NEAR(gc->__GetColorSpecular__(&sample).g, TablePosition(GetParam().value, entries),
                1e-6);
}

/// A particle system whose particles nobody reads.
class Emitter final : public ParticleObject {
public:
    Class_ID ClassID() override { return Class_ID(0x54505254, 0x47524431); }
    void Update(TimeValue, INode *) override {}
};

TEST_F(GradientColorTest, DistancesRunFromEmitterAndHelperOverTheirDistance) {
    NimbraHelper *helper = NewHelper();
    ASSERT_NE(helper, nullptr);
    INode *helperNode = GetCOREInterface()->GetRootNode()->GetChildNode(0);
    INode *emitterNode = GetCOREInterface()->CreateObjectNode(new Emitter);
    ASSERT_TRUE(helper->AddParticleSystem(emitterNode));
    auto *shader = static_cast<GradientColor *>(helper->ColorShader());
    Matrix3 at;
    at.SetTrans(Point3(10, 0, 0));
    helperNode->SetNodeTM(0, at);
    at.SetTrans(Point3(0, 0, 0));
    emitterNode->SetNodeTM(0, at);

    Ramp(*shader, GC::kDiffuseGradient1);
    Ramp(*shader, GC::kDiffuseGradient2);
    shader->ParamBlock()->SetValue(GC::SourceParam(GC::kDiffuse1), 0,
                                   GC::kEmitterHelperDistance);
    shader->ParamBlock()->SetValue(GC::SourceParam(GC::kDiffuse2), 0,
                                   GC::kHelperEmitterDistance);
    shader->ParamBlock()->SetValue(GC::BlendParam(GC::kDiffuse2), 0, 10.0f);  // apart from 1
    Update(*shader);
    // (4, 3, 0) is 5 from the emitter and √45 from the helper, 10 apart.
    const double expected =
        TablePosition(0.5, GC::kTableSize) + 10.0 * TablePosition(std::sqrt(45.0) / 10.0, 1000);
    EXPECT_NEAR(shader->__GetColorDiffuse__(&sample).r, expected, 1e-5);
    shader->__DestroyCache__(0, &volume);
}

TEST_F(GradientColorTest, ChannelsAddTheirTwoSlotsByTheirBlends) {
    Ramp(*gc, GC::kShadowGradient1);
    Set(GC::SourceParam(GC::kShadow1), GC::kParticleSize);
    Set(GC::BlendParam(GC::kShadow1), 2.0f);
    Set(GC::SourceParam(GC::kShadow2), GC::kTurbulence);  // the white preset
    Set(GC::BlendParam(GC::kShadow2), 0.25f);
    Update(*gc);
    EXPECT_NEAR(gc->__GetShadowStrength__(&sample), 2.0 * TablePosition(0.3, 1000) + 0.25,
                1e-6);
}

TEST_F(GradientColorTest, ShininessAndIlluminationFollowTheAgeAtAHundredfold) {
    Ramp(*gc, GC::kShininessGradient);
    Ramp(*gc, GC::kSelfIllumGradient);
    gc->GetGradient(GC::kSelfIllumGradient)->DelAllFlags();  // none: black
    Update(*gc);
    EXPECT_NEAR(gc->__GetShininess__(&sample), 100.0 * TablePosition(0.75, 1000), 1e-4);
    EXPECT_EQ(gc->__GetSelfIllumination__(&sample), 0.0f);
}

TEST_F(GradientColorTest, MaterialIdentifiersWhereTheirGradientIsBrighterThanHalf) {
    Ramp(*gc, GC::kMaterialGradient1);
    Set(GC::BlendParam(GC::kMaterial1), 7);  // source: Particle Size by default
    Update(*gc);
    for (const auto &[radius, id] : {std::pair{0.2f, 7}, std::pair{0.8f, 0}}) {
        sample.radius = radius;
        gc->__GetMaterialID__(&sample);
        EXPECT_EQ(sample.materialId[0], id) << radius;
        EXPECT_EQ(sample.materialId[1], 0);
    }
}

TEST_F(GradientColorTest, LibraryRecordCarriesParametersAndGradientsAndRefusesDamage) {
    Set(GC::CycleParam(GC::kAmbient2), 12.5f);
    Set(GC::BlendParam(GC::kMaterial2), 42);
    Gradient *shadow2 = gc->GetGradient(GC::kShadowGradient2);
    const std::vector<GradientFlag> flags = {{{0.1f, 0.2f, 0.3f}, 0.9f, "late"},
                                             {{0.4f, 0.5f, 0.6f}, 0.05f, "early"},
                                             {{0.7f, 0.8f, 0.9f}, 0.5f, "mid"}};
    SetGradientFlags(*shadow2, flags);
    const Bytes bytes = LibraryRecordOf(*gc);
    ASSERT_EQ(bytes.size(), 8u + 139368u);
    EXPECT_EQ(GetLEInt(bytes.data() + 8 + 4 * GC::BlendParam(GC::kMaterial2)), 42);
    EXPECT_EQ(GetLEFloat(bytes.data() + 8 + 4 * GC::CycleParam(GC::kAmbient2)), 12.5f);
    const std::uint8_t *shadowBlock = bytes.data() + 8 + 120 + 11 * 11604;  // the last block
    EXPECT_EQ(GetLEInt(shadowBlock), 3);
    EXPECT_EQ(GetLEFloat(shadowBlock + 116 + 16), 0.05f);

    Owned<GradientColor> loaded = New<GradientColor>();
    const Bytes defaults = LibraryRecordOf(*loaded);
    Bytes version = bytes, count = bytes;
    version[0] = 0x01;
    PutLEInt(count.data() + 8 + 120 + 3 * 11604, 101);
    for (const Bytes &bad : {version, count, Bytes(bytes.begin(), bytes.end() - 1)})
        EXPECT_EQ(LoadLibraryRecord(*loaded, bad), 0);
    EXPECT_EQ(LibraryRecordOf(*loaded), defaults);

    ASSERT_EQ(LoadLibraryRecord(*loaded, bytes), 1);
    EXPECT_EQ(LibraryRecordOf(*loaded), bytes);
    const Gradient *back = loaded->GetGradient(GC::kShadowGradient2);
    ASSERT_EQ(back->GetFlagCount(), 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(*back->GetFlag(i), flags[i]);
}

TEST_F(GradientColorTest, GradientsGoThroughSceneFiles) {
    NimbraHelper *helper = NewHelper();
    ASSERT_NE(helper, nullptr);
    auto *shader = static_cast<GradientColor *>(helper->ColorShader());
    const GradientFlag flag{{0.3f, 0.2f, 0.1f}, 0.4f, "kept"};
    shader->GetGradient(GC::kSpecularGradient2)->AddFlag(flag);

    const std::vector<std::uint8_t> bytes = SaveSceneToMemory("gradients");
    GetCOREInterface()->ResetScene();
    LoadSceneFromMemory(bytes, "gradients");
    INode *root = GetCOREInterface()->GetRootNode();
    ASSERT_EQ(root->NumberOfChildren(), 1);
    auto *back = dynamic_cast<NimbraHelper *>(root->GetChildNode(0)->GetObjectRef());
    ASSERT_NE(back, nullptr);
    auto *loaded = dynamic_cast<GradientColor *>(back->ColorShader());
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->SubAnimName(3), "Zephra_Data3");
    auto *node = dynamic_cast<DataNode *>(loaded->GetReference(3));
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->SubAnimName(1), "Specular 2");
    const Gradient *g = loaded->GetGradient(GC::kSpecularGradient2);
    ASSERT_EQ(g->GetFlagCount(), 3);
    EXPECT_EQ(*g->GetFlag(2), flag);
    EXPECT_FLOAT_EQ(g->GetColor(0.7f).r, 0.6f);  // half way from the new flag to the end
}

TEST_F(GradientColorTest, GradientsAreSetByNameInTheirTextForm) {
    std::string error;
    ASSERT_TRUE(gc->SetProperty(
        "Diffuse 2", std::string("0: 1 1 0.8 core; 0.6:1 0.5 0.125;; 1: 0.25 0 0 dark rim"),
        error))
        << error;
    const Gradient *g = gc->GetGradient(GC::kDiffuseGradient2);
    ASSERT_EQ(g->GetFlagCount(), 3);
    EXPECT_EQ(*g->GetFlag(1), (GradientFlag{{1, 0.5f, 0.125f}, 0.6f, ""}));
    EXPECT_EQ(g->GetFlag(2)->name, "dark rim");
    const auto text = gc->GetProperty("Diffuse 2");
    ASSERT_TRUE(text);
    ASSERT_TRUE(gc->SetProperty("Shadow 1", *text, error));
    EXPECT_EQ(FormatGradientFlags(*gc->GetGradient(GC::kShadowGradient1)),
              std::get<std::string>(*text));

    // A malformed flag, a position outside 0 … 1, or a number that is none changes nothing.
    for (const char *bad : {"0: 1 1", "1.5: 1 1 1", "0 1 1 1", "0.5: nan 0 0", "x: 0 0 0"}) {
        EXPECT_FALSE(gc->SetProperty("Diffuse 2", std::string(bad), error)) << bad;
        EXPECT_NE(error.find("Diffuse 2"), std::string::npos) << error;
    }
    EXPECT_EQ(gc->GetProperty("Diffuse 2"), text);
}

}  // namespace
