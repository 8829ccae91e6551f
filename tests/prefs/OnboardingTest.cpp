#include "calendar/AppleCal.h"
#include "platform/CalendarStore.h"
#include "platform/Clock.h"
#include "platform/PreferenceStore.h"
#include "platform/Screens.h"
#include "platform/UserDefaults.h"
#include "prefs/BoardingWinController.h"
#include "support/FakeCalendarStore.h"
#include "support/FakeClock.h"
#include "support/FakeScreens.h"
#include "support/QtPrinters.h"
#include "support/TestEnvironment.h"
#include "widgets/BFPageControl.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace talvor {
namespace {

// Records what the window asks of its video player.
class FakeVideoPlayer : public platform::VideoPlayer {
  public:
    explicit FakeVideoPlayer(QWidget* parent) : view_(new QWidget(parent)) {
        view_->setObjectName(QStringLiteral("videoView"));
    }
    QWidget* view() override { return view_; }
    void playFromStart(const QUrl& file) override {
        played.push_back(file);
        playing = true;
    }
    void stop() override { playing = false; }
    bool isPlaying() const override { return playing; }

    QWidget* view_;
    std::vector<QUrl> played;
    bool playing = false;
};

class prefsOnboarding : public ::testing::Test {
  protected:
    void SetUp() override {
        boarding = BoardingWinController::init([this](QWidget* parent) {
            auto p = std::make_unique<FakeVideoPlayer>(parent);
            player = p.get();
            ++playersMade;
            return p;
        });
        ASSERT_NE(boarding, nullptr);
        boarding->videoFor = [](const QString& name) {
            return QUrl(QStringLiteral("file:///videos/") + name + QStringLiteral(".webm"));
        };
        boarding->showWindow();
    }
    bool videoShown() const { return player != nullptr && player->view()->isVisible(); }
    bool videoPlaying() const { return player != nullptr && player->playing; }

