#pragma once
#include "app/dialog/PlayerTexts.h"
#include "runtime/CNonCopyable.h"

// Sets the language of every text for the object's life and puts the previous one back: a test of
// one language among tests of the other.
class ScopedPlayerLanguage : private CNonCopyable
{
public:
    explicit ScopedPlayerLanguage(PlayerLanguage Language) : Previous(PlayerTexts::Language())
    {
        PlayerTexts::SetLanguage(Language);
    }
    ~ScopedPlayerLanguage() { PlayerTexts::SetLanguage(Previous); }

private:
    PlayerLanguage Previous;
};
