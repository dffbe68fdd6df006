#pragma once
#include <cstdint>
#include <string>
#include <vector>

// What is remembered of one file's practice, and the file it belongs to: its size, modification
// time and a hash of its first bytes (so a renamed or moved file is still found and an edited one is
// not mistaken for it). Kept as a few lines of text; Parse takes only what Format writes, whole, and
// refuses anything else, so a damaged entry is never half restored.
class PracticeRecord
{
public:
    static constexpr uint32_t MAX_MARKERS = 100;
    static constexpr double LONGEST_RUN_UP_SECONDS = 10.0;

    // The file.
    uint64_t ullFileSize = 0;
    int64_t llFileModified = 0;
    uint64_t ullFileHash = 0;
    // The sliders' positions.
    int32_t iSpeedPosition = 120;
    int32_t iVolumePosition = 200;
    // The loop: on with both ends, or only a marked start (ullLoopEnd 0), or none.
    bool bLoop = false;
    bool bStartMarked = false;
    uint64_t ullLoopStart = 0;
    uint64_t ullLoopEnd = 0;
    double dfRunUpSeconds = 0.0;
    bool bRunUpEvery = false;
    int32_t iTrainerSteps = 2;
    uint32_t uiTrainerEvery = 3;
    int32_t iTrainerUntil = 120;
    bool bTrainerOn = false;
    // The speed changes the tempo only.
    bool bKeepPitch = false;
    // In frames of the file, ascending.
    std::vector<uint64_t> Markers;
    // The place last heard, in frames.
    uint64_t ullPosition = 0;

    // The entry's text.
    std::string Format() const;
    // 1 the text was a whole entry (this record holds it); -1 damaged (this record unchanged).
    int32_t Parse(const std::string& Text);
    // Whether the two name the same file.
    bool IsSameFile(const PracticeRecord& Other) const
    {
        return ullFileSize == Other.ullFileSize && llFileModified == Other.llFileModified &&
               ullFileHash == Other.ullFileHash;
    }
};
