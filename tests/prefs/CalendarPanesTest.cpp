// The calendar panes: the calendar window's pane, the mini calendar's pane and the to-do pane.
#include "calendar/TalvorCalPrefsSettings.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/SharedInstance.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/UserDefaults.h"
#include "prefs/MenuCalendarPrefs.h"
#include "prefs/TalvorCalendarPrefs.h"
#include "support/FakeClock.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPushButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

class CalendarPanes : public ::testing::Test {
  protected:
    CalendarPanes() : defaults(domain.store()) {
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        watch = center.addObserver(QString(), QVariant(),
                                   [this](const platform::Notification& n) { posted << n.name; });
    }
    ~CalendarPanes() override {
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }
    PaneDelegate delegate() {
        PaneDelegate d;
        d.updateMenuBarItems = [this] { calls << QStringLiteral("updateMenuBarItems"); };
        d.distributedCenter = &center;
        return d;
    }
    QStringList takePosted() {
        center.flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return std::exchange(posted, {});
    }
    QVariantMap stored() const { return domain.store().dictionaryRepresentation(); }
    template <class W>
    static W* child(PreferencePane& pane, const QString& name) {
        W* w = pane.view()->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }

    test::XdgSandbox sandbox;
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults;
    test::FakeClock clock{Date::fromUnix(1781000000), QTimeZone::utc()};
    TalvorCalPrefsSettings calSettings;
    SharedInstance<TalvorCalPrefsSettings>::Override useCal{calSettings};
    TalvorDateSettings dateSettings;
    SharedInstance<TalvorDateSettings>::Override useDate{dateSettings};
    platform::DistributedNotificationCenter center;
    platform::Observation watch;
    QStringList posted;
    QStringList calls;
};

// --- the calendar window's pane ---

using prefsCalendarWindowPane = CalendarPanes;

const QString kChanged = QStringLiteral("TalvorCalendarPrefsChangeNotification");

TEST_F(prefsCalendarWindowPane, EachControlWritesItsSettingAndAnnouncesIt) {
    struct Case {
        const char* control;
        int value;  // the item index or radio tag chosen
        const char* key;
        QVariant stored;
    };
    const Case cases[] = {
        {"months6", 6, "NoOfCalendarToShow", 6},
        {"months12", 12, "NoOfCalendarToShow", 12},
        {"monthsUnlimited", 0, "NoOfCalendarToShow", 0},
        {"months1", 1, "NoOfCalendarToShow", 1},
        {"CalendarWinType", 0, "CalendarWinType", 0},
        {"CalendarWinLayer", 0, "CalendarWinLayer", 0},
        {"CalendarDoubleClickApp", 1, "CalendarDoubleClickApp", 1},
        {"CalendarImageScaleing", 1, "CalendarImageScaleing", 1},
        {"CalDayNoLocation", 2, "CalDayNoLoction", 2},
        {"longMonthName", 1, "CalendarShortLongMonth", 1},
        {"shortMonthName", 0, "CalendarShortLongMonth", 0},
        {"CalendarType", 2, "CalendarType", QStringLiteral("hebrew")},
        {"CalendarType", 4, "CalendarType", QStringLiteral("islamic-civil")},
        {"CalendarType", 0, "CalendarType", QStringLiteral("gregorian")},
    };
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    takePosted();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        QWidget* control = pane.control(QString::fromLatin1(c.control));
        ASSERT_NE(control, nullptr);
        if (auto* menu = qobject_cast<QComboBox*>(control)) {
            menu->setCurrentIndex(c.value);
            emit menu->activated(c.value);
        } else {
            qobject_cast<QAbstractButton*>(control)->click();
        }
        EXPECT_EQ(stored().value(QString::fromLatin1(c.key)), c.stored);
        EXPECT_EQ(takePosted(), QStringList{kChanged});
    }
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(prefsCalendarWindowPane, ColourWellsWriteTheirOwnColour) {
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    const char* wells[] = {"CalendarWinBGolor",    "CalendarWinBordarGolor",
                           "CalendarWinRowGolor",  "CalendarWinFrameGolor",
                           "CalendarWinDayGolor",  "CalendarWinDayOfWeekGolor",
                           "CalendarWinMonthColor"};
    int shade = 10;
    for (const char* id : wells) {
        SCOPED_TRACE(id);
        takePosted();
        auto* well = child<QPushButton>(pane, QString::fromLatin1(id));
        well->setEnabled(true);
        well->click();
        auto* panel = pane.view()->findChild<QColorDialog*>();
        ASSERT_NE(panel, nullptr);
        const QColor colour(shade, 200, 30);
        panel->setCurrentColor(colour);
        panel->close();
        delete panel;
        EXPECT_EQ(well->property("colour").value<QColor>(), colour);
        TalvorCalPrefsSettings reread;
        reread.loadPrefs();
        for (const auto& [field, other] :
             std::vector<std::pair<QColor TalvorCalPrefsSettings::*, const char*>>{
                 {&TalvorCalPrefsSettings::CalendarWinBGolor, "CalendarWinBGolor"},
                 {&TalvorCalPrefsSettings::CalendarWinMonthColor, "CalendarWinMonthColor"}}) {
            if (QLatin1String(other) == QLatin1String(id)) {
                EXPECT_EQ((reread.*field).rgb(), colour.rgb());
            }
        }
        EXPECT_EQ(takePosted(), QStringList{kChanged});
        shade += 20;
    }
}

