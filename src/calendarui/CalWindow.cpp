#include "CalWindow.h"

#include "CalendarPlacement.h"
#include "EditEventController.h"
#include "foundation/CalendarExtras.h"
#include "foundation/StringsBundle.h"
#include "platform/Clock.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPropertyAnimation>
#include <QStyleHints>
#include <QToolButton>

#include <algorithm>

namespace talvor {
namespace {

constexpr int kGap = 6;
constexpr int kDayViewGap = 3;

// Phrases for a bundle without the tables.
std::optional<QString> builtInPhrase(const QString& table, const QString& key) {
    static const QHash<QString, QString> future = {
        {QStringLiteral("1"), QStringLiteral("tomorrow")},
        {QStringLiteral("default"), QStringLiteral("in %d days")}};
    static const QHash<QString, QString> past = {
        {QStringLiteral("1"), QStringLiteral("yesterday")},
        {QStringLiteral("default"), QStringLiteral("%d days ago")}};
    const auto& t = table == QLatin1String("Future") ? future : past;
    const auto it = t.find(key);
    return it == t.end() ? std::nullopt : std::optional<QString>(*it);
}

QString fill(QString format, int32_t n) {
    return format.replace(QLatin1String("%d"), QString::number(n));
}

}  // namespace

std::optional<QString> rnumLoc(const StringsBundle& bundle, const QString& keyFormat,
                               const QString& table, int32_t n, int32_t value) {
    const QString key = fill(keyFormat, n);
    std::optional<QString> format = bundle.localizedString(key, table);
    if (!format) {
        return std::nullopt;
    }
    return fill(*format, value);
}

QString relativeString(int32_t days) {
    return relativeString(days, StringsBundle::mainBundle());
}

QString relativeString(int32_t days, const StringsBundle& bundle) {
    const QString table = days >= 0 ? QStringLiteral("Future") : QStringLiteral("Past");
    const int32_t n = days >= 0 ? days : -days;
    const bool hasTable = bundle.localizedString(QStringLiteral("default"), table).has_value();
    auto lookUp = [&](const QString& keyFormat, int32_t keyNumber) -> std::optional<QString> {
        if (hasTable) {
            return rnumLoc(bundle, keyFormat, table, keyNumber, n);
        }
        const auto phrase = builtInPhrase(table, fill(keyFormat, keyNumber));
        return phrase ? std::optional<QString>(fill(*phrase, n)) : std::nullopt;
    };
    if (auto phrase = lookUp(QStringLiteral("%d"), n)) {
        return *phrase;
    }
    if (auto phrase = lookUp(QStringLiteral("ends in %d"), n % 10)) {
        return *phrase;
    }
    return lookUp(QStringLiteral("default"), n).value_or(QString::number(days));
}

KeylessWindow::KeylessWindow(QWidget* parent) : CalendarWindow(parent) {
    setCanMakeKey(false);
}

void KeylessWindow::setCanMakeKey(bool on) {
    canMakeKey_ = on;
    setAttribute(Qt::WA_ShowWithoutActivating, !on);
    setWindowFlag(Qt::WindowDoesNotAcceptFocus, !on);
}

AnchoredWindow::AnchoredWindow(QWidget* parent) : KeylessWindow(parent) {}

void AnchoredWindow::setAnchor(const QRectF& item, const QRectF& area, bool animate) {
    anchor_ = item;
    area_ = area;
    reframeToNewSize(size(), animate);
}

void AnchoredWindow::reframeToNewSize(QSize size, bool animate) {
    target_ = CalendarPlacement::anchoredFrame(anchor_, QSizeF(size), area_).toRect();
    target_.setSize(size);
    if (animate && isVisible()) {
        auto* animation = new QPropertyAnimation(this, "geometry", this);
        animation->setDuration(150);
        animation->setEndValue(target_);
        animation->start(QAbstractAnimation::DeleteWhenStopped);
    } else {
        setGeometry(target_);
    }
}

void AnchoredWindow::mousePressEvent(QMouseEvent* event) {
    dragOffset_ = event->position();
    mouseDownPoint_ = event->globalPosition();
    isDragging_ = false;
    pressed_ = event->button() == Qt::LeftButton;
    KeylessWindow::mousePressEvent(event);
}

void AnchoredWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!pressed_) {
        return;
    }
    const QPointF at = event->globalPosition();
    if (!isDragging_) {
        if (std::abs(at.x() - mouseDownPoint_.x()) <= 15.0 &&
            std::abs(at.y() - mouseDownPoint_.y()) <= 15.0) {
            return;
        }
        isDragging_ = true;
        emit windowWillDrag();
    }
    move((at - dragOffset_).toPoint());
}

void AnchoredWindow::mouseReleaseEvent(QMouseEvent* event) {
    pressed_ = false;
    if (isDragging_) {
        isDragging_ = false;
        // Back under the date item: the window is the item's.
        reframeToNewSize(size(), false);
        emit windowDidDrag();
    }
    KeylessWindow::mouseReleaseEvent(event);
}

