#pragma once

#include "TimeDateText.h"
#include "foundation/LocationRecord.h"
#include "platform/AttributedString.h"
#include "platform/Date.h"
#include "platform/EventModifiers.h"

#include <QMetaObject>
#include <QString>
#include <QUrl>

#include <functional>
#include <future>
#include <memory>
#include <optional>

namespace talvor {

namespace platform {
class Clock;
class Menu;
class MenuItem;
}  // namespace platform
class TalvorTimeSettings;

// The world-clock lines of the time menu: one line per location marked for the menu, with
// its time and note as the menu-item flag word asks, a submenu of web look-ups, and the
// "Add Location..." line. Main thread only.
class WorldClockItems {
  public:
    // Bits of the menu-item flag word.
    static constexpr quint32 kShowTime = 0x80;
    static constexpr quint32 kNameThenTime = 0x20;
    static constexpr quint32 kTimeThenName = 0x10;
    static constexpr quint32 kAppendNote = 0x40;
    static constexpr qint64 kTag = -96;

    enum class LookUp { Weather, AnswerEngine, Encyclopedia, WebSearch, MapSearch };

    struct Actions {
        // Opens a web page; empty: the desktop's browser.
        std::function<bool(const QUrl& url)> openURL;
        // The sun-information window for a city; empty: the item is shown disabled.
        std::function<void(const QString& city)> showSunInfo;
        // The locations editor; empty: "Edit Locations..." and "Add Location..." are disabled.
        std::function<void()> editLocations;
    };

    // None is owned; all must outlive the object. `flags` gives the menu-item flag word.
    WorldClockItems(platform::Menu& menu, TalvorTimeSettings& settings, platform::Clock& clock,
                    std::function<quint32()> flags, Actions actions);
    ~WorldClockItems();
    WorldClockItems(const WorldClockItems&) = delete;
    WorldClockItems& operator=(const WorldClockItems&) = delete;

    // Replaces the list with the records of the live location table that the time menu or
    // the floating clocks show (the table holds thousands more, which only the locations
    // window needs); a table that cannot be read keeps the list as it was. The table is read
    // on a thread of its own: the first reader of the list waits for it.
    void reloadLocListNow();
    const LocationTable& LocationList() const;
    void setLocationList(LocationTable list);

    // Rebuilds the lines from index `start`; returns the index after "Add Location...", or
    // `start` when the lines are switched off.
    int updateLocationMenuItems(int start);
    void RemoveLocMenuItems();
    // The tick's refresh while the menu is open: the times are rewritten in place when the
    // lines still match the list; a changed list is not rebuilt then (that would close the
    // open submenus) but once the menu closed. A closed menu is refreshed as it opens.
    void refreshForTick();

    // Lines the group has: the shown records plus "Add Location...".
    int lineCount() const;
    static bool isShown(const QVariant& entry);
    // The records shown in the time menu or as floating clocks, in the table's order.
    static LocationTable recordsInUse(const LocationTable& table);
    // The line's title for `now`.
    QString titleFor(const QVariantList& record, Date now);
    // The title in the location font and colour, with the location shadow when it is on.
    platform::AttributedString styledTitle(const QString& title) const;
    // City, then the state for the United States or the country for any other.
    static QString lookUpText(const QVariantList& record);
    // `text` as a query value of the look-up's page.
    static QUrl lookUpURL(LookUp lookUp, const QString& text);
    // The look-up that a click with `modifiers` asks for.
    static LookUp lookUpForModifiers(platform::ModifierFlags modifiers);

    // Actions of a line and of its submenu.
    void menuSelectedTimeZone(platform::MenuItem& sender);
    void openLookUp(LookUp lookUp, const QString& text);

  private:
    std::shared_ptr<platform::MenuItem> makeLine(const QVariantList& record, Date now);
    void SetLocMenuItemToolTip(platform::MenuItem& item, const QVariantList& record);
    std::shared_ptr<platform::MenuItem> makeEditItem(const QString& title);
    void refresh(bool mayRebuild);
    // Takes the table being read, once it is read.
    void takeLoadedTable() const;

    platform::Menu& menu_;
    TalvorTimeSettings& settings_;
    platform::Clock& clock_;
    std::function<quint32()> flags_;
    Actions actions_;
    // Filled from the table being read when a reader first asks.
    mutable LocationTable LocationList_;
    mutable std::future<std::optional<LocationTable>> loading_;
    TimeDateText formats_;
    bool rebuildWhenClosed_ = false;
    QMetaObject::Connection openConnection_;
    QMetaObject::Connection closeConnection_;
};

}  // namespace talvor
