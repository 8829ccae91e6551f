#include "StopWatch.h"

#include "foundation/ColorExtras.h"
#include "foundation/FontExtras.h"
#include "foundation/TalvorFilePaths.h"
#include "platform/Clock.h"
#include "platform/DistributedNotificationCenter.h"
#include "platform/Log.h"
#include "platform/Paths.h"
#include "platform/SoundPlayer.h"
#include "platform/UserDefaults.h"
#include "platform/WindowPlacement.h"

#include <QButtonGroup>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDirIterator>
#include <QFileInfo>
#include <QFontDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QKeyEvent>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace talvor {
namespace {

const QString kSettingsKey = QStringLiteral("swSettings");
const QString kSoundKey = QStringLiteral("swSoundPath");
const QString kColorKey = QStringLiteral("swTextColor");
const QString kFontKey = QStringLiteral("swTextFont");

QString two(qint64 v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}

// The start times when no list can be read.
QVariantList builtInStartTimes() {
    QVariantList list;
    for (const char* t : {"10", "30", "60", "90", "-", "120", "180", "300", "600", "900", "-",
                          "1200", "1800", "2700", "3600", "5400", "7200"}) {
        list << QString::fromLatin1(t);
    }
    return list;
}

// The sounds installed with the program, by name.
QStringList userSoundFiles() {
    QStringList files;
    QDirIterator it(platform::Paths::systemDataDir() + QStringLiteral("/UserSounds"),
                    {QStringLiteral("*.ogg"), QStringLiteral("*.wav")}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        files << it.next();
    }
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        return QFileInfo(a).completeBaseName() < QFileInfo(b).completeBaseName();
    });
    return files;
}

}  // namespace

const QString StopWatchWinController::kNotification =
    QStringLiteral("Talvor-Start-StopWatchNotification");
const QString StopWatchWinController::kAutosaveName = QStringLiteral("Talvor StopWatch Window");

QString formatStopwatchTime(double seconds, int32_t resolution) {
    const double t = std::max(0.0, seconds);
    if (resolution == 1) {
        const double r = std::round(t * 10.0) / 10.0;
        const auto m = static_cast<qint64>(std::floor(r / 60.0 + 1e-9));
        const double rest = std::max(0.0, r - 60.0 * static_cast<double>(m));
        if (m == 0) {
            return QString::asprintf("00:%04.1f", rest);
        }
        if (m < 60) {
            return QString::asprintf("%2lld:%04.1f", static_cast<long long>(m), rest);
        }
        return QString::asprintf("%lld:%02lld:%04.1f", static_cast<long long>(m / 60),
                                 static_cast<long long>(m % 60), std::floor(rest + 1e-9));
    }
    if (resolution == 10) {
        const auto r = static_cast<qint64>(std::llround(t));
        const qint64 m = r / 60, s = r % 60;
        if (m == 0) {
            return QStringLiteral("00:%1").arg(two(s));
        }
        if (m < 60) {
            return QStringLiteral("%1:%2").arg(two(m), two(s));
        }
        return QStringLiteral("%1:%2:%3").arg(m / 60).arg(two(m % 60), two(s));
    }
    const auto m = static_cast<qint64>(t / 60.0);
    return QStringLiteral("%1:%2 min.").arg(m / 60).arg(two(m % 60));
}

QString startTimeTitle(int32_t t) {
    const int32_t h = t / 3600, m = (t - 3600 * h) / 60, s = t % 60;
    if (h == 0) {
        if (m == 0) {
            return QStringLiteral("%1 sec").arg(s);
        }
        return s != 0 ? QStringLiteral("%1 min. %2 sec").arg(m).arg(s)
                      : QStringLiteral("%1 min").arg(m);
    }
    if (m == 0) {
        return s != 0 ? QStringLiteral("%1 hours, %2 sec").arg(h).arg(s)
                      : QStringLiteral("%1 hour").arg(h);
    }
    return s != 0 ? QStringLiteral("%1 hours, %2 min. %3 sec").arg(h).arg(m).arg(s)
                  : QStringLiteral("%1 hours, %2 min").arg(h).arg(m);
}

QString StopWatchSettings::text() const {
    return QString::asprintf("R[%d] D[%d] W[%d] C[%g]", resolution, direction, windowLayer,
                             countDown);
}

