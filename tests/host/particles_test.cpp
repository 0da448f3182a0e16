/// @file particles_test.cpp
/// @brief The spray and super spray emitters: classes and parameter names, determinism
///        whatever the order of evaluation, birth rate and emission window, life, flight
///        (speed, spread, gravity, drag), emitter placement, cloning and the scene file.
#include "test_objects.h"

#include "host/inode.h"
#include "host/interface.h"
#include "host/param_object.h"
#include "host/particles.h"
#include "host/scene_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

using hosttest::SceneTest;

constexpr float kPi = std::numbers::pi_v<float>;
constexpr int kTPF = 160;  // ticks per frame at the default 30 frames per second

/// A snapshot of a particle system after an update.
struct Snapshot {
    std::vector<Point3> pos, vel;
    std::vector<TimeValue> age;
    bool operator==(const Snapshot &) const = default;
};

Snapshot Take(ParticleObject *p, TimeValue t, INode *node) {
    p->Update(t, node);
    Snapshot s;
    for (int i = 0; i < p->NumParticles(); ++i) {
        s.pos.push_back(p->GetParticlePosition(i));
        s.vel.push_back(p->GetParticleVelocity(i));
        s.age.push_back(p->GetParticleAge(i));
    }
    return s;
}

int CountAlive(ParticleObject *p) {
    int n = 0;
    for (int i = 0; i < p->NumParticles(); ++i) n += p->GetParticleAge(i) >= 0;
    return n;
}

class Emitters : public SceneTest {
protected:
    /// A new emitter of class `id` on a new node.
    ParticleObject *Make(Class_ID id, INode **node = nullptr) {
        auto *obj = static_cast<Object *>(CreateInstance(GEOMOBJECT_CLASS_ID, id));
        EXPECT_NE(obj, nullptr);
        INode *n = GetCOREInterface()->CreateObjectNode(obj);
        if (node) *node = n;
        return GetParticleInterface(obj);
    }
    static IParamBlock *Block(ParticleObject *p) {
        return static_cast<IParamBlock *>(p->GetReference(0));
    }
};

TEST_F(Emitters, ClassesAnswerTheirNamesAndTheLifeIndex) {
    struct Case {
        Class_ID id;
        const char *name;
        int lifeIndex;
    };
    for (const Case &c :
         {Case{SPRAY_CLASS_ID, "Spray", 7}, Case{SUPER_SPRAY_CLASS_ID, "Super Spray", 12}}) {
        ClassDesc *desc = ClassDirectory::Instance().FindByName(GEOMOBJECT_CLASS_ID, c.name);
        ASSERT_NE(desc, nullptr) << c.name;
        EXPECT_EQ(desc->ClassID(), c.id);
        ParticleObject *p = Make(c.id);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(p->SuperClassID(), GEOMOBJECT_CLASS_ID);
        TSTR name;
        p->GetClassName(name);
        EXPECT_EQ(name, c.name);
        IParamBlock *pb = Block(p);
        ASSERT_NE(pb, nullptr);
        EXPECT_EQ(p->GetParamBlock(), pb);
        EXPECT_EQ(pb->GetParamName(c.lifeIndex), "Life");
        EXPECT_EQ(pb->GetParameterType(c.lifeIndex), TYPE_INT);
        EXPECT_EQ(pb->GetParamDimension(c.lifeIndex), stdTimeDim);
        EXPECT_EQ(pb->FindParamByName("Birth Rate"), 0);
        EXPECT_GE(pb->FindParamByName("Seed"), 0);
        EXPECT_GE(pb->FindParamByName("Gravity"), 0);
        EXPECT_EQ(pb->GetParamName(pb->NumParams()), "??");
        EXPECT_EQ(p->SubAnimName(0), "Parameters");
        int life = 0;
        pb->GetValue(c.lifeIndex, 0, life);
        EXPECT_EQ(life, 30 * kTPF);  // one second by default
    }
}

