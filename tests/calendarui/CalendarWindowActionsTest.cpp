// What the calendar panes ask of the date menu's calendar window: its picture, its fonts and
// printing.
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/CalendarWindow.h"
#include "calendarui/MonthGridView.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/SharedInstance.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/UserDefaults.h"
#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileDialog>
#include <QFontDialog>
#include <QPrinter>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace talvor {
namespace {

constexpr Date kNow = Date::fromUnix(1741102830);

class calendaruiWindowActions : public ::testing::Test {
  protected:
    calendaruiWindowActions() {
        watch = platform::DistributedNotificationCenter::defaultCenter().addObserver(
            QString(), QVariant(), [this](const platform::Notification& n) { posted << n.name; });
    }
    QStringList takePosted() {
        platform::DistributedNotificationCenter::defaultCenter().flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return std::exchange(posted, {});
    }
    QString writePicture(const QColor& colour) {
        QImage picture(40, 30, QImage::Format_RGB32);
        picture.fill(colour);
        const QString path = dir.filePath(QStringLiteral("picture.png"));
        EXPECT_TRUE(picture.save(path));
        return path;
    }
    QColor backgroundCentre(ztCalendarController& c) {
        c.showCalBGImg();
        QImage shot(c.window()->size(), QImage::Format_ARGB32);
        shot.fill(Qt::transparent);
        // The background only: the grid would cover the middle.
        c.window()->render(&shot, QPoint(), QRegion(0, 0, 6, 6), QWidget::DrawWindowBackground);
        return shot.pixelColor(3, 3);
    }

    test::ScopedMachineZone zone{"UTC", "en_US"};
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    test::FakeClock clock{kNow, QTimeZone::utc()};
    platform::MemoryPreferenceStore store{QStringLiteral("test")};
    platform::UserDefaults defaults{store};
    test::FakeScreens screens;
    TalvorCalPrefsSettings settings;
    SharedInstance<TalvorCalPrefsSettings>::Override useSettings{settings};
    QTemporaryDir dir;
    platform::Observation watch;
    QStringList posted;
};

TEST_F(calendaruiWindowActions, AddingShowsThePictureAndDeletingForgetsIt) {
    ztCalendarController calendar(clock, defaults, screens);
    const QColor plain = backgroundCentre(calendar);
    calendar.actAddPhoto();
    auto* chooser = qobject_cast<QFileDialog*>(calendar.openDialog());
    ASSERT_NE(chooser, nullptr);
    EXPECT_FALSE(chooser->isModal() && chooser->windowModality() == Qt::ApplicationModal);
    EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
    const QString path = writePicture(Qt::red);
    emit chooser->urlSelected(QUrl::fromLocalFile(path));
    chooser->close();
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("CalImgURL")),
              QUrl::fromLocalFile(path).toString());
    EXPECT_EQ(backgroundCentre(calendar), QColor(Qt::red));

    defaults.setObject(QSize(40, 30), QStringLiteral("CalImgSize"));
    calendar.actDeletePhoto();
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("CalImgURL")).isValid());
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("CalImgSize")).isValid());
    EXPECT_EQ(backgroundCentre(calendar), plain);
}

TEST_F(calendaruiWindowActions, AnUnreadablePictureLeavesThePlainBackground) {
    ztCalendarController calendar(clock, defaults, screens);
    const QColor plain = backgroundCentre(calendar);
    for (const QString& stored : {dir.filePath(QStringLiteral("missing.png")),
                                  QStringLiteral("file:///dev/null"), QStringLiteral("::")}) {
        SCOPED_TRACE(stored.toStdString());
        defaults.setObject(stored, QStringLiteral("CalImgURL"));
        EXPECT_EQ(backgroundCentre(calendar), plain);
    }
}

