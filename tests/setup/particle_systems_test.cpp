/// @file particle_systems_test.cpp
/// @brief The helper's particle systems: the pick filter and list, the qualifying count and
///        state at a time, deletion from the scene and from the panel, and the life window
///        with and without the emitter's own life.
#include "setup_fixture.h"

#include "host/paramblock.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace setuptest;

IParamBlock *EmitterBlock(INode *node) {
    return GetParticleInterface(node->GetObjectRef())->GetParamBlock();
}

TEST_F(HelperTest, PickFilterAcceptsUnlistedParticleSystemsOnly) {
    INode *helperNode = nullptr;
    NimbraHelper *helper = NewHelperNode(&helperNode);
    INode *spray = NewEmitterNode(SPRAY_CLASS_ID);
    INode *superSpray = NewEmitterNode(SUPER_SPRAY_CLASS_ID);

    EXPECT_FALSE(helper->AcceptsParticleSystem(nullptr));
    EXPECT_FALSE(helper->AcceptsParticleSystem(helperNode));
    EXPECT_TRUE(helper->AcceptsParticleSystem(spray));
    EXPECT_FALSE(helper->AddParticleSystem(helperNode));

    ASSERT_TRUE(helper->AddParticleSystem(spray));
    EXPECT_FALSE(helper->AcceptsParticleSystem(spray));
    EXPECT_FALSE(helper->AddParticleSystem(spray));
    ASSERT_TRUE(helper->AddParticleSystem(superSpray));

    EXPECT_EQ(helper->NumRefs(), 11);
    EXPECT_EQ(helper->GetReference(9), spray);
    EXPECT_EQ(helper->GetReference(10), superSpray);
    EXPECT_EQ(helper->CurrentSystem(), 2);
    EXPECT_EQ(helper->ParticleSystemCount(), 2);
    EXPECT_TRUE(spray->HasDependent(helper));
}

TEST_F(HelperTest, ParticleSystemStateIsTheNthQualifyingSystemAtTheTime) {
    NimbraHelper *helper = NewHelperNode();
    INode *a = NewEmitterNode(SPRAY_CLASS_ID);
    INode *b = NewEmitterNode(SUPER_SPRAY_CLASS_ID);
    helper->AddParticleSystem(a);
    helper->AddParticleSystem(b);

    const TimeValue t = 20 * GetTicksPerFrame();
    ParticleObject *first = helper->ParticleSystemState(1, t);
    ASSERT_EQ(first, GetParticleInterface(a->GetObjectRef()));
    ParticleObject *second = helper->ParticleSystemState(2, t);
    ASSERT_EQ(second, GetParticleInterface(b->GetObjectRef()));
    EXPECT_EQ(helper->ParticleSystemState(3, t), nullptr);
    EXPECT_EQ(helper->ParticleSystemState(0, t), nullptr);

    // Brought up to t: the particles there are those a fresh update at t gives.
    ASSERT_GT(first->NumParticles(), 0);
    std::vector<TimeValue> ages;
    for (int i = 0; i < first->NumParticles(); ++i) ages.push_back(first->GetParticleAge(i));
    first->Update(0, a);
    helper->ParticleSystemState(1, t);
    for (int i = 0; i < first->NumParticles(); ++i)
        EXPECT_EQ(first->GetParticleAge(i), ages[i]);
    EXPECT_GT(*std::max_element(ages.begin(), ages.end()), 0);
}

TEST_F(HelperTest, DeletedNodeLeavesTheList) {
    NimbraHelper *helper = NewHelperNode();
    INode *a = NewEmitterNode(), *b = NewEmitterNode(), *c = NewEmitterNode();
    for (INode *n : {a, b, c}) helper->AddParticleSystem(n);

    GetCOREInterface()->DeleteNode(b);
    ASSERT_EQ(helper->NumListedSystems(), 2);
    EXPECT_EQ(helper->ParticleSystems()[0], a);
    EXPECT_EQ(helper->ParticleSystems()[1], c);
    EXPECT_EQ(helper->NumRefs(), 11);
    EXPECT_EQ(helper->GetReference(10), c);
    EXPECT_EQ(helper->ParticleSystemCount(), 2);
    EXPECT_LE(helper->CurrentSystem(), 2);

    GetCOREInterface()->DeleteNode(a);
    GetCOREInterface()->DeleteNode(c);
    EXPECT_EQ(helper->NumListedSystems(), 0);
    EXPECT_EQ(helper->NumRefs(), 9);
    EXPECT_EQ(helper->CurrentSystem(), 0);
}