TEST_F(Emitters, TheSameTimeGivesTheSameParticlesWhateverWasEvaluatedBefore) {
    INode *node = nullptr;
    ParticleObject *a = Make(SPRAY_CLASS_ID, &node);
    IParamBlock *pb = Block(a);
    pb->SetValue(SPRAY_BIRTH_RATE, 0, 7.5f);
    pb->SetValue(SPRAY_SPREAD, 0, 0.6f);
    pb->SetValue(SPRAY_SPEED_VARIATION, 0, 40.0f);
    pb->SetValue(SPRAY_LIFE_VARIATION, 0, 20 * kTPF);
    pb->SetValue(SPRAY_GRAVITY, 0, 0.2f);
    pb->SetValue(SPRAY_DRAG, 0, 0.05f);
    pb->SetKey(SPRAY_SPEED, 0, 5.0f);
    pb->SetKey(SPRAY_SPEED, 20 * kTPF, 15.0f);
    node->SetPositionKey(0, Point3(0, 0, 0));
    node->SetPositionKey(30 * kTPF, Point3(100, 0, 0));
    node->SetRotationKeyEuler(30 * kTPF, Point3(45, 0, 0));

    const TimeValue t = 25 * kTPF + 37;
    const Snapshot first = Take(a, t, node);
    ASSERT_GT(CountAlive(a), 50);
    for (TimeValue other : {0, 40 * kTPF, 3, t + 1, -kTPF}) Take(a, other, node);
    EXPECT_EQ(Take(a, t, node), first);

    // A clone, evaluated in another order, and the particle indices keep their particle:
    // a particle alive at two times has moved along its velocity in between.
    auto *b = static_cast<ParticleObject *>(CloneRefHierarchy(a));
    Take(b, t + kTPF, node);
    EXPECT_EQ(Take(b, t, node), first);
    const Snapshot later = Take(b, t + 1, node);
    for (std::size_t i = 0; i < first.pos.size(); ++i) {
        if (first.age[i] < 0 || later.age[i] < 0) continue;
        EXPECT_EQ(later.age[i], first.age[i] + 1);
        EXPECT_LT((later.pos[i] - first.pos[i] - first.vel[i]).Length(), 1e-2f);
    }
    b->DeleteThis();
}

TEST_F(Emitters, ParticlesAreBornAtTheRateWithinTheWindowAndDieAfterTheirLife) {
    ParticleObject *p = Make(SUPER_SPRAY_CLASS_ID);
    IParamBlock *pb = Block(p);
    const int start = 10 * kTPF, stop = 20 * kTPF, life = 4 * kTPF;
    pb->SetValue(SSPRAY_BIRTH_RATE, 0, 6.0f);
    pb->SetValue(SSPRAY_EMIT_START, 0, start);
    pb->SetValue(SSPRAY_EMIT_STOP, 0, stop);
    pb->SetValue(SSPRAY_LIFE, 0, life);

    for (TimeValue t : {0, start - 1}) {
        p->Update(t, nullptr);
        EXPECT_EQ(p->NumParticles(), 0) << "t = " << t;
    }
    // Born by t: 6 per frame since the start, give or take the one being born.
    for (int frames = 1; frames <= 10; ++frames) {
        p->Update(start + frames * kTPF, nullptr);
        EXPECT_NEAR(p->NumParticles(), 6 * frames, 1) << frames << " frames in";
    }
    // The window closes: 10 frames × 6.
    for (TimeValue t : {stop, stop + 3 * kTPF, stop + 100 * kTPF}) {
        p->Update(t, nullptr);
        EXPECT_EQ(p->NumParticles(), 60) << "t = " << t;
    }

    // Ages count from birth, every birth lies in the window, and a particle older than its
    // life is dead.
    for (TimeValue t = start; t <= stop + life + kTPF; t += 37) {
        p->Update(t, nullptr);
        for (int i = 0; i < p->NumParticles(); ++i) {
            const TimeValue age = p->GetParticleAge(i);
            if (age < 0) continue;
            EXPECT_LE(age, life);
            EXPECT_GE(t - age, start);
            EXPECT_LT(t - age - 1, stop);
        }
    }
    p->Update(stop + life + kTPF, nullptr);
    EXPECT_EQ(CountAlive(p), 0);
    p->Update(stop, nullptr);
    EXPECT_GT(CountAlive(p), 20);  // the last 4 frames' worth are still alive

    // Life variation spreads the lives around the life: some outlive it, none by more than
    // the variation.
    pb->SetValue(SSPRAY_LIFE_VARIATION, 0, 2 * kTPF);
    int outliving = 0;
    for (TimeValue t = stop + life + 1; t <= stop + life + 2 * kTPF; t += 10) {
        p->Update(t, nullptr);
        outliving += CountAlive(p);
    }
    EXPECT_GT(outliving, 0);
    p->Update(stop + life + 2 * kTPF + 1, nullptr);
    EXPECT_EQ(CountAlive(p), 0);

    // No rate, or a window that ends before it starts: nothing.
    pb->SetValue(SSPRAY_BIRTH_RATE, 0, 0.0f);
    p->Update(stop, nullptr);
    EXPECT_EQ(p->NumParticles(), 0);
    pb->SetValue(SSPRAY_BIRTH_RATE, 0, 6.0f);
    pb->SetValue(SSPRAY_EMIT_STOP, 0, start - 1);
    p->Update(stop, nullptr);
    EXPECT_EQ(p->NumParticles(), 0);
}

