#pragma once
#include "runtime/CNonCopyable.h"
#include <cstdint>
#include <memory>

// Turns samples in -1 ... +1 into L-bit two's-complement codes, left-justified in a 32-bit word,
// with first-order error feedback per channel: the rounding error of each sample is carried into
// the following ones, so the average of the codes follows the input within a fraction of a step.
class Quantizer : private CNonCopyable
{
public:
    // 1, -4 when uiLogicalBits is 0 or exceeds uiDeviceBits, or uiDeviceBits is not a multiple of 8
    // or above 32, -2 when the accumulators cannot be allocated. Any failure leaves it uninitialised.
    int32_t Initialize(uint32_t uiLogicalBits, uint32_t uiDeviceBits, int32_t bEnhancerFlag);

    // The word whose top L bits hold the code and whose other bits are 0. Real-time safe.
    uint32_t Quantize(double dfSample, uint32_t uiChannel);
    // ullFrames interleaved frames of the channel count's samples into as many words, the same
    // words and accumulators as Quantize sample by sample. Nothing happens unless initialised.
    // Real-time safe.
    void QuantizeFrames(const double* pdfSamples, uint64_t ullFrames, uint32_t* puiWords);

    int32_t IsInitialized() const { return bInitialized; }
    int32_t GetEnhancer() const { return bEnhancer; }
    uint32_t GetChannelCount() const { return uiChannelCount; }
    uint32_t GetLogicalBitCount() const { return uiLogicalBitCount; }
    uint32_t GetDeviceBitCount() const { return uiDeviceBitCount; }
    uint32_t GetCodeMask() const { return uiCodeMask; }
    uint32_t GetCodeUnit() const { return uiCodeUnit; }
    double GetMaxCode() const { return dfMaxCode; }
    double GetStep() const { return dfStep; }
    // The error carried into the channel's next sample, in code steps; 0 when not initialised.
    double GetError(uint32_t uiChannel) const;

private:
    // What the per-sample work reads, copied out of the record for a block.
    struct Grid
    {
        double dfStep;
        double dfMaxCode;
        uint32_t uiCodeMask;
        uint32_t uiCodeUnit;
    };
    static uint32_t QuantizeSample(double dfSample, double& dfError, const Grid& Values);
    // QuantizeFrames for two channels with 128-bit vectors, one channel in each lane.
    static void QuantizePairs(const double* pdfSamples, uint64_t ullFrames, uint32_t* puiWords,
                              double* pdfErrors, const Grid& Values);
    // The rest of a pay-out after the first step, for an accumulator a clip left far out.
    static void PayOut(double& e, double& q);

    int32_t bInitialized = 0;
    int32_t bEnhancer = 0;
    uint32_t uiChannelCount = 0;
    uint32_t uiLogicalBitCount = 0;
    uint32_t uiDeviceBitCount = 0;
    uint32_t uiCodeMask = 0;
    uint32_t uiCodeUnit = 0;
    double dfMaxCode = 0.0;
    double dfStep = 0.0;
    std::unique_ptr<double[]> pdfError;
};
