// The build-tree program on a screen of its own: the mini calendar over a folder of
// calendars, opened from the date item with a day shown, as a picture of the screen.
#include "RunningTalvor.h"
#include "support/TestEnvironment.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>

namespace talvor {
namespace {

using test::RunningTalvor;

const QColor kWork(224, 0, 160);
const QColor kHome(0, 160, 224);

void write(const QString& path, const QByteArray& text) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

QByteArray event(const QString& uid, const QString& summary, const QString& start,
                 const QString& end, const QString& extra = QString()) {
    return QStringLiteral(
               "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nBEGIN:VEVENT\r\n"
               "UID:%1\r\nSUMMARY:%2\r\nDTSTART%3\r\nDTEND%4\r\n%5END:VEVENT\r\n"
               "END:VCALENDAR\r\n")
        .arg(uid, summary, start, end, extra)
        .toUtf8();
}

// Pixels of the picture inside `frame` within a small distance of `color`.
int pixelsNear(const QImage& picture, const QRect& frame, const QColor& color) {
    int count = 0;
    const QRect r = frame.intersected(picture.rect());
    for (int y = r.top(); y <= r.bottom(); ++y) {
        for (int x = r.left(); x <= r.right(); ++x) {
            const QColor c = picture.pixelColor(x, y);
            if (std::abs(c.red() - color.red()) + std::abs(c.green() - color.green()) +
                    std::abs(c.blue() - color.blue()) <
                40) {
                ++count;
            }
        }
    }
    return count;
}

QRect loggedFrame(const QString& log, const QString& what) {
    const QRegularExpression re(
        QStringLiteral("test %1 (-?\\d+) (-?\\d+) (\\d+) (\\d+)").arg(what));
    const QRegularExpressionMatch m = re.match(log);
    return m.hasMatch() ? QRect(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(),
                                m.captured(4).toInt())
                        : QRect();
}

TEST(appMiniCalendarScreen, HangsUnderTheDateItemWithDotsABandAndTheDayView) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty() ||
        qEnvironmentVariableIsEmpty("DISPLAY")) {
        GTEST_SKIP() << "needs an X display";
    }
    test::XdgSandbox sandbox;

    // Two calendars with events of this month: two on the 10th, a trip over the 12th-14th,
    // a weekly stand-up.
    const QDate today = QDate::currentDate();
    const QString ym = today.toString(QStringLiteral("yyyyMM"));
    const QString root = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                         QStringLiteral("/talvor/Calendars");
    write(root + "/work/displayname", "Work");
    write(root + "/work/color", kWork.name().toLatin1());
    write(root + "/home/displayname", "Home");
    write(root + "/home/color", kHome.name().toLatin1() + "FF");
    write(root + "/work/dentist.ics",
          event("dentist", "Dentist", ":" + ym + "10T090000", ":" + ym + "10T100000"));
    write(root + "/home/dinner.ics", event("dinner", "Dinner with Anna and the neighbours",
                                           ":" + ym + "10T190000", ":" + ym + "10T210000"));
    write(root + "/home/trip.ics", event("trip", "Trip to the coast", ";VALUE=DATE:" + ym + "12",
                                         ";VALUE=DATE:" + ym + "15"));
    write(root + "/work/standup.ics", event("standup", "Stand-up", ":" + ym + "01T093000",
                                            ":" + ym + "01T094500", "RRULE:FREQ=WEEKLY\r\n"));

    platform::PlistPreferenceStore store = test::settingsFile();
    store.setValue(QStringLiteral("CalendarStoreAccess"), QStringLiteral("authorized"));
    ASSERT_TRUE(store.synchronize());

    // In the sandbox: the test's whole and single runs go at once.
    const QString shot = sandbox.root() + QStringLiteral("/mini-calendar.png");
    RunningTalvor app(
        RunningTalvor::OnDisplayWithoutMoveOffer,
        test::DriverAction{QStringLiteral("mini-calendar"),
                           {QStringLiteral("--day=10"), QStringLiteral("--day-view-rows=2"),
                            QStringLiteral("--picture=") + shot}});
    ASSERT_TRUE(app.waitFor("test steps done", 60000)) << app.log();
    app.signal(SIGTERM);
    app.waitForExit();

    const QString log = QString::fromUtf8(app.output());
    const QRect item = loggedFrame(log, QStringLiteral("date item"));
    const QRect calendar = loggedFrame(log, QStringLiteral("mini calendar"));
    ASSERT_FALSE(item.isEmpty()) << app.log();
    ASSERT_FALSE(calendar.isEmpty()) << app.log();
    EXPECT_EQ(calendar.top(), item.bottom() + 1) << "hung under the date item";
    EXPECT_TRUE(calendar.left() == item.left() || calendar.right() == item.right())
        << "starts or ends at the item";
    EXPECT_TRUE(log.contains(QStringLiteral("test day view rows 2"))) << app.log();

    const QImage screen(shot);
    ASSERT_FALSE(screen.isNull()) << shot.toStdString();
    EXPECT_GT(pixelsNear(screen, calendar, kHome), 100) << "the trip's band and the dots";
    EXPECT_GT(pixelsNear(screen, calendar, kWork), 10) << "the work calendar's dots";
}

}  // namespace
}  // namespace talvor
