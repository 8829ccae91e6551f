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
    EXPECT_EQ(host.menu->itemAtIndex(1)->submenu()->itemAtIndex(0)->title(),
              QStringLiteral("Edit..."));
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
