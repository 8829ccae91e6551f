#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/DragView.h"
#include "calendarui/GadgetController.h"
#include "calendarui/HUDWindow.h"
#include "calendarui/MAAttachedWindow.h"
#include "calendarui/TalvorCustomWindow.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/NotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/ProcessLauncher.h"
#include "platform/UserDefaults.h"

#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/FakeSystemEvents.h"
#include "support/LoopbackHttpServer.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QBuffer>
#include <QCalendar>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace talvor {
namespace {

using Counts = ztCalendarController::Counts;

const Date kNow =
    Date::fromQDateTime(QDateTime(QDate(2026, 6, 10), QTime(12, 0), QTimeZone::utc()));

class Moon : public ztCalendarMenuExtra {
  public:
    QImage mooonImage(Date date) override {
        asked.push_back(date);
        QImage image(64, 64, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setBrush(QColor(250, 240, 120));
        painter.drawEllipse(4, 4, 56, 56);
        return image;
    }
    QString addNextMoons(const std::optional<QString>&, Date) override {
        return QStringLiteral("Current Moon: Full Moon");
    }
    void showMenubarCalendarPrefs() override {}
    std::vector<Date> asked;
};

class calendaruiBigCalendarWindow : public ::testing::Test {
  protected:
    calendaruiBigCalendarWindow() { platform::Clock::setShared(&clock); }
    ~calendaruiBigCalendarWindow() override { platform::Clock::setShared(nullptr); }