std::optional<StopWatchSettings> StopWatchSettings::parse(const QString& text) {
    static const QRegularExpression form(
        QStringLiteral(R"(^R\[(-?\d+)\] D\[(-?\d+)\] W\[(-?\d+)\] C\[([-+0-9.eE]+|inf|nan)\])"));
    const QRegularExpressionMatch m = form.match(text);
    if (!m.hasMatch()) {
        return std::nullopt;
    }
    StopWatchSettings s;
    s.resolution = m.captured(1).toInt();
    s.direction = m.captured(2).toInt();
    s.windowLayer = m.captured(3).toInt();
    // Read at single precision, as it always was.
    s.countDown = static_cast<double>(m.captured(4).toFloat());
    return s;
}

StopWatchWinController::StopWatchWinController(QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName(QStringLiteral("StopWatchWindow"));
    setWindowTitle(tr("Stopwatch"));
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buildTimeRow());
    layout->addLayout(buildButtonRow());
    buildDrawer();
    layout->addWidget(prefDrawer_);
    loadSettings();
    BuildCustomTimeMenu();
    time_ = platform::Scheduler::shared().clock().now();
    applyTextStyle();
    showDirection();
    ResetClock();
    setFocusPolicy(Qt::StrongFocus);
}

// The time, with the arrows that change it beside it.
QHBoxLayout* StopWatchWinController::buildTimeRow() {
    auto* top = new QHBoxLayout;
    timeText_ = new QLabel(this);
    timeText_->setObjectName(QStringLiteral("timeText"));
    timeText_->setAlignment(Qt::AlignCenter);
    timeText_->setMinimumWidth(260);
    top->addWidget(timeText_, 1);
    auto* arrows = new QVBoxLayout;
    upButton_ = new QPushButton(QStringLiteral("\u25B2"), this);
    upButton_->setObjectName(QStringLiteral("upButton"));
    upButton_->setProperty("tag", kStep);
    downButton_ = new QPushButton(QStringLiteral("\u25BC"), this);
    downButton_->setObjectName(QStringLiteral("downButton"));
    downButton_->setProperty("tag", -kStep);
    for (QPushButton* b : {upButton_.data(), downButton_.data()}) {
        b->setFixedWidth(32);
        b->setFocusPolicy(Qt::NoFocus);
        arrows->addWidget(b);
    }
    top->addLayout(arrows);
    connect(upButton_, &QPushButton::clicked, this, [this] { ChangeTime(kStep); });
    connect(downButton_, &QPushButton::clicked, this, [this] { ChangeTime(-kStep); });
    return top;
}

QHBoxLayout* StopWatchWinController::buildButtonRow() {
    auto* buttons = new QHBoxLayout;
    StartButton_ = new QPushButton(tr("Start"), this);
    StartButton_->setObjectName(QStringLiteral("StartButton"));
    StartButton_->setProperty("tag", 0);
    StartButton_->setFocusPolicy(Qt::NoFocus);
    auto* reset = new QPushButton(tr("Reset"), this);
    reset->setObjectName(QStringLiteral("resetButton"));
    reset->setFocusPolicy(Qt::NoFocus);
    auto* options = new QPushButton(tr("Options"), this);
    options->setObjectName(QStringLiteral("drawerButton"));
    options->setFocusPolicy(Qt::NoFocus);
    buttons->addWidget(StartButton_);
    buttons->addWidget(reset);
    buttons->addStretch(1);
    buttons->addWidget(options);
    connect(StartButton_, &QPushButton::clicked, this, [this] { StartClock(); });
    connect(reset, &QPushButton::clicked, this, [this] { ResetClock(); });
    connect(options, &QPushButton::clicked, this, [this] { ToggleDrawer(); });
    return buttons;
}

