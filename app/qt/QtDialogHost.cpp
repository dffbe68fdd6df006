#include "app/qt/QtDialogHost.h"

#include "app/dialog/DialogControls.h"
#include "app/dialog/FileDialogFilters.h"
#include "app/dialog/SDialogHandler.h"
#include "app/qt/QtMainDialogWindow.h"
#include "app/qt/QtPracticeProgressBar.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>

namespace
{
QString ToQt(const char16_t* pText)
{
    return pText != nullptr ? QString::fromUtf16(pText) : QString();
}
} // namespace

QtDialogHost::QtDialogHost(QtMainDialogWindow& Window) : Window(Window)
{
    Chooser = [this](const QString& Filter, QString& Path) -> int32_t
    {
        Path = QFileDialog::getOpenFileName(&this->Window, QString(), QString(), Filter);
        return Path.isEmpty() ? 0 : 1;
    };
}

QtDialogHost::~QtDialogHost()
{
    for (auto& Entry : Timers)
    {
        Entry.second->stop();
    }
    while (iWaitCursorDepth > 0)
    {
        QApplication::restoreOverrideCursor();
        --iWaitCursorDepth;
    }
}

template <typename Widget> Widget* QtDialogHost::Find(int32_t iId) const
{
    return qobject_cast<Widget*>(Window.Control(iId));
}

void QtDialogHost::Open(SDialogHandler& Handler)
{
    Window.SetHandler(&Handler);
    Handler.OnInitDialog();
    Window.show();
}

int32_t QtDialogHost::Run(SDialogHandler& Handler)
{
    Window.SetHandler(&Handler);
    Handler.OnInitDialog();
    return Window.exec();
}

void QtDialogHost::SetWindowTitle(const char16_t* pText)
{
    Window.setWindowTitle(ToQt(pText));
}

void QtDialogHost::SetItemText(int32_t iId, const char16_t* pText)
{
    QWidget* pWidget = Window.Control(iId);
    const QString Text = ToQt(pText);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget))
    {
        pEdit->setText(Text);
    }
    else if (auto* pLabel = qobject_cast<QLabel*>(pWidget))
    {
        pLabel->setText(Text);
    }
    else if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget))
    {
        pButton->setText(Text);
    }
    else if (auto* pGroup = qobject_cast<QGroupBox*>(pWidget))
    {
        pGroup->setTitle(Text);
    }
}

std::u16string QtDialogHost::GetItemText(int32_t iId)
{
    QWidget* pWidget = Window.Control(iId);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget))
    {
        return pEdit->text().toStdU16String();
    }
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget))
    {
        return pLabel->text().toStdU16String();
    }
    if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget))
    {
        return pButton->text().toStdU16String();
    }
    if (auto* pGroup = qobject_cast<QGroupBox*>(pWidget))
    {
        return pGroup->title().toStdU16String();
    }
    return {};
}

uint32_t QtDialogHost::ParseUnsigned(const std::u16string& Text, int32_t& bValid)
{
    return DialogControls::ParseUnsignedField(Text, bValid);
}

uint32_t QtDialogHost::GetItemUnsigned(int32_t iId, int32_t& bValid)
{
    return ParseUnsigned(GetItemText(iId), bValid);
}

void QtDialogHost::SetItemUnsigned(int32_t iId, uint32_t uiValue)
{
    SetItemText(iId, QString::number(uiValue).toStdU16String().c_str());
}

void QtDialogHost::EnableItem(int32_t iId, int32_t bEnable)
{
    if (QWidget* pWidget = Window.Control(iId))
    {
        pWidget->setEnabled(bEnable != 0);
    }
}

void QtDialogHost::FocusItem(int32_t iId)
{
    if (QWidget* pWidget = Window.Control(iId))
    {
        // As after a Tab: styles draw the focus ring only once the keyboard has moved the focus, and
        // whoever presses Space next must see which button it presses (Pause after Play, Play
        // after Pause).
        Window.setAttribute(Qt::WA_KeyboardFocusChange);
        pWidget->setFocus(Qt::TabFocusReason);
        pWidget->update();
    }
}

void QtDialogHost::PutCaretAfterText(int32_t iId)
{
    if (auto* pEdit = Find<QLineEdit>(iId))
    {
        pEdit->end(false);
    }
}

void QtDialogHost::AddComboEntry(int32_t iId, const char16_t* pText)
{
    if (auto* pCombo = Find<QComboBox>(iId))
    {
        pCombo->addItem(ToQt(pText));
    }
}

