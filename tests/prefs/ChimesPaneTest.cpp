#include "alarms/TalvorChimeSettings.h"
#include "foundation/PreferenceDomain.h"
#include "platform/DistributedNotificationCenter.h"
#include "prefs/TalvorPrefsChimesView.h"
#include "support/FakeClock.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeSpeechSynthesizer.h"
#include "support/ManualScheduler.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QRadioButton>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Chime = TalvorPrefsChimesView::Chime;
const QString kStates = QStringLiteral("ChimeStates");
const QString kLoad = QStringLiteral("com.marblecastle.talvor.LoadTimerOptions");

// A memory domain, a folder of two sounds, fake sound and speech, and a delegate and a
// notification centre that record what the pane announces.
class ChimesPane : public ::testing::Test {
  protected:
    ChimesPane() {
        folders.systemSounds = dir.path();
        for (const char* name : {"Bell.wav", "Ding.wav"}) {
            QFile file(dir.path() + QLatin1Char('/') + QLatin1String(name));
            EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        }
        bell = QFileInfo(dir.path() + QStringLiteral("/Bell.wav")).canonicalFilePath();
        ding = QFileInfo(dir.path() + QStringLiteral("/Ding.wav")).canonicalFilePath();
        sounds.addSound(bell, 2.0);
        sounds.addSound(ding, 2.0);
        sounds.alertDevice = QStringLiteral("alert-sink");
        speech.voices = {
            {QStringLiteral("en_GB/Alan"), QStringLiteral("Alan"), platform::Voice::Gender::Male,
             QStringLiteral("Adult")},
            {QStringLiteral("en_US/Kal"), QStringLiteral("Kal"), platform::Voice::Gender::Neuter,
             QStringLiteral("Other")},
            {QStringLiteral("en_US/Slt"), QStringLiteral("Slt"), platform::Voice::Gender::Female,
             QStringLiteral("Senior")},
        };
        speech.defaultVoiceId = QStringLiteral("en_US/Kal");
        delegate.LoadTimerOptions = [this] { ++reloads; };
        delegate.openURL = [](const QUrl&) {};
        delegate.distributedCenter = &center;
        watch = center.addObserver(QString(), QVariant(), [this](const platform::Notification& n) {
            posted << n.name + QLatin1Char('|') + n.object.toString();
        });
    }

    std::unique_ptr<TalvorPrefsChimesView> makePane() {
        ChimesPaneServices services;
        services.sounds = &sounds;
        services.speech = &speech;
        services.folders = folders;
        services.currentHour = [] { return 7; };
        services.chooseSoundFile = [this](const QString& start,
                                          std::function<void(std::optional<QString>)> chosen) {
            chooserStarts << start;
            if (answerLater) {
                pendingChoice = std::move(chosen);
            } else {
                chosen(chosenFile);
            }
        };
        auto pane = std::make_unique<TalvorPrefsChimesView>(QStringLiteral("PrefChimes"), delegate,
                                                            services);
        pane->view();
        return pane;
    }
    QVariant stored(const QString& key) { return domain.store().value(key); }
    QString states() { return stored(kStates).toString(); }
    QStringList takePosted() {
        center.flush();
        QCoreApplication::sendPostedEvents();
        return std::exchange(posted, {});
    }
    static void choose(QComboBox* menu, int index) {
        menu->setCurrentIndex(index);
        emit menu->activated(index);
    }
    static int indexOf(QComboBox* menu, const QString& path) { return menu->findData(path); }

    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::FakeClock clock;
    test::ManualScheduler scheduler{clock};
    test::FakeSoundSystem sounds{scheduler};
    test::FakeSpeechSynthesizer speech;
    QTemporaryDir dir;
    SoundMenuFolders folders;
    QString bell;
    QString ding;
    platform::DistributedNotificationCenter center;
    platform::Observation watch;
    PaneDelegate delegate;
    int reloads = 0;
    QStringList posted;
    QStringList chooserStarts;
    std::optional<QString> chosenFile;
    bool answerLater = false;  // the chooser stays open until pendingChoice is called
    std::function<void(std::optional<QString>)> pendingChoice;
};

