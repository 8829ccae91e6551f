#include "MinnowCalendarController.h"

#include "CalendarWindow.h"
#include "MonthPager.h"
#include "platform/Clock.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"

#include <QVBoxLayout>

namespace talvor {

using Shared = SharedController<MinnowCalendarController>;

MinnowCalendarController::MinnowCalendarController(platform::Clock& clock,
                                                   platform::UserDefaults& defaults,
                                                   platform::Screens& screens)
    : screens_(screens) {
    window_ = std::make_unique<CalendarWindow>();
    window_->setObjectName(QStringLiteral("MinnowCalendarController"));
    window_->setCloseHandler([this] { closeWindow(); });
    // Each opening starts at today's month, wherever the last one was paged to.
    window_->setShowHandler([this] {
        if (pager_ != nullptr) {
            pager_->showToday();
        }
    });
    monthView_ = new MonthGridView(MonthGridView::miniStyle(), window_.get());
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(2, 2, 2, 2);
    layout->addWidget(monthView_);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    pager_ = new MonthPager(*monthView_, clock, defaults);
    window_->adjustSize();
}

MinnowCalendarController::MinnowCalendarController()
    : MinnowCalendarController(platform::Clock::shared(), platform::UserDefaults::standard(),
                               platform::Screens::shared()) {}

MinnowCalendarController::~MinnowCalendarController() = default;

MinnowCalendarController& MinnowCalendarController::sharedInstance() {
    return Shared::get();
}

void MinnowCalendarController::setSharedInstance(MinnowCalendarController* controller) {
    Shared::replace(controller);
}

QWidget* MinnowCalendarController::window() const {
    return window_.get();
}

bool MinnowCalendarController::isWindowVisible() const {
    return window_ && window_->isVisible();
}

void MinnowCalendarController::calculateWindowFrame() {
    if (!window_) {
        return;
    }
    window_->hangBelow(delegate_ != nullptr ? delegate_->dateStatusItemRect() : QRectF(), screens_);
}

void MinnowCalendarController::closeWindow() {
    if (delegate_ != nullptr) {
        delegate_->closeMinnowCalendar();
    } else if (window_) {
        window_->hide();
    }
}

void MinnowCalendarController::releaseWindow() {
    pager_ = nullptr;
    monthView_ = nullptr;
    window_.reset();
}

}  // namespace talvor
