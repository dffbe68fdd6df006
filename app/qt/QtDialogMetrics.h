#pragma once
#include "app/dialog/MainDialogLayout.h"

#include <QFont>
#include <QRect>

#include <cstdint>

// Dialog units to pixels the way the Windows dialog manager converts a template: the horizontal
// base unit is the average width of the 52 letters of the dialog font (rounded), the vertical one
// the font's height; x and widths are scaled by base ÷ 4, y and heights by base ÷ 8, each rounded
// on its own. So the Qt dialog keeps the Windows dialog's proportions with whatever font it gets.
namespace QtDialogMetrics
{
struct BaseUnits
{
    int32_t iX;
    int32_t iY;
};

// A Japanese-capable sans serif with the character height of the 8-point Windows dialog font
// (11 pixels at 96 dots per inch).
QFont DialogFont(double dfDotsPerInch = 96.0);
BaseUnits BaseUnitsOf(const QFont& Font);
// a × b ÷ c rounded half away from zero, as the dialog manager scales.
int32_t ScaleRounded(int32_t iA, int32_t iB, int32_t iC);
QRect ToPixels(const MainDialogLayout::Control& Item, BaseUnits Units);
QSize DialogSize(BaseUnits Units);
} // namespace QtDialogMetrics
