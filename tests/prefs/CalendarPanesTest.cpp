// The calendar panes: the calendar window's pane, the mini calendar's pane and the to-do pane.
#include "calendar/AppleCal.h"
#include "calendar/CalendarBackEnd.h"
#include "calendar/TalvorCalPrefsSettings.h"
#include "calendar/VdirCalendarStore.h"
#include "calendarui/ColorPickerController.h"
#include "calendarui/ThemeWinController.h"
#include "calendarui/myCalProView.h"
#include "calendarui/ztCalendarController.h"
#include "foundation/ColorExtras.h"
#include "foundation/PreferenceDomain.h"
#include "foundation/TalvorDateSettings.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/NotificationCenter.h"
#include "platform/SharedInstance.h"
#include "platform/UserDefaults.h"
#include "prefs/MenuCalendarPrefs.h"
#include "prefs/TCalendarPrefs.h"
#include "prefs/TalvorCalendarPrefs.h"
#include "prefs/TalvorTodoViewController.h"
#include "services/AppStartup.h"
#include "services/HotKeyField.h"
#include "services/HotKeyKeys.h"
#include "services/HotKeyManager.h"
#include "services/TalvorHotKeys.h"
#include "support/FakeClock.h"
#include "support/FakeHotKeyBackend.h"
#include "support/FakeScreens.h"
#include "support/ScopedMachineZone.h"
#include "support/ScopedPreferences.h"
#include "support/TestEnvironment.h"

#include <QAbstractButton>
#include <QColorDialog>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QUrl>

#include <gtest/gtest.h>

namespace talvor {
namespace {

class CalendarPanes : public ::testing::Test {
  protected:
    CalendarPanes() : defaults(domain.store()) {
        platform::UserDefaults::setStandard(&defaults);
        platform::Clock::setShared(&clock);
        watch = center.addObserver(QString(), QVariant(),
                                   [this](const platform::Notification& n) { posted << n.name; });
    }
    ~CalendarPanes() override {
        platform::Clock::setShared(nullptr);
        platform::UserDefaults::setStandard(nullptr);
    }
    PaneDelegate delegate() {
        PaneDelegate d;
        d.updateMenuBarItems = [this] { calls << QStringLiteral("updateMenuBarItems"); };
        d.distributedCenter = &center;
        return d;
    }
    QStringList takePosted() {
        center.flush();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return std::exchange(posted, {});
    }
    QVariantMap stored() const { return domain.store().dictionaryRepresentation(); }
    template <class W>
    static W* child(PreferencePane& pane, const QString& name) {
        W* w = pane.view()->findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name.toStdString();
        return w;
    }

    // US weeks start on Sunday.
    test::ScopedMachineZone machine{"UTC", "en_US"};
    test::XdgSandbox sandbox;
    test::ScopedEnvVar noBus{"DBUS_SESSION_BUS_ADDRESS", QStringLiteral("disabled:")};
    test::ScopedMemoryDomain domain{appTalvor4Prefs};
    platform::UserDefaults defaults;
    test::FakeClock clock{Date::fromUnix(1781000000), QTimeZone::utc()};
    TalvorCalPrefsSettings calSettings;
    SharedInstance<TalvorCalPrefsSettings>::Override useCal{calSettings};
    TalvorDateSettings dateSettings;
    SharedInstance<TalvorDateSettings>::Override useDate{dateSettings};
    platform::DistributedNotificationCenter center;
    platform::Observation watch;
    QStringList posted;
    QStringList calls;
};

// --- the calendar window's pane ---

using prefsCalendarWindowPane = CalendarPanes;

const QString kChanged = QStringLiteral("TalvorCalendarPrefsChangeNotification");

TEST_F(prefsCalendarWindowPane, EachControlWritesItsSettingAndAnnouncesIt) {
    struct Case {
        const char* control;
        int value;  // the item index or radio tag chosen
        const char* key;
        QVariant stored;
    };
    const Case cases[] = {
        {"months6", 6, "NoOfCalendarToShow", 6},
        {"months12", 12, "NoOfCalendarToShow", 12},
        {"monthsUnlimited", 0, "NoOfCalendarToShow", 0},
        {"months1", 1, "NoOfCalendarToShow", 1},
        {"CalendarWinType", 0, "CalendarWinType", 0},
        {"CalendarWinLayer", 0, "CalendarWinLayer", 0},
        {"CalendarDoubleClickApp", 1, "CalendarDoubleClickApp", 1},
        {"CalendarImageScaleing", 1, "CalendarImageScaleing", 1},
        {"CalDayNoLocation", 2, "CalDayNoLoction", 2},
        {"longMonthName", 1, "CalendarShortLongMonth", 1},
        {"shortMonthName", 0, "CalendarShortLongMonth", 0},
        {"CalendarType", 2, "CalendarType", QStringLiteral("hebrew")},
        {"CalendarType", 4, "CalendarType", QStringLiteral("islamic-civil")},
        {"CalendarType", 0, "CalendarType", QStringLiteral("gregorian")},
    };
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    takePosted();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        QWidget* control = pane.control(QString::fromLatin1(c.control));
        ASSERT_NE(control, nullptr);
        if (auto* menu = qobject_cast<QComboBox*>(control)) {
            menu->setCurrentIndex(c.value);
            emit menu->activated(c.value);
        } else {
            qobject_cast<QAbstractButton*>(control)->click();
        }
        EXPECT_EQ(stored().value(QString::fromLatin1(c.key)), c.stored);
        EXPECT_EQ(takePosted(), QStringList{kChanged});
    }
    EXPECT_TRUE(calls.isEmpty());
}

TEST_F(prefsCalendarWindowPane, ColourWellsWriteTheirOwnColour) {
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    const char* wells[] = {"CalendarWinBGolor",    "CalendarWinBordarGolor",
                           "CalendarWinRowGolor",  "CalendarWinFrameGolor",
                           "CalendarWinDayGolor",  "CalendarWinDayOfWeekGolor",
                           "CalendarWinMonthColor"};
    int shade = 10;
    for (const char* id : wells) {
        SCOPED_TRACE(id);
        takePosted();
        auto* well = child<QPushButton>(pane, QString::fromLatin1(id));
        well->setEnabled(true);
        well->click();
        auto* panel = pane.view()->findChild<QColorDialog*>();
        ASSERT_NE(panel, nullptr);
        const QColor colour(shade, 200, 30);
        panel->setCurrentColor(colour);
        panel->close();
        delete panel;
        EXPECT_EQ(well->property("colour").value<QColor>(), colour);
        TalvorCalPrefsSettings reread;
        reread.loadPrefs();
        for (const auto& [field, other] :
             std::vector<std::pair<QColor TalvorCalPrefsSettings::*, const char*>>{
                 {&TalvorCalPrefsSettings::CalendarWinBGolor, "CalendarWinBGolor"},
                 {&TalvorCalPrefsSettings::CalendarWinMonthColor, "CalendarWinMonthColor"}}) {
            if (QLatin1String(other) == QLatin1String(id)) {
                EXPECT_EQ((reread.*field).rgb(), colour.rgb());
            }
        }
        EXPECT_EQ(takePosted(), QStringList{kChanged});
        shade += 20;
    }
}

TEST_F(prefsCalendarWindowPane, LoadingShowsTheSettingsAndWritesNothing) {
    struct Case {
        int months;
        const char* radio;
        int winType;
        int typeItem;
        QString calendar;
        int calendarItem;
    };
    const Case cases[] = {
        {1, "months1", 0, 0, QStringLiteral("buddhist"), 1},
        {12, "months12", 1, 1, QStringLiteral("japanese"), 5},
        // The stored default window kind is a style word: it is the movable window.
        {7, "monthsUnlimited", 8223, 1, QStringLiteral("coptic"), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.radio);
        calSettings.ShowNoOfCalendar = c.months;
        calSettings.CalendarWinType = c.winType;
        calSettings.CalendarType = c.calendar;
        calSettings.ShortLongMonthName = 1;
        dateSettings.showDateMenu = true;
        const QVariantMap before = stored();
        TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
        pane.view();
        EXPECT_TRUE(child<QAbstractButton>(pane, QString::fromLatin1(c.radio))->isChecked());
        EXPECT_EQ(child<QComboBox>(pane, QStringLiteral("CalendarWinType"))->currentIndex(),
                  c.typeItem);
        EXPECT_EQ(child<QPushButton>(pane, QStringLiteral("CalendarWinBGolor"))->isEnabled(),
                  c.winType != 0);
        EXPECT_EQ(child<QComboBox>(pane, QStringLiteral("CalendarType"))->currentIndex(),
                  c.calendarItem);
        EXPECT_TRUE(child<QAbstractButton>(pane, QStringLiteral("longMonthName"))->isChecked());
        EXPECT_TRUE(child<QAbstractButton>(pane, QStringLiteral("showBigCalendar"))->isChecked());
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(takePosted().isEmpty());
    }
}

// The theme editor, which makes the month pictures, opens beside the colours it goes with.
TEST_F(prefsCalendarWindowPane, TheThemesButtonOpensTheThemeEditor) {
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    QWidget* editor = ThemeWinController::sharedInstance().window();
    ASSERT_NE(editor, nullptr);
    editor->hide();
    auto* button = child<QAbstractButton>(pane, QStringLiteral("themesButton"));
    EXPECT_EQ(button->text(), "Themes...");
    button->click();
    EXPECT_TRUE(editor->isVisible());
    editor->hide();
}

TEST_F(prefsCalendarWindowPane, HidingTheBigCalendarIsWrittenAtOnce) {
    dateSettings.showDateMenu = true;
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    child<QAbstractButton>(pane, QStringLiteral("showBigCalendar"))->click();
    EXPECT_EQ(calls, QStringList{"updateMenuBarItems"});
    TalvorDateSettings reread;
    reread.showDateMenu = true;
    reread.loadPrefs();
    EXPECT_FALSE(reread.showDateMenu);
}

TEST_F(prefsCalendarWindowPane, ButtonsHandOverToTheCalendarWindow) {
    QStringList asked;
    TalvorCalendarPrefs::WindowHooks hooks;
    hooks.actAddPhoto = [&] { asked << "actAddPhoto"; };
    hooks.actDeletePhoto = [&] { asked << "actDeletePhoto"; };
    hooks.actSetCalMonthFontSize = [&] { asked << "actSetCalMonthFontSize"; };
    hooks.actSetCalDayNumberFontSize = [&] { asked << "actSetCalDayNumberFontSize"; };
    hooks.actSetCalWeekDayFontSize = [&] { asked << "actSetCalWeekDayFontSize"; };
    hooks.actPrintCal = [&] { asked << "actPrintCal"; };
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate(), hooks);
    const std::pair<const char*, const char*> cases[] = {
        {"monthFont", "actSetCalMonthFontSize"},
        {"dayNumberFont", "actSetCalDayNumberFontSize"},
        {"weekDayFont", "actSetCalWeekDayFontSize"},
        {"printCal", "actPrintCal"},
        {"addPhoto", "actAddPhoto"},
    };
    for (const auto& [button, hook] : cases) {
        asked.clear();
        child<QPushButton>(pane, QString::fromLatin1(button))->click();
        EXPECT_EQ(asked, QStringList{QString::fromLatin1(hook)}) << button;
    }
    EXPECT_TRUE(pane.deletePhotoButton()->isVisibleTo(pane.view()));
}

