/// @file reference_test.cpp
/// @brief Reference bookkeeping: automatic deletion of unreferenced targets, target deletion,
///        cycles, change propagation, parameter queries and cloning.
#include "test_objects.h"

#include "host/animatable.h"

#include <gtest/gtest.h>

namespace {

using hosttest::TestTarget;

/// Makes a target whose destruction sets the returned flag.
TestTarget *Watched(bool &destroyed, int slots = 2) {
    auto *t = new TestTarget(slots);
    t->destroyed = &destroyed;
    return t;
}

TEST(ReferenceTarget, ReplacingTheLastReferenceDeletesTheOldTarget) {
    bool aGone = false, bGone = false;
    auto *maker = new TestTarget();
    TestTarget *a = Watched(aGone), *b = Watched(bGone);
    EXPECT_EQ(maker->MakeRefByID(FOREVER, 0, a), REF_SUCCEED);
    EXPECT_EQ(a->NumDependents(), 1);
    EXPECT_EQ(maker->ReplaceReference(0, b), REF_SUCCEED);
    EXPECT_TRUE(aGone);
    EXPECT_FALSE(bGone);
    EXPECT_EQ(maker->GetReference(0), b);
    maker->DeleteThis();  // drops its reference: b goes with it
    EXPECT_TRUE(bGone);
}

TEST(ReferenceTarget, ReplacingKeepsAnOldTargetThatIsStillReferenced) {
    bool aGone = false;
    auto *m1 = new TestTarget(), *m2 = new TestTarget();
    TestTarget *a = Watched(aGone);
    m1->MakeRefByID(FOREVER, 0, a);
    m2->MakeRefByID(FOREVER, 1, a);
    m1->ReplaceReference(0, new TestTarget());
    EXPECT_FALSE(aGone);
    EXPECT_EQ(a->NumDependents(), 1);
    m2->DeleteReference(1);
    EXPECT_TRUE(aGone);
    EXPECT_EQ(m2->GetReference(1), nullptr);
    m1->DeleteThis();
    m2->DeleteThis();
}

TEST(ReferenceTarget, OneMakerHoldingATargetTwiceCountsBothSlots) {
    bool gone = false;
    auto *maker = new TestTarget();
    TestTarget *a = Watched(gone);
    maker->MakeRefByID(FOREVER, 0, a);
    maker->MakeRefByID(FOREVER, 1, a);
    EXPECT_EQ(a->NumDependents(), 2);
    EXPECT_EQ(maker->FindRef(a), 0);
    maker->DeleteReference(0);
    EXPECT_FALSE(gone);
    EXPECT_EQ(maker->FindRef(a), 1);
    maker->DeleteReference(1);
    EXPECT_TRUE(gone);
    maker->DeleteThis();
}

TEST(ReferenceTarget, MakingAReferenceOverAnOccupiedSlotDropsTheOldOne) {
    bool gone = false;
    auto *maker = new TestTarget();
    maker->MakeRefByID(FOREVER, 0, Watched(gone));
    maker->MakeRefByID(FOREVER, 0, new TestTarget());
    EXPECT_TRUE(gone);
    maker->DeleteThis();
}

TEST(ReferenceTarget, ReplacingWithoutDeletingHandsTheTargetBack) {
    bool gone = false;
    auto *maker = new TestTarget();
    TestTarget *a = Watched(gone);
    maker->MakeRefByID(FOREVER, 0, a);
    maker->ReplaceReference(0, nullptr, FALSE);
    EXPECT_FALSE(gone);
    EXPECT_EQ(a->NumDependents(), 0);
    maker->DeleteThis();
    EXPECT_FALSE(gone);  // it is ours again
    a->DeleteThis();
    EXPECT_TRUE(gone);
}

TEST(ReferenceTarget, DeleteMeTellsEveryDependentAndClearsTheirSlots) {
    auto *m1 = new TestTarget(), *m2 = new TestTarget(3);
    bool gone = false;
    TestTarget *a = Watched(gone);
    m1->MakeRefByID(FOREVER, 0, a);
    m2->MakeRefByID(FOREVER, 0, a);
    m2->MakeRefByID(FOREVER, 2, a);
    a->DeleteMe();
    EXPECT_TRUE(gone);
    EXPECT_EQ(m1->Count(REFMSG_TARGET_DELETED), 1);
    EXPECT_EQ(m2->Count(REFMSG_TARGET_DELETED), 1);  // once per maker, not per slot
    EXPECT_EQ(m1->received.back().target, a);
    EXPECT_EQ(m1->GetReference(0), nullptr);
    EXPECT_EQ(m2->GetReference(0), nullptr);
    EXPECT_EQ(m2->GetReference(2), nullptr);
    m1->DeleteThis();  // must not touch the deleted target again
    m2->DeleteThis();
}

TEST(ReferenceTarget, DestroyingAReferencedTargetDirectlyAlsoClearsSlots) {
    auto *maker = new TestTarget();
    auto *a = new TestTarget();
    maker->MakeRefByID(FOREVER, 1, a);
    delete a;
    EXPECT_EQ(maker->GetReference(1), nullptr);
    EXPECT_EQ(maker->Count(REFMSG_TARGET_DELETED), 1);
    maker->DeleteThis();
}

TEST(ReferenceTarget, DeletingAMakerDeletesWhatOnlyItHeldOnceEach) {
    // maker -> a, maker -> b, a -> b, a -> c: b is shared, everything must go exactly once.
    bool aGone = false, bGone = false, cGone = false;
    auto *maker = new TestTarget();
    TestTarget *a = Watched(aGone), *b = Watched(bGone), *c = Watched(cGone);
    maker->MakeRefByID(FOREVER, 0, a);
    maker->MakeRefByID(FOREVER, 1, b);
    a->MakeRefByID(FOREVER, 0, b);
    a->MakeRefByID(FOREVER, 1, c);
    const int before = TestTarget::live;
    maker->DeleteThis();
    EXPECT_TRUE(aGone && bGone && cGone);
    EXPECT_EQ(TestTarget::live, before - 4);
}

TEST(ReferenceTarget, DeleteAllRefsFromMeDropsEverySlot) {
    bool aGone = false, bGone = false;
    auto *maker = new TestTarget();
    maker->MakeRefByID(FOREVER, 0, Watched(aGone));
    maker->MakeRefByID(FOREVER, 1, Watched(bGone));
    maker->DeleteAllRefsFromMe();
    EXPECT_TRUE(aGone && bGone);
    EXPECT_EQ(maker->GetReference(0), nullptr);
    maker->DeleteThis();
}

TEST(ReferenceTarget, ReferencesThatWouldCloseACycleFail) {
    auto *a = new TestTarget(), *b = new TestTarget(), *c = new TestTarget();
    a->MakeRefByID(FOREVER, 0, b);
    b->MakeRefByID(FOREVER, 0, c);
    EXPECT_EQ(c->MakeRefByID(FOREVER, 0, a), REF_FAIL);
    EXPECT_EQ(c->GetReference(0), nullptr);
    EXPECT_EQ(a->MakeRefByID(FOREVER, 1, a), REF_FAIL);
    EXPECT_EQ(a->NumDependents(), 0);
    a->DeleteThis();
}

TEST(ReferenceTarget, ChangesPropagateUpUntilADependentStopsThem) {
    // node -> owner -> block: a change of the block reaches the owner, then the node, each
    // naming its own reference as the changed target.
    auto *node = new TestTarget(), *owner = new TestTarget(), *block = new TestTarget();
    node->MakeRefByID(FOREVER, 0, owner);
    owner->MakeRefByID(FOREVER, 0, block);
    block->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    ASSERT_EQ(owner->Count(REFMSG_CHANGE), 1);
    EXPECT_EQ(owner->received.back().target, block);
    ASSERT_EQ(node->Count(REFMSG_CHANGE), 1);
    EXPECT_EQ(node->received.back().target, owner);

    owner->stopChanges = true;
    block->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    EXPECT_EQ(owner->Count(REFMSG_CHANGE), 2);
    EXPECT_EQ(node->Count(REFMSG_CHANGE), 1);

    // Without propagation only direct dependents hear it; a super class filter narrows it.
    owner->stopChanges = false;
    block->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE, NOTIFY_ALL, FALSE);
    EXPECT_EQ(node->Count(REFMSG_CHANGE), 1);
    block->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE, HELPER_CLASS_ID);
    EXPECT_EQ(owner->Count(REFMSG_CHANGE), 3);
    node->DeleteThis();
}

