#include "app/dialog/PlayerTexts.h"

#include <atomic>

namespace
{
// Chosen once at the start, before any window or thread reads it; atomic only so that a test that
// switches it is never a race for the tools that look for them.
std::atomic<PlayerLanguage> ChosenLanguage{PlayerLanguage::Japanese};
} // namespace

const char16_t* PlayerText::Get() const
{
    return In(ChosenLanguage.load(std::memory_order_relaxed));
}

namespace PlayerTexts
{
void SetLanguage(PlayerLanguage Language)
{
    ChosenLanguage.store(Language, std::memory_order_relaxed);
}

PlayerLanguage Language()
{
    return ChosenLanguage.load(std::memory_order_relaxed);
}
} // namespace PlayerTexts