    test::XdgSandbox sandbox;
    test::FakeClock clock{kNow, QTimeZone::utc()};
    platform::MemoryPreferenceStore store{QStringLiteral("test")};
    platform::UserDefaults defaults{store};
    test::FakeScreens screens;
};

TEST_F(calendaruiBigCalendarWindow, ResizingLaysOutNoMoreMonthsThanChosen) {
    const struct {
        int chosen;
        Counts current, fits, expected;
    } cases[] = {
        {1, {3, 2}, {4, 4}, {1, 1}},
        {3, {3, 2}, {3, 2}, {3, 1}},
        {3, {1, 4}, {1, 4}, {1, 3}},
        {3, {1, 1}, {3, 1}, {3, 1}},
        {3, {1, 1}, {2, 2}, {1, 1}},  // four would be too many: kept
        {6, {2, 2}, {3, 3}, {2, 2}},  // nine is not below seven
        {6, {2, 2}, {3, 2}, {3, 2}},
        {6, {4, 2}, {4, 2}, {4, 1}},
        {12, {5, 3}, {5, 3}, {5, 2}},
        {12, {2, 7}, {2, 7}, {2, 6}},
        {12, {13, 1}, {13, 1}, {12, 1}},
        {12, {4, 3}, {0, 0}, {1, 1}},  // a window smaller than one month still shows one
        {7, {1, 1}, {2, 5}, {2, 5}},
        // As many as fit, at most a year, the months nearest their own shape.
        {0, {1, 1}, {2, 5}, {2, 5}},
        {0, {4, 3}, {8, 5}, {4, 3}},
        {0, {1, 1}, {13, 1}, {12, 1}},
        {0, {1, 1}, {1, 13}, {1, 12}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ztCalendarController::monthsForResize(c.chosen, c.current, c.fits), c.expected)
            << c.chosen << ": " << c.current.across << "x" << c.current.down << " fits "
            << c.fits.across << "x" << c.fits.down;
    }
}

TEST_F(calendaruiBigCalendarWindow, StoredChoicesMapToMonthsLayersAndStyles) {
    // The number the calendar pane stores; any other value shows as many as fit (0).
    const int months[][2] = {{1, 1}, {6, 6}, {12, 12}, {3, 0}, {0, 0}, {2, 0}, {7, 0}, {-1, 0}};
    for (const auto& m : months) {
        EXPECT_EQ(ztCalendarController::monthsOfChoice(m[0]), m[1]) << m[0];
    }
    const int layers[][2] = {{0, -1}, {1, 0}, {2, 1}, {5, 0}};
    for (const auto& l : layers) {
        EXPECT_EQ(ztCalendarController::getWindowLayer(l[0]), l[1]) << l[0];
    }
    EXPECT_FALSE(ztCalendarController::getWindowType(1));
    EXPECT_TRUE(ztCalendarController::getWindowType(0));
}

TEST_F(calendaruiBigCalendarWindow, KeysStepDaysAndMonths) {
    ztCalendarController big(clock, defaults, screens);
    myCalProView& view = *big.monthView();
    big.window()->show();
    ASSERT_EQ(view.oCurDate(), QDate(2026, 6, 10));
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QDate expected;
    } steps[] = {
        {Qt::Key_Right, Qt::NoModifier, {2026, 6, 11}},
        {Qt::Key_Right, Qt::ControlModifier, {2026, 7, 11}},
        {Qt::Key_Left, Qt::ControlModifier, {2026, 6, 11}},
        {Qt::Key_Left, Qt::NoModifier, {2026, 6, 10}},
        {Qt::Key_Left, Qt::NoModifier, {2026, 6, 9}},
        {Qt::Key_C, Qt::NoModifier, {2026, 6, 10}},
    };
    for (const auto& s : steps) {
        QTest::keyClick(big.window(), s.key, s.modifiers);
        EXPECT_EQ(view.oCurDate(), s.expected) << s.key;
    }
    QTest::keyClick(big.window(), Qt::Key_Escape);
    EXPECT_FALSE(big.window()->isVisible());
}

TEST_F(calendaruiBigCalendarWindow, ALargerWindowShowsMoreMonthsUpToTheChoice) {
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 6;
    ztCalendarController big(clock, defaults, screens);
    myCalSettings& settings = big.monthView()->calSettings();
    EXPECT_EQ(big.NoOfCal(), 6);
    big.window()->show();
    const QSize cell = ztCalendarController::monthCell();
    big.monthView()->resize(cell.width() * 3 + 10, cell.height() * 3 + 10);
    big.relayout();
    EXPECT_EQ((Counts{settings.cntH(), settings.cntV()}), (Counts{3, 2})) << "nine fit, six shown";
    big.monthView()->resize(cell.width() + 10, cell.height() * 2 + 10);
    big.relayout();
    EXPECT_EQ((Counts{settings.cntH(), settings.cntV()}), (Counts{1, 2}));
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 0;
}

TEST_F(calendaruiBigCalendarWindow, WindowStyleAndPictureScalingFollowTheSettings) {
    TalvorCalPrefsSettings& prefs = TalvorCalPrefsSettings::sharedInstance();
    const struct {
        int winType;
        int scaling;
        bool movable;
        QSize picture;  // a 100 x 50 picture in a 200 x 200 well
    } cases[] = {
        {8223, 0, true, {200, 100}},
        {0, 1, false, {100, 50}},
        {3, 2, true, {200, 200}},
    };
    QImage picture(100, 50, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    for (const auto& c : cases) {
        prefs.CalendarWinType = c.winType;
        prefs.CalendarImageScaleing = c.scaling;
        ztCalendarController big(clock, defaults, screens);
        big.window()->show();  // reads the settings
        EXPECT_EQ(big.isMovableByBackground(), c.movable) << c.winType;
        EXPECT_EQ(big.sizeGrip()->isVisible(), c.movable) << c.winType;
        big.pictureWell()->setImage(picture);
        big.pictureWell()->resize(200, 200);
        EXPECT_EQ(big.pictureWell()->pictureRect().size(), c.picture) << c.scaling;

        // A drag on the panel's own background moves it only when it may.
        big.window()->move(100, 100);
        QWidget* window = big.window();
        QTest::mousePress(window, Qt::LeftButton, {}, QPoint(5, 5));
        QMouseEvent move(QEvent::MouseMove, QPointF(45, 25), window->mapToGlobal(QPointF(45, 25)),
                         Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window, &move);
        QTest::mouseRelease(window, Qt::LeftButton, {}, QPoint(45, 25));
        EXPECT_EQ(window->pos(), c.movable ? QPoint(140, 120) : QPoint(100, 100)) << c.winType;
    }
    prefs.resetPrefsToDefaults();
}

TEST_F(calendaruiBigCalendarWindow, TheStartDayChoiceArrivesByNotification) {
    ztCalendarController big(clock, defaults, screens);
    myCalSettings& settings = big.monthView()->calSettings();
    defaults.setInteger(2, QStringLiteral("iStartDay"));  // Tuesday in the pane's list
    defaults.setInteger(1, QStringLiteral("iShowWeek"));
    platform::DistributedNotificationCenter::defaultCenter().post(
        QStringLiteral("TalvorUpdateCalNotification"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return settings.firstDay() == 2; }, 5000));
    EXPECT_EQ(settings.showWeekNum(), 1);
    defaults.setInteger(9, QStringLiteral("iStartDay"));  // out of range: the first item
    big.updateCalPrefs();
    EXPECT_EQ(settings.firstDay(), 0);
    // Once a pane has written the one first-weekday key, the old one decides nothing.
    defaults.setInteger(2, QStringLiteral("iStartDay"));
    defaults.setInteger(5, QStringLiteral("FirstDayOfWeek"));  // Thursday
    big.updateCalPrefs();
    EXPECT_EQ(settings.firstDay(), 4);
}

// The calendar pane's "Second calendar" marks where that calendar's months begin in the big
// calendar as in the mini calendar, as soon as the pane says it changed: a bar down the day's
// edge and the day in that calendar as its tool tip. The grids are Gregorian, so choosing the
// Gregorian calendar marks nothing.
TEST_F(calendaruiBigCalendarWindow, TheSecondCalendarsMonthStartsAreMarked) {
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 6;
    ztCalendarController big(clock, defaults, screens);
    big.window()->show();
    big.window()->setGeometry(100, 100, 900, 700);
    myCalProView& view = *big.monthView();
    view.setCalColorMonth(QColor(0, 160, 0));
    QImage shot;
    const auto marks = [&] {
        shot = QImage(view.size(), QImage::Format_ARGB32);
        shot.fill(Qt::white);
        QPainter painter(&shot);
        view.drawMonths(painter, view.rect(), true);
        painter.end();
        QList<QDate> out;
        for (const auto& month : view.drawnMonths()) {
            out << month.auxMonthStarts;
        }
        return out;
    };
    const auto choose = [&](const char* calendar) {
        if (calendar) {
            defaults.setObject(QString::fromLatin1(calendar), QStringLiteral("SecondaryCalendar"));
        } else {
            defaults.removeObjectForKey(QStringLiteral("SecondaryCalendar"));
        }
        platform::NotificationCenter::defaultCenter().post(QStringLiteral("PrefsChanged"));
    };
    EXPECT_TRUE(marks().isEmpty()) << "no second calendar";

    // Qt's own Islamic civil calendar tells the days independently of ICU.
    const QCalendar civil(QCalendar::System::IslamicCivil);
    choose("islamic-civil");
    const QList<QDate> shown = marks();
    QList<QDate> expected;
    for (const auto& month : view.drawnMonths()) {
        for (const auto& day : month.days) {
            if (civil.partsFromDate(day.date).day == 1) {
                expected << day.date;
            }
        }
    }
    ASSERT_FALSE(expected.isEmpty());
    EXPECT_EQ(shown, expected);
    // Seen: the bar in the month colour at the day's left edge, none at the day after.
    for (const auto& month : view.drawnMonths()) {
        for (const auto& day : month.days) {
            if (day.date == expected.front()) {
                const QPoint edge(static_cast<int>(day.cell.left() + 1),
                                  static_cast<int>(day.cell.center().y()));
                EXPECT_EQ(shot.pixelColor(edge), QColor(0, 160, 0));
                const QString year = QString::number(civil.partsFromDate(day.date).year);
                EXPECT_TRUE(view.toolTipAt(day.cell.center()).value_or(QString()).contains(year))
                    << view.toolTipAt(day.cell.center()).value_or(QString()).toStdString();
            }
        }
    }

    choose("hebrew");
    EXPECT_TRUE(marks().contains(QDate(2026, 6, 16))) << "1 Tammuz 5786";
    EXPECT_FALSE(marks().contains(QDate(2026, 6, 15)));
    choose("gregorian");
    EXPECT_TRUE(marks().isEmpty());
    choose(nullptr);
    EXPECT_TRUE(marks().isEmpty());
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 0;
}

// The placement's seven named positions are in the window's settings menu.
TEST_F(calendaruiBigCalendarWindow, TheSettingsMenuMovesTheWindowToNamedPositions) {
    ztCalendarController big(clock, defaults, screens);
    big.window()->show();
    big.window()->setGeometry(300, 300, 400, 300);
    auto* places = big.settingsMenu()->findChild<QMenu*>(QStringLiteral("moveWindowMenu"));
    ASSERT_NE(places, nullptr);
    const QSize size = big.window()->size();
    const int right = 1280 - size.width();
    const int bottom = 800 - size.height();
    const int middle = 24 + (776 - size.height()) / 2;
    const struct {
        const char* title;
        QPoint topLeft;
    } cases[] = {
        {"Top Left", {0, 24}},
        {"Top Right", {right, 24}},
        {"Center Left", {0, middle}},
        {"Center Right", {right, middle}},
        {"Bottom Left", {0, bottom}},
        {"Bottom Center", {(1280 - size.width()) / 2, bottom}},
        {"Bottom Right", {right, bottom}},
    };
    ASSERT_EQ(places->actions().size(), static_cast<int>(std::size(cases)));
    for (const auto& c : cases) {
        QAction* action = nullptr;
        for (QAction* a : places->actions()) {
            if (a->text() == QLatin1String(c.title)) {
                action = a;
            }
        }
        ASSERT_NE(action, nullptr) << c.title;
        action->trigger();
        EXPECT_EQ(big.window()->geometry().topLeft(), c.topLeft) << c.title;
        EXPECT_EQ(defaults.stringForKey(TalvorCustomWindow::frameKey()),
                  QStringLiteral("%1 %2 %3 %4")
                      .arg(c.topLeft.x())
                      .arg(c.topLeft.y())
                      .arg(size.width())
                      .arg(size.height()))
            << "kept for the next start";
    }
}

TEST_F(calendaruiBigCalendarWindow, ZoomFillsTheScreenAndComesBackToTheOldFrameAndMonths) {
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 12;
    ztCalendarController big(clock, defaults, screens);
    myCalSettings& settings = big.monthView()->calSettings();
    big.window()->show();
    big.window()->setGeometry(100, 100, 500, 400);
    const QRect before = big.window()->geometry();
    const Counts counts{settings.cntH(), settings.cntV()};
    big.zoomCalendar(true);
    EXPECT_TRUE(big.isZoomed());
    EXPECT_EQ(big.window()->geometry(), QRect(0, 24, 1280, 776));
    big.zoomCalendar(false);
    EXPECT_FALSE(big.isZoomed());
    EXPECT_EQ(big.window()->geometry(), before);
    EXPECT_EQ((Counts{settings.cntH(), settings.cntV()}), counts);
    big.actClose();
    EXPECT_FALSE(big.window()->isVisible());
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 0;
}

TEST_F(calendaruiBigCalendarWindow, ControlClickShowsTheMoonOfTheDayAndASecondClosesIt) {
    ztCalendarController big(clock, defaults, screens);
    Moon moon;
    big.setMenuExtra(&moon);
    big.window()->show();
    myCalProView& view = *big.monthView();
    QImage scratch(view.size(), QImage::Format_ARGB32);
    QPainter painter(&scratch);
    view.drawMonths(painter, view.rect(), true);
    painter.end();
    QPointF at;
    for (const auto& day : view.drawnMonths().front().days) {
        if (day.date == QDate(2026, 6, 20)) {
            at = day.cell.center();
        }
    }
    QTest::mouseClick(&view, Qt::LeftButton, Qt::ControlModifier, at.toPoint());
    ASSERT_NE(big.attachedWindow(), nullptr);
    EXPECT_TRUE(big.attachedWindow()->isVisible());
    EXPECT_EQ(moon.asked.back().toQDateTime().date(), QDate(2026, 6, 20));
    auto* picture = big.attachedWindow()->findChild<QLabel*>(QStringLiteral("moonOfTheDay"));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->size(), QSize(256, 256));
    EXPECT_EQ(picture->toolTip(), QStringLiteral("Current Moon: Full Moon"));