TEST_F(prefsCalendarWindowPane, DeletingThePictureAsksFirst) {
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "Yes" : "No");
        defaults.setObject(QStringLiteral("file:///tmp/p.png"), QStringLiteral("CalImgURL"));
        int deleted = 0;
        TalvorCalendarPrefs::WindowHooks hooks;
        hooks.actDeletePhoto = [&] { ++deleted; };
        TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate(), hooks);
        pane.view();
        QPushButton* button = pane.deletePhotoButton();
        ASSERT_NE(button, nullptr);
        ASSERT_TRUE(button->isVisibleTo(pane.view()));
        button->click();
        auto* alert = pane.view()->findChild<QMessageBox*>(QStringLiteral("deletePhotoAlert"));
        ASSERT_NE(alert, nullptr);
        EXPECT_EQ(alert->text(), QStringLiteral("Delete Photo?"));
        EXPECT_EQ(alert->informativeText(), QStringLiteral("Are you sure to delete photo?"));
        const QList<QAbstractButton*> buttons = alert->buttons();
        ASSERT_EQ(buttons.size(), 2);
        EXPECT_EQ(deleted, 0);
        for (QAbstractButton* b : buttons) {
            if (b->text() == (yes ? QStringLiteral("Yes") : QStringLiteral("No"))) {
                b->click();
            }
        }
        EXPECT_EQ(deleted, yes ? 1 : 0);
        EXPECT_EQ(button->isVisibleTo(pane.view()), !yes);
    }
}

// The months the pane's radios choose are the months the calendar window shows, once the
// change notice reaches it.
TEST_F(prefsCalendarWindowPane, TheMonthCountDrivesTheCalendarWindow) {
    test::FakeScreens screens;
    ztCalendarController calendar(clock, defaults, screens);
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    const struct {
        const char* radio;
        int months;
    } cases[] = {{"months6", 6},
                 {"months1", 1},
                 {"months12", 12},
                 // As many as the window holds: it was made for twelve.
                 {"monthsUnlimited", 12}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.radio);
        child<QAbstractButton>(pane, QString::fromLatin1(c.radio))->click();
        ASSERT_EQ(takePosted(), QStringList{kChanged});
        calendar.updateCalendarPrefs();
        EXPECT_EQ(calendar.shownMonths().size(), c.months);
        const QSize layout = calendar.monthLayout();
        EXPECT_EQ(layout.width() * layout.height(), c.months);
    }
}

// The menu-calendar pane hosts this one: choosing the big calendar shows one month.
TEST_F(prefsCalendarWindowPane, TheBigCalendarChoiceHostsItWithOneMonth) {
    calSettings.ShowNoOfCalendar = 12;
    defaults.setInteger(12, QStringLiteral("NoOfCalendarToShow"));
    MenuCalendarPrefs menu(QStringLiteral("Nib"), delegate());
    menu.view();
    menu.btnPressed_radioBigCal();
    auto* hosted = dynamic_cast<TalvorCalendarPrefs*>(menu.bigPane());
    ASSERT_NE(hosted, nullptr);
    EXPECT_EQ(stored().value(QStringLiteral("NoOfCalendarToShow")), 1);
    // The hosted pane and the calendar window read the one model the choice wrote.
    EXPECT_TRUE(child<QAbstractButton>(*hosted, QStringLiteral("months1"))->isChecked());
    EXPECT_FALSE(child<QAbstractButton>(*hosted, QStringLiteral("months12"))->isChecked());
    EXPECT_EQ(takePosted(), QStringList{kChanged});
    test::FakeScreens screens;
    ztCalendarController calendar(clock, defaults, screens);
    calendar.updateCalendarPrefs();
    EXPECT_EQ(calendar.shownMonths().size(), 1);
    // A later change in the hosted pane saves the model whole, the one month included.
    child<QComboBox>(*hosted, QStringLiteral("CalendarWinLayer"))->setCurrentIndex(0);
    EXPECT_EQ(stored().value(QStringLiteral("NoOfCalendarToShow")), 1);
}

