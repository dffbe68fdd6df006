#include "conversion/TransformKernels.h"

#include "conversion/ProcessorFeatures.h"

#include <atomic>
#include <cmath>
#include <memory>
#include <mutex>
#include <new>
#include <numbers>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define LARKSPUR_FFT_SSE2 1
#endif
// 256-bit passes, compiled for AVX in their own region and chosen at run time.
#if defined(__GNUC__) && defined(__x86_64__)
#include <immintrin.h>
#define LARKSPUR_FFT_WIDE 1
#endif

// The butterflies and twiddles are those of the plain radix-2 decimation-in-time kernel: each
// stage's twiddles come from the same running rotation (cos, -sin of pi / half) and every
// butterfly computes t = w * b, b' = a - t, a' = a + t with the same operations. Only the order in
// which independent butterflies run differs (blocks that fit the cache, two stages per pass), so
// the results are bit-identical to the plain kernel, just without its per-call tables and trig.

namespace
{
// Stages whose butterflies lie within blocks of 2^10 points (16 KiB) run block by block.
constexpr uint32_t CACHE_BLOCK_ORDER = 10;

struct TransformTables
{
    // Stage s pairs points 2^s apart; its 2^s twiddles, as (re, im) pairs.
    std::unique_ptr<double[]> Twiddles[FFT_MAX_ORDER];
    // The same twiddles for the fused passes, two at a time with each part repeated: for j = 2i,
    // (re j, re j, re j+1, re j+1, im j, im j, im j+1, im j+1) at 8i. Stages 1 ... CACHE_BLOCK_ORDER - 1.
    std::unique_ptr<double[]> SplitTwiddles[FFT_MAX_ORDER];
    // Bit-reversal permutation of each order.
    std::unique_ptr<uint32_t[]> Reverse[FFT_MAX_ORDER + 1];
    // Set (release) once every table an order needs exists; the tables never change afterwards.
    std::atomic<int32_t> Ready[FFT_MAX_ORDER + 1];
};

constinit TransformTables Tables;

// Serialises building; made at first use because not every platform's mutex is constant-initialised.
std::mutex& BuildMutex()
{
    static std::mutex Mutex;
    return Mutex;
}

std::unique_ptr<double[]> MakeTwiddles(uint64_t ullHalf)
{
    std::unique_ptr<double[]> Table(new (std::nothrow) double[2 * ullHalf]);
    if (!Table)
    {
        return Table;
    }
    const double dfTheta = std::numbers::pi / static_cast<double>(ullHalf);
    const double dfStepRe = std::cos(dfTheta);
    const double dfStepIm = -std::sin(dfTheta);
    double dfWRe = 1.0;
    double dfWIm = 0.0;
    for (uint64_t j = 0; j < ullHalf; ++j)
    {
        Table[2 * j] = dfWRe;
        Table[2 * j + 1] = dfWIm;
        const double dfNextRe = dfWRe * dfStepRe - dfWIm * dfStepIm;
        const double dfNextIm = dfWRe * dfStepIm + dfWIm * dfStepRe;
        dfWRe = dfNextRe;
        dfWIm = dfNextIm;
    }
    return Table;
}

std::unique_ptr<double[]> MakeSplitTwiddles(const double* pdfTwiddles, uint64_t ullHalf)
{
    std::unique_ptr<double[]> Table(new (std::nothrow) double[4 * ullHalf]);
    if (!Table)
    {
        return Table;
    }
    for (uint64_t j = 0; j < ullHalf; j += 2)
    {
        double* pdfPair = Table.get() + 4 * j;
        for (uint64_t i = 0; i < 2; ++i)
        {
            pdfPair[2 * i] = pdfPair[2 * i + 1] = pdfTwiddles[2 * (j + i)];
            pdfPair[4 + 2 * i] = pdfPair[4 + 2 * i + 1] = pdfTwiddles[2 * (j + i) + 1];
        }
    }
    return Table;
}

std::unique_ptr<uint32_t[]> MakeReverse(uint32_t uiOrder)
{
    const uint64_t N = uint64_t{1} << uiOrder;
    std::unique_ptr<uint32_t[]> Table(new (std::nothrow) uint32_t[N]);
    if (!Table)
    {
        return Table;
    }
    Table[0] = 0;
    uint64_t a = N / 2;
    for (uint64_t b = 1; b < N; b *= 2)
    {
        for (uint64_t i = 0; i < b; ++i)
        {
            Table[b + i] = static_cast<uint32_t>(Table[i] + a);
        }
        a /= 2;
    }
    return Table;
}

bool IsReady(uint32_t uiOrder)
{
    return Tables.Ready[uiOrder].load(std::memory_order_acquire) != 0;
}

#ifdef LARKSPUR_FFT_SSE2
using Value = __m128d;

inline Value Load(const double* pdf)
{
    return _mm_loadu_pd(pdf);
}
inline void Store(double* pdf, Value v)
{
    _mm_storeu_pd(pdf, v);
}
inline Value Add(Value a, Value b)
{
    return _mm_add_pd(a, b);
}
// Flips the sign of the imaginary part, as negation does.
inline Value Conjugate(Value v)
{
    return _mm_xor_pd(v, _mm_set_pd(-0.0, 0.0));
}
inline Value Subtract(Value a, Value b)
{
    return _mm_sub_pd(a, b);
}

// (wr xr - wi xi, wr xi + wi xr); the subtraction is an addition of the negated product, which
// IEEE arithmetic defines to be the same operation.
inline Value Multiply(Value w, Value x)
{
    const Value WRe = _mm_unpacklo_pd(w, w);
    const Value WIm = _mm_unpackhi_pd(w, w);
    const Value Swapped = _mm_shuffle_pd(x, x, 1);
    const Value NegateLow = _mm_set_pd(0.0, -0.0);
    return _mm_add_pd(_mm_mul_pd(WRe, x), _mm_xor_pd(_mm_mul_pd(WIm, Swapped), NegateLow));
}
#else
struct Value
{
    double dfRe;
    double dfIm;
};

inline Value Load(const double* pdf)
{
    return Value{pdf[0], pdf[1]};
}
inline void Store(double* pdf, Value v)
{
    pdf[0] = v.dfRe;
    pdf[1] = v.dfIm;
}
inline Value Add(Value a, Value b)
{
    return Value{a.dfRe + b.dfRe, a.dfIm + b.dfIm};
}
inline Value Conjugate(Value v)
{
    return Value{v.dfRe, -v.dfIm};
}
inline Value Subtract(Value a, Value b)
{
    return Value{a.dfRe - b.dfRe, a.dfIm - b.dfIm};
}
inline Value Multiply(Value w, Value x)
{
    return Value{w.dfRe * x.dfRe - w.dfIm * x.dfIm, w.dfRe * x.dfIm + w.dfIm * x.dfRe};
}
#endif

// One stage (points 2^s apart) over n points.
void RunRadix2PassNarrow(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfTwiddles = Tables.Twiddles[s].get();
    for (uint64_t g = 0; g < n; g += 2 * h)
    {
        double* pdfA = pdfData + 2 * g;
        double* pdfB = pdfA + 2 * h;
        for (uint64_t j = 0; j < h; ++j)
        {
            const Value a = Load(pdfA + 2 * j);
            const Value t = Multiply(Load(pdfTwiddles + 2 * j), Load(pdfB + 2 * j));
            Store(pdfB + 2 * j, Subtract(a, t));
            Store(pdfA + 2 * j, Add(a, t));
        }
    }
}

// Stages s and s + 1 in one pass over n points: four points per step, each loaded and stored once.
void RunRadix4PassNarrow(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfFirst = Tables.Twiddles[s].get();
    const double* pdfSecond = Tables.Twiddles[s + 1].get();
    for (uint64_t g = 0; g < n; g += 4 * h)
    {
        double* pdf0 = pdfData + 2 * g;
        double* pdf1 = pdf0 + 2 * h;
        double* pdf2 = pdf1 + 2 * h;
        double* pdf3 = pdf2 + 2 * h;
        for (uint64_t j = 0; j < h; ++j)
        {
            const Value w1 = Load(pdfFirst + 2 * j);
            const Value x0 = Load(pdf0 + 2 * j);
            const Value x2 = Load(pdf2 + 2 * j);
            const Value t1 = Multiply(w1, Load(pdf1 + 2 * j));
            const Value t3 = Multiply(w1, Load(pdf3 + 2 * j));
            const Value y0 = Add(x0, t1);
            const Value y1 = Subtract(x0, t1);
            const Value y2 = Add(x2, t3);
            const Value y3 = Subtract(x2, t3);
            const Value t2 = Multiply(Load(pdfSecond + 2 * j), y2);
            const Value t4 = Multiply(Load(pdfSecond + 2 * (j + h)), y3);
            Store(pdf0 + 2 * j, Add(y0, t2));
            Store(pdf2 + 2 * j, Subtract(y0, t2));
            Store(pdf1 + 2 * j, Add(y1, t4));
            Store(pdf3 + 2 * j, Subtract(y1, t4));
        }
    }
}

#ifdef LARKSPUR_FFT_WIDE
// clang takes the region's target through an attribute of every function in it.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx")
#endif
// The same passes two neighbouring butterflies at a time (j, j + 1), for stages with s >= 1.
using Wide = __m256d;

// addsub gives wr xr - wi xi in the real lanes and wr xi + wi xr in the imaginary ones.
inline Wide MultiplyWide(Wide w, Wide x)
{
    const Wide WRe = _mm256_movedup_pd(w);
    const Wide WIm = _mm256_permute_pd(w, 0xF);
    const Wide Swapped = _mm256_permute_pd(x, 0x5);
    return _mm256_addsub_pd(_mm256_mul_pd(WRe, x), _mm256_mul_pd(WIm, Swapped));
}

void RunRadix2PassWide(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfTwiddles = Tables.Twiddles[s].get();
    for (uint64_t g = 0; g < n; g += 2 * h)
    {
        double* pdfA = pdfData + 2 * g;
        double* pdfB = pdfA + 2 * h;
        for (uint64_t j = 0; j < h; j += 2)
        {
            const Wide a = _mm256_loadu_pd(pdfA + 2 * j);
            const Wide t = MultiplyWide(_mm256_loadu_pd(pdfTwiddles + 2 * j), _mm256_loadu_pd(pdfB + 2 * j));
            _mm256_storeu_pd(pdfB + 2 * j, _mm256_sub_pd(a, t));
            _mm256_storeu_pd(pdfA + 2 * j, _mm256_add_pd(a, t));
        }
    }
}

void RunRadix4PassWide(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfFirst = Tables.Twiddles[s].get();
    const double* pdfSecond = Tables.Twiddles[s + 1].get();
    for (uint64_t g = 0; g < n; g += 4 * h)
    {
        double* pdf0 = pdfData + 2 * g;
        double* pdf1 = pdf0 + 2 * h;
        double* pdf2 = pdf1 + 2 * h;
        double* pdf3 = pdf2 + 2 * h;
        for (uint64_t j = 0; j < h; j += 2)
        {
            const Wide w1 = _mm256_loadu_pd(pdfFirst + 2 * j);
            const Wide x0 = _mm256_loadu_pd(pdf0 + 2 * j);
            const Wide x2 = _mm256_loadu_pd(pdf2 + 2 * j);
            const Wide t1 = MultiplyWide(w1, _mm256_loadu_pd(pdf1 + 2 * j));
            const Wide t3 = MultiplyWide(w1, _mm256_loadu_pd(pdf3 + 2 * j));
            const Wide y0 = _mm256_add_pd(x0, t1);
            const Wide y1 = _mm256_sub_pd(x0, t1);
            const Wide y2 = _mm256_add_pd(x2, t3);
            const Wide y3 = _mm256_sub_pd(x2, t3);
            const Wide t2 = MultiplyWide(_mm256_loadu_pd(pdfSecond + 2 * j), y2);
            const Wide t4 = MultiplyWide(_mm256_loadu_pd(pdfSecond + 2 * (j + h)), y3);
            _mm256_storeu_pd(pdf0 + 2 * j, _mm256_add_pd(y0, t2));
            _mm256_storeu_pd(pdf2 + 2 * j, _mm256_sub_pd(y0, t2));
            _mm256_storeu_pd(pdf1 + 2 * j, _mm256_add_pd(y1, t4));
            _mm256_storeu_pd(pdf3 + 2 * j, _mm256_sub_pd(y1, t4));
        }
    }
}
// Stages 0 and 1: a group of four points is two vectors, regrouped between the stages so that
// each butterfly has its pair in the same lanes of two vectors.
void RunFirstRadix4PassWide(double* pdfData, uint64_t n)
{
    const Wide w1 = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(Tables.Twiddles[0].get()));
    const Wide w2 = _mm256_loadu_pd(Tables.Twiddles[1].get());
    for (uint64_t g = 0; g < n; g += 4)
    {
        double* pdf = pdfData + 2 * g;
        const Wide x01 = _mm256_loadu_pd(pdf);
        const Wide x23 = _mm256_loadu_pd(pdf + 4);
        const Wide x02 = _mm256_permute2f128_pd(x01, x23, 0x20);
        const Wide x13 = _mm256_permute2f128_pd(x01, x23, 0x31);
        const Wide t = MultiplyWide(w1, x13);
        const Wide y02 = _mm256_add_pd(x02, t);
        const Wide y13 = _mm256_sub_pd(x02, t);
        const Wide y01 = _mm256_permute2f128_pd(y02, y13, 0x20);
        const Wide y23 = _mm256_permute2f128_pd(y02, y13, 0x31);
        const Wide u = MultiplyWide(w2, y23);
        _mm256_storeu_pd(pdf, _mm256_add_pd(y01, u));
        _mm256_storeu_pd(pdf + 4, _mm256_sub_pd(y01, u));
    }
}
// Stages 0 and 1 of a transform of conj(x) w, the products formed on the way in.
void RunWeightedFirstPassWide(const double* pdfInput, const double* pdfWeights, double* pdfOutput, uint64_t n)
{
    const Wide Negate = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
    const Wide w1 = _mm256_broadcast_pd(reinterpret_cast<const __m128d*>(Tables.Twiddles[0].get()));
    const Wide w2 = _mm256_loadu_pd(Tables.Twiddles[1].get());
    for (uint64_t g = 0; g < n; g += 4)
    {
        const Wide x01 = MultiplyWide(_mm256_loadu_pd(pdfWeights + 2 * g),
                                      _mm256_xor_pd(_mm256_loadu_pd(pdfInput + 2 * g), Negate));
        const Wide x23 = MultiplyWide(_mm256_loadu_pd(pdfWeights + 2 * g + 4),
                                      _mm256_xor_pd(_mm256_loadu_pd(pdfInput + 2 * g + 4), Negate));
        const Wide x02 = _mm256_permute2f128_pd(x01, x23, 0x20);
        const Wide x13 = _mm256_permute2f128_pd(x01, x23, 0x31);
        const Wide t = MultiplyWide(w1, x13);
        const Wide y02 = _mm256_add_pd(x02, t);
        const Wide y13 = _mm256_sub_pd(x02, t);
        const Wide y01 = _mm256_permute2f128_pd(y02, y13, 0x20);
        const Wide y23 = _mm256_permute2f128_pd(y02, y13, 0x31);
        const Wide u = MultiplyWide(w2, y23);
        _mm256_storeu_pd(pdfOutput + 2 * g, _mm256_add_pd(y01, u));
        _mm256_storeu_pd(pdfOutput + 2 * g + 4, _mm256_sub_pd(y01, u));
    }
}
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

