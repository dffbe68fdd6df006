#include "app/qt/QtDialogMetrics.h"

#include <QFontMetrics>
#include <QString>

#include <cmath>
#include <cstdlib>

namespace QtDialogMetrics
{
namespace
{
constexpr const char* ALPHABET = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
constexpr int32_t POINTS_PER_INCH = 72;
} // namespace

QFont DialogFont(double dfDotsPerInch)
{
    QFont Font(QStringLiteral("Noto Sans CJK JP"));
    // Whatever is installed when that one is not: still a sans serif with Japanese glyphs if any.
    Font.setStyleHint(QFont::SansSerif);
    const int32_t iDpi = dfDotsPerInch > 0.0 ? static_cast<int32_t>(std::lround(dfDotsPerInch)) : 96;
    Font.setPixelSize(ScaleRounded(MainDialogLayout::FONT_POINTS, iDpi, POINTS_PER_INCH));
    return Font;
}

BaseUnits BaseUnitsOf(const QFont& Font)
{
    const QFontMetrics Metrics(Font);
    const int32_t iAlphabetWidth = Metrics.horizontalAdvance(QString::fromLatin1(ALPHABET));
    return {(iAlphabetWidth / 26 + 1) / 2, Metrics.height()};
}

int32_t ScaleRounded(int32_t iA, int32_t iB, int32_t iC)
{
    const int64_t llProduct = static_cast<int64_t>(iA) * iB;
    const int64_t llHalf = std::llabs(static_cast<int64_t>(iC)) / 2;
    const int64_t llRounded = (llProduct >= 0) == (iC >= 0)
                                  ? (std::llabs(llProduct) + llHalf) / std::llabs(iC)
                                  : -((std::llabs(llProduct) + llHalf) / std::llabs(iC));
    return static_cast<int32_t>(llRounded);
}

QRect ToPixels(const MainDialogLayout::Control& Item, BaseUnits Units)
{
    return {ScaleRounded(Item.iX, Units.iX, 4), ScaleRounded(Item.iY, Units.iY, 8),
            ScaleRounded(Item.iWidth, Units.iX, 4), ScaleRounded(Item.iHeight, Units.iY, 8)};
}

QSize DialogSize(BaseUnits Units)
{
    return {ScaleRounded(MainDialogLayout::DIALOG_WIDTH, Units.iX, 4),
            ScaleRounded(MainDialogLayout::DIALOG_HEIGHT, Units.iY, 8)};
}
} // namespace QtDialogMetrics