// The month grids' picture, special days and birthdays are set in the pane and reach the
// calendar window with the change notice; a window made later (the next start) reads them.
TEST_F(prefsCalendarWindowPane, MonthGridDataIsSetHereAndReachesTheCalendarWindow) {
    const QString data = sandbox.root() + QStringLiteral("/data/talvor");
    auto write = [](const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(data + "/Holidays/SpecialDays.txt", "# days\nxx0614 Flag day\n");
    write(data + "/Contacts/ada.vcf",
          "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Lovelace;Ada;;;\r\nFN:Ada Lovelace\r\n"
          "BDAY:1815-06-10\r\nEND:VCARD\r\n");
    const QString ics = sandbox.root() + QStringLiteral("/days.ics");
    write(ics,
          "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nBEGIN:VEVENT\r\nUID:1\r\nDTSTART;VALUE=DATE:"
          "20260622\r\nSUMMARY:Midsummer party\r\nDESCRIPTION:In the garden\r\nEND:VEVENT\r\n"
          "END:VCALENDAR\r\n");
    const QString picture = sandbox.root() + QStringLiteral("/behind.png");
    {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(QColor(30, 90, 200));
        ASSERT_TRUE(image.save(picture));
    }

    test::FakeScreens screens;
    ztCalendarController calendar(clock, defaults, screens);
    const myCalSettings& grid = calendar.monthView()->calSettings();
    EXPECT_FALSE(grid.hasSpecialDays());
    EXPECT_EQ(grid.showAddressBDays(), 0);

    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    takePosted();
    // A field is written when it is left, once its text changed.
    auto enter = [&](const char* id, const QString& text) {
        auto* field = child<QLineEdit>(pane, QString::fromLatin1(id));
        field->setText(text);
        emit field->editingFinished();
        EXPECT_EQ(takePosted(), QStringList{kChanged}) << id;
        calendar.updateCalendarPrefs();
    };

    child<QAbstractButton>(pane, QStringLiteral("bSpecialDays"))->click();
    EXPECT_EQ(stored().value(QStringLiteral("bSpecialDays")), true);
    EXPECT_EQ(takePosted(), QStringList{kChanged});
    calendar.updateCalendarPrefs();
    EXPECT_EQ(grid.specialDayText(QDate(2026, 6, 14)), QStringLiteral("Flag day"));

    enter("CalSpecialDaysPath", ics);
    EXPECT_EQ(stored().value(QStringLiteral("CalSpecialDaysPath")), ics);
    EXPECT_EQ(grid.specialDayText(QDate(2026, 6, 22)),
              QStringLiteral("Midsummer party\nIn the garden"));
    EXPECT_EQ(grid.specialDayText(QDate(2026, 6, 14)), std::nullopt) << "the calendar replaces";
    enter("CalSpecialDaysPath", QString());
    EXPECT_EQ(grid.specialDayText(QDate(2026, 6, 14)), QStringLiteral("Flag day"));
    EXPECT_EQ(grid.specialDayText(QDate(2026, 6, 22)), std::nullopt);

    auto* birthdays = child<QComboBox>(pane, QStringLiteral("showAddressBDays"));
    birthdays->setCurrentIndex(2);
    emit birthdays->activated(2);
    EXPECT_EQ(stored().value(QStringLiteral("showAddressBDays")), 2);
    EXPECT_EQ(takePosted(), QStringList{kChanged});
    calendar.updateCalendarPrefs();
    EXPECT_EQ(grid.showAddressBDays(), 2);

    enter("CalBGImagePath", picture);
    EXPECT_EQ(stored().value(QStringLiteral("CalBGImagePath")), picture);
    EXPECT_FALSE(grid.bgImage().isNull());

    // Leaving a field unchanged writes and announces nothing.
    auto* field = child<QLineEdit>(pane, QStringLiteral("CalBGImagePath"));
    emit field->editingFinished();
    EXPECT_TRUE(takePosted().isEmpty());

    // What the month grid shows: the day's mark and the birthday in its tool tip.
    auto tipOf = [](myCalProView& view, const QDate& day) -> std::optional<QString> {
        view.resize(ztCalendarController::monthCell() * 2);
        QImage canvas(view.size(), QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&canvas);
        view.drawMonths(painter, view.rect(), false);
        for (const auto& month : view.drawnMonths()) {
            for (const auto& drawn : month.days) {
                if (drawn.date == day) {
                    return view.toolTipAt(drawn.cell.center());
                }
            }
        }
        return std::nullopt;
    };
    calendar.monthView()->SetoCurDate(QDate(2026, 6, 1));
    EXPECT_EQ(tipOf(*calendar.monthView(), QDate(2026, 6, 10)),
              QStringLiteral("Birthday(s):\rAda Lovelace \r"));
    EXPECT_EQ(tipOf(*calendar.monthView(), QDate(2026, 6, 14)), QStringLiteral("Flag day"));

    // The next start: a new window and a new pane show what was stored.
    ztCalendarController next(clock, defaults, screens);
    const myCalSettings& again = next.monthView()->calSettings();
    EXPECT_EQ(again.sImagePath(), QFileInfo(picture).canonicalFilePath());
    EXPECT_FALSE(again.bgImage().isNull());
    EXPECT_EQ(again.specialDayText(QDate(2026, 6, 14)), QStringLiteral("Flag day"));
    EXPECT_EQ(again.showAddressBDays(), 2);
    const QVariantMap before = stored();
    TalvorCalendarPrefs reopened(QStringLiteral("Nib"), delegate());
    reopened.view();
    EXPECT_EQ(child<QLineEdit>(reopened, QStringLiteral("CalBGImagePath"))->text(), picture);
    EXPECT_TRUE(child<QLineEdit>(reopened, QStringLiteral("CalSpecialDaysPath"))->text().isEmpty());
    EXPECT_TRUE(child<QAbstractButton>(reopened, QStringLiteral("bSpecialDays"))->isChecked());
    EXPECT_EQ(child<QComboBox>(reopened, QStringLiteral("showAddressBDays"))->currentIndex(), 2);
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(takePosted().isEmpty());

    // Emptied, the picture goes.
    enter("CalBGImagePath", QString());
    EXPECT_TRUE(grid.bgImage().isNull());
    EXPECT_TRUE(grid.sImagePath().isEmpty());
}

// The pane's preview month follows each choice at once: the picture behind it and the
// special days of the file the user switched on.
TEST_F(prefsCalendarWindowPane, ThePreviewShowsThePictureAndDaysAsTheyAreChosen) {
    const QString days = sandbox.root() + QStringLiteral("/data/talvor/Holidays/SpecialDays.txt");
    QDir().mkpath(QFileInfo(days).path());
    {
        QFile f(days);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("xx0614 Flag day\n");
    }
    const QString picture = sandbox.root() + QStringLiteral("/behind.png");
    {
        QImage image(64, 48, QImage::Format_RGB32);
        image.fill(QColor(30, 90, 200));
        ASSERT_TRUE(image.save(picture));
    }
    // The weeks start as in the calendar windows: here on the chosen Monday.
    defaults.setInteger(2, QStringLiteral("FirstDayOfWeek"));
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    myCalView* preview = pane.preview();
    ASSERT_NE(preview, nullptr);
    EXPECT_EQ(preview->oCurDate().month(), 6);
    test::FakeScreens screens;
    ztCalendarController calendar(clock, defaults, screens);
    EXPECT_EQ(preview->calSettings().firstDay(), calendar.monthView()->calSettings().firstDay());
    EXPECT_EQ(preview->calSettings().firstDay(), 1);
    EXPECT_TRUE(preview->calSettings().bgImage().isNull());
    EXPECT_EQ(preview->calSettings().specialDayText(QDate(2026, 6, 14)), std::nullopt);

    child<QAbstractButton>(pane, QStringLiteral("bSpecialDays"))->click();
    EXPECT_EQ(preview->calSettings().specialDayText(QDate(2026, 6, 14)),
              QStringLiteral("Flag day"));
    auto* field = child<QLineEdit>(pane, QStringLiteral("CalBGImagePath"));
    field->setText(picture);
    emit field->editingFinished();
    EXPECT_FALSE(preview->calSettings().bgImage().isNull());
    // Drawn: the picture's own blue (not the weekend numbers' pure blue) fills the month.
    const auto pictureShown = [&] {
        const QImage shown = preview->grab().toImage();
        int near = 0;
        for (int y = 0; y < shown.height(); y += 2) {
            for (int x = 0; x < shown.width(); x += 2) {
                const QColor c = shown.pixelColor(x, y);
                near += std::abs(c.red() - 30) < 30 && std::abs(c.green() - 90) < 30 &&
                        std::abs(c.blue() - 200) < 30;
            }
        }
        return near > shown.width() * shown.height() / 16;
    };
    EXPECT_TRUE(pictureShown());

    field->setText(QString());
    emit field->editingFinished();
    EXPECT_TRUE(preview->calSettings().bgImage().isNull());
    EXPECT_FALSE(pictureShown());

    // A picture dropped on the preview becomes the choice, in the field and announced.
    takePosted();
    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(picture)});
    EXPECT_TRUE(preview->performDragOperation(dropped));
    EXPECT_EQ(stored().value(QStringLiteral("CalBGImagePath")), picture);
    EXPECT_EQ(field->text(), picture);
    EXPECT_EQ(takePosted(), QStringList{kChanged});
    EXPECT_TRUE(pictureShown());
}