TEST(ReferenceTarget, ADependentMayDropItsReferenceWhileBeingNotified) {
    // A maker that drops the target when told of a change must not upset the notification.
    class Dropper : public TestTarget {
    public:
        RefResult NotifyRefChanged(Interval iv, ReferenceTarget *t, PartID &p,
                                   RefMessage m) override {
            if (m == REFMSG_CHANGE) DeleteReference(0);
            return TestTarget::NotifyRefChanged(iv, t, p, m);
        }
    };
    bool gone = false;
    Dropper *droppers[3] = {new Dropper(), new Dropper(), new Dropper()};
    TestTarget *a = Watched(gone);
    for (Dropper *d : droppers) d->MakeRefByID(FOREVER, 0, a);
    a->NotifyDependents(FOREVER, PART_ALL, REFMSG_CHANGE);
    // All three heard it and dropped it; it was deleted once the notification ended.
    EXPECT_TRUE(gone);
    for (Dropper *d : droppers) {
        EXPECT_EQ(d->Count(REFMSG_CHANGE), 1);
        d->DeleteThis();
    }
}

TEST(RemapDir, CloneCopiesASharedTargetOnce) {
    // root -> x -> shared, root -> y -> shared
    auto *root = new TestTarget(), *x = new TestTarget(), *y = new TestTarget();
    auto *shared = new TestTarget();
    shared->value = 42;
    root->MakeRefByID(FOREVER, 0, x);
    root->MakeRefByID(FOREVER, 1, y);
    x->MakeRefByID(FOREVER, 0, shared);
    y->MakeRefByID(FOREVER, 1, shared);

    const int before = TestTarget::live;
    auto *copy = static_cast<TestTarget *>(CloneRefHierarchy(root));
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(TestTarget::live, before + 4);
    auto *cx = static_cast<TestTarget *>(copy->GetReference(0));
    auto *cy = static_cast<TestTarget *>(copy->GetReference(1));
    ASSERT_TRUE(cx && cy);
    EXPECT_NE(cx, x);
    EXPECT_EQ(cx->GetReference(0), cy->GetReference(1));
    EXPECT_NE(cx->GetReference(0), shared);
    EXPECT_EQ(static_cast<TestTarget *>(cx->GetReference(0))->value, 42);
    EXPECT_EQ(cx->GetReference(0)->NumDependents(), 2);
    root->DeleteThis();
    copy->DeleteThis();
    EXPECT_EQ(TestTarget::live, before - 4);
}

TEST(RemapDir, AClassThatCannotCloneYieldsNull) {
    class Plain : public ReferenceTarget {};
    Plain plain;
    RemapDir remap;
    EXPECT_EQ(remap.CloneRef(&plain), nullptr);
    EXPECT_EQ(remap.CloneRef(nullptr), nullptr);
}

TEST(Interval, IntersectionAndMembership) {
    Interval iv = FOREVER;
    EXPECT_TRUE(iv.InInterval(0));
    iv &= Interval(10, 20);
    EXPECT_EQ(iv, Interval(10, 20));
    iv &= Interval(15, 40);
    EXPECT_EQ(iv, Interval(15, 20));
    EXPECT_FALSE(iv.InInterval(21));
    iv &= Interval(30, 40);
    EXPECT_TRUE(iv.Empty());
    EXPECT_FALSE(iv.InInterval(30));
    EXPECT_TRUE(NEVER.Empty());
    EXPECT_TRUE((Interval(0, 5) & NEVER).Empty());
}

}  // namespace