void QtDialogHost::SelectComboEntry(int32_t iId, int32_t iIndex)
{
    if (auto* pCombo = Find<QComboBox>(iId))
    {
        pCombo->setCurrentIndex(iIndex >= 0 && iIndex < pCombo->count() ? iIndex : -1);
    }
}

int32_t QtDialogHost::GetComboSelection(int32_t iId)
{
    auto* pCombo = Find<QComboBox>(iId);
    return pCombo != nullptr ? pCombo->currentIndex() : -1;
}

void QtDialogHost::SetSliderRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    if (auto* pSlider = Find<QSlider>(iId))
    {
        const QSignalBlocker Quiet(pSlider);
        pSlider->setRange(iMinimum, iMaximum);
    }
}

void QtDialogHost::SetSliderTickFrequency(int32_t iId, int32_t iFrequency)
{
    if (auto* pSlider = Find<QSlider>(iId))
    {
        pSlider->setTickInterval(iFrequency);
    }
}

void QtDialogHost::SetSliderPageSize(int32_t iId, int32_t iPageSize)
{
    if (auto* pSlider = Find<QSlider>(iId))
    {
        pSlider->setPageStep(iPageSize);
    }
}

void QtDialogHost::SetSliderPosition(int32_t iId, int32_t iPosition)
{
    if (auto* pSlider = Find<QSlider>(iId))
    {
        const QSignalBlocker Quiet(pSlider);
        pSlider->setValue(iPosition);
    }
}

int32_t QtDialogHost::GetSliderPosition(int32_t iId)
{
    auto* pSlider = Find<QSlider>(iId);
    return pSlider != nullptr ? pSlider->value() : 0;
}

void QtDialogHost::SetProgressRange(int32_t iId, int32_t iMinimum, int32_t iMaximum)
{
    if (auto* pProgress = Find<QProgressBar>(iId))
    {
        pProgress->setRange(iMinimum, iMaximum);
    }
}

void QtDialogHost::SetProgressPosition(int32_t iId, int32_t iPosition)
{
    if (auto* pProgress = Find<QProgressBar>(iId))
    {
        pProgress->setValue(iPosition);
    }
}

void QtDialogHost::InsertListRow(int32_t iId, int32_t iRow, const char16_t* pItemText)
{
    auto* pList = Find<QTreeWidget>(iId);
    if (pList == nullptr)
    {
        return;
    }
    const int32_t iAt = std::clamp(iRow, 0, pList->topLevelItemCount());
    auto* pItem = new QTreeWidgetItem(QStringList{ToQt(pItemText)});
    pList->insertTopLevelItem(iAt, pItem);
}

void QtDialogHost::InsertListColumn(int32_t iId, int32_t iColumn, const char16_t* pTitle, int32_t iWidth,
                                    int32_t bLeftAligned)
{
    auto* pList = Find<QTreeWidget>(iId);
    if (pList == nullptr || iColumn < 0)
    {
        return;
    }
    if (pList->columnCount() <= iColumn)
    {
        pList->setColumnCount(iColumn + 1);
    }
    QTreeWidgetItem* pHeader = pList->headerItem();
    pHeader->setText(iColumn, ToQt(pTitle));
    // A Windows list column's format 0 is left-aligned too; only an explicit request would differ.
    (void)bLeftAligned;
    pHeader->setTextAlignment(iColumn, Qt::AlignLeft | Qt::AlignVCenter);
    pList->setColumnWidth(iColumn, iWidth);
}

void QtDialogHost::SetListCell(int32_t iId, int32_t iRow, int32_t iColumn, const char16_t* pText)
{
    auto* pList = Find<QTreeWidget>(iId);
    if (pList == nullptr || iColumn < 0)
    {
        return;
    }
    if (QTreeWidgetItem* pItem = pList->topLevelItem(iRow))
    {
        pItem->setText(iColumn, ToQt(pText));
    }
}

int32_t QtDialogHost::GetCheck(int32_t iId)
{
    auto* pCheck = Find<QCheckBox>(iId);
    return pCheck != nullptr && pCheck->isChecked() ? 1 : 0;
}

void QtDialogHost::SetCheck(int32_t iId, int32_t bChecked)
{
    if (auto* pCheck = Find<QCheckBox>(iId))
    {
        pCheck->setChecked(bChecked != 0);
    }
}

void QtDialogHost::StartTimer(uint32_t uiTimerId, uint32_t uiMilliseconds)
{
    std::unique_ptr<QTimer>& pTimer = Timers[uiTimerId];
    if (pTimer == nullptr)
    {
        pTimer = std::make_unique<QTimer>();
        pTimer->setTimerType(Qt::PreciseTimer);
        QObject::connect(pTimer.get(), &QTimer::timeout, &Window,
                         [this, uiTimerId]()
                         {
                             if (SDialogHandler* pHandler = Window.Handler())
                             {
                                 pHandler->OnTimer(uiTimerId);
                             }
                         });
    }
    pTimer->start(static_cast<int>(uiMilliseconds));
}

