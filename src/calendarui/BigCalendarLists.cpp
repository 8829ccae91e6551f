#include "BigCalendarLists.h"

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

#include <QAction>
#include <QButtonGroup>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QPropertyAnimation>
#include <QScrollArea>
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

BigCalendarLists::BigCalendarLists(QWidget& window, QMenu& menu, platform::Clock& clock,
                                   platform::UserDefaults& defaults, std::function<void()> resized)
    : window_(window), clock_(clock), defaults_(defaults), resized_(std::move(resized)) {
    hideBottom_ = new QWidget(&window_);
    hideBottom_->setObjectName(QStringLiteral("hideBottom"));
    hideBottom_->setFixedHeight(kBottomHeight);
    buildHeader(*hideBottom_);
    buildMenuItem(menu);
    retitleHideShowItem();
    applyTodoSettings();
}

BigCalendarLists::~BigCalendarLists() = default;

void BigCalendarLists::buildHeader(QWidget& part) {
    listTitle_ = new QLabel(&part);
    listTitle_->setObjectName(QStringLiteral("listTitle"));
    listTitle_->setStyleSheet(QStringLiteral("QLabel { color: white; font-weight: bold; }"));
    eventsButton_ = switchButton(&part, tr("Events"), QStringLiteral("showEvents"));
    todoButton_ = switchButton(&part, tr("To Do"), QStringLiteral("showTodos"));
    eventsButton_->setChecked(true);
    auto* modes = new QButtonGroup(&part);
    modes->addButton(eventsButton_);
    modes->addButton(todoButton_);
    connect(eventsButton_, &QToolButton::clicked, this, [this] { setShowsTodos(false); });
    connect(todoButton_, &QToolButton::clicked, this, [this] { setShowsTodos(true); });
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(listTitle_, 1);
    header->addWidget(eventsButton_);
    header->addWidget(todoButton_);

    listArea_ = new QScrollArea(&part);
    listArea_->setObjectName(QStringLiteral("eventList"));
    listArea_->setFrameShape(QFrame::NoFrame);
    listArea_->setWidgetResizable(true);
    listArea_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The rows take the panel's colours: white text on the dark glass.
    listArea_->viewport()->setAutoFillBackground(false);  // the panel's glass shows through
    listArea_->installEventFilter(this);

    auto* layout = new QVBoxLayout(&part);
    layout->setContentsMargins(0, 2, 0, 0);
    layout->setSpacing(2);
    layout->addLayout(header);
    layout->addWidget(listArea_, 1);
}

void BigCalendarLists::buildMenuItem(QMenu& menu) {
    hideShowMenuItem_ = new QAction(&menu);
    hideShowMenuItem_->setObjectName(QStringLiteral("hideShowMenuItem"));
    connect(hideShowMenuItem_, &QAction::triggered, this, [this] {
        hideShowTaskEvents();
        // The choice stays, and later changes of other date settings keep it.
        TalvorDateSettings& settings = TalvorDateSettings::sharedInstance();
        settings.hideToDoEventSection = hiddenBottom_;
        settings.writePrefsAndSync();
    });
    menu.addSeparator();
    menu.addAction(hideShowMenuItem_);
}

void BigCalendarLists::applyTodoSettings() {
    if (todoButton_ == nullptr) {
        return;
    }
    const int tag = TodoSettings::iconTag(defaults_);
    todoButton_->setText(TodoSettings::iconGlyph(tag) + QLatin1Char(' ') + tr("To Do"));
    hideShowMenuItem_->setIcon(TodoSettings::icon(tag));
}