    QTest::mouseClick(&view, Qt::LeftButton, Qt::ControlModifier, at.toPoint());
    EXPECT_EQ(big.attachedWindow(), nullptr);
    // A plain click selects, no moon.
    QTest::mouseClick(&view, Qt::LeftButton, {}, at.toPoint());
    EXPECT_EQ(big.attachedWindow(), nullptr);
    EXPECT_EQ(view.GetDayClicked(), 20);
}

// Alt+click opens the desktop's calendar application at the day clicked, when it takes a day
// on its command line; another application opens as it is.
TEST_F(calendaruiBigCalendarWindow, AltClickOpensTheCalendarApplicationAtTheDay) {
    const QString root = sandbox.root();
    test::ScopedEnvVar configDirs("XDG_CONFIG_DIRS", root + "/etc");
    test::ScopedEnvVar dataDirs("XDG_DATA_DIRS", root + "/usr");
    const QString apps = root + "/data/applications";
    QDir().mkpath(apps);
    QDir().mkpath(root + "/config");
    auto write = [](const QString& path, const QByteArray& text) {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(apps + "/org.gnome.Calendar.desktop",
          "[Desktop Entry]\nType=Application\nName=Calendar\nExec=gnome-calendar %U\n");
    write(apps + "/other.desktop",
          "[Desktop Entry]\nType=Application\nName=Other\nExec=othercal --open %u\n");
    test::FakeProcessLauncher launcher;
    platform::ProcessLauncher::setShared(&launcher);

    ztCalendarController big(clock, defaults, screens);
    big.window()->show();
    myCalProView& view = *big.monthView();
    QImage scratch(view.size(), QImage::Format_ARGB32);
    QPainter painter(&scratch);
    view.drawMonths(painter, view.rect(), true);
    painter.end();
    QPointF at;
    for (const auto& day : view.drawnMonths().front().days) {
        if (day.date == QDate(2026, 6, 20)) {
            at = day.cell.center();
        }
    }
    const struct {
        const char* handler;
        QString program;
        QStringList arguments;
    } cases[] = {
        {"org.gnome.Calendar.desktop",
         QStringLiteral("gnome-calendar"),
         {QStringLiteral("--date"), QStringLiteral("2026-06-20")}},
        {"other.desktop", QStringLiteral("othercal"), {QStringLiteral("--open")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handler);
        write(root + "/config/mimeapps.list",
              QByteArray("[Default Applications]\ntext/calendar=") + c.handler + ";\n");
        launcher.launches.clear();
        QTest::mouseClick(&view, Qt::LeftButton, Qt::AltModifier, at.toPoint());
        ASSERT_EQ(launcher.launches.size(), 1u);
        EXPECT_EQ(launcher.launches.front().program, c.program);
        EXPECT_EQ(launcher.launches.front().arguments, c.arguments);
        EXPECT_EQ(view.GetDayClicked(), 20);
    }
    // A plain click opens nothing.
    launcher.launches.clear();
    QTest::mouseClick(&view, Qt::LeftButton, {}, at.toPoint());
    EXPECT_TRUE(launcher.launches.empty());
    platform::ProcessLauncher::setShared(nullptr);
}

// The picture behind the months is read back at start: a folder gives each month its own
// picture; an address with date fields gives today's, and the next day's once the window
// shows on the next day.
TEST_F(calendaruiBigCalendarWindow, ThePictureBehindTheMonthsIsReadBackAtStart) {
    auto png = [](const QColor& colour) {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(colour);
        QByteArray bytes;
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return bytes;
    };
    QTemporaryDir folder;
    for (int month : {6, 7}) {
        QFile file(QDir(folder.path()).filePath(QStringLiteral("%1.jpg").arg(month)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(png(month == 6 ? Qt::red : Qt::blue));
    }
    defaults.setObject(folder.path(), QStringLiteral("CalBGImagePath"));
    {
        ztCalendarController big(clock, defaults, screens);
        myCalSettings& settings = big.monthView()->calSettings();
        EXPECT_TRUE(settings.imagePathisDir());
        settings.LoadMonthImage(7);
        ASSERT_FALSE(settings.bgImage().isNull());
        EXPECT_EQ(settings.bgImage().pixelColor(1, 1), QColor(Qt::blue));
    }

    test::LoopbackHttpServer http;
    std::mutex mutex;
    std::vector<std::string> asked;
    http.server().Get(R"(/pics/(\d+)\.png)", [&](const httplib::Request& req,
                                                 httplib::Response& res) {
        std::lock_guard lock(mutex);
        asked.push_back(req.matches[1]);
        res.set_content(png(req.matches[1] == "20260610" ? Qt::green : Qt::yellow).toStdString(),
                        "image/png");
    });
    http.start();
    defaults.setObject(QString::fromStdString(http.url("/pics/%Y%m%d.png")),
                       QStringLiteral("CalBGImagePath"));
    ztCalendarController big(clock, defaults, screens);
    myCalSettings& settings = big.monthView()->calSettings();
    EXPECT_TRUE(settings.bgImageIsURL());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !settings.bgImage().isNull(); }, 5000));
    EXPECT_EQ(settings.bgImage().pixelColor(1, 1), QColor(Qt::green));
    big.updateCalendarPrefs();
    {
        std::lock_guard lock(mutex);
        EXPECT_EQ(asked, std::vector<std::string>{"20260610"}) << "the same day: no new read";
    }
    clock.advance(24 * 3600);
    big.window()->show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return settings.bgImage().pixelColor(1, 1) == QColor(Qt::yellow); }, 5000));
    std::lock_guard lock(mutex);
    EXPECT_EQ(asked, (std::vector<std::string>{"20260610", "20260611"}));
}