// The choosers open without blocking; a chosen file or folder is written like a typed one.
TEST_F(prefsCalendarWindowPane, MonthGridChoosersWriteTheirChoice) {
    TalvorCalendarPrefs pane(QStringLiteral("Nib"), delegate());
    pane.view();
    takePosted();
    const struct {
        const char* button;
        const char* dialog;
        const char* key;
    } cases[] = {
        {"chooseCalBGImageFile", "chooseCalBGImageFileDialog", "CalBGImagePath"},
        {"chooseCalBGImageFolder", "chooseCalBGImageFolderDialog", "CalBGImagePath"},
        {"chooseSpecialDaysCalendar", "chooseSpecialDaysCalendarDialog", "CalSpecialDaysPath"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.button);
        child<QPushButton>(pane, QString::fromLatin1(c.button))->click();
        auto* dialog = pane.view()->findChild<QFileDialog*>(QString::fromLatin1(c.dialog));
        ASSERT_NE(dialog, nullptr);
        EXPECT_TRUE(dialog->isVisible());
        const QString chosen = sandbox.root() + QLatin1Char('/') + QLatin1String(c.dialog);
        emit dialog->fileSelected(chosen);
        dialog->close();
        EXPECT_EQ(stored().value(QString::fromLatin1(c.key)), chosen);
        EXPECT_EQ(child<QLineEdit>(pane, QString::fromLatin1(c.key))->text(), chosen);
        EXPECT_EQ(takePosted(), QStringList{kChanged});
    }
}

// --- the mini calendar's pane ---

// The mini calendar's pane with the local notices it sends, a hot-key manager of its own and
// the highlight picker standing by.
class prefsMiniCalendarPane : public CalendarPanes {
  protected:
    prefsMiniCalendarPane() {
        HotKeyManager::setSharedManager(&hotKeys);
        ColorPickerController::setController(&picker);
        local = platform::NotificationCenter::defaultCenter().addObserver(
            QString(), QVariant(), [this](const platform::Notification& n) {
                if (n.name == QLatin1String("PrefsChanged") ||
                    n.name == QLatin1String("loadCalendarEvents")) {
                    notices << n.name;
                    infos << n.userInfo;
                }
            });
    }
    ~prefsMiniCalendarPane() override {
        if (picker.window()) {
            picker.window()->close();
        }
        ColorPickerController::setController(nullptr);
        HotKeyManager::setSharedManager(nullptr);
        CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, nullptr);
        CalSource::resetRegistryForTesting();
    }
    std::unique_ptr<TCalendarPrefs> make() {
        auto pane = std::make_unique<TCalendarPrefs>(QStringLiteral("Nib"), delegate());
        pane->view();
        notices.clear();
        infos.clear();
        return pane;
    }
    static void choose(TCalendarPrefs& pane, const char* id, int index) {
        auto* menu = qobject_cast<QComboBox*>(pane.control(QString::fromLatin1(id)));
        ASSERT_NE(menu, nullptr) << id;
        menu->setCurrentIndex(index);
        emit menu->activated(index);
    }
    static QStringList items(TCalendarPrefs& pane, const char* id) {
        QStringList out;
        auto* menu = qobject_cast<QComboBox*>(pane.control(QString::fromLatin1(id)));
        for (int i = 0; i < menu->count(); ++i) {
            out << QStringLiteral("%1:%2").arg(menu->itemText(i)).arg(menu->itemData(i).toInt());
        }
        return out;
    }
    QVariant value(const char* key) const {
        return defaults.objectForKey(QString::fromLatin1(key));
    }

    test::FakeHotKeyBackend backend;
    HotKeyManager hotKeys{&backend, &clock, &defaults};
    ColorPickerController picker;
    platform::Observation local;
    QStringList notices;
    QList<QVariantMap> infos;
};

TEST_F(prefsMiniCalendarPane, EachPopUpWritesItsKeysAndAnnouncesTheChange) {
    struct Case {
        const char* control;
        int index;
        std::vector<std::pair<const char*, QVariant>> stored;
    };
    const Case cases[] = {
        {"numMonthsPopup", 5, {{"TtNumRows", 4}, {"TtNumCols", 3}}},
        {"numMonthsPopup", 2, {{"TtNumRows", 1}, {"TtNumCols", 2}}},
        {"numMonthsPopup", 3, {{"TtNumRows", 3}, {"TtNumCols", 1}}},
        {"sizePopup", 0, {{"NumberFontSize", 8}, {"TitleFontSize", 9}, {"TextFontSize", 9}}},
        {"sizePopup", 2, {{"NumberFontSize", 13}, {"TitleFontSize", 15}, {"TextFontSize", 13}}},
        {"firstDayPopup", 1, {{"FirstDayOfWeek", 2}}},
        {"firstDayPopup", 6, {{"FirstDayOfWeek", 7}}},
        {"custCalPopup", 2, {{"CustomCalendar", QStringLiteral("hebrew")}}},
        {"auxCalPopup", 5, {{"SecondaryCalendar", QStringLiteral("japanese")}}},
    };
    auto pane = make();
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.control << " " << c.index);
        notices.clear();
        choose(*pane, c.control, c.index);
        for (const auto& [key, expected] : c.stored) {
            EXPECT_EQ(value(key), expected) << key;
        }
        EXPECT_TRUE(notices.contains(QStringLiteral("PrefsChanged")));
    }
}

