#include "app/dialog/PracticeStore.h"
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/MainDialog.h"
#include "app/dialog/PlaybackSession.h"
#include "tests/common/TestFiles.h"
#include "tests/dialog/PlayerRig.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

// What is kept of a file's practice: whole entries only, found again for the same file wherever it
// is, never for an edited one; the oldest dropped; two writers at once never leave a torn entry.

using namespace DialogControlIds;
namespace fs = std::filesystem;

namespace
{
constexpr uint32_t RATE = 48000;
constexpr uint64_t LENGTH = 40 * RATE;

PracticeRecord Sample(int32_t iSpeed, uint32_t uiMarkers)
{
    PracticeRecord Record;
    Record.ullFileSize = 1234;
    Record.llFileModified = -5;
    Record.ullFileHash = 0xfedcba9876543210ULL;
    Record.iSpeedPosition = iSpeed;
    Record.bLoop = true;
    Record.ullLoopStart = 10;
    Record.ullLoopEnd = 20;
    Record.dfRunUpSeconds = 2.5;
    Record.bKeepPitch = true;
    for (uint32_t i = 0; i < uiMarkers; ++i)
    {
        Record.Markers.push_back(1000 * i);
    }
    return Record;
}

size_t CountEntries(const fs::path& Folder, const std::string& Suffix)
{
    size_t ullCount = 0;
    for (const fs::directory_entry& Entry : fs::directory_iterator(Folder))
    {
        ullCount += Entry.path().filename().string().ends_with(Suffix) ? 1 : 0;
    }
    return ullCount;
}
} // namespace

TEST(PracticeStore, EntriesAreTakenWholeOrNotAtAll)
{
    const PracticeRecord Written = Sample(110, 3);
    PracticeRecord Read;
    ASSERT_EQ(Read.Parse(Written.Format()), 1);
    EXPECT_EQ(Read.Format(), Written.Format());
    EXPECT_TRUE(Read.IsSameFile(Written));
    EXPECT_TRUE(Read.bKeepPitch);
    const std::string Text = Written.Format();
    const std::string Damaged[] = {
        "",
        Text.substr(0, Text.size() - 4),                      // cut before its end
        Text + "speed 100\n",                                 // something after the end
        "larkspur practice 2" + Text.substr(Text.find('\n')), // another version
        std::string(Text).replace(Text.find("speed 110"), 9, "speed 281"),
        std::string(Text).replace(Text.find("loop 10 20"), 10, "loop 20 10"),
        std::string(Text).replace(Text.find("runup 25"), 8, "runup 101"),
        std::string(Text).replace(Text.find("marker 0"), 8, "marker -1"),
        std::string(Text).replace(Text.find("file"), 4, "fiel"),
        std::string(Text).replace(Text.find("keeppitch on"), 12, "keeppitch 1"),
    };
    for (const std::string& Bad : Damaged)
    {
        PracticeRecord Kept = Sample(120, 0);
        EXPECT_EQ(Kept.Parse(Bad), -1) << Bad;
        EXPECT_EQ(Kept.Format(), Sample(120, 0).Format());
    }
    // More markers than a file may have.
    PracticeRecord Crowded;
    EXPECT_EQ(Crowded.Parse(Sample(120, PracticeRecord::MAX_MARKERS + 1).Format()), -1);
}