    FakeVideoPlayer* player = nullptr;  // made at the first video page
    int playersMade = 0;
    std::unique_ptr<BoardingWinController> boarding;
};

TEST_F(prefsOnboarding, EachPageShowsItsOwnControls) {
    struct Row {
        bool title;  // the title label and its line
        bool video;
        bool help;
        bool cont;
        const char* titleText;
    };
    const Row rows[BoardingWinController::kPages] = {
        {false, false, true, false, ""},
        {false, false, false, false, ""},
        {true, true, false, false, "Video for turning off the desktop's clock"},
        {false, false, false, false, ""},
        {true, true, false, true, "Video for arranging the time & date items"},
    };
    // Forward, then back again: every page's state depends on that page alone.
    const int order[] = {0, 1, 2, 3, 4, 3, 2, 1, 0, 4, 0};
    for (int page : order) {
        SCOPED_TRACE(page);
        boarding->pageControlDidSelectPageAtIndex(page);
        const Row& r = rows[page];
        EXPECT_EQ(boarding->currentPage(), page);
        EXPECT_EQ(boarding->control()->currentPage(), page);
        EXPECT_EQ(boarding->titleLbl()->isVisible(), r.title);
        EXPECT_EQ(boarding->titleLine()->isVisible(), r.title);
        EXPECT_EQ(boarding->stepsLbl()->isVisible(), r.title) << "a video's steps in words";
        EXPECT_EQ(videoShown(), r.video);
        EXPECT_EQ(videoPlaying(), r.video);
        EXPECT_EQ(boarding->currImg()->isVisible(), !r.video);
        EXPECT_EQ(boarding->btnHelpManual()->isVisible(), r.help);
        EXPECT_EQ(boarding->continueBtn()->isVisible(), r.cont);
        if (r.title) {
            EXPECT_EQ(boarding->titleLbl()->text(), QLatin1String(r.titleText));
        }
        // Nothing a page shows lies over the dots, which lead to the other pages.
        const QRect dots = boarding->control()->geometry();
        const QWidget* video = player != nullptr ? player->view() : nullptr;
        for (const QWidget* shown : std::initializer_list<const QWidget*>{
                 boarding->currImg(), boarding->titleLbl(), boarding->stepsLbl(),
                 boarding->btnHelpManual(), boarding->continueBtn(), video}) {
            if (shown != nullptr && shown->isVisible()) {
                EXPECT_FALSE(shown->geometry().intersects(dots))
                    << shown->objectName().toStdString() << " covers the page dots";
            }
        }
    }
}

// The video pages speak of this system: its desktops' clocks, and the strip's items as they
// are arranged here (the settings that show them, the strip's place), in the words the
// program's own menu and panes use.
TEST_F(prefsOnboarding, TheVideoPagesStepsAreThisSystems) {
    boarding->pageControlDidSelectPageAtIndex(4);
    const QString arrange = boarding->stepsLbl()->text();
    for (const char* words : {"Preferences...", "Time Menu", "Date Menu", "Show the time item",
                              "Show the date item", "strip"}) {
        EXPECT_TRUE(arrange.contains(QLatin1String(words))) << words;
    }
    boarding->pageControlDidSelectPageAtIndex(2);
    const QString clock = boarding->stepsLbl()->text();
    EXPECT_TRUE(clock.contains(QStringLiteral("KDE Plasma")));
    EXPECT_TRUE(clock.contains(QStringLiteral("GNOME")));
    for (const QString& text : {arrange, clock, boarding->titleLbl()->text()}) {
        for (const char* foreign : {"menubar", "menu bar", "apple", "Apple", "Command", "Mac"}) {
            EXPECT_FALSE(text.contains(QLatin1String(foreign)))
                << foreign << " in " << text.toStdString();
        }
    }
}

TEST_F(prefsOnboarding, LeavingAVideoPageStopsItsVideoAndComingBackStartsOver) {
    boarding->pageControlDidSelectPageAtIndex(4);
    ASSERT_EQ(player->played.size(), 1u);
    EXPECT_EQ(player->played.back().fileName(), QStringLiteral("5-MovingMenuItems.webm"));
    boarding->pageControlDidSelectPageAtIndex(3);
    EXPECT_FALSE(player->playing) << "a hidden video must not keep playing";
    EXPECT_FALSE(player->view()->isVisible());
    EXPECT_FALSE(boarding->continueBtn()->isVisible());
    boarding->pageControlDidSelectPageAtIndex(2);
    EXPECT_EQ(player->played.back().fileName(), QStringLiteral("3-TurningoffAppleClock.webm"));
    EXPECT_TRUE(player->playing);
    boarding->window()->close();
    EXPECT_FALSE(player->playing) << "closing the window stops the video";
}

TEST_F(prefsOnboarding, WithoutTheVideoInstalledThePicturesStandIn) {
    boarding->videoFor = [](const QString&) { return QUrl(); };
    boarding->pageControlDidSelectPageAtIndex(2);
    EXPECT_TRUE(boarding->currImg()->isVisible());
    EXPECT_FALSE(videoShown());
    EXPECT_EQ(player, nullptr) << "no video to show needs no player";
    EXPECT_TRUE(boarding->titleLbl()->isVisible());
}

// A player starts the media machinery: a welcome window read only for its pictures (and
// every first start shows it) must not pay for one, nor make a second one later.
TEST_F(prefsOnboarding, ThePlayerIsMadeAtTheFirstVideoPageAndKept) {
    for (int page : {0, 1, 3, 1}) {
        boarding->pageControlDidSelectPageAtIndex(page);
        EXPECT_EQ(playersMade, 0) << "page " << page;
    }
    boarding->pageControlDidSelectPageAtIndex(2);
    ASSERT_EQ(playersMade, 1);
    EXPECT_TRUE(videoShown());
    EXPECT_EQ(player->view()->size(), boarding->currImg()->size())
        << "the video takes the picture's place";
    const QRect picture = boarding->currImg()->geometry();
    boarding->pageControlDidSelectPageAtIndex(4);
    EXPECT_EQ(playersMade, 1);
    EXPECT_EQ(player->view()->geometry().topLeft(), picture.topLeft());
    EXPECT_EQ(player->played.size(), 2u);
}

TEST_F(prefsOnboarding, ClickingADotChoosesItsPage) {
    BFPageControl* dots = boarding->control();
    EXPECT_EQ(dots->numberOfPages(), BoardingWinController::kPages);
    // Centred, 50 points above the window's foot.
    const QWidget* w = boarding->window();
    EXPECT_NEAR(dots->x() + dots->width() / 2.0, w->width() / 2.0, 1.0);
    EXPECT_EQ(w->height() - (dots->y() + dots->height()), 50);
    QTest::mouseClick(dots, Qt::LeftButton, {}, dots->dotRect(3).center().toPoint());
    EXPECT_EQ(boarding->currentPage(), 3);
}

// The calendar access question is met early, in the welcome window (on every page until it
// is answered), not at the first look at a calendar. While it is open, the reminders of the
// user's own calendars still come; a refusal stops them, as the window then says.
class prefsOnboardingCalendarAccess : public prefsOnboarding {
  protected:
    void SetUp() override {
        platform::Clock::setShared(&clock);
        store.setDefaults(&defaults);
        cal.setDefaults(&defaults);
        platform::CalendarStore::setShared(&store);
        platform::CalendarStore::setConsentPrompt(
            [this](const std::function<void(bool)>&) { ++prompts; });
        store.calendarList = {{QStringLiteral("cal/home"), QStringLiteral("Home"),
                               platform::StoreCalendar::Type::Local, QColor(0, 150, 0), true}};
        platform::StoreOccurrence tea;
        tea.eventId = QStringLiteral("tea");
        tea.calendarId = QStringLiteral("cal/home");
        tea.title = QStringLiteral("Tea");
        tea.start = clock.now().addingTimeInterval(3600);
        tea.end = tea.start.addingTimeInterval(1800);
        tea.alarms = {{{QStringLiteral("ACTION"), QStringLiteral("DISPLAY")},
                       {QStringLiteral("TRIGGER"), QStringLiteral("-PT10M")}}};
        store.occurrences = {tea};
        prefsOnboarding::SetUp();
    }
    void TearDown() override {
        boarding.reset();
        platform::CalendarStore::setConsentPrompt(nullptr);
        platform::CalendarStore::setShared(nullptr);
        platform::Clock::setShared(nullptr);
    }
    std::size_t remindersDue() {
        return cal.eventAlarms(clock.now(), clock.now().addingTimeInterval(86400)).size();
    }
    bool asking() const {
        return boarding->allowCalendarBtn()->isVisible() &&
               boarding->denyCalendarBtn()->isVisible();
    }

