#include "app/dialog/PlaybackSession.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/MainDialog.h"
#include "app/player/PlaybackEngine.h"
#include "app/player/PlayerScales.h"
#include "tests/dialog/PlayerRig.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <vector>

// The practice session on the recording host and the virtual device with its manual clock; the
// session's own time is virtual, so notices expire when the test says.

using namespace DialogControlIds;
using Action = PlaybackSession::Action;
using Notice = PlaybackSession::Notice;

namespace
{
constexpr uint32_t RATE = 48000;
constexpr uint64_t LENGTH = 60 * RATE;

// A fraction of the file as the progress bar shows it.
int32_t Bar(double dfFraction)
{
    return static_cast<int32_t>(std::floor(dfFraction * PlayerScales::PROGRESS_RANGE + 0.5));
}

struct SessionRig
{
    SessionRig()
        : Session(
              Rig.pEntry->GetEngine(), [this] { return iSpeed; },
              [this](int32_t iPosition) { iSpeed = iPosition; }, [this] { return Now; })
    {
        Rig.pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, RATE, 24);
        Rig.Host.Open();
        Rig.ChooseToneFile("session.wav", LENGTH, RATE);
    }

    void Play()
    {
        Rig.Host.Click(ID_PLAY);
        ASSERT_EQ(Rig.State.bPlaying, 1);
        ASSERT_TRUE(Rig.PlayPeriods(10));
    }

    // Plays a period at a time, the session ticking after each, until the loop has been heard
    // uiRepetitions times or uiMostPeriods have played; the speeds the slider took, from the present
    // one on. Check with ASSERT_NO_FATAL_FAILURE.
    void PlayRepetitions(uint32_t uiRepetitions, uint32_t uiMostPeriods, std::vector<int32_t>& Speeds)
    {
        Speeds = {iSpeed};
        for (uint32_t i = 0; i < uiMostPeriods && Session.GetRepetition() < uiRepetitions; ++i)
        {
            ASSERT_TRUE(Rig.PlayPeriods(1));
            Session.Tick();
            if (iSpeed != Speeds.back())
            {
                Speeds.push_back(iSpeed);
            }
        }
    }

    PlayerRig Rig;
    int32_t iSpeed = 120;
    PlaybackSession::Clock::time_point Now{};
    PlaybackSession Session;
};
} // namespace

TEST(PlaybackSession, SeeksKeepToTheFileAndNeverLoseThePlace)
{
    SessionRig S;
    PlaybackSession& Session = S.Session;
    // Not playing: nothing moves.
    EXPECT_EQ(Session.SeekBy(5.0), 0);
    ASSERT_NO_FATAL_FAILURE(S.Play());

    // Tenths of the file exactly, whatever the rate divides.
    EXPECT_EQ(Session.Perform(Action::Jump3), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 18 * RATE);
    EXPECT_EQ(S.Rig.pEntry->GetEngine().GetPosition(), 18 * RATE);
    // Relative seeks count from the place heard; back stops at the start.
    EXPECT_EQ(Session.Perform(Action::SeekForward), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 23 * RATE);
    EXPECT_EQ(Session.Perform(Action::SeekBackFar), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 0u);
    // On past the end is refused and says why; the place stays.
    EXPECT_EQ(Session.Perform(Action::Jump9), 1);
    EXPECT_EQ(Session.Perform(Action::SeekForward), 1);
    EXPECT_EQ(Session.Perform(Action::SeekForwardFar), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::PastTheEnd);
    EXPECT_EQ(Session.GetHeardPosition(), 59 * RATE);
    EXPECT_EQ(S.Rig.pEntry->GetEngine().HasEnded(), 0);
    // The notice lasts its time, and the next action's result replaces it at once.
    S.Now += PlaybackSession::NOTICE_TIME - std::chrono::milliseconds(1);
    EXPECT_EQ(Session.GetNotice(), Notice::PastTheEnd);
    S.Now += std::chrono::milliseconds(1);
    EXPECT_EQ(Session.GetNotice(), Notice::None);
    Session.Perform(Action::SeekForwardFar);
    Session.Perform(Action::Jump0);
    EXPECT_EQ(Session.GetNotice(), Notice::None);
    // Fractions are clamped to the file.
    EXPECT_EQ(Session.SeekToFraction(0.75), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 45 * RATE);
    EXPECT_EQ(Session.SeekToFraction(-3.0), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 0u);

    // Once the new place plays, what is heard trails the converter by what is queued behind it.
    ASSERT_TRUE(S.Rig.PlayPeriods(20));
    const uint64_t ullPosition = S.Rig.pEntry->GetEngine().GetPosition();
    const uint64_t ullHeard = Session.GetHeardPosition();
    EXPECT_LT(ullHeard, ullPosition);
    EXPECT_LT(ullPosition - ullHeard, RATE / 5);
    S.Rig.Host.Click(ID_STOP);
}

