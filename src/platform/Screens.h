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