TEST_F(Emitters, ParticlesFlyFromTheEmitterAlongItsZAxisWithinTheSpread) {
    INode *node = nullptr;
    ParticleObject *p = Make(SPRAY_CLASS_ID, &node);
    IParamBlock *pb = Block(p);
    const float spread = 0.4f, speed = 16.0f;
    pb->SetValue(SPRAY_BIRTH_RATE, 0, 20.0f);
    pb->SetValue(SPRAY_SPEED, 0, speed);
    pb->SetValue(SPRAY_SPREAD, 0, spread);
    pb->SetValue(SPRAY_WIDTH, 0, 4.0f);
    pb->SetValue(SPRAY_LENGTH, 0, 2.0f);
    // The emitter lies on its side: local +z is world −y.
    node->SetRotation(0, EulerToQuat(Point3(90, 0, 0)));
    node->SetPosition(0, Point3(1, 2, 3));

    p->Update(20 * kTPF, node);
    ASSERT_GT(CountAlive(p), 100);
    float widest = 0.0f;
    for (int i = 0; i < p->NumParticles(); ++i) {
        const TimeValue age = p->GetParticleAge(i);
        if (age < 0) continue;
        const Point3 v = p->GetParticleVelocity(i);
        EXPECT_NEAR(v.Length(), speed / kTPF, 1e-5f);
        const float angle =
            std::acos(std::clamp(DotProd(Normalize(v), Point3(0, -1, 0)), -1.0f, 1.0f));
        EXPECT_LE(angle, spread + 1e-3f);
        widest = std::max(widest, angle);
        // Back along the velocity to the birth: on the emitter rectangle (x ±2, world z ±1),
        // give or take the part of a tick that whole-tick ages leave out.
        const Point3 origin = p->GetParticlePosition(i) - v * static_cast<float>(age);
        const float tick = v.Length() + 1e-4f;
        EXPECT_NEAR(origin.y, 2.0f, tick);
        EXPECT_LE(std::fabs(origin.x - 1.0f), 2.0f + tick);
        EXPECT_LE(std::fabs(origin.z - 3.0f), 1.0f + tick);
    }
    EXPECT_GT(widest, 0.8f * spread);  // the cone is filled, not just its axis
}

