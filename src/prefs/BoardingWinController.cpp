#include "BoardingWinController.h"

#include "platform/CalendarStore.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/WindowPlacement.h"
#include "services/Manual.h"
#include "widgets/BFPageControl.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSet>
#include <QVBoxLayout>

#include <algorithm>
#include <array>

namespace talvor {
namespace {

constexpr QSize kPictureSize = OnboardingPictures::kSize;

struct BoardingPage {
    const char* image;
    const char* title;  // with a video
    const char* video;
    // Under the title: what the video shows, as steps on this system (the video has no words).
    const char* steps;
};
constexpr std::array<BoardingPage, BoardingWinController::kPages> kBoardingPages = {{
    {"1-WelcomeScreen.png", nullptr, nullptr, nullptr},
    {"2-TimeDayMode.png", nullptr, nullptr, nullptr},
    {"image3.jpg",
     QT_TRANSLATE_NOOP("talvor::BoardingWinController",
                       "Video for turning off the desktop's clock"),
     "3-TurningoffAppleClock",
     QT_TRANSLATE_NOOP("talvor::BoardingWinController",
                       "1. KDE Plasma: right-click the panel's clock and remove it.\n"
                       "2. Xfce: right-click the clock plug-in and choose Remove.\n"
                       "3. GNOME keeps its clock in the top bar; a shell extension can hide it.")},
    {"4-DragTimeDate.png", nullptr, nullptr, nullptr},
    {"image5.jpg",
     QT_TRANSLATE_NOOP("talvor::BoardingWinController",
                       "Video for arranging the time & date items"),
     "5-MovingMenuItems",
     QT_TRANSLATE_NOOP("talvor::BoardingWinController",
                       "1. Choose Preferences... in the time menu.\n"
                       "2. In Time Menu and Date Menu, tick or untick \"Show the time item\" and "
                       "\"Show the date item\"; the items sit side by side at the strip's right "
                       "end.\n"
                       "3. On X11 the strip runs along the top of the screen and windows stay "
                       "below it; elsewhere it floats: drag its free space to move it.")},
}};
constexpr std::array<const char*, TutorialWindowController::kPages> kTutorialPages = {
    "image3.jpg", "image4.jpg", "image6.jpg"};

struct PictureText {
    const char* name;
    const char* heading;
    const char* line;
};
constexpr std::array<PictureText, 7> kPictureTexts = {{
    {"1-WelcomeScreen.png", "Welcome to Talvor",
     "The time, the date and your appointments, always in reach."},
    {"2-TimeDayMode.png", "Day and night", "Talvor follows your desktop's light and dark mode."},
    {"image3.jpg", "One clock is enough", "Turn off the desktop's own clock to make room."},
    {"4-DragTimeDate.png", "Time and date items", "Both items sit in the strip, side by side."},
    {"image5.jpg", "Arrange the strip",
     "Show or hide the time and date items in Preferences: Time Menu and Date Menu."},
    {"image4.jpg", "World clocks", "Add cities to the time menu to see their time at a glance."},
    {"image6.jpg", "Calendars and alarms", "The date menu opens month calendars and reminders."},
}};

const QColor kDesktop(0x3a, 0x3f, 0x4b);

// What a page shows when its picture is not installed: its heading and line, plainly.
QImage standIn(const QString& name, const QSize& size) {
    const auto text =
        std::find_if(kPictureTexts.begin(), kPictureTexts.end(),
                     [&](const PictureText& t) { return name == QLatin1String(t.name); });
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(kDesktop);
    if (text == kPictureTexts.end()) {
        return image;
    }
    QPainter p(&image);
    p.setPen(Qt::white);
    QFont font = p.font();
    font.setPixelSize(26);
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(24, 0, size.width() - 48, size.height() / 2),
               Qt::AlignHCenter | Qt::AlignBottom, QLatin1String(text->heading));
    font.setPixelSize(16);
    font.setBold(false);
    p.setFont(font);
    p.drawText(QRect(24, size.height() / 2 + 12, size.width() - 48, size.height() / 2 - 12),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, QLatin1String(text->line));
    return image;
}

QPixmap pixmapFor(const QString& name) {
    return QPixmap::fromImage(OnboardingPictures::picture(name, kPictureSize));
}

QPushButton* makeLinkButton(const QString& title, QWidget* parent) {
    auto* button = new QPushButton(title, parent);
    button->setFlat(true);
    button->setCursor(Qt::PointingHandCursor);
    QPalette palette = button->palette();
    palette.setColor(QPalette::ButtonText, QColor::fromRgbF(0.0f, 70.0f / 255.0f, 1.0f, 1.0f));
    button->setPalette(palette);
    return button;
}

// The dots sit centred, 50 points above the window's foot.
void placePageControl(BFPageControl& control, QWidget& window) {
    control.resize(control.sizeHint());
    control.move((window.width() - control.width()) / 2, window.height() - 50 - control.height());
    control.raise();
}

class DotsFollowResize : public QObject {
  public:
    DotsFollowResize(BFPageControl* control, QWidget* window) : QObject(window), c_(control) {}
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Resize && c_) {
            placePageControl(*c_, *static_cast<QWidget*>(watched));
        }
        return false;
    }

  private:
    QPointer<BFPageControl> c_;
};