TEST_F(calendaruiBigCalendarWindow, PhotosAreAddedDroppedAndDeleted) {
    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("photo.png"));
    QImage photo(120, 80, QImage::Format_RGB32);
    photo.fill(QColor(20, 160, 60));
    ASSERT_TRUE(photo.save(path));

    ztCalendarController big(clock, defaults, screens);
    big.showCalBGImg();
    EXPECT_FALSE(big.pictureWell()->isHidden()) << "our own picture until one is chosen";
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("isBGImageShownBefore")));

    EXPECT_FALSE(big.addPhoto(QDir(folder.path()).filePath(QStringLiteral("none.png"))));
    ASSERT_TRUE(big.addPhoto(path));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("CalImgURL")),
              QUrl::fromLocalFile(path).toString());
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("ShowDefaultCalBGImg")));
    EXPECT_EQ(big.pictureWell()->image().pixelColor(5, 5), QColor(20, 160, 60));

    // Shown again from the stored address.
    ztCalendarController again(clock, defaults, screens);
    again.showCalBGImg();
    EXPECT_EQ(again.pictureWell()->image().pixelColor(5, 5), QColor(20, 160, 60));

    big.deletePhoto();
    EXPECT_TRUE(big.pictureWell()->isHidden());
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("CalImgURL")).isValid());
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("CalImgHeight")), 0.0);
    EXPECT_TRUE(defaults.boolForKey(QStringLiteral("ShowDefaultCalBGImg")));

    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(path)});
    EXPECT_TRUE(big.pictureWell()->performDragOperation(dropped, nullptr));
    EXPECT_FALSE(big.pictureWell()->isHidden());
    EXPECT_EQ(big.pictureWell()->image().pixelColor(5, 5), QColor(20, 160, 60));
}

