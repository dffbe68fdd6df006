#include "runtime/CFileReplacement.h"

#include <atomic>
#include <chrono>

CFileReplacement::~CFileReplacement()
{
    Abandon();
}

bool CFileReplacement::StartOver(const char16_t* pTarget)
{
    Abandon();
    Target.clear();
    WritePath.clear();
    iSystemError = 0;
    return pTarget != nullptr && pTarget[0] != 0;
}

int32_t CFileReplacement::Commit()
{
    if (bInPlace)
    {
        bInPlace = false;
        return 1;
    }
    if (iSlot < 0)
    {
        return 0;
    }
    const int32_t iError = MoveOver(WritePath, Target);
    if (iError != 0)
    {
        iSystemError = iError;
        Abandon();
        return -1;
    }
    ReleaseSlot(iSlot);
    iSlot = -1;
    return 1;
}

void CFileReplacement::Abandon()
{
    bInPlace = false;
    if (iSlot < 0)
    {
        return;
    }
    const int32_t iReleased = iSlot;
    iSlot = -1;
    RemoveFile(WritePath);
    ReleaseSlot(iReleased);
}

std::u16string CFileReplacement::RandomSuffix(uint64_t ullAttempt)
{
    static std::atomic<uint64_t> Counter{0};
    uint64_t ullSeed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                       (ProcessNumber() << 32) ^ (Counter.fetch_add(1) * 0x9E3779B97F4A7C15ull) ^ ullAttempt;
    static constexpr char16_t LETTERS[] = u"abcdefghijklmnopqrstuvwxyz0123456789";
    std::u16string Suffix;
    for (int i = 0; i < 6; ++i)
    {
        ullSeed ^= ullSeed >> 33;
        ullSeed *= 0xFF51AFD7ED558CCDull;
        ullSeed ^= ullSeed >> 29;
        Suffix += LETTERS[ullSeed % (sizeof(LETTERS) / sizeof(LETTERS[0]) - 1)];
    }
    return Suffix;
}
