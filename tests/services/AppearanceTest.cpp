#include "foundation/FoundationKeys.h"
#include "platform/UserDefaults.h"
#include "services/AppleInterfaceStyle.h"
#include "services/SystemEventNames.h"
#include "services/TimedAppearanceSwitching.h"
#include "support/FakeSystemEvents.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDateTime>
#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QStandardPaths>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace talvor {
namespace {

using platform::UserDefaults;
using test::FakeAppearanceSetter;
using test::FakeAppearanceSource;

// A service on fakes, installed as the shared one for the life of the fixture.
class syseventsAppearance : public ::testing::Test {
  protected:
    void SetUp() override { install(false); }
    void TearDown() override { AppearanceService::setShared(nullptr); }
    void install(std::optional<bool> dark) {
        AppearanceService::setShared(nullptr);
        service.reset();
        auto src = std::make_unique<FakeAppearanceSource>(dark);
        auto set = std::make_unique<FakeAppearanceSetter>();
        source = src.get();
        setter = set.get();
        service = std::make_unique<AppearanceService>(std::move(src), std::move(set));
        AppearanceService::setShared(service.get());
    }
    void setMode(const QString& mode) {
        UserDefaults::standard().setObject(mode, kAppearanceSwitchKey);
    }

    test::XdgSandbox sandbox;
    std::unique_ptr<AppearanceService> service;
    FakeAppearanceSource* source = nullptr;
    FakeAppearanceSetter* setter = nullptr;
};

using servicesSyseventsAppearance = syseventsAppearance;

TEST_F(servicesSyseventsAppearance, DesktopStateFeedsTheGlobalValue) {
    struct Case {
        std::optional<bool> desktop;
        QVariant global;
        AppleInterfaceStyle style;
    };
    const Case cases[] = {
        {true, QStringLiteral("Dark"), AppleInterfaceStyle::dark},
        {false, QVariant(), AppleInterfaceStyle::light},
        {std::nullopt, QVariant(), AppleInterfaceStyle::light},  // no portal: light
    };
    for (const Case& c : cases) {
        install(c.desktop);
        EXPECT_EQ(UserDefaults::standard().objectForKey(keys::AppleInterfaceStyle), c.global);
        EXPECT_EQ(AppleInterfaceStyle::current(), c.style);
    }
    source->change(true);
    EXPECT_EQ(UserDefaults::standard().stringForKey(keys::AppleInterfaceStyle),
              QStringLiteral("Dark"));
    source->change(false);
    EXPECT_FALSE(UserDefaults::standard().objectForKey(keys::AppleInterfaceStyle).isValid());
}

// The desktop answers after the first frame: until then the service shows the look heard
// last time (kept between runs), then takes the answer on as a change. Each case starts a
// new service, remembering what the one before heard.
TEST_F(servicesSyseventsAppearance, StartsInTheRememberedLookUntilTheDesktopAnswers) {
    struct Case {
        std::optional<bool> desktop;
        AppleInterfaceStyle::Value before, after;
        std::size_t reactions;
    };
    const Case cases[] = {
        {true, AppleInterfaceStyle::light, AppleInterfaceStyle::dark, 1},  // nothing known yet
        {true, AppleInterfaceStyle::dark, AppleInterfaceStyle::dark, 0},
        {false, AppleInterfaceStyle::dark, AppleInterfaceStyle::light, 1},
        {true, AppleInterfaceStyle::light, AppleInterfaceStyle::dark, 1},
        {std::nullopt, AppleInterfaceStyle::dark, AppleInterfaceStyle::light, 1},  // no portal
        {false, AppleInterfaceStyle::light, AppleInterfaceStyle::light, 0},
    };
    for (const Case& c : cases) {
        AppearanceService::setShared(nullptr);
        service.reset();
        auto src = std::make_unique<FakeAppearanceSource>(c.desktop);
        src->answerLater = true;
        source = src.get();
        service = std::make_unique<AppearanceService>(std::move(src),
                                                      std::make_unique<FakeAppearanceSetter>());
        AppearanceService::setShared(service.get());
        std::vector<AppleInterfaceStyle::Value> heard;
        AppearanceObservation reactor =
            AppleInterfaceStyle::listenForChanges(false, [&](AppleInterfaceStyle s) {
                heard.push_back(s);
                return ChangeReactorResponse::continueListeningForChanges;
            });
        EXPECT_EQ(AppleInterfaceStyle::current(), c.before);
        EXPECT_EQ(QGuiApplication::palette().color(QPalette::Window).lightness() < 80,
                  c.before == AppleInterfaceStyle::dark);
        source->answerReads();
        EXPECT_EQ(AppleInterfaceStyle::current(), c.after);
        EXPECT_EQ(service->isDark(), c.after == AppleInterfaceStyle::dark);
        EXPECT_EQ(heard.size(), c.reactions);
        if (!heard.empty()) {
            EXPECT_EQ(heard.back(), c.after);
        }
    }
    // A memory that cannot be read is no memory: light until the desktop answers.
    QFile garbled(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) +
                  QStringLiteral("/talvor/desktop-appearance"));
    ASSERT_TRUE(garbled.open(QIODevice::WriteOnly | QIODevice::Truncate));
    garbled.write("dar");
    garbled.close();
    EXPECT_EQ(platform::RememberedAppearance::dark(), std::nullopt);
}