// The options, hidden until asked for.
void StopWatchWinController::buildDrawer() {
    prefDrawer_ = new QWidget(this);
    prefDrawer_->setObjectName(QStringLiteral("prefDrawer"));
    auto* grid = new QGridLayout(prefDrawer_);
    grid->setContentsMargins(0, 6, 0, 0);
    int row = 0;
    grid->addWidget(new QLabel(tr("Start at:"), prefDrawer_), row, 0);
    startingAt_ = new QComboBox(prefDrawer_);
    startingAt_->setObjectName(QStringLiteral("startingAt"));
    grid->addWidget(startingAt_, row++, 1);
    grid->addWidget(new QLabel(tr("Count:"), prefDrawer_), row, 0);
    auto* modeRow = new QHBoxLayout;
    upMode_ = new QRadioButton(tr("Up"), prefDrawer_);
    downMode_ = new QRadioButton(tr("Down"), prefDrawer_);
    auto* modes = new QButtonGroup(prefDrawer_);
    modes->addButton(upMode_, 0);
    modes->addButton(downMode_, 1);
    modeRow->addWidget(upMode_);
    modeRow->addWidget(downMode_);
    modeRow->addStretch(1);
    grid->addLayout(modeRow, row++, 1);
    grid->addWidget(new QLabel(tr("Show:"), prefDrawer_), row, 0);
    swResolution_ = new QComboBox(prefDrawer_);
    swResolution_->setObjectName(QStringLiteral("swResolution"));
    swResolution_->addItem(tr("Tenths of seconds"), 1);
    swResolution_->addItem(tr("Seconds"), 10);
    swResolution_->addItem(tr("Minutes"), 60);
    grid->addWidget(swResolution_, row++, 1);
    grid->addWidget(new QLabel(tr("End sound:"), prefDrawer_), row, 0);
    swSound_ = new QComboBox(prefDrawer_);
    swSound_->setObjectName(QStringLiteral("swSound"));
    swSound_->addItem(tr("Beep"), QString());
    for (const QString& f : userSoundFiles()) {
        swSound_->addItem(QFileInfo(f).completeBaseName(), f);
    }
    grid->addWidget(swSound_, row++, 1);
    grid->addWidget(new QLabel(tr("Window:"), prefDrawer_), row, 0);
    windowLayer_ = new QComboBox(prefDrawer_);
    windowLayer_->setObjectName(QStringLiteral("windowLayer"));
    windowLayer_->addItem(tr("Floating above others"), 0);
    windowLayer_->addItem(tr("Normal"), 1);
    grid->addWidget(windowLayer_, row++, 1);
    auto* looks = new QHBoxLayout;
    auto* fontButton = new QPushButton(tr("Font..."), prefDrawer_);
    auto* colorButton = new QPushButton(tr("Colour..."), prefDrawer_);
    looks->addWidget(fontButton);
    looks->addWidget(colorButton);
    looks->addStretch(1);
    grid->addLayout(looks, row++, 1);
    prefDrawer_->hide();
    connect(startingAt_, &QComboBox::activated, this, [this](int i) { SetStartTime(i); });
    connect(swResolution_, &QComboBox::activated, this, [this](int i) { SetResolution(i); });
    connect(modes, &QButtonGroup::idClicked, this, [this](int id) { ModeSet(id); });
    connect(swSound_, &QComboBox::activated, this, [this] { SetSound(); });
    connect(windowLayer_, &QComboBox::activated, this, [this](int i) { WindowModeSet(i); });
    connect(fontButton, &QPushButton::clicked, this, [this] { SetFont(); });
    connect(colorButton, &QPushButton::clicked, this, [this] { SetColor(); });
}

// The stored settings, into the counter and the drawer's controls.
void StopWatchWinController::loadSettings() {
    const platform::UserDefaults& defaults = platform::UserDefaults::standard();
    StopWatchSettings settings;
    if (std::optional<StopWatchSettings> stored =
            StopWatchSettings::parse(defaults.stringForKey(kSettingsKey))) {
        settings = *stored;
    }
    resolution_ = settings.resolution;
    dirFlag_ = settings.direction == 1 ? 1 : 0;
    if (dirFlag_ == 1) {
        countDown_ =
            settings.countDown < 0 || settings.countDown > 65000.0 || std::isnan(settings.countDown)
                ? 30.0
                : settings.countDown;
        timeCounter_ = countDown_;
    } else if (defaults.objectForKey(kSettingsKey).isValid()) {
        countDown_ = 0;
        timeCounter_ = 0;
    }
    const int layer = windowLayer_->findData(settings.windowLayer);
    windowLayer_->setCurrentIndex(layer >= 0 ? layer : 0);
    swTextColor_ = UserDefaultsExtras::colorForKey(defaults, kColorKey).value_or(QColor(Qt::black));
    swFont_ = FontExtras::font(defaults.dataForKey(kFontKey))
                  .value_or(QFont(QStringLiteral("Chicago"), 42, QFont::Bold));
    const int res = swResolution_->findData(resolution_);
    swResolution_->setCurrentIndex(res >= 0 ? res : 0);
    const int sound = swSound_->findData(defaults.stringForKey(kSoundKey));
    swSound_->setCurrentIndex(sound > 0 ? sound : std::min(4, swSound_->count() - 1));
    (dirFlag_ == 1 ? downMode_ : upMode_)->setChecked(true);
}

