#include "foundation/SystemTimeZone.h"
#include "platform/Menu.h"
#include "support/FakeFontResolver.h"
#include "support/PaintRecorder.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"
#include "world/ClockFaces.h"
#include "world/TalvorClockCell.h"
#include "world/TalvorClockControl.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace talvor {
namespace {

Date utc(int y, int mo, int d, int h, int mi, int s = 0) {
    return Date::fromQDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc()));
}

CalendarDate at(int h, int mi, int s, const QTimeZone& zone = QTimeZone::utc()) {
    return CalendarDate{Date::fromQDateTime(QDateTime(QDate(2025, 3, 4), QTime(h, mi, s), zone)),
                        zone};
}

QTime timeOf(const TalvorClockCell& cell) {
    return cell.time().timeOfDay();
}

TEST(worldClockFaces, TypesPickTheirPicturesAndHandColours) {
    using R = ClockFaces::Resource;
    struct Case {
        int type;
        std::optional<R> resource;
        float grey;
    };
    const R face1{QStringLiteral("ClockFace1"), QStringLiteral("tiff")};
    const R face4{QStringLiteral("ClockFace4"), QStringLiteral("tiff")};
    const Case cases[] = {
        {1, face1, 0.0f},
        {4, face4, 0.0f},
        {5, face4, 0.8f},
        {3, R{QStringLiteral("ClockFace3"), QStringLiteral("tiff")}, 1.0f},
        {9, R{QStringLiteral("clockdark"), QStringLiteral("png")}, 0.0f},
        {11, R{QStringLiteral("clockapple"), QStringLiteral("png")}, 1.0f},
        {14, R{QStringLiteral("ClockFace10"), QStringLiteral("png")}, 0.0f},
        {20, R{QStringLiteral("ClockFace16"), QStringLiteral("png")}, 1.0f},
        {21, R{QStringLiteral("ClockFace17"), QStringLiteral("png")}, 0.0f},
        // Anything else shows the first face; the flags' plain face is that one too.
        {0, face1, 0.0f},
        {22, face1, 0.0f},
        {101, face1, 0.0f},
        {-1, std::nullopt, 0.0f},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClockFaces::resourceForType(c.type), c.resource) << c.type;
        EXPECT_FLOAT_EQ(ClockFaces::handGreyForType(c.type), c.grey) << c.type;
    }
    for (int type = 1; type <= 21; ++type) {
        const QImage face = ClockFaces::drawFace(ClockFaces::resourceForType(type)->name);
        EXPECT_EQ(face.size(), QSize(256, 256)) << type;
        EXPECT_EQ(qAlpha(face.pixel(1, 1)), 0) << type << ": outside the dial";
        EXPECT_EQ(qAlpha(face.pixel(128, 128)), 255) << type;
    }
    EXPECT_TRUE(ClockFaces::drawFace(QStringLiteral("NoSuchFace")).isNull());
}

TEST(worldClockFaces, TheSharedCacheKeepsTheLastTypeUntilEmptied) {
    const QImage first = ClockFaces::clockFaceImage(2);
    EXPECT_EQ(ClockFaces::clockFaceImage(2).cacheKey(), first.cacheKey());
    EXPECT_TRUE(ClockFaces::clockFaceImage(-1).isNull());
    const QImage again = ClockFaces::clockFaceImage(2);
    EXPECT_FALSE(again.isNull());
    EXPECT_NE(again.cacheKey(), first.cacheKey());
}

// The darkest / brightest grey around `p`: hands are thin and anti-aliased.
int greyAround(const QImage& image, QPointF p, bool darkest) {
    int best = darkest ? 255 : 0;
    for (int dx = -1; dx <= 1; ++dx) {
        for (int dy = -1; dy <= 1; ++dy) {
            const int g =
                qGray(image.pixel(static_cast<int>(p.x()) + dx, static_cast<int>(p.y()) + dy));
            best = darkest ? std::min(best, g) : std::max(best, g);
        }
    }
    return best;
}
int darkest(const QImage& image, QPointF p) {
    return greyAround(image, p, true);
}
int brightest(const QImage& image, QPointF p) {
    return greyAround(image, p, false);
}
bool reddish(const QImage& image, QPointF p) {
    for (int dx = -1; dx <= 1; ++dx) {
        const QRgb c = image.pixel(static_cast<int>(p.x()) + dx, static_cast<int>(p.y()));
        if (qRed(c) > 180 && qGreen(c) < 120 && qBlue(c) < 120) {
            return true;
        }
    }
    return false;
}

