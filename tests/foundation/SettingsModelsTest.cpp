#include "foundation/FoundationKeys.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "foundation/TalvorTimeSettings.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/KeyedArchiver.h"
#include "platform/SharedInstance.h"
#include "platform/UserDefaults.h"
#include "support/FakeFontResolver.h"
#include "support/QtPrinters.h"
#include "support/ScopedPreferences.h"
#include "support/SettingsRoundTrip.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::DistributedNotificationCenter;

const QString kBlack = QStringLiteral("[0.000000] [0.000000] [0.000000] [1.000000]");
const QString kWhite = QStringLiteral("[1.000000] [1.000000] [1.000000] [1.000000]");
const QString kTraits14 = QStringLiteral("Size: 14.000 Trait:0 Weight:5");
const QString kTitleFamily = QStringLiteral("Title Sans");

class SettingsModels : public ::testing::Test {
  protected:
    SettingsModels() : defaults_(domain_.store()) {
        platform::UserDefaults::setStandard(&defaults_);
    }
    ~SettingsModels() override { platform::UserDefaults::setStandard(nullptr); }

    platform::MemoryPreferenceStore& store() { return domain_.store(); }

    // Counts the settings announcements that reach this process.
    int announcementsAfter(const std::function<void()>& action) {
        int heard = 0;
        DistributedNotificationCenter& center = DistributedNotificationCenter::defaultCenter();
        platform::Observation watch =
            center.addObserver(keys::TalvorMenuBarDatePrefsChangeNotification, QVariant(),
                               [&](const platform::Notification&) { ++heard; });
        action();
        center.flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return heard;
    }

    void expectStored(const QVariantMap& expected) {
        const QVariantMap all = store().dictionaryRepresentation();
        for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
            EXPECT_EQ(all.value(it.key()), it.value()) << it.key().toStdString();
        }
        EXPECT_EQ(all.keys(), expected.keys());
    }

    // Off the session bus: tests running beside this one announce the same names there.
    test::ScopedEnvVar noBus_{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::ScopedMemoryDomain domain_{appTalvor4Prefs};
    platform::UserDefaults defaults_;
    test::FakeFontResolver fonts_{{}, kTitleFamily};
    test::ScopedFontResolver scopedFonts_{fonts_};
};

QVariant on() {
    return QVariant(qint64(1));
}
QVariant off() {
    return QVariant(qint64(0));
}

using foundationSettingsModels = SettingsModels;

TEST_F(foundationSettingsModels, TheTimeModelFirstLoadWritesEveryDefault) {
    const TalvorTimeSettings s;
    expectStored({
        {QStringLiteral("TalvorShowTimeMenuPref"), on()},
        {QStringLiteral("TalvorTimeICONPref"), off()},
        {QStringLiteral("TalvorTimeFlashSepPref"), off()},
        {QStringLiteral("TimeSeparator"), QStringLiteral(":")},
        {QStringLiteral("timeDrowShadow"), off()},
        {QStringLiteral("TextColorTime"), kBlack},
        {QStringLiteral("TextColorTimeDMode"), kWhite},
        {QStringLiteral("TimeFontTraits"), kTraits14},
        {QStringLiteral("TimeFontName"), kTitleFamily},
        {QStringLiteral("CustomTime"), QStringLiteral("hh:mm:ss a")},
        {QStringLiteral("alarmShow"), off()},
        {QStringLiteral("take5Show"), off()},
        {QStringLiteral("dateDiffCalcShow"), off()},
        {QStringLiteral("globalSchedulerShow"), off()},
        {QStringLiteral("lightDarkModeShow"), off()},
        {QStringLiteral("countDownShow"), off()},
        {QStringLiteral("ipShow"), on()},
        {QStringLiteral("internalIpShow"), on()},
        {QStringLiteral("ipv4IpShow"), off()},
        {QStringLiteral("ipv6IpShow"), off()},
        {QStringLiteral("TimeHideCountry"), on()},
        {QStringLiteral("TimeOnlineInfo"), on()},
        {QStringLiteral("timeShowLocation"), on()},
        {QStringLiteral("timeLocDrowShadow"), off()},
        {QStringLiteral("TextColorLoc"), kBlack},
        {QStringLiteral("LocFontTraits"), kTraits14},
        {QStringLiteral("LocFontName"), kTitleFamily},
        {QStringLiteral("CustomLocTime"), QStringLiteral("hh:mm a")},
        {QStringLiteral("hasUpgradedTimeFormat"), on()},
    });
    EXPECT_TRUE(s.enableTimeMenu && s.showIP && s.showInternalIP && s.showLoctionNames &&
                s.hideCountryInMenuItems && s.showOnlineInfo);
    EXPECT_FALSE(s.showAnalogClockInMenu || s.flashSeparator || s.timeHasDropShadow ||
                 s.showAlarm || s.showTake5 || s.showDateDiffereneCalc || s.showGlobalScheduler ||
                 s.showLightDarkMode || s.showCountDown || s.showIPV4IP || s.showIPV6IP ||
                 s.locationHasDropShadow || s.showTimeInMenu);
    EXPECT_EQ(s.timeFormat, QStringLiteral("hh:mm:ss a"));
    EXPECT_EQ(s.locationTimeFormat, QStringLiteral("hh:mm a"));
    EXPECT_EQ(s.timeFont.family(), kTitleFamily);
    EXPECT_FLOAT_EQ(s.refreshRate, 1.0f);
}