TEST_F(prefsMiniCalendarPane, TheStartMonthChoicesFollowTheMonthsShown) {
    struct Case {
        int layout;
        QStringList items;
        bool enabled;
    };
    const Case cases[] = {
        {0, {"This month:0"}, false},
        {2, {"Last month:-1", "This month:0"}, true},
        {5, {"January:-100", "Last month:-1", "This month:0"}, true},
    };
    auto pane = make();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.layout);
        choose(*pane, "numMonthsPopup", c.layout);
        EXPECT_EQ(items(*pane, "monthCenterPopup"), c.items);
        EXPECT_EQ(pane->control(QStringLiteral("monthCenterPopup"))->isEnabled(), c.enabled);
    }
    // Twelve months start with the year by default; a choice is kept per number of months.
    auto* start = qobject_cast<QComboBox*>(pane->control(QStringLiteral("monthCenterPopup")));
    EXPECT_EQ(start->currentData().toInt(), -100);
    choose(*pane, "monthCenterPopup", 1);
    const QVariantMap centers = value("MonthCenters").toMap();
    EXPECT_EQ(centers.value(QStringLiteral("12")).toInt(), -1);
    EXPECT_EQ(centers.value(QStringLiteral("3")).toInt(), -1);
}

TEST_F(prefsMiniCalendarPane, TheWeekNumberTitleSaysIsoOnlyForMondayFirstGregorian) {
    struct Case {
        int firstDay;  // item: 0 Sunday, 1 Monday
        const char* calendar;
        const char* title;
    };
    // Nothing chosen: the locale's own calendar, Gregorian in the US.
    {
        auto fresh = make();
        choose(*fresh, "firstDayPopup", 1);
        EXPECT_EQ(
            qobject_cast<QAbstractButton*>(fresh->control(QStringLiteral("showWeekNumCheckBox")))
                ->text(),
            QStringLiteral("Show ISO 8601 week numbers"));
        EXPECT_EQ(qobject_cast<QComboBox*>(fresh->control(QStringLiteral("custCalPopup")))
                      ->currentIndex(),
                  0);
    }
    const Case cases[] = {
        {1, "gregorian", "Show ISO 8601 week numbers"},
        {0, "gregorian", "Show week numbers"},
        {1, "hebrew", "Show week numbers"},
    };
    auto pane = make();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        defaults.setObject(QString::fromLatin1(c.calendar), QStringLiteral("CustomCalendar"));
        choose(*pane, "firstDayPopup", c.firstDay);
        EXPECT_EQ(
            qobject_cast<QAbstractButton*>(pane->control(QStringLiteral("showWeekNumCheckBox")))
                ->text(),
            QString::fromLatin1(c.title));
    }
}

TEST_F(prefsMiniCalendarPane, TheSecondCalendarStaysApartFromTheMain) {
    auto pane = make();
    auto* auxBox = qobject_cast<QAbstractButton*>(pane->control(QStringLiteral("auxCalCheckBox")));
    auto* aux = qobject_cast<QComboBox*>(pane->control(QStringLiteral("auxCalPopup")));
    qobject_cast<QAbstractButton*>(pane->control(QStringLiteral("custCalCheckBox")))->click();
    EXPECT_EQ(value("CustomCalendar"), QStringLiteral("gregorian"));
    // With nothing chosen, the box picks the first system that is not the main one.
    auxBox->click();
    EXPECT_EQ(aux->currentIndex(), 1);
    EXPECT_EQ(value("SecondaryCalendar"), QStringLiteral("buddhist"));
    // The main system becomes the second one's: the second one goes.
    choose(*pane, "custCalPopup", 1);
    EXPECT_FALSE(value("SecondaryCalendar").isValid());
    EXPECT_FALSE(auxBox->isChecked());
    EXPECT_FALSE(aux->isEnabled());
    EXPECT_EQ(aux->currentIndex(), -1);
    // The main system's item is never offered.
    const auto* model = qobject_cast<QStandardItemModel*>(aux->model());
    for (int i = 0; i < aux->count(); ++i) {
        EXPECT_EQ(model->item(i)->isEnabled(), i != 1) << i;
    }
    auxBox->click();
    EXPECT_EQ(aux->currentIndex(), 0);
    EXPECT_EQ(value("SecondaryCalendar"), QStringLiteral("gregorian"));
    auxBox->click();
    EXPECT_FALSE(value("SecondaryCalendar").isValid());
}

TEST_F(prefsMiniCalendarPane, CheckBoxesWriteTheirKeys) {
    struct Case {
        const char* control;
        const char* key;
    };
    const Case cases[] = {{"showWeekNumCheckBox", "ShowWeekNumbers"},
                          {"showDateCalcCheckBox", "ShowDateCalulations"},
                          {"showHideMinnow", "showMinnowCal"}};
    auto pane = make();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.control);
        auto* box = qobject_cast<QAbstractButton*>(pane->control(QString::fromLatin1(c.control)));
        box->click();
        EXPECT_EQ(value(c.key), true);
        box->click();
        EXPECT_EQ(value(c.key), false);
    }
    EXPECT_EQ(calls, QStringList({"updateMenuBarItems", "updateMenuBarItems"}));
}

TEST_F(prefsMiniCalendarPane, TheLoginBoxShowsTheAutostartEntry) {
    auto pane = make();
    auto* box =
        qobject_cast<QAbstractButton*>(pane->control(QStringLiteral("startupItemCheckBox")));
    EXPECT_FALSE(box->isChecked());
    box->click();
    EXPECT_TRUE(AppStartup::isInLoginItems());
    EXPECT_TRUE(box->isChecked());
    box->click();
    EXPECT_FALSE(AppStartup::isInLoginItems());
    EXPECT_FALSE(box->isChecked());
    EXPECT_FALSE(notices.contains(QStringLiteral("PrefsChanged")));
}

