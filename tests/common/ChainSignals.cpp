#include "tests/common/ChainSignals.h"

#include "app/player/OfflineRenderer.h"
#include "tests/common/TestFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace ChainSignals
{
std::vector<double> TwoTones(uint64_t ullFrames, double dfRate)
{
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        const double t = static_cast<double>(n) / dfRate;
        Signal[2 * n] = 0.7 * std::sin(2.0 * std::numbers::pi * 1000.0 * t);
        Signal[2 * n + 1] = 0.4 * std::sin(2.0 * std::numbers::pi * 3100.0 * t + 1.0);
    }
    return Signal;
}

std::vector<int32_t> DecodeCodes(const uint8_t* pBytes, size_t ullBytes, uint32_t uiBits)
{
    const uint32_t uiBytes = uiBits / 8;
    std::vector<int32_t> Codes;
    Codes.reserve(ullBytes / uiBytes);
    for (size_t i = 0; i + uiBytes <= ullBytes; i += uiBytes)
    {
        uint32_t uiWord = 0;
        for (uint32_t b = 0; b < uiBytes; ++b)
        {
            uiWord |= static_cast<uint32_t>(pBytes[i + b]) << (8 * (4 - uiBytes + b));
        }
        Codes.push_back(static_cast<int32_t>(uiWord) >> (32 - uiBits));
    }
    return Codes;
}

std::vector<int32_t> RenderOfflineCodes(const std::filesystem::path& Input, uint32_t uiDeviceRate,
                                        uint32_t uiBits, double dfSpeed, double dfVolumeDb,
                                        int32_t bKeepPitch)
{
    const auto Output = TestFiles::PathFor("chain-offline.wav");
    OfflineRenderer::Settings Choice;
    Choice.uiDeviceRate = uiDeviceRate;
    Choice.dfSpeed = dfSpeed;
    Choice.uiBitCount = uiBits;
    Choice.uiContainerBits = uiBits;
    Choice.dfVolumeDb = dfVolumeDb;
    Choice.bKeepPitch = bKeepPitch;
    OfflineRenderer Renderer;
    EXPECT_EQ(
        Renderer.Render(TestFiles::Wide(Input).c_str(), TestFiles::Wide(Output).c_str(), Choice, nullptr), 1);
    const std::vector<uint8_t> Bytes = TestFiles::Read(Output);
    // The PCM WAV the renderer writes has its data at byte 80.
    if (Bytes.size() < 80)
    {
        ADD_FAILURE() << "no offline render";
        return {};
    }
    return DecodeCodes(Bytes.data() + 80, Bytes.size() - 80, Choice.uiBitCount);
}
} // namespace ChainSignals

::testing::AssertionResult ChainSignals::MatchesRenderFrame(const int32_t* pHeard, const int32_t* pWanted,
                                                            uint64_t i, uint64_t L, uint64_t P)
{
    const bool bFaded = i < P || i >= L - (P + L % P);
    for (uint64_t c = 0; c < 2; ++c)
    {
        const int64_t iHeard = pHeard[c];
        const int64_t iWanted = pWanted[c];
        if (bFaded ? std::llabs(iHeard) > std::llabs(iWanted) + 1 : std::llabs(iHeard - iWanted) > 1)
        {
            return ::testing::AssertionFailure() << "frame " << i << " of " << L << ", channel " << c
                                                 << ": heard " << iHeard << ", rendered " << iWanted;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult ChainSignals::PlayedEqualsRender(const std::vector<int32_t>& Device,
                                                            const std::vector<int32_t>& Offline, uint64_t P)
{
    const uint64_t L = Offline.size() / 2;
    if (P == 0 || L == 0 || Device.size() < 2 * (P + L + 3 * P))
    {
        return ::testing::AssertionFailure() << "the device received " << Device.size() / 2 << " frames for "
                                             << L << " rendered with periods of " << P;
    }
    // The sound buffer's first period is silence.
    for (uint64_t i = 0; i < 2 * P; ++i)
    {
        if (Device[i] != 0)
        {
            return ::testing::AssertionFailure() << "frame " << i / 2 << " of the first period is not silent";
        }
    }
    for (uint64_t i = 0; i < L; ++i)
    {
        const ::testing::AssertionResult Frame =
            MatchesRenderFrame(&Device[2 * (P + i)], &Offline[2 * i], i, L, P);
        if (!Frame)
        {
            return Frame;
        }
    }
    // Silence after the file.
    for (uint64_t i = 2 * (P + L); i < Device.size(); ++i)
    {
        if (Device[i] != 0)
        {
            return ::testing::AssertionFailure()
                   << "frame " << i / 2 - P - L << " after the render is not silent";
        }
    }
    return ::testing::AssertionSuccess();
}
