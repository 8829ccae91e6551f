#include "TalvorPrefsChimesView.h"

#include "alarms/AlarmsKeys.h"
#include "foundation/PreferenceDomain.h"
#include "platform/Clock.h"
#include "platform/Menu.h"
#include "platform/OpenDialogs.h"
#include "platform/SoundPlayer.h"
#include "platform/UserDefaults.h"
#include "services/SoundKeys.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStandardItemModel>
#include <QVBoxLayout>

namespace talvor {
namespace {

constexpr int kChooseFileItem = 1;

const TalvorPrefsChimesView::Chime kChimes[] = {
    TalvorPrefsChimesView::Chime::Hour, TalvorPrefsChimesView::Chime::Quarter,
    TalvorPrefsChimesView::Chime::Half, TalvorPrefsChimesView::Chime::ThreeQuarter};

QString pathOfItem(const QComboBox& menu, int index) {
    return index < 0 ? QString() : menu.itemData(index).toString();
}

QString selectedPath(const QComboBox* menu) {
    return menu == nullptr ? QString() : pathOfItem(*menu, menu->currentIndex());
}

int selectedTag(const QComboBox* menu) {
    return menu == nullptr ? 0 : menu->currentData().toInt();
}

void selectTag(QComboBox& menu, int tag) {
    menu.setCurrentIndex(std::max(0, menu.findData(tag)));
}

void chooseWithDialog(const QString& startPath,
                      std::function<void(std::optional<QString>)> chosen) {
    auto* chooser = new QFileDialog(
        nullptr, QCoreApplication::translate("Chimes", "Select Sound (AIFF, MP3, WAV)"),
        startPath.isEmpty() ? QDir::homePath() : startPath,
        QStringLiteral("Sounds (*.aif *.aiff *.mp3 *.wav *.ogg *.oga *.flac *.m4a)"));
    chooser->setFileMode(QFileDialog::ExistingFile);
    platform::openDialog(chooser, [chooser, chosen = std::move(chosen)](int result) {
        const QStringList files =
            result == QDialog::Accepted ? chooser->selectedFiles() : QStringList();
        chosen(files.isEmpty() || files.front().isEmpty() ? std::nullopt
                                                          : std::optional(files.front()));
    });
}

// Headers of the sound groups come over disabled, so that they cannot be chosen.
void appendMenu(QComboBox& combo, const platform::Menu& menu) {
    auto* model = qobject_cast<QStandardItemModel*>(combo.model());
    for (const auto& item : menu.itemArray()) {
        if (item->isSeparatorItem()) {
            combo.insertSeparator(combo.count());
            continue;
        }
        combo.addItem(item->title(), item->representedObject());
        if (!item->isEnabled() && model != nullptr) {
            model->item(combo.count() - 1)->setEnabled(false);
        }
    }
}

}  // namespace

TalvorPrefsChimesView::TalvorPrefsChimesView(QString nibName, PaneDelegate delegate,
                                             ChimesPaneServices services)
    : PreferencePane(QStringLiteral("TalvorPrefsChimesView"), std::move(nibName),
                     QStringLiteral("Chimes")),
      delegate_(std::move(delegate)),
      services_(std::move(services)) {
    if (services_.sounds == nullptr) {
        services_.sounds = &platform::SoundSystem::shared();
    }
    if (services_.speech == nullptr) {
        services_.speech = &platform::SpeechSynthesizer::shared();
    }
    if (!services_.chooseSoundFile) {
        services_.chooseSoundFile = chooseWithDialog;
    }
    if (!services_.currentHour) {
        services_.currentHour = [] {
            const platform::Clock& clock = platform::Clock::shared();
            return clock.now().toQDateTime().toTimeZone(clock.currentZone()).time().hour();
        };
    }
}

TalvorPrefsChimesView::~TalvorPrefsChimesView() {
    stopTestSound();
    if (speechTime_ != nullptr) {
        speechTime_->stopSpeaking();
    }
}

QString TalvorPrefsChimesView::soundKey(Chime chime) {
    switch (chime) {
        case Chime::Hour:
            return keys::CustomChimeSoundPath;
        case Chime::Quarter:
            return keys::ChimeQuarterSoundPath;
        case Chime::Half:
            return keys::ChimeHalfSoundPath;
        case Chime::ThreeQuarter:
            return keys::Chime3QuarterSoundPath;
    }
    return keys::CustomSoundPath;
}

QString TalvorPrefsChimesView::volumeToolTip(int value) {
    return QString::asprintf("Using volume %3.0f%%", value * 100.0 / 256.0);
}

QString TalvorPrefsChimesView::voiceToolTip(const platform::Voice& voice) {
    QString gender;
    switch (voice.gender) {
        case platform::Voice::Gender::Neuter:
            gender = QStringLiteral("Neuter");
            break;
        case platform::Voice::Gender::Male:
            gender = QStringLiteral("Male ");
            break;
        case platform::Voice::Gender::Female:
            gender = QStringLiteral("Female ");
            break;
    }
    return QStringLiteral("%1 (Gender: %2, Age: %3)").arg(voice.name, gender, voice.age);
}

ChimeStates TalvorPrefsChimesView::statesFromControls() const {
    ChimeStates s;
    s.bSpeakHour = SpeakHour_ && SpeakHour_->isChecked() ? 1 : 0;
    s.bPlayChimes = PlayChimes_ && PlayChimes_->isChecked() ? 1 : 0;
    s.bChimeOnlyOnce = ChimeOnlyOnce_ ? std::max(0, ChimeOnlyOnce_->checkedId()) : 0;
    const auto on = [this](Chime c) { return selectedPath(soundMenu(c)).isEmpty() ? 0 : 1; };
    s.bChimeHour = on(Chime::Hour);
    s.bChimeQuarter = on(Chime::Quarter);
    s.bChimeHalf = on(Chime::Half);
    s.bChime3Quarter = on(Chime::ThreeQuarter);
    return s;
}

void TalvorPrefsChimesView::SaveChimerOptions() {
    platform::PreferenceStore& domain = PreferenceDomain::store();
    // With no speech engine there is no voice to choose: keep the stored one.
    if (voiceMenu_ && voiceMenu_->currentIndex() >= 0) {
        domain.setValue(keys::chimeVoice, voiceMenu_->currentData().toString());
    }
    if (Volume_) {
        domain.setValue(keys::ChimeVolume, qint64(Volume_->value()));
    }
    if (QuietStart_ && QuietEnd_) {
        domain.setValue(keys::QuietStart, qint64(selectedTag(QuietStart_)));
        domain.setValue(keys::QuietEnd, qint64(selectedTag(QuietEnd_)));
        QuietEnd_->setEnabled(selectedTag(QuietStart_) != 0);
    }
    for (Chime chime : {Chime::Hour, Chime::Quarter, Chime::ThreeQuarter, Chime::Half}) {
        const QString path = selectedPath(soundMenu(chime));
        if (path.isEmpty()) {
            domain.removeValue(soundKey(chime));
        } else {
            domain.setValue(soundKey(chime), path);
        }
    }
    const QString states = statesFromControls().format();
    domain.setValue(keys::ChimeStates, states);
    domain.synchronize();
    delegate_.postDistributed(keys::LoadTimerOptionsNotification, states);
    delegate_.call(delegate_.LoadTimerOptions);
}

void TalvorPrefsChimesView::selectVoice() {
    if (!voiceMenu_) {
        return;
    }
    const QString fallback = services_.speech->defaultVoice();
    const QString voice =
        PreferenceDomain::store().stringValue(keys::chimeVoice).value_or(fallback);
    int index = voiceMenu_->findData(voice);
    if (index < 0) {
        index = voiceMenu_->findData(fallback);
    }
    if (index < 0) {
        index = std::min(1, voiceMenu_->count() - 1);
    }
    voiceMenu_->setCurrentIndex(index);
    voiceMenu_->setToolTip(voiceMenu_->itemData(index, Qt::ToolTipRole).toString());
}

void TalvorPrefsChimesView::loadSoundMenu(Chime chime) {
    QComboBox* menu = soundMenu(chime);
    if (menu == nullptr) {
        return;
    }
    const std::optional<QString> path = PreferenceDomain::store().stringValue(soundKey(chime));
    if (!path || path->isEmpty()) {
        menu->setCurrentIndex(0);
        shownSound_[static_cast<int>(chime)] = 0;
        return;
    }
    int index = menu->findData(*path);
    if (index < 0) {
        // A file of the user's own: it gets an item of its own, so it stays chosen.
        index = kChooseFileItem + 1;
        menu->insertItem(index, QFileInfo(*path).fileName(), *path);
    }
    menu->setCurrentIndex(index);
    shownSound_[static_cast<int>(chime)] = index;
}

void TalvorPrefsChimesView::fillSoundMenu(QComboBox& menu) const {
    menu.addItem(tr("No Sound"));
    menu.addItem(tr("Choose a File…"));
    auto sounds = std::make_shared<platform::Menu>();
    TalvorLoadPopUpSounds::TalvorLoadSoundInPopUp(sounds.get(), services_.folders);
    appendMenu(menu, *sounds);
}

void TalvorPrefsChimesView::reloadSoundMenus() {
    for (Chime chime : kChimes) {
        if (QComboBox* menu = soundMenu(chime)) {
            const QSignalBlocker block(menu);
            menu->clear();
            fillSoundMenu(*menu);
            loadSoundMenu(chime);
        }
    }
}

void TalvorPrefsChimesView::LoadChimeOptions() {
    platform::PreferenceStore& domain = PreferenceDomain::store();
    domain.synchronize();
    // Loading shows what is stored and never writes.
    const QSignalBlocker blockVoice(voiceMenu_.data());
    selectVoice();

    const ChimeStates s =
        ChimeStates::parse(domain.stringValue(keys::ChimeStates).value_or(QString()));
    if (ChimeOnlyOnce_) {
        if (QAbstractButton* column = ChimeOnlyOnce_->button(s.bChimeOnlyOnce)) {
            column->setChecked(true);
        } else {
            ChimeOnlyOnce_->setExclusive(false);
            for (QAbstractButton* b : ChimeOnlyOnce_->buttons()) {
                b->setChecked(false);
            }
            ChimeOnlyOnce_->setExclusive(true);
        }
    }
    if (SpeakHour_) {
        SpeakHour_->setChecked(s.bSpeakHour != 0);
    }
    if (PlayChimes_) {
        PlayChimes_->setChecked(s.bPlayChimes != 0);
    }
    for (Chime chime : {Chime::Hour, Chime::Half, Chime::Quarter, Chime::ThreeQuarter}) {
        const QSignalBlocker block(soundMenu(chime));
        loadSoundMenu(chime);
    }
    if (QuietStart_ && QuietEnd_) {
        const QSignalBlocker blockStart(QuietStart_.data());
        const QSignalBlocker blockEnd(QuietEnd_.data());
        const int start = PreferenceDomain::readInteger(keys::QuietStart, 0);
        QuietEnd_->setEnabled(start != 0);
        selectTag(*QuietStart_, start);
        selectTag(*QuietEnd_, PreferenceDomain::readInteger(keys::QuietEnd, 0));
    }
    if (Volume_) {
        if (const std::optional<qint64> volume = domain.integerValue(keys::ChimeVolume)) {
            const QSignalBlocker block(Volume_.data());
            Volume_->setValue(static_cast<int>(*volume));
            Volume_->setToolTip(volumeToolTip(Volume_->value()));
        }
    }
}

void TalvorPrefsChimesView::stopTestSound() {
    if (myTestSound_) {
        myTestSound_->didFinishPlaying = nullptr;
        myTestSound_->stop();
        myTestSound_.reset();
    }
}

void TalvorPrefsChimesView::menuPlaySoundSelected(Chime chime) {
    stopTestSound();
    QComboBox* menu = soundMenu(chime);
    if (menu == nullptr) {
        return;
    }
    if (menu->currentIndex() <= 0) {
        shownSound_[static_cast<int>(chime)] = 0;
        // The full store, so that the packed flags agree with the removed path.
        PreferenceDomain::store().removeValue(soundKey(chime));
        SaveChimerOptions();
        return;
    }
    if (menu->currentIndex() == kChooseFileItem) {
        GetSoundFile(chime, [this, chime, menu = QPointer<QComboBox>(menu)](bool chosen) {
            if (menu == nullptr) {
                return;
            }
            // A cancelled chooser leaves the sound as it was.
            if (!chosen && selectedPath(menu).isEmpty()) {
                menu->setCurrentIndex(shownSound_[static_cast<int>(chime)]);
                return;
            }
            playSelectedSound(chime);
        });
        return;
    }
    playSelectedSound(chime);
}

void TalvorPrefsChimesView::playSelectedSound(Chime chime) {
    QComboBox* menu = soundMenu(chime);
    shownSound_[static_cast<int>(chime)] = menu->currentIndex();
    const QString path = selectedPath(menu);
    std::shared_ptr<platform::SoundPlayer> sound =
        path.isEmpty() ? nullptr : services_.sounds->soundWithContentsOfFile(path);
    if (!sound) {
        QApplication::beep();
    } else {
        if (Volume_ && Volume_->value() != 0) {
            sound->setVolume(static_cast<float>(Volume_->value() / 255.0));
            Volume_->setToolTip(volumeToolTip(Volume_->value()));
        }
        if (const std::optional<QString> device =
                services_.sounds->defaultAlertOutputDeviceIdentifier()) {
            sound->setPlaybackDeviceIdentifier(*device);
        }
        platform::SoundPlayer* raw = sound.get();
        sound->didFinishPlaying = [this, raw](bool) {
            if (myTestSound_.get() == raw) {
                myTestSound_.reset();
            }
        };
        myTestSound_ = std::move(sound);
        myTestSound_->play();
    }
    SaveChimerOptions();
}

void TalvorPrefsChimesView::GetSoundFile(Chime chime, std::function<void(bool chosen)> done) {
    const QString start = platform::UserDefaults::standard().stringForKey(soundKey(chime));
    // The pane may be gone when the answer comes.
    services_.chooseSoundFile(start, [self = QPointer<TalvorPrefsChimesView>(this), chime,
                                      done = std::move(done)](std::optional<QString> file) {
        if (self == nullptr) {
            return;
        }
        QComboBox* menu = self->soundMenu(chime);
        const bool chosen = file && menu != nullptr;
        if (chosen) {
            PreferenceDomain::store().setValue(soundKey(chime), *file);
            menu->setItemData(menu->currentIndex(), *file);
        }
        if (done) {
            done(chosen);
        }
    });
}

void TalvorPrefsChimesView::setChimeVolume() {
    QComboBox* hour = soundMenu(Chime::Hour);
    // Moving the slider previews the hour sound; it never asks for a file.
    if (hour != nullptr && hour->currentIndex() == kChooseFileItem &&
        selectedPath(hour).isEmpty()) {
        stopTestSound();
        SaveChimerOptions();
        return;
    }
    menuPlaySoundSelected(Chime::Hour);
}

void TalvorPrefsChimesView::quitTimePeriod(bool start) {
    if (start && QuietEnd_) {
        QuietEnd_->setEnabled(selectedTag(QuietStart_) != 0);
    }
    store();
}

void TalvorPrefsChimesView::setChimeOptions(int column) {
    if (ChimeOnlyOnce_) {
        if (QAbstractButton* b = ChimeOnlyOnce_->button(column)) {
            b->setChecked(true);
        }
    }
    store();
}

void TalvorPrefsChimesView::store() {
    SaveChimerOptions();
    delegate_.postDistributed(keys::LoadTimerOptionsNotification);
}

void TalvorPrefsChimesView::speakHours() {
    SaveChimerOptions();
}

void TalvorPrefsChimesView::playChimes() {
    SaveChimerOptions();
}

void TalvorPrefsChimesView::menuVoiceSettings() {
    SaveChimerOptions();
}

void TalvorPrefsChimesView::menuOpenVoiceSettings() {
    const QString voice = voiceMenu_ ? voiceMenu_->currentData().toString() : QString();
    if (!voice.isEmpty()) {
        if (speechTime_ == nullptr) {
            speechTime_ = services_.speech;
        }
        speechTime_->stopSpeaking();
        speechTime_->startSpeaking(
            QString::asprintf("Noon, Mid Night, %d oClock", services_.currentHour()), voice);
        voiceMenu_->setToolTip(voiceMenu_->currentData(Qt::ToolTipRole).toString());
    }
    SaveChimerOptions();
}

void TalvorPrefsChimesView::helpBtnClicked() {
    delegate_.openManual(helpPage());
}

void TalvorPrefsChimesView::OnVersionNoClicked() {
    delegate_.open(PaneLinks::changeLogPage());
}

void TalvorPrefsChimesView::viewDidShow() {
    if (viewIfLoaded() != nullptr) {
        LoadChimeOptions();
    }
}

void TalvorPrefsChimesView::viewWillHide() {
    if (viewIfLoaded() != nullptr) {
        SaveChimerOptions();
    }
}

void TalvorPrefsChimesView::fillVoices() {
    for (const platform::Voice& voice : services_.speech->availableVoices()) {
        voiceMenu_->addItem(voice.name, voice.identifier);
        voiceMenu_->setItemData(voiceMenu_->count() - 1, voiceToolTip(voice), Qt::ToolTipRole);
    }
}

std::unique_ptr<QWidget> TalvorPrefsChimesView::loadView() {
    auto view = std::make_unique<QWidget>();
    view->setObjectName(className());
    auto* layout = new QVBoxLayout(view.get());
    layout->setContentsMargins(24, 20, 24, 20);
    auto* form = new QFormLayout();
    layout->addLayout(form);

    SpeakHour_ = new QCheckBox(tr("Speak the hour"), view.get());
    SpeakHour_->setObjectName(QStringLiteral("SpeakHour"));
    PlayChimes_ = new QCheckBox(tr("Strike the hour"), view.get());
    PlayChimes_->setObjectName(QStringLiteral("PlayChimes"));
    auto* boxes = new QHBoxLayout();
    boxes->addWidget(SpeakHour_);
    boxes->addWidget(PlayChimes_);
    boxes->addStretch(1);
    form->addRow(boxes);

    ChimeOnlyOnce_ = new QButtonGroup(view.get());
    auto* strikes = new QHBoxLayout();
    const QString columns[] = {tr("Count the hours"), tr("Strike once")};
    for (int column = 0; column < 2; ++column) {
        auto* radio = new QRadioButton(columns[column], view.get());
        radio->setObjectName(QStringLiteral("ChimeOnlyOnce%1").arg(column));
        ChimeOnlyOnce_->addButton(radio, column);
        strikes->addWidget(radio);
    }
    strikes->addStretch(1);
    form->addRow(tr("Strikes:"), strikes);

    voiceMenu_ = new QComboBox(view.get());
    voiceMenu_->setObjectName(QStringLiteral("voiceMenu"));
    fillVoices();
    form->addRow(tr("Voice:"), voiceMenu_);

    const std::pair<Chime, QString> sounds[] = {
        {Chime::Hour, QStringLiteral("ChimeMenuHour")},
        {Chime::Quarter, QStringLiteral("ChimeMenuQuarter")},
        {Chime::Half, QStringLiteral("ChimeMenuHalf")},
        {Chime::ThreeQuarter, QStringLiteral("ChimeMenu3Quarter")},
    };
    const QString labels[] = {tr("Hour:"), tr("Quarter past:"), tr("Half past:"),
                              tr("Quarter to:")};
    for (const auto& [chime, name] : sounds) {
        auto* menu = new QComboBox(view.get());
        menu->setObjectName(name);
        fillSoundMenu(*menu);
        soundMenus_[static_cast<int>(chime)] = menu;
        form->addRow(labels[static_cast<int>(chime)], menu);
    }

    Volume_ = new QSlider(Qt::Horizontal, view.get());
    Volume_->setObjectName(QStringLiteral("Volume"));
    Volume_->setRange(0, 255);
    Volume_->setValue(255);
    form->addRow(tr("Volume:"), Volume_);

    QuietStart_ = new QComboBox(view.get());
    QuietStart_->setObjectName(QStringLiteral("QuietStart"));
    QuietEnd_ = new QComboBox(view.get());
    QuietEnd_->setObjectName(QStringLiteral("QuietEnd"));
    // A start of 0 means no quiet hours, so a start at midnight is stored as 2400, which
    // the chimes read as "from midnight". An end of 0 is already "until midnight": the end
    // list offers it as 00:00.
    QuietStart_->addItem(tr("None"), 0);
    QuietStart_->addItem(QStringLiteral("00:00"), 2400);
    QuietEnd_->addItem(QStringLiteral("00:00"), 0);
    for (QComboBox* quiet : {QuietStart_.data(), QuietEnd_.data()}) {
        for (int hour = 1; hour < 24; ++hour) {
            quiet->addItem(QStringLiteral("%1:00").arg(hour, 2, 10, QLatin1Char('0')), hour * 100);
        }
    }
    auto* quiet = new QHBoxLayout();
    quiet->addWidget(QuietStart_);
    quiet->addWidget(new QLabel(tr("to"), view.get()));
    quiet->addWidget(QuietEnd_);
    quiet->addStretch(1);
    form->addRow(tr("Quiet hours:"), quiet);

    layout->addStretch(1);
    const PaneLinks::LinkRow links = PaneLinks::makeLinkRow(
        *view, [this] { OnVersionNoClicked(); }, [this] { helpBtnClicked(); });
    btnHelpVersionNo_ = links.versionButton;
    btnHelpVersionNo_->setObjectName(QStringLiteral("btnHelpVersionNo"));
    layout->addLayout(links.layout);

    LoadChimeOptions();
    libraryLoaded_ = platform::NotificationCenter::defaultCenter().addObserver(
        SoundKeys::SoundLibraryDidLoad, QVariant(),
        [this](const platform::Notification&) { reloadSoundMenus(); });

    connect(SpeakHour_, &QCheckBox::clicked, this, [this] { speakHours(); });
    connect(PlayChimes_, &QCheckBox::clicked, this, [this] { playChimes(); });
    connect(ChimeOnlyOnce_, &QButtonGroup::idClicked, this,
            [this](int id) { setChimeOptions(id); });
    connect(voiceMenu_, &QComboBox::activated, this, [this] { menuOpenVoiceSettings(); });
    for (Chime chime : kChimes) {
        connect(soundMenu(chime), &QComboBox::activated, this,
                [this, chime] { menuPlaySoundSelected(chime); });
    }
    connect(QuietStart_, &QComboBox::activated, this, [this] { quitTimePeriod(true); });
    connect(QuietEnd_, &QComboBox::activated, this, [this] { quitTimePeriod(false); });
    connect(Volume_, &QSlider::sliderReleased, this, [this] { setChimeVolume(); });
    connect(Volume_, &QSlider::valueChanged, this, [this] {
        if (!Volume_->isSliderDown()) {
            setChimeVolume();
        }
    });

    view->resize(560, 480);
    return view;
}

}  // namespace talvor
