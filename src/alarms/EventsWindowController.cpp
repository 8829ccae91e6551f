#include "EventsWindowController.h"

#include "AlarmDates.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace talvor {
namespace {

QString amount(int64_t count, const char* one, const char* many) {
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

// The two largest units that are not zero, largest first.
QString durationWords(const AlarmDates::DayDifference& d) {
    QStringList parts;
    if (d.days != 0) {
        parts << amount(d.days, "day", "days");
    }
    if (d.hours != 0) {
        parts << amount(d.hours, "hour", "hours");
    }
    if (d.minutes != 0) {
        parts << amount(d.minutes, "minute", "minutes");
    }
    return parts.mid(0, 2).join(QStringLiteral(", "));
}

QTableWidget* addTable(QWidget& window, QVBoxLayout& layout) {
    auto* table = new QTableWidget(0, 2, &window);
    table->setObjectName(QStringLiteral("EventsTable"));
    table->setHorizontalHeaderLabels({QStringLiteral("Event"), QStringLiteral("Time Left")});
    table->verticalHeader()->hide();
    table->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    layout.addWidget(table);
    return table;
}

}  // namespace

QString timeLeftText(Date now, Date eventTime) {
    if (eventTime.timeIntervalSince(now) >= 0) {
        const QString words = durationWords(AlarmDates::difference(now, eventTime));
        return words.isEmpty() ? QStringLiteral("Less than a minute left")
                               : QStringLiteral("%1 left").arg(words);
    }
    const QString words = durationWords(AlarmDates::difference(eventTime, now));
    return words.isEmpty() ? QStringLiteral("Just now") : QStringLiteral("%1 ago").arg(words);
}

EventsWindowController::EventsWindowController(std::unique_ptr<QWidget> window, QTableWidget* table,
                                               platform::Clock& clock)
    : window_(std::move(window)), table_(table), clock_(&clock) {}

std::optional<EventsWindowController> EventsWindowController::init(platform::Clock& clock) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) {
        platform::log(
            QStringLiteral("The events window needs a graphical application; it is not shown."));
        return std::nullopt;
    }
    auto window = std::make_unique<QWidget>(nullptr, Qt::Window);
    window->setObjectName(QStringLiteral("EventsWindow"));
    window->setWindowTitle(QStringLiteral("Events"));
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(16, 14, 16, 12);
    QTableWidget* table = addTable(*window, *layout);

    auto* buttons = new QDialogButtonBox(window.get());
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, window.get(), &QWidget::close);
    layout->addWidget(buttons);
    window->resize(QSize(420, 260));
    return EventsWindowController(std::move(window), table, clock);
}

std::optional<EventsWindowController> EventsWindowController::init() {
    return init(platform::Clock::shared());
}

void EventsWindowController::updateEventsUI() {
    const Date now = clock_->now();
    table_->setRowCount(static_cast<int>(eventsArray_.size()));
    for (int row = 0; row < table_->rowCount(); ++row) {
        const Event& event = eventsArray_[row];
        table_->setItem(row, 0, new QTableWidgetItem(event.eventName()));
        table_->setItem(row, 1, new QTableWidgetItem(timeLeftText(now, event.eventTime())));
    }
}

void EventsWindowController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace talvor
