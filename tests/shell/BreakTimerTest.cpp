#include "alarms/AlarmsKeys.h"
#include "alarms/CustomModalWindowController.h"
#include "alarms/TalvorTakeABreakSettings.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Log.h"
#include "platform/Menu.h"
#include "services/SoundFadeOut.h"
#include "shell/BreakTimer.h"
#include "shell/TimeMenu.h"
#include "shell/WorldClockItems.h"
#include "support/FakeClock.h"
#include "support/FakeSoundPlayer.h"
#include "support/ManualScheduler.h"
#include "support/ScopedPreferences.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QWidget>

#include <optional>

namespace talvor {
namespace {

using test::FakeSoundPlayer;

const QString kStartSound = QStringLiteral("/sounds/Break Start.aiff");
const QString kEndSound = QStringLiteral("/sounds/Break End.aiff");

struct BreakPrefs {
    qint32 frequency = 2;
    qint32 duration = 1;
    qint32 repeat = 3;
    QString soundPath = kStartSound;
    QString durationSoundPath = kEndSound;
    bool showTake5 = true;
};

void writePrefs(const BreakPrefs& p) {
    using namespace PreferenceDomain;
    writeInteger(keys::TalvorTakeABreakFrequency, p.frequency);
    writeInteger(keys::TalvorTakeABreakDuration, p.duration);
    writeInteger(keys::TalvorTakeABreakRepeat, p.repeat);
    writeText(keys::TalvorTakeABreakSoundPath, p.soundPath);
    writeText(keys::TalvorTakeADurationSoundPath, p.durationSoundPath);
    writeFlag(QStringLiteral("take5Show"), p.showTake5);
}

// The break timer wired as the application delegate wires it: its state goes to a real time
// menu, its sheet onto a settings window of its own, its sounds to fake players on the
// scheduler's time.
class BreakWorld {
  public:
    explicit BreakWorld(const BreakPrefs& prefs = {}) {
        platform::Scheduler::setShared(&scheduler);
        writePrefs(prefs);
        time.emplace();
        sounds.addSound(kStartSound, 30.0);
        sounds.addSound(kEndSound, 30.0);
        worldClocks.emplace(
            *menu, *time, clock, [] { return 0u; }, WorldClockItems::Actions{});
        TimeMenu::Actions actions;
        actions.enableTake5 = [this] { breaks->enableTake5(); };
        actions.disableTake5 = [this] { breaks->disableTake5(); };
        actions.showTake5Prefrences = [this] { breaks->showTake5Prefrences(); };
        timeMenu.emplace(*menu, *time, *worldClocks, nullptr, actions);
        timeMenu->isStop = true;
        timeMenu->DrawTimeMenuItems();
        BreakTimer::Hooks hooks;
        hooks.take5StateChanged = [this](bool isStop) {
            states.push_back(isStop);
            timeMenu->isStop = isStop;
            timeMenu->UpdateMenu(TimeMenu::Take5);
        };
        hooks.showTake5Prefrences = [this] { ++prefsShown; };
        hooks.sheetParent = [this] { return &settingsWindow; };
        breaks.emplace(scheduler, breakSettings, *time, hooks);
    }
    ~BreakWorld() {
        breaks.reset();
        FadeOut::stopTimers();
        scheduler.runPosted();
        platform::Scheduler::setShared(nullptr);
    }

    double elapsed() const { return clock.now().timeIntervalSinceReferenceDate() - kStart; }
    void advanceTo(double secondsFromStart) {
        scheduler.advanceTo(Date::fromReference(kStart + secondsFromStart));
    }
    QString sheetText() const {
        CustomModalWindowController* sheet = breaks->sheet();
        return sheet == nullptr ? QStringLiteral("(no sheet)") : sheet->showBreakTime->text();
    }
    // The titles of the "Take 5..." submenu, or nothing when the item is not in the menu.
    QStringList take5Menu() const {
        platform::MenuItem* item = menu->itemWithTag(TimeMenu::kTake5Tag);
        QStringList titles;
        if (item != nullptr && item->submenu()) {
            for (const auto& sub : item->submenu()->itemArray()) {
                titles << sub->title();
            }
        }
        return titles;
    }
    void choose(const QString& title) {
        platform::MenuItem* item = menu->itemWithTag(TimeMenu::kTake5Tag);
        ASSERT_NE(item, nullptr);
        for (const auto& sub : item->submenu()->itemArray()) {
            if (sub->title() == title) {
                // The action rebuilds the submenu: keep the item and its action alive.
                std::shared_ptr<platform::MenuItem> chosen = sub;
                platform::MenuAction action = chosen->action();
                action(*chosen);
                return;
            }
        }
        FAIL() << "no item " << title.toStdString();
    }
    // When each sound was started, in seconds from the start.
    std::vector<std::pair<QString, double>> soundStarts() const {
        std::vector<std::pair<QString, double>> out;
        for (const auto& s : sounds.created) {
            for (double t : s->timesOf(FakeSoundPlayer::Kind::Play)) {
                out.emplace_back(s->path(), t - kStart);
            }
        }
        return out;
    }