StopWatchWinController::~StopWatchWinController() {
    stopTimer_.cancel();
    if (myTestSound_) {
        myTestSound_->stop();
    }
}

double StopWatchWinController::sinceStart() const {
    return platform::Scheduler::shared().clock().now().timeIntervalSince(time_);
}

void StopWatchWinController::applyTextStyle() {
    timeText_->setFont(swFont_);
    QPalette p = timeText_->palette();
    p.setColor(QPalette::WindowText, swTextColor_);
    timeText_->setPalette(p);
}

void StopWatchWinController::showDirection() {
    StartButton_->setIcon(QIcon());
    StartButton_->setToolTip(dirFlag_ == 1 ? tr("Counts down") : tr("Counts up"));
    StartButton_->setText((isRunning() ? tr("Stop") : tr("Start")) +
                          (dirFlag_ == 1 ? QStringLiteral(" \u2193") : QStringLiteral(" \u2191")));
}

void StopWatchWinController::BuildCustomTimeMenu() {
    QVariantList list = TalvorFilePaths::loadWarnMeTitles(
        QStringLiteral("WarnMeTimes"),
        platform::Paths::systemDataDir() + QStringLiteral("/WarnMeTimes.plist"));
    if (list.isEmpty()) {
        platform::log(QStringLiteral("Bad WarnMeTimes.plist file"));
        list = builtInStartTimes();
    }
    const int selected = startingAt_->currentData().toInt();
    startingAt_->clear();
    for (const QVariant& v : list) {
        const QString text = v.toString();
        if (text == QLatin1String("-")) {
            startingAt_->insertSeparator(startingAt_->count());
            continue;
        }
        bool ok = false;
        const int seconds = text.toInt(&ok);
        if (ok && seconds >= 0) {
            startingAt_->addItem(startTimeTitle(seconds), seconds);
        }
    }
    const int index = startingAt_->findData(selected);
    if (index >= 0) {
        startingAt_->setCurrentIndex(index);
    }
}

void StopWatchWinController::StopWatchNotify(const QVariant& object) {
    BuildCustomTimeMenu();
    const QString text = object.isValid() ? object.toString() : QString();
    if (text.isNull() || text == QLatin1String("Open")) {
        return;
    }
    const double seconds = std::max(0.0, text.toDouble());
    if (!isRunning()) {
        dirFlag_ = 1;
        downMode_->setChecked(true);
        countDown_ = seconds;
        timeCounter_ = seconds;
        showDirection();
        formatTime();
        if (seconds != 0) {
            StartClock();
            platform::log(QStringLiteral("Stopwatch: another program started a count-down of %1 s")
                              .arg(seconds));
        }
    } else if (dirFlag_ == 1 && seconds == 0) {
        StopClock();
        platform::log(QStringLiteral("Stopwatch: another program stopped the count-down at %1 s")
                          .arg(std::round(timeCounter_)));
    }
}

void StopWatchWinController::StartClock() {
    if (isRunning()) {
        StopClock();
        return;
    }
    StartButton_->setProperty("tag", 1);
    time_ = platform::Scheduler::shared().clock().now();
    startCounter_ = timeCounter_;
    if (dirFlag_ == 1) {
        countDown_ = timeCounter_;
    }
    platform::Scheduler& scheduler = platform::Scheduler::shared();
    stopTimer_ = scheduler.scheduleRepeating(scheduler.clock().now().addingTimeInterval(0.1), 0.1,
                                             [this] { UpdateStopTimer(); });
    showDirection();
    WindowModeSet(windowLayer_->currentIndex());
}