TEST_F(foundationSettingsModels, TheTimeModelKeepsStoredSettingsOnceUpgraded) {
    struct Case {
        QVariant upgraded;
        bool keepsFormat;
    };
    // The marker counts when present, whatever it holds.
    const Case cases[] = {
        {on(), true}, {off(), true}, {QVariant(QStringLiteral("x")), true}, {QVariant(), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.upgraded));
        store().setValue(keys::hasUpgradedTimeFormat, c.upgraded);
        store().setValue(keys::CustomTime, QStringLiteral("h:mm"));
        store().setValue(keys::CustomLocTime, QStringLiteral("H:mm"));
        const TalvorTimeSettings s;
        EXPECT_EQ(s.timeFormat,
                  c.keepsFormat ? QStringLiteral("h:mm") : QStringLiteral("hh:mm:ss a"));
        EXPECT_EQ(s.locationTimeFormat,
                  c.keepsFormat ? QStringLiteral("H:mm") : QStringLiteral("hh:mm a"));
        EXPECT_FLOAT_EQ(s.refreshRate, c.keepsFormat ? 60.0f : 1.0f);
    }
}

TEST_F(foundationSettingsModels, TheUpgradeKeepsTheStoredSeparatorAndClockIconSettings) {
    store().setValue(keys::TalvorTimeFlashSepPref, on());
    store().setValue(keys::TalvorTimeICONPref, on());
    const TalvorTimeSettings s;
    EXPECT_TRUE(s.flashSeparator);
    EXPECT_TRUE(s.showAnalogClockInMenu);
    EXPECT_EQ(store().value(keys::TalvorTimeFlashSepPref), on());
    EXPECT_EQ(store().value(keys::TalvorTimeICONPref), on());
}

TEST_F(foundationSettingsModels, TheAnalogClockIconSettingSurvivesARestart) {
    {
        TalvorTimeSettings s;
        s.showAnalogClockInMenu = true;
        s.writePrefs();
    }
    EXPECT_TRUE(TalvorTimeSettings().showAnalogClockInMenu);
}

TEST_F(foundationSettingsModels, FlagsReadOnlyTheirLowEightBits) {
    store().setValue(keys::hasUpgradedTimeFormat, on());
    store().setValue(keys::ipShow, qint64(256));
    store().setValue(keys::alarmShow, qint64(257));
    const TalvorTimeSettings s;
    EXPECT_FALSE(s.showIP);
    EXPECT_TRUE(s.showAlarm);
}

