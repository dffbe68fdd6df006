// Speed of the sampling frequency converter: realtime factor (seconds of input converted per CPU
// second, one thread) at the rate pairs and speeds the player meets, the same conversions through
// two established resamplers as yardsticks (when their development packages are installed), the
// literal algorithm for reference, and the time of each set-up. A table follows the usual output.
#include "bench/RecordingReporter.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "tests/common/ReferenceTransform.h"

#include <benchmark/benchmark.h>

#ifdef LARKSPUR_HAVE_SOXR
#include <soxr.h>
#endif
#ifdef LARKSPUR_HAVE_SAMPLERATE
#include <samplerate.h>
#endif

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>
#include <numbers>
#include <string>
#include <vector>

namespace
{
struct Conversion
{
    const char* pName;
    double dfInput;
    double dfDevice;
    double dfSpeed;
};

const Conversion CONVERSIONS[] = {
    {"44.1k->48k x1", 44100, 48000, 1.0},     {"44.1k->48k x2.52", 44100, 48000, 2.52},
    {"48k->384k x2.52", 48000, 384000, 2.52}, {"8k->384k x0.5", 8000, 384000, 0.5},
    {"8k->384k x2.52", 8000, 384000, 2.52},   {"192k->48k x2.52", 192000, 48000, 2.52},
};

// One second of a stereo signal with content across the band.
std::vector<double> MakeInput(double dfRate)
{
    const uint64_t ullFrames = static_cast<uint64_t>(dfRate);
    std::vector<double> Signal(2 * ullFrames);
    uint64_t ullState = 0x9E3779B97F4A7C15ull;
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        ullState = ullState * 6364136223846793005ull + 1442695040888963407ull;
        const double dfNoise = static_cast<double>(ullState >> 11) / 9007199254740992.0 - 0.5;
        const double t = static_cast<double>(n) / dfRate;
        Signal[2 * n] = 0.4 * std::sin(2.0 * std::numbers::pi * 440.0 * t) + 0.1 * dfNoise;
        Signal[2 * n + 1] = 0.4 * std::sin(2.0 * std::numbers::pi * 1234.5 * t) - 0.1 * dfNoise;
    }
    return Signal;
}

void SetRealtimeFactor(benchmark::State& State, double dfInputSeconds)
{
    State.counters["rtf"] = benchmark::Counter(dfInputSeconds, benchmark::Counter::kIsIterationInvariantRate);
}

void RunOurs(benchmark::State& State, Conversion Item, bool bLiteral)
{
    SamplingFrequencyConverter Converter(10.0);
    if (bLiteral)
    {
        Converter.UsePlainTransforms(ReferenceForwardFFT, ReferenceInverseFFT);
    }
    if (Converter.Setup(2, Item.dfInput, Item.dfDevice, 8, 0, 0.0) != 1 ||
        Converter.SetOutputRate(Item.dfDevice / Item.dfSpeed, 1) != 1)
    {
        State.SkipWithError("set-up failed");
        return;
    }
    const std::vector<double> Input = MakeInput(Item.dfInput);
    std::vector<double> Output(Converter.OutputFIFO.GetCapacity());
    for (auto _ : State)
    {
        uint64_t ullPosition = 0;
        while (ullPosition < Input.size())
        {
            uint64_t ullTaken = (Input.size() - ullPosition) / 2;
            uint64_t ullRead = Output.size() / 2;
            Converter.Convert(Input.data() + ullPosition, ullTaken, Output.data(), ullRead);
            ullPosition += 2 * ullTaken;
            benchmark::DoNotOptimize(Output.data());
        }
    }
    SetRealtimeFactor(State, 1.0);
}

void SetupOurs(benchmark::State& State, Conversion Item)
{
    for (auto _ : State)
    {
        SamplingFrequencyConverter Converter(10.0);
        benchmark::DoNotOptimize(Converter.Setup(2, Item.dfInput, Item.dfDevice, 8, 0, 0.0));
    }
}

