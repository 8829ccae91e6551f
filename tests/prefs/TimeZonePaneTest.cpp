#include "platform/Clock.h"
#include "prefs/TalvorSetTimeZoneViewCtrl.h"
#include "support/BuiltManual.h"
#include "support/FakeClock.h"
#include "support/FakeSystemEvents.h"
#include "support/FakeTimeZoneSetter.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using Failure = platform::TimeZoneFailure;
using Kind = platform::TimeZoneFailure::Kind;

const QString kGnome = QStringLiteral("gnome-control-center");
const QString kKde = QStringLiteral("systemsettings");
const QString kXfce = QStringLiteral("xfce4-datetime-settings");

QString bin(const QString& program) {
    return QStringLiteral("/usr/bin/") + program;
}

// A small zone database, a clock in Paris, a setter, a launcher and a delegate that record
// what the pane asks for.
class TimeZonePane : public ::testing::Test {
  protected:
    TimeZonePane() {
        for (const char* id : {"Europe/Paris", "Europe/Berlin", "America/New_York",
                               "America/Argentina/Buenos_Aires", "Etc/UTC"}) {
            const QString path = zoneDir.filePath(QLatin1String(id));
            QDir().mkpath(QFileInfo(path).path());
            QFile(path).open(QIODevice::WriteOnly);
        }
        platform::Clock::setShared(&clock);
        platform::TimeZoneSetter::setShared(&setter);
        platform::ProcessLauncher::setShared(&launcher);
        delegate.openURL = [this](const QUrl& url) { opened << url.toString(); };
    }
    ~TimeZonePane() override {
        platform::ProcessLauncher::setShared(nullptr);
        platform::TimeZoneSetter::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }

    std::unique_ptr<TalvorSetTimeZoneViewCtrl> makePane() {
        auto pane = std::make_unique<TalvorSetTimeZoneViewCtrl>(
            QStringLiteral("PrefsSetTimeZone"), delegate, ZoneInfoTree(zoneDir.path()));
        EXPECT_NE(pane->view(), nullptr);
        return pane;
    }
    QPushButton* button(TalvorSetTimeZoneViewCtrl& pane, const char* name) {
        auto* b = pane.view()->findChild<QPushButton*>(QLatin1String(name));
        EXPECT_NE(b, nullptr) << name;
        return b;
    }
    QStringList launched() const {
        QStringList out;
        for (const auto& l : launcher.launches) {
            out << (QStringList{l.program} + l.arguments).join(QLatin1Char(' '));
        }
        return out;
    }

    QTemporaryDir zoneDir;
    test::FakeClock clock{Date::fromReference(0), QTimeZone("Europe/Paris")};
    test::FakeTimeZoneSetter setter;
    test::FakeProcessLauncher launcher;
    PaneDelegate delegate;
    QStringList opened;
};

using prefsTimeZonePane = TimeZonePane;

TEST_F(prefsTimeZonePane, EachButtonAsksForItsOwnThing) {
    const test::ScopedBuiltManual manual;
    // Button -> zone requested, program started, page opened.
    struct Case {
        const char* button;
        QStringList requested;
        QStringList launched;
        QStringList opened;
    };
    const Case cases[] = {
        {"setZoneButton", {QStringLiteral("Europe/Paris")}, {}, {}},
        {"timeZoneButton", {}, {bin(kGnome) + QStringLiteral(" datetime")}, {}},
        {"regionButton", {}, {bin(kGnome) + QStringLiteral(" region")}, {}},
        {"mapButton", {}, {}, {TalvorSetTimeZoneViewCtrl::timeZoneMapPage().toString()}},
        {"helpButton",
         {},
         {},
         {test::ScopedBuiltManual::page(QStringLiteral("pane-set-timezone"))}},
        {"versionButton", {}, {}, {PaneLinks::changeLogPage().toString()}},
    };
    launcher.installed = QStringList{kGnome, kKde, kXfce};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        setter.requests.clear();
        launcher.launches.clear();
        opened.clear();
        const auto pane = makePane();
        button(*pane, c.button)->click();
        EXPECT_EQ(setter.requests, c.requested);
        EXPECT_EQ(launched(), c.launched);
        EXPECT_EQ(opened, c.opened);
    }
}