TEST_F(foundationSettingsModels, ABlackDarkTimeColourTurnsWhiteOnlyInDarkAppearance) {
    store().setValue(keys::hasUpgradedTimeFormat, on());
    store().setValue(keys::TextColorTimeDMode, kBlack);
    EXPECT_EQ(TalvorTimeSettings().timeColorDMode, QColor(Qt::black));
    defaults_.setGlobalValue(keys::AppleInterfaceStyle, QStringLiteral("Dark"));
    EXPECT_EQ(TalvorTimeSettings().timeColorDMode, QColor(Qt::white));
    store().setValue(keys::TextColorTimeDMode, QStringLiteral("[0.5] [0] [0] [1]"));
    EXPECT_EQ(TalvorTimeSettings().timeColorDMode.redF(), QColor::fromRgbF(0.5f, 0, 0).redF());
}

TEST_F(foundationSettingsModels, WritingAnnouncesOnceAfterTheStoreIsSynchronised) {
    TalvorTimeSettings time;
    TalvorDateSettings date;
    const int syncsBefore = store().synchronizeCount();
    time.timeFormat = QStringLiteral("HH:mm");
    EXPECT_EQ(announcementsAfter([&] { time.writePrefsAndSync(); }), 1);
    EXPECT_GT(store().synchronizeCount(), syncsBefore);
    EXPECT_FALSE(store().hasPendingChanges());
    EXPECT_FLOAT_EQ(time.refreshRate, 60.0f);

    EXPECT_EQ(announcementsAfter([&] { time.writePrefs(); }), 0);

    // The date model announces even when the store cannot be written.
    store().setFailSynchronize(true);
    test::LogCapture log;
    EXPECT_EQ(announcementsAfter([&] { date.writePrefsAndSync(); }), 1);
    EXPECT_TRUE(log.contains(
        QStringLiteral("Date and time settings: the settings file could not be written")));
    store().setFailSynchronize(false);
}

TEST_F(foundationSettingsModels, AFailedSynchroniseOnLoadIsLoggedAndLoadingGoesOn) {
    store().setFailSynchronize(true);
    test::LogCapture log;
    const TalvorDateSettings s;
    EXPECT_TRUE(log.contains(
        QStringLiteral("Date and time settings: the settings file could not be read")));
    EXPECT_EQ(s.dateFormat, QStringLiteral("EEE dd MMM"));
}

TEST_F(foundationSettingsModels, ANullFormatRemovesItsKey) {
    TalvorTimeSettings time;
    time.timeFormat = QString();
    time.writePrefs();
    EXPECT_FALSE(store().contains(keys::CustomTime));
    EXPECT_FLOAT_EQ(time.refreshRate, 60.0f);
    EXPECT_EQ(TalvorTimeSettings().timeFormat, QStringLiteral("hh:mm:ss a"));
}

TEST_F(foundationSettingsModels, ResetsDifferFromTheLoadDefaults) {
    store().setValue(keys::hasUpgradedTimeFormat, on());
    store().setValue(keys::CustomTime, QStringLiteral("H"));
    TalvorTimeSettings s;
    s.resetTimeViewToDefaults();
    EXPECT_EQ(s.timeFormat, QStringLiteral("hh:mm:ss a"));
    EXPECT_EQ(s.locationTimeFormat, QStringLiteral("hh:mm a"));
    EXPECT_FLOAT_EQ(s.refreshRate, 1.0f);
    s.locationTimeFormat = QStringLiteral("H");
    s.resetMenuItemsToDefaults();
    EXPECT_FALSE(s.showIP || s.showInternalIP || s.showLoctionNames || s.hideCountryInMenuItems);
    EXPECT_EQ(s.locationTimeFormat, QStringLiteral("hh:mm a")) << "both resets agree";
    s.resetTake5ToDefaults();
    EXPECT_TRUE(s.showTake5);
    // Nothing is written until asked.
    EXPECT_EQ(store().value(keys::CustomTime), QVariant(QStringLiteral("H")));
}

