#include "app/qt/QtMainDialogWindow.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/MainDialog.h"
#include "app/dialog/MainDialogLayout.h"
#include "app/dialog/SDialogHandler.h"
#include "app/qt/QtPracticeProgressBar.h"
#include "wave/AudioFileTypes.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTreeWidget>
#include <QUrl>

using namespace DialogControlIds;
using MainDialogLayout::ControlKind;
using MainDialogLayout::TextAlign;

namespace
{
Qt::Alignment AlignmentOf(TextAlign Align)
{
    switch (Align)
    {
    case TextAlign::Centre:
        return Qt::AlignHCenter;
    case TextAlign::Right:
        return Qt::AlignRight;
    case TextAlign::Left:
    default:
        return Qt::AlignLeft;
    }
}

QString QtCaptionOf(const MainDialogLayout::Control& Item)
{
    return Item.pCaption != nullptr ? QString::fromUtf16(MainDialogLayout::CaptionOf(Item)) : QString();
}
} // namespace

QtMainDialogWindow::QtMainDialogWindow(QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint)
{
    const QScreen* pScreen = screen();
    setFont(QtDialogMetrics::DialogFont(pScreen != nullptr ? pScreen->logicalDotsPerInchY() : 96.0));
    DialogUnits = QtDialogMetrics::BaseUnitsOf(font());
    setFixedSize(QtDialogMetrics::DialogSize(DialogUnits));
    setAcceptDrops(true);
    Build();
    // The practice keys are taken before the focused control sees them.
    if (QCoreApplication* pApplication = QCoreApplication::instance())
    {
        pApplication->installEventFilter(this);
    }
}

void QtMainDialogWindow::Build()
{
    const MainDialogLayout::Control* pControls = MainDialogLayout::Controls();
    for (int32_t i = 0; i < MainDialogLayout::CONTROL_COUNT; ++i)
    {
        const MainDialogLayout::Control& Item = pControls[i];
        const int32_t iId = Item.iId;
        QWidget* pWidget = nullptr;
        switch (Item.Kind)
        {
        case ControlKind::Slider:
        {
            auto* pSlider = new QSlider(Qt::Vertical, this);
            // Position 0 at the top, and Up moves towards it, as on a Windows trackbar.
            pSlider->setInvertedAppearance(true);
            pSlider->setInvertedControls(true);
            pSlider->setTickPosition(Item.bTicks != 0 ? QSlider::TicksBothSides : QSlider::NoTicks);
            connect(pSlider, &QSlider::valueChanged, this,
                    [this, iId](int)
                    {
                        if (pHandler != nullptr)
                        {
                            pHandler->OnVScroll(iId);
                        }
                    });
            pWidget = pSlider;
            break;
        }
        case ControlKind::Label:
        {
            auto* pLabel = new QLabel(QtCaptionOf(Item), this);
            pLabel->setTextFormat(Qt::PlainText);
            pLabel->setAlignment(AlignmentOf(Item.Align) | Qt::AlignTop);
            pWidget = pLabel;
            break;
        }
        case ControlKind::Button:
        {
            auto* pButton = new QPushButton(QtCaptionOf(Item), this);
            // Enter never clicks a button; only the handler decides what it does.
            pButton->setAutoDefault(false);
            pButton->setDefault(false);
            connect(pButton, &QPushButton::clicked, this, [this, iId]() { Command(iId); });
            pWidget = pButton;
            break;
        }
        case ControlKind::GroupBox:
        {
            auto* pGroup = new QGroupBox(QtCaptionOf(Item), this);
            // A frame only: the controls inside stay siblings and get every click.
            pGroup->setAttribute(Qt::WA_TransparentForMouseEvents);
            pWidget = pGroup;
            break;
        }
        case ControlKind::Edit:
        {
            auto* pEdit = new QLineEdit(this);
            pEdit->setReadOnly(Item.bReadOnly != 0);
            pEdit->setAlignment(AlignmentOf(Item.Align) | Qt::AlignVCenter);
            if (Item.bDigitsOnly != 0)
            {
                pEdit->setValidator(
                    new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pEdit));
            }
            // A file dragged over the field is for the dialog, not text to insert.
            pEdit->setAcceptDrops(false);
            pWidget = pEdit;
            break;
        }
        case ControlKind::ComboBox:
            pWidget = new QComboBox(this);
            break;
        case ControlKind::CheckBox:
        {
            auto* pCheck = new QCheckBox(QtCaptionOf(Item), this);
            // Only the user's clicks are commands, not the logic's own SetCheck.
            connect(pCheck, &QCheckBox::clicked, this, [this, iId]() { Command(iId); });
            pWidget = pCheck;
            break;
        }
        case ControlKind::ListView:
        {
            auto* pList = new QTreeWidget(this);
            pList->setRootIsDecorated(false);
            pList->setItemsExpandable(false);
            pList->setUniformRowHeights(true);
            pList->setSelectionMode(QAbstractItemView::SingleSelection);
            pList->setEditTriggers(QAbstractItemView::NoEditTriggers);
            pList->setColumnCount(0);
            pList->header()->setStretchLastSection(false);
            pList->header()->setSectionsMovable(false);
            pWidget = pList;
            break;
        }
        case ControlKind::ProgressBar:
        {
            auto* pProgress = new QtPracticeProgressBar(this);
            pProgress->setTextVisible(false);
            pProgress->SetSeekRequest(
                [this](double dfFraction)
                {
                    DialogEvent Event;
                    Event.What = DialogEvent::Kind::SeekToFraction;
                    Event.dfValue = dfFraction;
                    return UserEvent(Event);
                });
            pProgress->setContextMenuPolicy(Qt::CustomContextMenu);
            connect(pProgress, &QWidget::customContextMenuRequested, this,
                    [this, pProgress](const QPoint& At)
                    {
                        const std::unique_ptr<QMenu> pMenu = ProgressMenu(this);
                        if (pMenu != nullptr && !pMenu->isEmpty())
                        {
                            pMenu->exec(pProgress->mapToGlobal(At));
                        }
                    });
            pWidget = pProgress;
            break;
        }
        }
        pWidget->setProperty("controlId", iId);
        pWidget->setEnabled(Item.bInitiallyDisabled == 0);
        pWidget->setFocusPolicy(Item.bTabStop != 0 ? Qt::StrongFocus : Qt::NoFocus);
        QRect Area = QtDialogMetrics::ToPixels(Item, DialogUnits);
        if (Item.Kind == ControlKind::ComboBox)
        {
            // The template's height is the opened list's; the closed box is as high as its font needs.
            Area.setHeight(pWidget->sizeHint().height());
        }
        pWidget->setGeometry(Area);
        FitCaption(pWidget, Item.Align);
        Controls.push_back(pWidget);
        if (iId != MainDialogLayout::NO_ID)
        {
            ById[iId] = pWidget;
        }
    }
    for (QWidget* pWidget : Controls)
    {
        if (qobject_cast<QGroupBox*>(pWidget) != nullptr)
        {
            pWidget->lower();
        }
    }
}

