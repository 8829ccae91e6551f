#include "calendarui/CalendarApplication.h"
#include "calendarui/DragView.h"
#include "calendarui/myCalProView.h"
#include "foundation/PreferenceDomain.h"
#include "platform/UserDefaults.h"

#include "support/FakeClock.h"
#include "support/FakeSystemEvents.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <cmath>

namespace talvor {
namespace {

// Today is Wednesday 10 June 2026.
class calendaruiBigCalendarView : public ::testing::Test {
  protected:
    calendaruiBigCalendarView()
        : clock_(
              Date::fromQDateTime(QDateTime(QDate(2026, 6, 10), QTime(12, 0), QTimeZone::utc()))) {
        platform::Clock::setShared(&clock_);
    }
    ~calendaruiBigCalendarView() override { platform::Clock::setShared(nullptr); }

    // A one-month view of June 2026 with large cells and plain, distinct colours.
    std::unique_ptr<myCalProView> makeView(QSize size = {700, 560}) {
        auto view = std::make_unique<myCalProView>();
        view->resize(size);
        QFont day(QStringLiteral("DejaVu Sans"));
        day.setPointSizeF(16);
        view->setCalDayFont(day);
        view->setCalColorDay(Qt::black);
        view->setCalColorToday(QColor(255, 0, 0));
        view->setCalColorSelectedDay(QColor(0, 200, 0));
        view->setCalColorRow(QColor(0, 128, 128));
        view->calSettings().SetGridLines(0, 0);
        view->calSettings().SetDropShadow(0);
        view->calSettings().SetFirstDayOfWeek(1);
        view->SetoCurDate(QDate(2026, 6, 1));
        return view;
    }

    static QImage render(myCalProView& view, bool toScreen = true) {
        QImage image(view.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        view.drawMonths(painter, view.rect(), toScreen);
        return image;
    }

    static QRectF cellOf(const myCalProView& view, const QDate& day) {
        for (const auto& month : view.drawnMonths()) {
            for (const auto& drawn : month.days) {
                if (drawn.date == day) {
                    return drawn.cell;
                }
            }
        }
        return {};
    }

    template <class Pred>
    static int countPixels(const QImage& image, const QRectF& area, Pred pred) {
        int count = 0;
        const QRect r = area.toAlignedRect().intersected(image.rect());
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                count += pred(image.pixelColor(x, y)) ? 1 : 0;
            }
        }
        return count;
    }

    static bool isRed(const QColor& c) { return c.red() > 200 && c.green() < 80 && c.blue() < 80; }
    static bool isDark(const QColor& c) { return c.lightness() < 100; }

