// The alarm editor's page and the alarm item pane, offscreen, over the alarms' test world
// (a fake clock in Berlin on Monday 2024-03-04 10:00, in-memory defaults).
#include "alarms/AlarmsTestSupport.h"

#include "alarms/AlarmSetPreController.h"
#include "alarms/SavedAlarms.h"
#include "alarms/UsersNotificationManager.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/OpenDialogs.h"
#include "platform/SharedInstance.h"
#include "prefs/AlarmSetController.h"
#include "services/AudioStorageController.h"
#include "services/SoundFadeOut.h"
#include "support/FakeSoundPlayer.h"
#include "support/FakeUserTimers.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

namespace talvor::test {
namespace {

// The settings window as the alarm menu sees it: opening the alarm page makes the pane the
// menu's editor, as the real window does.
struct EditorHost : AlarmMenuHost {
    void addItem(std::shared_ptr<platform::Menu> m) override { menu = std::move(m); }
    void showAlarmEditor() override {
        ++opened;
        if (pane != nullptr) {
            AlarmMenuController::mainMenuController().setAlarmSetController(pane);
        }
    }
    std::shared_ptr<platform::Menu> menu;
    AlarmSetController* pane = nullptr;
    int opened = 0;
};

class AlarmEditorPane : public AlarmsTest {
  protected:
    void SetUp() override {
        AlarmsTest::SetUp();
        time_.emplace();
        sharedTime_.emplace(*time_);
        pane_.emplace(QStringLiteral("AlarmSetController"));
        pane_->setTimeFormat(QStringLiteral("HH:mm"));
        ASSERT_NE(pane_->view(), nullptr);
        host_.pane = &*pane_;
        controller_.awakeFromNib(&host_);
        controller_.setAlarmSetController(&*pane_);
    }
    void TearDown() override {
        platform::closeOpenDialogs();
        controller_.awakeFromNib(nullptr);
        pane_.reset();
        sharedTime_.reset();
        time_.reset();
        AlarmsTest::TearDown();
    }

    AlarmSetController& pane() { return *pane_; }
    QString sentence() const { return pane_->descriptionLabel()->text(); }
    // The alert on screen, if any.
    static QMessageBox* alert() {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) {
                return box;
            }
        }
        return nullptr;
    }
    // A relative alarm in the form.
    void fillIn(const QString& title, const QString& number, bool hours = false) {
        pane().titleBox()->setEditText(title);
        pane().timeRadio(0)->click();
        pane().inTimeField()->setText(number);
        pane().inTimeTypePopUp()->setCurrentIndex(hours ? 1 : 0);
    }
    void fillWeekdays(const QString& title, QTime time, std::initializer_list<int> days) {
        pane().titleBox()->setEditText(title);
        pane().timeRadio(2)->click();
        pane().atAlarmTimePicker()->setTime(time);
        for (int d : days) {
            pane().dayCheck(d)->setChecked(true);
        }
    }

    std::optional<TalvorTimeSettings> time_;
    std::optional<SharedInstance<TalvorTimeSettings>::Override> sharedTime_;
    std::optional<AlarmSetController> pane_;
    EditorHost host_;
};

using prefsAlarmEditor = AlarmEditorPane;

struct SentenceCase {
    const char* name;
    std::function<void(AlarmSetController&)> fill;
    const char* timeFormat;
    const char* expected;
};