void QtDialogHost::KillTimer(uint32_t uiTimerId)
{
    // Only stopped: the handler may kill the timer from inside its own tick.
    const auto It = Timers.find(uiTimerId);
    if (It != Timers.end())
    {
        It->second->stop();
    }
}

void QtDialogHost::ShowErrorMessage(const char16_t* pText, const char16_t* pCaption)
{
    QMessageBox Box(QMessageBox::Critical, ToQt(pCaption), ToQt(pText), QMessageBox::Ok, &Window);
    // Play shows its messages while the wait cursor is up: the box gets the normal cursor, and the
    // wait cursor comes back when it closes.
    const bool bOverWaitCursor = iWaitCursorDepth > 0;
    if (bOverWaitCursor)
    {
        QApplication::setOverrideCursor(Qt::ArrowCursor);
    }
    Box.exec();
    if (bOverWaitCursor)
    {
        QApplication::restoreOverrideCursor();
    }
}

void QtDialogHost::DefaultBeep()
{
    QApplication::beep();
}

int32_t QtDialogHost::ChooseOpenFile(const char16_t* pFilterName, const char16_t* pPattern, uint32_t uiFlags,
                                     uint32_t uiNameCapacity, std::u16string& Path)
{
    // The Qt dialog only offers files that exist, in folders that exist: both flags hold anyway.
    (void)uiFlags;
    Path.clear();
    // Qt's filter list: "Name (patterns)" entries joined by ";;", the patterns by spaces.
    const QStringList Names = ToQt(pFilterName).split(QChar(FileDialogFilters::SEPARATOR));
    const QStringList Patterns = ToQt(pPattern).split(QChar(FileDialogFilters::SEPARATOR));
    QStringList Filters;
    for (qsizetype i = 0; i < Names.size() && i < Patterns.size(); ++i)
    {
        const QString Pattern = Patterns[i];
        QString Filter = Names[i];
        if (!Filter.contains(QStringLiteral("(") + Pattern + QStringLiteral(")")))
        {
            Filter += QStringLiteral(" (") + Pattern + QStringLiteral(")");
        }
        Filter.replace(Pattern, QString(Pattern).replace(QChar(';'), QChar(' ')));
        Filters.append(Filter);
    }
    const QString Filter = Filters.join(QStringLiteral(";;"));
    QString Chosen;
    if (!Chooser || Chooser(Filter, Chosen) <= 0 || Chosen.isEmpty())
    {
        return 0;
    }
    // A name that does not fit the name buffer fails the dialog, as it would on Windows.
    const std::u16string Wide = Chosen.toStdU16String();
    if (uiNameCapacity != 0 && Wide.size() >= uiNameCapacity)
    {
        return 0;
    }
    Path = Wide;
    return 1;
}

void QtDialogHost::ShowWaitCursor(int32_t bWait)
{
    if (bWait != 0)
    {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        ++iWaitCursorDepth;
    }
    else if (iWaitCursorDepth > 0)
    {
        QApplication::restoreOverrideCursor();
        --iWaitCursorDepth;
    }
}

void QtDialogHost::EndDialog(int32_t iResult)
{
    Window.End(iResult);
}

void QtDialogHost::SendCommand(int32_t iId)
{
    if (SDialogHandler* pHandler = Window.Handler())
    {
        pHandler->OnCommand(iId);
    }
}

void QtDialogHost::SetProgressLoop(int32_t iId, int32_t iStart, int32_t iEnd)
{
    if (auto* pProgress = dynamic_cast<QtPracticeProgressBar*>(Window.Control(iId)))
    {
        pProgress->SetLoop(iStart, iEnd);
    }
}

void QtDialogHost::SetProgressMarkers(int32_t iId, const std::vector<int32_t>& Ticks)
{
    if (auto* pProgress = dynamic_cast<QtPracticeProgressBar*>(Window.Control(iId)))
    {
        pProgress->SetMarkers(Ticks);
    }
}

void QtDialogHost::SetItemTooltip(int32_t iId, const char16_t* pText)
{
    QWidget* pWidget = Window.Control(iId);
    const QString Text = ToQt(pText);
    // Called every 10 ms while playing: an unchanged text leaves a tooltip on screen alone.
    if (pWidget != nullptr && pWidget->toolTip() != Text)
    {
        pWidget->setToolTip(Text);
    }
}