BFPageControl* makePageControl(QWidget& window, int pages) {
    auto* control = new BFPageControl(&window);
    control->setNumberOfPages(pages);
    control->setIndicatorDiameterSize(15);
    control->setIndicatorMargin(5);
    control->setCurrentPage(0);
    window.installEventFilter(new DotsFollowResize(control, &window));
    placePageControl(*control, window);
    return control;
}

bool canMakeWindows(const char* what) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr) {
        return true;
    }
    platform::log(
        QStringLiteral("init failed in %1: no graphical application").arg(QLatin1String(what)));
    return false;
}

}  // namespace

namespace OnboardingPictures {

QString folder() {
    return platform::Paths::systemDataDir() + QStringLiteral("/Onboarding/");
}

QImage picture(const QString& name, const QSize& size) {
    const QString path = folder() + name;
    QImage shot(path);
    if (!shot.isNull()) {
        if (shot.size() == size) {
            return shot;
        }
        // Made for another size: the whole of it, centred on the desktop's colour.
        QImage fitted(size, QImage::Format_ARGB32_Premultiplied);
        fitted.fill(kDesktop);
        const QImage scaled = shot.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter p(&fitted);
        p.drawImage((size.width() - scaled.width()) / 2, (size.height() - scaled.height()) / 2,
                    scaled);
        return fitted;
    }
    // Once for each picture: the window is opened again and again.
    static QSet<QString> missing;
    if (!missing.contains(path)) {
        missing.insert(path);
        platform::log(
            QStringLiteral("Welcome window: no picture %1; its words stand in").arg(path));
    }
    return standIn(name, size);
}

QUrl video(const QString& name) {
    const QString path = folder() + name + QStringLiteral(".webm");
    return QFile::exists(path) ? QUrl::fromLocalFile(path) : QUrl();
}

}  // namespace OnboardingPictures

BoardingWinController::BoardingWinController(platform::VideoPlayer::Factory makePlayer)
    : makePlayer_(std::move(makePlayer)) {}

QString BoardingWinController::pictureName(int page) {
    return QLatin1String(kBoardingPages.at(static_cast<std::size_t>(page)).image);
}

BoardingWinController::~BoardingWinController() {
    if (player_) {
        player_->stop();
    }
    player_.reset();
    window_.reset();
}

std::unique_ptr<BoardingWinController> BoardingWinController::init(
    platform::VideoPlayer::Factory makePlayer) {
    if (!canMakeWindows("BoardingWinController")) {
        return nullptr;
    }
    std::unique_ptr<BoardingWinController> c(new BoardingWinController(std::move(makePlayer)));
    c->windowDidLoad();
    return c;
}

