/// @file plugin_frame_test.cpp
/// @brief What the standard plug-ins share: registration, references and names, controllers
///        and their buttons, library records, named properties, clones and scene files.
#include "framework/library_block.h"
#include "framework/plugin_registry.h"
#include "framework/registry_record.h"
#include "plugins/standard/circle_shape.h"
#include "plugins/standard/default_color.h"
#include "plugins/standard/default_composite.h"
#include "plugins/standard/fireball_shape.h"
#include "plugins/standard/flame_shape.h"
#include "plugins/standard/plasma_shape.h"
#include "plugins/standard/smoke_shape.h"
#include "plugins/standard/spark_shape.h"
#include "host/inode.h"
#include "host/little_endian.h"
#include "host/scene_file.h"
#include "common/registry_file.h"
#include "common/scripted_user_interface.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace standardtest;

namespace {

struct ClassFacts {
    Class_ID id;
    const char *className;
    const char *category;
    const char *ownName;  ///< what the object's `GetClassName` answers
};

const ClassFacts kClasses[] = {
    {FireBallShape::kClassID, "FireBall", "FireBall Shader", "FireBall"},
    {CircleShape::kClassID, "Circle", "Simple Smoke", "Circle"},
    {DefaultColorShader::kClassID, "Default Color", "Color Gradient", "DefaultColor"},
    {DefaultComposite::kClassID, "Default Composite", "Nimbra Plugins", "DefaultComp"},
    {FlameShape::kClassID, "Flame 2D", "Flame 2D Shader", "Flame 2D"},
    {PlasmaShape::kClassID, "Plasma", "Plasma Shader", "Plasma"},
    {SmokeShape::kClassID, "Smoke", "Smoke Shader", "Smoke"},
    {SparkShape::kClassID, "Spark", "Spark Shader", "Spark"},
};

/// Every record of the registration file.
std::vector<PlugInRecord> RegistrationFile() {
    return testfiles::RecordsIn(StandardModules::ConfigDir() / kRegistryFileName);
}

/// Every parameter of `pb` at time 0, as floats (colours as three).
std::vector<float> Values(IParamBlock *pb) {
    std::vector<float> v;
    for (int i = 0; i < pb->NumParams(); ++i) {
        if (pb->GetParameterType(i) == TYPE_RGBA) {
            Color c;
            pb->GetValue(i, 0, c);
            v.insert(v.end(), {c.r, c.g, c.b});
        } else {
            float f = 0;
            pb->GetValue(i, 0, f);
            v.push_back(f);
        }
    }
    return v;
}

DefaultController *ControllerOf(TablePlugIn &plugIn, int i) {
    return dynamic_cast<DefaultController *>(plugIn.GetController(i));
}

Owned<FireBallShape> NewFireBall() {
    return NewPlugIn<FireBallShape>(FireBallShape::kClassID);
}

/// A shape with a value other than its default in every parameter: 1 in ints, 1.5 i + 0.25
/// in float parameter i.
void MakeDistinct(TablePlugIn &shape) {
    IParamBlock *pb = shape.ParamBlock();
    for (int i = 0; i < pb->NumParams(); ++i) {
        if (pb->GetParameterType(i) == TYPE_INT)
            pb->SetValue(i, 0, 1);
        else
            pb->SetValue(i, 0, 1.5f * i + 0.25f);
    }
}

}  // namespace

