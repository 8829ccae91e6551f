// The date menu's big calendar on a real X server (Xvfb): twelve months under a picture, and
// the moon of a day in its attached window, both seen in a screenshot of the screen.
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/DragView.h"
#include "calendarui/MAAttachedWindow.h"
#include "calendarui/ztCalendarController.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"

#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/ScreenPixels.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>

#include <gtest/gtest.h>

#include <iostream>

namespace talvor {
namespace {

class YellowMoon : public ztCalendarMenuExtra {
  public:
    QImage mooonImage(Date) override {
        QImage image(128, 128, QImage::Format_ARGB32);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(250, 230, 60));
        painter.drawEllipse(8, 8, 112, 112);
        return image;
    }
    QString addNextMoons(const std::optional<QString>&, Date) override {
        return QStringLiteral("Current Moon: Full Moon");
    }
    void showMenubarCalendarPrefs() override {}
};

TEST(calendaruiX11, TwelveMonthsWithAPictureAndTheMoonWindowAreOnTheScreen) {
    if (QGuiApplication::platformName() != QLatin1String("xcb")) {
        GTEST_SKIP() << "needs an X server (run under xvfb-run)";
    }
    if (QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty()) {
        GTEST_SKIP() << "import is missing (scripts/setup-deps installs it)";
    }
    test::XdgSandbox sandbox;
    test::FakeClock clock(
        Date::fromQDateTime(QDateTime(QDate(2026, 6, 10), QTime(12, 0), QTimeZone::utc())));
    platform::Clock::setShared(&clock);
    platform::MemoryPreferenceStore store(QStringLiteral("x11"));
    platform::UserDefaults defaults(store);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    test::FakeScreens screens({QRectF(screen)});
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 12;

    {
        ztCalendarController big(clock, defaults, screens);
        YellowMoon moon;
        big.setMenuExtra(&moon);
        QWidget* window = big.window();
        window->move(20, 20);
        window->show();
        big.showCalBGImg();  // our own picture above the months
        window->resize(4 * ztCalendarController::monthCell().width() + 20,
                       3 * ztCalendarController::monthCell().height() + 274 + 100);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        QTest::qWait(100);
        myCalSettings& settings = big.monthView()->calSettings();
        EXPECT_EQ(settings.cntH() * settings.cntV(), 12);
        EXPECT_FALSE(big.pictureWell()->isHidden());

        // The moon of 20 June, pointing at its day.
        myCalProView& view = *big.monthView();
        view.SetLastClick(QPointF(-1, -1));
        QPointF day;
        for (const auto& month : view.drawnMonths()) {
            for (const auto& d : month.days) {
                if (d.date == QDate(2026, 6, 20)) {
                    day = d.cell.center();
                }
            }
        }
        ASSERT_FALSE(day.isNull());
        big.toggleMoonWindow(QDate(2026, 6, 20), view.mapToGlobal(day));
        ASSERT_NE(big.attachedWindow(), nullptr);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(big.attachedWindow()));
        QWidget* moonView = big.attachedWindow()->view();
        const QRect moonRect(moonView->mapToGlobal(QPoint(0, 0)), moonView->size());

        const QString path =
            QDir::current().absoluteFilePath(QStringLiteral("big-calendar-x11-screen.png"));
        double calendarShare = 0;
        int yellow = 0;
        const bool seen = QTest::qWaitFor(
            [&] {
                const QImage calendarPixels = view.grab().toImage();
                QProcess::execute(QStringLiteral("import"),
                                  {QStringLiteral("-window"), QStringLiteral("root"), path});
                const QImage shot = QImage(path).convertToFormat(QImage::Format_RGB32);
                if (shot.isNull()) {
                    return false;
                }
                calendarShare =
                    test::pixelShare(shot, calendarPixels, view.mapToGlobal(QPoint(0, 0)));
                yellow = 0;
                for (int y = moonRect.top(); y <= moonRect.bottom(); ++y) {
                    for (int x = moonRect.left(); x <= moonRect.right(); ++x) {
                        const QRgb p = shot.pixel(x, y);
                        yellow += qRed(p) > 220 && qGreen(p) > 200 && qBlue(p) < 110 ? 1 : 0;
                    }
                }
                return calendarShare > 0.6 && yellow > 256 * 256 / 4;
            },
            10000);
        std::cout << "screenshot: " << path.toStdString() << "\n";
        EXPECT_TRUE(seen) << "calendar " << calendarShare << ", moon pixels " << yellow;
        big.closeAttachedWindow();
    }
    TalvorCalPrefsSettings::sharedInstance().ShowNoOfCalendar = 0;
    platform::Clock::setShared(nullptr);
}

}  // namespace
}  // namespace talvor