TEST_F(prefsCalendarWindowPane, LoadingShowsTheSettingsAndWritesNothing) {
    struct Case {
        int months;
        const char* radio;
        int winType;
        int typeItem;
        QString calendar;
        int calendarItem;
    };
    const Case cases[] = {
        {1, "months1", 0, 0, QStringLiteral("buddhist"), 1},
        {12, "months12", 1, 1, QStringLiteral("japanese"), 5},
        // The stored default window kind is a style word: it is the movable window.
        {7, "monthsUnlimited", 8223, 1, QStringLiteral("coptic"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radio);
        calSettings.ShowNoOfCalendar = c.months;
        calSettings.CalendarWinType = c.winType;
        calSettings.CalendarType = c.calendar;
        calSettings.ShortLongMonthName = 1;
        dateSettings.showDateMenu = true;
        const QVariantMap before = stored();
        TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
        pane.view();
        EXPECT_TRUE(child<QAbstractButton>(pane, QString::fromLatin1(c.radio))->isChecked());
        EXPECT_EQ(child<QComboBox>(pane, QStringLiteral("CalendarWinType"))->currentIndex(),
                  c.typeItem);
        EXPECT_EQ(child<QPushButton>(pane, QStringLiteral("CalendarWinBGolor"))->isEnabled(),
                  c.winType != 0);
        EXPECT_EQ(child<QComboBox>(pane, QStringLiteral("CalendarType"))->currentIndex(),
                  c.calendarItem);
        EXPECT_TRUE(child<QAbstractButton>(pane, QStringLiteral("longMonthName"))->isChecked());
        EXPECT_TRUE(child<QAbstractButton>(pane, QStringLiteral("showBigCalendar"))->isChecked());
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(takePosted().isEmpty());
    }
}

TEST_F(prefsCalendarWindowPane, HidingTheBigCalendarIsWrittenAtOnce) {
    dateSettings.showDateMenu = true;
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    child<QAbstractButton>(pane, QStringLiteral("showBigCalendar"))->click();
    EXPECT_EQ(calls, QStringList{"updateMenuBarItems"});
    TalvorDateSettings reread;
    reread.showDateMenu = true;
    reread.loadPrefs();
    EXPECT_FALSE(reread.showDateMenu);
}

TEST_F(prefsCalendarWindowPane, ButtonsHandOverToTheCalendarWindow) {
    QStringList asked;
    TalvorCalendarPrefs::WindowHooks hooks;
    hooks.actAddPhoto = [&] { asked << "actAddPhoto"; };
    hooks.actDeletePhoto = [&] { asked << "actDeletePhoto"; };
    hooks.actSetCalMonthFontSize = [&] { asked << "actSetCalMonthFontSize"; };
    hooks.actSetCalDayNumberFontSize = [&] { asked << "actSetCalDayNumberFontSize"; };
    hooks.actSetCalWeekDayFontSize = [&] { asked << "actSetCalWeekDayFontSize"; };
    hooks.actPrintCal = [&] { asked << "actPrintCal"; };
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate(), hooks);
    const std::pair<const char*, const char*> cases[] = {
        {"monthFont", "actSetCalMonthFontSize"},
        {"dayNumberFont", "actSetCalDayNumberFontSize"},
        {"weekDayFont", "actSetCalWeekDayFontSize"},
        {"printCal", "actPrintCal"},
        {"addPhoto", "actAddPhoto"},
    };
    for (const auto& [button, hook] : cases) {
        asked.clear();
        child<QPushButton>(pane, QString::fromLatin1(button))->click();
        EXPECT_EQ(asked, QStringList{QString::fromLatin1(hook)}) << button;
    }
    EXPECT_TRUE(pane.deletePhotoButton()->isVisibleTo(pane.view()));
}

TEST_F(prefsCalendarWindowPane, DeletingThePictureAsksFirst) {
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        defaults.setObject(QStringLiteral("file:///tmp/p.png"), QStringLiteral("CalImgURL"));
        int deleted = 0;
        TalvorCalendarPrefs::WindowHooks hooks;
        hooks.actDeletePhoto = [&] { ++deleted; };
        TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate(), hooks);
        pane.view();
        QPushButton* button = pane.deletePhotoButton();
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisibleTo(pane.view()));
        button->click();
        auto* alert = pane.view()->findChild<QMessageBox*>(QStringLiteral("deletePhotoAlert"));
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text(), QStringLiteral("Delete Photo?"));
        EXPECT_EQ(alert->informativeText(), QStringLiteral("Are you sure to delete photo?"));
        const QList<QAbstractButton*> buttons = alert->buttons();
        ASSERT_EQ(buttons.size(), 2);
        EXPECT_EQ(deleted, 0);
        for (QAbstractButton* b : buttons) {
            if (b->text() == (yes ? QStringLiteral("Yes") : QStringLiteral("No"))) {
                b->click();
            }
        }
        EXPECT_EQ(deleted, yes ? 1 : 0);
        EXPECT_EQ(button->isVisibleTo(pane.view()), !yes);
    }
}

// The menu-calendar pane hosts this one: choosing the big calendar shows one month.
TEST_F(prefsCalendarWindowPane, TheBigCalendarChoiceHostsItWithOneMonth) {
    calSettings.ShowNoOfCalendar = 12;
    defaults.setInteger(12, QStringLiteral("NoOfCalendarToShow"));
    MenuCalendarPrefs menu(QStringLiteral("Nib"), delegate());
    menu.view();
    menu.btnPressed_radioBigCal();
    auto* hosted = dynamic_cast<TalvorCalendarPrefs*>(menu.bigPane());
    ASSERT_NE(hosted, nullptr);
    EXPECT_EQ(stored().value(QStringLiteral("NoOfCalendarToShow")), 1);
}

}  // namespace
}  // namespace talvor
