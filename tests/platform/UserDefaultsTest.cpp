#include "platform/Preferences.h"
#include "platform/UserDefaults.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

namespace talvor::platform {
namespace {

TEST(platformUserDefaults, ReadsTheApplicationThenTheGlobalThenTheRegistrationDomain) {
    MemoryPreferenceStore store;
    UserDefaults defaults(store);
    defaults.registerDefaults({{QStringLiteral("NSApplicationCrashOnExceptions"), true},
                               {QStringLiteral("AppleInterfaceStyle"), QStringLiteral("Light?")},
                               {QStringLiteral("both"), QStringLiteral("registered")}});
    defaults.setGlobalValue(QStringLiteral("AppleInterfaceStyle"), QStringLiteral("Dark"));
    defaults.setObject(QStringLiteral("app"), QStringLiteral("both"));

    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("NSApplicationCrashOnExceptions")));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("AppleInterfaceStyle")), QStringLiteral("Dark"));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("both")), QStringLiteral("app"));
    defaults.setGlobalValue(QStringLiteral("AppleInterfaceStyle"), QVariant());
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("AppleInterfaceStyle")),
              QStringLiteral("Light?"));

    const QVariantMap all = defaults.dictionaryRepresentation();
    EXPECT_EQ(all.value(QStringLiteral("both")), QVariant(QStringLiteral("app")));
    EXPECT_EQ(all.value(QStringLiteral("NSApplicationCrashOnExceptions")), QVariant(true));
    // Only what was set reaches the application domain.
    EXPECT_EQ(store.keys(), QStringList{QStringLiteral("both")});
}

TEST(platformUserDefaults, TypedGettersConvertLikeTheOriginalSystem) {
    struct Case {
        QVariant stored;
        bool asBool;
        qint64 asInteger;
        double asDouble;
        const char* asString;  // nullptr: null string
    };
    const Case cases[] = {
        {QVariant(), false, 0, 0.0, nullptr},
        {QVariant(true), true, 1, 1.0, "1"},
        {QVariant(qint64(35)), true, 35, 35.0, "35"},
        {QVariant(qint64(0)), false, 0, 0.0, "0"},
        {QVariant(2.5), true, 2, 2.5, "2.5"},
        {QVariant(QStringLiteral("YES")), true, 0, 0.0, "YES"},
        {QVariant(QStringLiteral("true")), true, 0, 0.0, "true"},
        {QVariant(QStringLiteral("no")), false, 0, 0.0, "no"},
        {QVariant(QStringLiteral(" 42 ")), true, 42, 42.0, " 42 "},
        {QVariant(QStringLiteral("0")), false, 0, 0.0, "0"},
        {QVariant(QByteArray("x")), false, 0, 0.0, nullptr},
        {QVariant(QVariantList{1}), false, 0, 0.0, nullptr},
    };
    MemoryPreferenceStore store;
    UserDefaults defaults(store);
    for (const Case& c : cases) {
        defaults.setObject(c.stored, QStringLiteral("k"));
        SCOPED_TRACE(::testing::PrintToString(c.stored));
        EXPECT_EQ(defaults.boolForKey(QStringLiteral("k")), c.asBool);
        EXPECT_EQ(defaults.integerForKey(QStringLiteral("k")), c.asInteger);
        EXPECT_DOUBLE_EQ(defaults.doubleForKey(QStringLiteral("k")), c.asDouble);
        EXPECT_EQ(defaults.stringForKey(QStringLiteral("k")),
                  c.asString ? QString::fromUtf8(c.asString) : QString());
    }
    defaults.setObject(QByteArray("raw"), QStringLiteral("d"));
    EXPECT_EQ(defaults.dataForKey(QStringLiteral("d")), QByteArray("raw"));
    EXPECT_TRUE(defaults.arrayForKey(QStringLiteral("d")).isEmpty());
}

TEST(platformUserDefaults, TheStandardDefaultsShareTheApplicationDomainAndItsFile) {
    test::XdgSandbox sandbox;
    UserDefaults& standard = UserDefaults::standard();
    standard.registerDefaults({{QStringLiteral("registeredOnly"), true}});
    standard.setInteger(7, QStringLiteral("setHere"));
    ASSERT_TRUE(standard.synchronize());

    PreferenceStore& domain = Preferences::domain(kMainBundleIdentifier);
    EXPECT_EQ(domain.value(QStringLiteral("setHere")), QVariant(qint64(7)));
    EXPECT_FALSE(domain.contains(QStringLiteral("registeredOnly")));

    QFile file(Preferences::filePathFor(kMainBundleIdentifier));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray xml = file.readAll();
    EXPECT_TRUE(xml.contains("setHere"));
    EXPECT_FALSE(xml.contains("registeredOnly"));
}

}  // namespace
}  // namespace talvor::platform
