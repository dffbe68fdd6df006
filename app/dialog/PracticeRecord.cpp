#include "app/dialog/PracticeRecord.h"

#include "app/player/PlayerScales.h"

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <sstream>

namespace
{
constexpr const char* HEADER = "larkspur practice 1";
constexpr const char* FOOTER = "end";

// The whole word as an unsigned or signed number, nothing else.
bool Whole(const std::string& Word, uint64_t& ullValue)
{
    if (Word.empty() || Word.size() > 20 || Word.find_first_not_of("0123456789") != std::string::npos)
    {
        return false;
    }
    ullValue = 0;
    for (const char c : Word)
    {
        const uint64_t ullDigit = static_cast<uint64_t>(c - '0');
        if (ullValue > (UINT64_MAX - ullDigit) / 10)
        {
            return false;
        }
        ullValue = ullValue * 10 + ullDigit;
    }
    return true;
}

bool Signed(const std::string& Word, int64_t& llValue)
{
    const bool bNegative = !Word.empty() && Word[0] == '-';
    uint64_t ullMagnitude = 0;
    if (!Whole(bNegative ? Word.substr(1) : Word, ullMagnitude) || ullMagnitude > INT64_MAX)
    {
        return false;
    }
    llValue = bNegative ? -static_cast<int64_t>(ullMagnitude) : static_cast<int64_t>(ullMagnitude);
    return true;
}

bool InRange(const std::string& Word, int64_t llLowest, int64_t llHighest, int64_t& llValue)
{
    return Signed(Word, llValue) && llValue >= llLowest && llValue <= llHighest;
}

bool Hex(const std::string& Word, uint64_t& ullValue)
{
    if (Word.size() != 16 || Word.find_first_not_of("0123456789abcdef") != std::string::npos)
    {
        return false;
    }
    ullValue = std::stoull(Word, nullptr, 16);
    return true;
}

bool Flag(const std::string& Word, const char* pYes, const char* pNo, bool& bValue)
{
    bValue = Word == pYes;
    return bValue || Word == pNo;
}
} // namespace

std::string PracticeRecord::Format() const
{
    std::ostringstream Text;
    char Hash[20];
    std::snprintf(Hash, sizeof(Hash), "%016" PRIx64, ullFileHash);
    Text << HEADER << '\n' << "file " << ullFileSize << ' ' << llFileModified << ' ' << Hash << '\n';
    Text << "speed " << iSpeedPosition << '\n' << "volume " << iVolumePosition << '\n';
    if (bLoop || bStartMarked)
    {
        Text << "loop " << ullLoopStart << ' ' << (bLoop ? ullLoopEnd : 0) << ' ' << (bLoop ? "on" : "off")
             << '\n';
    }
    // Tenths of a second, as the option takes them.
    Text << "runup " << std::lround(dfRunUpSeconds * 10.0) << ' ' << (bRunUpEvery ? "every" : "first")
         << '\n';
    Text << "trainer " << iTrainerSteps << ' ' << uiTrainerEvery << ' ' << iTrainerUntil << ' '
         << (bTrainerOn ? "on" : "off") << '\n';
    if (bKeepPitch)
    {
        Text << "keeppitch on\n";
    }
    for (const uint64_t ullMarker : Markers)
    {
        Text << "marker " << ullMarker << '\n';
    }
    Text << "position " << ullPosition << '\n' << FOOTER << '\n';
    return Text.str();
}

int32_t PracticeRecord::Parse(const std::string& Text)
{
    PracticeRecord Read;
    std::istringstream Lines(Text);
    std::string Line;
    if (!std::getline(Lines, Line) || Line != HEADER)
    {
        return -1;
    }
    bool bFile = false;
    bool bEnd = false;
    while (std::getline(Lines, Line))
    {
        if (bEnd)
        {
            return -1; // nothing may follow the end
        }
        std::istringstream Words(Line);
        std::vector<std::string> W;
        for (std::string Word; Words >> Word;)
        {
            W.push_back(Word);
        }
        int64_t a = 0;
        int64_t b = 0;
        int64_t c = 0;
        uint64_t u = 0;
        uint64_t v = 0;
        bool bGood = false;
        const std::string Key = W.empty() ? std::string() : W[0];
        if (Key == FOOTER && W.size() == 1)
        {
            bEnd = true;
            bGood = true;
        }
        else if (Key == "file" && W.size() == 4)
        {
            bGood = Whole(W[1], Read.ullFileSize) && Signed(W[2], Read.llFileModified) &&
                    Hex(W[3], Read.ullFileHash);
            bFile = bGood;
        }
        else if (Key == "speed" && W.size() == 2)
        {
            bGood = InRange(W[1], 0, PlayerScales::SPEED_MAXIMUM_POSITION, a);
            Read.iSpeedPosition = static_cast<int32_t>(a);
        }
        else if (Key == "volume" && W.size() == 2)
        {
            bGood = InRange(W[1], 0, PlayerScales::VOLUME_MAXIMUM_POSITION, a);
            Read.iVolumePosition = static_cast<int32_t>(a);
        }
        else if (Key == "loop" && W.size() == 4)
        {
            bGood = Whole(W[1], u) && Whole(W[2], v) && Flag(W[3], "on", "off", Read.bLoop) &&
                    (Read.bLoop ? v > u : v == 0);
            Read.bStartMarked = !Read.bLoop;
            Read.ullLoopStart = u;
            Read.ullLoopEnd = v;
        }
        else if (Key == "runup" && W.size() == 3)
        {
            bGood = InRange(W[1], 0, std::lround(LONGEST_RUN_UP_SECONDS * 10.0), a) &&
                    Flag(W[2], "every", "first", Read.bRunUpEvery);
            Read.dfRunUpSeconds = static_cast<double>(a) / 10.0;
        }
        else if (Key == "trainer" && W.size() == 5)
        {
            bGood = InRange(W[1], 1, PlayerScales::SPEED_MAXIMUM_POSITION, a) && InRange(W[2], 1, 1000, b) &&
                    InRange(W[3], 0, PlayerScales::SPEED_MAXIMUM_POSITION, c) &&
                    Flag(W[4], "on", "off", Read.bTrainerOn);
            Read.iTrainerSteps = static_cast<int32_t>(a);
            Read.uiTrainerEvery = static_cast<uint32_t>(b);
            Read.iTrainerUntil = static_cast<int32_t>(c);
        }
        else if (Key == "keeppitch" && W.size() == 2)
        {
            // Written only when on, so entries from before it read as off.
            bGood = Flag(W[1], "on", "off", Read.bKeepPitch);
        }
        else if (Key == "marker" && W.size() == 2)
        {
            bGood = Whole(W[1], u) && Read.Markers.size() < MAX_MARKERS;
            Read.Markers.push_back(u);
        }
        else if (Key == "position" && W.size() == 2)
        {
            bGood = Whole(W[1], Read.ullPosition);
        }
        if (!bGood)
        {
            return -1;
        }
    }
    if (!bFile || !bEnd)
    {
        return -1;
    }
    std::sort(Read.Markers.begin(), Read.Markers.end());
    Read.Markers.erase(std::unique(Read.Markers.begin(), Read.Markers.end()), Read.Markers.end());
    *this = std::move(Read);
    return 1;
}
