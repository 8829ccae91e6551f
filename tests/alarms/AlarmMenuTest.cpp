#include "AlarmsTestSupport.h"

#include "alarms/AlarmMenuController.h"
#include "platform/Menu.h"
#include "platform/NotificationCenter.h"

namespace talvor::test {
namespace {

class RecordingHost : public AlarmMenuHost {
  public:
    void addItem(std::shared_ptr<platform::Menu> alarmMenu) override {
        menu = std::move(alarmMenu);
    }
    void showPrefs() override { calls << QStringLiteral("showPrefs"); }
    void doOnMain(int tag) override { calls << QStringLiteral("doOnMain %1").arg(tag); }

    std::shared_ptr<platform::Menu> menu;
    QStringList calls;
};

QStringList entries(const platform::Menu& menu) {
    QStringList lines;
    for (const auto& item : menu.itemArray()) {
        lines << (item->isSeparatorItem()                      ? QStringLiteral("---")
                  : item->attributedTitle().string().isEmpty() ? item->title()
                                                               : item->attributedTitle().string());
    }
    return lines;
}

class alarmsMenu : public AlarmsTest {
  protected:
    void TearDown() override {
        controller_.awakeFromNib(nullptr);
        AlarmsTest::TearDown();
    }
    RecordingHost host;
};

TEST_F(alarmsMenu, TheMenuListsTheActiveAlarmsAndFollowsTheirChanges) {
    controller_.awakeFromNib(&host);
    ASSERT_NE(host.menu, nullptr);
    EXPECT_EQ(entries(*host.menu),
              (QStringList{"Active alarms:", "No Alarms", "---", "Create alarm..."}));

    alarmClock().insertAlarm(dateAlarm(at("2024-03-05T07:30:00")));
    platform::NotificationCenter::defaultCenter().post(
        QStringLiteral("ZephyrelMainMenuWillAppear"));
    const QStringList withAlarm = entries(*host.menu);
    ASSERT_EQ(withAlarm.size(), 4);
    EXPECT_TRUE(withAlarm[1].startsWith(QStringLiteral("Tue, 7:30"))) << withAlarm[1].toStdString();
    EXPECT_TRUE(withAlarm[1].contains(QStringLiteral("date")));
}

// Alarms are listed soonest first, whatever order they were made in, and choosing one
// edits it at once: no submenu that holds only "Edit...".
TEST_F(alarmsMenu, AlarmsAreListedByTimeAndChoosingOneEditsIt) {
    controller_.awakeFromNib(&host);
    for (const char* time : {"2024-03-07T09:00:00", "2024-03-05T07:30:00", "2024-03-06T22:15:00"}) {
        alarmClock().insertAlarm(dateAlarm(at(time)));
    }
    platform::NotificationCenter::defaultCenter().post(
        QStringLiteral("ZephyrelMainMenuWillAppear"));
    const QStringList lines = entries(*host.menu);
    ASSERT_EQ(lines.size(), 6);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("Tue, 7:30"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[2].startsWith(QStringLiteral("Wed, 10:15"))) << lines[2].toStdString();
    EXPECT_TRUE(lines[3].startsWith(QStringLiteral("Thu, 9:00"))) << lines[3].toStdString();
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(host.menu->itemAtIndex(i)->submenu(), nullptr) << i;
    }
    ASSERT_TRUE(host.menu->performActionForItemAtIndex(2));
    EXPECT_EQ(host.calls, (QStringList{"showPrefs", "doOnMain 22"}));
}

TEST_F(alarmsMenu, CreatingAnAlarmOpensItsSettingsPane) {
    controller_.awakeFromNib(&host);
    host.menu->performActionForItemAtIndex(
        host.menu->indexOfItemWithTitle(QStringLiteral("Create alarm...")));
    EXPECT_EQ(host.calls, (QStringList{"showPrefs", "doOnMain 22"}));

    // Once the host is gone, nothing calls it.
    controller_.awakeFromNib(nullptr);
    controller_.editAlarm();
    EXPECT_EQ(host.calls.size(), 2);
}

}  // namespace
}  // namespace talvor::test
