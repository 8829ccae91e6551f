#include "TalvorTake5WindowsController.h"

#include "BreakFormatters.h"
#include "alarms/ReminderController.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/OpenDialogs.h"
#include "services/AudioStorageController.h"

#include <QButtonGroup>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace talvor {
namespace {

template <class W>
W* named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

// The time menu's group of the "Take 5..." item.
constexpr qint32 kTake5MenuGroup = 4;

const QString kShowTake5 = QStringLiteral("showTake5");

std::vector<PaneRow> take5Rows() {
    return {timeMenuSwitch(kShowTake5,
                           QT_TRANSLATE_NOOP("talvor::TalvorTake5WindowsController",
                                             "Show \"Take 5\" in the time menu"),
                           &TalvorTimeSettings::showTake5, kTake5MenuGroup)};
}

}  // namespace

TalvorTake5WindowsController::TalvorTake5WindowsController(QString nibName, PaneDelegate delegate)
    : PreferencePane(QStringLiteral("TalvorTake5WindowsController"), std::move(nibName),
                     QStringLiteral("Take 5")),
      delegate_(std::move(delegate)),
      settings_(TalvorTakeABreakSettings::sharedInstance()),
      table_(
          staticMetaObject.className(), take5Rows(),
          {{}, {}, PaneTableHost::menuRebuilds(delegate_.UpdateMenu), [this] { table_.load(); }}) {}

QCheckBox* TalvorTake5WindowsController::showTake5() const {
    return qobject_cast<QCheckBox*>(table_.control(kShowTake5));
}

TalvorTake5WindowsController::~TalvorTake5WindowsController() = default;

QSlider* TalvorTake5WindowsController::slider(Field tag) const {
    switch (tag) {
        case Frequency:
            return breakFreqSlider_;
        case Duration:
            return breakDurationSlider_;
        case Repeat:
            return breakRepeatSlider_;
    }
    return nullptr;
}

QLineEdit* TalvorTake5WindowsController::textField(Field tag) const {
    switch (tag) {
        case Frequency:
            return textBreakFreq_;
        case Duration:
            return textBreakDuration_;
        case Repeat:
            return textBreakRepeat_;
    }
    return nullptr;
}

std::unique_ptr<QWidget> TalvorTake5WindowsController::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(QStringLiteral("TalvorTake5WindowsController"));
    QWidget* v = view.get();
    auto* layout = new QVBoxLayout(v);
    layout->setContentsMargins(24, 16, 24, 16);

    buildSwitches(v, layout);
    buildNumbersBox(v, layout);
    buildSoundBox(v, layout);
    layout->addStretch(1);
    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *v, [this] { delegate_.open(PaneLinks::changeLogPage()); }, [this] { helpBtnClicked(); });
    layout->addLayout(links.layout);

    showStoredValues();
    connectControls();
    view->resize(480, 520);
    return view;
}

void TalvorTake5WindowsController::buildSwitches(QWidget* v, QVBoxLayout* layout) {
    auto* intro = new QLabel(tr("Take 5 reminds you to take a short break from the screen: "
                                "every so many minutes a break window counts the break down."),
                             v);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    table_.build(*v, *layout);
    isBreakEnabled_ = named(new QCheckBox(tr("Enable breaks"), v), "IsBreakEnabled");
    layout->addWidget(isBreakEnabled_);
}

void TalvorTake5WindowsController::buildNumbersBox(QWidget* v, QVBoxLayout* layout) {
    auto* numbersBox = new QGroupBox(tr("Breaks"), v);
    auto* grid = new QGridLayout(numbersBox);
    struct RowSpec {
        Field tag;
        const char* title;
        const char* slider;
        const char* field;
        int minimum;
        int maximum;
    };
    const RowSpec rows[] = {
        {Frequency, QT_TR_NOOP("Break every:"), "breakFreqSlider", "textBreakFreq", 5, 300},
        {Duration, QT_TR_NOOP("Break for:"), "breakDurationSlider", "textBreakDuration", 2, 60},
        {Repeat, QT_TR_NOOP("Repeat:"), "breakRepeatSlider", "textBreakRepeat", 2, 30},
    };
    for (int i = 0; i < 3; ++i) {
        const RowSpec& r = rows[i];
        grid->addWidget(new QLabel(tr(r.title), numbersBox), i, 0);
        auto* s = named(new QSlider(Qt::Horizontal, numbersBox), r.slider);
        s->setRange(r.minimum, r.maximum);
        grid->addWidget(s, i, 1);
        auto* f = named(new QLineEdit(numbersBox), r.field);
        f->setMaximumWidth(60);
        f->setProperty("tag", static_cast<int>(r.tag));
        BreakNumberFormatter* formatter = nullptr;
        switch (r.tag) {
            case Frequency:
                formatter = new BreakEveryFormatter(f);
                breakFreqSlider_ = s;
                textBreakFreq_ = f;
                break;
            case Duration:
                formatter = new BreakDurationFormatter(f);
                breakDurationSlider_ = s;
                textBreakDuration_ = f;
                break;
            case Repeat:
                formatter = new BreakRepeatFormatter(f);
                breakRepeatSlider_ = s;
                textBreakRepeat_ = f;
                break;
        }
        f->setValidator(formatter);
        grid->addWidget(f, i, 2);
    }
    grid->addWidget(new QLabel(tr("minutes"), numbersBox), 0, 3);
    textBreakDurationLbl_ = named(new QLabel(numbersBox), "textBreakDurationLbl");
    grid->addWidget(textBreakDurationLbl_, 1, 3);
    textBreakRepeatLbl_ = named(new QLabel(numbersBox), "textBreakRepeatLbl");
    grid->addWidget(textBreakRepeatLbl_, 2, 3);
    grid->setColumnStretch(1, 1);
    layout->addWidget(numbersBox);
}

