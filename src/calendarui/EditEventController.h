#pragma once

#include "calendar/CalEvent.h"

#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QLabel;
class QToolButton;

namespace talvor {

namespace platform {
class UserDefaults;
}

// One row of the day view: the event's colour dot (or highlight dot), its start time and its
// title wrapped to the width; with no event, a grey "No events".
class EventView : public QWidget {
    Q_OBJECT
  public:
    // The fonts of all rows: titles in `large`, start times in `small` (slanted).
    static void setLargeFont(const QFont& large, const QFont& small);

    using DeleteHandler = std::function<void(const CalEventPtr&)>;
    // With `onDelete`, an event that can be removed gets a delete button at the row's end.
    EventView(std::optional<CalEventDay> event, int width, QWidget* parent = nullptr,
              const DeleteHandler& onDelete = {});

    // Not event(): that name is QWidget's handler of Qt's events, which it would hide.
    const std::optional<CalEventDay>& eventDay() const { return event_; }
    QLabel* titleField() const { return title_; }
    QToolButton* deleteButton() const { return deleteButton_; }
    int dotOffset() const { return dotOffset_; }

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    std::optional<CalEventDay> event_;
    QLabel* title_ = nullptr;
    QToolButton* deleteButton_ = nullptr;
    QPointF timeStringPoint_;  // top-left of the start time
    int dotOffset_ = 0;        // the dot's distance from the row's top
};

// The day view under the months: the day's date line, extra lines (the day in a second
// calendar system, how far it is from today), one row per event. Events are made and
// removed elsewhere, through the new-event and delete handlers it calls.
class EditEventController : public QObject {
    Q_OBJECT
  public:
    // The defaults must outlive the controller.
    explicit EditEventController(platform::UserDefaults& defaults, QObject* parent = nullptr);
    ~EditEventController() override;

    QWidget* view() const { return eventView_; }
    QLabel* dateField() const { return dateField_; }
    QToolButton* newEventButton() const { return newEventButton_; }
    QToolButton* appleButton() const { return appleButton_; }
    QToolButton* googleButton() const { return googleButton_; }
    const std::vector<QWidget*>& eventViews() const { return eventViews_; }

    void setFontSize(float size);
    float fontSize() const { return fontSize_; }
    // Lays the view out for the day; its height follows the content, its width stays.
    void showDate(const QString& date, const QStringList& auxStrings,
                  const std::vector<CalEventDay>* events, bool isRedisplay);
    // Whether the selected back end has a calendar to put a new event in.
    bool canCreateEvents() const;
    void updateCreateEventButton();
    // What a row's delete button calls; without one the rows have none.
    void setDeleteEventHandler(EventView::DeleteHandler handler) {
        deleteHandler_ = std::move(handler);
    }
    // The buttons of the day's events that carry a web gadget, in order.
    const std::vector<QToolButton*>& gadgetButtons() const { return gadgetButtons_; }
    // Closes the gadget window while it hangs on this view.
    void close();

  private:
    QToolButton* gadgetButton(const Gadget& gadget, const QString& title);

    platform::UserDefaults& defaults_;
    QPointer<QWidget> eventView_;
    QLabel* dateField_;
    QToolButton* newEventButton_;
    QToolButton* appleButton_;
    QToolButton* googleButton_;
    std::vector<QWidget*> eventViews_;
    std::vector<QToolButton*> gadgetButtons_;
    EventView::DeleteHandler deleteHandler_;
    float fontSize_ = 11.0f;
};

}  // namespace talvor
