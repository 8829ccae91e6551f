#include "CalendarWindow.h"

#include "CalendarPlacement.h"
#include "platform/Screens.h"

#include <QKeyEvent>
#include <QPainter>

namespace talvor {

CalendarWindow::CalendarWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint) {
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
}

void CalendarWindow::setBackgroundPicture(const QImage& picture) {
    background_ = picture;
    update();
}

void CalendarWindow::hangBelow(const QRectF& anchor, const platform::Screens& screens) {
    const QRectF area =
        screens.freeArea(anchor.isEmpty() ? screens.mouseLocation() : anchor.center());
    move(CalendarPlacement::anchoredFrame(anchor, size(), area).topLeft().toPoint());
}

void CalendarWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Escape) {
        QWidget::keyPressEvent(event);
        return;
    }
    if (closeHandler_) {
        closeHandler_();
    } else {
        hide();
    }
}

void CalendarWindow::showEvent(QShowEvent* event) {
    if (showHandler_) {
        showHandler_();
    }
    QWidget::showEvent(event);
}

void CalendarWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!background_.isNull()) {
        painter.drawImage(rect(), background_);
    }
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(rect().adjusted(0, 0, -1, -1));
}

}  // namespace talvor
