#include "app/dialog/DialogControlIds.h"
#include "app/dialog/MainDialogLayout.h"
#include "app/dialog/ProgramEntry.h"
#include "app/dialog/ScopedPlayerLanguage.h"
#include "app/player/PlaybackObjectFactory.h"
#include "app/player/PlayerScales.h"
#include "app/player/PlayerState.h"
#include "app/qt/QtDialogHost.h"
#include "app/qt/QtDialogMetrics.h"
#include "app/qt/QtMainDialogWindow.h"
#include "app/qt/QtPracticeProgressBar.h"
#include "conversion/ParameterSmoother.h"
#include "conversion/SamplingFrequencyConverter.h"
#include "output/AudioClientConstants.h"
#include "output/CSoundStreamWASAPI.h"
#include "tests/common/LatestTarget.h"
#include "tests/common/TestFiles.h"
#include "tests/common/WaveFileBuilder.h"
#include "tests/scripted/CVirtualAudioLayer.h"
#include "tests/scripted/VirtualAudioDevice.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QFontInfo>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <QUrl>
#include <QValidator>

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <functional>
#include <memory>
#include <numbers>
#include <string>
#include <vector>

using namespace DialogControlIds;
using MainDialogLayout::ControlKind;

// The Qt dialog as the program builds it, driven through its widgets: the controls against the
// template, the state table with the controller playing on a real-time virtual device, the sliders,
// a refused file's message box, Escape while playing, a dropped file and the progress bar's practice
// tools (seek by mouse, loop band, menu, keys).