TEST_F(calendaruiBigCalendarWindow, FontsAreAppliedAndKept) {
    ztCalendarController big(clock, defaults, screens);
    const struct {
        ztCalendarController::FontOption option;
        qreal size;
        QFont TalvorCalPrefsSettings::*kept;
    } cases[] = {
        {ztCalendarController::FontOption::Month, 22,
         &TalvorCalPrefsSettings::CalendarWinMonthFontSize},
        {ztCalendarController::FontOption::Weekday, 13,
         &TalvorCalPrefsSettings::CalendarWinDayOfWeekFontSize},
        {ztCalendarController::FontOption::Day, 17,
         &TalvorCalPrefsSettings::CalendarWinDayFontSize},
    };
    for (const auto& c : cases) {
        QFont font(QStringLiteral("DejaVu Serif"));
        font.setPointSizeF(c.size);
        big.applyCalendarFont(c.option, font);
        EXPECT_EQ(big.calendarFont(c.option).pointSizeF(), c.size);
        EXPECT_EQ((TalvorCalPrefsSettings::sharedInstance().*c.kept).pointSizeF(), c.size);
    }
    TalvorCalPrefsSettings fresh;
    fresh.loadPrefs();
    EXPECT_EQ(fresh.CalendarWinDayFontSize.pointSizeF(), 17) << "written to the settings";
    TalvorCalPrefsSettings::sharedInstance().resetPrefsToDefaults();
}