TEST(StandardPlugIns, AreListedWithTheHostAndInTheRegistrationFile) {
    const std::vector<PlugInRecord> file = RegistrationFile();
    for (const ClassFacts &facts : kClasses) {
        SCOPED_TRACE(facts.className);
        ClassDesc *desc = ClassDirectory::Instance().Find(REF_MAKER_CLASS_ID, facts.id);
        ASSERT_NE(desc, nullptr);
        EXPECT_EQ(std::string(desc->ClassName()), facts.className);
        EXPECT_EQ(std::string(desc->Category()), facts.category);
        EXPECT_TRUE(desc->IsPublic());

        auto plugIn = NewPlugIn<NimbraPlugIn>(facts.id);
        ASSERT_NE(plugIn, nullptr);
        EXPECT_EQ(plugIn->ClassID(), facts.id);
        EXPECT_EQ(plugIn->SuperClassID(), REF_MAKER_CLASS_ID);
        TSTR own;
        plugIn->GetClassName(own);
        EXPECT_EQ(own, facts.ownName);
        EXPECT_EQ(plugIn->__SupportProcessing__(), kParticleRendererSupport);

        int found = 0;
        for (const PlugInRecord &r : file) {
            if (r.categoryKey != facts.id.PartA() || r.pluginId != facts.id.PartB()) continue;
            ++found;
            EXPECT_EQ(r.className, facts.className);
            EXPECT_EQ(r.description, facts.category);
            EXPECT_EQ(r.superClassId, 256u);
        }
        EXPECT_EQ(found, 1);
        const PlugInRecord *record = ThePlugInRegistry().FindById(facts.id.PartB());
        ASSERT_NE(record, nullptr);
        EXPECT_EQ(record->className, facts.className);
    }
}

TEST(StandardPlugIns, ReferencesAndSubAnimatablesAreTheBlockThenTheControllers) {
    const auto names = [](TablePlugIn &p) {
        std::vector<std::string> n;
        for (int i = 0; i < p.NumSubs(); ++i) {
            n.push_back(p.SubAnimName(i));
            EXPECT_EQ(p.SubAnim(i), p.GetReference(i));
        }
        return n;
    };
    auto fireBall = NewFireBall();
    EXPECT_EQ(fireBall->NumRefs(), 4);
    EXPECT_EQ(names(*fireBall),
              (std::vector<std::string>{"Parameters", "Noise Size", "Threshold", "Phase"}));
    EXPECT_EQ(fireBall->GetReference(0), fireBall->ParamBlock());
    EXPECT_EQ(fireBall->NumControllers(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(fireBall->GetController(i), fireBall->GetReference(1 + i));
    EXPECT_EQ(fireBall->GetController(3), nullptr);
    EXPECT_EQ(fireBall->GetController(-1), nullptr);

    auto color = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    EXPECT_EQ(names(*color), (std::vector<std::string>{"Parameters", "Color One", "Color Two",
                                                       "Color One To Two"}));
    EXPECT_EQ(color->NumControllers(), 3);

    auto composite = NewPlugIn<DefaultComposite>(DefaultComposite::kClassID);
    EXPECT_EQ(names(*composite), (std::vector<std::string>{"Parameters"}));
    EXPECT_EQ(composite->NumControllers(), 0);
}

TEST(StandardPlugIns, SmokeAndPlasmaHoldSizePhaseAndTheirThirdQuantity) {
    struct Quantity {
        const char *name;
        int button;
        float min, max, step;
    };
    const struct {
        Class_ID id;
        Quantity quantities[3];
    } shapes[] = {
        {SmokeShape::kClassID,
         {{"Size", 1077, 0.001f, 9999.0f, 0.005f},
          {"Phase", 1072, 0.0f, 99999.0f, 0.005f},
          {"Exponent", 1067, 0.001f, 5.0f, 0.005f}}},
        {PlasmaShape::kClassID,
         {{"Size", 1077, 0.001f, 9999.0f, 0.005f},
          {"Phase", 1072, 0.0f, 9999.0f, 0.05f},
          {"Motion", 1067, 0.0f, 1.0f, 0.05f}}},
    };
    for (const auto &facts : shapes) {
        auto shape = NewPlugIn<TablePlugIn>(facts.id);
        ASSERT_NE(shape, nullptr);
        ASSERT_EQ(shape->NumRefs(), 4);
        EXPECT_EQ(shape->SubAnimName(0), "Parameters");
        EXPECT_EQ(shape->GetReference(0), shape->ParamBlock());
        EXPECT_EQ(shape->ParamBlock()->NumParams(), 7);
        ASSERT_EQ(shape->NumControllers(), 3);
        for (int i = 0; i < 3; ++i) {
            const Quantity &q = facts.quantities[i];
            SCOPED_TRACE(q.name);
            EXPECT_EQ(shape->SubAnimName(1 + i), q.name);
            EXPECT_EQ(shape->ControllerForButton(q.button), i);
            DefaultController *c = ControllerOf(*shape, i);
            ASSERT_NE(c, nullptr);
            EXPECT_EQ(c, shape->GetReference(1 + i));
            EXPECT_EQ(c->State().minFloat, q.min);
            EXPECT_EQ(c->State().maxFloat, q.max);
            EXPECT_EQ(c->State().stepFloat, q.step);
        }
        RemapDir remap;
        Owned<TablePlugIn> copy(dynamic_cast<TablePlugIn *>(shape->Clone(remap)));
        ASSERT_NE(copy, nullptr);
        EXPECT_EQ(copy->ClassID(), facts.id);
        for (int i = 0; i < 4; ++i) {
            EXPECT_NE(copy->GetReference(i), nullptr);
            EXPECT_NE(copy->GetReference(i), shape->GetReference(i));
        }
    }
}

TEST(StandardPlugIns, ControllersAreDefaultControllersSetUpWithTheirRanges) {
    auto fireBall = NewFireBall();
    const struct {
        float min, max, step;
    } ranges[] = {{0.001f, 100.0f, 0.1f}, {0.001f, 100.0f, 0.1f}, {0.0f, 1000.0f, 0.1f}};
    for (int i = 0; i < 3; ++i) {
        DefaultController *c = ControllerOf(*fireBall, i);
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c->State().kind, kKindFloat);
        EXPECT_EQ(c->State().minFloat, ranges[i].min);
        EXPECT_EQ(c->State().maxFloat, ranges[i].max);
        EXPECT_EQ(c->State().stepFloat, ranges[i].step);
    }
    auto color = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    for (int i = 0; i < 3; ++i) {
        DefaultController *c = ControllerOf(*color, i);
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c->State().kind, kKindColor);
        EXPECT_EQ(c->State().variantBirthColor, (Color16{65535, 65535, 65535}));
    }
}

