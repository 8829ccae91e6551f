#include "TalvorCustomWindow.h"

#include "platform/Screens.h"
#include "platform/UserDefaults.h"

#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>

namespace talvor {

int TalvorCustomWindow::TalvorGetMaskFromType(int type) {
    switch (type) {
        case 1:
        case 2:
            return kTitled | kClosable | kMiniaturizable | kResizable;
        case 3:
            return 0;
        default:
            return kTitled | kClosable | kMiniaturizable | kResizable | kTexturedBackground;
    }
}

QRectF TalvorCustomWindow::snapped(const QRectF& frame, const QRectF& area, qreal tolerance,
                                   qreal padding) {
    // The distances are those of the frame as it was moved to; each snap moves it at once.
    QRectF result = frame;
    if (tolerance > area.bottom() - frame.bottom()) {
        result.moveBottom(area.bottom() - padding);
    }
    if (tolerance > frame.left() - area.left()) {
        result.moveLeft(area.left() + padding);
    }
    if (tolerance > area.right() - frame.right()) {
        result.moveRight(area.right() - padding);
    }
    if (tolerance > frame.top() - area.top()) {
        result.moveTop(area.top() + padding);
    }
    return result;
}

QRectF TalvorCustomWindow::positioned(const QString& name, const QRectF& frame, const QRectF& V) {
    const qreal w = frame.width();
    const qreal h = frame.height();
    const qreal middle = V.top() + (V.height() - h) / 2;
    const qreal left = V.left();
    const qreal right = V.right() - w;
    const qreal top = V.top();
    const qreal bottom = V.bottom() - h;
    QPointF at;
    if (name == QLatin1String("center left")) {
        at = {left, middle};
    } else if (name == QLatin1String("center right")) {
        at = {right, middle};
    } else if (name == QLatin1String("top left")) {
        at = {left, top};
    } else if (name == QLatin1String("top right")) {
        at = {right, top};
    } else if (name == QLatin1String("bottom left")) {
        at = {left, bottom};
    } else if (name == QLatin1String("bottom center")) {
        at = {V.left() + (V.width() - w) / 2, bottom};
    } else if (name == QLatin1String("bottom right")) {
        at = {right, bottom};
    } else {
        at = {V.left() + (V.width() - w) / 2, middle};
    }
    return QRectF(at, frame.size());
}

TalvorCustomWindow::TalvorCustomWindow(QWidget& window, platform::UserDefaults& defaults,
                                       platform::Screens& screens, Style style)
    : QObject(&window), window_(window), defaults_(defaults), screens_(screens) {
    iWinType_ = static_cast<int>(defaults_.integerForKey(QStringLiteral("iWinType")));
    if (style == Style::FromType) {
        window_.setWindowFlag(Qt::FramelessWindowHint, TalvorGetMaskFromType(iWinType_) == 0);
    }
    const QStringList saved =
        defaults_.stringForKey(frameKey()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (saved.size() == 4) {
        bool ok[4] = {};
        const QRectF frame(saved[0].toDouble(&ok[0]), saved[1].toDouble(&ok[1]),
                           saved[2].toDouble(&ok[2]), saved[3].toDouble(&ok[3]));
        if (ok[0] && ok[1] && ok[2] && ok[3] && frame.width() > 0 && frame.height() > 0) {
            if (iWinType_ == 3) {
                window_.resize(frame.size().toSize());  // the size only; it stays where it is
            } else {
                window_.setGeometry(frame.toRect());
            }
            hasSavedFrame_ = true;
        }
    }
    window_.installEventFilter(this);
}

bool TalvorCustomWindow::optionHeld() {
    const Qt::KeyboardModifiers held = QGuiApplication::queryKeyboardModifiers();
    return held & (Qt::AltModifier | Qt::ShiftModifier);
}

void TalvorCustomWindow::saveFrame() {
    const QRect f = window_.geometry();
    defaults_.setObject(
        QStringLiteral("%1 %2 %3 %4").arg(f.x()).arg(f.y()).arg(f.width()).arg(f.height()),
        frameKey());
    hasSavedFrame_ = true;
}

void TalvorCustomWindow::moveTo(const QPointF& topLeft) {
    snapping_ = true;
    window_.move(topLeft.toPoint());
    saveFrame();
    snapping_ = false;
}

void TalvorCustomWindow::positionWindow(const QString& name) {
    const QRectF area = screens_.availableArea(QRectF(window_.geometry()).center());
    moveTo(positioned(name, QRectF(window_.geometry()), area).topLeft());
}

void TalvorCustomWindow::windowMoved() {
    if (snapping_ || !snapsToEdges_ || optionHeld()) {
        return;
    }
    const QRectF frame(window_.geometry());
    const QRectF area = screens_.availableArea(frame.center());
    const QRectF target = snapped(frame, area, snapTolerance_, padding_);
    if (target.topLeft() != frame.topLeft()) {
        moveTo(target.topLeft());
    }
}

bool TalvorCustomWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != &window_) {
        return false;
    }
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
            // A hidden window is placed by its owner before it shows; a shown one by the user
            // (or by us, while snapping, which saves by itself).
            if (window_.isVisible() && !snapping_) {
                if (event->type() == QEvent::Move) {
                    windowMoved();
                }
                saveFrame();
            }
            break;
        case QEvent::MouseButtonPress: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            initialLocation_ = mouse->globalPosition() - QPointF(window_.pos());
            break;
        }
        case QEvent::MouseMove: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if ((iWinType_ == 2 || iWinType_ == 3) && (mouse->buttons() & Qt::LeftButton) &&
                optionHeld()) {
                const QRectF area = screens_.availableArea(mouse->globalPosition());
                QPointF origin = mouse->globalPosition() - initialLocation_;
                origin.setY(std::max(origin.y(), area.top()));  // never above the usable area
                snapping_ = true;
                window_.move(origin.toPoint());
                saveFrame();
                snapping_ = false;
                return true;
            }
            break;
        }
        default:
            break;
    }
    return false;
}

}  // namespace talvor
