#include "output/DataBuffer.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <limits>

namespace
{
constexpr uint64_t MAX = std::numeric_limits<uint64_t>::max();

void ExpectEmptyWithoutStorage(DataBuffer& Buffer)
{
    uint8_t uiByte = 1;
    EXPECT_EQ(Buffer.GetSize(), 0u);
    EXPECT_EQ(Buffer.GetCount(), 0u);
    EXPECT_EQ(Buffer.GetData(), nullptr);
    EXPECT_EQ(Buffer.Write(&uiByte, 1), -1);
    EXPECT_EQ(Buffer.Read(&uiByte, 1), -1);
}
} // namespace

TEST(DataBuffer, WrapsAroundTheEndOfTenBytes)
{
    DataBuffer Buffer;
    ASSERT_EQ(Buffer.Initialize(2, 3), 1);
    ASSERT_EQ(Buffer.GetSize(), 10u);

    // Bring it to 2 bytes stored from offset 7.
    std::array<uint8_t, 9> Fill{};
    std::array<uint8_t, 9> Sink{};
    for (size_t i = 0; i < Fill.size(); ++i)
    {
        Fill[i] = static_cast<uint8_t>(0x10 + i);
    }
    ASSERT_EQ(Buffer.Write(Fill.data(), 9), 1);
    ASSERT_EQ(Buffer.Read(Sink.data(), 7), 1);
    ASSERT_EQ(Buffer.GetReadIndex(), 7u);
    ASSERT_EQ(Buffer.GetCount(), 2u);

    const uint8_t Three[] = {0xA1, 0xA2, 0xA3};
    ASSERT_EQ(Buffer.Write(Three, 3), 1);
    EXPECT_EQ(Buffer.GetData()[9], 0xA1);
    EXPECT_EQ(Buffer.GetData()[0], 0xA2);
    EXPECT_EQ(Buffer.GetData()[1], 0xA3);
    EXPECT_EQ(Buffer.GetWriteIndex(), 2u);
    EXPECT_EQ(Buffer.GetCount(), 5u);

    // Six more do not fit: refused whole, nothing changes.
    const uint8_t Six[] = {0xEE, 0xEE, 0xEE, 0xEE, 0xEE, 0xEE};
    EXPECT_EQ(Buffer.Write(Six, 6), -1);
    EXPECT_EQ(Buffer.GetWriteIndex(), 2u);
    EXPECT_EQ(Buffer.GetCount(), 5u);
    EXPECT_EQ(Buffer.GetData()[2], 0x12);

    std::array<uint8_t, 5> Out{};
    ASSERT_EQ(Buffer.Read(Out.data(), 5), 1);
    EXPECT_EQ(Out, (std::array<uint8_t, 5>{0x17, 0x18, 0xA1, 0xA2, 0xA3}));
    EXPECT_EQ(Buffer.GetReadIndex(), 2u);
    EXPECT_EQ(Buffer.GetCount(), 0u);

    // Exactly full, across the end, then exactly empty again.
    std::array<uint8_t, 10> Whole{};
    for (size_t i = 0; i < Whole.size(); ++i)
    {
        Whole[i] = static_cast<uint8_t>(i + 1);
    }
    EXPECT_EQ(Buffer.Write(Whole.data(), 10), 1);
    EXPECT_EQ(Buffer.GetWriteIndex(), 2u);
    EXPECT_EQ(Buffer.Write(Whole.data(), 1), -1);
    std::array<uint8_t, 10> Back{};
    EXPECT_EQ(Buffer.Read(Back.data(), 10), 1);
    EXPECT_EQ(Back, Whole);
}

TEST(DataBuffer, ShortReadsAndEmptyWritesChangeNothing)
{
    DataBuffer Buffer;
    ASSERT_EQ(Buffer.Initialize(8, 8), 1);
    const double Samples[] = {0.25, -0.5, 1.0};
    ASSERT_EQ(Buffer.Write(Samples, sizeof(Samples)), 1);

    double Out[4] = {9.0, 9.0, 9.0, 9.0};
    EXPECT_EQ(Buffer.Read(Out, sizeof(Out)), 0);
    EXPECT_EQ(Out[0], 9.0);
    EXPECT_EQ(Buffer.GetCount(), sizeof(Samples));
    EXPECT_EQ(Buffer.GetReadIndex(), 0u);

    // A zero-byte write is "nothing done", checked before the source, so a null source is fine.
    EXPECT_EQ(Buffer.Write(nullptr, 0), 0);
    EXPECT_EQ(Buffer.Write(nullptr, 8), -4);
    EXPECT_EQ(Buffer.Read(nullptr, 8), -4);
    // A request so large that count + n would wrap must still be refused.
    EXPECT_EQ(Buffer.Write(Samples, MAX - 8), -1);
    EXPECT_EQ(Buffer.GetCount(), sizeof(Samples));

    ASSERT_EQ(Buffer.Read(Out, sizeof(Samples)), 1);
    EXPECT_EQ(Out[0], 0.25);
    EXPECT_EQ(Out[1], -0.5);
    EXPECT_EQ(Out[2], 1.0);
}

TEST(DataBuffer, InitializeRefusalsLeaveNoStorage)
{
    DataBuffer Buffer;
    ExpectEmptyWithoutStorage(Buffer);

    const uint64_t Refused[][3] = {
        {0, 16, static_cast<uint64_t>(-4)},
        {16, 0, static_cast<uint64_t>(-4)},
        {MAX, 1, static_cast<uint64_t>(-1)},
        {MAX / 2, 1, static_cast<uint64_t>(-5)},
        {uint64_t{1} << 62, uint64_t{1} << 62, static_cast<uint64_t>(-5)},
    };
    for (const auto& Case : Refused)
    {
        ASSERT_EQ(Buffer.Initialize(4, 4), 1);
        const uint8_t uiByte = 7;
        ASSERT_EQ(Buffer.Write(&uiByte, 1), 1);
        EXPECT_EQ(Buffer.Initialize(Case[0], Case[1]), static_cast<int32_t>(Case[2]))
            << Case[0] << "+" << Case[1];
        ExpectEmptyWithoutStorage(Buffer);
    }

    // A new Initialize starts empty; Release leaves no storage.
    ASSERT_EQ(Buffer.Initialize(4, 4), 1);
    const uint8_t Three[3] = {1, 2, 3};
    ASSERT_EQ(Buffer.Write(Three, 3), 1);
    ASSERT_EQ(Buffer.Initialize(3, 5), 1);
    EXPECT_EQ(Buffer.GetSize(), 16u);
    EXPECT_EQ(Buffer.GetCount(), 0u);
    EXPECT_EQ(Buffer.GetWriteIndex(), 0u);
    Buffer.Release();
    ExpectEmptyWithoutStorage(Buffer);
}