TEST_F(calendaruiBigCalendarWindow, TheSettingsMenuPrintsAndChoosesPhotosAndFonts) {
    TalvorDateSettings::sharedInstance().hideToDoEventSection = true;
    ztCalendarController big(clock, defaults, screens);
    QStringList titles;
    for (QAction* action : big.settingsMenu()->actions()) {
        titles << action->text();
    }
    EXPECT_EQ(titles, (QStringList{"Print 1 Month", "Print 3 Months", "Print 6 Months",
                                   "Print 12 Months", "Add photo", "Set cal weekday font size",
                                   "Set cal Month font size", "Set cal day font size",
                                   "Move Window To", "", "Show Events/To Do Items"}));
    big.window()->show();
    const auto action = [&](const QString& title) {
        for (QAction* a : big.settingsMenu()->actions()) {
            if (a->text() == title) {
                return a;
            }
        }
        return static_cast<QAction*>(nullptr);
    };

    QTemporaryDir folder;
    const QString path = QDir(folder.path()).filePath(QStringLiteral("photo.png"));
    QImage photo(60, 40, QImage::Format_RGB32);
    photo.fill(QColor(200, 40, 40));
    ASSERT_TRUE(photo.save(path));
    action(QStringLiteral("Add photo"))->trigger();
    auto* files = big.window()->findChild<QFileDialog*>(QStringLiteral("addPhoto"));
    ASSERT_NE(files, nullptr);
    EXPECT_TRUE(files->isVisible());
    EXPECT_TRUE(files->isModal()) << "opened with open(), modal to the window only";
    files->selectFile(path);
    static_cast<QDialog*>(files)->accept();
    EXPECT_EQ(big.pictureWell()->image().pixelColor(3, 3), QColor(200, 40, 40));

    action(QStringLiteral("Set cal day font size"))->trigger();
    auto* fonts = big.window()->findChild<QFontDialog*>(QStringLiteral("calendarFont"));
    ASSERT_NE(fonts, nullptr);
    QFont chosen(QStringLiteral("DejaVu Sans"));
    chosen.setPointSizeF(19);
    fonts->setCurrentFont(chosen);
    fonts->accept();
    EXPECT_EQ(big.calendarFont(ztCalendarController::FontOption::Day).pointSizeF(), 19);
    TalvorCalPrefsSettings::sharedInstance().resetPrefsToDefaults();

    action(QStringLiteral("Print 3 Months"))->trigger();
    auto* print = big.window()->findChild<QDialog*>(QStringLiteral("printCalendar"));
    ASSERT_NE(print, nullptr);
    EXPECT_TRUE(print->isVisible());
    print->reject();
}

// The printed page as pixels, through pdftoppm.
QImage printedPage(ztCalendarController& big, int months, const QString& folder) {
    const QString pdf = QDir(folder).filePath(QStringLiteral("calendar.pdf"));
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdf);
    if (!big.printCalendar(printer, months)) {
        return {};
    }
    const QString base = QDir(folder).filePath(QStringLiteral("page"));
    QProcess::execute(QStringLiteral("pdftoppm"),
                      {QStringLiteral("-r"), QStringLiteral("80"), QStringLiteral("-png"),
                       QStringLiteral("-singlefile"), pdf, base});
    // Kept beside the test for a look at the page.
    const QString kept =
        QDir::current().absoluteFilePath(QStringLiteral("big-calendar-print-%1.png").arg(months));
    QFile::remove(kept);
    QFile::copy(base + QStringLiteral(".png"), kept);
    return QImage(base + QStringLiteral(".png")).convertToFormat(QImage::Format_RGB32);
}