// A point on a 200-point dial centred at (100, 100), `degrees` clockwise from 12.
QPointF onDial(double degreesFromNorth, double fractionOfRadius) {
    const double a = degreesFromNorth * std::numbers::pi / 180.0;
    return QPointF(100 + 100 * fractionOfRadius * std::sin(a),
                   100 - 100 * fractionOfRadius * std::cos(a));
}

QImage render(TalvorClockCell& cell) {
    QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    cell.drawWithFrame(painter, QRectF(0, 0, 200, 200));
    return image;
}

// The stored mark font may name a family this machine lacks: the mark is drawn in the
// desktop's font, and nothing in the log blames the size.
TEST(worldClockCell, AMissingFontFamilyFallsBackWithoutAFalseMessage) {
    test::FakeFontResolver fonts;  // knows no family at all
    platform::FontResolver::setShared(&fonts);
    test::LogCapture log;
    TalvorClockCell cell(at(3, 40, 30));
    cell.SetClockType(1);
    cell.SetShowAMPM(1);
    const QImage withMark = render(cell);
    cell.SetShowAMPM(0);
    const QImage without = render(cell);
    platform::FontResolver::setShared(nullptr);

    EXPECT_EQ(fonts.asked(), QStringList{cell.fontName()});
    EXPECT_NE(withMark, without) << "the mark is drawn all the same";
    for (const QString& line : log.lines()) {
        EXPECT_FALSE(line.contains(QStringLiteral("Bad Font"))) << line.toStdString();
    }
}

TEST(worldClockCell, HandsPointAtTheTimeOnScreen) {
    // 03:40:30: minutes at 240 degrees (8 o'clock), hours at 110 (a third of the way past
    // 3), seconds at 180 (6 o'clock).
    TalvorClockCell cell(at(3, 40, 30));
    cell.SetClockType(1);
    cell.SetShowAMPM(0);
    cell.SetAnalogSecHand(1);
    const QImage image = render(cell);

    EXPECT_LT(darkest(image, onDial(240, 0.6)), 110) << "minute hand";
    EXPECT_LT(darkest(image, onDial(110, 0.35)), 110) << "hour hand";
    EXPECT_TRUE(reddish(image, onDial(180, 0.6))) << "second hand";
    for (double empty : {0.0, 60.0, 300.0}) {
        EXPECT_GT(darkest(image, onDial(empty, 0.6)), 200) << "nothing at " << empty << " degrees";
    }
    EXPECT_FALSE(reddish(image, onDial(0, 0.6)));

    // Without the second hand, 6 o'clock is empty.
    cell.SetAnalogSecHand(0);
    EXPECT_FALSE(reddish(render(cell), onDial(180, 0.6)));
}

TEST(worldClockCell, HandsAreBlackGreyOrWhiteByFaceType) {
    struct Case {
        int type;
        bool lightHands;
    };
    // Type 4 and 5 share a face: black hands on one, 0.8 grey on the other.
    for (const Case& c : {Case{4, false}, Case{5, true}, Case{3, true}, Case{1, false}}) {
        TalvorClockCell cell(at(3, 0, 0));
        cell.SetClockType(c.type);
        cell.SetShowAMPM(0);
        const QImage image = render(cell);
        // At 3:00 the hour hand points east; at 9:00 the face shows plain there.
        const QPointF hand = onDial(90, 0.3);
        cell.setTime(at(9, 0, 0));
        const int faceGrey = qGray(render(cell).pixel(hand.toPoint()));
        if (c.lightHands) {
            EXPECT_GT(brightest(image, hand), faceGrey + 30) << c.type;
        } else {
            EXPECT_LT(darkest(image, hand), faceGrey - 60) << c.type;
        }
    }
}

// A floating clock is drawn every second: strokes in translucent colours would each wake the
// raster engine's worker threads, so the dial is copied from pictures kept for it instead.
TEST(worldClockCell, EverySecondTheDialIsCopiedFromPicturesAndNothingIsStroked) {
    TalvorClockCell cell(at(10, 10, 5));
    cell.SetClockType(1);
    cell.SetAnalogSecHand(1);
    test::PaintRecorder recorder;
    for (const QTime& t : {QTime(10, 10, 5), QTime(10, 10, 6), QTime(10, 10, 59), QTime(10, 11, 0),
                           QTime(22, 11, 1)}) {
        SCOPED_TRACE(t.toString().toStdString());
        cell.setTime(at(t.hour(), t.minute(), t.second()));
        recorder.reset();
        {
            QPainter painter(&recorder);
            cell.drawWithFrame(painter, QRectF(0, 0, 200, 200));
        }
        EXPECT_EQ(recorder.counts().shapes, 0);
        EXPECT_GE(recorder.counts().pictures, 2) << "the dial and the second hand";
        EXPECT_EQ(recorder.counts().texts, 2) << "the AM/PM mark and its shadow";
    }
}