TEST(PlaybackSession, TheLoopIsMarkedWhereHeardOrRefusedWithItsReason)
{
    SessionRig S;
    PlaybackSession& Session = S.Session;
    ASSERT_NO_FATAL_FAILURE(S.Play());
    EXPECT_EQ(Session.Perform(Action::LoopEnd), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::LoopNeedsStart);

    Session.Perform(Action::Jump1);
    EXPECT_EQ(Session.Perform(Action::LoopStart), 1);
    EXPECT_TRUE(Session.HasMarkedStart());
    EXPECT_EQ(Session.GetMarkedStart(), 6 * RATE);
    EXPECT_EQ(Session.GetNotice(), Notice::None);
    // B before A, then B too close to A.
    Session.Perform(Action::Jump0);
    EXPECT_EQ(Session.Perform(Action::LoopEnd), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::LoopOrder);
    EXPECT_EQ(Session.SetLoop(6 * RATE, 6 * RATE + RATE / 2 - 1), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::LoopTooShort);
    EXPECT_FALSE(Session.HasLoop());
    // Exactly half a second is taken.
    EXPECT_EQ(Session.SetLoop(6 * RATE, 6 * RATE + RATE / 2), 1);
    EXPECT_TRUE(Session.HasLoop());
    EXPECT_EQ(Session.GetRepetition(), 1u);

    // B at the place heard plays from A at once.
    Session.ClearLoop();
    Session.Perform(Action::LoopStart);
    Session.Perform(Action::Jump2);
    EXPECT_EQ(Session.Perform(Action::LoopEnd), 1);
    EXPECT_EQ(Session.GetLoopStart(), 0u);
    EXPECT_EQ(Session.GetLoopEnd(), 12 * RATE);
    EXPECT_EQ(Session.GetHeardPosition(), 0u);
    uint64_t ullStart = 0;
    uint64_t ullEnd = 0;
    EXPECT_TRUE(S.Rig.State.GetLoop(ullStart, ullEnd));
    EXPECT_EQ(ullEnd, 12 * RATE);
    EXPECT_EQ(Session.Perform(Action::LoopClear), 1);
    EXPECT_FALSE(S.Rig.State.GetLoop(ullStart, ullEnd));
    EXPECT_EQ(Session.Perform(Action::LoopClear), 0);

    // The trainer: refused at its target, then on and off.
    S.iSpeed = 120;
    EXPECT_EQ(Session.Perform(Action::Trainer), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::TrainerAtTarget);
    S.iSpeed = 100;
    EXPECT_EQ(Session.Perform(Action::Trainer), 1);
    EXPECT_TRUE(Session.IsTrainerOn());
    EXPECT_EQ(Session.GetTrainerNextPosition(), 102);
    EXPECT_EQ(Session.Perform(Action::Trainer), 1);
    EXPECT_EQ(Session.GetNotice(), Notice::TrainerOff);
    S.Rig.Host.Click(ID_STOP);
}

