#pragma once
#include "app/cli/KeyDecoder.h"
#include "app/dialog/PlaybackSession.h"

#include <cstdint>
#include <string>

// The terminal's words for the practice session: which keys are its actions, and the status line's
// part that shows the loop, the trainer or the last action's notice.
namespace PracticeText
{
// The session's action of a key (seeks, jumps, loop marks, trainer); false for any other key.
bool ActionOfKey(ConsoleKey Key, PlaybackSession::Action& What);
// "A 0:12.0 B 0:19.5 rep 3 next x0.79 up 2.0s M3/7", "A 0:12.0", "trainer on", a notice, or
// empty; the speed slider is at iSpeedPosition.
std::string StatusText(const PlaybackSession& Session, int32_t iSpeedPosition);
// The key list that ? and h show.
std::string HelpText();
// The words of a notice.
std::string NoticeText(const PlaybackSession& Session, PlaybackSession::Notice What);
} // namespace PracticeText