// What the dial keeps between draws must follow every change: each drawing equals one of a
// new clock set up the same way.
TEST(worldClockCell, KeptPicturesFollowTheTimeTheFaceAndTheSize) {
    test::XdgSandbox sandbox;
    QImage flag(32, 32, QImage::Format_ARGB32);
    flag.fill(QColor(0, 160, 0));
    const QString flagPath = sandbox.root() + QStringLiteral("/Green.png");
    ASSERT_TRUE(flag.save(flagPath));

    struct Step {
        const char* name;
        QTime time;
        int type;
        double size;
        bool flag;
        int seconds;
    };
    const Step steps[] = {
        {"start", QTime(10, 10, 5), 1, 200, false, 1},
        {"a second on", QTime(10, 10, 6), 1, 200, false, 1},
        {"a minute on", QTime(10, 11, 6), 1, 200, false, 1},
        {"twelve hours on", QTime(22, 11, 6), 1, 200, false, 1},
        {"a dark face, white hands", QTime(22, 11, 6), 3, 200, false, 1},
        {"smaller", QTime(22, 11, 7), 3, 120, false, 1},
        {"a flag", QTime(22, 11, 8), 101, 120, true, 1},
        {"no second hand", QTime(22, 11, 9), 101, 120, true, 0},
    };
    const auto drawn = [](TalvorClockCell& cell, double size) {
        QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        cell.drawWithFrame(painter, QRectF(0, 0, size, size));
        painter.end();
        return image;
    };
    const auto setUp = [&](TalvorClockCell& cell, const Step& s) {
        cell.setTime(at(s.time.hour(), s.time.minute(), s.time.second()));
        cell.SetClockType(s.type);
        cell.SetAnalogSecHand(s.seconds);
        cell.setImagePath(s.flag ? std::optional<QString>(flagPath) : std::nullopt);
    };
    TalvorClockCell kept(at(10, 10, 5));
    for (const Step& s : steps) {
        setUp(kept, s);
        TalvorClockCell fresh(at(0, 0, 0));
        setUp(fresh, s);
        EXPECT_EQ(drawn(kept, s.size), drawn(fresh, s.size)) << s.name;
    }
}

// Within a minute only the second hand moves: a clock asks to redraw where it was and where
// it is, not the whole dial.
TEST(worldClockCell, WithinAMinuteOnlyTheSecondHandsPlacesAreRedrawn) {
    TalvorClockCell cell(at(10, 10, 5));
    cell.SetAnalogSecHand(1);
    std::vector<QRect> areas;
    int whole = 0;
    cell.updateArea = [&](const QRect& area) { areas.push_back(area); };
    cell.updateCell = [&] { ++whole; };
    const QRectF frame(0, 0, 200, 200);
    // Before a first drawing the clock knows no frame: the whole of it.
    cell.setTime(at(10, 10, 6));
    EXPECT_EQ(whole, 1);
    QImage image(200, 200, QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&image);
        cell.drawWithFrame(painter, frame);
    }

    cell.setTime(at(10, 10, 7));
    ASSERT_EQ(areas.size(), 1u);
    EXPECT_EQ(whole, 1);
    const QRect area = areas.back();
    EXPECT_LT(area.width() * area.height(), 200 * 200 / 4) << area.width() << "x" << area.height();
    // At 6 and 7 seconds the hand points 36 and 42 degrees from 12, tip and shadow included.
    for (double degrees : {36.0, 42.0}) {
        EXPECT_TRUE(area.contains(onDial(degrees, 0.8).toPoint() + QPoint(1, 1))) << degrees;
        EXPECT_TRUE(area.contains(onDial(degrees, 0.3).toPoint())) << degrees;
    }
    EXPECT_FALSE(area.contains(onDial(216, 0.5).toPoint()));

    // A new minute moves the other hands: the whole dial.
    cell.setTime(at(10, 11, 0));
    EXPECT_EQ(whole, 2);
    EXPECT_EQ(areas.size(), 1u);

    // Without a second hand nothing within the minute is redrawn.
    cell.SetAnalogSecHand(0);
    cell.setTime(at(10, 11, 1));
    EXPECT_EQ(whole, 2);
    EXPECT_EQ(areas.size(), 1u);
}