TEST(StandardPlugIns, ParametersAnswerTheirNamesAndDimensions) {
    auto fireBall = NewFireBall();
    IParamBlock *pb = fireBall->ParamBlock();
    ASSERT_NE(pb, nullptr);
    EXPECT_EQ(pb->NumParams(), 7);
    const char *names[] = {"??",
                           "Birth Noise Size",
                           "Death Noise Size",
                           "Birth Threshold",
                           "Death Threshold",
                           "Birth Phase",
                           "Death Phase"};
    for (int i = 0; i < 7; ++i) {
        EXPECT_EQ(pb->GetParamName(i), names[i]);
        EXPECT_EQ(pb->GetParamDimension(i), defaultDim);
    }
    EXPECT_FALSE(pb->IsParamAnimatable(0));
    EXPECT_TRUE(pb->IsParamAnimatable(6));
    EXPECT_EQ(pb->FindParamByName("Death Threshold"), 4);

    auto color = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    pb = color->ParamBlock();
    EXPECT_EQ(pb->GetParamName(0), "Shade Type");
    EXPECT_EQ(pb->GetParamName(4), "Death Color 2");
    EXPECT_EQ(pb->GetParamName(5), "??");
    EXPECT_EQ(pb->GetParamDimension(2), stdColorDim);
    EXPECT_EQ(pb->GetParamDimension(5), defaultDim);
    Color c;
    pb->GetValue(DefaultColorShader::kDeathColor1, 0, c);
    EXPECT_EQ(c, Color(0.9f, 0.9f, 0.9f));

    auto composite = NewPlugIn<DefaultComposite>(DefaultComposite::kClassID);
    pb = composite->ParamBlock();
    EXPECT_EQ(pb->GetParamName(0), "Composite Type");
    EXPECT_EQ(pb->GetParamName(1), "Blur Type");
    EXPECT_FALSE(pb->IsParamAnimatable(0));
}

// ---------------------------------------------------------------------------------------------
// Library records