TEST_F(prefsMiniCalendarPane, ClearingAHotKeyUnbindsIt) {
    hotKeys.findOrMakeHotKeyNamed(QStringLiteral("ToggleHotKey"));
    ASSERT_TRUE(
        hotKeys.bindHotKeyCode(0, platform::CommandKeyMask, QStringLiteral("ToggleHotKey")));
    hotKeys.findOrMakeHotKeyNamed(QStringLiteral("CenterHotKey"));
    ASSERT_TRUE(hotKeys.bindHotKeyCode(1, platform::CommandKeyMask | platform::AlternateKeyMask,
                                       QStringLiteral("CenterHotKey")));
    defaults.setObject(QStringLiteral("legacy"), QStringLiteral("ToggleHotKey"));
    const QVariantMap before = stored();
    auto pane = make();
    EXPECT_EQ(stored(), before);
    auto* toggle = pane->view()->findChild<HotKeyField*>(QStringLiteral("toggleHotKeyField"));
    ASSERT_NE(toggle, nullptr);
    EXPECT_EQ(toggle->keyCode(), 0);

    child<QPushButton>(*pane, QStringLiteral("toggleHotKeyFieldClear"))->click();
    EXPECT_EQ(hotKeys.hotKeyNamed(QStringLiteral("ToggleHotKey"))->keyCode(), -1);
    EXPECT_FALSE(value("ToggleHotKey").isValid());
    EXPECT_FALSE(backend.isRegistered(0, platform::CommandKeyMask));
    EXPECT_EQ(backend.registrationCount(), 1u);
    // The remaining hot key is what is stored.
    const QVariantList saved = value("HotKeys").toList();
    ASSERT_EQ(saved.size(), 1);
    EXPECT_EQ(saved[0].toMap().value(QStringLiteral("Name")), QStringLiteral("CenterHotKey"));

    // A new combination binds again and is stored.
    toggle->setKeyCode(2, platform::CommandKeyMask);
    pane->hotKeyChanged(*toggle);
    EXPECT_EQ(hotKeys.hotKeyNamed(QStringLiteral("ToggleHotKey"))->keyCode(), 2);
    EXPECT_EQ(value("HotKeys").toList().size(), 2);
}

// The stopwatch's hot key is recorded beside the calendar's: the field shows the stored
// combination (Ctrl+Alt+Shift+W by default), a new one is kept with the per-feature values
// start-up binds it from and is bound at once, Clear unbinds it.
TEST_F(prefsMiniCalendarPane, TheStopwatchHotKeyIsRecordedBesideTheCalendars) {
    TalvorHotKeys values;
    TalvorHotKeys::setSharedInstance(&values);
    auto pane = make();
    auto* field = pane->view()->findChild<HotKeyField*>(QStringLiteral("stopWatchHotKeyField"));
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->keyCode(), 13);
    EXPECT_EQ(field->flags(),
              platform::CommandKeyMask | platform::ShiftKeyMask | platform::AlternateKeyMask);

    field->setKeyCode(1, platform::CommandKeyMask | platform::AlternateKeyMask);
    pane->hotKeyChanged(*field);
    EXPECT_EQ(values.hotKeyValues().value(keys::hotKeyCodeStopWatch), QVariant(qint64(1)));
    EXPECT_EQ(values.hotKeyValues().value(keys::hotKeyModifiersStopWatch),
              QVariant(qint64(0x100 | 0x800)));
    const HotKey* bound = hotKeys.hotKeyNamed(keys::StopWatchHotKey);
    ASSERT_NE(bound, nullptr);
    EXPECT_EQ(bound->keyCode(), 1);
    EXPECT_TRUE(backend.isRegistered(1, platform::CommandKeyMask | platform::AlternateKeyMask));

    child<QPushButton>(*pane, QStringLiteral("stopWatchHotKeyFieldClear"))->click();
    EXPECT_EQ(values.hotKeyValues().value(keys::hotKeyCodeStopWatch), QVariant(qint64(-1)));
    EXPECT_FALSE(backend.isRegistered(1, platform::CommandKeyMask | platform::AlternateKeyMask));
    TalvorHotKeys::setSharedInstance(nullptr);
}

TEST_F(prefsMiniCalendarPane, LoadingAnUnboundHotKeyWritesNothing) {
    const QVariantMap before = stored();
    auto pane = make();
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(takePosted().isEmpty());
    EXPECT_TRUE(notices.isEmpty());
    auto* centerField = pane->view()->findChild<HotKeyField*>(QStringLiteral("centerHotKeyField"));
    EXPECT_EQ(centerField->keyCode(), -1);
}

TEST_F(prefsMiniCalendarPane, APublicCalendarShownIsStoredAtOnce) {
    auto pane = make();
    QTableWidget* table = pane->sourceTable(QStringLiteral("publicTable_Religious"));
    ASSERT_NE(table, nullptr);
    const auto& sources = pane->sourcesOf(table);
    ASSERT_FALSE(sources.empty());
    EXPECT_EQ(table->rowCount(), int(sources.size()));
    EXPECT_EQ(table->item(0, 1)->text(), sources[0]->name());
    table->item(0, 0)->setCheckState(Qt::Checked);
    EXPECT_TRUE(sources[0]->enabled());
    const QVariantMap subscribed = value("SubscribedEvents").toMap();
    ASSERT_TRUE(subscribed.contains(sources[0]->token()));
    EXPECT_EQ(subscribed.value(sources[0]->token()).toList(), sources[0]->prefEncoding());
    EXPECT_EQ(notices, QStringList{"loadCalendarEvents"});

    // A new pane shows it as stored.
    sources[0]->setEnabled(false);
    auto again = make();
    QTableWidget* shown = again->sourceTable(QStringLiteral("publicTable_Religious"));
    EXPECT_EQ(shown->item(0, 0)->checkState(), Qt::Checked);
}

TEST_F(prefsMiniCalendarPane, HolidayCalendarsShowNamesAndAnEmptyListSaysSo) {
    auto pane = make();
    QTableWidget* holidays = pane->sourceTable(QStringLiteral("publicTable"));
    ASSERT_NE(holidays, nullptr);
    QStringList names;
    for (int r = 0; r < holidays->rowCount(); ++r) {
        names << holidays->item(r, 1)->text();
    }
    EXPECT_EQ(names.size(), 228);
    EXPECT_TRUE(names.contains(QStringLiteral("United States")));
    EXPECT_TRUE(names.contains(QStringLiteral("Afghanistan")));
    EXPECT_FALSE(names.contains(QStringLiteral("usa")));
    EXPECT_FALSE(names.contains(QStringLiteral("af")));
    // The sports list has no calendars: the tab says so instead of showing an empty table.
    auto* note = pane->view()->findChild<QLabel*>(QStringLiteral("publicTable_SportsEmpty"));
    ASSERT_NE(note, nullptr);
    EXPECT_EQ(note->text(), QStringLiteral("There are no sports calendars to choose from."));
    EXPECT_FALSE(note->isHidden());
    EXPECT_TRUE(pane->sourceTable(QStringLiteral("publicTable_Sports"))->isHidden());
    EXPECT_EQ(pane->view()->findChild<QLabel*>(QStringLiteral("publicTableEmpty")), nullptr);
}

// The computer's own calendars, from the local back end.
class LocalCalendars : public CalendarBackEnd {
  public:
    void loadEventsInBatch(const std::shared_ptr<CalMonth>&) override {}
    std::vector<CalSourcePtr> getLocalEventCalendars_Parsed() override { return sources; }
    std::vector<CalSourcePtr> sources;
};

