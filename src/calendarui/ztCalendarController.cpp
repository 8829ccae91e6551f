#include "ztCalendarController.h"

#include "BigCalendarButtons.h"
#include "BigCalendarFonts.h"
#include "BigCalendarMoon.h"
#include "BigCalendarPicture.h"
#include "BigCalendarPlacement.h"
#include "BigCalendarPrintout.h"
#include "CalendarApplication.h"
#include "CalendarUiKeys.h"
#include "CalendarWindow.h"
#include "DragView.h"
#include "HUDWindow.h"
#include "MAAttachedWindow.h"
#include "MonthGrid.h"
#include "TalvorCustomWindow.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QSplitter>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace talvor {
namespace {

using Shared = SharedController<ztCalendarController>;

}  // namespace

ztCalendarController::ztCalendarController(platform::Clock& clock, platform::UserDefaults& defaults,
                                           platform::Screens& screens)
    : clock_(clock), defaults_(defaults), screens_(screens) {
    window_ = std::make_unique<CalendarWindow>();
    window_->setObjectName(QStringLiteral("ztCalendarController"));
    window_->setWindowTitle(tr("Calendar"));
    window_->setShowHandler([this] { updateCalendarPrefs(); });
    window_->installEventFilter(this);
    placement_.emplace(*window_, defaults_, screens_);
    buildMonths();
    moon_ = std::make_unique<BigCalendarMoon>(*window_, clock_, screens_);
    menu_ = std::make_unique<BigCalendarMenu>(
        *window_,
        BigCalendarMenu::Actions{
            [this](QPrinter& printer, int months) { return printCalendar(printer, months); },
            [this](const QString& path) { return addPhoto(path); },
            [this](FontOption option) { return calendarFont(option); },
            [this](FontOption option, const QFont& font) { applyCalendarFont(option, font); },
            [this](const QString& position) { placement_->frame().positionWindow(position); }});
    lists_ = std::make_unique<BigCalendarLists>(*window_, *menu_->menu(), clock_, defaults_,
                                                [this] { relayout(); });
    buttons_.emplace(*window_, *menu_->menu(),
                     BigCalendarButtons::Actions{[this] { actClose(); }, [this] { prevMonth(); },
                                                 [this] { today(); }, [this] { nextMonth(); },
                                                 [this](bool on) { zoomCalendar(on); },
                                                 [this] { settingsBtnAction(); }});
    layOut();

    layout_ = BigCalendarLayout(TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar);
    calView_->calSettings().SetGridLines(2, 0);
    calView_->LoadDayFont();
    BigCalendarFonts(*calView_).applyStored();
    picture_->well().hide();
    observeNotifications();
    // A click beside the days (a title, the weekday names) keeps the day picked before.
    calView_->setAction([this](myCalProView& view) {
        if (view.GetDayClicked() >= 1) {
            selectDay(view.dateValue().date());
        }
    });
    showMonthsOfChoice();
    applyFirstWeekdayAndWeeks();
    applyMonthGridSettings();
    if (TalvorDateSettings::sharedInstance().hideToDoEventSection) {
        hideShowTaskEvents();
    }
}

void ztCalendarController::buildMonths() {
    calView_ = new myCalProView(window_.get());
    calView_->setObjectName(QStringLiteral("myCalProView"));
    calView_->setClock(&clock_);
    calView_->setAcceptDrops(false);  // pictures go to the picture well
    calView_->setMinimumSize(monthCell());
    calView_->installEventFilter(this);
    picture_.emplace(*window_, defaults_,
                     [this](int before, int height) { makePictureRoom(before, height); });
    splitter_ = new QSplitter(Qt::Vertical, window_.get());
    splitter_->addWidget(&picture_->well());
    splitter_->addWidget(calView_);
    splitter_->setChildrenCollapsible(false);
    connect(splitter_, &QSplitter::splitterMoved, this, [this] {
        picture_->keepSize();
        relayout();
    });
}

