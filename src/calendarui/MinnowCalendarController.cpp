#include "MinnowCalendarController.h"

#include "CalendarApplication.h"
#include "EditEventController.h"
#include "MinnowStatusView.h"
#include "MonthGrid.h"
#include "calendar/AppleCal.h"
#include "calendar/CalSource.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/GCalender.h"
#include "calendar/MonthIndex.h"
#include "foundation/CalendarExtras.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "platform/Workspace.h"

#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

#include <unicode/calendar.h>

#include <algorithm>

namespace talvor {

using Shared = SharedController<MinnowCalendarController>;

namespace {

constexpr int32_t kYearAligned = -100;
const QString kLoadCalendarEvents = QStringLiteral("loadCalendarEvents");

}  // namespace

MinnowCalendarController::MinnowCalendarController(platform::Clock& clock,
                                                   platform::UserDefaults& defaults,
                                                   platform::Screens& screens)
    : clock_(clock), defaults_(defaults), screens_(screens) {
    window_ = std::make_unique<CalWindow>(defaults_);
    window_->setCloseHandler([this] { closeWindow(); });
    // The settings window it opens takes the keyboard from it.
    if (QCoreApplication* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
    }
    connect(window_->prevButton(), &QToolButton::clicked, this, [this] { prevMonth(); });
    connect(window_->nextButton(), &QToolButton::clicked, this, [this] { nextMonth(); });
    connect(window_->currMonthButton(), &QToolButton::clicked, this, [this] { currMonth(); });
    connect(window_->cancelButton(), &QToolButton::clicked, this, [this] { reloadOrCancel(); });
    connect(window_->quickAddButton(), &QToolButton::clicked, this, [this] { quickAdd(); });
    connect(window_->editEventController()->appleButton(), &QToolButton::clicked, this,
            [this] { showApple(); });
    connect(window_->editEventController()->googleButton(), &QToolButton::clicked, this,
            [this] { showGoogle(); });
    connect(window_->prefsButton(), &QToolButton::clicked, this, [this] { showPrefs(); });
    connect(window_->closeButton(), &QToolButton::clicked, this, [this] { closeWindow(); });
    window_->quickAddButton()->hide();
    window_->editEventController()->newEventButton()->hide();

    minuteTimer_ = new QTimer(this);
    minuteTimer_->setInterval(60 * 1000);
    connect(minuteTimer_, &QTimer::timeout, this, [this] { checkDate(); });
    connect(&clock_, &platform::Clock::timeJumped, this, [this] { checkDate(); });
    connect(&clock_, &platform::Clock::zoneChanged, this,
            [this] { QTimer::singleShot(200, this, [this] { timeZoneChanged(); }); });
    loadedTimer_ = new QTimer(this);
    loadedTimer_->setSingleShot(true);
    loadedTimer_->setInterval(0);
    connect(loadedTimer_, &QTimer::timeout, this, [this] { eventsLoaded(); });

    awakeFromNib();
    windowDidLoad();
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

bool MinnowCalendarController::googleSelected() const {
    return CalendarBackEnds::selectedKind(defaults_) == CalendarBackEnds::Kind::Google;
}

void MinnowCalendarController::awakeFromNib() {
    EditEventController* dayView = window_->editEventController();
    dayView->googleButton()->setVisible(googleSelected());
    dayView->appleButton()->setVisible(!googleSelected());

    // The current calendar's first weekday (1 = Sunday).
    UErrorCode status = U_ZERO_ERROR;
    const int32_t firstWeekday =
        Calendar::current().icuCalendar(clock_.now())->getFirstDayOfWeek(status);
    defaults_.registerDefaults({
        {QStringLiteral("TtNumRows"), 1},
        {QStringLiteral("TtNumCols"), 1},
        {QStringLiteral("NumberFontSize"), 11},
        {QStringLiteral("TitleFontSize"), 12},
        {QStringLiteral("TextFontSize"), 11},
        {QStringLiteral("FirstDayOfWeek"), firstWeekday},
        {QStringLiteral("MonthCenters"),
         QVariantMap{{QStringLiteral("12"), kYearAligned}, {QStringLiteral("3"), -1}}},
    });
    sourcePrefs_ = defaults_.dictionaryForKey(QStringLiteral("SubscribedEvents"));
    for (auto it = sourcePrefs_.cbegin(); it != sourcePrefs_.cend(); ++it) {
        if (auto source = CalSource::findOrCreateSourceWithToken(it.key())) {
            source->updateFromPrefEncoding(it.value().canConvert<QVariantList>()
                                               ? std::optional<QVariantList>(it.value().toList())
                                               : std::nullopt);
        }
    }
    monthIndexes_.clear();
    updatedDate_ = clock_.now();
    updateCurrMonthButton();
    updateQuickAddButton();
    minuteTimer_->start();
    updateMonths();
}

void MinnowCalendarController::windowDidLoad() {
    auto& center = platform::NotificationCenter::defaultCenter();
    observations_.push_back(center.addObserver(kLoadCalendarEvents, QVariant(),
                                               [this](const auto&) { reloadCalendarEvents(); }));
    observations_.push_back(
        center.addObserver(QStringLiteral("PrefsChanged"), QVariant(),
                           [this](const platform::Notification& n) { updateMonths(n); }));
    // A load redraws the events only, once for a burst of loads, and leaves the day view
    // open.
    observations_.push_back(center.addObserver(QStringLiteral("EventsLoaded"), QVariant(),
                                               [this](const auto&) { loadedTimer_->start(); }));
    observations_.push_back(
        center.addObserver(QStringLiteral("CalendarsLoaded"), QVariant(), [this](const auto&) {
            updateQuickAddButton();
            updateReloadButton();
        }));
    startBackEnd();
}

void MinnowCalendarController::startBackEnd() {
    auto& center = platform::NotificationCenter::defaultCenter();
    if (googleSelected()) {
        // The keyring is asked on the next turn of the loop, not while the window is made.
        QTimer::singleShot(0, this, [this] { startGoogle(); });
    }
    // This computer's calendars are shown beside Google's.
    AppleCal& apple = AppleCal::sharedInterface();
    if (apple.checkEventStoreAccessForCalendar()) {
        apple.getLocalEventCalendars_Parsed();
        center.post(QStringLiteral("CalendarsLoaded"));
        center.post(kLoadCalendarEvents);
        return;
    }
    QPointer<MinnowCalendarController> self(this);
    apple.requestCalendarAccess([self](bool granted, const std::optional<QString>& text) {
        if (!self) {
            return;
        }
        if (granted) {
            AppleCal::sharedInterface().getLocalEventCalendars_Parsed();
            platform::NotificationCenter::defaultCenter().post(QStringLiteral("CalendarsLoaded"));
            platform::NotificationCenter::defaultCenter().post(kLoadCalendarEvents);
        } else {
            QMetaObject::invokeMethod(
                self.data(), [self, text] { self->showAccessAlert(text.value_or(QString())); },
                Qt::QueuedConnection);
        }
    });
}

void MinnowCalendarController::startGoogle() {
    GCalender* google = GCalender::installed();
    if (!googleSelected() || google == nullptr) {
        return;
    }
    if (!google->hasService() && !google->setUpAuthorizationService()) {
        updateQuickAddButton();  // signed out: the quick add offers to sign in
        return;
    }
    QPointer<MinnowCalendarController> self(this);
    google->loadPersonalSources(
        [self](const std::optional<std::vector<CalSourcePtr>>& sources, const QString& message) {
            if (!self) {
                return;
            }
            if (!sources) {
                self->showAlert(message);
                self->updateReloadButton();
                return;
            }
            platform::NotificationCenter::defaultCenter().post(QStringLiteral("CalendarsLoaded"));
            platform::NotificationCenter::defaultCenter().post(kLoadCalendarEvents);
        });
}

bool MinnowCalendarController::googleSignedOut() const {
    if (!googleSelected()) {
        return false;
    }
    const GCalender* google = GCalender::installed();
    return google == nullptr || !google->hasService();
}

void MinnowCalendarController::showAlert(const QString& text, const QString& informative,
                                         bool offerSettings) {
    lastAlertText_ = text;
    if (!window_) {
        return;
    }
    if (alert_ != nullptr) {
        alert_->close();
    }
    alert_ = new QMessageBox(QMessageBox::Critical, QString(), text, QMessageBox::NoButton,
                             window_.get());
    alert_->setObjectName(QStringLiteral("minnowAlert"));
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    alert_->setInformativeText(informative);
    QPushButton* settings =
        offerSettings ? alert_->addButton(tr("Open Settings"), QMessageBox::AcceptRole) : nullptr;
    alert_->addButton(tr("OK"), QMessageBox::RejectRole);
    if (settings != nullptr) {
        connect(alert_, &QMessageBox::buttonClicked, this,
                [this, settings](QAbstractButton* clicked) {
                    if (clicked == settings) {
                        showPrefs();
                    }
                });
    }
    connect(alert_, &QObject::destroyed, this, [this] { alert_ = nullptr; });
    alert_->open();
}

void MinnowCalendarController::updateReloadButton() {
    if (!window_) {
        return;
    }
    QToolButton* button = window_->cancelButton();
    const bool wasVisible = !button->isHidden();
    GCalender* google = googleSelected() ? GCalender::installed() : nullptr;
    if (google != nullptr && google->isLoading()) {
        button->setText(QStringLiteral("\u2715"));
        button->setToolTip(tr("Cancel"));
        button->setEnabled(true);
        button->show();
    } else if (google == nullptr || google->personalCalendarsLoaded()) {
        const auto& calendars = google ? google->personalCalendars() : std::vector<CalSourcePtr>();
        const bool any = google == nullptr ||
                         std::any_of(calendars.begin(), calendars.end(),
                                     [](const CalSourcePtr& c) { return c && c->enabled(); });
        button->setText(QStringLiteral("\u21bb"));
        button->setToolTip(tr("Reload"));
        button->setEnabled(true);
        button->setVisible(any);
    }
    // Before Google has listed the calendars the button stays as it is.
    if (wasVisible != !button->isHidden()) {
        window_->layoutControls();
    }
}

void MinnowCalendarController::reloadOrCancel() {
    GCalender* google = googleSelected() ? GCalender::installed() : nullptr;
    if (google != nullptr && google->isLoading()) {
        google->cancelLoads();
        updateReloadButton();
        return;
    }
    platform::NotificationCenter::defaultCenter().post(kLoadCalendarEvents);
}

void MinnowCalendarController::showAccessAlert(const QString& text) {
    lastAlertText_ = text;
    platform::log(QStringLiteral("calendar: %1").arg(text));
    if (alert_ != nullptr) {
        alert_->close();
    }
    alert_ = new QMessageBox(QMessageBox::Critical, QString(), text, QMessageBox::NoButton,
                             window_.get());
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    QPushButton* open = alert_->addButton(tr("Ask Again"), QMessageBox::AcceptRole);
    alert_->addButton(tr("OK"), QMessageBox::RejectRole);
    // There is no system setting to send the user to: the button asks the question again.
    connect(alert_, &QMessageBox::buttonClicked, this, [this, open](QAbstractButton* clicked) {
        if (clicked == open) {
            AppleCal::sharedInterface().eventStore().resetAuthorization();
            startBackEnd();
        }
    });
    connect(alert_, &QObject::destroyed, this, [this] { alert_ = nullptr; });
    alert_->open();
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
    const QRectF anchor = delegate_ != nullptr ? delegate_->dateStatusItemRect() : QRectF();
    const QRectF area =
        screens_.freeArea(anchor.isEmpty() ? screens_.mouseLocation() : anchor.center());
    window_->setAnchor(anchor, area, false);
}

void MinnowCalendarController::closeWindow() {
    if (delegate_ != nullptr) {
        delegate_->closeMinnowCalendar();
    } else if (window_) {
        window_->hide();
    }
}

bool MinnowCalendarController::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType() || !isWindowVisible()) {
        return false;
    }
    const auto* key = static_cast<const QKeyEvent*>(event);
    const auto* target = static_cast<const QWidget*>(watched);
    // Reaching a window means that no control in it took the key; dialogs, popups and modal
    // windows have a use of their own for it.
    if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier || !target->isWindow() ||
        target == window_.get() || qobject_cast<const QDialog*>(target) != nullptr ||
        QApplication::activePopupWidget() != nullptr ||
        QApplication::activeModalWidget() != nullptr) {
        return false;
    }
    closeWindow();
    return true;
}

