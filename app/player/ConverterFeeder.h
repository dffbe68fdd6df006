#pragma once
#include "app/player/ChannelDownmixer.h"

#include <cstdint>

class SAudioFileReader;
class SamplingFrequencyConverter;
class ParameterSmoother;
class TimeStretcher;

// The player's one chain from a file to device frames: blocks of frames read from the reader and
// made stereo (one channel widened, more than two down-mixed), written into the converter's input
// queue, converted, taken out of its output queue and scaled by the volume, one smoother step per
// frame; at the end of the file the last block is completed with silence and the converter drained.
// At a section's end (a loop's B, a render's --to) the drain is cut where the section ends: the
// frames the silence carries out past its last input frame are dropped, so a section lasts exactly
// its length at the speed. The playback thread delivers the frames to the sound buffer; the offline
// renderer writes them to a file.
//
//   ReadBlock(R);                              // R = 0: end of file, silence pushed
//   while ((iStep = ConvertStep(F)) == 1)      // F frames at GetOutput(), possibly 0
//       deliver the F frames;
//   iStep == 0: block finished (after R = 0: converter drained); iStep < 0: failure.
//
// Allocates nothing; the caller owns the reader, the converter, the volume and both buffers. One
// thread.
class ConverterFeeder
{
public:
    // The size of each of the chain's two buffers (the playback thread's "pdfInputSignalBuffer" and
    // "pdfOutputSignalBuffer").
    static constexpr uint64_t BUFFER_BYTES = 16384;

    // What Setup refused, for a caller that must end differently in each case. Setup keeps what
    // comes before the refused part: without an input buffer ReadBlock finds the end of the file at
    // once (completing the converter's last block when it is ready); with the converter side refused
    // it reads blocks; ConvertStep fails in both.
    enum class Refusal : int32_t
    {
        None,        // set up
        Reader,      // null, not open or no channels: nothing can be read
        InputBuffer, // null or too small for one frame
        Converter,   // converter null, not ready or not two channels; output buffer null or too small
    };

    // pVolume: the gain, one Next per converted frame; null for none. 1; -4 a null object or buffer,
    // a buffer of less than two stereo frames, a reader that is not open or has no channels, or a
    // converter that is not set up for two channels (GetRefusal says which).
    int32_t Setup(SAudioFileReader* pReader, SamplingFrequencyConverter* pConverter, double* pdfInput,
                  uint64_t ullInputBytes, double* pdfOutput, uint64_t ullOutputBytes,
                  ParameterSmoother* pVolume = nullptr);
    // Reads the next block and makes it stereo. ullFrames out: the frames read, 0 at the end of the
    // file; the first such read completes the converter's last block with silence (later ones push
    // nothing). 1 done; -1 no reader set up or the silence did not fit; the reader's negative
    // result.
    int32_t ReadBlock(uint64_t& ullFrames);
    // One round for the block last read: writes what the input queue takes of the rest of the
    // block, runs the converter and takes up to one output buffer of frames. ullFrames out: the
    // stereo frames now at GetOutput(), with the volume applied; after the reads stopped at a
    // section's end, only frames that lie before that end (possibly 0 while the rest of the drain
    // is dropped). 1 call again (after delivering them); 0 the block is done; -1 not fully set up or
    // a queue refused; -99 a count that is not whole frames; or Process's result.
    int32_t ConvertStep(uint64_t& ullFrames);
    // Continues from input frame ullFrame (a frame at or past the end ends the file at the next
    // read): the reader moves, the converter forgets the signal so far and counts from there, the
    // block under way and the end of the file are forgotten. The first ullFadeInFrames frames from
    // there fade in, as the sound buffer fades in after a gap, so that a converter started afresh
    // does not begin with a step. 1; -1 no reader set up; the reader's negative result.
    int32_t Restart(uint64_t ullFrame, uint64_t ullFadeInFrames = 0);
    // The frame the reads stop at as at the end of the file (the last block completed with silence,
    // the converter drained); NO_END for the file's own end. The ullFadeOutFrames frames before it
    // fade out, so that going on from elsewhere after it makes no click. Taken at the next read.
    // The drain ends at the section's end: an output frame is at input position x (in input frames
    // from where the reads started, as the converter's consumed count and read position place it),
    // and only frames with x before the frame where the reads stopped are given out, so a section of
    // N frames lasts ceil(N x output rate / input rate) frames at a steady speed; after a glide the
    // frames count at the positions the glide gave them. (The frames past the end are counted back
    // from the converter's next position at the rate in force, so a glide whose ramp, one hop of
    // frames, is still running in the section's last hop or two may be off by a frame.) bKeepTail
    // keeps the whole drain instead, as at the end of the file (a whole-file render that names the
    // file's end as its section's).
    void SetSectionEnd(uint64_t ullEnd, uint64_t ullFadeOutFrames = 0, bool bKeepTail = false);
    static constexpr uint64_t NO_END = ~uint64_t{0};
    // 1 when the reads stopped at the section's end rather than at the end of the file.
    int32_t IsAtSectionEnd() const { return bSectionEnd; }
    // The input frame the next read starts at.
    uint64_t GetReadFrame() const { return ullReadFrame; }

