#include "app/qt/QtPracticeProgressBar.h"

#include <QMouseEvent>
#include <QStyleOptionProgressBar>
#include <QStylePainter>

#include <algorithm>
#include <cmath>

QtPracticeProgressBar::QtPracticeProgressBar(QWidget* pParent) : QProgressBar(pParent)
{
    Throttle.setSingleShot(true);
    Throttle.setInterval(SEEK_INTERVAL_MS);
    QObject::connect(&Throttle, &QTimer::timeout, this,
                     [this]()
                     {
                         // The mouse moved since the last seek and then rested: ask for where it is.
                         if (bDragging && dfDragFraction != dfSentFraction)
                         {
                             if (SendSeek() <= 0)
                             {
                                 EndDrag();
                                 return;
                             }
                             Throttle.start();
                         }
                     });
}

int32_t QtPracticeProgressBar::SetLoop(int32_t iStart, int32_t iEnd)
{
    if (iStart < 0)
    {
        iStart = -1;
        iEnd = -1;
    }
    else if (iEnd < 0)
    {
        iEnd = -1;
    }
    if (iStart == iLoopStart && iEnd == iLoopEnd)
    {
        return 0;
    }
    iLoopStart = iStart;
    iLoopEnd = iEnd;
    update();
    return 1;
}

int32_t QtPracticeProgressBar::SetMarkers(const std::vector<int32_t>& Ticks)
{
    if (Ticks == MarkerTicks)
    {
        return 0;
    }
    MarkerTicks = Ticks;
    update();
    return 1;
}

QRect QtPracticeProgressBar::Track() const
{
    QStyleOptionProgressBar Option;
    initStyleOption(&Option);
    return style()->subElementRect(QStyle::SE_ProgressBarContents, &Option, this);
}

double QtPracticeProgressBar::FractionAt(double dfX) const
{
    const QRect Area = Track();
    const double dfFraction = (dfX - Area.left()) / std::max(Area.width(), 1);
    return std::clamp(dfFraction, 0.0, 1.0);
}

int QtPracticeProgressBar::XOf(int32_t iValue, const QRect& Area) const
{
    const double dfSpan = static_cast<double>(maximum()) - static_cast<double>(minimum());
    const double dfFraction = dfSpan > 0.0 ? (static_cast<double>(iValue) - minimum()) / dfSpan : 0.0;
    return Area.left() + static_cast<int>(std::lround(std::clamp(dfFraction, 0.0, 1.0) * Area.width()));
}

void QtPracticeProgressBar::paintEvent(QPaintEvent* pEvent)
{
    (void)pEvent;
    QStylePainter Painter(this);
    QStyleOptionProgressBar Option;
    initStyleOption(&Option);
    if (bDragging)
    {
        const double dfSpan = static_cast<double>(maximum()) - static_cast<double>(minimum());
        Option.progress = minimum() + static_cast<int>(std::llround(dfDragFraction * dfSpan));
    }
    Painter.drawControl(QStyle::CE_ProgressBar, Option);
    // The text colour stands out on the played part and on the groove in every palette, the
    // highlight colour only on the groove: the band is tinted, its ends and foot are lines, the
    // markers ticks half the bar's height, two pixels wide.
    const QRect Area = style()->subElementRect(QStyle::SE_ProgressBarContents, &Option, this);
    const QColor Line = palette().color(QPalette::WindowText);
    for (const int32_t iTick : MarkerTicks)
    {
        const int iX = std::min(XOf(iTick, Area), Area.right() - 1);
        Painter.fillRect(QRect(iX, Area.top(), 2, std::max(Area.height() / 2, 3)), Line);
    }
    if (iLoopStart < 0)
    {
        return;
    }
    const int iFrom = std::min(XOf(iLoopStart, Area), Area.right());
    if (iLoopEnd < 0)
    {
        Painter.fillRect(QRect(iFrom, Area.top(), 2, Area.height()).intersected(Area), Line);
        return;
    }
    const int iTo = std::max(XOf(iLoopEnd, Area), iFrom + 1);
    QColor Band = palette().color(QPalette::Highlight);
    Band.setAlpha(BAND_ALPHA);
    Painter.fillRect(QRect(iFrom, Area.top(), iTo - iFrom, Area.height()), Band);
    Painter.fillRect(QRect(iFrom, Area.top(), 1, Area.height()), Line);
    Painter.fillRect(QRect(iTo - 1, Area.top(), 1, Area.height()), Line);
    // A foot from A to B makes a bracket, so the range still reads where the band lies on the
    // played part.
    Painter.fillRect(QRect(iFrom, Area.bottom(), iTo - iFrom, 1), Line);
}

int32_t QtPracticeProgressBar::SendSeek()
{
    if (dfDragFraction == dfSentFraction)
    {
        return 1;
    }
    dfSentFraction = dfDragFraction;
    return Request ? Request(dfDragFraction) : 0;
}

void QtPracticeProgressBar::EndDrag()
{
    bDragging = false;
    Throttle.stop();
    dfSentFraction = -1.0;
    update();
}

void QtPracticeProgressBar::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() != Qt::LeftButton)
    {
        QProgressBar::mousePressEvent(pEvent);
        return;
    }
    pEvent->accept();
    dfDragFraction = FractionAt(pEvent->position().x());
    dfSentFraction = -1.0;
    // Only a seek that was taken starts a drag; without a playback the bar stays as it is.
    if (SendSeek() > 0)
    {
        bDragging = true;
        Throttle.start();
        update();
    }
}

void QtPracticeProgressBar::mouseMoveEvent(QMouseEvent* pEvent)
{
    if (!bDragging)
    {
        QProgressBar::mouseMoveEvent(pEvent);
        return;
    }
    pEvent->accept();
    dfDragFraction = FractionAt(pEvent->position().x());
    update();
    if (!Throttle.isActive())
    {
        if (SendSeek() <= 0)
        {
            EndDrag();
            return;
        }
        Throttle.start();
    }
}

void QtPracticeProgressBar::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (!bDragging || pEvent->button() != Qt::LeftButton)
    {
        QProgressBar::mouseReleaseEvent(pEvent);
        return;
    }
    pEvent->accept();
    dfDragFraction = FractionAt(pEvent->position().x());
    SendSeek();
    EndDrag();
}
