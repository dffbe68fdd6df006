#pragma once
#include "app/dialog/PlayerTexts.h"

// Sets the language of every text for the object's life and puts the previous one back: a test of
// one language among tests of the other.
class ScopedPlayerLanguage
{
public:
    explicit ScopedPlayerLanguage(PlayerLanguage Language) : Previous(PlayerTexts::Language())
    {
        PlayerTexts::SetLanguage(Language);
    }
    ~ScopedPlayerLanguage() { PlayerTexts::SetLanguage(Previous); }
    ScopedPlayerLanguage(const ScopedPlayerLanguage&) = delete;
    ScopedPlayerLanguage& operator=(const ScopedPlayerLanguage&) = delete;

private:
    PlayerLanguage Previous;
};