TEST_F(foundationSettingsModels, TheDateModelFirstLoadWritesEveryDefault) {
    const TalvorDateSettings s;
    expectStored({
        {QStringLiteral("TalvorCalMoonPref"), on()},
        {QStringLiteral("TalvorCalMoonHemPref"), off()},
        {QStringLiteral("TalvorCalMoonToolTipPref"), on()},
        {QStringLiteral("calEnableWindowClickStrKey"), on()},
        {QStringLiteral("calHideToDoEventSectionStrKey"), on()},
        {QStringLiteral("TalvorCalFloatOnTopPref"), on()},
        {QStringLiteral("TalvorCalAttachedPref"), off()},
        {QStringLiteral("TalvorShowDateMenuPref"), on()},
        {QStringLiteral("TalvorCalDateInMenuPref"), on()},
        {QStringLiteral("dateDrowShadow"), off()},
        {QStringLiteral("TextColorDate"), kBlack},
        {QStringLiteral("TextColorDateDMode"), kWhite},
        {QStringLiteral("DateFontTraits"), kTraits14},
        {QStringLiteral("DateFontName"), kTitleFamily},
        {QStringLiteral("CustomDate"), QStringLiteral("EEE dd MMM")},
        {QStringLiteral("hasUpgradedDateFormat"), on()},
    });
    EXPECT_TRUE(s.showMoon && s.showMoonToolTip && s.enableWindowClick && s.hideToDoEventSection &&
                s.floatOnTop && s.showDateMenu && s.showDateInMenu);
    EXPECT_FALSE(s.isSouthernHemisphere || s.attached || s.hasDropShadow || s.enableMiniCalendar);
    EXPECT_FLOAT_EQ(s.refreshRate, 60.0f);
}

TEST_F(foundationSettingsModels, ADateFormatWithSecondsRefreshesEverySecond) {
    store().setValue(keys::hasUpgradedDateFormat, on());
    store().setValue(keys::CustomDate, QStringLiteral("EEE HH:mm:ss"));
    EXPECT_FLOAT_EQ(TalvorDateSettings().refreshRate, 1.0f);
}

TEST_F(foundationSettingsModels, TheDateModelArchiveKeepsWhatItCodes) {
    TalvorDateSettings s;
    s.showMoon = false;
    s.isSouthernHemisphere = true;
    s.showMoonToolTip = false;
    s.enableWindowClick = false;
    s.hideToDoEventSection = false;
    s.floatOnTop = false;
    s.attached = true;
    s.showDateInMenu = false;
    s.hasDropShadow = true;
    s.showDateMenu = true;
    s.dateFont = QFont(QStringLiteral("Some Serif"));
    s.dateFont.setPointSizeF(17);
    s.dateColor = QColor::fromRgbF(0.25f, 0.5f, 0.75f, 1);
    s.dateColorDMode = QColor::fromRgbF(0.9f, 0.8f, 0.7f, 0.5f);
    s.dateFormat = QStringLiteral("d MMM ss");

    const QByteArray data = platform::KeyedArchiver::archivedDataWithRootObject(s);
    const std::optional<TalvorDateSettings> back =
        platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorDateSettings>(data);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->showMoon, s.showMoon);
    EXPECT_EQ(back->isSouthernHemisphere, s.isSouthernHemisphere);
    EXPECT_EQ(back->showMoonToolTip, s.showMoonToolTip);
    EXPECT_EQ(back->enableWindowClick, s.enableWindowClick);
    EXPECT_EQ(back->hideToDoEventSection, s.hideToDoEventSection);
    EXPECT_EQ(back->floatOnTop, s.floatOnTop);
    EXPECT_EQ(back->attached, s.attached);
    EXPECT_EQ(back->showDateInMenu, s.showDateInMenu);
    EXPECT_EQ(back->hasDropShadow, s.hasDropShadow);
    EXPECT_EQ(back->dateFont.family(), QStringLiteral("Some Serif"));
    EXPECT_DOUBLE_EQ(back->dateFont.pointSizeF(), 17.0);
    EXPECT_EQ(back->dateColor.rgba(), s.dateColor.rgba());
    EXPECT_EQ(back->dateColorDMode.rgba(), s.dateColorDMode.rgba());
    EXPECT_EQ(back->dateFormat, s.dateFormat);
    EXPECT_FLOAT_EQ(back->refreshRate, 1.0f);
    // Not part of the archive.
    EXPECT_FALSE(back->showDateMenu);
}

