#pragma once
#include <cstdint>

// Turns interleaved frames of any channel count into stereo frames, in place. One channel is
// copied to both sides; two channels pass unchanged; three or more are down-mixed:
//
//   - each channel stands for a speaker position: the set bits of the file's extensible channel
//     mask in rising order, or, without a mask (0, or no bit of a known position), the positions
//     in WAVE order: front left, front right, front centre, LFE, back left, back right, front left
//     of centre, front right of centre, back centre, side left, side right, top centre, top front
//     left, top front centre, top front right, top back left, top back centre, top back right;
//   - front left/right (and left/right of centre) go to their side as they are; centre positions
//     go to both sides at -3 dB; surrounds (back, side and every top position) go to their side,
//     or to both when centred, at -3 dB; LFE and channels without a known position are left out;
//   - all coefficients are then divided by the larger of the two sides' sums when that exceeds 1,
//     so full scale in every channel cannot clip.
//
// 5.1 (FL FR FC LFE BL BR): L = 0.4142 FL + 0.2929 FC + 0.2929 BL, R likewise.
// Set up once; Process allocates nothing and may run on a real-time thread.
class ChannelDownmixer
{
public:
    // The most positions a mask can name that the down-mix knows.
    static constexpr uint32_t KNOWN_POSITIONS = 18;

    // 1; -4 for 0 channels. The mask only matters for three or more channels.
    int32_t Setup(uint32_t uiChannels, uint32_t uiChannelMask);
    // ullFrames frames of the set-up width in pdfFrames become ullFrames stereo frames at its start.
    // The buffer must hold 2 x ullFrames doubles (more than the input for one channel). 1; -1 before
    // Setup; -4 for a null buffer with frames to convert.
    int32_t Process(double* pdfFrames, uint64_t ullFrames) const;

    // The weights of channel uiChannel in the left and right output (0 for unused channels).
    double GetLeftCoefficient(uint32_t uiChannel) const;
    double GetRightCoefficient(uint32_t uiChannel) const;
    uint32_t GetChannelCount() const { return uiChannelCount; }

private:
    struct Contribution
    {
        uint32_t uiChannel;
        double dfLeft;
        double dfRight;
    };

    uint32_t uiChannelCount = 0;
    uint32_t uiContributionCount = 0;
    Contribution Contributions[KNOWN_POSITIONS] = {};
};