void StopWatchWinController::StopClock() {
    if (!isRunning()) {
        return;
    }
    stopTimer_.cancel();
    // The value at the moment of the stop, so that a restart goes on from it.
    if (dirFlag_ == 1) {
        timeCounter_ = std::max(0.0, countDown_ - sinceStart());
    } else {
        timeCounter_ = startCounter_ + sinceStart();
    }
    StartButton_->setProperty("tag", 0);
    showDirection();
    formatTime();
}

void StopWatchWinController::ResetClock() {
    StopClock();
    if (dirFlag_ == 1) {
        timeCounter_ = countDown_;
    } else {
        timeCounter_ = 0;
        countDown_ = 0;
    }
    const int index = startingAt_->findData(static_cast<int>(countDown_));
    startingAt_->setCurrentIndex(index >= 0 ? index : std::min(1, startingAt_->count() - 1));
    formatTime();
}

void StopWatchWinController::UpdateStopTimer() {
    if (dirFlag_ == 1) {
        timeCounter_ = countDown_ - sinceStart();
        if (timeCounter_ < 0) {
            stopTimer_.cancel();
            SetSound();
            timeCounter_ = 0;
            countDown_ = 0;
            timeText_->setText(QStringLiteral("ZERO"));
            StartButton_->setProperty("tag", 0);
            showDirection();
            return;
        }
    } else {
        timeCounter_ = startCounter_ + sinceStart();
    }
    formatTime();
}

void StopWatchWinController::ChangeTime(int seconds) {
    double next = timeCounter_ + seconds;
    if (isRunning()) {
        // The running count follows from its start: move that instead.
        if (dirFlag_ == 1) {
            countDown_ = std::max(sinceStart(), countDown_ + seconds);
        } else {
            startCounter_ = std::max(-sinceStart(), startCounter_ + seconds);
        }
        next = dirFlag_ == 1 ? countDown_ - sinceStart() : startCounter_ + sinceStart();
    }
    if (timeCounter_ + seconds < 0) {
        platform::beep();
        next = 0;
    }
    timeCounter_ = next;
    if (!isRunning() && dirFlag_ == 1) {
        countDown_ = timeCounter_;
    }
    formatTime();
}

void StopWatchWinController::SetStartTime(int index) {
    const QVariant tag = startingAt_->itemData(index);
    if (!tag.isValid()) {
        return;
    }
    countDown_ = tag.toDouble();
    timeCounter_ = countDown_;
    formatTime();
}

void StopWatchWinController::SetResolution(int index) {
    resolution_ = swResolution_->itemData(index).toInt();
    formatTime();
}

void StopWatchWinController::ModeSet(int direction) {
    dirFlag_ = direction == 1 ? 1 : 0;
    (dirFlag_ == 1 ? downMode_ : upMode_)->setChecked(true);
    showDirection();
}

void StopWatchWinController::ToggleDirection() {
    ModeSet(dirFlag_ == 1 ? 0 : 1);
}

void StopWatchWinController::SetCountDown(double seconds) {
    ModeSet(1);
    countDown_ = seconds;
    timeCounter_ = seconds;
    formatTime();
}

void StopWatchWinController::WindowModeSet(int index) {
    const bool floating = windowLayer_->itemData(index).toInt() == 0;
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == floating) {
        return;
    }
    const bool shown = isVisible();
    setWindowFlag(Qt::WindowStaysOnTopHint, floating);
    if (shown) {
        show();
    }
}

void StopWatchWinController::ToggleDrawer() {
    if (prefDrawer_->isVisible()) {
        prefDrawer_->hide();
        adjustSize();
    } else {
        OpenDrawer();
    }
}

void StopWatchWinController::OpenDrawer() {
    BuildCustomTimeMenu();
    prefDrawer_->show();
}

void StopWatchWinController::SetSound() {
    if (myTestSound_) {
        myTestSound_->stop();
        myTestSound_.reset();
    }
    const QString path = swSound_->currentData().toString();
    if (!path.isEmpty()) {
        myTestSound_ = platform::SoundSystem::shared().soundWithContentsOfFile(path);
    }
    if (myTestSound_) {
        myTestSound_->play();
    } else {
        platform::beep();
    }
}

void StopWatchWinController::SetFont() {
    auto* dialog = new QFontDialog(swFont_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QFontDialog::fontSelected, this, [this](const QFont& font) {
        swFont_ = font;
        applyTextStyle();
        platform::UserDefaults::standard().setObject(FontExtras::asData(font), kFontKey);
    });
    dialog->open();
}

