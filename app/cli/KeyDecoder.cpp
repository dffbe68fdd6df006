#include "app/cli/KeyDecoder.h"

#include "app/dialog/MainDialog.h"

#include <cstdlib>

namespace
{
constexpr uint8_t ESCAPE = 0x1b;
constexpr uint8_t END_OF_TEXT = 0x03;

ConsoleKey ArrowKey(char cFinal, bool bModified)
{
    switch (cFinal)
    {
    case 'A':
        return ConsoleKey::VolumeUp;
    case 'B':
        return ConsoleKey::VolumeDown;
    case 'C':
        return bModified ? ConsoleKey::SpeedUpTen : ConsoleKey::SpeedUp;
    case 'D':
        return bModified ? ConsoleKey::SpeedDownTen : ConsoleKey::SpeedDown;
    default:
        return ConsoleKey::None;
    }
}

// The practice keys are the window's: the key of the same action, which stands at the same place
// among the practice keys (LARKSPUR_PRACTICE_ACTIONS).
ConsoleKey PracticeKey(uint8_t ucByte)
{
    PlaybackSession::Action What;
    if (MainDialog::ActionOfKey(static_cast<char16_t>(ucByte), What) == 0)
    {
        // Any other key still counts as pressed: it takes the key list away.
        return ConsoleKey::Other;
    }
    return static_cast<ConsoleKey>(static_cast<uint32_t>(ConsoleKey::SeekBack) + static_cast<uint32_t>(What));
}

ConsoleKey PlainKey(uint8_t ucByte)
{
    switch (ucByte)
    {
    case ' ':
        return ConsoleKey::PauseOrResume;
    case 'r':
    case 'R':
        return ConsoleKey::Restart;
    case 'q':
    case 'Q':
    case END_OF_TEXT:
        return ConsoleKey::Quit;
    case '[':
        return ConsoleKey::SpeedDownTen;
    case ']':
        return ConsoleKey::SpeedUpTen;
    case '?':
    case 'h':
    case 'H':
        return ConsoleKey::Help;
    default:
        return PracticeKey(ucByte);
    }
}
} // namespace

int32_t JumpTenths(ConsoleKey Key)
{
    const int iTenths = static_cast<int>(Key) - static_cast<int>(ConsoleKey::Jump0);
    return iTenths >= 0 && iTenths <= 9 ? iTenths : -1;
}

ConsoleKey KeyDecoder::Feed(uint8_t ucByte)
{
    if (Pending.empty())
    {
        if (ucByte == ESCAPE)
        {
            Pending.push_back(static_cast<char>(ucByte));
            return ConsoleKey::None;
        }
        return PlainKey(ucByte);
    }
    if (Pending.size() == 1)
    {
        if (ucByte == '[' || ucByte == 'O')
        {
            Pending.push_back(static_cast<char>(ucByte));
            return ConsoleKey::None;
        }
        // ESC followed by anything else (Alt+key, or Escape pressed twice) counts as Escape.
        Pending.clear();
        return ConsoleKey::Quit;
    }
    // Inside ESC [ ... or ESC O ...: parameters until a final byte.
    if (ucByte >= 0x40 && ucByte <= 0x7e)
    {
        const std::string Parameters = Pending.substr(2);
        Pending.clear();
        // "1;2" (Shift), "1;4" (Shift+Alt), "1;6" (Shift+Ctrl)...: the modifier's bit 0 is Shift.
        bool bShift = false;
        const size_t uSemicolon = Parameters.find(';');
        if (uSemicolon != std::string::npos)
        {
            const int iModifier = std::atoi(Parameters.c_str() + uSemicolon + 1);
            bShift = iModifier >= 2 && ((iModifier - 1) & 1) != 0;
        }
        return ArrowKey(static_cast<char>(ucByte), bShift);
    }
    if (Pending.size() > 16)
    {
        Pending.clear();
        return ConsoleKey::None;
    }
    Pending.push_back(static_cast<char>(ucByte));
    return ConsoleKey::None;
}

ConsoleKey KeyDecoder::Flush()
{
    const bool bLoneEscape = Pending.size() == 1;
    Pending.clear();
    return bLoneEscape ? ConsoleKey::Quit : ConsoleKey::None;
}