// The weighted transform once more with fused multiply-adds: fewer operations and, being rounded
// once instead of twice, results at least as close to the exact transform.
#if defined(__clang__)
#pragma clang attribute push(__attribute__((target("avx2,fma"))), apply_to = function)
#else
#pragma GCC push_options
#pragma GCC target("avx2,fma")
#endif
inline Wide MultiplyFused(Wide w, Wide x)
{
    const Wide WRe = _mm256_movedup_pd(w);
    const Wide WIm = _mm256_permute_pd(w, 0xF);
    const Wide Swapped = _mm256_permute_pd(x, 0x5);
    return _mm256_fmaddsub_pd(WRe, x, _mm256_mul_pd(WIm, Swapped));
}

// w x for two twiddles from a split table (real parts, imaginary parts) and two values.
inline Wide MultiplySplit(const double* pdfSplit, Wide x)
{
    const Wide Swapped = _mm256_permute_pd(x, 0x5);
    return _mm256_fmaddsub_pd(_mm256_loadu_pd(pdfSplit), x,
                              _mm256_mul_pd(_mm256_loadu_pd(pdfSplit + 4), Swapped));
}

// Stages 0 and 1 take twiddles 1 and -i, applied exactly here: the tables hold 1 and
// (6e-17, -1), and the difference stays far below the rounding of the products.
void RunWeightedFirstPassFused(const double* pdfInput, const double* pdfWeights, double* pdfOutput,
                               uint64_t n)
{
    const Wide Negate = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
    const Wide NegateLast = _mm256_set_pd(-0.0, 0.0, 0.0, 0.0);
    for (uint64_t g = 0; g < n; g += 4)
    {
        const Wide x01 = MultiplyFused(_mm256_loadu_pd(pdfWeights + 2 * g),
                                       _mm256_xor_pd(_mm256_loadu_pd(pdfInput + 2 * g), Negate));
        const Wide x23 = MultiplyFused(_mm256_loadu_pd(pdfWeights + 2 * g + 4),
                                       _mm256_xor_pd(_mm256_loadu_pd(pdfInput + 2 * g + 4), Negate));
        const Wide x02 = _mm256_permute2f128_pd(x01, x23, 0x20);
        const Wide x13 = _mm256_permute2f128_pd(x01, x23, 0x31);
        const Wide y02 = _mm256_add_pd(x02, x13);
        const Wide y13 = _mm256_sub_pd(x02, x13);
        const Wide y01 = _mm256_permute2f128_pd(y02, y13, 0x20);
        const Wide y23 = _mm256_permute2f128_pd(y02, y13, 0x31);
        // (y2, -i y3) = (y2, (im y3, -re y3)).
        const Wide u = _mm256_xor_pd(_mm256_permute_pd(y23, 0x6), NegateLast);
        _mm256_storeu_pd(pdfOutput + 2 * g, _mm256_add_pd(y01, u));
        _mm256_storeu_pd(pdfOutput + 2 * g + 4, _mm256_sub_pd(y01, u));
    }
}

