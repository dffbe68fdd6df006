#pragma once
#include <cstdint>
#include <ostream>

// A one-line progress bar on a text stream (the console's error stream): nothing until a job has
// run for a while, then "\r"-redrawn at most ten times a second; Finish ends the line when a bar
// was drawn, so quick jobs leave no trace. Time is passed in, in seconds since the job started.
class ProgressBar
{
public:
    explicit ProgressBar(std::ostream& Target, double dfDelaySeconds = 1.0)
        : Out(Target), dfDelay(dfDelaySeconds)
    {
    }

    void Update(uint64_t ullDone, uint64_t ullTotal, double dfElapsedSeconds);
    // Ends the bar's line, if it was shown at all: drawn full for a job that completed, left where
    // it stood for one that failed.
    void Finish(double dfElapsedSeconds, bool bCompleted = true);
    bool IsShown() const { return bShown; }

private:
    void Draw(uint64_t ullDone, uint64_t ullTotal, double dfElapsedSeconds);

    std::ostream& Out;
    double dfDelay;
    double dfLastDrawn = -1.0;
    uint64_t ullLastTotal = 0;
    bool bShown = false;
};