namespace
{
// Remembers the cursor the application shows while a start creates its stream.
class CursorWatchingFactory : public PlaybackObjectFactory
{
public:
    std::unique_ptr<CSoundStreamWASAPI> CreateStream(SAudioClientLayer* pLayer) override
    {
        const QCursor* pCursor = QApplication::overrideCursor();
        bSawWaitCursor = pCursor != nullptr && pCursor->shape() == Qt::WaitCursor;
        return PlaybackObjectFactory::CreateStream(pLayer);
    }
    bool bSawWaitCursor = false;
};

// Runs the event loop until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& Condition, int iMilliseconds = 10000)
{
    QElapsedTimer Clock;
    Clock.start();
    while (!Condition())
    {
        if (Clock.elapsed() > iMilliseconds)
        {
            return false;
        }
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

std::filesystem::path ToneFile(const std::string& Name, uint64_t ullFrames)
{
    std::vector<double> Signal(2 * ullFrames);
    for (uint64_t n = 0; n < ullFrames; ++n)
    {
        Signal[2 * n] = 0.5 * std::sin(2.0 * std::numbers::pi * 440.0 * static_cast<double>(n) / 44100.0);
        Signal[2 * n + 1] = Signal[2 * n];
    }
    return TestFiles::Write(Name, WaveFileBuilder::PcmWave(Signal, 2, 44100, 16));
}

QString QtPath(const std::filesystem::path& Path)
{
    return QString::fromStdU16String(TestFiles::Wide(Path));
}

// The program's objects around the real Qt host, on one real-time virtual device.
class QtPlayerRig
{
public:
    QtPlayerRig() : State(PlayerState::Instance())
    {
        State.RestoreDefaultSettings();
        pDevice = std::make_shared<VirtualAudioDevice>();
        pDevice->AcceptFormat(AUDIO_SHAREMODE_EXCLUSIVE, 48000, 24);
        pDevice->UseRealTimeClock(1);
        Layer.AddDevice(pDevice);
        pEntry = std::make_unique<ProgramEntry>(&Layer, nullptr, Host, nullptr, &Factory);
        Window.SetDropHandler([this](const std::u16string& Path)
                              { pEntry->GetDialog().OnFileDropped(Path.c_str()); });
        Host.SetFileChooser(
            [this](const QString& Filter, QString& Path) -> int32_t
            {
                LastFilter = Filter;
                if (Answers.empty())
                {
                    return 0;
                }
                Path = Answers.front();
                Answers.pop_front();
                return Path.isEmpty() ? 0 : 1;
            });
        EXPECT_EQ(pEntry->Begin(), 1);
    }

    ~QtPlayerRig()
    {
        pEntry->End();
        EXPECT_EQ(State.pSoundStream, nullptr);
        EXPECT_EQ(State.pVolume, nullptr);
    }

    void Open() { Host.Open(pEntry->GetDialog()); }

    template <typename Widget> Widget* Get(int32_t iId)
    {
        auto* pWidget = qobject_cast<Widget*>(Window.Control(iId));
        EXPECT_NE(pWidget, nullptr) << iId;
        return pWidget;
    }

    void Click(int32_t iId) { Get<QPushButton>(iId)->click(); }

    // Play, Pause, Stop enabled, then the settings group ("...", combos, bit field, check box, "設定").
    std::string Enabled()
    {
        std::string States;
        for (const int32_t iId : {ID_PLAY, ID_PAUSE, ID_STOP})
        {
            States += Window.Control(iId)->isEnabled() ? '1' : '0';
        }
        int32_t iGroup = 0;
        for (const int32_t iId :
             {ID_CHOOSE_FILE, ID_DEVICE_COMBO, ID_RATE_COMBO, ID_BIT_FIELD, ID_ENHANCER_CHECK, ID_SETTINGS})
        {
            iGroup += Window.Control(iId)->isEnabled() ? 1 : 0;
        }
        return States + (iGroup == 6 ? " settings enabled" : iGroup == 0 ? " settings disabled" : " mixed");
    }

    QString Cell(int32_t iList, int32_t iRow, int32_t iColumn)
    {
        QTreeWidgetItem* pItem = Get<QTreeWidget>(iList)->topLevelItem(iRow);
        return pItem != nullptr ? pItem->text(iColumn) : QStringLiteral("(no row)");
    }

    PlayerState& State;
    std::shared_ptr<VirtualAudioDevice> pDevice;
    CVirtualAudioLayer Layer;
    CursorWatchingFactory Factory;
    QtMainDialogWindow Window;
    QtDialogHost Host{Window};
    std::unique_ptr<ProgramEntry> pEntry;
    std::deque<QString> Answers;
    QString LastFilter;
};

// The application's override cursors, top first ("arrow wait"); the stack is left as it was.
std::string OverrideCursorStack()
{
    std::vector<Qt::CursorShape> Shapes;
    while (const QCursor* pCursor = QApplication::overrideCursor())
    {
        Shapes.push_back(pCursor->shape());
        QApplication::restoreOverrideCursor();
    }
    std::string Text;
    for (auto It = Shapes.rbegin(); It != Shapes.rend(); ++It)
    {
        QApplication::setOverrideCursor(*It);
    }
    for (const Qt::CursorShape Shape : Shapes)
    {
        Text += (Text.empty() ? "" : " ") + std::string(Shape == Qt::ArrowCursor  ? "arrow"
                                                        : Shape == Qt::WaitCursor ? "wait"
                                                                                  : "other");
    }
    return Text;
}

// Answers the next message box with OK, noting what it showed and the cursors over it.
struct MessageBoxAnswer
{
    QString Text;
    QString Title;
    QMessageBox::Icon Icon = QMessageBox::NoIcon;
    bool bModal = false;
    bool bSeen = false;
    std::string Cursors;
    QTimer Poll;

    MessageBoxAnswer()
    {
        Poll.setInterval(10);
        QObject::connect(&Poll, &QTimer::timeout,
                         [this]()
                         {
                             auto* pBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                             if (pBox == nullptr)
                             {
                                 return;
                             }
                             Text = pBox->text();
                             Title = pBox->windowTitle();
                             Icon = pBox->icon();
                             bModal = pBox->isModal();
                             Cursors = OverrideCursorStack();
                             bSeen = true;
                             Poll.stop();
                             pBox->button(QMessageBox::Ok)->click();
                         });
        Poll.start();
    }
};

void SendDrop(QWidget& Target, const QString& Path, bool& bEnterAccepted)
{
    QMimeData Data;
    Data.setUrls({QUrl::fromLocalFile(Path)});
    const QPointF At(Target.width() / 2.0, Target.height() / 2.0);
    QDragEnterEvent Enter(At.toPoint(), Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&Target, &Enter);
    bEnterAccepted = Enter.isAccepted();
    if (bEnterAccepted)
    {
        QDropEvent Drop(At, Qt::CopyAction, &Data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&Target, &Drop);
    }
}
} // namespace

TEST(QtMainDialog, EveryControlFromTheTemplateWithItsTextStateAndGeometry)
{
    QtPlayerRig Rig;
    Rig.Open();
    QtMainDialogWindow& Window = Rig.Window;

    // A Japanese-capable font with the 8-point dialog font's 11-pixel character height at 96 dpi.
    const QFontInfo Info(Window.font());
    EXPECT_TRUE(Info.family().contains(QStringLiteral("Noto Sans CJK"))) << Info.family().toStdString();
    EXPECT_EQ(Window.font().pixelSize(), 11);
    const QFontMetrics Metrics(Window.font());
    const int32_t iBaseX =
        (Metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
             26 +
         1) /
        2;
    const int32_t iBaseY = Metrics.height();
    EXPECT_EQ(Window.Units().iX, iBaseX);
    EXPECT_EQ(Window.Units().iY, iBaseY);
    const auto Pixels = [](int32_t iUnits, int32_t iBase, int32_t iDivisor)
    { return std::lround(static_cast<double>(iUnits) * iBase / iDivisor); };
    EXPECT_EQ(Window.width(), Pixels(547, iBaseX, 4));
    EXPECT_EQ(Window.height(), Pixels(133, iBaseY, 8));
    EXPECT_EQ(Window.windowTitle(), QStringLiteral("Larkspur v1.02"));

    const std::vector<QWidget*>& Controls = Window.TemplateControls();
    ASSERT_EQ(Controls.size(), 23u);
    for (int32_t i = 0; i < 23; ++i)
    {
        const MainDialogLayout::Control& Item = MainDialogLayout::Controls()[i];
        QWidget* pWidget = Controls[i];
        SCOPED_TRACE("control " + std::to_string(i) + " id " + std::to_string(Item.iId));
        EXPECT_EQ(pWidget->property("controlId").toInt(), Item.iId);
        if (Item.iId != MainDialogLayout::NO_ID)
        {
            EXPECT_EQ(Window.Control(Item.iId), pWidget);
        }
        bool bRightClass = false;
        switch (Item.Kind)
        {
        case ControlKind::Slider:
            bRightClass = qobject_cast<QSlider*>(pWidget) != nullptr;
            break;
        case ControlKind::Label:
            bRightClass = qobject_cast<QLabel*>(pWidget) != nullptr;
            break;
        case ControlKind::Button:
            bRightClass = qobject_cast<QPushButton*>(pWidget) != nullptr;
            break;
        case ControlKind::GroupBox:
            bRightClass = qobject_cast<QGroupBox*>(pWidget) != nullptr;
            break;
        case ControlKind::Edit:
            bRightClass = qobject_cast<QLineEdit*>(pWidget) != nullptr;
            break;
        case ControlKind::ComboBox:
            bRightClass = qobject_cast<QComboBox*>(pWidget) != nullptr;
            break;
        case ControlKind::CheckBox:
            bRightClass = qobject_cast<QCheckBox*>(pWidget) != nullptr;
            break;
        case ControlKind::ListView:
            bRightClass = qobject_cast<QTreeWidget*>(pWidget) != nullptr;
            break;
        case ControlKind::ProgressBar:
            bRightClass = qobject_cast<QProgressBar*>(pWidget) != nullptr;
            break;
        }
        EXPECT_TRUE(bRightClass) << pWidget->metaObject()->className();
        // The converted template rectangle; a caption that needs more room with this font widens its
        // label or check box away from the edge the text is aligned to, and only as far as needed.
        const QRect Area = pWidget->geometry();
        const QRect Template(Pixels(Item.iX, iBaseX, 4), Pixels(Item.iY, iBaseY, 8),
                             Pixels(Item.iWidth, iBaseX, 4), Pixels(Item.iHeight, iBaseY, 8));
        QString Caption;
        int32_t iIndent = 0;
        if (auto* pLabel = qobject_cast<QLabel*>(pWidget))
        {
            Caption = pLabel->text();
        }
        else if (auto* pButton = qobject_cast<QPushButton*>(pWidget))
        {
            Caption = pButton->text();
        }
        else if (auto* pCheck = qobject_cast<QCheckBox*>(pWidget))
        {
            Caption = pCheck->text();
            QStyleOptionButton Option;
            Option.initFrom(pCheck);
            iIndent = pCheck->style()->subElementRect(QStyle::SE_CheckBoxContents, &Option, pCheck).x();
        }
        else if (auto* pGroup = qobject_cast<QGroupBox*>(pWidget))
        {
            Caption = pGroup->title();
        }
        const int32_t iNeeded = iIndent + Metrics.horizontalAdvance(Caption.trimmed());
        EXPECT_NEAR(Area.y(), Template.y(), 1);
        if (Item.Kind != ControlKind::ComboBox)
        {
            EXPECT_NEAR(Area.height(), Template.height(), 1);
        }
        if (Area.width() > Template.width() + 1)
        {
            EXPECT_EQ(Area.width(), iNeeded) << "grown more than the caption needs";
            EXPECT_NEAR(Item.Align == MainDialogLayout::TextAlign::Right ? Area.right() : Area.left(),
                        Item.Align == MainDialogLayout::TextAlign::Right ? Template.right() : Template.left(),
                        1);
        }
        else
        {
            EXPECT_NEAR(Area.x(), Template.x(), 1);
            EXPECT_NEAR(Area.width(), Template.width(), 1);
        }
        // No caption is cut.
        if (!Caption.isEmpty())
        {
            EXPECT_LE(iNeeded, Area.width()) << Caption.toStdString();
            EXPECT_LE(Metrics.height(), Area.height()) << Caption.toStdString();
        }
        EXPECT_TRUE(Window.rect().contains(Area)) << "outside the dialog";
    }
    // Nothing overlaps but what sits inside a frame.
    for (size_t i = 0; i < Controls.size(); ++i)
    {
        for (size_t j = i + 1; j < Controls.size(); ++j)
        {
            if (qobject_cast<QGroupBox*>(Controls[i]) != nullptr ||
                qobject_cast<QGroupBox*>(Controls[j]) != nullptr)
            {
                continue;
            }
            EXPECT_FALSE(Controls[i]->geometry().intersects(Controls[j]->geometry()))
                << "controls " << i << " and " << j << " overlap";
        }
    }
    for (QWidget* pGroup : Controls)
    {
        if (qobject_cast<QGroupBox*>(pGroup) == nullptr)
        {
            continue;
        }
        for (QWidget* pOther : Controls)
        {
            if (pOther != pGroup && pGroup->geometry().intersects(pOther->geometry()))
            {
                EXPECT_TRUE(pGroup->geometry().contains(pOther->geometry()))
                    << pOther->property("controlId").toInt() << " crosses a frame";
            }
        }
    }

    // The initial state and labels.
    EXPECT_EQ(Rig.Enabled(), "000 settings enabled");
    for (const int32_t iId : {ID_SPEED_SLIDER, ID_VOLUME_SLIDER})
    {
        auto* pSlider = Rig.Get<QSlider>(iId);
        EXPECT_EQ(pSlider->orientation(), Qt::Vertical);
        EXPECT_TRUE(pSlider->invertedAppearance()) << "position 0 at the top";
        EXPECT_TRUE(pSlider->isEnabled());
    }
    auto* pSpeed = Rig.Get<QSlider>(ID_SPEED_SLIDER);
    EXPECT_EQ(pSpeed->minimum(), 0);
    EXPECT_EQ(pSpeed->maximum(), 280);
    EXPECT_EQ(pSpeed->value(), 120);
    EXPECT_EQ(pSpeed->tickInterval(), 10);
    EXPECT_EQ(pSpeed->pageStep(), 10);
    EXPECT_EQ(pSpeed->tickPosition(), QSlider::TicksBothSides);
    auto* pVolume = Rig.Get<QSlider>(ID_VOLUME_SLIDER);
    EXPECT_EQ(pVolume->maximum(), 800);
    EXPECT_EQ(pVolume->value(), 200);
    EXPECT_EQ(pVolume->pageStep(), 25);
    EXPECT_EQ(pVolume->tickPosition(), QSlider::NoTicks);
    EXPECT_EQ(Rig.Get<QLabel>(ID_SPEED_LABEL)->text(), QStringLiteral("x1.0000"));
    EXPECT_EQ(Rig.Get<QLabel>(ID_VOLUME_LABEL)->text(), QStringLiteral("-20.0 dB"));
    EXPECT_TRUE(Rig.Get<QLabel>(ID_SPEED_LABEL)->alignment() & Qt::AlignHCenter);
    auto* pProgress = Rig.Get<QProgressBar>(ID_PROGRESS);
    EXPECT_EQ(pProgress->minimum(), 0);
    EXPECT_EQ(pProgress->maximum(), 2147483647);
    EXPECT_EQ(pProgress->value(), 0);
    for (const int32_t iList : {ID_FILE_LIST, ID_DEVICE_LIST})
    {
        auto* pList = Rig.Get<QTreeWidget>(iList);
        EXPECT_FALSE(pList->rootIsDecorated());
        ASSERT_EQ(pList->columnCount(), 2);
        EXPECT_EQ(pList->headerItem()->text(0), QStringLiteral("項目"));
        EXPECT_EQ(pList->headerItem()->text(1), QStringLiteral("値"));
        EXPECT_EQ(pList->columnWidth(0), 150);
        EXPECT_EQ(pList->columnWidth(1), 140);
    }
    EXPECT_EQ(Rig.Get<QTreeWidget>(ID_FILE_LIST)->topLevelItemCount(), 4);
    EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 3, 0), QStringLiteral("データ長 (秒)"));
    EXPECT_EQ(Rig.Get<QTreeWidget>(ID_DEVICE_LIST)->topLevelItemCount(), 3);
    EXPECT_EQ(Rig.Cell(ID_DEVICE_LIST, 2, 0), QStringLiteral("動作モード"));
    auto* pDevices = Rig.Get<QComboBox>(ID_DEVICE_COMBO);
    ASSERT_EQ(pDevices->count(), 2);
    EXPECT_EQ(pDevices->itemText(0), QStringLiteral("既定のオーディオ再生デバイス"));
    EXPECT_EQ(pDevices->currentIndex(), 0);
    auto* pRates = Rig.Get<QComboBox>(ID_RATE_COMBO);
    ASSERT_EQ(pRates->count(), 20);
    EXPECT_EQ(pRates->itemText(0), QStringLiteral("8 kHz"));
    EXPECT_EQ(pRates->currentText(), QStringLiteral("96 kHz"));
    auto* pBits = Rig.Get<QLineEdit>(ID_BIT_FIELD);
    EXPECT_EQ(pBits->text(), QStringLiteral("24"));
    EXPECT_TRUE(pBits->alignment() & Qt::AlignHCenter);
    ASSERT_NE(pBits->validator(), nullptr);
    QString Typed = QStringLiteral("2x");
    int iCursor = 0;
    EXPECT_EQ(pBits->validator()->validate(Typed, iCursor), QValidator::Invalid);
    EXPECT_TRUE(Rig.Get<QLineEdit>(ID_PATH_FIELD)->isReadOnly());
    EXPECT_TRUE(Rig.Get<QCheckBox>(ID_ENHANCER_CHECK)->isChecked());
    EXPECT_EQ(Rig.Get<QPushButton>(ID_PLAY)->text(), QStringLiteral("再生"));
    EXPECT_EQ(Rig.Get<QPushButton>(ID_PAUSE)->text(), QStringLiteral("一時停止"));
    EXPECT_EQ(Rig.Get<QPushButton>(ID_STOP)->text(), QStringLiteral("停止"));
    EXPECT_EQ(Rig.Get<QPushButton>(ID_SETTINGS)->text(), QStringLiteral("設定"));
    EXPECT_EQ(Rig.Get<QCheckBox>(ID_ENHANCER_CHECK)->text(), QStringLiteral("分解能エンハンサー"));
}