void StopWatchWinController::SetColor() {
    auto* dialog = new QColorDialog(swTextColor_, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QColorDialog::colorSelected, this, [this](const QColor& color) {
        swTextColor_ = color;
        applyTextStyle();
    });
    dialog->open();
}

void StopWatchWinController::formatTime() {
    if (isMinimized()) {
        return;
    }
    timeText_->setText(formatStopwatchTime(timeCounter_, resolution_));
}

void StopWatchWinController::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    if (key == Qt::Key_C || key == Qt::Key_Delete) {
        ResetClock();
    } else if (key == Qt::Key_Space) {
        StartClock();
    } else if (key == Qt::Key_Up) {
        ChangeTime(kStep);
    } else if (key == Qt::Key_Down) {
        ChangeTime(-kStep);
    } else if (key == Qt::Key_F10) {
        showMinimized();
    } else if (key == Qt::Key_F11) {
        hide();
    } else if (key == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        // Without a window manager there is no title bar to close it by.
        close();
    } else if (key >= Qt::Key_F1 && key <= Qt::Key_F35) {
        platform::log(QStringLiteral("stopwatch key %1  not supported.").arg(key - Qt::Key_F1 + 1));
        platform::beep();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void StopWatchWinController::saveSettings() const {
    platform::UserDefaults& defaults = platform::UserDefaults::standard();
    StopWatchSettings s;
    s.resolution = resolution_;
    s.direction = dirFlag_;
    s.windowLayer = windowLayer_->currentData().toInt();
    s.countDown = countDown_;
    defaults.setObject(s.text(), kSettingsKey);
    if (swSound_->currentIndex() > 0) {
        defaults.setObject(swSound_->currentData().toString(), kSoundKey);
    }
    UserDefaultsExtras::setColor(defaults, swTextColor_, kColorKey);
}

void StopWatchWinController::closeEvent(QCloseEvent* event) {
    saveSettings();
    QWidget::closeEvent(event);
}

void StopWatchWinController::hideEvent(QHideEvent* event) {
    // Closed, hidden by F11 or by the hot key: it opens there again.
    if (!event->spontaneous()) {
        platform::saveWindowFrame(*this, kAutosaveName);
    }
    QWidget::hideEvent(event);
}

MyStopWatchObj& MyStopWatchObj::sharedPanel() {
    static MyStopWatchObj panel;
    return panel;
}

StopWatchWinController* MyStopWatchObj::window() {
    if (!stopWatch_) {
        stopWatch_ = new StopWatchWinController;
        // A quit with the window open keeps its settings as closing it would, and the window
        // goes before the application object.
        if (QCoreApplication* app = QCoreApplication::instance()) {
            QObject::connect(app, &QCoreApplication::aboutToQuit, app, [window = stopWatch_] {
                if (window) {
                    window->saveSettings();
                    delete window.data();
                }
            });
        }
    }
    return stopWatch_;
}

void MyStopWatchObj::listen() {
    notifyObservation_ = platform::DistributedNotificationCenter::defaultCenter().addObserver(
        StopWatchWinController::kNotification, QVariant(),
        [this](const platform::Notification& note) {
            const QString text = note.object.isValid() ? note.object.toString() : QString();
            // "Open" only refreshes the start times of a window that is there.
            if (stopWatch_ || (!text.isNull() && text != QLatin1String("Open"))) {
                window()->StopWatchNotify(note.object);
            }
        });
}

void MyStopWatchObj::stopListening() {
    notifyObservation_.reset();
}

bool MyStopWatchObj::stopwatchShown() const {
    return stopWatch_ && stopWatch_->isVisible();
}

void MyStopWatchObj::orderStopWatch() {
    if (stopwatchShown()) {
        stopWatch_->close();
        return;
    }
    showWindow();
}

void MyStopWatchObj::PrefsStopWatch() {
    showWindow()->OpenDrawer();
}

StopWatchWinController* MyStopWatchObj::showWindow() {
    StopWatchWinController* w = window();
    if (!w->isVisible()) {
        // Where it was last, else below the strip: without a window manager it would open at
        // the top left, over the strip.
        platform::restoreWindowFrame(*w, StopWatchWinController::kAutosaveName);
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void MyStopWatchObj::reset() {
    delete stopWatch_.data();
}

}  // namespace talvor