TEST_F(calendaruiBigCalendarWindow, PrintingPutsTheMonthsOnAPage) {
    if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty()) {
        GTEST_SKIP() << "pdftoppm (poppler-utils) is not installed";
    }
    ztCalendarController big(clock, defaults, screens);
    myCalProView& view = *big.monthView();
    view.setCalColorRow(QColor(0, 128, 128));
    view.setCalColorToday(QColor(255, 0, 0));
    view.calSettings().SetGridLines(2, 0);
    QTemporaryDir folder;

    // Twelve months, landscape: every one of the 4 x 3 places holds a month with its bands.
    const QImage twelve = printedPage(big, 12, folder.path());
    ASSERT_FALSE(twelve.isNull());
    EXPECT_GT(twelve.width(), twelve.height()) << "landscape";
    const auto teal = [](QRgb p) {
        return qRed(p) < 90 && qGreen(p) > 90 && qBlue(p) > 90 &&
               std::abs(qGreen(p) - qBlue(p)) < 30;
    };
    int red = 0;
    for (int row = 0; row < 3; ++row) {
        for (int column = 0; column < 4; ++column) {
            const QRect place(twelve.width() * column / 4, twelve.height() * row / 3,
                              twelve.width() / 4, twelve.height() / 3);
            int bands = 0;
            int ink = 0;
            for (int y = place.top(); y <= place.bottom(); ++y) {
                for (int x = place.left(); x <= place.right(); ++x) {
                    const QRgb p = twelve.pixel(x, y);
                    bands += teal(p) ? 1 : 0;
                    ink += qGray(p) < 80 ? 1 : 0;
                    // Small text at this resolution is mostly edges: red, not pure red.
                    red += qRed(p) > 180 && qRed(p) - std::max(qGreen(p), qBlue(p)) > 100 ? 1 : 0;
                }
            }
            EXPECT_GT(bands, place.width() * place.height() / 8) << row << "," << column;
            EXPECT_GT(ink, 20) << row << "," << column;
            // Text at its size: fonts grown with the page's resolution blot out far more.
            EXPECT_LT(ink, place.width() * place.height() / 40) << row << "," << column;
        }
    }
    EXPECT_GT(red, 0) << "today is marked on paper too";

    // One month is printed upright, and the window keeps its own layout.
    const Counts before{view.calSettings().cntH(), view.calSettings().cntV()};
    const QImage one = printedPage(big, 1, folder.path());
    ASSERT_FALSE(one.isNull());
    EXPECT_LT(one.width(), one.height()) << "portrait";
    EXPECT_EQ((Counts{view.calSettings().cntH(), view.calSettings().cntV()}), before);
}

TEST_F(calendaruiBigCalendarWindow, HeadsUpPanelDrawsItsBarBodyAndTitle) {
    const QString title = QStringLiteral("A calendar title far too long for a narrow panel");
    const QString shown = HUDWindow::titleShown(title, 120);
    EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
    EXPECT_LE(QFontMetrics(HUDWindow::titleFont()).horizontalAdvance(shown), 120 - 2 * 19);
    EXPECT_EQ(HUDWindow::titleShown(QStringLiteral("Calendar"), 400), QStringLiteral("Calendar"));

    const QImage panel = HUDWindow::sizedHUDBackground({300, 200}, QStringLiteral("Calendar"));
    ASSERT_EQ(panel.size(), QSize(300, 200));
    const auto level = [&](int x, int y) {
        const QColor c = QColor::fromRgba(panel.pixel(x, y));
        return std::pair(qRound(c.alphaF() * 100),
                         qRound(c.redF() / std::max(0.01f, c.alphaF()) * 100));
    };
    EXPECT_EQ(level(150, 120), std::pair(75, 10)) << "body: white 0.1 at 0.75";
    EXPECT_EQ(level(10, 10), std::pair(75, 25)) << "title bar: white 0.25 at 0.75";
    EXPECT_EQ(qAlpha(panel.pixel(0, 0)), 0) << "rounded corner";
    int white = 0;
    for (int x = 100; x < 200; ++x) {
        for (int y = 2; y < 17; ++y) {
            white += qRed(panel.pixel(x, y)) > 150 ? 1 : 0;
        }
    }
    EXPECT_GT(white, 10) << "the title in white";
}