TEST_F(Emitters, GravityAndDragShapeTheFlight) {
    ParticleObject *p = Make(SPRAY_CLASS_ID);
    IParamBlock *pb = Block(p);
    const float gravity = 0.5f, speed = 10.0f;
    pb->SetValue(SPRAY_SPEED, 0, speed);
    pb->SetValue(SPRAY_WIDTH, 0, 0.0f);
    pb->SetValue(SPRAY_LENGTH, 0, 0.0f);
    pb->SetValue(SPRAY_GRAVITY, 0, gravity);

    // Ages are whole ticks while births fall between ticks, so the velocities below may be
    // up to one tick further along than the age says.
    // Without drag: v = v0 − g·frames along z.
    p->Update(10 * kTPF, nullptr);
    for (int i = 0; i < p->NumParticles(); ++i) {
        const float frames = static_cast<float>(p->GetParticleAge(i)) / kTPF;
        const float vz = p->GetParticleVelocity(i).z * kTPF;
        EXPECT_LE(vz, speed - gravity * frames + 1e-4f);
        EXPECT_GE(vz, speed - gravity * (frames + 1.0f / kTPF) - 1e-4f);
    }

    // With drag alone a particle keeps (1 − drag) of its speed per frame.
    pb->SetValue(SPRAY_GRAVITY, 0, 0.0f);
    pb->SetValue(SPRAY_DRAG, 0, 0.1f);
    p->Update(10 * kTPF, nullptr);
    for (int i = 0; i < p->NumParticles(); ++i) {
        const float frames = static_cast<float>(p->GetParticleAge(i)) / kTPF;
        const float vz = p->GetParticleVelocity(i).z * kTPF;
        EXPECT_LE(vz, speed * std::pow(0.9f, frames) + 1e-4f);
        EXPECT_GE(vz, speed * std::pow(0.9f, frames + 1.0f / kTPF) - 1e-4f);
    }

    // With both, positions are the integral of the velocities: a central difference over
    // one tick matches the velocity.
    pb->SetValue(SPRAY_GRAVITY, 0, gravity);
    const TimeValue t = 12 * kTPF;
    const Snapshot before = Take(p, t - 1, nullptr), now = Take(p, t, nullptr),
                   after = Take(p, t + 1, nullptr);
    int checked = 0;
    for (std::size_t i = 0; i < before.pos.size(); ++i) {
        if (before.age[i] < 0 || after.age[i] < 0) continue;
        const Point3 slope = (after.pos[i] - before.pos[i]) * 0.5f;
        EXPECT_LT((slope - now.vel[i]).Length(), 1e-4f) << "particle " << i;
        ++checked;
    }
    EXPECT_GT(checked, 100);
}

TEST_F(Emitters, SuperSprayAimsOffAxisFromADisc) {
    INode *node = nullptr;
    ParticleObject *p = Make(SUPER_SPRAY_CLASS_ID, &node);
    IParamBlock *pb = Block(p);
    pb->SetValue(SSPRAY_OFF_AXIS, 0, kPi / 6);   // 30° from z
    pb->SetValue(SSPRAY_OFF_PLANE, 0, kPi / 2);  // towards +y
    pb->SetValue(SSPRAY_DIAMETER, 0, 6.0f);
    node->SetPosition(0, Point3(0, 0, 5));

    p->Update(15 * kTPF, node);
    ASSERT_GT(CountAlive(p), 100);
    for (int i = 0; i < p->NumParticles(); ++i) {
        const Point3 v = p->GetParticleVelocity(i);
        EXPECT_TRUE((Normalize(v) - Point3(0, 0.5f, std::sqrt(0.75f))).Length() < 1e-4f);
        const Point3 origin =
            p->GetParticlePosition(i) - v * static_cast<float>(p->GetParticleAge(i));
        const float tick = v.Length() + 1e-4f;
        EXPECT_NEAR(origin.z, 5.0f, tick);
        EXPECT_LE(std::hypot(origin.x, origin.y), 3.0f + tick);
    }

    // The two spreads: a fan in the stream's plane, then a cone around z.
    pb->SetValue(SSPRAY_OFF_AXIS, 0, 0.0f);
    pb->SetValue(SSPRAY_OFF_AXIS_SPREAD, 0, kPi / 4);
    p->Update(15 * kTPF, node);
    for (int i = 0; i < p->NumParticles(); ++i) {
        const Point3 d = Normalize(p->GetParticleVelocity(i));
        EXPECT_NEAR(d.x, 0.0f, 1e-5f);  // stays in the y-z plane
        EXPECT_GE(d.z, std::cos(kPi / 4) - 1e-5f);
    }
    pb->SetValue(SSPRAY_OFF_PLANE_SPREAD, 0, kPi);
    p->Update(15 * kTPF, node);
    float widestX = 0.0f;
    for (int i = 0; i < p->NumParticles(); ++i)
        widestX = std::max(widestX, std::fabs(Normalize(p->GetParticleVelocity(i)).x));
    EXPECT_GT(widestX, 0.5f);
}