TEST_F(foundationSettingsModels, ADateArchiveWithoutADarkColourUsesTheLightOneForBoth) {
    platform::KeyedArchiver coder(TalvorDateSettings::archiveClassName());
    TalvorDateSettings light;
    light.dateColor = Qt::red;
    light.encodeWithCoder(coder);
    QByteArray data = coder.archivedData();
    platform::KeyedArchiver partial(TalvorDateSettings::archiveClassName());
    partial.encodeData(keys::TextColorDate,
                       platform::KeyedUnarchiver::fromData(data)->decodeData(keys::TextColorDate));
    const auto back = platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorDateSettings>(
        partial.archivedData());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->dateColorDMode, QColor(Qt::red));
    EXPECT_TRUE(back->dateFormat.isNull());
    EXPECT_FLOAT_EQ(back->refreshRate, 60.0f);
}

TEST_F(foundationSettingsModels, TheTimeModelArchiveDecodesFontColoursAndFormat) {
    platform::KeyedArchiver coder(TalvorTimeSettings::archiveClassName());
    TalvorTimeSettings().encodeWithCoder(coder);
    EXPECT_EQ(
        platform::KeyedUnarchiver::fromData(coder.archivedData())->decodeValue(keys::CustomTime),
        QVariant());
    coder.encodeString(keys::CustomTime, QStringLiteral("HH:mm:ss"));
    const auto back = platform::KeyedUnarchiver::unarchiveObjectWithData<TalvorTimeSettings>(
        coder.archivedData());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->timeFormat, QStringLiteral("HH:mm:ss"));
    EXPECT_FLOAT_EQ(back->refreshRate, 1.0f);
}

TEST_F(foundationSettingsModels, TheDateDescriptionNamesTheModel) {
    const TalvorDateSettings s;
    const QString text = s.description();
    EXPECT_TRUE(text.startsWith(QStringLiteral("TalvorCalMenuSettings x"))) << text.toStdString();
    EXPECT_TRUE(text.endsWith(
        QStringLiteral("\n\t showMoon 1, showDateMenu 1, showDateInMenu 1, dateFont Title Sans,"
                       "\tdateFormat EEE dd MMM...\n")))
        << text.toStdString();
}