    test::FakeClock clock_;
};

TEST_F(calendaruiBigCalendarView, TodayIsDrawnInTheTodayColourAndNoOtherDayIs) {
    auto view = makeView();
    const QImage image = render(*view);
    EXPECT_GT(countPixels(image, cellOf(*view, {2026, 6, 10}), isRed), 10);
    for (int day : {9, 11, 20}) {
        EXPECT_EQ(countPixels(image, cellOf(*view, {2026, 6, day}), isRed), 0) << day;
    }
    // Another month shows no today.
    view->SetoCurDate(QDate(2026, 7, 1));
    const QImage july = render(*view);
    EXPECT_EQ(countPixels(july, view->rect(), isRed), 0);
}

TEST_F(calendaruiBigCalendarView, AClickSelectsTheDayAndFramesIt) {
    auto view = makeView();
    render(*view);
    const QRectF cell = cellOf(*view, {2026, 6, 17});
    ASSERT_FALSE(cell.isEmpty());
    EXPECT_EQ(view->GetDayClicked(), -1);
    EXPECT_EQ(view->dateValue().date(), QDate(2026, 6, 1)) << "nothing picked: oCurDate";

    view->SetLastClick(cell.center());
    EXPECT_EQ(view->GetDayClicked(), 17);
    EXPECT_EQ(view->GetMonthClicked(), 6);
    EXPECT_EQ(view->GetYearClicked(), 2026);
    EXPECT_EQ(view->GetDayOfYearClicked(), QDate(2026, 6, 17).dayOfYear());
    EXPECT_EQ(view->GetWeekClicked(), 25);
    EXPECT_EQ(view->dateValue(), QDateTime(QDate(2026, 6, 17), QTime(12, 0)));
    EXPECT_EQ(view->toolTip(), QStringLiteral("Selected day is:\nWeek 25\nDay 168"));

    const auto green = [](const QColor& c) {
        return c.green() > 150 && c.red() < 80 && c.blue() < 80;
    };
    const QImage image = render(*view);
    // The frame runs along the cell's edges, not through its middle.
    const QRectF edge(cell.left(), cell.top(), cell.width(), 3);
    EXPECT_GT(countPixels(image, edge, green), cell.width() / 2);
    EXPECT_EQ(countPixels(image, cell.adjusted(5, 5, -5, -5), green), 0);
    EXPECT_EQ(countPixels(image, cellOf(*view, {2026, 6, 18}).adjusted(3, 3, -3, -3), green), 0);
    // Printing draws no selection.
    EXPECT_EQ(countPixels(render(*view, false), edge, green), 0);

    // A click outside every day picks nothing.
    view->SetLastClick(QPointF(2, 2));
    EXPECT_EQ(view->GetDayClicked(), -1);
}

TEST_F(calendaruiBigCalendarView, HorizontalGridGivesLinesOrBands) {
    const struct {
        int horGrid;
        int runs;  // separate stretches of grid colour down one column
    } cases[] = {{0, 0}, {1, 5}, {2, 6}, {7, 6}};
    for (const auto& c : cases) {
        auto view = makeView();
        view->calSettings().SetGridLines(c.horGrid, 0);
        const QImage image = render(*view);
        const QRectF month = view->drawnMonths().front().rect;
        const int x = static_cast<int>(month.left() + 4);
        int runs = 0;
        bool inside = false;
        for (int y = 0; y < image.height(); ++y) {
            const QColor p = image.pixelColor(x, y);
            // Teal, or the lighter teal of an antialiased line between two pixel rows.
            const bool grid = std::abs(p.green() - p.blue()) < 20 && p.red() < p.green() - 30;
            runs += grid && !inside ? 1 : 0;
            inside = grid;
        }
        EXPECT_EQ(runs, c.runs) << c.horGrid;
    }
}

TEST_F(calendaruiBigCalendarView, DayNumbersSitWhereTheirPlaceSays) {
    // -1, 0: left, 1: centre, 2: right; -1 top, 0 middle, 1 bottom.
    const struct {
        int location;
        int column, row;
    } cases[] = {{1, -1, -1}, {2, -1, 0}, {3, -1, 1}, {4, 0, -1}, {5, 0, 0}, {6, 0, 1},
                 {7, 1, -1},  {8, 1, 0},  {9, 1, 1},  {0, 0, 1},  {12, 0, 1}};
    for (const auto& c : cases) {
        auto view = makeView({1400, 1100});
        view->setCalDayNoLocation(c.location);
        const QImage image = render(*view);
        const QRectF cell = cellOf(*view, {2026, 6, 16});
        QRect ink;
        const QRect r = cell.adjusted(3, 3, -3, -3).toAlignedRect();
        for (int y = r.top(); y <= r.bottom(); ++y) {
            for (int x = r.left(); x <= r.right(); ++x) {
                if (isDark(image.pixelColor(x, y))) {
                    ink |= QRect(x, y, 1, 1);
                }
            }
        }
        ASSERT_FALSE(ink.isEmpty()) << c.location;
        const auto third = [](qreal at, qreal start, qreal length) {
            const qreal f = (at - start) / length;
            return f < 1.0 / 3 ? -1 : f < 2.0 / 3 ? 0 : 1;
        };
        EXPECT_EQ(third(ink.center().x(), cell.left(), cell.width()), c.column) << c.location;
        EXPECT_EQ(third(ink.center().y(), cell.top(), cell.height()), c.row) << c.location;
    }
}

TEST_F(calendaruiBigCalendarView, EveryRowHasItsWeekNumberWeek53Included) {
    const struct {
        QDate month;
        int firstDay;
        QList<int> weeks;
    } cases[] = {
        {{2026, 12, 1}, 1, {49, 50, 51, 52, 53}},
        {{2027, 1, 1}, 1, {53, 1, 2, 3, 4}},
        {{2026, 12, 1}, 0, {49, 50, 51, 52, 53}},  // Sunday rows: the week of their Monday
        {{2026, 6, 1}, 1, {23, 24, 25, 26, 27}},
    };
    for (const auto& c : cases) {
        auto view = makeView();
        view->calSettings().SetShowWeekNum(1);
        view->calSettings().SetFirstDayOfWeek(c.firstDay);
        view->SetoCurDate(c.month);
        const QImage image = render(*view);
        const auto& month = view->drawnMonths().front();
        EXPECT_EQ(month.weekNumbers, c.weeks) << c.month.toString(Qt::ISODate).toStdString();
        // Each row shows its number in the first column, the first and a week 53 too.
        const qreal cw = (month.rect.width() - 2) / 8;
        for (int row = 0; row < month.weekNumbers.size(); ++row) {
            const QDate firstOfRow = [&] {
                for (const auto& d : month.days) {
                    if (std::abs(d.cell.top() - month.days.front().cell.top() -
                                 row * d.cell.height()) < 0.5) {
                        return d.date;
                    }
                }
                return QDate();
            }();
            const QRectF rowCell = cellOf(*view, firstOfRow);
            const QRectF weekColumn(month.rect.left(), rowCell.top(), cw, rowCell.height());
            EXPECT_GT(
                countPixels(image, weekColumn, [](const QColor& p) { return p.lightness() < 200; }),
                5)
                << "row " << row << " of " << c.month.toString(Qt::ISODate).toStdString();
        }
    }
}

TEST_F(calendaruiBigCalendarView, EveryWeekdayCanStartTheRows) {
    for (int firstDay = 0; firstDay < 7; ++firstDay) {
        auto view = makeView();
        view->calSettings().SetFirstDayOfWeek(firstDay);
        render(*view);
        const auto& month = view->drawnMonths().front();
        const qreal cw = (month.rect.width() - 2) / 7;
        for (const auto& drawn : month.days) {
            const int column =
                static_cast<int>(std::lround((drawn.cell.left() - month.rect.left()) / cw));
            EXPECT_EQ(column, (drawn.date.dayOfWeek() % 7 - firstDay + 7) % 7)
                << "first day " << firstDay << ", "
                << drawn.date.toString(Qt::ISODate).toStdString();
        }
        // 1 June 2026 is a Monday: a Monday-first month has no space before it.
        EXPECT_EQ(month.topFreeSpace.isEmpty(), firstDay == 1) << firstDay;
    }
}

TEST_F(calendaruiBigCalendarView, WeekdayNamesAreAsLongAsTheMonthIsWide) {
    const struct {
        int width;
        qreal headerPoints;
        const char* first;  // Monday first
    } cases[] = {
        {199, 9, "M"},      {200, 9, "Mon"},  {399, 9, "Mon"},
        {900, 9, "Monday"}, {420, 16, "Mon"},  // full names wider than their columns: short ones
        {230, 40, "M"},                        // even those too wide: one letter
    };
    for (const auto& c : cases) {
        auto view = makeView({c.width + 6, 400});  // the month is the view less its margins
        QFont header(QStringLiteral("DejaVu Sans"));
        header.setPointSizeF(c.headerPoints);
        view->setCalDayOfWeekFont(header);
        render(*view);
        const auto& month = view->drawnMonths().front();
        ASSERT_EQ(month.rect.width(), c.width);
        ASSERT_EQ(month.weekdayNames.size(), 7);
        EXPECT_EQ(month.weekdayNames.front(), QString::fromLatin1(c.first))
            << c.width << " at " << c.headerPoints << " pt";
    }
}

TEST_F(calendaruiBigCalendarView, DayFontShrinksForManyMonthsAndFitsItsCells) {
    const struct {
        int across, down;
        float loaded;
    } cases[] = {{1, 1, 11}, {2, 2, 11}, {3, 2, 8.8f}, {4, 3, 7.7f}, {3, 3, 7.7f}};
    for (const auto& c : cases) {
        myCalProView view;
        view.calSettings().SetCntH(c.across);
        view.calSettings().SetCntV(c.down);
        view.LoadDayFont();
        EXPECT_NEAR(view.fontSize(), c.loaded, 0.01) << c.across << "x" << c.down;
    }

    // Fitting: a small 12-month window never goes below the readable floor, and a roomy one
    // keeps "00" inside its row.
    const struct { QSize size; } windows[] = {{{300, 200}}, {{900, 700}}, {{1800, 1400}}};
    for (const auto& w : windows) {
        myCalProView view;
        view.resize(w.size);
        view.calSettings().SetCntH(4);
        view.calSettings().SetCntV(3);
        view.LoadDayFont();
        render(view);
        EXPECT_GE(view.fontSize(), 6.0f) << w.size.width();
        const auto& month = view.drawnMonths().front();
        const qreal rowHeight = month.days.front().cell.height();
        const qreal text =
            QFontMetricsF(view.dayFontInUse()).boundingRect(QStringLiteral("00")).height();
        if (view.fontSize() > 7.01f) {
            EXPECT_LE(text, rowHeight) << w.size.width();
        }
    }
}

TEST_F(calendaruiBigCalendarView, PicturesFitByScaleType) {
    const QRectF dst(10, 20, 200, 100);
    const struct {
        QSizeF src;
        int type;
        QRectF expected;
    } cases[] = {
        {{50, 50}, 1, {85, 45, 50, 50}},       // small: never enlarged
        {{400, 100}, 1, {10, 45, 200, 50}},    // shrunk by the smaller ratio
        {{100, 100}, 3, {10, -30, 200, 200}},  // by width, overflowing
        {{100, 100}, 4, {60, 20, 100, 100}},   // by height
        {{30, 40}, 0, {95, 50, 30, 40}},       // natural size
    };
    for (const auto& c : cases) {
        EXPECT_EQ(myCalProView::myAdjustRect(QRectF(QPointF(), c.src), dst, c.type), c.expected)
            << c.type;
    }
}

TEST_F(calendaruiBigCalendarView, SpecialDaysAndBirthdaysGetBadgesAndToolTips) {
    auto view = makeView();
    ASSERT_TRUE(view->calSettings().parseCALdata(
        QStringLiteral("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:a\r\nDTSTART;VALUE=DATE:20260619\r\n"
                       "SUMMARY:Midsummer eve\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n")));
    view->calSettings().setContactsFolder(QStringLiteral(TALVOR_CALENDARUI_FIXTURES "/Contacts"));
    view->SetoCurDate(QDate(2026, 5, 1));
    view->calSettings().SetBirthday(2);
    QImage image = render(*view);
    const QRectF may1 = cellOf(*view, {2026, 5, 1});
    EXPECT_EQ(view->toolTipAt(may1.center()),
              QStringLiteral("Birthday(s):\rAnn Lee ,\rBob Roe \r"));
    const auto pink = [](const QColor& c) {
        return c.red() > 200 && c.green() < 140 && c.blue() > 110 && c.blue() < 180;
    };
    EXPECT_GT(countPixels(image, may1, pink), 3);
    EXPECT_FALSE(view->toolTipAt(cellOf(*view, {2026, 5, 2}).center()));

    view->SetoCurDate(QDate(2026, 6, 1));
    image = render(*view);
    const QRectF eve = cellOf(*view, {2026, 6, 19});
    EXPECT_EQ(view->toolTipAt(eve.center()), QStringLiteral("Midsummer eve\n"));
    const auto badgeBlue = [](const QColor& c) {
        return c.blue() > 180 && c.red() < 90 && c.green() > 80 && c.green() < 150;
    };
    EXPECT_GT(countPixels(image, eve, badgeBlue), 10);
    EXPECT_EQ(countPixels(image, cellOf(*view, {2026, 6, 18}), badgeBlue), 0);
}

TEST_F(calendaruiBigCalendarView, ASettingsErrorIsShownInTheFreeSpace) {
    auto view = makeView();
    view->calSettings().setErr(myCalSettings::buildErrorWithDescription(
        QStringLiteral("http://x/pic.jpg"), QStringLiteral("Unable to load image from network URL"),
        QStringLiteral("Enable network access or select another site.")));
    const QImage image = render(*view);
    const auto& month = view->drawnMonths().front();
    // June 2026, Monday first: nothing before the 1st, so the rows after the 30th.
    ASSERT_TRUE(month.topFreeSpace.isEmpty());
    ASSERT_FALSE(month.bottomFreeSpace.isEmpty());
    EXPECT_EQ(view->toolTipAt(month.bottomFreeSpace.center()),
              QStringLiteral("Suggestion: Enable network access or select another site.\n"
                             "[Unable to load image from network URL]"));
    EXPECT_GT(countPixels(image, month.bottomFreeSpace.adjusted(-1, -1, 1, 1), isRed), 50);
}

TEST_F(calendaruiBigCalendarView, DropsOfCalendarsPicturesFoldersAndAddresses) {
    test::XdgSandbox sandbox;
    QTemporaryDir folder;
    const QString ics = QDir(folder.path()).filePath(QStringLiteral("days.ics"));
    {
        QFile file(ics);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(
            "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nUID:x\r\nDTSTART;VALUE=DATE:20260622\r\n"
            "SUMMARY:Drop day\r\nEND:VEVENT\r\nEND:VCALENDAR\r\n");
    }
    const QString picture = QDir(folder.path()).filePath(QStringLiteral("pic.png"));
    QImage(30, 20, QImage::Format_RGB32).save(picture);
    const QString pictures = QDir(folder.path()).filePath(QStringLiteral("months"));
    QDir().mkpath(pictures);
    const QString key = QStringLiteral("CalBGImagePath");

    const struct {
        const char* name;
        std::function<void(QMimeData&)> fill;
        bool accepted;
        QString stored;  // empty: the key stays as it was
    } cases[] = {
        {"ics file", [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(ics)}); }, false, {}},
        {"webcal",
         [](QMimeData& m) { m.setText(QStringLiteral("webcal://127.0.0.1:9/x")); },
         false,
         {}},
        {"missing file",
         [&](QMimeData& m) { m.setText(folder.path() + QStringLiteral("/no.png")); },
         false,
         {}},
        {"nothing",
         [](QMimeData& m) { m.setData(QStringLiteral("application/x-other"), "1"); },
         false,
         {}},
        {"picture", [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(picture)}); }, true,
         picture},
        {"folder", [&](QMimeData& m) { m.setUrls({QUrl::fromLocalFile(pictures)}); }, true,
         pictures},
        {"address",
         [](QMimeData& m) { m.setText(QStringLiteral(" http://127.0.0.1:9/pic.jpg\n")); }, true,
         QStringLiteral("http://127.0.0.1:9/pic.jpg")},
    };
    for (const auto& c : cases) {
        PreferenceDomain::writeText(key, QStringLiteral("before"));
        auto view = makeView();
        QMimeData data;
        c.fill(data);
        EXPECT_EQ(view->performDragOperation(data), c.accepted) << c.name;
        EXPECT_FALSE(view->isDragging());
        EXPECT_EQ(PreferenceDomain::readText(key, {}),
                  c.stored.isEmpty() ? QStringLiteral("before") : c.stored)
            << c.name;
        if (QString::fromLatin1(c.name) == QLatin1String("ics file")) {
            EXPECT_TRUE(view->calSettings().specialDayText({2026, 6, 22}));
        }
    }
}