TEST(QtMainDialog, TheBitFieldReadsAsAWindowsDialogReadsANumber)
{
    int32_t bValid = -1;
    EXPECT_EQ(QtDialogHost::ParseUnsigned(u"24", bValid), 24u);
    EXPECT_EQ(bValid, 1);
    EXPECT_EQ(QtDialogHost::ParseUnsigned(u"  7", bValid), 7u);
    EXPECT_EQ(bValid, 1);
    EXPECT_EQ(QtDialogHost::ParseUnsigned(u"4294967295", bValid), 4294967295u);
    EXPECT_EQ(bValid, 1);
    for (const std::u16string& Refused :
         {std::u16string(u""), std::u16string(u"   "), std::u16string(u"4294967296"), std::u16string(u"1a"),
          std::u16string(u"-1")})
    {
        EXPECT_EQ(QtDialogHost::ParseUnsigned(Refused, bValid), 0u);
        EXPECT_EQ(bValid, 0);
    }
}

TEST(QtMainDialog, TheStateTableAcrossChoicePlayPausePlayStopWithTheSliders)
{
    QtPlayerRig Rig;
    Rig.Open();
    const auto Path = ToneFile("qt-states.wav", 44100 * 20);

    // Cancelling the file dialog changes nothing.
    Rig.Click(ID_CHOOSE_FILE);
    EXPECT_TRUE(Rig.LastFilter.startsWith(QStringLiteral("音声ファイル(*.wav *.wave *.flac *.mp3 ")));
    EXPECT_TRUE(Rig.LastFilter.endsWith(QStringLiteral(");;Wave Data File(*.wav)")));
    EXPECT_EQ(Rig.Enabled(), "000 settings enabled");

    Rig.Answers.push_back(QtPath(Path));
    Rig.Click(ID_CHOOSE_FILE);
    EXPECT_EQ(Rig.Get<QLineEdit>(ID_PATH_FIELD)->text(), QtPath(Path));
    EXPECT_EQ(Rig.Get<QLineEdit>(ID_PATH_FIELD)->cursorPosition(), QtPath(Path).size());
    EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 0, 1), QStringLiteral("44100"));
    EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 1, 1), QStringLiteral("2"));
    EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 2, 1), QStringLiteral("16"));
    EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 3, 1), QStringLiteral("20.000"));
    EXPECT_EQ(Rig.Enabled(), "100 settings enabled");

    Rig.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    EXPECT_TRUE(Rig.Factory.bSawWaitCursor);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(Rig.Enabled(), "011 settings disabled");
    EXPECT_EQ(Rig.Cell(ID_DEVICE_LIST, 0, 1), QStringLiteral("48000"));
    EXPECT_EQ(Rig.Cell(ID_DEVICE_LIST, 2, 1), QStringLiteral("排他モード"));
    // The 10 ms timer moves the progress bar while the device plays.
    EXPECT_TRUE(WaitFor([&Rig]() { return Rig.Get<QProgressBar>(ID_PROGRESS)->value() > 0; }));

    // Dragging the speed slider: every step reaches the label and the converter's target.
    auto* pSpeed = Rig.Get<QSlider>(ID_SPEED_SLIDER);
    SamplingFrequencyConverter* pConverter = Rig.State.pSamplingFrequencyConverter;
    ASSERT_NE(pConverter, nullptr);
    pSpeed->setSliderDown(true);
    for (int32_t iPosition = 121; iPosition <= 170; ++iPosition)
    {
        pSpeed->setSliderPosition(iPosition);
        const double dfSpeed = std::pow(2.0, (iPosition - 120) / 120.0);
        char Expected[32];
        std::snprintf(Expected, sizeof(Expected), "x%.4f", dfSpeed);
        ASSERT_EQ(Rig.Get<QLabel>(ID_SPEED_LABEL)->text().toStdString(), Expected) << iPosition;
        ASSERT_NEAR(LatestTarget(*pConverter->pRateSmoother), 48000.0 / dfSpeed, 1e-3) << iPosition;
    }
    pSpeed->setSliderDown(false);

    // The volume slider: its label and the gain's target.
    auto* pVolume = Rig.Get<QSlider>(ID_VOLUME_SLIDER);
    pVolume->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(Rig.Get<QLabel>(ID_VOLUME_LABEL)->text(), QStringLiteral("-20.1 dB"));
    pVolume->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(Rig.Get<QLabel>(ID_VOLUME_LABEL)->text(), QStringLiteral("-22.6 dB"));
    EXPECT_NEAR(LatestTarget(*Rig.State.pVolume), std::pow(10.0, -226.0 / 200.0), 1e-9);
    pVolume->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(Rig.Get<QLabel>(ID_VOLUME_LABEL)->text(), QStringLiteral("-0.0 dB"));
    pVolume->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(Rig.Get<QLabel>(ID_VOLUME_LABEL)->text(), QStringLiteral("-80.0 dB"));

    Rig.Click(ID_PAUSE);
    EXPECT_EQ(Rig.State.bPaused.load(), 1);
    EXPECT_EQ(Rig.Enabled(), "101 settings disabled");
    Rig.Click(ID_PLAY);
    EXPECT_EQ(Rig.State.bPaused.load(), 0);
    EXPECT_EQ(Rig.Enabled(), "011 settings disabled");
    Rig.Click(ID_STOP);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_EQ(Rig.Enabled(), "100 settings enabled");
    EXPECT_TRUE(Rig.Window.isVisible());
}

