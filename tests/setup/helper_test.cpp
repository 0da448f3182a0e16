/// @file helper_test.cpp
/// @brief A new helper: identity and class slot, default plug-ins and controllers, references
///        and sub-animatables, both parameter blocks with their names, dimensions and
///        defaults, the shading-order default, and the helper built without its plug-ins.
#include "setup_fixture.h"

#include "framework/plugin_interface.h"
#include "plugins/standard/default_controller.h"
#include "host/messages.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

namespace {

using namespace setuptest;

TEST_F(HelperTest, IdentityAndClassSlot) {
    ClassDesc *desc = GetNimbraHelperDesc();
    EXPECT_STREQ(desc->ClassName(), "Nimbra");
    EXPECT_STREQ(desc->Category(), "Nimbra Helpers");
    EXPECT_EQ(desc->SuperClassID(), HELPER_CLASS_ID);
    EXPECT_EQ(desc->ClassID(), Class_ID(0x550E171D, 0x19C555C0));
    EXPECT_TRUE(desc->IsPublic());

    const LoadedModule *nimbra = SetupModules::Loader().FindModule("nimbra");
    ASSERT_NE(nimbra, nullptr);
    ASSERT_FALSE(nimbra->classes.empty());
    EXPECT_EQ(nimbra->classes[0], desc);
    EXPECT_EQ(ClassDirectory::Instance().Find(HELPER_CLASS_ID, kNimbraHelperClassID), desc);

    INode *node = nullptr;
    NimbraHelper *helper = NewHelperNode(&node);
    TSTR name;
    helper->GetClassName(name);
    EXPECT_EQ(name, "Nimbra");
    EXPECT_EQ(helper->SuperClassID(), HELPER_CLASS_ID);
    EXPECT_EQ(std::string(node->GetName()).rfind("Nimbra", 0), 0u) << node->GetName();
    EXPECT_EQ(helper->FindNode(), node);
}

TEST_F(HelperTest, NewHelperHoldsDefaultPlugInsAndSetUpControllers) {
    NimbraHelper *helper = NewHelperNode();
    EXPECT_EQ(helper->ShapeId(), 0x282C0A37u);
    EXPECT_EQ(helper->ColorId(), 0x74874163u);
    EXPECT_EQ(helper->CompositeId(), 0x49120A27u);
    EXPECT_EQ(helper->SpareId(), 0u);
    EXPECT_EQ(helper->ReservedA(), 0);
    EXPECT_EQ(helper->ReservedB(), 0);
    EXPECT_EQ(helper->ReservedC(), 16);
    for (std::int32_t word : helper->PanelState()) EXPECT_EQ(word, 0);
    EXPECT_EQ(helper->CurrentSystem(), 0);
    EXPECT_TRUE(ui.Messages().empty());

    ASSERT_NE(helper->Shape(), nullptr);
    ASSERT_NE(helper->ColorShader(), nullptr);
    ASSERT_NE(helper->Composite(), nullptr);
    EXPECT_EQ(helper->Shape()->ClassID(), kCircleShapeClassID);
    EXPECT_EQ(helper->ColorShader()->ClassID(), kDefaultColorClassID);
    EXPECT_EQ(helper->Composite()->ClassID(), kDefaultCompositeClassID);
    EXPECT_FALSE(helper->IsVolumeSetup());
    EXPECT_EQ(helper->VolumePlugInCount(), 0);

    // Four distinct default controllers, each set up with its quantity's range.
    EXPECT_EQ(helper->ControllerCount(), 4);
    EXPECT_EQ(helper->GetHelperController(4), nullptr);
    EXPECT_EQ(helper->GetHelperController(-1), nullptr);
    const float maxima[] = {1.0f, 9999.0f, 1.0f, 9999.0f};
    const float steps[] = {0.05f, 0.5f, 0.05f, 0.5f};
    for (int i = 0; i < 4; ++i) {
        auto *c = dynamic_cast<DefaultController *>(helper->GetHelperController(i));
        ASSERT_NE(c, nullptr) << i;
        EXPECT_EQ(c->State().kind, kKindFloat) << i;
        EXPECT_EQ(c->State().minFloat, 0.0f) << i;
        EXPECT_EQ(c->State().maxFloat, maxima[i]) << i;
        EXPECT_EQ(c->State().stepFloat, steps[i]) << i;
        for (int j = 0; j < i; ++j) EXPECT_NE(helper->GetHelperController(j), c);
    }
}

TEST_F(HelperTest, ReferencesAndSubAnimatables) {
    NimbraHelper *helper = NewHelperNode();
    ASSERT_EQ(helper->NumRefs(), 9);
    EXPECT_EQ(helper->GetReference(0), helper->IconBlock());
    EXPECT_EQ(helper->GetReference(1), helper->AgeBlock());
    EXPECT_EQ(helper->GetReference(2), helper->Shape());
    EXPECT_EQ(helper->GetReference(3), helper->ColorShader());
    EXPECT_EQ(helper->GetReference(4), helper->Composite());
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(helper->GetReference(5 + i), helper->GetHelperController(i));
    EXPECT_EQ(helper->GetReference(9), nullptr);
    for (int i = 0; i < 9; ++i) EXPECT_NE(helper->GetReference(i), nullptr) << i;

    ASSERT_EQ(helper->NumSubs(), 8);
    const char *names[] = {"Nimbra",
                           "Trans. Controller",
                           "Size. Controller",
                           "Shadow Trans. Controller",
                           "Shadow Size. Controller",
                           "Particle Shape",
                           "Color Shader",
                           "Composite"};
    Animatable *targets[] = {helper->AgeBlock(),
                             helper->GetHelperController(0),
                             helper->GetHelperController(1),
                             helper->GetHelperController(2),
                             helper->GetHelperController(3),
                             helper->Shape(),
                             helper->ColorShader(),
                             helper->Composite()};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(helper->SubAnimName(i), names[i]);
        EXPECT_EQ(helper->SubAnim(i), targets[i]) << i;
    }
}

