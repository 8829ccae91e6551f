#include "FloatingScene.h"

#include "foundation/PreferenceDomain.h"
#include "platform/Clock.h"
#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "world/TalvorClockCell.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/TimeZoneWindow.h"
#include "world/WorldKeys.h"

#include <QPainter>

namespace talvor::shot {
namespace {

// The picture shows one moment, whenever it is made: 2025-03-04 15:40:30 UTC.
class StillClock : public platform::Clock {
  public:
    Date now() const override { return Date::fromUnix(1741102830); }
    QTimeZone currentZone() const override { return QTimeZone("Europe/London"); }
};

QVariantList location(const QString& city, const QString& country, const QString& zone) {
    return {QString(), city,      QString(), country,   zone, QString(),
            QString(), QString(), QString(), QString(), true, true};
}

}  // namespace

namespace {

QImage renderFloating(double scale, const QString& states, const QList<QVariantList>& places) {
    platform::Preferences::install(
        std::make_unique<platform::MemoryPreferenceStore>(appTalvor4Prefs));
    QImage image;
    {
        platform::UserDefaults defaults(PreferenceDomain::store());
        PreferenceDomain::store().setValue(keys::Floater, QVariant(true));
        PreferenceDomain::store().setValue(keys::FloatingStates, states);
        StillClock clock;
        TalvorFloatingClockCtrl clocks(clock, defaults, [](const QString&) {});
        clocks.LoadFloatingOptions();
        LocationTable table;
        for (const QVariantList& place : places) {
            table.append(QVariant(place));
        }
        clocks.TimeZoneFloating(table);
        clocks.updateFoatingClockTime();
        TimeZoneWindow* window = clocks.tzWin();
        image =
            QImage((QSizeF(window->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        image.fill(QColor(0x5B, 0x6B, 0x7A));
        window->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    platform::Preferences::resetAll();
    return image;
}

}  // namespace

QImage renderFlagClocks(double scale) {
    return renderFloating(
        scale, QStringLiteral("Floating: 1 1 1 1 0 0 3 101 96.000 8.000 1.000 1 1 0 1 0 0 0 1 1"),
        {location(QStringLiteral("Paris"), QStringLiteral("France"),
                  QStringLiteral("Europe/Paris")),
         location(QStringLiteral("Tokyo"), QStringLiteral("Japan"), QStringLiteral("Asia/Tokyo")),
         location(QStringLiteral("Kathmandu"), QStringLiteral("Nepal"),
                  QStringLiteral("Asia/Kathmandu")),
         location(QStringLiteral("New York"), QStringLiteral("USA"),
                  QStringLiteral("America/New_York"))});
}

QImage renderFloatingClocks(double scale) {
    platform::Preferences::install(
        std::make_unique<platform::MemoryPreferenceStore>(appTalvor4Prefs));
    QImage image;
    {
        platform::UserDefaults defaults(PreferenceDomain::store());
        PreferenceDomain::store().setValue(keys::Floater, QVariant(true));
        PreferenceDomain::store().setValue(
            keys::FloatingStates,
            QStringLiteral("Floating: 1 1 1 1 0 0 9 1 128.000 8.000 1.000 1 1 1 1 0 0 0 1 1"));
        StillClock clock;
        TalvorFloatingClockCtrl clocks(clock, defaults, [](const QString&) {});
        clocks.LoadFloatingOptions();
        clocks.TimeZoneFloating({location(QStringLiteral("Paris"), QStringLiteral("France"),
                                          QStringLiteral("Europe/Paris")),
                                 location(QStringLiteral("Tokyo"), QStringLiteral("Japan"),
                                          QStringLiteral("Asia/Tokyo"))});
        clocks.updateFoatingClockTime();
        TimeZoneWindow* window = clocks.tzWin();
        image =
            QImage((QSizeF(window->size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
        image.setDevicePixelRatio(scale);
        // A desktop-like grey behind the transparent window.
        image.fill(QColor(0x5B, 0x6B, 0x7A));
        window->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    }
    platform::Preferences::resetAll();
    return image;
}

QImage renderClockFaces(double scale) {
    constexpr int kSize = 96;
    constexpr int kColumns = 7;
    QImage image(QSize(kColumns * kSize, 3 * kSize) * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(Qt::white);
    QPainter painter(&image);
    const QTimeZone zone = QTimeZone::utc();
    const Date time = Date::fromQDateTime(QDateTime(QDate(2025, 3, 4), QTime(10, 10, 30), zone));
    for (int type = 1; type <= 21; ++type) {
        TalvorClockCell cell(CalendarDate{time, zone});
        cell.SetClockType(type);
        cell.SetAnalogSecHand(1);
        cell.SetShowAMPM(0);
        const int i = type - 1;
        cell.drawWithFrame(painter, QRectF((i % kColumns) * kSize + 4, (i / kColumns) * kSize + 4,
                                           kSize - 8, kSize - 8));
    }
    return image;
}

}  // namespace talvor::shot
