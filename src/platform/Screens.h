#pragma once

#include <QPointF>
#include <QRectF>

namespace talvor::platform {

// Where the mouse is and how much of each screen windows may use; the calendar windows place
// themselves with it.
class Screens {
  public:
    virtual ~Screens();

    // The mouse pointer, in global screen coordinates.
    virtual QPointF mouseLocation() const = 0;
    // The usable area (without panels and docks) of the screen holding `point`, else of the
    // primary screen; empty when there is no screen at all.
    virtual QRectF availableArea(const QPointF& point) const = 0;
    // The available area without the bands that our own windows keep along its top and
    // bottom edges (the strip): where a window may open without covering them. A window
    // manager leaves a docked strip out of the available area already; without one, only
    // this knows of it.
    QRectF freeArea(const QPointF& point) const;

    // Keeps `area` (global coordinates) for `owner` until released with an empty one.
    static void reserve(const void* owner, const QRectF& area);

    static Screens& shared();
    // Replaces the shared screens (tests); nullptr restores the real ones.
    static void setShared(Screens* screens);
};

// The screens Qt knows.
class QtScreens : public Screens {
  public:
    QPointF mouseLocation() const override;
    QRectF availableArea(const QPointF& point) const override;
};

}  // namespace talvor::platform