void RunRadix2PassFused(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfTwiddles = Tables.SplitTwiddles[s].get();
    for (uint64_t g = 0; g < n; g += 2 * h)
    {
        double* pdfA = pdfData + 2 * g;
        double* pdfB = pdfA + 2 * h;
        for (uint64_t j = 0; j < h; j += 2)
        {
            const Wide a = _mm256_loadu_pd(pdfA + 2 * j);
            const Wide t = MultiplySplit(pdfTwiddles + 4 * j, _mm256_loadu_pd(pdfB + 2 * j));
            _mm256_storeu_pd(pdfB + 2 * j, _mm256_sub_pd(a, t));
            _mm256_storeu_pd(pdfA + 2 * j, _mm256_add_pd(a, t));
        }
    }
}

void RunRadix4PassFused(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfFirst = Tables.SplitTwiddles[s].get();
    const double* pdfSecond = Tables.SplitTwiddles[s + 1].get();
    for (uint64_t g = 0; g < n; g += 4 * h)
    {
        double* pdf0 = pdfData + 2 * g;
        double* pdf1 = pdf0 + 2 * h;
        double* pdf2 = pdf1 + 2 * h;
        double* pdf3 = pdf2 + 2 * h;
        for (uint64_t j = 0; j < h; j += 2)
        {
            const Wide x0 = _mm256_loadu_pd(pdf0 + 2 * j);
            const Wide x2 = _mm256_loadu_pd(pdf2 + 2 * j);
            const Wide t1 = MultiplySplit(pdfFirst + 4 * j, _mm256_loadu_pd(pdf1 + 2 * j));
            const Wide t3 = MultiplySplit(pdfFirst + 4 * j, _mm256_loadu_pd(pdf3 + 2 * j));
            const Wide y0 = _mm256_add_pd(x0, t1);
            const Wide y1 = _mm256_sub_pd(x0, t1);
            const Wide y2 = _mm256_add_pd(x2, t3);
            const Wide y3 = _mm256_sub_pd(x2, t3);
            const Wide t2 = MultiplySplit(pdfSecond + 4 * j, y2);
            const Wide t4 = MultiplySplit(pdfSecond + 4 * (j + h), y3);
            _mm256_storeu_pd(pdf0 + 2 * j, _mm256_add_pd(y0, t2));
            _mm256_storeu_pd(pdf2 + 2 * j, _mm256_sub_pd(y0, t2));
            _mm256_storeu_pd(pdf1 + 2 * j, _mm256_add_pd(y1, t4));
            _mm256_storeu_pd(pdf3 + 2 * j, _mm256_sub_pd(y1, t4));
        }
    }
}
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const bool CPU_HAS_AVX = ProcessorHasAvx();
const bool CPU_HAS_FMA = ProcessorHasFma();
#else
const bool CPU_HAS_AVX = false;
const bool CPU_HAS_FMA = false;
#endif