TEST(StandardPlugIns, FireBallRecordIsTheVersionBlockAndSevenFields) {
    auto fireBall = NewFireBall();
    MakeDistinct(*fireBall);
    LibraryFile file;
    ASSERT_EQ(fireBall->LibrarySave(file.io()), 1);
    const std::vector<std::uint8_t> bytes = file.Bytes();
    ASSERT_EQ(bytes.size(), 36u);
    EXPECT_EQ(U16At(bytes, 0), 256);
    for (int i = 2; i < 8; ++i) EXPECT_EQ(bytes[i], 0) << i;
    EXPECT_EQ(IntAt(bytes, 8), 1);
    for (int i = 1; i < 7; ++i) EXPECT_EQ(FloatAt(bytes, 8 + 4 * i), 1.5f * i + 0.25f) << i;
}

TEST(StandardPlugIns, SmokeAndPlasmaRecordsAreTheVersionBlockAndSevenFields) {
    // Smoke: six floats, then Samples as an int. Plasma: Core as an int, then six floats.
    const struct {
        Class_ID id;
        int intAt;
    } records[] = {{SmokeShape::kClassID, 6}, {PlasmaShape::kClassID, 0}};
    for (const auto &record : records) {
        auto shape = NewPlugIn<TablePlugIn>(record.id);
        ASSERT_NE(shape, nullptr);
        MakeDistinct(*shape);
        LibraryFile file;
        ASSERT_EQ(shape->LibrarySave(file.io()), 1);
        const std::vector<std::uint8_t> bytes = file.Bytes();
        ASSERT_EQ(bytes.size(), 36u);
        EXPECT_EQ(U16At(bytes, 0), 256);
        for (int i = 2; i < 8; ++i) EXPECT_EQ(bytes[i], 0) << i;
        for (int i = 0; i < 7; ++i) {
            if (i == record.intAt)
                EXPECT_EQ(IntAt(bytes, 8 + 4 * i), 1) << i;
            else
                EXPECT_EQ(FloatAt(bytes, 8 + 4 * i), 1.5f * i + 0.25f) << i;
        }

        // Another version is refused and changes nothing.
        std::vector<std::uint8_t> bad = bytes;
        bad[0] = 0x01;  // version 257
        file.Replace(bad);
        auto loaded = NewPlugIn<TablePlugIn>(record.id);
        const std::vector<float> before = Values(loaded->ParamBlock());
        EXPECT_EQ(loaded->LibraryLoad(file.io()), 0);
        EXPECT_EQ(Values(loaded->ParamBlock()), before);
    }
}

TEST(StandardPlugIns, ColorAndCompositeRecordsHoldTheirParametersInOrder) {
    auto color = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    color->ParamBlock()->SetValue(DefaultColorShader::kShadeType, 0, 2);
    color->ParamBlock()->SetValue(DefaultColorShader::kBirthColor2, 0, Color(0.1f, 0.2f, 0.3f));
    color->ParamBlock()->SetValue(DefaultColorShader::kBlacken, 0, 0);
    LibraryFile colorFile;
    ASSERT_EQ(color->LibrarySave(colorFile.io()), 1);
    std::vector<std::uint8_t> bytes = colorFile.Bytes();
    ASSERT_EQ(bytes.size(), 8u + 56u);
    EXPECT_EQ(U16At(bytes, 0), 256);
    EXPECT_EQ(IntAt(bytes, 8), 2);
    EXPECT_EQ(FloatAt(bytes, 12), 0.8f);  // Birth Color 1
    EXPECT_EQ(FloatAt(bytes, 24), 0.9f);  // Death Color 1
    EXPECT_EQ(FloatAt(bytes, 36), 0.1f);  // Birth Color 2
    EXPECT_EQ(FloatAt(bytes, 40), 0.2f);
    EXPECT_EQ(FloatAt(bytes, 44), 0.3f);
    EXPECT_EQ(FloatAt(bytes, 48), 0.4f);  // Death Color 2
    EXPECT_EQ(IntAt(bytes, 60), 0);       // blacken

    auto composite = NewPlugIn<DefaultComposite>(DefaultComposite::kClassID);
    composite->ParamBlock()->SetValue(DefaultComposite::kCompositeType, 0, 3);
    LibraryFile compositeFile;
    ASSERT_EQ(composite->LibrarySave(compositeFile.io()), 1);
    bytes = compositeFile.Bytes();
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(U16At(bytes, 0), 256);
    EXPECT_EQ(IntAt(bytes, 8), 3);
    EXPECT_EQ(IntAt(bytes, 12), 1);
}

