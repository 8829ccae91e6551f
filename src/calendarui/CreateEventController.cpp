#include "CreateEventController.h"

#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "widgets/ProgressController.h"
#include "widgets/WindowExtras.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>

#include <algorithm>

namespace talvor {
namespace {

CreateEventController*& replacement() {
    static CreateEventController* controller = nullptr;
    return controller;
}

const QColor kMarked(Qt::red);

void mark(QWidget* picker, bool wrong) {
    QPalette p = picker->palette();
    p.setColor(QPalette::Text,
               wrong ? kMarked : QApplication::palette(picker).color(QPalette::Text));
    picker->setPalette(p);
}

// The form or the quick-add window, above the calendar windows; never modal (shown, not
// run), with Escape and the default button of a dialog.
QWidget* makeWindow(const QString& name, const QString& title) {
    auto* w = new QDialog(nullptr, Qt::Dialog | Qt::WindowStaysOnTopHint);
    w->setObjectName(name);
    w->setWindowTitle(title);
    w->setAttribute(Qt::WA_QuitOnClose, false);
    WindowExtras::useAppProxyIcon(*w);
    return w;
}

Date at(const QDate& day, const QTime& time, const QTimeZone& zone) {
    const Date midnight = Date::fromQDateTime(QDateTime(day, QTime(0, 0), zone));
    // Hours and minutes counted from the day's first instant, seconds left out.
    return midnight.addingTimeInterval(time.hour() * 3600.0 + time.minute() * 60.0);
}

}  // namespace

CreateEventController::CreateEventController(platform::UserDefaults& defaults, QObject* parent)
    : QObject(parent), defaults_(defaults) {
    build();
    buildQuickAdd();
}

CreateEventController::~CreateEventController() {
    delete alert_.data();
    delete form_.data();
    delete quickAddWindow_.data();
}

CreateEventController& CreateEventController::controller() {
    if (replacement() != nullptr) {
        return *replacement();
    }
    static CreateEventController* const made =
        new CreateEventController(platform::UserDefaults::standard());
    return *made;
}

void CreateEventController::setController(CreateEventController* controller) {
    replacement() = controller;
}

void CreateEventController::build() {
    form_ = makeWindow(QStringLiteral("CreateEvent"), tr("New Event"));
    auto* layout = new QFormLayout(form_);
    titleField_ = new QLineEdit(form_);
    titleField_->setObjectName(QStringLiteral("titleField"));
    titleField_->setMinimumWidth(280);
    descriptionField_ = new QLineEdit(form_);
    descriptionField_->setObjectName(QStringLiteral("descriptionField"));
    sourcePopup_ = new QComboBox(form_);
    sourcePopup_->setObjectName(QStringLiteral("sourcePopup"));
    allDayButton_ = new QCheckBox(tr("All-day"), form_);
    allDayButton_->setObjectName(QStringLiteral("allDayButton"));

    auto picker = [this](QDateEdit*& day, QTimeEdit*& time, const QString& name) {
        day = new QDateEdit(form_);
        day->setObjectName(name + QStringLiteral("DatePicker"));
        day->setCalendarPopup(true);  // the month picker under the day
        day->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
        time = new QTimeEdit(form_);
        time->setObjectName(name + QStringLiteral("TimePicker"));
        // Minutes are what the form keeps; some locales' short form still shows seconds.
        time->setDisplayFormat(
            QLocale().timeFormat(QLocale::ShortFormat).remove(QStringLiteral(":ss")));
        auto* row = new QHBoxLayout;
        row->addWidget(day, 1);
        row->addWidget(time);
        connect(day, &QDateEdit::dateChanged, this, [this] { pickerChanged(); });
        connect(time, &QTimeEdit::timeChanged, this, [this] { pickerChanged(); });
        return row;
    };
    QHBoxLayout* startRow = picker(startDatePicker_, startTimePicker_, QStringLiteral("start"));
    QHBoxLayout* endRow = picker(endDatePicker_, endTimePicker_, QStringLiteral("end"));

    repeatPopup_ = new QComboBox(form_);
    repeatPopup_->setObjectName(QStringLiteral("repeatPopup"));
    repeatPopup_->addItems(
        {tr("None"), tr("Every Day"), tr("Every Week"), tr("Every Month"), tr("Every Year")});

    reminderTimePopup_ = new QComboBox(form_);
    reminderTimePopup_->setObjectName(QStringLiteral("reminderTimePopup"));
    const std::pair<QString, int> leads[] = {{tr("None"), 0},
                                             {tr("5 minutes before"), 5},
                                             {tr("10 minutes before"), 10},
                                             {tr("15 minutes before"), 15},
                                             {tr("30 minutes before"), 30},
                                             {tr("1 hour before"), 60},
                                             {tr("2 hours before"), 120},
                                             {tr("1 day before"), 1440},
                                             {tr("2 days before"), 2880}};
    for (const auto& [text, minutes] : leads) {
        reminderTimePopup_->addItem(text, minutes);
    }
    reminderTypePopup_ = new QComboBox(form_);
    reminderTypePopup_->setObjectName(QStringLiteral("reminderTypePopup"));
    reminderTypePopup_->addItem(tr("Pop-up"), 1);
    reminderTypePopup_->addItem(tr("E-mail"), 2);
    auto* reminderRow = new QHBoxLayout;
    reminderRow->addWidget(reminderTimePopup_, 1);
    reminderRow->addWidget(reminderTypePopup_);

    okButton_ = new QPushButton(tr("OK"), form_);
    okButton_->setObjectName(QStringLiteral("okButton"));
    okButton_->setDefault(true);
    auto* cancelButton = new QPushButton(tr("Cancel"), form_);
    cancelButton->setObjectName(QStringLiteral("cancelButton"));
    auto* buttons = new QDialogButtonBox(form_);
    buttons->addButton(okButton_, QDialogButtonBox::AcceptRole);
    buttons->addButton(cancelButton, QDialogButtonBox::RejectRole);

    layout->addRow(tr("Title:"), titleField_);
    layout->addRow(tr("Notes:"), descriptionField_);
    layout->addRow(tr("Calendar:"), sourcePopup_);
    layout->addRow(QString(), allDayButton_);
    layout->addRow(tr("Starts:"), startRow);
    layout->addRow(tr("Ends:"), endRow);
    layout->addRow(tr("Repeat:"), repeatPopup_);
    layout->addRow(tr("Reminder:"), reminderRow);
    layout->addRow(buttons);

    connect(allDayButton_, &QCheckBox::toggled, this, [this] { allDayCheck(); });
    connect(reminderTimePopup_, &QComboBox::currentIndexChanged, this,
            [this] { reminderChanged(); });
    connect(okButton_, &QPushButton::clicked, this, [this] { submit(); });
    connect(cancelButton, &QPushButton::clicked, this, [this] { cancel(); });
    connect(sourcePopup_, &QComboBox::currentIndexChanged, this, [this] { showReminderType(); });
    showReminderType();
    reminderTypePopup_->setEnabled(false);
}

void CreateEventController::buildQuickAdd() {
    quickAddWindow_ = makeWindow(QStringLiteral("QuickAdd"), tr("Quick Add"));
    auto* layout = new QVBoxLayout(quickAddWindow_);
    auto* hint = new QLabel(tr("Add an event from now until an hour later:"), quickAddWindow_);
    quickAddField_ = new QLineEdit(quickAddWindow_);
    quickAddField_->setObjectName(QStringLiteral("quickAddField"));
    quickAddField_->setPlaceholderText(tr("Call Anna"));
    quickAddField_->setMinimumWidth(280);
    quickAddSourcePopup_ = new QComboBox(quickAddWindow_);
    quickAddSourcePopup_->setObjectName(QStringLiteral("quickAddSourcePopup"));
    auto* add = new QPushButton(tr("Add"), quickAddWindow_);
    add->setObjectName(QStringLiteral("quickAddButton"));
    add->setDefault(true);
    auto* row = new QHBoxLayout;
    row->addWidget(quickAddSourcePopup_, 1);
    row->addWidget(add);
    layout->addWidget(hint);
    layout->addWidget(quickAddField_);
    layout->addLayout(row);
    // Return reaches the default button; the field's own signal would send twice.
    connect(add, &QPushButton::clicked, this, [this] { submitQuick(); });
}

int CreateEventController::recurranceFor(int repeatIndex) {
    return repeatIndex >= 1 && repeatIndex < kRepeatItems ? repeatIndex - 1 : -1;
}

int CreateEventController::reminderTypeChosen() const {
    return selectedKind(sourcePopup_) == CalendarBackEnds::Kind::Google
               ? reminderTypePopup_->currentData().toInt()
               : 1;
}

void CreateEventController::showReminderType() {
    // Only Google sends reminders by e-mail.
    reminderTypePopup_->setVisible(selectedKind(sourcePopup_) == CalendarBackEnds::Kind::Google);
}

bool CreateEventController::isMarked(const QWidget* picker) {
    return picker->palette().color(QPalette::Text) == kMarked;
}

const CreateEventController::Choice* CreateEventController::selectedChoice(
    const QComboBox* popup) const {
    const auto& list = popup == quickAddSourcePopup_ ? quickSources_ : formSources_;
    const int i = popup->currentIndex();
    return i >= 0 && i < static_cast<int>(list.size()) ? &list[static_cast<size_t>(i)] : nullptr;
}

CalSourcePtr CreateEventController::selectedSource(const QComboBox* popup) const {
    const Choice* choice = selectedChoice(popup);
    return choice ? choice->source : nullptr;
}

std::optional<CalendarBackEnds::Kind> CreateEventController::selectedKind(
    const QComboBox* popup) const {
    const Choice* choice = selectedChoice(popup);
    return choice ? std::optional<CalendarBackEnds::Kind>(choice->kind) : std::nullopt;
}

void CreateEventController::fillSourcePopup(QComboBox* popup) {
    auto& list = popup == quickAddSourcePopup_ ? quickSources_ : formSources_;
    std::vector<Choice> choices;
    auto backEnds = CalendarBackEnds::shown(defaults_);
    const CalendarBackEnds::Kind chosen = CalendarBackEnds::selectedKind(defaults_);
    std::stable_partition(backEnds.begin(), backEnds.end(),
                          [chosen](const auto& entry) { return entry.first == chosen; });
    for (const auto& [kind, backEnd] : backEnds) {
        for (const CalSourcePtr& source : backEnd->getLocalEventCalendars_Parsed()) {
            if (source && source->canCreate()) {
                choices.push_back({kind, source});
            }
        }
    }
    // Google's calendars are told apart from this computer's of the same name.
    const bool mixed = std::any_of(choices.begin(), choices.end(),
                                   [&](const Choice& c) { return c.kind != choices.front().kind; });
    {
        // The reminder's kind follows the calendar once the list is complete.
        const QSignalBlocker block(popup);
        popup->clear();
        list = std::move(choices);
        for (const Choice& c : list) {
            popup->addItem(mixed && c.kind == CalendarBackEnds::Kind::Google
                               ? tr("%1 (Google)").arg(c.source->name())
                               : c.source->name());
        }
        popup->setCurrentIndex(popup->count() > 0 ? 0 : -1);
    }
    showReminderType();
}

void CreateEventController::startWithDate(std::optional<Date> date, const Calendar& calendar) {
    if (form_->isVisible()) {
        form_->raise();
        form_->activateWindow();
        return;
    }
    calendar_ = calendar ? calendar : Calendar::current();
    const QTimeZone zone = calendar_.timeZone();
    const QDateTime now = platform::Clock::shared().now().toQDateTime().toTimeZone(zone);
    const QDate day = date ? date->toQDateTime().toTimeZone(zone).date() : now.date();
    // Today's default block never starts in the past: from 08:00 on it is the next whole
    // hour, for an hour.
    QDateTime start(day, QTime(8, 0), zone);
    QDateTime end(day, QTime(12, 0), zone);
    if (day == now.date() && now >= start) {
        start = QDateTime(now.date(), QTime(now.time().hour(), 0), zone).addSecs(3600);
        end = start.addSecs(3600);
    }
    titleField_->setText(tr("New event"));
    descriptionField_->clear();
    repeatPopup_->setCurrentIndex(0);
    {
        // One check once all four are set, not one per picker.
        const QSignalBlocker b1(startDatePicker_), b2(endDatePicker_), b3(startTimePicker_),
            b4(endTimePicker_);
        startDatePicker_->setDate(start.date());
        endDatePicker_->setDate(end.date());
        startTimePicker_->setTime(start.time());
        endTimePicker_->setTime(end.time());
    }
    {
        const QSignalBlocker block(allDayButton_);
        allDayButton_->setChecked(false);
    }
    allDayCheck();
    mark(endDatePicker_, false);
    mark(endTimePicker_, false);
    okButton_->setEnabled(true);
    reminderTimePopup_->setCurrentIndex(0);
    reminderTypePopup_->setCurrentIndex(0);
    reminderTypePopup_->setEnabled(false);
    fillSourcePopup(sourcePopup_);
    quickAddWindow_->close();
    form_->adjustSize();
    WindowExtras::makeKeyAndOrderFrontandCenter(*form_);
    titleField_->selectAll();
    titleField_->setFocus();
    currWindow_ = form_;
}

void CreateEventController::allDayCheck() {
    const bool allDay = allDayButton_->isChecked();
    startTimePicker_->setVisible(!allDay);
    endTimePicker_->setVisible(!allDay);
    // Turning all-day on or off changes whether the times count.
    pickerChanged();
}

void CreateEventController::reminderChanged() {
    reminderTypePopup_->setEnabled(reminderTimePopup_->currentData().toInt() != 0);
}

void CreateEventController::pickerChanged() {
    const QDate start = startDatePicker_->date();
    const QDate end = endDatePicker_->date();
    if (start > end) {
        mark(endDatePicker_, true);
        mark(endTimePicker_, true);
        okButton_->setEnabled(false);
        return;
    }
    mark(endDatePicker_, false);
    mark(endTimePicker_, false);
    okButton_->setEnabled(true);
    if (allDayButton_->isChecked() || start < end) {
        return;
    }
    const QTime from = startTimePicker_->time();
    const QTime to = endTimePicker_->time();
    // Minutes only: what the pickers show.
    if (from.hour() * 60 + from.minute() > to.hour() * 60 + to.minute()) {
        mark(endTimePicker_, true);
        okButton_->setEnabled(false);
    }
}

Date CreateEventController::startDate() const {
    return at(startDatePicker_->date(), startTimePicker_->time(), calendar_.timeZone());
}

Date CreateEventController::endDate() const {
    return at(endDatePicker_->date(), endTimePicker_->time(), calendar_.timeZone());
}

void CreateEventController::cancel() {
    form_->close();
}

void CreateEventController::submit() {
    if (!okButton_->isEnabled()) {
        return;  // the return key while the end is marked
    }
    okButton_->setFocus();  // ends the editing under way
    const std::optional<CalendarBackEnds::Kind> kind = selectedKind(sourcePopup_);
    const CalSourcePtr source = selectedSource(sourcePopup_);
    currWindow_ = form_;
    ProgressController::controller().startWithTitle(tr("Creating event..."), form_);
    CalendarBackEnd* backEnd = kind ? CalendarBackEnds::installed(*kind) : nullptr;
    if (backEnd == nullptr) {
        createFinished(kind, source, false, tr("No calendar can take new events."));
        return;
    }
    QPointer<CreateEventController> self(this);
    backEnd->createNewEventForSource(
        source, titleField_->text(), descriptionField_->text(), allDayButton_->isChecked(),
        startDate(), endDate(), recurranceFor(repeatPopup_->currentIndex()),
        reminderTimePopup_->currentData().toInt(), reminderTypeChosen(),
        [self, kind, source](bool ok, const std::optional<QString>& error) {
            if (self) {
                self->createFinished(kind, source, ok, error);
            }
        });
}

void CreateEventController::startQuickAdd() {
    if (!quickAddWindow_->isVisible()) {
        quickAddField_->clear();
        fillSourcePopup(quickAddSourcePopup_);
    }
    form_->close();
    quickAddWindow_->adjustSize();
    WindowExtras::makeKeyAndOrderFrontandCenter(*quickAddWindow_);
    quickAddField_->setFocus();
    currWindow_ = quickAddWindow_;
}

void CreateEventController::submitQuick() {
    const CalSourcePtr source = selectedSource(quickAddSourcePopup_);
    const QString text = quickAddField_->text().trimmed();
    if (text.isEmpty()) {
        quickAddWindow_->close();
        return;
    }
    const std::optional<CalendarBackEnds::Kind> kind = selectedKind(quickAddSourcePopup_);
    currWindow_ = quickAddWindow_;
    ProgressController::controller().startWithTitle(tr("Creating event..."), quickAddWindow_);
    CalendarBackEnd* backEnd = kind ? CalendarBackEnds::installed(*kind) : nullptr;
    if (backEnd == nullptr) {
        createFinished(kind, source, false, tr("No calendar can take new events."));
        return;
    }
    QPointer<CreateEventController> self(this);
    backEnd->addQuickEventwithTitle(
        text, source, [self, kind, source](bool ok, const std::optional<QString>& error) {
            if (self) {
                self->createFinished(kind, source, ok, error);
            }
        });
}

void CreateEventController::createFinished(std::optional<CalendarBackEnds::Kind> kind,
                                           const CalSourcePtr& source, bool ok,
                                           const std::optional<QString>& error) {
    ProgressController::controller().close();
    if (!ok) {
        const QString text = error.value_or(tr("Unknown"));
        platform::log(QStringLiteral("calendar: the event was not created: %1").arg(text));
        showAlert(tr("Error Creating Event"), text, false);
        return;
    }
    if (source && !source->enabled()) {
        // Made, but in a calendar whose events are not shown: say so rather than seem lost.
        showAlert(tr("Calendar Not Enabled"), tr("%1 not enabled").arg(source->name()), true);
        return;
    }
    auto& center = platform::NotificationCenter::defaultCenter();
    if (kind == CalendarBackEnds::Kind::Apple) {
        if (CalendarBackEnd* backEnd = CalendarBackEnds::installed(*kind)) {
            backEnd->getLocalEventCalendars_Parsed();
        }
        center.post(QStringLiteral("CalendarsLoaded"));
    }
    center.post(QStringLiteral("loadCalendarEvents"));
    if (currWindow_) {
        currWindow_->close();
    }
}

void CreateEventController::showAlert(const QString& title, const QString& text, bool closeAfter) {
    delete alert_.data();
    QWidget* on = currWindow_ ? currWindow_.data() : form_.data();
    alert_ = new QMessageBox(closeAfter ? QMessageBox::Information : QMessageBox::Warning, title,
                             title, QMessageBox::Ok, on);
    alert_->setObjectName(QStringLiteral("createEventAlert"));
    alert_->setInformativeText(text);
    alert_->setWindowModality(Qt::WindowModal);
    alert_->setAttribute(Qt::WA_DeleteOnClose);
    QPointer<QWidget> window(on);
    connect(alert_, &QMessageBox::finished, this, [window, closeAfter] {
        if (closeAfter && window) {
            window->close();
        }
    });
    alert_->open();
}

}  // namespace talvor
