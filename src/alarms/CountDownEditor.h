#pragma once

#include "Event.h"
#include "services/SoundChooser.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimeEdit>
#include <QWidget>

#include <functional>
#include <memory>
#include <optional>

class QGridLayout;

namespace talvor {

// The fields of a count-down event, shared by the editor window and the count-down page:
// title, days and hours before, the day and the time (seconds too), the remaining-time text,
// when it shows, and the expiry sound with its menu, Play and fade-in boxes.
class CountDownForm : public QWidget {
    Q_OBJECT
  public:
    // The resolution pop-up's items: code and title, in menu order.
    struct Choice {
        int32_t tag;
        const char* title;
    };
    static const std::vector<Choice>& resolutions();
    static const std::vector<Choice>& displayModes();

    explicit CountDownForm(QWidget* parent = nullptr);
    ~CountDownForm() override;

    // Shows `event`; none: an empty form set to now.
    void setEvent(const std::optional<Event>& event);
    // "Title must not be empty.\n" for an empty title (which takes the focus); else empty.
    QString problems();
    // The form as an event with `uid`: the day from the date picker, the time of day with
    // its seconds from the time picker, in the current zone.
    Event eventWithUid(const QString& uid) const;

    // The sound: a path keeps the sound (none leaves it), Play follows.
    void setSoundPath(const QString& path);
    const QString& soundPath() const { return soundPath_; }
    void playSoundCheckChanged();
    void showRecordingWindow();

    QLineEdit* titleField() const { return titleField_; }
    QLineEdit* xDaysField() const { return xDaysField_; }
    QLineEdit* xHoursField() const { return xHoursField_; }
    QDateEdit* datePicker() const { return datePicker_; }
    QTimeEdit* timePicker() const { return timePicker_textual_; }
    QComboBox* popUpResolution() const { return popUpResolution_; }
    QComboBox* popUpDisplayWindow() const { return popUpDisplayWindow_; }
    QCheckBox* playSoundCheck() const { return playSoundCheck_; }
    QPushButton* selectSoundButton() const { return soundChooser_->soundButton(); }
    QPushButton* playButton() const { return soundChooser_->playButton(); }
    QCheckBox* shouldFadeInCheck() const { return soundChooser_->fadeInCheck(); }
    SoundChooser* soundChooser() const { return soundChooser_; }

  private:
    QString soundPath_;
    QPointer<QLineEdit> titleField_;
    QPointer<QLineEdit> xDaysField_;
    QPointer<QLineEdit> xHoursField_;
    QPointer<QDateEdit> datePicker_;
    QPointer<QTimeEdit> timePicker_textual_;
    QPointer<QComboBox> popUpResolution_;
    QPointer<QComboBox> popUpDisplayWindow_;
    QPointer<QCheckBox> playSoundCheck_;
    QPointer<SoundChooser> soundChooser_;
};

// A fresh identifier: the upper-case text of a new UUID.
QString newUID();

// Adds or replaces `event` in the store as it is now, so that what others saved meanwhile
// stays; returns the store written.
EventsDictionary storeEvent(const Event& event);
// Removes the event of `uid` from the store as it is now.
EventsDictionary removeEvent(const QString& uid);

// The window that edits a stored count-down event or deletes it. Saving or deleting tells
// other windows through the distributed "EventsUpdate"; an empty title is refused with an
// alert on the window. The window deletes itself when closed.
class NewCountDownEventWindowController : public QWidget {
    Q_OBJECT
  public:
    // `event`: the event to edit; none: a new one.
    explicit NewCountDownEventWindowController(const std::optional<Event>& event = std::nullopt);
    // A new window for `event`, centred and in front.
    static NewCountDownEventWindowController* openFor(const std::optional<Event>& event);

    // Save: false (with the alert) when the form has a problem.
    bool setEvent();
    void deleteEvent();

    CountDownForm* form() const { return form_; }
    QPushButton* deleteButton() const { return deleteButton_; }
    QPushButton* saveButton() const { return saveButton_; }
    const std::optional<Event>& eventToEdit() const { return eventToEdit_; }
    // The text of the last refusal.
    const QString& lastAlertText() const { return lastAlertText_; }

  private:
    std::optional<Event> eventToEdit_;
    QString lastAlertText_;
    QPointer<CountDownForm> form_;
    QPointer<QPushButton> deleteButton_;
    QPointer<QPushButton> saveButton_;
};

// Shows "CountDown Event" with the problems and a Continue button, window-modal on `window`.
void showCountDownProblems(QWidget* window, const QString& problems);

}  // namespace talvor
