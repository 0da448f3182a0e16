/// @file little_endian_test.cpp
/// @brief Little-endian fields: byte order, sign and float bits, and the checked reader that
///        stops at the end of its span.
#include "host/little_endian.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

TEST(LittleEndian, FieldsAreLowByteFirstAndReadBackInOrder) {
    std::array<std::uint8_t, 14> b{};
    PutLE16(b.data(), 0xA1B2);
    PutLE32(b.data() + 2, 0xC1D2E3F4u);
    PutLEInt(b.data() + 6, -2);
    PutLEFloat(b.data() + 10, -1.5f);  // 0xBFC00000
    EXPECT_EQ(b, (std::array<std::uint8_t, 14>{0xB2, 0xA1, 0xF4, 0xE3, 0xD2, 0xC1, 0xFE, 0xFF,
                                               0xFF, 0xFF, 0x00, 0x00, 0xC0, 0xBF}));

    ByteReader r(b);
    EXPECT_EQ(r.U16(), 0xA1B2);
    EXPECT_EQ(r.U32(), 0xC1D2E3F4u);
    EXPECT_EQ(r.I32(), -2);
    EXPECT_EQ(r.F32(), -1.5f);
    EXPECT_TRUE(r.Ok());
}

TEST(LittleEndian, ReaderFailsPastTheEndAndStaysFailed) {
    const std::array<std::uint8_t, 6> b = {1, 0, 2, 0, 0, 0};
    ByteReader r(b, 3);
    EXPECT_EQ(r.U32(), 0u) << "a field that would pass the end reads as zero";
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.U16(), 0) << "a failed reader reads nothing more, even what would fit";
    EXPECT_FALSE(r.Ok());

    ByteReader beyond(b, 7);
    EXPECT_FALSE(beyond.Ok());
    EXPECT_EQ(beyond.U16(), 0);
    ByteReader atTheEnd(b, 6);
    EXPECT_TRUE(atTheEnd.Ok());
    EXPECT_EQ(atTheEnd.U16(), 0);
    EXPECT_FALSE(atTheEnd.Ok());
}

}  // namespace