TEST(prefsChimeStatesText, ReadsWhatItCanAndWritesEightFields) {
    const struct {
        const char* text;
        ChimeStates states;
    } cases[] = {
        {"Chimes: 1 0 1 1 0 1 1 1", {1, 0, 1, 1, 0, 1, 1, 1}},
        {"Chimes: 1 1 1 1 1", {1, 1, 1, 1, 1, 0, 0, 0}},  // an older five-number text
        {"", {}},
        {"garbage", {}},
        {"Chimes: 1 x 1", {1, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ChimeStates::parse(QString::fromLatin1(c.text)), c.states);
    }
    const ChimeStates s{1, 0, 0, 1, 0, 1, 0, 0};
    EXPECT_EQ(s.format(), QStringLiteral("Chimes: 1 0 0 1 0 1 0 0"));
    EXPECT_EQ(ChimeStates::parse(s.format()), s);
}

using prefsChimesPane = ChimesPane;

TEST_F(prefsChimesPane, EachControlStoresAnnouncesAndReloadsTheChimes) {
    // control -> stored key and value -> notifications (object after "|") and reloads.
    struct Case {
        const char* name;
        std::function<void(TalvorPrefsChimesView&)> act;
        QString key;
        QVariant value;
        QString statesAfter;
        QStringList posts;
    };
    const auto withStates = [](const char* s) {
        return kLoad + QLatin1Char('|') + QLatin1String(s);
    };
    const QString bare = kLoad + QLatin1Char('|');
    const Case cases[] = {
        {"speak",
         [](auto& p) { p.SpeakHour()->click(); },
         kStates,
         QStringLiteral("Chimes: 1 0 0 0 0 0 0 0"),
         QStringLiteral("Chimes: 1 0 0 0 0 0 0 0"),
         {withStates("Chimes: 1 0 0 0 0 0 0 0")}},
        {"strike",
         [](auto& p) { p.PlayChimes()->click(); },
         kStates,
         QStringLiteral("Chimes: 0 1 0 0 0 0 0 0"),
         QStringLiteral("Chimes: 0 1 0 0 0 0 0 0"),
         {withStates("Chimes: 0 1 0 0 0 0 0 0")}},
        {"strike once",
         [](auto& p) { p.view()->template findChild<QRadioButton*>("ChimeOnlyOnce1")->click(); },
         kStates,
         QStringLiteral("Chimes: 0 0 1 0 0 0 0 0"),
         QStringLiteral("Chimes: 0 0 1 0 0 0 0 0"),
         {withStates("Chimes: 0 0 1 0 0 0 0 0"), bare}},
        {"quiet start",
         [](auto& p) { choose(p.QuietStart(), p.QuietStart()->findData(2200)); },
         QStringLiteral("QuietStart"),
         qint64(2200),
         QStringLiteral("Chimes: 0 0 0 0 0 0 0 0"),
         {withStates("Chimes: 0 0 0 0 0 0 0 0"), bare}},
        {"quiet end",
         [](auto& p) { choose(p.QuietEnd(), p.QuietEnd()->findData(700)); },
         QStringLiteral("QuietEnd"),
         qint64(700),
         QStringLiteral("Chimes: 0 0 0 0 0 0 0 0"),
         {withStates("Chimes: 0 0 0 0 0 0 0 0"), bare}},
        {"voice",
         [](auto& p) { choose(p.voiceMenu(), 2); },
         QStringLiteral("chimeVoice"),
         QStringLiteral("en_US/Slt"),
         QStringLiteral("Chimes: 0 0 0 0 0 0 0 0"),
         {withStates("Chimes: 0 0 0 0 0 0 0 0")}},
        {"volume",
         [](auto& p) { p.Volume()->setValue(64); },
         QStringLiteral("ChimeVolume"),
         qint64(64),
         QStringLiteral("Chimes: 0 0 0 0 0 0 0 0"),
         {withStates("Chimes: 0 0 0 0 0 0 0 0")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        domain.store().removeValue(c.key);
        domain.store().removeValue(kStates);
        auto pane = makePane();
        EXPECT_TRUE(takePosted().isEmpty());
        reloads = 0;
        c.act(*pane);
        EXPECT_EQ(stored(c.key), c.value);
        EXPECT_EQ(states(), c.statesAfter);
        EXPECT_EQ(takePosted(), c.posts);
        EXPECT_EQ(reloads, 1);
    }
}

TEST_F(prefsChimesPane, SpokenHourAndTwoSoundsPackAsTheEngineReadsThem) {
    auto pane = makePane();
    pane->SpeakHour()->click();
    choose(pane->soundMenu(Chime::Hour), indexOf(pane->soundMenu(Chime::Hour), bell));
    choose(pane->soundMenu(Chime::Half), indexOf(pane->soundMenu(Chime::Half), ding));
    EXPECT_EQ(states(), QStringLiteral("Chimes: 1 0 0 1 0 1 0 0"));
    EXPECT_EQ(stored(QStringLiteral("CustomChimeSoundPath")), bell);
    EXPECT_EQ(stored(QStringLiteral("ChimeHalfSoundPath")), ding);
    EXPECT_FALSE(stored(QStringLiteral("ChimeQuarterSoundPath")).isValid());

    // Each choice is played on the alert device; the second stops the first.
    ASSERT_EQ(sounds.created.size(), 2u);
    EXPECT_EQ(sounds.created[0]->playbackDeviceIdentifier(), QStringLiteral("alert-sink"));
    EXPECT_FALSE(sounds.created[0]->isPlaying());
    EXPECT_EQ(pane->myTestSound(), sounds.created[1].get());
    scheduler.advanceBy(3.0);
    EXPECT_EQ(pane->myTestSound(), nullptr);
}

TEST_F(prefsChimesPane, NoSoundStoresEverythingSoTheFlagFollowsThePath) {
    domain.store().setValue(QStringLiteral("ChimeQuarterSoundPath"), bell);
    domain.store().setValue(kStates, QStringLiteral("Chimes: 0 1 0 0 1 0 0 0"));
    auto pane = makePane();
    EXPECT_EQ(pane->soundMenu(Chime::Quarter)->currentData().toString(), bell);
    choose(pane->soundMenu(Chime::Quarter), 0);
    EXPECT_FALSE(stored(QStringLiteral("ChimeQuarterSoundPath")).isValid());
    EXPECT_EQ(states(), QStringLiteral("Chimes: 0 1 0 0 0 0 0 0"));
    EXPECT_EQ(takePosted(), QStringList(kLoad + QStringLiteral("|Chimes: 0 1 0 0 0 0 0 0")));
    EXPECT_EQ(reloads, 1);
    EXPECT_TRUE(sounds.created.empty());
}

TEST_F(prefsChimesPane, StoredFilesOfTheUsersOwnKeepTheirOwnItemInEveryPopUp) {
    const QString mine = QStringLiteral("/home/me/Music/Gong.ogg");
    for (Chime c : {Chime::Hour, Chime::Quarter, Chime::Half, Chime::ThreeQuarter}) {
        domain.store().setValue(TalvorPrefsChimesView::soundKey(c), mine);
    }
    domain.store().setValue(kStates, QStringLiteral("Chimes: 0 0 0 1 1 1 1 0"));
    auto pane = makePane();
    for (Chime c : {Chime::Hour, Chime::Quarter, Chime::Half, Chime::ThreeQuarter}) {
        SCOPED_TRACE(static_cast<int>(c));
        QComboBox* menu = pane->soundMenu(c);
        EXPECT_EQ(menu->currentText(), QStringLiteral("Gong.ogg"));
        EXPECT_EQ(menu->currentData().toString(), mine);
        // The listed sounds keep their own paths.
        EXPECT_EQ(menu->itemData(indexOf(menu, bell)).toString(), bell);
    }
    pane->SaveChimerOptions();
    pane->LoadChimeOptions();  // a second load adds no second item
    for (Chime c : {Chime::Hour, Chime::Quarter, Chime::Half, Chime::ThreeQuarter}) {
        EXPECT_EQ(stored(TalvorPrefsChimesView::soundKey(c)), mine);
        EXPECT_EQ(pane->soundMenu(c)->findText(QStringLiteral("Gong.ogg")),
                  pane->soundMenu(c)->currentIndex());
        EXPECT_EQ(pane->soundMenu(c)->count(), pane->soundMenu(Chime::Hour)->count());
    }
    EXPECT_EQ(states(), QStringLiteral("Chimes: 0 0 0 1 1 1 1 0"));
}

TEST_F(prefsChimesPane, LoadingShowsTheStoredValuesWithoutWriting) {
    domain.store().setValue(kStates, QStringLiteral("Chimes: 1 1 1 0 0 1 0 0"));
    domain.store().setValue(QStringLiteral("ChimeHalfSoundPath"), ding);
    domain.store().setValue(QStringLiteral("QuietStart"), qint64(2200));
    domain.store().setValue(QStringLiteral("QuietEnd"), qint64(600));
    domain.store().setValue(QStringLiteral("ChimeVolume"), qint64(200));
    domain.store().setValue(QStringLiteral("chimeVoice"), QStringLiteral("en_GB/Alan"));
    const QVariantMap before = domain.store().dictionaryRepresentation();
    auto pane = makePane();
    EXPECT_TRUE(pane->SpeakHour()->isChecked());
    EXPECT_TRUE(pane->PlayChimes()->isChecked());
    EXPECT_EQ(pane->ChimeOnlyOnce()->checkedId(), 1);
    EXPECT_EQ(pane->soundMenu(Chime::Half)->currentData().toString(), ding);
    EXPECT_EQ(pane->soundMenu(Chime::Hour)->currentIndex(), 0);
    EXPECT_EQ(pane->QuietStart()->currentData().toInt(), 2200);
    EXPECT_EQ(pane->QuietEnd()->currentData().toInt(), 600);
    EXPECT_TRUE(pane->QuietEnd()->isEnabled());
    EXPECT_EQ(pane->Volume()->value(), 200);
    EXPECT_EQ(pane->voiceMenu()->currentData().toString(), QStringLiteral("en_GB/Alan"));
    EXPECT_EQ(domain.store().dictionaryRepresentation(), before);
    EXPECT_TRUE(takePosted().isEmpty());
    EXPECT_EQ(reloads, 0);
}

// Quiet hours may start or end at midnight, and the chimes keep to what the pane shows.
TEST_F(prefsChimesPane, QuietHoursMayStartOrEndAtMidnight) {
    struct Case {
        int startHour, endHour;      // -1: midnight
        QList<int> silent, chiming;  // hhmm
    };
    const Case cases[] = {
        {-1, 7, {0, 15, 659, 700}, {715, 1200, 2345}},
        {22, -1, {2200, 2345, 0}, {15, 700, 1200, 2145}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.startHour);
        auto pane = makePane();
        const auto pick = [](QComboBox* quiet, int hour) {
            const QString text =
                QStringLiteral("%1:00").arg(hour < 0 ? 0 : hour, 2, 10, QLatin1Char('0'));
            const int index = quiet->findText(text);
            ASSERT_GE(index, 0) << text.toStdString();
            choose(quiet, index);
        };
        pick(pane->QuietStart(), c.startHour);
        EXPECT_TRUE(pane->QuietEnd()->isEnabled());
        pick(pane->QuietEnd(), c.endHour);
        TalvorChimeSettings chimes;
        for (int hhmm : c.silent) {
            EXPECT_TRUE(chimes.isInQuietHours(hhmm)) << hhmm;
        }
        for (int hhmm : c.chiming) {
            EXPECT_FALSE(chimes.isInQuietHours(hhmm)) << hhmm;
        }
        // And the pane shows the same choice when it opens again.
        auto reopened = makePane();
        EXPECT_EQ(reopened->QuietStart()->currentText(), pane->QuietStart()->currentText());
        EXPECT_EQ(reopened->QuietEnd()->currentText(), pane->QuietEnd()->currentText());
    }
}

TEST_F(prefsChimesPane, QuietStartNoneDisablesTheEnd) {
    auto pane = makePane();
    EXPECT_FALSE(pane->QuietEnd()->isEnabled());
    choose(pane->QuietStart(), pane->QuietStart()->findData(2300));
    EXPECT_TRUE(pane->QuietEnd()->isEnabled());
    choose(pane->QuietStart(), 0);
    EXPECT_FALSE(pane->QuietEnd()->isEnabled());
    EXPECT_EQ(stored(QStringLiteral("QuietStart")), QVariant(qint64(0)));
}

TEST_F(prefsChimesPane, VolumePlaysTheHourSoundAtThatShareOfFullScale) {
    domain.store().setValue(QStringLiteral("CustomChimeSoundPath"), bell);
    auto pane = makePane();
    pane->Volume()->setValue(128);
    ASSERT_EQ(sounds.created.size(), 1u);
    EXPECT_NEAR(sounds.created[0]->volume(), 128.0 / 255.0, 1e-6);
    EXPECT_TRUE(sounds.created[0]->isPlaying());
    EXPECT_EQ(pane->Volume()->toolTip(), QStringLiteral("Using volume  50%"));
    EXPECT_EQ(stored(QStringLiteral("ChimeVolume")), QVariant(qint64(128)));
}

TEST_F(prefsChimesPane, ChoosingAFileStartsAtTheStoredOneAndKeepsTheChoice) {
    domain.store().setValue(QStringLiteral("ChimeQuarterSoundPath"), ding);
    auto pane = makePane();
    chosenFile = bell;
    choose(pane->soundMenu(Chime::Quarter), 1);
    EXPECT_EQ(chooserStarts, QStringList(ding));
    EXPECT_EQ(stored(QStringLiteral("ChimeQuarterSoundPath")), bell);
    EXPECT_EQ(pane->soundMenu(Chime::Quarter)->itemData(1).toString(), bell);
    EXPECT_EQ(states(), QStringLiteral("Chimes: 0 0 0 0 1 0 0 0"));
    ASSERT_EQ(sounds.created.size(), 1u);
    EXPECT_EQ(sounds.created[0]->path(), bell);

    // A file that cannot be played beeps; the choice is still stored.
    chosenFile = QStringLiteral("/nowhere/broken.wav");
    choose(pane->soundMenu(Chime::Quarter), 1);
    EXPECT_EQ(stored(QStringLiteral("ChimeQuarterSoundPath")), *chosenFile);
    EXPECT_EQ(sounds.created.size(), 1u);
}

TEST_F(prefsChimesPane, CancellingTheChooserKeepsTheSoundThatWasChosen) {
    domain.store().setValue(QStringLiteral("ChimeHalfSoundPath"), ding);
    domain.store().setValue(kStates, QStringLiteral("Chimes: 0 0 0 0 0 1 0 0"));
    auto pane = makePane();
    QComboBox* half = pane->soundMenu(Chime::Half);
    const int shown = half->currentIndex();
    choose(half, 1);  // chosenFile is none: cancelled
    EXPECT_EQ(chooserStarts, QStringList(ding));
    EXPECT_EQ(half->currentIndex(), shown);
    EXPECT_EQ(stored(QStringLiteral("ChimeHalfSoundPath")), ding);
    EXPECT_EQ(states(), QStringLiteral("Chimes: 0 0 0 0 0 1 0 0"));
    EXPECT_TRUE(takePosted().isEmpty());
    EXPECT_TRUE(sounds.created.empty());
}

// The chooser stays open while the program runs on: nothing is stored or played until it
// answers, and an answer that comes after the pane went is dropped.
TEST_F(prefsChimesPane, TheChoiceTakesEffectWhenTheChooserAnswers) {
    answerLater = true;
    auto pane = makePane();
    QComboBox* quarter = pane->soundMenu(Chime::Quarter);
    choose(quarter, 1);
    ASSERT_TRUE(pendingChoice);
    EXPECT_FALSE(stored(QStringLiteral("ChimeQuarterSoundPath")).isValid());
    EXPECT_TRUE(sounds.created.empty());
    std::exchange(pendingChoice, nullptr)(bell);
    EXPECT_EQ(stored(QStringLiteral("ChimeQuarterSoundPath")), bell);
    ASSERT_EQ(sounds.created.size(), 1u);
    EXPECT_EQ(sounds.created[0]->path(), bell);

    choose(pane->soundMenu(Chime::Half), 1);
    ASSERT_TRUE(pendingChoice);
    pane.reset();
    pendingChoice(ding);
    EXPECT_FALSE(stored(QStringLiteral("ChimeHalfSoundPath")).isValid());
}

TEST_F(prefsChimesPane, VoicesAreListedWithTipsPreviewedAndRestored) {
    auto pane = makePane();
    QComboBox* voices = pane->voiceMenu();
    ASSERT_EQ(voices->count(), 3);
    const char* tips[] = {"Alan (Gender: Male , Age: Adult)", "Kal (Gender: Neuter, Age: Other)",
                          "Slt (Gender: Female , Age: Senior)"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(voices->itemData(i, Qt::ToolTipRole).toString(), QLatin1String(tips[i]));
    }
    // Nothing stored: the default voice.
    EXPECT_EQ(voices->currentData().toString(), QStringLiteral("en_US/Kal"));
    choose(voices, 0);
    EXPECT_EQ(speech.spoken, QStringList(QStringLiteral("en_GB/Alan: Noon, Mid Night, 7 oClock")));
    EXPECT_EQ(stored(QStringLiteral("chimeVoice")), QStringLiteral("en_GB/Alan"));

    // A stored voice that is gone: the default one again, and nothing written.
    domain.store().setValue(QStringLiteral("chimeVoice"), QStringLiteral("xx/Gone"));
    pane->LoadChimeOptions();
    EXPECT_EQ(voices->currentData().toString(), QStringLiteral("en_US/Kal"));
    EXPECT_EQ(stored(QStringLiteral("chimeVoice")), QStringLiteral("xx/Gone"));
}

TEST_F(prefsChimesPane, StoresWhenItLeavesTheScreenAndReloadsWhenShownAgain) {
    auto pane = makePane();
    domain.store().setValue(kStates, QStringLiteral("Chimes: 1 0 0 0 0 0 0 0"));
    pane->viewDidShow();
    EXPECT_TRUE(pane->SpeakHour()->isChecked());

    pane->SpeakHour()->setChecked(false);  // not yet stored
    pane->viewWillHide();
    EXPECT_EQ(states(), QStringLiteral("Chimes: 0 0 0 0 0 0 0 0"));
    EXPECT_EQ(reloads, 1);

    // Other windows opening and closing are none of the pane's business.
    domain.store().setValue(kStates, QStringLiteral("Chimes: 0 1 0 0 0 0 0 0"));
    QWidget other;
    other.show();
    other.close();
    QCoreApplication::processEvents();
    EXPECT_EQ(states(), QStringLiteral("Chimes: 0 1 0 0 0 0 0 0"));
    EXPECT_EQ(reloads, 1);
}

}  // namespace
}  // namespace talvor