TEST(PracticeStore, TheOldestGoAndTwoWritersNeverTearAnEntry)
{
    const fs::path Folder = TestFiles::PathFor("kept-limit");
    fs::create_directories(Folder);
    const auto Now = fs::file_time_type::clock::now();
    for (uint32_t i = 0; i < PracticeStore::MAX_ENTRIES; ++i)
    {
        const fs::path Entry = Folder / (std::to_string(10000 + i) + ".practice");
        std::ofstream(Entry) << "x";
        fs::last_write_time(Entry, Now - std::chrono::hours(1000 - i));
    }
    std::ofstream(Folder / "notes.txt") << "not ours";
    PracticeStore Store;
    // A folder that cannot be made: refused, and nothing else happens.
    Store.SetFolder(TestFiles::Wide(Folder / "notes.txt" / "state"));
    EXPECT_LT(Store.Save(Sample(110, 3)), 0);
    Store.SetFolder(TestFiles::Wide(Folder));
    ASSERT_EQ(Store.Save(Sample(110, 3)), 1);
    EXPECT_EQ(CountEntries(Folder, ".practice"), PracticeStore::MAX_ENTRIES);
    EXPECT_FALSE(fs::exists(Folder / "10000.practice"));
    EXPECT_TRUE(fs::exists(Folder / "10001.practice"));
    EXPECT_TRUE(fs::exists(Folder / "notes.txt"));

    // Two programs keep the same file at once while a third reads: every read is one whole write.
    const PracticeRecord First = Sample(110, 100);
    const PracticeRecord Second = Sample(130, 1);
    ASSERT_EQ(Store.Save(First), 1);
    std::atomic<int> iWriting{2};
    std::atomic<int> iSaved[2] = {0, 0};
    const auto Writer = [&](int iWho)
    {
        PracticeStore Own;
        Own.SetFolder(TestFiles::Wide(Folder));
        for (int i = 0; i < 60; ++i)
        {
            iSaved[iWho] += Own.Save(iWho == 0 ? First : Second) == 1 ? 1 : 0;
        }
        --iWriting;
    };
    std::thread A(Writer, 0);
    std::thread B(Writer, 1);
    int iTorn = 0;
    for (int i = 0; i < 100000 && iWriting.load() > 0; ++i)
    {
        PracticeRecord Read = First;
        const int32_t iLoaded = Store.Load(Read);
        iTorn +=
            iLoaded != 1 || !(Read.Format() == First.Format() || Read.Format() == Second.Format()) ? 1 : 0;
    }
    A.join();
    B.join();
    EXPECT_EQ(iTorn, 0);
    EXPECT_GT(iSaved[0].load(), 0);
    EXPECT_GT(iSaved[1].load(), 0);
    PracticeRecord Last = First;
    ASSERT_EQ(Store.Load(Last), 1);
    EXPECT_TRUE(Last.Format() == First.Format() || Last.Format() == Second.Format());
    EXPECT_EQ(CountEntries(Folder, ".tmp"), 0u);
}