TEST_F(calendaruiBigCalendarWindow, GadgetWindowTakesTheGadgetsSizeAndTearsOffWhenDragged) {
    EXPECT_EQ(GadgetController::windowSizeFor({270, 190}, {250, 150}, {300, 200}),
              QSizeF(320, 240));
    EXPECT_EQ(GadgetController::messagePage(QStringLiteral("Loading...")),
              QStringLiteral("<html><body><table width='100%' height='100%'><tr><td width='25%' />"
                             "<td align='center'><font size='-1'><i>Loading...</i></font></td>"
                             "<td width='25%' /></tr></table></body></html>"));

    GadgetController gadgets;
    QWidget host;
    host.setGeometry(100, 100, 400, 300);
    auto* row = new QWidget(&host);
    row->setGeometry(0, 40, 400, 20);
    host.show();
    const Gadget page{300, 200, QStringLiteral("https://example.org/weather"), QString()};
    EXPECT_FALSE(gadgets.didViewGadget(page));
    gadgets.showGadget(page, QStringLiteral("Weather"), row);
    ASSERT_TRUE(QTest::qWaitFor([&] { return gadgets.isAttached(); }, 2000));
    EXPECT_TRUE(gadgets.window()->isVisible());
    EXPECT_TRUE(gadgets.didViewGadget(page));
    EXPECT_FALSE(gadgets.didViewGadget(Gadget{300, 200, QString(), QString()})) << "no page";
    EXPECT_FALSE(gadgets.didViewGadget(std::nullopt));
    EXPECT_EQ(gadgets.window()->x(), 100);

    QTest::mousePress(gadgets.window(), Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseMove(gadgets.window(), QPoint(60, 40));
    EXPECT_FALSE(gadgets.isAttached()) << "dragged away";
    gadgets.closeIfAttached();
    EXPECT_TRUE(gadgets.window()->isVisible()) << "a torn-off gadget stays";
    gadgets.close();
    EXPECT_FALSE(gadgets.window()->isVisible());
}

TEST_F(calendaruiBigCalendarWindow, AttachedWindowGeometryFollowsItsSide) {
    const MAAttachedWindow::Shape shape;  // margin 2, arrow 16 x 20, radius 8
    const QSizeF view(100, 50);
    const QPointF p(500, 400);
    const float d = 12;
    // w = 104 (+16 on the left/right sides), h = 54 (+16 above/below); inset i = 18.
    const struct {
        int side;
        QRectF frame;
    } cases[] = {
        {0, {500 - 120 - 12, 400 - 27, 120, 54}},
        {1, {500 - 52, 412, 104, 70}},
        {2, {512, 373, 120, 54}},
        {3, {448, 400 - 12 - 70, 104, 70}},
        {4, {368, 400 + 18 - 54, 120, 54}},
        {5, {368, 382, 120, 54}},
        {10, {500 - (104 - 18), 412, 104, 70}},
        {11, {482, 412, 104, 70}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(MAAttachedWindow::geometryFor(view, p, c.side, d, shape).frame, c.frame)
            << c.side;
    }
    const QRectF screen(0, 0, 1000, 800);
    // Room below: below. Near the bottom with room to the right: right. Room nowhere: below.
    EXPECT_EQ(MAAttachedWindow::bestSide(view, {500, 400}, d, shape, screen, screen), 1);
    EXPECT_EQ(MAAttachedWindow::bestSide(view, {500, 760}, d, shape, screen, screen), 2);
    // Closer still: centred would cross the bottom, so it extends upward.
    EXPECT_EQ(MAAttachedWindow::bestSide(view, {500, 780}, d, shape, screen, screen), 6);
    EXPECT_EQ(MAAttachedWindow::bestSide(QSizeF(980, 780), {500, 400}, d, shape, screen, screen),
              1);
    // Centred below would stick out of the attached window on the left: the rightward corner.
    EXPECT_EQ(
        MAAttachedWindow::bestSide(view, {510, 400}, d, shape, screen, QRectF(500, 0, 300, 800)),
        11);
    // ...unless that corner does not fit on the screen either.
    EXPECT_EQ(
        MAAttachedWindow::bestSide(view, {960, 400}, d, shape, screen, QRectF(950, 0, 40, 800)), 1);
}

TEST_F(calendaruiBigCalendarWindow, AttachedWindowKeepsItsShapeWithinLimits) {
    auto* content = new QWidget;
    content->resize(100, 60);
    MAAttachedWindow window(content, {400, 300}, nullptr, 1, 12, QRectF(0, 0, 1000, 800));
    window.setBorderWidth(5);
    EXPECT_EQ(window.shape().borderWidth, 2) << "never more than the margin";
    window.setCornerRadius(-4);
    EXPECT_EQ(window.shape().cornerRadius, 0);
    window.setCornerRadius(500);
    EXPECT_EQ(window.shape().cornerRadius, (2 * 2 + 60 - 20) * 0.5f);
    window.setViewMargin(-3);
    EXPECT_EQ(window.shape().viewMargin, 0);

    // Without the arrow the room stays reserved, but nothing is drawn there.
    MAAttachedWindow::Shape plain;
    plain.hasArrow = false;
    const auto g = MAAttachedWindow::geometryFor({100, 60}, {0, 0}, 1, 0, plain);
    EXPECT_EQ(g.frame.height(), 60 + 4 + 16);
    const QPainterPath outline =
        MAAttachedWindow::backgroundPath(g.frame.size(), g.viewFrame, 1, plain);
    EXPECT_FALSE(outline.contains(QPointF(52, 4)));
    MAAttachedWindow::Shape arrow;
    const QPainterPath withArrow =
        MAAttachedWindow::backgroundPath(g.frame.size(), g.viewFrame, 1, arrow);
    EXPECT_TRUE(withArrow.contains(QPointF(52, 6)));
}

}  // namespace
}  // namespace talvor