TEST_F(prefsAlarmEditor, TheSentenceFollowsTheForm) {
    using P = AlarmSetController;
    const auto relative = [](const char* title, const char* n, bool hours, bool repeat) {
        return [=](P& p) {
            p.titleBox()->setEditText(QString::fromUtf8(title));
            p.timeRadio(0)->click();
            p.inTimeField()->setText(QString::fromLatin1(n));
            p.inTimeTypePopUp()->setCurrentIndex(hours ? 1 : 0);
            p.repeatCheck()->setChecked(repeat);
        };
    };
    const auto sound = [](const char* path, bool fade) {
        return [=](P& p) {
            p.playSoundCheck()->setChecked(true);
            p.setSoundPath(QString::fromLatin1(path));
            p.shouldFadeInCheck()->setChecked(fade);
        };
    };
    const auto voice = [](const char* name) {
        return [=](P& p) {
            p.speakNameCheck()->setChecked(true);
            p.setVoiceName(QString::fromLatin1(name));
        };
    };
    using Fill = std::function<void(P&)>;
    const auto both = [](
                          Fill a, Fill b, Fill c = [](P&) {}) {
        return [=](P& p) {
            a(p);
            b(p);
            c(p);
        };
    };
    const auto weekday = [](const char* title, QTime t, std::vector<int> days, bool everyWeek) {
        return [=](P& p) {
            p.titleBox()->setEditText(QString::fromLatin1(title));
            p.timeRadio(2)->click();
            p.atAlarmTimePicker()->setTime(t);
            for (int d : days) {
                p.dayCheck(d)->setChecked(true);
            }
            p.foreverCheck()->setChecked(everyWeek);
        };
    };
    const SentenceCase cases[] = {
        {"relative with a fading sound",
         both(relative("Tea", "10", false, false), sound("/sounds/Ping.aiff", true)), "HH:mm",
         "In 10 minute(s) alarm 'Tea' will be played with sound 'Ping' fading in."},
        {"repeating hours, silent", relative("Nap", "2", true, true), "HH:mm",
         "Every 2 hour(s) alarm 'Nap' will be activated."},
        {"voice and sound",
         both(relative("Go", "5", false, false), sound("/s/Bell.ogg", false), voice("Alex")),
         "HH:mm",
         "In 5 minute(s) alarm 'Go' will be spoken by voice 'Alex' and sound 'Bell' will "
         "be played."},
        {"voice and a fading sound",
         both(relative("Go", "5", false, false), sound("/s/Bell.ogg", true), voice("Alex")),
         "HH:mm",
         "In 5 minute(s) alarm 'Go' will be spoken by voice 'Alex' and sound 'Bell' will "
         "be played fading in."},
        {"voice only", both(relative("Go", "5", false, false), voice("Alex")), "HH:mm",
         "In 5 minute(s) alarm 'Go' will be spoken by voice 'Alex'."},
        {"sound on without a file", both(relative("Go", "5", false, false), sound("", true)),
         "HH:mm", "In 5 minute(s) alarm 'Go' will be activated."},
        {"24-hour time without a day has no AM/PM mark", weekday("Gym", QTime(14, 30), {}, false),
         "HH:mm", "At 14:30 alarm 'Gym' will be activated."},
        {"12-hour time", weekday("Gym", QTime(14, 30), {}, false), "h:mm AP",
         "At 2:30 PM alarm 'Gym' will be activated."},
        {"chosen days, every week", weekday("Gym", QTime(7, 5), {0, 4}, true), "HH:mm",
         "On every Monday Friday At 07:05 alarm 'Gym' will be activated."},
        {"chosen days once", weekday("Gym", QTime(7, 5), {5, 6}, false), "HH:mm",
         "On Saturday Sunday At 07:05 alarm 'Gym' will be activated."},
        {"a date",
         [](P& p) {
             p.titleBox()->setEditText(QStringLiteral("Dentist"));
             p.timeRadio(1)->click();
             p.atDatePicker()->setDate(QDate(2024, 3, 5));
             p.atTimePicker()->setTime(QTime(7, 15));
         },
         "HH:mm", "On Mar 05 at 07:15 alarm 'Dentist' will be activated."},
    };
    for (const SentenceCase& c : cases) {
        SCOPED_TRACE(c.name);
        pane().showWithAlarm(nullptr);
        pane().playSoundCheck()->setChecked(false);  // each case says what it plays
        pane().setTimeFormat(QString::fromLatin1(c.timeFormat));
        c.fill(pane());
        EXPECT_EQ(sentence(), QString::fromUtf8(c.expected));
    }
}

TEST_F(prefsAlarmEditor, EveryProblemIsToldInOneAlertAndNothingIsSet) {
    pane().titleBox()->setEditText(QString());
    pane().timeRadio(0)->click();
    pane().inTimeField()->clear();
    pane().playSoundCheck()->setChecked(true);
    pane().setSoundPath(QString());
    pane().speakNameCheck()->setChecked(true);
    pane().setVoiceName(QString());
    pane().setButton()->click();

    EXPECT_EQ(
        pane().lastAlertText(),
        QStringLiteral("Title must not be empty.\nAlarm time is not set.\nPlease select sound "
                       "to play.\nPlease select voice to speak with.\n"));
    QMessageBox* box = alert();
    ASSERT_NE(box, nullptr) << "one alert";
    EXPECT_EQ(box->text() + box->informativeText(),
              QStringLiteral("The alarm cannot be set yet.Title must not be empty.\nAlarm time is "
                             "not set.\nPlease select sound to play.\nPlease select voice to speak "
                             "with."));
    EXPECT_EQ(box->buttons().size(), 1);
    EXPECT_TRUE(alarmClock().allAlarms().empty());
    EXPECT_FALSE(SavedAlarms::exists());
    EXPECT_EQ(pane().customAlert(), nullptr);
}