TEST_F(calendaruiBigCalendarView, PictureWellTakesOnlyPicturesFromElsewhere) {
    test::XdgSandbox sandbox;
    QTemporaryDir folder;
    const QString text = QDir(folder.path()).filePath(QStringLiteral("notes.txt"));
    QFile(text).open(QIODevice::WriteOnly);
    const QString picture = QDir(folder.path()).filePath(QStringLiteral("p.png"));
    QImage image(8, 6, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    image.save(picture);

    DragView well;
    QList<QImage> given;
    well.setDelegate([&](const QImage& i) { given << i; });
    platform::UserDefaults& defaults = platform::UserDefaults::standard();

    QMimeData notAPicture;
    notAPicture.setUrls({QUrl::fromLocalFile(text)});
    EXPECT_FALSE(well.draggingEntered(notAPicture));
    EXPECT_FALSE(well.isHighlighted());
    EXPECT_TRUE(well.performDragOperation(notAPicture, nullptr));
    EXPECT_TRUE(given.isEmpty());
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("ShowDefaultCalBGImg")));

    QMimeData aPicture;
    aPicture.setUrls({QUrl::fromLocalFile(picture)});
    EXPECT_TRUE(well.draggingEntered(aPicture));
    EXPECT_TRUE(well.isHighlighted());
    EXPECT_TRUE(well.performDragOperation(aPicture, &well)) << "from itself: nothing, yet success";
    EXPECT_FALSE(well.isHighlighted());
    EXPECT_TRUE(given.isEmpty());
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("ShowDefaultCalBGImg")));

    EXPECT_TRUE(well.performDragOperation(aPicture, nullptr));
    ASSERT_EQ(given.size(), 1);
    EXPECT_EQ(given.front().pixelColor(0, 0), QColor(Qt::magenta));
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("ShowDefaultCalBGImg")));
}

