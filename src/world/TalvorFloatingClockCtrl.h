#pragma once

#include "DateFormatterCache.h"
#include "FloatingLayout.h"
#include "FloatingOptions.h"
#include "foundation/LocationRecord.h"

#include <QColor>
#include <QFont>
#include <QString>
#include <QTimeZone>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QFontMetricsF;
class QLabel;

namespace talvor {

class StringsBundle;
class TalvorClockControl;
class TimeZoneWindow;

namespace platform {
class Clock;
class Menu;
class MenuItem;
class UserDefaults;
struct Notification;
}  // namespace platform

// The floating clocks: one small clock per marked location of the location list, in a
// borderless window of their own on the desktop. Decodes the packed "FloatingStates"
// options, builds the grid of dials and labels, refreshes them every second while shown and
// offers the show and hide commands. Main thread only.
class TalvorFloatingClockCtrl {
  public:
    // Posts a distributed notification by name, without an object.
    using Poster = std::function<void(const QString& name)>;

    // `post` empty: the default distributed centre.
    explicit TalvorFloatingClockCtrl(platform::Clock& clock, platform::UserDefaults& defaults,
                                     Poster post = {});
    // The shared clock and standard defaults.
    TalvorFloatingClockCtrl();
    ~TalvorFloatingClockCtrl();
    TalvorFloatingClockCtrl(const TalvorFloatingClockCtrl&) = delete;
    TalvorFloatingClockCtrl& operator=(const TalvorFloatingClockCtrl&) = delete;

    // Resets, reads and normalises the options. With a notification (a settings change) the
    // preference domain is synchronised first, and a visible window is hidden when the
    // feature is now off.
    void LoadFloatingOptions(const platform::Notification* notification = nullptr);
    // Builds and shows the window for the records of `locationList` whose field 11 is true;
    // hides it when there is none. Does nothing while the feature is off.
    void TimeZoneFloating(const LocationTable& locationList);
    // When the feature is on: hides the window and builds it anew.
    void reorderFloatingClocks(const LocationTable& locationList);
    // The per-second refresh of the dials, their tool tips and the labels; nothing while the
    // window is hidden.
    void updateFoatingClockTime();
    bool isFloating() const;
    void hideClocks();
    // Turns the feature on ("Floater"), synchronises and tells every process.
    void menuSelectedShowFloating(platform::MenuItem* sender = nullptr);
    // When shown: turns the feature off, synchronises and hides the window.
    void menuSelectedHideFloating(platform::MenuItem* sender = nullptr);
    // What Escape in the clocks' window does; without one it hides them.
    void setEscapeAction(std::function<void()> action);

    // The label below a dial: city, country, zone abbreviation as the options ask.
    QString TimeZoneGetFloatingText(const QVariantList& record, const QString& abbreviation) const;
    // The label above a dial: the time and the date now in `zone`, as the options ask.
    QString TimeZoneGetFloatingText(const QTimeZone& zone);
    static QString& fixWeekNum(QString& format, const QString& week);
    static QString& fixTimeZone(QString& format, const QString& tzAbbreviation);
    // Where the flag picture of a country is looked for (share/talvor/Flags/<Name>.png);
    // nullopt without a country.
    static std::optional<QString> getiChatFlagPath(const QString& country);

    // Puts the "Floating Clocks…" item (tag -87) in place of an earlier one, or before the
    // item tagged -80; with `showFloatingMenuItem` set, only removes it.
    void buildFloatingClockItem(platform::Menu& menu);
    void setShowFloatingMenuItem(bool show) { showFloatingMenuItem_ = show; }
    static StringsBundle& bundle();

    // When set, each operation logs its name.
    bool debugProfile = false;

    // What the last load and build left.
    struct FloatingClock {
        QVariantList record;
        QTimeZone zone;
        QString abbreviation;
        TalvorClockControl* dial = nullptr;
        QLabel* above = nullptr;
        QLabel* below = nullptr;
    };
    const FloatingOptions& options() const { return options_; }
    TimeZoneWindow* tzWin() const { return tzWin_.get(); }
    const QFont& FloaterFont() const { return FloaterFont_; }
    const QString& floatDateFormat() const { return floatDateFormat_; }
    const QString& floatDateFormat2() const { return floatDateFormat2_; }
    // The calendar format ("Custom..." of the settings) of a digital clock's time.
    const QString& customFormat() const { return customFormat_; }
    bool leftAligned() const { return leftAlign_; }
    int floatingHasSec() const { return floatingHasSec_; }
    const std::shared_ptr<platform::MenuItem>& floatingMenuItem() const {
        return floatingMenuItem_;
    }
    const FloatingGrid& grid() const { return grid_; }
    const std::vector<FloatingClock>& clocks() const { return clocks_; }
    int formattersCreated() const { return formatters_.createdCount(); }
    int textsFormatted() const { return formatters_.formattedCount(); }

    static constexpr qint64 kMenuItemTag = -87;
    static constexpr qint64 kMenuAnchorTag = -80;
    static constexpr int kAboveLabelTag = 100;

  private:
    struct Measured;
    void profile(const char* operation) const;
    void post(const QString& name);
    QTimeZone zoneOf(const QVariantList& record) const;
    // The label above a dial, `week` being the machine's week of the year.
    QString aboveText(const QTimeZone& zone, Date now, int week, const QString& abbreviation);
    double digitalTextWidth(const QTimeZone& zone, const QString& abbreviation,
                            const QFontMetricsF& metrics);
    // A digital clock's time at `now` in `zone`, through the custom calendar format.
    QString digitalTime(const QTimeZone& zone, Date now, int week,
                        const QString& abbreviation) const;
    // The label below a clock: in digital mode the clock's time, then the location's text.
    QString belowText(const QVariantList& record, const QTimeZone& zone, Date now, int week,
                      const QString& abbreviation) const;
    void buildWindow(const std::vector<Measured>& measured);

    platform::Clock& clock_;
    platform::UserDefaults& defaults_;
    Poster post_;
    FloatingOptions options_;
    // The columns asked for: a build may show fewer, but not a later build with more clocks.
    int configuredColumns_ = 10;
    int floatingHasSec_ = 0;
    bool saidDefaults_ = false;
    bool leftAlign_ = false;
    bool showFloatingMenuItem_ = false;
    QFont FloaterFont_;
    QString floatDateFormat_;
    QString floatDateFormat2_;
    QString customFormat_;
    std::unique_ptr<TimeZoneWindow> tzWin_;
    std::function<void()> escapeAction_;
    std::shared_ptr<platform::MenuItem> floatingMenuItem_;
    FloatingGrid grid_;
    std::vector<FloatingClock> clocks_;
    DateFormatterCache formatters_;
    // The minute and machine zone the labels and tool tips were last made for.
    std::optional<qint64> textsMinute_;
    QByteArray textsZone_;
    bool textsShowSeconds_ = false;
};

}  // namespace talvor