TEST_F(prefsMiniCalendarPane, HighlightsOfEachKindOfCalendarAreStored) {
    LocalCalendars computer;
    auto home =
        CalSource::initWithToken(QStringLiteral("local-home"), QStringLiteral("Home"), QUrl());
    home->setIdentifier(QStringLiteral("home"));
    home->setDisplayColor(QColor(20, 40, 60));
    computer.sources = {home};
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &computer);
    struct Case {
        const char* table;
        bool isPublic;
    };
    for (const Case c : {Case{"publicTable", true}, Case{"personalTable_Apple", false}}) {
        SCOPED_TRACE(c.table);
        auto pane = make();
        QTableWidget* table = pane->sourceTable(QString::fromLatin1(c.table));
        ASSERT_GT(table->rowCount(), 0);
        const CalSourcePtr source = pane->sourcesOf(table)[0];
        emit table->cellClicked(0, 2);
        ASSERT_NE(picker.window(), nullptr);
        EXPECT_TRUE(picker.window()->isVisible());
        EXPECT_EQ(picker.currHighlight().color(), source->displayColor());
        picker.chooseHighlightType(3);
        EXPECT_EQ(source->highlightType(), 3);
        const QString key = c.isPublic ? source->token() : source->identifier();
        EXPECT_EQ(value("SubscribedEvents").toMap().value(key).toList(), source->prefEncoding());
        ASSERT_EQ(notices, QStringList{"PrefsChanged"});
        EXPECT_EQ(infos[0].value(QStringLiteral("EventChanged")), key);
        // Public calendars show the dot, the computer's ones their colour.
        const QVariant shown = table->item(0, 2)->data(Qt::DisplayRole);
        EXPECT_EQ(shown.typeId() == QMetaType::QColor, !c.isPublic);
        picker.chooseHighlightType(0);
        picker.changeColor(QColor(200, 10, 10));
        EXPECT_EQ(source->displayColor(), QColor(200, 10, 10));
        picker.window()->close();
        // Shown or hidden, every kind of calendar is stored at once.
        table->item(0, 0)->setCheckState(Qt::Checked);
        EXPECT_TRUE(value("SubscribedEvents").toMap().value(key).toList().value(1).toBool());
        table->item(0, 0)->setCheckState(Qt::Unchecked);
        EXPECT_FALSE(value("SubscribedEvents").toMap().value(key).toList().value(1).toBool());
    }
}