std::atomic<int32_t> WideVectorsAllowed{1};

bool UseWideVectors()
{
    return CPU_HAS_AVX && WideVectorsAllowed.load(std::memory_order_relaxed) != 0;
}

void RunRadix2Pass(double* pdfData, uint64_t n, uint32_t s)
{
#ifdef LARKSPUR_FFT_WIDE
    if (s >= 1 && UseWideVectors())
    {
        RunRadix2PassWide(pdfData, n, s);
        return;
    }
#endif
    RunRadix2PassNarrow(pdfData, n, s);
}

void RunRadix4Pass(double* pdfData, uint64_t n, uint32_t s)
{
#ifdef LARKSPUR_FFT_WIDE
    if (s >= 1 && UseWideVectors())
    {
        RunRadix4PassWide(pdfData, n, s);
        return;
    }
#endif
    RunRadix4PassNarrow(pdfData, n, s);
}

// Stages 0 and 1 over n points: groups of four with the same three twiddles throughout.
void RunFirstRadix4PassNarrow(double* pdfData, uint64_t n)
{
    const Value w1 = Load(Tables.Twiddles[0].get());
    const Value w2 = Load(Tables.Twiddles[1].get());
    const Value w3 = Load(Tables.Twiddles[1].get() + 2);
    for (uint64_t g = 0; g < n; g += 4)
    {
        double* pdf = pdfData + 2 * g;
        const Value x0 = Load(pdf);
        const Value x2 = Load(pdf + 4);
        const Value t1 = Multiply(w1, Load(pdf + 2));
        const Value t3 = Multiply(w1, Load(pdf + 6));
        const Value y0 = Add(x0, t1);
        const Value y1 = Subtract(x0, t1);
        const Value y2 = Add(x2, t3);
        const Value y3 = Subtract(x2, t3);
        const Value t2 = Multiply(w2, y2);
        const Value t4 = Multiply(w3, y3);
        Store(pdf, Add(y0, t2));
        Store(pdf + 4, Subtract(y0, t2));
        Store(pdf + 2, Add(y1, t4));
        Store(pdf + 6, Subtract(y1, t4));
    }
}

