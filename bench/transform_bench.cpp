// Transform kernels against the literal reference algorithm and, where its development package is
// installed, against FFTW's best plan (FFTW_PATIENT, out of place) for a complex transform of the
// same length: the forward 256-point transform of the analysis block, the converter's row transform
// and the inverse transforms of 2^8 ... 2^17 points. Prints ns per call and, after the run, the
// speed-up of each kernel over the reference and its time as a multiple of FFTW's, measured in the
// same run. FFTW is a yardstick here only; nothing else links it.
#include "bench/RecordingReporter.h"
#include "conversion/TransformKernels.h"
#include "tests/common/ReferenceTransform.h"

#include <benchmark/benchmark.h>

#ifdef LARKSPUR_HAVE_FFTW
#include <fftw3.h>
#endif

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace
{
using TransformFunction = int32_t (*)(double*, double*, uint32_t);

std::vector<double> MakeSignal(uint64_t ullCount)
{
    std::vector<double> Signal(ullCount);
    uint64_t ullState = 0x9E3779B97F4A7C15ull;
    for (double& dfValue : Signal)
    {
        ullState = ullState * 6364136223846793005ull + 1442695040888963407ull;
        dfValue = static_cast<double>(ullState >> 11) / 9007199254740992.0 - 0.5;
    }
    return Signal;
}

int32_t KernelForward(double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    return ForwardFFT(pdfInput, pdfOutput, uiOrder);
}

int32_t ReferenceForward(double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    return ReferenceForwardFFT(pdfInput, pdfOutput, uiOrder);
}

// The converter's row transforms, four phases at a time: the products of the kept bins and each
// row's phase weights, formed on the way in, transformed and written out as the converter stores
// them. Timed per call of four; the table divides by four. Its reference is the literal inverse
// transform of the same length, which has no products to form.
constexpr uint64_t ROWS_PER_CALL = 4;

int32_t KernelRows(double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    static const std::vector<double> Weights = MakeSignal(8 * (uint64_t{1} << 16));
    static std::vector<double> Scratch(8 * (uint64_t{1} << 16));
    return FFTWeightedFourFromBitReversed(pdfInput, Weights.data(), Scratch.data(), pdfOutput,
                                          pdfOutput + (uint64_t{4} << uiOrder), 4, uiOrder);
}

void RunTransform(benchmark::State& State, TransformFunction Transform, uint32_t uiOrder, bool bComplexInput,
                  bool bWideVectors)
{
    const uint64_t N = uint64_t{1} << uiOrder;
    std::vector<double> Input = MakeSignal(bComplexInput ? 2 * N : N);
    std::vector<double> Output(8 * N);
    PrepareFFT(uiOrder);
    SetFFTWideVectors(bWideVectors ? 1 : 0);
    for (auto _ : State)
    {
        Transform(Input.data(), Output.data(), uiOrder);
        benchmark::DoNotOptimize(Output.data());
        benchmark::ClobberMemory();
    }
    SetFFTWideVectors(1);
}

#ifdef LARKSPUR_HAVE_FFTW
void RunFftw(benchmark::State& State, uint32_t uiOrder)
{
    const uint64_t N = uint64_t{1} << uiOrder;
    fftw_complex* pInput = fftw_alloc_complex(N);
    fftw_complex* pOutput = fftw_alloc_complex(N);
    // Planning overwrites the arrays; the signal goes in afterwards.
    const fftw_plan Plan = fftw_plan_dft_1d(static_cast<int>(N), pInput, pOutput, FFTW_FORWARD, FFTW_PATIENT);
    const std::vector<double> Signal = MakeSignal(2 * N);
    std::memcpy(pInput, Signal.data(), Signal.size() * sizeof(double));
    for (auto _ : State)
    {
        fftw_execute(Plan);
        benchmark::DoNotOptimize(pOutput);
        benchmark::ClobberMemory();
    }
    fftw_destroy_plan(Plan);
    fftw_free(pInput);
    fftw_free(pOutput);
}
#endif

// Console output as usual, plus a table of every "<name>/kernel..." against "<name>/reference" and
// against "FFTW/2^<order>" of its length.
class SpeedUpReporter : public RecordingReporter
{
public:
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-18s %-10s %12s %14s %9s %9s %8s\n", "transform", "variant", "ns per call",
                    "reference ns", "speed-up", "FFTW ns", "/ FFTW");
        for (const auto& [Name, dfMeasured] : Nanoseconds)
        {
            const std::string::size_type Slash = Name.rfind('/');
            const std::string Base = Name.substr(0, Slash);
            const std::string Variant = Name.substr(Slash + 1);
            const auto Reference = Nanoseconds.find(Base + "/reference");
            if (Variant == "reference" || Reference == Nanoseconds.end() || dfMeasured <= 0.0)
            {
                continue;
            }
            const bool bRows = Base.rfind("RowFFT", 0) == 0;
            const double dfNanoseconds = bRows ? dfMeasured / ROWS_PER_CALL : dfMeasured;
            std::printf("%-18s %-10s %12.0f %14.0f %8.2fx", Base.c_str(), Variant.c_str(), dfNanoseconds,
                        Reference->second, Reference->second / dfNanoseconds);
            const auto Fftw = Nanoseconds.find("FFTW" + Base.substr(Base.find('/')));
            if (Fftw != Nanoseconds.end() && Fftw->second > 0.0)
            {
                std::printf(" %9.0f %7.2fx\n", Fftw->second, dfNanoseconds / Fftw->second);
            }
            else
            {
                std::printf(" %9s %8s\n", "-", "-");
            }
        }
        std::printf("RowFFT: per row (the kernel transforms four rows per call).\n");
#ifndef LARKSPUR_HAVE_FFTW
        std::printf(
            "FFTW columns left out: its development package (libfftw3-dev) was not found at build time.\n");
#endif
    }

