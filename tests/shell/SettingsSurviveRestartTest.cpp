// Every setting a built window changes is stored and shown again after a restart: the
// application runs against the real property-list files of a temporary XDG_CONFIG_HOME, the
// setting is changed through the window's own control, the application quits through its
// shut-down (saving) and a new start reads the files again.

#include "alarms/TalvorTakeABreakSettings.h"
#include "foundation/TalvorMenuItemFlags.h"
#include "platform/Preferences.h"
#include "platform/SharedInstance.h"
#include "prefs/PreferencePane.h"
#include "prefs/SwitchLightDarkPane.h"
#include "support/QtPrinters.h"
#include "support/ShellHarness.h"
#include "world/TalvorLocationWinCtrl.h"
#include "world/TalvorMenuBarFlags.h"
#include "world/WorldKeys.h"

#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <functional>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi, int s) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

// The control of the settings-window pane of `tag`, the pane opened through the sidebar.
template <class W>
W* paneControl(AppDelegate& app, PaneTag tag, const char* name) {
    SettingsWindowHost& host = app.settingsWindow();
    host.doOnMain(tag);
    PreferencePane* pane = host.viewCtrl();
    W* w = pane != nullptr && pane->view() != nullptr
               ? pane->view()->findChild<W*>(QString::fromLatin1(name))
               : nullptr;
    EXPECT_NE(w, nullptr) << "pane " << static_cast<int>(tag) << " has no " << name;
    return w;
}

SwitchLightDarkVC* lightDarkPane(AppDelegate& app) {
    SettingsWindowHost& host = app.settingsWindow();
    host.doOnMain(PaneTag::lightDark);
    auto* pane = qobject_cast<SwitchLightDarkPane*>(host.viewCtrl());
    SwitchLightDarkVC* vc = pane != nullptr ? pane->controller() : nullptr;
    EXPECT_NE(vc, nullptr);
    return vc;
}

QRadioButton* gmtButton(TalvorLocationWinCtrl& locations) {
    for (QRadioButton* b : locations.window()->findChildren<QRadioButton*>()) {
        if (b->text() == QStringLiteral("GMT offset")) {
            return b;
        }
    }
    ADD_FAILURE() << "the locations window has no GMT choice";
    return nullptr;
}

QVariant checked(QAbstractButton* b) {
    return b != nullptr ? QVariant(b->isChecked()) : QVariant();
}

// Chooses a format in a pane's format pop-up, as a click on its item does.
void chooseFormat(QComboBox* popup, const char* pattern) {
    const int index = popup != nullptr ? popup->findData(QString::fromLatin1(pattern)) : -1;
    ASSERT_GE(index, 0) << pattern;
    popup->setCurrentIndex(index);
    emit popup->activated(index);
}

QVariant shownFormat(QComboBox* popup) {
    return popup != nullptr ? popup->currentData() : QVariant();
}

struct Row {
    const char* setting;
    // Changes the setting the way the user does, through the window.
    std::function<void(AppDelegate&)> change;
    // What the window (or the model behind it) shows of the setting.
    std::function<QVariant(AppDelegate&)> shown;
};

void PrintTo(const Row& row, std::ostream* os) {
    *os << row.setting;
}

