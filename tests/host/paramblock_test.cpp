/// @file paramblock_test.cpp
/// @brief Parameter blocks: typed values, keys over time, the animate mode, owner queries,
///        cloning, layout upgrades and their chunks.
#include "test_objects.h"

#include "host/chunk_stream.h"
#include "host/interface.h"
#include "host/little_endian.h"
#include "host/messages.h"
#include "host/paramblock.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using hosttest::QuietUI;
using hosttest::TestHelper;
using hosttest::TestTarget;

/// Deletes a block the test owns.
struct BlockDeleter {
    void operator()(IParamBlock *pb) const { pb->DeleteThis(); }
};
using BlockPtr = std::unique_ptr<IParamBlock, BlockDeleter>;

const ParamBlockDesc kMixed[] = {{TYPE_FLOAT, nullptr, TRUE},   {TYPE_INT, nullptr, TRUE},
                                 {TYPE_BOOL, nullptr, TRUE},    {TYPE_RGBA, nullptr, TRUE},
                                 {TYPE_POINT3, nullptr, FALSE}, {TYPE_FLOAT, nullptr, FALSE}};
enum { kFloat, kInt, kBool, kColor, kPoint, kStill };

class ParamBlockTest : public ::testing::Test {
protected:
    void TearDown() override { GetCOREInterface()->ResetScene(); }  // animate mode off
    BlockPtr pb{CreateParameterBlock(kMixed, 6)};
};

TEST_F(ParamBlockTest, StartsAtZeroWithItsLayout) {
    EXPECT_EQ(pb->NumParams(), 6);
    EXPECT_EQ(pb->GetVersion(), 0u);
    EXPECT_EQ(pb->GetParameterType(kColor), TYPE_RGBA);
    EXPECT_EQ(pb->GetParamID(kPoint), 4u);
    EXPECT_FALSE(pb->IsParamAnimatable(kStill));
    float f = 1.0f;
    Point3 p(1, 1, 1);
    pb->GetValue(kFloat, 0, f);
    pb->GetValue(kPoint, 0, p);
    EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(p, Point3());
}

TEST_F(ParamBlockTest, ReadsAndWritesEveryTypeAndConverts) {
    pb->SetValue(kFloat, 0, 2.6f);
    pb->SetValue(kInt, 0, 7);
    pb->SetValue(kBool, 0, TRUE);
    pb->SetValue(kColor, 0, Color(0.1f, 0.2f, 0.3f));
    pb->SetValue(kPoint, 0, Point3(1, 2, 3));
    float f;
    int i;
    BOOL b;
    Color c;
    Point3 p;
    pb->GetValue(kFloat, 0, f);
    pb->GetValue(kInt, 0, i);
    pb->GetValue(kBool, 0, b);
    pb->GetValue(kColor, 0, c);
    pb->GetValue(kPoint, 0, p);
    EXPECT_FLOAT_EQ(f, 2.6f);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(b, TRUE);
    EXPECT_EQ(c, Color(0.1f, 0.2f, 0.3f));
    EXPECT_EQ(p, Point3(1, 2, 3));

    // int <-> float convert (to the nearest integer); colours and points read as each other.
    pb->GetValue(kFloat, 0, i);
    EXPECT_EQ(i, 3);
    pb->GetValue(kInt, 0, f);
    EXPECT_EQ(f, 7.0f);
    pb->SetValue(kInt, 0, -2.5f);
    pb->GetValue(kInt, 0, i);
    EXPECT_EQ(i, -3);
    pb->GetValue(kColor, 0, p);
    EXPECT_EQ(p, Point3(0.1f, 0.2f, 0.3f));
    pb->SetValue(kFloat, 0, 0.5);  // a double literal
    pb->GetValue(kFloat, 0, f);
    EXPECT_EQ(f, 0.5f);

    QuietUI quiet;
    EXPECT_THROW(pb->GetValue(kColor, 0, f), HostAssertion);
    EXPECT_THROW(pb->SetValue(kFloat, 0, Point3()), HostAssertion);
    EXPECT_THROW(pb->GetValue(6, 0, f), HostAssertion);
}

