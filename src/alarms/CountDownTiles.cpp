#include "CountDownTiles.h"

#include "platform/Clock.h"
#include "platform/SoundPlayer.h"
#include "services/SoundFadeOut.h"

#include <QDateTime>
#include <QGridLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace talvor {

QString calculateTimeRemaining(int32_t resolution, double seconds) {
    const double t = seconds;
    const qint64 S = static_cast<qint64>(t);
    const qint64 M = static_cast<qint64>(t / 60.0);
    const qint64 H = M / 60, D = M / 1440, W = M / 10080;
    const qint64 s = S % 60, m = M % 60, h = H % 24, d = D % 7;
    const auto n = [](qint64 v) { return QString::number(v); };
    const auto two = [](qint64 v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    switch (resolution) {
        case 60:
            return QStringLiteral("%1 minutes (%2:%3:%4)").arg(n(M), n(H), two(m), two(s));
        case 61:
            return QStringLiteral("%1 minutes %2 seconds").arg(n(M), n(s));
        case 360:
            return QStringLiteral("%1 Hours (%2:%3)").arg(n(H), two(m), two(s));
        case 361:
            return QStringLiteral("%1 Hours %2 minutes %3 seconds").arg(n(H), n(m), n(s));
        case 362:
            return QStringLiteral("%1 Hours %2 minutes (%3)").arg(n(H), n(m), two(s));
        case 8640:
            return QStringLiteral("%1 Days (%2:%3:%4)").arg(n(D), n(h), two(m), two(s));
        case 8641:
            return QStringLiteral("%1 Days + %2 hours (%3:%4:%5)")
                .arg(n(D), n(h), n(H), two(m), two(s));
        case 8642:
            return QStringLiteral("%1 Days + %2 hours %3 minutes (%4)")
                .arg(n(D), n(h), n(m), two(s));
        case 8643:
            return QStringLiteral("%1 Days + %2 hours %3 minutes %4 seconds")
                .arg(n(D), n(h), n(m), n(s));
        case 60480:
            return QStringLiteral("%1 weeks (%2:%3:%4)").arg(n(W), n(H), two(m), two(s));
        case 60481:
            return QStringLiteral("%1 weeks + %2 days (%3:%4:%5)")
                .arg(n(W), n(d), n(H), two(m), two(s));
        case 60482:
            return QStringLiteral("%1 weeks + %2 days %3 hours (%4:%5)")
                .arg(n(W), n(d), n(h), two(m), two(s));
        default:
            return QStringLiteral("%1 seconds").arg(std::round(t), 0, 'f', 0);
    }
}

QString expiredText(Date eventTime) {
    const QDateTime utc = eventTime.toQDateTime().toUTC();
    return QStringLiteral("expired %1")
        .arg(utc.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss '+0000'")));
}

bool isWarning(double seconds, int32_t hoursBefore) {
    const qint64 hours = static_cast<qint64>(seconds / 60.0) / 60;
    return seconds > 0 && hours <= hoursBefore;
}

QList<Event> sortedEvents(const EventsDictionary& events) {
    QList<Event> list = events.values();
    std::stable_sort(list.begin(), list.end(),
                     [](const Event& a, const Event& b) { return a.eventTime() < b.eventTime(); });
    return list;
}

const QColor EventsCollectionViewItem::kNormalColor = QColor::fromRgbF(0.2f, 0.2f, 0.2f, 1.0f);
const QColor EventsCollectionViewItem::kWarningColor = QColor::fromRgbF(1.0f, 0.0f, 0.0f, 1.0f);

EventsCollectionViewItem::EventsCollectionViewItem(QWidget* parent) : QFrame(parent) {
    setObjectName(QStringLiteral("EventsCollectionViewItem"));
    setMinimumWidth(220);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 8, 8, 8);
    auto* top = new QHBoxLayout;
    titleTextField_ = new QLabel(this);
    titleTextField_->setObjectName(QStringLiteral("titleTextField"));
    QFont bold = titleTextField_->font();
    bold.setBold(true);
    titleTextField_->setFont(bold);
    top->addWidget(titleTextField_, 1);
    iButton_ = new QPushButton(QStringLiteral("i"), this);
    iButton_->setObjectName(QStringLiteral("iButton"));
    iButton_->setFixedSize(22, 22);
    iButton_->setToolTip(tr("Edit or delete this event"));
    top->addWidget(iButton_);
    layout->addLayout(top);
    remainingTimeTextField_ = new QLabel(this);
    remainingTimeTextField_->setObjectName(QStringLiteral("remainingTimeTextField"));
    layout->addWidget(remainingTimeTextField_);
    for (QLabel* label : {titleTextField_.data(), remainingTimeTextField_.data()}) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Qt::white);
        label->setPalette(p);
    }
    connect(iButton_, &QPushButton::clicked, this, [this] {
        if (edit_ && hasEvent_) {
            edit_(event_);
        }
    });
    startTimer();
}

