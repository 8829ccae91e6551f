#include "CountDownEditor.h"

#include "AlarmsKeys.h"
#include "ReminderController.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"

#include <QApplication>
#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QUuid>
#include <QVBoxLayout>

namespace talvor {
namespace {

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

QDateTime localNow() {
    const platform::Clock& clock = platform::Clock::shared();
    return clock.now().toQDateTime().toTimeZone(clock.currentZone());
}

void selectTag(QComboBox& box, int32_t tag) {
    const int index = box.findData(tag);
    box.setCurrentIndex(index >= 0 ? index : 0);
}

}  // namespace

const std::vector<CountDownForm::Choice>& CountDownForm::resolutions() {
    static const std::vector<Choice> choices = {
        {60, QT_TR_NOOP("Minutes (h:mm:ss)")},
        {61, QT_TR_NOOP("Minutes and seconds")},
        {360, QT_TR_NOOP("Hours (mm:ss)")},
        {361, QT_TR_NOOP("Hours, minutes, seconds")},
        {362, QT_TR_NOOP("Hours, minutes (ss)")},
        {8640, QT_TR_NOOP("Days (h:mm:ss)")},
        {8641, QT_TR_NOOP("Days and hours (total h:mm:ss)")},
        {8642, QT_TR_NOOP("Days, hours, minutes (ss)")},
        {8643, QT_TR_NOOP("Days, hours, minutes, seconds")},
        {60480, QT_TR_NOOP("Weeks (total h:mm:ss)")},
        {60481, QT_TR_NOOP("Weeks and days (total h:mm:ss)")},
        {60482, QT_TR_NOOP("Weeks, days, hours (mm:ss)")},
        {0, QT_TR_NOOP("Seconds")},
    };
    return choices;
}

const std::vector<CountDownForm::Choice>& CountDownForm::displayModes() {
    static const std::vector<Choice> choices = {
        {1, QT_TR_NOOP("At login")},
        {2, QT_TR_NOOP("At wake")},
        {3, QT_TR_NOOP("At login and at wake")},
        {4, QT_TR_NOOP("At login and wake, the last days before")},
    };
    return choices;
}

CountDownForm::CountDownForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("CountDownForm"));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    int row = 0;
    grid->addWidget(new QLabel(tr("Title:"), this), row, 0);
    titleField_ = named(new QLineEdit(this), "titleField");
    grid->addWidget(titleField_, row++, 1, 1, 3);

    grid->addWidget(new QLabel(tr("Date:"), this), row, 0);
    datePicker_ = named(new QDateEdit(this), "datePicker");
    datePicker_->setCalendarPopup(true);
    grid->addWidget(datePicker_, row, 1);
    timePicker_textual_ = named(new QTimeEdit(this), "timePicker_textual");
    timePicker_textual_->setDisplayFormat(QStringLiteral("HH:mm:ss"));
    grid->addWidget(timePicker_textual_, row++, 2);

    grid->addWidget(new QLabel(tr("Show as:"), this), row, 0);
    popUpResolution_ = named(new QComboBox(this), "popUpResolution");
    for (const Choice& c : resolutions()) {
        popUpResolution_->addItem(tr(c.title), c.tag);
    }
    grid->addWidget(popUpResolution_, row++, 1, 1, 3);

    grid->addWidget(new QLabel(tr("Show window:"), this), row, 0);
    popUpDisplayWindow_ = named(new QComboBox(this), "popUpDisplayWindow");
    for (const Choice& c : displayModes()) {
        popUpDisplayWindow_->addItem(tr(c.title), c.tag);
    }
    grid->addWidget(popUpDisplayWindow_, row++, 1, 1, 3);

    // Whole numbers only; empty text counts as 0.
    const auto digits = [this] {
        return new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")),
                                               this);
    };
    grid->addWidget(new QLabel(tr("Days before:"), this), row, 0);
    xDaysField_ = named(new QLineEdit(this), "xDaysField");
    xDaysField_->setValidator(digits());
    xDaysField_->setMaximumWidth(70);
    grid->addWidget(xDaysField_, row, 1);
    auto* hoursLabel = new QLabel(tr("Red in the last hours:"), this);
    grid->addWidget(hoursLabel, row, 2);
    xHoursField_ = named(new QLineEdit(this), "xHoursField");
    xHoursField_->setValidator(digits());
    xHoursField_->setMaximumWidth(70);
    grid->addWidget(xHoursField_, row++, 3);

    playSoundCheck_ = named(new QCheckBox(tr("Play sound"), this), "playSoundCheck");
    grid->addWidget(playSoundCheck_, row, 0);
    soundChooser_ =
        new SoundChooser({.recordTitle = QStringLiteral("Record Countdown Timer Sound..."),
                          .fadeIn = true,
                          .repeatSystemSound = true},
                         this);
    grid->addWidget(soundChooser_, row++, 1, 1, 3);
    grid->setColumnStretch(1, 1);

    connect(playSoundCheck_, &QCheckBox::toggled, this, [this] { playSoundCheckChanged(); });
    connect(soundChooser_, &SoundChooser::soundChosen, this,
            [this](const QString& path) { setSoundPath(path); });
    connect(soundChooser_, &SoundChooser::recordAsked, this, [this] { showRecordingWindow(); });
    setEvent(std::nullopt);
}

CountDownForm::~CountDownForm() = default;