void RunFirstRadix4Pass(double* pdfData, uint64_t n)
{
#ifdef LARKSPUR_FFT_WIDE
    if (UseWideVectors())
    {
        RunFirstRadix4PassWide(pdfData, n);
        return;
    }
#endif
    RunFirstRadix4PassNarrow(pdfData, n);
}

// Stages 0 ... uiOrder - 1 over 2^uiOrder points that fit the cache: two at a time, and a last
// single stage for odd orders.
void RunSmallKernel(double* pdfData, uint32_t uiOrder)
{
    const uint64_t n = uint64_t{1} << uiOrder;
    if (uiOrder < 2)
    {
        if (uiOrder == 1)
        {
            RunRadix2Pass(pdfData, n, 0);
        }
        return;
    }
    RunFirstRadix4Pass(pdfData, n);
    uint32_t s = 2;
    for (; s + 1 < uiOrder; s += 2)
    {
        RunRadix4Pass(pdfData, n, s);
    }
    if (s < uiOrder)
    {
        RunRadix2Pass(pdfData, n, s);
    }
}

// All stages over 2^uiOrder points already in bit-reversed order. Depth first: the quarters (or
// halves) are finished before the last stages join them, so each pass works on data that the
// passes before it left in the cache.
void RunKernel(double* pdfData, uint32_t uiOrder)
{
    if (uiOrder <= CACHE_BLOCK_ORDER)
    {
        RunSmallKernel(pdfData, uiOrder);
        return;
    }
    const uint32_t uiTop = uiOrder - CACHE_BLOCK_ORDER >= 2 ? 2 : 1;
    const uint32_t uiPartOrder = uiOrder - uiTop;
    for (uint64_t q = 0; q < (uint64_t{1} << uiTop); ++q)
    {
        RunKernel(pdfData + 2 * (q << uiPartOrder), uiPartOrder);
    }
    if (uiTop == 2)
    {
        RunRadix4Pass(pdfData, uint64_t{1} << uiOrder, uiOrder - 2);
    }
    else
    {
        RunRadix2Pass(pdfData, uint64_t{1} << uiOrder, uiOrder - 1);
    }
}

