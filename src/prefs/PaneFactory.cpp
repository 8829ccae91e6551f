#include "PaneFactory.h"

#include "AdvancedPrefVC.h"
#include "AlarmSetController.h"
#include "CountDownTimerViewController.h"
#include "DateDiffPrefCalculator.h"
#include "FeedbakReviewUpdateVC.h"
#include "FormatItemTables.h"
#include "GlobalSchedulerViewController.h"
#include "MenuCalendarPrefs.h"
#include "SwitchLightDarkPane.h"
#include "TCalendarPrefs.h"
#include "TalvorASMViewCtrl.h"
#include "TalvorAlarmViewController.h"
#include "TalvorCalendarPrefs.h"
#include "TalvorPrefsChimesView.h"
#include "TalvorPrefsFloatingViewCtrl.h"
#include "TalvorPrefsMenuExtra.h"
#include "TalvorSetTimeZoneViewCtrl.h"
#include "TalvorTake5WindowsController.h"
#include "TalvorTodoViewController.h"

#include <algorithm>
#include <type_traits>

namespace talvor {
namespace {

template <class Pane>
PaneFactory::Maker maker() {
    return [](const QString& nibName) { return std::make_unique<Pane>(nibName); };
}

// A pane class without a delegate; the first form of a pane is a placeholder.
template <class Pane>
void addPane(PaneFactory& f, const QString& className) {
    f.add(className, maker<Pane>(), std::is_base_of_v<NotedPane, Pane>);
}

template <class Pane>
PaneFactory::Maker maker(const PaneDelegate& delegate) {
    return [delegate](const QString& nibName) { return std::make_unique<Pane>(nibName, delegate); };
}

PaneFactory::Maker formatItemMaker(const FormatItemTable& table, const PaneDelegate& delegate) {
    return [&table, delegate](const QString& nibName) {
        return std::make_unique<FormatItemPane>(table, nibName, delegate);
    };
}

}  // namespace

PaneFactory PaneFactory::standard(SwitchLightDarkDelegate lightDark, TalvorMenuDelegate menuItems,
                                  const PaneDelegate& delegate) {
    PaneFactory f;
    f.add(QStringLiteral("TalvorTimeViewController"), formatItemMaker(timeItemTable(), delegate));
    f.add(QStringLiteral("TalvorPrefsFloatingViewCtrl"),
          maker<TalvorPrefsFloatingViewCtrl>(delegate));
    f.add(QStringLiteral("TalvorCalendarPrefs"), maker<TalvorCalendarPrefs>(delegate));
    f.add(QStringLiteral("TalvorMenuViewController"),
          [menuItems = std::move(menuItems)](const QString& nibName) {
              return std::make_unique<TalvorMenuViewController>(nibName, menuItems);
          });
    f.add(QStringLiteral("TalvorPrefsChimesView"), maker<TalvorPrefsChimesView>(delegate));
    f.add(QStringLiteral("TalvorSetTimeZoneViewCtrl"), maker<TalvorSetTimeZoneViewCtrl>(delegate));
    f.add(QStringLiteral("TalvorASMViewCtrl"), maker<TalvorASMViewCtrl>(delegate));
    f.add(QStringLiteral("TalvorPrefsMenuExtra"), maker<TalvorPrefsMenuExtra>(delegate));
    f.add(QStringLiteral("DateDiffPrefCalculator"), [delegate](const QString& nibName) {
        return std::make_unique<DateDiffPrefCalculator>(nibName, delegate, delegate.UpdateMenu);
    });
    f.add(QStringLiteral("FeedbakReviewUpdateVC"), maker<FeedbakReviewUpdateVC>(delegate));
    f.add(QStringLiteral("MenuCalendarPrefs"), maker<MenuCalendarPrefs>(delegate));
    f.add(QStringLiteral("AdvancedPrefVC"), maker<AdvancedPrefVC>(delegate));
    f.add(QStringLiteral("TalvorDateViewController"), formatItemMaker(dateItemTable(), delegate));
    f.add(QStringLiteral("TCalendarPrefs"), maker<TCalendarPrefs>(delegate));
    f.add(QStringLiteral("TalvorTodoViewController"), maker<TalvorTodoViewController>(delegate));
    f.add(QStringLiteral("TalvorTake5WindowsController"),
          maker<TalvorTake5WindowsController>(delegate));
    f.add(QStringLiteral("CountDownTimerViewController"),
          maker<CountDownTimerViewController>(delegate));
    f.add(QStringLiteral("AlarmSetController"), maker<AlarmSetController>(delegate));
    f.add(QStringLiteral("TalvorAlarmViewController"), maker<TalvorAlarmViewController>(delegate));
    f.add(QStringLiteral("GlobalSchedulerViewController"),
          maker<GlobalSchedulerViewController>(delegate));
    f.add(QStringLiteral("SwitchLightDarkVC"),
          [lightDark = std::move(lightDark)](const QString& nibName) {
              return std::make_unique<SwitchLightDarkPane>(nibName, lightDark);
          });
    return f;
}

void PaneFactory::add(const QString& className, Maker maker, bool placeholder) {
    makers_.emplace(className, std::move(maker));
    if (placeholder) {
        placeholders_.insert(className);
    } else {
        placeholders_.remove(className);
    }
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