void BoardingWinController::windowDidLoad() {
    window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
    QWidget* w = window_.get();
    w->setObjectName(QStringLiteral("BoardingWindow"));
    w->setWindowTitle(tr("Welcome to Talvor"));
    w->installEventFilter(this);
    auto* layout = new QVBoxLayout(w);
    layout->setContentsMargins(20, 16, 20, 16);

    titleLbl_ = new QLabel(w);
    titleLbl_->setObjectName(QStringLiteral("titleLbl"));
    QFont bold = titleLbl_->font();
    bold.setBold(true);
    titleLbl_->setFont(bold);
    layout->addWidget(titleLbl_);
    titleLine_ = new QFrame(w);
    titleLine_->setObjectName(QStringLiteral("titleLine"));
    titleLine_->setFrameShape(QFrame::HLine);
    layout->addWidget(titleLine_);

    auto* stage = new QHBoxLayout;
    currImg_ = new QLabel(w);
    currImg_->setObjectName(QStringLiteral("currImg"));
    currImg_->setFixedSize(kPictureSize);
    stage->addWidget(currImg_);
    stage_ = stage;
    layout->addLayout(stage);
    // Under the picture or video, which keeps its place on every page.
    stepsLbl_ = new QLabel(w);
    stepsLbl_->setObjectName(QStringLiteral("stepsLbl"));
    stepsLbl_->setWordWrap(true);
    layout->addWidget(stepsLbl_);

    // The calendar question, on every page until it is answered.
    auto* access = new QHBoxLayout;
    calendarAccessLbl_ = new QLabel(w);
    calendarAccessLbl_->setObjectName(QStringLiteral("calendarAccessLbl"));
    calendarAccessLbl_->setWordWrap(true);
    access->addWidget(calendarAccessLbl_, 1);
    denyCalendarBtn_ = new QPushButton(tr("Don't Allow"), w);
    denyCalendarBtn_->setObjectName(QStringLiteral("denyCalendarBtn"));
    connect(denyCalendarBtn_, &QPushButton::clicked, this, [this] { answerCalendarAccess(false); });
    access->addWidget(denyCalendarBtn_);
    allowCalendarBtn_ = new QPushButton(tr("Allow"), w);
    allowCalendarBtn_->setObjectName(QStringLiteral("allowCalendarBtn"));
    connect(allowCalendarBtn_, &QPushButton::clicked, this, [this] { answerCalendarAccess(true); });
    access->addWidget(allowCalendarBtn_);
    layout->addLayout(access);

    auto* foot = new QHBoxLayout;
    btnHelpManual_ = makeLinkButton(tr("Read the Talvor manual"), w);
    btnHelpManual_->setObjectName(QStringLiteral("btnHelpManual"));
    connect(btnHelpManual_, &QPushButton::clicked, this, [this] { actHelpManualClicked(); });
    foot->addWidget(btnHelpManual_);
    foot->addStretch(1);
    // Its own way out on every page: without a window manager there is no title-bar button.
    closeBtn_ = new QPushButton(tr("Close"), w);
    closeBtn_->setObjectName(QStringLiteral("closeBtn"));
    connect(closeBtn_, &QPushButton::clicked, w, &QWidget::close);
    foot->addWidget(closeBtn_);
    continueBtn_ = new QPushButton(tr("Continue"), w);
    continueBtn_->setObjectName(QStringLiteral("continueBtn"));
    continueBtn_->setDefault(true);
    connect(continueBtn_, &QPushButton::clicked, this, [this] { continueBtnPressed(); });
    foot->addWidget(continueBtn_);
    layout->addSpacing(40);  // room for the page dots
    layout->addLayout(foot);

    titleLbl_->hide();
    titleLine_->hide();
    stepsLbl_->hide();
    showCalendarAccess();
    currentPage_ = 0;
    for (const BoardingPage& page : kBoardingPages) {
        data_.push_back(QLatin1String(page.image));
    }
    w->resize(w->sizeHint().expandedTo(QSize(600, 0)));
    control_ = makePageControl(*w, static_cast<int>(data_.size()));
    connect(control_, &BFPageControl::didSelectPageAtIndex, this,
            [this](int index) { pageControlDidSelectPageAtIndex(index); });
    pageControlDidSelectPageAtIndex(0);
}

