#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "TalvorMenuViewController.h"
#include "services/SwitchLightDarkVC.h"

#include <QHash>
#include <QString>

#include <functional>
#include <memory>

namespace talvor {

// Makes settings panes by class name, as the settings window names them; a name without a
// class makes nothing.
class PaneFactory {
  public:
    using Maker = std::function<std::unique_ptr<PreferencePane>(const QString& nibName)>;

    // Every pane class the settings window can show. The light/dark pane talks to the
    // application through `lightDark`, the menu items pane through `menuItems`, the others
    // through `delegate`.
    static PaneFactory standard(SwitchLightDarkDelegate lightDark = {},
                                TalvorMenuDelegate menuItems = {},
                                const PaneDelegate& delegate = {});

    // Adds or replaces the class `className`.
    void add(const QString& className, Maker maker);
    bool contains(const QString& className) const { return makers_.contains(className); }
    QStringList classNames() const;
    // A new pane made for `nibName`; null when there is no such class.
    std::unique_ptr<PreferencePane> make(const QString& className, const QString& nibName) const;

  private:
    QHash<QString, Maker> makers_;
};

}  // namespace talvor
