#include "SnoozeWindowController.h"

#include "TimeTexts.h"
#include "platform/Screens.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace talvor {

// Closing it from the window manager snoozes the alarm.
class SnoozeWindowController::Window : public QWidget {
  public:
    explicit Window(SnoozeWindowController& owner)
        : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint), owner_(owner) {}

  protected:
    void closeEvent(QCloseEvent* event) override {
        if (isVisible()) {
            event->ignore();
            owner_.snoozeButtonPressed();
            return;
        }
        QWidget::closeEvent(event);
    }

  private:
    SnoozeWindowController& owner_;
};

SnoozeWindowController::SnoozeWindowController(std::shared_ptr<Alarm> alarm)
    : windowAlarm_(std::move(alarm)) {}

SnoozeWindowController::~SnoozeWindowController() {
    if (window_) {
        window_->hide();
        // Later: the window's own button may be the one that ends it.
        window_->deleteLater();
    }
}

void SnoozeWindowController::build() {
    if (window_) {
        return;
    }
    window_ = new Window(*this);
    window_->setWindowTitle(QStringLiteral("Alarm"));
    window_->setObjectName(QStringLiteral("SnoozeWindow"));
    timeLabel_ = new QLabel(window_);
    QFont big = timeLabel_->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    timeLabel_->setFont(big);
    titleLabel_ = new QLabel(window_);
    titleLabel_->setWordWrap(true);
    snoozeButton_ = new QPushButton(QStringLiteral("Snooze"), window_);
    clearButton_ = new QPushButton(QStringLiteral("Clear"), window_);
    snoozeButton_->setDefault(true);
    QObject::connect(snoozeButton_, &QPushButton::clicked, window_,
                     [this] { snoozeButtonPressed(); });
    QObject::connect(clearButton_, &QPushButton::clicked, window_,
                     [this] { clearButtonPressed(); });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(snoozeButton_);
    buttons->addWidget(clearButton_);
    auto* layout = new QVBoxLayout(window_);
    layout->addWidget(timeLabel_);
    layout->addWidget(titleLabel_);
    layout->addLayout(buttons);
    window_->setMinimumWidth(240);
}

QWidget* SnoozeWindowController::window() {
    build();
    return window_;
}

QLabel* SnoozeWindowController::timeLabel() {
    build();
    return timeLabel_;
}

QLabel* SnoozeWindowController::titleLabel() {
    build();
    return titleLabel_;
}

QPushButton* SnoozeWindowController::snoozeButton() {
    build();
    return snoozeButton_;
}

QPushButton* SnoozeWindowController::clearButton() {
    build();
    return clearButton_;
}

void SnoozeWindowController::setAlarm(std::shared_ptr<Alarm> alarm) {
    windowAlarm_ = std::move(alarm);
    build();
    timeLabel_->setText(windowAlarm_ ? formatTime(windowAlarm_->time()) : QString());
    titleLabel_->setText(windowAlarm_ ? windowAlarm_->shownTitle() : QString());
}

void SnoozeWindowController::snoozeButtonPressed() {
    if (delegate_ != nullptr) {
        delegate_->snoozeWindowDidSnooze(*this);
    }
}

void SnoozeWindowController::clearButtonPressed() {
    if (delegate_ != nullptr) {
        delegate_->snoozeWindowDidClear(*this);
    }
}

void SnoozeWindowController::close() {
    if (window_) {
        window_->hide();
    }
}

void SnoozeWindowController::showWindow() {
    build();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

std::unique_ptr<SnoozeWindowController> SnoozeWindowController::showCloseTo(
    const QRectF& itemFrame, SnoozeWindowControllerDelegate* delegate,
    std::shared_ptr<Alarm> alarm) {
    auto controller = std::make_unique<SnoozeWindowController>();
    controller->setAlarm(std::move(alarm));
    controller->setDelegate(delegate);
    QWidget* w = controller->window();
    w->adjustSize();
    QPoint topLeft;
    if (itemFrame.isEmpty()) {
        // No item to hang under: the top right of the free area, so that it covers no strip
        // even without a window manager.
        const platform::Screens& screens = platform::Screens::shared();
        const QRectF area = screens.freeArea(screens.mouseLocation());
        topLeft = QPoint(static_cast<int>(std::floor(area.right())) - w->width(),
                         static_cast<int>(std::ceil(area.top())));
    } else {
        topLeft = itemFrame.bottomLeft().toPoint();
        // An item near the right edge: the window stays on the screen, as a menu would.
        const QScreen* screen = QGuiApplication::screenAt(itemFrame.center().toPoint());
        if (screen == nullptr) {
            screen = QGuiApplication::primaryScreen();
        }
        if (screen != nullptr) {
            const QRect area = screen->geometry();
            topLeft.setX(
                std::max(area.left(), std::min(topLeft.x(), area.right() + 1 - w->width())));
        }
    }
    w->move(topLeft);
    controller->showWindow();
    return controller;
}

}  // namespace talvor