// The end of the file as the window meets it: its timer sees the whole file converted, stops itself
// and sends the Stop command, which puts the controls back and blanks the device list.
TEST(QtMainDialog, TheEndOfTheFileStopsPlaybackThroughTheTimer)
{
    QtPlayerRig Rig;
    Rig.Open();
    Rig.Answers.push_back(QtPath(ToneFile("qt-end.wav", 13230)));
    Rig.Click(ID_CHOOSE_FILE);
    Rig.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    EXPECT_EQ(Rig.Cell(ID_DEVICE_LIST, 0, 1), QStringLiteral("48000"));
    EXPECT_TRUE(WaitFor([&Rig]() { return Rig.State.bPlaying == 0; }));
    auto* pProgress = Rig.Get<QProgressBar>(ID_PROGRESS);
    EXPECT_EQ(pProgress->value(), pProgress->maximum());
    EXPECT_EQ(Rig.Enabled(), "100 settings enabled");
    EXPECT_EQ(Rig.Cell(ID_DEVICE_LIST, 0, 1), QString());
    EXPECT_EQ(Rig.pDevice->GetStreamState().bOpen, 0);
}

TEST(QtMainDialog, ARefusedFileShowsTheJapaneseMessageAndBlanksTheList)
{
    QtPlayerRig Rig;
    Rig.Open();
    const auto Good = ToneFile("qt-good.wav", 4410);
    const auto Bad = TestFiles::Write("qt-bad.wav", std::vector<uint8_t>{'R', 'I', 'F', 'F', 0, 0});
    Rig.Answers.push_back(QtPath(Good));
    Rig.Click(ID_CHOOSE_FILE);
    ASSERT_EQ(Rig.Cell(ID_FILE_LIST, 3, 1), QStringLiteral("0.100"));

    MessageBoxAnswer Answer;
    Rig.Answers.push_back(QtPath(Bad));
    Rig.Click(ID_CHOOSE_FILE);
    ASSERT_TRUE(Answer.bSeen);
    EXPECT_EQ(Answer.Text,
              QStringLiteral("ファイル形式が不明または壊れています。このファイルは読み込めません。\n\n"
                             "qt-bad.wav: cut short: its WAV header ends before the sound data"));
    EXPECT_EQ(Answer.Title, QStringLiteral("エラー"));
    EXPECT_EQ(Answer.Icon, QMessageBox::Critical);
    EXPECT_TRUE(Answer.bModal);
    EXPECT_EQ(Answer.Cursors, "");
    for (int32_t iRow = 0; iRow < 4; ++iRow)
    {
        EXPECT_EQ(Rig.Cell(ID_FILE_LIST, iRow, 1), QString()) << iRow;
    }
    EXPECT_EQ(Rig.Get<QLineEdit>(ID_PATH_FIELD)->text(), QtPath(Good));
    EXPECT_EQ(Rig.Enabled(), "100 settings enabled");
}