// An alarm made with the form as it opens rings with a sound: the quick timers' one.
TEST_F(prefsAlarmEditor, ANewAlarmWithTheDefaultsPlaysASound) {
    pane().showWithAlarm(nullptr);
    EXPECT_TRUE(pane().playSoundCheck()->isChecked());
    fillIn(QStringLiteral("Tea"), QStringLiteral("4"));
    EXPECT_EQ(sentence(),
              QStringLiteral("In 4 minute(s) alarm 'Tea' will be played with sound 'Ping'."));
    pane().setButton()->click();
    ASSERT_EQ(alarmClock().allAlarms().size(), 1u);
    const auto& alarm = alarmClock().allAlarms().front();
    EXPECT_TRUE(alarm->isPlaySound());
    EXPECT_EQ(alarm->soundPath(), AlarmSetPreController::defaultSoundPath());
}

// Monday and Friday checked, the alarm at 09:00: on a Friday before that time it is due the
// same day, after it on the Monday after.
TEST_F(prefsAlarmEditor, AWeekdayAlarmIsDueOnItsNextCheckedDay) {
    struct Case {
        const char* now;
        const char* due;
    };
    for (const Case c : {Case{"2024-03-08T08:00:00", "2024-03-08T09:00:00"},
                         Case{"2024-03-08T10:00:00", "2024-03-11T09:00:00"},
                         Case{"2024-03-08T09:00:00", "2024-03-08T09:00:00"},
                         Case{"2024-03-06T10:00:00", "2024-03-08T09:00:00"}}) {
        SCOPED_TRACE(c.now);
        clock_.set(at(c.now));
        pane().showWithAlarm(nullptr);
        fillWeekdays(QStringLiteral("Gym"), QTime(9, 0), {0, 4});
        const auto alarm = pane().setButtonPushed();
        ASSERT_NE(alarm, nullptr);
        EXPECT_EQ(wall(alarm->time()), QString::fromLatin1(c.due));
        EXPECT_TRUE(alarm->isRunOnMon() && alarm->isRunOnFri() && !alarm->isRunOnTue());
        EXPECT_EQ(alarm->selRowNo(), 2);
    }
    // Without a day: the next 09:00 to come.
    for (const Case c : {Case{"2024-03-08T08:00:00", "2024-03-08T09:00:00"},
                         Case{"2024-03-08T10:00:00", "2024-03-09T09:00:00"}}) {
        SCOPED_TRACE(c.now);
        clock_.set(at(c.now));
        pane().showWithAlarm(nullptr);
        fillWeekdays(QStringLiteral("Gym"), QTime(9, 0), {});
        const auto alarm = pane().setButtonPushed();
        ASSERT_NE(alarm, nullptr);
        EXPECT_EQ(wall(alarm->time()), QString::fromLatin1(c.due));
    }
}

TEST_F(prefsAlarmEditor, SettingASavedTitleReplacesThatAlarm) {
    fillIn(QStringLiteral("Tea"), QStringLiteral("10"));
    ASSERT_NE(pane().setButtonPushed(), nullptr);
    pane().showWithAlarm(nullptr);
    fillIn(QStringLiteral("Soup"), QStringLiteral("30"));
    ASSERT_NE(pane().setButtonPushed(), nullptr);
    pane().showWithAlarm(nullptr);
    fillIn(QStringLiteral("Tea"), QStringLiteral("3"), true);
    ASSERT_NE(pane().setButtonPushed(), nullptr);

    const AlarmList saved = SavedAlarms::load();
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0]->title(), QStringLiteral("Tea"));
    EXPECT_EQ(saved[0]->ringWithinUnits(), 3);
    EXPECT_FALSE(saved[0]->isMinuteUnits());
    EXPECT_EQ(saved[1]->title(), QStringLiteral("Soup"));
    // The title box lists the saved titles in order.
    ASSERT_EQ(pane().titleBox()->count(), 2);
    EXPECT_EQ(pane().titleBox()->itemText(0), QStringLiteral("Tea"));
    // Each set alarm was activated and confirmed.
    EXPECT_EQ(alarmClock().allAlarms().size(), 3u);
    ASSERT_NE(pane().customAlert(), nullptr);
    EXPECT_TRUE(pane().customAlert()->isVisible());
}