void BigCalendarLists::archiveFinishedTodos() {
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

int BigCalendarLists::room() const {
    return hiddenBottom_ ? 0 : kBottomHeight + window_.layout()->spacing();
}

void BigCalendarLists::retitleHideShowItem() {
    hideShowMenuItem_->setText(hiddenBottom_ ? tr("Show Events/To Do Items")
                                             : tr("Hide Events/To Do Items"));
}

void BigCalendarLists::hideShowTaskEvents() {
    if (animation_ && animation_->state() == QAbstractAnimation::Running) {
        // The next change starts where the running one was going.
        const QRect end = animation_->endValue().toRect();
        animation_->stop();
        window_.setGeometry(end);
    }
    hiddenBottom_ = !hiddenBottom_;
    const QRect frame = window_.geometry();
    const int room = kBottomHeight + window_.layout()->spacing();
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
    window_.layout()->activate();
    target.setHeight(std::max(target.height(), window_.minimumHeight()));
    retitleHideShowItem();
    if (!window_.isVisible()) {
        animatingSize_ = false;
        window_.setGeometry(target);
        return;
    }
    animatingSize_ = true;
    auto* animation = new QPropertyAnimation(&window_, "geometry", this);
    animation->setDuration(kAnimationMs);
    animation->setStartValue(frame);
    animation->setEndValue(target);
    connect(animation, &QPropertyAnimation::finished, this, [this] {
        animatingSize_ = false;
        resized_();
    });
    animation_ = animation;
    animation->start(QAbstractAnimation::DeleteWhenStopped);
}

void BigCalendarLists::setShowsTodos(bool todos) {
    taskORevents_ = todos;
    (taskORevents_ ? todoButton_ : eventsButton_)->setChecked(true);
    reloadList();
}

QDate BigCalendarLists::selectedDay() const {
    if (selectedDay_.isValid()) {
        return selectedDay_;
    }
    return clock_.now().toQDateTime().toTimeZone(clock_.currentZone()).date();
}

void BigCalendarLists::selectDay(const QDate& day) {
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

void BigCalendarLists::reloadList() {
    if (hiddenBottom_) {
        return;  // read when the part is shown
    }
    // A closed window's rows are made when it opens, not at every change of the calendars.
    listStale_ = !window_.isVisible();
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

void BigCalendarLists::drawList() {
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
    if (taskORevents_) {
        drawTodoRows(*rows, *column);
    } else {
        // The rows keep their width whether or not the scroll bar shows.
        const int width = std::max(
            100, listArea_->width() - listArea_->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
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

void BigCalendarLists::drawTodoRows(QWidget& rows, QVBoxLayout& column) const {
    auto grey = [](QLabel* label) {
        label->setStyleSheet(QStringLiteral("QLabel { color: rgb(170,170,170); }"));
    };
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
        auto* row = new QLabel(text, &rows);
        row->setObjectName(QStringLiteral("todoRow"));
        row->setWordWrap(true);
        if (task.completed) {
            grey(row);
        } else if (prioritised) {
            row->setStyleSheet(QStringLiteral("QLabel { color: %1; }")
                                   .arg(TodoSettings::colour(level, defaults_).name()));
        }
        column.addWidget(row);
    }
    if (tasks_.empty()) {
        auto* none = new QLabel(tr("No to-do items"), &rows);
        none->setObjectName(QStringLiteral("todoRow"));
        grey(none);
        column.addWidget(none);
    }
}

QStringList BigCalendarLists::listedItems() const {
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

void BigCalendarLists::eventsLoaded() {
    if (hiddenBottom_ || taskORevents_) {
        return;
    }
    if (window_.isVisible()) {
        drawList();
    } else {
        listStale_ = true;
    }
}

void BigCalendarLists::windowShown() {
    if (listStale_) {
        reloadList();
    }
}

void BigCalendarLists::datePrefsChanged() {
    if (TalvorDateSettings::sharedInstance().hideToDoEventSection != hiddenBottom_) {
        hideShowTaskEvents();
    }
    applyTodoSettings();
    archiveFinishedTodos();
    if (taskORevents_ && !hiddenBottom_) {
        drawList();  // the priorities' texts and colours
    }
}

bool BigCalendarLists::eventFilter(QObject* watched, QEvent* event) {
    if (watched == static_cast<QObject*>(listArea_) && event->type() == QEvent::Resize) {
        drawList();  // the rows wrap to the new width
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace talvor