void QtMainDialogWindow::FitCaption(QWidget* pWidget, TextAlign Align)
{
    // The template's rectangles were made for the Windows dialog font; a label or check box whose
    // caption needs a few pixels more with this font grows away from the edge its text is aligned
    // to, so no caption is cut. Trailing blanks do not count; they are never seen.
    QString Caption;
    int32_t iIndent = 0;
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget))
    {
        Caption = pLabel->text();
    }
    else if (auto* pCheck = qobject_cast<QCheckBox*>(pWidget))
    {
        Caption = pCheck->text();
        QStyleOptionButton Option;
        Option.initFrom(pCheck);
        iIndent = pCheck->style()->subElementRect(QStyle::SE_CheckBoxContents, &Option, pCheck).x();
    }
    if (Caption.isEmpty())
    {
        return;
    }
    QRect Area = pWidget->geometry();
    const int32_t iNeeded = iIndent + pWidget->fontMetrics().horizontalAdvance(Caption.trimmed());
    if (iNeeded <= Area.width())
    {
        return;
    }
    const int32_t iMore = iNeeded - Area.width();
    switch (Align)
    {
    case TextAlign::Right:
        Area.setLeft(Area.left() - iMore);
        break;
    case TextAlign::Centre:
        Area.setLeft(Area.left() - iMore / 2);
        Area.setWidth(iNeeded);
        break;
    case TextAlign::Left:
    default:
        Area.setWidth(iNeeded);
        break;
    }
    pWidget->setGeometry(Area);
}

QWidget* QtMainDialogWindow::Control(int32_t iId) const
{
    const auto It = ById.find(iId);
    return It != ById.end() ? It->second : nullptr;
}

void QtMainDialogWindow::Command(int32_t iId)
{
    if (pHandler != nullptr)
    {
        pHandler->OnCommand(iId);
    }
}

int32_t QtMainDialogWindow::UserEvent(const DialogEvent& Event)
{
    return pHandler != nullptr ? pHandler->OnUserEvent(Event) : 0;
}