TEST_F(Emitters, ParticlesLeaveFromWhereTheEmitterWasAtTheirBirth) {
    INode *node = nullptr;
    ParticleObject *p = Make(SPRAY_CLASS_ID, &node);
    IParamBlock *pb = Block(p);
    pb->SetValue(SPRAY_WIDTH, 0, 0.0f);
    pb->SetValue(SPRAY_LENGTH, 0, 0.0f);
    node->SetPositionKey(0, Point3(0, 0, 0));
    node->SetPositionKey(30 * kTPF, Point3(300, 0, 0));  // 10 units per frame along x

    p->Update(20 * kTPF, node);
    for (int i = 0; i < p->NumParticles(); ++i) {
        const TimeValue age = p->GetParticleAge(i);
        if (age < 0) continue;
        const Point3 v = p->GetParticleVelocity(i);
        EXPECT_NEAR(v.x, 0.0f, 1e-6f);  // the emitter's motion does not carry over
        const Point3 origin = p->GetParticlePosition(i) - v * static_cast<float>(age);
        const Point3 emitter = node->GetNodeTM(20 * kTPF - age).GetTrans();
        EXPECT_NEAR(origin.x, emitter.x, 10.0f / kTPF + 1e-3f);  // birth within the tick
    }
}

TEST_F(Emitters, EmittersSurviveTheSceneFile) {
    INode *sprayNode = nullptr, *superNode = nullptr;
    ParticleObject *spray = Make(SPRAY_CLASS_ID, &sprayNode);
    ParticleObject *super = Make(SUPER_SPRAY_CLASS_ID, &superNode);
    sprayNode->SetName("Spray");
    superNode->SetName("Super");
    Block(spray)->SetValue(SPRAY_SEED, 0, 99);
    Block(spray)->SetKey(SPRAY_SPREAD, 0, 0.1f);
    Block(spray)->SetKey(SPRAY_SPREAD, 10 * kTPF, 0.9f);
    Block(super)->SetValue(SSPRAY_OFF_AXIS_SPREAD, 0, 0.5f);
    sprayNode->SetPositionKey(0, Point3(0, 0, 0));
    sprayNode->SetPositionKey(10 * kTPF, Point3(0, 50, 0));
    const TimeValue t = 17 * kTPF;
    const Snapshot a = Take(spray, t, sprayNode), b = Take(super, t, superNode);

    const std::vector<std::uint8_t> saved = SaveSceneToMemory();
    Interface *ip = GetCOREInterface();
    ip->ResetScene();
    LoadSceneFromMemory(saved, "emitters.nsc");
    sprayNode = ip->GetINodeByName("Spray");
    superNode = ip->GetINodeByName("Super");
    ASSERT_TRUE(sprayNode && superNode);
    spray = GetParticleInterface(sprayNode->EvalWorldState(t).obj);
    super = GetParticleInterface(superNode->EvalWorldState(t).obj);
    ASSERT_TRUE(spray && super);
    EXPECT_EQ(spray->ClassID(), SPRAY_CLASS_ID);
    EXPECT_EQ(Block(spray)->GetParamName(SPRAY_SEED), "Seed");  // owner answers again
    EXPECT_EQ(Take(spray, t, sprayNode), a);
    EXPECT_EQ(Take(super, t, superNode), b);
}

TEST_F(Emitters, ABlockOfAnotherLayoutIsNotTaken) {
    ParticleObject *p = Make(SPRAY_CLASS_ID);
    const ParamBlockDesc desc[] = {{TYPE_FLOAT, nullptr, TRUE}};
    p->ReplaceReference(0, CreateParameterBlock(desc, 1));
    EXPECT_EQ(p->GetReference(0), nullptr);
    p->Update(10 * kTPF, nullptr);  // reads fall back to the defaults
    EXPECT_GT(CountAlive(p), 0);
}

}  // namespace
