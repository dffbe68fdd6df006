// Transform kernels against the literal reference algorithm: the forward 256-point transform of
// the analysis block and the inverse transforms of 2^8 ... 2^17 points that the converter runs per
// block. Prints ns per call and, after the run, the speed-up of each kernel over the reference
// measured in the same run.
#include "conversion/TransformKernels.h"
#include "tests/common/ReferenceTransform.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
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

// The converter's row transform: the products of the kept bins and one row of phase weights,
// formed on the way in, transformed in place of the row. Its reference is the literal inverse
// transform of the same length, which has no products to form.
int32_t KernelRow(double* pdfInput, double* pdfOutput, uint32_t uiOrder)
{
    static const std::vector<double> Weights = MakeSignal(2 * (uint64_t{1} << 16));
    return FFTWeightedFromBitReversed(pdfInput, Weights.data(), pdfOutput, uiOrder);
}

void RunTransform(benchmark::State& State, TransformFunction Transform, uint32_t uiOrder, bool bComplexInput,
                  bool bWideVectors)
{
    const uint64_t N = uint64_t{1} << uiOrder;
    std::vector<double> Input = MakeSignal(bComplexInput ? 2 * N : N);
    std::vector<double> Output(2 * N);
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

// Console output as usual, plus a speed-up table of every "<name>/kernel" against "<name>/reference".
class SpeedUpReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& Reports) override
    {
        for (const Run& Report : Reports)
        {
            if (Report.run_type == Run::RT_Iteration && !Report.error_occurred)
            {
                Nanoseconds[Report.benchmark_name()] = Report.GetAdjustedCPUTime();
            }
        }
        ConsoleReporter::ReportRuns(Reports);
    }

    void Finalize() override
    {
        ConsoleReporter::Finalize();
        std::printf("\n%-18s %-12s %12s %14s %9s\n", "transform", "variant", "ns per call", "reference ns",
                    "speed-up");
        for (const auto& [Name, dfNanoseconds] : Nanoseconds)
        {
            const std::string::size_type Slash = Name.rfind('/');
            const std::string Base = Name.substr(0, Slash);
            const std::string Variant = Name.substr(Slash + 1);
            const auto Reference = Nanoseconds.find(Base + "/reference");
            if (Variant != "reference" && Reference != Nanoseconds.end() && dfNanoseconds > 0.0)
            {
                std::printf("%-18s %-12s %12.0f %14.0f %8.2fx\n", Base.c_str(), Variant.c_str(),
                            dfNanoseconds, Reference->second, Reference->second / dfNanoseconds);
            }
        }
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
    Register("RowFFT/2^08", KernelRow, ReferenceInverseFFT, 8, true);
    for (uint32_t uiOrder = 8; uiOrder <= 17; ++uiOrder)
    {
        char szName[32];
        std::snprintf(szName, sizeof(szName), "InverseFFT/2^%02u", uiOrder);
        Register(szName, InverseFFT, ReferenceInverseFFT, uiOrder, true);
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
    {
        return 1;
    }
    SpeedUpReporter Reporter;
    benchmark::RunSpecifiedBenchmarks(&Reporter);
    benchmark::Shutdown();
    return 0;
}