TEST_F(ParamBlockTest, KeysInterpolateLinearlyAndHoldOutside) {
    ASSERT_TRUE(pb->SetKey(kFloat, 100, 10.0f));
    ASSERT_TRUE(pb->SetKey(kFloat, 0, 0.0f));
    ASSERT_TRUE(pb->SetKey(kFloat, 300, 0.0f));
    ASSERT_EQ(pb->NumKeys(kFloat), 3);
    EXPECT_EQ(pb->GetKeyTime(kFloat, 0), 0);  // keys stay in time order
    EXPECT_EQ(pb->GetKeyTime(kFloat, 1), 100);

    auto at = [&](TimeValue t, Interval &valid) {
        float v;
        valid = FOREVER;
        pb->GetValue(kFloat, t, v, valid);
        return v;
    };
    Interval valid;
    EXPECT_FLOAT_EQ(at(50, valid), 5.0f);
    EXPECT_EQ(valid, Interval(50, 50));
    EXPECT_FLOAT_EQ(at(200, valid), 5.0f);
    EXPECT_FLOAT_EQ(at(100, valid), 10.0f);
    EXPECT_FLOAT_EQ(at(-500, valid), 0.0f);
    EXPECT_EQ(valid, Interval(TIME_NegInfinity, 0));
    EXPECT_FLOAT_EQ(at(1000, valid), 0.0f);
    EXPECT_EQ(valid, Interval(300, TIME_PosInfinity));

    // Ints round the interpolated value; BOOLs hold the earlier key.
    pb->SetKey(kInt, 0, 0);
    pb->SetKey(kInt, 3, 10);
    int i;
    pb->GetValue(kInt, 1, i);
    EXPECT_EQ(i, 3);
    pb->GetValue(kInt, 2, i);
    EXPECT_EQ(i, 7);
    pb->SetKey(kBool, 0, TRUE);
    pb->SetKey(kBool, 100, FALSE);
    BOOL b;
    valid = FOREVER;
    pb->GetValue(kBool, 99, b, valid);
    EXPECT_EQ(b, TRUE);
    EXPECT_EQ(valid, Interval(0, 99));
    pb->GetValue(kBool, 100, b);
    EXPECT_EQ(b, FALSE);

    // Colours interpolate per channel.
    pb->SetKey(kColor, 0, Color(0, 0, 1));
    pb->SetKey(kColor, 10, Color(1, 0.5f, 0));
    Color c;
    pb->GetValue(kColor, 5, c);
    EXPECT_EQ(c, Color(0.5f, 0.25f, 0.5f));

    // A single key is a constant.
    BlockPtr one(CreateParameterBlock(kMixed, 6));
    one->SetKey(kFloat, 40, 4.0f);
    float v;
    valid = FOREVER;
    one->GetValue(kFloat, -10, v, valid);
    EXPECT_EQ(v, 4.0f);
    EXPECT_EQ(valid, FOREVER);
}

TEST_F(ParamBlockTest, SetValueKeysOnlyWhereKeysExistOrWhileAnimating) {
    float v;
    pb->SetValue(kFloat, 0, 2.0f);
    pb->SetValue(kFloat, 160, 3.0f);  // not animating: the constant changes
    EXPECT_EQ(pb->NumKeys(kFloat), 0);
    pb->GetValue(kFloat, 0, v);
    EXPECT_EQ(v, 3.0f);

    AnimateOn();
    pb->SetValue(kFloat, 320, 7.0f);  // first animated change: keys at 0 (old value) and t
    ASSERT_EQ(pb->NumKeys(kFloat), 2);
    pb->GetValue(kFloat, 0, v);
    EXPECT_EQ(v, 3.0f);
    pb->GetValue(kFloat, 160, v);
    EXPECT_EQ(v, 5.0f);
    pb->SetValue(kStill, 320, 1.0f);  // not animatable: stays a constant
    EXPECT_EQ(pb->NumKeys(kStill), 0);
    SuspendAnimate();
    EXPECT_FALSE(Animating());
    pb->SetValue(kInt, 320, 4);  // suspended: constant
    EXPECT_EQ(pb->NumKeys(kInt), 0);
    ResumeAnimate();
    EXPECT_TRUE(Animating());
    AnimateOff();

    pb->SetValue(kFloat, 320, 9.0f);  // keyed parameter: the key at t is set
    pb->SetValue(kFloat, 480, 1.0f);  // and a new one added
    EXPECT_EQ(pb->NumKeys(kFloat), 3);
    pb->GetValue(kFloat, 320, v);
    EXPECT_EQ(v, 9.0f);

    EXPECT_FALSE(pb->SetKey(kStill, 0, 1.0f));
    EXPECT_FALSE(pb->SetKey(kPoint, 0, Point3()));
    EXPECT_EQ(pb->NumKeys(kStill), 0);
}

