#include "ztCalendarController.h"

#include "CalendarWindow.h"
#include "MonthPager.h"
#include "platform/Clock.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QToolButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

using Shared = SharedController<ztCalendarController>;

constexpr int kMoonSide = 48;

}  // namespace

ztCalendarController::ztCalendarController(platform::Clock& clock, platform::UserDefaults& defaults,
                                           platform::Screens& screens)
    : clock_(clock), defaults_(defaults), screens_(screens) {
    window_ = std::make_unique<CalendarWindow>();
    window_->setObjectName(QStringLiteral("ztCalendarController"));
    window_->setShowHandler([this] { updateCalendarPrefs(); });
    monthView_ = new MonthGridView(MonthGridView::bigStyle(), window_.get());
    moonPicture_ = new QLabel(window_.get());
    moonPicture_->setFixedSize(kMoonSide, kMoonSide);
    moonText_ = new QLabel(window_.get());
    moonText_->setWordWrap(true);
    settingsButton_ = new QToolButton(window_.get());
    settingsButton_->setText(tr("Settings…"));
    settingsButton_->setAutoRaise(true);
    settingsButton_->setFocusPolicy(Qt::NoFocus);

    auto* moonRow = new QHBoxLayout;
    moonRow->addWidget(moonPicture_, 0, Qt::AlignTop);
    moonRow->addWidget(moonText_, 1);
    moonRow->addWidget(settingsButton_, 0, Qt::AlignBottom);
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(8, 8, 8, 8);
    layout->addWidget(monthView_);
    layout->addLayout(moonRow);
    layout->setSizeConstraint(QLayout::SetFixedSize);
    // The moon text may wrap, never widen the window past the grid.
    moonText_->setFixedWidth(monthView_->sizeHint().width() - kMoonSide -
                             settingsButton_->sizeHint().width() - 2 * layout->spacing());
    moonText_->setMinimumHeight(kMoonSide);

    pager_ = new MonthPager(*monthView_, clock_, defaults_);
    connect(settingsButton_, &QToolButton::clicked, this, &ztCalendarController::settingsBtnAction);
    window_->adjustSize();
}

ztCalendarController::ztCalendarController()
    : ztCalendarController(platform::Clock::shared(), platform::UserDefaults::standard(),
                           platform::Screens::shared()) {}

ztCalendarController::~ztCalendarController() = default;

ztCalendarController& ztCalendarController::sharedInstance() {
    return Shared::get();
}

void ztCalendarController::setSharedInstance(ztCalendarController* controller) {
    Shared::replace(controller);
}

void ztCalendarController::setMenuExtra(ztCalendarMenuExtra* menuExtra) {
    menuExtra_ = menuExtra;
    updateMoon();
}

QWidget* ztCalendarController::window() const {
    return window_.get();
}

bool ztCalendarController::isWindowVisible() const {
    return window_ && window_->isVisible();
}

void ztCalendarController::belowView(const QRectF& anchor) {
    if (!window_) {
        return;
    }
    window_->hangBelow(anchor, screens_);
}

void ztCalendarController::belowView(const QWidget& view) {
    belowView(QRectF(view.mapToGlobal(QPoint(0, 0)), view.size()));
}

void ztCalendarController::showCalBGImg() {
    if (!window_) {
        return;
    }
    const QImage photo = storedPhoto(window_->size());
    window_->setBackgroundPicture(
        !photo.isNull()
            ? photo
            : backgroundPicture(window_->size(), window_->palette().color(QPalette::Window)));
}

void ztCalendarController::updateCalendarPrefs() {
    showMonthCount();
    if (pager_ != nullptr) {
        pager_->updateMonths();
    }
    updateMoon();
}

void ztCalendarController::settingsBtnAction() {
    if (menuExtra_ != nullptr) {
        menuExtra_->showMenubarCalendarPrefs();
    }
}

void ztCalendarController::updateMoon() {
    if (moonPicture_ == nullptr) {
        return;
    }
    if (menuExtra_ == nullptr) {
        moonPicture_->clear();
        moonText_->clear();
        return;
    }
    const Date today = clock_.now();
    const QImage moon = menuExtra_->mooonImage(today);
    moonPicture_->setPixmap(
        moon.isNull() ? QPixmap()
                      : QPixmap::fromImage(moon.scaled(kMoonSide, kMoonSide, Qt::KeepAspectRatio,
                                                       Qt::SmoothTransformation)));
    moonText_->setText(menuExtra_->addNextMoons(std::nullopt, today));
}

void ztCalendarController::releaseWindow() {
    pager_ = nullptr;
    monthView_ = nullptr;
    months_ = nullptr;
    followingMonths_.clear();
    moonPicture_ = nullptr;
    moonText_ = nullptr;
    settingsButton_ = nullptr;
    window_.reset();
}

QImage ztCalendarController::backgroundPicture(const QSize& size, const QColor& base) {
    QImage picture(size.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&picture);
    QLinearGradient wash(0, 0, 0, picture.height());
    wash.setColorAt(0, base.lighter(108));
    wash.setColorAt(1, base.darker(106));
    painter.fillRect(picture.rect(), wash);
    return picture;
}

}  // namespace talvor
