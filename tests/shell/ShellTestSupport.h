#pragma once

#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/Menu.h"
#include "platform/SharedInstance.h"
#include "platform/StatusBar.h"
#include "platform/UserDefaults.h"
#include "shell/StatusItemsController.h"
#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/ManualScheduler.h"
#include "support/ScopedPreferences.h"
#include "support/ShellHarness.h"
#include "support/TestEnvironment.h"

#include <QStringList>

#include <optional>

namespace talvor::test {

// Records what the status items ask of the application delegate.
class RecordingStatusItemsDelegate : public StatusItemsDelegate {
  public:
    std::shared_ptr<platform::Menu> timeMenu() override { return menu; }
    void setLastDay(qint64 day) override { calls << QStringLiteral("lastDay %1").arg(day); }
    void setupASMMenu() override { calls << QStringLiteral("setupASMMenu"); }
    void updateTimeDate() override { calls << QStringLiteral("updateTimeDate"); }
    void moonUpdate() override { calls << QStringLiteral("moonUpdate"); }
    void showCal() override { calls << QStringLiteral("showCal"); }
    QString timeItemText(Date) override { return timeText; }
    QString dateItemText(Date) override { return dateText; }

    std::shared_ptr<platform::Menu> menu = platform::Menu::create(QStringLiteral("Time"));
    QString timeText = QStringLiteral("03:40:30 PM");
    QString dateText = QStringLiteral("Tue 4 Mar");
    QStringList calls;
};

// Settings in an in-memory domain, a status bar of our own and a still clock.
class ShellFixture {
  public:
    ShellFixture() : defaults(domain.store()) {
        platform::UserDefaults::setStandard(&defaults);
        time.emplace();
        date.emplace();
        sharedTime.emplace(*time);
        sharedDate.emplace(*date);
        time->enableTimeMenu = true;
        time->timeColor = QColor(Qt::black);
        time->timeColorDMode = QColor(Qt::black);
        date->showDateMenu = true;
        date->showDateInMenu = true;
        date->showMoon = false;
        date->dateColor = QColor(Qt::black);
        date->dateColorDMode = QColor(Qt::white);
    }
    ~ShellFixture() { platform::UserDefaults::setStandard(nullptr); }

    void setDark(bool dark) {
        defaults.setGlobalValue(QStringLiteral("AppleInterfaceStyle"),
                                dark ? QVariant(QStringLiteral("Dark")) : QVariant());
    }

    ScopedMemoryDomain domain{appTalvor4Prefs};
    FakeFontResolver fonts{{}, QStringLiteral("Title Sans")};
    ScopedFontResolver scopedFonts{fonts};
    platform::UserDefaults defaults;
    std::optional<TalvorTimeSettings> time;
    std::optional<TalvorDateSettings> date;
    std::optional<SharedInstance<TalvorTimeSettings>::Override> sharedTime;
    std::optional<SharedInstance<TalvorDateSettings>::Override> sharedDate;
    platform::StatusBar bar;
    // 2025-03-04 15:40:30 UTC
    FakeClock clock{Date::fromUnix(1741102830), QTimeZone::utc()};
    RecordingStatusItemsDelegate delegate;
};

}  // namespace talvor::test
