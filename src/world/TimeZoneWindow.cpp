#include "TimeZoneWindow.h"

#include "WorldKeys.h"
#include "foundation/ScanFormat.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

Qt::WindowFlags flagsFor(FloatingOptions::Layer layer) {
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint;
    switch (layer) {
        case FloatingOptions::Layer::Desktop:
            flags |= Qt::WindowStaysOnBottomHint;
            break;
        case FloatingOptions::Layer::Above:
            flags |= Qt::WindowStaysOnTopHint;
            break;
        case FloatingOptions::Layer::Normal:
            break;
    }
    return flags;
}

bool onSomeScreen(const QRect& frame) {
    const QList<QScreen*> screens = QGuiApplication::screens();
    return std::any_of(screens.begin(), screens.end(),
                       [&](const QScreen* s) { return s->geometry().intersects(frame); });
}

}  // namespace

TimeZoneWindow::TimeZoneWindow(platform::UserDefaults& defaults, QWidget* parent)
    : QWidget(parent, flagsFor(FloatingOptions::Layer::Normal)), defaults_(defaults) {
    setObjectName(keys::TimeFloatAutosaveName);
    setWindowTitle(keys::TimeFloatAutosaveName);
    setAttribute(Qt::WA_TranslucentBackground);
    // Rebuilding the clocks after a settings change must not take the focus from the user.
    setAttribute(Qt::WA_ShowWithoutActivating);
    restoreFrame();
}

TimeZoneWindow::~TimeZoneWindow() = default;

void TimeZoneWindow::restoreFrame() {
    const std::optional<QRect> saved =
        rectFromText(defaults_.stringForKey(keys::TimeFloatWindowFrame));
    if (saved && onSomeScreen(*saved)) {
        setGeometry(*saved);
        return;
    }
    if (saved) {
        // A screen that is gone would keep the clocks out of sight for good.
        platform::log(
            QStringLiteral(
                "Floating clocks: the saved place %1 is on no screen; using the main screen")
                .arg(rectText(*saved)));
    }
    if (const QScreen* main = QGuiApplication::primaryScreen()) {
        // Not over the strip, where no window manager keeps windows off it.
        const QRectF free = platform::Screens::shared().freeArea(main->geometry().center());
        move(QPoint(static_cast<int>(std::ceil(free.left())),
                    static_cast<int>(std::ceil(free.top()))));
    }
}

void TimeZoneWindow::setLayer(FloatingOptions::Layer layer) {
    layer_ = layer;
    const Qt::WindowFlags flags = flagsFor(layer);
    if (windowFlags() == flags) {
        return;
    }
    const bool visible = isVisible();
    setWindowFlags(flags);
    if (visible) {
        show();
    }
}

QString TimeZoneWindow::rectText(const QRect& rect) {
    return QStringLiteral("{{%1, %2}, {%3, %4}}")
        .arg(rect.x())
        .arg(rect.y())
        .arg(rect.width())
        .arg(rect.height());
}

std::optional<QRect> TimeZoneWindow::rectFromText(const QString& text) {
    const std::vector<ScanValue> v = scanFormat(text.trimmed(), "{{%f, %f}, {%f, %f}}");
    if (v.size() != 4 || !text.trimmed().endsWith(QLatin1String("}}"))) {
        return std::nullopt;
    }
    double n[4];
    for (int i = 0; i < 4; ++i) {
        n[i] = scanValueAsDouble(v[static_cast<std::size_t>(i)]);
        if (!std::isfinite(n[i]) || std::abs(n[i]) > 1e6) {
            return std::nullopt;
        }
    }
    if (n[2] < 0 || n[3] < 0) {
        return std::nullopt;
    }
    return QRect(static_cast<int>(std::lround(n[0])), static_cast<int>(std::lround(n[1])),
                 static_cast<int>(std::lround(n[2])), static_cast<int>(std::lround(n[3])));
}

QPoint TimeZoneWindow::draggedOrigin(const QPoint& mouse, const QPoint& grabOffset,
                                     const QRect& bounds) {
    QPoint origin = mouse - grabOffset;
    if (origin.y() < bounds.top()) {
        origin.setY(bounds.top());
    }
    return origin;
}

QPoint TimeZoneWindow::snappedOrigin(const QRect& frame, const QRect& visible, float tolerance,
                                     float padding) {
    const double t = tolerance;
    const double p = padding;
    const double fx = frame.x(), fy = frame.y(), fw = frame.width(), fh = frame.height();
    const double vx = visible.x(), vy = visible.y(), vw = visible.width(), vh = visible.height();
    double x = fx;
    double y = fy;
    if (t > (vy + vh) - (fy + fh)) {
        y = vy + vh - fh - p;
    }
    if (t > fx - vx) {
        x = vx + p;
    }
    if (t > (vx + vw) - (fx + fw)) {
        x = vx + vw - fw - p;
    }
    if (t > fy - vy) {
        y = vy + p;
    }
    return QPoint(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y)));
}

QRect TimeZoneWindow::dragBounds() {
    QRect bounds;
    if (const QScreen* main = QGuiApplication::primaryScreen()) {
        bounds = main->geometry();
    }
    for (const QScreen* s : QGuiApplication::screens()) {
        bounds = bounds.united(s->availableGeometry());
    }
    return bounds;
}

void TimeZoneWindow::windowMoved(Qt::KeyboardModifiers modifiers) {
    if ((modifiers & Qt::AltModifier) || !snapsToEdges_ || snapping_ || screen() == nullptr) {
        return;
    }
    snapping_ = true;
    const QPoint origin =
        snappedOrigin(geometry(), screen()->availableGeometry(), snapTolerance_, padding_);
    if (origin != pos()) {
        move(origin);
    }
    snapping_ = false;
}

void TimeZoneWindow::saveFrame(const QPoint& mouse) {
    // The frame after the move, so that the last step of a drag is not lost.
    defaults_.setObject(rectText(geometry()), keys::TimeFloatWindowFrame);
    const QScreen* under = QGuiApplication::screenAt(mouse);
    defaults_.setObject(rectText(under != nullptr ? under->geometry() : QRect(0, 0, 0, 0)),
                        keys::TimeFloatScreen);
}

void TimeZoneWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    initialLocation_ = event->globalPosition().toPoint() - pos();
    dragging_ = true;
    event->accept();
}

void TimeZoneWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!dragging_ || !(event->buttons() & Qt::LeftButton)) {
        QWidget::mouseMoveEvent(event);
        return;
    }
    const QPoint mouse = event->globalPosition().toPoint();
    move(draggedOrigin(mouse, initialLocation_, dragBounds()));
    saveFrame(mouse);
    event->accept();
}

void TimeZoneWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (!dragging_) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    dragging_ = false;
    // Written once per drag rather than at every step of it.
    defaults_.synchronize();
    event->accept();
}

void TimeZoneWindow::moveEvent(QMoveEvent* event) {
    QWidget::moveEvent(event);
    windowMoved(QGuiApplication::queryKeyboardModifiers());
}

void TimeZoneWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (escapeAction_) {
        escapeAction_();
    } else {
        hide();
    }
}

}  // namespace talvor
