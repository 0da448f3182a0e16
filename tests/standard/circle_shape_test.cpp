/// @file circle_shape_test.cpp
/// @brief The soft disk table with its 255-entry rows, and the Circle shape that draws it.
#include "plugins/standard/circle_shape.h"
#include "standard_fixture.h"

#include <gtest/gtest.h>

using namespace standardtest;

namespace {

class Circle : public ::testing::Test {
protected:
    void SetUp() override {
        shape = NewPlugIn<CircleShape>(CircleShape::kClassID);
        ASSERT_NE(shape, nullptr);
        shape->__BeginFrame__(0, nullptr, nullptr, nullptr);
    }
    void TearDown() override {
        if (shape) shape->__EndFrame__(0);
    }

    Owned<CircleShape> shape;
};

/// The table entry for disk offset (i, j) written by itself, before any shared entry is
/// overwritten: what a 256-entry row would hold.
std::uint16_t Falloff(int i, int j) {
    const int d2 = i * i + j * j;
    if (d2 == 0 || d2 > 16384) return 0;
    const double b = double(16384 - d2) / 16384;
    const double s = b * b * (3 - 2 * b);
    return static_cast<std::uint16_t>(s * s * 65535);
}

}  // namespace

TEST(SoftDiskTable, RowsOf255EntriesShareTheirLastColumnWithTheNextRow) {
    SoftDisk disk;
    EXPECT_FALSE(disk.Built());
    disk.Build();
    ASSERT_TRUE(disk.Built());
    for (int row = 0; row < 255; ++row) {
        // One entry: the next row's first column, written last, lies on or beyond the rim.
        EXPECT_EQ(disk.At(row, 255), disk.At(row + 1, 0)) << row;
        EXPECT_EQ(disk.At(row, 255), 0) << row;
    }
    // Every other entry is the falloff of its own offset.
    for (int row = 0; row < 256; ++row)
        for (int column = 0; column < 255; ++column)
            ASSERT_EQ(disk.At(row, column), Falloff(row - 128, column - 128))
                << row << ", " << column;
}

TEST(SoftDiskTable, CentreIsEmptyAndTheRestFallsOffFromIt) {
    SoftDisk disk;
    disk.Build();
    EXPECT_EQ(disk.At(128, 128), 0) << "d² = 0 is left empty";
    EXPECT_GT(disk.At(128, 129), 65000);
    EXPECT_GT(disk.At(127, 127), 65000);
    for (int j = 130; j < 255; ++j) EXPECT_LE(disk.At(128, j), disk.At(128, j - 1)) << j;
    EXPECT_EQ(disk.At(0, 128), 0) << "d² = 16384, the rim";
    disk.Free();
    EXPECT_FALSE(disk.Built());
}

TEST_F(Circle, CentreReadsRow127Column127AndIsCovered) {
    for (int r : {1, 2, 3, 10, 64, 127, 128, 550}) {
        shape->__BeginParticle__(1.0f, r, nullptr);
        unsigned short d = 0;
        ASSERT_EQ(shape->__ParticleShape__(&d, r, 0, 0, 50, 50), 1) << r;
        EXPECT_EQ(d, (std::uint32_t(shape->Table().At(127, 127)) * 65535u) >> 16) << r;
    }
}

TEST_F(Circle, NothingIsCoveredFromTheRadiusOutwards) {
    for (int r = 1; r <= 80; ++r) {
        shape->__BeginParticle__(1.0f, r, nullptr);
        int covered = 0;
        for (int y = -r; y <= r; ++y) {
            for (int x = -r; x <= r; ++x) {
                unsigned short d = 0;
                const int hit = shape->__ParticleShape__(&d, r, x, y, x, y);
                if (x * x + y * y >= r * r) {
                    EXPECT_EQ(hit, 0) << "r " << r << " at " << x << ", " << y;
                }
                covered += hit;
            }
        }
        EXPECT_GT(covered, 0) << r;
    }
}

TEST_F(Circle, CoverageFollowsTheTransparencyAndZeroStillCountsAsCovered) {
    const int r = 20;
    shape->__BeginParticle__(0.0f, r, nullptr);
    EXPECT_EQ(shape->CoverageScale(), 0);
    int covered = 0;
    for (int y = -r; y <= r; ++y) {
        for (int x = -r; x <= r; ++x) {
            unsigned short d = 77;
            if (!shape->__ParticleShape__(&d, r, x, y, x, y)) continue;
            ++covered;
            EXPECT_EQ(d, 0);
        }
    }
    EXPECT_GT(covered, 600);  // most of the disk of radius 20

    shape->__BeginParticle__(0.5f, r, nullptr);
    unsigned short d = 0;
    ASSERT_EQ(shape->__ParticleShape__(&d, r, 3, -4, 0, 0), 1);
    const int row = int(float(r - 4) / (2 * r) * 255),
              column = int(float(r + 3) / (2 * r) * 255);
    EXPECT_EQ(d, (std::uint32_t(shape->Table().At(row, column)) * 32767u) >> 16);
}

TEST_F(Circle, PreviewAndFrameCallsBracketTheTable) {
    shape->__EndFrame__(0);
    shape->__BeginParticle__(1.0f, 5, nullptr);
    unsigned short d = 0;
    EXPECT_EQ(shape->__ParticleShape__(&d, 5, 0, 0, 0, 0), 0) << "no table outside a frame";

    EXPECT_EQ(shape->__SupportRollUpPreview__(), 1);
    shape->__RollUpPreviewBegin__(nullptr, 1.0f, 5, nullptr);
    EXPECT_EQ(shape->__RollUpPreviewShape__(&d, 5, 0, 0, 0, 0), 1);
    shape->__RollUpPreviewEnd__();
    EXPECT_FALSE(shape->Table().Built());
}

TEST_F(Circle, HasNoParametersReferencesOrControllersAndAnEmptyLibraryRecord) {
    EXPECT_EQ(shape->NumRefs(), 0);
    EXPECT_EQ(shape->NumSubs(), 0);
    EXPECT_EQ(shape->NumControllers(), 0);
    EXPECT_EQ(shape->GetController(0), nullptr);
    EXPECT_EQ(shape->ParamBlock(), nullptr);
    EXPECT_TRUE(shape->ListProperties().empty());

    LibraryFile file;
    EXPECT_EQ(shape->LibrarySave(file.io()), 1);
    EXPECT_TRUE(file.Bytes().empty());
    EXPECT_EQ(shape->LibraryLoad(file.io()), 1);

    RemapDir remap;
    Owned<ReferenceTarget> copy(shape->Clone(remap));
    ASSERT_NE(dynamic_cast<CircleShape *>(copy.get()), nullptr);
}