TEST_F(ParamBlockTest, ChangesNotifyTheOwnerAndTheOwnerNamesParameters) {
    auto *owner = new TestHelper();
    IParamBlock *block = owner->block;
    block->SetValue(TestHelper::kSize, 0, 1.0f);
    block->SetKey(TestHelper::kSize, 10, 2.0f);
    EXPECT_EQ(owner->changes, 2);

    EXPECT_EQ(block->GetParamName(TestHelper::kCount), "Count");
    EXPECT_EQ(block->FindParamByName("Position"), TestHelper::kPosition);
    EXPECT_EQ(block->FindParamByName("Nope"), -1);
    EXPECT_EQ(block->GetParamDimension(TestHelper::kColor), stdColorDim);
    EXPECT_EQ(block->GetParamDimension(TestHelper::kSize), stdWorldDim);

    // The query goes to the direct owner only, not to whatever holds the owner.
    auto *holder = new TestTarget();
    holder->answerName = "wrong";
    holder->MakeRefByID(FOREVER, 0, owner);
    EXPECT_EQ(block->GetParamName(TestHelper::kSize), "Size");
    holder->DeleteThis();

    // Nobody to ask: empty name, default dimension.
    EXPECT_EQ(pb->GetParamName(0), "");
    EXPECT_EQ(pb->GetParamDimension(0), defaultDim);
}

TEST_F(ParamBlockTest, CloneCopiesValuesAndKeysIndependently) {
    pb->SetValue(kStill, 0, 4.5f);
    pb->SetKey(kFloat, 0, 1.0f);
    pb->SetKey(kFloat, 100, 3.0f);
    pb->SetKey(kColor, 50, Color(0.2f, 0.4f, 0.6f));
    RemapDir remap;
    BlockPtr copy(static_cast<IParamBlock *>(remap.CloneRef(pb.get())));
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->NumParams(), 6);
    EXPECT_EQ(copy->NumKeys(kFloat), 2);
    float v;
    copy->GetValue(kFloat, 50, v);
    EXPECT_EQ(v, 2.0f);
    copy->GetValue(kStill, 0, v);
    EXPECT_EQ(v, 4.5f);
    Color c;
    copy->GetValue(kColor, 0, c);
    EXPECT_EQ(c, Color(0.2f, 0.4f, 0.6f));
    copy->SetKey(kFloat, 100, 5.0f);
    pb->GetValue(kFloat, 100, v);
    EXPECT_EQ(v, 3.0f);

    // An owner's clone carries its block's keys too.
    auto *owner = new TestHelper();
    owner->block->SetKey(TestHelper::kCount, 0, 2);
    owner->block->SetKey(TestHelper::kCount, 10, 4);
    auto *twin = static_cast<TestHelper *>(CloneRefHierarchy(owner));
    ASSERT_NE(twin->block, owner->block);
    int i;
    twin->block->GetValue(TestHelper::kCount, 5, i);
    EXPECT_EQ(i, 3);
    owner->DeleteThis();
    twin->DeleteThis();
}