#ifdef LARKSPUR_HAVE_SOXR
soxr_t CreateSoxr(const Conversion& Item)
{
    soxr_error_t Error = nullptr;
    const soxr_io_spec_t Io = soxr_io_spec(SOXR_FLOAT64_I, SOXR_FLOAT64_I);
    const soxr_quality_spec_t Quality = soxr_quality_spec(SOXR_VHQ, 0);
    return soxr_create(Item.dfInput, Item.dfDevice / Item.dfSpeed, 2, &Error, &Io, &Quality, nullptr);
}

void RunSoxr(benchmark::State& State, Conversion Item)
{
    soxr_t Resampler = CreateSoxr(Item);
    if (Resampler == nullptr)
    {
        State.SkipWithError("soxr_create failed");
        return;
    }
    const std::vector<double> Input = MakeInput(Item.dfInput);
    const size_t ullFrames = Input.size() / 2;
    std::vector<double> Output(
        2 * (static_cast<size_t>(ullFrames * Item.dfDevice / Item.dfSpeed / Item.dfInput) + 4096));
    for (auto _ : State)
    {
        size_t ullDone = 0;
        soxr_process(Resampler, Input.data(), ullFrames, nullptr, Output.data(), Output.size() / 2, &ullDone);
        benchmark::DoNotOptimize(Output.data());
    }
    soxr_delete(Resampler);
    SetRealtimeFactor(State, 1.0);
}

void SetupSoxr(benchmark::State& State, Conversion Item)
{
    for (auto _ : State)
    {
        soxr_t Resampler = CreateSoxr(Item);
        benchmark::DoNotOptimize(Resampler);
        soxr_delete(Resampler);
    }
}
#endif

#ifdef LARKSPUR_HAVE_SAMPLERATE
void RunSamplerate(benchmark::State& State, Conversion Item)
{
    int iError = 0;
    SRC_STATE* pResampler = src_new(SRC_SINC_BEST_QUALITY, 2, &iError);
    if (pResampler == nullptr)
    {
        State.SkipWithError("src_new failed");
        return;
    }
    const std::vector<double> Source = MakeInput(Item.dfInput);
    const std::vector<float> Input(Source.begin(), Source.end());
    const double dfRatio = Item.dfDevice / Item.dfSpeed / Item.dfInput;
    std::vector<float> Output(2 *
                              (static_cast<size_t>(static_cast<double>(Input.size() / 2) * dfRatio) + 4096));
    for (auto _ : State)
    {
        SRC_DATA Data{};
        Data.data_in = Input.data();
        Data.input_frames = static_cast<long>(Input.size() / 2);
        Data.data_out = Output.data();
        Data.output_frames = static_cast<long>(Output.size() / 2);
        Data.src_ratio = dfRatio;
        // One call may stop early when its output is full; the rest goes in more calls.
        while (Data.input_frames > 0)
        {
            if (src_process(pResampler, &Data) != 0)
            {
                State.SkipWithError("src_process failed");
                break;
            }
            Data.data_in += 2 * Data.input_frames_used;
            Data.input_frames -= Data.input_frames_used;
            if (Data.input_frames_used == 0 && Data.output_frames_gen == 0)
            {
                break;
            }
        }
        benchmark::DoNotOptimize(Output.data());
    }
    src_delete(pResampler);
    SetRealtimeFactor(State, 1.0);
}

void SetupSamplerate(benchmark::State& State, Conversion)
{
    for (auto _ : State)
    {
        int iError = 0;
        SRC_STATE* pResampler = src_new(SRC_SINC_BEST_QUALITY, 2, &iError);
        benchmark::DoNotOptimize(pResampler);
        src_delete(pResampler);
    }
}
#endif