// The window's side: keys and the progress bar's menu reach the session, the bar shows the loop and
// the tooltip the place.
TEST(PlaybackSession, TheWindowsKeysMenuAndBarDriveIt)
{
    PlayerRig Rig;
    Rig.pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, RATE, 24);
    Rig.Host.Open();
    Rig.ChooseToneFile("window.wav", LENGTH, RATE);
    MainDialog& Dialog = Rig.pEntry->GetDialog();
    Rig.Host.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    EXPECT_EQ(Rig.Host.iFocus, ID_PAUSE);

    const auto Key = [&Dialog](char16_t cKey)
    {
        DialogEvent Event;
        Event.What = DialogEvent::Kind::Practice;
        EXPECT_EQ(MainDialog::ActionOfKey(cKey, Event.Practice), 1) << static_cast<int>(cKey);
        return Dialog.OnUserEvent(Event);
    };
    PlaybackSession::Action Ignored;
    EXPECT_EQ(MainDialog::ActionOfKey(u'w', Ignored), 0);
    EXPECT_EQ(Key(u'5'), 1);
    EXPECT_EQ(Key(u'a'), 1);
    EXPECT_EQ(Rig.Host.Item(ID_PROGRESS).iLoopStart, Bar(0.5));
    EXPECT_EQ(Rig.Host.Item(ID_PROGRESS).iLoopEnd, -1);
    EXPECT_EQ(Key(u'6'), 1);
    EXPECT_EQ(Key(u'B'), 1);
    EXPECT_EQ(Rig.Host.Item(ID_PROGRESS).iLoopEnd, Bar(0.6));
    EXPECT_EQ(Rig.Host.Item(ID_PROGRESS).Tooltip, u"0:30.0 / 1:00.0\nループ A 0:30.0 – B 0:36.0（1 回目）");
    // A refusal beeps.
    EXPECT_EQ(Key(u'>'), 0);
    EXPECT_EQ(Rig.Host.BeepCount(), 1u);

    // A nudge by key and by the menu: the tooltip shows the point to the hundredth.
    EXPECT_EQ(Key(u'X'), 1);
    EXPECT_NE(Rig.Host.Item(ID_PROGRESS).Tooltip.find(u"ループ開始 → 0:30.01"), std::u16string::npos);
    const std::vector<MainDialog::MenuItem> Menu = Dialog.GetProgressMenu();
    ASSERT_EQ(Menu.size(), 15u);
    EXPECT_EQ(Menu[5].What, Action::NudgeStartEarlier);
    DialogEvent Nudge;
    Nudge.What = DialogEvent::Kind::Practice;
    Nudge.Practice = Menu[5].What;
    EXPECT_EQ(Dialog.OnUserEvent(Nudge), 1);
    EXPECT_EQ(Dialog.GetSession().GetLoopStart(), 30 * RATE);
    EXPECT_EQ(Menu.back().What, Action::MarkerRemove);
    EXPECT_EQ(Menu.back().bEnabled, 0);
    EXPECT_EQ(Menu[0].Text, u"ループ開始\tA");
    EXPECT_EQ(Menu[2].What, Action::LoopClear);
    EXPECT_EQ(Menu[2].bEnabled, 1);
    DialogEvent Chosen;
    Chosen.What = DialogEvent::Kind::Practice;
    Chosen.Practice = Menu[2].What;
    EXPECT_EQ(Dialog.OnUserEvent(Chosen), 1);
    EXPECT_EQ(Rig.Host.Item(ID_PROGRESS).iLoopStart, -1);
    EXPECT_EQ(Dialog.GetProgressMenu()[2].bEnabled, 0);
    EXPECT_EQ(Dialog.GetProgressMenu().size(), 7u);
    // Markers are ticks on the bar.
    EXPECT_EQ(Key(u'5'), 1);
    EXPECT_EQ(Key(u'm'), 1);
    EXPECT_EQ(Key(u'7'), 1);
    EXPECT_EQ(Key(u'M'), 1);
    EXPECT_EQ(Rig.Host.Item(ID_PROGRESS).MarkerTicks, (std::vector<int32_t>{Bar(0.5), Bar(0.7)}));
    EXPECT_EQ(Dialog.GetProgressMenu().back().bEnabled, 1);
    // Keep pitch: the menu item switches it on (checked, a line in the tooltip), the key k off.
    EXPECT_EQ(Menu[4].Text, u"音程を保つ\tK");
    EXPECT_EQ(Menu[4].bChecked, 0);
    Chosen.Practice = Menu[4].What;
    EXPECT_EQ(Dialog.OnUserEvent(Chosen), 1);
    EXPECT_TRUE(Dialog.GetSession().IsKeepPitchOn());
    EXPECT_EQ(Dialog.GetProgressMenu()[4].bChecked, 1);
    EXPECT_NE(Rig.Host.Item(ID_PROGRESS).Tooltip.find(u"\n音程を保つ（テンポだけが変わる）"),
              std::u16string::npos);
    EXPECT_EQ(Key(u'K'), 1);
    EXPECT_FALSE(Dialog.GetSession().IsKeepPitchOn());

    // The bar seeks; media keys act as the buttons.
    DialogEvent Seek;
    Seek.dfValue = 0.25;
    EXPECT_EQ(Dialog.OnUserEvent(Seek), 1);
    EXPECT_EQ(Dialog.GetSession().GetHeardPosition(), 15 * RATE);
    // The playback thread may have read on from there already.
    EXPECT_GE(Rig.Host.Item(ID_PROGRESS).iPosition, Bar(0.25));
    EXPECT_LT(Rig.Host.Item(ID_PROGRESS).iPosition, Bar(0.26));
    DialogEvent Media;
    Media.What = DialogEvent::Kind::PlayPause;
    EXPECT_EQ(Dialog.OnUserEvent(Media), 1);
    EXPECT_EQ(Rig.State.bPaused.load(), 1);
    EXPECT_EQ(Rig.Host.iFocus, ID_PLAY);
    EXPECT_EQ(Dialog.OnUserEvent(Media), 1);
    EXPECT_EQ(Rig.State.bPaused.load(), 0);
    Media.What = DialogEvent::Kind::Stop;
    EXPECT_EQ(Dialog.OnUserEvent(Media), 1);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_EQ(Dialog.OnUserEvent(Media), 0);
}

