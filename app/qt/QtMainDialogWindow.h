#pragma once
#include "app/dialog/DialogEvent.h"
#include "app/qt/QtDialogMetrics.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QMenu;
class QMimeData;
class SDialogHandler;

// The main dialog as a Qt window: the 23 controls of the template, each placed from its dialog-unit
// rectangle and tagged with its identifier (property "controlId"; -1 for the frames and labels the
// logic never reaches); a label or check box whose caption would be cut with this font grows just
// enough. User actions go to the handler as the Windows dialog would deliver them:
// buttons and the check box as commands, every slider move as a scroll, Escape and the close box as
// command 2 (the window never closes by itself), Enter as command 1. A dropped sound file goes to the
// drop handler, only while "..." is enabled. Beyond the template, for practising: a click or drag on
// the progress bar seeks, its context menu sets the loop and the trainer, and the practice keys act
// wherever the focus is in the window but in the bit field, before the focused control sees them.
class QtMainDialogWindow : public QDialog
{
public:
    explicit QtMainDialogWindow(QWidget* pParent = nullptr);

    void SetHandler(SDialogHandler* pNewHandler) { pHandler = pNewHandler; }
    SDialogHandler* Handler() const { return pHandler; }
    void SetDropHandler(std::function<void(const std::u16string&)> NewDropHandler)
    {
        DropHandler = std::move(NewDropHandler);
    }

    // The control with identifier iId, or null.
    QWidget* Control(int32_t iId) const;
    // Every control in template order.
    const std::vector<QWidget*>& TemplateControls() const { return Controls; }
    QtDialogMetrics::BaseUnits Units() const { return DialogUnits; }

    // Ends the modal loop with iResult, without asking the handler.
    void End(int32_t iResult);
    // The local sound file of a supported type a drag carries, or an empty text when it carries
    // anything else.
    static QString SoundFileOf(const QMimeData* pData);

    // Escape ends here too.
    void reject() override;

    // The progress bar's context menu as the handler offers it now (empty without a main dialog as
    // handler); each choice goes to the handler as a practice action.
    std::unique_ptr<QMenu> ProgressMenu(QWidget* pParent);
    // The practice action of a key press (a typed character, no control or alt key): 1 with What.
    static int32_t PracticeKeyOf(const QKeyEvent& Event, PlaybackSession::Action& What);

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override;

protected:
    void keyPressEvent(QKeyEvent* pEvent) override;
    void closeEvent(QCloseEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dragMoveEvent(QDragMoveEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void Build();
    void FitCaption(QWidget* pWidget, MainDialogLayout::TextAlign Align);
    void Command(int32_t iId);
    int32_t UserEvent(const DialogEvent& Event);
    bool AcceptsDrop(const QMimeData* pData) const;

    SDialogHandler* pHandler = nullptr;
    std::function<void(const std::u16string&)> DropHandler;
    std::vector<QWidget*> Controls;
    std::map<int32_t, QWidget*> ById;
    QtDialogMetrics::BaseUnits DialogUnits{};
    bool bEnding = false;
};
