// The build-tree program on a small screen with no window manager: every window the time
// menu, the date item and the stopwatch's hot key open must show wholly on the screen and
// below the strip, where nothing else keeps it, and close with Escape.
#include "RunningTalvor.h"
#include "foundation/FoundationKeys.h"
#include "foundation/TalvorFilePaths.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <csignal>
#include <iostream>

namespace talvor {
namespace {

using test::RunningTalvor;

const QSize kScreen(800, 600);

// A virtual display of its own, so that the screen is small and no window manager runs.
// Xvfb picks a free display number itself: the test's whole and single runs start at once.
class OwnDisplay {
  public:
    OwnDisplay() {
        server_.start(QStringLiteral("Xvfb"),
                      {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                       QStringLiteral("0"),
                       QStringLiteral("%1x%2x24").arg(kScreen.width()).arg(kScreen.height()),
                       QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        QByteArray number;
        while (!number.endsWith('\n') && server_.waitForReadyRead(10000)) {
            number += server_.readAllStandardOutput();
        }
        if (!number.trimmed().isEmpty()) {
            name_ = QStringLiteral(":") + QString::fromLatin1(number.trimmed());
        }
    }
    ~OwnDisplay() {
        server_.terminate();
        server_.waitForFinished(5000);
    }
    bool ready() const { return server_.state() == QProcess::Running && !name_.isEmpty(); }
    const QString& name() const { return name_; }

  private:
    QString name_;
    QProcess server_;
};

// A location in the time menu and floating: its line has the sun window in its submenu.
QVariantList tokyo() {
    return {QString(),
            QStringLiteral("Tokyo"),
            QString(),
            QStringLiteral("Japan"),
            QStringLiteral("Asia/Tokyo"),
            QStringLiteral("9"),
            QString(),
            QString(),
            QString(),
            QString(),
            true,
            true};
}

TEST(appWindowsBelowTheStrip, EveryWindowOfTheTimeMenuShowsWhollyBelowTheStrip) {
    if (QStandardPaths::findExecutable(QStringLiteral("Xvfb")).isEmpty()) {
        GTEST_SKIP() << "needs Xvfb";
    }
    test::XdgSandbox sandbox;
    OwnDisplay display;
    ASSERT_TRUE(display.ready()) << display.name().toStdString();

    // Every optional entry of the time menu on, a world clock, the floating clocks allowed.
    platform::PlistPreferenceStore store = test::settingsFile();
    for (const QString& key :
         {keys::timeShowLocation, QStringLiteral("alarmShow"), QStringLiteral("take5Show"),
          QStringLiteral("countDownShow"), QStringLiteral("dateDiffCalcShow"),
          QStringLiteral("globalSchedulerShow"), QStringLiteral("lightDarkModeShow"),
          QStringLiteral("Floater")}) {
        store.setValue(key, 1);
    }
    // The welcome window of a first start has tests of its own.
    store.setValue(QStringLiteral("IsBoardingScreen"), 1);
    ASSERT_TRUE(store.synchronize());
    LocationTable table;
    table.append(QVariant(tokyo()));
    ASSERT_TRUE(TalvorFilePaths::TalvorSaveLocationTable(table));

    const QString shot = sandbox.root() + QStringLiteral("/windows-below-the-strip.png");
    const test::ScopedEnvVar onDisplay("DISPLAY", display.name());
    RunningTalvor app(RunningTalvor::OnDisplayWithoutMoveOffer,
                      test::DriverAction{QStringLiteral("time-menu-windows"),
                                         {QStringLiteral("--picture=") + shot}});
    ASSERT_TRUE(app.waitFor("test steps done", 60000)) << app.log();
    app.signal(SIGTERM);
    app.waitForExit();

    const QRegularExpression window(
        QStringLiteral("test window '([^']*)' (-?\\d+) (-?\\d+) (\\d+) (\\d+)"));
    const QString log = QString::fromUtf8(app.output());
    QRect strip;
    QMap<QString, QRect> shown;
    for (auto it = window.globalMatch(log); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QRect frame(m.captured(2).toInt(), m.captured(3).toInt(), m.captured(4).toInt(),
                          m.captured(5).toInt());
        if (m.captured(1) == QLatin1String("Talvor menu bar")) {
            strip = frame;
        } else {
            shown.insert(m.captured(1), frame);
            EXPECT_TRUE(QRect(QPoint(), kScreen).contains(frame))
                << m.captured(1).toStdString() << " off the screen at "
                << m.captured(0).toStdString();
        }
    }
    ASSERT_FALSE(strip.isEmpty()) << app.log();
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        EXPECT_GT(it.value().top(), strip.bottom())
            << it.key().toStdString() << " over the strip: " << it.value().y();
    }
    const QStringList titles = shown.keys();
    for (const QString& opened : {QStringLiteral("Sunset/Sunrise"), QStringLiteral("Stopwatch"),
                                  QStringLiteral("Talvor TimeFloat Window")}) {
        EXPECT_TRUE(titles.contains(opened))
            << opened.toStdString() << " not among " << titles.join(u',').toStdString();
    }
    EXPECT_GE(titles.size(), 3) << titles.join(u',').toStdString();
    EXPECT_FALSE(QImage(shot).isNull()) << "a picture of the screen at " << shot.toStdString();

    // Without a title bar Escape is the way to close a window: every one takes it.
    const QRegularExpression escaped(QStringLiteral("test escape '([^']*)' (closed|still open)"));
    int pressed = 0;
    for (auto it = escaped.globalMatch(log); it.hasNext(); ++pressed) {
        const QRegularExpressionMatch m = it.next();
        EXPECT_EQ(m.captured(2), QStringLiteral("closed"))
            << "Escape left '" << m.captured(1).toStdString() << "' open\n"
            << app.log();
    }
    EXPECT_GE(pressed, 3) << app.log();
    for (auto it = shown.cbegin(); it != shown.cend(); ++it) {
        const QRect& f = it.value();
        std::cout << it.key().toStdString() << ": " << f.x() << "," << f.y() << " " << f.width()
                  << "x" << f.height() << "\n";
    }
    std::cout << "strip bottom: " << strip.bottom() << "\n";
    std::cout << "windows: " << titles.join(u',').toStdString() << "\n";
}

}  // namespace
}  // namespace talvor