    test::FakeClock clock{
        Date::fromQDateTime(QDateTime(QDate(2025, 3, 4), QTime(8, 0), QTimeZone::utc())),
        QTimeZone::utc()};
    platform::MemoryPreferenceStore prefs{QStringLiteral("test")};
    platform::UserDefaults defaults{prefs};
    test::FakeCalendarStore store;
    AppleCal cal{&store};
    int prompts = 0;
};

TEST_F(prefsOnboardingCalendarAccess, TheQuestionIsAskedOnEveryPageUntilItIsAnswered) {
    for (int page = 0; page < BoardingWinController::kPages; ++page) {
        boarding->pageControlDidSelectPageAtIndex(page);
        EXPECT_TRUE(asking()) << page;
        EXPECT_TRUE(boarding->calendarAccessLbl()->isVisible()) << page;
    }
    EXPECT_EQ(boarding->calendarAccessLbl()->text(),
              QStringLiteral("Talvor Pro would like to show and add events in your calendars, "
                             "and remind you of their alarms."));
    EXPECT_EQ(remindersDue(), 1u) << "unanswered, a reminder is not lost";

    // Closed unanswered: still nothing lost, and the question comes again next time.
    QTest::keyClick(boarding->window(), Qt::Key_Escape);
    EXPECT_FALSE(boarding->window()->isVisible());
    EXPECT_EQ(store.authorizationStatus(), platform::CalendarAccess::NotDetermined);
    EXPECT_EQ(remindersDue(), 1u);
    boarding->showWindow();

    boarding->allowCalendarBtn()->click();
    EXPECT_EQ(store.authorizationStatus(), platform::CalendarAccess::Authorized);
    EXPECT_FALSE(asking());
    EXPECT_EQ(boarding->calendarAccessLbl()->text(),
              QStringLiteral("Talvor Pro shows the events of your calendars and reminds you of "
                             "their alarms."));
    EXPECT_EQ(remindersDue(), 1u);
    // The first look at a calendar asks nothing more.
    std::optional<bool> granted;
    cal.requestCalendarAccess([&](bool g, const std::optional<QString>&) { granted = g; });
    EXPECT_EQ(granted, std::optional<bool>(true));
    EXPECT_EQ(prompts, 0);
}

TEST_F(prefsOnboardingCalendarAccess, DontAllowIsKeptAndSaysWhatItMeans) {
    boarding->pageControlDidSelectPageAtIndex(3);
    boarding->denyCalendarBtn()->click();
    EXPECT_EQ(store.authorizationStatus(), platform::CalendarAccess::Denied);
    EXPECT_FALSE(asking());
    EXPECT_EQ(boarding->calendarAccessLbl()->text(),
              QStringLiteral("Talvor Pro leaves your calendars alone: their events are not shown "
                             "and their alarms do not ring."));
    EXPECT_EQ(remindersDue(), 0u);
    // A new welcome window does not ask again.
    boarding = BoardingWinController::init({});
    boarding->showWindow();
    EXPECT_FALSE(asking());
    EXPECT_EQ(prompts, 0);
}

TEST(prefsOnboardingVideos, FoundWhereTheProgramsDataIsInstalled) {
    QTemporaryDir share;
    test::ScopedEnvVar data{"TALVOR_SYSTEM_DATA_DIR", share.path()};
    EXPECT_TRUE(OnboardingPictures::video(QStringLiteral("5-MovingMenuItems")).isEmpty());
    ASSERT_TRUE(QDir().mkpath(share.filePath(QStringLiteral("Onboarding"))));
    QFile file(share.filePath(QStringLiteral("Onboarding/5-MovingMenuItems.webm")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    const QUrl url = OnboardingPictures::video(QStringLiteral("5-MovingMenuItems"));
    EXPECT_TRUE(url.isLocalFile());
    EXPECT_EQ(url.toLocalFile(), QFileInfo(file).absoluteFilePath());
}

// The pages show the pictures installed with the program (its own windows, rendered when it
// is built), whole; a page whose picture is missing keeps its words, and the log says so
// once, however often the page is shown.
TEST(prefsOnboardingPictures, PagesShowTheInstalledPicturesAndTheirWordsWhenOneIsMissing) {
    QTemporaryDir share;
    test::ScopedEnvVar data{"TALVOR_SYSTEM_DATA_DIR", share.path()};
    ASSERT_TRUE(QDir().mkpath(OnboardingPictures::folder()));
    QImage welcome(OnboardingPictures::kSize, QImage::Format_RGB32);
    welcome.fill(QColor(200, 30, 40));
    {
        QPainter p(&welcome);
        p.fillRect(QRect(40, 30, 100, 60), QColor(20, 40, 220));
    }
    ASSERT_TRUE(welcome.save(OnboardingPictures::folder() + BoardingWinController::pictureName(0)));
    // Made for another size: shown whole, not cut.
    QImage wide(QSize(1120, 160), QImage::Format_RGB32);
    wide.fill(QColor(20, 160, 60));
    ASSERT_TRUE(wide.save(OnboardingPictures::folder() + BoardingWinController::pictureName(1)));

    test::LogCapture log;
    auto boarding = BoardingWinController::init({});
    ASSERT_NE(boarding, nullptr);
    boarding->showWindow();
    const auto shown = [&] {
        return boarding->currImg()->pixmap().toImage().convertToFormat(QImage::Format_RGB32);
    };
    boarding->pageControlDidSelectPageAtIndex(0);
    EXPECT_EQ(shown(), welcome);

    boarding->pageControlDidSelectPageAtIndex(1);
    const QImage fitted = shown();
    ASSERT_EQ(fitted.size(), OnboardingPictures::kSize);
    EXPECT_EQ(fitted.pixelColor(2, fitted.height() / 2), QColor(20, 160, 60)) << "its left end";
    EXPECT_EQ(fitted.pixelColor(fitted.width() - 3, fitted.height() / 2), QColor(20, 160, 60))
        << "its right end";
    EXPECT_NE(fitted.pixelColor(2, 2), QColor(20, 160, 60)) << "scaled whole, not stretched";

    const QString missing = BoardingWinController::pictureName(3);
    for (int i = 0; i < 2; ++i) {
        boarding->pageControlDidSelectPageAtIndex(3);
        EXPECT_EQ(shown().size(), OnboardingPictures::kSize);
        EXPECT_TRUE(boarding->currImg()->isVisible());
    }
    const QStringList said = log.lines().filter(missing);
    EXPECT_EQ(said.size(), 1) << said.join(QLatin1Char('\n')).toStdString();
}

TEST(prefsPageDots, DotColoursAndTheirEdge) {
    BFPageControl dots;
    dots.setNumberOfPages(3);
    dots.setCurrentPage(1);
    EXPECT_EQ(dots.sizeHint().width(), 3 * 15 + 2 * 5);
    QImage image(dots.sizeHint(), QImage::Format_ARGB32);
    image.fill(QColor(0, 0, 0));
    dots.render(&image, {}, {}, QWidget::DrawChildren);
    const auto grey = [&](int dot, qreal dx, qreal dy) {
        const QPointF c = dots.dotRect(dot).center();
        return image.pixelColor(QPointF(c.x() + dx, c.y() + dy).toPoint());
    };
    const int tolerance = 2;
    for (const auto& [dot, expected] : {std::pair{0, 217}, std::pair{1, 115}, std::pair{2, 217}}) {
        SCOPED_TRACE(dot);
        const QColor centre = grey(dot, 0, 0);
        EXPECT_NEAR(centre.red(), expected, tolerance);
        EXPECT_EQ(centre.red(), centre.green());
        EXPECT_EQ(centre.green(), centre.blue());
        // Just below the dot's fill the white edge shows against the black background.
        const QColor edge = grey(dot, 0, 5.8);
        EXPECT_GT(edge.red(), 200) << "the light edge under the dot";
        // The faint ring darkens the dot's rim a little.
        const QColor rim = grey(dot, -4.9, 0);
        EXPECT_LT(rim.red(), centre.red());
    }
    // A pressed dot is grey 150.
    QImage pressed(QSize(15, 15), QImage::Format_ARGB32);
    pressed.fill(Qt::black);
    QPainter p(&pressed);
    BFPageControl::drawDot(p, QRectF(0, 0, 15, 15), false, true);
    p.end();
    EXPECT_NEAR(pressed.pixelColor(7, 7).red(), 150, tolerance);
}

TEST(prefsTutorial, TheEndsHideTheirButtonsAndTheLastOffersTheManual) {
    std::unique_ptr<TutorialWindowController> tutorial = TutorialWindowController::init();
    ASSERT_NE(tutorial, nullptr);
    tutorial->showWindow();
    struct State {
        bool back;
        bool forward;
        bool link;
    };
    const State states[TutorialWindowController::kPages] = {
        {false, true, false}, {true, true, false}, {true, false, true}};
    const auto check = [&](int page) {
        SCOPED_TRACE(page);
        EXPECT_EQ(tutorial->currentPage(), page);
        EXPECT_EQ(tutorial->control()->currentPage(), page);
        EXPECT_EQ(tutorial->backButton()->isVisible(), states[page].back);
        EXPECT_EQ(tutorial->forwardButton()->isVisible(), states[page].forward);
        EXPECT_EQ(tutorial->linkButton()->isVisible(), states[page].link);
    };
    check(0);
    tutorial->forwardButton()->click();
    check(1);
    tutorial->forwardButton()->click();
    check(2);
    tutorial->backButton()->click();
    check(1);
    tutorial->pageControlDidSelectPageAtIndex(2);
    check(2);
}

// Opened from the General pane, the tutorial is wholly below the strip, even without a
// window manager to place it.
TEST(prefsTutorial, OpensBelowTheStrip) {
    test::FakeScreens screens({QRectF(0, 0, 800, 600)});
    const int strip = 0;
    platform::Screens::reserve(&strip, QRectF(0, 0, 800, 24));
    std::unique_ptr<TutorialWindowController> tutorial = TutorialWindowController::init();
    ASSERT_NE(tutorial, nullptr);
    tutorial->showWindow();
    const QRect frame = tutorial->window()->frameGeometry();
    platform::Screens::reserve(&strip, QRectF());
    EXPECT_TRUE(QRect(0, 24, 800, 576).contains(frame))
        << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
}

}  // namespace
}  // namespace talvor