// Stages 0 and 1 of a transform of conj(x) w without wide vectors.
void RunWeightedFirstPassNarrow(const double* pdfInput, const double* pdfWeights, double* pdfOutput,
                                uint64_t n)
{
    const Value w1 = Load(Tables.Twiddles[0].get());
    const Value w2 = Load(Tables.Twiddles[1].get());
    const Value w3 = Load(Tables.Twiddles[1].get() + 2);
    const auto Product = [&](uint64_t k)
    { return Multiply(Load(pdfWeights + 2 * k), Conjugate(Load(pdfInput + 2 * k))); };
    for (uint64_t g = 0; g < n; g += 4)
    {
        double* pdf = pdfOutput + 2 * g;
        const Value x0 = Product(g);
        const Value x2 = Product(g + 2);
        const Value t1 = Multiply(w1, Product(g + 1));
        const Value t3 = Multiply(w1, Product(g + 3));
        const Value y0 = Add(x0, t1);
        const Value y1 = Subtract(x0, t1);
        const Value y2 = Add(x2, t3);
        const Value y3 = Subtract(x2, t3);
        const Value t2 = Multiply(w2, y2);
        const Value t4 = Multiply(w3, y3);
        Store(pdf, Add(y0, t2));
        Store(pdf + 4, Subtract(y0, t2));
        Store(pdf + 2, Add(y1, t4));
        Store(pdf + 6, Subtract(y1, t4));
    }
}