TEST(StandardPlugIns, LibraryRecordsRoundTrip) {
    // Each class: change every parameter, save, load into a new object.
    std::vector<Owned<TablePlugIn>> sources;
    auto fireBall = NewFireBall();
    MakeDistinct(*fireBall);
    sources.emplace_back(fireBall.release());
    auto color = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    color->ParamBlock()->SetValue(DefaultColorShader::kShadeType, 0, 1);
    for (int i = 1; i <= 4; ++i)
        color->ParamBlock()->SetValue(i, 0, Color(0.1f * i, 0.5f, 1.0f - 0.2f * i));
    color->ParamBlock()->SetValue(DefaultColorShader::kBlacken, 0, 0);
    sources.emplace_back(color.release());
    auto composite = NewPlugIn<DefaultComposite>(DefaultComposite::kClassID);
    composite->ParamBlock()->SetValue(DefaultComposite::kCompositeType, 0, 2);
    composite->ParamBlock()->SetValue(DefaultComposite::kBlurType, 0, 0);
    sources.emplace_back(composite.release());
    for (Class_ID id : {SmokeShape::kClassID, PlasmaShape::kClassID}) {
        sources.push_back(NewPlugIn<TablePlugIn>(id));
        MakeDistinct(*sources.back());
    }

    for (const Owned<TablePlugIn> &source : sources) {
        LibraryFile file;
        ASSERT_EQ(source->LibrarySave(file.io()), 1);
        file.Rewind();
        auto loaded = NewPlugIn<TablePlugIn>(source->ClassID());
        ASSERT_NE(loaded, nullptr);
        EXPECT_NE(Values(loaded->ParamBlock()), Values(source->ParamBlock()));
        ASSERT_EQ(loaded->LibraryLoad(file.io()), 1);
        EXPECT_EQ(Values(loaded->ParamBlock()), Values(source->ParamBlock()));
    }
}

TEST(StandardPlugIns, BadLibraryRecordsAreRefusedAndChangeNothing) {
    auto source = NewFireBall();
    MakeDistinct(*source);
    LibraryFile file;
    ASSERT_EQ(source->LibrarySave(file.io()), 1);
    const std::vector<std::uint8_t> good = file.Bytes();

    auto fireBall = NewFireBall();
    const std::vector<float> before = Values(fireBall->ParamBlock());
    const auto refused = [&](std::vector<std::uint8_t> bytes, const char *what) {
        file.Replace(bytes);
        EXPECT_EQ(fireBall->LibraryLoad(file.io()), 0) << what;
        EXPECT_EQ(Values(fireBall->ParamBlock()), before) << what;
    };
    std::vector<std::uint8_t> bad = good;
    bad[0] = 0x01;  // version 257
    refused(bad, "another version");
    bad = good;
    bad[1] = 0;  // version 0
    refused(bad, "version 0");
    refused(std::vector<std::uint8_t>(good.begin(), good.end() - 1), "short body");
    refused(std::vector<std::uint8_t>(good.begin(), good.begin() + 5), "short header");
    refused({}, "empty");
    bad = good;
    PutLEFloat(bad.data() + 16, std::nanf(""));
    refused(bad, "not a number");
    bad = good;
    PutLEInt(bad.data() + 8, 2);
    refused(bad, "a noise type that does not exist");

    // The six bytes after the version word are not read.
    bad = good;
    bad[5] = 0x7F;
    file.Replace(bad);
    EXPECT_EQ(fireBall->LibraryLoad(file.io()), 1);
    EXPECT_EQ(Values(fireBall->ParamBlock()), Values(source->ParamBlock()));

    // No library file: nothing is written or read.
    NimbraInterface *io = GetNimbraInterface();
    std::FILE *open = io->file;
    io->file = nullptr;
    EXPECT_EQ(fireBall->LibrarySave(io), 0);
    EXPECT_EQ(fireBall->LibraryLoad(io), 0);
    io->file = open;

    auto color = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    LibraryFile colorFile;
    ASSERT_EQ(color->LibrarySave(colorFile.io()), 1);
    bad = colorFile.Bytes();
    PutLEInt(bad.data() + 60, 5);  // blacken is a switch
    colorFile.Replace(bad);
    EXPECT_EQ(color->LibraryLoad(colorFile.io()), 0);
}