TEST_F(prefsAlarmEditor, TheNumberFieldRefusesZeroLettersAndEmptyText) {
    struct Case {
        const char* typed;
        const char* shown;
        bool accepted;
    };
    for (const Case c : {Case{"abc", "", false}, Case{"1a2", "12", true}, Case{"0", "0", false},
                         Case{"00", "00", false}, Case{"", "", false}, Case{" 5", "5", true},
                         Case{"-3", "3", true}, Case{"45", "45", true}}) {
        SCOPED_TRACE(c.typed);
        platform::closeOpenDialogs();
        pane().showWithAlarm(nullptr);
        pane().titleBox()->setEditText(QStringLiteral("Tea"));
        pane().inTimeField()->clear();
        QTest::keyClicks(pane().inTimeField(), QString::fromLatin1(c.typed));
        EXPECT_EQ(pane().inTimeField()->text(), QString::fromLatin1(c.shown));
        EXPECT_EQ(pane().inTimeField()->hasAcceptableInput(), c.accepted);
        const auto alarm = pane().setButtonPushed();
        EXPECT_EQ(alarm != nullptr, c.accepted);
        if (!c.accepted) {
            EXPECT_EQ(pane().lastAlertText(), QStringLiteral("Alarm time is not set.\n"));
        }
    }
}

TEST_F(prefsAlarmEditor, EditFromTheMenuShowsTheAlarmAndSetReplacesIt) {
    auto soup = relativeAlarm(30, true, clock_.now());
    soup->setTitle(QStringLiteral("Soup"));
    auto tea = dateAlarm(at("2024-03-04T16:00:00"));
    tea->setTitle(QStringLiteral("Tea"));
    tea->setSnoozeTime(10);
    controller_.acceptedAlarm(soup);
    controller_.acceptedAlarm(tea);
    ASSERT_EQ(alarmClock().allAlarms().size(), 2u);

    controller_.editAlarm(tea);
    EXPECT_EQ(host_.opened, 1);
    EXPECT_EQ(pane().editingOne(), tea);
    EXPECT_EQ(pane().titleBox()->currentText(), QStringLiteral("Tea"));
    EXPECT_TRUE(pane().titleBox()->lineEdit()->isReadOnly()) << "an edited alarm keeps its title";
    EXPECT_TRUE(pane().timeRadio(1)->isChecked());
    EXPECT_EQ(pane().atTimePicker()->time(), QTime(16, 0));
    EXPECT_EQ(pane().snoozeTimePopUp()->currentData().toInt(), 10);

    pane().atTimePicker()->setTime(QTime(17, 30));
    const auto edited = pane().setButtonPushed();
    ASSERT_NE(edited, nullptr);
    const AlarmList& active = alarmClock().allAlarms();
    ASSERT_EQ(active.size(), 2u) << "replaced, not added";
    EXPECT_EQ(active[0], edited);
    EXPECT_EQ(active[1], soup);
    EXPECT_EQ(wall(edited->time()), QStringLiteral("2024-03-04T17:30:00"));
    // Set again: the same alarm changes, no twin appears.
    pane().atTimePicker()->setTime(QTime(18, 0));
    const auto again = pane().setButtonPushed();
    ASSERT_EQ(alarmClock().allAlarms().size(), 2u);
    EXPECT_EQ(alarmClock().allAlarms()[0], again);
    EXPECT_EQ(wall(again->time()), QStringLiteral("2024-03-04T18:00:00"));

    // "Create alarm..." shows an empty form again.
    controller_.createAlarm();
    EXPECT_EQ(pane().editingOne(), nullptr);
    EXPECT_EQ(pane().titleBox()->currentText(), QString());
    EXPECT_FALSE(pane().titleBox()->lineEdit()->isReadOnly());
}