// The window keeps the practice when it stops and brings it back for the same file, also moved; an
// edited file starts afresh, a damaged entry is ignored with a notice and playback goes on; without
// remembering (--fresh) nothing is read or written.
TEST(PracticeStore, TheWindowKeepsAndRestoresEachFilesPractice)
{
    const std::u16string Folder = TestFiles::Wide(TestFiles::PathFor("kept-window"));
    const auto OpenRig = [&Folder](PlayerRig& Rig, bool bRemember)
    {
        Rig.pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, RATE, 24);
        Rig.Host.Open();
        Rig.pEntry->GetDialog().GetSession().SetRemembering(bRemember);
        Rig.pEntry->GetDialog().GetSession().SetStateFolder(Folder);
    };
    fs::path Kept;
    {
        PlayerRig Rig;
        OpenRig(Rig, true);
        Kept = Rig.ChooseToneFile("kept.wav", LENGTH, RATE);
        // Whole seconds, which every platform's copy of a file time keeps.
        fs::last_write_time(Kept, std::chrono::floor<std::chrono::seconds>(fs::last_write_time(Kept)));
        Rig.ChooseFile(Kept);
        PlaybackSession& Session = Rig.pEntry->GetDialog().GetSession();
        EXPECT_FALSE(Session.IsRecalled());
        Rig.Host.MoveSlider(ID_SPEED_SLIDER, 110);
        Rig.Host.MoveSlider(ID_VOLUME_SLIDER, 300);
        Rig.Host.Click(ID_PLAY);
        ASSERT_TRUE(Rig.PlayPeriods(5));
        ASSERT_EQ(Session.SetLoop(10 * RATE, 20 * RATE), 1);
        Session.SetRunUp(2.0, true);
        Session.SetTrainer({2, 3, 130}, true);
        Session.AddMarker(5 * RATE);
        Session.AddMarker(25 * RATE);
        ASSERT_EQ(Session.SeekTo(15 * RATE), 1);
        Session.Tick();
        Rig.Host.Click(ID_STOP);
    }
    const fs::path Moved = TestFiles::PathFor("moved.wav");
    fs::rename(Kept, Moved);
    const fs::path Edited = TestFiles::PathFor("edited.wav");
    fs::copy_file(Moved, Edited);
    {
        std::fstream Bytes(Edited, std::ios::in | std::ios::out | std::ios::binary);
        Bytes.seekp(1000);
        Bytes.put('\x55');
    }
    fs::last_write_time(Edited, fs::last_write_time(Moved));

    PlayerRig Rig;
    OpenRig(Rig, true);
    PlaybackSession& Session = Rig.pEntry->GetDialog().GetSession();
    Rig.ChooseFile(Moved);
    ASSERT_TRUE(Session.IsRecalled());
    EXPECT_EQ(Rig.Host.Item(ID_SPEED_SLIDER).iPosition, 110);
    EXPECT_EQ(Rig.Host.Item(ID_VOLUME_SLIDER).iPosition, 300);
    EXPECT_TRUE(Session.HasLoop());
    EXPECT_EQ(Session.GetLoopEnd(), 20 * RATE);
    EXPECT_EQ(Session.GetRunUpSeconds(), 2.0);
    EXPECT_TRUE(Session.IsRunUpEvery());
    EXPECT_TRUE(Session.IsTrainerOn());
    EXPECT_EQ(Session.GetTrainer().iUntilPosition, 130);
    EXPECT_EQ(Session.GetMarkers(), (std::vector<uint64_t>{5 * RATE, 25 * RATE}));
    EXPECT_EQ(Rig.Host.Item(ID_PROGRESS).MarkerTicks.size(), 2u);
    Rig.Host.Click(ID_PLAY);
    EXPECT_EQ(Session.GetHeardPosition(), 15 * RATE);
    Rig.Host.Click(ID_STOP);

    Rig.ChooseFile(Edited);
    EXPECT_FALSE(Session.IsRecalled());
    EXPECT_FALSE(Session.HasLoop());
    EXPECT_TRUE(Session.GetMarkers().empty());

    PracticeStore Store;
    Store.SetFolder(Folder);
    PracticeRecord Identity;
    ASSERT_EQ(PracticeStore::Identify(TestFiles::Wide(Moved).c_str(), Identity), 1);
    const fs::path Entry = fs::path(std::u16string(Store.EntryPath(Identity)));
    std::ofstream(Entry, std::ios::trunc) << "larkspur practice 1\nspeed 999\n";
    Rig.ChooseFile(Moved);
    EXPECT_FALSE(Session.IsRecalled());
    EXPECT_EQ(Session.GetNotice(), PlaybackSession::Notice::StateDamaged);
    EXPECT_NE(Rig.Host.Item(ID_PROGRESS).Tooltip.find(u"壊れて"), std::u16string::npos);
    Rig.Host.Click(ID_PLAY);
    EXPECT_EQ(Rig.State.bPlaying, 1);
    Rig.Host.Click(ID_STOP);
    EXPECT_EQ(Store.Load(Identity), 1);

    // Not remembering: nothing comes back and nothing is written.
    const std::vector<uint8_t> Before = TestFiles::Read(Entry);
    Session.SetRemembering(false);
    Rig.ChooseFile(Moved);
    EXPECT_FALSE(Session.IsRecalled());
    Rig.Host.MoveSlider(ID_SPEED_SLIDER, 90);
    Rig.Host.Click(ID_PLAY);
    Rig.Host.Click(ID_STOP);
    EXPECT_EQ(TestFiles::Read(Entry), Before);
}
