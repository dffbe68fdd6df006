#pragma once
#include <cstdint>

// The control identifiers of the main dialog (template 101). Every front end builds its dialog with
// these identifiers, and the dialog logic reaches each control through them.
namespace DialogControlIds
{
// Enter: the dialog ignores it.
constexpr int32_t ID_OK = 1;
// The close box, the Escape key and the window manager's close.
constexpr int32_t ID_CANCEL = 2;
constexpr int32_t ID_SPEED_SLIDER = 1001;
constexpr int32_t ID_VOLUME_SLIDER = 1002;
constexpr int32_t ID_PLAY = 1003;
constexpr int32_t ID_STOP = 1004;
constexpr int32_t ID_PAUSE = 1005;
constexpr int32_t ID_PATH_FIELD = 1006;
constexpr int32_t ID_CHOOSE_FILE = 1007;
constexpr int32_t ID_FILE_LIST = 1008;
constexpr int32_t ID_DEVICE_COMBO = 1009;
constexpr int32_t ID_RATE_COMBO = 1010;
constexpr int32_t ID_ENHANCER_CHECK = 1011;
constexpr int32_t ID_BIT_FIELD = 1012;
constexpr int32_t ID_SPEED_LABEL = 1013;
constexpr int32_t ID_DEVICE_LIST = 1014;
constexpr int32_t ID_VOLUME_LABEL = 1015;
constexpr int32_t ID_PROGRESS = 1016;
constexpr int32_t ID_SETTINGS = 1018;
} // namespace DialogControlIds