void MinnowCalendarController::releaseWindow() {
    observations_.clear();
    if (alert_ != nullptr) {
        alert_->close();
    }
    window_.reset();
}

void MinnowCalendarController::setQuickAddHandler(std::function<void()> handler) {
    quickAddHandler_ = std::move(handler);
    if (window_) {
        window_->quickAddButton()->setVisible(static_cast<bool>(quickAddHandler_));
        window_->update();
    }
}

void MinnowCalendarController::setCreateEventHandler(std::function<void(Date)> handler) {
    if (window_) {
        window_->editEventController()->newEventButton()->setVisible(static_cast<bool>(handler));
        window_->setCreateEventHandler(std::move(handler));
    }
}

Calendar MinnowCalendarController::userCalendar() const {
    const Calendar user = CalendarExtras::userCalendar();
    return user ? user : Calendar::current();
}

MonthIndex& MinnowCalendarController::indexFor(const Calendar& calendar) {
    for (auto& [cal, index] : monthIndexes_) {
        if (cal == calendar) {
            return *index;
        }
    }
    monthIndexes_.emplace_back(calendar, std::make_unique<MonthIndex>(calendar));
    return *monthIndexes_.back().second;
}

std::vector<CalMonthPtr> MinnowCalendarController::monthsForCalendar(const Calendar& calendar,
                                                                     int32_t num, int32_t offset,
                                                                     bool yearAlign) {
    const Calendar cal = calendar ? calendar : userCalendar();
    MonthIndex& index = indexFor(cal);
    int32_t align = 0;
    if (yearAlign) {
        align = CalendarExtras::components(cal, clock_.now()).month.value_or(1) - 1;
    }
    currStart_ = offset - align;
    currEnd_ = currStart_ + num;
    return index.monthsInRange(currStart_, currEnd_ - 1);
}