// Play waits under the wait cursor, but each message it shows gets the normal cursor on top, and the
// wait cursor is back once the box is closed, for the next attempt or box.
TEST(QtMainDialog, PlaysMessagesShowTheNormalCursorAboveTheWaitCursor)
{
    QtPlayerRig Rig;
    Rig.Open();
    Rig.Host.ShowWaitCursor(1);
    {
        MessageBoxAnswer Answer;
        Rig.Host.ShowErrorMessage(u"一つ目", u"エラー");
        EXPECT_EQ(Answer.Cursors, "arrow wait");
    }
    EXPECT_EQ(OverrideCursorStack(), "wait");
    Rig.Host.ShowWaitCursor(0);
    EXPECT_EQ(OverrideCursorStack(), "");

    Rig.Answers.push_back(QtPath(ToneFile("qt-cursor.wav", 4410)));
    Rig.Click(ID_CHOOSE_FILE);
    Rig.pDevice->FailAfter(VirtualOperation::Start, 0);
    MessageBoxAnswer Answer;
    Rig.Click(ID_PLAY);
    ASSERT_TRUE(Answer.bSeen);
    EXPECT_EQ(Answer.Text, QStringLiteral("出力先デバイスで問題が発生し、再生を開始できませんでした。"));
    EXPECT_EQ(Answer.Cursors, "arrow wait");
    EXPECT_EQ(OverrideCursorStack(), "");
    EXPECT_EQ(Rig.State.bPlaying, 0);
}

