/// @file helper_scene_test.cpp
/// @brief The helper in scene files (its five chunks, through the host's scene file and
///        directly through chunk streams) and cloning.
#include "setup_fixture.h"

#include "host/chunk_stream.h"
#include "host/little_endian.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <vector>

namespace {

using namespace setuptest;

/// A chunk of little-endian 32-bit words.
void WordChunk(ChunkWriter &w, USHORT id, std::initializer_list<std::uint32_t> words) {
    w.BeginChunk(id);
    for (std::uint32_t v : words) {
        std::uint8_t b[4];
        PutLE32(b, v);
        w.Write(b, 4, nullptr);
    }
    w.EndChunk();
}

/// The helpers of the scene, depth first.
std::vector<NimbraHelper *> SceneHelpers() {
    std::vector<NimbraHelper *> helpers;
    INode *root = GetCOREInterface()->GetRootNode();
    for (int i = 0; i < root->NumberOfChildren(); ++i) {
        if (auto *h = dynamic_cast<NimbraHelper *>(root->GetChildNode(i)->GetObjectRef()))
            helpers.push_back(h);
    }
    return helpers;
}

/// A helper made for loading, filled from `bytes`.
struct Loaded {
    NimbraHelper *helper = new NimbraHelper(true);
    IOResult result;
    explicit Loaded(const std::vector<std::uint8_t> &bytes) {
        ChunkReader reader(bytes);
        result = helper->Load(&reader);
    }
    ~Loaded() { helper->DeleteThis(); }
};

TEST_F(HelperTest, SceneFileKeepsSystemsPlugInsParametersAndKeys) {
    INode *helperNode = nullptr;
    NimbraHelper *helper = NewHelperNode(&helperNode);
    helperNode->SetName("Fire");
    std::vector<std::string> systems;
    for (Class_ID id : {SPRAY_CLASS_ID, SUPER_SPRAY_CLASS_ID, SPRAY_CLASS_ID}) {
        INode *n = NewEmitterNode(id);
        systems.push_back(n->GetName());
        helper->AddParticleSystem(n);
    }
    helper->SelectPlugIn(kTestSpriteShapeClassID.PartB(), 1);
    helper->SelectPlugIn(kTestFlatColorClassID.PartB(), 1);
    helper->PanelState()[NimbraHelper::kPanelEditCurrentShape] = 1;
    helper->PanelState()[6] = -7;
    const TimeValue t10 = 10 * GetTicksPerFrame();
    helper->AgeBlock()->SetKey(NimbraHelper::kBirthSize, 0, 4.0f);
    helper->AgeBlock()->SetKey(NimbraHelper::kBirthSize, t10, 12.0f);
    helper->AgeBlock()->SetValue(NimbraHelper::kMaterialId, 0, 7);
    helper->SetIconSize(30.0f, 40.0f);
    PlugInOf(helper, NimbraHelper::kShapeRole)
        ->block->SetKey(TestPlugIn::kBirthValue, t10, 9.0f);

    const std::vector<std::uint8_t> bytes = SaveSceneToMemory();
    GetCOREInterface()->ResetScene();
    LoadSceneFromMemory(bytes, "helper scene");

    const auto helpers = SceneHelpers();
    ASSERT_EQ(helpers.size(), 1u);
    NimbraHelper *loaded = helpers[0];
    ASSERT_EQ(loaded->NumListedSystems(), 3);
    EXPECT_EQ(loaded->NumRefs(), 12);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(loaded->ParticleSystems()[i], nullptr);
        EXPECT_EQ(loaded->ParticleSystems()[i]->GetName(), systems[i]);
    }
    EXPECT_EQ(loaded->ParticleSystemCount(), 3);
    EXPECT_EQ(loaded->ShapeId(), kTestSpriteShapeClassID.PartB());
    EXPECT_EQ(loaded->ColorId(), kTestFlatColorClassID.PartB());
    EXPECT_EQ(loaded->CompositeId(), kDefaultCompositeClassID.PartB());
    EXPECT_EQ(loaded->Shape()->ClassID(), kTestSpriteShapeClassID);
    EXPECT_EQ(loaded->ColorShader()->ClassID(), kTestFlatColorClassID);
    EXPECT_EQ(loaded->Composite()->ClassID(), kDefaultCompositeClassID);
    for (int i = 0; i < 4; ++i) EXPECT_NE(loaded->GetHelperController(i), nullptr) << i;
    EXPECT_EQ(loaded->PanelState()[NimbraHelper::kPanelEditCurrentShape], 1);
    EXPECT_EQ(loaded->PanelState()[6], -7);
    EXPECT_EQ(loaded->ReservedC(), 16);
    EXPECT_EQ(loaded->AgeBlock()->NumKeys(NimbraHelper::kBirthSize), 2);
    EXPECT_FLOAT_EQ(loaded->AgeFloat(NimbraHelper::kBirthSize, t10 / 2), 8.0f);
    EXPECT_EQ(loaded->AgeInt(NimbraHelper::kMaterialId, 0), 7);
    EXPECT_FLOAT_EQ(loaded->IconSize(0), 40.0f);
    float value = 0.0f;
    PlugInOf(loaded, NimbraHelper::kShapeRole)
        ->block->GetValue(TestPlugIn::kBirthValue, t10, value);
    EXPECT_FLOAT_EQ(value, 9.0f);
    // Names are answered again once the blocks are back.
    EXPECT_EQ(loaded->AgeBlock()->GetParamName(NimbraHelper::kBirthSize), "Birth Size");
    EXPECT_EQ(loaded->NumSubs(), 8);
}