CalWindow::CalWindow(platform::UserDefaults& defaults, QWidget* parent)
    : AnchoredWindow(parent), defaults_(defaults) {
    setObjectName(QStringLiteral("MinnowCalendarController"));
    // Escape closes the mini calendar, so it takes the keyboard.
    setCanMakeKey(true);
    controlsView_ = new QWidget(this);
    controlsView_->setObjectName(QStringLiteral("controlsView"));
    auto button = [this](const char* name, const QString& text, const QString& tip) {
        auto* b = new QToolButton(controlsView_);
        b->setObjectName(QLatin1String(name));
        b->setText(text);
        b->setToolTip(tip);
        b->setAutoRaise(true);
        b->setFocusPolicy(Qt::NoFocus);
        return b;
    };
    prevButton_ = button("prevButton", QStringLiteral("\u2039"), tr("Previous month"));
    currMonthButton_ = button("currMonthButton", tr("Today"), tr("today"));
    nextButton_ = button("nextButton", QStringLiteral("\u203a"), tr("Next month"));
    cancelButton_ = button("cancelButton", QStringLiteral("\u21bb"), tr("Reload"));
    quickAddButton_ = button("quickAddButton", QStringLiteral("+"), tr("Quick Add"));
    prefsButton_ = button("prefsButton", QStringLiteral("\u2699"), tr("Settings"));
    closeButton_ = button("closeButton", QStringLiteral("\u00d7"), tr("Close"));

    editEventController_ = new EditEventController(defaults_, this);
    QWidget* dayView = editEventController_->view();
    dayView->setParent(this);
    dayView->hide();
    connect(editEventController_->newEventButton(), &QToolButton::clicked, this,
            [this] { createEvent(); });

    daySelected_ = std::make_unique<platform::Observation>(
        platform::NotificationCenter::defaultCenter().addObserver(
            QStringLiteral("DaySelectedNotitifcation"), QVariant(),
            [this](const platform::Notification& n) { editEvent(n); }));
    resize(200, kControlsHeight);
    layoutControls();
}

CalWindow::~CalWindow() = default;

void CalWindow::layoutControls() {
    const int w = std::max(width(), 1);
    controlsView_->setGeometry(0, 0, w, kControlsHeight);
    const int s = kControlsHeight - 4;
    int x = 4;
    for (QToolButton* b : {prevButton_, currMonthButton_, nextButton_}) {
        const int bw = b == currMonthButton_ ? std::max(s, b->sizeHint().width()) : s;
        b->setGeometry(x, 2, bw, s);
        x += bw;
    }
    int right = w - 4;
    for (QToolButton* b : {closeButton_, prefsButton_, quickAddButton_, cancelButton_}) {
        if (b->isHidden()) {
            continue;
        }
        right -= s;
        b->setGeometry(right, 2, s, s);
    }
}

void CalWindow::setNumFontSize(float number, float title, float text) {
    numFontSize_ = number;
    titleFontSize_ = title;
    editEventController_->setFontSize(text);
}

QSize CalWindow::contentSizeWithoutDayView() const {
    return QSize(monthsWidth_, kControlsHeight + monthsHeight_);
}

void CalWindow::setMonthGrid(const Grid<CalMonthPtr>& grid) {
    for (CalMonthView* view : monthViews_) {
        view->deleteLater();
        view->hide();
    }
    monthViews_.clear();
    shadowed_ = nullptr;
    const int x0 = showsWeekNum_ ? 2 : kGap;
    const Calendar aux = CalendarExtras::auxCalendar();
    // Top row first: the grid's last row holds the first months.
    std::vector<std::vector<CalMonthView*>> rows;
    int widest = 0;
    for (int32_t r = grid.numRows() - 1; r >= 0; --r) {
        std::vector<CalMonthView*> row;
        int rowWidth = 0;
        for (int32_t c = 0; c < grid.numCols(); ++c) {
            const CalMonthPtr& month = grid.objectAtRow(r, c);
            if (!month) {
                continue;
            }
            auto* view = new CalMonthView(this);
            view->setTitleFontSize(titleFontSize_);
            view->setNumberFontSize(numFontSize_);
            view->setShowsWeekNum(showsWeekNum_);
            view->setMonth(month);
            if (aux) {
                view->setAuxCalendar(aux);
            }
            view->highlightEvents();
            rowWidth += view->width() + kGap;
            row.push_back(view);
        }
        widest = std::max(widest, rowWidth);
        if (!row.empty()) {
            rows.push_back(std::move(row));
        }
    }
    int y = kControlsHeight + kGap;
    for (const auto& row : rows) {
        int rowHeight = 0;
        for (CalMonthView* view : row) {
            rowHeight = std::max(rowHeight, view->height());
        }
        int x = x0;
        for (CalMonthView* view : row) {
            view->setGeometry(x, y, view->width(), rowHeight);
            x += view->width() + kGap;
            monthViews_.push_back(view);
        }
        y += rowHeight + kGap;
    }
    monthsWidth_ = x0 + widest;
    monthsHeight_ = y - kControlsHeight;
    hideMessage();
    reframeToNewSize(contentSizeWithoutDayView(), true);
    layoutControls();
    updateToday();
    for (CalMonthView* view : monthViews_) {
        view->show();
    }
    updateTodayHighlight();
}

