#pragma once
#include <cstdint>
#include <functional>

// Converts a WAV file offline exactly as the player would play it: read block by block, made
// stereo, converted to the device rate at a speed (with an optional spectrum shift), the last block
// completed with silence and the converter drained. The result is a stereo 32-bit float WAV file at
// the device rate, so nothing is rounded or clipped.
class OfflineRenderer
{
public:
    struct Settings
    {
        uint32_t uiDeviceRate = 48000;
        double dfSpeed = 1.0;
        int32_t iShift = 0;
    };

    // Where a render stopped.
    enum class Step : uint32_t
    {
        None = 0,
        OpenInput,      // the input is not a readable WAV file
        SetupConverter, // the converter refused the rates, speed or shift
        CreateOutput,   // the output cannot be created, or is the input itself
        Convert,        // reading or converting failed part-way
        WriteOutput,    // writing or completing the output failed
    };

    // Called after every delivered block with the input frames converted so far and the frames the
    // input header announces.
    using ProgressFunction = std::function<void(uint64_t ullConsumedFrames, uint64_t ullTotalFrames)>;

    // 1 done; negative: the failing step's result, with GetFailedStep telling which. A failed render
    // leaves no output file behind.
    int32_t Render(const char16_t* pInput, const char16_t* pOutput, const Settings& Choice,
                   const ProgressFunction& Progress);

    Step GetFailedStep() const { return FailedStep; }
    uint64_t GetFramesWritten() const { return ullFramesWritten; }
    uint32_t GetInputRate() const { return uiInputRate; }

private:
    int32_t Fail(Step At, int32_t iResult);

    Step FailedStep = Step::None;
    uint64_t ullFramesWritten = 0;
    uint32_t uiInputRate = 0;
};
