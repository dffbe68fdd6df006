#pragma once
#include <cstdint>
#include <functional>
#include <vector>

// Converts a sound file offline exactly as the player would play it: read block by block, made
// stereo, converted to the device rate at a speed (with an optional spectrum shift), the last block
// completed with silence and the converter drained, each frame scaled by the volume smoother. The
// result is a stereo WAV file at the device rate: 32-bit float, so nothing is rounded or clipped, or
// integer PCM made by the quantiser exactly as the render thread writes it to a device.
class OfflineRenderer
{
public:
    // A move of the speed slider during the render: at dfInputSeconds of the input (once the
    // converter has consumed that many seconds of frames, checked between feeds) the speed glides
    // to dfSpeed, ramped as the player ramps a slider move.
    struct SpeedChange
    {
        double dfInputSeconds = 0.0;
        double dfSpeed = 1.0;
    };

    struct Settings
    {
        uint32_t uiDeviceRate = 48000;
        double dfSpeed = 1.0;
        int32_t iShift = 0;
        // Effective bits 1 ... 32 of integer output; 0 for float output.
        uint32_t uiBitCount = 0;
        // Bits per stored sample: 16, 24 or 32, at least uiBitCount; 0 for the smallest that holds it.
        uint32_t uiContainerBits = 0;
        // Volume 0 ... -80 dB, held from the first frame like a slider set before playback.
        double dfVolumeDb = 0.0;
        // Slider moves after the start at dfSpeed: times from 0 up to the input's length, never
        // going back; speeds within the slider's range (positions 0 ... 280).
        std::vector<SpeedChange> SpeedChanges;
        // The section of the input converted, in seconds of the input: from dfFromSeconds up to
        // dfToSeconds (negative: the end), rendered as a file holding only that section would be,
        // up to where the section's last frame ends at the speed: the converter's drained tail after
        // it is left out, so a section of N input frames at a steady speed gives ceil(N x device
        // rate / (input rate x speed)) frames. Speed changes must fall inside it.
        double dfFromSeconds = 0.0;
        double dfToSeconds = -1.0;
        // Keep pitch: the tempo follows the speed (and its changes) at the file's pitch; the
        // converter runs at x1. At exactly x1 the output is the same as without.
        int32_t bKeepPitch = 0;
    };

    // A section is chosen (a start after 0 or an end): the render ends at the section's end. The
    // whole file (neither) ends, as the player's playback does, with the converter's drained tail.
    static bool IsSection(const Settings& Choice);

    // The section's frames of an input of ullFrames at uiRate: each time to the nearest frame.
    // false when the times are out of order, negative, past the input's end, or the section empty.
    static bool SectionFrames(const Settings& Choice, uint32_t uiRate, uint64_t ullFrames, uint64_t& ullFrom,
                              uint64_t& ullTo);

    // The device period the volume smoother ramps over: 0.01 s of frames, at least one.
    static uint64_t PeriodFrames(uint32_t uiDeviceRate);
    // The container for uiBitCount bits when none is chosen: 16, 24 or 32; 0 for more than 32.
    static uint32_t DefaultContainer(uint32_t uiBitCount);

    // Where a render stopped.
    enum class Step : uint32_t
    {
        None = 0,
        Settings,       // bit counts or volume out of range
        OpenInput,      // the input is not a sound file the player reads
        SetupConverter, // the converter (or the stretcher) refused the rates, speed or shift
        SpeedChanges,   // a speed change out of order, outside the section, or off the slider
        Section,        // the section is out of order, empty or beyond the input's end
        OutputIsInput,  // the output is the input file itself
        CreateOutput,   // the output cannot be created
        Convert,        // reading or converting failed part-way
        WriteOutput,    // writing or completing the output failed
        ReplaceOutput,  // the finished file could not be renamed over the output
        Interrupted,    // the process is being interrupted (Windows' console events)
    };

    // Called after every delivered block with the input frames converted so far and the frames the
    // input header announces.
    using ProgressFunction = std::function<void(uint64_t ullConsumedFrames, uint64_t ullTotalFrames)>;

    // 1 done; negative: the failing step's result, with GetFailedStep telling which. The output is
    // written beside pOutput and renamed over it once complete: a failed or interrupted render leaves
    // pOutput as it was (a file that was there unchanged, none made).
    int32_t Render(const char16_t* pInput, const char16_t* pOutput, const Settings& Choice,
                   const ProgressFunction& Progress);

    Step GetFailedStep() const { return FailedStep; }
    uint64_t GetFramesWritten() const { return ullFramesWritten; }
    uint32_t GetInputRate() const { return uiInputRate; }
    // Frames the input header announces (0 before the input was opened).
    uint64_t GetInputFrames() const { return ullInputFrames; }
    // The error number (errno) of a failed WriteOutput step; 0 when none is known.
    int32_t GetSystemError() const { return iSystemError; }
    // Tests: the output cannot grow beyond this many bytes, as on a full disk; 0 no limit.
    void LimitOutputSize(uint64_t ullBytes) { ullOutputSizeLimit = ullBytes; }

private:
    int32_t Fail(Step At, int32_t iResult);

    Step FailedStep = Step::None;
    uint64_t ullFramesWritten = 0;
    uint32_t uiInputRate = 0;
    uint64_t ullInputFrames = 0;
    int32_t iSystemError = 0;
    uint64_t ullOutputSizeLimit = 0;
};