void CalWindow::updateEvents() {
    for (CalMonthView* view : monthViews_) {
        view->updateEvents();
    }
    if (viewedMonth_ && viewedDay_) {
        editEventsIn(viewedMonth_, *viewedDay_, true);
    }
}

void CalWindow::updateToday() {
    for (CalMonthView* view : monthViews_) {
        view->updateToday();
    }
    updateTodayHighlight();
}

void CalWindow::updateTodayHighlight() {
    shadowed_ = nullptr;
    if (monthViews_.size() >= 3) {
        const Date now = platform::Clock::shared().now();
        for (CalMonthView* view : monthViews_) {
            if (view->hasDate(now)) {
                shadowed_ = view;
                break;
            }
        }
    }
    update();
}

void CalWindow::editEvent(const platform::Notification& notification) {
    const void* sender = notification.object.value<const void*>();
    CalMonthPtr month;
    for (CalMonthView* view : monthViews_) {
        if (view->currMonth().get() == sender) {
            month = view->currMonth();
        }
    }
    if (!month) {
        return;  // another window's month
    }
    const int32_t day = notification.userInfo.value(QStringLiteral("SelectedDay")).toInt();
    const double now = platform::Clock::shared().now().timeIntervalSinceReferenceDate();
    const double interval = QGuiApplication::styleHints()->mouseDoubleClickInterval() / 1000.0;
    const bool doubleClick =
        now - clickTime_ < interval && month == viewedMonth_ && viewedDay_ == day;
    if (doubleClick) {
        if (editEventController_->canCreateEvents() && createEventHandler_) {
            createEventHandler_(month->dateOfDay(day));
        }
    } else {
        clickTime_ = now;
    }
    viewedMonth_ = month;
    viewedDay_ = day;
    editEventsIn(month, day, false);
}

std::optional<QString> CalWindow::daysFromNowCalc(const CalMonth& month, int32_t day) const {
    const int32_t n =
        CalendarExtras::units(month.calendar(), CalendarUnit::Day, month.dateOfDay(day));
    if (n == 0) {
        return std::nullopt;
    }
    return relativeString(n);
}

bool CalWindow::isDayViewShown() const {
    return editEventController_->view()->isVisibleTo(this);
}

void CalWindow::editEventsIn(const CalMonthPtr& month, int32_t day, bool isRedisplay) {
    QWidget* dayView = editEventController_->view();
    const int contentWidth = contentSizeWithoutDayView().width();
    dayView->resize(contentWidth - 2 * kGap, 1000);
    QStringList aux;
    if (const Calendar auxCalendar = CalendarExtras::auxCalendar()) {
        if (auto text = month->descriptionForDay(day, auxCalendar)) {
            aux << *text;
        }
    }
    if (showsDateCalc_) {
        if (auto text = daysFromNowCalc(*month, day)) {
            aux << *text;
        }
    }
    editEventController_->showDate(month->descriptionForDay(day).value_or(QString()), aux,
                                   month->eventsForDay(day), isRedisplay);
    const int top = kControlsHeight + monthsHeight_ + kDayViewGap - kGap;
    dayView->move(kGap, top);
    dayView->show();
    reframeToNewSize(QSize(contentWidth, top + dayView->height() + kGap), false);
    layoutControls();
    update();
}

void CalWindow::hideEvent(QHideEvent* event) {
    editEventController_->close();
    AnchoredWindow::hideEvent(event);
}

void CalWindow::hideMessage() {
    editEventController_->close();
    QWidget* dayView = editEventController_->view();
    if (dayView->isVisibleTo(this)) {
        dayView->hide();
        reframeToNewSize(contentSizeWithoutDayView(), false);
    }
    viewedMonth_.reset();
    viewedDay_.reset();
}

void CalWindow::createEvent() {
    const Date date = viewedMonth_ && viewedDay_ ? viewedMonth_->dateOfDay(*viewedDay_)
                                                 : platform::Clock::shared().now();
    if (createEventHandler_) {
        createEventHandler_(date);
    }
}

void CalWindow::paintEvent(QPaintEvent* event) {
    CalendarWindow::paintEvent(event);
    if (shadowed_ != nullptr) {
        // The current month stands out with a soft frame.
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(shadowed_->geometry()).adjusted(-3, -2, 3, 2);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0, 28));
        painter.drawRoundedRect(r, 5, 5);
    }
}

}  // namespace talvor