TEST(QtMainDialog, EscapeWhilePlayingStopsAndEndsTheModalDialogWithZero)
{
    QtPlayerRig Rig;
    const auto Path = ToneFile("qt-escape.wav", 44100 * 20);
    Rig.Answers.push_back(QtPath(Path));
    bool bPlayed = false;
    QTimer::singleShot(0,
                       [&]()
                       {
                           Rig.Click(ID_CHOOSE_FILE);
                           Rig.Click(ID_PLAY);
                           bPlayed =
                               Rig.State.bPlaying == 1 &&
                               WaitFor([&Rig]() { return Rig.Get<QProgressBar>(ID_PROGRESS)->value() > 0; });
                           // Enter does nothing.
                           QWidget* pFocus = QApplication::focusWidget() != nullptr
                                                 ? QApplication::focusWidget()
                                                 : &Rig.Window;
                           QTest::keyClick(pFocus, Qt::Key_Return);
                           if (!Rig.Window.isVisible() || Rig.State.bPlaying != 1)
                           {
                               bPlayed = false;
                           }
                           QTest::keyClick(pFocus, Qt::Key_Escape);
                       });
    const int32_t iResult = Rig.Host.Run(Rig.pEntry->GetDialog());
    EXPECT_TRUE(bPlayed);
    EXPECT_EQ(iResult, 0);
    EXPECT_EQ(Rig.State.bPlaying, 0);
    EXPECT_FALSE(Rig.Window.isVisible());
    EXPECT_EQ(Rig.pDevice->GetStreamState().bInitialized, 1);
}

TEST(QtMainDialog, TheCloseBoxGoesThroughTheHandler)
{
    QtPlayerRig Rig;
    const auto Path = ToneFile("qt-close.wav", 44100 * 20);
    Rig.Answers.push_back(QtPath(Path));
    QTimer::singleShot(0,
                       [&]()
                       {
                           Rig.Click(ID_CHOOSE_FILE);
                           Rig.Click(ID_PLAY);
                           Rig.Window.close();
                       });
    EXPECT_EQ(Rig.Host.Run(Rig.pEntry->GetDialog()), 0);
    EXPECT_EQ(Rig.State.bPlaying, 0);
}