// Console output as usual, then one table of realtime factors and one of set-up times.
class TableReporter : public RecordingReporter
{
public:
    void Finalize() override
    {
        ConsoleReporter::Finalize();
        PrintTable("realtime factor (input seconds per CPU second, best repetition)", "run", "%12.1f");
        PrintTable("set-up time (ms CPU, best repetition)", "setup", "%12.3f");
    }

protected:
    void Record(const Run& Report) override
    {
        // Repetitions keep the best run: other load on the machine only ever slows a run down.
        const std::string Name = Report.run_name.str();
        const auto Counter = Report.counters.find("rtf");
        const auto Known = Values.find(Name);
        if (Counter != Report.counters.end())
        {
            const double dfFactor = Counter->second.value;
            Values[Name] = Known == Values.end() ? dfFactor : std::max(Known->second, dfFactor);
        }
        else
        {
            const double dfMilliseconds = Report.GetAdjustedCPUTime() / 1e3; // us -> ms
            Values[Name] = Known == Values.end() ? dfMilliseconds : std::min(Known->second, dfMilliseconds);
        }
    }

private:
    void PrintTable(const char* pTitle, const std::string& Kind, const char* pFormat)
    {
        const char* const Columns[] = {"ours", "soxr-vhq", "src-best", "literal"};
        std::printf("\n%s\n%-18s", pTitle, "conversion");
        for (const char* pColumn : Columns)
        {
            std::printf("%12s", pColumn);
        }
        std::printf("\n");
        for (const Conversion& Item : CONVERSIONS)
        {
            std::printf("%-18s", Item.pName);
            for (const char* pColumn : Columns)
            {
                const auto Found = Values.find(Kind + "/" + pColumn + "/" + Item.pName);
                if (Found == Values.end())
                {
                    std::printf("%12s", "-");
                }
                else
                {
                    std::printf(pFormat, Found->second);
                }
            }
            std::printf("\n");
        }
    }

    std::map<std::string, double> Values;
};

// The first set-up of a process computes the windows and twiddle tables that later ones reuse:
// the stall a first Play would see.
double FirstSetupMilliseconds(const Conversion& Item)
{
    const auto Start = std::chrono::steady_clock::now();
    SamplingFrequencyConverter Converter(10.0);
    Converter.Setup(2, Item.dfInput, Item.dfDevice, 8, 0, 0.0);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
}
// A resampler measured beside ours, where its development package was found at build time.
struct Yardstick
{
    const char* pName;
    void (*pRun)(benchmark::State&, Conversion);
    void (*pSetup)(benchmark::State&, Conversion);
};

std::vector<Yardstick> Yardsticks()
{
    std::vector<Yardstick> Result;
#ifdef LARKSPUR_HAVE_SOXR
    Result.push_back({"soxr-vhq", RunSoxr, SetupSoxr});
#endif
#ifdef LARKSPUR_HAVE_SAMPLERATE
    Result.push_back({"src-best", RunSamplerate, SetupSamplerate});
#endif
    return Result;
}

// "<Label>/<conversion>": pFunction on the conversion and the Extra arguments, timed in Unit.
template <typename Function, typename... Extra>
void Register(const std::string& Label, const Conversion& Item, benchmark::TimeUnit Unit, Function pFunction,
              Extra... Arguments)
{
    benchmark::RegisterBenchmark((Label + "/" + Item.pName).c_str(), pFunction, Item, Arguments...)
        ->Unit(Unit);
}
} // namespace

int main(int argc, char** argv)
{
    const double dfColdSetup = FirstSetupMilliseconds(CONVERSIONS[3]);
    for (const Conversion& Item : CONVERSIONS)
    {
        Register("run/ours", Item, benchmark::kMillisecond, RunOurs, false);
        for (const Yardstick& Other : Yardsticks())
        {
            Register(std::string("run/") + Other.pName, Item, benchmark::kMillisecond, Other.pRun);
        }
        if ((Item.dfDevice == 48000 && Item.dfSpeed == 1.0) || (Item.dfInput == 8000 && Item.dfSpeed == 0.5))
        {
            Register("run/literal", Item, benchmark::kMillisecond, RunOurs, true);
        }
    }
    for (const Conversion& Item : CONVERSIONS)
    {
        Register("setup/ours", Item, benchmark::kMicrosecond, SetupOurs);
        for (const Yardstick& Other : Yardsticks())
        {
            Register(std::string("setup/") + Other.pName, Item, benchmark::kMicrosecond, Other.pSetup);
        }
    }
    TableReporter Reporter;
    if (RecordingReporter::RunAll(argc, argv, Reporter) != 0)
    {
        return 1;
    }
    std::printf("\nfirst set-up in this process (8k->384k, windows and tables computed): %.1f ms\n",
                dfColdSetup);
    return 0;
}
