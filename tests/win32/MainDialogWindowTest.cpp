// The real dialog 101 on its own UI thread, driven only through window messages from the test's
// thread, as a user's clicks, keys and drags would arrive.
#include "app/dialog/DialogControlIds.h"
#include "app/dialog/MainDialogLayout.h"
#include "app/dialog/ScopedPlayerLanguage.h"
#include "app/win32/PlayerProgram.h"
#include "app/win32/ProgressMenu.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <commctrl.h>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <shellapi.h>
#include <shlobj.h>
#include <string>
#include <thread>
#include <utility>
#include <vector>
#include <windows.h>

using namespace DialogControlIds;
using MainDialogLayout::ControlKind;

namespace
{
constexpr auto WAIT = std::chrono::seconds(20);

std::wstring W(const char16_t* pText)
{
    return pText != nullptr ? std::wstring(reinterpret_cast<const wchar_t*>(pText)) : std::wstring();
}

std::wstring TextOf(HWND hWindow)
{
    wchar_t Text[512] = {};
    SendMessageW(hWindow, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(Text));
    return Text;
}

std::wstring ClassOf(HWND hWindow)
{
    wchar_t Name[64] = {};
    GetClassNameW(hWindow, Name, 64);
    return Name;
}

// The player (RunPlayer, as wWinMain runs it) on a thread of its own.
class RunningPlayer
{
public:
    RunningPlayer(const char16_t* pArguments, std::filesystem::path ChosenFile = {})
    {
        Worker = std::thread(
            [this, pArguments, ChosenFile]
            {
                uiThreadId = GetCurrentThreadId();
                iResult = RunPlayer(
                    GetModuleHandleW(nullptr), pArguments,
                    [ChosenFile](const char16_t*, const char16_t*, uint32_t, uint32_t, std::u16string& Path)
                    {
                        if (ChosenFile.empty())
                        {
                            return 0;
                        }
                        Path = TestFiles::Wide(ChosenFile);
                        return 1;
                    });
                bDone = true;
            });
        const auto Deadline = std::chrono::steady_clock::now() + WAIT;
        while (hDialog == nullptr && std::chrono::steady_clock::now() < Deadline)
        {
            if (uiThreadId != 0)
            {
                EnumThreadWindows(uiThreadId, FindDialog, reinterpret_cast<LPARAM>(&hDialog));
            }
            if (hDialog == nullptr)
            {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        }
    }
    // Closes a dialog still open, also one that appeared only after the constructor stopped looking
    // (a test that failed then would otherwise wait here for a user who never comes).
    ~RunningPlayer()
    {
        const auto Deadline = std::chrono::steady_clock::now() + WAIT;
        while (!bDone && std::chrono::steady_clock::now() < Deadline)
        {
            if (hDialog == nullptr && uiThreadId != 0)
            {
                EnumThreadWindows(uiThreadId, FindDialog, reinterpret_cast<LPARAM>(&hDialog));
            }
            if (hDialog != nullptr)
            {
                PostMessageW(hDialog, WM_COMMAND, IDCANCEL, 0);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Worker.join();
    }
    // Joins the player's thread and returns its exit code.
    int32_t Finish()
    {
        Worker.join();
        Worker = std::thread([] {});
        return iResult;
    }

    HWND Item(int32_t iId) const { return GetDlgItem(hDialog, iId); }
    void Click(int32_t iId) const { SendMessageW(Item(iId), BM_CLICK, 0, 0); }
    // A key as the dialog's message loop gets it, on the control that has the focus.
    void PostKey(HWND hTarget, WPARAM uiKey) const
    {
        PostMessageW(hTarget, WM_KEYDOWN, uiKey, 0);
        PostMessageW(hTarget, WM_KEYUP, uiKey, 0);
    }
    std::wstring Cell(int32_t iList, int32_t iRow, int32_t iColumn) const
    {
        wchar_t Text[128] = {};
        LVITEMW Item{};
        Item.iSubItem = iColumn;
        Item.pszText = Text;
        Item.cchTextMax = 128;
        SendMessageW(this->Item(iList), LVM_GETITEMTEXTW, static_cast<WPARAM>(iRow),
                     reinterpret_cast<LPARAM>(&Item));
        return Text;
    }
    // Play, Pause, Stop as 1/0, then whether "..." is enabled.
    std::string States() const
    {
        std::string Text;
        for (const int32_t iId : {ID_PLAY, ID_PAUSE, ID_STOP, ID_CHOOSE_FILE})
        {
            Text += IsWindowEnabled(Item(iId)) ? '1' : '0';
        }
        return Text;
    }

    // Waits, bounded, until the dialog's loop has handled what was posted before (a posted slider
    // move queued behind it has arrived).
    void HandlePosted() const
    {
        const HWND hVolume = Item(ID_VOLUME_SLIDER);
        const LRESULT iMark = SendMessageW(hVolume, TBM_GETPOS, 0, 0) == 300 ? 301 : 300;
        PostMessageW(hVolume, TBM_SETPOS, TRUE, iMark);
        const auto Deadline = std::chrono::steady_clock::now() + WAIT;
        while (SendMessageW(hVolume, TBM_GETPOS, 0, 0) != iMark &&
               std::chrono::steady_clock::now() < Deadline)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    // The progress bar's position as a fraction of the file.
    double Progress() const
    {
        return static_cast<double>(SendMessageW(Item(ID_PROGRESS), PBM_GETPOS, 0, 0)) / 2147483647.0;
    }
    void ClickProgress(double dfFraction) const
    {
        RECT Client{};
        GetClientRect(Item(ID_PROGRESS), &Client);
        const LPARAM lAt = MAKELPARAM(static_cast<int>(dfFraction * Client.right), Client.bottom / 2);
        SendMessageW(Item(ID_PROGRESS), WM_LBUTTONDOWN, MK_LBUTTON, lAt);
        SendMessageW(Item(ID_PROGRESS), WM_LBUTTONUP, 0, lAt);
    }
    LRESULT MediaKey(int iCommand) const
    {
        return SendMessageW(hDialog, WM_APPCOMMAND, reinterpret_cast<WPARAM>(hDialog),
                            MAKELPARAM(0, iCommand | FAPPCOMMAND_KEY));
    }

    HWND hDialog = nullptr;

private:
    static BOOL CALLBACK FindDialog(HWND hWindow, LPARAM lParam)
    {
        if (ClassOf(hWindow) == L"#32770" && IsWindowVisible(hWindow))
        {
            *reinterpret_cast<HWND*>(lParam) = hWindow;
            return FALSE;
        }
        return TRUE;
    }

    std::thread Worker;
    std::atomic<DWORD> uiThreadId{0};
    std::atomic<bool> bDone{false};
    int32_t iResult = -1;
};

std::filesystem::path ToneFile(const std::string& Name, uint64_t ullFrames)
{
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        Signal[2 * n] = Signal[2 * n + 1] = 0.5 * std::sin(2.0 * std::numbers::pi * 1000.0 * n / 44100.0);
    }
    return TestFiles::Write(Name, WaveFileBuilder::PcmWave(Signal, 2, 44100, 16));
}

// The first channel of an integer PCM WAV file, scaled to -1 ... 1.
bool ReadLeftChannel(const std::filesystem::path& Path, uint32_t& uiRate, std::vector<double>& Left)
{
    const std::vector<uint8_t> Bytes = TestFiles::Read(Path);
    auto U32 = [&Bytes](size_t i)
    {
        return static_cast<uint32_t>(Bytes[i] | Bytes[i + 1] << 8 | Bytes[i + 2] << 16 |
                                     static_cast<uint32_t>(Bytes[i + 3]) << 24);
    };
    uint32_t uiChannels = 0;
    uint32_t uiBits = 0;
    for (size_t i = 12; i + 8 <= Bytes.size();)
    {
        const std::string Id(reinterpret_cast<const char*>(&Bytes[i]), 4);
        const size_t uiSize = U32(i + 4);
        const size_t uiBody = i + 8;
        if (Id == "fmt " && uiSize >= 16 && uiBody + 16 <= Bytes.size())
        {
            uiChannels = Bytes[uiBody + 2] | Bytes[uiBody + 3] << 8;
            uiRate = U32(uiBody + 4);
            uiBits = Bytes[uiBody + 14] | Bytes[uiBody + 15] << 8;
        }
        else if (Id == "data" && uiChannels != 0 && uiBits % 8 == 0 && uiBits >= 16)
        {
            const size_t uiFrameBytes = uiChannels * uiBits / 8;
            const size_t uiEnd = std::min(Bytes.size(), uiBody + uiSize);
            for (size_t f = uiBody; f + uiFrameBytes <= uiEnd; f += uiFrameBytes)
            {
                int64_t iValue = 0;
                for (uint32_t b = 0; b < uiBits / 8; ++b)
                {
                    iValue |= static_cast<int64_t>(Bytes[f + b]) << (8 * b);
                }
                iValue = (iValue << (64 - uiBits)) >> (64 - uiBits);
                Left.push_back(static_cast<double>(iValue) / std::ldexp(1.0, static_cast<int>(uiBits) - 1));
            }
            return true;
        }
        i = uiBody + uiSize + (uiSize & 1);
    }
    return false;
}

LONG ExpectedStyle(const MainDialogLayout::Control& Control)
{
    switch (Control.Kind)
    {
    case ControlKind::Slider:
        return TBS_VERT | TBS_BOTH | (Control.bTicks != 0 ? TBS_AUTOTICKS : TBS_NOTICKS) | WS_TABSTOP;
    case ControlKind::Label:
        return Control.Align == MainDialogLayout::TextAlign::Centre  ? SS_CENTER
               : Control.Align == MainDialogLayout::TextAlign::Right ? SS_RIGHT
                                                                     : SS_LEFT;
    case ControlKind::Button:
        return BS_PUSHBUTTON | WS_TABSTOP;
    case ControlKind::GroupBox:
        return BS_GROUPBOX;
    case ControlKind::Edit:
        return (Control.bReadOnly != 0 ? ES_READONLY | ES_AUTOHSCROLL : 0) |
               (Control.bDigitsOnly != 0 ? ES_NUMBER | ES_CENTER : 0) | WS_TABSTOP;
    case ControlKind::ComboBox:
        // A combo box hands its scroll bar style on to its list, so it is not among its own bits.
        return CBS_DROPDOWNLIST | WS_TABSTOP;
    case ControlKind::CheckBox:
        return BS_AUTOCHECKBOX | WS_TABSTOP;
    case ControlKind::ListView:
        return LVS_REPORT | WS_TABSTOP;
    case ControlKind::ProgressBar:
        return PBS_SMOOTH;
    }
    return 0;
}

const wchar_t* ExpectedClass(ControlKind Kind)
{
    switch (Kind)
    {
    case ControlKind::Slider:
        return L"msctls_trackbar32";
    case ControlKind::Label:
        return L"Static";
    case ControlKind::ComboBox:
        return L"ComboBox";
    case ControlKind::Edit:
        return L"Edit";
    case ControlKind::ListView:
        return L"SysListView32";
    case ControlKind::ProgressBar:
        return L"msctls_progress32";
    default:
        return L"Button";
    }
}
} // namespace

TEST(MainDialogWindow, TheTemplateAndTheInitialStates)
{
    RunningPlayer Player(nullptr);
    ASSERT_NE(Player.hDialog, nullptr);
    EXPECT_EQ(TextOf(Player.hDialog), L"Larkspur v1.02");
    const auto uiDialogStyle = static_cast<DWORD>(GetWindowLongW(Player.hDialog, GWL_STYLE));
    for (const DWORD uiBit : {DWORD{WS_POPUP}, DWORD{WS_CAPTION}, DWORD{WS_SYSMENU}, DWORD{WS_MINIMIZEBOX}})
    {
        EXPECT_EQ(uiDialogStyle & uiBit, uiBit) << std::hex << uiBit;
    }
    EXPECT_EQ(uiDialogStyle & WS_MAXIMIZEBOX, 0u);
    RECT Client{};
    GetClientRect(Player.hDialog, &Client);
    RECT Template{0, 0, MainDialogLayout::DIALOG_WIDTH, MainDialogLayout::DIALOG_HEIGHT};
    MapDialogRect(Player.hDialog, &Template);
    EXPECT_EQ(Client.right, Template.right);
    EXPECT_EQ(Client.bottom, Template.bottom);

    // Every control in template order (the order of the child windows).
    HWND hChild = GetWindow(Player.hDialog, GW_CHILD);
    for (int32_t i = 0; i < MainDialogLayout::CONTROL_COUNT; ++i)
    {
        const MainDialogLayout::Control& Control = MainDialogLayout::Controls()[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " id " << Control.iId);
        ASSERT_NE(hChild, nullptr);
        EXPECT_EQ(static_cast<int16_t>(GetDlgCtrlID(hChild)), static_cast<int16_t>(Control.iId));
        EXPECT_EQ(_wcsicmp(ClassOf(hChild).c_str(), ExpectedClass(Control.Kind)), 0)
            << ClassOf(hChild).size();
        const LONG lStyle = GetWindowLongW(hChild, GWL_STYLE);
        const LONG lExpected = ExpectedStyle(Control);
        if (Control.Kind == ControlKind::Label)
        {
            EXPECT_EQ(lStyle & SS_TYPEMASK, lExpected);
        }
        else if (Control.Kind == ControlKind::Button || Control.Kind == ControlKind::GroupBox ||
                 Control.Kind == ControlKind::CheckBox)
        {
            EXPECT_EQ(lStyle & BS_TYPEMASK, lExpected & BS_TYPEMASK);
            EXPECT_EQ(lStyle & WS_TABSTOP, lExpected & WS_TABSTOP);
        }
        else
        {
            EXPECT_EQ(lStyle & lExpected, lExpected) << std::hex << lStyle;
        }
        if (Control.Kind == ControlKind::ListView)
        {
            // The list turns a template border into an edge of its own (the progress bar drops the
            // style and draws its frame itself, so there is nothing to read back there).
            const LONG lExtended = GetWindowLongW(hChild, GWL_EXSTYLE);
            EXPECT_TRUE((lStyle & WS_BORDER) != 0 || (lExtended & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE)) != 0)
                << std::hex << lStyle << " " << lExtended;
        }
        EXPECT_EQ((lStyle & WS_DISABLED) != 0, Control.bInitiallyDisabled != 0);
        if (Control.iId != ID_SPEED_LABEL && Control.iId != ID_VOLUME_LABEL && Control.iId != ID_BIT_FIELD &&
            Control.Kind != ControlKind::ComboBox)
        {
            EXPECT_EQ(TextOf(hChild), W(MainDialogLayout::CaptionOf(Control)));
        }
        // Position and size as the dialog manager places them: each mapped from dialog units.
        RECT Placed{};
        GetWindowRect(hChild, &Placed);
        MapWindowPoints(nullptr, Player.hDialog, reinterpret_cast<POINT*>(&Placed), 2);
        RECT Expected{Control.iX, Control.iY, Control.iWidth, Control.iHeight};
        MapDialogRect(Player.hDialog, &Expected);
        EXPECT_EQ(Placed.left, Expected.left);
        EXPECT_EQ(Placed.top, Expected.top);
        EXPECT_EQ(Placed.right - Placed.left, Expected.right);
        // A closed drop-down list is as high as its field; the template height is the open list's.
        if (Control.Kind != ControlKind::ComboBox)
        {
            EXPECT_EQ(Placed.bottom - Placed.top, Expected.bottom);
        }
        hChild = GetWindow(hChild, GW_HWNDNEXT);
    }
    EXPECT_EQ(hChild, nullptr);

    EXPECT_EQ(Player.States(), "0001");
    EXPECT_EQ(TextOf(Player.Item(ID_SPEED_LABEL)), L"x1.0000");
    EXPECT_EQ(TextOf(Player.Item(ID_VOLUME_LABEL)), L"-20.0 dB");
    EXPECT_EQ(SendMessageW(Player.Item(ID_SPEED_SLIDER), TBM_GETPOS, 0, 0), 120);
    EXPECT_EQ(SendMessageW(Player.Item(ID_VOLUME_SLIDER), TBM_GETPOS, 0, 0), 200);
    EXPECT_EQ(SendMessageW(Player.Item(ID_RATE_COMBO), CB_GETCOUNT, 0, 0), 20);
    EXPECT_EQ(TextOf(Player.Item(ID_RATE_COMBO)), L"96 kHz");
    wchar_t First[128] = {};
    SendMessageW(Player.Item(ID_DEVICE_COMBO), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(First));
    EXPECT_EQ(std::wstring(First), L"既定のオーディオ再生デバイス");
    EXPECT_EQ(SendMessageW(Player.Item(ID_DEVICE_COMBO), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(TextOf(Player.Item(ID_BIT_FIELD)), L"24");
    EXPECT_EQ(SendMessageW(Player.Item(ID_ENHANCER_CHECK), BM_GETCHECK, 0, 0), BST_CHECKED);
    EXPECT_EQ(Player.Cell(ID_FILE_LIST, 0, 0), L"サンプリング周波数 (Hz)");
    EXPECT_EQ(Player.Cell(ID_DEVICE_LIST, 2, 0), L"動作モード");

    // Enter does nothing; Escape closes with 0.
    Player.PostKey(Player.hDialog, VK_RETURN);
    PostMessageW(Player.Item(ID_VOLUME_SLIDER), TBM_SETPOS, TRUE, 300);
    const auto Deadline = std::chrono::steady_clock::now() + WAIT;
    while (SendMessageW(Player.Item(ID_VOLUME_SLIDER), TBM_GETPOS, 0, 0) != 300 &&
           std::chrono::steady_clock::now() < Deadline)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(IsWindow(Player.hDialog));
    Player.PostKey(Player.hDialog, VK_ESCAPE);
    EXPECT_EQ(Player.Finish(), 0);
}

// The lists at the display's scaling (the Wine run repeats this at 144 DPI, LARKSPUR_TEST_DPI):
// their columns are the template's 150 and 140 pixels at 96 DPI and grow with the DPI, every item
// text fits its column, and a move to a screen of another scaling rescales them.
TEST(MainDialogWindow, ListColumnsFollowTheDisplayScaling)
{
    RunningPlayer Player(nullptr);
    ASSERT_NE(Player.hDialog, nullptr);
    int iDpi = 0;
    if (const char* pDpi = std::getenv("LARKSPUR_TEST_DPI"))
    {
        iDpi = std::atoi(pDpi);
    }
    else
    {
        HDC hScreen = GetDC(nullptr);
        iDpi = GetDeviceCaps(hScreen, LOGPIXELSY);
        ReleaseDC(nullptr, hScreen);
    }
    auto Widths = [&Player](int32_t iList)
    {
        return std::pair<LRESULT, LRESULT>{SendMessageW(Player.Item(iList), LVM_GETCOLUMNWIDTH, 0, 0),
                                           SendMessageW(Player.Item(iList), LVM_GETCOLUMNWIDTH, 1, 0)};
    };
    for (const auto& [iList, iRows] : {std::pair{ID_FILE_LIST, 4}, std::pair{ID_DEVICE_LIST, 3}})
    {
        SCOPED_TRACE(iList);
        const auto [iItemWidth, iValueWidth] = Widths(iList);
        EXPECT_EQ(iItemWidth, MulDiv(150, iDpi, 96));
        EXPECT_EQ(iValueWidth, MulDiv(140, iDpi, 96));
        // The list draws a label with a margin on either side, 6 pixels each at 96 DPI.
        for (int32_t iRow = 0; iRow < iRows; ++iRow)
        {
            const std::wstring Text = Player.Cell(iList, iRow, 0);
            const LRESULT iTextWidth = SendMessageW(Player.Item(iList), LVM_GETSTRINGWIDTHW, 0,
                                                    reinterpret_cast<LPARAM>(Text.c_str()));
            EXPECT_GT(iTextWidth, 0);
            EXPECT_LE(iTextWidth + MulDiv(12, iDpi, 96), iItemWidth) << iRow;
        }
    }

    // Moved to a screen at 150 %, then back.
    RECT Window{};
    GetWindowRect(Player.hDialog, &Window);
    SendMessageW(Player.hDialog, WM_DPICHANGED, MAKEWPARAM(144, 144), reinterpret_cast<LPARAM>(&Window));
    EXPECT_EQ(Widths(ID_FILE_LIST), (std::pair<LRESULT, LRESULT>{225, 210}));
    EXPECT_EQ(Widths(ID_DEVICE_LIST), (std::pair<LRESULT, LRESULT>{225, 210}));
    SendMessageW(Player.hDialog, WM_DPICHANGED, MAKEWPARAM(iDpi, iDpi), reinterpret_cast<LPARAM>(&Window));
    EXPECT_EQ(Widths(ID_DEVICE_LIST),
              (std::pair<LRESULT, LRESULT>{MulDiv(150, iDpi, 96), MulDiv(140, iDpi, 96)}));
    PostMessageW(Player.hDialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(Player.Finish(), 0);
}

// On an English desktop the dialog sets the English captions when it starts; each fits its control
// with the dialog font at the display's scaling (the Wine run repeats this at 144 DPI), the box of
// a check box and the edges of a button or frame counted, and the longest list item its column.
TEST(MainDialogWindow, TheEnglishCaptionsFitTheirControls)
{
    const ScopedPlayerLanguage English(PlayerLanguage::English);
    RunningPlayer Player(nullptr);
    ASSERT_NE(Player.hDialog, nullptr);
    const char* pDpi = std::getenv("LARKSPUR_TEST_DPI");
    const int iDpi = pDpi != nullptr ? std::atoi(pDpi) : 96;
    HWND hChild = GetWindow(Player.hDialog, GW_CHILD);
    for (int32_t i = 0; i < MainDialogLayout::CONTROL_COUNT; ++i, hChild = GetWindow(hChild, GW_HWNDNEXT))
    {
        const MainDialogLayout::Control& Control = MainDialogLayout::Controls()[i];
        std::wstring Caption = W(MainDialogLayout::CaptionOf(Control));
        Caption.erase(Caption.find_last_not_of(L' ') + 1);
        if (Caption.empty() || Control.iId == ID_SPEED_LABEL || Control.iId == ID_VOLUME_LABEL)
        {
            continue;
        }
        EXPECT_EQ(TextOf(hChild).substr(0, Caption.size()), Caption);
        HDC hContext = GetDC(hChild);
        const HGDIOBJ hFont =
            SelectObject(hContext, reinterpret_cast<HFONT>(SendMessageW(hChild, WM_GETFONT, 0, 0)));
        SIZE Extent{};
        GetTextExtentPoint32W(hContext, Caption.c_str(), static_cast<int>(Caption.size()), &Extent);
        SelectObject(hContext, hFont);
        ReleaseDC(hChild, hContext);
        RECT Client{};
        GetClientRect(hChild, &Client);
        const bool bCheck = Control.Kind == ControlKind::CheckBox;
        EXPECT_LE(Extent.cx + (bCheck ? GetSystemMetrics(SM_CXMENUCHECK) : 0) +
                      (Control.Kind == ControlKind::Label ? 0 : MulDiv(bCheck ? 4 : 8, iDpi, 96)),
                  Client.right)
            << i;
    }
    const std::wstring Longest = Player.Cell(ID_FILE_LIST, 0, 0);
    EXPECT_LE(SendMessageW(Player.Item(ID_FILE_LIST), LVM_GETSTRINGWIDTHW, 0,
                           reinterpret_cast<LPARAM>(Longest.c_str())) +
                  MulDiv(12, iDpi, 96),
              SendMessageW(Player.Item(ID_FILE_LIST), LVM_GETCOLUMNWIDTH, 0, 0));
}

TEST(MainDialogWindow, TheShiftShowsInTheTitle)
{
    RunningPlayer Player(u"3");
    ASSERT_NE(Player.hDialog, nullptr);
    EXPECT_EQ(TextOf(Player.hDialog), L"Larkspur v1.02 (Shift: 3)");
    PostMessageW(Player.hDialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(Player.Finish(), 0);
}

TEST(MainDialogWindow, ChooseDropPlayPauseStopAndEscapeWhilePlaying)
{
    const auto Recording = TestFiles::PathFor("dialog-window-recording.wav");
    std::filesystem::remove(Recording);
    const std::string Setting = "virtual:" + Recording.string();
    ASSERT_EQ(_putenv_s("LARKSPUR_AUDIO", Setting.c_str()), 0);
    const auto Chosen = ToneFile("dialog-window-chosen.wav", 88200);
    const auto Dropped = ToneFile("dialog-window-dropped.wav", 441000);
    {
        RunningPlayer Player(nullptr, Chosen);
        ASSERT_NE(Player.hDialog, nullptr);
        Player.Click(ID_CHOOSE_FILE);
        EXPECT_EQ(Player.Cell(ID_FILE_LIST, 0, 1), L"44100");
        EXPECT_EQ(Player.Cell(ID_FILE_LIST, 1, 1), L"2");
        EXPECT_EQ(Player.Cell(ID_FILE_LIST, 2, 1), L"16");
        EXPECT_EQ(Player.Cell(ID_FILE_LIST, 3, 1), L"2.000");
        EXPECT_EQ(TextOf(Player.Item(ID_PATH_FIELD)),
                  std::wstring(reinterpret_cast<const wchar_t*>(TestFiles::Wide(Chosen).c_str())));
        EXPECT_EQ(Player.States(), "1001");

        // A file dropped from the desktop: the same path as "...".
        const std::wstring DroppedPath = reinterpret_cast<const wchar_t*>(TestFiles::Wide(Dropped).c_str());
        const size_t uiBytes = sizeof(DROPFILES) + (DroppedPath.size() + 2) * sizeof(wchar_t);
        HGLOBAL hDrop = GlobalAlloc(GHND, uiBytes);
        ASSERT_NE(hDrop, nullptr);
        auto* pDrop = static_cast<DROPFILES*>(GlobalLock(hDrop));
        pDrop->pFiles = sizeof(DROPFILES);
        pDrop->fWide = TRUE;
        std::memcpy(reinterpret_cast<char*>(pDrop) + sizeof(DROPFILES), DroppedPath.c_str(),
                    DroppedPath.size() * sizeof(wchar_t));
        GlobalUnlock(hDrop);
        SendMessageW(Player.hDialog, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
        EXPECT_EQ(Player.Cell(ID_FILE_LIST, 3, 1), L"10.000");
        EXPECT_EQ(TextOf(Player.Item(ID_PATH_FIELD)), DroppedPath);

        Player.Click(ID_PLAY);
        EXPECT_EQ(Player.States(), "0110");
        EXPECT_NE(Player.Cell(ID_DEVICE_LIST, 0, 1), L"");
        EXPECT_NE(Player.Cell(ID_DEVICE_LIST, 2, 1), L"");

        // The speed slider dragged to the top: every notification counts.
        const HWND hSpeed = Player.Item(ID_SPEED_SLIDER);
        SendMessageW(hSpeed, TBM_SETPOS, TRUE, 0);
        SendMessageW(Player.hDialog, WM_VSCROLL, MAKEWPARAM(TB_THUMBTRACK, 0),
                     reinterpret_cast<LPARAM>(hSpeed));
        EXPECT_EQ(TextOf(Player.Item(ID_SPEED_LABEL)), L"x0.5000");
        SendMessageW(hSpeed, TBM_SETPOS, TRUE, 240);
        SendMessageW(Player.hDialog, WM_VSCROLL, MAKEWPARAM(TB_ENDTRACK, 0),
                     reinterpret_cast<LPARAM>(hSpeed));
        EXPECT_EQ(TextOf(Player.Item(ID_SPEED_LABEL)), L"x2.0000");
        const HWND hVolume = Player.Item(ID_VOLUME_SLIDER);
        SendMessageW(hVolume, TBM_SETPOS, TRUE, 5);
        SendMessageW(Player.hDialog, WM_VSCROLL, MAKEWPARAM(TB_LINEDOWN, 0),
                     reinterpret_cast<LPARAM>(hVolume));
        EXPECT_EQ(TextOf(Player.Item(ID_VOLUME_LABEL)), L"-0.5 dB");

        Player.Click(ID_PAUSE);
        EXPECT_EQ(Player.States(), "1010");
        Player.Click(ID_PLAY);
        EXPECT_EQ(Player.States(), "0110");
        Player.Click(ID_STOP);
        EXPECT_EQ(Player.States(), "1001");
        Player.Click(ID_PLAY);
        EXPECT_EQ(Player.States(), "0110");
        std::this_thread::sleep_for(std::chrono::milliseconds(700)); // sound for the recording
        Player.PostKey(Player.Item(ID_PATH_FIELD), VK_ESCAPE);
        EXPECT_EQ(Player.Finish(), 0);
    }
    _putenv_s("LARKSPUR_AUDIO", "");
    // What the device received in the last run: the 1000 Hz tone at x2, so about 2000 Hz. The
    // recording keeps every run, so only its last half second is looked at.
    uint32_t uiRate = 0;
    std::vector<double> Left;
    ASSERT_TRUE(ReadLeftChannel(Recording, uiRate, Left));
    if (Left.size() > uiRate / 2u)
    {
        Left.erase(Left.begin(), Left.end() - static_cast<std::ptrdiff_t>(uiRate / 2u));
    }
    // Only where it sounds: on a loaded machine the device may have had gaps to fill with silence.
    constexpr double QUIET = 1e-3;
    // A crossing may fall on a sample of exactly 0, so signs are compared between the sounding samples
    // around it.
    size_t uiSounding = 0;
    size_t uiCrossings = 0;
    size_t uiLast = Left.size();
    for (size_t i = 0; i < Left.size(); ++i)
    {
        if (std::abs(Left[i]) < QUIET)
        {
            continue;
        }
        if (uiLast < i && i - uiLast <= 4)
        {
            uiSounding += i - uiLast;
            uiCrossings += (Left[uiLast] < 0.0) != (Left[i] < 0.0) ? 1u : 0u;
        }
        uiLast = i;
    }
    ASSERT_GT(uiSounding, uiRate / 20u);
    const double dfFrequency = uiCrossings / 2.0 / (static_cast<double>(uiSounding) / uiRate);
    EXPECT_NEAR(dfFrequency, 2000.0, 100.0) << uiSounding << " of " << Left.size() << " samples at " << uiRate
                                            << ", from " << *std::min_element(Left.begin(), Left.end())
                                            << " to " << *std::max_element(Left.begin(), Left.end());
}

// The end of the file as the window meets it: its 10 ms timer sees the whole file converted, kills
// itself and sends the Stop command, which puts the controls back and blanks the device list.
TEST(MainDialogWindow, TheEndOfTheFileStopsPlaybackThroughTheTimer)
{
    ASSERT_EQ(_putenv_s("LARKSPUR_AUDIO", "virtual"), 0);
    const auto Short = ToneFile("dialog-window-short.wav", 13230);
    {
        RunningPlayer Player(nullptr, Short);
        ASSERT_NE(Player.hDialog, nullptr);
        Player.Click(ID_CHOOSE_FILE);
        Player.Click(ID_PLAY);
        EXPECT_EQ(Player.States(), "0110");
        EXPECT_NE(Player.Cell(ID_DEVICE_LIST, 0, 1), L"");
        const auto Deadline = std::chrono::steady_clock::now() + WAIT;
        while (Player.States() != "1001" && std::chrono::steady_clock::now() < Deadline)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        EXPECT_EQ(Player.States(), "1001");
        EXPECT_EQ(SendMessageW(Player.Item(ID_PROGRESS), PBM_GETPOS, 0, 0), 2147483647);
        EXPECT_EQ(Player.Cell(ID_DEVICE_LIST, 0, 1), L"");
        Player.PostKey(Player.Item(ID_PATH_FIELD), VK_ESCAPE);
        EXPECT_EQ(Player.Finish(), 0);
    }
    _putenv_s("LARKSPUR_AUDIO", "");
}

TEST(MainDialogWindow, TheShiftIsReadAfterTheProgramName)
{
    EXPECT_STREQ(SkipProgramName(L"larkspur.exe"), L"");
    EXPECT_STREQ(SkipProgramName(L"larkspur.exe 3"), L"3");
    EXPECT_STREQ(SkipProgramName(L"\"C:\\Program Files\\Larkspur\\larkspur.exe\"  \t-1,000 x"), L"-1,000 x");
    EXPECT_STREQ(SkipProgramName(L"\"C:\\unterminated 5"), L"");
    EXPECT_STREQ(SkipProgramName(nullptr), L"");
}

// The progress bar and the keys as a practising user meets them: focus and Space after Play, a click
// seeks, a digit seeks from any control but the bit-count field (a drop-down list does not search),
// the menu's loop items set A and B, the band is drawn over the bar, the media keys play and pause.
TEST(MainDialogWindow, PracticeOnTheProgressBarWithKeysMenuAndMediaKeys)
{
    ASSERT_EQ(_putenv_s("LARKSPUR_AUDIO", "virtual"), 0);
    const auto Tone = ToneFile("dialog-window-practice.wav", 20 * 44100);
    {
        RunningPlayer Player(nullptr, Tone);
        ASSERT_NE(Player.hDialog, nullptr);
        Player.Click(ID_CHOOSE_FILE);
        const HWND hRate = Player.Item(ID_RATE_COMBO);
        PostMessageW(Player.hDialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(hRate), TRUE);
        PostMessageW(hRate, WM_CHAR, u'4', 0);
        PostMessageW(Player.Item(ID_BIT_FIELD), WM_CHAR, u'1', 0);
        Player.HandlePosted();
        EXPECT_EQ(TextOf(hRate), L"96 kHz");
        EXPECT_NE(TextOf(Player.Item(ID_BIT_FIELD)), L"24");
        SendMessageW(Player.Item(ID_BIT_FIELD), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"24"));

        Player.Click(ID_PLAY);
        ASSERT_EQ(Player.States(), "0110");
        // Pause has the focus, as the default button, with its focus ring shown.
        GUITHREADINFO Gui{};
        Gui.cbSize = sizeof(Gui);
        GetGUIThreadInfo(GetWindowThreadProcessId(Player.hDialog, nullptr), &Gui);
        EXPECT_EQ(Gui.hwndFocus, Player.Item(ID_PAUSE));
        EXPECT_NE(GetWindowLongW(Player.Item(ID_PAUSE), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
        EXPECT_EQ(SendMessageW(Player.Item(ID_PAUSE), WM_QUERYUISTATE, 0, 0) & UISF_HIDEFOCUS, 0);

        Player.ClickProgress(0.75);
        EXPECT_NEAR(Player.Progress(), 0.75, 0.01);
        // A digit on the (disabled) rate list seeks to its tenth and leaves the list alone.
        PostMessageW(hRate, WM_CHAR, u'4', 0);
        PostMessageW(hRate, WM_CHAR, u'3', 0);
        Player.HandlePosted();
        EXPECT_NEAR(Player.Progress(), 0.3, 0.01);
        EXPECT_EQ(TextOf(hRate), L"96 kHz");

        // Paused, A at 20 % and B at 70 % through the menu's commands: the loop plays from A.
        Player.Click(ID_PAUSE);
        Player.ClickProgress(0.2);
        SendMessageW(Player.hDialog, WM_COMMAND, ProgressMenu::CommandOf(PlaybackSession::Action::LoopStart),
                     0);
        Player.ClickProgress(0.7);
        SendMessageW(Player.hDialog, WM_COMMAND, ProgressMenu::CommandOf(PlaybackSession::Action::LoopEnd),
                     0);
        EXPECT_NEAR(Player.Progress(), 0.2, 0.01);
        // The band in the highlight colour over the track, none beyond B.
        const HWND hBar = Player.Item(ID_PROGRESS);
        RECT Client{};
        GetClientRect(hBar, &Client);
        HDC hScreen = GetDC(nullptr);
        HDC hMemory = CreateCompatibleDC(hScreen);
        HBITMAP hBitmap = CreateCompatibleBitmap(hScreen, Client.right, Client.bottom);
        HGDIOBJ hOld = SelectObject(hMemory, hBitmap);
        EXPECT_TRUE(PrintWindow(hBar, hMemory, PW_CLIENTONLY));
        const COLORREF uiInBand = GetPixel(hMemory, Client.right * 45 / 100, Client.bottom - 2);
        const COLORREF uiBeyond = GetPixel(hMemory, Client.right * 85 / 100, Client.bottom - 2);
        SelectObject(hMemory, hOld);
        DeleteObject(hBitmap);
        DeleteDC(hMemory);
        ReleaseDC(nullptr, hScreen);
        EXPECT_EQ(uiInBand, GetSysColor(COLOR_HIGHLIGHT));
        EXPECT_NE(uiBeyond, GetSysColor(COLOR_HIGHLIGHT));

        EXPECT_EQ(Player.MediaKey(APPCOMMAND_MEDIA_PLAY_PAUSE), TRUE);
        EXPECT_EQ(Player.States(), "0110");
        EXPECT_EQ(Player.MediaKey(APPCOMMAND_MEDIA_PLAY_PAUSE), TRUE);
        EXPECT_EQ(Player.States(), "1010");
        EXPECT_EQ(Player.MediaKey(APPCOMMAND_MEDIA_STOP), TRUE);
        EXPECT_EQ(Player.States(), "1001");
        Player.PostKey(Player.hDialog, VK_ESCAPE);
        EXPECT_EQ(Player.Finish(), 0);
    }
    _putenv_s("LARKSPUR_AUDIO", "");
}

TEST(MainDialogWindow, TheProgressMenuShowsTheDialogsItems)
{
    using Action = PlaybackSession::Action;
    const ProgressMenu Menu({{Action::LoopStart, u"ループ開始\tA", 1, 0},
                             {Action::LoopEnd, u"ループ終了\tB", 0, 0},
                             {Action::Trainer, u"スピードトレーナー\tT", 1, 1}});
    ASSERT_NE(Menu.GetHandle(), nullptr);
    EXPECT_EQ(GetMenuItemCount(Menu.GetHandle()), 3);
    wchar_t Text[64] = {};
    GetMenuStringW(Menu.GetHandle(), ProgressMenu::CommandOf(Action::LoopStart), Text, 64, MF_BYCOMMAND);
    EXPECT_EQ(std::wstring(Text), L"ループ開始\tA");
    EXPECT_EQ(GetMenuState(Menu.GetHandle(), ProgressMenu::CommandOf(Action::LoopStart), MF_BYCOMMAND),
              MF_ENABLED);
    EXPECT_NE(GetMenuState(Menu.GetHandle(), ProgressMenu::CommandOf(Action::LoopEnd), MF_BYCOMMAND) &
                  MF_GRAYED,
              0u);
    EXPECT_NE(GetMenuState(Menu.GetHandle(), ProgressMenu::CommandOf(Action::Trainer), MF_BYCOMMAND) &
                  MF_CHECKED,
              0u);
    Action What = Action::SeekBack;
    EXPECT_EQ(ProgressMenu::ActionOfCommand(ProgressMenu::CommandOf(Action::LoopEnd), What), 1);
    EXPECT_EQ(What, Action::LoopEnd);
    // The last action's command, keep pitch, is one of the menu's too.
    EXPECT_EQ(ProgressMenu::ActionOfCommand(ProgressMenu::CommandOf(Action::KeepPitch), What), 1);
    EXPECT_EQ(What, Action::KeepPitch);
    EXPECT_EQ(ProgressMenu::ActionOfCommand(ProgressMenu::CommandOf(Action::KeepPitch) + 1, What), 0);
    EXPECT_EQ(ProgressMenu::ActionOfCommand(ID_PLAY, What), 0);
}

// A file named on the command line, quoted for the blanks in its path, is loaded as "..." would.
TEST(MainDialogWindow, AFileNamedOnTheCommandLineIsLoaded)
{
    const auto Named = ToneFile("dialog window named.wav", 44100);
    const std::u16string Arguments = u"\"" + TestFiles::Wide(Named) + u"\"";
    RunningPlayer Player(Arguments.c_str());
    ASSERT_NE(Player.hDialog, nullptr);
    EXPECT_EQ(TextOf(Player.Item(ID_PATH_FIELD)), W(TestFiles::Wide(Named).c_str()));
    EXPECT_EQ(Player.Cell(ID_FILE_LIST, 3, 1), L"1.000");
    PostMessageW(Player.hDialog, WM_CLOSE, 0, 0);
    EXPECT_EQ(Player.Finish(), 0);
}
