#pragma once

#include "PaneDelegate.h"
#include "PreferencePane.h"
#include "TalvorMenuViewController.h"
#include "services/SwitchLightDarkVC.h"

#include <QHash>
#include <QSet>
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

    // Adds or replaces the class `className`; a placeholder pane shows only its title and a
    // note, so the window does not open on it by itself.
    void add(const QString& className, Maker maker, bool placeholder = false);
    bool contains(const QString& className) const { return makers_.contains(className); }
    bool isPlaceholder(const QString& className) const { return placeholders_.contains(className); }
    QStringList classNames() const;
    // A new pane made for `nibName`; null when there is no such class.
    std::unique_ptr<PreferencePane> make(const QString& className, const QString& nibName) const;

  private:
    QHash<QString, Maker> makers_;
    QSet<QString> placeholders_;
};

}  // namespace talvor
