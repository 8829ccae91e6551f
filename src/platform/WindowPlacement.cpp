#include "WindowPlacement.h"

#include "Screens.h"
#include "UserDefaults.h"

#include <QRegularExpression>
#include <QWidget>

#include <algorithm>
#include <cmath>
#include <optional>

namespace talvor::platform {
namespace {

// The whole pixels inside `area`.
QRect innerPixels(const QRectF& area) {
    const QPoint topLeft(static_cast<int>(std::ceil(area.left())),
                         static_cast<int>(std::ceil(area.top())));
    const QPoint bottomRight(static_cast<int>(std::floor(area.right())) - 1,
                             static_cast<int>(std::floor(area.bottom())) - 1);
    return QRect(topLeft, bottomRight);
}

int clampedStart(int start, int length, int areaStart, int areaLength) {
    return std::clamp(start, areaStart, std::max(areaStart, areaStart + areaLength - length));
}

QString frameKey(const QString& autosaveName) {
    return QStringLiteral("NSWindow Frame ") + autosaveName;
}

// "x y width height"; none for any other text.
std::optional<QRect> frameFromText(const QString& text) {
    static const QRegularExpression form(QStringLiteral(R"(^(-?\d+) (-?\d+) (\d+) (\d+)$)"));
    const QRegularExpressionMatch m = form.match(text.trimmed());
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    return QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                 m.captured(4).toInt());
}

}  // namespace

void placeInFreeArea(QWidget& window, const QWidget* over) {
    const QWidget* anchorWindow = over != nullptr ? over->window() : nullptr;
    const QPointF anchor = anchorWindow != nullptr ? QRectF(anchorWindow->frameGeometry()).center()
                           : window.isVisible()    ? QRectF(window.frameGeometry()).center()
                                                   : Screens::shared().mouseLocation();
    const QRect free = innerPixels(Screens::shared().freeArea(anchor));
    if (free.isEmpty()) {
        return;
    }
    if (!window.isVisible() && !window.testAttribute(Qt::WA_Resized)) {
        window.adjustSize();  // what showing it would do first
    }
    // Known once the window manager framed the window; none without one.
    const QSize decorations = window.frameGeometry().size() - window.size();
    const QSize room = free.size() - decorations;
    if (window.width() > room.width() || window.height() > room.height()) {
        window.resize(window.size().boundedTo(room).expandedTo(window.minimumSize()));
    }
    QRect frame(QPoint(), window.size() + decorations);
    frame.moveCenter(anchorWindow != nullptr ? anchorWindow->frameGeometry().center()
                                             : free.center());
    frame.moveTo(clampedStart(frame.left(), frame.width(), free.left(), free.width()),
                 clampedStart(frame.top(), frame.height(), free.top(), free.height()));
    window.move(frame.topLeft());
}

void saveWindowFrame(const QWidget& window, const QString& autosaveName) {
    const QRect frame(window.pos(), window.size());
    UserDefaults::standard().setObject(QStringLiteral("%1 %2 %3 %4")
                                           .arg(frame.x())
                                           .arg(frame.y())
                                           .arg(frame.width())
                                           .arg(frame.height()),
                                       frameKey(autosaveName));
}

void restoreWindowFrame(QWidget& window, const QString& autosaveName) {
    if (const std::optional<QRect> saved =
            frameFromText(UserDefaults::standard().stringForKey(frameKey(autosaveName)))) {
        if (!window.testAttribute(Qt::WA_Resized)) {
            window.adjustSize();
        }
        const QRect frame(saved->topLeft(),
                          window.frameGeometry().size().expandedTo(window.size()));
        const QRect free = innerPixels(Screens::shared().freeArea(QRectF(frame).center()));
        if (free.contains(frame)) {
            window.move(frame.topLeft());
            return;
        }
    }
    placeInFreeArea(window);
}

}  // namespace talvor::platform