TEST(QtMainDialog, ADroppedWaveFileIsTakenLikeAChosenOne)
{
    QtPlayerRig Rig;
    Rig.Open();
    const auto Path = ToneFile("qt-drop.wav", 44100 * 20);
    bool bAccepted = false;

    // Anything but a local .wav file is not taken.
    const auto Text = TestFiles::Write("qt-drop.txt", std::vector<uint8_t>{'x'});
    SendDrop(Rig.Window, QtPath(Text), bAccepted);
    EXPECT_FALSE(bAccepted);

    SendDrop(Rig.Window, QtPath(Path), bAccepted);
    EXPECT_TRUE(bAccepted);
    EXPECT_EQ(Rig.Get<QLineEdit>(ID_PATH_FIELD)->text(), QtPath(Path));
    EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 0, 1), QStringLiteral("44100"));
    EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 3, 1), QStringLiteral("20.000"));
    EXPECT_EQ(Rig.Enabled(), "100 settings enabled");

    // A refused file dropped: the same message as through "...".
    const auto Bad = TestFiles::Write("qt-drop-bad.wav", std::vector<uint8_t>{'R', 'I', 'F', 'F'});
    {
        MessageBoxAnswer Answer;
        SendDrop(Rig.Window, QtPath(Bad), bAccepted);
        EXPECT_TRUE(Answer.bSeen);
        EXPECT_EQ(Answer.Title, QStringLiteral("エラー"));
        EXPECT_EQ(Rig.Cell(ID_FILE_LIST, 0, 1), QString());
    }

    // While playing "..." is disabled, and the dialog takes no drop.
    Rig.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    SendDrop(Rig.Window, QtPath(Path), bAccepted);
    EXPECT_FALSE(bAccepted);
    Rig.Click(ID_STOP);
}

// The progress bar as a practice tool: the loop band painted over it, a click that seeks, its menu
// for the loop and the trainer, and practice keys taken before the focused control sees them.
TEST(QtMainDialog, TheProgressBarSeeksShowsTheLoopAndOffersItsMenuAndThePracticeKeys)
{
    QtPlayerRig Rig;
    Rig.Open();
    Rig.Window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&Rig.Window));
    Rig.Answers.push_back(QtPath(ToneFile("qt-practice.wav", 44100 * 40)));
    Rig.Click(ID_CHOOSE_FILE);
    PlaybackSession& Session = Rig.pEntry->GetDialog().GetSession();
    auto* pBar = dynamic_cast<QtPracticeProgressBar*>(Rig.Window.Control(ID_PROGRESS));
    ASSERT_NE(pBar, nullptr);
    const auto Place = [&Rig, &Session]()
    {
        EXPECT_TRUE(WaitFor([&Rig]() { return Rig.State.ullSeekFrame.load() == PlayerState::NO_SEEK; }));
        return static_cast<double>(Session.GetHeardPosition()) / static_cast<double>(Session.GetLength());
    };

    // A digit on the rate list is a practice key (nothing to seek yet), not a search for "44.1 kHz".
    auto* pRates = Rig.Get<QComboBox>(ID_RATE_COMBO);
    pRates->setFocus(Qt::TabFocusReason);
    QTest::keyClick(pRates, '4');
    EXPECT_EQ(pRates->currentText(), QStringLiteral("96 kHz"));

    // The band [1/4, 1/2) tints the bar with the highlight colour; outside it the bar is unchanged.
    const QImage Plain = pBar->grab().toImage();
    Rig.Host.SetProgressLoop(ID_PROGRESS, PlayerScales::PROGRESS_RANGE / 4, PlayerScales::PROGRESS_RANGE / 2);
    const QImage Banded = pBar->grab().toImage();
    const QPoint In(3 * Plain.width() / 8, Plain.height() / 2),
        Out(3 * Plain.width() / 4, Plain.height() / 2);
    const QColor Under = Plain.pixelColor(In), Tint = pBar->palette().color(QPalette::Highlight);
    const double dfAlpha = QtPracticeProgressBar::BAND_ALPHA / 255.0;
    EXPECT_NEAR(Banded.pixelColor(In).red(), Tint.red() * dfAlpha + Under.red() * (1 - dfAlpha), 2);
    EXPECT_NEAR(Banded.pixelColor(In).blue(), Tint.blue() * dfAlpha + Under.blue() * (1 - dfAlpha), 2);
    EXPECT_NE(Banded.pixelColor(In), Under);
    EXPECT_EQ(Banded.pixelColor(Out), Plain.pixelColor(Out));
    EXPECT_EQ(pBar->SetLoop(PlayerScales::PROGRESS_RANGE / 4, PlayerScales::PROGRESS_RANGE / 2), 0);

    // Play leaves the focus on Pause with its ring drawn, so Space is safe.
    Rig.Click(ID_PLAY);
    ASSERT_EQ(Rig.State.bPlaying, 1);
    auto* pPause = Rig.Get<QPushButton>(ID_PAUSE);
    ASSERT_TRUE(pPause->hasFocus());
    const QImage Focused = pPause->grab().toImage();
    pPause->clearFocus();
    EXPECT_NE(Focused, pPause->grab().toImage()) << "no focus ring";

    QTest::mouseClick(pBar, Qt::LeftButton, {},
                      QPoint(std::lround(0.75 * pBar->width()), pBar->height() / 2));
    EXPECT_EQ(pBar->LoopStart(), -1) << "no loop is set";
    EXPECT_NEAR(Place(), 0.75, 0.01);
    EXPECT_NEAR(pBar->value() / double(PlayerScales::PROGRESS_RANGE), 0.75, 0.01);

    // '2' on the volume slider goes to 20 % and leaves the volume as it was.
    auto* pVolume = Rig.Get<QSlider>(ID_VOLUME_SLIDER);
    pVolume->setFocus(Qt::TabFocusReason);
    QTest::keyClick(pVolume, '2');
    EXPECT_NEAR(Place(), 0.2, 0.01);
    EXPECT_EQ(pVolume->value(), 200);

    // The menu: A here, 5 s on by key, B; the band follows; the trainer's check; the loop cleared.
    const auto Menu = [&Rig]() { return Rig.Window.ProgressMenu(&Rig.Window); };
    std::unique_ptr<QMenu> pMenu = Menu();
    ASSERT_EQ(pMenu->actions().size(), 7);
    EXPECT_EQ(pMenu->actions()[0]->text(), QStringLiteral("ループ開始\tA"));
    EXPECT_FALSE(pMenu->actions()[1]->isEnabled()) << "B before A";
    EXPECT_TRUE(pMenu->actions()[3]->isCheckable());
    // Keep pitch: a check item that switches the session's mode.
    ASSERT_TRUE(pMenu->actions()[4]->isCheckable());
    pMenu->actions()[4]->trigger();
    EXPECT_TRUE(Session.IsKeepPitchOn());
    EXPECT_TRUE(Menu()->actions()[4]->isChecked());
    Menu()->actions()[4]->trigger();
    EXPECT_FALSE(Session.IsKeepPitchOn());
    pMenu->actions()[0]->trigger();
    EXPECT_TRUE(Session.HasMarkedStart());
    EXPECT_NEAR(pBar->LoopStart() / double(PlayerScales::PROGRESS_RANGE), 0.2, 0.01);
    EXPECT_EQ(pBar->LoopEnd(), -1);
    QTest::keyClick(pVolume, '.');
    EXPECT_NEAR(Place(), 0.2 + 5.0 / 40.0, 0.01);
    pMenu = Menu();
    ASSERT_TRUE(pMenu->actions()[1]->isEnabled());
    pMenu->actions()[1]->trigger();
    ASSERT_TRUE(Session.HasLoop());
    EXPECT_NEAR(pBar->LoopEnd() / double(PlayerScales::PROGRESS_RANGE), 0.325, 0.01);
    EXPECT_TRUE(pBar->toolTip().contains(QStringLiteral("ループ A"))) << pBar->toolTip().toStdString();
    // A nudge by key: A 10 ms later, shown to the hundredth; by the menu 100 ms earlier.
    const uint64_t ullStart = Session.GetLoopStart();
    QTest::keyClick(pVolume, 'x');
    EXPECT_EQ(Session.GetLoopStart(), ullStart + 441);
    EXPECT_TRUE(pBar->toolTip().contains(QStringLiteral("ループ開始 → "))) << pBar->toolTip().toStdString();
    pMenu = Menu();
    ASSERT_EQ(pMenu->actions().size(), 15);
    pMenu->actions()[7]->trigger();
    EXPECT_EQ(Session.GetLoopStart(), ullStart + 441 - 4410);
    Rig.Get<QSlider>(ID_SPEED_SLIDER)->setValue(100);
    pMenu->actions()[3]->trigger();
    EXPECT_TRUE(Session.IsTrainerOn());
    pMenu = Menu();
    EXPECT_TRUE(pMenu->actions()[3]->isChecked());
    pMenu->actions()[2]->trigger();
    EXPECT_FALSE(Session.HasLoop());
    EXPECT_EQ(pBar->LoopStart(), -1);

    // A marker by key is a tick from the bar's top edge at its place, and nothing else changes.
    Rig.Click(ID_PAUSE);
    QTest::keyClick(pVolume, '5');
    EXPECT_NEAR(Place(), 0.5, 0.001);
    const QImage Unmarked = pBar->grab().toImage();
    QTest::keyClick(pVolume, 'm');
    ASSERT_EQ(pBar->Markers().size(), 1u);
    EXPECT_NEAR(pBar->Markers()[0], PlayerScales::PROGRESS_RANGE / 2, 1);
    const QImage Marked = pBar->grab().toImage();
    int iChanged = 0;
    for (int y = 0; y < Marked.height(); ++y)
    {
        for (int x = 0; x < Marked.width(); ++x)
        {
            if (Marked.pixelColor(x, y) != Unmarked.pixelColor(x, y))
            {
                ++iChanged;
                EXPECT_LE(std::abs(x - Marked.width() / 2), 3) << x;
                EXPECT_LT(y, Marked.height() * 3 / 4) << y;
            }
        }
    }
    EXPECT_GT(iChanged, 0);
    Rig.Click(ID_STOP);
}