    Refusal GetRefusal() const { return eRefusal; }
    // 1 once a read found the end of the file (also when its silence did not fit), else 0.
    int32_t IsAtEndOfFile() const { return bEndOfFile; }
    const double* GetOutput() const { return pdfOutputBuffer; }
    double* GetOutput() { return pdfOutputBuffer; }
    // Frames asked of the reader per block (1024 for one or two channels).
    uint64_t GetRequestFrames() const { return ullRequestFrames; }

    // Keep pitch: the stereo frames pass through pStretcher (set up, not owned; null for none) on
    // their way into the converter, which then runs at x1. bStretch takes effect at once when
    // nothing has been read since Setup or Restart, otherwise at the next Restart, so a change while
    // playing comes with the fades of a jump. The positions stay those of the file.
    void SetStretcher(TimeStretcher* pTimeStretcher, int32_t bStretch);
    // 1 while the frames go through the stretcher.
    int32_t IsStretching() const { return bStretching; }
    // The input frame played up to: the converter's consumed count, or where the stretched frames
    // the converter consumed lie in the file.
    uint64_t GetConsumedFrames() const;
    // Where in the file the next frame ConvertStep gives out lies (frames already waiting in the
    // converter's output queue counted back at the rate in force), for going on from exactly there
    // in another mode.
    double GetNextOutputPosition() const;

private:
    // The fades of the frames just read, before they reach the converter.
    void ApplyFades(uint64_t ullFrames);
    // After the reads stopped at a section's end: ullFrames, just taken from the converter, cut to
    // the frames that lie before the end.
    void CutAtSectionEnd(uint64_t& ullFrames);
    // ConvertStep's writing and converting through the stretcher: the converter's result, with
    // ullMoved the frames that went into the stretcher or out of it.
    int32_t StretchAndConvert(uint64_t& ullConverted, uint64_t& ullMoved);

    SAudioFileReader* pReader = nullptr;
    SamplingFrequencyConverter* pConverter = nullptr;
    ParameterSmoother* pGain = nullptr;
    double* pdfInputBuffer = nullptr;
    double* pdfOutputBuffer = nullptr;
    uint64_t ullRequestFrames = 0;
    uint64_t ullOutputFrames = 0;
    ChannelDownmixer Downmixer;
    // The block being converted: its frames and how many of them the input queue took.
    uint64_t ullBlockFrames = 0;
    uint64_t ullBlockConsumed = 0;
    int32_t bEndOfFile = 0;
    int32_t bSectionEnd = 0;
    uint64_t ullReadFrame = 0;
    uint64_t ullSectionEnd = NO_END;
    uint64_t ullFadeOutFrames = 0;
    uint64_t ullFadeInStart = 0;
    uint64_t ullFadeInFrames = 0;
    // The cut at a section's end. Where the reads (re)started, in the reader's frames and in the
    // converter's consumed count; the frames given out since; the frame the reads stopped at
    // (NO_END before they stop at a section's end, or with the tail kept); and, once the converter
    // has made a frame at or past that end, how many frames are given out in all (NO_END before).
    int32_t bKeepTail = 0;
    uint64_t ullStartFrame = 0;
    uint64_t ullStartConsumed = 0;
    uint64_t ullGivenFrames = 0;
    uint64_t ullCutFrame = NO_END;
    uint64_t ullKeptFrames = NO_END;
    Refusal eRefusal = Refusal::Reader;
    TimeStretcher* pStretcher = nullptr;
    int32_t bStretching = 0;
    int32_t bStretchWanted = 0;
    int32_t bFreshStart = 1;
    // The stretcher's input has ended and its tail still goes into the converter, whose own last
    // block is completed once the stretcher is drained.
    int32_t bStretchDraining = 0;
};