TEST_F(HelperTest, AgeBlockTable) {
    NimbraHelper *helper = NewHelperNode();
    IParamBlock *age = helper->AgeBlock();
    ASSERT_NE(age, nullptr);
    ASSERT_EQ(age->NumParams(), 20);
    EXPECT_EQ(age->GetVersion(), 0u);

    struct Row {
        const char *name;
        ParamType type;
        BOOL animatable;
        float value;
        ParamDimension *dim;
    };
    const float second = static_cast<float>(GetTicksPerFrame() * GetFrameRate());
    const Row rows[20] = {
        {"Life Begins At", TYPE_INT, TRUE, 0, stdTimeDim},
        {"Birth Size", TYPE_FLOAT, TRUE, 5.0f, stdWorldDim},
        {"Birth Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim},
        {"Life Ends At", TYPE_INT, TRUE, second, stdTimeDim},
        {"Death Size", TYPE_FLOAT, TRUE, 25.0f, stdWorldDim},
        {"Death Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim},
        {"Every Nth", TYPE_INT, TRUE, 1, stdWorldDim},
        {"Nth Offset", TYPE_INT, TRUE, 0, stdWorldDim},
        {"", TYPE_INT, FALSE, 0, defaultDim},
        {"", TYPE_BOOL, FALSE, 0, defaultDim},
        {"This Shader Active", TYPE_BOOL, TRUE, 1, defaultDim},
        {"", TYPE_BOOL, FALSE, 1, defaultDim},
        {"", TYPE_BOOL, FALSE, 0, defaultDim},
        {"", TYPE_BOOL, FALSE, 0, defaultDim},
        {"", TYPE_BOOL, FALSE, 1, defaultDim},
        {"Birth Shadow Size", TYPE_FLOAT, TRUE, 5.0f, stdWorldDim},
        {"Birth Shadow Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim},
        {"Death Shadow Size", TYPE_FLOAT, TRUE, 25.0f, stdWorldDim},
        {"Death Shadow Trans.", TYPE_FLOAT, TRUE, 0.3f, stdWorldDim},
        {"", TYPE_INT, FALSE, 1, defaultDim},  // the first helper of the scene
    };
    for (int i = 0; i < 20; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(age->GetParamName(i), rows[i].name);
        EXPECT_EQ(age->GetParameterType(i), rows[i].type);
        EXPECT_EQ(age->IsParamAnimatable(i), rows[i].animatable);
        EXPECT_EQ(age->GetParamDimension(i), rows[i].dim);
        if (rows[i].type == TYPE_FLOAT) {
            float v = -1.0f;
            age->GetValue(i, 0, v);
            EXPECT_FLOAT_EQ(v, rows[i].value);
        } else {
            int v = -1;
            age->GetValue(i, 0, v);
            EXPECT_EQ(v, static_cast<int>(rows[i].value));
        }
    }
    EXPECT_EQ(age->FindParamByName("Death Shadow Trans."), NimbraHelper::kDeathShadowTrans);
}

TEST_F(HelperTest, IconBlockLayout) {
    NimbraHelper *helper = NewHelperNode();
    IParamBlock *icon = helper->IconBlock();
    ASSERT_NE(icon, nullptr);
    ASSERT_EQ(icon->NumParams(), 12);
    EXPECT_EQ(icon->GetVersion(), 0u);
    const ParamType types[12] = {TYPE_BOOL,  TYPE_FLOAT, TYPE_INT,   TYPE_FLOAT,
                                 TYPE_FLOAT, TYPE_RGBA,  TYPE_INT,   TYPE_FLOAT,
                                 TYPE_FLOAT, TYPE_RGBA,  TYPE_FLOAT, TYPE_FLOAT};
    for (int i = 0; i < 12; ++i) {
        EXPECT_EQ(icon->GetParameterType(i), types[i]) << i;
        EXPECT_EQ(icon->IsParamAnimatable(i), i >= 1 && i <= 9 ? TRUE : FALSE) << i;
        EXPECT_EQ(icon->GetParamName(i), "") << i;
    }
    float width = 0.0f, length = 0.0f;
    icon->GetValue(NimbraHelper::kIconWidth, 0, width);
    icon->GetValue(NimbraHelper::kIconLength, 0, length);
    EXPECT_FLOAT_EQ(width, 0.01f);
    EXPECT_FLOAT_EQ(length, 0.01f);
    EXPECT_EQ(icon->GetParamDimension(NimbraHelper::kIconWidth), stdWorldDim);
    Color unused(1, 1, 1);
    icon->GetValue(5, 0, unused);
    EXPECT_EQ(unused, Color(0, 0, 0));
}

TEST_F(HelperTest, DefaultsAreConstantsEvenWhileAnimating) {
    GetCOREInterface()->SetTime(10 * GetTicksPerFrame());
    AnimateOn();
    NimbraHelper *helper = NewHelperNode();
    AnimateOff();
    EXPECT_EQ(helper->AgeBlock()->NumKeys(NimbraHelper::kLifeEnds), 0);
    EXPECT_EQ(helper->AgeBlock()->NumKeys(NimbraHelper::kBirthSize), 0);
}

TEST_F(HelperTest, ShadingOrderFollowsTheHelpersInTheWholeScene) {
    NimbraHelper *first = NewHelperNode();
    INode *parent = nullptr;
    NimbraHelper *second = NewHelperNode(&parent);
    // A helper below another node counts as well.
    INode *nested = nullptr;
    NimbraHelper *third = NewHelperNode(&nested);
    parent->AttachChild(nested);
    NewEmitterNode();  // not a helper
    NimbraHelper *fourth = NewHelper();

    EXPECT_EQ(first->AgeInt(NimbraHelper::kShadingOrder, 0), 1);
    EXPECT_EQ(second->AgeInt(NimbraHelper::kShadingOrder, 0), 2);
    EXPECT_EQ(third->AgeInt(NimbraHelper::kShadingOrder, 0), 3);
    EXPECT_EQ(fourth->AgeInt(NimbraHelper::kShadingOrder, 0), 4);
    EXPECT_EQ(CountHelpersInScene(), 3);
    fourth->DeleteThis();
}

TEST_F(HelperTest, ShadingOrderStaysWithinItsRange) {
    for (int i = 0; i < NimbraHelper::kMaxShadingOrder; ++i) NewHelperNode();
    NimbraHelper *extra = NewHelperNode();
    EXPECT_EQ(extra->AgeInt(NimbraHelper::kShadingOrder, 0), NimbraHelper::kMaxShadingOrder);
}

TEST_F(HelperTest, ParamQueriesOfOtherTargetsPassThrough) {
    NimbraHelper *helper = NewHelperNode();
    GetParamName query;
    query.index = 0;
    query.name = "untouched";
    PartID part = reinterpret_cast<PartID>(&query);
    EXPECT_EQ(helper->NotifyRefChanged(FOREVER, helper->Shape(), part, REFMSG_GET_PARAM_NAME),
              REF_SUCCEED);
    EXPECT_EQ(query.name, "untouched");
}

TEST_F(HelperTest, ChangeMessagesAskForAPreviewRedraw) {
    NimbraHelper *helper = NewHelperNode();
    helper->Preview().Render(*helper, 0);
    EXPECT_FALSE(helper->Preview().NeedsRedraw());
    helper->AgeBlock()->SetValue(NimbraHelper::kBirthSize, 0, 7.0f);
    EXPECT_TRUE(helper->Preview().NeedsRedraw());
}

// A helper whose default plug-ins cannot be created ------------------------------------------

TEST_F(HelperTest, FailedToBindKeepsTheBlocksOnlyAndTellsTheUser) {
    NimbraHelper *helper = nullptr;
    {
        DefaultPlugInsMissing missing;
        INode *node = nullptr;
        helper = NewHelperNode(&node);
    }
    const auto messages = ui.MessagesTitled("Nimbra");
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0].text,
              "3D Studio Max failed to bind correctly with the plug-in objects.\n\nNimbra has "
              "been incorrectly installed. Please exit 3D Studio Max,\nand then re-install "
              "Nimbra from the original disks.\n\nIf you attempt to create an Nimbra icon, "
              "then 3D Studio Max may behave unpredictably.");
    EXPECT_EQ(messages[0].flags & MB_ICONEXCLAMATION, MB_ICONEXCLAMATION);

    EXPECT_NE(helper->IconBlock(), nullptr);
    EXPECT_NE(helper->AgeBlock(), nullptr);
    EXPECT_EQ(helper->NumRefs(), 9);
    for (int i = 2; i < 9; ++i) EXPECT_EQ(helper->GetReference(i), nullptr) << i;
    EXPECT_EQ(helper->NumSubs(), 5);
    EXPECT_EQ(helper->SubAnim(1), nullptr);
    EXPECT_EQ(helper->AgeInt(NimbraHelper::kShadingOrder, 0), 1);
    EXPECT_EQ(helper->VolumePlugInCount(), 0);
    EXPECT_FALSE(helper->IsVolumeSetup());
}

TEST_F(HelperTest, UnboundHelperStaysSafeToUseCloneAndSave) {
    NimbraHelper *helper = nullptr;
    {
        DefaultPlugInsMissing missing;
        helper = NewHelperNode();
    }
    INode *spray = NewEmitterNode();
    ASSERT_TRUE(helper->AddParticleSystem(spray));
    EXPECT_EQ(helper->LifeEnds(0), GetTicksPerFrame() * GetFrameRate());
    EXPECT_EQ(RenderQuickPreview(*helper, 0, 50, true), nullptr);
    helper->SetupController(NimbraHelper::kSizeController);

    RemapDir remap;
    auto *copy = static_cast<NimbraHelper *>(helper->Clone(remap));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(copy->Shape(), nullptr);
    EXPECT_EQ(copy->NumListedSystems(), 1);
    copy->DeleteThis();

    const std::vector<std::uint8_t> bytes = SaveSceneToMemory();
    LoadSceneFromMemory(bytes, "unbound");
    INode *root = GetCOREInterface()->GetRootNode();
    NimbraHelper *loaded = nullptr;
    for (int i = 0; i < root->NumberOfChildren(); ++i) {
        if (auto *h = dynamic_cast<NimbraHelper *>(root->GetChildNode(i)->GetObjectRef()))
            loaded = h;
    }
    ASSERT_NE(loaded, nullptr);
    EXPECT_EQ(loaded->Shape(), nullptr);
    EXPECT_EQ(loaded->ParticleSystemCount(), 1);

    // Choosing a plug-in later works on such a helper.
    EXPECT_EQ(loaded->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1), 1);
    EXPECT_EQ(loaded->Shape()->ClassID(), kTestSpriteShapeClassID);
    EXPECT_EQ(loaded->NumSubs(), 5);
}

}  // namespace
