#pragma once

#include "calendar/CalEvent.h"
#include "platform/CalendarStore.h"
#include "platform/Date.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <optional>

class QLabel;
class QPushButton;
class QWidget;

namespace talvor {

// Asks before an event of the day view goes: a plain question for a single event, a choice
// of this occurrence, this and the following ones, or all for an occurrence of a repeating
// event. The removal runs through the back end the event came from under the progress
// sheet; success closes the window and reloads the calendars, a failure is reported on it.
// Neither window is modal. Main thread only.
class DeleteEventController : public QObject {
    Q_OBJECT
  public:
    explicit DeleteEventController(QObject* parent = nullptr);
    ~DeleteEventController() override;

    static DeleteEventController& controller();
    // Replaces the shared controller (tests); nullptr restores the real one.
    static void setController(DeleteEventController* controller);

    // Whether the event can be removed (a back end gave it an edit link), and whether it is an
    // occurrence of a repeating event (its series link differs from its own).
    static bool canDelete(const CalEvent& event);
    static bool isOccurrence(const CalEvent& event);

    // Shows the question for the event; an event without edit links is refused silently.
    void deleteEvent(const CalEventPtr& event);
    void cancel();
    void deleteSingle();
    void deleteAll();
    void deleteAfter();

    // Where "this and the following" begins: a minute before the occurrence's start.
    static Date cutOffDate(const CalEvent& event);

    QWidget* window() const { return singleWindow_; }
    QWidget* recurWindow() const { return recurWindow_; }
    QWidget* currWindow() const { return currWindow_; }
    QLabel* singleTitle() const { return singleTitle_; }
    QLabel* recurTitle() const { return recurTitle_; }
    const CalEventPtr& currentEvent() const { return currentEvent_; }
    // The sheet reporting a failure, while it shows.
    QMessageBox* alert() const { return alert_; }

  private:
    void build();
    QWidget* buildWindow(const QString& name, QLabel*& label, const QString& text, bool repeating);
    void remove(platform::RemoveScope scope, const QString& progressTitle);
    void deleteFinished(const std::optional<QString>& error);
    // Fits the label's height to its text; the window grows or shrinks by the difference.
    void fitLabel(QLabel* label);

    QPointer<QWidget> singleWindow_;
    QPointer<QWidget> recurWindow_;
    QPointer<QWidget> currWindow_;
    QLabel* singleTitle_ = nullptr;
    QLabel* recurTitle_ = nullptr;
    QString singleText_;
    QString recurText_;
    CalEventPtr currentEvent_;
    QPointer<QMessageBox> alert_;
};

}  // namespace talvor
