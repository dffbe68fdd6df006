#pragma once
#include "app/dialog/PlayerTexts.h"

#include <cstdint>

// Dialog template 101 as data: the window and its 23 controls in template order, positions and
// sizes in dialog units of the 8-point dialog font. The Windows resource script states the same
// template for the system's dialog manager; the other front ends build their windows from this
// table, and the tests compare both with it.
namespace MainDialogLayout
{
enum class ControlKind : uint32_t
{
    Slider,      // vertical trackbar, position 0 at the top
    Label,       // static text
    Button,      // push button
    GroupBox,    // frame with a caption
    Edit,        // single-line edit field
    ComboBox,    // drop-down list
    CheckBox,    // automatic check box
    ListView,    // report-view list with a border
    ProgressBar, // smooth progress bar with a border
};

enum class TextAlign : uint32_t
{
    Left,
    Centre,
    Right,
};

struct Control
{
    int32_t iId; // -1 for the controls the logic never reaches
    ControlKind Kind;
    const PlayerText* pCaption; // null for none
    int32_t iX;
    int32_t iY;
    int32_t iWidth;
    int32_t iHeight;
    TextAlign Align;
    int32_t bInitiallyDisabled;
    int32_t bReadOnly;   // edit: the user cannot type into it
    int32_t bDigitsOnly; // edit: only digits may be typed
    int32_t bTicks;      // slider: tick marks on both sides
    int32_t bTabStop;
};

constexpr int32_t DIALOG_WIDTH = 547;
constexpr int32_t DIALOG_HEIGHT = 133;
constexpr const char16_t* FONT_NAME = u"MS Shell Dlg";
constexpr int32_t FONT_POINTS = 8;
constexpr int32_t CONTROL_COUNT = 23;
constexpr int32_t NO_ID = -1;

// The controls in template order.
const Control* Controls();
// The control with identifier iId, or null.
const Control* Find(int32_t iId);
// A control's caption in the language chosen, or null for none.
const char16_t* CaptionOf(const Control& Item);
// Columns of the two information lists: title, width in pixels, left-aligned.
constexpr int32_t ITEM_COLUMN_WIDTH = 150;
constexpr int32_t VALUE_COLUMN_WIDTH = 140;
} // namespace MainDialogLayout
