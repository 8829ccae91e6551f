#include "platform/Date.h"

#include <QTimeZone>

#include <gtest/gtest.h>

namespace talvor {
namespace {

TEST(platformDate, ConvertsBetweenTheReferenceDateUnixTimeIcuAndQt) {
    struct Case {
        double reference;
        const char* isoUtc;
    };
    const Case cases[] = {
        {0.0, "2001-01-01T00:00:00.000Z"},         {-978307200.0, "1970-01-01T00:00:00.000Z"},
        {86400.5, "2001-01-02T00:00:00.500Z"},     {-0.25, "2000-12-31T23:59:59.750Z"},
        {788918400.0, "2026-01-01T00:00:00.000Z"},
    };
    for (const Case& c : cases) {
        const Date d = Date::fromReference(c.reference);
        EXPECT_EQ(d.toQDateTime().toString(Qt::ISODateWithMs).toStdString(), c.isoUtc);
        EXPECT_DOUBLE_EQ(Date::fromQDateTime(d.toQDateTime()).timeIntervalSinceReferenceDate(),
                         c.reference);
        EXPECT_DOUBLE_EQ(Date::fromUDate(d.toUDate()).timeIntervalSinceReferenceDate(),
                         c.reference);
        EXPECT_DOUBLE_EQ(d.timeIntervalSince1970(), c.reference + 978307200.0);
    }
}

TEST(platformDate, KeepsTheInstantWhateverTheZoneOfTheQtValue) {
    const QDateTime berlin(QDate(2024, 7, 1), QTime(14, 0), QTimeZone("Europe/Berlin"));
    EXPECT_EQ(Date::fromQDateTime(berlin).toQDateTime(), berlin);
    EXPECT_EQ(Date::fromQDateTime(berlin).toQDateTime().timeSpec(), Qt::UTC);
    EXPECT_EQ(Date::fromQDateTime(QDateTime()), Date());
}

TEST(platformDate, ArithmeticAndOrder) {
    const Date a = Date::fromReference(100);
    const Date b = a.addingTimeInterval(59.5);
    EXPECT_LT(a, b);
    EXPECT_DOUBLE_EQ(b.timeIntervalSince(a), 59.5);
    EXPECT_EQ(b.addingTimeInterval(-59.5), a);
}

}  // namespace
}  // namespace talvor