    static constexpr double kStart = 762'800'000.0;
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    test::FakeClock clock{Date::fromReference(kStart)};
    test::ManualScheduler scheduler{clock};
    test::FakeSoundSystem sounds{scheduler};
    TalvorTakeABreakSettings breakSettings;
    std::optional<TalvorTimeSettings> time;
    std::shared_ptr<platform::Menu> menu = platform::Menu::create(QStringLiteral("Time"));
    std::optional<WorldClockItems> worldClocks;
    std::optional<TimeMenu> timeMenu;
    QWidget settingsWindow;
    std::optional<BreakTimer> breaks;
    std::vector<bool> states;
    int prefsShown = 0;
};

const QStringList kOffersStart{QStringLiteral("Start"), QStringLiteral("Preferences...")};
const QStringList kOffersStop{QStringLiteral("Stop"), QStringLiteral("Preferences...")};

TEST(shellBreakTimer, StartsStoppedAndAWorkPeriodOfTheSetMinutesEndsInABreakSheet) {
    BreakWorld w;
    EXPECT_TRUE(w.breaks->isStop());
    EXPECT_EQ(w.take5Menu(), kOffersStart);
    w.advanceTo(3600);
    EXPECT_EQ(w.breaks->sheet(), nullptr) << "no break while stopped";

    w.choose(QStringLiteral("Start"));
    EXPECT_FALSE(w.breaks->isStop());
    EXPECT_EQ(w.take5Menu(), kOffersStop);
    const double started = w.elapsed();
    w.advanceTo(started + 119.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    w.advanceTo(started + 120.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    QWidget* sheet = w.breaks->sheet()->window();
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->parentWidget(), &w.settingsWindow);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_FALSE(w.breaks->isWorkPeriodRunning()) << "no work period during a break";
    EXPECT_EQ(w.take5Menu(), kOffersStop);
}

// With the settings window closed the break has no window to hang from: it must not block
// the program's other windows then.
TEST(shellBreakTimer, WithoutAParentTheBreakWindowBlocksNoOtherWindow) {
    struct Delegate : CustomModalWindowDelegate {
        void disableTake5() override {}
        void showTake5Prefrences() override {}
    } delegate;
    QWidget other;
    other.show();
    CustomModalWindowController sheet(delegate);
    sheet.beginSheet(nullptr, [](int) {});
    ASSERT_TRUE(sheet.isWindowVisible());
    EXPECT_EQ(sheet.window()->windowModality(), Qt::NonModal);
    EXPECT_EQ(QGuiApplication::modalWindow(), nullptr);
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    sheet.endSheet(CustomModalWindowController::kDoneReturnCode);

    // On a parent, it blocks that window alone.
    QWidget parent;
    parent.show();
    sheet.beginSheet(&parent, [](int) {});
    EXPECT_EQ(sheet.window()->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet.window()->parentWidget(), &parent);
    sheet.endSheet(CustomModalWindowController::kDoneReturnCode);
}

TEST(shellBreakTimer, TheSheetCountsDownEachSecondThenTheNextWorkPeriodStarts) {
    BreakWorld w;
    w.breaks->enableTake5();
    w.advanceTo(120.0);
    QStringList texts{w.sheetText()};
    for (int s = 1; s < 60; ++s) {
        w.advanceTo(120.0 + s);
        texts << w.sheetText();
        EXPECT_FALSE(w.breaks->sheet()->showBreakTime->isEnabled());
    }
    ASSERT_EQ(texts.size(), 60);
    EXPECT_EQ(texts.front(), QStringLiteral("Take a break: 1:00 left"));
    EXPECT_EQ(texts[1], QStringLiteral("Take a break: 0:59 left"));
    EXPECT_EQ(texts[50], QStringLiteral("Take a break: 0:10 left"));
    EXPECT_EQ(texts.back(), QStringLiteral("Take a break: 0:01 left"));
    EXPECT_EQ(texts.removeDuplicates(), 0);

    w.advanceTo(180.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr) << "closed at 00:00";
    EXPECT_EQ(w.breaks->repeatCounter(), 1);
    EXPECT_TRUE(w.breaks->isWorkPeriodRunning());
    EXPECT_FALSE(w.breaks->isStop());
    w.advanceTo(299.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    w.advanceTo(300.0);
    ASSERT_NE(w.breaks->sheet(), nullptr) << "the next break, one work period later";
    EXPECT_EQ(w.sheetText(), QStringLiteral("Take a break: 1:00 left"));
}

TEST(shellBreakTimer, LongBreaksShowWholeMinutesAndSeconds) {
    struct Case {
        qint64 remaining;
        const char* text;
    };
    for (const Case& c :
         {Case{300, "Take a break: 5:00 left"}, Case{299, "Take a break: 4:59 left"},
          Case{61, "Take a break: 1:01 left"}, Case{7200, "Take a break: 120:00 left"},
          // Under a minute: seconds, never read as minutes.
          Case{43, "Take a break: 0:43 left"}, Case{0, "Take a break: 0:00 left"}}) {
        EXPECT_EQ(BreakTimer::breakTimeText(c.remaining), QString::fromLatin1(c.text));
    }
}

TEST(shellBreakTimer, AfterTheRepeatCountRemindersStopByThemselvesAndTheMenuOffersStart) {
    BreakPrefs prefs;
    prefs.frequency = 1;
    prefs.repeat = 2;
    BreakWorld w(prefs);
    w.choose(QStringLiteral("Start"));
    w.advanceTo(60.0 + 60.0);  // the first break ends
    EXPECT_FALSE(w.breaks->isStop());
    EXPECT_EQ(w.take5Menu(), kOffersStop);
    w.advanceTo(240.0);  // the second one ends
    EXPECT_TRUE(w.breaks->isStop());
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    EXPECT_FALSE(w.breaks->isWorkPeriodRunning());
    EXPECT_EQ(w.take5Menu(), kOffersStart);
    EXPECT_EQ(w.states, (std::vector<bool>{false, true}));
    const auto soundsSoFar = w.soundStarts();
    w.advanceTo(7200.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    EXPECT_EQ(w.soundStarts(), soundsSoFar) << "nothing more after the last break";

    // Start again: a fresh run of two breaks.
    w.choose(QStringLiteral("Start"));
    w.advanceTo(7200.0 + 120.0);
    EXPECT_FALSE(w.breaks->isStop());
    EXPECT_EQ(w.breaks->repeatCounter(), 1);
}

TEST(shellBreakTimer, SoundsStartWithTheBreakAndWhenItEnds) {
    BreakWorld w;
    w.breaks->enableTake5();
    w.advanceTo(185.0);
    using Start = std::pair<QString, double>;
    EXPECT_EQ(w.soundStarts(), (std::vector<Start>{{kStartSound, 120.0}, {kEndSound, 180.0}}));
    // Each plays 20 s at most, fading out from its 10th second.
    const auto& start = w.sounds.created.front();
    EXPECT_EQ(start->timesOf(FakeSoundPlayer::Kind::Stop),
              (std::vector<double>{BreakWorld::kStart + 140.0}));
    EXPECT_FLOAT_EQ(start->volumeAt(BreakWorld::kStart + 125.0), 0.5f);
    EXPECT_LT(start->volumeAt(BreakWorld::kStart + 139.0), 0.5f);
}

// The stored defaults name sounds that are no files: the bundled "Take 5" starts a break and
// its companion ends it, while a break-end sound the user really has is played as it is.
TEST(shellBreakTimer, TheDefaultSoundsPlayTheBundledOnes) {
    TalvorTakeABreakSettings::setBundledSoundsFolder(QStringLiteral("/bundle"));
    const QString take5 = QStringLiteral("/bundle/Alerts/Take 5.ogg");
    const QString over = QStringLiteral("/bundle/Alerts/Take 5 Over.ogg");
    BreakPrefs prefs;
    prefs.soundPath = TalvorTakeABreakSettings::defaultSoundPath();
    prefs.durationSoundPath = TalvorTakeABreakSettings::defaultDurationSoundPath();
    BreakWorld w(prefs);
    w.sounds.addSound(take5, 3.0);
    w.sounds.addSound(over, 3.0);
    w.breaks->enableTake5();
    w.advanceTo(185.0);
    using Start = std::pair<QString, double>;
    EXPECT_EQ(w.soundStarts(), (std::vector<Start>{{take5, 120.0}, {over, 180.0}}));
    TalvorTakeABreakSettings::setBundledSoundsFolder(QString());
}

// Two break starts and one break end in the first 300 s.
TEST(shellBreakTimer, UnsetOrUnreadableSoundsPlayNothingAndTheBreaksGoOn) {
    struct Case {
        const char* name;
        QString soundPath;
        QString durationSoundPath;
        std::vector<QString> played;
        qsizetype logLines;
    };
    const std::vector<Case> cases{
        {"start unset", QString(), kEndSound, {kEndSound}, 0},
        {"end unset", kStartSound, QString(), {kStartSound, kStartSound}, 0},
        {"both unreadable", QStringLiteral("/nowhere/a.aiff"), QStringLiteral("Take 5"), {}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BreakPrefs prefs;
        prefs.soundPath = c.soundPath;
        prefs.durationSoundPath = c.durationSoundPath;
        BreakWorld w(prefs);
        QStringList logged;
        auto previous = platform::setLogSink([&](const QString& line) { logged << line; });
        w.breaks->enableTake5();
        w.advanceTo(300.0);
        platform::setLogSink(previous);
        std::vector<QString> played;
        for (const auto& [path, when] : w.soundStarts()) {
            played.push_back(path);
        }
        EXPECT_EQ(played, c.played);
        EXPECT_NE(w.breaks->sheet(), nullptr) << "the second break came all the same";
        EXPECT_EQ(logged.size(), c.logLines) << logged.join(QStringLiteral(" | ")).toStdString();
    }
}

TEST(shellBreakTimer, DoneBeforeTheEndRestartsWorkWithoutCountingABreak) {
    BreakWorld w;
    w.breaks->enableTake5();
    w.advanceTo(150.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    w.breaks->sheet()->skipBreak->click();
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    EXPECT_EQ(w.breaks->repeatCounter(), 0);
    EXPECT_TRUE(w.breaks->isWorkPeriodRunning());
    w.advanceTo(150.0 + 120.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    EXPECT_EQ(w.sheetText(), QStringLiteral("Take a break: 1:00 left"))
        << "the next break counts from its full length";
    w.advanceTo(271.0);
    EXPECT_EQ(w.sheetText(), QStringLiteral("Take a break: 0:59 left"));
}

TEST(shellBreakTimer, PreferencesEndsTheBreakLikeDoneAndOpensThePane) {
    BreakWorld w;
    w.breaks->enableTake5();
    w.advanceTo(130.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    w.breaks->sheet()->preferences->click();
    EXPECT_EQ(w.prefsShown, 1);
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    EXPECT_FALSE(w.breaks->isStop());
    EXPECT_TRUE(w.breaks->isWorkPeriodRunning());

    // Closing the sheet's window by hand counts as Done too.
    w.advanceTo(250.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    w.breaks->sheet()->window()->close();
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    EXPECT_TRUE(w.breaks->isWorkPeriodRunning());
}

// However reminders are stopped, and whenever, nothing of them runs on.
TEST(shellBreakTimer, StoppingAtAnyPointStopsEveryTimer) {
    struct Case {
        const char* name;
        double at;
        void (*stop)(BreakWorld&);
    };
    const std::vector<Case> cases{
        {"menu Stop while working", 60.0, [](BreakWorld& w) { w.choose(QStringLiteral("Stop")); }},
        {"menu Stop during a break", 150.0,
         [](BreakWorld& w) { w.choose(QStringLiteral("Stop")); }},
        {"sheet's Stop", 150.0, [](BreakWorld& w) { w.breaks->sheet()->stopBreak->click(); }},
        {"disable just as the break starts", 120.0,
         [](BreakWorld& w) { w.breaks->disableTake5(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BreakWorld w;
        w.breaks->enableTake5();
        w.advanceTo(c.at);
        c.stop(w);
        EXPECT_TRUE(w.breaks->isStop());
        EXPECT_EQ(w.breaks->sheet(), nullptr);
        EXPECT_FALSE(w.breaks->isWorkPeriodRunning());
        EXPECT_EQ(w.take5Menu(), kOffersStart);
        EXPECT_EQ(w.states.back(), true);
        const auto soundsSoFar = w.soundStarts();
        w.advanceTo(c.at + 7200.0);
        EXPECT_EQ(w.breaks->sheet(), nullptr);
        EXPECT_EQ(w.soundStarts(), soundsSoFar);
        EXPECT_EQ(w.breaks->repeatCounter(), 0);
    }
}

TEST(shellBreakTimer, QuitStopsTheWorkPeriod) {
    BreakWorld w;
    w.breaks->enableTake5();
    w.breaks->stopBreakTimer();
    EXPECT_FALSE(w.breaks->isWorkPeriodRunning());
    w.advanceTo(7200.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr);
}

TEST(shellBreakTimer, StartingAgainReplacesTheWorkPeriodInsteadOfAddingOne) {
    BreakWorld w;
    w.breaks->enableTake5();
    w.advanceTo(60.0);
    w.breaks->enableTake5();  // the pane starts it again
    w.advanceTo(121.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr) << "the first period was replaced";
    w.advanceTo(180.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    w.breaks->disableTake5();
    w.advanceTo(7200.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr) << "no orphan period";
    EXPECT_EQ(w.soundStarts().size(), 1u);
}

TEST(shellBreakTimer, ABreakDueWhileASheetIsUpReplacesItAndCountsFromTheStart) {
    BreakPrefs prefs;
    prefs.duration = 5;
    BreakWorld w(prefs);
    w.breaks->enableTake5();
    w.advanceTo(120.0 + 30.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    QPointer<QWidget> first = w.breaks->sheet()->window();
    w.breaks->startBreakTimer(1);  // a work period started from the pane during the break
    w.advanceTo(210.0);
    ASSERT_NE(w.breaks->sheet(), nullptr);
    EXPECT_NE(w.breaks->sheet()->window(), first.data());
    EXPECT_TRUE(first.isNull() || !first->isVisible());
    EXPECT_EQ(w.sheetText(), QStringLiteral("Take a break: 5:00 left"));
    w.advanceTo(211.0);
    EXPECT_EQ(w.sheetText(), QStringLiteral("Take a break: 4:59 left")) << "one count-down only";
    EXPECT_EQ(w.breaks->repeatCounter(), 0) << "the replaced break did not run its length";
}

TEST(shellBreakTimer, HidingTheFeatureStopsRemindersAtTheNextBreak) {
    BreakWorld w;
    w.breaks->enableTake5();
    PreferenceDomain::writeFlag(QStringLiteral("take5Show"), false);
    w.advanceTo(120.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    EXPECT_TRUE(w.breaks->isStop());
    EXPECT_FALSE(w.breaks->isWorkPeriodRunning());
    EXPECT_TRUE(w.soundStarts().empty());
    EXPECT_EQ(w.states, (std::vector<bool>{false, true}));
    EXPECT_EQ(w.menu->itemWithTag(TimeMenu::kTake5Tag), nullptr) << "the item left the menu";
}

TEST(shellBreakTimer, OddSettingsGiveBreaksOfAtLeastAMinuteAndEnd) {
    struct Case {
        const char* name;
        qint32 frequency, duration, repeat;
        double firstBreak, firstBreakEnds;
        bool stopsAfterFirst;
    };
    const std::vector<Case> cases{
        {"no work period", 0, 1, 3, 60, 120, false},
        {"negative work period", -5, 1, 3, 60, 120, false},
        {"no break length", 2, 0, 3, 120, 180, false},
        {"negative break length", 2, -3, 3, 120, 180, false},
        {"no repeats", 2, 1, 0, 120, 180, true},
        {"negative repeats", 2, 1, -1, 120, 180, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BreakPrefs prefs;
        prefs.frequency = c.frequency;
        prefs.duration = c.duration;
        prefs.repeat = c.repeat;
        BreakWorld w(prefs);
        w.breaks->enableTake5();
        w.advanceTo(c.firstBreak - 1.0);
        EXPECT_EQ(w.breaks->sheet(), nullptr);
        w.advanceTo(c.firstBreak);
        ASSERT_NE(w.breaks->sheet(), nullptr);
        EXPECT_EQ(w.sheetText(), QStringLiteral("Take a break: 1:00 left"));
        w.advanceTo(c.firstBreakEnds);
        EXPECT_EQ(w.breaks->sheet(), nullptr);
        EXPECT_EQ(w.breaks->isStop(), c.stopsAfterFirst);
    }
}

TEST(shellBreakTimer, ShorteningTheBreakWhileItRunsEndsItInsteadOfCountingBelowZero) {
    BreakPrefs prefs;
    prefs.duration = 5;
    BreakWorld w(prefs);
    w.breaks->enableTake5();
    w.advanceTo(120.0 + 90.0);
    EXPECT_EQ(w.sheetText(), QStringLiteral("Take a break: 3:30 left"));
    PreferenceDomain::writeInteger(keys::TalvorTakeABreakDuration, 1);
    w.advanceTo(120.0 + 91.0);
    EXPECT_EQ(w.breaks->sheet(), nullptr);
    EXPECT_EQ(w.breaks->repeatCounter(), 1);
    EXPECT_TRUE(w.breaks->isWorkPeriodRunning());
}

}  // namespace
}  // namespace talvor
