#pragma once
#include <benchmark/benchmark.h>

#include <vector>

// Console output as usual; before it, every iteration run that finished without error goes to
// Record, for the tables a benchmark prints at the end.
class RecordingReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run>& Reports) override
    {
        for (const Run& Report : Reports)
        {
            if (Report.run_type == Run::RT_Iteration && !Report.error_occurred)
            {
                Record(Report);
            }
        }
        ConsoleReporter::ReportRuns(Reports);
    }

    // Runs the benchmarks the command line selects into Reporter; 1 for arguments it does not know.
    static int RunAll(int& argc, char** argv, RecordingReporter& Reporter)
    {
        benchmark::Initialize(&argc, argv);
        if (benchmark::ReportUnrecognizedArguments(argc, argv))
        {
            return 1;
        }
        benchmark::RunSpecifiedBenchmarks(&Reporter);
        benchmark::Shutdown();
        return 0;
    }

protected:
    virtual void Record(const Run& Report) = 0;
};
