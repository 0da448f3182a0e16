/// @file gradient_test.cpp
/// @brief Gradients (colour between flags, limits), their binary block, and data nodes.
#include "plugins/volume/gradient/data_node.h"
#include "plugins/volume/gradient/gradient.h"
#include "volume_fixture.h"

#include "host/little_endian.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

namespace {

const GradientPreset kTestPreset{{0x54475244, 1}, "Test Gradient", {0.25f, 0.5f, 0.75f}};

struct GradientCase {
    const char *what;
    std::vector<GradientFlag> flags;
    float position;
    Color expected;
};

class GradientColorAt : public ::testing::TestWithParam<GradientCase> {};

// Flags red at 0.2, blue at 0.8 and green at 0.5, added out of order.
const std::vector<GradientFlag> kThree = {
    {{1, 0, 0}, 0.2f, "red"}, {{0, 0, 1}, 0.8f, "blue"}, {{0, 1, 0}, 0.5f, "green"}};

INSTANTIATE_TEST_SUITE_P(
    Positions, GradientColorAt,
    ::testing::Values(
        GradientCase{"none", {}, 0.5f, {0, 0, 0}},
        GradientCase{"one", {{{0.3f, 0.6f, 0.9f}, 0.7f, "only"}}, 0.1f, {0.3f, 0.6f, 0.9f}},
        GradientCase{
            "one_after", {{{0.3f, 0.6f, 0.9f}, 0.7f, "only"}}, 0.95f, {0.3f, 0.6f, 0.9f}},
        GradientCase{"before_first", kThree, 0.1f, {1, 0, 0}},
        GradientCase{"at_first", kThree, 0.2f, {1, 0, 0}},
        GradientCase{"at_middle", kThree, 0.5f, {0, 1, 0}},
        GradientCase{"between_first", kThree, 0.35f, {0.5f, 0.5f, 0}},
        GradientCase{"between_second", kThree, 0.74f, {0, 0.2f, 0.8f}},
        GradientCase{"at_last", kThree, 0.8f, {0, 0, 1}},
        GradientCase{"after_last", kThree, 0.99f, {0, 0, 1}}),
    [](const auto &info) { return std::string(info.param.what); });

TEST_P(GradientColorAt, FollowsTheFlags) {
    Gradient gradient(kTestPreset, true);
    for (const GradientFlag &flag : GetParam().flags) ASSERT_TRUE(gradient.AddFlag(flag));
    const Color c = gradient.GetColor(GetParam().position);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(c[i], GetParam().expected[i], 1e-6) << i;
}

TEST(Gradient, NewOneHasTwoFlagsOfItsPresetAndKeepsItsLimits) {
    Gradient gradient(kTestPreset, false);
    ASSERT_EQ(gradient.GetFlagCount(), 2);
    EXPECT_EQ(gradient.GetFlag(0)->position, 0.0f);
    EXPECT_EQ(gradient.GetFlag(1)->position, 1.0f);
    EXPECT_EQ(gradient.GetColor(0.4f), kTestPreset.color);

    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(gradient.AddFlag({{nan, 0, 0}, 0.5f, "bad colour"}));
    EXPECT_FALSE(gradient.AddFlag({{0, 0, 0}, nan, "bad position"}));
    EXPECT_TRUE(gradient.AddFlag({{0, 0, 0}, 0.5f, std::string(200, 'n')}));
    EXPECT_EQ(gradient.GetFlag(2)->name.size(), Gradient::kMaxNameBytes);
    while (gradient.GetFlagCount() < Gradient::kMaxFlags) ASSERT_TRUE(gradient.AddFlag({}));
    EXPECT_FALSE(gradient.AddFlag({}));
    EXPECT_EQ(gradient.GetFlagCount(), Gradient::kMaxFlags);
}

TEST(GradientBlock, HoldsFlagsAtTheirStridesAndRefusesDamage) {
    Gradient gradient(kTestPreset, true);
    for (const GradientFlag &flag : kThree) gradient.AddFlag(flag);
    std::vector<std::uint8_t> block(kGradientBlockSize);
    WriteGradientBlock(gradient, block.data());
    EXPECT_EQ(block.size(), 11604u);
    EXPECT_EQ(GetLEInt(block.data()), 3);
    EXPECT_EQ(GetLEFloat(block.data() + 116 + 12), 1.0f);  // flag 1, blue
    EXPECT_EQ(GetLEFloat(block.data() + 116 + 16), 0.8f);
    EXPECT_STREQ(reinterpret_cast<const char *>(block.data() + 2 * 116 + 20), "green");

    std::vector<GradientFlag> read;
    ASSERT_TRUE(ReadGradientBlock(block.data(), read));
    EXPECT_EQ(read, kThree);

    auto count = block, name = block, colour = block;
    PutLEInt(count.data(), Gradient::kMaxFlags + 1);
    std::memset(name.data() + 116 + 20, 'x', kGradientNameField);
    PutLEFloat(colour.data() + 8, std::numeric_limits<float>::infinity());
    for (const auto &bad : {count, name, colour}) {
        std::vector<GradientFlag> kept = {{{1, 1, 1}, 0.5f, "kept"}};
        EXPECT_FALSE(ReadGradientBlock(bad.data(), kept));
        EXPECT_EQ(kept.size(), 1u);
    }
}

const DataNodeChild kChildren[] = {{"First", &kTestPreset}, {"Second", &kTestPreset}};
const DataNodeClass kTestNode{{0x54475244, 2}, "Test Node", kChildren};

TEST(DataNode, HoldsNamedGradientsInOrderAndClonesThem) {
    DataNode node(kTestNode, false);
    auto *third = new Gradient(kTestPreset, true);
    EXPECT_EQ(node.Add("Third", third), 2);
    ASSERT_EQ(node.NumSubs(), 3);
    EXPECT_EQ(node.SubAnimName(0), "First");
    EXPECT_EQ(node.SubAnimName(2), "Third");
    EXPECT_EQ(node.SubAnim(2), third);
    EXPECT_EQ(node.Find("Second"), node.Get(1));
    EXPECT_EQ(node.Add("none", nullptr), -1);

    node.Get(0)->SetFlag(0, {{1, 0, 0}, 0.0f, "changed"});
    RemapDir remap;
    volumetest::Owned<DataNode> copy(static_cast<DataNode *>(node.Clone(remap)));
    ASSERT_EQ(copy->Count(), 3);
    EXPECT_EQ(copy->SubAnimName(1), "Second");
    EXPECT_NE(copy->Get(0), node.Get(0));
    EXPECT_EQ(*copy->Get(0)->GetFlag(0), *node.Get(0)->GetFlag(0));
}

}  // namespace
