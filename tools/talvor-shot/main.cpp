// talvor-shot: renders the menu bar, its menus and registered windows to PNG files,
// without a display.
//
//   talvor-shot [--out DIR] [--scale F] [--width W] [SCENE...]    (no scene: all of them)
//   talvor-shot --list
//   talvor-shot --onboarding --out DIR    (the welcome window's pictures, as it loads them)
//   talvor-shot --clip SCENE,SCENE... --out DIR    (a clip's frames, for its videos)
#include "AlarmScene.h"
#include "CalendarPaneScenes.h"
#include "CalendarScenes.h"
#include "CountDownScenes.h"
#include "DemoBar.h"
#include "EventSheetScenes.h"
#include "FloatingScene.h"
#include "NewUserScenes.h"
#include "PlannerScene.h"
#include "SettingsScene.h"
#include "SunScene.h"

#include "GrabWindow.h"
#include "alarms/CustomModalWindowController.h"
#include "platform/Paths.h"
#include "prefs/BoardingWinController.h"
#include "prefs/TalvorPrefsFloatingViewCtrl.h"
#include "shell/SettingsWindowHost.h"
#include "widgets/TalvorCustomDatePanel.h"
#include "widgets/WidgetGallery.h"

#include "platform/OffscreenStatusBar.h"
#include "platform/PreferenceStore.h"
#include "platform/StatusBarPanel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QTemporaryDir>
#include <QWidget>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

using talvor::platform::OffscreenStatusBar;
using talvor::shot::grabWindow;

struct Settings {
    double scale = 1.0;
    int width = 1280;
};

struct Scene {
    const char* name;
    const char* description;
    std::function<QImage(const Settings&)> render;
};