// A change the desktop sends while the first read is on its way is the newer look: the
// answer, read before the change and delivered after it, does not undo it.
TEST_F(servicesSyseventsAppearance, AChangeHeardBeforeTheFirstAnswerStands) {
    AppearanceService::setShared(nullptr);
    service.reset();
    auto src = std::make_unique<FakeAppearanceSource>(false);
    src->answerLater = true;
    source = src.get();
    service = std::make_unique<AppearanceService>(std::move(src),
                                                  std::make_unique<FakeAppearanceSetter>());
    AppearanceService::setShared(service.get());
    source->change(true);
    ASSERT_TRUE(service->isDark());
    source->answerReads(false);
    EXPECT_TRUE(service->isDark());
    EXPECT_EQ(UserDefaults::standard().stringForKey(keys::AppleInterfaceStyle),
              QStringLiteral("Dark"));
    EXPECT_EQ(platform::RememberedAppearance::dark(), std::optional<bool>(true));
}

TEST_F(servicesSyseventsAppearance, OnlyExactlyDarkReadsDark) {
    test::LogCapture log;
    UserDefaults::standard().setGlobalValue(keys::AppleInterfaceStyle, QStringLiteral("dark"));
    EXPECT_EQ(AppleInterfaceStyle::current(), AppleInterfaceStyle::light);
    EXPECT_TRUE(log.contains(QStringLiteral("Magical new style: dark")));
    log.clear();
    UserDefaults::standard().setGlobalValue(keys::AppleInterfaceStyle, QVariant());
    EXPECT_EQ(AppleInterfaceStyle::current(), AppleInterfaceStyle::light);
    EXPECT_TRUE(log.lines().isEmpty()) << "absent reads light without a diagnostic";
}

// "Off" (and no mode at all) switches nothing; otherwise the desktop is asked only when it
// does not show the wanted appearance already, however often the request comes.
TEST_F(servicesSyseventsAppearance, SwitchesOnlyWhenAllowedAndOnChange) {
    for (const char* mode : std::initializer_list<const char*>{"Off", nullptr}) {
        if (mode != nullptr) {
            setMode(QString::fromLatin1(mode));
        }
        ChangeAppearance::makeDark();
        EXPECT_TRUE(setter->requests.empty()) << (mode ? mode : "absent");
    }
    setMode(kAppearanceSwitchManual);
    ChangeAppearance::makeLight();  // already light
    EXPECT_TRUE(setter->requests.empty());
    for (int second = 0; second < 60; ++second) {
        ChangeAppearance::makeDark();
    }
    EXPECT_EQ(setter->requests, std::vector<bool>{true});
    EXPECT_EQ(AppleInterfaceStyle::current(), AppleInterfaceStyle::dark);
    source->change(true);  // the desktop confirms: nothing more
    ChangeAppearance::makeLight();
    EXPECT_EQ(setter->requests, (std::vector<bool>{true, false}));
}

TEST_F(servicesSyseventsAppearance, ApplicationPaletteFollowsTheAppearance) {
    const QColor lightWindow = QGuiApplication::palette().color(QPalette::Window);
    source->change(true);
    EXPECT_LT(QGuiApplication::palette().color(QPalette::Window).lightness(), 80);
    EXPECT_GT(QGuiApplication::palette().color(QPalette::WindowText).lightness(), 180);
    source->change(false);
    EXPECT_EQ(QGuiApplication::palette().color(QPalette::Window), lightWindow);
}

TEST_F(servicesSyseventsAppearance, ReactorsCalledAtOnceOnEachChangeUntilGone) {
    std::vector<AppleInterfaceStyle::Value> heard;
    AppearanceObservation kept =
        AppleInterfaceStyle::listenForChanges(true, [&](AppleInterfaceStyle s) {
            heard.push_back(s);
            return ChangeReactorResponse::continueListeningForChanges;
        });
    int onceCalls = 0;
    AppearanceObservation once =
        AppleInterfaceStyle::listenForChanges(false, [&](AppleInterfaceStyle) {
            ++onceCalls;
            return ChangeReactorResponse::stopListeningForChanges;
        });
    EXPECT_EQ(heard, std::vector<AppleInterfaceStyle::Value>{AppleInterfaceStyle::light});
    EXPECT_EQ(onceCalls, 0);

    source->change(true);
    source->change(true);  // no change, no call
    EXPECT_EQ(heard, (std::vector<AppleInterfaceStyle::Value>{AppleInterfaceStyle::light,
                                                              AppleInterfaceStyle::dark}));
    EXPECT_EQ(onceCalls, 1);
    EXPECT_FALSE(once.isActive());

    kept.reset();  // a closed pane's reactor goes with it
    source->change(false);
    EXPECT_EQ(heard.size(), 2u);
    EXPECT_EQ(service->reactorCount(), 0u);
}

// ---- timed switching

Date utc(int y, int mo, int d, int h, int mi = 0, int s = 0) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

