#include "AlarmSetController.h"

#include "alarms/AlarmsKeys.h"
#include "alarms/ReminderController.h"
#include "alarms/SavedAlarms.h"
#include "alarms/TextSpeaker.h"
#include "alarms/UsersNotificationManager.h"
#include "foundation/FoundationKeys.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Clock.h"
#include "platform/Log.h"
#include "platform/OpenDialogs.h"
#include "platform/WindowPlacement.h"
#include "services/AudioStorageController.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSignalBlocker>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <QValidator>

namespace talvor {
namespace {

// The number field: digits only; empty text and 0 are not (yet) a number.
class NumberValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int&) const override {
        for (const QChar c : input) {
            if (!c.isDigit() || c.unicode() > '9') {
                return Invalid;
            }
        }
        return AlarmForm::isValidNumberText(input) ? Acceptable : Intermediate;
    }
};

constexpr const char* kDayTitles[AlarmForm::kDays] = {
    QT_TRANSLATE_NOOP("talvor::AlarmSetController", "Mon"),
    QT_TRANSLATE_NOOP("talvor::AlarmSetController", "Tue"),
    QT_TRANSLATE_NOOP("talvor::AlarmSetController", "Wed"),
    QT_TRANSLATE_NOOP("talvor::AlarmSetController", "Thu"),
    QT_TRANSLATE_NOOP("talvor::AlarmSetController", "Fri"),
    QT_TRANSLATE_NOOP("talvor::AlarmSetController", "Sat"),
    QT_TRANSLATE_NOOP("talvor::AlarmSetController", "Sun")};

constexpr const char* kDayNames[AlarmForm::kDays] = {"monCheck", "tueCheck", "wedCheck", "thuCheck",
                                                     "friCheck", "satCheck", "sunCheck"};

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

Date now() {
    return platform::Clock::shared().now();
}

// The locale's short time form, hours and minutes only (some locales add the seconds).
QString shortTimeFormat() {
    QString format = QLocale().timeFormat(QLocale::ShortFormat);
    format.remove(QRegularExpression(QStringLiteral("[:.]ss?")));
    return format;
}

}  // namespace