// One row per picture. Windows of later rooms get a row each, built with grabWindow.
const Scene kScenes[] = {
    {"bar", "the menu bar across the top of a screen",
     [](const Settings& s) {
         auto demo = talvor::shot::makeDemoBar();
         OffscreenStatusBar offscreen(demo->bar, QSize(s.width, 800));
         return offscreen.render(0, s.scale);
     }},
    {"bar-menu", "the top of the screen with the time menu open under its item",
     [](const Settings& s) {
         auto demo = talvor::shot::makeDemoBar();
         OffscreenStatusBar offscreen(demo->bar, QSize(s.width, 800));
         offscreen.click(*demo->time);
         return offscreen.renderScreen(s.scale);
     }},
    {"alarm-ringing", "the bar with a ringing alarm: its item flashing, its snooze window under it",
     [](const Settings& s) { return talvor::shot::renderRingingAlarm(s.width, s.scale); }},
    {"gallery", "the reusable views, cells and controls with sample values",
     [](const Settings& s) { return talvor::renderWidgetGallery(s.scale); }},
    {"time-menu", "the time menu alone",
     [](const Settings&) {
         auto demo = talvor::shot::makeDemoBar();
         return OffscreenStatusBar::renderMenu(demo->timeMenu);
     }},
    {"time-menu-world-clocks", "the application's time menu with two world clocks",
     [](const Settings&) { return talvor::shot::renderTimeMenuWithWorldClocks(); }},
    {"panel", "the floating panel window, as a window",
     [](const Settings& s) {
         auto demo = talvor::shot::makeDemoBar();
         talvor::platform::MemoryPreferenceStore store;
         talvor::platform::StatusBarPanel panel(
             demo->bar, {talvor::platform::StatusBarPanel::Mode::Floating, &store});
         return grabWindow(panel, s.scale);
     }},
    {"alarm-editor", "the alarm page: a ten-minute tea alarm with a fading sound",
     [](const Settings& s) { return talvor::shot::renderAlarmEditor(s.scale); }},
    {"alarm-editor-problems", "the alarm page refusing an alarm without title, time or sound",
     [](const Settings& s) { return talvor::shot::renderAlarmEditorProblems(s.scale); }},
    {"alarm-item-pane", "the alarm item pane with Alarms and Take 5 in the time menu",
     [](const Settings& s) { return talvor::shot::renderAlarmItemPane(s.scale); }},
    {"take5-pane", "the Take 5 page: breaks every 30 minutes for 5, and their sounds",
     [](const Settings& s) { return talvor::shot::renderTake5Pane(s.scale); }},
    {"countdown-pane", "the count-down page: the form and three events as tiles",
     [](const Settings& s) { return talvor::shot::renderCountDownPane(s.scale); }},
    {"countdown-tiles", "the window of count-downs due at login or wake",
     [](const Settings& s) { return talvor::shot::renderCountDownTiles(s.scale); }},
    {"stopwatch", "the stopwatch counting down, its options open",
     [](const Settings& s) { return talvor::shot::renderStopWatch(s.scale); }},
    {"stopwatch-below-strip",
     "the top of the screen: the strip, and the stopwatch where it first opens, below it",
     [](const Settings& s) {
         return talvor::shot::renderStopWatchBelowTheStrip(s.width, s.scale);
     }},
    {"reminder-window", "the recorded-message window with two messages",
     [](const Settings& s) { return talvor::shot::renderReminderWindow(s.scale); }},
    {"settings", "the settings window on its About pane",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::about);
         return grabWindow(scene.window(), s.scale);
     }},
    {"settings-menu-items", "the settings window at its smallest, on its Menu Items pane",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::menuItems);
         scene.window().resize(scene.window().minimumSize());
         QCoreApplication::processEvents();  // the layouts follow the new size
         return grabWindow(scene.window(), s.scale);
     }},
    {"settings-first-opening", "the settings window opened for the first time",
     [](const Settings& s) { return talvor::shot::renderSettingsFirstOpening(s.scale); }},
    {"settings-count-down", "the count-down pane opened again after another pane",
     [](const Settings& s) { return talvor::shot::renderSettingsCountDown(s.scale); }},
    {"settings-applications", "the Applications Menu pane while the menu is off",
     [](const Settings& s) { return talvor::shot::renderSettingsApplicationsMenu(s.scale); }},
    {"settings-chimes", "the Chimes pane with quiet hours from midnight",
     [](const Settings& s) { return talvor::shot::renderSettingsChimes(s.scale); }},
    {"settings-time-item", "the Time Menu pane with a format composed of hour, minute and am/pm",
     [](const Settings& s) { return talvor::shot::renderSettingsTimeItem(s.scale); }},
    {"settings-date-item", "the Date Menu pane with a format composed of weekday, month and day",
     [](const Settings& s) { return talvor::shot::renderSettingsDateItem(s.scale); }},
    {"format-composer", "the date format composer: sample fields, tokens and the preview",
     [](const Settings& s) { return talvor::shot::renderFormatComposer(s.scale); }},
    {"locations", "the locations window with four places",
     [](const Settings& s) { return talvor::shot::renderLocationsWindow(s.scale); }},
    {"location-picker", "the location picker as it opens for a user in Berlin",
     [](const Settings& s) { return talvor::shot::renderLocationPicker(s.scale); }},
    {"break-sheet", "the break sheet 43 seconds before the break ends",
     [](const Settings& s) { return talvor::shot::renderBreakSheet(s.scale); }},
    {"custom-format-empty", "the custom format panel refusing an empty format",
     [](const Settings& s) {
         talvor::TalvorCustomDatePanel panel;
         panel.setPatternLanguage(talvor::TalvorCustomDatePanel::PatternLanguage::Uts35);
         panel.setSetting(QString());
         panel.adjustSize();
         return grabWindow(panel, s.scale);
     }},
    {"settings-time-zone", "the settings window on its Set TimeZone pane",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::setTimeZone);
         return grabWindow(scene.window(), s.scale);
     }},
    {"break-window", "the Take 5 break window, standing alone",
     [](const Settings& s) {
         struct Still : talvor::CustomModalWindowDelegate {
             void disableTake5() override {}
             void showTake5Prefrences() override {}
         } still;
         talvor::CustomModalWindowController sheet(still);
         sheet.showBreakTime->setText(QStringLiteral("Take a break: 4:59"));
         sheet.window()->adjustSize();
         return grabWindow(*sheet.window(), s.scale);
     }},
    {"settings-floating", "the settings window on its Floating Clocks pane",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::floatingClocks);
         scene.window().resize(1000, 900);  // the whole pane, unscrolled
         QCoreApplication::processEvents();
         return grabWindow(scene.window(), s.scale);
     }},
    {"settings-floating-no-place",
     "the Floating Clocks pane at the window's size, the clocks on and no place floating",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::floatingClocks);
         if (auto* pane =
                 dynamic_cast<talvor::TalvorPrefsFloatingViewCtrl*>(scene.host().viewCtrl())) {
             pane->locations = [] { return std::optional<talvor::LocationTable>(); };
             if (QAbstractButton* on = pane->check(QStringLiteral("Floater"))) {
                 on->setChecked(true);
             }
             pane->viewDidShow();
         }
         QCoreApplication::processEvents();
         return grabWindow(scene.window(), s.scale);
     }},
    {"settings-general", "the General pane without an update feed",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::general);
         QCoreApplication::processEvents();
         return grabWindow(scene.window(), s.scale);
     }},
    {"settings-big-calendar", "the Menubar Calendar pane with the big calendar chosen",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::menubarCalendar);
         if (auto* big =
                 scene.window().findChild<QAbstractButton*>(QStringLiteral("radioBigCal"))) {
             big->click();
         }
         QCoreApplication::processEvents();
         return grabWindow(scene.window(), s.scale);
     }},
    {"settings-light-dark", "the Light/Dark Mode pane",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::lightDark);
         QCoreApplication::processEvents();
         return grabWindow(scene.window(), s.scale);
     }},
    {"settings-planner",
     "the Global Scheduler at the window's opening size: five places, a meeting across them",
     [](const Settings& s) {
         return talvor::shot::renderSettingsPlanner(
             talvor::SettingsWindowHost::openingSize(QSize(1280, 800 - 24)), s.scale);
     }},
    {"settings-planner-small", "the Global Scheduler as it opens on an 800x600 screen",
     [](const Settings& s) {
         return talvor::shot::renderSettingsPlanner(
             talvor::SettingsWindowHost::openingSize(QSize(800, 600 - 24)), s.scale);
     }},
    {"floating-flags", "four floating clocks on the flag face",
     [](const Settings& s) { return talvor::shot::renderFlagClocks(s.scale); }},
    {"settings-date-difference", "the settings window on its Date Difference pane, 100 days apart",
     [](const Settings& s) {
         talvor::shot::SettingsScene scene(talvor::PaneTag::dateDifference);
         if (auto* to = scene.window().findChild<QDateTimeEdit*>(QStringLiteral("date2"))) {
             to->setDateTime(to->dateTime().addDays(100).addSecs(5 * 3600));
         }
         QCoreApplication::processEvents();
         return grabWindow(scene.window(), s.scale);
     }},
    {"floating", "two floating clocks on the desktop",
     [](const Settings& s) { return talvor::shot::renderFloatingClocks(s.scale); }},
    {"sun-window", "the sunrise, sunset and twilight times of one city",
     [](const Settings& s) { return talvor::shot::renderSunWindow(s.scale); }},
    {"clock-faces", "the clock face of every type at 10:10:30",
     [](const Settings& s) { return talvor::shot::renderClockFaces(s.scale); }},

    {"mini-calendar", "the mini calendar that drops from the date item, a day shown",
     [](const Settings& s) { return talvor::shot::renderMiniCalendar(s.scale); }},
    {"calendar-leaf", "the date item's calendar leaf when it shows neither moon nor date",
     [](const Settings& s) { return talvor::shot::renderCalendarLeaves(s.scale); }},
    {"big-calendar", "the date menu's big calendar with the moon of the day",
     [](const Settings& s) { return talvor::shot::renderBigCalendar(s.scale); }},
    {"settings-mini-calendar", "the mini calendar's pane, its religious calendars listed",
     [](const Settings& s) { return talvor::shot::renderMiniCalendarPane(s.scale); }},
    {"settings-google-calendars", "the mini calendar's pane, its Google tab signed in",
     [](const Settings& s) { return talvor::shot::renderGoogleCalendarsPane(s.scale); }},
    {"settings-holiday-calendars", "the mini calendar's pane, its holiday calendars by name",
     [](const Settings& s) { return talvor::shot::renderHolidayCalendarsPane(s.scale, false); }},
    {"settings-sports-calendars", "the mini calendar's pane, its empty Sports tab saying so",
     [](const Settings& s) { return talvor::shot::renderHolidayCalendarsPane(s.scale, true); }},
    {"settings-calendar-window", "the date menu calendar's pane set to six months",
     [](const Settings& s) { return talvor::shot::renderCalendarWindowPane(s.scale); }},
    {"settings-to-do", "the to-do pane",
     [](const Settings& s) { return talvor::shot::renderTodoPane(s.scale); }},
    {"create-event", "the new-event form filled in, its end time before the start marked",
     [](const Settings& s) { return talvor::shot::renderCreateEventSheet(s.scale); }},
    {"delete-event", "the question for an occurrence of a repeating event, three scopes",
     [](const Settings& s) { return talvor::shot::renderDeleteEventSheet(s.scale); }},
    {"highlight-picker", "the highlight picker on a calendar's colour, the third dot chosen",
     [](const Settings& s) { return talvor::shot::renderHighlightPicker(s.scale); }},
    {"big-calendar-year", "the big calendar's twelve months with its picture and a moon window",
     [](const Settings& s) { return talvor::shot::renderBigCalendarYear(s.scale); }},
    {"big-calendar-second-calendar",
     "the big calendar, the first days of the Hebrew months marked and named",
     [](const Settings& s) { return talvor::shot::renderBigCalendarSecondCalendar(s.scale); }},
    {"month-grid-layout-0",
     "the single month grid, layout 0: each month in the upper half of its cell over its picture",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(0, s.scale); }},
    {"month-grid-layout-1", "the single month grid, layout 1: months over their pictures",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(1, s.scale); }},
    {"month-grid-layout-2",
     "the single month grid, layout 2: a picture with the title above each month",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(2, s.scale); }},
    {"month-grid-layout-3",
     "the single month grid, layout 3: one wide picture, the titles above the months",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(3, s.scale); }},
    {"month-grid-layout-4", "the single month grid, layout 4: a picture above each titled month",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(4, s.scale); }},
    {"month-grid-layout-5",
     "the single month grid, layout 5: one wide picture above the titled months",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(5, s.scale); }},
    {"month-grid-layout-6", "the single month grid, layout 6: one picture behind all months",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(6, s.scale); }},
    {"month-grid-layout-7", "the single month grid, layout 7: one picture above all months",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(7, s.scale); }},
    {"month-grid-layout-8",
     "the single month grid, layout 8: a small month in the corner of a picture",
     [](const Settings& s) { return talvor::shot::renderMonthGridLayout(8, s.scale); }},
    {"welcome-first-page", "the welcome window's first page, with the link to the manual",
     [](const Settings& s) {
         auto welcome = talvor::BoardingWinController::init({});
         welcome->showWindow();
         QCoreApplication::processEvents();
         return grabWindow(*welcome->window(), s.scale);
     }},
    {"welcome-video-page",
     "the welcome window's first video page: the title, the video's place, the steps, the dots",
     [](const Settings& s) {
         auto welcome = talvor::BoardingWinController::init({});
         welcome->pageControlDidSelectPageAtIndex(2);
         welcome->showWindow();
         QCoreApplication::processEvents();
         return grabWindow(*welcome->window(), s.scale);
     }},
    {"welcome-last-page", "the welcome window's last page: its title, the video's place, Continue",
     [](const Settings& s) {
         auto welcome = talvor::BoardingWinController::init({});
         welcome->pageControlDidSelectPageAtIndex(talvor::BoardingWinController::kPages - 1);
         welcome->showWindow();
         QCoreApplication::processEvents();
         return grabWindow(*welcome->window(), s.scale);
     }},
};