std::pair<int32_t, int32_t> MinnowCalendarController::gridShape() const {
    // Settings written by hand could ask for anything: 1-12 each way.
    auto side = [this](const char* key) {
        return static_cast<int32_t>(
            std::clamp<qint64>(defaults_.integerForKey(QLatin1String(key)), 1, 12));
    };
    return {side("TtNumRows"), side("TtNumCols")};
}

std::pair<int32_t, bool> MinnowCalendarController::gridStart(int32_t count) const {
    const QVariantMap centers = defaults_.dictionaryForKey(QStringLiteral("MonthCenters"));
    const int32_t center = centers.value(QString::number(count), 0).toInt();
    if (center == kYearAligned) {
        return {currOffset_, true};
    }
    return {center + currOffset_, false};
}

void MinnowCalendarController::updateMonths(const std::optional<platform::Notification>& n) {
    if (!window_) {
        return;
    }
    if (n && n->userInfo.contains(QStringLiteral("EventChanged"))) {
        refreshEvents();
        updateReloadButton();
        return;
    }
    updateCurrentCalendar();
    updateStatusDay();
    const std::optional<int32_t> first = chosenFirstWeekday(defaults_);
    if (first && *first != CalMonth::firstWeekDay()) {
        CalMonth::setFirstWeekDay(*first);
        for (auto& [cal, index] : monthIndexes_) {
            index->makeMonthsPerform([](CalMonth& m) { m.resetFirstWeekDay(); });
        }
    }
    window_->setShowsWeekNum(defaults_.boolForKey(QStringLiteral("ShowWeekNumbers")));
    window_->setShowsDateCalc(defaults_.boolForKey(QStringLiteral("ShowDateCalulations")));
    const auto [rows, cols] = gridShape();
    Grid<CalMonthPtr> grid(rows, cols);
    const auto [offset, yearAlign] = gridStart(rows * cols);
    grid.fillWithArray(monthsForCalendar(userCalendar(), rows * cols, offset, yearAlign), true,
                       false);
    window_->setNumFontSize(
        static_cast<float>(defaults_.integerForKey(QStringLiteral("NumberFontSize"))),
        static_cast<float>(defaults_.integerForKey(QStringLiteral("TitleFontSize"))),
        static_cast<float>(defaults_.integerForKey(QStringLiteral("TextFontSize"))));
    window_->setMonthGrid(grid);
}

