#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "shell/MenuBarDrawing.h"

#include <gtest/gtest.h>

#include <QtMath>

#include <cmath>
#include <optional>

namespace talvor {
namespace {

using platform::TextAttributes;
using platform::TextShadow;

QColor rgb255(int r, int g, int b) {
    return QColor::fromRgbF(r / 255.0f, g / 255.0f, b / 255.0f);
}

TEST(shellMenuBarColors, NearBlackAndWhiteFollowTheTruncatedComponents) {
    struct Case {
        QColor color;
        bool nearBlack;
        bool white;
    };
    const Case cases[] = {
        {rgb255(0, 0, 0), true, false},
        {rgb255(33, 36, 36), true, false},
        {rgb255(34, 0, 0), false, false},
        {rgb255(0, 37, 0), false, false},
        {rgb255(0, 0, 37), false, false},
        {rgb255(255, 255, 255), false, true},
        {rgb255(255, 255, 254), false, false},
        // Grey and CMYK colours are brought to RGB first.
        {QColor::fromCmykF(0, 0, 0, 1), true, false},
        {QColor::fromHsvF(0, 0, 1), false, true},
        {QColor::fromRgbF(0.13f, 0.14f, 0.14f), true, false},  // 33.28, 35.84, 35.84
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.color.name().toStdString());
        EXPECT_EQ(isNearBlack(c.color), c.nearBlack);
        EXPECT_EQ(isWhite(c.color), c.white);
    }
    // Truncated, not rounded: 32767/65535 gives 127.998.
    EXPECT_EQ(quantizedRgb(QColor::fromRgba64(32767, 65535, 0)), (Rgb8{127, 255, 0}));
}

TEST(shellMenuBarColors, DarkAppearanceIsTheWordDarkInAnyCase) {
    platform::MemoryPreferenceStore store(QStringLiteral("org.talvor.test"));
    platform::UserDefaults defaults(store);
    struct Case {
        std::optional<QVariant> value;
        bool dark;
    };
    const Case cases[] = {
        {std::nullopt, false},
        {QVariant(QStringLiteral("Dark")), true},
        {QVariant(QStringLiteral("dark")), true},
        {QVariant(QStringLiteral("DARK")), true},
        {QVariant(QStringLiteral("Light")), false},
        {QVariant(QStringLiteral("Dark ")), false},
        {QVariant(qint64(1)), false},
    };
    for (const Case& c : cases) {
        defaults.setGlobalValue(QStringLiteral("AppleInterfaceStyle"),
                                c.value.value_or(QVariant()));
        SCOPED_TRACE(c.value.value_or(QVariant()).toString().toStdString());
        EXPECT_EQ(isDarkAppearance(defaults), c.dark);
    }
}

TextShadow shadow(double blur) {
    TextShadow s;
    s.offset = QPointF(2.0, -2.0);
    s.blurRadius = blur;
    return s;
}

TEST(shellMenuBarAttributes, FollowTheColourTable) {
    const QFont font(QStringLiteral("Sans"), 14);
    const QColor black = rgb255(0, 0, 0);
    const QColor red = rgb255(200, 10, 10);
    const QColor clear(Qt::transparent);
    struct Case {
        const char* name;
        MenuBarItemKind kind;
        MenuBarColor color;
        bool shadowOn;
        std::optional<QColor> light;
        std::optional<QColor> dark;
        std::optional<TextShadow> shadow;
    };
    const Case cases[] = {
        {"black date",
         MenuBarItemKind::Date,
         {black, {}},
         false,
         std::nullopt,
         black,
         std::nullopt},
        {"black time", MenuBarItemKind::Time, {black, {}}, false, black, black, std::nullopt},
        {"controlColor date",
         MenuBarItemKind::Date,
         {black, QStringLiteral("controlColor")},
         false,
         clear,
         clear,
         std::nullopt},
        {"windowBackgroundColor time",
         MenuBarItemKind::Time,
         {rgb255(30, 30, 30), QStringLiteral("windowBackgroundColor")},
         false,
         clear,
         clear,
         std::nullopt},
        // A light named colour is not cleared.
        {"light controlColor",
         MenuBarItemKind::Date,
         {red, QStringLiteral("controlColor")},
         false,
         red,
         red,
         std::nullopt},
        {"other named black",
         MenuBarItemKind::Date,
         {black, QStringLiteral("textColor")},
         false,
         std::nullopt,
         black,
         std::nullopt},
        {"red date, shadow", MenuBarItemKind::Date, {red, {}}, true, red, red, shadow(1.5)},
        {"red time, shadow", MenuBarItemKind::Time, {red, {}}, true, red, red, shadow(1.0)},
        {"black date, shadow",
         MenuBarItemKind::Date,
         {black, {}},
         true,
         std::nullopt,
         black,
         shadow(1.5)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const MenuBarItemAttributes a = menuBarItemAttributes(c.kind, c.color, font, c.shadowOn);
        TextAttributes light;
        light.font = font;
        light.foregroundColor = c.light;
        light.shadow = c.shadow;
        TextAttributes dark = light;
        dark.foregroundColor = c.dark;
        EXPECT_EQ(a.light, light);
        EXPECT_EQ(a.dark, dark);
    }
}

TEST(shellClockIcon, HandAnglesFollowTheTime) {
    struct Case {
        int h, m, s;
        double minute, hour;
    };
    const Case cases[] = {
        {3, 40, 30, -153, -20},
        {12, 0, 0, 90, 90},
        {0, 0, 0, 90, 90},
        {15, 40, 30, -153, -20},
        {6, 30, 0, -90, -105},
        {9, 0, 59, 85, -180},  // 5.9 degrees: truncated to whole degrees
        {23, 59, 59, -269, -269.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.h << ":" << c.m << ":" << c.s);
        const ClockHandAngles a = clockHandAngles(c.h, c.m, c.s);
        EXPECT_DOUBLE_EQ(a.minute, c.minute);
        EXPECT_DOUBLE_EQ(a.hour, c.hour);
    }
}

// Darkest pixel near a point given in the icon's own points (y down).
int darknessNear(const QImage& icon, QPointF point) {
    const double dpr = icon.devicePixelRatio();
    const QPoint p((point * dpr).toPoint());
    int darkest = 255;
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const QColor c = icon.pixelColor(p + QPoint(dx, dy));
            if (c.alpha() > 128) {
                darkest = std::min(darkest, qGray(c.rgb()));
            }
        }
    }
    return darkest;
}

