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

// Two families of kernels. The 128-bit passes (and the 256-bit ones without fused multiply-adds)
// keep the butterflies and twiddles of the plain radix-2 decimation-in-time kernel: each stage's
// twiddles come from the same running rotation (cos, -sin of pi / half) and every butterfly
// computes t = w * b, b' = a - t, a' = a + t with the same operations. Only the order in which
// independent butterflies run differs (blocks that fit the cache, two stages per pass), so the
// results are bit-identical to the plain kernel, just without its per-call tables and trig.
// The wide kernels with fused multiply-adds compute the same transform from exact twiddles in
// radix-4 and radix-8 passes over real and imaginary parts kept apart, four values to a vector,
// so that a butterfly needs no shuffles and a multiplication by -i none at all.

namespace
{
// Stages whose butterflies lie within blocks of 2^10 points (16 KiB) run block by block.
constexpr uint32_t CACHE_BLOCK_ORDER = 10;
// Single transforms from this order on take the wide passes in blocks of four (four groups of the
// first pass, at least one pass after it).
constexpr uint32_t MIN_BLOCKS_ORDER = 4;

struct TransformTables
{
    // Stage s pairs points 2^s apart; its 2^s twiddles, as (re, im) pairs.
    std::unique_ptr<double[]> Twiddles[FFT_MAX_ORDER];
    // The same twiddles for the fused passes, two at a time with each part repeated: for j = 2i,
    // (re j, re j, re j+1, re j+1, im j, im j, im j+1, im j+1) at 8i. Stages 1 ... CACHE_BLOCK_ORDER - 1.
    std::unique_ptr<double[]> SplitTwiddles[FFT_MAX_ORDER];
    // Exact twiddles of the radix-4 passes that join stages s and s + 1 (see MakeBlockTwiddles).
    std::unique_ptr<double[]> QuarterTwiddles[FFT_MAX_ORDER];
    // Exact twiddles of the radix-8 pass that joins stages s, s + 1 and s + 2, where that pass is the
    // last of an order (see MakeBlockTwiddles).
    std::unique_ptr<double[]> EighthTwiddles[FFT_MAX_ORDER];
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

// e^(-2 pi i k / n) for 0 <= k < n, n a power of two, from the cosine and sine of an angle of at
// most an eighth of a turn: values on the axes come out exact, and symmetric ones agree.
void UnitRoot(uint64_t k, uint64_t n, double& dfRe, double& dfIm)
{
    // The angle is o eighths of a turn plus r / n of a turn (n >= 8), or whole quarters (n < 8).
    const uint64_t ullEighth = n / 8;
    const uint64_t o = ullEighth != 0 ? k / ullEighth : k * (8 / n);
    const uint64_t r = ullEighth != 0 ? k % ullEighth : 0;
    const auto Angle = [n](uint64_t m)
    { return 2.0 * std::numbers::pi * static_cast<double>(m) / static_cast<double>(n); };
    // (c, sn): cosine and sine of the angle past the quarter turn o / 2, in [0, pi / 2).
    double c = 1.0;
    double sn = 0.0;
    if (o % 2 == 0)
    {
        c = std::cos(Angle(r));
        sn = std::sin(Angle(r));
    }
    else if (r == 0)
    {
        c = std::numbers::sqrt2 / 2.0;
        sn = c;
    }
    else
    {
        // Odd octants are measured back from the next quarter: pi / 2 - phi.
        c = std::sin(Angle(ullEighth - r));
        sn = std::cos(Angle(ullEighth - r));
    }
    double dfCos = c;
    double dfSin = sn;
    switch ((o / 2) % 4)
    {
    case 1:
        dfCos = -sn;
        dfSin = c;
        break;
    case 2:
        dfCos = -c;
        dfSin = -sn;
        break;
    case 3:
        dfCos = sn;
        dfSin = -c;
        break;
    default:
        break;
    }
    dfRe = dfCos;
    dfIm = -dfSin;
}

// Where value j of a block of four sits: the wide passes keep j, j + 2, j + 1, j + 3 in the lanes of a
// vector, the order in which two interleaving shuffles turn real and imaginary parts into pairs.
constexpr uint64_t LaneOf(uint64_t j)
{
    return ((j & 1) << 1) | ((j >> 1) & 1);
}

// The twiddles of a radix-R pass (R = 4 or 8) over groups of Rh points (h = 2^s): for j < h, W^(j u)
// for u = 1 ... R - 1 with W = e^(-2 pi i / Rh), computed directly rather than by a running rotation.
// Blocks of four consecutive j (in the order of LaneOf): the real parts of W^j for the four, their
// imaginary parts, then the same for W^2j and so on (8 (R - 1) doubles per block; a last block of
// fewer j is padded with ones).
std::unique_ptr<double[]> MakeBlockTwiddles(uint64_t h, uint64_t R)
{
    const uint64_t ullBlocks = (h + 3) / 4;
    const uint64_t ullBlockSize = 8 * (R - 1);
    std::unique_ptr<double[]> Table(new (std::nothrow) double[ullBlockSize * ullBlocks]);
    if (!Table)
    {
        return Table;
    }
    for (uint64_t j = 0; j < 4 * ullBlocks; ++j)
    {
        double* pdfBlock = Table.get() + ullBlockSize * (j / 4) + LaneOf(j % 4);
        for (uint64_t u = 1; u < R; ++u)
        {
            double dfRe = 1.0;
            double dfIm = 0.0;
            if (j < h)
            {
                UnitRoot(u * j, R * h, dfRe, dfIm);
            }
            pdfBlock[8 * (u - 1)] = dfRe;
            pdfBlock[8 * (u - 1) + 4] = dfIm;
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

// How a transform takes its input.
enum class Gather
{
    Complex,
    Conjugate, // complex, imaginary parts negated
    Real,
};

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

// Stage s's twiddles as (re, im) pairs, the table of the plain and the wide passes.
inline const double* TwiddleTable(uint32_t s)
{
    return Tables.Twiddles[s].get();
}

// The plain passes over one complex value at a time.
namespace narrow
{
using Vector = Value;
constexpr uint64_t STEP = 1;
constexpr uint64_t TWIDDLE_STRIDE = 2;
inline Vector TimesTwiddle(const double* pdfTwiddle, Vector x)
{
    return Multiply(Load(pdfTwiddle), x);
}
#include "conversion/TransformRadixPasses.inc"
} // namespace narrow

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

namespace wide
{
using Vector = Wide;
constexpr uint64_t STEP = 2;
constexpr uint64_t TWIDDLE_STRIDE = 2;
// The 256-bit counterparts of the 128-bit operations, hiding them in this region.
inline Vector Load(const double* pdf)
{
    return _mm256_loadu_pd(pdf);
}
inline void Store(double* pdf, Vector v)
{
    _mm256_storeu_pd(pdf, v);
}
inline Vector Add(Vector a, Vector b)
{
    return _mm256_add_pd(a, b);
}
inline Vector Subtract(Vector a, Vector b)
{
    return _mm256_sub_pd(a, b);
}
inline Vector TimesTwiddle(const double* pdfTwiddle, Vector x)
{
    return MultiplyWide(Load(pdfTwiddle), x);
}
#include "conversion/TransformRadixPasses.inc"
} // namespace wide

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

// The passes over twiddles kept as split tables (two real parts, then two imaginary parts).
namespace fused
{
// The wide region's loads and sums (AVX is part of this region's instruction set).
using wide::Add;
using wide::Load;
using wide::Store;
using wide::Subtract;
using wide::Vector;
constexpr uint64_t STEP = 2;
constexpr uint64_t TWIDDLE_STRIDE = 4;
inline const double* TwiddleTable(uint32_t s)
{
    return Tables.SplitTwiddles[s].get();
}
inline Vector TimesTwiddle(const double* pdfTwiddle, Vector x)
{
    return MultiplySplit(pdfTwiddle, x);
}
#include "conversion/TransformRadixPasses.inc"
} // namespace fused

// Four transforms side by side, one in each lane: every value is a pair of vectors, the real
// parts of the four and their imaginary parts (8 doubles in memory), so the passes below are the
// scalar algorithm with vectors for numbers and need no shuffles.
struct Four
{
    Wide r;
    Wide i;
};

inline Four LoadFour(const double* pdf)
{
    return Four{_mm256_loadu_pd(pdf), _mm256_loadu_pd(pdf + 4)};
}
inline void StoreFour(double* pdf, Four v)
{
    _mm256_storeu_pd(pdf, v.r);
    _mm256_storeu_pd(pdf + 4, v.i);
}
inline Four AddFour(Four a, Four b)
{
    return Four{_mm256_add_pd(a.r, b.r), _mm256_add_pd(a.i, b.i)};
}
inline Four SubtractFour(Four a, Four b)
{
    return Four{_mm256_sub_pd(a.r, b.r), _mm256_sub_pd(a.i, b.i)};
}
// v w for a twiddle w that is the same in every lane.
inline Four MultiplyFour(Four v, Wide wr, Wide wi)
{
    return Four{_mm256_fmsub_pd(v.r, wr, _mm256_mul_pd(v.i, wi)),
                _mm256_fmadd_pd(v.r, wi, _mm256_mul_pd(v.i, wr))};
}

// The radix-4 butterfly of two radix-2 stages, its inputs already multiplied by their twiddles:
// o0 = (a + b) + (c + d), o2 = (a + b) - (c + d), o1 = (a - b) - i (c - d), o3 = (a - b) + i (c - d).
inline void Radix4Four(Four a, Four b, Four c, Four d, Four& o0, Four& o1, Four& o2, Four& o3)
{
    const Four y0 = AddFour(a, b);
    const Four y1 = SubtractFour(a, b);
    const Four y2 = AddFour(c, d);
    const Four y3 = SubtractFour(c, d);
    o0 = AddFour(y0, y2);
    o2 = SubtractFour(y0, y2);
    o1 = Four{_mm256_add_pd(y1.r, y3.i), _mm256_sub_pd(y1.i, y3.r)};
    o3 = Four{_mm256_sub_pd(y1.r, y3.i), _mm256_add_pd(y1.i, y3.r)};
}

// The last step of an 8-point transform from the 4-point ones of its even terms e and odd terms f:
// outputs q and q + 4 are e_q + f_q w^q and e_q - f_q w^q, w = (1 - i) / sqrt 2. Put(q, v) stores
// output q, in the order 0, 4, 1, 5, ... Written out rather than looped over arrays: at -O2 a loop
// changes which products the compiler fuses into sums, and with them the last bit of the results.
template <typename Output>
[[gnu::always_inline]] inline void JoinRadix8(const Four& e0, const Four& e1, const Four& e2, const Four& e3,
                                              const Four& f0, const Four& f1, const Four& f2, const Four& f3,
                                              Output Put)
{
    const Wide Half = _mm256_set1_pd(std::numbers::sqrt2 / 2.0);
    // f1 (1 - i) / sqrt 2, -i f2, -f3 (1 + i) / sqrt 2.
    const Four t1{_mm256_mul_pd(Half, _mm256_add_pd(f1.r, f1.i)),
                  _mm256_mul_pd(Half, _mm256_sub_pd(f1.i, f1.r))};
    const Four t2{f2.i, _mm256_sub_pd(_mm256_setzero_pd(), f2.r)};
    const Four t3{_mm256_mul_pd(Half, _mm256_sub_pd(f3.i, f3.r)),
                  _mm256_mul_pd(Half, _mm256_sub_pd(_mm256_setzero_pd(), _mm256_add_pd(f3.r, f3.i)))};
    Put(0, AddFour(e0, f0));
    Put(4, SubtractFour(e0, f0));
    Put(1, AddFour(e1, t1));
    Put(5, SubtractFour(e1, t1));
    Put(2, AddFour(e2, t2));
    Put(6, SubtractFour(e2, t2));
    Put(3, AddFour(e3, t3));
    Put(7, SubtractFour(e3, t3));
}

// The twiddles W^j, W^2j and W^3j of a radix-4 butterfly, as (real, imaginary) vector pairs.
struct QuarterTwiddleSet
{
    Four w1;
    Four w2;
    Four w3;
};

// A twiddled radix-4 butterfly on the values at pdf0 + q ullSpacing (q = 0 ... 3): outputs o[q].
inline void Radix4Twiddled(const double* pdf0, uint64_t ullSpacing, const QuarterTwiddleSet& W, Four* o)
{
    Radix4Four(LoadFour(pdf0), MultiplyFour(LoadFour(pdf0 + ullSpacing), W.w2.r, W.w2.i),
               MultiplyFour(LoadFour(pdf0 + 2 * ullSpacing), W.w1.r, W.w1.i),
               MultiplyFour(LoadFour(pdf0 + 3 * ullSpacing), W.w3.r, W.w3.i), o[0], o[1], o[2], o[3]);
}

// conj(x) w for one shared value x (re, im) and the four lanes' weights at pdfWeights.
inline Four WeightFour(const double* pdfValue, const double* pdfWeights)
{
    const Wide xr = _mm256_broadcast_sd(pdfValue);
    const Wide xi = _mm256_broadcast_sd(pdfValue + 1);
    const Four w = LoadFour(pdfWeights);
    return Four{_mm256_fmadd_pd(xr, w.r, _mm256_mul_pd(xi, w.i)),
                _mm256_fmsub_pd(xr, w.i, _mm256_mul_pd(xi, w.r))};
}

// Stages 0 and 1 with the products formed on the way in: twiddles 1 and -i only.
[[gnu::always_inline]] inline void RunFourFirstRadix4(const double* pdfInput, const double* pdfWeights,
                                                      double* pdfOutput, uint64_t n)
{
    for (uint64_t k = 0; k < n; k += 4)
    {
        Four o0, o1, o2, o3;
        Radix4Four(WeightFour(pdfInput + 2 * k, pdfWeights + 8 * k),
                   WeightFour(pdfInput + 2 * k + 2, pdfWeights + 8 * k + 8),
                   WeightFour(pdfInput + 2 * k + 4, pdfWeights + 8 * k + 16),
                   WeightFour(pdfInput + 2 * k + 6, pdfWeights + 8 * k + 24), o0, o1, o2, o3);
        StoreFour(pdfOutput + 8 * k, o0);
        StoreFour(pdfOutput + 8 * k + 8, o1);
        StoreFour(pdfOutput + 8 * k + 16, o2);
        StoreFour(pdfOutput + 8 * k + 24, o3);
    }
}

// Stages 0, 1 and 2 with the products formed on the way in, for odd orders: twiddles 1, -i and the
// two diagonal ones, (1 - i) / sqrt 2 and -(1 + i) / sqrt 2.
[[gnu::always_inline]] inline void RunFourFirstRadix8(const double* pdfInput, const double* pdfWeights,
                                                      double* pdfOutput, uint64_t n)
{
    for (uint64_t k = 0; k < n; k += 8)
    {
        Four e0, e1, e2, e3, f0, f1, f2, f3;
        Radix4Four(WeightFour(pdfInput + 2 * k, pdfWeights + 8 * k),
                   WeightFour(pdfInput + 2 * k + 2, pdfWeights + 8 * k + 8),
                   WeightFour(pdfInput + 2 * k + 4, pdfWeights + 8 * k + 16),
                   WeightFour(pdfInput + 2 * k + 6, pdfWeights + 8 * k + 24), e0, e1, e2, e3);
        Radix4Four(WeightFour(pdfInput + 2 * k + 8, pdfWeights + 8 * k + 32),
                   WeightFour(pdfInput + 2 * k + 10, pdfWeights + 8 * k + 40),
                   WeightFour(pdfInput + 2 * k + 12, pdfWeights + 8 * k + 48),
                   WeightFour(pdfInput + 2 * k + 14, pdfWeights + 8 * k + 56), f0, f1, f2, f3);
        double* pdf = pdfOutput + 8 * k;
        JoinRadix8(e0, e1, e2, e3, f0, f1, f2, f3, [pdf](uint64_t q, Four v) { StoreFour(pdf + 8 * q, v); });
    }
}

// Where the outputs of the last pass go: value m of lane r at pdfReal[m ullStride + r] and
// pdfImag[m ullStride + r].
struct FourOutput
{
    double* pdfReal;
    double* pdfImag;
    uint64_t ullStride;
};

inline void StoreFourOutput(const FourOutput& To, uint64_t m, Four v)
{
    _mm256_storeu_pd(To.pdfReal + m * To.ullStride, v.r);
    _mm256_storeu_pd(To.pdfImag + m * To.ullStride, v.i);
}

// Stages s and s + 1 (s >= 2) over n values in groups of 4h, h = 2^s: in place, or for the last
// pass from pdfData into the outputs.
template <bool bLast>
[[gnu::always_inline]] inline void RunFourRadix4(double* pdfData, uint64_t n, uint32_t s,
                                                 const FourOutput& To)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfTwiddles = Tables.QuarterTwiddles[s].get();
    // Copied, so that the stores cannot be taken to change them.
    double* const pdfRealOut = To.pdfReal;
    double* const pdfImagOut = To.pdfImag;
    const uint64_t ullStride = To.ullStride;
    const uint64_t ullStep = h * ullStride;
    for (uint64_t j = 0; j < h; ++j)
    {
        // The same twiddles in every lane.
        const double* pdfBlock = pdfTwiddles + 24 * (j / 4) + LaneOf(j % 4);
        const auto Broadcast = [pdfBlock](uint64_t u) {
            return Four{_mm256_broadcast_sd(pdfBlock + 8 * u), _mm256_broadcast_sd(pdfBlock + 8 * u + 4)};
        };
        const QuarterTwiddleSet W{Broadcast(0), Broadcast(1), Broadcast(2)};
        for (uint64_t g = j; g < n; g += 4 * h)
        {
            Four o[4];
            Radix4Twiddled(pdfData + 8 * g, 8 * h, W, o);
            for (uint64_t q = 0; q < 4; ++q)
            {
                if constexpr (bLast)
                {
                    _mm256_storeu_pd(pdfRealOut + g * ullStride + q * ullStep, o[q].r);
                    _mm256_storeu_pd(pdfImagOut + g * ullStride + q * ullStep, o[q].i);
                }
                else
                {
                    StoreFour(pdfData + 8 * (g + q * h), o[q]);
                }
            }
        }
    }
}

// One radix-8 butterfly of four transforms side by side, in place: the values at g + q h (q = 0 ... 7)
// weighted by W^(j rev3(q)) (W^(j u) for u = 1 ... 7 at pdfBlock + 8 (u - 1), broadcast; none when
// j = 0), then an 8-point transform: the 4-point ones of the even and the odd terms, joined with the
// eighth roots of unity.
template <bool bTwiddled>
[[gnu::always_inline]] inline void Radix8FourAt(double* pdfData, uint64_t g, uint64_t h,
                                                const double* pdfBlock)
{
    const Wide Half = _mm256_set1_pd(std::numbers::sqrt2 / 2.0);
    const Wide MinusHalf = _mm256_set1_pd(-std::numbers::sqrt2 / 2.0);
    const auto At = [pdfData, g, h](uint64_t q) { return LoadFour(pdfData + 8 * (g + q * h)); };
    const auto Twiddled = [&](uint64_t q, uint64_t u)
    {
        if constexpr (bTwiddled)
        {
            return MultiplyFour(At(q), _mm256_broadcast_sd(pdfBlock + 8 * (u - 1)),
                                _mm256_broadcast_sd(pdfBlock + 8 * (u - 1) + 4));
        }
        else
        {
            return At(q);
        }
    };
    Four e[4];
    Four f[4];
    Radix4Four(Twiddled(4, 1), Twiddled(5, 5), Twiddled(6, 3), Twiddled(7, 7), f[0], f[1], f[2], f[3]);
    // f1 (1 - i) / sqrt 2, -i f2, -f3 (1 + i) / sqrt 2.
    f[1] = Four{_mm256_mul_pd(Half, _mm256_add_pd(f[1].r, f[1].i)),
                _mm256_mul_pd(Half, _mm256_sub_pd(f[1].i, f[1].r))};
    f[2] = Four{f[2].i, _mm256_sub_pd(_mm256_setzero_pd(), f[2].r)};
    f[3] = Four{_mm256_mul_pd(Half, _mm256_sub_pd(f[3].i, f[3].r)),
                _mm256_mul_pd(MinusHalf, _mm256_add_pd(f[3].r, f[3].i))};
    Radix4Four(At(0), Twiddled(1, 4), Twiddled(2, 2), Twiddled(3, 6), e[0], e[1], e[2], e[3]);
    for (uint64_t q = 0; q < 4; ++q)
    {
        StoreFour(pdfData + 8 * (g + q * h), AddFour(e[q], f[q]));
        StoreFour(pdfData + 8 * (g + (q + 4) * h), SubtractFour(e[q], f[q]));
    }
}

// Stages s, s + 1 and s + 2 (s >= 3) over n values in groups of 8h, h = 2^s, in place: one butterfly
// per group and j < h, with the same twiddles in every lane; j = 0 needs none.
[[gnu::always_inline]] inline void RunFourRadix8(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfTwiddles = Tables.EighthTwiddles[s].get();
    for (uint64_t g = 0; g < n; g += 8 * h)
    {
        Radix8FourAt<false>(pdfData, g, h, pdfTwiddles);
    }
    for (uint64_t j = 1; j < h; ++j)
    {
        const double* pdfBlock = pdfTwiddles + 56 * (j / 4) + LaneOf(j % 4);
        for (uint64_t g = j; g < n; g += 8 * h)
        {
            Radix8FourAt<true>(pdfData, g, h, pdfBlock);
        }
    }
}

void RunWeightedFourWide(const double* pdfInput, const double* pdfWeights, double* pdfScratch,
                         const FourOutput& To, uint32_t uiOrder)
{
    const uint64_t n = uint64_t{1} << uiOrder;
    if (uiOrder < 2)
    {
        // One or two values: the products, and for two their sum and difference.
        const Four a = WeightFour(pdfInput, pdfWeights);
        if (uiOrder == 0)
        {
            StoreFourOutput(To, 0, a);
            return;
        }
        const Four b = WeightFour(pdfInput + 2, pdfWeights + 8);
        StoreFourOutput(To, 0, AddFour(a, b));
        StoreFourOutput(To, 1, SubtractFour(a, b));
        return;
    }
    if (uiOrder == 8)
    {
        // The converter's rows: three passes instead of four, with every count and distance a
        // constant. The radix-4 pass goes last: outputs 32 apart may lie a multiple of 4 KiB apart
        // (a frame of 16 to 64 phases), where the eight outputs of a radix-8 butterfly and their
        // imaginary parts would crowd one cache set and the four of a radix-4 one still fit.
        RunFourFirstRadix8(pdfInput, pdfWeights, pdfScratch, 256);
        RunFourRadix8(pdfScratch, 256, 3);
        RunFourRadix4<true>(pdfScratch, 256, 6, To);
        return;
    }
    uint32_t s = 2;
    if (uiOrder % 2 == 0)
    {
        RunFourFirstRadix4(pdfInput, pdfWeights, pdfScratch, n);
    }
    else
    {
        RunFourFirstRadix8(pdfInput, pdfWeights, pdfScratch, n);
        s = 3;
    }
    if (s == uiOrder)
    {
        // The first pass was all: copied out.
        for (uint64_t m = 0; m < n; ++m)
        {
            StoreFourOutput(To, m, LoadFour(pdfScratch + 8 * m));
        }
        return;
    }
    for (; s + 2 < uiOrder; s += 2)
    {
        RunFourRadix4<false>(pdfScratch, n, s, To);
    }
    RunFourRadix4<true>(pdfScratch, n, s, To);
}
// Single transforms. Between the passes the values lie in blocks of four: block b holds values
// 4b ... 4b + 3 as the real parts of the four, then their imaginary parts (8 doubles, where the
// four complex values lie in the input and output arrays), with values j, j + 2, j + 1, j + 3 in
// that order in the lanes (see LaneOf). The first pass gathers the input in bit-reversed order and
// runs the first two or three stages, four groups at a time, then turns its results into blocks;
// the passes after it take four neighbouring butterflies, one block, at a time; the last one
// writes complex pairs again.

// Input values a ... a + 3 as real and imaginary parts, in the lane order of LaneOf for complex
// input (the order two interleaving shuffles give) and in natural order for real input. Conjugated
// values are also written back in place of the input (pdfInput is then the inverse's own array):
// every input value is read exactly once, while its cache line is at hand.
template <Gather eFrom> inline Four GatherFour(const double* pdfInput, uint64_t a)
{
    if constexpr (eFrom == Gather::Real)
    {
        return Four{_mm256_loadu_pd(pdfInput + a), _mm256_setzero_pd()};
    }
    else
    {
        Wide v01 = _mm256_loadu_pd(pdfInput + 2 * a);
        Wide v23 = _mm256_loadu_pd(pdfInput + 2 * a + 4);
        if constexpr (eFrom == Gather::Conjugate)
        {
            const Wide Negate = _mm256_set_pd(-0.0, 0.0, -0.0, 0.0);
            v01 = _mm256_xor_pd(v01, Negate);
            v23 = _mm256_xor_pd(v23, Negate);
            double* pdfConjugated = const_cast<double*>(pdfInput) + 2 * a;
            _mm256_storeu_pd(pdfConjugated, v01);
            _mm256_storeu_pd(pdfConjugated + 4, v23);
        }
        return Four{_mm256_unpacklo_pd(v01, v23), _mm256_unpackhi_pd(v01, v23)};
    }
}

// Four groups' outputs at one position p each (vectors over the groups) stored as the groups'
// blocks: o[LaneOf(p)] holds position p, and the group in lane l goes to pdfTo[l].
inline void StoreTransposed(double* const* pdfTo, const Four* o)
{
    const auto Part = [pdfTo](Wide a, Wide b, Wide c, Wide d, uint64_t ullOffset)
    {
        const Wide t0 = _mm256_unpacklo_pd(a, b);
        const Wide t1 = _mm256_unpackhi_pd(a, b);
        const Wide t2 = _mm256_unpacklo_pd(c, d);
        const Wide t3 = _mm256_unpackhi_pd(c, d);
        _mm256_storeu_pd(pdfTo[0] + ullOffset, _mm256_permute2f128_pd(t0, t2, 0x20));
        _mm256_storeu_pd(pdfTo[2] + ullOffset, _mm256_permute2f128_pd(t0, t2, 0x31));
        _mm256_storeu_pd(pdfTo[1] + ullOffset, _mm256_permute2f128_pd(t1, t3, 0x20));
        _mm256_storeu_pd(pdfTo[3] + ullOffset, _mm256_permute2f128_pd(t1, t3, 0x31));
    };
    Part(o[0].r, o[1].r, o[2].r, o[3].r, 0);
    Part(o[0].i, o[1].i, o[2].i, o[3].i, 4);
}

// The first pass takes groups of R = 4 or 8 values, group G holding the inputs rev(RG + q) =
// rev_R(q) n / R + rev(G), rev(G) reversing the bits of G within the n / R groups. Its lanes hold
// groups G + l n / 4R: their inputs for each q are four neighbours, rev(G) + rev2(l), so every read
// takes whole cache lines. Complex input puts neighbour LaneOf(l) = rev2(l) into lane l, which is
// group G + l n / 4R; real input puts neighbour l there, group G + LaneOf(l) n / 4R.
template <Gather eFrom> uint64_t FirstPassLaneGroup(uint64_t l)
{
    return eFrom == Gather::Real ? LaneOf(l) : l;
}

// Stages 0 and 1: groups of four values, one block each.
template <Gather eFrom> void RunBlocksFirstRadix4(const double* pdfInput, double* pdfData, uint32_t uiOrder)
{
    const uint64_t n = uint64_t{1} << uiOrder;
    const uint64_t ullGroups = n / 4;
    const uint32_t* puiReverse = Tables.Reverse[uiOrder].get();
    // rev2(q) n / 4.
    const uint64_t Offsets[4] = {0, n / 2, n / 4, 3 * n / 4};
    for (uint64_t G = 0; G < ullGroups / 4; ++G)
    {
        // rev(4G) = rev(G) within the groups.
        const uint64_t ullBase = puiReverse[4 * G];
        Four x[4];
        for (uint64_t q = 0; q < 4; ++q)
        {
            x[q] = GatherFour<eFrom>(pdfInput, ullBase + Offsets[q]);
        }
        Four o[4];
        Radix4Four(x[0], x[1], x[2], x[3], o[0], o[2], o[1], o[3]);
        double* const To[4] = {pdfData + 8 * (G + FirstPassLaneGroup<eFrom>(0) * ullGroups / 4),
                               pdfData + 8 * (G + FirstPassLaneGroup<eFrom>(1) * ullGroups / 4),
                               pdfData + 8 * (G + FirstPassLaneGroup<eFrom>(2) * ullGroups / 4),
                               pdfData + 8 * (G + FirstPassLaneGroup<eFrom>(3) * ullGroups / 4)};
        StoreTransposed(To, o);
    }
}

// Stores value q of a butterfly at pdf: a block, or for the last pass two complex pairs.
template <bool bLast> inline void StoreBlock(double* pdf, Four v)
{
    if constexpr (bLast)
    {
        _mm256_storeu_pd(pdf, _mm256_unpacklo_pd(v.r, v.i));
        _mm256_storeu_pd(pdf + 4, _mm256_unpackhi_pd(v.r, v.i));
    }
    else
    {
        StoreFour(pdf, v);
    }
}

// Stages s and s + 1 (s >= 2) over n values in blocks: groups of 4h values, one block of four
// neighbouring butterflies at a time; the last pass writes complex pairs.
template <bool bLast> void RunBlocksRadix4(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfTwiddles = Tables.QuarterTwiddles[s].get();
    for (uint64_t j = 0; j < h; j += 4)
    {
        // A twiddle of its own in each lane: the block's four j.
        const double* T = pdfTwiddles + 6 * j;
        const QuarterTwiddleSet W{LoadFour(T), LoadFour(T + 8), LoadFour(T + 16)};
        for (uint64_t g = j; g < n; g += 4 * h)
        {
            double* pdf0 = pdfData + 2 * g;
            Four o[4];
            Radix4Twiddled(pdf0, 2 * h, W, o);
            for (uint64_t q = 0; q < 4; ++q)
            {
                StoreBlock<bLast>(pdf0 + 2 * h * q, o[q]);
            }
        }
    }
}

// Stages s, s + 1 and s + 2 over n values in blocks, in groups of 8h, h = 2^s: the last pass of an
// odd order. With W = e^(-2 pi i / 8h), value q of the group is weighted by W^(j rev(q)) (rev the
// 3-bit reversal) and the eight go through an 8-point transform: the 4-point ones of the even and
// the odd terms, joined with the eighth roots of unity.
template <bool bLast> void RunBlocksRadix8(double* pdfData, uint64_t n, uint32_t s)
{
    const uint64_t h = uint64_t{1} << s;
    const double* pdfTwiddles = Tables.EighthTwiddles[s].get();
    for (uint64_t j = 0; j < h; j += 4)
    {
        // W^(j u) for u = 1 ... 7: real parts at 8 (u - 1), imaginary parts 4 further.
        const double* T = pdfTwiddles + 14 * j;
        const auto Twiddle = [T](Four v, uint64_t u)
        { return MultiplyFour(v, _mm256_loadu_pd(T + 8 * (u - 1)), _mm256_loadu_pd(T + 8 * (u - 1) + 4)); };
        for (uint64_t g = j; g < n; g += 8 * h)
        {
            double* pdf0 = pdfData + 2 * g;
            const auto At = [pdf0, h](uint64_t q) { return LoadFour(pdf0 + 2 * h * q); };
            Four e0, e1, e2, e3, f0, f1, f2, f3;
            Radix4Four(Twiddle(At(4), 1), Twiddle(At(5), 5), Twiddle(At(6), 3), Twiddle(At(7), 7), f0, f1, f2,
                       f3);
            Radix4Four(At(0), Twiddle(At(1), 4), Twiddle(At(2), 2), Twiddle(At(3), 6), e0, e1, e2, e3);
            JoinRadix8(e0, e1, e2, e3, f0, f1, f2, f3,
                       [pdf0, h](uint64_t q, Four v) { StoreBlock<bLast>(pdf0 + 2 * h * q, v); });
        }
    }
}

// Stages s ... uiOrder - 1 over 2^uiOrder values in blocks: two at a time, and for odd orders three
// in the last pass, which then runs over the largest span. Large orders go depth first: the parts
// are finished before the last pass joins them, so each pass works on data that the passes before
// it left in the cache.
void RunBlocksPasses(double* pdfData, uint32_t uiOrder, uint32_t s, bool bLast)
{
    const uint64_t n = uint64_t{1} << uiOrder;
    const uint32_t uiTop = (uiOrder - s) % 2 == 1 ? 3 : 2;
    if (uiOrder > CACHE_BLOCK_ORDER && uiOrder - s > uiTop)
    {
        for (uint64_t q = 0; q < (uint64_t{1} << uiTop); ++q)
        {
            RunBlocksPasses(pdfData + 2 * (q << (uiOrder - uiTop)), uiOrder - uiTop, s, false);
        }
        s = uiOrder - uiTop;
    }
    for (; s + uiTop < uiOrder; s += 2)
    {
        RunBlocksRadix4<false>(pdfData, n, s);
    }
    if (uiTop == 3)
    {
        bLast ? RunBlocksRadix8<true>(pdfData, n, s) : RunBlocksRadix8<false>(pdfData, n, s);
    }
    else
    {
        bLast ? RunBlocksRadix4<true>(pdfData, n, s) : RunBlocksRadix4<false>(pdfData, n, s);
    }
}

// The whole transform of 2^uiOrder values, uiOrder >= MIN_BLOCKS_ORDER.
template <Gather eFrom> void RunBlocksTransform(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    RunBlocksFirstRadix4<eFrom>(pdfInput, pdfOutput, uiOrder);
    RunBlocksPasses(pdfOutput, uiOrder, 2, true);
}
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif

const bool CPU_HAS_FMA = ProcessorHasFma();
#else
const bool CPU_HAS_FMA = false;
// Without the wide region its passes are the plain ones (never chosen: there are no fused
// multiply-adds either).
namespace wide = narrow;
#endif

std::atomic<int32_t> WideVectorsAllowed{1};

// The wide path needs fused multiply-adds (and so 256-bit vectors) besides: processors with the
// vectors alone take the 128-bit one.
bool UseWideVectors()
{
    return CPU_HAS_FMA && WideVectorsAllowed.load(std::memory_order_relaxed) != 0;
}

using PassFunction = void (*)(double* pdfData, uint64_t n, uint32_t s);

// Stage s (and, for a radix-4 pass, s + 1) by the wide pass where it runs, from stage 1 on, otherwise
// by the plain one.
template <PassFunction PlainPass, PassFunction WidePass>
void RunWidestPass(double* pdfData, uint64_t n, uint32_t s)
{
    if (s >= 1 && UseWideVectors())
    {
        WidePass(pdfData, n, s);
        return;
    }
    PlainPass(pdfData, n, s);
}

void RunRadix2Pass(double* pdfData, uint64_t n, uint32_t s)
{
    RunWidestPass<narrow::RunRadix2Pass, wide::RunRadix2Pass>(pdfData, n, s);
}

void RunRadix4Pass(double* pdfData, uint64_t n, uint32_t s)
{
    RunWidestPass<narrow::RunRadix4Pass, wide::RunRadix4Pass>(pdfData, n, s);
}

// Stages 0 and 1 over n points into pdfOutput: groups of four with the same three twiddles
// throughout. PointAt(k) gives point k; a group's points are all taken before its outputs are
// stored, so pdfOutput may be where they come from.
template <typename Point> void RunFirstRadix4Narrow(Point PointAt, double* pdfOutput, uint64_t n)
{
    const Value w1 = Load(Tables.Twiddles[0].get());
    const Value w2 = Load(Tables.Twiddles[1].get());
    const Value w3 = Load(Tables.Twiddles[1].get() + 2);
    for (uint64_t g = 0; g < n; g += 4)
    {
        double* pdf = pdfOutput + 2 * g;
        const Value x0 = PointAt(g);
        const Value x2 = PointAt(g + 2);
        const Value t1 = Multiply(w1, PointAt(g + 1));
        const Value t3 = Multiply(w1, PointAt(g + 3));
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
    RunFirstRadix4Narrow([pdfData](uint64_t k) { return Load(pdfData + 2 * k); }, pdfData, n);
}

// Stages 2 ... uiOrder - 1 over n = 2^uiOrder points, after a first pass over stages 0 and 1: two at
// a time, and a last single stage for odd orders.
template <PassFunction Radix4, PassFunction Radix2>
void RunPassesAfterFirst(double* pdfData, uint64_t n, uint32_t uiOrder)
{
    uint32_t s = 2;
    for (; s + 1 < uiOrder; s += 2)
    {
        Radix4(pdfData, n, s);
    }
    if (s < uiOrder)
    {
        Radix2(pdfData, n, s);
    }
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
    RunPassesAfterFirst<RunRadix4Pass, RunRadix2Pass>(pdfData, n, uiOrder);
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

// The transform of conj(x) w for x and w in bit-reversed order, 4 ... 2^CACHE_BLOCK_ORDER points:
// the first pass forms the products, the others run in place on the output.
void RunWeightedKernel(const double* pdfInput, const double* pdfWeights, double* pdfOutput, uint32_t uiOrder)
{
    const uint64_t n = uint64_t{1} << uiOrder;
#ifdef LARKSPUR_FFT_WIDE
    if (UseWideVectors())
    {
        RunWeightedFirstPassFused(pdfInput, pdfWeights, pdfOutput, n);
        RunPassesAfterFirst<fused::RunRadix4Pass, fused::RunRadix2Pass>(pdfOutput, n, uiOrder);
        return;
    }
#endif
    // Without wide vectors: the products conj(x) w formed on the way into the first pass.
    RunFirstRadix4Narrow([pdfInput, pdfWeights](uint64_t k)
                         { return Multiply(Load(pdfWeights + 2 * k), Conjugate(Load(pdfInput + 2 * k))); },
                         pdfOutput, n);
    RunPassesAfterFirst<RunRadix4Pass, RunRadix2Pass>(pdfOutput, n, uiOrder);
}

// Four weighted transforms side by side (see FFTWeightedFourFromBitReversed) without fused
// multiply-adds: the products, then radix-2 stages whose twiddles e^(-2 pi i j / 2h) are the W^2j
// of the radix-4 table of the same stage.
void RunWeightedFourNarrow(const double* pdfInput, const double* pdfWeights, double* pdfScratch,
                           double* pdfReal, double* pdfImag, uint64_t ullStride, uint32_t uiOrder)
{
    const uint64_t n = uint64_t{1} << uiOrder;
    for (uint64_t k = 0; k < n; ++k)
    {
        const double dfXRe = pdfInput[2 * k];
        const double dfXIm = pdfInput[2 * k + 1];
        const double* w = pdfWeights + 8 * k;
        double* y = pdfScratch + 8 * k;
        for (uint64_t l = 0; l < 4; ++l)
        {
            y[l] = dfXRe * w[l] + dfXIm * w[4 + l];
            y[4 + l] = dfXRe * w[4 + l] - dfXIm * w[l];
        }
    }
    for (uint32_t s = 0; s < uiOrder; ++s)
    {
        const uint64_t h = uint64_t{1} << s;
        for (uint64_t j = 0; j < h; ++j)
        {
            const double* pdfBlock = Tables.QuarterTwiddles[s].get() + 24 * (j / 4) + LaneOf(j % 4);
            const double dfWRe = pdfBlock[8];
            const double dfWIm = pdfBlock[12];
            for (uint64_t g = j; g < n; g += 2 * h)
            {
                double* a = pdfScratch + 8 * g;
                double* b = a + 8 * h;
                for (uint64_t l = 0; l < 4; ++l)
                {
                    const double dfTRe = dfWRe * b[l] - dfWIm * b[4 + l];
                    const double dfTIm = dfWRe * b[4 + l] + dfWIm * b[l];
                    b[l] = a[l] - dfTRe;
                    b[4 + l] = a[4 + l] - dfTIm;
                    a[l] = a[l] + dfTRe;
                    a[4 + l] = a[4 + l] + dfTIm;
                }
            }
        }
    }
    for (uint64_t m = 0; m < n; ++m)
    {
        for (uint64_t l = 0; l < 4; ++l)
        {
            pdfReal[m * ullStride + l] = pdfScratch[8 * m + l];
            pdfImag[m * ullStride + l] = pdfScratch[8 * m + 4 + l];
        }
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

// The transform of input in natural order: the wide passes in blocks where they run, otherwise the
// input in bit-reversed order into pdfOutput and the plain kernel there. Conjugated input is also
// written back to pdfInput.
template <Gather eFrom>
int32_t RunNaturalTransform(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    const int32_t iResult = CheckArguments(pdfInput, pdfOutput, uiOrder);
    if (iResult < 0)
    {
        return iResult;
    }
#ifdef LARKSPUR_FFT_WIDE
    if (uiOrder >= MIN_BLOCKS_ORDER && UseWideVectors())
    {
        RunBlocksTransform<eFrom>(pdfInput, pdfOutput, uiOrder);
        return 1;
    }
#endif
    if constexpr (eFrom == Gather::Real)
    {
        const uint64_t N = uint64_t{1} << uiOrder;
        const uint32_t* puiReverse = Tables.Reverse[uiOrder].get();
        for (uint64_t k = 0; k < N; ++k)
        {
            pdfOutput[2 * k] = pdfInput[puiReverse[k]];
            pdfOutput[2 * k + 1] = 0.0;
        }
    }
    else
    {
        // Only the conjugating load writes through the second pointer: then it is the caller's own array.
        LoadReversed<eFrom == Gather::Conjugate>(pdfInput, const_cast<double*>(pdfInput), pdfOutput, uiOrder);
    }
    RunKernel(pdfOutput, uiOrder);
    return 1;
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
        if (!Tables.QuarterTwiddles[s])
        {
            Tables.QuarterTwiddles[s] = MakeBlockTwiddles(uint64_t{1} << s, 4);
            if (!Tables.QuarterTwiddles[s])
            {
                return -2;
            }
        }

        // Odd orders end in a radix-8 pass; four 256-point transforms side by side take one at stage 3.
        const bool bEighth = (uiOrder % 2 == 1 && s + 3 == uiOrder) || (uiOrder == 8 && s == 3);
        if (bEighth && !Tables.EighthTwiddles[s])
        {
            Tables.EighthTwiddles[s] = MakeBlockTwiddles(uint64_t{1} << s, 8);
            if (!Tables.EighthTwiddles[s])
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
    return RunNaturalTransform<Gather::Real>(pdfInput, pdfOutput, uiOrder);
}

int32_t FFTComplex(const double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    return RunNaturalTransform<Gather::Complex>(pdfInput, pdfOutput, uiOrder);
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

int32_t FFTWeightedFourFromBitReversed(const double* pdfInput, const double* pdfWeights, double* pdfScratch,
                                       double* pdfReal, double* pdfImag, uint64_t ullStride, uint32_t uiOrder)
{
    const int32_t iResult = CheckArguments(pdfInput, pdfReal, uiOrder);
    if (iResult < 0 || pdfWeights == nullptr || pdfScratch == nullptr || pdfImag == nullptr || ullStride < 4)
    {
        return iResult < 0 ? iResult : -4;
    }
#ifdef LARKSPUR_FFT_WIDE
    if (UseWideVectors())
    {
        RunWeightedFourWide(pdfInput, pdfWeights, pdfScratch, FourOutput{pdfReal, pdfImag, ullStride},
                            uiOrder);
        return 1;
    }
#endif
    RunWeightedFourNarrow(pdfInput, pdfWeights, pdfScratch, pdfReal, pdfImag, ullStride, uiOrder);
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
    return RunNaturalTransform<Gather::Conjugate>(pdfInput, pdfOutput, uiOrder);
}

int32_t SetFFTWideVectors(int32_t bAllow)
{
    WideVectorsAllowed.store(bAllow != 0 ? 1 : 0, std::memory_order_relaxed);
    return UseWideVectors() ? 1 : 0;
}
