#pragma once

#include "DayEventMark.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>

#include <optional>
#include <vector>

class QPainter;

namespace talvor {

// What the day cell draws, decided from its events and state before any drawing.
struct CalFieldCellPlan {
    bool ring = false;     // a ring round the day (an event of highlight type -1, or bordered)
    bool pressed = false;  // highlighted with a target: light-grey fill, no marks
    std::optional<QColor> fillColor;
    // Bands along the left / right edge: the event goes on from the day before / after.
    std::optional<QColor> leftBandColor;
    std::optional<QColor> rightBandColor;
    QRectF leftBand;
    QRectF rightBand;
    int hiddenEvents = 0;  // events not shown (0 with a ring or pressed)
    int dot1 = 0;          // dot colour indexes, 0 for none
    int dot2 = 0;
    QColor titleColor;
    QPointF titleOrigin;  // top-left of the day number
    int dotOffset = 0;
    QRectF fillRect;  // the rounded swatch, when there is a fill colour
    // The swatch's lower-right corner is square while events are hidden: the triangle mark
    // sits in it.
    bool roundLowerRight = true;
    bool showTriangle = false;
    QPointF trianglePoint;  // lower-left corner of the triangle picture
    bool showDots = false;  // dot1/dot2 are drawn (not pressed, no ring)
    QPointF dot1Point;      // lower-left corners of the small dots
    QPointF dot2Point;
    bool dotsOnFill = false;  // the dot variant for a filled day
    bool showRing = false;    // the ring is stroked (ring and not pressed)
    QRectF ringRect;
    QColor ringColor;
};

struct CalFieldCellState {
    QRectF frame;
    QSizeF titleSize;  // the day number's width and line height in the cell's font
    bool bordered = false;
    bool highlighted = false;
    bool hasTarget = false;
    bool enabled = true;
};

// The plan for one day: fill from the first banded event (the others count as hidden),
// bands for events going on across the day's edges, up to two distinct dots, a ring.
CalFieldCellPlan planCalFieldCell(const std::vector<DayEventMark>& events,
                                  const CalFieldCellState& state);

// The day cell of a month grid: its title is the day number. Used by the calendar grids,
// which give each cell the event days it shows.
class CalFieldCell {
  public:
    CalFieldCell() = default;
    explicit CalFieldCell(QString title) : title_(std::move(title)) {}

    const QString& title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }
    const QFont& font() const { return font_; }
    void setFont(const QFont& font) { font_ = font; }
    bool isBordered() const { return bordered_; }
    void setBordered(bool on) { bordered_ = on; }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on) { highlighted_ = on; }
    // Whether clicks on the cell go somewhere (a pressed cell is drawn only then).
    bool hasTarget() const { return hasTarget_; }
    void setHasTarget(bool on) { hasTarget_ = on; }
    bool isEnabled() const { return enabled_; }
    void setEnabled(bool on) { enabled_ = on; }

    const std::vector<DayEventMark>& representedEvents() const { return representedEvents_; }
    void setRepresentedEvents(std::vector<DayEventMark> events) {
        representedEvents_ = std::move(events);
    }

    CalFieldCellPlan planForFrame(const QRectF& frame) const;
    void drawWithFrame(QPainter& painter, const QRectF& frame) const;
    // The title's size with 6 points each side and 2 above and below, one point taller.
    QSizeF cellSize() const;

    // The "more events" mark: a 6 x 6 picture, made once and kept.
    static const QImage& triangleImage();

  private:
    QString title_;
    QFont font_;
    bool bordered_ = false;
    bool highlighted_ = false;
    bool hasTarget_ = false;
    bool enabled_ = true;
    std::vector<DayEventMark> representedEvents_;
};

}  // namespace talvor