void MinnowCalendarController::refreshEvents() {
    indexFor(userCalendar()).monthsInRange(currStart_, currEnd_ - 1);
    if (window_) {
        window_->updateEvents();
    }
    updateStatusDay();
    updateQuickAddButton();
}

void MinnowCalendarController::eventsLoaded() {
    refreshEvents();
    updateReloadButton();
}

void MinnowCalendarController::reloadCalendarEvents() {
    // Requests that come before the reload runs (the set-up posts several, a calendar load
    // one per batch) are one reload: each reads every calendar file's events.
    if (reloadQueued_) {
        return;
    }
    reloadQueued_ = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            reloadQueued_ = false;
            if (!window_) {
                return;
            }
            EditEventController* dayView = window_->editEventController();
            dayView->googleButton()->setVisible(googleSelected());
            dayView->appleButton()->setVisible(!googleSelected());
            const auto [rows, cols] = gridShape();
            const auto [offset, yearAlign] = gridStart(rows * cols);
            const auto months = monthsForCalendar(userCalendar(), rows * cols, offset, yearAlign);
            bool loading = false;
            for (const CalMonthPtr& month : months) {
                loading = CalendarBackEnds::loadMonth(month, defaults_) || loading;
            }
            if (loading) {
                updateReloadButton();
                return;
            }
            refreshEvents();
            updateReloadButton();
        },
        Qt::QueuedConnection);
}

