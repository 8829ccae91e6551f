#include "PaneFactory.h"

#include "DateDiffPrefCalculator.h"
#include "MenuCalendarPrefs.h"
#include "PreferencePanes.h"
#include "SwitchLightDarkPane.h"
#include "TalvorASMViewCtrl.h"
#include "TalvorPrefsChimesView.h"
#include "TalvorPrefsMenuExtra.h"
#include "TalvorSetTimeZoneViewCtrl.h"

#include <algorithm>

namespace talvor {
namespace {

template <class Pane>
PaneFactory::Maker maker() {
    return [](const QString& nibName) { return std::make_unique<Pane>(nibName); };
}

template <class Pane>
PaneFactory::Maker maker(const PaneDelegate& delegate) {
    return [delegate](const QString& nibName) { return std::make_unique<Pane>(nibName, delegate); };
}

}  // namespace

PaneFactory PaneFactory::standard(SwitchLightDarkDelegate lightDark, TalvorMenuDelegate menuItems,
                                  const PaneDelegate& delegate) {
    PaneFactory f;
    std::function<void(qint32)> updateMenu = menuItems.UpdateMenu;
    f.add(QStringLiteral("TalvorTimeViewController"), maker<TalvorTimeViewController>());
    f.add(QStringLiteral("TalvorPrefsFloatingViewCtrl"), maker<TalvorPrefsFloatingViewCtrl>());
    f.add(QStringLiteral("TalvorCalendarPrefs"), maker<TalvorCalendarPrefs>());
    f.add(QStringLiteral("TalvorMenuViewController"),
          [menuItems = std::move(menuItems)](const QString& nibName) {
              return std::make_unique<TalvorMenuViewController>(nibName, menuItems);
          });
    f.add(QStringLiteral("TalvorPrefsChimesView"), maker<TalvorPrefsChimesView>(delegate));
    f.add(QStringLiteral("TalvorSetTimeZoneViewCtrl"), maker<TalvorSetTimeZoneViewCtrl>(delegate));
    f.add(QStringLiteral("TalvorASMViewCtrl"), maker<TalvorASMViewCtrl>(delegate));
    f.add(QStringLiteral("TalvorPrefsMenuExtra"), maker<TalvorPrefsMenuExtra>(delegate));
    f.add(QStringLiteral("DateDiffPrefCalculator"), [delegate, updateMenu](const QString& nibName) {
        return std::make_unique<DateDiffPrefCalculator>(nibName, delegate, updateMenu);
    });
    f.add(QStringLiteral("FeedbakReviewUpdateVC"), maker<FeedbakReviewUpdateVC>());
    f.add(QStringLiteral("MenuCalendarPrefs"), maker<MenuCalendarPrefs>(delegate));
    f.add(QStringLiteral("AdvancedPrefVC"), maker<AdvancedPrefVC>());
    f.add(QStringLiteral("TalvorDateViewController"), maker<TalvorDateViewController>());
    f.add(QStringLiteral("TCalendarPrefs"), maker<TCalendarPrefs>());
    f.add(QStringLiteral("TalvorTake5WindowsController"), maker<TalvorTake5WindowsController>());
    f.add(QStringLiteral("CountDownTimerViewController"), maker<CountDownTimerViewController>());
    f.add(QStringLiteral("AlarmSetController"), maker<AlarmSetController>());
    f.add(QStringLiteral("GlobalSchedulerViewController"), maker<GlobalSchedulerViewController>());
    f.add(QStringLiteral("SwitchLightDarkVC"),
          [lightDark = std::move(lightDark)](const QString& nibName) {
              return std::make_unique<SwitchLightDarkPane>(nibName, lightDark);
          });
    return f;
}

void PaneFactory::add(const QString& className, Maker maker) {
    makers_.emplace(className, std::move(maker));
}

QStringList PaneFactory::classNames() const {
    QStringList names = makers_.keys();
    std::sort(names.begin(), names.end());
    return names;
}

std::unique_ptr<PreferencePane> PaneFactory::make(const QString& className,
                                                  const QString& nibName) const {
    const auto it = makers_.constFind(className);
    if (it == makers_.constEnd()) {
        return nullptr;
    }
    return it.value()(nibName);
}

}  // namespace talvor