// The trainer arms the next speed in the repetition its program names; the seam takes it and the
// slider follows, step by step up to the target, and a move by hand restarts the count from there.
TEST(PlaybackSession, TheTrainerStepsTheSpeedAtTheSeams)
{
    SessionRig S;
    PlaybackSession& Session = S.Session;
    S.Rig.Host.MoveSlider(ID_SPEED_SLIDER, 100);
    S.iSpeed = 100;
    ASSERT_NO_FATAL_FAILURE(S.Play());
    ASSERT_EQ(Session.SetLoop(0, RATE / 2), 1);
    Session.SetTrainer({3, 1, 106}, true);
    std::vector<int32_t> Speeds;
    ASSERT_NO_FATAL_FAILURE(S.PlayRepetitions(5, 2000, Speeds));
    EXPECT_GE(Session.GetRepetition(), 5u);
    EXPECT_EQ(Speeds, (std::vector<int32_t>{100, 103, 106}));
    EXPECT_EQ(Session.GetTrainerNextPosition(), 106);
    S.Rig.Host.Click(ID_STOP);
}

// Nudges keep A at least half a second before B and both within the file; the count goes on.
// Markers: dropped where heard, jumped to both ways, at most MAX_MARKERS.
TEST(PlaybackSession, LoopPointsNudgeWithinLimitsAndMarkersJump)
{
    SessionRig S;
    PlaybackSession& Session = S.Session;
    ASSERT_NO_FATAL_FAILURE(S.Play());
    EXPECT_EQ(Session.Perform(Action::NudgeStartLater), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::NudgeNeedsLoop);
    ASSERT_EQ(Session.SetLoop(10 * RATE, 20 * RATE), 1);
    ASSERT_TRUE(S.Rig.PlayPeriods(5));
    const uint64_t ullRepetition = Session.GetRepetition();
    EXPECT_EQ(Session.Perform(Action::NudgeStartLater), 1);
    EXPECT_EQ(Session.Perform(Action::NudgeEndEarlierFar), 1);
    EXPECT_EQ(Session.GetNotice(), Notice::LoopNudged);
    EXPECT_TRUE(Session.WasEndNudged());
    EXPECT_EQ(Session.GetLoopStart(), 10 * RATE + RATE / 100);
    EXPECT_EQ(Session.GetLoopEnd(), 20 * RATE - RATE / 10);
    EXPECT_EQ(Session.GetRepetition(), ullRepetition);
    uint64_t ullStart = 0;
    uint64_t ullEnd = 0;
    ASSERT_TRUE(S.Rig.State.GetLoop(ullStart, ullEnd));
    EXPECT_EQ(ullEnd, 20 * RATE - RATE / 10);
    // Exactly half a second: neither end may come closer.
    ASSERT_EQ(Session.SetLoop(RATE / 100, RATE / 100 + RATE / 2), 1);
    EXPECT_EQ(Session.Perform(Action::NudgeStartLater), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::LoopTooShort);
    EXPECT_EQ(Session.Perform(Action::NudgeEndEarlier), 0);
    EXPECT_EQ(Session.Perform(Action::NudgeStartEarlierFar), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::NudgePastTheFile);
    EXPECT_EQ(Session.Perform(Action::NudgeStartEarlier), 1);
    EXPECT_EQ(Session.GetLoopStart(), 0u);
    ASSERT_EQ(Session.SetLoop(LENGTH - RATE, LENGTH - RATE / 200), 1);
    EXPECT_EQ(Session.Perform(Action::NudgeEndLater), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::NudgePastTheFile);
    EXPECT_EQ(Session.GetLoopEnd(), LENGTH - RATE / 200);
    Session.ClearLoop();

    // Markers where heard; next and previous by the place heard, previous past one just passed.
    EXPECT_EQ(Session.Perform(Action::MarkerNext), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::NoMarker);
    for (const Action Jump : {Action::Jump1, Action::Jump3, Action::Jump5})
    {
        Session.Perform(Jump);
        EXPECT_EQ(Session.Perform(Action::MarkerAdd), 1);
    }
    EXPECT_EQ(Session.Perform(Action::MarkerAdd), 0);
    EXPECT_EQ(Session.GetMarkers(), (std::vector<uint64_t>{6 * RATE, 18 * RATE, 30 * RATE}));
    EXPECT_EQ(Session.GetMarkerPlace(), 3u);
    Session.Perform(Action::Jump0);
    EXPECT_EQ(Session.GetMarkerPlace(), 0u);
    EXPECT_EQ(Session.Perform(Action::MarkerNext), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 6 * RATE);
    EXPECT_EQ(Session.Perform(Action::MarkerNext), 1);
    EXPECT_EQ(Session.GetMarkerPlace(), 2u);
    EXPECT_EQ(Session.Perform(Action::MarkerPrevious), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 6 * RATE);
    EXPECT_EQ(Session.Perform(Action::MarkerPrevious), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::NoMarker);
    ASSERT_TRUE(Session.SeekTo(17 * RATE));
    EXPECT_EQ(Session.Perform(Action::MarkerRemove), 1);
    EXPECT_EQ(Session.GetMarkers(), (std::vector<uint64_t>{6 * RATE, 30 * RATE}));
    for (uint64_t i = 0; Session.GetMarkers().size() < PlaybackSession::MAX_MARKERS && i < 200; ++i)
    {
        Session.AddMarker(40 * RATE + i);
    }
    EXPECT_EQ(Session.Perform(Action::MarkerAdd), 0);
    EXPECT_EQ(Session.GetNotice(), Notice::MarkersFull);
    EXPECT_EQ(Session.GetMarkers().size(), PlaybackSession::MAX_MARKERS);
    S.Rig.Host.Click(ID_STOP);
}

