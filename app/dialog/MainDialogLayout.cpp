#include "app/dialog/MainDialogLayout.h"

#include "app/dialog/DialogControlIds.h"
#include "app/dialog/PlayerTexts.h"

namespace MainDialogLayout
{
namespace
{
using namespace DialogControlIds;
using namespace PlayerTexts;
constexpr ControlKind SLIDER = ControlKind::Slider;
constexpr ControlKind LABEL = ControlKind::Label;
constexpr ControlKind BUTTON = ControlKind::Button;
constexpr ControlKind GROUP = ControlKind::GroupBox;
constexpr ControlKind EDIT = ControlKind::Edit;
constexpr ControlKind COMBO = ControlKind::ComboBox;
constexpr ControlKind CHECK = ControlKind::CheckBox;
constexpr ControlKind LIST = ControlKind::ListView;
constexpr ControlKind PROGRESS = ControlKind::ProgressBar;
constexpr TextAlign L = TextAlign::Left;
constexpr TextAlign C = TextAlign::Centre;
constexpr TextAlign R = TextAlign::Right;

//                                id                 kind      caption               x    y    w    h  align
//                                dis ro dig tck tab
constexpr Control CONTROLS[CONTROL_COUNT] = {
    {ID_SPEED_SLIDER, SLIDER, nullptr, 247, 6, 28, 101, L, 0, 0, 0, 1, 1},
    {ID_SPEED_LABEL, LABEL, &INITIAL_SPEED_LABEL, 245, 110, 32, 13, C, 0, 0, 0, 0, 0},
    {ID_PLAY, BUTTON, &PLAY, 39, 106, 52, 18, C, 1, 0, 0, 0, 1},
    {ID_STOP, BUTTON, &STOP, 155, 106, 52, 18, C, 1, 0, 0, 0, 1},
    {ID_PAUSE, BUTTON, &PAUSE, 101, 106, 52, 18, C, 1, 0, 0, 0, 1},
    {NO_ID, GROUP, &AUDIO_DATA_GROUP, 13, 7, 230, 88, L, 0, 0, 0, 0, 0},
    {ID_PATH_FIELD, EDIT, nullptr, 51, 21, 159, 12, L, 0, 1, 0, 0, 1},
    {ID_CHOOSE_FILE, BUTTON, &CHOOSE_FILE, 212, 20, 24, 13, C, 0, 0, 0, 0, 1},
    {NO_ID, LABEL, &FILE_LABEL, 22, 22, 26, 8, R, 0, 0, 0, 0, 0},
    {NO_ID, GROUP, &OUTPUT_DEVICE_GROUP, 281, 7, 230, 118, L, 0, 0, 0, 0, 0},
    {ID_DEVICE_COMBO, COMBO, nullptr, 289, 19, 185, 113, L, 0, 0, 0, 0, 1},
    {ID_RATE_COMBO, COMBO, nullptr, 395, 37, 58, 82, L, 0, 0, 0, 0, 1},
    {NO_ID, LABEL, &MAXIMUM_RATE_LABEL, 295, 39, 97, 8, L, 0, 0, 0, 0, 0},
    {NO_ID, LABEL, &EFFECTIVE_BITS_LABEL, 295, 56, 76, 8, L, 0, 0, 0, 0, 0},
    {ID_ENHANCER_CHECK, CHECK, &ENHANCER, 418, 55, 77, 10, L, 0, 0, 0, 0, 1},
    {ID_BIT_FIELD, EDIT, nullptr, 374, 55, 22, 12, C, 0, 0, 1, 0, 1},
    {NO_ID, LABEL, &BIT_UNIT, 400, 56, 9, 8, L, 0, 0, 0, 0, 0},
    {ID_FILE_LIST, LIST, nullptr, 22, 39, 213, 48, L, 0, 0, 0, 0, 1},
    {ID_PROGRESS, PROGRESS, nullptr, 13, 96, 230, 6, L, 0, 0, 0, 0, 0},
    {ID_DEVICE_LIST, LIST, nullptr, 289, 73, 213, 44, L, 0, 0, 0, 0, 1},
    {ID_VOLUME_SLIDER, SLIDER, nullptr, 520, 6, 18, 101, L, 0, 0, 0, 0, 1},
    {ID_VOLUME_LABEL, LABEL, &INITIAL_VOLUME_LABEL, 513, 110, 32, 13, C, 0, 0, 0, 0, 0},
    {ID_SETTINGS, BUTTON, &SETTINGS, 476, 18, 28, 15, C, 0, 0, 0, 0, 1},
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