void ztCalendarController::layOut() {
    auto* bottomRow = new QHBoxLayout;
    bottomRow->addWidget(moon_->picture(), 0, Qt::AlignTop);
    bottomRow->addWidget(moon_->text(), 1);
    bottomRow->addWidget(buttons_->settingsButton(), 0, Qt::AlignBottom);
    bottomRow->addWidget(buttons_->sizeGrip(), 0, Qt::AlignBottom | Qt::AlignRight);
    auto* layout = new QVBoxLayout(window_.get());
    layout->setContentsMargins(8, 2, 8, 4);
    layout->setSpacing(4);
    layout->addLayout(buttons_->titleRow());
    layout->addWidget(splitter_, 1);
    layout->addWidget(lists_->part());
    layout->addLayout(bottomRow);
}

void ztCalendarController::observeNotifications() {
    // The to-do pane's "TodoPreferencesChanged" carries the hiding of the lower part.
    for (const QString& name : {QStringLiteral("TalvorUpdateCalNotification"),
                                QStringLiteral("TalvorMenuBarDatePrefsChangeNotification"),
                                QStringLiteral("TodoPreferencesChanged")}) {
        observations_.push_back(
            platform::DistributedNotificationCenter::defaultCenter().addObserver(
                name, QVariant(), [this](const platform::Notification&) { updateCalPrefs(); }));
    }
    // The calendar pane's first weekday and second calendar show while the window is open.
    observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("PrefsChanged"), QVariant(), [this](const platform::Notification&) {
            applyFirstWeekdayAndWeeks();
            calView_->update();
        }));
    observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("EventsLoaded"), QVariant(), [this](const platform::Notification&) {
            if (lists_) {
                lists_->eventsLoaded();
            }
        }));
    // Posted when the calendars are to be read again (another back end or calendar chosen,
    // the calendars changed on disk).
    observations_.push_back(platform::NotificationCenter::defaultCenter().addObserver(
        QStringLiteral("loadCalendarEvents"), QVariant(),
        [this](const platform::Notification&) { reloadList(); }));
}

ztCalendarController::ztCalendarController()
    : ztCalendarController(platform::Clock::shared(), platform::UserDefaults::standard(),
                           platform::Screens::shared()) {}

ztCalendarController::~ztCalendarController() {
    // The pieces go before the window, whose last events (it hides as it goes) reach this.
    releaseWindow();
}

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
    if (window_) {
        placement_->belowView(anchor);
    }
}

void ztCalendarController::belowView(const QWidget& view) {
    belowView(QRectF(view.mapToGlobal(QPoint(0, 0)), view.size()));
}

// Settings -----------------------------------------------------------------------------

void ztCalendarController::relayout() {
    if (calView_ != nullptr && !isAnimatingSize()) {
        layout_.fitToView(*calView_);
    }
}

void ztCalendarController::applyFirstWeekdayAndWeeks() {
    MonthGridFeed::applyWeekLayout(calView_->calSettings(), defaults_);
}

void ztCalendarController::updateCalendarPrefs() {
    if (!window_) {
        return;
    }
    TalvorCalPrefsSettings& prefs = TalvorCalPrefsSettings::sharedInstance();
    const bool newChoice = layout_.choose(prefs.ShowNoOfCalendar);
    if (newChoice) {
        showMonthsOfChoice();
    }
    placement_->setLayer(prefs.CalendarWinLayer);
    calView_->setCalColorBorder(prefs.CalendarWinBordarGolor);
    calView_->setCalColorDayOfWeek(prefs.CalendarWinDayOfWeekGolor);
    calView_->setCalColorMonth(prefs.CalendarWinMonthColor);
    calView_->setCalColorDay(prefs.CalendarWinDayGolor);
    calView_->setCalColorRow(prefs.CalendarWinRowGolor);
    calView_->setCalColorBG(prefs.CalendarWinBGolor);
    calView_->setCalDayNoLocation(prefs.CalDayNoLocation);
    placement_->setMovableByBackground(prefs.movableAndResizable());
    buttons_->sizeGrip()->setVisible(prefs.movableAndResizable());
    picture_->setScaling(prefs.imageScaling());
    calView_->setLongMonthNames(prefs.ShortLongMonthName != 0);
    calView_->setDoubleClickOpensCalendar(prefs.CalendarDoubleClickApp == 0);
    BigCalendarFonts(*calView_).applyStored();
    applyFirstWeekdayAndWeeks();
    applyMonthGridSettings();
    calView_->Today();
    updateMoon();
    // A new choice sized the window for its months; its resize lays them out.
    if (!newChoice) {
        relayout();
    }
    reloadList();
}

