// The part under the months: the events of the picked day, or the to-dos, from the calendars
// the mini calendar reads. It can be hidden, the window shrinking by it.
#include "CalendarWindow.h"
#include "EditEventController.h"
#include "TodoArchive.h"
#include "TodoSettings.h"
#include "calendar/AppleCal.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/GCalender.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/UserDefaults.h"
#include "ztCalendarController.h"

#include <QAction>
#include <QButtonGroup>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QPropertyAnimation>
#include <QScrollArea>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

namespace talvor {
namespace {

constexpr int kBottomHeight = 150;
constexpr int kAnimationMs = 180;

QToolButton* switchButton(QWidget* parent, const QString& text, const QString& name) {
    auto* button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setCheckable(true);
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(
        QStringLiteral("QToolButton { color: white; padding: 0 6px; }"
                       "QToolButton:checked { background: rgba(255,255,255,60);"
                       " border-radius: 4px; }"));
    return button;
}

}  // namespace

QWidget* ztCalendarController::buildBottomPart() {
    hideBottom_ = new QWidget(window_.get());
    hideBottom_->setObjectName(QStringLiteral("hideBottom"));
    hideBottom_->setFixedHeight(kBottomHeight);
    listTitle_ = new QLabel(hideBottom_);
    listTitle_->setObjectName(QStringLiteral("listTitle"));
    listTitle_->setStyleSheet(QStringLiteral("QLabel { color: white; font-weight: bold; }"));
    eventsButton_ = switchButton(hideBottom_, tr("Events"), QStringLiteral("showEvents"));
    todoButton_ = switchButton(hideBottom_, tr("To Do"), QStringLiteral("showTodos"));
    eventsButton_->setChecked(true);
    auto* modes = new QButtonGroup(hideBottom_);
    modes->addButton(eventsButton_);
    modes->addButton(todoButton_);
    connect(eventsButton_, &QToolButton::clicked, this, [this] { setListMode(ListMode::Events); });
    connect(todoButton_, &QToolButton::clicked, this, [this] { setListMode(ListMode::Todos); });
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(listTitle_, 1);
    header->addWidget(eventsButton_);
    header->addWidget(todoButton_);

    listArea_ = new QScrollArea(hideBottom_);
    listArea_->setObjectName(QStringLiteral("eventList"));
    listArea_->setFrameShape(QFrame::NoFrame);
    listArea_->setWidgetResizable(true);
    listArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The rows take the panel's colours: white text on the dark glass.
    listArea_->viewport()->setAutoFillBackground(false);  // the panel's glass shows through
    listArea_->installEventFilter(this);

    auto* layout = new QVBoxLayout(hideBottom_);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(header);
    layout->addWidget(listArea_, 1);

    hideShowMenuItem_ = new QAction(menu_);
    hideShowMenuItem_->setObjectName(QStringLiteral("hideShowMenuItem"));
    connect(hideShowMenuItem_, &QAction::triggered, this, [this] {
        hideShowTaskEvents();
        // The choice stays, and later changes of other date settings keep it.
        TalvorDateSettings& settings = TalvorDateSettings::sharedInstance();
        settings.hideToDoEventSection = hiddenBottom_;
        settings.writePrefsAndSync();
    });
    menu_->addSeparator();
    menu_->addAction(hideShowMenuItem_);
    retitleHideShowItem();
    applyTodoSettings();
    return hideBottom_;
}

void ztCalendarController::applyTodoSettings() {
    if (todoButton_ == nullptr) {
        return;
    }
    const int tag = TodoSettings::iconTag(defaults_);
    todoButton_->setText(TodoSettings::iconGlyph(tag) + QLatin1Char(' ') + tr("To Do"));
    hideShowMenuItem_->setIcon(TodoSettings::icon(tag));
}

void ztCalendarController::archiveFinishedTodos() {
    const TodoArchiveOptions options = TodoArchiveOptions::fromStored(
        defaults_.objectForKey(TodoSettings::kArchiveOptions).toMap());
    if (!options.on || options.location.isEmpty()) {
        return;
    }
    const QTimeZone zone = clock_.currentZone();
    const QDate today = clock_.now().toQDateTime().toTimeZone(zone).date();
    const QDate lastRun =
        QDate::fromString(defaults_.stringForKey(TodoSettings::kArchiveLastRun), Qt::ISODate);
    if (!TodoArchive::due(options.when, lastRun.isValid() ? std::optional(lastRun) : std::nullopt,
                          today)) {
        return;
    }
    std::vector<FinishedTodo> finished;
    for (const platform::StoreTodo& task : AppleCal::sharedInterface().todos()) {
        if (task.completed) {
            std::optional<QDate> completed;
            if (task.completedAt) {
                completed = task.completedAt->toQDateTime().toTimeZone(zone).date();
            }
            finished.push_back({task.uid, task.title, task.notes, completed});
        }
    }
    const QStringList stored = defaults_.objectForKey(TodoSettings::kArchivedItems).toStringList();
    QSet<QString> archived(stored.cbegin(), stored.cend());
    const TodoArchive::Result result = TodoArchive::append(options, finished, archived, today);
    if (result.error) {
        platform::log(*result.error);
        return;
    }
    defaults_.setObject(today.toString(Qt::ISODate), TodoSettings::kArchiveLastRun);
    if (result.written > 0) {
        QStringList uids(archived.cbegin(), archived.cend());
        uids.sort();
        defaults_.setObject(uids, TodoSettings::kArchivedItems);
    }
}

int ztCalendarController::bottomPartRoom() const {
    return hiddenBottom_ || !window_ ? 0 : kBottomHeight + window_->layout()->spacing();
}

void ztCalendarController::retitleHideShowItem() {
    hideShowMenuItem_->setText(hiddenBottom_ ? tr("Show Events/To Do Items")
                                             : tr("Hide Events/To Do Items"));
}

void ztCalendarController::hideShowTaskEvents() {
    if (!window_ || hideBottom_ == nullptr) {
        return;
    }
    if (animation_ && animation_->state() == QAbstractAnimation::Running) {
        // The next change starts where the running one was going.
        const QRect end = animation_->endValue().toRect();
        animation_->stop();
        window_->setGeometry(end);
    }
    hiddenBottom_ = !hiddenBottom_;
    const QRect frame = window_->geometry();
    const int room = kBottomHeight + window_->layout()->spacing();
    QRect target = frame;
    if (hiddenBottom_) {
        contentOldFrame_ = frame;
        hideBottom_->hide();
        target.setHeight(frame.height() - room);
    } else {
        hideBottom_->show();
        // Back to the frame from before when the window kept its place and width since.
        const bool kept = contentOldFrame_.topLeft() == frame.topLeft() &&
                          contentOldFrame_.width() == frame.width() &&
                          contentOldFrame_.height() == frame.height() + room;
        target = kept ? contentOldFrame_ : QRect(frame.topLeft(), frame.size() + QSize(0, room));
        reloadList();
    }
    // The layout's least height follows the part at once, so that the window may shrink.
    window_->layout()->activate();
    target.setHeight(std::max(target.height(), window_->minimumHeight()));
    retitleHideShowItem();
    if (!window_->isVisible()) {
        animatingSize_ = false;
        window_->setGeometry(target);
        return;
    }
    animatingSize_ = true;
    auto* animation = new QPropertyAnimation(window_.get(), "geometry", this);
    animation->setDuration(kAnimationMs);
    animation->setStartValue(frame);
    animation->setEndValue(target);
    connect(animation, &QPropertyAnimation::finished, this, [this] {
        animatingSize_ = false;
        relayout();
    });
    animation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void ztCalendarController::hideShowMiniCalendar() {
    if (splitter_ == nullptr) {
        return;
    }
    if (hiddenBottom_) {
        hideShowTaskEvents();
    }
    splitter_->setVisible(splitter_->isHidden());
}

void ztCalendarController::setListMode(ListMode mode) {
    taskORevents_ = mode == ListMode::Todos;
    (taskORevents_ ? todoButton_ : eventsButton_)->setChecked(true);
    reloadList();
}

QDate ztCalendarController::selectedDay() const {
    if (selectedDay_.isValid()) {
        return selectedDay_;
    }
    return clock_.now().toQDateTime().toTimeZone(clock_.currentZone()).date();
}

void ztCalendarController::selectDay(const QDate& day) {
    if (!day.isValid() || day == selectedDay_) {
        return;
    }
    selectedDay_ = day;
    if (taskORevents_) {
        return;  // the to-dos are not by day; the events are read on going back to them
    }
    // A day of the month already read needs no second asking.
    if (events_ && events_->year() == day.year() && events_->month() == day.month()) {
        drawList();
    } else {
        reloadList();
    }
}

void ztCalendarController::reloadList() {
    if (hideBottom_ == nullptr || hiddenBottom_) {
        return;  // read when the part is shown
    }
    // A closed window's rows are made when it opens, not at every change of the calendars.
    listStale_ = !window_->isVisible();
    if (listStale_) {
        return;
    }
    if (taskORevents_) {
        tasks_ = AppleCal::sharedInterface().todos();
        archiveFinishedTodos();
        drawList();
        return;
    }
    const QDate day = selectedDay();
    const Calendar gregorian =
        Calendar::create(QStringLiteral("gregorian")).withTimeZone(clock_.currentZone());
    events_ = CalMonth::initWithDate(
        Date::fromQDateTime(QDateTime(day, QTime(12, 0), clock_.currentZone())), gregorian);
    // The back ends fill the month now or later and say so with "EventsLoaded"; without
    // access (or signed out of Google) theirs stay empty, and the mini calendar asks the user.
    CalendarBackEnds::loadMonth(events_, defaults_);
    drawList();
}

void ztCalendarController::drawList() {
    if (listArea_ == nullptr) {
        return;
    }
    const QDate day = selectedDay();
    listTitle_->setText(taskORevents_ ? tr("To Do Items")
                                      : QLocale().toString(day, QLocale::LongFormat));
    auto* rows = new QWidget;
    rows->setObjectName(QStringLiteral("listRows"));
    // White text on the dark glass; the rows take it when they are made.
    QPalette palette = rows->palette();
    palette.setColor(QPalette::WindowText, Qt::white);
    rows->setPalette(palette);
    auto* column = new QVBoxLayout(rows);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(2);
    // The rows keep their width whether or not the scroll bar shows.
    const int width = std::max(
        100, listArea_->width() - listArea_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
    auto grey = [](QLabel* label) {
        label->setStyleSheet(QStringLiteral("QLabel { color: rgb(170,170,170); }"));
    };
    if (taskORevents_) {
        const QLocale locale;
        for (const platform::StoreTodo& task : tasks_) {
            // The priority as the to-do pane names and colours it; none says nothing.
            const QString level = TodoSettings::levelOf(task.priority);
            const bool prioritised = level != QLatin1String("0");
            QString text = (task.completed ? QStringLiteral("☑ ") : QStringLiteral("☐ "));
            if (prioritised) {
                text += TodoSettings::text(level, defaults_) + QStringLiteral(": ");
            }
            text += task.title.isEmpty() ? tr("No title") : task.title;
            if (task.due) {
                const QDate due = task.due->toQDateTime().toTimeZone(clock_.currentZone()).date();
                text += QStringLiteral(" — ") +
                        tr("due %1").arg(locale.toString(due, QLocale::ShortFormat));
            }
            auto* row = new QLabel(text, rows);
            row->setObjectName(QStringLiteral("todoRow"));
            row->setWordWrap(true);
            if (task.completed) {
                grey(row);
            } else if (prioritised) {
                row->setStyleSheet(QStringLiteral("QLabel { color: %1; }")
                                       .arg(TodoSettings::colour(level, defaults_).name()));
            }
            column->addWidget(row);
        }
        if (tasks_.empty()) {
            auto* none = new QLabel(tr("No to-do items"), rows);
            none->setObjectName(QStringLiteral("todoRow"));
            grey(none);
            column->addWidget(none);
        }
    } else {
        const std::vector<CalEventDay>* events =
            events_ && events_->year() == day.year() && events_->month() == day.month()
                ? events_->eventsForDay(day.day())
                : nullptr;
        if (events == nullptr || events->empty()) {
            column->addWidget(new EventView(std::nullopt, width, rows));
        } else {
            for (const CalEventDay& event : *events) {
                column->addWidget(new EventView(event, width, rows));
            }
        }
    }
    column->addStretch(1);
    listArea_->setWidget(rows);          // the old rows go with their widget
    rows->setAutoFillBackground(false);  // set by the scroll area; the glass shows through
}

QStringList ztCalendarController::listedItems() const {
    QStringList out;
    if (listArea_ == nullptr || listArea_->widget() == nullptr) {
        return out;
    }
    for (const QObject* child : listArea_->widget()->children()) {
        if (const auto* event = qobject_cast<const EventView*>(child)) {
            out << event->titleField()->text();
        } else if (const auto* label = qobject_cast<const QLabel*>(child)) {
            out << label->text();
        }
    }
    return out;
}

}  // namespace talvor