TEST(worldClockCell, AnImageFileReplacesTheFaceAndAMissingOneShowsThePlainFace) {
    test::XdgSandbox sandbox;
    QImage flag(32, 32, QImage::Format_ARGB32);
    flag.fill(QColor(0, 160, 0));
    const QString path = sandbox.root() + QStringLiteral("/Green.png");
    ASSERT_TRUE(flag.save(path));

    TalvorClockCell cell(at(3, 0, 0));
    cell.SetClockType(101);
    cell.SetShowAMPM(0);
    cell.setImagePath(path);
    const QRgb flagged = render(cell).pixel(onDial(270, 0.5).toPoint());
    EXPECT_GT(qGreen(flagged), 120);
    EXPECT_LT(qRed(flagged), 60);

    cell.setImagePath(sandbox.root() + QStringLiteral("/Missing.gif"));
    const QRgb plain = render(cell).pixel(onDial(270, 0.5).toPoint());
    const QRgb face1 =
        render(*std::make_unique<TalvorClockCell>(at(3, 0, 0))).pixel(onDial(270, 0.5).toPoint());
    EXPECT_EQ(plain, face1);
}

TEST(worldClockCell, DraggingTheHourHandSetsHourAndMinutesKeepingTheHalfDay) {
    struct Case {
        QTime before;
        double degrees;
        QTime after;
    };
    const Case cases[] = {
        {QTime(14, 0, 5), 95.0, QTime(15, 10, 5)},
        {QTime(9, 30, 0), 95.0, QTime(3, 10, 0)},
        {QTime(20, 0, 0), 359.0, QTime(23, 58, 0)},
        {QTime(1, 0, 0), 0.0, QTime(0, 0, 0)},
    };
    for (const Case& c : cases) {
        TalvorClockCell cell(at(c.before.hour(), c.before.minute(), c.before.second()));
        cell.setHourHandByAngleFromNorth(c.degrees);
        EXPECT_EQ(timeOf(cell), c.after)
            << c.degrees << " from " << c.before.toString().toStdString();
    }

    // A drag to the right of the centre, 95 degrees, in the afternoon.
    TalvorClockCell cell(at(14, 0, 0));
    const QRectF frame(0, 0, 200, 200);
    ASSERT_TRUE(cell.trackMouse(onDial(95, 0.5), frame));
    EXPECT_TRUE(cell.isTracking());
    EXPECT_EQ(timeOf(cell), QTime(15, 10, 0));
    cell.trackMouseForTimeChangeEvent(onDial(180, 0.5), frame);
    EXPECT_EQ(timeOf(cell), QTime(18, 0, 0));
}

TEST(worldClockCell, ClicksAndKeysChangeTheTimeOnlyWhenAllowed) {
    const QRectF frame(0, 0, 200, 200);
    TalvorClockCell cell(at(10, 20, 0));
    int actions = 0;
    int redraws = 0;
    cell.action = [&] { ++actions; };
    cell.updateCell = [&] { ++redraws; };

    EXPECT_TRUE(cell.trackMouse(QPointF(2, 2), frame));  // a corner: outside 0.9 of the radius
    EXPECT_FALSE(cell.isTracking());
    EXPECT_EQ(timeOf(cell), QTime(22, 20, 0));
    cell.moveRight(Qt::ShiftModifier);
    EXPECT_EQ(timeOf(cell), QTime(22, 35, 0));
    cell.moveLeft();
    EXPECT_EQ(timeOf(cell), QTime(22, 34, 0));
    cell.performClick();
    EXPECT_EQ(timeOf(cell), QTime(10, 34, 0));
    EXPECT_EQ(actions, 4);
    EXPECT_EQ(redraws, 4);

    // Setting the same time again is no change; the same instant in another zone is.
    cell.setTime(cell.time());
    EXPECT_EQ(actions, 4);
    CalendarDate tokyo = cell.time();
    tokyo.timeZone = QTimeZone("Asia/Tokyo");
    cell.setTime(tokyo);
    EXPECT_EQ(actions, 5);
    EXPECT_EQ(redraws, 5);
    EXPECT_EQ(timeOf(cell), QTime(19, 34, 0));
    cell.setTime(at(10, 34, 0));

    cell.setChangeTime(false);
    EXPECT_FALSE(cell.trackMouse(QPointF(2, 2), frame));
    EXPECT_FALSE(cell.trackMouse(QPointF(100, 60), frame));
    cell.moveRight(Qt::ShiftModifier);
    cell.performClick();
    EXPECT_EQ(timeOf(cell), QTime(10, 34, 0));
    EXPECT_EQ(actions, 6);
}