// The welcome and tutorial windows' pictures, by the names the windows load them by: a part of
// a scene, at `factor` of its size (0: scaled to cover the picture), placed by `anchor`.
struct OnboardingPicture {
    const char* name;
    const char* scene;
    double factor;
    Qt::Alignment anchor;
};
const OnboardingPicture kOnboardingPictures[] = {
    {"1-WelcomeScreen.png", "bar-menu", 1.0, Qt::AlignRight | Qt::AlignTop},
    {"2-TimeDayMode.png", "settings-light-dark", 0, Qt::AlignLeft | Qt::AlignTop},
    {"image3.jpg", "time-menu", 1.0, Qt::AlignHCenter | Qt::AlignTop},
    {"4-DragTimeDate.png", "settings-time-item", 1.0, Qt::AlignRight | Qt::AlignTop},
    {"image5.jpg", "settings-menu-items", 0, Qt::AlignLeft | Qt::AlignTop},
    {"image4.jpg", "time-menu-world-clocks", 1.0, Qt::AlignHCenter | Qt::AlignTop},
    {"image6.jpg", "mini-calendar", 0, Qt::AlignHCenter | Qt::AlignTop},
};

QImage onboardingPicture(const QImage& shot, const OnboardingPicture& picture) {
    const QSize size = talvor::OnboardingPictures::kSize;
    const double factor = picture.factor > 0 ? picture.factor
                                             : std::max(double(size.width()) / shot.width(),
                                                        double(size.height()) / shot.height());
    const QImage scaled = factor == 1.0
                              ? shot
                              : shot.scaled((QSizeF(shot.size()) * factor).toSize(),
                                            Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    const int x = picture.anchor & Qt::AlignLeft    ? 0
                  : picture.anchor & Qt::AlignRight ? size.width() - scaled.width()
                                                    : (size.width() - scaled.width()) / 2;
    const int y = picture.anchor & Qt::AlignBottom    ? size.height() - scaled.height()
                  : picture.anchor & Qt::AlignVCenter ? (size.height() - scaled.height()) / 2
                                                      : 0;
    QImage out(size, QImage::Format_RGB32);
    out.fill(QColor(0x3a, 0x3f, 0x4b));  // the desktop of the other scenes
    QPainter p(&out);
    p.drawImage(x, y, scaled);
    return out;
}

const Scene* sceneNamed(const QString& name) {
    const auto it = std::find_if(std::begin(kScenes), std::end(kScenes),
                                 [&](const Scene& s) { return name == QLatin1String(s.name); });
    return it == std::end(kScenes) ? nullptr : &*it;
}

// Renders every picture of the welcome and tutorial windows into `dir`; the count of
// failures.
int renderOnboardingPictures(const QDir& dir, const Settings& settings) {
    int failures = 0;
    for (const OnboardingPicture& picture : kOnboardingPictures) {
        const Scene* scene = sceneNamed(QLatin1String(picture.scene));
        const QImage shot = scene != nullptr ? scene->render(settings) : QImage();
        const QString path = dir.filePath(QString::fromLatin1(picture.name));
        if (shot.isNull() ||
            !onboardingPicture(shot, picture)
                 .save(path, nullptr, path.endsWith(QLatin1String(".jpg")) ? 90 : -1)) {
            std::fprintf(stderr, "talvor-shot: could not write %s\n", qPrintable(path));
            ++failures;
            continue;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return failures;
}

// The frames of a short clip (15 a second) for the welcome window's videos: each scene's
// picture, cut as the welcome pictures are, held two seconds and then faded into the next.
// The count of failures.
int renderClipFrames(const QDir& dir, const QStringList& scenes, const Settings& settings) {
    constexpr int kHold = 30;
    constexpr int kFade = 8;
    std::vector<QImage> pictures;
    for (const QString& name : scenes) {
        const Scene* scene = sceneNamed(name);
        if (scene == nullptr) {
            std::fprintf(stderr, "talvor-shot: no scene \"%s\" (see --list)\n", qPrintable(name));
            return 1;
        }
        pictures.push_back(onboardingPicture(scene->render(settings),
                                             {"", "", 1.0, Qt::AlignRight | Qt::AlignTop}));
    }
    int frame = 0;
    const auto write = [&](const QImage& image) {
        const QString path =
            dir.filePath(QStringLiteral("frame-%1.png").arg(frame++, 3, 10, QLatin1Char('0')));
        return image.save(path);
    };
    for (std::size_t i = 0; i < pictures.size(); ++i) {
        for (int k = 0; k < kHold; ++k) {
            if (!write(pictures[i])) {
                return 1;
            }
        }
        for (int f = 1; i + 1 < pictures.size() && f <= kFade; ++f) {
            QImage blend = pictures[i];
            QPainter p(&blend);
            p.setOpacity(f / (kFade + 1.0));
            p.drawImage(0, 0, pictures[i + 1]);
            p.end();
            if (!write(blend)) {
                return 1;
            }
        }
    }
    return 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    // Always offscreen: the pictures must not depend on a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("talvor-shot"));
    // Run from the build tree, the shipped data is the build's copy.
    if (!qEnvironmentVariableIsSet("TALVOR_SYSTEM_DATA_DIR") &&
        !QDir(talvor::platform::Paths::systemDataDir()).exists()) {
        qputenv("TALVOR_SYSTEM_DATA_DIR", TALVOR_BUILD_SHARE_DIR);
    }

    QCommandLineParser options;
    options.setApplicationDescription(
        QStringLiteral("Renders Talvor's menu bar, menus and windows to PNG files."));
    options.addHelpOption();
    const QCommandLineOption out({"o", "out"},
                                 QStringLiteral("Folder for the pictures (default: .)."),
                                 QStringLiteral("dir"), QStringLiteral("."));
    const QCommandLineOption scale(QStringLiteral("scale"),
                                   QStringLiteral("Device pixel ratio (default: 1)."),
                                   QStringLiteral("factor"), QStringLiteral("1"));
    const QCommandLineOption width(QStringLiteral("width"),
                                   QStringLiteral("Screen width in points (default: 1280)."),
                                   QStringLiteral("points"), QStringLiteral("1280"));
    const QCommandLineOption list(QStringLiteral("list"), QStringLiteral("Lists the scenes."));
    const QCommandLineOption onboarding(
        QStringLiteral("onboarding"),
        QStringLiteral("Renders the welcome and tutorial windows' pictures, by their names."));
    const QCommandLineOption clip(
        QStringLiteral("clip"),
        QStringLiteral("Writes the frames of a clip through the given scenes (frame-000.png...)."),
        QStringLiteral("scene,scene,..."));
    options.addOptions({out, scale, width, list, onboarding, clip});
    options.addPositionalArgument(QStringLiteral("scene"),
                                  QStringLiteral("Scenes to render (default: all)."));
    options.process(app);

    if (options.isSet(list)) {
        for (const Scene& s : kScenes) {
            std::printf("%-14s %s\n", s.name, s.description);
        }
        return 0;
    }
    Settings settings;
    settings.scale = std::max(0.5, options.value(scale).toDouble());
    settings.width = std::max(200, options.value(width).toInt());
    const QDir dir(options.value(out));
    if (!dir.exists() && !QDir().mkpath(dir.path())) {
        std::fprintf(stderr, "talvor-shot: cannot create %s\n", qPrintable(dir.path()));
        return 1;
    }

    if (options.isSet(clip) || options.isSet(onboarding)) {
        // Build and tool steps: the scenes' windows keep their files in a home of their own,
        // never the builder's.
        const QTemporaryDir home;
        for (const char* var : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"}) {
            qputenv(var, QDir(home.path()).filePath(QString::fromLatin1(var)).toUtf8());
        }
        const int failures =
            options.isSet(clip)
                ? renderClipFrames(dir, options.value(clip).split(QLatin1Char(',')), Settings{})
                : renderOnboardingPictures(dir, Settings{});
        return failures == 0 ? 0 : 1;
    }

    const QStringList wanted = options.positionalArguments();
    for (const QString& name : wanted) {
        const bool known = std::any_of(std::begin(kScenes), std::end(kScenes), [&](const Scene& s) {
            return name == QLatin1String(s.name);
        });
        if (!known) {
            std::fprintf(stderr, "talvor-shot: no scene \"%s\" (see --list)\n", qPrintable(name));
            return 2;
        }
    }
    int failures = 0;
    for (const Scene& s : kScenes) {
        if (!wanted.isEmpty() && !wanted.contains(QLatin1String(s.name))) {
            continue;
        }
        const QString path = dir.filePath(QString::fromLatin1(s.name) + QStringLiteral(".png"));
        const QImage image = s.render(settings);
        if (image.isNull() || !image.save(path)) {
            std::fprintf(stderr, "talvor-shot: could not write %s\n", qPrintable(path));
            ++failures;
            continue;
        }
        std::printf("%s\n", qPrintable(path));
    }
    return failures == 0 ? 0 : 1;
}