std::unique_ptr<QMenu> QtMainDialogWindow::ProgressMenu(QWidget* pParent)
{
    auto pMenu = std::make_unique<QMenu>(pParent);
    auto* pDialog = dynamic_cast<MainDialog*>(pHandler);
    if (pDialog == nullptr)
    {
        return pMenu;
    }
    for (const MainDialog::MenuItem& Item : pDialog->GetProgressMenu())
    {
        // "text\tkey": the menu shows the key in its shortcut column.
        QAction* pAction = pMenu->addAction(QString::fromStdU16String(Item.Text));
        pAction->setEnabled(Item.bEnabled != 0);
        pAction->setCheckable(Item.What == PlaybackSession::Action::Trainer ||
                              Item.What == PlaybackSession::Action::KeepPitch);
        pAction->setChecked(Item.bChecked != 0);
        const PlaybackSession::Action What = Item.What;
        connect(pAction, &QAction::triggered, this,
                [this, What]()
                {
                    DialogEvent Event;
                    Event.What = DialogEvent::Kind::Practice;
                    Event.Practice = What;
                    UserEvent(Event);
                });
    }
    return pMenu;
}

int32_t QtMainDialogWindow::PracticeKeyOf(const QKeyEvent& Event, PlaybackSession::Action& What)
{
    // Shift makes '<', '>' and capitals; the keypad's digits count as digits.
    if ((Event.modifiers() & ~(Qt::ShiftModifier | Qt::KeypadModifier)) != Qt::NoModifier)
    {
        return 0;
    }
    const QString Text = Event.text();
    return Text.size() == 1 ? MainDialog::ActionOfKey(Text.front().unicode(), What) : 0;
}

bool QtMainDialogWindow::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    const QEvent::Type Type = pEvent->type();
    if (Type != QEvent::KeyPress && Type != QEvent::ShortcutOverride)
    {
        return QDialog::eventFilter(pWatched, pEvent);
    }
    // Only keys for this window (not its menus or message boxes), and not while a number is typed
    // into the bit field.
    auto* pTarget = qobject_cast<QWidget*>(pWatched);
    const QWidget* pBits = Control(ID_BIT_FIELD);
    PlaybackSession::Action What{};
    if (pTarget == nullptr || pTarget->window() != this || pTarget == pBits ||
        (pBits != nullptr && pBits->hasFocus()) || PracticeKeyOf(*static_cast<QKeyEvent*>(pEvent), What) == 0)
    {
        return QDialog::eventFilter(pWatched, pEvent);
    }
    pEvent->accept();
    if (Type == QEvent::KeyPress)
    {
        DialogEvent Event;
        Event.What = DialogEvent::Kind::Practice;
        Event.Practice = What;
        UserEvent(Event);
    }
    return true;
}

void QtMainDialogWindow::End(int32_t iResult)
{
    bEnding = true;
    done(iResult);
    bEnding = false;
}

void QtMainDialogWindow::reject()
{
    Command(ID_CANCEL);
}

void QtMainDialogWindow::keyPressEvent(QKeyEvent* pEvent)
{
    if (pEvent->modifiers() == Qt::NoModifier || pEvent->modifiers() == Qt::KeypadModifier)
    {
        switch (pEvent->key())
        {
        case Qt::Key_Escape:
            Command(ID_CANCEL);
            return;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            Command(ID_OK);
            return;
        default:
            break;
        }
    }
    QDialog::keyPressEvent(pEvent);
}

void QtMainDialogWindow::closeEvent(QCloseEvent* pEvent)
{
    if (bEnding)
    {
        pEvent->accept();
        return;
    }
    // The handler decides; it ends the dialog through EndDialog after stopping playback.
    pEvent->ignore();
    Command(ID_CANCEL);
}

QString QtMainDialogWindow::SoundFileOf(const QMimeData* pData)
{
    if (pData == nullptr || !pData->hasUrls() || pData->urls().size() != 1)
    {
        return {};
    }
    const QUrl Url = pData->urls().front();
    if (!Url.isLocalFile())
    {
        return {};
    }
    const QString Path = Url.toLocalFile();
    return AudioFileTypes::IsSupported(Path.toStdU16String().c_str()) ? Path : QString();
}

bool QtMainDialogWindow::AcceptsDrop(const QMimeData* pData) const
{
    const QWidget* pChooser = Control(ID_CHOOSE_FILE);
    return pChooser != nullptr && pChooser->isEnabled() && !SoundFileOf(pData).isEmpty();
}

void QtMainDialogWindow::dragEnterEvent(QDragEnterEvent* pEvent)
{
    if (AcceptsDrop(pEvent->mimeData()))
    {
        pEvent->acceptProposedAction();
    }
}

void QtMainDialogWindow::dragMoveEvent(QDragMoveEvent* pEvent)
{
    if (AcceptsDrop(pEvent->mimeData()))
    {
        pEvent->acceptProposedAction();
    }
}

void QtMainDialogWindow::dropEvent(QDropEvent* pEvent)
{
    if (!AcceptsDrop(pEvent->mimeData()))
    {
        return;
    }
    pEvent->acceptProposedAction();
    if (DropHandler)
    {
        DropHandler(SoundFileOf(pEvent->mimeData()).toStdU16String());
    }
}