CustomAlert::CustomAlert() {
    setObjectName(QStringLiteral("CustomAlert"));
    setWindowTitle(tr("Alarm"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    message_ = new QLabel(this);
    message_->setWordWrap(true);
    layout->addWidget(message_);
    auto* ok = new QPushButton(tr("OK"), this);
    ok->setObjectName(QStringLiteral("btnOk"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { btnOkClicked(); });
    layout->addWidget(ok, 0, Qt::AlignRight);
    resize(360, 120);
}

void CustomAlert::btnOkClicked() {
    close();
}

AlarmSetController::AlarmSetController(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("AlarmSetController"), std::move(nibName),
                     QStringLiteral("Create Alarm")),
      delegate2_(delegate),
      timeFormat_(shortTimeFormat()),
      itemPane_(QStringLiteral("alarmSetup"), std::move(delegate)) {
    alarmsArray_ = SavedAlarms::load();
}

AlarmSetController::~AlarmSetController() {
    if (customAlert_) {
        customAlert_->close();
    }
}

QPushButton* AlarmSetController::soundButton() const {
    return soundChooser_ ? soundChooser_->soundButton() : nullptr;
}

QCheckBox* AlarmSetController::shouldFadeInCheck() const {
    return soundChooser_ ? soundChooser_->fadeInCheck() : nullptr;
}

SoundFileWell* AlarmSetController::soundWell() const {
    return soundChooser_ ? soundChooser_->well() : nullptr;
}

QRadioButton* AlarmSetController::timeRadio(int row) const {
    return alarmTimeRadio_ ? qobject_cast<QRadioButton*>(alarmTimeRadio_->button(row)) : nullptr;
}

std::unique_ptr<QWidget> AlarmSetController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    QWidget* v = view.get();
    auto* layout = new QVBoxLayout(v);
    layout->setContentsMargins(24, 20, 24, 20);
    itemPane_.buildInto(*v, *layout);

    buildTitleBox(v, layout);
    buildWhenBox(v, layout);
    buildHowBox(v, layout);
    buildFoot(v, layout);
    connectControls();
    root_ = v;
    reloadTitles();
    setAlarm(editingOne_.get());
    showAfterQuit();
    view->resize(480, 620);
    return view;
}

void AlarmSetController::buildTitleBox(QWidget* v, QVBoxLayout* layout) {
    // The alarm's title: typed, or one of the saved alarms.
    auto* alarmBox = new QGroupBox(tr("Alarm"), v);
    auto* titleRow = new QHBoxLayout(alarmBox);
    titleRow->addWidget(new QLabel(tr("Title:"), alarmBox));
    titleBox_ = named(new QComboBox(alarmBox), "titleBox");
    titleBox_->setEditable(true);
    titleBox_->setInsertPolicy(QComboBox::NoInsert);
    titleBox_->setMinimumWidth(200);
    titleRow->addWidget(titleBox_, 1);
    removeAlarmButton_ = named(new QPushButton(tr("Remove"), alarmBox), "removeAlarmButton");
    titleRow->addWidget(removeAlarmButton_);
    layout->addWidget(alarmBox);
}

void AlarmSetController::buildWhenBox(QWidget* v, QVBoxLayout* layout) {
    // When it rings: three kinds, one row each.
    auto* whenBox = new QGroupBox(tr("When"), v);
    auto* grid = new QGridLayout(whenBox);
    alarmTimeRadio_ = new QButtonGroup(whenBox);
    alarmTimeRadio_->setObjectName(QStringLiteral("alarmTimeRadio"));
    const char* rowTitles[] = {QT_TR_NOOP("In"), QT_TR_NOOP("At"), QT_TR_NOOP("At")};
    const char* rowNames[] = {"inTimeRadio", "atDateRadio", "onWeekdaysRadio"};
    for (int r = 0; r < 3; ++r) {
        auto* radio = named(new QRadioButton(tr(rowTitles[r]), whenBox), rowNames[r]);
        alarmTimeRadio_->addButton(radio, r);
        grid->addWidget(radio, r, 0);
    }
    auto* inRow = new QHBoxLayout;
    inTimeField_ = named(new QLineEdit(whenBox), "inTimeField");
    inTimeField_->setValidator(new NumberValidator(inTimeField_));
    inTimeField_->setMaximumWidth(80);
    inRow->addWidget(inTimeField_);
    inTimeTypePopUp_ = named(new QComboBox(whenBox), "inTimeTypePopUp");
    inTimeTypePopUp_->addItems({QStringLiteral("minutes"), QStringLiteral("hours")});
    inRow->addWidget(inTimeTypePopUp_);
    repeatCheck_ = named(new QCheckBox(tr("Repeat"), whenBox), "repeatCheck");
    inRow->addWidget(repeatCheck_);
    inRow->addStretch(1);
    grid->addLayout(inRow, 0, 1);

    auto* atRow = new QHBoxLayout;
    atDatePicker_ = named(new QDateEdit(whenBox), "atDatePicker");
    atDatePicker_->setCalendarPopup(true);
    atRow->addWidget(atDatePicker_);
    atTimePicker_ = named(new QTimeEdit(whenBox), "atTimePicker");
    atRow->addWidget(atTimePicker_);
    everyDayCheck_ = named(new QCheckBox(tr("Every day"), whenBox), "everyDayCheck");
    atRow->addWidget(everyDayCheck_);
    atRow->addStretch(1);
    grid->addLayout(atRow, 1, 1);

    auto* weekRow = new QHBoxLayout;
    atAlarmTimePicker_ = named(new QTimeEdit(whenBox), "atAlarmTimePicker");
    weekRow->addWidget(atAlarmTimePicker_);
    weekRow->addWidget(new QLabel(tr("on"), whenBox));
    foreverCheck_ = named(new QCheckBox(tr("Every week"), whenBox), "foreverCheck");
    weekRow->addWidget(foreverCheck_);
    weekRow->addStretch(1);
    grid->addLayout(weekRow, 2, 1);
    auto* dayRow = new QHBoxLayout;
    for (int i = 0; i < AlarmForm::kDays; ++i) {
        days_[static_cast<std::size_t>(i)] =
            named(new QCheckBox(tr(kDayTitles[i]), whenBox), kDayNames[i]);
        dayRow->addWidget(days_[static_cast<std::size_t>(i)]);
    }
    dayRow->addStretch(1);
    grid->addLayout(dayRow, 3, 1);
    // Hours and minutes, in the user's 12- or 24-hour form.
    const QString shortTime = timeFormat_;
    for (QTimeEdit* t : {atTimePicker_.data(), atAlarmTimePicker_.data()}) {
        t->setDisplayFormat(shortTime);
    }
    atDatePicker_->setDisplayFormat(QLocale().dateFormat(QLocale::ShortFormat));
    layout->addWidget(whenBox);
}

void AlarmSetController::buildHowBox(QWidget* v, QVBoxLayout* layout) {
    // How it rings.
    auto* howBox = new QGroupBox(tr("Sound and voice"), v);
    auto* how = new QGridLayout(howBox);
    playSoundCheck_ = named(new QCheckBox(tr("Play sound"), howBox), "playSoundCheck");
    how->addWidget(playSoundCheck_, 0, 0);
    soundChooser_ = new SoundChooser(
        {.fadeIn = true, .addFile = true, .well = true, .repeatSystemSound = true}, howBox);
    how->addWidget(soundChooser_, 0, 1);
    speakNameCheck_ = named(new QCheckBox(tr("Speak title"), howBox), "speakNameCheck");
    how->addWidget(speakNameCheck_, 1, 0);
    voiceButton_ = named(new QPushButton(tr("Select Voice"), howBox), "voiceNamePopUp");
    voiceMenu_ = new QMenu(voiceButton_);
    voiceButton_->setMenu(voiceMenu_);
    connect(voiceMenu_, &QMenu::aboutToShow, this, [this] { fillVoiceMenu(); });
    how->addWidget(voiceButton_, 1, 1);
    auto* snoozeRow = new QHBoxLayout;
    snoozeRow->addWidget(new QLabel(tr("Snooze:"), howBox));
    snoozeTimePopUp_ = named(new QComboBox(howBox), "snoozeTimePopUp");
    for (int minutes : kSnoozeMinutes) {
        snoozeTimePopUp_->addItem(tr("%n minute(s)", nullptr, minutes), minutes);
    }
    snoozeRow->addWidget(snoozeTimePopUp_);
    snoozeRow->addStretch(1);
    how->addLayout(snoozeRow, 2, 1);
    layout->addWidget(howBox);
}

void AlarmSetController::buildFoot(QWidget* v, QVBoxLayout* layout) {
    descriptionLabel_ = named(new QLabel(v), "descriptionLabel");
    descriptionLabel_->setWordWrap(true);
    layout->addWidget(descriptionLabel_);
    passedNoteLabel_ = named(new QLabel(v), "passedNoteLabel");
    passedNoteLabel_->setWordWrap(true);
    passedNoteLabel_->hide();
    layout->addWidget(passedNoteLabel_);
    afterQuitLabel_ = named(new QLabel(v), "afterQuitLabel");
    afterQuitLabel_->setWordWrap(true);
    afterQuitLabel_->setStyleSheet(QStringLiteral("color: #b00020;"));
    layout->addWidget(afterQuitLabel_);

    auto* buttons = new QHBoxLayout;
    recordButton_ = named(new QPushButton(tr("Record Message..."), v), "manageReminders");
    buttons->addWidget(recordButton_);
    buttons->addStretch(1);
    cancelButton_ = named(new QPushButton(tr("New"), v), "cancelButton");
    buttons->addWidget(cancelButton_);
    setButton_ = named(new QPushButton(tr("Set"), v), "setButton");
    setButton_->setDefault(true);
    buttons->addWidget(setButton_);
    layout->addLayout(buttons);
    layout->addStretch(1);
    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *v, [this] { delegate2_.open(PaneLinks::changeLogPage()); }, [this] { helpBtnClicked(); });
    layout->addLayout(links.layout);
}

void AlarmSetController::connectControls() {
    // Every change keeps the sentence in step.
    const auto describe = [this] { manageDescriptionLabel(); };
    connect(titleBox_, &QComboBox::editTextChanged, this, [this] {
        if (!filling_ && removeAlarmButton_) {
            removeAlarmButton_->setEnabled(false);
        }
        manageDescriptionLabel();
    });
    connect(titleBox_, &QComboBox::activated, this,
            [this](int index) { comboBoxSelectionDidChange(index); });
    connect(alarmTimeRadio_, &QButtonGroup::idClicked, this, [this] { alarmTimeRadioChanged(); });
    connect(inTimeField_, &QLineEdit::textChanged, this, describe);
    connect(inTimeTypePopUp_, &QComboBox::currentIndexChanged, this, describe);
    connect(repeatCheck_, &QCheckBox::toggled, this, describe);
    connect(atDatePicker_, &QDateEdit::dateChanged, this, describe);
    connect(atTimePicker_, &QTimeEdit::timeChanged, this, describe);
    connect(everyDayCheck_, &QCheckBox::toggled, this, describe);
    connect(atAlarmTimePicker_, &QTimeEdit::timeChanged, this, describe);
    for (const auto& day : days_) {
        connect(day, &QCheckBox::toggled, this, [this] { actDaysCheckBoxSelected(); });
    }
    connect(foreverCheck_, &QCheckBox::toggled, this, describe);
    connect(playSoundCheck_, &QCheckBox::toggled, this, [this] { playSoundCheckChanged(); });
    connect(soundChooser_->fadeInCheck(), &QCheckBox::toggled, this, describe);
    connect(soundChooser_, &SoundChooser::soundChosen, this,
            [this](const QString& path) { soundChosen(path); });
    connect(soundChooser_, &SoundChooser::recordAsked, this, [this] { manageReminders(); });
    connect(soundChooser_, &SoundChooser::wellClicked, this, [this] { soundWellClicked(); });
    connect(speakNameCheck_, &QCheckBox::toggled, this, [this] { speakNameCheckChanged(); });
    connect(removeAlarmButton_, &QPushButton::clicked, this, [this] { removeAlarmButtonPushed(); });
    connect(recordButton_, &QPushButton::clicked, this, [this] { manageReminders(); });
    connect(cancelButton_, &QPushButton::clicked, this, [this] { cancelButtonPushed(); });
    connect(setButton_, &QPushButton::clicked, this, [this] { setButtonPushed(); });
}

void AlarmSetController::viewDidShow() {
    showAfterQuit();
    manageDescriptionLabel();  // an "At" time may have passed meanwhile
}

void AlarmSetController::showAfterQuit() {
    if (!afterQuitLabel_) {
        return;
    }
    const std::optional<QString> silent = UsersNotificationManager::alarmsStaySilentAfterQuit();
    afterQuitLabel_->setText(silent.value_or(QString()));
    afterQuitLabel_->setVisible(silent.has_value());
}

void AlarmSetController::reloadTitles() {
    alarmsArray_ = SavedAlarms::load();
    if (!titleBox_) {
        return;
    }
    const QSignalBlocker block(titleBox_);
    const QString text = titleBox_->currentText();
    titleBox_->clear();
    for (const auto& a : alarmsArray_) {
        titleBox_->addItem(a->title());
    }
    titleBox_->setCurrentIndex(-1);
    titleBox_->setEditText(text);
}

AlarmForm AlarmSetController::form() const {
    AlarmForm f;
    if (!root_) {
        return AlarmForm::fromAlarm(editingOne_.get(), now());
    }
    f.title = titleBox_->currentText();
    f.row = std::max(0, alarmTimeRadio_->checkedId());
    f.inTimeText = inTimeField_->text();
    f.hours = inTimeTypePopUp_->currentIndex() == 1;
    f.repeat = repeatCheck_->isChecked();
    f.atDate = atDatePicker_->date();
    f.atTime = atTimePicker_->time();
    f.everyDay = everyDayCheck_->isChecked();
    f.weekdayTime = atAlarmTimePicker_->time();
    for (std::size_t i = 0; i < days_.size(); ++i) {
        f.days[i] = days_[i]->isChecked();
    }
    f.keepForever = foreverCheck_->isChecked();
    f.snoozeMinutes = snoozeTimePopUp_->currentData().toInt();
    f.playSound = playSoundCheck_->isChecked();
    f.soundPath = soundPath_;
    f.fadeIn = soundChooser_->fadeInCheck()->isChecked();
    f.speak = speakNameCheck_->isChecked();
    f.voiceName = voiceName_;
    return f;
}

void AlarmSetController::showWithAlarm(const std::shared_ptr<Alarm>& alarm) {
    editingOne_ = alarm;
    if (titleBox_) {
        // The title names the alarm being edited: only a new one takes a typed title.
        titleBox_->setEditable(true);
        titleBox_->lineEdit()->setReadOnly(alarm != nullptr);
    }
    setAlarm(alarm.get());
    if (root_ && root_->window()->isVisible()) {
        root_->window()->raise();
        root_->window()->activateWindow();
    }
}

void AlarmSetController::setAlarm(const Alarm* alarm) {
    if (!root_) {
        return;
    }
    filling_ = true;
    const AlarmForm f = AlarmForm::fromAlarm(alarm, now());
    titleBox_->setEditText(f.title);
    alarmTimeRadio_->button(static_cast<int>(f.row))->setChecked(true);
    inTimeField_->setText(f.inTimeText);
    inTimeTypePopUp_->setCurrentIndex(f.hours ? 1 : 0);
    repeatCheck_->setChecked(f.repeat);
    atDatePicker_->setDate(f.atDate);
    atTimePicker_->setTime(f.atTime);
    everyDayCheck_->setChecked(f.everyDay);
    atAlarmTimePicker_->setTime(f.weekdayTime);
    for (std::size_t i = 0; i < days_.size(); ++i) {
        days_[i]->setChecked(f.days[i]);
    }
    foreverCheck_->setChecked(f.keepForever);
    const int snooze = snoozeTimePopUp_->findData(static_cast<int>(f.snoozeMinutes));
    snoozeTimePopUp_->setCurrentIndex(snooze >= 0 ? snooze : snoozeTimePopUp_->findData(5));
    setSoundPath(f.soundPath);
    playSoundCheck_->setChecked(f.playSound);
    soundChooser_->fadeInCheck()->setChecked(f.fadeIn);
    setVoiceName(f.voiceName);
    speakNameCheck_->setChecked(f.speak);
    removeAlarmButton_->setEnabled(false);
    filling_ = false;
    alarmTimeRadioChanged();
    playSoundCheckChanged();
    speakNameCheckChanged();
    manageDescriptionLabel();
}

void AlarmSetController::manageDescriptionLabel() {
    if (descriptionLabel_ && !filling_) {
        const AlarmForm f = form();
        descriptionLabel_->setText(f.sentence(timeFormat_));
        const std::optional<QString> passed = f.passedNote(now(), timeFormat_);
        passedNoteLabel_->setText(passed.value_or(QString()));
        passedNoteLabel_->setVisible(passed.has_value());
    }
}

void AlarmSetController::alarmTimeRadioChanged() {
    if (!root_) {
        return;
    }
    const int row = alarmTimeRadio_->checkedId();
    for (QWidget* w : {static_cast<QWidget*>(inTimeField_), static_cast<QWidget*>(inTimeTypePopUp_),
                       static_cast<QWidget*>(repeatCheck_)}) {
        w->setEnabled(row == 0);
    }
    for (QWidget* w : {static_cast<QWidget*>(atDatePicker_), static_cast<QWidget*>(atTimePicker_),
                       static_cast<QWidget*>(everyDayCheck_)}) {
        w->setEnabled(row == 1);
    }
    atAlarmTimePicker_->setEnabled(row == 2);
    for (const auto& day : days_) {
        day->setEnabled(row == 2);
    }
    foreverCheck_->setEnabled(row == 2 && form().anyDay());
    manageDescriptionLabel();
}

void AlarmSetController::actDaysCheckBoxSelected() {
    if (foreverCheck_ && alarmTimeRadio_) {
        foreverCheck_->setEnabled(alarmTimeRadio_->checkedId() == 2 && form().anyDay());
    }
    manageDescriptionLabel();
}

void AlarmSetController::playSoundCheckChanged() {
    if (!root_) {
        return;
    }
    soundChooser_->setActive(playSoundCheck_->isChecked());
    manageDescriptionLabel();
}

void AlarmSetController::speakNameCheckChanged() {
    if (!root_) {
        return;
    }
    voiceButton_->setEnabled(speakNameCheck_->isChecked());
    manageDescriptionLabel();
}

void AlarmSetController::setSoundPath(const QString& path) {
    soundPath_ = path;
    if (!root_) {
        return;
    }
    soundChooser_->showSound(path);
    manageDescriptionLabel();
}

void AlarmSetController::setVoiceName(const QString& name) {
    voiceName_ = name;
    if (voiceButton_) {
        voiceButton_->setText(name.isEmpty() ? tr("Select Voice") : name);
    }
    manageDescriptionLabel();
}

void AlarmSetController::fillVoiceMenu() {
    if (!voiceMenu_) {
        return;
    }
    voiceMenu_->clear();
    if (!textSpeaker_) {
        textSpeaker_ = std::make_unique<TextSpeaker>();
    }
    const QStringList names = textSpeaker_->voiceNames();
    if (names.isEmpty()) {
        voiceMenu_->addAction(tr("No voices installed"))->setEnabled(false);
    }
    for (const QString& name : names) {
        voiceMenu_->addAction(name, this, [this, name] {
            setVoiceName(name);
            const QString title = titleBox_ ? titleBox_->currentText() : QString();
            textSpeaker_->speakText(title.isEmpty() ? QStringLiteral("Name alarm please!") : title,
                                    textSpeaker_->indexOfVoice(name));
        });
    }
}

void AlarmSetController::soundChosen(const QString& path) {
    setSoundPath(path);
    if (playSoundCheck_ && !playSoundCheck_->isChecked()) {
        playSoundCheck_->setChecked(true);
    }
}

void AlarmSetController::manageReminders() {
    ReminderController& reminders = ReminderController::sharedInstance();
    // The message chosen with OK becomes the alarm's sound.
    reminders.setAccepted(
        [self = QPointer<AlarmSetController>(this)](const QString&, const QString& path) {
            if (self && self->playSoundCheck_) {
                self->playSoundCheck_->setChecked(true);
                self->setSoundPath(path);
            }
        });
    reminders.runWithAlarm(nullptr);
}

void AlarmSetController::soundWellClicked() {
    delegate2_.open(QUrl::fromLocalFile(AudioStorageController::storedSoundsPath()));
}

void AlarmSetController::helpBtnClicked() {
    delegate2_.openManual(Manual::Section::CreateAlarm);
}

void AlarmSetController::comboBoxSelectionDidChange(int index) {
    if (index < 0 || index >= static_cast<int>(alarmsArray_.size())) {
        return;
    }
    setAlarm(alarmsArray_[static_cast<std::size_t>(index)].get());
    removeAlarmButton_->setEnabled(true);
}

void AlarmSetController::removeAlarmButtonPushed() {
    const QString title = titleBox_ ? titleBox_->currentText() : QString();
    if (title.isEmpty() || !SavedAlarms::remove(title)) {
        return;
    }
    reloadTitles();
    setAlarm(alarmsArray_.empty() ? nullptr : alarmsArray_.front().get());
    removeAlarmButton_->setEnabled(false);
    if (delegate2_.UpdateMenu) {
        delegate2_.UpdateMenu(3);
    }
}

std::shared_ptr<Alarm> AlarmSetController::setButtonPushed() {
    const AlarmForm f = form();
    const QStringList problems = f.problems();
    if (!problems.isEmpty()) {
        showProblems(problems);
        return nullptr;
    }
    auto alarm = f.makeAlarm(now(), editingOne_.get());
    // Replaces the saved alarm of its title, or joins the list.
    SavedAlarms::updateAlarmList(*alarm, true);
    reloadTitles();
    if (delegate_ != nullptr) {
        delegate_->acceptedAlarm(*this, alarm);
    }
    // The form now edits the alarm just set: a second Set changes it rather than adding a
    // twin; New starts another.
    editingOne_ = alarm;
    titleBox_->lineEdit()->setReadOnly(true);
    showConfirmation(*alarm);
    return alarm;
}

void AlarmSetController::showProblems(const QStringList& lines) {
    lastAlertText_ = lines.join(QString());
    if (lines.front().startsWith(QLatin1String("Title")) && titleBox_) {
        titleBox_->setFocus();
    } else if (lines.front().startsWith(QLatin1String("Alarm time")) && inTimeField_) {
        inTimeField_->setFocus();
    }
    auto* alert = new QMessageBox(QMessageBox::Warning, QStringLiteral("Zephyrel"),
                                  tr("The alarm cannot be set yet."), QMessageBox::NoButton, root_);
    alert->setObjectName(QStringLiteral("alarmProblems"));
    alert->addButton(tr("Continue"), QMessageBox::AcceptRole);
    alert->setInformativeText(lastAlertText_.trimmed());
    platform::openDialog(alert);
}

void AlarmSetController::showConfirmation(const Alarm& alarm) {
    if (customAlert_) {
        customAlert_->close();
    }
    customAlert_ = new CustomAlert();
    QString message = tr("Alarm '%1' is set: %2")
                          .arg(alarm.title(), descriptionLabel_ ? descriptionLabel_->text()
                                                                : form().sentence(timeFormat_));
    if (const std::optional<QString> passed = form().passedNote(now(), timeFormat_)) {
        message += QLatin1Char(' ') + *passed;
    }
    // Told as it is set: the quit's notice would come too late to keep Talvor open.
    showAfterQuit();
    if (const std::optional<QString> silent =
            UsersNotificationManager::alarmsStaySilentAfterQuit()) {
        message += QStringLiteral("\n\n") + *silent;
    }
    customAlert_->message()->setText(message);
    platform::placeInFreeArea(*customAlert_);
    customAlert_->show();
    customAlert_->raise();
    customAlert_->activateWindow();
}

}  // namespace talvor
