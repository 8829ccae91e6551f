#include "BigCalendarMoon.h"

#include "MAAttachedWindow.h"
#include "platform/Clock.h"
#include "platform/Screens.h"
#include "ztCalendarMenuExtra.h"

#include <QDateTime>
#include <QLabel>
#include <QPixmap>
#include <QToolButton>

namespace talvor {
namespace {

constexpr int kWindowSide = 256;

QPixmap scaledMoon(const QImage& moon, int side) {
    return moon.isNull() ? QPixmap()
                         : QPixmap::fromImage(moon.scaled(side, side, Qt::KeepAspectRatio,
                                                          Qt::SmoothTransformation));
}

}  // namespace

BigCalendarMoon::BigCalendarMoon(QWidget& window, platform::Clock& clock,
                                 platform::Screens& screens)
    : parent_(window), clock_(clock), screens_(screens) {
    picture_ = new QLabel(&window);
    picture_->setFixedSize(kSide, kSide);
    text_ = new QLabel(&window);
    text_->setWordWrap(true);
    text_->setStyleSheet(QStringLiteral("QLabel { color: white; }"));
    text_->setMinimumHeight(kSide);
}

void BigCalendarMoon::showToday(ztCalendarMenuExtra* menuExtra) {
    if (menuExtra == nullptr) {
        picture_->clear();
        text_->clear();
        return;
    }
    const Date today = clock_.now();
    picture_->setPixmap(scaledMoon(menuExtra->mooonImage(today), kSide));
    text_->setText(menuExtra->addNextMoons(std::nullopt, today));
}

void BigCalendarMoon::toggleWindow(ztCalendarMenuExtra* menuExtra, const QDate& day,
                                   const QPointF& globalPoint) {
    if (window_) {
        closeWindow();
        return;
    }
    if (menuExtra == nullptr) {
        return;
    }
    const Date date = Date::fromQDateTime(QDateTime(day, QTime(12, 0)));
    auto* moon = new QLabel;
    moon->setObjectName(QStringLiteral("moonOfTheDay"));
    moon->setFixedSize(kWindowSide, kWindowSide);
    const QImage picture = menuExtra->mooonImage(date);
    if (!picture.isNull()) {
        moon->setPixmap(scaledMoon(picture, kWindowSide));
    }
    moon->setAlignment(Qt::AlignCenter);
    moon->setToolTip(menuExtra->addNextMoons(std::nullopt, date));
    auto* close = new QToolButton(moon);
    close->setObjectName(QStringLiteral("closeMoon"));
    close->setText(QStringLiteral("×"));
    close->setAutoRaise(true);
    close->setStyleSheet(QStringLiteral("QToolButton { color: white; }"));
    close->setGeometry(kWindowSide - 32, 2, 16, 16);
    connect(close, &QToolButton::clicked, this, &BigCalendarMoon::closeWindow);
    const QRectF visible = screens_.availableArea(globalPoint);
    window_ = new MAAttachedWindow(moon, globalPoint - QPointF(0, 10), &parent_,
                                   MAAttachedWindow::kAutomatic, 12, visible);
    window_->show();
}

void BigCalendarMoon::closeWindow() {
    if (window_) {
        window_->hide();
        window_->deleteLater();
        window_ = nullptr;
    }
}

}  // namespace talvor