protected:
    void Record(const Run& Report) override
    {
        Nanoseconds[Report.benchmark_name()] = Report.GetAdjustedCPUTime();
    }

private:
    std::map<std::string, double> Nanoseconds;
};

// "<base>/kernel" (widest vectors the processor has), "<base>/kernel128" (128-bit vectors, only
// where that is a different path) and "<base>/reference", run one after the other.
void Register(const std::string& Base, TransformFunction Kernel, TransformFunction Reference,
              uint32_t uiOrder, bool bComplexInput)
{
    benchmark::RegisterBenchmark((Base + "/kernel").c_str(), RunTransform, Kernel, uiOrder, bComplexInput,
                                 true)
        ->Unit(benchmark::kNanosecond);
    const bool bWideAvailable = SetFFTWideVectors(1) == 1;
    if (bWideAvailable)
    {
        benchmark::RegisterBenchmark((Base + "/kernel128").c_str(), RunTransform, Kernel, uiOrder,
                                     bComplexInput, false)
            ->Unit(benchmark::kNanosecond);
    }
    benchmark::RegisterBenchmark((Base + "/reference").c_str(), RunTransform, Reference, uiOrder,
                                 bComplexInput, true)
        ->Unit(benchmark::kNanosecond);
}
} // namespace

int main(int argc, char** argv)
{
    Register("ForwardFFT/2^08", KernelForward, ReferenceForward, 8, false);
    Register("RowFFT/2^08", KernelRows, ReferenceInverseFFT, 8, true);
    for (uint32_t uiOrder = 8; uiOrder <= 17; ++uiOrder)
    {
        char szName[32];
        std::snprintf(szName, sizeof(szName), "InverseFFT/2^%02u", uiOrder);
        Register(szName, InverseFFT, ReferenceInverseFFT, uiOrder, true);
#ifdef LARKSPUR_HAVE_FFTW
        std::snprintf(szName, sizeof(szName), "FFTW/2^%02u", uiOrder);
        benchmark::RegisterBenchmark(szName, RunFftw, uiOrder)->Unit(benchmark::kNanosecond);
#endif
    }
    SpeedUpReporter Reporter;
    return RecordingReporter::RunAll(argc, argv, Reporter);
}