// The transform of conj(x) w for x and w in bit-reversed order, 4 ... 2^CACHE_BLOCK_ORDER points:
// the first pass forms the products, the others run in place on the output.
void RunWeightedKernel(const double* pdfInput, const double* pdfWeights, double* pdfOutput, uint32_t uiOrder)
{
    const uint64_t n = uint64_t{1} << uiOrder;
#ifdef LARKSPUR_FFT_WIDE
    if (CPU_HAS_FMA && UseWideVectors())
    {
        RunWeightedFirstPassFused(pdfInput, pdfWeights, pdfOutput, n);
        uint32_t s = 2;
        for (; s + 1 < uiOrder; s += 2)
        {
            RunRadix4PassFused(pdfOutput, n, s);
        }
        if (s < uiOrder)
        {
            RunRadix2PassFused(pdfOutput, n, s);
        }
        return;
    }
    if (UseWideVectors())
    {
        RunWeightedFirstPassWide(pdfInput, pdfWeights, pdfOutput, n);
    }
    else
    {
        RunWeightedFirstPassNarrow(pdfInput, pdfWeights, pdfOutput, n);
    }
#else
    RunWeightedFirstPassNarrow(pdfInput, pdfWeights, pdfOutput, n);
#endif
    uint32_t s = 2;
    for (; s + 1 < uiOrder; s += 2)
    {
        RunRadix4Pass(pdfOutput, n, s);
    }
    if (s < uiOrder)
    {
        RunRadix2Pass(pdfOutput, n, s);
    }
}

// out[k] = in[rev[k]], walked in tiles of 2^TILE_BITS x 2^TILE_BITS points so that reads and
// writes both fill whole cache lines: with k = (a, b, c), a and c the top and bottom TILE_BITS
// bits, rev[k] = (rev c, rev b, rev a). With bConjugate the input's imaginary parts are negated
// in place on the way (pdfConjugated is the input itself).
constexpr uint32_t TILE_BITS = 3;

template <bool bConjugate>
void LoadReversed(const double* pdfInput, double* pdfConjugated, double* pdfOutput, uint32_t uiOrder)
{
    const uint64_t N = uint64_t{1} << uiOrder;
    const uint32_t* puiReverse = Tables.Reverse[uiOrder].get();
    const auto Move = [&](uint64_t k)
    {
        Value x = Load(pdfInput + 2 * k);
        if constexpr (bConjugate)
        {
            x = Conjugate(x);
            Store(pdfConjugated + 2 * k, x);
        }
        Store(pdfOutput + 2 * uint64_t{puiReverse[k]}, x);
    };
    if (uiOrder < 2 * TILE_BITS)
    {
        for (uint64_t k = 0; k < N; ++k)
        {
            Move(k);
        }
        return;
    }
    constexpr uint64_t TILE = uint64_t{1} << TILE_BITS;
    const uint32_t uiShift = uiOrder - TILE_BITS;
    for (uint64_t b = 0; b < (N >> (2 * TILE_BITS)); ++b)
    {
        for (uint64_t a = 0; a < TILE; ++a)
        {
            const uint64_t ullRow = (a << uiShift) | (b << TILE_BITS);
            for (uint64_t c = 0; c < TILE; ++c)
            {
                Move(ullRow | c);
            }
        }
    }
}

int32_t CheckArguments(const double* pdfInput, const double* pdfOutput, uint32_t uiOrder)
{
    if (pdfInput == nullptr || pdfOutput == nullptr || uiOrder > FFT_MAX_ORDER)
    {
        return -4;
    }
    return IsReady(uiOrder) ? 1 : PrepareFFT(uiOrder);
}
} // namespace