TEST_F(prefsMiniCalendarPane, TheComputersTableListsTheCalendarFolders) {
    QTemporaryDir root;
    ASSERT_TRUE(root.isValid());
    const auto calendar = [&](const char* folder, const QByteArray& name) {
        const QString path = root.path() + QLatin1Char('/') + QLatin1String(folder);
        QDir().mkpath(path);
        QFile file(path + QStringLiteral("/displayname"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(name);
    };
    calendar("work", "Work\n");
    calendar("family", "Family\n");
    VdirCalendarStore store({root.path()});
    AppleCal computer(&store);
    CalendarBackEnds::install(CalendarBackEnds::Kind::Apple, &computer);
    const auto names = [](QTableWidget* table) {
        QStringList out;
        for (int row = 0; row < table->rowCount(); ++row) {
            out << table->item(row, 1)->text();
        }
        out.sort();
        return out;
    };
    auto pane = make();
    EXPECT_EQ(names(pane->sourceTable(QStringLiteral("personalTable_Apple"))),
              (QStringList{"Family", "Work"}));

    // A calendar added behind the program's back is listed when the pane is shown again.
    calendar("club", "Chess club\n");
    auto again = make();
    EXPECT_EQ(names(again->sourceTable(QStringLiteral("personalTable_Apple"))),
              (QStringList{"Chess club", "Family", "Work"}));
}

TEST_F(prefsMiniCalendarPane, LoadingShowsTheStoredSettings) {
    defaults.setInteger(4, QStringLiteral("TtNumRows"));
    defaults.setInteger(3, QStringLiteral("TtNumCols"));
    defaults.setInteger(13, QStringLiteral("NumberFontSize"));
    defaults.setInteger(15, QStringLiteral("TitleFontSize"));
    defaults.setInteger(2, QStringLiteral("FirstDayOfWeek"));
    defaults.setObject(QStringLiteral("hebrew"), QStringLiteral("CustomCalendar"));
    defaults.setObject(QStringLiteral("hebrew"), QStringLiteral("SecondaryCalendar"));
    defaults.setBool(true, QStringLiteral("ShowWeekNumbers"));
    const QVariantMap before = stored();
    auto pane = make();
    const auto index = [&](const char* id) {
        return qobject_cast<QComboBox*>(pane->control(QString::fromLatin1(id)))->currentIndex();
    };
    EXPECT_EQ(index("numMonthsPopup"), 5);
    EXPECT_EQ(index("sizePopup"), 2);
    EXPECT_EQ(index("firstDayPopup"), 1);
    EXPECT_EQ(index("custCalPopup"), 2);
    // A second calendar equal to the main one is shown off, and left as stored.
    EXPECT_EQ(index("auxCalPopup"), -1);
    EXPECT_FALSE(qobject_cast<QAbstractButton*>(pane->control(QStringLiteral("auxCalCheckBox")))
                     ->isChecked());
    EXPECT_TRUE(qobject_cast<QAbstractButton*>(pane->control(QStringLiteral("showWeekNumCheckBox")))
                    ->isChecked());
    EXPECT_EQ(stored(), before);
    EXPECT_TRUE(notices.isEmpty());
}

// --- the to-do pane ---

using prefsTodoPane = CalendarPanes;

TEST_F(prefsTodoPane, ArchivePathTable) {
    struct Case {
        const char* location;
        int format;
        int rollover;
        QDate today;
        const char* path;
    };
    const Case cases[] = {
        {"/Users/a/Todo.txt", 2, 2, QDate(2026, 5, 1), "/Users/a/Todo26.rtf"},
        {"/x/Archive.txt", 0, 1, QDate(2026, 12, 31), "/x/Archive26-12.txt"},
        {"/x/Archive.txt", 1, 0, QDate(2026, 12, 31), "/x/Archive.html"},
        {"/x/Archive.txt", 1, 1, QDate(2009, 3, 2), "/x/Archive09-03.html"},
        {"/x/Archive.txt", 0, 3, QDate(2026, 12, 31), "/x/Archive"},
        {"/x.y/Notes", 0, 0, QDate(2026, 1, 1), "/x.y/Notes.txt"},
        {"~/Todo.rtf", 7, 2, QDate(2030, 6, 6), "~/Todo30.rtf"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(TalvorTodoViewController::archivePath(QString::fromLatin1(c.location), c.format,
                                                        c.rollover, c.today),
                  QString::fromLatin1(c.path));
    }
}

TEST_F(prefsTodoPane, EachControlWritesItsSettingAndAnnouncesIt) {
    const QString changed = QStringLiteral("TodoPreferencesChanged");
    TalvorTodoViewController pane(QStringLiteral("Nib"), delegate());
    pane.view();
    takePosted();
    const auto choose = [&](const char* id, int index) {
        auto* menu = child<QComboBox>(pane, QString::fromLatin1(id));
        menu->setCurrentIndex(index);
        emit menu->activated(index);
    };
    const auto archive = [&](const char* key) {
        return stored()
            .value(QStringLiteral("TodoArchiveOptionsKey"))
            .toMap()
            .value(QString::fromLatin1(key));
    };

    choose("archiveFormat", 2);
    EXPECT_EQ(archive("format"), 2);
    EXPECT_EQ(takePosted(), QStringList{changed});
    choose("archiveTemplate", 1);
    EXPECT_EQ(archive("template"), 1);
    choose("archiveRollover", 2);
    EXPECT_EQ(archive("rollover"), 2);
    choose("archiveWhen", 0);
    EXPECT_EQ(archive("when"), 0);
    child<QAbstractButton>(pane, QStringLiteral("archiveEnabled"))->click();
    EXPECT_EQ(archive("state"), true);
    EXPECT_TRUE(child<QWidget>(pane, QStringLiteral("archiveSummary"))->isEnabled());
    child<QAbstractButton>(pane, QStringLiteral("archiveSummary"))->click();
    EXPECT_EQ(archive("summary"), true);
    EXPECT_EQ(takePosted(), QStringList({changed, changed, changed, changed, changed}));

    auto* hot = child<QLineEdit>(pane, QStringLiteral("hotText"));
    hot->setText(QStringLiteral("Urgent"));
    emit hot->editingFinished();
    EXPECT_EQ(stored().value(QStringLiteral("TodoPriorityText")).toMap().value("9"),
              QStringLiteral("Urgent"));
    EXPECT_EQ(takePosted(), QStringList{changed});

    child<QPushButton>(pane, QStringLiteral("coldColor"))->click();
    auto* panel = pane.view()->findChild<QColorDialog*>();
    ASSERT_NE(panel, nullptr);
    panel->setCurrentColor(QColor(1, 2, 3));
    delete panel;
    const QVariantMap colours = stored().value(QStringLiteral("TodoPriorityColors")).toMap();
    EXPECT_EQ(ColorExtras::color(colours.value("1").toByteArray()).value_or(QColor()).rgb(),
              QColor(1, 2, 3).rgb());
    EXPECT_EQ(colours.size(), 4);
    EXPECT_EQ(takePosted(), QStringList{changed});

    choose("menuIcon", 2);
    EXPECT_EQ(stored().value(QStringLiteral("TodoPrefsICON")), 3);
    EXPECT_EQ(takePosted(), QStringList{changed});

    // One first weekday for every calendar view.
    choose("startDay", 1);
    EXPECT_EQ(stored().value(QStringLiteral("FirstDayOfWeek")), 2);
    EXPECT_EQ(takePosted(), QStringList{"TalvorUpdateCalNotification"});

    const bool clickOpens = dateSettings.enableWindowClick;
    child<QAbstractButton>(pane, QStringLiteral("windowClick"))->click();
    EXPECT_EQ(dateSettings.enableWindowClick, !clickOpens);
    TalvorDateSettings reread;
    reread.enableWindowClick = clickOpens;
    reread.loadPrefs();
    EXPECT_EQ(reread.enableWindowClick, !clickOpens);
    EXPECT_TRUE(takePosted().contains(changed));
}

// A settings file from before the one first-weekday key keeps its choice, and the pane's
// choice decides everywhere after, the big calendar included.
TEST_F(prefsTodoPane, TheChosenFirstWeekdayDecidesOverAnOldStartDay) {
    defaults.setInteger(2, QStringLiteral("iStartDay"));  // Tuesday, in an old file
    test::FakeScreens screens;
    ztCalendarController big(clock, defaults, screens);
    myCalSettings& settings = big.monthView()->calSettings();
    big.updateCalPrefs();
    ASSERT_EQ(settings.firstDay(), 2);
    TalvorTodoViewController pane(QStringLiteral("Nib"), delegate());
    pane.view();
    auto* startDay = child<QComboBox>(pane, QStringLiteral("startDay"));
    EXPECT_EQ(startDay->currentIndex(), 2) << "the old file's Tuesday";
    startDay->setCurrentIndex(3);
    emit startDay->activated(3);
    big.updateCalPrefs();
    EXPECT_EQ(settings.firstDay(), 3) << "Wednesday, as the pane says";
    TalvorTodoViewController again(QStringLiteral("Nib"), delegate());
    again.view();
    EXPECT_EQ(child<QComboBox>(again, QStringLiteral("startDay"))->currentIndex(), 3);
}

TEST_F(prefsTodoPane, LoadingShowsTheStoredSettingsAndWritesNothing) {
    struct Case {
        const char* name;
        QVariant firstDay;
        QVariantMap archive;
        int startItem;
        int whenItem;
        bool archiveOn;
    };
    const Case cases[] = {
        {"nothing stored", QVariant(), {}, 0, 1, false},
        {"out of range", 9, {{QStringLiteral("state"), true}}, 0, 1, true},
        {"stored",
         3,
         {{QStringLiteral("path"), QStringLiteral("~/a.txt")},
          {QStringLiteral("state"), false},
          {QStringLiteral("when"), 2},
          {QStringLiteral("format"), 1}},
         2,
         2,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        defaults.removeObjectForKey(QStringLiteral("TodoArchiveOptionsKey"));
        defaults.removeObjectForKey(QStringLiteral("FirstDayOfWeek"));
        if (c.firstDay.isValid()) {
            defaults.setObject(c.firstDay, QStringLiteral("FirstDayOfWeek"));
        }
        if (!c.archive.isEmpty()) {
            defaults.setObject(c.archive, QStringLiteral("TodoArchiveOptionsKey"));
        }
        dateSettings.enableWindowClick = true;
        dateSettings.hideToDoEventSection = false;
        const QVariantMap before = stored();
        TalvorTodoViewController pane(QStringLiteral("Nib"), delegate());
        pane.view();
        EXPECT_EQ(child<QComboBox>(pane, QStringLiteral("startDay"))->currentIndex(), c.startItem);
        EXPECT_EQ(child<QComboBox>(pane, QStringLiteral("archiveWhen"))->currentIndex(),
                  c.whenItem);
        EXPECT_EQ(child<QWidget>(pane, QStringLiteral("archiveFormat"))->isEnabled(), c.archiveOn);
        // The boxes show the date settings, and loading leaves those alone.
        EXPECT_TRUE(child<QAbstractButton>(pane, QStringLiteral("windowClick"))->isChecked());
        EXPECT_FALSE(
            child<QAbstractButton>(pane, QStringLiteral("hideToDoEventSection"))->isChecked());
        EXPECT_TRUE(dateSettings.enableWindowClick);
        EXPECT_EQ(stored(), before);
        EXPECT_TRUE(takePosted().isEmpty());
    }
    TalvorTodoViewController pane(QStringLiteral("Nib"), delegate());
    pane.view();
    EXPECT_EQ(child<QLineEdit>(pane, QStringLiteral("archiveLocation"))->text(),
              QDir::homePath() + QStringLiteral("/a.txt"));
}

TEST_F(prefsTodoPane, TheChosenFileTakesTheFormatsExtension) {
    struct Case {
        int format;
        const char* chosen;
        QString location;
    };
    const Case cases[] = {
        {1, "/tmp/notes.doc", QStringLiteral("/tmp/notes.html")},
        {0, "/tmp/notes", QStringLiteral("/tmp/notes.txt")},
        {2, "~/x.y/list.txt", QDir::homePath() + QStringLiteral("/x.y/list.rtf")},
    };
    TalvorTodoViewController pane(QStringLiteral("Nib"), delegate());
    pane.view();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.chosen);
        child<QComboBox>(pane, QStringLiteral("archiveFormat"))->setCurrentIndex(c.format);
        pane.savePanelDidEnd(QString::fromLatin1(c.chosen));
        EXPECT_EQ(child<QLineEdit>(pane, QStringLiteral("archiveLocation"))->text(), c.location);
        EXPECT_EQ(stored().value(QStringLiteral("TodoArchiveOptionsKey")).toMap().value("path"),
                  c.location);
    }
    // The location button opens a save dialog without running it.
    child<QPushButton>(pane, QStringLiteral("archiveChoose"))->click();
    auto* dialog = pane.view()->findChild<QFileDialog*>(QStringLiteral("archiveSavePanel"));
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
    dialog->close();
}

}  // namespace
}  // namespace talvor