const Row kRows[] = {
    {"MenuBarOptBits 0x200: the locations window's GMT choice",
     [](AppDelegate&) {
         TalvorLocationWinCtrl locations;
         gmtButton(locations)->click();
     },
     [](AppDelegate&) {
         TalvorLocationWinCtrl locations;
         return checked(gmtButton(locations));
     }},
    {"MenuItemOptBits: a Menu Items cell",
     [](AppDelegate& app) {
         paneControl<QAbstractButton>(app, PaneTag::menuItems, "menuItem13")->click();
     },
     [](AppDelegate& app) {
         return checked(paneControl<QAbstractButton>(app, PaneTag::menuItems, "menuItem13"));
     }},
    {"MenuBarOptBits bit 0: the Time Menu's show-time box",
     [](AppDelegate& app) {
         paneControl<QAbstractButton>(app, PaneTag::timeMenu, "showTime")->click();
     },
     [](AppDelegate& app) {
         return checked(paneControl<QAbstractButton>(app, PaneTag::timeMenu, "showTime"));
     }},
    {"TalvorTimeICONPref: the Time Menu's analog clock box",
     [](AppDelegate& app) {
         paneControl<QAbstractButton>(app, PaneTag::timeMenu, "analogClock")->click();
     },
     [](AppDelegate& app) {
         return checked(paneControl<QAbstractButton>(app, PaneTag::timeMenu, "analogClock"));
     }},
    {"CustomTime: the Time Menu's format pop-up",
     [](AppDelegate& app) {
         chooseFormat(paneControl<QComboBox>(app, PaneTag::timeMenu, "format"), "HH:mm");
     },
     [](AppDelegate& app) {
         return shownFormat(paneControl<QComboBox>(app, PaneTag::timeMenu, "format"));
     }},
    {"TalvorCalMoonPref: the Date Menu's moon box",
     [](AppDelegate& app) {
         paneControl<QAbstractButton>(app, PaneTag::dateMenu, "showMoon")->click();
     },
     [](AppDelegate& app) {
         return checked(paneControl<QAbstractButton>(app, PaneTag::dateMenu, "showMoon"));
     }},
    {"CustomDate: the Date Menu's format pop-up",
     [](AppDelegate& app) {
         chooseFormat(paneControl<QComboBox>(app, PaneTag::dateMenu, "format"), "yyyy-MM-dd");
     },
     [](AppDelegate& app) {
         return shownFormat(paneControl<QComboBox>(app, PaneTag::dateMenu, "format"));
     }},
    {"CustomLocTime: the Menu Items time-format pop-up",
     [](AppDelegate& app) {
         chooseFormat(paneControl<QComboBox>(app, PaneTag::menuItems, "timeLocFormat"), "HH:mm:ss");
     },
     [](AppDelegate& app) {
         return shownFormat(paneControl<QComboBox>(app, PaneTag::menuItems, "timeLocFormat"));
     }},
    {"FloatingStates field 13: the Floating Clocks pane's second hand",
     [](AppDelegate& app) {
         paneControl<QCheckBox>(app, PaneTag::floatingClocks, "FloaterAnalogSecHand")->click();
     },
     [](AppDelegate& app) {
         return checked(
             paneControl<QCheckBox>(app, PaneTag::floatingClocks, "FloaterAnalogSecHand"));
     }},
    {"FloaterLeftAlign: the Floating Clocks pane's box",
     [](AppDelegate& app) {
         paneControl<QCheckBox>(app, PaneTag::floatingClocks, "FloaterLeftAlign")->click();
     },
     [](AppDelegate& app) {
         return checked(paneControl<QCheckBox>(app, PaneTag::floatingClocks, "FloaterLeftAlign"));
     }},
    {"floatingTimeFormat: the Floating Clocks pane's time pop-up",
     [](AppDelegate& app) {
         chooseFormat(paneControl<QComboBox>(app, PaneTag::floatingClocks, "timeFormatPopUp"),
                      "HH:mm");
     },
     [](AppDelegate& app) {
         return shownFormat(
             paneControl<QComboBox>(app, PaneTag::floatingClocks, "timeFormatPopUp"));
     }},
    {"globalSchedulerShow: the Global Scheduler's menu box",
     [](AppDelegate& app) {
         paneControl<QCheckBox>(app, PaneTag::globalScheduler, "showGlobalScheduler")->click();
     },
     [](AppDelegate& app) {
         return checked(
             paneControl<QCheckBox>(app, PaneTag::globalScheduler, "showGlobalScheduler"));
     }},
    {"ipShow: the Menu Items box",
     [](AppDelegate& app) { paneControl<QCheckBox>(app, PaneTag::menuItems, "showIP")->click(); },
     [](AppDelegate& app) {
         return checked(paneControl<QCheckBox>(app, PaneTag::menuItems, "showIP"));
     }},
    {"ChimeStates: the Chimes pane's spoken hour",
     [](AppDelegate& app) { paneControl<QCheckBox>(app, PaneTag::chimes, "SpeakHour")->click(); },
     [](AppDelegate& app) {
         return checked(paneControl<QCheckBox>(app, PaneTag::chimes, "SpeakHour"));
     }},
    {"ASMFlag: the Applications Menu box",
     [](AppDelegate& app) {
         paneControl<QCheckBox>(app, PaneTag::applicationsMenu, "checkboxMenuExtra")->click();
     },
     [](AppDelegate& app) {
         return checked(
             paneControl<QCheckBox>(app, PaneTag::applicationsMenu, "checkboxMenuExtra"));
     }},
    {"alarmShow: the alarm page's Alarms box",
     [](AppDelegate& app) {
         paneControl<QCheckBox>(app, PaneTag::createAlarm, "showAlarm")->click();
     },
     [](AppDelegate& app) {
         return checked(paneControl<QCheckBox>(app, PaneTag::createAlarm, "showAlarm"));
     }},
    {"take5Show: the alarm item pane's Take 5 box",
     [](AppDelegate& app) { paneControl<QCheckBox>(app, PaneTag::alarms, "showTake5")->click(); },
     [](AppDelegate& app) {
         return checked(paneControl<QCheckBox>(app, PaneTag::alarms, "showTake5"));
     }},
    {"AppDockIconFlag: the About pane's taskbar box",
     [](AppDelegate& app) { paneControl<QCheckBox>(app, PaneTag::about, "dockIcon")->click(); },
     [](AppDelegate& app) {
         return checked(paneControl<QCheckBox>(app, PaneTag::about, "dockIcon"));
     }},
    {"ShareDataWithService: the General pane's sharing box",
     [](AppDelegate& app) { paneControl<QCheckBox>(app, PaneTag::general, "bShareData")->click(); },
     [](AppDelegate& app) {
         return checked(paneControl<QCheckBox>(app, PaneTag::general, "bShareData"));
     }},
    {"SelectedMenuCalendar: the Menubar Calendar choice",
     [](AppDelegate& app) {
         paneControl<QRadioButton>(app, PaneTag::menubarCalendar, "radioBigCal")->click();
     },
     [](AppDelegate& app) {
         return checked(paneControl<QRadioButton>(app, PaneTag::menubarCalendar, "radioBigCal"));
     }},
    {"AppearanceSwitch: the Light/Dark pane's row",
     [](AppDelegate& app) { lightDarkPane(app)->radioBtnSwitch()->button(1)->click(); },
     [](AppDelegate& app) { return QVariant(lightDarkPane(app)->selectedRow()); }},
    {"lightDarkModeShow: the Light/Dark pane's menu box",
     [](AppDelegate& app) { lightDarkPane(app)->menuBtn()->click(); },
     [](AppDelegate& app) { return checked(lightDarkPane(app)->menuBtn()); }},
    {"lastUsedPrefTag: the settings window's last pane",
     [](AppDelegate& app) { app.settingsWindow().doOnMain(PaneTag::about); },
     [](AppDelegate& app) {
         app.settingsWindow().showPrefs();
         return QVariant(app.settingsWindow().returnViewControllerName());
     }},
    {"FloaterState: the time menu's Floating Clocks item",
     [](AppDelegate& app) {
         // The floating clocks are turned on in their pane, which is not built.
         platform::UserDefaults::standard().setBool(true, keys::Floater);
         app.showFloating();
     },
     [](AppDelegate& app) { return QVariant(app.timeMenuItems().IsShowFloatingClock); }},
};

