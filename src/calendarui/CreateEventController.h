#pragma once

#include "calendar/CalSource.h"
#include "calendar/CalendarBackEnd.h"
#include "foundation/Calendar.h"
#include "platform/Date.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QPushButton;
class QTimeEdit;
class QWidget;

namespace talvor {

namespace platform {
class UserDefaults;
}

// The new-event form (title, notes, calendar, all-day, start and end, repetition, reminder)
// and the one-line quick add. Both write through the back end "SelectedCalendar" chooses,
// under the progress sheet; a created event closes the window (after a notice when its
// calendar is not shown) and reloads the calendars, a failure keeps what was typed. Neither
// window is modal. Main thread only.
class CreateEventController : public QObject {
    Q_OBJECT
  public:
    // The defaults must outlive the controller.
    explicit CreateEventController(platform::UserDefaults& defaults, QObject* parent = nullptr);
    ~CreateEventController() override;

    // The process's controller (standard defaults), made on first use.
    static CreateEventController& controller();
    // Replaces the shared controller (tests); nullptr restores the real one.
    static void setController(CreateEventController* controller);

    // Opens the form on the day of `date` (none: now) shown in `calendar`'s zone. An open form
    // is only brought forward, keeping the user's entries.
    void startWithDate(std::optional<Date> date, const Calendar& calendar = Calendar());
    // Opens the quick add; an open one keeps its text and choice.
    void startQuickAdd();

    // The form's actions.
    void allDayCheck();
    void reminderChanged();
    // Marks an end before the start in red and disables OK (equal times pass).
    void pickerChanged();
    void submit();
    void cancel();
    void submitQuick();

    // Day picker plus the time picker's hours and minutes (also with all-day on).
    Date startDate() const;
    Date endDate() const;

    // Repetition items in order: none, daily, weekly, monthly, yearly.
    static constexpr int kRepeatItems = 5;
    // The back-end interface's number for a repeat item (-1 none, 0 daily .. 3 yearly): each
    // back end turns it into its own, so the form never sends one back end's numbering to
    // another.
    static int recurranceFor(int repeatIndex);
    // The reminder's kind as the back-end interface takes it: an e-mail only where the
    // chosen calendar's back end offers them (the pop-up shows), else a pop-up.
    int reminderTypeChosen() const;

    QWidget* window() const { return form_; }
    QWidget* quickAddWindow() const { return quickAddWindow_; }
    // The window results are reported on: the one opened last.
    QWidget* currWindow() const { return currWindow_; }
    QLineEdit* titleField() const { return titleField_; }
    QLineEdit* descriptionField() const { return descriptionField_; }
    QComboBox* sourcePopup() const { return sourcePopup_; }
    QCheckBox* allDayButton() const { return allDayButton_; }
    QDateEdit* startDatePicker() const { return startDatePicker_; }
    QDateEdit* endDatePicker() const { return endDatePicker_; }
    QTimeEdit* startTimePicker() const { return startTimePicker_; }
    QTimeEdit* endTimePicker() const { return endTimePicker_; }
    QComboBox* repeatPopup() const { return repeatPopup_; }
    QComboBox* reminderTimePopup() const { return reminderTimePopup_; }
    QComboBox* reminderTypePopup() const { return reminderTypePopup_; }
    QPushButton* okButton() const { return okButton_; }
    QLineEdit* quickAddField() const { return quickAddField_; }
    QComboBox* quickAddSourcePopup() const { return quickAddSourcePopup_; }
    // The sheet reporting a result, while it shows.
    QMessageBox* alert() const { return alert_; }
    // The source of a calendar pop-up's selected item; null when it is empty.
    CalSourcePtr selectedSource(const QComboBox* popup) const;
    // The back end of that item's calendar; none when the pop-up is empty.
    std::optional<CalendarBackEnds::Kind> selectedKind(const QComboBox* popup) const;
    // Whether a picker's text is marked as wrong.
    static bool isMarked(const QWidget* picker);

  private:
    void build();
    void buildQuickAdd();
    // A calendar of a pop-up, and the back end that keeps it.
    struct Choice {
        CalendarBackEnds::Kind kind;
        CalSourcePtr source;
    };
    const Choice* selectedChoice(const QComboBox* popup) const;
    // Fills a calendar pop-up with the sources that take new events, those of the chosen back
    // end first, each back end's in its order.
    void fillSourcePopup(QComboBox* popup);
    void showReminderType();
    void createFinished(std::optional<CalendarBackEnds::Kind> kind, const CalSourcePtr& source,
                        bool ok, const std::optional<QString>& error);
    void showAlert(const QString& title, const QString& text, bool closeAfter);

    platform::UserDefaults& defaults_;
    Calendar calendar_;
    QPointer<QWidget> form_;
    QPointer<QWidget> quickAddWindow_;
    QPointer<QWidget> currWindow_;
    QLineEdit* titleField_ = nullptr;
    QLineEdit* descriptionField_ = nullptr;
    QComboBox* sourcePopup_ = nullptr;
    QCheckBox* allDayButton_ = nullptr;
    QDateEdit* startDatePicker_ = nullptr;
    QDateEdit* endDatePicker_ = nullptr;
    QTimeEdit* startTimePicker_ = nullptr;
    QTimeEdit* endTimePicker_ = nullptr;
    QComboBox* repeatPopup_ = nullptr;
    QComboBox* reminderTimePopup_ = nullptr;
    QComboBox* reminderTypePopup_ = nullptr;
    QPushButton* okButton_ = nullptr;
    QLineEdit* quickAddField_ = nullptr;
    QComboBox* quickAddSourcePopup_ = nullptr;
    QPointer<QMessageBox> alert_;
    std::vector<Choice> formSources_;
    std::vector<Choice> quickSources_;
};

}  // namespace talvor