void TalvorTake5WindowsController::buildSoundBox(QWidget* v, QVBoxLayout* layout) {
    auto* soundBox = new QGroupBox(tr("Sounds"), v);
    auto* sound = new QGridLayout(soundBox);
    breakEvery_ = named(new QRadioButton(tr("Break Every Sound"), soundBox), "breakEvery");
    breakDuration_ = named(new QRadioButton(tr("Break Duration Sound"), soundBox), "breakDuration");
    auto* radios = new QButtonGroup(soundBox);
    radios->addButton(breakEvery_);
    radios->addButton(breakDuration_);
    breakEvery_->setChecked(true);
    auto* radioRow = new QHBoxLayout;
    radioRow->addWidget(breakEvery_);
    radioRow->addWidget(breakDuration_);
    radioRow->addStretch(1);
    sound->addLayout(radioRow, 0, 0, 1, 2);
    soundChooser_ = new SoundChooser(
        {.recordTitle = QStringLiteral("Record Break Every/Duration Sound..."),
         .addFile = true,
         .well = true,
         .builtInPath = TalvorTakeABreakSettings::defaultSoundPath(),
         // The built-in sound can be heard too: it is what a break plays.
         .fileOf = [](const QString& path) { return TalvorTakeABreakSettings::soundFile(path); }},
        soundBox);
    recordButton_ = named(new QPushButton(tr("Record..."), soundChooser_), "recordButton");
    soundChooser_->addToRow(recordButton_);
    sound->addWidget(soundChooser_, 1, 0, 1, 2);
    layout->addWidget(soundBox);
}

void TalvorTake5WindowsController::showStoredValues() {
    // The stored values, shown without writing anything back.
    filling_ = true;
    settings_.loadPrefs();
    isBreakEnabled_->setChecked(settings_.enableTakeABreak());
    showValue(Frequency, settings_.takeABreakFrequency());
    showValue(Duration, settings_.takeABreakDuration());
    showValue(Repeat, settings_.takeABreakRepeat());
    setControlsEnabled(settings_.enableTakeABreak());
    showSound(settings_.soundPath());
    table_.load();
    filling_ = false;
}

void TalvorTake5WindowsController::connectControls() {
    connect(isBreakEnabled_, &QCheckBox::toggled, this, [this] { breakEnabledChanged(); });
    connect(breakFreqSlider_, &QSlider::valueChanged, this, [this](int x) { changeBreakFreq(x); });
    connect(breakDurationSlider_, &QSlider::valueChanged, this,
            [this](int x) { changeBeakDuration(x); });
    connect(breakRepeatSlider_, &QSlider::valueChanged, this,
            [this](int x) { changeBeakRepeat(x); });
    for (Field tag : {Frequency, Duration, Repeat}) {
        QLineEdit* f = textField(tag);
        connect(f, &QLineEdit::textEdited, this, [this, tag] { controlTextDidChange(tag); });
        // A number left below the minimum goes back to the slider's value.
        connect(f, &QLineEdit::editingFinished, this, [this, tag] {
            if (!filling_) {
                showValue(tag, slider(tag)->value());
            }
        });
    }
    connect(breakEvery_, &QRadioButton::toggled, this, [this](bool on) {
        soundOption(on ? SoundOption::BreakEvery : SoundOption::BreakDuration);
    });
    connect(soundChooser_, &SoundChooser::soundChosen, this,
            [this](const QString& path) { setSoundPath(path); });
    connect(soundChooser_, &SoundChooser::recordAsked, this, [this] { manageReminders(); });
    connect(soundChooser_, &SoundChooser::wellClicked, this, [this] { soundWellClicked(); });
    connect(recordButton_, &QPushButton::clicked, this, [this] { manageReminders(); });
}

void TalvorTake5WindowsController::setControlsEnabled(bool on) {
    for (Field tag : {Frequency, Duration, Repeat}) {
        slider(tag)->setEnabled(on);
        textField(tag)->setEnabled(on);
    }
}