TEST(servicesSyseventsTimedSwitching, CustomTimesOfDay) {
    const int six = 6 * 3600;
    const int eighteen = 18 * 3600;
    struct Case {
        int now, light, dark;
        AppleInterfaceStyle::Value want;
    };
    const Case cases[] = {
        {12 * 3600, six, eighteen, AppleInterfaceStyle::light},
        {six, six, eighteen, AppleInterfaceStyle::dark},  // at L: not yet after it
        {six + 1, six, eighteen, AppleInterfaceStyle::light},
        {eighteen, six, eighteen, AppleInterfaceStyle::dark},
        {eighteen - 1, six, eighteen, AppleInterfaceStyle::light},
        {0, six, eighteen, AppleInterfaceStyle::dark},
        // Light starts after dark on the clock: the night is in the middle of the day.
        {12 * 3600, eighteen, six, AppleInterfaceStyle::dark},
        {23 * 3600, eighteen, six, AppleInterfaceStyle::light},
        {six, eighteen, six, AppleInterfaceStyle::light},
        {eighteen, eighteen, six, AppleInterfaceStyle::light},
        // Equal times: always light.
        {0, six, six, AppleInterfaceStyle::light},
        {six, six, six, AppleInterfaceStyle::light},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimedAppearanceSwitching::customAppearance(c.now, c.light, c.dark), c.want)
            << c.now << " " << c.light << " " << c.dark;
    }
}

TEST(servicesSyseventsTimedSwitching, SunriseToSunsetIsLightPolarDaysAndNightsAsSuch) {
    const QTimeZone london("Europe/London");
    const QTimeZone oslo("Europe/Oslo");
    struct Case {
        const char* what;
        Date now;
        QTimeZone zone;
        double lat, lon;
        AppleInterfaceStyle::Value want;
    };
    const Case cases[] = {
        {"London noon", utc(2025, 6, 21, 12), london, 51.5, -0.13, AppleInterfaceStyle::light},
        {"London 03:00 UTC", utc(2025, 6, 21, 3), london, 51.5, -0.13, AppleInterfaceStyle::dark},
        {"London 21:00 UTC", utc(2025, 6, 21, 21), london, 51.5, -0.13, AppleInterfaceStyle::dark},
        {"Tromso midsummer midnight", utc(2025, 6, 21, 23), oslo, 69.65, 18.96,
         AppleInterfaceStyle::light},
        {"Tromso midwinter noon", utc(2025, 12, 21, 11), oslo, 69.65, 18.96,
         AppleInterfaceStyle::dark},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TimedAppearanceSwitching::sunAppearance(c.now, c.zone, c.lat, c.lon), c.want)
            << c.what;
    }
}

TEST_F(servicesSyseventsAppearance, TickFollowsTheModeAndRequestsOncePerTransition) {
    UserDefaults& d = UserDefaults::standard();
    const QTimeZone zone = QTimeZone::utc();
    // Unknown or missing modes become "Off".
    for (const QVariant& mode :
         {QVariant(), QVariant(QStringLiteral("Sometimes")), QVariant(qint64(3))}) {
        d.setObject(mode, kAppearanceSwitchKey);
        if (!mode.isValid()) {
            d.removeObjectForKey(kAppearanceSwitchKey);
        }
        TimedAppearanceSwitching::tick(utc(2025, 1, 1, 12), zone);
        EXPECT_EQ(d.stringForKey(kAppearanceSwitchKey), kAppearanceSwitchOff);
    }

    setMode(kAppearanceSwitchCustom);
    d.setObject(utc(2019, 1, 11, 6).toQDateTime(), kLightModeTimeKey);
    d.setObject(utc(2019, 1, 11, 18).toQDateTime(), kDarkModeTimeKey);
    install(true);
    for (int s = 0; s < 120; ++s) {
        TimedAppearanceSwitching::tick(utc(2025, 1, 1, 12).addingTimeInterval(s), zone);
    }
    EXPECT_EQ(setter->requests, std::vector<bool>{false});
    for (int s = 0; s < 120; ++s) {
        TimedAppearanceSwitching::tick(utc(2025, 1, 1, 19).addingTimeInterval(s), zone);
    }
    EXPECT_EQ(setter->requests, (std::vector<bool>{false, true}));

    setMode(kAppearanceSwitchManual);
    TimedAppearanceSwitching::tick(utc(2025, 1, 2, 12), zone);
    EXPECT_EQ(setter->requests.size(), 2u) << "manual mode leaves the appearance alone";

    setMode(kAppearanceSwitchSunSetRise);
    TimedAppearanceSwitching::tick(utc(2025, 1, 2, 12), zone);
    EXPECT_EQ(setter->requests.size(), 2u) << "no position (0, 0): nothing";
    d.setDouble(51.5, kCurrentLatitudeKey);
    d.setDouble(-0.13, kCurrentLongitudeKey);
    TimedAppearanceSwitching::tick(utc(2025, 1, 2, 12), zone);
    EXPECT_EQ(setter->requests, (std::vector<bool>{false, true, false}));
}

}  // namespace
}  // namespace talvor