void ztCalendarController::applyMonthGridSettings() {
    if (calView_ == nullptr) {
        return;
    }
    monthGridFeed_.apply(calView_->calSettings(), defaults_,
                         clock_.now().toQDateTime().toTimeZone(clock_.currentZone()).date());
    calView_->update();
}

void ztCalendarController::showMonthsOfChoice() {
    const Counts counts = layout_.showChoice(*calView_);
    // Room for the moon's lines beside a single month too.
    window_->resize(BigCalendarLayout::windowSize(
        counts, BigCalendarMoon::kSide + 40 + picture_->shownHeight() + bottomPartRoom()));
}

void ztCalendarController::updateCalPrefs() {
    if (calView_ == nullptr) {
        return;
    }
    lists_->datePrefsChanged();
    applyFirstWeekdayAndWeeks();
    calView_->update();
}

void ztCalendarController::settingsBtnAction() {
    if (menuExtra_ != nullptr) {
        menuExtra_->showMenubarCalendarPrefs();
    }
}

// Navigation ---------------------------------------------------------------------------

void ztCalendarController::today() {
    calView_->Today();
    selectDay(calView_->oCurDate());
}
void ztCalendarController::prevMonth() {
    calView_->prevMonth();
}
void ztCalendarController::nextMonth() {
    calView_->nextMonth();
}
void ztCalendarController::prevDay() {
    calView_->prevDay();
    selectDay(calView_->oCurDate());
}
void ztCalendarController::nextDay() {
    calView_->nextDay();
    selectDay(calView_->oCurDate());
}

bool ztCalendarController::handleCalendarKey(int key, Qt::KeyboardModifiers modifiers) {
    const bool month = modifiers & Qt::ControlModifier;
    switch (key) {
        case Qt::Key_Right:
            month ? nextMonth() : nextDay();
            return true;
        case Qt::Key_Left:
            month ? prevMonth() : prevDay();
            return true;
        case Qt::Key_C:
        case Qt::Key_Home:
            today();
            return true;
        default:
            return false;
    }
}

bool ztCalendarController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get()) {
        if (event->type() == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            return handleCalendarKey(key->key(), key->modifiers());
        }
        if (event->type() == QEvent::Resize) {
            paintPanel();
        }
        if (placement_->dragByBackground(*event)) {
            return true;
        }
        if (event->type() == QEvent::Hide) {
            closeAttachedWindow();
        }
        if (event->type() == QEvent::Show && lists_) {
            lists_->windowShown();
        }
    } else if (watched == calView_) {
        if (event->type() == QEvent::Resize) {
            relayout();
        } else if (event->type() == QEvent::MouseButtonRelease) {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->modifiers() & Qt::ControlModifier) {
                calView_->SetLastClick(mouse->position());
                toggleMoonWindow(calView_->dateValue().date(), mouse->globalPosition());
            } else if (mouse->modifiers() & Qt::AltModifier) {
                // The calendar application opens at the day clicked.
                calView_->SetLastClick(mouse->position());
                CalendarApplication::launch(calView_->dateValue().date());
            }
        }
    }
    return QObject::eventFilter(watched, event);
}

void ztCalendarController::zoomCalendar(bool on) {
    if (!window_ || on == isZoomed()) {
        return;
    }
    if (on) {
        layout_.keepShown(*calView_);
        placement_->zoomIn();
    } else {
        placement_->zoomOut();
        layout_.restoreKept(*calView_);
    }
    buttons_->showZoomed(on);
    paintPanel();
    relayout();
}

void ztCalendarController::actClose() {
    if (window_) {
        window_->hide();
    }
}

// The moon -----------------------------------------------------------------------------

void ztCalendarController::toggleMoonWindow(const QDate& day, const QPointF& globalPoint) {
    if (moon_) {
        moon_->toggleWindow(menuExtra_, day, globalPoint);
    }
}

void ztCalendarController::closeAttachedWindow() {
    if (moon_) {
        moon_->closeWindow();
    }
}

// Pictures -----------------------------------------------------------------------------

void ztCalendarController::showCalBGImg() {
    if (!window_) {
        return;
    }
    paintPanel();
    picture_->showChosen();
}

