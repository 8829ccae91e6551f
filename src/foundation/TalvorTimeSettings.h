#pragma once

#include <QColor>
#include <QFont>
#include <QString>

#include <optional>
#include <vector>

namespace talvor {

namespace settings {
template <class Model>
struct Row;
}  // namespace settings

namespace platform {
class KeyedArchiver;
class KeyedUnarchiver;
}  // namespace platform

// Everything the time item and the time menu show, kept in the application's preference
// domain. Main thread only.
class TalvorTimeSettings {
  public:
    // Loads itself from the preference domain.
    TalvorTimeSettings();
    ~TalvorTimeSettings();
    TalvorTimeSettings(const TalvorTimeSettings&) = delete;
    TalvorTimeSettings& operator=(const TalvorTimeSettings&) = delete;
    TalvorTimeSettings(TalvorTimeSettings&&) = default;

    // The process-wide model (SharedInstance), loaded on first use.
    static TalvorTimeSettings& sharedInstance();

    // The reset groups of the table.
    enum ResetGroup { TimeView, MenuItems, Take5 };
    // Every stored setting: key, member, stored form, default, archive form, resets.
    static const std::vector<settings::Row<TalvorTimeSettings>>& table();

    void loadPrefs();
    // Writes every setting to the domain (not synchronised) and recomputes the refresh rate.
    void writePrefs();
    // Writes, synchronises the domain, and tells every process.
    void writePrefsAndSync();
    // 1 s when the time format shows seconds, else 60 s.
    void checkRate();

    void resetTimeViewToDefaults();
    void resetMenuItemsToDefaults();
    void resetTake5ToDefaults();

    // Keyed coding: decodes the time font, the two time colours and the format; encodes
    // nothing.
    static QString archiveClassName() { return QStringLiteral("TalvorTimeSettings"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<TalvorTimeSettings> initWithCoder(const platform::KeyedUnarchiver& coder);

    bool enableTimeMenu = false;
    bool showAnalogClockInMenu = false;
    bool showTimeInMenu = false;
    bool flashSeparator = false;
    // Shown in place of every ":" of the time item's text.
    QString timeSeparator;
    bool timeHasDropShadow = false;
    QFont timeFont;
    QColor timeColor;
    QColor timeColorDMode;
    QString timeFormat;  // null: none
    bool showAlarm = false;
    bool showTake5 = false;
    bool showDateDiffereneCalc = false;
    bool showGlobalScheduler = false;
    bool showLightDarkMode = false;
    bool showCountDown = false;
    bool showLoctionNames = false;
    bool showIP = false;
    bool showInternalIP = false;
    bool showIPV4IP = false;
    bool showIPV6IP = false;
    bool hideCountryInMenuItems = false;
    bool showOnlineInfo = false;
    bool locationHasDropShadow = false;
    QFont locationFont;
    QColor locationColor;
    QString locationTimeFormat;  // null: none
    float refreshRate = 60.0f;
    std::optional<int> indexOfMenuItemColumnFormat;
    std::optional<int> indexOfMenuItemTimeFormat;
    qint32 debugLevel = 0;

  private:
    struct NoLoad {};
    explicit TalvorTimeSettings(NoLoad);
};

// The default font of the time and date items: "LucidaGrande" at 14 points, or the
// title-bar font of that size where the system has no such family.
QFont defaultMenuBarFont();

}  // namespace talvor