TEST_F(calendaruiBigCalendarView, DoubleClickOpensTheCalendarApplicationUnlessTurnedOff) {
    test::XdgSandbox sandbox;
    const QString config = sandbox.root() + QStringLiteral("/config");
    const QString apps = sandbox.root() + QStringLiteral("/data/applications");
    QDir().mkpath(config);
    QDir().mkpath(apps);
    {
        QFile list(config + QStringLiteral("/mimeapps.list"));
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write(
            "[Added Associations]\ntext/calendar=other.desktop;\n"
            "[Default "
            "Applications]\ntext/html=web.desktop\ntext/calendar=mycal.desktop;other.desktop;\n");
        QFile entry(apps + QStringLiteral("/mycal.desktop"));
        ASSERT_TRUE(entry.open(QIODevice::WriteOnly));
        entry.write("[Desktop Entry]\nType=Application\nName=My Calendar\nExec=mycal --view %u\n");
    }
    EXPECT_EQ(CalendarApplication::defaultHandlerId({config}, {}), QStringLiteral("mycal.desktop"));

    test::FakeProcessLauncher launcher;
    platform::ProcessLauncher::setShared(&launcher);

    for (bool opens : {false, true}) {
        launcher.launches.clear();
        auto view = makeView();
        int actions = 0;
        view->setAction([&](myCalProView&) { ++actions; });
        view->setDoubleClickOpensCalendar(opens);
        view->show();
        const QPoint at = cellOf(*view, {2026, 6, 17}).center().toPoint();
        render(*view);
        QTest::mouseDClick(view.get(), Qt::LeftButton, {}, at);
        EXPECT_GE(actions, 1) << opens;
        ASSERT_EQ(launcher.launches.size(), opens ? 1u : 0u);
        if (opens) {
            EXPECT_EQ(launcher.launches.front().program, QStringLiteral("mycal"));
            EXPECT_EQ(launcher.launches.front().arguments, QStringList{QStringLiteral("--view")});
        }
    }
    platform::ProcessLauncher::setShared(nullptr);
}

}  // namespace
}  // namespace talvor