TEST_F(prefsAlarmEditor, EditingASavedAlarmActivatesItFromNow) {
    fillIn(QStringLiteral("Tea"), QStringLiteral("10"));
    ASSERT_NE(pane().setButtonPushed(), nullptr);
    controller_.clearFromMenu(alarmClock().allAlarms().front());
    ASSERT_TRUE(alarmClock().allAlarms().empty());
    clock_.advance(3600);

    controller_.editAlarm(SavedAlarms::load().front());
    const auto again = pane().setButtonPushed();
    ASSERT_NE(again, nullptr);
    ASSERT_EQ(alarmClock().allAlarms().size(), 1u);
    EXPECT_EQ(wall(again->time()), QStringLiteral("2024-03-04T11:10:00"));
}

TEST_F(prefsAlarmEditor, ChoosingASavedTitleLoadsItAndRemoveDeletesIt) {
    fillIn(QStringLiteral("Tea"), QStringLiteral("10"));
    pane().setButtonPushed();
    pane().showWithAlarm(nullptr);
    fillWeekdays(QStringLiteral("Gym"), QTime(6, 45), {2});
    pane().setButtonPushed();
    pane().showWithAlarm(nullptr);

    pane().titleBox()->setCurrentIndex(1);
    emit pane().titleBox()->activated(1);
    EXPECT_TRUE(pane().timeRadio(2)->isChecked());
    EXPECT_TRUE(pane().dayCheck(2)->isChecked());
    EXPECT_EQ(pane().atAlarmTimePicker()->time(), QTime(6, 45));
    EXPECT_TRUE(pane().removeAlarmButton()->isEnabled());

    pane().removeAlarmButton()->click();
    const AlarmList saved = SavedAlarms::load();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved[0]->title(), QStringLiteral("Tea"));
    EXPECT_EQ(pane().titleBox()->count(), 1);
    EXPECT_FALSE(pane().removeAlarmButton()->isEnabled());
}

TEST_F(prefsAlarmEditor, ASoundFileDroppedOnTheWellJoinsTheLibrary) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("Gong.ogg"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("OggS");
    f.close();
    QMimeData drop;
    drop.setUrls({QUrl::fromLocalFile(file)});
    pane().soundWell()->concludeDragOperation(drop);
    EXPECT_TRUE(QFileInfo::exists(AudioStorageController::sharedController().soundsFolder() +
                                  QStringLiteral("/Gong.ogg")));
}

// Play previews a long sound for 20 seconds, fading from the tenth; a second click starts
// it over rather than playing two.
TEST_F(prefsAlarmEditor, PlayPreviewsTwentySecondsFadingFromTheTenth) {
    FakeSoundSystem sounds(scheduler_);
    const QString song = QStringLiteral("/music/Song.ogg");
    sounds.addSound(song, 180.0);
    pane().playSoundCheck()->setChecked(true);
    pane().setSoundPath(song);
    QPushButton* play = pane().view()->findChild<QPushButton*>(QStringLiteral("playButton"));
    ASSERT_NE(play, nullptr);
    ASSERT_TRUE(play->isEnabled());
    play->click();
    play->click();
    ASSERT_EQ(sounds.created.size(), 2u);
    EXPECT_FALSE(sounds.created[0]->isPlaying()) << "the first preview stopped";
    const double start = clock_.now().timeIntervalSinceReferenceDate();
    scheduler_.advanceBy(9.0);
    EXPECT_FLOAT_EQ(sounds.created[1]->volumeAt(start + 9.0), 0.5f);
    scheduler_.advanceBy(6.0);
    EXPECT_LT(sounds.created[1]->volume(), 0.5f) << "fading";
    scheduler_.advanceBy(6.0);
    EXPECT_FALSE(sounds.created[1]->isPlaying()) << "stopped at 20 seconds";
    FadeOut::stopTimers();
}