TEST_F(HelperTest, RemovingASystemKeepsItsNode) {
    NimbraHelper *helper = NewHelperNode();
    INode *a = NewEmitterNode(), *b = NewEmitterNode();
    helper->AddParticleSystem(a);
    helper->AddParticleSystem(b);
    EXPECT_FALSE(helper->RemoveParticleSystem(2));
    EXPECT_FALSE(helper->RemoveParticleSystem(-1));
    ASSERT_TRUE(helper->RemoveParticleSystem(0));
    EXPECT_EQ(helper->NumListedSystems(), 1);
    EXPECT_EQ(helper->GetReference(9), b);
    EXPECT_EQ(helper->CurrentSystem(), 1);
    EXPECT_FALSE(a->HasDependent(helper));
    EXPECT_EQ(GetCOREInterface()->GetINodeByName(a->GetName()), a);
}

TEST_F(HelperTest, DeletingTheHelperLeavesItsSystems) {
    INode *helperNode = nullptr;
    NimbraHelper *helper = NewHelperNode(&helperNode);
    INode *spray = NewEmitterNode();
    helper->AddParticleSystem(spray);
    const std::string name = spray->GetName();
    GetCOREInterface()->DeleteNode(helperNode);
    EXPECT_EQ(GetCOREInterface()->GetINodeByName(name.c_str()), spray);
    EXPECT_EQ(spray->NumDependents(), 1);  // its parent only
}

// Life window --------------------------------------------------------------------------------

TEST_F(HelperTest, LifeWindowComesFromTheAgeBlockByDefault) {
    NimbraHelper *helper = NewHelperNode();
    IParamBlock *age = helper->AgeBlock();
    const TimeValue t10 = 10 * GetTicksPerFrame();
    age->SetKey(NimbraHelper::kLifeBegins, 0, 100);
    age->SetKey(NimbraHelper::kLifeBegins, t10, 300);
    age->SetValue(NimbraHelper::kLifeEnds, 0, 2000);
    EXPECT_EQ(helper->LifeBegins(t10 / 2), 200);
    EXPECT_EQ(helper->LifeEnds(t10), 2000);

    // "Use Emitter Age" without a listed system changes nothing.
    age->SetValue(NimbraHelper::kUseEmitterAge, 0, 1);
    EXPECT_FALSE(helper->EmitterAgeAvailable());
    EXPECT_EQ(helper->LifeBegins(t10), 300);
    EXPECT_EQ(helper->LifeEnds(t10), 2000);
}

TEST_F(HelperTest, UseEmitterAgeReadsTheFirstSystemsLife) {
    NimbraHelper *helper = NewHelperNode();
    IParamBlock *age = helper->AgeBlock();
    age->SetValue(NimbraHelper::kLifeBegins, 0, 100);
    age->SetValue(NimbraHelper::kLifeEnds, 0, 2000);
    INode *spray = NewEmitterNode(SPRAY_CLASS_ID);
    INode *superSpray = NewEmitterNode(SUPER_SPRAY_CLASS_ID);
    const TimeValue t10 = 10 * GetTicksPerFrame();
    EmitterBlock(spray)->SetKey(SPRAY_LIFE, 0, 1000);
    EmitterBlock(spray)->SetKey(SPRAY_LIFE, t10, 3000);
    EmitterBlock(superSpray)->SetValue(SSPRAY_LIFE, 0, 4321);

    helper->AddParticleSystem(spray);
    helper->AddParticleSystem(superSpray);
    EXPECT_TRUE(helper->EmitterAgeAvailable());
    // Off: the age block.
    EXPECT_EQ(helper->LifeBegins(t10), 100);
    EXPECT_EQ(helper->LifeEnds(t10), 2000);

    age->SetValue(NimbraHelper::kUseEmitterAge, 0, 1);
    EXPECT_EQ(helper->LifeBegins(t10), 0);
    EXPECT_EQ(helper->LifeEnds(t10 / 2), 2000);  // the spray's life half way between its keys
    EXPECT_EQ(helper->LifeEnds(t10), 3000);

    // The first listed system decides: a super spray's life is its parameter 12.
    helper->RemoveParticleSystem(0);
    EXPECT_EQ(helper->LifeEnds(t10), 4321);
}

TEST_F(HelperTest, EmitterAgeNeedsAKnownEmitterClassFirst) {
    NimbraHelper *helper = NewHelperNode();
    IParamBlock *age = helper->AgeBlock();
    age->SetValue(NimbraHelper::kUseEmitterAge, 0, 1);
    age->SetValue(NimbraHelper::kLifeBegins, 0, 100);
    age->SetValue(NimbraHelper::kLifeEnds, 0, 2000);
    // A particle system whose life the helper does not know (a file player) comes first.
    INode *player = NewEmitterNode(PARTICLE_FILE_CLASS_ID);
    helper->AddParticleSystem(player);
    helper->AddParticleSystem(NewEmitterNode(SPRAY_CLASS_ID));
    EXPECT_FALSE(helper->EmitterAgeAvailable());
    EXPECT_EQ(helper->LifeBegins(0), 100);
    EXPECT_EQ(helper->LifeEnds(0), 2000);
}

}  // namespace
