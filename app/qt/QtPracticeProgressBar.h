#pragma once
#include <QProgressBar>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

// The window's progress bar as a practice tool: the bar as the style draws it with the loop on top
// (the band [A, B) in the palette's highlight colour, half transparent, its edges and foot in the
// text colour; a start marked alone as a thin line; markers as short ticks from the top edge), and a
// left click or drag that asks for a seek. A drag
// asks at once on the press, then at most every SEEK_INTERVAL_MS while the mouse moves, and for the
// exact place on the release; meanwhile the bar shows the place under the mouse, not the timer's.
class QtPracticeProgressBar : public QProgressBar
{
public:
    // Asked for a seek to dfFraction (0 ... 1 of the file): 1 taken, 0 nothing done (no playback).
    using SeekRequest = std::function<int32_t(double dfFraction)>;

    static constexpr int SEEK_INTERVAL_MS = 50;
    // The band's opacity over the bar, out of 255.
    static constexpr int BAND_ALPHA = 112;

    explicit QtPracticeProgressBar(QWidget* pParent = nullptr);

    void SetSeekRequest(SeekRequest NewRequest) { Request = std::move(NewRequest); }
    // The loop in the bar's range: the band [iStart, iEnd), a start alone with iEnd below 0, nothing
    // with iStart below 0. Repaints only on a change; 1 changed, 0 the same as before.
    int32_t SetLoop(int32_t iStart, int32_t iEnd);
    int32_t LoopStart() const { return iLoopStart; }
    int32_t LoopEnd() const { return iLoopEnd; }
    // The markers in the bar's range, drawn as ticks from the top edge. 1 changed, 0 the same.
    int32_t SetMarkers(const std::vector<int32_t>& Ticks);
    const std::vector<int32_t>& Markers() const { return MarkerTicks; }

    // The fraction of the bar at x (widget coordinates), 0 ... 1.
    double FractionAt(double dfX) const;
    bool IsDragging() const { return bDragging; }

protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;

private:
    // The part of the widget the range spans.
    QRect Track() const;
    int XOf(int32_t iValue, const QRect& Area) const;
    // Asks for the drag's place unless it was asked for last; 1 taken.
    int32_t SendSeek();
    void EndDrag();

    SeekRequest Request;
    QTimer Throttle;
    int32_t iLoopStart = -1;
    int32_t iLoopEnd = -1;
    std::vector<int32_t> MarkerTicks;
    bool bDragging = false;
    double dfDragFraction = 0.0;
    double dfSentFraction = -1.0;
};