EventsCollectionViewItem::~EventsCollectionViewItem() {
    timer_.cancel();
    if (sound_) {
        sound_->stop();
    }
}

void EventsCollectionViewItem::startTimer() {
    if (timer_.isActive()) {
        return;
    }
    platform::Scheduler& scheduler = platform::Scheduler::shared();
    timer_ = scheduler.scheduleRepeating(scheduler.clock().now().addingTimeInterval(1.0), 1.0,
                                         [this] { updateTime(); });
}

void EventsCollectionViewItem::setRepresentedObject(const Event& event) {
    event_ = event;
    hasEvent_ = true;
    titleTextField_->setText(event.eventName());
    updateTime();
}

QString EventsCollectionViewItem::titleText() const {
    return titleTextField_->text();
}

QString EventsCollectionViewItem::remainingText() const {
    return remainingTimeTextField_->text();
}

void EventsCollectionViewItem::updateTime() {
    if (!hasEvent_) {
        timer_.cancel();
        return;
    }
    const double t = event_.eventTime().timeIntervalSince(platform::Clock::shared().now());
    if (t < 0) {
        remainingTimeTextField_->setText(expiredText(event_.eventTime()));
        if (std::exchange(flag_, false) && !event_.soundPath().isEmpty()) {
            sound_ = platform::SoundSystem::shared().soundWithContentsOfFile(event_.soundPath());
            if (sound_) {
                FadeOut::playFor(sound_, 20.0, 10.0);
            }
        }
    } else {
        flag_ = true;
        remainingTimeTextField_->setText(calculateTimeRemaining(event_.eventResolution(), t));
    }
    const QColor color = isWarning(t, event_.hoursBefore()) ? kWarningColor : kNormalColor;
    if (color != bgColor_) {
        bgColor_ = color;
        update();
    }
}

void EventsCollectionViewItem::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 8, 8);
    painter.fillPath(path, bgColor_);
    QFrame::paintEvent(event);
}

void EventsCollectionViewItem::hideEvent(QHideEvent* event) {
    // A tile off screen does not tick; it catches up when shown again.
    timer_.cancel();
    QFrame::hideEvent(event);
}

void EventsCollectionViewItem::showEvent(QShowEvent* event) {
    startTimer();
    updateTime();
    QFrame::showEvent(event);
}

EventsCollectionView::EventsCollectionView(int columns, QWidget* parent)
    : QWidget(parent), columns_(std::max(1, columns)), grid_(new QGridLayout(this)) {
    setObjectName(QStringLiteral("eventsCollectionView"));
    grid_->setContentsMargins(0, 0, 0, 0);
    grid_->setSpacing(8);
}

void EventsCollectionView::setContent(const QList<Event>& events) {
    for (const auto& tile : tiles_) {
        delete tile.data();
    }
    tiles_.clear();
    for (int i = 0; i < events.size(); ++i) {
        auto* tile = new EventsCollectionViewItem(this);
        tile->setEditEvent([this](const Event& e) {
            if (edit_) {
                edit_(e);
            }
        });
        tile->setRepresentedObject(events[i]);
        grid_->addWidget(tile, i / columns_, i % columns_);
        tiles_.append(tile);
    }
    // The tiles keep their height at the top; the room below stays empty.
    for (int row = 0; row < grid_->rowCount(); ++row) {
        grid_->setRowStretch(row, 0);
    }
    grid_->setRowStretch(static_cast<int>((events.size() + columns_ - 1) / columns_), 1);
}

QList<EventsCollectionViewItem*> EventsCollectionView::tiles() const {
    QList<EventsCollectionViewItem*> out;
    for (const auto& tile : tiles_) {
        if (tile) {
            out.append(tile.data());
        }
    }
    return out;
}

}  // namespace talvor