// On an English desktop: every caption fits the template's own rectangle with the dialog font at 96
// and at 144 dpi (a check box's box and a button's margins counted), so no control grows.
TEST(QtMainDialog, TheEnglishCaptionsFitTheTemplateAt96And144Dpi)
{
    const ScopedPlayerLanguage English(PlayerLanguage::English);
    const QStyle* pStyle = QApplication::style();
    for (const int32_t iDpi : {96, 144})
    {
        const QFont Font = QtDialogMetrics::DialogFont(iDpi);
        for (int32_t i = 0; i < MainDialogLayout::CONTROL_COUNT; ++i)
        {
            const MainDialogLayout::Control& Item = MainDialogLayout::Controls()[i];
            const int32_t iFrame =
                Item.Kind == ControlKind::CheckBox ? pStyle->pixelMetric(QStyle::PM_IndicatorWidth) +
                                                         pStyle->pixelMetric(QStyle::PM_CheckBoxLabelSpacing)
                : Item.Kind == ControlKind::Button ? 2 * pStyle->pixelMetric(QStyle::PM_ButtonMargin)
                                                   : 0;
            const QString Caption = QString::fromUtf16(MainDialogLayout::CaptionOf(Item)).trimmed();
            EXPECT_LE(QFontMetrics(Font).horizontalAdvance(Caption) + iFrame * iDpi / 96,
                      QtDialogMetrics::ToPixels(Item, QtDialogMetrics::BaseUnitsOf(Font)).width())
                << iDpi << " " << Caption.toStdString();
        }
    }
}