// A run-up starts each pass into the loop before A (the first only, or every one); the repetitions
// and the trainer count passes of A-B alone, as without it.
TEST(PlaybackSession, TheRunUpLeadsIntoTheLoopAndCountsNothing)
{
    SessionRig S;
    PlaybackSession& Session = S.Session;
    EXPECT_EQ(Session.SetRunUp(10.01, false), 0);
    ASSERT_EQ(Session.SetRunUp(2.0, false), 1);
    ASSERT_EQ(Session.Prepare(10.0, 20.0, -1.0), 1);
    S.Rig.Host.MoveSlider(ID_SPEED_SLIDER, 100);
    S.iSpeed = 100;
    S.Rig.Host.Click(ID_PLAY);
    EXPECT_EQ(Session.GetHeardPosition(), 8 * RATE);
    ASSERT_TRUE(S.Rig.PlayPeriods(10));
    uint64_t ullStart = 0;
    uint64_t ullEnd = 0;
    uint64_t ullReturn = 0;
    ASSERT_TRUE(S.Rig.State.GetLoop(ullStart, ullEnd, ullReturn));
    EXPECT_EQ(ullReturn, 10 * RATE);
    // B here goes back into the run-up.
    Session.ClearLoop();
    ASSERT_TRUE(Session.SeekTo(RATE));
    Session.Perform(Action::LoopStart);
    ASSERT_TRUE(Session.SeekTo(RATE + RATE / 2));
    EXPECT_EQ(Session.Perform(Action::LoopEnd), 1);
    EXPECT_EQ(Session.GetHeardPosition(), 0u);
    EXPECT_EQ(Session.Perform(Action::RunUp), 1);
    EXPECT_EQ(Session.GetRunUpSeconds(), 3.0);
    ASSERT_EQ(Session.SetRunUp(0.5, true), 1);
    ASSERT_TRUE(S.Rig.State.GetLoop(ullStart, ullEnd, ullReturn));
    EXPECT_EQ(ullReturn, RATE / 2);

    Session.SetTrainer({3, 1, 106}, true);
    std::vector<int32_t> Speeds;
    ASSERT_NO_FATAL_FAILURE(S.PlayRepetitions(5, 4000, Speeds));
    EXPECT_EQ(Session.GetRepetition(), 5u);
    EXPECT_EQ(Speeds, (std::vector<int32_t>{100, 103, 106}));
    S.Rig.Host.Click(ID_STOP);
}
