#include "tests/common/ReferenceTransform.h"

#include <cmath>
#include <numbers>
#include <vector>

namespace
{
// Radix-2 decimation in time; the input is real when bComplexInput is false. With bExactTwiddles
// every twiddle is computed directly instead of by the running rotation.
void RunKernel(const double* pdfInput, bool bComplexInput, double* pdfOutput, uint32_t uiOrder,
               bool bExactTwiddles = false)
{
    const uint64_t N = uint64_t{1} << uiOrder;

    std::vector<uint64_t> Reverse(N, 0);
    uint64_t a = N / 2;
    for (uint64_t b = 1; b < N; b *= 2)
    {
        for (uint64_t i = 0; i < b; ++i)
        {
            Reverse[b + i] = Reverse[i] + a;
        }
        a /= 2;
    }

    for (uint64_t k = 0; k < N; ++k)
    {
        if (bComplexInput)
        {
            pdfOutput[2 * k] = pdfInput[2 * Reverse[k]];
            pdfOutput[2 * k + 1] = pdfInput[2 * Reverse[k] + 1];
        }
        else
        {
            pdfOutput[2 * k] = pdfInput[Reverse[k]];
            pdfOutput[2 * k + 1] = 0.0;
        }
    }

    for (uint64_t c = 2; c <= N; c *= 2)
    {
        const uint64_t half = c / 2;
        const double theta = std::numbers::pi / static_cast<double>(half);
        const double dfStepRe = std::cos(theta);
        const double dfStepIm = -std::sin(theta);
        double dfWRe = 1.0;
        double dfWIm = 0.0;
        for (uint64_t j = 0; j < half; ++j)
        {
            if (bExactTwiddles)
            {
                const double dfAngle = std::numbers::pi * static_cast<double>(j) / static_cast<double>(half);
                dfWRe = std::cos(dfAngle);
                dfWIm = -std::sin(dfAngle);
            }
            for (uint64_t k = j; k < N; k += c)
            {
                double* pdfA = pdfOutput + 2 * k;
                double* pdfB = pdfOutput + 2 * (k + half);
                const double dfTRe = dfWRe * pdfB[0] - dfWIm * pdfB[1];
                const double dfTIm = dfWRe * pdfB[1] + dfWIm * pdfB[0];
                pdfB[0] = pdfA[0] - dfTRe;
                pdfB[1] = pdfA[1] - dfTIm;
                pdfA[0] = pdfA[0] + dfTRe;
                pdfA[1] = pdfA[1] + dfTIm;
            }
            const double dfNextRe = dfWRe * dfStepRe - dfWIm * dfStepIm;
            const double dfNextIm = dfWRe * dfStepIm + dfWIm * dfStepRe;
            dfWRe = dfNextRe;
            dfWIm = dfNextIm;
        }
    }
}
} // namespace

int32_t ReferenceFFTReal(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    RunKernel(pdfInput, false, pdfOutput, uiOrder);
    return 1;
}

int32_t ReferenceFFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    RunKernel(pdfInput, true, pdfOutput, uiOrder);
    return 1;
}

int32_t ReferenceExactFFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    RunKernel(pdfInput, true, pdfOutput, uiOrder, true);
    return 1;
}

int32_t ReferenceForwardFFT(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    ReferenceFFTReal(pdfInput, pdfOutput, uiOrder);
    const uint64_t N = uint64_t{1} << uiOrder;
    for (uint64_t i = 0; i < 2 * N; ++i)
    {
        pdfOutput[i] = pdfOutput[i] / static_cast<double>(N);
    }
    return 1;
}

int32_t ReferenceInverseFFT(double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    const uint64_t N = uint64_t{1} << uiOrder;
    for (uint64_t i = 0; i < N; ++i)
    {
        pdfInput[2 * i + 1] = -pdfInput[2 * i + 1];
    }
    return ReferenceFFTComplex(pdfInput, pdfOutput, uiOrder);
}
