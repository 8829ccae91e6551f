#include "Screens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

namespace talvor::platform {
namespace {

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
