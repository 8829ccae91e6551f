#include "EventsWindowController.h"

#include "AlarmDates.h"
#include "platform/Clock.h"
#include "platform/Log.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QPushButton>
#include <QScrollArea>
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

EventsWindowController::EventsWindowController(std::unique_ptr<QWidget> window,
                                               EventsCollectionView* tiles, platform::Clock& clock)
    : window_(std::move(window)), tiles_(tiles), clock_(&clock) {}

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
    auto* scroll = new QScrollArea(window.get());
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    auto* tiles = new EventsCollectionView(2);
    scroll->setWidget(tiles);
    layout->addWidget(scroll, 1);

    auto* buttons = new QDialogButtonBox(window.get());
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setDefault(true);
    QObject::connect(close, &QPushButton::clicked, window.get(), &QWidget::close);
    layout->addWidget(buttons);
    window->resize(QSize(500, 300));
    return EventsWindowController(std::move(window), tiles, clock);
}

std::optional<EventsWindowController> EventsWindowController::init() {
    return init(platform::Clock::shared());
}

void EventsWindowController::updateEventsUI() {
    const Date now = clock_->now();
    tiles_->setContent(eventsArray_);
    // The time left in words as well, for a glance that needs no reading of codes.
    for (EventsCollectionViewItem* tile : tiles_->tiles()) {
        tile->setToolTip(timeLeftText(now, tile->representedObject().eventTime()));
    }
}

void EventsWindowController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

}  // namespace talvor