// ---------------------------------------------------------------------------------------------
// Named settings

TEST(StandardPlugIns, RadioChoicesAreNamedProperties) {
    auto fireBall = NewFireBall();
    IObjectProperties *props = GetObjectProperties(fireBall.get());
    ASSERT_NE(props, nullptr);
    const std::vector<PropertyInfo> list = props->ListProperties();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list[0].name, "Noise Type");
    EXPECT_EQ(list[0].kind, PropertyKind::Choice);
    EXPECT_EQ(list[0].choices, (std::vector<std::string>{"Regular", "Fractal"}));

    std::string error;
    ASSERT_TRUE(props->SetProperty("Noise Type", std::string("Fractal"), error)) << error;
    int type = 0;
    fireBall->ParamBlock()->GetValue(FireBallShape::kNoiseType, 0, type);
    EXPECT_EQ(type, 1);
    EXPECT_EQ(props->GetProperty("Noise Type"), PropertyValue(std::string("Fractal")));

    EXPECT_FALSE(props->SetProperty("Noise Type", std::string("Perlin"), error));
    EXPECT_EQ(error, "\"Noise Type\" expects \"Regular\" or \"Fractal\"");
    EXPECT_FALSE(props->SetProperty("Noise Type", 0, error));
    EXPECT_FALSE(props->SetProperty("Noise Kind", std::string("Regular"), error));
    EXPECT_EQ(error, "FireBall has no property \"Noise Kind\"");
    EXPECT_EQ(props->GetProperty("Noise Kind"), std::nullopt);
    fireBall->ParamBlock()->GetValue(FireBallShape::kNoiseType, 0, type);
    EXPECT_EQ(type, 1) << "refused values change nothing";

    auto color = NewPlugIn<DefaultColorShader>(DefaultColorShader::kClassID);
    props = GetObjectProperties(color.get());
    ASSERT_TRUE(props->SetProperty("Number Of Colors", std::string("Four"), error)) << error;
    ASSERT_TRUE(props->SetProperty("Blacken Color", false, error)) << error;
    EXPECT_FALSE(props->SetProperty("Blacken Color", std::string("no"), error));
    color->__BeginFrame__(0, nullptr, nullptr, nullptr);
    EXPECT_EQ(color->ShadeType(), DefaultColorShader::kFourColors);
    EXPECT_EQ(props->GetProperty("Blacken Color"), PropertyValue(false));

    auto composite = NewPlugIn<DefaultComposite>(DefaultComposite::kClassID);
    props = GetObjectProperties(composite.get());
    ASSERT_TRUE(props->SetProperty("Composite Type", std::string("Glow"), error)) << error;
    ASSERT_TRUE(props->SetProperty("Blur Type", std::string("Strength Via Color"), error));
    composite->__BeginFrame__(0, nullptr, nullptr, nullptr);
    EXPECT_EQ(composite->CompositeTypeInUse(), DefaultComposite::kGlow);
    EXPECT_EQ(composite->BlurTypeInUse(), DefaultComposite::kStrengthViaColor);
}

// ---------------------------------------------------------------------------------------------
// Controller buttons

