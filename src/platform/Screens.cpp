#include "Screens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <map>

namespace talvor::platform {
namespace {

std::map<const void*, QRectF>& reserved() {
    static std::map<const void*, QRectF> areas;
    return areas;
}

Screens*& replacement() {
    static Screens* screens = nullptr;
    return screens;
}

}  // namespace

Screens::~Screens() = default;

Screens& Screens::shared() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    static QtScreens screens;
    return screens;
}

QRectF Screens::freeArea(const QPointF& point) const {
    QRectF free = availableArea(point);
    for (const auto& [owner, band] : reserved()) {
        if (!band.intersects(free)) {
            continue;
        }
        // A band in the upper half pushes the top down, one in the lower half the bottom up;
        // a window in the middle of the screen is not a band.
        if (band.top() <= free.top() + 1.0 && band.bottom() < free.center().y()) {
            free.setTop(std::max(free.top(), band.bottom()));
        } else if (band.bottom() >= free.bottom() - 1.0 && band.top() > free.center().y()) {
            free.setBottom(std::min(free.bottom(), band.top()));
        }
    }
    return free;
}

void Screens::reserve(const void* owner, const QRectF& area) {
    if (area.isEmpty()) {
        reserved().erase(owner);
    } else {
        reserved()[owner] = area;
    }
}

void Screens::setShared(Screens* screens) {
    replacement() = screens;
}

QPointF QtScreens::mouseLocation() const {
    return QCursor::pos();
}

QRectF QtScreens::availableArea(const QPointF& point) const {
    const QScreen* screen = QGuiApplication::screenAt(point.toPoint());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    return screen != nullptr ? QRectF(screen->availableGeometry()) : QRectF();
}

}  // namespace talvor::platform
