#include "BigCalendarButtons.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QSizeGrip>
#include <QToolButton>

namespace talvor {
namespace {

// White on the dark panel, and never taking the keys the months step by.
QToolButton* smallButton(QWidget& parent, const QString& text, const QString& name) {
    auto* button = new QToolButton(&parent);
    button->setObjectName(name);
    button->setText(text);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(QStringLiteral("QToolButton { color: white; }"));
    return button;
}

}  // namespace

BigCalendarButtons::BigCalendarButtons(QWidget& window, QMenu& menu, const Actions& actions) {
    prevMonth_ = smallButton(window, QStringLiteral("<"), QStringLiteral("prevMonth"));
    today_ = smallButton(window, QStringLiteral("D"), QStringLiteral("today"));
    nextMonth_ = smallButton(window, QStringLiteral(">"), QStringLiteral("nextMonth"));
    QObject::connect(prevMonth_, &QToolButton::clicked, prevMonth_, actions.prevMonth);
    QObject::connect(today_, &QToolButton::clicked, today_, actions.today);
    QObject::connect(nextMonth_, &QToolButton::clicked, nextMonth_, actions.nextMonth);
    settings_ =
        smallButton(window, QCoreApplication::translate("ztCalendarController", "Settings…"),
                    QStringLiteral("settings"));
    QObject::connect(settings_, &QToolButton::clicked, settings_, actions.settings);
    sizeGrip_ = new QSizeGrip(&window);
    menu_ = smallButton(window, QStringLiteral("≡"), QStringLiteral("settingButton"));
    menu_->setPopupMode(QToolButton::InstantPopup);
    menu_->setMenu(&menu);
    zoom_ = smallButton(window, QStringLiteral("+"), QStringLiteral("zoomButton"));
    zoom_->setCheckable(true);
    QObject::connect(zoom_, &QToolButton::toggled, zoom_, actions.zoom);
    close_ = smallButton(window, QStringLiteral("×"), QStringLiteral("closeButton"));
    QObject::connect(close_, &QToolButton::clicked, close_, actions.close);
}

QHBoxLayout* BigCalendarButtons::titleRow() const {
    auto* row = new QHBoxLayout;
    row->setSpacing(2);
    row->addWidget(close_);
    row->addStretch(1);
    for (QToolButton* button : {menu_, prevMonth_, today_, nextMonth_, zoom_}) {
        row->addWidget(button);
    }
    return row;
}

void BigCalendarButtons::showZoomed(bool on) {
    if (zoom_->isChecked() != on) {
        const QSignalBlocker quiet(zoom_);
        zoom_->setChecked(on);
    }
}

}  // namespace talvor