// Without the desktop's settings tools the buttons say so in the pane, and how to go on.
TEST_F(prefsTimeZonePane, WithoutADesktopSettingsToolTheButtonsSaySo) {
    struct Case {
        const char* button;
        QStringList installed;
        const char* said;  // in the status line; empty: nothing
    };
    const Case cases[] = {
        {"timeZoneButton", {}, "no date and time settings"},
        {"regionButton", {}, "no region and language settings"},
        {"timeZoneButton", {kKde}, ""},
        {"regionButton", {kGnome}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        launcher.installed = c.installed;
        const auto pane = makePane();
        button(*pane, c.button)->click();
        const QString status = pane->statusField()->text();
        if (*c.said == 0) {
            EXPECT_TRUE(status.isEmpty()) << status.toStdString();
        } else {
            EXPECT_TRUE(status.contains(QString::fromLatin1(c.said))) << status.toStdString();
            EXPECT_TRUE(status.contains(QStringLiteral("GNOME Settings")));
        }
    }
}

TEST_F(prefsTimeZonePane, ListsStartAtTheClocksZoneAndTheChosenZoneIsRequested) {
    const auto pane = makePane();
    EXPECT_EQ(pane->regionPopUp()->currentText(), QStringLiteral("Europe"));
    EXPECT_EQ(pane->selectedZone(), QStringLiteral("Europe/Paris"));
    EXPECT_EQ(pane->currentZoneField()->text(), QStringLiteral("Current time zone: Europe/Paris"));

    // A region's zones replace the last region's; sub-folder zones keep their full id.
    pane->regionPopUp()->setCurrentText(QStringLiteral("America"));
    QStringList titles;
    for (int i = 0; i < pane->zonePopUp()->count(); ++i) {
        titles << pane->zonePopUp()->itemText(i);
    }
    EXPECT_EQ(titles, QStringList({QStringLiteral("Buenos_Aires (Argentina)"),
                                   QStringLiteral("New_York")}));
    pane->zonePopUp()->setCurrentIndex(0);
    pane->setZoneButton()->click();
    EXPECT_EQ(setter.requests, QStringList{QStringLiteral("America/Argentina/Buenos_Aires")});

    // "Etc" reads as "GMT" in the list and is requested by its real id.
    EXPECT_TRUE(pane->selectZone(QStringLiteral("Etc/UTC")));
    EXPECT_EQ(pane->regionPopUp()->currentText(), QStringLiteral("GMT"));
    EXPECT_FALSE(pane->selectZone(QStringLiteral("Mars/Olympus")));
    EXPECT_FALSE(pane->selectZone(QStringLiteral("UTC")));
}

TEST_F(prefsTimeZonePane, ZoneChangedElsewhereShowsAtOnce) {
    const auto pane = makePane();
    clock.setZone(QTimeZone("America/New_York"));
    EXPECT_EQ(pane->currentZoneField()->text(),
              QStringLiteral("Current time zone: America/New_York"));
}

TEST_F(prefsTimeZonePane, AClockZoneOutsideTheDatabaseStillLeavesAUsableList) {
    clock.setZone(QTimeZone::utc());
    const auto pane = makePane();
    EXPECT_EQ(pane->regionPopUp()->currentIndex(), 0);
    EXPECT_TRUE(pane->selectedZone().has_value());
    EXPECT_TRUE(pane->setZoneButton()->isEnabled());
}

TEST_F(prefsTimeZonePane, AnEmptyZoneDatabaseAsksForNothing) {
    TalvorSetTimeZoneViewCtrl pane(QStringLiteral("PrefsSetTimeZone"), delegate,
                                   ZoneInfoTree(zoneDir.filePath(QStringLiteral("missing"))));
    ASSERT_NE(pane.view(), nullptr);
    EXPECT_FALSE(pane.setZoneButton()->isEnabled());
    pane.setTimeZone();
    EXPECT_TRUE(setter.requests.isEmpty());
}

TEST_F(prefsTimeZonePane, TheSystemsAnswerIsShownAndTheButtonWaitsForIt) {
    // Answer -> status line.
    const std::pair<std::optional<Failure>, QString> cases[] = {
        {std::nullopt, QStringLiteral("The time zone is now Europe/Paris.")},
        {Failure{Kind::NotAuthorized, QStringLiteral("Access denied")},
         QStringLiteral("You are not allowed to change the time zone of this computer.")},
        {Failure{Kind::UnknownZone, {}},
         QStringLiteral("The system does not know this time zone.")},
        {Failure{Kind::NoService, {}},
         QStringLiteral("The time zone cannot be set: the system's date and time service is not "
                        "available.")},
        {Failure{Kind::Other, QStringLiteral("Timeout")},
         QStringLiteral("The time zone could not be set.")},
    };
    for (const auto& [failure, status] : cases) {
        SCOPED_TRACE(status.toStdString());
        const auto pane = makePane();
        pane->setZoneButton()->click();
        EXPECT_FALSE(pane->setZoneButton()->isEnabled());
        pane->setZoneButton()->click();  // disabled: no second request
        EXPECT_EQ(setter.pending.size(), 1u);
        ASSERT_TRUE(setter.answer(failure));
        EXPECT_EQ(pane->statusField()->text(), status);
        EXPECT_TRUE(pane->setZoneButton()->isEnabled());
    }
}

TEST_F(prefsTimeZonePane, AnAnswerAfterThePaneWentIsDropped) {
    makePane()->setTimeZone();
    ASSERT_EQ(setter.pending.size(), 1u);
    EXPECT_TRUE(setter.answer(Failure{Kind::NotAuthorized, {}}));
}

TEST(prefsSystemSettings, FirstInstalledToolThatStartsWinsAndNoneIsSilent) {
    // Installed, not starting -> started (last one wins), and whether anything started.
    struct Case {
        QStringList installed;
        QStringList failing;
        QStringList tried;
        bool opened;
    };
    const Case cases[] = {
        {{kGnome, kKde, kXfce}, {}, {bin(kGnome)}, true},
        {{kKde, kXfce}, {}, {bin(kKde)}, true},
        {{kXfce}, {}, {bin(kXfce)}, true},
        {{kGnome, kXfce}, {bin(kGnome)}, {bin(kGnome), bin(kXfce)}, true},
        {{kGnome}, {bin(kGnome)}, {bin(kGnome)}, false},
        {{}, {}, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.installed.join(QLatin1Char(',')).toStdString());
        test::FakeProcessLauncher launcher;
        launcher.installed = c.installed;
        launcher.failing = c.failing;
        platform::ProcessLauncher::setShared(&launcher);
        test::LogCapture log;
        EXPECT_EQ(openSystemSettings(TalvorSetTimeZoneViewCtrl::dateTimeSettings()), c.opened);
        platform::ProcessLauncher::setShared(nullptr);
        QStringList tried;
        for (const auto& l : launcher.launches) {
            tried << l.program;
        }
        EXPECT_EQ(tried, c.tried);
        EXPECT_EQ(log.lines().size(), c.opened ? 0 : 1);
    }
}

}  // namespace
}  // namespace talvor