QPointF along(double size, double radius, double degrees) {
    const double a = qDegreesToRadians(degrees);
    return {size / 2 + radius * std::cos(a), size / 2 - radius * std::sin(a)};
}

TEST(shellClockIcon, HandsAreDrawnWhereTheAnglesPoint) {
    const QImage face = drawClockBase();
    ASSERT_FALSE(face.isNull());
    const double w = face.deviceIndependentSize().width();
    EXPECT_DOUBLE_EQ(w, kClockIconSize);
    struct Case {
        int h, m, s;
    };
    for (const Case& c : {Case{3, 40, 30}, Case{12, 0, 0}, Case{8, 15, 0}}) {
        SCOPED_TRACE(testing::Message() << c.h << ":" << c.m << ":" << c.s);
        const QImage icon = drawAnalogClockIcon(face, c.h, c.m, c.s);
        ASSERT_EQ(icon.size(), face.size());
        const ClockHandAngles a = clockHandAngles(c.h, c.m, c.s);
        const double r = w / 2 - 0.75;
        // Outer part of the minute hand, beyond the hour hand's reach.
        EXPECT_LT(darknessNear(icon, along(w, r - 2.0, a.minute)), 110);
        EXPECT_LT(darknessNear(icon, along(w, (r - 3.5) * 0.6, a.hour)), 110);
        // Halfway out, opposite both hands, the face stays light.
        EXPECT_GT(darknessNear(icon, along(w, r * 0.5, (a.minute + a.hour) / 2 + 180)), 150);
    }
    EXPECT_TRUE(drawAnalogClockIcon(QImage(), 1, 2, 3).isNull());
}

TEST(shellDateButton, FrameRules) {
    const QRectF item(0, 0, 80, 22);
    struct Case {
        double moonWidth;
        float textWidth;
        QRectF frame;
    };
    const Case cases[] = {
        {0, 50.2f, QRectF(-8, -4, 59, 52)},
        {16, 50.0f, QRectF(18, -4, 58, 52)},
        {0, 0.0f, QRectF(-8, -4, 8, 52)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(dateButtonFrame(c.moonWidth, c.textWidth, item), c.frame) << c.moonWidth;
    }
    EXPECT_EQ(dateButtonFrame(0, 10.0f, QRectF(3, 5, 40, 20)), QRectF(-8, 1, 18, 50));
}

}  // namespace
}  // namespace talvor