TEST_F(HelperTest, SaveWritesTheFiveChunksInOrder) {
    NimbraHelper *helper = NewHelperNode();
    helper->AddParticleSystem(NewEmitterNode());
    ChunkWriter writer;
    ASSERT_EQ(helper->Save(&writer), IO_OK);
    ChunkReader reader(writer.Bytes());
    const std::pair<USHORT, ULONG> expected[] = {
        {0x10, 4}, {0x20, 16}, {0x30, 28}, {0x40, 4}, {0x50, 8}};
    for (const auto &[id, size] : expected) {
        ASSERT_EQ(reader.OpenChunk(), IO_OK);
        EXPECT_EQ(reader.CurChunkID(), id);
        EXPECT_EQ(reader.CurChunkLength(), size);
        if (id == 0x10) {
            std::uint8_t b[4];
            reader.Read(b, 4, nullptr);
            EXPECT_EQ(GetLE32(b), 1u);
        }
        reader.CloseChunk();
    }
    EXPECT_EQ(reader.OpenChunk(), IO_END);
}

TEST_F(HelperTest, LoadTakesChunksInAnyOrderAndSkipsUnknownOnes) {
    ChunkWriter w;
    WordChunk(w, 0x50, {11, 12});
    WordChunk(w, 0x99, {1, 2, 3});
    WordChunk(w, 0x20, {0x7E5713A1, 0x7E5713A4, 0x54C33997, 5});
    WordChunk(w, 0x40, {0xFFFFFFFF});
    WordChunk(w, 0x10, {3});
    Loaded l(w.Bytes());
    ASSERT_EQ(l.result, IO_OK);
    EXPECT_EQ(l.helper->ReservedA(), 11);
    EXPECT_EQ(l.helper->ReservedB(), 12);
    EXPECT_EQ(l.helper->ReservedC(), -1);
    EXPECT_EQ(l.helper->ShapeId(), 0x7E5713A1u);
    EXPECT_EQ(l.helper->ColorId(), 0x7E5713A4u);
    EXPECT_EQ(l.helper->CompositeId(), 0x54C33997u);
    EXPECT_EQ(l.helper->SpareId(), 5u);
    // The list waits for the host to restore references 9 to 11.
    EXPECT_EQ(l.helper->NumListedSystems(), 3);
    EXPECT_EQ(l.helper->NumRefs(), 12);
    EXPECT_EQ(l.helper->GetReference(11), nullptr);
    EXPECT_EQ(l.helper->ParticleSystemCount(), 0);
    EXPECT_EQ(l.helper->ParticleSystemState(1, 0), nullptr);
    // Missing chunk 0x30: the panel state stays as it was built.
    for (std::int32_t word : l.helper->PanelState()) EXPECT_EQ(word, 0);
}

TEST_F(HelperTest, MissingChunksKeepTheDefaults) {
    ChunkWriter w;
    WordChunk(w, 0x30, {1, 2, 3, 4, 5, 6, 7});
    Loaded l(w.Bytes());
    ASSERT_EQ(l.result, IO_OK);
    EXPECT_EQ(l.helper->PanelState()[4], 5);
    EXPECT_EQ(l.helper->ShapeId(), kCircleShapeClassID.PartB());
    EXPECT_EQ(l.helper->ColorId(), kDefaultColorClassID.PartB());
    EXPECT_EQ(l.helper->CompositeId(), kDefaultCompositeClassID.PartB());
    EXPECT_EQ(l.helper->ReservedC(), 16);
    EXPECT_EQ(l.helper->NumListedSystems(), 0);
}

TEST_F(HelperTest, LoadStopsAtTheFirstReadError) {
    ChunkWriter w;
    WordChunk(w, 0x50, {11, 12});
    WordChunk(w, 0x20, {1, 2});  // 8 of 16 bytes
    WordChunk(w, 0x40, {99});
    Loaded l(w.Bytes());
    EXPECT_EQ(l.result, IO_ERROR);
    EXPECT_EQ(l.helper->ReservedA(), 11);
    EXPECT_EQ(l.helper->ShapeId(), kCircleShapeClassID.PartB())
        << "a short chunk changes nothing";
    EXPECT_EQ(l.helper->ReservedC(), 16) << "reading stopped before chunk 0x40";
}