void CountDownForm::setEvent(const std::optional<Event>& event) {
    soundChooser_->stopPreview();
    soundPath_.clear();
    if (event) {
        titleField_->setText(event->eventName());
        const QDateTime when =
            event->eventTime().toQDateTime().toTimeZone(platform::Clock::shared().currentZone());
        datePicker_->setDate(when.date());
        timePicker_textual_->setTime(when.time());
        selectTag(*popUpResolution_, event->eventResolution());
        selectTag(*popUpDisplayWindow_, event->eventDisplayMode());
        xDaysField_->setText(QString::number(event->daysBefore()));
        xHoursField_->setText(QString::number(event->hoursBefore()));
        playSoundCheck_->setChecked(!event->soundPath().isEmpty());
        setSoundPath(event->soundPath());
    } else {
        const QDateTime now = localNow();
        titleField_->clear();
        datePicker_->setDate(now.date());
        timePicker_textual_->setTime(now.time());
        popUpResolution_->setCurrentIndex(0);
        popUpDisplayWindow_->setCurrentIndex(0);
        xDaysField_->clear();
        xHoursField_->clear();
        playSoundCheck_->setChecked(false);
        soundChooser_->fadeInCheck()->setChecked(false);
        soundChooser_->showSound(QString());
    }
    playSoundCheckChanged();
}

QString CountDownForm::problems() {
    QString text;
    if (titleField_->text().isEmpty()) {
        text += QStringLiteral("Title must not be empty.\n");
        titleField_->setFocus();
    }
    return text;
}

Event CountDownForm::eventWithUid(const QString& uid) const {
    const QDateTime when(datePicker_->date(), timePicker_textual_->time(),
                         platform::Clock::shared().currentZone());
    return Event(uid, titleField_->text(), Date::fromQDateTime(when),
                 popUpDisplayWindow_->currentData().toInt(),
                 popUpResolution_->currentData().toInt(), xDaysField_->text().toInt(),
                 xHoursField_->text().toInt(), soundPath_);
}

void CountDownForm::setSoundPath(const QString& path) {
    if (!path.isEmpty()) {
        soundPath_ = path;
    }
    soundChooser_->showSound(path);
}

void CountDownForm::playSoundCheckChanged() {
    soundChooser_->setActive(playSoundCheck_->isChecked());
}

void CountDownForm::showRecordingWindow() {
    Take5ReminderController& reminders = Take5ReminderController::sharedInstance();
    reminders.setAccepted(
        [self = QPointer<CountDownForm>(this)](const QString&, const QString& path) {
            if (self) {
                self->playSoundCheck_->setChecked(true);
                self->setSoundPath(path);
            }
        });
    reminders.runWithAlarm(nullptr);
}

QString newUID() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
}

EventsDictionary storeEvent(const Event& event) {
    EventsDictionary events = loadEvents();
    events.insert(event.uid(), event);
    saveEvents(events);
    return events;
}

EventsDictionary removeEvent(const QString& uid) {
    EventsDictionary events = loadEvents();
    events.remove(uid);
    saveEvents(events);
    return events;
}

void showCountDownProblems(QWidget* window, const QString& problems) {
    auto* box = new QMessageBox(QMessageBox::Warning, QStringLiteral("CountDown Event"),
                                QStringLiteral("CountDown Event"), QMessageBox::NoButton, window);
    box->setObjectName(QStringLiteral("CountDownProblems"));
    box->addButton(QStringLiteral("Continue"), QMessageBox::AcceptRole);
    box->setInformativeText(problems);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->open();
}

NewCountDownEventWindowController::NewCountDownEventWindowController(
    const std::optional<Event>& event)
    : QWidget(nullptr, Qt::Window), eventToEdit_(event) {
    setObjectName(QStringLiteral("NewCountDownEventWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(event ? tr("Edit Event") : tr("New Event"));
    auto* layout = new QVBoxLayout(this);
    form_ = new CountDownForm(this);
    form_->setEvent(event);
    layout->addWidget(form_);
    auto* buttons = new QHBoxLayout;
    deleteButton_ = named(new QPushButton(tr("Delete"), this), "deleteButton");
    deleteButton_->setEnabled(event.has_value());
    buttons->addWidget(deleteButton_);
    buttons->addStretch(1);
    auto* cancel = named(new QPushButton(tr("Cancel"), this), "cancelButton");
    buttons->addWidget(cancel);
    saveButton_ = named(new QPushButton(tr("Save"), this), "saveButton");
    saveButton_->setDefault(true);
    buttons->addWidget(saveButton_);
    layout->addLayout(buttons);
    connect(deleteButton_, &QPushButton::clicked, this, [this] { deleteEvent(); });
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(saveButton_, &QPushButton::clicked, this, [this] { setEvent(); });
    resize(520, 280);
}

NewCountDownEventWindowController* NewCountDownEventWindowController::openFor(
    const std::optional<Event>& event) {
    // One editor per stored event: two could save over each other.
    if (event) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* open = qobject_cast<NewCountDownEventWindowController*>(w);
            if (open != nullptr && open->eventToEdit_ &&
                open->eventToEdit_->uid() == event->uid() && open->isVisible()) {
                open->raise();
                open->activateWindow();
                return open;
            }
        }
    }
    auto* window = new NewCountDownEventWindowController(event);
    if (QScreen* screen = window->screen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - window->rect().center());
    }
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

bool NewCountDownEventWindowController::setEvent() {
    const QString text = form_->problems();
    if (!text.isEmpty()) {
        lastAlertText_ = text;
        showCountDownProblems(this, text);
        return false;
    }
    const Event event = form_->eventWithUid(eventToEdit_ ? eventToEdit_->uid() : newUID());
    storeEvent(event);
    close();
    // A new event too: an open events window or count-down page would not show it otherwise.
    platform::DistributedNotificationCenter::defaultCenter().post(keys::EventsUpdate);
    return true;
}

void NewCountDownEventWindowController::deleteEvent() {
    if (!eventToEdit_) {
        return;
    }
    removeEvent(eventToEdit_->uid());
    close();
    platform::DistributedNotificationCenter::defaultCenter().post(keys::EventsUpdate);
}

}  // namespace talvor