TEST_F(calendaruiWindowActions, EachFontButtonEditsItsOwnFontAndAnnouncesIt) {
    struct Case {
        void (ztCalendarController::*action)();
        QFont TalvorCalPrefsSettings::*font;
    };
    const Case cases[] = {
        {&ztCalendarController::actSetCalMonthFontSize,
         &TalvorCalPrefsSettings::CalendarWinMonthFontSize},
        {&ztCalendarController::actSetCalDayNumberFontSize,
         &TalvorCalPrefsSettings::CalendarWinDayFontSize},
        {&ztCalendarController::actSetCalWeekDayFontSize,
         &TalvorCalPrefsSettings::CalendarWinDayOfWeekFontSize},
    };
    settings.CalendarWinMonthFontSize.setPointSize(11);
    settings.CalendarWinDayFontSize.setPointSize(12);
    settings.CalendarWinDayOfWeekFontSize.setPointSize(13);
    ztCalendarController calendar(clock, defaults, screens);
    int size = 20;
    for (const Case& c : cases) {
        SCOPED_TRACE(size);
        const TalvorCalPrefsSettings before = settings;
        (calendar.*c.action)();
        auto* dialog = qobject_cast<QFontDialog*>(calendar.openDialog());
        ASSERT_NE(dialog, nullptr);
        // It opens on the font it edits.
        EXPECT_EQ(dialog->currentFont().pointSize(), (settings.*c.font).pointSize());
        takePosted();
        QFont chosen(QStringLiteral("DejaVu Serif"), ++size);
        emit dialog->fontSelected(chosen);
        dialog->close();
        EXPECT_EQ((settings.*c.font).pointSize(), size);
        for (QFont TalvorCalPrefsSettings::*other :
             {&TalvorCalPrefsSettings::CalendarWinMonthFontSize,
              &TalvorCalPrefsSettings::CalendarWinDayFontSize,
              &TalvorCalPrefsSettings::CalendarWinDayOfWeekFontSize}) {
            if (other != c.font) {
                EXPECT_EQ(settings.*other, before.*other);
            }
        }
        EXPECT_EQ(takePosted(), QStringList{"TalvorCalendarPrefsChangeNotification"});
        // Stored: a fresh model reads it.
        TalvorCalPrefsSettings reread;
        reread.loadPrefs();
        EXPECT_EQ((reread.*c.font).pointSize(), size);
    }
}

TEST_F(calendaruiWindowActions, PrintsThePanelIntoAPdfFile) {
    ztCalendarController calendar(clock, defaults, screens);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString path = dir.filePath(QStringLiteral("calendar.pdf"));
    printer.setOutputFileName(path);
    ASSERT_TRUE(calendar.printCal(printer));
    EXPECT_EQ(printer.docName(), QStringLiteral("Talvor Cal"));
    QFile pdf(path);
    ASSERT_TRUE(pdf.open(QIODevice::ReadOnly));
    const QByteArray bytes = pdf.readAll();
    EXPECT_TRUE(bytes.startsWith("%PDF-"));
    // A page with drawing on it, not an empty one.
    EXPECT_GT(bytes.size(), 4000);

    // The print command opens its dialog without running it.
    calendar.actPrintCal();
    ASSERT_NE(calendar.openDialog(), nullptr);
    calendar.openDialog()->close();
}

TEST_F(calendaruiWindowActions, ResettingShowsThePictureAsOnTheFirstDay) {
    ztCalendarController calendar(clock, defaults, screens);
    defaults.setBool(true, QStringLiteral("isBGImageShownBefore"));
    calendar.resetPreferences();
    ASSERT_TRUE(defaults.objectForKey(QStringLiteral("isBGImageShownBefore")).isValid());
    EXPECT_FALSE(defaults.boolForKey(QStringLiteral("isBGImageShownBefore")));
}

TEST_F(calendaruiWindowActions, ShowsTheNumberOfMonthsChosenInTheirOrder) {
    struct Case {
        int32_t chosen;
        int months;
        int columns;
    };
    // Today is in March 2025.
    const Case cases[] = {{6, 6, 3}, {12, 12, 4}, {1, 1, 1}, {6, 6, 3}};
    ztCalendarController calendar(clock, defaults, screens);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        settings.ShowNoOfCalendar = c.chosen;
        calendar.updateCalendarPrefs();
        const std::vector<MonthGridView*> views = calendar.monthViews();
        ASSERT_EQ(int(views.size()), c.months);
        EXPECT_EQ(calendar.monthLayout().width(), c.columns);
        EXPECT_EQ(views[0]->grid().title, QStringLiteral("March 2025"));
        EXPECT_EQ(views.back()->grid().title,
                  QDate(2025, 3, 1).addMonths(c.months - 1).toString(QStringLiteral("MMMM yyyy")));
    }
    // Paging the first month moves them all.
    emit calendar.monthViews()[0]->nextMonth();
    EXPECT_EQ(calendar.monthViews()[0]->grid().title, QStringLiteral("April 2025"));
    EXPECT_EQ(calendar.monthViews()[1]->grid().title, QStringLiteral("May 2025"));
    EXPECT_EQ(calendar.monthViews()[5]->grid().title, QStringLiteral("September 2025"));
    // As many as fit: at least one, never more than a year.
    settings.ShowNoOfCalendar = 0;
    calendar.updateCalendarPrefs();
    const size_t fit = calendar.monthViews().size();
    EXPECT_GE(fit, 1u);
    EXPECT_LE(fit, 12u);
}

}  // namespace
}  // namespace talvor