// An "At" alarm left at the prefilled minute, or at any time gone, means that time's next
// coming: the form says so before Set, and the alarm set waits for it instead of ringing.
TEST_F(prefsAlarmEditor, AnAtTimeThatHasPassedMeansItsNextComingAndTheFormSaysSo) {
    struct Case {
        const char* name;
        QDate date;
        QTime time;
        const char* note;  // none: a time to come
        const char* due;
    };
    const Case cases[] = {
        {"the prefilled minute", QDate(2024, 3, 4), QTime(10, 0),
         "That time has passed: the alarm rings tomorrow at 10:00.", "2024-03-05T10:00:00"},
        {"earlier today", QDate(2024, 3, 4), QTime(7, 30),
         "That time has passed: the alarm rings tomorrow at 07:30.", "2024-03-05T07:30:00"},
        {"a day gone, later hour", QDate(2024, 3, 1), QTime(15, 0),
         "That date has passed: the alarm rings today at 15:00.", "2024-03-04T15:00:00"},
        {"to come", QDate(2024, 3, 4), QTime(10, 1), nullptr, "2024-03-04T10:01:00"},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        pane().showWithAlarm(nullptr);
        EXPECT_EQ(pane().atDatePicker()->date(), QDate(2024, 3, 4)) << "prefilled";
        EXPECT_EQ(pane().atTimePicker()->time(), QTime(10, 0)) << "prefilled";
        pane().titleBox()->setEditText(QStringLiteral("At %1").arg(++n));
        pane().timeRadio(1)->click();
        pane().atDatePicker()->setDate(c.date);
        pane().atTimePicker()->setTime(c.time);
        EXPECT_EQ(!pane().passedNoteLabel()->isHidden(), c.note != nullptr);
        EXPECT_EQ(pane().passedNoteLabel()->text(),
                  c.note != nullptr ? QString::fromUtf8(c.note) : QString());
        const std::shared_ptr<Alarm> set = pane().setButtonPushed();
        ASSERT_NE(set, nullptr);
        EXPECT_EQ(wall(set->time()), QLatin1String(c.due));
        if (c.note != nullptr) {
            EXPECT_TRUE(pane().customAlert()->message()->text().contains(QLatin1String(c.note)));
        }
    }
    scheduler_.advanceBy(30.0);
    EXPECT_TRUE(std::none_of(alarmClock().allAlarms().begin(), alarmClock().allAlarms().end(),
                             [](const auto& a) { return a->isTriggered(); }))
        << "none rings at once";
}

// Without a user service manager, alarms ring only while Talvor runs: the page says so as
// soon as the start has learnt it, and the confirmation of an alarm set says it again.
TEST_F(prefsAlarmEditor, WithoutAServiceManagerThePageAndTheSetAlarmSayAlarmsStopAtQuit) {
    const QString silent = QStringLiteral(
        "Alarms ring only while Talvor runs: no user service manager (systemd --user) runs on "
        "this computer to ring them after a quit.");
    for (const bool manager : {true, false}) {
        SCOPED_TRACE(manager ? "a manager answers" : "no manager");
        FakeUserTimers timers;
        timers.available = manager;
        UserTimerNotificationCenter center;
        UserNotificationCenter::setDefaultUserNotificationCenter(&center);
        pane().viewDidShow();
        EXPECT_TRUE(pane().afterQuitLabel()->isHidden()) << "not known before the start asks";

        // What the start does behind the strip: takes back the last run's alarms.
        UsersNotificationManager::synchronizeWithAlarms({});
        pane().viewDidShow();
        EXPECT_EQ(pane().afterQuitLabel()->isHidden(), manager);
        EXPECT_EQ(pane().afterQuitLabel()->text(), manager ? QString() : silent);

        fillIn(manager ? QStringLiteral("Tea") : QStringLiteral("Coffee"), QStringLiteral("4"));
        pane().setButton()->click();
        ASSERT_NE(pane().customAlert(), nullptr);
        EXPECT_EQ(pane().customAlert()->message()->text().endsWith(QStringLiteral("\n\n") + silent),
                  !manager)
            << pane().customAlert()->message()->text().toStdString();
        pane().showWithAlarm(nullptr);
        UserNotificationCenter::setDefaultUserNotificationCenter(&notifications_);
    }
}

TEST_F(prefsAlarmEditor, TheAlarmItemBoxesHeadThePage) {
    auto* showAlarm = pane().view()->findChild<QCheckBox*>(QStringLiteral("showAlarm"));
    auto* showTake5 = pane().view()->findChild<QCheckBox*>(QStringLiteral("showTake5"));
    ASSERT_NE(showAlarm, nullptr);
    ASSERT_NE(showTake5, nullptr);
    EXPECT_FALSE(showAlarm->isChecked());
    showAlarm->click();
    EXPECT_TRUE(TalvorTimeSettings::sharedInstance().showAlarm);
}

}  // namespace
}  // namespace talvor::test