class shellRestart : public ::testing::TestWithParam<Row> {
  protected:
    shellRestart() {
        TalvorMenuBarFlags = 0;
        TalvorMenuItemFlags = 0;
    }
    ~shellRestart() override {
        if (harness.delegate) {
            harness.quit();
        }
        TalvorMenuBarFlags = 0;
        TalvorMenuItemFlags = 0;
        SharedInstance<TalvorTakeABreakSettings>::reset();
    }

    // Quits through the shut-down and starts as a new process would: nothing is kept in
    // memory but what the files hold.
    AppDelegate& restart() {
        harness.quit();
        platform::Preferences::resetAll();
        TalvorMenuBarFlags = 0;
        TalvorMenuItemFlags = 0;
        SharedInstance<TalvorTakeABreakSettings>::reset();
        return harness.launch();
    }

    test::ShellHarness harness{utc(2024, 7, 1, 9, 30, 0), QTimeZone::utc(), test::Storage::Files};
};

TEST_P(shellRestart, TheChangedSettingIsShownAgainAfterARestart) {
    const Row& row = GetParam();
    AppDelegate& first = harness.launch();
    const QVariant before = row.shown(first);
    row.change(first);
    const QVariant changed = row.shown(first);
    ASSERT_NE(changed, before) << "the control changed nothing";

    AppDelegate& second = restart();
    EXPECT_TRUE(QFile::exists(platform::Preferences::filePathFor(appTalvor4Prefs)));
    EXPECT_EQ(row.shown(second), changed);
}

INSTANTIATE_TEST_SUITE_P(Windows, shellRestart, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<Row>& p) {
                             std::string name;
                             for (const char* c = p.param.setting; *c != '\0' && *c != ':'; ++c) {
                                 if (std::isalnum(static_cast<unsigned char>(*c))) {
                                     name += *c;
                                 }
                             }
                             return name;
                         });

}  // namespace
}  // namespace talvor