TEST(StandardPlugIns, ControllerButtonsOpenAndCloseTheEditors) {
    auto fireBall = NewFireBall();
    EXPECT_EQ(fireBall->ControllerForButton(1099), 0);
    EXPECT_EQ(fireBall->ControllerForButton(1082), 1);
    EXPECT_EQ(fireBall->ControllerForButton(1072), 2);
    EXPECT_EQ(fireBall->ControllerForButton(1052), -1);

    fireBall->__BeginEdit__(GetCOREInterface(), GetNimbraInterface());
    EXPECT_TRUE(fireBall->IsEditing());
    ICustButton button;
    button.SetType(CBT_CHECK);
    button.SetCheck(TRUE);
    fireBall->ControllerButtonReleased(1, true, &button);
    DefaultController *threshold = ControllerOf(*fireBall, 1);
    EXPECT_TRUE(threshold->IsEditing());
    EXPECT_EQ(threshold->EditorTitle(), "IPC - Threshold");
    EXPECT_EQ(threshold->EditInterface(), GetCOREInterface());
    EXPECT_EQ(threshold->button, &button);

    fireBall->ControllerButtonReleased(1, false, &button);
    EXPECT_FALSE(threshold->IsEditing());

    fireBall->ControllerButtonReleased(0, true, &button);
    fireBall->ControllerButtonReleased(2, true, &button);
    fireBall->__EndEdit__(GetCOREInterface(), GetNimbraInterface());
    EXPECT_FALSE(fireBall->IsEditing());
    for (int i = 0; i < 3; ++i) EXPECT_FALSE(ControllerOf(*fireBall, i)->IsEditing()) << i;
}

TEST(StandardPlugIns, RightClickReplacesAControllerAndSetsUpOnlyANewOne) {
    ScriptedUserInterface ui;
    auto fireBall = NewFireBall();
    fireBall->__BeginEdit__(GetCOREInterface(), GetNimbraInterface());
    DefaultController *phase = ControllerOf(*fireBall, 2);
    ASSERT_TRUE(phase->SetNoiseSeed(77));

    ui.ScriptListChoice(std::nullopt);  // the user keeps the controller
    fireBall->ControllerButtonRightClicked(2);
    EXPECT_EQ(ControllerOf(*fireBall, 2), phase);
    EXPECT_EQ(phase->State().noiseSeed, 77) << "a kept controller keeps its settings";

    ui.ScriptListChoice(0);  // "Default"
    fireBall->ControllerButtonRightClicked(2);
    ASSERT_EQ(ui.ListChoices().size(), 2u);
    EXPECT_EQ(ui.ListChoices()[1].items, (std::vector<std::string>{"Default"}));
    DefaultController *replacement = ControllerOf(*fireBall, 2);
    ASSERT_NE(replacement, nullptr);
    EXPECT_NE(replacement, phase);
    EXPECT_EQ(replacement->State().kind, kKindFloat);
    EXPECT_EQ(replacement->State().maxFloat, 1000.0f);
    EXPECT_EQ(replacement->State().noiseSeed, 0);
    fireBall->__EndEdit__(GetCOREInterface(), GetNimbraInterface());
}

// ---------------------------------------------------------------------------------------------
// Clones, scene files, missing controllers

TEST(StandardPlugIns, CloneCopiesTheBlockAndClonesTheControllers) {
    auto fireBall = NewFireBall();
    MakeDistinct(*fireBall);
    ControllerOf(*fireBall, 0)->SetInterpolation(kSmoothStep);
    RemapDir remap;
    Owned<FireBallShape> copy(dynamic_cast<FireBallShape *>(fireBall->Clone(remap)));
    ASSERT_NE(copy, nullptr);
    EXPECT_NE(copy->ParamBlock(), fireBall->ParamBlock());
    EXPECT_EQ(Values(copy->ParamBlock()), Values(fireBall->ParamBlock()));
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(ControllerOf(*copy, i), nullptr);
        EXPECT_NE(ControllerOf(*copy, i), ControllerOf(*fireBall, i));
        EXPECT_EQ(ControllerOf(*copy, i)->State(), ControllerOf(*fireBall, i)->State());
    }
    copy->ParamBlock()->SetValue(FireBallShape::kBirthPhase, 0, 99.0f);
    float phase = 0;
    fireBall->ParamBlock()->GetValue(FireBallShape::kBirthPhase, 0, phase);
    EXPECT_NE(phase, 99.0f);
}