TEST_F(ParamBlockTest, UpdateKeepsValuesByIdAndDefaultsNewParameters) {
    const ParamBlockDescID oldLayout[] = {{TYPE_FLOAT, nullptr, TRUE, 10},
                                          {TYPE_INT, nullptr, FALSE, 11},
                                          {TYPE_RGBA, nullptr, TRUE, 12},
                                          {TYPE_FLOAT, nullptr, TRUE, 13},
                                          {TYPE_INT, nullptr, FALSE, 14}};
    // Reordered, one dropped (14), one new (20), an int becoming a float (11), a keyed float
    // becoming a constant (13).
    const ParamBlockDescID newLayout[] = {{TYPE_RGBA, nullptr, TRUE, 12},
                                          {TYPE_FLOAT, nullptr, TRUE, 20},
                                          {TYPE_FLOAT, nullptr, TRUE, 10},
                                          {TYPE_FLOAT, nullptr, FALSE, 11},
                                          {TYPE_FLOAT, nullptr, FALSE, 13}};
    BlockPtr old(CreateParameterBlock(oldLayout, 5, 0));
    old->SetKey(0, 0, 1.0f);
    old->SetKey(0, 100, 2.0f);
    old->SetValue(1, 0, 6);
    old->SetValue(2, 0, Color(0.5f, 0.5f, 0.5f));
    old->SetKey(3, 0, 8.0f);
    old->SetKey(3, 100, 9.0f);
    old->SetValue(4, 0, 99);

    BlockPtr updated(UpdateParameterBlock(oldLayout, 5, old.get(), newLayout, 5, 1));
    EXPECT_EQ(updated->GetVersion(), 1u);
    ASSERT_EQ(updated->NumParams(), 5);
    Color c;
    float f;
    updated->GetValue(0, 0, c);
    EXPECT_EQ(c, Color(0.5f, 0.5f, 0.5f));
    updated->GetValue(1, 0, f);
    EXPECT_EQ(f, 0.0f);  // new parameter
    EXPECT_EQ(updated->NumKeys(1), 0);
    EXPECT_EQ(updated->NumKeys(2), 2);  // keys carried across
    updated->GetValue(2, 50, f);
    EXPECT_EQ(f, 1.5f);
    updated->GetValue(3, 0, f);
    EXPECT_EQ(f, 6.0f);
    updated->GetValue(4, 100, f);
    EXPECT_EQ(f, 8.0f);  // the old value at time 0, without keys
    EXPECT_EQ(updated->NumKeys(4), 0);
    // The old block is untouched.
    int i;
    old->GetValue(4, 0, i);
    EXPECT_EQ(i, 99);
}

TEST_F(ParamBlockTest, ChunksRoundTripAndRefuseDamage) {
    pb->SetValue(kStill, 0, 1.25f);
    pb->SetValue(kPoint, 0, Point3(1, 2, 3));
    pb->SetKey(kInt, -160, -4);
    pb->SetKey(kInt, 160, 4);
    pb->SetKey(kBool, 0, TRUE);
    ChunkWriter w;
    ASSERT_EQ(pb->Save(&w), IO_OK);

    auto *desc = ClassDirectory::Instance().Find(PARAMETER_BLOCK_CLASS_ID, PARAMBLOCK_CLASS_ID);
    ASSERT_NE(desc, nullptr);  // registered by the host itself
    auto load = [&](const std::vector<std::uint8_t> &bytes) {
        BlockPtr loaded(
            static_cast<IParamBlock *>(static_cast<Animatable *>(desc->Create(TRUE))));
        ChunkReader r(bytes);
        const IOResult res = loaded->Load(&r);
        return std::make_pair(res, std::move(loaded));
    };
    auto [res, loaded] = load(w.Bytes());
    ASSERT_EQ(res, IO_OK);
    ASSERT_EQ(loaded->NumParams(), 6);
    EXPECT_FALSE(loaded->IsParamAnimatable(kStill));
    float f;
    int i;
    Point3 p;
    loaded->GetValue(kStill, 0, f);
    loaded->GetValue(kInt, 0, i);
    loaded->GetValue(kPoint, 0, p);
    EXPECT_EQ(f, 1.25f);
    EXPECT_EQ(i, 0);
    EXPECT_EQ(p, Point3(1, 2, 3));
    EXPECT_EQ(loaded->NumKeys(kBool), 1);

    // Find the keys of kInt (the third parameter chunk) and swap their times: keys out of order
    // are corrupt. Layout: header chunk, then parameter chunks; each starts with its 6-byte
    // chunk header, then type, animatable, id, value (4 bytes for an int), key count.
    std::vector<std::uint8_t> bytes = w.Bytes();
    std::size_t at = 6 + 8;                              // past the header chunk
    at += 6 + 4 * 3 + 4 + 4;                             // float parameter, no keys
    const std::size_t intKeys = at + 6 + 4 * 3 + 4 + 4;  // first key of the int parameter
    auto int32At = [&](std::size_t o) { return ByteReader(bytes, o).I32(); };
    ASSERT_EQ(int32At(intKeys - 4), 2);  // key count
    ASSERT_EQ(int32At(intKeys), -160);
    ASSERT_EQ(int32At(intKeys + 8), 160);
    std::swap_ranges(bytes.begin() + intKeys, bytes.begin() + intKeys + 4,
                     bytes.begin() + intKeys + 8);
    EXPECT_EQ(load(bytes).first, IO_ERROR);

    // A key count the chunk cannot hold.
    bytes = w.Bytes();
    bytes[intKeys - 4] = 0xFF;
    bytes[intKeys - 3] = 0xFF;
    EXPECT_EQ(load(bytes).first, IO_ERROR);
}

}  // namespace
