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

// The date item, the moon display and the calendar window opened from the date item, kept
// in the application's preference domain. Main thread only.
class TalvorDateSettings {
  public:
    // Loads itself from the preference domain.
    TalvorDateSettings();
    ~TalvorDateSettings();
    TalvorDateSettings(const TalvorDateSettings&) = delete;
    TalvorDateSettings& operator=(const TalvorDateSettings&) = delete;
    TalvorDateSettings(TalvorDateSettings&&) = default;

    // The process-wide model (SharedInstance), loaded on first use.
    static TalvorDateSettings& sharedInstance();

    // The reset groups of the table.
    enum ResetGroup { DateView, CalendarWindow };
    // Every stored setting: key, member, stored form, default, archive form, resets.
    static const std::vector<settings::Row<TalvorDateSettings>>& table();

    void loadPrefs();
    // Writes every setting to the domain (not synchronised) and recomputes the refresh rate.
    void writePrefs();
    // Writes, synchronises, and tells every process (also when synchronising failed).
    void writePrefsAndSync();
    void checkRate();

    void resetDateViewToDefaults();
    void resetCalendarToDefaults();

    QString description() const;

    // Keyed coding of the flags (not `showDateMenu`), the font, both colours and the format.
    static QString archiveClassName() { return QStringLiteral("TalvorDateSettings"); }
    void encodeWithCoder(platform::KeyedArchiver& coder) const;
    static std::optional<TalvorDateSettings> initWithCoder(const platform::KeyedUnarchiver& coder);

    bool showMoon = false;
    bool isSouthernHemisphere = false;
    bool showMoonToolTip = false;
    bool enableWindowClick = false;
    bool hideToDoEventSection = false;
    bool floatOnTop = false;
    bool attached = false;
    bool showDateMenu = false;
    bool showDateInMenu = false;
    bool hasDropShadow = false;
    QFont dateFont;
    QColor dateColor;
    QColor dateColorDMode;
    QString dateFormat;  // null: none
    float refreshRate = 60.0f;
    bool enableMiniCalendar = false;
    qint32 miniCalStartOfWeek = 0;
    qint32 debugLevel = 0;

  private:
    struct NoLoad {};
    explicit TalvorDateSettings(NoLoad);
};

}  // namespace talvor
