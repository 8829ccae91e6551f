// An alarm made the way a user makes one: the alarm page of the settings window, the time
// menu, the fake clock running to its time, then a restart against the real settings files.
#include "alarms/AlarmMenuController.h"
#include "alarms/Clock.h"
#include "alarms/SavedAlarms.h"
#include "alarms/UserNotificationCenter.h"
#include "platform/Menu.h"
#include "platform/OpenDialogs.h"
#include "platform/Preferences.h"
#include "platform/SharedInstance.h"
#include "prefs/AlarmSetController.h"
#include "support/QtPrinters.h"
#include "support/ShellHarness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include <gtest/gtest.h>

namespace talvor {
namespace {

Date berlin(int d, int h, int mi) {
    return Date::fromQDateTime(
        QDateTime(QDate(2024, 3, d), QTime(h, mi), QTimeZone(QByteArrayLiteral("Europe/Berlin"))));
}

QStringList titles(const platform::Menu& menu) {
    QStringList out;
    for (int i = 0; i < menu.numberOfItems(); ++i) {
        out << menu.itemAtIndex(i)->title();
    }
    return out;
}

class shellAlarmEditor : public ::testing::Test {
  protected:
    shellAlarmEditor() {
        AlarmMenuController::setMainMenuController(&controller);
        Clock::setSharedClock(&alarmClock);
        alarmClock.setSavesChanges(true);
        controller.setNotifier([this](const UserNotification& n) { shown.push_back(n); });
    }
    ~shellAlarmEditor() override {
        platform::closeOpenDialogs();
        if (harness.delegate) {
            harness.quit();
        }
        Clock::setSharedClock(nullptr);
        AlarmMenuController::setMainMenuController(nullptr);
    }

    // The page the settings window shows, as the alarm menu's editor.
    AlarmSetController* editor() {
        return dynamic_cast<AlarmSetController*>(controller.alarmSetController());
    }
    // The time menu's "Alarms..." submenu, as it looks when opened; none without the item.
    std::shared_ptr<platform::Menu> alarmsSubmenu() {
        const auto& menu = harness.delegate->timeMenu();
        const int index = menu->indexOfItemWithTitle(QStringLiteral("Alarms..."));
        if (index < 0) {
            return nullptr;
        }
        auto sub = menu->itemAtIndex(index)->submenu();
        if (sub) {
            sub->notifyWillOpen();
            sub->notifyDidClose();
        }
        return sub;
    }

    test::ShellHarness harness{berlin(4, 10, 0), QTimeZone(QByteArrayLiteral("Europe/Berlin")),
                               test::Storage::Files};
    AlarmMenuController controller;
    Clock alarmClock{harness.scheduler_};
    std::vector<UserNotification> shown;
};

TEST_F(shellAlarmEditor, AnAlarmSetInTheFormIsListedRingsAndIsKept) {
    AppDelegate& app = harness.launch();
    ASSERT_EQ(alarmsSubmenu(), nullptr) << "alarms are not offered before the box is on";

    // The sidebar's "Create Alarm": the page becomes the alarm menu's editor.
    app.settingsWindow().doOnMain(PaneTag::createAlarm);
    AlarmSetController* page = editor();
    ASSERT_NE(page, nullptr);
    page->view()->findChild<QCheckBox*>(QStringLiteral("showAlarm"))->click();
    auto alarms = alarmsSubmenu();
    ASSERT_NE(alarms, nullptr) << "the box puts \"Alarms...\" into the time menu";
    EXPECT_TRUE(titles(*alarms).contains(QStringLiteral("Create alarm...")));

    // "Create alarm..." from the time menu opens the same page with an empty form.
    alarms->performActionForItemAtIndex(
        alarms->indexOfItemWithTitle(QStringLiteral("Create alarm...")));
    page = editor();
    ASSERT_NE(page, nullptr);
    EXPECT_EQ(page->titleBox()->currentText(), QString());
    page->titleBox()->setEditText(QStringLiteral("Tea"));
    page->timeRadio(0)->click();
    page->inTimeField()->setText(QStringLiteral("10"));
    page->setButton()->click();
    ASSERT_EQ(alarmClock.allAlarms().size(), 1u);
    const std::shared_ptr<Alarm> tea = alarmClock.allAlarms().front();

    // The time menu lists it among the active alarms.
    const QStringList listed = titles(*alarmsSubmenu());
    EXPECT_EQ(listed.indexOf(QStringLiteral("Active alarms:")), 0)
        << listed.join(u'|').toStdString();
    EXPECT_TRUE(std::any_of(listed.begin(), listed.end(), [](const QString& t) {
        return t.contains(QStringLiteral("Tea"));
    })) << listed.join(u'|').toStdString();

    // It rings at 10:10 on the fake clock, not before.
    harness.scheduler_.advanceTo(berlin(4, 10, 9));
    EXPECT_EQ(controller.snoozeWindowFor(tea.get()), nullptr);
    harness.scheduler_.advanceTo(berlin(4, 10, 10));
    EXPECT_NE(controller.snoozeWindowFor(tea.get()), nullptr) << "ringing at its time";
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(shown.front().informativeText.contains(QStringLiteral("Tea")));

    // Kept for the menu ("Save"), then cleared; a new start reads it back from the settings
    // file: saved, offered by the menu's inactive alarms and by the page.
    controller.saveFromMenu(tea);
    controller.clearFromMenu(tea);
    harness.quit();
    platform::Preferences::resetAll();
    AppDelegate& second = harness.launch();
    const AlarmList saved = SavedAlarms::load();
    ASSERT_EQ(saved.size(), 1u);
    EXPECT_EQ(saved.front()->title(), QStringLiteral("Tea"));
    EXPECT_EQ(saved.front()->ringWithinUnits(), 10);
    const QStringList offered = titles(*alarmsSubmenu());
    const auto teaLine = std::find_if(offered.begin(), offered.end(), [](const QString& t) {
        return t.endsWith(QStringLiteral(" Tea"));
    });
    EXPECT_GT(teaLine - offered.begin(), offered.indexOf(QStringLiteral("Inactive alarms:")))
        << offered.join(u'|').toStdString();
    second.settingsWindow().doOnMain(PaneTag::createAlarm);
    ASSERT_NE(editor(), nullptr);
    EXPECT_EQ(editor()->titleBox()->itemText(0), QStringLiteral("Tea"));
}

}  // namespace
}  // namespace talvor