void MinnowCalendarController::checkDate() {
    const Calendar cal = userCalendar();
    const Date now = clock_.now();
    const DateComponents before = CalendarExtras::components(cal, updatedDate_);
    const DateComponents today = CalendarExtras::components(cal, now);
    refreshEvents();
    if (before.year == today.year && before.month == today.month && before.day == today.day) {
        return;
    }
    updateStatusDay();
    updatedDate_ = now;
    if (window_) {
        window_->updateToday();
    }
    if (before.year != today.year || before.month != today.month) {
        for (auto& [c, index] : monthIndexes_) {
            index->updateCurrentMonth();
        }
        updateMonths();
    }
}

void MinnowCalendarController::updateCurrentCalendar() {
    const Calendar old = CalendarExtras::userCalendar();
    const QString custom = defaults_.stringForKey(QStringLiteral("CustomCalendar"));
    const QString secondary = defaults_.stringForKey(QStringLiteral("SecondaryCalendar"));
    CalendarExtras::setUserCalendarIdentifier(custom.isEmpty() ? std::nullopt
                                                               : std::optional<QString>(custom));
    CalendarExtras::setAuxCalendarIdentifier(
        secondary.isEmpty() ? std::nullopt : std::optional<QString>(secondary));
    const Calendar now = CalendarExtras::userCalendar();
    if (old && now && old.calendarIdentifier() != now.calendarIdentifier()) {
        monthIndexes_.erase(std::remove_if(monthIndexes_.begin(), monthIndexes_.end(),
                                           [&](const auto& entry) { return entry.first == old; }),
                            monthIndexes_.end());
    }
}