TEST(worldClockCell, TimeTextsAreReadInEitherFormOnTheClocksOwnDay) {
    const QTimeZone tokyo("Asia/Tokyo");
    struct Case {
        const char* text;
        std::optional<QTime> result;
    };
    const Case cases[] = {
        {"2:30 PM", QTime(14, 30, 0)}, {"12:05 am", QTime(0, 5, 0)}, {"14:30:00", QTime(14, 30, 0)},
        {" 7:08:09 ", QTime(7, 8, 9)}, {"25:00:00", std::nullopt},   {"13:30 PM", std::nullopt},
        {"noon", std::nullopt},        {"", std::nullopt},           {"14:30", std::nullopt},
    };
    for (const Case& c : cases) {
        TalvorClockCell cell(at(23, 59, 58, tokyo));
        const Date dayBefore = cell.time().date;
        cell.setStringValue(QString::fromLatin1(c.text));
        EXPECT_EQ(timeOf(cell), c.result.value_or(QTime(23, 59, 58))) << c.text;
        if (c.result) {
            // Still 4 March in Tokyo: the text changes the time of day only.
            EXPECT_EQ(cell.time().date.toQDateTime().toTimeZone(tokyo).date(), QDate(2025, 3, 4))
                << c.text;
        } else {
            EXPECT_EQ(cell.time().date, dayBefore) << c.text;
        }
    }
    TalvorClockCell cell(at(16, 5, 7, tokyo));
    EXPECT_EQ(cell.stringValue(), QStringLiteral("16:05:07"));
    EXPECT_TRUE(cell.setObjectValue(QStringLiteral("09:00:00")));
    EXPECT_EQ(cell.stringValue(), QStringLiteral("09:00:00"));
    EXPECT_TRUE(cell.setObjectValue(QVariant::fromValue(utc(2025, 3, 4, 0, 0))));
    EXPECT_EQ(cell.stringValue(), QStringLiteral("09:00:00"));
    test::LogCapture log;
    EXPECT_FALSE(cell.setObjectValue(QVariant(42)));
    EXPECT_TRUE(log.contains(QStringLiteral("Invalid object")));
}

TEST(worldClockCell, TheContextMenuShowsTheTimeAndTheZone) {
    TalvorClockCell cell(at(16, 5, 7, QTimeZone("Asia/Tokyo")));
    const auto menu = cell.menuForEvent();
    ASSERT_EQ(menu->numberOfItems(), 3);
    EXPECT_EQ(menu->itemAtIndex(0)->title(), QStringLiteral("16:05:07"));
    EXPECT_TRUE(menu->itemAtIndex(1)->isSeparatorItem());
    const QString zone = menu->itemAtIndex(2)->title();
    EXPECT_TRUE(zone.startsWith(QStringLiteral("Time Zone - "))) << zone.toStdString();
    EXPECT_TRUE(zone.endsWith(QStringLiteral(" (JST)"))) << zone.toStdString();
    EXPECT_FALSE(zone.contains(QStringLiteral("%@")));
}

TEST(worldClockControl, AssistiveTechnologySeesAnAnalogClockItCanSetAndStep) {
    TalvorClockControl control;
    control.setTime(at(10, 0, 0));
    QAccessibleInterface* a = QAccessible::queryAccessibleInterface(&control);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->role(), QAccessible::Clock);
    EXPECT_EQ(a->text(QAccessible::Value), QStringLiteral("10:00:00"));
    EXPECT_EQ(a->text(QAccessible::Description),
              QStringLiteral("At the tone, the time will be 10:00:00"));

    a->setText(QAccessible::Value, QStringLiteral("14:30:00"));
    EXPECT_EQ(control.stringValue(), QStringLiteral("14:30:00"));
    a->setText(QAccessible::Value, QStringLiteral("half past two"));
    EXPECT_EQ(control.stringValue(), QStringLiteral("14:30:00"));

    QAccessibleActionInterface* actions = a->actionInterface();
    ASSERT_NE(actions, nullptr);
    EXPECT_EQ(actions->localizedActionDescription(QAccessibleActionInterface::increaseAction()),
              QStringLiteral("Increment"));
    EXPECT_EQ(actions->localizedActionDescription(QAccessibleActionInterface::decreaseAction()),
              QStringLiteral("Decrement"));
    actions->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(control.stringValue(), QStringLiteral("14:31:00"));
    actions->doAction(QAccessibleActionInterface::decreaseAction());
    actions->doAction(QAccessibleActionInterface::decreaseAction());
    EXPECT_EQ(control.stringValue(), QStringLiteral("14:29:00"));

    // A clock whose time is fixed cannot be stepped.
    control.setChangeTime(false);
    actions->doAction(QAccessibleActionInterface::increaseAction());
    EXPECT_EQ(control.stringValue(), QStringLiteral("14:29:00"));
}

}  // namespace
}  // namespace talvor