void TalvorTake5WindowsController::showValue(Field tag, int value) {
    const bool wasFilling = std::exchange(filling_, true);
    {
        const QSignalBlocker block(slider(tag));
        slider(tag)->setValue(value);
    }
    textField(tag)->setText(QString::number(value));
    if (auto* formatter = dynamic_cast<const BreakNumberFormatter*>(textField(tag)->validator())) {
        formatter->setFallback(slider(tag)->value());
    }
    if (tag == Duration) {
        textBreakDurationLbl_->setText(value < 2 ? tr("minute") : tr("minutes"));
    } else if (tag == Repeat) {
        textBreakRepeatLbl_->setText(value < 2 ? tr("time") : tr("times"));
    }
    filling_ = wasFilling;
}

void TalvorTake5WindowsController::storeValue(Field tag, int value) {
    switch (tag) {
        case Frequency:
            settings_.setTakeABreakFrequency(value);
            break;
        case Duration:
            settings_.setTakeABreakDuration(value);
            break;
        case Repeat:
            settings_.setTakeABreakRepeat(value);
            break;
    }
    settings_.writePrefs();
}

void TalvorTake5WindowsController::changeBreakFreq(int value) {
    showValue(Frequency, value);
    storeValue(Frequency, value);
}

void TalvorTake5WindowsController::changeBeakDuration(int value) {
    showValue(Duration, value);
    storeValue(Duration, value);
}

void TalvorTake5WindowsController::changeBeakRepeat(int value) {
    showValue(Repeat, value);
    storeValue(Repeat, value);
}

void TalvorTake5WindowsController::controlTextDidChange(Field tag) {
    QLineEdit* field = textField(tag);
    if (filling_ || field == nullptr || !field->hasAcceptableInput()) {
        return;
    }
    const int value = field->text().toInt();
    {
        const QSignalBlocker block(slider(tag));
        slider(tag)->setValue(value);
    }
    if (auto* formatter = dynamic_cast<const BreakNumberFormatter*>(field->validator())) {
        formatter->setFallback(value);
    }
    if (tag == Duration) {
        textBreakDurationLbl_->setText(value < 2 ? tr("minute") : tr("minutes"));
    } else if (tag == Repeat) {
        textBreakRepeatLbl_->setText(value < 2 ? tr("time") : tr("times"));
    }
    storeValue(tag, value);
}

void TalvorTake5WindowsController::showTake5Changed() {
    if (const QCheckBox* box = showTake5()) {
        table_.apply(kShowTake5, box->isChecked());
    }
}

void TalvorTake5WindowsController::breakEnabledChanged() {
    const bool on = isBreakEnabled_->isChecked();
    settings_.setEnableTakeABreak(on);
    settings_.writePrefs();
    if (on) {
        enableTake5();
    } else {
        setControlsEnabled(false);
        delegate_.call(delegate_.disableTake5);
    }
}

void TalvorTake5WindowsController::enableTake5() {
    settings_.loadPrefs();
    setControlsEnabled(true);
    delegate_.call(delegate_.enableTake5);
}

TalvorTake5WindowsController::SoundOption TalvorTake5WindowsController::currentSoundOption() const {
    return breakDuration_ && breakDuration_->isChecked() ? SoundOption::BreakDuration
                                                         : SoundOption::BreakEvery;
}

void TalvorTake5WindowsController::soundOption(SoundOption option) {
    if (soundChooser_) {
        soundChooser_->stopPreview();
    }
    showSound(option == SoundOption::BreakEvery ? settings_.soundPath()
                                                : settings_.durationSoundPath());
}

void TalvorTake5WindowsController::showSound(const QString& path) {
    if (soundChooser_) {
        soundChooser_->showSound(path);
    }
}

void TalvorTake5WindowsController::setSoundPath(const QString& path) {
    if (!path.isEmpty()) {
        if (currentSoundOption() == SoundOption::BreakEvery) {
            settings_.setSoundPath(path);
        } else {
            settings_.setDurationSoundPath(path);
        }
        settings_.writePrefs();
    }
    showSound(path);
}

void TalvorTake5WindowsController::manageReminders() {
    Take5ReminderController& reminders = Take5ReminderController::sharedInstance();
    // The message chosen with OK becomes the sound the radios choose.
    reminders.setAccepted(
        [self = QPointer<TalvorTake5WindowsController>(this)](const QString&, const QString& path) {
            if (self) {
                self->setSoundPath(path);
            }
        });
    reminders.runWithAlarm(nullptr);
}

void TalvorTake5WindowsController::soundWellClicked() {
    delegate_.open(QUrl::fromLocalFile(AudioStorageController::storedSoundsPath()));
}

void TalvorTake5WindowsController::helpBtnClicked() {
    delegate_.openManual(Manual::Section::Take5);
}

}  // namespace talvor
