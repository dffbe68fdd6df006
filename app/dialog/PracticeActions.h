#pragma once

// The practice actions in their order, written once for the two enumerations that must keep it:
// the session's PlaybackSession::Action and the terminal player's keys (ConsoleKey), which map onto
// each other by position. ACTION(Name) for each.
// clang-format off
#define LARKSPUR_PRACTICE_ACTIONS(ACTION) \
    ACTION(SeekBack)             /* 5 s back */ \
    ACTION(SeekForward)          /* 5 s on */ \
    ACTION(SeekBackFar)          /* 30 s back */ \
    ACTION(SeekForwardFar)       /* 30 s on */ \
    ACTION(LoopStart)            /* A here */ \
    ACTION(LoopEnd)              /* B here, and loop from A */ \
    ACTION(LoopClear) \
    ACTION(Trainer)              /* on / off */ \
    ACTION(Jump0)                /* 0 %, 10 % ... 90 % of the file, in this order */ \
    ACTION(Jump1) \
    ACTION(Jump2) \
    ACTION(Jump3) \
    ACTION(Jump4) \
    ACTION(Jump5) \
    ACTION(Jump6) \
    ACTION(Jump7) \
    ACTION(Jump8) \
    ACTION(Jump9) \
    ACTION(NudgeStartEarlier)    /* A or B 10 ms (Far: 100 ms) earlier or later while a loop is set */ \
    ACTION(NudgeStartLater) \
    ACTION(NudgeStartEarlierFar) \
    ACTION(NudgeStartLaterFar) \
    ACTION(NudgeEndEarlier) \
    ACTION(NudgeEndLater) \
    ACTION(NudgeEndEarlierFar) \
    ACTION(NudgeEndLaterFar) \
    ACTION(RunUp)                /* the run-up's next length: none, 1, 2, 3, 5 s */ \
    ACTION(RunUpEvery)           /* the run-up before every repetition / before the first only */ \
    ACTION(MarkerAdd)            /* a marker at the place heard */ \
    ACTION(MarkerNext)           /* to the next marker after the place heard */ \
    ACTION(MarkerPrevious)       /* to the marker before */ \
    ACTION(MarkerRemove)         /* the marker nearest the place heard */ \
    ACTION(KeepPitch)            /* on / off: the tempo follows the speed, the pitch stays */
// clang-format on

// One enumerator for each action.
#define LARKSPUR_PRACTICE_ENUMERATOR(Name) Name,
