// What the calendar panes ask of the date menu's calendar window: its picture, its fonts and
// printing.
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendarui/DragView.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/PreferenceDomain.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/PreferenceStore.h"
#include "platform/SharedInstance.h"
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
#include <QPainter>
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
    // The picture the window shows; none (invalid) when its picture well is empty or hidden.
    static QColor shownPicture(ztCalendarController& c) {
        c.showCalBGImg();
        const DragView& well = *c.pictureWell();
        if (well.isHidden() || well.image().isNull()) {
            return {};
        }
        const QImage& picture = well.image();
        return picture.pixelColor(picture.width() / 2, picture.height() / 2);
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
    calendar.actAddPhoto();
    auto* chooser = qobject_cast<QFileDialog*>(calendar.openDialog());
    ASSERT_NE(chooser, nullptr);
    EXPECT_FALSE(chooser->isModal() && chooser->windowModality() == Qt::ApplicationModal);
    EXPECT_EQ(chooser->fileMode(), QFileDialog::ExistingFile);
    const QString path = writePicture(Qt::red);
    chooser->selectFile(path);
    static_cast<QDialog*>(chooser)->accept();
    EXPECT_EQ(calendar.openDialog(), nullptr) << "answered";
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("CalImgURL")),
              QUrl::fromLocalFile(path).toString());
    EXPECT_EQ(shownPicture(calendar), QColor(Qt::red));
    EXPECT_EQ(calendar.storedPhoto().pixelColor(0, 0), QColor(Qt::red));

    // Only a picture file can be the picture: an address elsewhere changes nothing.
    EXPECT_FALSE(calendar.addPhoto(QUrl(QStringLiteral("https://example.org/p.png"))));
    EXPECT_EQ(defaults.stringForKey(QStringLiteral("CalImgURL")),
              QUrl::fromLocalFile(path).toString());
    EXPECT_EQ(shownPicture(calendar), QColor(Qt::red));

    defaults.setDouble(40, QStringLiteral("CalImgWidth"));
    defaults.setDouble(30, QStringLiteral("CalImgHeight"));
    calendar.actDeletePhoto();
    EXPECT_FALSE(defaults.objectForKey(QStringLiteral("CalImgURL")).isValid());
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("CalImgWidth")), 0.0);
    EXPECT_EQ(defaults.doubleForKey(QStringLiteral("CalImgHeight")), 0.0);
    EXPECT_FALSE(shownPicture(calendar).isValid());
    EXPECT_TRUE(calendar.storedPhoto().isNull());
}

TEST_F(calendaruiWindowActions, AnUnreadablePictureLeavesThePlainBackground) {
    ztCalendarController calendar(clock, defaults, screens);
    // The user's own picture, not the built-in one.
    defaults.setBool(true, QStringLiteral("ShowDefaultCalBGImg"));
    for (const QString& stored :
         {dir.filePath(QStringLiteral("missing.png")),
          QUrl::fromLocalFile(dir.filePath(QStringLiteral("missing.png"))).toString(),
          QStringLiteral("file:///dev/null"), QStringLiteral("::")}) {
        SCOPED_TRACE(stored.toStdString());
        // A picture shown before gives way too.
        defaults.setObject(QUrl::fromLocalFile(writePicture(Qt::red)).toString(),
                           QStringLiteral("CalImgURL"));
        ASSERT_EQ(shownPicture(calendar), QColor(Qt::red));
        defaults.setObject(stored, QStringLiteral("CalImgURL"));
        EXPECT_FALSE(shownPicture(calendar).isValid());
        EXPECT_TRUE(calendar.storedPhoto(QSize(40, 30)).isNull());
    }
}

TEST_F(calendaruiWindowActions, TheStoredPhotoIsDrawnAsTheSettingsScaleIt) {
    defaults.setObject(QUrl::fromLocalFile(writePicture(Qt::red)).toString(),
                       QStringLiteral("CalImgURL"));  // 40 x 30
    const struct {
        int scaling;  // "CalendarImageScaleing"
        QRect red;    // where the picture lies in 80 x 90
    } cases[] = {
        {0, {0, 15, 80, 60}},   // proportionally
        {1, {20, 30, 40, 30}},  // as it is
        {2, {0, 0, 80, 90}},    // each axis on its own
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scaling);
        settings.CalendarImageScaleing = c.scaling;
        ztCalendarController calendar(clock, defaults, screens);
        calendar.updateCalendarPrefs();
        const QImage drawn = calendar.storedPhoto(QSize(80, 90));
        ASSERT_EQ(drawn.size(), QSize(80, 90));
        // Just inside the picture's corners, and just outside its edges.
        for (const QPoint p :
             {c.red.topLeft() + QPoint(1, 1), c.red.bottomRight() - QPoint(1, 1), c.red.center()}) {
            EXPECT_EQ(drawn.pixelColor(p), QColor(Qt::red)) << p.x() << "," << p.y();
        }
        for (const QPoint p : {c.red.topLeft() - QPoint(0, 1), c.red.bottomRight() + QPoint(0, 1),
                               c.red.topLeft() - QPoint(1, 0)}) {
            if (QRect(0, 0, 80, 90).contains(p)) {
                EXPECT_EQ(qAlpha(drawn.pixel(p)), 0) << p.x() << "," << p.y();
            }
        }
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

// The months the view draws, in the order of their places (top row first).
QList<QDate> drawnMonths(ztCalendarController& calendar) {
    myCalProView& view = *calendar.monthView();
    QImage scratch(view.size().expandedTo(QSize(400, 300)), QImage::Format_ARGB32);
    QPainter painter(&scratch);
    view.drawMonths(painter, QRectF(scratch.rect()), true);
    painter.end();
    QList<myCalProView::DrawnMonth> months = view.drawnMonths();
    std::stable_sort(months.begin(), months.end(), [](const auto& a, const auto& b) {
        return std::pair(a.rect.top(), a.rect.left()) < std::pair(b.rect.top(), b.rect.left());
    });
    QList<QDate> firsts;
    for (const auto& m : months) {
        firsts << m.first;
    }
    return firsts;
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
        const QList<QDate> months = calendar.shownMonths();
        ASSERT_EQ(int(months.size()), c.months);
        EXPECT_EQ(calendar.monthLayout().width(), c.columns);
        EXPECT_EQ(months.front(), QDate(2025, 3, 1));
        EXPECT_EQ(months.back(), QDate(2025, 3, 1).addMonths(c.months - 1));
        EXPECT_EQ(drawnMonths(calendar), months) << "drawn as listed";
        // The window is made to hold them.
        EXPECT_GE(calendar.window()->width(),
                  c.columns * ztCalendarController::monthCell().width());
        EXPECT_GE(calendar.window()->height(),
                  c.months / c.columns * ztCalendarController::monthCell().height());
    }
    // Paging the first month moves them all.
    calendar.nextMonth();
    const QList<QDate> paged = calendar.shownMonths();
    EXPECT_EQ(paged[0], QDate(2025, 4, 1));
    EXPECT_EQ(paged[1], QDate(2025, 5, 1));
    EXPECT_EQ(paged[5], QDate(2025, 9, 1));
    EXPECT_EQ(drawnMonths(calendar), paged);
    // As many as fit: at least one, never more than a year.
    settings.ShowNoOfCalendar = 0;
    calendar.updateCalendarPrefs();
    const qsizetype fit = calendar.shownMonths().size();
    EXPECT_GE(fit, 1);
    EXPECT_LE(fit, 12);
    EXPECT_EQ(drawnMonths(calendar).size(), fit);
}

}  // namespace
}  // namespace talvor
