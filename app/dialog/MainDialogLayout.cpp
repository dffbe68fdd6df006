#include "app/dialog/MainDialogLayout.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerTexts.h"

namespace MainDialogLayout
{
namespace
{
using namespace DialogControlIds;
using namespace PlayerTexts;
using enum ControlKind;
using enum TextAlign;

//                                id                 kind      caption               x    y    w    h  align
//                                dis ro dig tck tab
constexpr Control CONTROLS[CONTROL_COUNT] = {
    {ID_SPEED_SLIDER, Slider, nullptr, 247, 6, 28, 101, Left, 0, 0, 0, 1, 1},
    {ID_SPEED_LABEL, Label, &INITIAL_SPEED_LABEL, 245, 110, 32, 13, Centre, 0, 0, 0, 0, 0},
    {ID_PLAY, Button, &PLAY, 39, 106, 52, 18, Centre, 1, 0, 0, 0, 1},
    {ID_STOP, Button, &STOP, 155, 106, 52, 18, Centre, 1, 0, 0, 0, 1},
    {ID_PAUSE, Button, &PAUSE, 101, 106, 52, 18, Centre, 1, 0, 0, 0, 1},
    {NO_ID, GroupBox, &AUDIO_DATA_GROUP, 13, 7, 230, 88, Left, 0, 0, 0, 0, 0},
    {ID_PATH_FIELD, Edit, nullptr, 51, 21, 159, 12, Left, 0, 1, 0, 0, 1},
    {ID_CHOOSE_FILE, Button, &CHOOSE_FILE, 212, 20, 24, 13, Centre, 0, 0, 0, 0, 1},
    {NO_ID, Label, &FILE_LABEL, 22, 22, 26, 8, Right, 0, 0, 0, 0, 0},
    {NO_ID, GroupBox, &OUTPUT_DEVICE_GROUP, 281, 7, 230, 118, Left, 0, 0, 0, 0, 0},
    {ID_DEVICE_COMBO, ComboBox, nullptr, 289, 19, 185, 113, Left, 0, 0, 0, 0, 1},
    {ID_RATE_COMBO, ComboBox, nullptr, 395, 37, 58, 82, Left, 0, 0, 0, 0, 1},
    {NO_ID, Label, &MAXIMUM_RATE_LABEL, 295, 39, 97, 8, Left, 0, 0, 0, 0, 0},
    {NO_ID, Label, &EFFECTIVE_BITS_LABEL, 295, 56, 76, 8, Left, 0, 0, 0, 0, 0},
    {ID_ENHANCER_CHECK, CheckBox, &ENHANCER, 418, 55, 77, 10, Left, 0, 0, 0, 0, 1},
    {ID_BIT_FIELD, Edit, nullptr, 374, 55, 22, 12, Centre, 0, 0, 1, 0, 1},
    {NO_ID, Label, &BIT_UNIT, 400, 56, 9, 8, Left, 0, 0, 0, 0, 0},
    {ID_FILE_LIST, ListView, nullptr, 22, 39, 213, 48, Left, 0, 0, 0, 0, 1},
    {ID_PROGRESS, ProgressBar, nullptr, 13, 96, 230, 6, Left, 0, 0, 0, 0, 0},
    {ID_DEVICE_LIST, ListView, nullptr, 289, 73, 213, 44, Left, 0, 0, 0, 0, 1},
    {ID_VOLUME_SLIDER, Slider, nullptr, 520, 6, 18, 101, Left, 0, 0, 0, 0, 1},
    {ID_VOLUME_LABEL, Label, &INITIAL_VOLUME_LABEL, 513, 110, 32, 13, Centre, 0, 0, 0, 0, 0},
    {ID_SETTINGS, Button, &SETTINGS, 476, 18, 28, 15, Centre, 0, 0, 0, 0, 1},
};
} // namespace

const Control* Controls()
{
    return CONTROLS;
}

const Control* Find(int32_t iId)
{
    if (iId == NO_ID)
    {
        return nullptr;
    }
    for (const Control& Item : CONTROLS)
    {
        if (Item.iId == iId)
        {
            return &Item;
        }
    }
    return nullptr;
}

const char16_t* CaptionOf(const Control& Item)
{
    return Item.pCaption != nullptr ? Item.pCaption->Get() : nullptr;
}
} // namespace MainDialogLayout
