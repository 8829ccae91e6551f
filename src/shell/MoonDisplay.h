#pragma once

#include "TimeDateText.h"
#include "platform/Date.h"
#include "sky/TalvorMoonCalc.h"

#include <QImage>
#include <QRectF>
#include <QString>

#include <array>
#include <optional>

class QPainter;

namespace talvor {

namespace platform {
class Clock;
}
class StatusItemsController;
class StringsBundle;
class TalvorDateSettings;

// The moon picture drawn in code: "MM0".."MM7" are the eight phase bands (0 new, 2 lit on the
// right, 4 full, 6 lit on the left), "MMblue" a blue full moon. Square, transparent outside
// the disc; null for an unknown name.
QImage moonPicture(const QString& name, int size = 64);

// The calendar leaf the date item shows when it draws neither the moon nor the date: a
// page with a red head and the day number, `height` points high. The picture is as wide as
// the leaf, or as the number plus 6 when the number would not fit; `size` gets its size in
// points.
QImage calendarLeafPicture(int day, const QFont& font, const QColor& colour, bool shadow,
                           double height, QSizeF* size = nullptr);

// The moon on the date item: its picture, its tool tip and the texts of the next full and
// new moon. Owned by the application delegate; main thread only.
class MoonDisplay {
  public:
    static constexpr const char* kStringsTable = "MoonLocalizable";

    // Neither is owned; both must outlive the display.
    MoonDisplay(const TalvorDateSettings& dateSettings, platform::Clock& clock);

    // Phase names ("PhaseName0".."PhaseName7") and the labels "NextFullMoon" and
    // "NextNewMoon" of the "MoonLocalizable" table; English where the table has none.
    void loadMoonStringsFromBundle(const StringsBundle& bundle);

    // Tool tip and picture of the date item, as of now. Unchanged settings, appearance and
    // item within one minute reuse the last result instead of recomputing the moon.
    void moonUpdate(StatusItemsController& items, double extraHeight);
    // Draws the calculator's current moon into the date item, `extraHeight` high.
    void setMoonAsIcon(StatusItemsController& items, double extraHeight);

    // "Current Moon: <phase>\nNext Full Moon: <date>\nNext New Moon: <date>", after `prefix`
    // when given.
    QString addNextMoons(const std::optional<QString>& prefix = std::nullopt);
    // The same text as of `date`; the calculator's own date is left as it was.
    QString addNextMoons(Date date, const std::optional<QString>& prefix = std::nullopt);

    // The picture for the calculator's date; `mooonImage(date)` moves the calculator there.
    QImage mooonImage() const;
    QImage mooonImage(Date date);
    void drawMoonInRect(QPainter& painter, const QRectF& rect) const;

    TalvorMoonCalc& moon() { return moon_; }
    const std::array<QString, 8>& moonPhaseNames() const { return moonPhaseNames_; }

  private:
    void setMoonDate(Date date);
    QString moonText(const std::optional<QString>& prefix);

    struct Shown {
        double minute;
        bool showMoon, toolTip, south, dark, showDate, shadow;
        double height;
        const void* item;
        QString format;
        QByteArray zone;
        QString font;
        QRgb colour;
        bool operator==(const Shown&) const = default;
    };

    const TalvorDateSettings& dateSettings_;
    platform::Clock& clock_;
    TalvorMoonCalc moon_;
    std::array<QString, 8> moonPhaseNames_;
    QString nextFullMoonLabel_;
    QString nextNewMoonLabel_;
    TimeDateText texts_;
    std::optional<Shown> shown_;
    qint64 shownImage_ = 0;
    QString shownToolTip_;
};

}  // namespace talvor
