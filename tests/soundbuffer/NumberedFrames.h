#pragma once
#include <cstdint>
#include <vector>

// ullCount stereo frames from frame ullFirst on, frame i holding (i + 1, -(i + 1)), so order and
// channel placement are both visible.
inline std::vector<double> NumberedFrames(uint64_t ullFirst, uint64_t ullCount)
{
    std::vector<double> Result;
    for (uint64_t i = ullFirst; i < ullFirst + ullCount; ++i)
    {
        Result.push_back(static_cast<double>(i + 1));
        Result.push_back(-static_cast<double>(i + 1));
    }
    return Result;
}
