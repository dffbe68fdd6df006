#include "conversion/KBDWindow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>
#include <utility>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace
{
// The zeroth-order Bessel values come from the power series sum x^k / (k!)^2 evaluated by Horner's
// scheme from the highest term down: s = 1, then s = s * x / k^2 + 1 for k = top ... 1. The full
// series starts at k = 10000. Started lower with s = 1, the recursion differs at first only by
// about x / top^2 and that difference shrinks by a factor of about x / k^2 with every step, so it
// drops out of the double values many steps before the terms that carry the result are added:
// from START_TERM on the values are the same bit for bit as those of the full series.
constexpr uint64_t FULL_SERIES_TERMS = 10000;

uint64_t StartTerm(double dfLargestArgument)
{
    const double dfStart = 32.0 + std::ceil(dfLargestArgument);
    return dfStart >= static_cast<double>(FULL_SERIES_TERMS) ? FULL_SERIES_TERMS
                                                             : static_cast<uint64_t>(dfStart);
}

constexpr uint64_t LANES = 8;

// s[l] = series at x[l], from term ullTop down. Division rounds the same in vector and scalar form.
void EvaluateSeries(const double* x, double* s, uint64_t ullTop)
{
#if defined(__SSE2__) || defined(_M_X64)
    __m128d X[LANES / 2];
    __m128d S[LANES / 2];
    const __m128d One = _mm_set1_pd(1.0);
    for (uint64_t v = 0; v < LANES / 2; ++v)
    {
        X[v] = _mm_loadu_pd(x + 2 * v);
        S[v] = One;
    }
    for (uint64_t k = ullTop; k >= 1; --k)
    {
        const __m128d K2 = _mm_set1_pd(static_cast<double>(k * k));
        for (uint64_t v = 0; v < LANES / 2; ++v)
        {
            S[v] = _mm_add_pd(_mm_div_pd(_mm_mul_pd(S[v], X[v]), K2), One);
        }
    }
    for (uint64_t v = 0; v < LANES / 2; ++v)
    {
        _mm_storeu_pd(s + 2 * v, S[v]);
    }
#else
    for (uint64_t l = 0; l < LANES; ++l)
    {
        s[l] = 1.0;
    }
    for (uint64_t k = ullTop; k >= 1; --k)
    {
        const double dfK2 = static_cast<double>(k * k);
        for (uint64_t l = 0; l < LANES; ++l)
        {
            s[l] = s[l] * x[l] / dfK2 + 1.0;
        }
    }
#endif
}

// Cached windows, keyed by length and the bit pattern of alpha. Entries are never removed, so a
// pointer handed out stays valid while the lock is not held.
std::mutex& CacheMutex()
{
    static std::mutex Mutex;
    return Mutex;
}

std::map<std::pair<uint64_t, uint64_t>, std::unique_ptr<double[]>>& Cache()
{
    static std::map<std::pair<uint64_t, uint64_t>, std::unique_ptr<double[]>> Windows;
    return Windows;
}

std::unique_ptr<double[]> ComputeWindow(uint64_t N, double dfAlpha)
{
    std::unique_ptr<double[]> Window(new (std::nothrow) double[N]);
    if (!Window)
    {
        return Window;
    }
    const uint64_t M = N / 2;
    const double dfScale = dfAlpha * std::numbers::pi / static_cast<double>(M);
    const double dfSquare = dfScale * dfScale;
    // x = dfSquare * i * (M - i) is largest in the middle: (alpha * pi)^2 / 4.
    const double dfHalf = static_cast<double>(M / 2);
    const uint64_t ullTop = StartTerm(dfSquare * dfHalf * static_cast<double>(M - M / 2));

    // The running sums go into the first half. Several Horner chains run side by side so that the
    // divider, whose latency dominates, always has work.
    double dfSum = 0.0;
    for (uint64_t i = 0; i < M; i += LANES)
    {
        double s[LANES];
        double x[LANES];
        for (uint64_t l = 0; l < LANES; ++l)
        {
            const uint64_t n = std::min(i + l, M - 1);
            x[l] = dfSquare * static_cast<double>(n) * static_cast<double>(M - n);
        }
        EvaluateSeries(x, s, ullTop);
        for (uint64_t l = 0; l < LANES && i + l < M; ++l)
        {
            dfSum += s[l];
            Window[i + l] = dfSum;
        }
    }
    // The Kaiser value at i = M is I0(0) = 1.
    const double dfTotal = dfSum + 1.0;
    for (uint64_t i = 0; i < M; ++i)
    {
        Window[i] = std::sqrt(Window[i] / dfTotal);
        Window[N - 1 - i] = Window[i];
    }
    return Window;
}
} // namespace

int32_t MakeKBDWindow(double* pdfWindow, uint64_t ullLength, double dfAlpha)
{
    if (pdfWindow == nullptr || ullLength == 0 || ullLength % 2 != 0 || !std::isfinite(dfAlpha) ||
        dfAlpha < 0.0)
    {
        return -4;
    }
    uint64_t ullAlphaBits = 0;
    std::memcpy(&ullAlphaBits, &dfAlpha, sizeof(ullAlphaBits));
    const std::pair<uint64_t, uint64_t> Key(ullLength, ullAlphaBits);

    const double* pdfCached = nullptr;
    {
        std::lock_guard<std::mutex> Guard(CacheMutex());
        auto Found = Cache().find(Key);
        if (Found == Cache().end())
        {
            std::unique_ptr<double[]> Window = ComputeWindow(ullLength, dfAlpha);
            if (!Window)
            {
                return -2;
            }
            try
            {
                Found = Cache().emplace(Key, std::move(Window)).first;
            }
            catch (const std::bad_alloc&)
            {
                return -2;
            }
        }
        pdfCached = Found->second.get();
    }
    std::memcpy(pdfWindow, pdfCached, ullLength * sizeof(double));
    return 1;
}
