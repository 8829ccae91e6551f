#pragma once

#include "Event.h"
#include "platform/Scheduler.h"

#include <QColor>
#include <QFrame>
#include <QLabel>
#include <QList>
#include <QPointer>
#include <QPushButton>

#include <functional>
#include <memory>

class QGridLayout;

namespace talvor {

namespace platform {
class SoundPlayer;
}

// The remaining-time text of a count-down `seconds` ahead (at least 0) for a resolution
// code: "90 minutes (1:30:05)", "2 Days + 3 hours (51:20:05)", ...; a code of none of the
// twelve shows the seconds.
QString calculateTimeRemaining(int32_t resolution, double seconds);
// The text once the event has passed.
QString expiredText(Date eventTime);
// Inside the event's warning window: ahead, with at most `hoursBefore` whole hours left.
bool isWarning(double seconds, int32_t hoursBefore);

// One count-down tile: the event's title, its remaining time recomputed every second on the
// shared scheduler, red inside the warning window, and an information button. A tile that
// sees its event reach its moment plays the event's sound once; one made for an event
// already past stays silent.
class EventsCollectionViewItem : public QFrame {
    Q_OBJECT
  public:
    static const QColor kNormalColor;
    static const QColor kWarningColor;

    explicit EventsCollectionViewItem(QWidget* parent = nullptr);
    ~EventsCollectionViewItem() override;

    void setRepresentedObject(const Event& event);
    // Not event(): that name is QWidget's handler of Qt's events, which it would hide.
    const Event& representedObject() const { return event_; }
    // One tick: the text and colour as of now, and the expiry sound when it is due.
    void updateTime();
    // The information button.
    void setEditEvent(std::function<void(const Event&)> edit) { edit_ = std::move(edit); }

    QString titleText() const;
    QString remainingText() const;
    QColor bgColor() const { return bgColor_; }
    QPushButton* iButton() const { return iButton_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void showEvent(QShowEvent* event) override;

  private:
    void startTimer();

    Event event_;
    bool hasEvent_ = false;
    // The event was seen still ahead since the sound last played.
    bool flag_ = false;
    QColor bgColor_ = kNormalColor;
    platform::TimerHandle timer_;
    std::shared_ptr<platform::SoundPlayer> sound_;
    std::function<void(const Event&)> edit_;
    QPointer<QLabel> titleTextField_;
    QPointer<QLabel> remainingTimeTextField_;
    QPointer<QPushButton> iButton_;
};

// The tiles of a list of events, in rows of `columns`.
class EventsCollectionView : public QWidget {
    Q_OBJECT
  public:
    explicit EventsCollectionView(int columns = 2, QWidget* parent = nullptr);

    // New tiles for `events`, in their order; the information buttons call `edit`.
    void setContent(const QList<Event>& events);
    void setEditEvent(std::function<void(const Event&)> edit) { edit_ = std::move(edit); }
    QList<EventsCollectionViewItem*> tiles() const;

  private:
    int columns_;
    QGridLayout* grid_;
    QList<QPointer<EventsCollectionViewItem>> tiles_;
    std::function<void(const Event&)> edit_;
};

// The stored events sorted by time, earliest first.
QList<Event> sortedEvents(const EventsDictionary& events);

}  // namespace talvor
