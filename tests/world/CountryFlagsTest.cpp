#include "foundation/LocationRecord.h"
#include "foundation/PreferenceDomain.h"
#include "platform/PropertyList.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/FakeFontResolver.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"
#include "world/CountryFlags.h"
#include "world/LocationItemModel.h"
#include "world/LocationTableModel.h"
#include "world/TalvorClockControl.h"
#include "world/TalvorFloatingClockCtrl.h"
#include "world/WorldKeys.h"

#include <QFile>
#include <QIcon>
#include <QSet>

#include <gtest/gtest.h>

namespace talvor {
namespace {

const QString kResources = QStringLiteral(TALVOR_SOURCE_RESOURCES);

bool near(QRgb p, QColor c, int tolerance = 40) {
    return std::abs(qRed(p) - c.red()) <= tolerance &&
           std::abs(qGreen(p) - c.green()) <= tolerance &&
           std::abs(qBlue(p) - c.blue()) <= tolerance;
}

TEST(worldCountryFlags, CountriesAreFoundByAnyOfTheirNamesWithCodeAndFlag) {
    const CountryFlags flags(kResources);
    ASSERT_GT(flags.size(), 240);
    struct Case {
        const char* asked;
        const char* iso;
        const char* name;
        const char* phone;
    };
    for (const Case& c :
         {Case{"France", "FR", "France", "+33"}, Case{"fr", "FR", "France", "+33"},
          Case{"USA", "US", "United States", "+1"},
          Case{"united kingdom", "GB", "United Kingdom", "+44"},
          Case{"UK", "GB", "United Kingdom", "+44"},
          Case{"The Netherlands", "NL", "Netherlands", "+31"}, Case{"Nepal", "NP", "Nepal", "+977"},
          Case{"Congo (Kinshasa)", "CD", "Democratic Republic of the Congo", "+243"}}) {
        const std::optional<CountryFlags::Country> country =
            flags.country(QString::fromUtf8(c.asked));
        ASSERT_TRUE(country.has_value()) << c.asked;
        EXPECT_EQ(country->iso, QLatin1String(c.iso)) << c.asked;
        EXPECT_EQ(country->name, QString::fromUtf8(c.name)) << c.asked;
        EXPECT_EQ(country->phone, QLatin1String(c.phone)) << c.asked;
        EXPECT_TRUE(flags.flagPath(QString::fromUtf8(c.asked)).has_value()) << c.asked;
    }
    EXPECT_FALSE(flags.country(QStringLiteral("Atlantis")).has_value());
    EXPECT_FALSE(flags.flagPath(QString()).has_value());
    EXPECT_EQ(CountryFlags(QStringLiteral("/nonexistent")).size(), 0);
}

TEST(worldCountryFlags, EveryCountryOfTheLocationListsHasAFlag) {
    const CountryFlags flags(kResources);
    QFile file(kResources + QStringLiteral("/LocationsConfig.plist"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const std::optional<QVariant> places = platform::PropertyList::parse(file.readAll());
    ASSERT_TRUE(places.has_value());
    QSet<QString> missing;
    for (const QVariant& place : places->toList()) {
        const QString country = LocationRecord::text(LocationRecord::fields(place), 3);
        if (!country.isEmpty() && !flags.flagPath(country)) {
            missing.insert(country);
        }
    }
    // Somaliland has no code of its own.
    EXPECT_EQ(missing, QSet<QString>{QStringLiteral("Somaliland")});
}

TEST(worldCountryFlags, FlagsAreDrawnSquareInTheirColours) {
    const CountryFlags flags(kResources);
    struct Probe {
        double x, y;
        QColor colour;
    };
    struct Case {
        const char* country;
        std::vector<Probe> probes;
    };
    const QColor frBlue(0, 0, 145), white(255, 255, 255), frRed(225, 0, 15);
    const Case cases[] = {
        {"France", {{0.15, 0.5, frBlue}, {0.5, 0.5, white}, {0.85, 0.5, frRed}}},
        {"Germany",
         {{0.5, 0.15, QColor(0, 0, 0)},
          {0.5, 0.5, QColor(221, 0, 0)},
          {0.5, 0.85, QColor(255, 206, 0)}}},
        {"Japan", {{0.1, 0.1, white}, {0.5, 0.5, QColor(188, 0, 45)}}},
    };
    for (const Case& c : cases) {
        const QImage image = CountryFlags::drawFlag(*flags.flagPath(QLatin1String(c.country)), 64);
        ASSERT_EQ(image.size(), QSize(64, 64)) << c.country;
        for (const Probe& p : c.probes) {
            const QRgb pixel = image.pixel(int(p.x * 63), int(p.y * 63));
            EXPECT_TRUE(near(pixel, p.colour))
                << c.country << " at " << p.x << "," << p.y << ": " << std::hex << pixel;
        }
    }
    EXPECT_TRUE(
        CountryFlags::drawFlag(kResources + QStringLiteral("/CountryCode.LICENSE"), 64).isNull());
}

// The installed data: the flag face of the floating clocks and the flag column of the
// locations window take the shipped flags.
class InstalledFlags : public ::testing::Test {
  protected:
    test::ScopedEnvVar system{"TALVOR_SYSTEM_DATA_DIR", kResources};
    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults{domain.store()};
    test::FakeFontResolver fonts{{QStringLiteral("DejaVu Sans")}, QStringLiteral("DejaVu Sans")};
    test::ScopedFontResolver scopedFonts{fonts};
    test::FakeClock clock{
        Date::fromQDateTime(QDateTime(QDate(2025, 3, 4), QTime(10, 10, 30), QTimeZone::utc())),
        QTimeZone::utc()};
};

using worldInstalledFlags = InstalledFlags;

TEST_F(worldInstalledFlags, TheFlagFaceShowsTheCountrysFlag) {
    EXPECT_EQ(TalvorFloatingClockCtrl::getiChatFlagPath(QStringLiteral("France")),
              kResources + QStringLiteral("/Flags/FR.svg"));
    domain.store().setValue(keys::FloatingStates,
                            QStringLiteral("Floating: 1 1 0 0 0 0 1 101 128.000 2.000 1.000 0 0"));
    domain.store().setValue(keys::Floater, true);
    TalvorFloatingClockCtrl ctrl(clock, defaults, [](const QString&) {});
    ctrl.LoadFloatingOptions();
    LocationTable table;
    table.append(
        QVariant(QVariantList{QString(), QStringLiteral("Paris"), QString(),
                              QStringLiteral("France"), QStringLiteral("Europe/Paris"), QString(),
                              QString(), QString(), QString(), QString(), true, true}));
    ctrl.TimeZoneFloating(table);
    ASSERT_EQ(ctrl.clocks().size(), 1u);
    TalvorClockControl* dial = ctrl.clocks()[0].dial;
    const QImage shot = dial->grab().toImage();
    const int y = shot.height() * 3 / 4;  // below the hands at 10:10
    EXPECT_TRUE(near(shot.pixel(shot.width() * 3 / 10, y), QColor(0, 0, 145), 60))
        << std::hex << shot.pixel(shot.width() * 3 / 10, y);
    EXPECT_TRUE(near(shot.pixel(shot.width() * 7 / 10, y), QColor(225, 0, 15), 60))
        << std::hex << shot.pixel(shot.width() * 7 / 10, y);
    ctrl.hideClocks();
}

TEST_F(worldInstalledFlags, TheFlagColumnShowsTheCountrysFlag) {
    LocationTable table;
    table.append(
        QVariant(QVariantList{QString(), QStringLiteral("Osaka"), QString(),
                              QStringLiteral("Japan"), QStringLiteral("Asia/Tokyo"), QString(),
                              QString(), QString(), QString(), QString(), true, false}));
    table.append(QVariant(QVariantList{QString(), QStringLiteral("Nowhere"), QString(),
                                       QStringLiteral("Atlantis"), QString(), QString(), QString(),
                                       QString(), QString(), QString(), true, false}));
    LocationTableModel locations(table, {}, {});
    LocationItemModel model(locations, [] {
        return LocationTableModel::Now{QDateTime::currentDateTimeUtc(), QTimeZone::utc(), false};
    });
    int flagColumn = -1;
    for (int c = 0; c < model.columnCount(); ++c) {
        if (model.headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() ==
            QStringLiteral("Flag")) {
            flagColumn = c;
        }
    }
    ASSERT_GE(flagColumn, 0);
    const QIcon icon = model.data(model.index(0, flagColumn), Qt::DecorationRole).value<QIcon>();
    ASSERT_FALSE(icon.isNull());
    const QImage image = icon.pixmap(32, 32).toImage();
    EXPECT_TRUE(near(image.pixel(16, 16), QColor(188, 0, 45))) << std::hex << image.pixel(16, 16);
    EXPECT_FALSE(model.data(model.index(1, flagColumn), Qt::DecorationRole).isValid());
}

}  // namespace
}  // namespace talvor