// At the first video shown: a media player starts the sound and video machinery (threads, a
// sound server connection), which a welcome window that is only read never needs.
void BoardingWinController::makePlayerIfNeeded() {
    if (player_ || !makePlayer_) {
        return;
    }
    player_ = makePlayer_(window_.get());
    if (player_ && player_->view()) {
        player_->view()->setFixedSize(kPictureSize);
        player_->view()->hide();
        stage_->addWidget(player_->view());
    }
}

void BoardingWinController::showWindow() {
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void BoardingWinController::pageControlDidSelectPageAtIndex(int index) {
    if (index < 0 || index >= static_cast<int>(data_.size())) {
        return;
    }
    currentPage_ = index;
    if (control_) {
        control_->setCurrentPage(index);
    }
    const BoardingPage& page = kBoardingPages[static_cast<std::size_t>(index)];
    currImg_->setPixmap(pixmapFor(data_[static_cast<std::size_t>(index)]));
    continueBtn_->hide();
    titleLbl_->hide();
    titleLine_->hide();
    stepsLbl_->hide();
    btnHelpManual_->hide();
    // It may have been answered meanwhile, at a calendar.
    showCalendarAccess();
    // A video left behind stops: hidden, it would go on decoding (and sounding).
    if (player_) {
        player_->stop();
        if (player_->view()) {
            player_->view()->hide();
        }
    }
    if (page.video != nullptr) {
        titleLbl_->setText(tr(page.title));
        titleLbl_->show();
        titleLine_->show();
        stepsLbl_->setText(tr(page.steps));
        stepsLbl_->show();
        const QUrl video = videoFor ? videoFor(QLatin1String(page.video)) : QUrl();
        if (!video.isEmpty()) {
            makePlayerIfNeeded();
        }
        if (player_ && player_->view() && !video.isEmpty()) {
            currImg_->hide();
            player_->view()->show();
            player_->playFromStart(video);
        } else {
            currImg_->show();  // no video installed: its picture stands in
        }
    } else {
        currImg_->show();
    }
    if (index == kPages - 1) {
        continueBtn_->show();
    }
    if (index == 0) {
        btnHelpManual_->show();
    }
}

void BoardingWinController::continueBtnPressed() {
    window_->close();
}

void BoardingWinController::answerCalendarAccess(bool granted) {
    platform::CalendarStore::shared().answerAccessQuestion(granted);
    showCalendarAccess();
}

void BoardingWinController::showCalendarAccess() {
    const platform::CalendarAccess access = platform::CalendarStore::shared().authorizationStatus();
    const bool open = access == platform::CalendarAccess::NotDetermined;
    calendarAccessLbl_->setText(
        open ? tr("Talvor Pro would like to show and add events in your calendars, and remind "
                  "you of their alarms.")
        : access == platform::CalendarAccess::Authorized
            ? tr("Talvor Pro shows the events of your calendars and reminds you of their alarms.")
            : tr("Talvor Pro leaves your calendars alone: their events are not shown and their "
                 "alarms do not ring."));
    allowCalendarBtn_->setVisible(open);
    denyCalendarBtn_->setVisible(open);
}

void BoardingWinController::actHelpManualClicked() {
    Manual::open(Manual::Section::Contents, {});
}

bool BoardingWinController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == window_.get() && event->type() == QEvent::Close && player_) {
        player_->stop();
    }
    if (watched == window_.get() && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
        window_->close();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

TutorialWindowController::TutorialWindowController() = default;
TutorialWindowController::~TutorialWindowController() = default;

std::unique_ptr<TutorialWindowController> TutorialWindowController::init() {
    if (!canMakeWindows("TutorialWindowController")) {
        return nullptr;
    }
    std::unique_ptr<TutorialWindowController> c(new TutorialWindowController);
    c->window_ = std::make_unique<QWidget>(nullptr, Qt::Window);
    QWidget* w = c->window_.get();
    w->setObjectName(QStringLiteral("TutorialWindow"));
    w->setWindowTitle(tr("Talvor Tutorial"));
    auto* layout = new QVBoxLayout(w);
    c->imgView_ = new QLabel(w);
    c->imgView_->setObjectName(QStringLiteral("imgView"));
    c->imgView_->setFixedSize(kPictureSize);
    c->imgView_->setScaledContents(true);
    layout->addWidget(c->imgView_);
    layout->addSpacing(40);
    auto* foot = new QHBoxLayout;
    c->backButton_ = new QPushButton(tr("Back"), w);
    c->backButton_->setObjectName(QStringLiteral("backButton"));
    c->forwardButton_ = new QPushButton(tr("Next"), w);
    c->forwardButton_->setObjectName(QStringLiteral("forwardButton"));
    c->linkButton_ = makeLinkButton(tr("Read the manual"), w);
    c->linkButton_->setObjectName(QStringLiteral("linkButton"));
    foot->addWidget(c->backButton_);
    foot->addStretch(1);
    foot->addWidget(c->linkButton_);
    foot->addWidget(c->forwardButton_);
    layout->addLayout(foot);
    TutorialWindowController* self = c.get();
    connect(c->backButton_, &QPushButton::clicked, self, [self] { self->btnPressedBackButton(); });
    connect(c->forwardButton_, &QPushButton::clicked, self,
            [self] { self->btnPressedForwardButton(); });
    connect(c->linkButton_, &QPushButton::clicked, self, [self] { self->actLinkBtnPressed(); });
    for (const char* name : kTutorialPages) {
        c->data_.push_back(QLatin1String(name));
    }
    c->linkButton_->hide();
    w->resize(w->sizeHint().expandedTo(QSize(600, 0)));
    c->control_ = makePageControl(*w, static_cast<int>(c->data_.size()));
    connect(c->control_, &BFPageControl::didSelectPageAtIndex, self,
            [self](int index) { self->pageControlDidSelectPageAtIndex(index); });
    c->showPage(0);
    c->hideShowBackForwardButtons();
    return c;
}

void TutorialWindowController::showWindow() {
    // Without a window manager a new window opens at the top left, over the strip.
    if (!window_->isVisible()) {
        platform::placeInFreeArea(*window_);
    }
    window_->show();
    window_->raise();
    window_->activateWindow();
}

void TutorialWindowController::showPage(int index) {
    currentPage_ = std::clamp(index, 0, static_cast<int>(data_.size()) - 1);
    imgView_->setPixmap(pixmapFor(data_[static_cast<std::size_t>(currentPage_)]));
    if (control_) {
        control_->setCurrentPage(currentPage_);
    }
}

void TutorialWindowController::hideShowBackForwardButtons() {
    const bool last = currentPage_ == static_cast<int>(data_.size()) - 1;
    backButton_->setVisible(currentPage_ != 0);
    forwardButton_->setVisible(!last);
    linkButton_->setVisible(last);
}

void TutorialWindowController::pageControlDidSelectPageAtIndex(int index) {
    showPage(index);
    hideShowBackForwardButtons();
}

void TutorialWindowController::btnPressedBackButton() {
    pageControlDidSelectPageAtIndex(currentPage_ - 1);
}

void TutorialWindowController::btnPressedForwardButton() {
    pageControlDidSelectPageAtIndex(currentPage_ + 1);
}

void TutorialWindowController::actLinkBtnPressed() {
    Manual::open(Manual::Section::Contents, {});
}

}  // namespace talvor