int32_t PrepareFFT(uint32_t uiOrder)
{
    if (uiOrder > FFT_MAX_ORDER)
    {
        return -4;
    }
    if (IsReady(uiOrder))
    {
        return 1;
    }
    std::lock_guard<std::mutex> Guard(BuildMutex());
    if (Tables.Ready[uiOrder].load(std::memory_order_relaxed) != 0)
    {
        return 1;
    }
    // Stage tables are shared by every order that reaches them; only missing ones are made, so
    // tables that other threads may be reading are never touched.
    for (uint32_t s = 0; s < uiOrder; ++s)
    {
        if (!Tables.Twiddles[s])
        {
            Tables.Twiddles[s] = MakeTwiddles(uint64_t{1} << s);
            if (!Tables.Twiddles[s])
            {
                return -2;
            }
        }
        if (s >= 1 && s < CACHE_BLOCK_ORDER && !Tables.SplitTwiddles[s])
        {
            Tables.SplitTwiddles[s] = MakeSplitTwiddles(Tables.Twiddles[s].get(), uint64_t{1} << s);
            if (!Tables.SplitTwiddles[s])
            {
                return -2;
            }
        }
    }
    Tables.Reverse[uiOrder] = MakeReverse(uiOrder);
    if (!Tables.Reverse[uiOrder])
    {
        return -2;
    }
    Tables.Ready[uiOrder].store(1, std::memory_order_release);
    return 1;
}

int32_t FFTReal(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    const int32_t iResult = CheckArguments(pdfInput, pdfOutput, uiOrder);
    if (iResult < 0)
    {
        return iResult;
    }
    const uint64_t N = uint64_t{1} << uiOrder;
    const uint32_t* puiReverse = Tables.Reverse[uiOrder].get();
    for (uint64_t k = 0; k < N; ++k)
    {
        pdfOutput[2 * k] = pdfInput[puiReverse[k]];
        pdfOutput[2 * k + 1] = 0.0;
    }
    RunKernel(pdfOutput, uiOrder);
    return 1;
}

int32_t FFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    const int32_t iResult = CheckArguments(pdfInput, pdfOutput, uiOrder);
    if (iResult < 0)
    {
        return iResult;
    }
    LoadReversed<false>(pdfInput, nullptr, pdfOutput, uiOrder);
    RunKernel(pdfOutput, uiOrder);
    return 1;
}

int32_t FFTComplexFromBitReversed(double* pdfData, uint32_t uiOrder)
{
    const int32_t iResult = CheckArguments(pdfData, pdfData, uiOrder);
    if (iResult < 0)
    {
        return iResult;
    }
    RunKernel(pdfData, uiOrder);
    return 1;
}

int32_t FFTWeightedFromBitReversed(const double* pdfInput, const double* pdfWeights, double* pdfOutput,
                                   uint32_t uiOrder)
{
    const int32_t iResult = CheckArguments(pdfInput, pdfOutput, uiOrder);
    if (iResult < 0 || pdfWeights == nullptr)
    {
        return iResult < 0 ? iResult : -4;
    }
    if (uiOrder >= 2 && uiOrder <= CACHE_BLOCK_ORDER)
    {
        RunWeightedKernel(pdfInput, pdfWeights, pdfOutput, uiOrder);
        return 1;
    }
    const uint64_t N = uint64_t{1} << uiOrder;
    for (uint64_t k = 0; k < N; ++k)
    {
        Store(pdfOutput + 2 * k, Multiply(Load(pdfWeights + 2 * k), Conjugate(Load(pdfInput + 2 * k))));
    }
    RunKernel(pdfOutput, uiOrder);
    return 1;
}

const uint32_t* GetBitReversal(uint32_t uiOrder)
{
    if (uiOrder > FFT_MAX_ORDER || !IsReady(uiOrder))
    {
        return nullptr;
    }
    return Tables.Reverse[uiOrder].get();
}

int32_t ForwardFFT(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    const int32_t iResult = FFTReal(pdfInput, pdfOutput, uiOrder);
    if (iResult < 0)
    {
        return iResult;
    }
    // Multiplying by 2^-L rounds exactly like dividing by 2^L.
    const uint64_t N = uint64_t{1} << uiOrder;
    const double dfScale = 1.0 / static_cast<double>(N);
    for (uint64_t i = 0; i < 2 * N; ++i)
    {
        pdfOutput[i] *= dfScale;
    }
    return 1;
}

int32_t InverseFFT(double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    const int32_t iResult = CheckArguments(pdfInput, pdfOutput, uiOrder);
    if (iResult < 0)
    {
        return iResult;
    }
    LoadReversed<true>(pdfInput, pdfInput, pdfOutput, uiOrder);
    RunKernel(pdfOutput, uiOrder);
    return 1;
}

int32_t SetFFTWideVectors(int32_t bAllow)
{
    WideVectorsAllowed.store(bAllow != 0 ? 1 : 0, std::memory_order_relaxed);
    return UseWideVectors() ? 1 : 0;
}
