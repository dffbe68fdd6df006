#pragma once
#include "app/dialog/PlaybackSession.h"

#include <cstdint>
#include <string>

// A user's request that is no message of the dialog's controls: a click or drag on the progress bar,
// a practice key or an item of the progress bar's menu, a file dropped or named on the command line,
// a media key or the desktop's media controls. Front ends turn what their toolkit reports into one of
// these and hand it to the dialog.
struct DialogEvent
{
    enum class Kind : uint32_t
    {
        SeekToFraction, // dfValue: 0 ... 1 of the file
        Practice,       // What
        OpenFile,       // Path
        PlayPause,      // a media key's play/pause
        Play,
        Pause,
        Stop,
        SeekBy,        // dfValue seconds from the place heard
        SeekToSeconds, // dfValue seconds of the file
    };

    Kind What = Kind::SeekToFraction;
    double dfValue = 0.0;
    PlaybackSession::Action Practice = PlaybackSession::Action::SeekBack;
    std::u16string Path;
};