void ztCalendarController::setCalendarPicture(const QImage& picture) {
    picture_->show(picture);
}

void ztCalendarController::makePictureRoom(int before, int height) {
    const int calendarHeight = calView_->height();
    window_->resize(window_->width(),
                    std::max(window_->minimumHeight(), window_->height() - before + height));
    if (height > 0) {
        splitter_->setSizes({height, calendarHeight});
    }
    paintPanel();
}

void ztCalendarController::paintPanel() {
    window_->setBackgroundPicture(
        HUDWindow::sizedHUDBackground(window_->size(), window_->windowTitle()));
}

bool ztCalendarController::addPhoto(const QString& path) {
    return picture_ && picture_->add(path);
}

void ztCalendarController::deletePhoto() {
    if (picture_) {
        picture_->remove();
    }
}

// Fonts --------------------------------------------------------------------------------

QFont ztCalendarController::calendarFont(FontOption option) const {
    return BigCalendarFonts(*calView_).font(option);
}

void ztCalendarController::applyCalendarFont(FontOption option, const QFont& font) {
    BigCalendarFonts(*calView_).apply(option, font);
}

// Dialogs ------------------------------------------------------------------------------

void ztCalendarController::printWithDialog(int months) {
    if (menu_) {
        menu_->printWithDialog(months);
    }
}

void ztCalendarController::choosePhoto() {
    if (menu_) {
        menu_->choosePhoto();
    }
}

void ztCalendarController::chooseFont(FontOption option) {
    if (menu_) {
        menu_->chooseFont(option);
    }
}

// Printing -----------------------------------------------------------------------------

QSizeF ztCalendarController::printSize(int months, bool withPicture) {
    return BigCalendarPrintout::printSize(months, withPicture);
}

void ztCalendarController::drawPrintout(QPainter& painter, const QRectF& target, int months) {
    BigCalendarPrintout(*calView_, picture_->well()).draw(painter, target, months);
}

bool ztCalendarController::printCalendar(QPrinter& printer, int months) {
    // As shown: the window without the events part, which is not printed.
    return BigCalendarPrintout(*calView_, picture_->well())
        .print(printer, months, QSizeF(window_->size() - QSize(0, bottomPartRoom())));
}

// The events / to-do part --------------------------------------------------------------

int ztCalendarController::bottomPartRoom() const {
    return lists_ && window_ ? lists_->room() : 0;
}

void ztCalendarController::hideShowTaskEvents() {
    if (lists_) {
        lists_->hideShowTaskEvents();
    }
}

void ztCalendarController::hideShowMiniCalendar() {
    if (splitter_ == nullptr) {
        return;
    }
    if (isBottomHidden()) {
        hideShowTaskEvents();
    }
    splitter_->setVisible(splitter_->isHidden());
}

void ztCalendarController::setListMode(ListMode mode) {
    if (lists_) {
        lists_->setShowsTodos(mode == ListMode::Todos);
    }
}

QDate ztCalendarController::selectedDay() const {
    return lists_ ? lists_->selectedDay()
                  : clock_.now().toQDateTime().toTimeZone(clock_.currentZone()).date();
}

void ztCalendarController::selectDay(const QDate& day) {
    if (lists_) {
        lists_->selectDay(day);
    }
}

void ztCalendarController::reloadList() {
    if (lists_) {
        lists_->reloadList();
    }
}

QStringList ztCalendarController::listedItems() const {
    return lists_ ? lists_->listedItems() : QStringList();
}

void ztCalendarController::applyTodoSettings() {
    if (lists_) {
        lists_->applyTodoSettings();
    }
}

void ztCalendarController::archiveFinishedTodos() {
    if (lists_) {
        lists_->archiveFinishedTodos();
    }
}

// Moon of the day ----------------------------------------------------------------------

void ztCalendarController::updateMoon() {
    if (moon_) {
        moon_->showToday(menuExtra_);
    }
}

void ztCalendarController::releaseWindow() {
    closeAttachedWindow();
    calView_ = nullptr;
    picture_.reset();
    splitter_ = nullptr;
    moon_.reset();
    placement_.reset();
    buttons_.reset();
    lists_.reset();
    menu_.reset();
    window_.reset();
}

}  // namespace talvor