TEST_F(HelperTest, LoadRefusesAnImplausibleSystemCount) {
    ChunkWriter w;
    WordChunk(w, 0x10, {0xFFFFFFF0});
    Loaded l(w.Bytes());
    EXPECT_EQ(l.result, IO_ERROR);
    EXPECT_EQ(l.helper->NumListedSystems(), 0);
}

TEST_F(HelperTest, ALongerChunkIsReadForWhatItShouldHold) {
    ChunkWriter w;
    WordChunk(w, 0x40, {21, 22});
    WordChunk(w, 0x50, {31, 32});
    Loaded l(w.Bytes());
    ASSERT_EQ(l.result, IO_OK);
    EXPECT_EQ(l.helper->ReservedC(), 21);
    EXPECT_EQ(l.helper->ReservedA(), 31);
}

TEST_F(HelperTest, DamagedSceneLeavesTheCurrentSceneAlone) {
    NimbraHelper *helper = NewHelperNode();
    helper->AddParticleSystem(NewEmitterNode());
    std::vector<std::uint8_t> bytes = SaveSceneToMemory();
    // Cut the file in the middle: the load is refused as a whole.
    bytes.resize(bytes.size() / 2);
    EXPECT_THROW(LoadSceneFromMemory(bytes, "cut"), SceneFileError);
    const auto helpers = SceneHelpers();
    ASSERT_EQ(helpers.size(), 1u);
    EXPECT_EQ(helpers[0], helper);
    EXPECT_EQ(helper->NumListedSystems(), 1);
}

// Clone --------------------------------------------------------------------------------------

TEST_F(HelperTest, CloneCopiesReferencesZeroToEightAndSharesTheSystems) {
    NimbraHelper *helper = NewHelperNode();
    INode *a = NewEmitterNode(), *b = NewEmitterNode();
    helper->AddParticleSystem(a);
    helper->AddParticleSystem(b);
    helper->SelectPlugIn(kTestVolumeShapeClassID.PartB(), 1);
    helper->PanelState()[3] = 1;
    helper->AgeBlock()->SetKey(NimbraHelper::kDeathSize, 1600, 40.0f);
    {
        ChunkWriter w;
        WordChunk(w, 0x50, {3, 4});
        WordChunk(w, 0x40, {5});
        ChunkReader reader(w.Bytes());
        ASSERT_EQ(helper->Load(&reader), IO_OK);
    }

    RemapDir remap;
    auto *copy = dynamic_cast<NimbraHelper *>(helper->Clone(remap));
    ASSERT_NE(copy, nullptr);
    for (int i = 0; i < 9; ++i) {
        ASSERT_NE(copy->GetReference(i), nullptr) << i;
        EXPECT_NE(copy->GetReference(i), helper->GetReference(i)) << i;
        EXPECT_EQ(copy->GetReference(i)->ClassID(), helper->GetReference(i)->ClassID()) << i;
    }
    EXPECT_EQ(copy->NumRefs(), 11);
    EXPECT_EQ(copy->GetReference(9), a);
    EXPECT_EQ(copy->GetReference(10), b);
    EXPECT_TRUE(a->HasDependent(copy));
    EXPECT_EQ(copy->ShapeId(), helper->ShapeId());
    EXPECT_EQ(copy->ColorId(), helper->ColorId());
    EXPECT_EQ(copy->CompositeId(), helper->CompositeId());
    EXPECT_EQ(copy->PanelState(), helper->PanelState());
    EXPECT_EQ(copy->ReservedA(), 3);
    EXPECT_EQ(copy->ReservedB(), 4);
    EXPECT_EQ(copy->ReservedC(), 5);
    EXPECT_FLOAT_EQ(copy->AgeFloat(NimbraHelper::kDeathSize, 1600), 40.0f);
    EXPECT_EQ(copy->AgeBlock()->NumKeys(NimbraHelper::kDeathSize), 1);
    EXPECT_EQ(copy->AgeBlock()->GetParamName(NimbraHelper::kDeathSize), "Death Size");
    EXPECT_TRUE(copy->IsVolumeSetup());

    // The copy is independent of the original.
    copy->AgeBlock()->SetValue(NimbraHelper::kMaterialId, 0, 9);
    EXPECT_EQ(helper->AgeInt(NimbraHelper::kMaterialId, 0), 0);
    copy->DeleteThis();
    EXPECT_FALSE(a->HasDependent(copy));
}

}  // namespace