TEST_F(foundationSettingsModels, EverySettingSurvivesAWriteAndAReload) {
    const test::FakeFontResolver fonts({QStringLiteral("Known Serif")});
    test::ScopedFontResolver scoped(fonts);
    QFont serif(QStringLiteral("Known Serif"));
    serif.setPointSizeF(18);
    {
        TalvorTimeSettings t;
        t.enableTimeMenu = false;
        t.showAnalogClockInMenu = t.flashSeparator = t.timeHasDropShadow = true;
        t.showAlarm = t.showTake5 = t.showDateDiffereneCalc = t.showGlobalScheduler = true;
        t.showLightDarkMode = t.showCountDown = t.showIPV4IP = t.showIPV6IP =
            t.locationHasDropShadow = true;
        t.showLoctionNames = t.showIP = t.showInternalIP = t.hideCountryInMenuItems =
            t.showOnlineInfo = false;
        t.timeFont = t.locationFont = serif;
        t.timeColor = QColor::fromRgbF(0.25f, 0.5f, 0.75f);
        t.timeColorDMode = QColor::fromRgbF(1, 1, 0);
        t.locationColor = QColor::fromRgbF(0, 0.5f, 0);
        t.timeFormat = QStringLiteral("HH:mm");
        t.locationTimeFormat = QStringLiteral("h a");
        t.writePrefs();
        TalvorDateSettings d;
        d.showMoon = d.showMoonToolTip = d.enableWindowClick = d.hideToDoEventSection = false;
        d.floatOnTop = d.showDateMenu = d.showDateInMenu = false;
        d.isSouthernHemisphere = d.attached = d.hasDropShadow = true;
        d.dateFont = serif;
        d.dateColor = QColor::fromRgbF(0.5f, 0, 0);
        d.dateColorDMode = QColor::fromRgbF(0, 0, 0.5f);
        d.dateFormat = QStringLiteral("d MMMM");
        d.writePrefs();
    }
    const TalvorTimeSettings t;
    EXPECT_FALSE(t.enableTimeMenu || t.showLoctionNames || t.showIP || t.showInternalIP ||
                 t.hideCountryInMenuItems || t.showOnlineInfo);
    EXPECT_TRUE(t.showAnalogClockInMenu && t.flashSeparator && t.timeHasDropShadow && t.showAlarm &&
                t.showTake5 && t.showDateDiffereneCalc && t.showGlobalScheduler &&
                t.showLightDarkMode && t.showCountDown && t.showIPV4IP && t.showIPV6IP &&
                t.locationHasDropShadow);
    EXPECT_EQ(t.timeFont.family(), QStringLiteral("Known Serif"));
    EXPECT_DOUBLE_EQ(t.locationFont.pointSizeF(), 18.0);
    EXPECT_EQ(t.timeColor.rgba(), QColor::fromRgbF(0.25f, 0.5f, 0.75f).rgba());
    EXPECT_EQ(t.timeColorDMode.rgba(), QColor::fromRgbF(1, 1, 0).rgba());
    EXPECT_EQ(t.locationColor.rgba(), QColor::fromRgbF(0, 0.5f, 0).rgba());
    EXPECT_EQ(t.timeFormat, QStringLiteral("HH:mm"));
    EXPECT_EQ(t.locationTimeFormat, QStringLiteral("h a"));
    const TalvorDateSettings d;
    EXPECT_FALSE(d.showMoon || d.showMoonToolTip || d.enableWindowClick || d.hideToDoEventSection ||
                 d.floatOnTop || d.showDateMenu || d.showDateInMenu);
    EXPECT_TRUE(d.isSouthernHemisphere && d.attached && d.hasDropShadow);
    EXPECT_EQ(d.dateFont.family(), QStringLiteral("Known Serif"));
    EXPECT_EQ(d.dateColor.rgba(), QColor::fromRgbF(0.5f, 0, 0).rgba());
    EXPECT_EQ(d.dateColorDMode.rgba(), QColor::fromRgbF(0, 0, 0.5f).rgba());
    EXPECT_EQ(d.dateFormat, QStringLiteral("d MMMM"));
}

TEST_F(foundationSettingsModels, EveryRowOfEachTableRoundTrips) {
    // Fonts keep their family only where the system has it.
    const test::FakeFontResolver fonts({kTitleFamily}, kTitleFamily);
    test::ScopedFontResolver scoped(fonts);
    {
        SCOPED_TRACE("time");
        test::expectEveryRowRoundTrips<TalvorTimeSettings>(
            [] { return std::make_unique<TalvorTimeSettings>(); });
    }
    {
        SCOPED_TRACE("date");
        test::expectEveryRowRoundTrips<TalvorDateSettings>(
            [] { return std::make_unique<TalvorDateSettings>(); });
    }
}

TEST_F(foundationSettingsModels, AStandInIsTheSharedModelForItsScopeOnly) {
    using Shared = SharedInstance<TalvorTimeSettings>;
    Shared::reset();
    EXPECT_EQ(Shared::existing(), nullptr) << "nothing is made until asked for";
    TalvorTimeSettings outer;
    TalvorTimeSettings inner;
    {
        Shared::Override useOuter(outer);
        EXPECT_EQ(&TalvorTimeSettings::sharedInstance(), &outer);
        {
            Shared::Override useInner(inner);
            EXPECT_EQ(Shared::existing(), &inner);
        }
        EXPECT_EQ(Shared::existing(), &outer);
    }
    EXPECT_EQ(Shared::existing(), nullptr);
    // Without a stand-in the process's own model is made once, loaded from the domain.
    store().setValue(keys::ipShow, off());
    TalvorTimeSettings& own = TalvorTimeSettings::sharedInstance();
    EXPECT_FALSE(own.showIP);
    EXPECT_EQ(&TalvorTimeSettings::sharedInstance(), &own);
    Shared::reset();
    EXPECT_EQ(Shared::existing(), nullptr);
}

}  // namespace
}  // namespace talvor