void MinnowCalendarController::updateStatusDay() {
    if (statusView_ != nullptr) {
        statusView_->setStringValue(QString::number(
            CalendarExtras::components(userCalendar(), clock_.now()).day.value_or(0)));
    }
}

void MinnowCalendarController::timeZoneChanged() {
    updateStatusDay();
    if (window_) {
        window_->updateToday();
    }
    updateMonths();
}

void MinnowCalendarController::rebuildMonths() {
    monthIndexes_.clear();
    updateMonths();
}

void MinnowCalendarController::nextMonth() {
    lastOffset_ = 0;
    ++currOffset_;
    updateCurrMonthButton();
    updateMonths();
}

void MinnowCalendarController::prevMonth() {
    lastOffset_ = 0;
    --currOffset_;
    updateCurrMonthButton();
    updateMonths();
}

void MinnowCalendarController::currMonth() {
    if (currOffset_ != 0) {
        lastOffset_ = currOffset_;
        currOffset_ = 0;
    } else {
        currOffset_ = lastOffset_;
        lastOffset_ = 0;
    }
    updateCurrMonthButton();
    updateMonths();
}

void MinnowCalendarController::updateCurrMonthButton() {
    if (window_) {
        QToolButton* button = window_->currMonthButton();
        if (currOffset_ != 0) {
            button->setText(tr("Today"));
            button->setToolTip(tr("today"));
            button->setEnabled(true);
        } else if (lastOffset_ != 0) {
            button->setText(tr("Back"));
            button->setToolTip(tr("Back"));
            button->setEnabled(true);
        } else {
            button->setText(tr("Today"));
            button->setToolTip(tr("today"));
            button->setEnabled(false);
        }
    }
    platform::NotificationCenter::defaultCenter().post(kLoadCalendarEvents);
}

void MinnowCalendarController::updateQuickAddButton() {
    QPointer<MinnowCalendarController> self(this);
    QMetaObject::invokeMethod(
        this,
        [self] {
            if (self && self->window_) {
                // Signed out of Google, the quick add offers to sign in.
                const bool can = self->window_->editEventController()->canCreateEvents() ||
                                 self->googleSignedOut();
                self->window_->quickAddButton()->setEnabled(can);
                self->window_->editEventController()->updateCreateEventButton();
            }
        },
        Qt::QueuedConnection);
}

void MinnowCalendarController::showApple() {
    openCalendarApplication();
}

QUrl MinnowCalendarController::googleCalendarUrl(const platform::UserDefaults& defaults) {
    static const QString kHost = QStringLiteral("https://calendar.google.com");
    const QStringList parts =
        defaults.stringForKey(QStringLiteral("Username")).split(QLatin1Char('@'));
    if (defaults.integerForKey(QStringLiteral("AccountType")) == 2 && parts.size() == 2 &&
        !parts[1].isEmpty() &&
        parts[1].compare(QLatin1String("gmail.com"), Qt::CaseInsensitive) != 0) {
        return QUrl(kHost + QStringLiteral("/calendar/hosted/%1")
                                .arg(QString::fromLatin1(QUrl::toPercentEncoding(parts[1]))));
    }
    return QUrl(kHost + QStringLiteral("/calendar"));
}

void MinnowCalendarController::showGoogle() {
    platform::Workspace::shared().openURL(googleCalendarUrl(defaults_));
}

void MinnowCalendarController::showPrefs() {
    if (delegate_ != nullptr) {
        delegate_->showMenubarCalendarPrefs();
    }
}

void MinnowCalendarController::quickAdd() {
    if (googleSignedOut()) {
        showAlert(tr("Please login to google"),
                  tr("Sign in to Google in the calendar settings to add events to your Google "
                     "calendars."),
                  true);
        return;
    }
    if (quickAddHandler_) {
        quickAddHandler_();
    }
}

}  // namespace talvor