TEST_F(OwnerTest, PlugInsGoThroughSceneFilesWithTheirKeysAndControllers) {
    auto *fireBall = new FireBallShape;
    MakeDistinct(*fireBall);
    fireBall->ParamBlock()->SetKey(FireBallShape::kBirthNoiseSize, 0, 1.0f);
    fireBall->ParamBlock()->SetKey(FireBallShape::kBirthNoiseSize, 4800, 9.0f);
    ControllerOf(*fireBall, 1)->SetInterpolation(kStep);
    auto *color = new DefaultColorShader;
    color->ParamBlock()->SetValue(DefaultColorShader::kShadeType, 0, 2);
    GetCOREInterface()->CreateObjectNode(new PlugInOwner(fireBall));
    GetCOREInterface()->CreateObjectNode(new PlugInOwner(color));
    const std::vector<float> fireBallValues = Values(fireBall->ParamBlock());
    const ControllerState thresholdState = ControllerOf(*fireBall, 1)->State();

    const std::vector<std::uint8_t> bytes = SaveSceneToMemory("plug-ins");
    GetCOREInterface()->ResetScene();
    LoadSceneFromMemory(bytes, "plug-ins");

    INode *root = GetCOREInterface()->GetRootNode();
    ASSERT_EQ(root->NumberOfChildren(), 2);
    auto *owner = dynamic_cast<PlugInOwner *>(root->GetChildNode(0)->GetObjectRef());
    ASSERT_NE(owner, nullptr);
    auto *loaded = dynamic_cast<FireBallShape *>(owner->plugIn);
    ASSERT_NE(loaded, nullptr);
    ASSERT_NE(loaded->ParamBlock(), nullptr);
    EXPECT_EQ(Values(loaded->ParamBlock()), fireBallValues);
    EXPECT_EQ(loaded->ParamBlock()->NumKeys(FireBallShape::kBirthNoiseSize), 2);
    float v = 0;
    loaded->ParamBlock()->GetValue(FireBallShape::kBirthNoiseSize, 2400, v);
    EXPECT_FLOAT_EQ(v, 5.0f);
    ASSERT_NE(ControllerOf(*loaded, 1), nullptr);
    EXPECT_EQ(ControllerOf(*loaded, 1)->State(), thresholdState);

    owner = dynamic_cast<PlugInOwner *>(root->GetChildNode(1)->GetObjectRef());
    auto *loadedColor = dynamic_cast<DefaultColorShader *>(owner->plugIn);
    ASSERT_NE(loadedColor, nullptr);
    loadedColor->__BeginFrame__(0, nullptr, nullptr, nullptr);
    EXPECT_EQ(loadedColor->ShadeType(), DefaultColorShader::kFourColors);
    EXPECT_EQ(loadedColor->NumControllers(), 3);
    EXPECT_NE(loadedColor->GetController(2), nullptr);
}

TEST(StandardPlugIns, MissingControllerGivesTheBirthValue) {
    auto fireBall = NewFireBall();
    fireBall->ParamBlock()->SetValue(FireBallShape::kBirthNoiseSize, 0, 2.0f);
    fireBall->ParamBlock()->SetValue(FireBallShape::kDeathNoiseSize, 0, 6.0f);
    fireBall->DeleteReference(TablePlugIn::kRefFirstController);
    EXPECT_EQ(fireBall->GetController(0), nullptr);
    fireBall->__BeginFrame__(0, nullptr, nullptr, nullptr);
    ParticleInfo p;
    p.lifeEnd = 4800;
    p.age = 4000;
    fireBall->__BeginParticle__(1.0f, 10, &p);
    EXPECT_EQ(fireBall->NoiseSize(), 2.0f);
    unsigned short d = 0;
    EXPECT_EQ(fireBall->__ParticleShape__(&d, 10, 0, 0, 0, 0), 1);
    fireBall->__EndFrame__(0);
}
